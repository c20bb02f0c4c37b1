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
//   Null and empty text -> empty cell; ValueError -> "(unreadable: <message>)";
//   a graphic (Bytes of FieldType::Graphic) holding an image spreadsheets
//     read (driver::findImage: BMP, PNG, JPEG, GIF) -> a picture over its
//     cell: the image file itself, byte for byte from its signature on, in
//     the workbook (xl/media), its top-left corner at the cell's, moving and
//     sizing with the cell; shown at most 160 x 100 pixels, aspect kept,
//     never enlarged, the row made tall enough for it and a line of text
//     below. The cell under it says "(picture, BMP 250 x 150)" (shown below
//     the picture), so the column is not empty to a filter.
//   a graphic without such an image -> "(unreadable: <why>)", counted in the
//     report's unshown values with its row;
//   other Bytes (binary, OLE, bytes, a formatted memo whose text cannot be
//     found) -> "0x" and each byte as two lowercase hex digits, whole when
//     that fits a cell (16,382 bytes), else cut and counted as a cut text;
//   setFileCell -> the file's path as text, with a hyperlink to it (a
//     relative target, '%HH' for bytes outside letters, digits and "-._~/");
//     a graphic's picture still shows;
//   NaN and infinities, which a sheet cannot hold -> "NaN", "Infinity",
//     "-Infinity"; integers beyond 2^53, which a double cannot hold
//     exactly -> their digits as text.
//
// Limits: a worksheet holds sheetRows rows; row 1 is the header. Data rows
// that do not fit go on in Sheet2, Sheet3, ... (at most kMaxSheets), each
// starting with a copy of row 1.
//
// Tables: without startTable the workbook holds one table, on Sheet1 (and
// on). Each startTable begins a table on sheets of its own, after those of
// the table before: the first named after the table as SheetNames takes it
// (a notice in the report says when that is not the table's name as it is),
// the next "NAME (2)", "NAME (3)", ...; a table without rows still has its
// sheet with its header. Everything else, widths, pictures and links
// included, is as for a workbook of that one table. A text longer than a cell holds (32,767
// UTF-16 units) is cut at a character boundary and counted in the report.
//
// Views: every worksheet keeps its header row in view (frozen) and gives
// each column the width its field's type and size and its name need, when
// setColumns was called.
//
// Pictures and links wait in a temporary file beside the workbook until
// their sheet is complete (SheetAttachments), so memory does not grow with
// them but for the zip's directory, which keeps about 70 bytes for each
// picture until the file ends. Where setColumns named no graphic field, rows go straight
// to the sheet as before; otherwise each row is held until complete, so it
// can be made tall enough for its pictures.

#include "workbook/SheetNames.h"
#include "workbook/TableWriter.h"

#include <array>
#include <functional>
#include <memory>
#include <set>

namespace driver {
struct Image;
}

namespace workbook {

class OutputFile;
class ZipArchive;
class ParallelDeflate;
class SheetAttachments;

// The largest size a picture is shown at, in pixels.
inline constexpr std::uint32_t kPictureWidth = 160;
inline constexpr std::uint32_t kPictureHeight = 100;

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

    void startTable(const TableStart& table) override;
    void setColumns(const std::vector<driver::Field>& fields) override;
    void setCell(std::int64_t row, int column, const driver::Value& value) override;
    void setText(std::int64_t row, int column, std::string_view text) override;
    void setFileCell(std::int64_t row, int column, const driver::Value& value, std::string_view file) override;
    void finish() override;
    bool finished() const override { return finished_; }
    const Report& report() const override { return report_; }
    const std::filesystem::path& path() const override { return path_; }

    // The current table's worksheets.
    int sheetCount() const { return static_cast<int>(report_.sheets.size()); }

private:
    struct HeaderCell {
        int column;
        std::string body;  // the cell's XML after its reference
    };

    void locate(std::int64_t row, int column);
    void startSheet();
    void endSheet();
    void endTable();
    void writeCell(int column, const driver::Value& value);
    void beginCell(int column);
    void writeNumber(double number, int style);
    void writeText(std::string_view text);
    void writeIsoDate(const driver::Date& date, const driver::Time* time);
    void writeBytes(const driver::Bytes& bytes);
    void addPicture(const driver::Bytes& bytes, const driver::Image& image);
    void endRow();
    void writeAttachments(int sheet);
    void streamMember(const std::string& name, const std::function<void(const std::function<void(std::string_view)>&)>& body);
    std::uint64_t columnPixels(int column) const;
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

    // Tables (startTable): each has sheets of its own, named after it.
    bool tables_ = false;               // startTable was called
    std::string tableName_;             // the current table's name
    std::string tableSheet_;            // its first sheet's name
    SheetNames sheetNames_;
    std::vector<std::string> sheetParts_;  // every sheet's name, in the workbook's order

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
    std::set<int> unshownColumns_;
    std::string scratch_;               // a header cell being formatted
    bool toScratch_ = false;

    // Pictures and links.
    std::unique_ptr<SheetAttachments> attachments_;
    bool holdRows_ = true;              // rows are held until complete (a graphic column, or columns not known)
    std::string heldRow_;               // the cells of the row held
    std::string* target_ = nullptr;     // where cell XML goes: a string, or the compressor when null
    std::uint32_t rowPictures_ = 0;     // the tallest picture of the row held, in pixels
    std::uint64_t rowTop_ = 0;          // pixels from the sheet's top to row_'s top
    std::uint64_t rowHeight_ = 0;       // row_'s height in pixels
    int images_ = 0;                    // image files written so far
    int drawings_ = 0;                  // drawing parts written so far
};

// The width (in Excel's character units) a column of this field needs to
// show its header and its values.
double columnWidth(const driver::Field& field);

}  // namespace workbook
