#pragma once
// One table written cell by cell into a file: the interface the .xlsx, .csv
// and SQLite writers share. A workbook or a database can hold several tables:
// the caller starts each with startTable() and hands them over one after the
// other; the rules below are then those of each table.
//
// Rows are 1-based and arrive in ascending order; row 1 is the header. The
// cells of a row arrive in ascending column order (columns are 1-based);
// a row or cell may be skipped, and is then empty. Header cells may come in
// any order and may be set again until the first data row is written.
//
// Nothing is written to the file's own name until finish(): the file grows
// under a hidden name beside it and is renamed when complete. A writer
// destroyed unfinished, or whose finish() failed, removes what it wrote.
// Every failure throws std::runtime_error; a failure of the file itself
// names the file and the cause ("Could not write the workbook
// /tmp/x/Book1.xlsx: No space left on device.").

#include "driver/Table.h"
#include "driver/Value.h"

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace workbook {

// One worksheet a writer filled: its name and which data rows it holds, in
// the caller's numbering (rows firstRow .. firstRow + rows - 1; the header
// copied into it is not counted).
struct SheetRows {
    std::string name;
    std::int64_t firstRow = 2;
    std::int64_t rows = 0;
    bool operator==(const SheetRows&) const = default;
};

// What the format changed on the way. Rows and columns in the caller's
// numbering.
struct Report {
    // How many row numbers cutRows keeps at most.
    static constexpr std::size_t kCutRowsKept = 10;

    std::int64_t cutTexts = 0;              // texts cut to fit a cell
    std::vector<int> cutColumns;            // where, ascending, each once
    std::vector<std::int64_t> cutRows;      // the first rows with a cut text, ascending
    // Values the format could not show as they are (a graphic holding no
    // picture the workbook can show); their cells say "(unreadable: <why>)".
    std::int64_t unshown = 0;
    std::vector<int> unshownColumns;        // ascending, each once
    std::vector<std::int64_t> unshownRows;  // the first rows, ascending
    std::string unshownReason;              // why the first could not be shown
    std::vector<SheetRows> sheets;          // the worksheets in order (none for CSV)
    // What the format changed that loses nothing, one sentence each (a name
    // the output could not take as it is, a key it could not keep).
    std::vector<std::string> notices;
    // Whether the output numbers rows from the first data row (a database's
    // rowid) rather than from the header.
    bool rowsFromData = false;

    bool anyCut() const { return cutTexts > 0; }
    bool operator==(const Report&) const = default;
};

// A table of an output that holds several.
struct TableStart {
    std::string name;              // as the table list names it
    std::vector<int> keyColumns;   // the columns of its key in the key's order; empty: none
};

class TableWriter {
public:
    virtual ~TableWriter() = default;

    // Begins the next table of an output that holds several: rows start
    // again at 1 (its header), setColumns may be called again, and report()
    // is this table's. The output names the table after `table.name` as far
    // as its rules allow, and keeps its key where it has keys. Throws
    // std::logic_error for an output that holds one table only.
    virtual void startTable(const TableStart& table);

    // The table's fields in column order (column 1 first). Gives the
    // columns their widths (a workbook) or their types (a database); only
    // before the first data row. Optional.
    virtual void setColumns(const std::vector<driver::Field>& fields) = 0;
    // The cell keeps the value's type as the format allows; Null leaves it empty.
    virtual void setCell(std::int64_t row, int column, const driver::Value& value) = 0;
    // A text cell (UTF-8), e.g. a header.
    virtual void setText(std::int64_t row, int column, std::string_view text) = 0;
    // A blob value (driver::Bytes) whose bytes were also written to a file:
    // the cell holds `file`, that file's path relative to the output's folder
    // ('/' between names), in place of the bytes; a link to it where the
    // format has links. A picture still shows. Other values: as setCell.
    virtual void setFileCell(std::int64_t row, int column, const driver::Value& value, std::string_view file) = 0;
    // Writes the rest of the file and gives it its name. Afterwards every
    // setCell throws; finishing again does nothing.
    virtual void finish() = 0;
    virtual bool finished() const = 0;
    // What the format changed so far (in the current table).
    virtual const Report& report() const = 0;
    // The file finish() writes.
    virtual const std::filesystem::path& path() const = 0;
};

inline void TableWriter::startTable(const TableStart&) {
    throw std::logic_error("A " + path().extension().string() + " file holds one table only.");
}

}  // namespace workbook
