#pragma once
// Tables into one SQLite database: one SQL table per table (startTable), one
// column per field, rows inserted through prepared statements on a thread of
// their own while the caller reads the next ones, all in one transaction.
// Rows go over in batches of bounded size, so memory stays flat however many
// rows arrive. The database grows under a hidden name beside its own (see
// OutputFile) with no journal beside it, and only a finished database gets
// its name: an interrupted export leaves nothing.
//
// Names are input, never SQL: every table and column name is quoted as an
// identifier ("a ""b""" for a "b"), so quotes, semicolons and keywords stay
// part of the name. SQLite tells identifiers apart without ASCII letter case,
// so a name already taken in that sense gets "-2" (then "-3", ...); an empty
// table name becomes "table", and one beginning with "sqlite_" (SQLite's
// own) gets "_" before it. Every such change is a notice in the report. A
// column is named by its header cell (row 1), else by its field, else
// "column N".
//
// Columns: the declared type names the Paradox type first, then the SQLite
// type that gives the column its affinity (so SQLite converts nothing):
//   Alpha "ALPHA TEXT", Memo "MEMO TEXT", Formatted memo "FORMATTED MEMO TEXT",
//   Short "SHORT INTEGER", Long "LONG INTEGER", Autoincrement "AUTOINC INTEGER",
//   Logical "LOGICAL INTEGER", Number "NUMBER REAL", Money "MONEY REAL",
//   BCD "BCD BLOB" (BLOB affinity: each value stays REAL or TEXT as written),
//   Date "DATE TEXT", Time "TIME TEXT", Timestamp "TIMESTAMP TEXT",
//   Graphic "GRAPHIC BLOB", Binary "BINARY BLOB", OLE "OLE BLOB",
//   Bytes "BYTES BLOB". Without setColumns a column has no declared type.
//
// Values:
//   Null -> NULL; bool -> INTEGER 1 or 0; integer -> INTEGER;
//   double, Money -> REAL, the same double (negative zero reads back as 0);
//     NaN, which SQLite would store as NULL -> TEXT "NaN";
//   Decimal -> REAL when the double gives back the same decimal, otherwise
//     TEXT holding the decimal as the table holds it ("-12.50");
//   Date -> TEXT "2021-08-31"; Time -> "13:45:30", "13:45:30.250";
//   Timestamp -> "2021-08-31 13:45:30[.250]": the forms SQLite's date and
//     time functions read; years before 1 astronomically ("-0001-12-31");
//   text -> TEXT as it is, NUL included;
//   Bytes -> BLOB, the stored bytes (a graphic's image from its signature
//     on: driver::blobContent); setFileCell as setCell, since the database
//     keeps the bytes themselves;
//   a formatted memo is the reader's text (TEXT), or its bytes (BLOB) where
//     the reader finds no text in it;
//   ValueError -> TEXT "(unreadable: <message>)".
// No text is cut and no row is left out.
//
// Keys: a table started with key columns gets them as its PRIMARY KEY. When
// a row repeats a key already written (a damaged table, or duplicates), the
// table is made again without the key, its rows kept in their order, and a
// notice says which row broke it.
//
// Rows: data row r (row 1 is the header) is the SQL row with rowid r - 1;
// the report says so (rowsFromData). A skipped row is a row of NULLs.

#include "workbook/TableWriter.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

struct sqlite3;
struct sqlite3_stmt;

namespace workbook {

class OutputFile;

struct SqliteOptions {
    // Whether an existing file of that name is replaced; otherwise the
    // constructor refuses it.
    bool replace = false;
};

class SqliteWriter final : public TableWriter {
public:
    // Starts the database that finish() writes to path. Throws
    // std::runtime_error naming the file when it cannot be made.
    explicit SqliteWriter(std::filesystem::path path, SqliteOptions options = {});
    ~SqliteWriter() override;
    SqliteWriter(const SqliteWriter&) = delete;
    SqliteWriter& operator=(const SqliteWriter&) = delete;

    void startTable(const TableStart& table) override;
    void setColumns(const std::vector<driver::Field>& fields) override;
    void setCell(std::int64_t row, int column, const driver::Value& value) override;
    void setText(std::int64_t row, int column, std::string_view text) override;
    void setFileCell(std::int64_t row, int column, const driver::Value& value, std::string_view file) override;
    void finish() override;
    bool finished() const override { return finished_; }
    // Waits for the rows handed over so far.
    const Report& report() const override;
    const std::filesystem::path& path() const override { return path_; }

    // The current table's name in the database.
    const std::string& tableName() const { return table_; }

private:
    // A value of a row waiting to be inserted; texts and blobs lie in its
    // batch's bytes.
    struct Cell {
        enum class Kind : std::uint8_t { Null, Integer, Real, Text, Blob } kind = Kind::Null;
        std::int64_t integer = 0;
        double real = 0;
        std::size_t offset = 0, size = 0;
    };
    // Rows handed to the inserting thread together.
    struct Batch {
        std::int64_t firstRow = 2;
        std::size_t rows = 0;
        std::vector<Cell> cells;  // rows x columns
        std::string bytes;
    };
    struct Column {
        std::string header;     // row 1
        std::string type;       // declared type; empty: none
        std::string fieldName;
    };

    void check(int code, const char* doing);
    void execute(const std::string& sql);
    void locate(std::int64_t row, int column);
    void beginRow();
    void createTable();
    std::string createStatement(const std::string& name, bool withKey) const;
    void prepareInsert();
    void endTable();
    void fail() noexcept;
    std::string uniqueName(std::string wanted, std::set<std::string>& taken);
    // The caller's side of the inserting thread: hands over the batch being
    // filled; waits until every batch is inserted; rethrows its failure.
    void submit();
    void drain() const;
    // The inserting thread.
    void insertBatches();
    void insertBatch(const Batch& batch);
    void bindRow(sqlite3_stmt* statement, const Batch& batch, std::size_t row, int first);
    void dropKey(std::int64_t row);

    std::filesystem::path path_;
    std::unique_ptr<OutputFile> file_;
    sqlite3* db_ = nullptr;
    sqlite3_stmt* insert_ = nullptr;      // one row
    sqlite3_stmt* insertMany_ = nullptr;  // manyRows_ rows
    std::size_t manyRows_ = 0;
    std::int64_t inserted_ = 0;           // rows of the table inserted, the last one's rowid
    std::string rowid_;                   // a name of the rowid no column has; empty: none
    Report report_;
    bool finished_ = false;
    bool failed_ = false;

    std::set<std::string> tableNames_;  // taken, ASCII letters in lower case
    bool tableOpen_ = false;            // startTable called, table not yet ended
    bool created_ = false;              // its CREATE TABLE executed
    std::string table_;                 // its name in the database
    std::vector<int> key_;              // its key columns (1-based)
    std::vector<Column> columns_;
    std::vector<std::string> columnNames_;  // as created
    std::int64_t row_ = 1;              // the data row being written
    int column_ = 0;                    // its last cell written

    std::size_t batchRows_ = 0;
    std::unique_ptr<Batch[]> batches_;
    Batch* filling_ = nullptr;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Batch*> queued_;         // full, for the inserting thread
    std::vector<Batch*> free_;
    bool inserting_ = false;
    bool stopping_ = false;
    bool abandoned_ = false;            // insert nothing more
    std::exception_ptr error_;          // the inserting thread's failure
    std::thread inserter_;
};

}  // namespace workbook
