#pragma once
// An .xlsx workbook (Office Open XML, SpreadsheetML) streamed row by row:
// each worksheet's XML is formatted as the cells arrive, compressed in
// chunks on worker threads (ParallelDeflate) and written into the zip
// (ZipArchive) at once, so memory stays flat however many rows arrive. The
// few fixed parts (content types, relationships, workbook, styles, core
// properties) are written by finish().
//
// Cells (see TableWriter for the order they arrive in):
//   bool -> boolean; integer, double -> number, written as the shortest
//     text that reads back as the same double (0.30000000000000004 stays
//     itself, negative zero is 0); Money -> number shown "#,##0.00";
//   Decimal -> number shown with its own decimals ("0.00") when the double
//     gives back the same decimal, otherwise its text, so no digit is lost;
//   Date, Time, Timestamp -> date serial shown "yyyy-mm-dd", "hh:mm:ss",
//     "yyyy-mm-dd hh:mm:ss"; with ".000" after the seconds when the value
//     has milliseconds, so that no program rounds them into the next second.
//     A serial with a time of day is the smallest double not below the exact
//     instant: LibreOffice, which cuts the seconds rather than rounding them,
//     shows the stored second, and the serial reads back to the same
//     millisecond.
//   Days from 1900-01-01 to 1900-02-28 (dates and timestamps) -> ISO 8601
//     date cells (t="d", "1900-01-01T00:00:00"): Excel counts a 29 February
//     1900 that LibreOffice does not, so no serial means the same day to
//     both; the ISO date does, and stays a date in both.
//   Outside 1900-01-01..9999-12-31, days that do not exist, and times
//     outside the day -> ISO text ("1899-12-31", "-0001-12-31 10:00:00",
//     "25:00:00");
//   text -> text as it is ("01067" stays text, "=1+1" is no formula);
//     escaped as escapeXmlText says (CellText.h): control characters as
//     "_xHHHH_", which Excel and LibreOffice read back as the character,
//     U+0000 included (LibreOffice reads "_x0000_" back as U+0000; a NUL
//     dropped or replaced would lose the text's shape); a text holding
//     "_xHHHH_" itself keeps it ("_x005F_xHHHH_");
//   Null and empty text -> empty cell; Bytes -> "(graphic, 9618 bytes)";
//   ValueError -> "(unreadable: <message>)";
//   NaN and infinities, which a sheet cannot hold -> "NaN", "Infinity",
//     "-Infinity"; integers beyond 2^53, which a double cannot hold
//     exactly -> their digits as text.
//
// Limits: a worksheet holds sheetRows rows; row 1 is the header. Data rows
// that do not fit go on in Sheet2, Sheet3, ... (at most kMaxSheets), each
// starting with a copy of row 1. A text longer than a cell holds (32,767
// UTF-16 units) is cut at a character boundary and counted in the report.
//
// Views: every worksheet keeps its header row in view (frozen) and gives
// each column the width its field's type and size and its name need, when
// setColumns was called.

#include "workbook/TableWriter.h"

#include <array>
#include <memory>
#include <set>

namespace workbook {

class OutputFile;
class ZipArchive;
class ParallelDeflate;

// Rows a worksheet holds (Excel's limit).
inline constexpr std::int64_t kSheetRows = 1'048'576;
// Columns a worksheet holds.
inline constexpr int kSheetColumns = 16'384;
// Worksheets a workbook gets at most: room for over 500 million rows, and a
// stray row number cannot make millions of empty sheets.
inline constexpr int kMaxSheets = 512;

struct XlsxOptions {
    std::int64_t sheetRows = kSheetRows;  // 2 .. kSheetRows; tests lower it
    int level = 1;                        // zlib level of the worksheets
    unsigned threads = 0;                 // compressing threads; 0: one per core
    bool compressInline = false;          // compress on the caller's thread
};

class XlsxWriter final : public TableWriter {
public:
    // Starts the workbook that finish() writes to path. Throws
    // std::runtime_error naming the file when it cannot be made.
    explicit XlsxWriter(std::filesystem::path path, XlsxOptions options = {});
    ~XlsxWriter() override;
    XlsxWriter(const XlsxWriter&) = delete;
    XlsxWriter& operator=(const XlsxWriter&) = delete;

    void setColumns(const std::vector<driver::Field>& fields) override;
    void setCell(std::int64_t row, int column, const driver::Value& value) override;
    void setText(std::int64_t row, int column, std::string_view text) override;
    void finish() override;
    bool finished() const override { return finished_; }
    const Report& report() const override { return report_; }
    const std::filesystem::path& path() const override { return path_; }

    int sheetCount() const { return static_cast<int>(report_.sheets.size()); }

private:
    struct HeaderCell {
        int column;
        std::string body;  // the cell's XML after its reference
    };

    void locate(std::int64_t row, int column);
    void startSheet();
    void endSheet();
    void writeCell(int column, const driver::Value& value);
    void beginCell(int column);
    void writeNumber(double number, int style);
    void writeText(std::string_view text);
    void writeIsoDate(const driver::Date& date, const driver::Time* time);
    void countCut(std::int64_t row, int column);
    void fail();

    std::filesystem::path path_;
    XlsxOptions options_;
    std::unique_ptr<OutputFile> file_;
    std::unique_ptr<ZipArchive> zip_;
    std::unique_ptr<ParallelDeflate> deflate_;
    Report report_;
    bool finished_ = false;
    bool failed_ = false;

    std::vector<double> widths_;        // by column, from setColumns
    std::vector<HeaderCell> header_;    // row 1, by column
    bool sheetOpen_ = false;
    std::int64_t firstRow_ = 2;         // the current sheet's first data row
    std::int64_t endRow_ = 2;           // one past its last
    std::int64_t row_ = 1;              // the row being written (caller's numbering)
    int lastColumn_ = 0;                // the last column written in row_
    bool rowOpen_ = false;
    std::int64_t cellRow_ = 0;          // the cell being written
    int cellColumn_ = 0;
    std::array<char, 24> rowDigits_{};  // its number in the sheet
    std::size_t rowDigitsSize_ = 0;
    std::vector<std::string> columnNames_;  // "A", "B", ... as far as used
    std::set<int> cutColumns_;
    std::string scratch_;               // a header cell being formatted
    bool toScratch_ = false;
};

// The width (in Excel's character units) a column of this field needs to
// show its header and its values.
double columnWidth(const driver::Field& field);

}  // namespace workbook
