// The import run through the real screens, the real xlsx writer and a
// scripted message box; the workbook is read back as another program sees it.

#include "../platform/SpreadsheetReadBack.h"
#include "../driver/TableBytes.h"
#include "SampleTables.h"
#include "paradoxwriter/Writer.h"
#include "screens/Form1.h"
#include "screens/Form2.h"
#include "screens/Form3.h"
#include "screens/Wizard.h"
#include "support/Bitmaps.h"
#include "support/FakePlatform.h"
#include "support/ListTexts.h"
#include "support/WrittenTables.h"

#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using spreadsheet_test::readWorkbook;
using spreadsheet_test::ReadSheet;

namespace {

class ImportRunTest : public ::testing::Test {
protected:
    void SetUp() override {
        const std::filesystem::path data = folder.toStdString();
        testsupport::writeTypSammlung(data / "TypSammlung.DB");  // every type, with .MB
        testsupport::writeNumbered(data / "GENERAL.DB", 3);
        // Russian text (code page 1251) under a header that says 1252, as in the corpus table of that name.
        paradoxwriter::Options russian;
        russian.codePage = 1251;
        russian.keyFields = 1;
        testsupport::Rows goods;
        for (const char* name : {"Дневник", "Карандаш", "Ручка", "Ручка", "Карандаш", "Тетрадь", "Дневник", "Ручка"})
            goods.push_back({driver::Null{}, std::string(name), std::string("шт."), 5.0});
        testsupport::writeTable(data / "Search1.DB",
                                {{"Code", driver::FieldType::AutoIncrement}, {"Name", driver::FieldType::Alpha, 20},
                                 {"Unit", driver::FieldType::Alpha, 10}, {"Price", driver::FieldType::Number}},
                                goods, russian);
        auto header = testsupport::fileBytes(data / "Search1.DB");
        header[0x6A] = 1252 & 0xFF;
        header[0x6B] = 1252 >> 8;
        testsupport::writeBytes(data / "Search1.DB", header);
        testsupport::writeEmpty(data / "empty.db");
        testsupport::writeCountry(data / "country.db");
        wizard = std::make_unique<screens::Wizard>(fake.platform());
        wizard->start();
        wizard->form1().Text1->setText(folder);
        wizard->form1().PushButton3->click();
    }

    // Chooses `table` and moves `fields` (in that order) to the chosen list.
    screens::Form3& choose(const QString& table, const QStringList& fields) {
        screens::Form2& f2 = wizard->form2();
        f2.ListView1->selectPosition(int(fakes::texts(*f2.ListView1).indexOf(table)) + 1);
        f2.PushButton3->click();
        screens::Form3& f3 = wizard->form3();
        for (const QString& field : fields) {
            f3.ListView1->selectPosition(int(fakes::texts(*f3.ListView1).indexOf(field)) + 1);
            f3.PushButton5->click();
        }
        return f3;
    }

    std::vector<ReadSheet> importAndRead(screens::Form3& f3) {
        f3.PushButton9->click();
        const QString book = fake.spreadsheets.lastWorkbook();
        EXPECT_FALSE(book.isEmpty());
        if (book.isEmpty()) return {};
        EXPECT_EQ(fake.spreadsheets.launches.back().mid(0, 2), (QStringList{"/usr/bin/soffice", "-n"}));
        EXPECT_TRUE(book.endsWith("/Book1.xlsx"));
        return readWorkbook(book);
    }

    std::vector<int> progressOf(screens::Form3& f3) {
        std::vector<int> values;
        QObject::connect(f3.ProgressBar1, &QProgressBar::valueChanged, [&values](int v) { values.push_back(v); });
        f3.PushButton9->click();
        return values;
    }

    QTemporaryDir tmp;
    const QString folder = tmp.path() + "/data";
    fakes::FakePlatform fake;
    std::unique_ptr<screens::Wizard> wizard;
};

}  // namespace

