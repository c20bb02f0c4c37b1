#include "platform/SpreadsheetWorkbook.h"

#include "SpreadsheetReadBack.h"

#include <QFileInfo>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using driver::Value;
using platform::TruncationReport;
using platform::XlsxWorkbook;
using spreadsheet_test::ReadCell;
using spreadsheet_test::ReadSheet;
using spreadsheet_test::readWorkbook;
using testing::HasSubstr;

namespace {

class Workbook : public testing::Test {
protected:
    QString path() const { return folder_.filePath(QStringLiteral("Book1.xlsx")); }

    std::unique_ptr<XlsxWorkbook> open(std::int64_t sheetRows = platform::kSheetRows) {
        return std::make_unique<XlsxWorkbook>(path(), folder_.path(), sheetRows);
    }

    // Writes a header and one row of values from column 1, and reads the row back.
    std::map<std::string, ReadCell> roundTrip(const std::vector<Value>& values) {
        auto book = open();
        for (std::size_t i = 0; i < values.size(); ++i)
            book->setCell(1, static_cast<int>(i) + 1, QStringLiteral("F%1").arg(i + 1));
        for (std::size_t i = 0; i < values.size(); ++i) book->setCell(2, static_cast<int>(i) + 1, values[i]);
        book->finish();
        const std::vector<ReadSheet> sheets = readWorkbook(path());
        if (sheets.size() != 1) {
            ADD_FAILURE() << "expected one sheet, got " << sheets.size();
            return {};
        }
        std::map<std::string, ReadCell> row;
        for (const auto& [ref, cell] : sheets[0].cells)
            if (ref.size() > 1 && ref.substr(ref.find_first_of("0123456789")) == "2") row[ref] = cell;
        return row;
    }

    QTemporaryDir folder_;
};

std::string column(int index) {
    std::string name;
    for (; index > 0; index = (index - 1) / 26) name.insert(name.begin(), static_cast<char>('A' + (index - 1) % 26));
    return name;
}

TEST(CellText, FitsAtACharacterBoundaryCountingUtf16Units) {
    using platform::fittingTextBytes;
    EXPECT_EQ(fittingTextBytes("abcdef", 4), 4u);
    EXPECT_EQ(fittingTextBytes("abc", 4), 3u);
    // "é" is two bytes and one unit: three of them fit in three units.
    EXPECT_EQ(fittingTextBytes("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9", 3), 6u);
    // An emoji is four bytes and two units: it does not fit into the one unit left.
    EXPECT_EQ(fittingTextBytes("ab\xF0\x9F\x98\x80", 3), 2u);
    EXPECT_EQ(fittingTextBytes("ab\xF0\x9F\x98\x80", 4), 6u);
    // A euro sign (three bytes) is never split.
    EXPECT_EQ(fittingTextBytes("\xE2\x82\xAC\xE2\x82\xAC", 1), 3u);
    // Stray continuation bytes count one unit each; a sequence cut short by
    // the end of the text does not reach past it.
    EXPECT_EQ(fittingTextBytes("\x80\x80\x80\x80", 2), 2u);
    EXPECT_EQ(fittingTextBytes("abcdef\xE2\x82", 7), 8u);
}

TEST_F(Workbook, NumbersStayNumbers) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const auto row = roundTrip({std::int64_t{42}, std::int64_t{-7}, std::int64_t{0}, 3.25, true, false,
                                driver::Money{1234.5}, std::int64_t{(std::int64_t{1} << 53) + 1}, nan, infinity,
                                -infinity, driver::Money{nan}});
    EXPECT_EQ(row.at("A2"), (ReadCell{"int", "General", "42", "42"}));
    EXPECT_EQ(row.at("B2"), (ReadCell{"int", "General", "-7", "-7"}));
    EXPECT_EQ(row.at("C2"), (ReadCell{"int", "General", "0", "0"}));  // a zero stays a zero, not an empty cell
    EXPECT_EQ(row.at("D2"), (ReadCell{"float", "General", "3.25", "3.25"}));
    EXPECT_EQ(row.at("E2"), (ReadCell{"bool", "General", "TRUE", "1"}));
    EXPECT_EQ(row.at("F2"), (ReadCell{"bool", "General", "FALSE", "0"}));
    EXPECT_EQ(row.at("G2"), (ReadCell{"float", "#,##0.00", "1234.5", "1234.5"}));
    // What a sheet cannot hold as a number keeps its digits or says what it is.
    EXPECT_EQ(row.at("H2"), (ReadCell{"str", "General", "9007199254740993", "9007199254740993"}));
    EXPECT_EQ(row.at("I2").value, "NaN");
    EXPECT_EQ(row.at("J2").value, "Infinity");
    EXPECT_EQ(row.at("K2").value, "-Infinity");
    EXPECT_EQ(row.at("L2").value, "NaN");
}

