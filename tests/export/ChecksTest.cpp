#include "export/Excel1.h"
#include "export/ImportRun.h"
#include "export/IsInstalled.h"
#include "support/FakePlatform.h"

#include <gtest/gtest.h>

using namespace exporting;
using platform::Answer;

TEST(CheckExcelInstalled, EndsTheProgramWithAdviceWhenNothingCanBeStarted) {
    fakes::FakePlatform fake;
    CheckExcelInstalled(fake.platform(), "Vellomar");
    EXPECT_TRUE(fake.messages.shown.empty());
    EXPECT_EQ(fake.process.ends, 0);

    fake.spreadsheets.failCreate = true;
    CheckExcelInstalled(fake.platform(), "Vellomar");
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_EQ(fake.messages.shown[0].text,
              "Error 842001. A normal instance of Excel could not be created.\r\n\r\n"
              "1. Please make sure Excel is installed on this computer.\r\n\r\n"
              "2. Please open Excel normally and make sure a blank spreadsheet opens immediately without any "
              "interrupting window (such as an Excel file recovery window).\r\n\r\n"
              "3. Please make sure that when you double-click on a XLS or XLSX file that Excel opens normally "
              "without any interrupting messages.\r\n\r\n"
              "4. All versions of Excel are supported by this software except for the rare Excel Starter and "
              "Student editions.");
    EXPECT_EQ(fake.messages.shown[0].title, "Vellomar");
    EXPECT_EQ(fake.messages.shown[0].icon, platform::Icon::None);
    EXPECT_EQ(fake.process.ends, 1);
}

TEST(CheckExcelOpen, AsksOnlyWhenOneRunsAndGoesOnOnlyOnYes) {
    fakes::FakePlatform fake;
    EXPECT_FALSE(CheckExcelOpen(fake.platform(), "Vellomar"));
    EXPECT_TRUE(fake.messages.shown.empty());

    fake.spreadsheets.runningName = "Microsoft Excel";
    fake.messages.answers = {Answer::Yes, Answer::No};
    EXPECT_FALSE(CheckExcelOpen(fake.platform(), "Vellomar"));
    EXPECT_TRUE(CheckExcelOpen(fake.platform(), "Vellomar"));
    ASSERT_EQ(fake.messages.shown.size(), 2u);
    EXPECT_EQ(fake.messages.shown[0].text,
              "Excel may be open. It is recommended that you close Excel first.\r"
              "Close the spreadsheet application's windows, or end soffice.bin in the system monitor, if necessary.\r\n\r\n"
              "Would you like to proceed anyway?");
    EXPECT_EQ(fake.messages.shown[0].buttons, platform::Buttons::YesNo);

    fake.spreadsheets.runningName = "microsoft excel";
    EXPECT_FALSE(IsExcelRunning(fake.spreadsheets));
}

TEST(ImportQuery, NamesInBackticksAndHalvesToEven) {
    EXPECT_EQ(FieldListFor({"C", "A"}), "`C`, `A`");
    EXPECT_EQ(FieldListFor({"A"}), "`A`");
    EXPECT_EQ(ImportQuery(FieldListFor({"C", "A"}), "T"), "SELECT `C`, `A` FROM `T`");
    EXPECT_EQ(ImportQuery(FieldListFor({"odd`name"}), "T`1"), "SELECT `odd``name` FROM `T``1`");

    std::vector<int> three, eight;
    for (int j = 1; j <= 3; ++j) three.push_back(ProgressValue(j, 3));
    for (int j = 1; j <= 8; ++j) eight.push_back(ProgressValue(j, 8));
    EXPECT_EQ(three, (std::vector<int>{33, 67, 100}));
    EXPECT_EQ(eight, (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));
}

TEST(CheckExcelInstalled, AMissingTemporaryFolderIsNamedNotBlamedOnTheSpreadsheet) {
    fakes::FakePlatform fake;
    const QString folder = fake.sheetDir.path();
    ASSERT_TRUE(fake.sheetDir.remove());
    CheckExcelInstalled(fake.platform(), "Vellomar");
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_TRUE(fake.messages.shown[0].text.startsWith("No workbook can be written: the temporary folder \"" + folder +
                                                       "\" does not exist.\r\n\r\n"))
        << fake.messages.shown[0].text.toStdString();
    EXPECT_EQ(fake.process.ends, 1);
}
