#include "platform/SpreadsheetWorkbook.h"

#include <xlsxwriter.h>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <type_traits>

namespace platform {

static_assert(kSheetRows == LXW_ROW_MAX);
static_assert(kSheetColumns == LXW_COL_MAX);

namespace {

// Doubles hold every integer of at most 53 bits exactly.
constexpr std::int64_t kExactIntegerLimit = std::int64_t{1} << 53;
constexpr double kMillisecondsPerDay = 86'400'000.0;

// Days since 1970-01-01 of a proleptic Gregorian date (Hinnant's days_from_civil).
constexpr std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const auto yearOfEra = static_cast<std::int64_t>(year - era * 400);
    const std::int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

constexpr bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

constexpr int daysInMonth(int year, int month) {
    constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && isLeapYear(year) ? 29 : days[month - 1];
}

constexpr std::int64_t kSerialEpoch = daysFromCivil(1899, 12, 30);
constexpr std::int64_t kFirstMarch1900 = daysFromCivil(1900, 3, 1);

// The day's serial number in the 1900 date system, or -1 when a sheet cannot
// hold the date (before 1900-01-01, after 9999-12-31, or no such day).
// Excel counts a 29 February 1900 that never was, so days before March 1900
// are one lower than their distance from 1899-12-30.
constexpr std::int64_t dateSerial(const driver::Date& date) {
    if (date.year < 1900 || date.year > 9999 || date.month < 1 || date.month > 12 || date.day < 1 ||
        date.day > daysInMonth(date.year, date.month))
        return -1;
    const std::int64_t days = daysFromCivil(date.year, date.month, date.day);
    return days - kSerialEpoch - (days < kFirstMarch1900 ? 1 : 0);
}

static_assert(dateSerial({1900, 1, 1}) == 1);
static_assert(dateSerial({1900, 2, 28}) == 59);
static_assert(dateSerial({1900, 3, 1}) == 61);
static_assert(dateSerial({1899, 12, 31}) == -1);

constexpr bool isTimeOfDay(const driver::Time& time) {
    return time.milliseconds >= 0 && time.milliseconds < static_cast<std::int64_t>(kMillisecondsPerDay);
}

// ISO 8601 text of a date; a year before 1 is written astronomically
// (year 0 is "0000", the year before it "-0001").
int formatDate(char* out, std::size_t size, const driver::Date& date) {
    if (date.year < 0)
        return std::snprintf(out, size, "-%04d-%02d-%02d", -date.year, date.month, date.day);
    return std::snprintf(out, size, "%04d-%02d-%02d", date.year, date.month, date.day);
}

// "hh:mm:ss", with ".mmm" only when there are milliseconds.
int formatTime(char* out, std::size_t size, const driver::Time& time) {
    const std::int64_t ms = time.milliseconds;
    const unsigned long long magnitude =
        ms < 0 ? 0ULL - static_cast<unsigned long long>(ms) : static_cast<unsigned long long>(ms);
    const char* sign = ms < 0 ? "-" : "";
    const unsigned long long hours = magnitude / 3'600'000, minutes = magnitude / 60'000 % 60,
                             seconds = magnitude / 1000 % 60, millis = magnitude % 1000;
    if (millis != 0) return std::snprintf(out, size, "%s%02llu:%02llu:%02llu.%03llu", sign, hours, minutes, seconds, millis);
    return std::snprintf(out, size, "%s%02llu:%02llu:%02llu", sign, hours, minutes, seconds);
}

const char* nonFiniteText(double number) {
    if (std::isnan(number)) return "NaN";
    return number > 0 ? "Infinity" : "-Infinity";
}

const char* blobKind(driver::FieldType type) {
    switch (type) {
    case driver::FieldType::Binary: return "binary";
    case driver::FieldType::Graphic: return "graphic";
    case driver::FieldType::Ole: return "OLE";
    case driver::FieldType::FormattedMemo: return "formatted memo";
    case driver::FieldType::Memo: return "memo";
    default: return "bytes";
    }
}

// The parts of a decimal text "-012.340": sign, integer digits without
// leading zeros, fraction digits without trailing zeros, and how many
// fraction digits the text showed.
struct DecimalParts {
    bool negative = false;
    std::string_view integer, fraction;
    std::size_t decimals = 0;
};

bool splitDecimal(std::string_view text, DecimalParts& parts) {
    std::size_t i = 0;
    if (i < text.size() && text[i] == '-') parts.negative = true, ++i;
    const std::size_t integerStart = i;
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
    std::size_t integerEnd = i;
    std::size_t fractionStart = i, fractionEnd = i;
    if (i < text.size() && text[i] == '.') {
        fractionStart = ++i;
        while (i < text.size() && text[i] >= '0' && text[i] <= '9') ++i;
        fractionEnd = i;
    }
    if (i != text.size() || (integerEnd == integerStart && fractionEnd == fractionStart)) return false;
    parts.decimals = fractionEnd - fractionStart;
    std::size_t first = integerStart;
    while (first < integerEnd && text[first] == '0') ++first;
    parts.integer = text.substr(first, integerEnd - first);
    while (fractionEnd > fractionStart && text[fractionEnd - 1] == '0') --fractionEnd;
    parts.fraction = text.substr(fractionStart, fractionEnd - fractionStart);
    return true;
}

// True when the shortest text that reads back as number ("-12.5") is the
// decimal itself, so writing the number loses nothing.
bool printsAs(double number, const DecimalParts& parts) {
    char buffer[400];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, number, std::chars_format::fixed);
    if (error != std::errc{}) return false;
    std::string_view shortest(buffer, static_cast<std::size_t>(end - buffer));
    if (number == 0) return parts.integer.empty() && parts.fraction.empty();
    if (parts.negative != (shortest.front() == '-')) return false;
    if (parts.negative) shortest.remove_prefix(1);
    const std::size_t dot = shortest.find('.');
    std::string_view integer = shortest.substr(0, dot);
    const std::string_view fraction = dot == std::string_view::npos ? std::string_view{} : shortest.substr(dot + 1);
    if (integer == "0") integer = {};
    return integer == parts.integer && fraction == parts.fraction;
}

}  // namespace