TEST_F(Workbook, DecimalsAreNumbersOnlyWhenNoDigitIsLost) {
    using driver::Decimal;
    const auto row = roundTrip({Decimal{"-12.50"}, Decimal{"007"}, Decimal{"0.000"}, Decimal{"-0.00"},
                                Decimal{"12345678901234567890.12"}, Decimal{"0.1"}, Decimal{"123456789012345678"},
                                Decimal{"1e5"}, Decimal{".5"}});
    EXPECT_EQ(row.at("A2"), (ReadCell{"float", "0.00", "-12.5", "-12.5"}));
    EXPECT_EQ(row.at("B2"), (ReadCell{"int", "0", "7", "7"}));
    EXPECT_EQ(row.at("C2"), (ReadCell{"int", "0.000", "0", "0"}));
    EXPECT_EQ(row.at("D2"), (ReadCell{"int", "0.00", "0", "0"}));
    EXPECT_EQ(row.at("E2"), (ReadCell{"str", "General", "12345678901234567890.12", "12345678901234567890.12"}));
    EXPECT_EQ(row.at("F2"), (ReadCell{"float", "0.0", "0.1", "0.1"}));
    EXPECT_EQ(row.at("G2").type, "str");
    EXPECT_EQ(row.at("G2").value, "123456789012345678");
    // Not a decimal as the driver writes them: kept as it came.
    EXPECT_EQ(row.at("H2").value, "1e5");
    EXPECT_EQ(row.at("I2"), (ReadCell{"float", "0.0", "0.5", "0.5"}));
}

TEST_F(Workbook, DatesAndTimesAreDateCells) {
    using driver::Date;
    using driver::Time;
    using driver::Timestamp;
    const auto row = roundTrip({Date{2021, 8, 31}, Date{1900, 3, 1}, Date{1900, 2, 28}, Date{1900, 1, 1},
                                Date{1899, 12, 31}, Date{-1, 12, 31}, Date{0, 1, 1}, Date{2021, 2, 29},
                                Time{(13 * 3600 + 45 * 60 + 30) * 1000}, Time{25 * 3600 * 1000},
                                Timestamp{{2021, 8, 31}, Time{(13 * 3600 + 45 * 60 + 30) * 1000 + 250}},
                                Timestamp{{1899, 12, 31}, Time{12 * 3600 * 1000}}, Date{9999, 12, 31},
                                Date{10000, 1, 1}});
    EXPECT_EQ(row.at("A2"), (ReadCell{"datetime", "yyyy-mm-dd", "2021-08-31T00:00:00", "44439"}));
    // The 1900 date system counts a 29 February 1900: March is one day further on.
    EXPECT_EQ(row.at("B2").stored, "61");
    EXPECT_EQ(row.at("B2").value, "1900-03-01T00:00:00");
    EXPECT_EQ(row.at("C2").stored, "59");
    EXPECT_EQ(row.at("C2").value, "1900-02-28T00:00:00");
    EXPECT_EQ(row.at("D2").stored, "1");
    // Before the sheet's first day, and days that do not exist: ISO text.
    EXPECT_EQ(row.at("E2"), (ReadCell{"str", "General", "1899-12-31", "1899-12-31"}));
    EXPECT_EQ(row.at("F2").value, "-0001-12-31");
    EXPECT_EQ(row.at("G2").value, "0000-01-01");
    EXPECT_EQ(row.at("H2").value, "2021-02-29");
    EXPECT_EQ(row.at("I2").format, "hh:mm:ss");
    EXPECT_EQ(row.at("I2").value, "13:45:30");
    EXPECT_EQ(row.at("J2"), (ReadCell{"str", "General", "25:00:00", "25:00:00"}));
    EXPECT_EQ(row.at("K2").type, "datetime");
    EXPECT_EQ(row.at("K2").format, "yyyy-mm-dd hh:mm:ss");
    EXPECT_EQ(row.at("K2").value, "2021-08-31T13:45:30.250000");
    EXPECT_EQ(row.at("L2").value, "1899-12-31 12:00:00");
    EXPECT_EQ(row.at("M2").value, "9999-12-31T00:00:00");
    EXPECT_EQ(row.at("N2").value, "10000-01-01");
}