TEST_F(ImportRunTest, ChosenFieldsArriveTypedInTheChosenOrder) {
    screens::Form3& f3 = choose("TYPSAMMLUNG", {});
    const QStringList all = fakes::texts(*f3.ListView1);
    ASSERT_EQ(all.size(), 14);
    // Money, text, date, logical and memo, in an order of our own.
    const QStringList picked{all[2], all[0], all[6], all[10], all[9]};
    for (const QString& field : picked) {
        f3.ListView1->selectPosition(int(fakes::texts(*f3.ListView1).indexOf(field)) + 1);
        f3.PushButton5->click();
    }
    const auto sheets = importAndRead(f3);
    ASSERT_EQ(sheets.size(), 1u);
    const ReadSheet& s = sheets[0];
    EXPECT_EQ(s.rows, 6);

    EXPECT_EQ(s.cells.at("A1").value, "Währung");
    // The run hands the fields to the sheet first: every column has its width.
    EXPECT_EQ(s.widths.size(), 5u);
    EXPECT_EQ(s.frozen, "A2");
    for (int c = 0; c < 5; ++c)
        EXPECT_EQ(s.cells.at(std::string(1, char('A' + c)) + "1").value, picked[c].toStdString());

    // Row order is the table's: "AAA Irgendein Text", "Erste Zeile" (nulls),
    // "Fünfter Datensatz", "Null-Werte" (zeros), the negative row.
    EXPECT_EQ(s.cells.at("B2").value, "AAA Irgendein Text");
    EXPECT_EQ(s.cells.count("A3"), 0u);  // a null money is an empty cell
    EXPECT_EQ(s.cells.count("C3"), 0u);
    EXPECT_EQ(s.cells.at("B4").value, "Fünfter Datensatz");
    EXPECT_EQ(s.cells.at("C4").type, "str");  // a date a sheet cannot hold stays text
    EXPECT_EQ(s.cells.at("E4").value, "Dies ist eine Memo im 'Fünften Datensat'");
    EXPECT_EQ(s.cells.at("A5").type, "int");  // a stored zero stays a number zero
    EXPECT_EQ(s.cells.at("A5").value, "0");
    EXPECT_EQ(s.cells.at("A5").format, "#,##0.00");
    EXPECT_EQ(s.cells.at("A6").value, "-40");
    EXPECT_EQ(s.cells.at("C6").type, "datetime");
    EXPECT_EQ(s.cells.at("C6").value.substr(0, 10), "1999-09-09");
    EXPECT_EQ(s.cells.at("D6").type, "bool");
    EXPECT_EQ(s.cells.at("D6").value, "TRUE");

    ASSERT_EQ(fake.messages.texts(), std::vector<QString>{"Done."});
    EXPECT_EQ(fake.messages.shown[0].title, "Vellomar");
    EXPECT_EQ(fake.messages.shown[0].kind, fakes::BoxKind::InFront);  // above the spreadsheet window
    EXPECT_EQ(f3.PushButton9->text(), "Exit");
    EXPECT_EQ(fake.windowOf(&f3).pointer, 0);
    EXPECT_EQ(f3.ProgressBar1->value(), 100);
    EXPECT_EQ(f3.FieldList, "`" + picked.join("`, `") + "`");
}

TEST_F(ImportRunTest, ProgressForThreeAndEightRows) {
    screens::Form3& f3 = choose("GENERAL", {});
    f3.PushButton6->click();
    EXPECT_EQ(progressOf(f3), (std::vector<int>{33, 67, 100}));

    // A finished run turns the button into "Exit"; a new program run would
    // start afresh, so take a new wizard for the second table.
    fakes::FakePlatform other;
    screens::Wizard second(other.platform());
    second.start();
    second.form1().Text1->setText(folder);
    second.form1().PushButton3->click();
    screens::Form2& f2 = second.form2();
    f2.ListView1->selectPosition(int(fakes::texts(*f2.ListView1).indexOf("SEARCH1")) + 1);
    f2.PushButton3->click();
    second.form3().PushButton6->click();
    EXPECT_EQ(progressOf(second.form3()), (std::vector<int>{12, 25, 38, 50, 62, 75, 88, 100}));
}

