#include "workbook/XlsxWriter.h"

#include "SpreadsheetReadBack.h"
#include "support/Bitmaps.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <random>
#include <sched.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

using driver::Value;
using spreadsheet_test::ReadCell;
using spreadsheet_test::ReadSheet;
using spreadsheet_test::readWorkbook;
using testing::HasSubstr;
using testing::ThrowsMessage;
using workbook::XlsxWriter;

namespace {

std::string columnLetters(int index) {
    std::string name;
    for (; index > 0; index = (index - 1) / 26) name.insert(name.begin(), static_cast<char>('A' + (index - 1) % 26));
    return name;
}

class Xlsx : public testing::Test {
protected:
    std::filesystem::path path() const { return folder_.filePath(QStringLiteral("Book1.xlsx")).toStdString(); }
    QString qpath() const { return QString::fromStdString(path().string()); }
    QStringList leftInFolder() const { return QDir(folder_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden); }

    std::unique_ptr<XlsxWriter> open(std::int64_t sheetRows = workbook::kSheetRows) {
        workbook::XlsxOptions options;
        options.sheetRows = sheetRows;
        return std::make_unique<XlsxWriter>(path(), options);
    }

    // Writes a header and one row of values from column 1, and reads the row back.
    std::map<std::string, ReadCell> roundTrip(const std::vector<Value>& values) {
        auto book = open();
        for (std::size_t i = 0; i < values.size(); ++i)
            book->setText(1, static_cast<int>(i) + 1, "F" + std::to_string(i + 1));
        for (std::size_t i = 0; i < values.size(); ++i) book->setCell(2, static_cast<int>(i) + 1, values[i]);
        book->finish();
        const std::vector<ReadSheet> sheets = readWorkbook(qpath());
        if (sheets.size() != 1) {
            ADD_FAILURE() << "expected one sheet, got " << sheets.size();
            return {};
        }
        std::map<std::string, ReadCell> row;
        for (const auto& [ref, cell] : sheets[0].cells)
            if (ref.substr(ref.find_first_of("0123456789")) == "2") row[ref] = cell;
        return row;
    }

    QTemporaryDir folder_;
};

TEST_F(Xlsx, NumbersStayNumbersAndReadBackToTheSameDouble) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double infinity = std::numeric_limits<double>::infinity();
    const double denormal = std::numeric_limits<double>::denorm_min();
    const auto row = roundTrip({std::int64_t{42}, std::int64_t{-7}, std::int64_t{0}, 3.25, true, false,
                                driver::Money{1234.5}, std::int64_t{(std::int64_t{1} << 53) + 1}, nan, infinity,
                                -infinity, driver::Money{nan}, 0.1 + 0.2, -0.0, denormal, 1e308, -1.7976931348623157e308,
                                2.2250738585072014e-308, std::int64_t{1} << 53, std::numeric_limits<std::int64_t>::min()});
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
    // Shortest round-trip texts: no digit of a double is lost or made up.
    EXPECT_EQ(row.at("M2"), (ReadCell{"float", "General", "0.30000000000000004", "0.30000000000000004"}));
    EXPECT_EQ(row.at("N2"), (ReadCell{"int", "General", "0", "0"}));
    EXPECT_EQ(row.at("O2"), (ReadCell{"float", "General", "5e-324", "5e-324"}));
    EXPECT_EQ(row.at("P2"), (ReadCell{"float", "General", "1e+308", "1e+308"}));
    EXPECT_EQ(row.at("Q2").value, "-1.7976931348623157e+308");
    EXPECT_EQ(row.at("R2").value, "2.2250738585072014e-308");
    EXPECT_EQ(row.at("S2"), (ReadCell{"int", "General", "9007199254740992", "9007199254740992"}));
    EXPECT_EQ(row.at("T2"), (ReadCell{"str", "General", "-9223372036854775808", "-9223372036854775808"}));
}

