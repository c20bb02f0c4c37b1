#pragma once
// Writes a Paradox table of any version from 3.0 to 7.x, keyed or not, plain
// or password-protected: the .db file and, when the table has memo or binary
// fields, its .mb blob file. The primary index (.PX) of a keyed table is not
// written; readers do not need it.
//
//     paradoxwriter::Writer w("CUSTOMER.DB", {{"Id", driver::FieldType::AutoIncrement},
//                                             {"Company", driver::FieldType::Alpha, 40}});
//     w.addRow({driver::Null{}, std::string("Café Révolution")});
//     w.finish();
//
// Rows stream to disk one data block at a time, so memory use does not grow
// with the table. Values are driver::Value, the type the reader hands back, so
// a table written here reads back equal (text as UTF-8, converted to the
// table's code page on the way in).

#include "driver/Value.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace paradoxwriter {

class BlobWriter;
class TextEncoder;

// Every failure: a bad field list or option, a value that does not fit its
// field, an I/O error. The message names the file, and the row and field
// where there is one.
class WriteError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// One column. `size` means what Paradox's table dialog calls the size:
//   Alpha: width in bytes of the code page, 1..255
//   Bytes: width, 1..255
//   Memo: leader bytes kept in the record, 1..240 (the record holds leader + 10)
//   Binary, FormattedMemo, Ole, Graphic: leader bytes, 0..240
//   Bcd: number of decimals, 0..32 (the field is always 17 bytes)
//   all other types: ignored (fixed width)
// Names are 1..25 characters; blanks and punctuation are fine.
struct FieldDef {
    std::string name;  // UTF-8
    driver::FieldType type;
    int size = 0;
};

// The language driver (sort order) written into the header, with the code
// page it goes with (format note, section 6).
enum class LanguageDriver {
    AnsiIntl,  // "ANSIINTL", sort order 0x62, 1252
    DbWinUs0,  // "DBWINUS0", sort order 0x4C, 1252
    DbWinWe0,  // "DBWINWE0", sort order 0x40, 1252
    AnsiI850,  // "ANSII850", sort order 0x11, 1252
    Ascii,     // "ascii", sort order 0x00, any DOS code page
    Intl,      // "intl", sort order 0xB7, 437
    Intl850,   // "intl850", sort order 0x54, 850
    Nordan40,  // "nordan40", sort order 0xE6, 865
    Turk,      // "turk", sort order 0xC6, 857
    Cyrr,      // "cyrr", sort order 0xC0, 866
    China,     // "china", sort order 0x03, 936
};

struct Options {
    // The file version id: 3 (Paradox 3.0), 4 (3.5), 5..9 (4.x), 10..11 (5.x),
    // 12 (7.x). 3.x tables have no code-page field (only the sort order tells
    // it), a 3.0 header ends right after the field names, and each version
    // knows only the types it brought: 3.x Alpha, Short, Number, Money, Date;
    // 4.x adds the blob types; 5.x all others.
    int version = 12;
    int codePage = 1252;
    // Empty: the DOS driver that goes with the code page above, or "ANSIINTL".
    std::optional<LanguageDriver> languageDriver;
    // Keyed table (file type 0) when 1 or more: the first `keyFields` fields
    // form the primary key, none of them a blob. Rows are stored in the order
    // they are added; add them in key order, as Paradox keeps them.
    int keyFields = 0;
    // Data block size: 1, 2, 4, 8, 16 or 32 KiB. A table holds at most 65,535
    // blocks, so big tables with wide records need big blocks.
    int blockKiB = 2;
    // At most this many rows per data block; 0 = as many as fit. Paradox
    // leaves room in the blocks of keyed tables for rows inserted later.
    int rowsPerBlock = 0;
    // Table name stored in the header; empty = the file name.
    std::string tableName;
    // Non-zero: a password-protected table. The key is stored in the header;
    // the data blocks and the whole .mb file are scrambled with it.
    std::uint32_t scrambleKey = 0;
};

