#pragma once
// Read-only access to one Paradox table (.db file and its .mb blob file).
// Tables are safe to read from several threads at once.
//
// Values: text is UTF-8; a graphic or OLE value is the image or object after
// its 8-byte stored prefix (Picture.h finds the image in it); a formatted
// memo is its text, formatting dropped (FormattedMemo.h); a blob that cannot
// be read (missing or damaged .mb) is a ValueError cell.
//
// Table::open validates the header before a Table exists; everything after
// that reads lazily: rows stream block by block in the order of the block
// chain, and row(n) costs one block read once the chain has been indexed.
//
// Damage: when the header, the block chain and the blocks disagree, the
// reader mends what the file itself shows how to mend (see ChainRecovery.h),
// gives every row it finds, and says in damage() what it found. Rows it
// cannot find are not counted; rows it found but cannot read throw.

#include "driver/Value.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace driver {

// Every failure to read a table. The message names the file and says what is
// wrong and where (byte offset, block, record, field).
class ReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct Field {
    std::string name;  // UTF-8
    FieldType type;
    int size;          // bytes in the record (BCD: 17)
    int decimals = 0;  // BCD only
    // The stored name could not be used (damage() says why), and `name` is
    // "Field N" for the field's number N instead.
    bool nameReplaced = false;
};

struct OpenOptions {
    // Decode with the page the text itself shows (see CodePageFinder.h), or
    // the table's when it shows none.
    static constexpr int kFollowText = -1;
    // Code page of the table's text; 0 = the one the table declares (or its
    // language driver implies). 3.x tables do not declare one, and some tables
    // declare the wrong one: this lets the user say better. A page the reader
    // does not know (TextDecoder::isKnown) counts as 0.
    int codePage = 0;
};

// What is known of a table's code page: three pieces of evidence, and the
// page the text is decoded from.
struct CodePageEvidence {
    int declared = 0;      // the header's code page; 0 when it has none (3.x) or stores 0
    bool declaredKnown = true;  // false when the header names a page the reader does not know
    int driver = 0;        // the language driver's page; 0 when it implies none
    int textShows = 0;     // the page the text plainly is in, when that is not `used`; else 0
    int used = 437;        // the page the text is decoded from
    bool chosen = false;   // the caller chose `used` (OpenOptions::codePage)
    bool followedText = false;  // `used` is what the text shows, not what the table says
};

class Table {
public:
    virtual ~Table() = default;

    // Throws ReadError when the file is missing, unreadable, or not a Paradox table.
    static std::unique_ptr<Table> open(const std::filesystem::path& dbFile);
    static std::unique_ptr<Table> open(const std::filesystem::path& dbFile, const OpenOptions& options);

    virtual const std::filesystem::path& path() const = 0;
    virtual const std::vector<Field>& fields() const = 0;
    // The rows the table gives: the live records along the block chain, and
    // on a damaged table those recovered beside it (not the header's claim).
    virtual std::int64_t rowCount() const = 0;
    // The values of row `index` (0-based, chain order). Throws ReadError for a
    // row that cannot be read (its block fails to read, or the file changed
    // since it was opened); that row only: the rows after it stay readable.
    // A single unreadable blob comes back as a ValueError cell.
    virtual std::vector<Value> row(std::int64_t index) const = 0;
    // Only the listed columns of a row, in the order given.
    virtual std::vector<Value> row(std::int64_t index, const std::vector<int>& columns) const = 0;

    // Like row(), but refills `out` (reusing its storage): the cheap way to
    // stream a whole table. Reading rows in order touches each block once.
    virtual void readRow(std::int64_t index, std::vector<Value>& out) const { out = row(index); }
    // Like row(index, columns), refilling `out` the same way.
    virtual void readRow(std::int64_t index, const std::vector<int>& columns, std::vector<Value>& out) const {
        out = row(index, columns);
    }

    // What the header claims, without walking anything (may be wrong after damage).
    virtual std::int64_t headerRowCount() const { return rowCount(); }
    // Code page the text is decoded from (after OpenOptions and fallbacks); 0 if none.
    virtual int codePage() const { return 0; }
    // The header's, the language driver's and the text's word on the code
    // page. The text is looked at on the first call (a bounded sample: field
    // names, alpha values and memos of the first rows), unless OpenOptions
    // asked to follow it or the header's page is unknown, when open() did.
    virtual CodePageEvidence codePageEvidence() const { return {}; }
    // Whether the table is password-protected (it is read all the same).
    virtual bool encrypted() const { return false; }
    // How many fields, from the first on, make up the table's key (its
    // primary index): 0 for a table the header does not say is keyed, or whose
    // key field count is no count of its fields.
    virtual int keyFields() const { return 0; }
    // Empty for a sound table. Otherwise every disagreement found between the
    // header, the block chain and the blocks, one per line ("\n" between
    // them), each naming the file and where (block and byte offset) and what
    // it means for the rows, then every field name that could not be used.
    // When the blocks disagree, the first line sums up the rows: what the
    // header counts, how many were found along the chain and recovered
    // beside it, how many are missing and where, and which rows are in doubt,
    // by table row (1 for the first row given), e.g. "T.DB: the header says
    // 205 rows; 30 were found along the block chain, and 175 more were
    // recovered from blocks 6-34 outside it: all 205 are there".
    virtual std::string damage() const { return {}; }
    // Whether, on a damaged table, the rows given may not be exactly the
    // table's rows in its order: some may be missing or extra, or the place of
    // some is not known. False for a sound table, and for a damaged one whose
    // rows were all recovered from what the file itself shows.
    virtual bool rowsInDoubt() const { return false; }
};

}  // namespace driver
