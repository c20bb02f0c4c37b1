#include "workbook/XlsxWriter.h"

#include "workbook/CellText.h"
#include "workbook/CellValues.h"
#include "workbook/OutputFile.h"
#include "workbook/ParallelDeflate.h"
#include "workbook/SheetAttachments.h"
#include "workbook/ZipArchive.h"

#include "driver/Picture.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <stdexcept>
#include <thread>
#include <type_traits>

namespace workbook {
namespace {

// Number formats, in the order of their cell styles (style 0 is General).
constexpr std::string_view kFormats[] = {
    "#,##0.00", "yyyy-mm-dd", "hh:mm:ss", "yyyy-mm-dd hh:mm:ss", "hh:mm:ss.000", "yyyy-mm-dd hh:mm:ss.000",
};
constexpr int kMoney = 1, kDate = 2, kTime = 3, kTimestamp = 4, kTimeMs = 5, kTimestampMs = 6;
// Styles kDecimals + d show a number with d decimals ("0", "0.0", ...).
constexpr int kDecimals = 7;
constexpr std::size_t kMaxDecimals = 30;
// The style of a text of several lines: wrapped and from the cell's top, so
// a cell of the usual height shows its first line, not its last.
constexpr int kLines = kDecimals + static_cast<int>(kMaxDecimals) + 1;
constexpr std::string_view kLinesStyle = " s=\"38\"";
static_assert(kLines == 38);
constexpr int kFirstCustomFormat = 164;

constexpr std::string_view kXmlDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";
constexpr std::string_view kMainNamespace = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr std::string_view kRelationshipNamespace =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

// Compressed worksheet bytes reach the zip once a chunk of this much XML is full.
constexpr std::size_t kChunkSize = std::size_t{1} << 20;

// A row's default height (15 points) and a column's default width, in pixels.
constexpr std::uint64_t kRowPixels = 20;
constexpr std::uint64_t kColumnPixels = 64;
// Room left below a picture in its row for a line of the cell's text, in pixels.
constexpr std::uint32_t kPictureMargin = 20;
// Bytes a cell holds as "0x" and two hex digits each.
constexpr std::size_t kHexBytes = (kCellTextUnits - 2) / 2;

char* put(char* out, std::string_view text) {
    std::memcpy(out, text.data(), text.size());
    return out + text.size();
}

std::string columnName(int index) {
    std::string name;
    for (; index > 0; index = (index - 1) / 26) name.insert(name.begin(), static_cast<char>('A' + (index - 1) % 26));
    return name;
}

std::string numberText(double number) {
    char text[kMaxNumberText];
    return std::string(text, appendShortest(text, number));
}

std::size_t characters(std::string_view utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

// `drawings` is how many drawing parts there are; `formats` the image formats used.
std::string contentTypes(std::size_t sheets, int drawings, const std::vector<driver::ImageFormat>& formats) {
    std::string xml(kXmlDeclaration);
    xml += "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
           "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
           "<Default Extension=\"xml\" ContentType=\"application/xml\"/>";
    for (const driver::ImageFormat format : formats) {
        std::string type(driver::imageFormatName(format));
        std::transform(type.begin(), type.end(), type.begin(), [](char c) { return char(c - 'A' + 'a'); });
        xml += "<Default Extension=\"" + std::string(driver::imageExtension(format)) + "\" ContentType=\"image/" + type +
               "\"/>";
    }
    xml += "<Override PartName=\"/xl/workbook.xml\" "
           "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>";
    for (std::size_t i = 1; i <= sheets; ++i)
        xml += "<Override PartName=\"/xl/worksheets/sheet" + std::to_string(i) +
               ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
    for (int i = 1; i <= drawings; ++i)
        xml += "<Override PartName=\"/xl/drawings/drawing" + std::to_string(i) +
               ".xml\" ContentType=\"application/vnd.openxmlformats-officedocument.drawing+xml\"/>";
    xml += "<Override PartName=\"/xl/styles.xml\" "
           "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.styles+xml\"/>"
           "<Override PartName=\"/docProps/core.xml\" "
           "ContentType=\"application/vnd.openxmlformats-package.core-properties+xml\"/></Types>";
    return xml;
}

std::string packageRelationships() {
    std::string xml(kXmlDeclaration);
    xml += "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
           "<Relationship Id=\"rId1\" "
           "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
           "Target=\"xl/workbook.xml\"/>"
           "<Relationship Id=\"rId2\" "
           "Type=\"http://schemas.openxmlformats.org/package/2006/relationships/metadata/core-properties\" "
           "Target=\"docProps/core.xml\"/></Relationships>";
    return xml;
}

// A text as an XML attribute's value (SheetNames has taken out the
// control characters and malformed bytes).
std::string xmlAttribute(std::string_view text) {
    std::string xml;
    for (const char c : text) {
        switch (c) {
        case '&': xml += "&amp;"; break;
        case '<': xml += "&lt;"; break;
        case '>': xml += "&gt;"; break;
        case '"': xml += "&quot;"; break;
        default: xml += c;
        }
    }
    return xml;
}

std::string workbookPart(const std::vector<std::string>& names) {
    std::string xml(kXmlDeclaration);
    xml += "<workbook xmlns=\"" + std::string(kMainNamespace) + "\" xmlns:r=\"" + std::string(kRelationshipNamespace) +
           "\"><bookViews><workbookView/></bookViews><sheets>";
    for (std::size_t i = 1; i <= names.size(); ++i) {
        xml += "<sheet name=\"" + xmlAttribute(names[i - 1]) + "\" sheetId=\"" + std::to_string(i) + "\" r:id=\"rId" +
               std::to_string(i) + "\"/>";
    }
    xml += "</sheets></workbook>";
    return xml;
}

std::string workbookRelationships(std::size_t sheets) {
    std::string xml(kXmlDeclaration);
    xml += "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    for (std::size_t i = 1; i <= sheets; ++i)
        xml += "<Relationship Id=\"rId" + std::to_string(i) + "\" Type=\"" + std::string(kRelationshipNamespace) +
               "/worksheet\" Target=\"worksheets/sheet" + std::to_string(i) + ".xml\"/>";
    xml += "<Relationship Id=\"rId" + std::to_string(sheets + 1) + "\" Type=\"" +
           std::string(kRelationshipNamespace) + "/styles\" Target=\"styles.xml\"/></Relationships>";
    return xml;
}

std::string stylesPart() {
    std::vector<std::string> formats(std::begin(kFormats), std::end(kFormats));
    for (std::size_t d = 0; d <= kMaxDecimals; ++d) formats.push_back(d == 0 ? "0" : "0." + std::string(d, '0'));
    std::string xml(kXmlDeclaration);
    xml += "<styleSheet xmlns=\"" + std::string(kMainNamespace) + "\"><numFmts count=\"" +
           std::to_string(formats.size()) + "\">";
    for (std::size_t i = 0; i < formats.size(); ++i)
        xml += "<numFmt numFmtId=\"" + std::to_string(kFirstCustomFormat + static_cast<int>(i)) +
               "\" formatCode=\"" + formats[i] + "\"/>";
    xml += "</numFmts><fonts count=\"1\"><font><sz val=\"11\"/><color theme=\"1\"/><name val=\"Calibri\"/>"
           "<family val=\"2\"/><scheme val=\"minor\"/></font></fonts>"
           "<fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
           "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
           "<borders count=\"1\"><border><left/><right/><top/><bottom/><diagonal/></border></borders>"
           "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellStyleXfs>"
           "<cellXfs count=\"" +
           std::to_string(formats.size() + 2) +
           "\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\"/>";
    for (std::size_t i = 0; i < formats.size(); ++i)
        xml += "<xf numFmtId=\"" + std::to_string(kFirstCustomFormat + static_cast<int>(i)) +
               "\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyNumberFormat=\"1\"/>";
    xml += "<xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" xfId=\"0\" applyAlignment=\"1\">"
           "<alignment vertical=\"top\" wrapText=\"1\"/></xf>";  // kLines
    xml += "</cellXfs><cellStyles count=\"1\"><cellStyle name=\"Normal\" xfId=\"0\" builtinId=\"0\"/></cellStyles>"
           "<dxfs count=\"0\"/><tableStyles count=\"0\"/></styleSheet>";
    return xml;
}

std::string coreProperties() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::string xml(kXmlDeclaration);
    xml += "<cp:coreProperties "
           "xmlns:cp=\"http://schemas.openxmlformats.org/package/2006/metadata/core-properties\" "
           "xmlns:dc=\"http://purl.org/dc/elements/1.1/\" xmlns:dcterms=\"http://purl.org/dc/terms/\" "
           "xmlns:dcmitype=\"http://purl.org/dc/dcmitype/\" "
           "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\"><dc:creator>Vellomar</dc:creator>"
           "<dcterms:created xsi:type=\"dcterms:W3CDTF\">" +
           std::string(stamp) + "</dcterms:created><dcterms:modified xsi:type=\"dcterms:W3CDTF\">" + stamp +
           "</dcterms:modified></cp:coreProperties>";
    return xml;
}

// Excel's column width for `chars` characters of the default font (Calibri
// 11: 7 pixels a digit, 5 pixels of padding), in its units of 1/256.
double widthFor(std::size_t chars) {
    chars = std::min<std::size_t>(chars, 250);
    return std::trunc((static_cast<double>(chars) * 7 + 5) / 7 * 256) / 256;
}

}  // namespace

double columnWidth(const driver::Field& field) {
    using driver::FieldType;
    // Characters the widest value shows.
    std::size_t value = 10;
    switch (field.type) {
    case FieldType::Alpha: value = static_cast<std::size_t>(std::clamp(field.size, 1, 50)); break;
    case FieldType::Date: value = 10; break;                      // 2021-08-31
    case FieldType::Time: value = 12; break;                      // 13:45:30.250
    case FieldType::Timestamp: value = 23; break;                 // 2021-08-31 13:45:30.250
    case FieldType::Short: value = 6; break;                      // -32767
    case FieldType::Long: case FieldType::AutoIncrement: value = 11; break;
    case FieldType::Number: value = 12; break;                    // General shortens the rest
    case FieldType::Money: value = 16; break;                     // 9,999,999,999.99
    case FieldType::Bcd: value = 18; break;
    case FieldType::Logical: value = 5; break;                    // FALSE
    case FieldType::Memo: case FieldType::FormattedMemo: value = 40; break;
    case FieldType::Binary: case FieldType::Graphic: case FieldType::Ole: case FieldType::Bytes: value = 24; break;
    }
    return widthFor(std::max(value, characters(field.name)) + 1);
}

XlsxWriter::XlsxWriter(std::filesystem::path path, XlsxOptions options)
    : path_(std::move(path)), options_(options) {
    if (options_.sheetRows < 2 || options_.sheetRows > kSheetRows)
        throw std::invalid_argument("A worksheet must hold between 2 and 1048576 rows.");
    if (options_.level < 1 || options_.level > 9) throw std::invalid_argument("The zlib level runs from 1 to 9.");
    unsigned threads = options_.threads != 0 ? options_.threads : std::max(1u, std::thread::hardware_concurrency());
    if (options_.compressInline) threads = 0;
    file_ = std::make_unique<OutputFile>(path_, "the workbook");
    zip_ = std::make_unique<ZipArchive>(*file_);
    deflate_ = std::make_unique<ParallelDeflate>(options_.level, threads, kChunkSize);
    // Beside the file being written (the folder a link leads to, if path_ is one).
    attachments_ = std::make_unique<SheetAttachments>(file_->partPath().parent_path(),
                                                      "Could not write the workbook " + path_.string());
}

XlsxWriter::~XlsxWriter() {
    if (!finished_) fail();
}

void XlsxWriter::fail() {
    failed_ = true;
    if (deflate_) deflate_->abandon();
    zip_.reset();
    if (file_) file_->discard();
}

// Ends the current table's last sheet; a table without rows still has its
// sheet, with its header.
void XlsxWriter::endTable() {
    if (!sheetOpen_ && report_.sheets.empty()) startSheet();
    if (sheetOpen_) endSheet();
}

void XlsxWriter::startTable(const TableStart& table) {
    if (finished_) throw std::runtime_error("The workbook " + path_.string() + " is finished.");
    if (failed_) throw std::runtime_error("The workbook " + path_.string() + " could not be written.");
    if (!tables_ && (row_ > 1 || !header_.empty()))
        throw std::logic_error("The workbook " + path_.string() + " has cells before its first table.");
    try {
        if (tables_) endTable();
    } catch (...) {
        fail();
        throw;
    }
    tables_ = true;
    tableName_ = table.name;
    tableSheet_ = sheetNames_.take(table.name);
    report_ = Report{};
    if (tableSheet_ != table.name)
        report_.notices.push_back("The table's worksheet is named \"" + tableSheet_ +
                                  "\": a worksheet's name has at most 31 characters, none of [ ] : * ? / \\, "
                                  "and is unlike every other sheet's, letter case aside.");
    widths_.clear();
    header_.clear();
    cutColumns_.clear();
    unshownColumns_.clear();
    sheetOpen_ = rowOpen_ = false;
    firstRow_ = endRow_ = 2;
    row_ = 1;
    lastColumn_ = 0;
    holdRows_ = true;
    heldRow_.clear();
    target_ = nullptr;
    rowPictures_ = 0;
    rowTop_ = rowHeight_ = 0;
}

void XlsxWriter::setColumns(const std::vector<driver::Field>& fields) {
    if (finished_ || failed_ || row_ > 1)
        throw std::runtime_error("The columns of the workbook " + path_.string() +
                                 " can only be set before its first data row.");
    widths_.clear();
    for (const driver::Field& field : fields) widths_.push_back(columnWidth(field));
    holdRows_ = std::any_of(fields.begin(), fields.end(),
                            [](const driver::Field& field) { return field.type == driver::FieldType::Graphic; });
}

void XlsxWriter::locate(std::int64_t row, int column) {
    const auto where = [&] { return "row " + std::to_string(row) + ", column " + std::to_string(column); };
    if (finished_)
        throw std::runtime_error("The workbook " + path_.string() + " is finished; " + where() +
                                 " can no longer be written.");
    if (failed_)
        throw std::runtime_error("The workbook " + path_.string() + " could not be written; " + where() +
                                 " is not written.");
    if (row < 1 || column < 1 || column > kSheetColumns)
        throw std::runtime_error("There is no cell at " + where() +
                                 ": rows start at 1 and columns run from 1 to 16384.");
    if (row == 1) {
        if (row_ > 1) throw std::runtime_error("Could not write the cell at " + where() + ": data rows have begun.");
        return;
    }
    const std::int64_t dataRows = options_.sheetRows - 1;
    if ((row - 2) / dataRows >= kMaxSheets)
        throw std::runtime_error("Row " + std::to_string(row) + " does not fit: a workbook holds at most " +
                                 std::to_string(kMaxSheets) + " worksheets of " + std::to_string(dataRows) +
                                 " data rows.");
    if (row < row_ || (row == row_ && column <= lastColumn_))
        throw std::runtime_error("Could not write the cell at " + where() +
                                 ": rows, and the cells of a row, are written in ascending order, and row " +
                                 std::to_string(row_) + ", column " + std::to_string(lastColumn_) +
                                 " is already written.");
    try {
        while (!sheetOpen_ || row >= endRow_) {
            if (sheetOpen_) {
                report_.sheets.back().rows = endRow_ - firstRow_;
                endSheet();
            }
            startSheet();
        }
        if (row != row_ || !rowOpen_) {
            if (holdRows_) {
                // The rows between keep their default height.
                const std::int64_t gap = rowOpen_ ? row - row_ - 1 : row - firstRow_;
                if (rowOpen_) endRow();
                rowTop_ += rowHeight_ + kRowPixels * static_cast<std::uint64_t>(gap);
                rowHeight_ = kRowPixels;
                rowPictures_ = 0;
                heldRow_.clear();
                target_ = &heldRow_;
            }
            char* out = deflate_->room(64);
            if (rowOpen_) out = put(out, "</row>");
            rowDigitsSize_ = static_cast<std::size_t>(
                std::to_chars(rowDigits_.data(), rowDigits_.data() + rowDigits_.size(), row - firstRow_ + 2).ptr -
                rowDigits_.data());
            if (holdRows_) {
                deflate_->advance(out);
            } else {
                out = put(out, "<row r=\"");
                out = put(out, std::string_view(rowDigits_.data(), rowDigitsSize_));
                deflate_->advance(put(out, "\">"));
            }
            rowOpen_ = true;
            row_ = row;
            lastColumn_ = 0;
            report_.sheets.back().rows = row - firstRow_ + 1;
        }
    } catch (...) {
        fail();
        throw;
    }
    lastColumn_ = column;
}

void XlsxWriter::startSheet() {
    const std::size_t index = report_.sheets.size();
    firstRow_ = 2 + static_cast<std::int64_t>(index) * (options_.sheetRows - 1);
    endRow_ = firstRow_ + options_.sheetRows - 1;
    const std::string number = std::to_string(index + 1);
    const std::string name = !tables_ ? "Sheet" + number
                             : index == 0 ? tableSheet_
                                          : sheetNames_.take(tableName_, " (" + number + ")");
    report_.sheets.push_back({name, firstRow_, 0});
    sheetParts_.push_back(name);
    zip_->openRaw("xl/worksheets/sheet" + std::to_string(sheetParts_.size()) + ".xml", options_.level, true);
    deflate_->begin([this](const char* data, std::size_t size) { zip_->writeRaw(data, size); });

    std::string xml(kXmlDeclaration);
    xml += "<worksheet xmlns=\"" + std::string(kMainNamespace) + "\" xmlns:r=\"" +
           std::string(kRelationshipNamespace) + "\"><sheetViews><sheetView" +
           (sheetParts_.size() == 1 ? " tabSelected=\"1\"" : "") +
           " workbookViewId=\"0\"><pane ySplit=\"1\" topLeftCell=\"A2\" activePane=\"bottomLeft\" state=\"frozen\"/>"
           "<selection pane=\"bottomLeft\" activeCell=\"A2\" sqref=\"A2\"/></sheetView></sheetViews>"
           "<sheetFormatPr defaultRowHeight=\"15\"/>";
    if (!widths_.empty()) {
        xml += "<cols>";
        for (std::size_t i = 0; i < widths_.size(); ++i)
            xml += "<col min=\"" + std::to_string(i + 1) + "\" max=\"" + std::to_string(i + 1) + "\" width=\"" +
                   numberText(widths_[i]) + "\" customWidth=\"1\"/>";
        xml += "</cols>";
    }
    xml += "<sheetData>";
    if (!header_.empty()) {
        xml += "<row r=\"1\">";
        for (const HeaderCell& cell : header_) {
            xml += "<c r=\"" + columnName(cell.column) + "1\"" + cell.body;
        }
        xml += "</row>";
    }
    deflate_->append(xml.data(), xml.size());
    sheetOpen_ = true;
    rowOpen_ = false;
    rowTop_ = 0;
    rowHeight_ = kRowPixels;  // the header row's
}

// Ends the open row; a held row goes to the sheet now, as tall as its pictures need.
void XlsxWriter::endRow() {
    rowOpen_ = false;
    if (!holdRows_) return deflate_->append("</row>", 6);
    target_ = nullptr;
    char* out = deflate_->room(96);
    out = put(out, "<row r=\"");
    out = put(out, std::string_view(rowDigits_.data(), rowDigitsSize_));
    if (rowPictures_ > 0) {
        rowHeight_ = std::max<std::uint64_t>(kRowPixels, rowPictures_ + kPictureMargin);
        out = put(out, "\" ht=\"");
        out = appendShortest(out, static_cast<double>(rowHeight_) * 0.75);  // points
        out = put(out, "\" customHeight=\"1");
    }
    deflate_->advance(put(out, "\">"));
    deflate_->append(heldRow_.data(), heldRow_.size());
    deflate_->append("</row>", 6);
}

void XlsxWriter::endSheet() {
    constexpr std::string_view kMargins =
        "<pageMargins left=\"0.7\" right=\"0.7\" top=\"0.75\" bottom=\"0.75\" header=\"0.3\" footer=\"0.3\"/>";
    if (rowOpen_) endRow();
    const auto toSheet = [this](std::string_view xml) { deflate_->append(xml.data(), xml.size()); };
    toSheet("</sheetData>");
    attachments_->writeHyperlinks(toSheet);
    toSheet(kMargins);
    if (attachments_->pictures() > 0) toSheet("<drawing r:id=\"rId1\"/>");
    toSheet("</worksheet>");
    sheetOpen_ = false;
    const ParallelDeflate::Totals totals = deflate_->end();
    zip_->closeRaw(totals.size, totals.crc);
    writeAttachments(static_cast<int>(sheetParts_.size()));
}

void XlsxWriter::streamMember(const std::string& name,
                              const std::function<void(const std::function<void(std::string_view)>&)>& body) {
    zip_->openRaw(name, options_.level, true);
    deflate_->begin([this](const char* data, std::size_t size) { zip_->writeRaw(data, size); });
    body([this](std::string_view data) { deflate_->append(data.data(), data.size()); });
    const ParallelDeflate::Totals totals = deflate_->end();
    zip_->closeRaw(totals.size, totals.crc);
}

// The parts of sheet `sheet` (1-based) beside its cells: its relationships,
// its drawing and the drawing's images.
void XlsxWriter::writeAttachments(int sheet) {
    const int pictures = attachments_->pictures();
    if (pictures == 0 && attachments_->links() == 0) return;
    const int drawing = pictures == 0 ? 0 : ++drawings_;
    streamMember("xl/worksheets/_rels/sheet" + std::to_string(sheet) + ".xml.rels",
                 [&](const auto& emit) { attachments_->writeSheetRelationships(emit, drawing); });
    if (pictures > 0) {
        const std::string name = "drawing" + std::to_string(drawing) + ".xml";
        streamMember("xl/drawings/" + name, [&](const auto& emit) { attachments_->writeDrawing(emit); });
        streamMember("xl/drawings/_rels/" + name + ".rels",
                     [&](const auto& emit) { attachments_->writeDrawingRelationships(emit, images_ + 1); });
        attachments_->writeImages(images_ + 1, [&](const std::string& member, const auto& bytes) { streamMember(member, bytes); });
        images_ += pictures;
    }
    attachments_->clear();
}

void XlsxWriter::setCell(std::int64_t row, int column, const driver::Value& value) {
    locate(row, column);
    cellRow_ = row;
    cellColumn_ = column;
    if (row == 1) {
        toScratch_ = true;
        scratch_.clear();
        writeCell(column, value);
        toScratch_ = false;
        const auto at = std::lower_bound(header_.begin(), header_.end(), column,
                                         [](const HeaderCell& cell, int c) { return cell.column < c; });
        if (scratch_.empty()) {
            if (at != header_.end() && at->column == column) header_.erase(at);
        } else if (at != header_.end() && at->column == column) {
            at->body = scratch_;
        } else {
            header_.insert(at, {column, scratch_});
        }
        return;
    }
    try {
        writeCell(column, value);
    } catch (...) {
        fail();
        throw;
    }
}

void XlsxWriter::setText(std::int64_t row, int column, std::string_view text) {
    setCell(row, column, driver::Value(std::string(text)));
}

namespace {

// Where a cell's XML goes: the compressor, or a string for a header cell.
struct Sink {
    ParallelDeflate* deflate;
    std::string* scratch;
    char* room(std::size_t size) {
        if (scratch == nullptr) return deflate->room(size);
        const std::size_t used = scratch->size();
        scratch->resize(used + size);
        return scratch->data() + used;
    }
    void advance(char* end) {
        if (scratch == nullptr) deflate->advance(end);
        else scratch->resize(static_cast<std::size_t>(end - scratch->data()));
    }
};

}  // namespace

// The cell's reference; then the caller writes the rest of the cell.
void XlsxWriter::beginCell(int column) {
    if (toScratch_) return;
    if (static_cast<std::size_t>(column) > columnNames_.size()) {
        const auto known = static_cast<int>(columnNames_.size());
        for (int c = known + 1; c <= column; ++c) columnNames_.push_back(columnName(c));
    }
    const std::string& name = columnNames_[static_cast<std::size_t>(column) - 1];
    Sink sink{deflate_.get(), target_};
    char* out = sink.room(40);
    out = put(out, "<c r=\"");
    out = put(out, name);
    out = put(out, std::string_view(rowDigits_.data(), rowDigitsSize_));
    *out++ = '"';
    sink.advance(out);
}

void XlsxWriter::writeNumber(double number, int style) {
    if (!std::isfinite(number)) return writeText(nonFiniteText(number));
    Sink sink{deflate_.get(), toScratch_ ? &scratch_ : target_};
    char* out = sink.room(96);
    if (style != 0) {
        out = put(out, " s=\"");
        out = std::to_chars(out, out + 8, style).ptr;
        *out++ = '"';
    }
    out = put(out, "><v>");
    out = appendShortest(out, number);
    sink.advance(put(out, "</v></c>"));
}

void XlsxWriter::writeText(std::string_view text) {
    if (text.empty()) return;
    const std::size_t fits = fittingTextBytes(text);
    if (fits < text.size()) {
        countCut(cellRow_, cellColumn_);
        text = text.substr(0, fits);
    }
    Sink sink{deflate_.get(), toScratch_ ? &scratch_ : target_};
    char* out = sink.room(maxXmlTextSize(text.size()) + 72);
    if (text.find_first_of("\r\n") != std::string_view::npos) out = put(out, kLinesStyle);
    out = put(out, needsSpacePreserved(text) ? " t=\"inlineStr\"><is><t xml:space=\"preserve\">"
                                             : " t=\"inlineStr\"><is><t>");
    out = escapeXmlText(out, text);
    sink.advance(put(out, "</t></is></c>"));
}

void XlsxWriter::writeIsoDate(const driver::Date& date, const driver::Time* time) {
    Sink sink{deflate_.get(), toScratch_ ? &scratch_ : target_};
    char* out = sink.room(96);
    const int style = time == nullptr ? kDate : time->milliseconds % 1000 != 0 ? kTimestampMs : kTimestamp;
    out = put(out, " s=\"");
    out = std::to_chars(out, out + 8, style).ptr;
    out = put(out, "\" t=\"d\"><v>");
    out = appendIsoDate(out, date);
    *out++ = 'T';
    out = appendIsoTime(out, time == nullptr ? driver::Time{} : *time);
    sink.advance(put(out, "</v></c>"));
}

void XlsxWriter::writeBytes(const driver::Bytes& bytes) {
    if (bytes.type == driver::FieldType::Graphic) {
        const driver::Image image = driver::findImage(bytes);
        if (image.format == driver::ImageFormat::None) {
            ++report_.unshown;
            if (report_.unshown == 1) report_.unshownReason = image.problem;
            if (unshownColumns_.insert(cellColumn_).second)
                report_.unshownColumns.assign(unshownColumns_.begin(), unshownColumns_.end());
            auto& rows = report_.unshownRows;
            if ((rows.empty() || rows.back() != cellRow_) && rows.size() < Report::kCutRowsKept) rows.push_back(cellRow_);
            return writeText("(unreadable: " + image.problem + ")");
        }
        if (!toScratch_) addPicture(bytes, image);
        return writeText("(picture, " + std::string(driver::imageFormatName(image.format)) + " " +
                         std::to_string(image.width) + " x " + std::to_string(image.height) + ")");
    }
    std::size_t size = bytes.data.size();
    if (size > kHexBytes) {
        countCut(cellRow_, cellColumn_);
        size = kHexBytes;
    }
    Sink sink{deflate_.get(), toScratch_ ? &scratch_ : target_};
    char* out = sink.room(2 * size + 64);
    out = put(out, " t=\"inlineStr\"><is><t>0x");
    out = appendHex(out, bytes.data.data(), size);
    sink.advance(put(out, "</t></is></c>"));
}

std::uint64_t XlsxWriter::columnPixels(int column) const {
    if (column < 1 || static_cast<std::size_t>(column) > widths_.size()) return kColumnPixels;
    // Excel's pixels for a width in characters of 7-pixel digits.
    return static_cast<std::uint64_t>((256 * widths_[static_cast<std::size_t>(column) - 1] + 18) / 256 * 7);
}

// Puts the picture over the current cell, shown at most kPictureWidth x
// kPictureHeight pixels.
void XlsxWriter::addPicture(const driver::Bytes& bytes, const driver::Image& image) {
    const double scale = std::min({1.0, double(kPictureWidth) / image.width, double(kPictureHeight) / image.height});
    SheetAttachments::Place place;
    place.row = cellRow_ - firstRow_ + 2;
    place.column = cellColumn_;
    place.width = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::lround(image.width * scale)));
    place.height = std::max<std::uint32_t>(1, static_cast<std::uint32_t>(std::lround(image.height * scale)));
    for (int c = 1; c < cellColumn_; ++c) place.left += columnPixels(c);
    place.top = holdRows_ ? rowTop_ : kRowPixels * static_cast<std::uint64_t>(place.row - 1);
    place.lastColumn = cellColumn_;
    std::uint64_t rest = place.width;
    while (rest > columnPixels(place.lastColumn) && place.lastColumn < kSheetColumns)
        rest -= columnPixels(place.lastColumn++);
    place.lastColumnOffset = static_cast<std::uint32_t>(rest);
    attachments_->addPicture(place, image.format, bytes.data.data() + image.offset, bytes.data.size() - image.offset);
    rowPictures_ = std::max(rowPictures_, place.height);
}