TEST_F(ImportRunTest, ATableWithoutRowsGivesTheHeaderOnly) {
    screens::Form3& f3 = choose("EMPTY", {});
    f3.PushButton6->click();
    const auto sheets = importAndRead(f3);
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].rows, 1);
    EXPECT_EQ(sheets[0].cells.size(), 7u);
    EXPECT_EQ(fake.messages.texts(), std::vector<QString>{"Done."});
    EXPECT_EQ(f3.PushButton9->text(), "Exit");
    EXPECT_EQ(f3.ProgressBar1->value(), 0);

    f3.PushButton9->click();  // "Exit" ends the program without a question
    EXPECT_EQ(fake.process.ends, 1);
    EXPECT_EQ(fake.messages.shown.size(), 1u);
}

TEST_F(ImportRunTest, AFailingQueryStopsWithoutClaimingSuccess) {
    screens::Form3& f3 = choose("COUNTRY", {"Name", "Area"});
    f3.PushButton2->click();  // back, and another table without those fields
    choose("GENERAL", {});
    f3.PushButton9->click();
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_TRUE(fake.messages.shown[0].text.contains("in Vellomar2021/08/31.Form3.PushButton9_Click at line 128\r\r"));
    EXPECT_EQ(fake.messages.shown[0].title, "Application Error");
    EXPECT_TRUE(fake.spreadsheets.launches.empty());
    EXPECT_EQ(fake.spreadsheets.created, 1);  // only the start-up check
    EXPECT_EQ(f3.PushButton9->text(), "Start Importing");
    EXPECT_EQ(fake.windowOf(&f3).pointer, 0);
    EXPECT_EQ(f3.FieldList, "`Name`, `Area`");
}

TEST_F(ImportRunTest, NothingChosenOrDeclinedDoesNothing) {
    screens::Form3& f3 = choose("COUNTRY", {});
    f3.PushButton9->click();
    EXPECT_EQ(fake.messages.texts(), std::vector<QString>{"Please choose fields."});
    EXPECT_EQ(fake.windowOf(&f3).pointer, 0);

    f3.PushButton6->click();
    fake.messages.shown.clear();
    fake.spreadsheets.runningName = "Microsoft Excel";
    fake.messages.answers = {platform::Answer::No};
    f3.PushButton9->click();
    EXPECT_EQ(fake.messages.shown.size(), 1u);  // the question only
    EXPECT_TRUE(fake.spreadsheets.launches.empty());

    fake.messages.answers = {platform::Answer::Yes};
    f3.PushButton9->click();
    EXPECT_EQ(fake.messages.texts().back(), "Done.");
    EXPECT_EQ(fake.spreadsheets.launches.size(), 1u);
}

TEST_F(ImportRunTest, ASpreadsheetThatCannotStartIsReportedOnce) {
    screens::Form3& f3 = choose("SEARCH1", {});
    f3.PushButton6->click();
    fake.spreadsheets.failCreate = true;
    f3.PushButton9->click();
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_TRUE(fake.messages.shown[0].text.startsWith("No spreadsheet application is installed\r\n"));
    EXPECT_TRUE(fake.messages.shown[0].text.contains("at line 130\r\r"));
    EXPECT_EQ(f3.PushButton9->text(), "Start Importing");
    EXPECT_EQ(fake.windowOf(&f3).pointer, 0);
}

TEST_F(ImportRunTest, AWorkbookThatCannotBeShownIsReportedAndTheRunCanBeStartedAgain) {
    screens::Form3& f3 = choose("COUNTRY", {"Name"});
    fake.spreadsheets.failLaunch = true;
    f3.PushButton9->click();
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_TRUE(fake.messages.shown[0].text.startsWith("Could not start /usr/bin/soffice to show the workbook "));
    EXPECT_TRUE(fake.messages.shown[0].text.contains("at line 174\r\r"));
    EXPECT_EQ(f3.PushButton9->text(), "Start Importing");

    fake.spreadsheets.failLaunch = false;
    f3.PushButton9->click();
    EXPECT_EQ(fake.messages.texts().back(), "Done.");
    EXPECT_EQ(f3.PushButton9->text(), "Exit");
}