TEST_F(Workbook, TextStaysTextAndBlobsAreDescribed) {
    using driver::Bytes;
    using driver::FieldType;
    const std::string emoji = "\xF0\x9F\x98\x80";
    const auto row = roundTrip(
        {std::string("01067"), std::string("Z\xC3\xBCrich <&> \"") + emoji, std::string("line 1\nline 2\ttab"),
         std::string(), driver::Null{}, Bytes{FieldType::Graphic, std::vector<std::uint8_t>(9618, 0xFF)},
         Bytes{FieldType::Ole, {0}}, Bytes{FieldType::Binary, {}}, Bytes{FieldType::FormattedMemo, {1, 2}},
         Bytes{FieldType::Bytes, {0, 0, 0}}, driver::ValueError{"the .MB file is missing"}, std::string("TRUE"),
         std::string("=1+1"), std::string("a_x0041_b_x00e9_"), std::string("_x12_ _xZZZZ_")});
    EXPECT_EQ(row.at("A2"), (ReadCell{"str", "General", "01067", "01067"}));
    EXPECT_EQ(row.at("B2").value, "Z\xC3\xBCrich <&> \"" + emoji);
    EXPECT_EQ(row.at("C2").value, "line 1\nline 2\ttab");
    // Empty text and Null leave the cells empty.
    EXPECT_EQ(row.count("D2"), 0u);
    EXPECT_EQ(row.count("E2"), 0u);
    EXPECT_EQ(row.at("F2").value, "(graphic, 9618 bytes)");
    EXPECT_EQ(row.at("G2").value, "(OLE, 1 byte)");
    EXPECT_EQ(row.at("H2").value, "(binary, 0 bytes)");
    EXPECT_EQ(row.at("I2").value, "(formatted memo, 2 bytes)");
    EXPECT_EQ(row.at("J2").value, "(bytes, 3 bytes)");
    EXPECT_EQ(row.at("K2").value, "(unreadable: the .MB file is missing)");
    // Texts that look like other things are not reinterpreted.
    EXPECT_EQ(row.at("L2"), (ReadCell{"str", "General", "TRUE", "TRUE"}));
    EXPECT_EQ(row.at("M2"), (ReadCell{"str", "General", "=1+1", "=1+1"}));
    // A reader decodes "_xHHHH_" as a character, so such a text is stored escaped.
    EXPECT_EQ(row.at("N2").stored, "a_x005F_x0041_b_x005F_x00e9_");
    EXPECT_EQ(row.at("O2").stored, "_x12_ _xZZZZ_");
}

TEST_F(Workbook, RowsBeyondASheetGoOnInTheNextWithTheHeaderRepeated) {
    auto book = open(4);  // a header and three data rows per sheet
    book->setCell(1, 1, QStringLiteral("ID"));
    book->setCell(1, 2, Value{std::string("Name")});
    book->setCell(1, 3, QStringLiteral("Note"));
    for (std::int64_t r = 2; r <= 9; ++r) {
        book->setCell(r, 1, Value{r});
        book->setCell(r, 2, Value{"row " + std::to_string(r)});
    }
    EXPECT_EQ(book->sheetCount(), 3);
    book->finish();

    const std::vector<ReadSheet> sheets = readWorkbook(path());
    ASSERT_EQ(sheets.size(), 3u);
    const std::int64_t firstRowOf[] = {2, 5, 8};
    const int rowsOf[] = {4, 4, 3};
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE("sheet " + std::to_string(k + 1));
        const ReadSheet& sheet = sheets[k];
        EXPECT_EQ(sheet.name, "Sheet" + std::to_string(k + 1));
        EXPECT_EQ(sheet.rows, rowsOf[k]);
        EXPECT_EQ(sheet.cells.at("A1").value, "ID");
        EXPECT_EQ(sheet.cells.at("B1").value, "Name");
        EXPECT_EQ(sheet.cells.at("C1").value, "Note");
        for (int local = 2; local <= rowsOf[k]; ++local) {
            const std::int64_t r = firstRowOf[k] + local - 2;
            EXPECT_EQ(sheet.cells.at("A" + std::to_string(local)).value, std::to_string(r));
            EXPECT_EQ(sheet.cells.at("B" + std::to_string(local)).value, "row " + std::to_string(r));
        }
        EXPECT_EQ(sheet.cells.size(), 3u + 2u * static_cast<std::size_t>(rowsOf[k] - 1));
    }
}

TEST_F(Workbook, SkippedRowsStillLandInTheirOwnSheet) {
    auto book = open(3);
    book->setCell(1, 1, QStringLiteral("H"));
    book->setCell(2, 1, Value{std::int64_t{2}});
    book->setCell(9, 1, Value{std::int64_t{9}});  // sheet 4 of two data rows each: local row 3
    EXPECT_EQ(book->sheetCount(), 4);
    book->finish();
    const std::vector<ReadSheet> sheets = readWorkbook(path());
    ASSERT_EQ(sheets.size(), 4u);
    EXPECT_EQ(sheets[2].cells.size(), 1u);  // the header only
    EXPECT_EQ(sheets[3].cells.at("A1").value, "H");
    EXPECT_EQ(sheets[3].cells.at("A3").value, "9");
}