class Writer {
public:
    // Checks the fields and options, then creates (truncates) `dbFile` and,
    // when a blob field exists, the blob file beside it: same stem,
    // extension ".MB", or ".mb" when `dbFile`'s extension has a lower-case 'd'.
    // Supported types: Alpha, Short, Long, Number, Money, Date, Time,
    // Timestamp, Logical, AutoIncrement (at most one), Memo, Binary,
    // FormattedMemo, Ole, Graphic, Bcd, Bytes.
    // Throws WriteError.
    Writer(std::filesystem::path dbFile, std::vector<FieldDef> fields, Options options = {});
    // A writer dropped before finish() removes its files: half a table is damage.
    ~Writer();
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // Appends one row, a value per field in field order. Accepted values:
    //   any type: driver::Null (stored as all zeros, the table's NULL)
    //   Alpha, Memo, FormattedMemo: std::string, UTF-8; "" is stored as NULL
    //     (Paradox has no empty text); Alpha must fit the width after
    //     conversion, no NUL; a formatted memo is laid out as Paradox for
    //     Windows stores one typed in its default font
    //   Short, Long: std::int64_t in -32767..32767 / -2147483647..2147483647
    //   AutoIncrement: std::int64_t 1..2147483647, or Null = one more than the
    //     highest so far
    //   Number: double or std::int64_t; Money: driver::Money, double or std::int64_t
    //   Date: driver::Date, years 1..9999
    //   Time: driver::Time, 0..86,399,999 ms
    //   Timestamp: driver::Timestamp (date as above, time as Time)
    //   Logical: bool
    //   Bcd: driver::Decimal or std::int64_t (see encode::bcd for the text)
    //   Binary, Bytes: driver::Bytes (Bytes: at most the width; shorter is zero-padded)
    //   Graphic, Ole: driver::Bytes, the image or object; stored after the
    //     8-byte prefix Paradox puts before it
    // A row that throws WriteError is not written; the writer stays usable
    // unless the error was an I/O failure.
    void addRow(const std::vector<driver::Value>& values);

    // Writes the last block and the final header, closes the files. Throws WriteError.
    void finish();

    std::int64_t rowCount() const { return rows_; }
    const std::filesystem::path& path() const { return path_; }
    // Empty when the table has no blob fields.
    const std::filesystem::path& blobPath() const { return blobPath_; }

    // Each field's bytes in a record (what the reader reports as Field::size).
    static int recordBytes(const FieldDef& field);

private:
    struct Column {
        FieldDef def;
        std::string name;  // in the code page
        int offset;
        int bytes;
    };
    struct PendingBlob {
        const Column* column;
        std::string data;
    };

    void encodeField(const Column& column, const driver::Value& value, std::uint8_t* out,
                     std::vector<PendingBlob>& blobs);
    [[noreturn]] void fail(const Column& column, const std::string& what) const;
    void flushBlock(bool last);
    void writeAt(std::uint64_t offset, const std::uint8_t* data, std::size_t size);
    std::vector<std::uint8_t> header() const;
    void removeFiles() noexcept;

    std::filesystem::path path_;
    std::filesystem::path blobPath_;
    Options options_;
    std::vector<Column> columns_;
    std::unique_ptr<TextEncoder> text_;
    std::unique_ptr<BlobWriter> blobs_;
    std::ofstream file_;

    int recordSize_ = 0;
    int headerSize_ = 0;
    int blockSize_ = 0;
    int recordsPerBlock_ = 0;
    std::vector<std::uint8_t> block_;
    std::vector<std::uint8_t> record_;
    int recordsInBlock_ = 0;
    int blockNumber_ = 0;  // 1-based number of the block being filled; 0 = none yet
    std::int64_t rows_ = 0;
    std::int64_t autoIncrement_ = 0;  // highest autoincrement value written
    std::int64_t rowAutoIncrement_ = 0;  // the value of the row being encoded
    bool finished_ = false;
};

}  // namespace paradoxwriter