TEST_F(ImportRunTest, AMinimisedScreenIsRestoredAndTheButtonsRestDuringTheRun) {
    screens::Form3& f3 = choose("COUNTRY", {"Name"});
    fakes::FakeWindow& window = fake.windowOf(&f3);
    window.minimized = true;
    int busySeen = 0;
    fake.process.onEvents = [&] {
        if (window.pointer == platform::BusyPointer) ++busySeen;
        // The user tries to start again, go back, and move fields meanwhile.
        f3.PushButton9->click();
        f3.PushButton2->click();
        f3.PushButton6->click();
        f3.PushButton8->click();
    };
    f3.PushButton9->click();
    fake.process.onEvents = nullptr;
    EXPECT_GT(busySeen, 0);
    EXPECT_FALSE(window.minimized);
    EXPECT_EQ(fake.spreadsheets.launches.size(), 1u);
    EXPECT_EQ(fakes::texts(*f3.ListView2), QStringList{"Name"});
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(fake.messages.texts(), std::vector<QString>{"Done."});
}

TEST_F(ImportRunTest, TextsTooLongForACellAreCutAndCounted) {
    {
        paradoxwriter::Writer w((folder + "/LONG.DB").toStdString(),
                                {{"Id", driver::FieldType::Long}, {"Notes", driver::FieldType::Memo, 20}});
        w.addRow({std::int64_t{1}, std::string(40000, 'x')});
        w.addRow({std::int64_t{2}, std::string("short")});
        w.addRow({std::int64_t{3}, std::string(32768, 'y')});
        w.finish();
    }
    wizard->form1().PushButton3->click();  // list the new table
    screens::Form3& f3 = choose("LONG", {"Notes", "Id"});
    const auto sheets = importAndRead(f3);
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].cells.at("A2").value.size(), 32767u);
    EXPECT_EQ(sheets[0].cells.at("A3").value, "short");
    EXPECT_EQ(fake.messages.texts(),
              (std::vector<QString>{"Done, but not everything arrived as it is in the table:\r\n\r\n"
                                    "2 texts were longer than a cell holds (32,767 characters) and were cut "
                                    "to fit, in: Notes, rows 2 and 4."}));
}

TEST_F(ImportRunTest, PicturesSitAtTheirCellsAndOnesThatCannotBeShownAreTold) {
    using driver::FieldType;
    const auto fish = test_images::bitmap(250, 150, 1);
    const auto icon = test_images::bitmap(16, 16, 2);
    {
        paradoxwriter::Writer w((folder + "/FISH.DB").toStdString(),
                                {{"Id", FieldType::Long}, {"Photo", FieldType::Graphic}, {"Notes", FieldType::FormattedMemo}});
        w.addRow({std::int64_t{1}, driver::Bytes{FieldType::Graphic, fish}, std::string("Striped.\r\nEdible.")});
        w.addRow({std::int64_t{2}, driver::Null{}, driver::Null{}});
        w.addRow({std::int64_t{3}, driver::Bytes{FieldType::Graphic, {'B', 'M', 0}}, driver::Null{}});
        w.addRow({std::int64_t{4}, driver::Bytes{FieldType::Graphic, icon}, driver::Null{}});
        w.finish();
    }
    wizard->form1().PushButton3->click();  // list the new table
    const auto sheets = importAndRead(choose("FISH", {"Photo", "Id", "Notes"}));
    ASSERT_EQ(sheets.size(), 1u);
    ASSERT_EQ(sheets[0].pictures.size(), 2u);
    EXPECT_EQ(sheets[0].pictures[0].cell, "A2");
    EXPECT_EQ(sheets[0].pictures[0].bytes, fish);
    EXPECT_EQ(sheets[0].pictures[1].cell, "A5");
    EXPECT_EQ(sheets[0].pictures[1].bytes, icon);
    EXPECT_EQ(sheets[0].cells.at("C2").value, "Striped.\r\nEdible.");
    EXPECT_EQ(fake.messages.texts(),
              (std::vector<QString>{"Done, but not everything arrived as it is in the table:\r\n\r\n"
                                    "1 picture could not be shown; its cell says \"(unreadable: ...)\", in: Photo, "
                                    "row 4 (the bitmap is cut short in its header)."}));
}

