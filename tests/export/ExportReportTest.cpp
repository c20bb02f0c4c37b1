#include "export/ExportReport.h"

#include <gtest/gtest.h>

using exporting::ExportReport;

TEST(ExportReport, WholeMeansDoneAndNothingElse) {
    ExportReport report;
    report.setColumnNames({"Id", "Notes"});
    report.noteDamage("", false);
    report.noteCutTexts(0, {}, {});
    report.noteSheets(1, 1'048'575);
    EXPECT_TRUE(report.whole());
    EXPECT_FALSE(report.lost());
    EXPECT_EQ(report.summary(), "Done.");
}

TEST(ExportReport, SaysWhatWasLostAndWhere) {
    ExportReport report;
    report.setColumnNames({"Id", "Notes", "Picture"});
    report.noteDamage("T.DB: block 5 links to block 0\nT.DB: the header says 205 rows; 30 were found", true);
    for (std::int64_t row : {57, 58, 59, 60, 61, 62, 90}) report.noteUnreadableRow(row, "T.DB: block 9 is cut short");
    report.noteUnreadableValue(4, 3, driver::ValueError{"the blob file is missing", "T.MB: the blob file is missing"});
    report.noteUnreadableValue(4, 2, "T.MB: the blob file is missing");  // the same row again
    report.noteFields({{"Id", driver::FieldType::Long, 4}, {"Field 2", driver::FieldType::Memo, 20, 0, true}});
    report.noteCutTexts(2, {2}, {3, 1'048'580});
    report.noteSheets(3, 1'048'575);
    EXPECT_TRUE(report.lost());
    EXPECT_TRUE(report.moved());
    EXPECT_EQ(report.summary("\n"),
              "Done, but not everything arrived as it is in the table:\n\n"
              "The table is damaged:\nT.DB: block 5 links to block 0\nT.DB: the header says 205 rows; 30 were found\n\n"
              "1 field name could not be read from the table; the header row names that field by its number: "
              "Notes.\n\n"
              "7 rows of the table could not be read and are not in the workbook: table rows 57, 58, 59, 60, 61 and 2 "
              "more (T.DB: block 9 is cut short).\n\n"
              "2 values could not be read; their cells say \"(unreadable: ...)\", in: Notes and Picture, row 4 (T.MB: "
              "the blob file is missing).\n\n"
              "2 texts were longer than a cell holds (32,767 characters) and were cut to fit, in: Notes, rows 3 and "
              "Sheet2 row 5.\n\n"
              "The table has more rows than a worksheet holds: after the first 1,048,575 rows they went on in "
              "Sheet2 to Sheet3, each sheet starting with the header row.");
}

TEST(ExportReport, RowsOnFurtherSheetsAloneAreMovedNotLost) {
    ExportReport report;
    report.noteSheets(2, 9);
    EXPECT_FALSE(report.lost());
    EXPECT_EQ(report.summary(),
              "Done.\r\n\r\nThe table has more rows than a worksheet holds: after the first 9 rows they went on in "
              "Sheet2, each sheet starting with the header row.");
    EXPECT_EQ(exporting::groupedNumber(-1234567), "-1,234,567");
    EXPECT_EQ(exporting::groupedNumber(999), "999");
}

TEST(ExportReport, TakesCutsAndSheetsFromTheWritersReport) {
    workbook::Report written;
    written.cutTexts = 3;
    written.cutColumns = {2};
    written.cutRows = {5, 1'048'578};
    written.sheets = {{"Sheet1", 2, 1'048'575}, {"Sheet2", 1'048'577, 12}};
    ExportReport report;
    report.setColumnNames({"Id", "Notes"});
    report.noteWriter(written);
    EXPECT_EQ(report.cutTexts(), 3);
    EXPECT_EQ(report.sheets(), 2);
    EXPECT_NE(report.summary("\n").find("in: Notes, rows 5 and Sheet2 row 3."), std::string::npos)
        << report.summary("\n");
}

TEST(ExportReport, ADamagedTableWhoseRowsWereAllRecoveredIsToldButNoLoss) {
    ExportReport report;
    report.noteDamage("T.DB: the header says 5 rows; 2 were found along the block chain, and 3 more were "
                      "recovered: all 5 are there",
                      false);
    EXPECT_FALSE(report.lost());
    EXPECT_FALSE(report.whole());
    EXPECT_EQ(report.summary("\n"),
              "Done.\n\nThe table is damaged, but every row it holds was read, in its place:\nT.DB: the header says 5 "
              "rows; 2 were found along the block chain, and 3 more were recovered: all 5 are there");
}

TEST(ExportReport, TheDamagesTableRowsAreNamedAsTheSheetRowsTheyWentTo) {
    ExportReport report;
    report.noteDamage("T.DB: the header says 9 rows: 1 row is missing, after table row 168; table rows 1,048,570-"
                      "1,048,580 and 7 may not be in their places\nT.DB: block 2 (byte 4096) links to block 9",
                      true);
    report.noteUnreadableRow(100, "T.DB: block 3 is cut short");  // later rows go one sheet row up
    report.noteSheets(2, 1'048'575);
    EXPECT_NE(report.summary("\n").find("T.DB: the header says 9 rows: 1 row is missing, after row 168; rows "
                                        "1,048,570-Sheet2 row 5 and 8 may not be in their places\nT.DB: block 2 "
                                        "(byte 4096) links to block 9\n"),
              std::string::npos)
        << report.summary("\n");
}
