// The wizard's workbook adapter. How each value becomes a cell is the
// workbook library's and is tested there (tests/workbook); here only what
// the adapter adds: Qt texts, the fields' widths, the message once shown.
#include "platform/SpreadsheetWorkbook.h"

#include "SpreadsheetReadBack.h"

#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

using driver::Value;
using platform::XlsxWorkbook;
using spreadsheet_test::readWorkbook;
using testing::HasSubstr;

namespace {

TEST(SpreadsheetWorkbook, WritesQtTextsAndTheFieldsWidthsThroughTheWriter) {
    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("Zürich Book1.xlsx"));
    XlsxWorkbook book(path, 3);
    book.setColumns({{"Stadt", driver::FieldType::Alpha, 40}, {"Seit", driver::FieldType::Date, 4}});
    book.setCell(1, 1, QStringLiteral("Stadt \u00C9"));
    book.setCell(1, 2, QStringLiteral("Seit"));
    for (std::int64_t row = 2; row <= 4; ++row) book.setCell(row, 1, Value{std::string(33'000, 'z')});
    EXPECT_EQ(book.sheetCount(), 2);
    EXPECT_EQ(book.report().cutTexts, 3);
    EXPECT_EQ(book.report().cutColumns, std::vector<int>{1});
    book.finish();
    EXPECT_TRUE(book.finished());
    EXPECT_THAT([&] { book.setCell(5, 1, Value{1.0}); }, testing::ThrowsMessage<std::runtime_error>(HasSubstr("has been shown")));

    const auto sheets = readWorkbook(path);
    ASSERT_EQ(sheets.size(), 2u);
    for (const auto& sheet : sheets) {
        EXPECT_EQ(sheet.cells.at("A1").value, "Stadt \xC3\x89");
        EXPECT_EQ(sheet.frozen, "A2");
        EXPECT_GT(sheet.widths.at("A"), 40);
        EXPECT_GT(sheet.widths.at("B"), 10);
    }
}

}  // namespace