TEST_F(ImportRunTest, ASampleTableArrivesWithItsAccentsAndLeadingZeros) {
    const QString samples = tmp.path() + "/Samples";
    samples::writeSampleTables(samples.toStdString());
    wizard->form1().Text1->setText(samples);
    wizard->form1().PushButton3->click();
    screens::Form3& f3 = choose("CUSTOMER", {"Postal Code", "Company", "Credit Limit", "Customer Since", "Active"});
    const auto sheets = importAndRead(f3);
    ASSERT_EQ(sheets.size(), 1u);
    const ReadSheet& s = sheets[0];
    EXPECT_EQ(s.rows, 301);
    EXPECT_EQ(s.cells.at("A1").value, "Postal Code");
    EXPECT_EQ(s.cells.at("B2").value, "Café Révolution SARL");
    EXPECT_EQ(s.cells.at("B3").value, "Müller & Söhne GmbH");
    EXPECT_EQ(s.cells.at("A3").type, "str");  // "01067" is text, not the number 1067
    EXPECT_EQ(s.cells.at("A3").value, "01067");
    EXPECT_EQ(s.cells.at("C3").value, "250000.5");
    EXPECT_EQ(s.cells.at("C3").format, "#,##0.00");
    EXPECT_EQ(s.cells.at("D3").value.substr(0, 10), "1979-11-02");
    EXPECT_EQ(s.cells.at("E3").type, "bool");
    EXPECT_EQ(fake.messages.texts(), std::vector<QString>{"Done."});
}

TEST_F(ImportRunTest, TablesInSubfoldersExportTheirOwnFile) {
    const QString samples = tmp.path() + "/Samples";
    samples::writeSampleTables(samples.toStdString());
    ASSERT_TRUE(QDir().mkpath(samples + "/Old"));
    testsupport::writeCountry((samples + "/Old/ORDERS1999.DB").toStdString());
    const auto exportEntry = [&](screens::Wizard& w, int position) {
        w.form1().Text1->setText(samples);
        w.form1().PushButton3->click();
        screens::Form2& f2 = w.form2();
        EXPECT_EQ(f2.ListView1->itemText(position), "ORDERS1999");
        f2.ListView1->selectPosition(position);
        f2.PushButton3->click();
        w.form3().PushButton6->click();
        w.form3().PushButton9->click();
        return readWorkbook(fake.spreadsheets.lastWorkbook());
    };

    const auto archived = exportEntry(*wizard, 5);  // Archive/orders1999.db
    ASSERT_EQ(archived.size(), 1u);
    EXPECT_EQ(archived[0].rows, 366);
    EXPECT_EQ(archived[0].cells.at("A1").value, "Order No");
    EXPECT_EQ(archived[0].cells.at("A2").value, "10001");
    EXPECT_EQ(fake.messages.texts(), std::vector<QString>{"Done."});

    screens::Wizard second(fake.platform());  // a finished run ends with "Exit": start afresh
    second.start();
    const auto old = exportEntry(second, 6);  // Old/ORDERS1999.DB, a table of the same name
    ASSERT_EQ(old.size(), 1u);
    EXPECT_EQ(old[0].rows, 19);
    EXPECT_EQ(old[0].cells.at("A1").value, "Name");
}

