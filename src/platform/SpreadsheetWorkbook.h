#pragma once
// One .xlsx workbook written with libxlsxwriter in constant-memory mode: each
// row goes to a temporary file as soon as a later row is started, so memory
// stays flat however many rows arrive. Rows must therefore arrive in order
// (the cells of a row in any order); writing above the last row started in a
// worksheet throws.
//
// Values keep their type in the sheet:
//   bool -> boolean; integer, double -> number; Money -> number shown "#,##0.00";
//   Decimal -> number shown with its own decimals when the double gives back
//     the same decimal, otherwise text, so no digit is lost;
//   Date, Time, Timestamp -> date serial shown "yyyy-mm-dd", "hh:mm:ss",
//     "yyyy-mm-dd hh:mm:ss"; outside 1900-01-01..9999-12-31 (or a time outside
//     the day) as ISO text ("1899-12-31", "-0001-12-31 10:00:00");
//   text -> text as it is ("01067" stays text, "_x0041_" stays "_x0041_"); Null -> empty cell;
//   Bytes -> "(graphic, 9618 bytes)"; ValueError -> "(unreadable: <message>)";
//   NaN and infinities, which a sheet cannot hold -> "NaN", "Infinity", "-Infinity";
//   integers beyond 2^53, which a double cannot hold exactly -> their digits as text.
//
// Limits: a worksheet holds sheetRows rows; row 1 is the header. Data rows
// that do not fit go on in Sheet2, Sheet3, ... each starting with a copy of
// row 1. Texts longer than a cell holds are cut and counted.

#include "driver/Value.h"
#include "platform/Spreadsheet.h"

#include <QString>

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct lxw_workbook;
struct lxw_worksheet;
struct lxw_format;

namespace platform {

// Worksheets a workbook gets at most. Each keeps a temporary file open until
// the workbook is finished, so this stays well below the usual limit of 1024
// open files; with full sheets it is room for over 500 million rows.
inline constexpr int kMaxSheets = 512;
// Columns a worksheet holds (LXW_COL_MAX).
inline constexpr int kSheetColumns = 16'384;
// UTF-16 code units a cell's text holds. libxlsxwriter counts characters;
// Excel counts UTF-16 units, so a character outside the BMP counts twice.
inline constexpr std::size_t kCellTextUnits = 32'767;

// The longest prefix of text that holds at most maxUnits UTF-16 units and
// ends on a character boundary, in bytes. Bytes that are not valid UTF-8
// count one unit each.
std::size_t fittingTextBytes(std::string_view text, std::size_t maxUnits = kCellTextUnits);

class XlsxWorkbook final : public Worksheet {
public:
    // A workbook that finish() writes to path. libxlsxwriter keeps its
    // temporary files in temporaryFolder, which must exist.
    // Throws std::runtime_error when the workbook cannot be started.
    XlsxWorkbook(const QString& path, const QString& temporaryFolder, std::int64_t sheetRows = kSheetRows);
    // Drops an unfinished workbook without writing it.
    ~XlsxWorkbook() override;
    XlsxWorkbook(const XlsxWorkbook&) = delete;
    XlsxWorkbook& operator=(const XlsxWorkbook&) = delete;

    void setCell(std::int64_t row, int column, const driver::Value& value) override;
    void setCell(std::int64_t row, int column, const QString& text) override;

    // Writes the file. Afterwards every setCell throws; finishing again does nothing.
    void finish();
    bool finished() const { return book_ == nullptr; }

    int sheetCount() const { return static_cast<int>(sheets_.size()); }
    TruncationReport truncations() const;

private:
    struct Target {
        lxw_worksheet* sheet;
        std::uint32_t row;  // 0-based in that sheet
        std::uint16_t column;
    };
    Target locate(std::int64_t row, int column);
    void addSheet();
    void write(const Target& at, std::int64_t row, int column, const driver::Value& value);
    void writeText(const Target& at, std::int64_t row, int column, std::string_view text);
    const char* escapeLiteralCodes(const char* text);
    void writeNumber(const Target& at, std::int64_t row, int column, double number, lxw_format* format);
    void writeDecimal(const Target& at, std::int64_t row, int column, const std::string& text);
    void check(int error, std::int64_t row, int column) const;
    lxw_format* numberFormat(const char* code);
    void rememberHeader(int column, const driver::Value& value);

    QString path_;
    std::string temporaryFolder_;  // must outlive book_
    std::int64_t sheetRows_;
    lxw_workbook* book_ = nullptr;
    std::vector<lxw_worksheet*> sheets_;
    // Rows [firstRow_, endRow_) of the program's numbering go to sheets_.back().
    std::int64_t firstRow_ = 1;
    std::int64_t endRow_ = 1;

    lxw_format* money_ = nullptr;
    lxw_format* date_ = nullptr;
    lxw_format* time_ = nullptr;
    lxw_format* dateTime_ = nullptr;
    std::array<lxw_format*, 31> decimals_{};  // "0", "0.0", ... "0.000...0" (30 decimals)

    std::vector<std::pair<int, driver::Value>> header_;  // row 1, by column
    std::string cut_;                                   // a cut text, kept to reuse its buffer
    std::string escaped_;                               // a text with "_xHHHH_" escaped
    std::int64_t truncatedCells_ = 0;
    std::set<int> truncatedColumns_;
};

}  // namespace platform