TEST_F(Xlsx, DecimalsAreNumbersOnlyWhenNoDigitIsLost) {
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

TEST_F(Xlsx, DatesAndTimesAreDateCells) {
    using driver::Date;
    using driver::Time;
    using driver::Timestamp;
    const auto row = roundTrip({Date{2021, 8, 31}, Date{1900, 3, 1}, Date{1900, 2, 28}, Date{1900, 1, 1},
                                Date{1899, 12, 31}, Date{-1, 12, 31}, Date{0, 1, 1}, Date{2021, 2, 29},
                                Time{(13 * 3600 + 45 * 60 + 30) * 1000}, Time{25 * 3600 * 1000},
                                Timestamp{{2021, 8, 31}, Time{(13 * 3600 + 45 * 60 + 30) * 1000 + 250}},
                                Timestamp{{1899, 12, 31}, Time{12 * 3600 * 1000}}, Date{9999, 12, 31},
                                Date{10000, 1, 1}, Timestamp{{1970, 1, 1}, Time{11 * 3600 * 1000}},
                                Timestamp{{1900, 1, 1}, Time{11 * 3600 * 1000 + 999}}, Time{11 * 3600 * 1000},
                                Timestamp{{9999, 12, 31}, Time{86'399'999}}, Time{-1}});
    EXPECT_EQ(row.at("A2"), (ReadCell{"datetime", "yyyy-mm-dd", "2021-08-31T00:00:00", "44439"}));
    // The 1900 date system counts a 29 February 1900: March is one day further on.
    EXPECT_EQ(row.at("B2"), (ReadCell{"datetime", "yyyy-mm-dd", "1900-03-01T00:00:00", "61"}));
    // Before March 1900 a serial means different days to Excel and LibreOffice:
    // an ISO date cell means the same day to both.
    EXPECT_EQ(row.at("C2"), (ReadCell{"datetime", "yyyy-mm-dd", "1900-02-28T00:00:00", "1900-02-28T00:00:00"}));
    EXPECT_EQ(row.at("D2"), (ReadCell{"datetime", "yyyy-mm-dd", "1900-01-01T00:00:00", "1900-01-01T00:00:00"}));
    // Before the sheet's first day, and days that do not exist: ISO text.
    EXPECT_EQ(row.at("E2"), (ReadCell{"str", "General", "1899-12-31", "1899-12-31"}));
    EXPECT_EQ(row.at("F2").value, "-0001-12-31");
    EXPECT_EQ(row.at("G2").value, "0000-01-01");
    EXPECT_EQ(row.at("H2").value, "2021-02-29");
    EXPECT_EQ(row.at("I2").format, "hh:mm:ss");
    EXPECT_EQ(row.at("I2").value, "13:45:30");
    EXPECT_EQ(row.at("J2"), (ReadCell{"str", "General", "25:00:00", "25:00:00"}));
    // Milliseconds are shown, so no program rounds them into the next second.
    EXPECT_EQ(row.at("K2").type, "datetime");
    EXPECT_EQ(row.at("K2").format, "yyyy-mm-dd hh:mm:ss.000");
    EXPECT_EQ(row.at("K2").value, "2021-08-31T13:45:30.250000");
    EXPECT_EQ(row.at("L2").value, "1899-12-31 12:00:00");
    EXPECT_EQ(row.at("M2").value, "9999-12-31T00:00:00");
    EXPECT_EQ(row.at("N2").value, "10000-01-01");
    // 11:00 is written as the double just above it, not the one just below,
    // which a program cutting the seconds would show as 10:59:59.
    EXPECT_EQ(row.at("O2"), (ReadCell{"datetime", "yyyy-mm-dd hh:mm:ss", "1970-01-01T11:00:00", "25569.458333333336"}));
    EXPECT_EQ(row.at("P2"), (ReadCell{"datetime", "yyyy-mm-dd hh:mm:ss.000", "1900-01-01T11:00:00.999000",
                                      "1900-01-01T11:00:00.999"}));
    EXPECT_EQ(row.at("Q2"), (ReadCell{"time", "hh:mm:ss", "11:00:00", "0.45833333333333337"}));
    EXPECT_EQ(row.at("R2").value, "9999-12-31T23:59:59.999000");
    EXPECT_EQ(row.at("S2").value, "-00:00:00.001");
}

TEST_F(Xlsx, TextStaysTextAndBytesAreHex) {
    using driver::Bytes;
    using driver::FieldType;
    const std::string emoji = "\xF0\x9F\x98\x80";
    const auto row = roundTrip(
        {std::string("01067"), std::string("Z\xC3\xBCrich <&> \"") + emoji, std::string("line 1\nline 2\ttab"),
         std::string(), driver::Null{}, Bytes{FieldType::Graphic, std::vector<std::uint8_t>(9618, 0xFF)},
         Bytes{FieldType::Ole, {0}}, Bytes{FieldType::Binary, {}}, Bytes{FieldType::FormattedMemo, {1, 2}},
         Bytes{FieldType::Bytes, {0, 0, 0}}, driver::ValueError{"the .MB file is missing"}, std::string("TRUE"),
         std::string("=1+1"), std::string("a_x0041_b_x00e9_"), std::string("_x12_ _xZZZZ_"),
         std::string("  padded  ")});
    EXPECT_EQ(row.at("A2"), (ReadCell{"str", "General", "01067", "01067"}));
    EXPECT_EQ(row.at("B2").value, "Z\xC3\xBCrich <&> \"" + emoji);
    EXPECT_EQ(row.at("C2").value, "line 1\nline 2\ttab");
    // Empty text and Null leave the cells empty.
    EXPECT_EQ(row.count("D2"), 0u);
    EXPECT_EQ(row.count("E2"), 0u);
    EXPECT_EQ(row.at("F2").value,
              "(unreadable: the value holds no picture in a format spreadsheets read (BMP, PNG, JPEG or GIF))");
    EXPECT_EQ(row.at("G2").value, "0x00");
    EXPECT_EQ(row.at("H2").value, "0x");
    EXPECT_EQ(row.at("I2").value, "0x0102");
    EXPECT_EQ(row.at("J2").value, "0x000000");
    EXPECT_EQ(row.at("K2").value, "(unreadable: the .MB file is missing)");
    // Texts that look like other things are not reinterpreted.
    EXPECT_EQ(row.at("L2"), (ReadCell{"str", "General", "TRUE", "TRUE"}));
    EXPECT_EQ(row.at("M2"), (ReadCell{"str", "General", "=1+1", "=1+1"}));
    // A reader decodes "_xHHHH_" as a character, so such a text is stored escaped.
    EXPECT_EQ(row.at("N2"), (ReadCell{"str", "General", "a_x0041_b_x00e9_", "a_x005F_x0041_b_x005F_x00e9_"}));
    EXPECT_EQ(row.at("O2").stored, "_x12_ _xZZZZ_");
    EXPECT_EQ(row.at("P2").value, "  padded  ");
}

TEST_F(Xlsx, ATextOfSeveralLinesShowsItsFirstLine) {
    auto book = open();
    book->setText(1, 1, "Notes\nand more");
    book->setCell(2, 1, Value(std::string("first\r\nsecond")));
    book->setCell(2, 2, Value(std::string("one line")));
    book->finish();
    // Wrapped and from the top, so a cell of the usual height shows its first line.
    QProcess python;
    python.start("/usr/bin/python3", {"-c", "import openpyxl, sys\n"
                                            "s = openpyxl.load_workbook(sys.argv[1]).active\n"
                                            "for c in ('A1', 'A2', 'B2'):\n"
                                            "    print(c, s[c].alignment.wrap_text, s[c].alignment.vertical)",
                                      qpath()});
    ASSERT_TRUE(python.waitForFinished(60'000));
    EXPECT_EQ(python.readAllStandardOutput(), "A1 True top\nA2 True top\nB2 None None\n");
}

TEST_F(Xlsx, PicturesSitOverTheirCellsWithTheImageWholeAndLinksOpenFiles) {
    using driver::Bytes;
    using driver::FieldType;
    const auto wide = test_images::bitmap(300, 150, 1);
    const auto small = test_images::bitmap(20, 10, 2);
    std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R',
                                     0, 0, 0, 4, 0, 0, 0, 2};
    png.resize(40);
    std::vector<std::uint8_t> raw(20'000);
    for (std::size_t i = 0; i < raw.size(); ++i) raw[i] = static_cast<std::uint8_t>(i * 7);
    auto book = open(4);  // three data rows a sheet
    book->setColumns({{"Id", FieldType::Long, 4}, {"Photo", FieldType::Graphic, 10}, {"Raw", FieldType::Binary, 10}});
    for (int c = 1; c <= 3; ++c) book->setText(1, c, std::string(1, static_cast<char>('@' + c)));
    book->setCell(2, 1, Value{std::int64_t{1}});
    book->setCell(2, 2, Bytes{FieldType::Graphic, wide});
    book->setCell(2, 3, Bytes{FieldType::Binary, raw});
    book->setCell(3, 2, Bytes{FieldType::Graphic, small});
    book->setCell(4, 2, Bytes{FieldType::Graphic, {1, 2, 3}});
    book->setFileCell(5, 2, Bytes{FieldType::Graphic, png}, "blobs/T/row4-Photo x.png");
    book->setFileCell(5, 3, Bytes{FieldType::Binary, raw}, "blobs/T/row4-Raw.bin");
    const workbook::Report report = book->report();
    book->finish();
    EXPECT_EQ(leftInFolder(), QStringList{QStringLiteral("Book1.xlsx")});  // the pictures' temporary file is gone

    const auto sheets = readWorkbook(qpath());
    ASSERT_EQ(sheets.size(), 2u);
    // At most 160 x 100 pixels, aspect kept, never enlarged; each row tall enough.
    ASSERT_EQ(sheets[0].pictures.size(), 2u);
    EXPECT_EQ(sheets[0].pictures[0].cell, "B2");
    EXPECT_EQ(sheets[0].pictures[0].to, "B2");
    EXPECT_EQ(std::pair(sheets[0].pictures[0].width, sheets[0].pictures[0].height), std::pair(160, 80));
    EXPECT_EQ(sheets[0].pictures[0].bytes, wide);
    EXPECT_EQ(sheets[0].pictures[1].cell, "B3");
    EXPECT_EQ(std::pair(sheets[0].pictures[1].width, sheets[0].pictures[1].height), std::pair(20, 10));
    EXPECT_EQ(sheets[0].pictures[1].bytes, small);
    EXPECT_EQ(sheets[0].heights, (std::map<int, double>{{2, 75}, {3, 22.5}}));  // and a line of text
    EXPECT_EQ(sheets[0].cells.at("B2").value, "(picture, BMP 300 x 150)");
    EXPECT_EQ(sheets[0].cells.at("B4").value, "(unreadable: the value holds no picture in a format spreadsheets read "
                                              "(BMP, PNG, JPEG or GIF))");
    // Bytes are hex as far as a cell holds them.
    EXPECT_EQ(sheets[0].cells.at("C2").value.size(), 32'766u);
    EXPECT_EQ(sheets[0].cells.at("C2").value.substr(0, 10), "0x00070e15");
    // The next sheet has a drawing and images of its own; a linked cell shows its path.
    ASSERT_EQ(sheets[1].pictures.size(), 1u);
    EXPECT_EQ(sheets[1].pictures[0].media, "xl/media/image3.png");
    EXPECT_EQ(sheets[1].pictures[0].bytes, png);
    EXPECT_EQ(sheets[1].cells.at("B2").value, "blobs/T/row4-Photo x.png");
    EXPECT_EQ(sheets[1].links, (std::map<std::string, std::string>{{"B2", "blobs/T/row4-Photo%20x.png"},
                                                                   {"C2", "blobs/T/row4-Raw.bin"}}));
    EXPECT_EQ(report.unshown, 1);
    EXPECT_EQ(report.unshownRows, std::vector<std::int64_t>{4});
    EXPECT_EQ(report.unshownColumns, std::vector<int>{2});
    EXPECT_EQ(report.cutTexts, 1);  // the hex of row 2; row 5's bytes are in their file
}

TEST_F(Xlsx, ControlCharactersAndNulReadBackAsThemselves) {
    std::string every;
    for (int c = 0; c < 0x20; ++c) every += static_cast<char>(c);
    const std::string memo = std::string("before\0after", 12);
    const auto row = roundTrip({every, memo, std::string("\xEF\xBF\xBE\xEF\xBF\xBF"),
                                std::string("bad \xC3 \xED\xA0\x80 \xF8")});
    EXPECT_EQ(row.at("A2").value, every);
    EXPECT_EQ(row.at("A2").stored.substr(0, 14), "_x0000__x0001_");
    EXPECT_EQ(row.at("B2").value, memo);
    EXPECT_EQ(row.at("B2").stored, "before_x0000_after");
    EXPECT_EQ(row.at("C2").value, "\xEF\xBF\xBE\xEF\xBF\xBF");
    // Malformed UTF-8 cannot go into XML: each bad byte becomes U+FFFD.
    const std::string r = "\xEF\xBF\xBD";
    EXPECT_EQ(row.at("D2").value, "bad " + r + " " + r + r + r + " " + r);
}

TEST_F(Xlsx, RowsBeyondASheetGoOnInTheNextWithTheHeaderRepeated) {
    auto book = open(4);  // a header and three data rows per sheet
    book->setColumns({{"ID", driver::FieldType::Long, 4}, {"Name", driver::FieldType::Alpha, 30},
                      {"Note", driver::FieldType::Memo, 10}});
    book->setText(1, 1, "ID");
    book->setCell(1, 2, Value{std::string("Name")});
    book->setText(1, 3, "Note");
    for (std::int64_t r = 2; r <= 9; ++r) {
        book->setCell(r, 1, Value{r});
        book->setCell(r, 2, Value{"row " + std::to_string(r)});
    }
    EXPECT_EQ(book->sheetCount(), 3);
    book->finish();
    EXPECT_EQ(book->report().sheets, (std::vector<workbook::SheetRows>{{"Sheet1", 2, 3}, {"Sheet2", 5, 3}, {"Sheet3", 8, 2}}));

    const std::vector<ReadSheet> sheets = readWorkbook(qpath());
    ASSERT_EQ(sheets.size(), 3u);
    const std::int64_t firstRowOf[] = {2, 5, 8};
    const int rowsOf[] = {4, 4, 3};
    for (std::size_t k = 0; k < 3; ++k) {
        SCOPED_TRACE("sheet " + std::to_string(k + 1));
        const ReadSheet& sheet = sheets[k];
        EXPECT_EQ(sheet.name, "Sheet" + std::to_string(k + 1));
        EXPECT_EQ(sheet.rows, rowsOf[k]);
        // Every sheet keeps its header in view and its columns wide enough.
        EXPECT_EQ(sheet.frozen, "A2");
        EXPECT_EQ(sheet.widths.size(), 3u);
        EXPECT_GT(sheet.widths.at("B"), sheet.widths.at("A"));
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

TEST_F(Xlsx, ColumnsAreWideEnoughForTheirValuesAndNames) {
    using driver::FieldType;
    const std::vector<driver::Field> fields = {{"D", FieldType::Date, 4}, {"T", FieldType::Timestamp, 8},
                                               {"A rather long field name", FieldType::Short, 2},
                                               {"Code", FieldType::Alpha, 3}, {"M", FieldType::Money, 8}};
    const auto width = [&](std::size_t i) { return workbook::columnWidth(fields[i]); };
    // Characters of the widest value or of the name, in Excel's width units
    // (a character and a bit of padding each).
    EXPECT_GE(width(0), 10.7);      // 2021-08-31
    EXPECT_GE(width(1), 23.7);      // 2021-08-31 13:45:30.250
    EXPECT_GE(width(2), 24.7);      // the name
    EXPECT_GE(width(3), 4.7);       // the name, wider than three characters
    EXPECT_GE(width(4), 16.7);      // 9,999,999,999.99
    EXPECT_LE(workbook::columnWidth({"Text", FieldType::Alpha, 255}), 60);  // wide texts overflow instead
}

TEST_F(Xlsx, SkippedRowsStillLandInTheirOwnSheet) {
    auto book = open(3);
    book->setText(1, 1, "H");
    book->setCell(2, 1, Value{std::int64_t{2}});
    book->setCell(9, 1, Value{std::int64_t{9}});  // sheet 4 of two data rows each: local row 3
    EXPECT_EQ(book->sheetCount(), 4);
    book->finish();
    const std::vector<ReadSheet> sheets = readWorkbook(qpath());
    ASSERT_EQ(sheets.size(), 4u);
    EXPECT_EQ(sheets[2].cells.size(), 1u);  // the header only
    EXPECT_EQ(sheets[3].cells.at("A1").value, "H");
    EXPECT_EQ(sheets[3].cells.at("A3").value, "9");
}

TEST_F(Xlsx, StopsAtTheLastWorksheetItCanHold) {
    auto book = open(2);  // one data row per sheet
    const std::int64_t lastRow = 1 + workbook::kMaxSheets;
    book->setCell(lastRow, 1, Value{1.0});
    EXPECT_EQ(book->sheetCount(), workbook::kMaxSheets);
    EXPECT_THAT([&] { book->setCell(lastRow + 1, 1, Value{1.0}); },
                ThrowsMessage<std::runtime_error>(HasSubstr("Row 514 does not fit")));
    EXPECT_THAT([&] { book->setCell(std::int64_t{1} << 60, 1, Value{1.0}); }, testing::Throws<std::runtime_error>());
    EXPECT_EQ(book->sheetCount(), workbook::kMaxSheets);
    book->finish();
    EXPECT_EQ(readWorkbook(qpath()).size(), static_cast<std::size_t>(workbook::kMaxSheets));
}

TEST_F(Xlsx, LongTextsAreCutToACellAndReported) {
    const std::string emoji = "\xF0\x9F\x98\x80";
    std::string emojis;
    for (int i = 0; i < 20000; ++i) emojis += emoji;
    std::string accents;
    for (int i = 0; i < 40000; ++i) accents += "\xC3\xA9";
    const std::string exact(32767, 'x');
    std::string controls(40000, '\x01');  // each is one character, written as seven bytes

    auto book = open(3);
    book->setText(1, 1, std::string(40000, 'h'));  // a long header, repeated in Sheet2
    book->setCell(2, 2, Value{std::string(40000, 'a')});
    book->setCell(2, 5, Value{accents});
    book->setCell(2, 7, Value{exact});
    book->setCell(3, 5, Value{emojis});
    book->setCell(4, 6, Value{controls});
    book->setCell(4, 7, Value{exact + "y"});
    const workbook::Report& report = book->report();
    EXPECT_EQ(report.cutTexts, 6);
    EXPECT_EQ(report.cutColumns, (std::vector<int>{1, 2, 5, 6, 7}));
    EXPECT_EQ(report.cutRows, (std::vector<std::int64_t>{1, 2, 3, 4}));
    book->finish();

    const std::vector<ReadSheet> sheets = readWorkbook(qpath());
    ASSERT_EQ(sheets.size(), 2u);
    EXPECT_EQ(sheets[0].cells.at("A1").value, std::string(32767, 'h'));
    EXPECT_EQ(sheets[1].cells.at("A1").value, std::string(32767, 'h'));
    EXPECT_EQ(sheets[0].cells.at("B2").value, std::string(32767, 'a'));
    EXPECT_EQ(sheets[0].cells.at("E2").value, accents.substr(0, 2 * 32767));
    EXPECT_EQ(sheets[0].cells.at("G2").value, exact);
    EXPECT_EQ(sheets[0].cells.at("E3").value, emojis.substr(0, 4 * 16383));
    EXPECT_EQ(sheets[1].cells.at("F2").value, std::string(32767, '\x01'));
    EXPECT_EQ(sheets[1].cells.at("G2").value, exact);
}

TEST_F(Xlsx, FaultsNameTheCell) {
    auto book = open();
    EXPECT_THAT([&] { book->setCell(0, 1, Value{true}); }, ThrowsMessage<std::runtime_error>(HasSubstr("row 0, column 1")));
    EXPECT_THAT([&] { book->setCell(2, 0, Value{true}); }, ThrowsMessage<std::runtime_error>(HasSubstr("row 2, column 0")));
    EXPECT_THAT([&] { book->setText(2, 16385, "x"); },
                ThrowsMessage<std::runtime_error>(HasSubstr("columns run from 1 to 16384")));
    book->setText(2, 16384, "last column");
    // Rows are streamed out: a row above the one being written is gone, and
    // so is a cell left of the last one written.
    book->setCell(5, 2, Value{1.0});
    EXPECT_THAT([&] { book->setCell(3, 1, Value{1.0}); },
                ThrowsMessage<std::runtime_error>(HasSubstr("Could not write the cell at row 3, column 1: rows, and the "
                                                            "cells of a row, are written in ascending order")));
    EXPECT_THROW(book->setCell(5, 1, Value{1.0}), std::runtime_error);
    EXPECT_THROW(book->setText(1, 1, "late header"), std::runtime_error);
    EXPECT_THROW(book->setColumns({}), std::runtime_error);
    book->setCell(5, 3, Value{2.0});  // the writer goes on after a refused cell
    book->finish();
    EXPECT_THAT([&] { book->setCell(6, 1, Value{1.0}); }, ThrowsMessage<std::runtime_error>(HasSubstr("is finished")));
    const std::vector<ReadSheet> sheets = readWorkbook(qpath());
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].cells.at(columnLetters(16384) + "2").value, "last column");
    EXPECT_EQ(sheets[0].cells.at("C5").value, "2");
}

TEST_F(Xlsx, NothingIsLeftOfAnUnfinishedWorkbook) {
    {
        auto book = open();
        book->setText(1, 1, "x");
        for (std::int64_t r = 2; r < 20'000; ++r) book->setText(r, 1, "text " + std::to_string(r));
        // The file grows under a hidden name, never under its own.
        EXPECT_FALSE(std::filesystem::exists(path()));
        EXPECT_EQ(leftInFolder().size(), 1);
    }
    EXPECT_TRUE(leftInFolder().isEmpty());
    auto book = open();
    book->finish();
    EXPECT_EQ(leftInFolder(), QStringList{"Book1.xlsx"});
}

TEST_F(Xlsx, AFileThatCannotBeMadeIsNamedWithTheCause) {
    const std::filesystem::path missing = folder_.filePath(QStringLiteral("no such folder/Book1.xlsx")).toStdString();
    EXPECT_THAT([&] { XlsxWriter book(missing); },
                ThrowsMessage<std::runtime_error>(
                    HasSubstr("Could not write the workbook " + missing.string() + ": No such file or directory.")));
}

// Runs body in a child process with a mount namespace of its own, where a
// tmpfs of 64 KiB is mounted on folder, and returns what body returned; no
// value when no namespace can be made (not root, or no user namespaces).
std::optional<std::string> onAFullDisk(const std::string& folder, const std::function<std::string()>& body) {
    int channel[2];
    if (::pipe(channel) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        std::string answer = "(no namespace)";
        if (::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0 &&
            ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=64k") == 0)
            answer = body();
        [[maybe_unused]] const auto written = ::write(channel[1], answer.data(), answer.size());
        ::_exit(0);
    }
    ::close(channel[1]);
    std::string answer;
    char buffer[4096];
    for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;) answer.append(buffer, static_cast<std::size_t>(n));
    ::close(channel[0]);
    ::waitpid(child, nullptr, 0);
    if (answer == "(no namespace)") return std::nullopt;
    return answer;
}

TEST_F(Xlsx, AFullDiskIsNamedInPlainWordsAndLeavesNoFile) {
    const std::string folder = folder_.path().toStdString();
    const std::optional<std::string> answer = onAFullDisk(folder, [&] {
        std::string message = "(no failure)";
        try {
            workbook::XlsxOptions options;
            options.compressInline = true;  // no threads in the child
            XlsxWriter book(path(), options);
            std::mt19937 random(1);
            std::string text(1000, ' ');
            for (std::int64_t r = 2; r < 2000; ++r) {
                for (char& c : text) c = static_cast<char>('!' + random() % 90);
                book.setText(r, 1, text);
            }
            book.finish();
        } catch (const std::runtime_error& e) {
            message = e.what();
        }
        return message + "|" + std::to_string(std::distance(std::filesystem::directory_iterator(folder),
                                                             std::filesystem::directory_iterator{}));
    });
    if (!answer) GTEST_SKIP() << "no mount namespace can be made here (not root?): the full disk is not tried";
    EXPECT_EQ(*answer, "Could not write the workbook " + path().string() + ": No space left on device.|0");
}

// Many chunks through the worker threads: the parts still pass the zip's
// CRC check, and the result is the same whoever compressed it.
TEST_F(Xlsx, ChunksCompressedInParallelJoinIntoOneStream) {
    const auto write = [&](const std::filesystem::path& file, bool inline_) {
        workbook::XlsxOptions options;
        options.compressInline = inline_;
        options.threads = 3;
        XlsxWriter book(file, options);
        book.setText(1, 1, "Text");
        std::string text;
        for (std::int64_t r = 2; r <= 4001; ++r) {
            text.assign(1000 + static_cast<std::size_t>(r % 300), static_cast<char>('a' + r % 26));
            book.setText(r, 1, text);
            book.setCell(r, 2, Value{static_cast<double>(r) / 7});
        }
        book.finish();
    };
    write(path(), false);
    const std::filesystem::path other = folder_.filePath(QStringLiteral("inline.xlsx")).toStdString();
    write(other, true);
    const std::vector<ReadSheet> sheets = readWorkbook(qpath());
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].rows, 4001);
    EXPECT_EQ(sheets[0].cells.at("A4001").value, std::string(1000 + 4001 % 300, static_cast<char>('a' + 4001 % 26)));
    EXPECT_EQ(sheets[0].cells.at("B4001").value, "571.5714285714286");
    const auto sheetXml = [](const std::filesystem::path& file) {
        QProcess unzip;
        unzip.start(QStringLiteral("/usr/bin/python3"),
                    {QStringLiteral("-c"),
                     QStringLiteral("import sys, zipfile; sys.stdout.buffer.write(zipfile.ZipFile(sys.argv[1])"
                                    ".read('xl/worksheets/sheet1.xml'))"),
                     QString::fromStdString(file.string())});
        unzip.waitForFinished(60'000);
        return unzip.readAllStandardOutput();
    };
    const QByteArray xml = sheetXml(path());
    EXPECT_GT(xml.size(), 4'000'000);
    EXPECT_EQ(xml, sheetXml(other));
}

}  // namespace