void XlsxWriter::setFileCell(std::int64_t row, int column, const driver::Value& value, std::string_view file) {
    const auto* bytes = std::get_if<driver::Bytes>(&value);
    if (bytes == nullptr || file.empty() || row == 1) return setCell(row, column, value);
    locate(row, column);
    cellRow_ = row;
    cellColumn_ = column;
    try {
        if (bytes->type == driver::FieldType::Graphic)
            if (const driver::Image image = driver::findImage(*bytes); image.format != driver::ImageFormat::None)
                addPicture(*bytes, image);
        beginCell(column);
        writeText(file);
        attachments_->addLink(row - firstRow_ + 2, column, file);
    } catch (...) {
        fail();
        throw;
    }
}

void XlsxWriter::countCut(std::int64_t row, int column) {
    ++report_.cutTexts;
    if (cutColumns_.insert(column).second) report_.cutColumns.assign(cutColumns_.begin(), cutColumns_.end());
    auto& rows = report_.cutRows;
    if ((rows.empty() || rows.back() != row) && rows.size() < Report::kCutRowsKept) rows.push_back(row);
}

void XlsxWriter::writeCell(int column, const driver::Value& value) {
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, driver::Null>) {
                // An empty cell: nothing to write.
            } else if constexpr (std::is_same_v<T, std::string>) {
                if (v.empty()) return;
                beginCell(column);
                writeText(v);
            } else {
                beginCell(column);
                if constexpr (std::is_same_v<T, bool>) {
                    Sink sink{deflate_.get(), toScratch_ ? &scratch_ : target_};
                    char* out = sink.room(32);
                    sink.advance(put(out, v ? " t=\"b\"><v>1</v></c>" : " t=\"b\"><v>0</v></c>"));
                } else if constexpr (std::is_same_v<T, std::int64_t>) {
                    if (v >= -kExactIntegerLimit && v <= kExactIntegerLimit) return writeNumber(static_cast<double>(v), 0);
                    char digits[kMaxNumberText];
                    writeText(std::string_view(digits, static_cast<std::size_t>(appendInteger(digits, v) - digits)));
                } else if constexpr (std::is_same_v<T, double>) {
                    writeNumber(v, 0);
                } else if constexpr (std::is_same_v<T, driver::Money>) {
                    writeNumber(v.value, kMoney);
                } else if constexpr (std::is_same_v<T, driver::Decimal>) {
                    const DecimalNumber number = decimalNumber(v.text);
                    if (!number.exact) return writeText(v.text);
                    writeNumber(number.value,
                                number.decimals <= kMaxDecimals ? kDecimals + static_cast<int>(number.decimals) : 0);
                } else if constexpr (std::is_same_v<T, driver::Date>) {
                    const std::int64_t serial = dateSerial(v);
                    if (serial > 0 && beforeMarch1900(v)) return writeIsoDate(v, nullptr);
                    if (serial > 0) return writeNumber(static_cast<double>(serial), kDate);
                    char text[kMaxNumberText];
                    writeText(std::string_view(text, static_cast<std::size_t>(appendIsoDate(text, v) - text)));
                } else if constexpr (std::is_same_v<T, driver::Time>) {
                    if (isTimeOfDay(v))
                        return writeNumber(dayTimeSerial(0, v.milliseconds),
                                           v.milliseconds % 1000 != 0 ? kTimeMs : kTime);
                    char text[kMaxNumberText];
                    writeText(std::string_view(text, static_cast<std::size_t>(appendIsoTime(text, v) - text)));
                } else if constexpr (std::is_same_v<T, driver::Timestamp>) {
                    const std::int64_t serial = dateSerial(v.date);
                    if (serial > 0 && isTimeOfDay(v.time)) {
                        if (beforeMarch1900(v.date)) return writeIsoDate(v.date, &v.time);
                        return writeNumber(dayTimeSerial(serial, v.time.milliseconds),
                                           v.time.milliseconds % 1000 != 0 ? kTimestampMs : kTimestamp);
                    }
                    char text[2 * kMaxNumberText];
                    const char* end = appendIsoTimestamp(text, v, ' ');
                    writeText(std::string_view(text, static_cast<std::size_t>(end - text)));
                } else if constexpr (std::is_same_v<T, driver::Bytes>) {
                    writeBytes(v);
                } else if constexpr (std::is_same_v<T, driver::ValueError>) {
                    writeText("(unreadable: " + v.message + ")");
                } else {
                    static_assert(!sizeof(T), "every kind of value needs a cell");
                }
            }
        },
        value);
}

void XlsxWriter::finish() {
    if (finished_) return;
    if (failed_) throw std::runtime_error("The workbook " + path_.string() + " could not be written.");
    try {
        endTable();
        const std::size_t sheets = sheetParts_.size();
        std::vector<driver::ImageFormat> formats;
        for (const auto format : {driver::ImageFormat::Bmp, driver::ImageFormat::Png, driver::ImageFormat::Jpeg,
                                  driver::ImageFormat::Gif})
            if (attachments_->used(format)) formats.push_back(format);
        zip_->add("[Content_Types].xml",
                  contentTypes(sheets, drawings_, formats), 6);
        zip_->add("_rels/.rels", packageRelationships(), 6);
        zip_->add("docProps/core.xml", coreProperties(), 6);
        zip_->add("xl/workbook.xml", workbookPart(sheetParts_), 6);
        zip_->add("xl/_rels/workbook.xml.rels", workbookRelationships(sheets), 6);
        zip_->add("xl/styles.xml", stylesPart(), 6);
        zip_->close();
        file_->commit();
        finished_ = true;
    } catch (...) {
        fail();
        throw;
    }
}

}  // namespace workbook