TEST_F(Workbook, StopsAtTheLastWorksheetItCanHold) {
    auto book = open(2);  // one data row per sheet
    const std::int64_t lastRow = 1 + platform::kMaxSheets;
    book->setCell(lastRow, 1, Value{1.0});
    EXPECT_EQ(book->sheetCount(), platform::kMaxSheets);
    EXPECT_THAT([&] { book->setCell(lastRow + 1, 1, Value{1.0}); },
                testing::ThrowsMessage<std::runtime_error>(HasSubstr("Row 514 does not fit")));
    EXPECT_THAT([&] { book->setCell(std::int64_t{1} << 60, 1, Value{1.0}); }, testing::Throws<std::runtime_error>());
    EXPECT_EQ(book->sheetCount(), platform::kMaxSheets);
    book->finish();
    EXPECT_TRUE(QFileInfo(path()).size() > 0);
}

TEST_F(Workbook, LongTextsAreCutToACellAndReported) {
    const std::string emoji = "\xF0\x9F\x98\x80";
    std::string emojis;
    for (int i = 0; i < 20000; ++i) emojis += emoji;
    std::string accents;
    for (int i = 0; i < 40000; ++i) accents += "\xC3\xA9";
    const std::string exact(32767, 'x');

    auto book = open(3);
    book->setCell(1, 1, QString(40000, QLatin1Char('h')));  // a long header, repeated in Sheet2
    book->setCell(2, 2, Value{std::string(40000, 'a')});
    book->setCell(2, 5, Value{accents});
    book->setCell(2, 7, Value{exact});
    book->setCell(3, 5, Value{emojis});
    book->setCell(4, 7, Value{exact + "y"});
    EXPECT_EQ(book->truncations(), (TruncationReport{5, {1, 2, 5, 7}}));
    book->finish();

    const std::vector<ReadSheet> sheets = readWorkbook(path());
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[0].cells.at("A1").value, std::string(32767, 'h'));
    EXPECT_EQ(sheets[1].cells.at("A1").value, std::string(32767, 'h'));
    EXPECT_EQ(sheets[0].cells.at("B2").value, std::string(32767, 'a'));
    EXPECT_EQ(sheets[0].cells.at("E2").value, accents.substr(0, 2 * 32767));
    EXPECT_EQ(sheets[0].cells.at("G2").value, exact);
    EXPECT_EQ(sheets[0].cells.at("E3").value, emojis.substr(0, 4 * 16383));
    EXPECT_EQ(sheets[1].cells.at("G2").value, exact);
}

TEST_F(Workbook, FaultsNameTheCell) {
    auto book = open();
    EXPECT_THAT([&] { book->setCell(0, 1, Value{true}); },
                testing::ThrowsMessage<std::runtime_error>(HasSubstr("row 0, column 1")));
    EXPECT_THAT([&] { book->setCell(2, 0, Value{true}); },
                testing::ThrowsMessage<std::runtime_error>(HasSubstr("row 2, column 0")));
    EXPECT_THAT([&] { book->setCell(2, 16385, QStringLiteral("x")); },
                testing::ThrowsMessage<std::runtime_error>(HasSubstr("columns run from 1 to 16384")));
    book->setCell(2, 16384, QStringLiteral("last column"));
    // Rows are streamed out: a row above the one being written is gone.
    book->setCell(5, 1, Value{1.0});
    EXPECT_THAT([&] { book->setCell(3, 1, Value{1.0}); },
                testing::ThrowsMessage<std::runtime_error>(
                    HasSubstr("Could not write the cell at row 3, column 1: Worksheet row or column index out of range")));
    book->finish();
    EXPECT_THAT([&] { book->setCell(6, 1, Value{1.0}); },
                testing::ThrowsMessage<std::runtime_error>(HasSubstr("has been shown")));
    const std::vector<ReadSheet> sheets = readWorkbook(path());
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].cells.at(column(16384) + "2").value, "last column");
}

TEST_F(Workbook, AFileThatCannotBeWrittenIsReportedWhenFinishing) {
    XlsxWorkbook book(folder_.filePath(QStringLiteral("no such folder/Book1.xlsx")), folder_.path());
    book.setCell(1, 1, QStringLiteral("x"));
    EXPECT_THAT([&] { book.finish(); }, testing::ThrowsMessage<std::runtime_error>(HasSubstr("no such folder/Book1.xlsx")));
    EXPECT_TRUE(book.finished());
}

}  // namespace
