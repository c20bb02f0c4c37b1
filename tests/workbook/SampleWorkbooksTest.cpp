// Whole tables through the writer: every sample table and a generated table
// of every field type with edge values, read with the reader, written with
// XlsxWriter, then read back cell for cell with openpyxl and, where
// LibreOffice is installed, converted by it to CSV and compared as shown.

#include "workbook/CellText.h"
#include "workbook/XlsxWriter.h"

#include "SampleTables.h"
#include "SpreadsheetReadBack.h"
#include "paradoxwriter/Writer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

using driver::FieldType;
using driver::Value;
using spreadsheet_test::ReadCell;
using spreadsheet_test::ReadSheet;

namespace {

// strtod, which unlike std::stod takes subnormal numbers.
double toDouble(const std::string& text) {
    char* end = nullptr;
    const double number = std::strtod(text.c_str(), &end);
    if (end == text.c_str()) ADD_FAILURE() << "not a number: " << text;
    return number;
}

std::string columnLetters(int index) {
    std::string name;
    for (; index > 0; index = (index - 1) / 26) name.insert(name.begin(), static_cast<char>('A' + (index - 1) % 26));
    return name;
}

// A table as the reader gives it.
struct ReadTable {
    std::vector<driver::Field> fields;
    std::vector<std::vector<Value>> rows;
};

ReadTable readTable(const std::filesystem::path& file) {
    const auto table = driver::Table::open(file);
    ReadTable read{table->fields(), {}};
    for (std::int64_t i = 0; i < table->rowCount(); ++i) read.rows.push_back(table->row(i));
    return read;
}

void writeWorkbook(const ReadTable& table, const std::filesystem::path& file) {
    workbook::XlsxWriter book(file);
    book.setColumns(table.fields);
    for (std::size_t c = 0; c < table.fields.size(); ++c) book.setText(1, static_cast<int>(c) + 1, table.fields[c].name);
    for (std::size_t r = 0; r < table.rows.size(); ++r)
        for (std::size_t c = 0; c < table.fields.size(); ++c)
            book.setCell(static_cast<std::int64_t>(r) + 2, static_cast<int>(c) + 1, table.rows[r][c]);
    book.finish();
}

std::string two(long long n) {
    std::string text = std::to_string(n);
    return text.size() < 2 ? "0" + text : text;
}

std::string isoDate(const driver::Date& d) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
    return text;
}