TEST_F(ImportRunTest, ATableCutShortGivesItsGoodRowsAndSaysWhatIsMissing) {
    const QString file = folder + "/CUT.DB";
    {
        paradoxwriter::Writer w(file.toStdString(),
                                {{"Id", driver::FieldType::Long}, {"Label", driver::FieldType::Alpha, 100}});
        for (std::int64_t i = 1; i <= 100; ++i) w.addRow({i, "row " + std::to_string(i)});
        w.finish();
    }
    // Cut the file inside its third data block.
    QFile cut(file);
    ASSERT_TRUE(cut.open(QIODevice::ReadWrite));
    const qint64 header = 2048, block = 2048;
    ASSERT_GT(cut.size(), header + 3 * block);
    ASSERT_TRUE(cut.resize(header + 2 * block + block / 2));
    cut.close();

    wizard->form1().PushButton3->click();
    screens::Form3& f3 = choose("CUT", {"Id", "Label"});
    const auto sheets = importAndRead(f3);
    ASSERT_EQ(sheets.size(), 1u);
    const int written = sheets[0].rows - 1;
    EXPECT_GE(written, 2 * (block - 6) / 104);  // the two whole blocks at least
    EXPECT_LT(written, 100);
    EXPECT_EQ(sheets[0].cells.at("B" + std::to_string(written + 1)).value, "row " + std::to_string(written));

    // No error report: one closing message that says the table is damaged.
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_EQ(fake.messages.shown[0].kind, fakes::BoxKind::InFront);
    EXPECT_TRUE(fake.messages.shown[0].text.startsWith(
        "Done, but not everything arrived as it is in the table:\r\n\r\nThe table is damaged:\r\n"))
        << fake.messages.shown[0].text.toStdString();
    EXPECT_TRUE(fake.messages.shown[0].text.contains("CUT.DB"));
    EXPECT_EQ(f3.PushButton9->text(), "Exit");
    EXPECT_EQ(fake.windowOf(&f3).pointer, 0);
}

TEST_F(ImportRunTest, RowsThatCannotBeReadAreSkippedAndTheRestWritten) {
    // Three blocks chained 1 -> 3 -> 2; block 3, last in the file, is cut
    // off once the run has started, so rows in its middle of the chain fail
    // while the rows after them can still be read.
    driver::test::TableBytes table({{driver::FieldType::Long, 4, "Id"}, {driver::FieldType::Alpha, 10, "Label"}});
    const int perBlock = table.recordsPerBlock();
    const int rows = 2 * perBlock + 10;
    for (int i = 1; i <= rows; ++i) {
        driver::test::ByteVector record = driver::test::TableBytes::integer(i, 4);
        const driver::test::ByteVector label = driver::test::TableBytes::text("row " + std::to_string(i), 10);
        record.insert(record.end(), label.begin(), label.end());
        table.add(record);
    }
    driver::test::ByteVector bytes = table.build();
    driver::test::putU16(bytes, table.blockStart(1), 3);      // next of 1
    driver::test::putU16(bytes, table.blockStart(3), 2);      // next of 3
    driver::test::putU16(bytes, table.blockStart(3) + 2, 1);  // prev of 3
    driver::test::putU16(bytes, table.blockStart(2), 0);      // next of 2
    driver::test::putU16(bytes, table.blockStart(2) + 2, 3);  // prev of 2
    driver::test::putU16(bytes, 0x10, 2);                     // last block
    const QString file = folder + "/HOLE.DB";
    driver::test::writeFile(file.toStdString(), bytes);

    wizard->form1().PushButton3->click();
    screens::Form3& f3 = choose("HOLE", {"Id"});
    bool cut = false;
    fake.process.onEvents = [&] {
        if (!std::exchange(cut, true)) QFile(file).resize(qint64(table.blockStart(3)));
    };
    const auto sheets = importAndRead(f3);
    ASSERT_EQ(sheets.size(), 1u);
    // Block 1's rows, then block 2's; block 3's 10 (the table's rows after
    // block 1's, holding the last ids) are missing.
    EXPECT_EQ(sheets[0].rows, 1 + 2 * perBlock);
    EXPECT_EQ(sheets[0].cells.at("A" + std::to_string(perBlock + 1)).value, std::to_string(perBlock));
    EXPECT_EQ(sheets[0].cells.at("A" + std::to_string(perBlock + 2)).value, std::to_string(perBlock + 1));
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    const QString& text = fake.messages.shown[0].text;
    EXPECT_TRUE(text.contains(QString("\r\n\r\n10 rows of the table could not be read and are not in the "
                                      "workbook: table rows %1, %2, %3, %4, %5 and 5 more (")
                                  .arg(perBlock + 1).arg(perBlock + 2).arg(perBlock + 3).arg(perBlock + 4)
                                  .arg(perBlock + 5)))
        << text.toStdString();
    EXPECT_EQ(f3.PushButton9->text(), "Exit");
}

