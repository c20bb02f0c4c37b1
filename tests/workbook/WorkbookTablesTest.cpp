// Several tables in one workbook: a worksheet (or more) each, named after the table.

#include "workbook/SheetNames.h"
#include "workbook/XlsxWriter.h"

#include "SpreadsheetReadBack.h"
#include "support/Bitmaps.h"

#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using spreadsheet_test::readWorkbook;
using workbook::SheetNames;

TEST(SheetNames, FollowExcelsRulesAndTellNamesApartWithoutLetterCase) {
    SheetNames names;
    const std::pair<std::string, std::string> cases[] = {
        {"CUSTOMER", "CUSTOMER"},
        {"customer", "customer-2"},
        {"a[b]:c*d?e/f\\g\th", "a_b__c_d_e_f_g_h"},
        {"'quoted'", "_quoted_"},
        {"", "Sheet"},
        {"HISTORY", "HISTORY-2"},
        {"\xC3\x84rger", "\xC3\x84rger"},
        {"\xC3\xA4RGER", "\xC3\xA4RGER-2"},  // Ä and ä are one letter to Excel
        {std::string(40, 'x'), std::string(31, 'x')},
        {std::string(40, 'x'), std::string(29, 'x') + "-2"},
        {std::string(30, 'y') + "\xF0\x9F\x98\x80", std::string(30, 'y')},  // an emoji is two units
        {"bad \xFF byte", "bad \xEF\xBF\xBD byte"},
    };
    for (const auto& [wanted, given] : cases) EXPECT_EQ(names.take(wanted), given) << wanted;
    EXPECT_EQ(names.take("CUSTOMER", " (2)"), "CUSTOMER (2)");
    EXPECT_EQ(names.take(std::string(40, 'z'), " (2)"), std::string(27, 'z') + " (2)");
}

TEST(XlsxTables, EachTableHasSheetsOfItsOwnWithItsPicturesAndNames) {
    using driver::Bytes;
    using driver::FieldType;
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Tables.xlsx"));
    const auto red = test_images::bitmap(30, 20, 1), blue = test_images::bitmap(40, 10, 2);
    workbook::XlsxOptions options;
    options.sheetRows = 3;  // two data rows a sheet
    workbook::XlsxWriter book(path.toStdString(), options);
    std::vector<workbook::Report> reports;
    const auto table = [&](const std::string& name, const std::vector<std::vector<std::uint8_t>>& pictures) {
        book.startTable({name, {}});
        book.setColumns({{"Id", FieldType::Long, 4}, {"Photo", FieldType::Graphic, 10}});
        for (int c : {1, 2}) book.setText(1, c, c == 1 ? "Id" : "Photo");
        for (std::size_t r = 0; r < pictures.size(); ++r) {
            book.setCell(std::int64_t(r) + 2, 1, driver::Value{std::int64_t(r)});
            book.setCell(std::int64_t(r) + 2, 2, Bytes{FieldType::Graphic, pictures[r]});
        }
        reports.push_back(book.report());
    };
    table("A&B", {red, blue, red});
    table("a&b", {blue});
    table("Empty", {});
    book.finish();

    const auto sheets = readWorkbook(path);
    ASSERT_EQ(sheets.size(), 4u);
    const std::vector<std::pair<std::string, std::vector<std::uint8_t>>> expected = {
        {"A&B", red}, {"A&B (2)", red}, {"a&b-2", blue}, {"Empty", {}}};
    for (std::size_t s = 0; s < sheets.size(); ++s) {
        EXPECT_EQ(sheets[s].name, expected[s].first);
        EXPECT_EQ(sheets[s].cells.at("B1").value, "Photo");
        if (expected[s].second.empty()) continue;
        ASSERT_FALSE(sheets[s].pictures.empty()) << s;
        EXPECT_EQ(sheets[s].pictures[0].cell, "B2");
        EXPECT_EQ(sheets[s].pictures[0].bytes, expected[s].second);
    }
    EXPECT_EQ(sheets[0].pictures.size(), 2u);
    EXPECT_EQ(sheets[1].cells.at("A2").value, "2");
    EXPECT_EQ(sheets[3].rows, 1);
    EXPECT_EQ(reports[0].sheets, (std::vector<workbook::SheetRows>{{"A&B", 2, 2}, {"A&B (2)", 4, 1}}));
    EXPECT_THAT(reports[0].notices, testing::IsEmpty());
    EXPECT_THAT(reports[1].notices, testing::ElementsAre(testing::HasSubstr("\"a&b-2\"")));
}