// "13:45:30", and the milliseconds as `fraction` shows them.
std::string clock(std::int64_t ms, const char* fraction) {
    std::string text = two(ms / 3'600'000) + ":" + two(ms / 60'000 % 60) + ":" + two(ms / 1000 % 60);
    if (ms % 1000 != 0) {
        char digits[16];
        std::snprintf(digits, sizeof digits, fraction, static_cast<int>(ms % 1000));
        text += digits;
    }
    return text;
}

bool onSheetCalendar(const driver::Date& d) {
    static constexpr int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (d.year % 4 == 0 && d.year % 100 != 0) || d.year % 400 == 0;
    return d.year >= 1900 && d.year <= 9999 && d.month >= 1 && d.month <= 12 && d.day >= 1 &&
           d.day <= (d.month == 2 && !leap ? 28 : days[d.month - 1]);
}

// What a reader should find for a value, from the rules in XlsxWriter.h:
// openpyxl's type, the number format, the value as openpyxl gives it (a
// number as its double), and the text LibreOffice shows.
struct Expected {
    std::string type;  // "number" for int or float
    std::string format = "General";
    std::string value;
    std::optional<double> number;
    std::string shown;
};

Expected text(std::string value) {
    value.resize(workbook::fittingTextBytes(value));
    return {"str", "General", value, std::nullopt, value};
}

std::string grouped(double value) {
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.2f", std::fabs(value));
    std::string integer(digits, std::strchr(digits, '.'));
    for (int i = static_cast<int>(integer.size()) - 3; i > 0; i -= 3) integer.insert(static_cast<std::size_t>(i), ",");
    return (value < 0 && std::round(value * 100) != 0 ? "-" : "") + integer + std::strchr(digits, '.');
}

std::optional<Expected> expected(const Value& value) {
    return std::visit(
        [](const auto& v) -> std::optional<Expected> {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, driver::Null>) {
                return std::nullopt;
            } else if constexpr (std::is_same_v<T, bool>) {
                return Expected{"bool", "General", v ? "TRUE" : "FALSE", std::nullopt, v ? "TRUE" : "FALSE"};
            } else if constexpr (std::is_same_v<T, std::int64_t>) {
                if (std::abs(v) > (std::int64_t{1} << 53)) return text(std::to_string(v));
                return Expected{"number", "General", "", static_cast<double>(v), std::to_string(v)};
            } else if constexpr (std::is_same_v<T, double>) {
                if (!std::isfinite(v)) return text(std::isnan(v) ? "NaN" : v > 0 ? "Infinity" : "-Infinity");
                return Expected{"number", "General", "", v, ""};
            } else if constexpr (std::is_same_v<T, driver::Money>) {
                if (!std::isfinite(v.value)) return text(std::isnan(v.value) ? "NaN" : v.value > 0 ? "Infinity" : "-Infinity");
                return Expected{"number", "#,##0.00", "", v.value, grouped(v.value)};
            } else if constexpr (std::is_same_v<T, driver::Decimal>) {
                const std::size_t dot = v.text.find('.');
                const std::size_t decimals = dot == std::string::npos ? 0 : v.text.size() - dot - 1;
                const double number = toDouble(v.text);
                char shortest[64];
                *std::to_chars(shortest, shortest + 63, number, std::chars_format::fixed).ptr = '\0';
                if (v.text.size() > 17) return text(v.text);  // beyond a double: kept as text
                return Expected{"number", decimals == 0 ? "0" : "0." + std::string(decimals, '0'), "", number,
                                v.text};
            } else if constexpr (std::is_same_v<T, driver::Date>) {
                if (!onSheetCalendar(v)) return text(isoDate(v));
                return Expected{"datetime", "yyyy-mm-dd", isoDate(v) + "T00:00:00", std::nullopt, isoDate(v)};
            } else if constexpr (std::is_same_v<T, driver::Time>) {
                const bool ms = v.milliseconds % 1000 != 0;
                return Expected{"time", ms ? "hh:mm:ss.000" : "hh:mm:ss", clock(v.milliseconds, ".%03d000"),
                                std::nullopt, clock(v.milliseconds, ".%03d")};
            } else if constexpr (std::is_same_v<T, driver::Timestamp>) {
                if (!onSheetCalendar(v.date)) return text(isoDate(v.date) + " " + clock(v.time.milliseconds, ".%03d"));
                const bool ms = v.time.milliseconds % 1000 != 0;
                Expected cell{"datetime", ms ? "yyyy-mm-dd hh:mm:ss.000" : "yyyy-mm-dd hh:mm:ss",
                              isoDate(v.date) + "T" + clock(v.time.milliseconds, ".%03d000"), std::nullopt,
                              isoDate(v.date) + " " + clock(v.time.milliseconds, ".%03d")};
                // Before March 1900 the cell is an ISO date, whose milliseconds
                // LibreOffice 7.4 drops when it reads the file.
                if (ms && v.date.year == 1900 && v.date.month < 3)
                    cell.shown = isoDate(v.date) + " " + clock(v.time.milliseconds / 1000 * 1000, "") + ".000";
                return cell;
            } else if constexpr (std::is_same_v<T, std::string>) {
                if (v.empty()) return std::nullopt;
                return text(v);
            } else if constexpr (std::is_same_v<T, driver::Bytes>) {
                std::string hex = "0x";
                for (const std::uint8_t b : v.data) hex += "0123456789abcdef"[b >> 4], hex += "0123456789abcdef"[b & 15];
                return text(hex);
            } else {
                return text("(unreadable: " + v.message + ")");
            }
        },
        value);
}