TEST_F(ImportRunTest, ValuesThatCannotBeReadAreCountedAndTheirRowsKept) {
    {
        paradoxwriter::Writer w((folder + "/NOTES.DB").toStdString(),
                                {{"Id", driver::FieldType::Long}, {"Notes", driver::FieldType::Memo, 10}});
        w.addRow({std::int64_t{1}, std::string(500, 'a')});  // kept in the .MB
        w.addRow({std::int64_t{2}, std::string("short")});    // kept in the record
        w.addRow({std::int64_t{3}, std::string(600, 'b')});
        w.finish();
    }
    ASSERT_TRUE(QFile::remove(folder + "/NOTES.MB"));
    wizard->form1().PushButton3->click();
    screens::Form3& f3 = choose("NOTES", {"Id", "Notes"});
    const auto sheets = importAndRead(f3);
    ASSERT_EQ(sheets.size(), 1u);
    EXPECT_EQ(sheets[0].rows, 4);
    EXPECT_EQ(sheets[0].cells.at("B3").value, "short");
    EXPECT_EQ(sheets[0].cells.at("B2").value.rfind("(unreadable: ", 0), 0u);
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_TRUE(fake.messages.shown[0].text.startsWith(
        "Done, but not everything arrived as it is in the table:\r\n\r\n2 values could not be read; their cells "
        "say \"(unreadable: ...)\", in: Notes, rows 2 and 4 ("))
        << fake.messages.shown[0].text.toStdString();
}

TEST_F(ImportRunTest, ClosingTheWindowDuringTheRunStopsItAndLeavesNothingBehind) {
    screens::Form3& f3 = choose("COUNTRY", {"Name"});
    int rounds = 0;
    fake.process.onEvents = [&] {
        if (++rounds == 3) f3.close();
    };
    f3.PushButton9->click();
    fake.process.onEvents = nullptr;
    EXPECT_EQ(fake.process.ends, 1);
    EXPECT_TRUE(fake.spreadsheets.launches.empty());
    EXPECT_TRUE(fake.messages.shown.empty());
    EXPECT_TRUE(QDir(fake.sheetDir.path()).isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden));
}

TEST_F(ImportRunTest, HebrewAndVietnameseArriveAndAHeaderThatLiesIsNamed) {
    const std::pair<int, std::string> texts[] = {{1255, "שלום עולם"}, {1258, "Ti\u00EA\u0301ng Vi\u00EA\u0323t"}};
    for (const auto& [page, text] : texts) {
        paradoxwriter::Options options;
        options.codePage = page;
        paradoxwriter::Writer w((folder + "/CP" + QString::number(page) + ".DB").toStdString(),
                                {{"Name", driver::FieldType::Alpha, 40}}, options);
        w.addRow({text});
        w.finish();
    }
    const auto freshWizard = [&] {
        wizard = std::make_unique<screens::Wizard>(fake.platform());
        wizard->start();
        wizard->form1().Text1->setText(folder);
        wizard->form1().PushButton3->click();
    };
    for (const auto& [page, text] : texts) {
        freshWizard();
        const auto sheets = importAndRead(choose("CP" + QString::number(page), {"Name"}));
        ASSERT_EQ(sheets.size(), 1u);
        EXPECT_EQ(sheets[0].cells.at("A2").value, text);
        EXPECT_EQ(fake.messages.shown.back().text, "Done.");
    }

    // Russian text (1251) under a header that says 1252: the preview and the
    // workbook follow the header; the closing message names the likely page.
    freshWizard();
    importAndRead(choose("SEARCH1", {"Code"}));
    EXPECT_TRUE(fake.messages.shown.back().text.contains(
        "The text looks like code page 1251, not 1252 as the table says, so letters may be wrong; from the command "
        "line, vellomar export --code-page 1251 exports it with code page 1251."))
        << fake.messages.shown.back().text.toStdString();
}
