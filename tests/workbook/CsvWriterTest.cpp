#include "workbook/CsvWriter.h"

#include <QDir>
#include <QTemporaryDir>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <sstream>

using driver::Value;
using testing::HasSubstr;
using testing::ThrowsMessage;
using workbook::CsvWriter;

namespace {

class Csv : public testing::Test {
protected:
    std::filesystem::path path() const { return folder_.filePath(QStringLiteral("table.csv")).toStdString(); }
    std::string contents() const {
        std::ifstream in(path(), std::ios::binary);
        std::ostringstream bytes;
        bytes << in.rdbuf();
        return bytes.str();
    }
    QTemporaryDir folder_;
};

TEST_F(Csv, EveryKindOfValueAsRfc4180Text) {
    CsvWriter csv(path());
    csv.setColumns({{"A", driver::FieldType::Alpha, 10}, {"B", driver::FieldType::Alpha, 10},
                    {"C", driver::FieldType::Alpha, 10}, {"D", driver::FieldType::Alpha, 10}});
    csv.setText(1, 1, "Name");
    csv.setText(1, 2, "Says \"hi\", twice");
    csv.setText(1, 4, "Last");  // column 3 has no header
    const std::vector<Value> values = {
        std::string("plain"), std::string("comma, inside"), std::string("line\r\nbreak"), std::string("\xC3\xA9t\xC3\xA9"),
        std::int64_t{-9'223'372'036'854'775'807 - 1}, 0.1 + 0.2, -0.0, 1e308,
        driver::Money{1234.5}, driver::Decimal{"-12.50"}, std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::infinity(),
        driver::Date{2021, 8, 31}, driver::Date{-1, 12, 31}, driver::Time{(13 * 3600 + 45 * 60 + 30) * 1000 + 250},
        driver::Timestamp{{1900, 1, 1}, driver::Time{11 * 3600 * 1000}},
        true, driver::Null{}, driver::Bytes{driver::FieldType::Graphic, {0x00, 0xAB, 0x10}},
        driver::ValueError{"no .MB, here"},
    };
    for (std::size_t i = 0; i < values.size(); ++i)
        csv.setCell(2 + static_cast<std::int64_t>(i / 4), 1 + static_cast<int>(i % 4), values[i]);
    csv.setCell(9, 2, Value{std::string(40'000, 'x')});  // rows 7 and 8 skipped; no cut
    // A file's path is quoted like any other text.
    csv.setFileCell(9, 3, driver::Bytes{driver::FieldType::Ole, {1}}, "blobs/T/row8-a, b.bin");
    EXPECT_FALSE(csv.report().anyCut());
    csv.finish();
    EXPECT_EQ(contents(), "Name,\"Says \"\"hi\"\", twice\",,Last\r\n"
                          "plain,\"comma, inside\",\"line\r\nbreak\",\xC3\xA9t\xC3\xA9\r\n"
                          "-9223372036854775808,0.30000000000000004,0,1e+308\r\n"
                          "1234.5,-12.50,NaN,-Infinity\r\n"
                          "2021-08-31,-0001-12-31,13:45:30.250,1900-01-01T11:00:00\r\n"
                          "TRUE,,0x00ab10,\"(unreadable: no .MB, here)\"\r\n"
                          ",,,\r\n,,,\r\n"
                          "," + std::string(40'000, 'x') + ",\"blobs/T/row8-a, b.bin\",\r\n");
    EXPECT_TRUE(csv.report().sheets.empty());
}

TEST_F(Csv, TheHeaderAloneGivesTheWidthAndCellsBeyondItAreRefused) {
    CsvWriter csv(path());
    csv.setText(1, 2, "B");
    csv.setText(1, 1, "A");  // header cells in any order
    csv.setCell(2, 2, Value{std::int64_t{7}});
    EXPECT_THAT([&] { csv.setCell(3, 3, Value{true}); }, ThrowsMessage<std::runtime_error>(HasSubstr("the table has 2 columns")));
    EXPECT_THAT([&] { csv.setCell(2, 1, Value{true}); }, ThrowsMessage<std::runtime_error>(HasSubstr("ascending order")));
    csv.finish();
    EXPECT_EQ(contents(), "A,B\r\n,7\r\n");
    EXPECT_THAT([&] { csv.setCell(3, 1, Value{true}); }, ThrowsMessage<std::runtime_error>(HasSubstr("is finished")));
}

TEST_F(Csv, NothingIsLeftOfAnUnfinishedFileAndFailuresNameIt) {
    {
        CsvWriter csv(path());
        csv.setText(1, 1, "A");
        csv.setCell(2, 1, Value{std::int64_t{1}});
    }
    EXPECT_TRUE(QDir(folder_.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
    const std::filesystem::path missing = folder_.filePath(QStringLiteral("gone/table.csv")).toStdString();
    EXPECT_THAT([&] { CsvWriter csv(missing); },
                ThrowsMessage<std::runtime_error>(HasSubstr("Could not write the file " + missing.string() +
                                                            ": No such file or directory.")));
}

}  // namespace