void compareWithOpenpyxl(const ReadTable& table, const std::vector<ReadSheet>& sheets) {
    ASSERT_EQ(sheets.size(), 1u);
    const ReadSheet& sheet = sheets[0];
    EXPECT_EQ(sheet.frozen, "A2");
    EXPECT_EQ(sheet.widths.size(), table.fields.size());
    std::size_t cells = 0;
    for (std::size_t c = 0; c < table.fields.size(); ++c) {
        const std::string letters = columnLetters(static_cast<int>(c) + 1);
        EXPECT_EQ(sheet.cells.at(letters + "1").value, table.fields[c].name);
        ++cells;
        for (std::size_t r = 0; r < table.rows.size(); ++r) {
            const std::string ref = letters + std::to_string(r + 2);
            const std::optional<Expected> want = expected(table.rows[r][c]);
            const auto found = sheet.cells.find(ref);
            SCOPED_TRACE(ref + " " + table.fields[c].name);
            if (!want) {
                EXPECT_EQ(found, sheet.cells.end());
                continue;
            }
            ++cells;
            ASSERT_NE(found, sheet.cells.end());
            const ReadCell& got = found->second;
            EXPECT_EQ(got.format, want->format);
            if (want->number) {
                EXPECT_TRUE(got.type == "int" || got.type == "float") << got.type;
                EXPECT_EQ(toDouble(got.value), *want->number) << got.value;
            } else {
                EXPECT_EQ(got.type, want->type);
                EXPECT_EQ(got.value, want->value);
            }
        }
    }
    EXPECT_EQ(sheet.cells.size(), cells);
}

// RFC 4180 records of a CSV file.
std::vector<std::vector<std::string>> parseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') records.back().back() += '"', ++i;
            else if (c == '"') quoted = false;
            else records.back().back() += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            records.back().emplace_back();
        } else if (c == '\n' || c == '\r') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            records.push_back(std::vector<std::string>(1));
        } else {
            records.back().back() += c;
        }
    }
    if (records.back() == std::vector<std::string>(1)) records.pop_back();
    return records;
}