std::size_t fittingTextBytes(std::string_view text, std::size_t maxUnits) {
    // Every UTF-16 unit takes at least one byte, so short texts always fit.
    if (text.size() <= maxUnits) return text.size();
    std::size_t bytes = 0, units = 0;
    while (bytes < text.size()) {
        const auto lead = static_cast<unsigned char>(text[bytes]);
        std::size_t length = 1, width = 1;
        if (lead >= 0xF0 && lead <= 0xF7) length = 4, width = 2;
        else if (lead >= 0xE0 && lead <= 0xEF) length = 3;
        else if (lead >= 0xC0 && lead <= 0xDF) length = 2;
        if (bytes + length > text.size()) length = text.size() - bytes;
        if (units + width > maxUnits) break;
        units += width;
        bytes += length;
    }
    return bytes;
}

XlsxWorkbook::XlsxWorkbook(const QString& path, const QString& temporaryFolder, std::int64_t sheetRows)
    : path_(path), temporaryFolder_(temporaryFolder.toStdString()), sheetRows_(sheetRows) {
    if (sheetRows < 2 || sheetRows > kSheetRows)
        throw std::invalid_argument("A worksheet must hold between 2 and 1048576 rows.");
    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    options.use_zip64 = LXW_TRUE;
    options.tmpdir = temporaryFolder_.data();
    const QByteArray file = path.toUtf8();
    book_ = workbook_new_opt(file.constData(), &options);
    if (book_ == nullptr) throw std::runtime_error("Could not start the workbook " + file.toStdString() + ".");
    try {
        money_ = numberFormat("#,##0.00");
        date_ = numberFormat("yyyy-mm-dd");
        time_ = numberFormat("hh:mm:ss");
        dateTime_ = numberFormat("yyyy-mm-dd hh:mm:ss");
        addSheet();
    } catch (...) {
        lxw_workbook_free(book_);
        throw;
    }
    firstRow_ = 2;
    endRow_ = sheetRows_ + 1;
}

XlsxWorkbook::~XlsxWorkbook() {
    if (book_ != nullptr) lxw_workbook_free(book_);
}

lxw_format* XlsxWorkbook::numberFormat(const char* code) {
    lxw_format* format = workbook_add_format(book_);
    if (format == nullptr) throw std::runtime_error("Could not add a cell format to the workbook.");
    format_set_num_format(format, code);
    return format;
}

void XlsxWorkbook::addSheet() {
    lxw_worksheet* sheet = workbook_add_worksheet(book_, nullptr);
    if (sheet == nullptr)
        throw std::runtime_error("Could not add worksheet " + std::to_string(sheets_.size() + 1) +
                                 " to the workbook (no memory or no room for its temporary file in " +
                                 temporaryFolder_ + ").");
    sheets_.push_back(sheet);
    if (sheets_.size() == 1) return;
    for (const auto& [column, value] : header_)
        write({sheet, 0, static_cast<std::uint16_t>(column - 1)}, 1, column, value);
}

XlsxWorkbook::Target XlsxWorkbook::locate(std::int64_t row, int column) {
    if (book_ == nullptr)
        throw std::runtime_error("The workbook has been shown; row " + std::to_string(row) + ", column " +
                                 std::to_string(column) + " can no longer be written.");
    if (row < 1 || column < 1 || column > kSheetColumns)
        throw std::runtime_error("There is no cell at row " + std::to_string(row) + ", column " +
                                 std::to_string(column) + ": rows start at 1, columns run from 1 to 16384.");
    const auto sheetColumn = static_cast<std::uint16_t>(column - 1);
    if (row >= firstRow_ && row < endRow_)
        return {sheets_.back(), static_cast<std::uint32_t>(row - firstRow_ + 1), sheetColumn};
    if (row == 1) return {sheets_.front(), 0, sheetColumn};
    const std::int64_t dataRows = sheetRows_ - 1;
    const std::int64_t index = (row - 2) / dataRows;
    if (index >= kMaxSheets)
        throw std::runtime_error("Row " + std::to_string(row) + " does not fit: a workbook holds " +
                                 std::to_string(kMaxSheets) + " worksheets of " + std::to_string(dataRows) +
                                 " rows each.");
    while (static_cast<std::int64_t>(sheets_.size()) <= index) {
        addSheet();
        firstRow_ = 2 + (static_cast<std::int64_t>(sheets_.size()) - 1) * dataRows;
        endRow_ = firstRow_ + dataRows;
    }
    return {sheets_[static_cast<std::size_t>(index)], static_cast<std::uint32_t>((row - 2) % dataRows + 1),
            sheetColumn};
}

void XlsxWorkbook::check(int error, std::int64_t row, int column) const {
    if (error == LXW_NO_ERROR) return;
    std::string where = "row " + std::to_string(row) + ", column " + std::to_string(column);
    if (row > 1 && row >= sheetRows_ + 1) {
        const std::int64_t dataRows = sheetRows_ - 1;
        where += " (Sheet" + std::to_string((row - 2) / dataRows + 1) + ", row " +
                 std::to_string((row - 2) % dataRows + 2) + ")";
    }
    throw std::runtime_error("Could not write the cell at " + where + ": " +
                             lxw_strerror(static_cast<lxw_error>(error)));
}

void XlsxWorkbook::setCell(std::int64_t row, int column, const driver::Value& value) {
    const Target at = locate(row, column);
    if (row == 1) rememberHeader(column, value);
    write(at, row, column, value);
}

void XlsxWorkbook::setCell(std::int64_t row, int column, const QString& text) {
    const Target at = locate(row, column);
    const QByteArray utf8 = text.toUtf8();
    if (row == 1) rememberHeader(column, std::string(utf8.constData(), static_cast<std::size_t>(utf8.size())));
    writeText(at, row, column, std::string_view(utf8.constData(), static_cast<std::size_t>(utf8.size())));
}

void XlsxWorkbook::rememberHeader(int column, const driver::Value& value) {
    driver::Value kept = value;
    // Kept already cut, so that the copies in later sheets are not counted again.
    if (auto* text = std::get_if<std::string>(&kept)) text->resize(fittingTextBytes(*text));
    for (auto& [keptColumn, keptValue] : header_) {
        if (keptColumn == column) {
            keptValue = std::move(kept);
            return;
        }
    }
    header_.emplace_back(column, std::move(kept));
}

void XlsxWorkbook::writeNumber(const Target& at, std::int64_t row, int column, double number, lxw_format* format) {
    if (!std::isfinite(number)) return writeText(at, row, column, nonFiniteText(number));
    check(worksheet_write_number(at.sheet, at.row, at.column, number, format), row, column);
}

void XlsxWorkbook::writeText(const Target& at, std::int64_t row, int column, std::string_view text) {
    // libxlsxwriter reads NUL-terminated texts; every caller hands a view
    // whose end is followed by a NUL, and a cut text is copied into cut_.
    if (text.empty()) return;
    const char* written = text.data();
    const std::size_t fits = fittingTextBytes(text);
    if (fits < text.size()) {
        cut_.assign(text.data(), fits);
        written = cut_.c_str();
        ++truncatedCells_;
        truncatedColumns_.insert(column);
    }
    if (text.find("_x") != std::string_view::npos) written = escapeLiteralCodes(written);
    check(worksheet_write_string(at.sheet, at.row, at.column, written, nullptr), row, column);
}

// Readers decode "_xHHHH_" in a sheet's text as the character U+HHHH, so a
// text that holds such a sequence itself has its "_" written as "_x005F_".
const char* XlsxWorkbook::escapeLiteralCodes(const char* text) {
    const auto isCode = [](const char* p) {
        if (p[0] != '_' || p[1] != 'x') return false;
        for (int i = 2; i < 6; ++i)
            if (!std::isxdigit(static_cast<unsigned char>(p[i]))) return false;
        return p[6] == '_';
    };
    const char* p = text;
    while (*p != '\0' && !isCode(p)) ++p;
    if (*p == '\0') return text;
    std::string escaped(text, static_cast<std::size_t>(p - text));
    for (; *p != '\0'; ++p) {
        if (isCode(p)) escaped += "_x005F";
        escaped += *p;
    }
    escaped_ = std::move(escaped);
    return escaped_.c_str();
}