// Converts the workbooks to CSV with LibreOffice, cells as shown, in one run.
// Empty when LibreOffice is not installed.
std::vector<std::string> libreOfficeCsv(const std::vector<QString>& workbooks, const QString& outFolder) {
    const QString soffice = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (soffice.isEmpty()) return {};
    QStringList arguments = {QStringLiteral("-env:UserInstallation=file://") + outFolder + QStringLiteral("/profile"),
                             QStringLiteral("--headless"), QStringLiteral("--convert-to"),
                             // comma, double quotes, UTF-8, from line 1, cells as shown
                             QStringLiteral("csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,true"),
                             QStringLiteral("--outdir"), outFolder};
    for (const QString& workbook : workbooks) arguments << workbook;
    QProcess convert;
    convert.start(soffice, arguments);
    convert.waitForFinished(600'000);
    std::vector<std::string> csvs;
    for (const QString& workbook : workbooks) {
        QFile csv(QDir(outFolder).filePath(QFileInfo(workbook).completeBaseName() + QStringLiteral(".csv")));
        if (!csv.open(QIODevice::ReadOnly)) {
            ADD_FAILURE() << "LibreOffice did not convert " << workbook.toStdString() << ": "
                          << convert.readAllStandardError().toStdString();
            csvs.emplace_back();
            continue;
        }
        csvs.push_back(csv.readAll().toStdString());
    }
    return csvs;
}

void compareWithLibreOffice(const ReadTable& table, const std::string& csv) {
    const auto records = parseCsv(csv);
    ASSERT_EQ(records.size(), table.rows.size() + 1);
    for (std::size_t r = 0; r < table.rows.size(); ++r) {
        for (std::size_t c = 0; c < table.fields.size(); ++c) {
            const std::optional<Expected> want = expected(table.rows[r][c]);
            const std::string shown = c < records[r + 1].size() ? records[r + 1][c] : "";
            SCOPED_TRACE("row " + std::to_string(r + 2) + " " + table.fields[c].name);
            if (!want) {
                EXPECT_EQ(shown, "");
            } else if (want->number && want->shown.empty()) {
                // General shows at most 15 significant digits.
                const double number = toDouble(shown);
                EXPECT_NEAR(number, *want->number, std::fabs(*want->number) * 1e-14);
            } else {
                // LibreOffice keeps a line break (CR LF, or CR alone) as a line feed.
                std::string lines = want->shown;
                for (std::size_t at; (at = lines.find("\r\n")) != std::string::npos;) lines.erase(at, 1);
                std::replace(lines.begin(), lines.end(), '\r', '\n');
                EXPECT_EQ(shown, lines);
            }
        }
    }
}

class SampleWorkbooks : public testing::Test {
protected:
    QTemporaryDir folder_;
};

TEST_F(SampleWorkbooks, EverySampleTableReadsBackCellForCell) {
    const std::filesystem::path samples = VELLOMAR_SAMPLES_DIR;
    std::vector<ReadTable> tables;
    std::vector<QString> workbooks;
    for (const auto& file : {samples::kCustomer, samples::kOrders, samples::kParts, samples::kEmployee,
                             samples::kArchivedOrders}) {
        SCOPED_TRACE(file.string());
        tables.push_back(readTable(samples / file));
        workbooks.push_back(folder_.filePath(QString::fromStdString(file.stem().string()) + QStringLiteral(".xlsx")));
        writeWorkbook(tables.back(), workbooks.back().toStdString());
        compareWithOpenpyxl(tables.back(), spreadsheet_test::readWorkbook(workbooks.back()));
    }
    const std::vector<std::string> csvs = libreOfficeCsv(workbooks, folder_.path());
    if (csvs.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed: the CSV comparison did not run";
    for (std::size_t i = 0; i < tables.size(); ++i) {
        SCOPED_TRACE(workbooks[i].toStdString());
        compareWithLibreOffice(tables[i], csvs[i]);
    }
}

// A table of every field type the table writer makes, with the edge values
// each can hold.
TEST_F(SampleWorkbooks, EveryFieldTypeAndItsEdgesReadBack) {
    const std::filesystem::path file = folder_.filePath(QStringLiteral("EDGES.DB")).toStdString();
    {
        paradoxwriter::Options options;
        options.blockKiB = 32;
        paradoxwriter::Writer writer(file, {{"Alpha", FieldType::Alpha, 255}, {"Short", FieldType::Short},
                                            {"Long", FieldType::Long}, {"Auto", FieldType::AutoIncrement},
                                            {"Number", FieldType::Number}, {"Money", FieldType::Money},
                                            {"Date", FieldType::Date}, {"Time", FieldType::Time},
                                            {"Timestamp", FieldType::Timestamp}, {"Logical", FieldType::Logical},
                                            {"Bcd", FieldType::Bcd, 4}, {"Memo", FieldType::Memo, 10},
                                            {"Binary", FieldType::Binary, 0}, {"Bytes", FieldType::Bytes, 4}},
                                   options);
        std::string controls;
        for (int c = 1; c < 0x20; ++c) controls += static_cast<char>(c);
        const double max = std::numeric_limits<double>::max();
        const double denormal = std::numeric_limits<double>::denorm_min();
        using driver::Date;
        using driver::Time;
        using driver::Timestamp;
        const std::vector<std::vector<Value>> rows = {
            {std::string(255, 'W'), std::int64_t{-32767}, std::int64_t{-2147483647}, driver::Null{}, -0.0,
             driver::Money{-1234567.891}, Date{1, 1, 1}, Time{0}, Timestamp{{1970, 1, 1}, Time{11 * 3'600'000}},
             true, driver::Decimal{"-12.5000"}, std::string(40'000, 'm'), driver::Bytes{FieldType::Binary, {1, 2, 3}},
             driver::Bytes{FieldType::Bytes, {1, 2, 3, 4}}},
            {controls, std::int64_t{32767}, std::int64_t{2147483647}, driver::Null{}, denormal, driver::Money{0.1},
             Date{1900, 1, 1}, Time{86'399'999}, Timestamp{{1900, 2, 28}, Time{23 * 3'600'000 + 59 * 60'000 + 59'999}},
             false, driver::Decimal{"0.0001"}, std::string("Z\xC3\xBCrich _x0041_ <&>\r\n"), driver::Null{},
             driver::Null{}},
            {std::string("_x0000_ \xE2\x82\xAC"), driver::Null{}, driver::Null{}, driver::Null{}, max,
             driver::Money{1e15}, Date{1900, 3, 1}, Time{11 * 3'600'000}, Timestamp{{9999, 12, 31}, Time{86'399'000}},
             driver::Null{}, driver::Decimal{"99999999.9999"}, driver::Null{}, driver::Null{}, driver::Null{}},
            {std::string(" lead and trail "), std::int64_t{0}, std::int64_t{0}, driver::Null{}, 0.1 + 0.2,
             driver::Money{-0.001}, Date{1899, 12, 31}, Time{3'600'000 + 1}, Timestamp{{1899, 12, 30}, Time{0}},
             true, driver::Decimal{"0.0000"}, std::string("x"), driver::Null{}, driver::Null{}},
            {std::string("-"), std::int64_t{1}, std::int64_t{-1}, driver::Null{}, -1e-300, driver::Money{5e-324},
             Date{9999, 12, 31}, Time{12 * 3'600'000}, Timestamp{{2021, 8, 31}, Time{13 * 3'600'000 + 45 * 60'000 + 30'250}},
             false, driver::Decimal{"1"}, std::string(32'767, 'q'), driver::Null{}, driver::Null{}},
        };
        for (const auto& row : rows) writer.addRow(row);
        writer.finish();
    }
    const ReadTable table = readTable(file);
    const QString book = folder_.filePath(QStringLiteral("EDGES.xlsx"));
    writeWorkbook(table, book.toStdString());
    compareWithOpenpyxl(table, spreadsheet_test::readWorkbook(book));
    const std::vector<std::string> csvs = libreOfficeCsv({book}, folder_.path());
    if (csvs.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed: the CSV comparison did not run";
    compareWithLibreOffice(table, csvs[0]);
}

// Texts a Paradox table can hold only in a memo: U+0000 (kept by the
// reader after it), every control character, the non-characters, and texts
// that look like escapes. LibreOffice reads "_x0000_" back as U+0000.
TEST_F(SampleWorkbooks, NulAndEveryControlCharacterReadBackInLibreOffice) {
    std::string controls;
    for (int c = 0; c < 0x20; ++c) controls += static_cast<char>(c);
    ReadTable table{{{"Memo", FieldType::Memo, 10}, {"Time", FieldType::Time, 4}}, {}};
    for (const std::string& text : {std::string("before\0after", 12), controls, std::string("_x0041_ _x0000_"),
                                    std::string("\xEF\xBF\xBE|\xEF\xBF\xBF"), std::string("_x0005\x1E")})
        table.rows.push_back({text, driver::Time{11 * 3'600'000}});
    const QString book = folder_.filePath(QStringLiteral("TEXTS.xlsx"));
    writeWorkbook(table, book.toStdString());
    compareWithOpenpyxl(table, spreadsheet_test::readWorkbook(book));
    const std::vector<std::string> csvs = libreOfficeCsv({book}, folder_.path());
    if (csvs.empty()) GTEST_SKIP() << "LibreOffice (soffice) is not installed: the CSV comparison did not run";
    compareWithLibreOffice(table, csvs[0]);
}

}  // namespace