void XlsxWorkbook::writeDecimal(const Target& at, std::int64_t row, int column, const std::string& text) {
    DecimalParts parts;
    double number = 0;
    if (splitDecimal(text, parts)) {
        const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
        if (error == std::errc{} && end == text.data() + text.size() && printsAs(number, parts)) {
            lxw_format* format = nullptr;
            if (parts.decimals < decimals_.size()) {
                lxw_format*& cached = decimals_[parts.decimals];
                if (cached == nullptr) {
                    const std::string code = parts.decimals == 0 ? "0" : "0." + std::string(parts.decimals, '0');
                    cached = numberFormat(code.c_str());
                }
                format = cached;
            }
            return writeNumber(at, row, column, number == 0 ? 0.0 : number, format);
        }
    }
    writeText(at, row, column, text);
}

void XlsxWorkbook::write(const Target& at, std::int64_t row, int column, const driver::Value& value) {
    std::visit(
        [&](const auto& v) {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, driver::Null>) {
                // An empty cell: nothing to write.
            } else if constexpr (std::is_same_v<T, bool>) {
                check(worksheet_write_boolean(at.sheet, at.row, at.column, v ? 1 : 0, nullptr), row, column);
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                if (v >= -kExactIntegerLimit && v <= kExactIntegerLimit)
                    return writeNumber(at, row, column, static_cast<double>(v), nullptr);
                char digits[24];
                const auto end = std::to_chars(digits, digits + sizeof digits - 1, v).ptr;
                *end = '\0';
                writeText(at, row, column, std::string_view(digits, static_cast<std::size_t>(end - digits)));
            } else if constexpr (std::is_same_v<T, double>) {
                writeNumber(at, row, column, v, nullptr);
            } else if constexpr (std::is_same_v<T, driver::Money>) {
                writeNumber(at, row, column, v.value, money_);
            } else if constexpr (std::is_same_v<T, driver::Decimal>) {
                writeDecimal(at, row, column, v.text);
            } else if constexpr (std::is_same_v<T, driver::Date>) {
                const std::int64_t serial = dateSerial(v);
                if (serial >= 0) return writeNumber(at, row, column, static_cast<double>(serial), date_);
                char text[48];
                writeText(at, row, column, std::string_view(text, static_cast<std::size_t>(formatDate(text, sizeof text, v))));
            } else if constexpr (std::is_same_v<T, driver::Time>) {
                if (isTimeOfDay(v))
                    return writeNumber(at, row, column, static_cast<double>(v.milliseconds) / kMillisecondsPerDay, time_);
                char text[48];
                writeText(at, row, column, std::string_view(text, static_cast<std::size_t>(formatTime(text, sizeof text, v))));
            } else if constexpr (std::is_same_v<T, driver::Timestamp>) {
                const std::int64_t serial = dateSerial(v.date);
                if (serial >= 0 && isTimeOfDay(v.time))
                    return writeNumber(at, row, column,
                                       static_cast<double>(serial) +
                                           static_cast<double>(v.time.milliseconds) / kMillisecondsPerDay,
                                       dateTime_);
                char text[96];
                int length = formatDate(text, sizeof text, v.date);
                text[length++] = ' ';
                length += formatTime(text + length, sizeof text - static_cast<std::size_t>(length), v.time);
                writeText(at, row, column, std::string_view(text, static_cast<std::size_t>(length)));
            } else if constexpr (std::is_same_v<T, std::string>) {
                writeText(at, row, column, v);
            } else if constexpr (std::is_same_v<T, driver::Bytes>) {
                char text[64];
                const std::size_t size = v.data.size();
                const int length = std::snprintf(text, sizeof text, "(%s, %zu byte%s)", blobKind(v.type), size,
                                                 size == 1 ? "" : "s");
                writeText(at, row, column, std::string_view(text, static_cast<std::size_t>(length)));
            } else if constexpr (std::is_same_v<T, driver::ValueError>) {
                writeText(at, row, column, "(unreadable: " + v.message + ")");
            } else {
                static_assert(!sizeof(T), "every kind of value needs a cell");
            }
        },
        value);
}

void XlsxWorkbook::finish() {
    if (book_ == nullptr) return;
    lxw_workbook* book = std::exchange(book_, nullptr);
    sheets_.clear();
    // workbook_close frees the workbook whether or not the file was written.
    const lxw_error error = workbook_close(book);
    if (error != LXW_NO_ERROR)
        throw std::runtime_error("Could not write the workbook " + path_.toStdString() + ": " + lxw_strerror(error));
}

TruncationReport XlsxWorkbook::truncations() const {
    return {truncatedCells_, std::vector<int>(truncatedColumns_.begin(), truncatedColumns_.end())};
}

}  // namespace platform
