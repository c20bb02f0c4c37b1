// The whole wizard driven through its real screens, with scripted message
// boxes and folder dialog.

#include "platform/RecordsetModel.h"
#include "screens/Form1.h"
#include "screens/Form2.h"
#include "screens/Form3.h"
#include "screens/Wizard.h"
#include "support/FakePlatform.h"
#include "support/ListTexts.h"
#include "support/WrittenTables.h"

#include <QApplication>
#include <QDir>
#include <QEvent>
#include <QGroupBox>
#include <QFile>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/stat.h>

using platform::Answer;
using screens::Wizard;

namespace {

const QString kFolderKey = "Quillmark/Vellomar/ParadoxFile";

class WizardTest : public ::testing::Test {
protected:
    void SetUp() override {
        fake.process.home = home;
        country(folder + "/country.db");
        parts(folder + "/Parts.DB");
    }

    // COUNTRY: Name, Capital, Continent, Area, Population; 18 rows.
    static void country(const QString& file) { testsupport::writeCountry(file.toStdString()); }
    // PARTS: Id, Label; 59 rows unless told.
    static void parts(const QString& file, int rows = 59) { testsupport::writeNumbered(file.toStdString(), rows); }

    Wizard& start() {
        wizard = std::make_unique<Wizard>(fake.platform());
        wizard->start();
        return *wizard;
    }

    // From Form1 with `folder` typed in, through "Next >", to the table list.
    screens::Form2& toTables() {
        Wizard& w = wizard ? *wizard : start();
        w.form1().Text1->setText(folder);
        w.form1().PushButton3->click();
        return w.form2();
    }

    // Chooses `table` on Form2 and presses "Next >".
    screens::Form3& toFields(const QString& table) {
        screens::Form2& tables = wizard ? wizard->form2() : toTables();
        const QStringList names = fakes::texts(*tables.ListView1);
        tables.ListView1->selectPosition(int(names.indexOf(table)) + 1);
        tables.PushButton3->click();
        return wizard->form3();
    }

    fakes::FakeWindow& win(const QWidget& screen) { return fake.windowOf(&screen); }
    std::vector<QString> shownTexts() const { return fake.messages.texts(); }

    QTemporaryDir tmp;
    const QString folder = tmp.path() + "/data";
    const QString home = tmp.path() + "/home";  // the user's home folder
    fakes::FakePlatform fake;
    std::unique_ptr<Wizard> wizard;
};

}  // namespace

TEST_F(WizardTest, RememberedFolderOpensOnTheTableList) {
    fake.settings.values[kFolderKey] = folder;
    Wizard& w = start();
    EXPECT_FALSE(win(w.form1()).visible);
    EXPECT_TRUE(win(w.form2()).visible);
    QStringList tables = fakes::texts(*w.form2().ListView1);
    tables.sort();
    EXPECT_EQ(tables, (QStringList{"COUNTRY", "PARTS"}));
    EXPECT_EQ(w.form2().ListView1->headerItem()->text(0), "Which table do you want to send to Excel?");

    w.form2().PushButton2->click();  // "< Back"
    EXPECT_TRUE(win(w.form1()).visible);
    EXPECT_FALSE(win(w.form2()).visible);
    EXPECT_EQ(w.form1().Text1->text(), folder);
}

TEST_F(WizardTest, TestAndNextSayCouldNotConnectWithoutTables) {
    Wizard& w = start();
    ASSERT_TRUE(QDir().mkpath(tmp.path() + "/empty/sub/deeper"));
    for (const QString& box : {QString(), tmp.path() + "/empty", tmp.path() + "/missing"}) {
        fake.messages.shown.clear();
        w.form1().Text1->setText(box);
        w.form1().PushButton2->click();
        w.form1().PushButton3->click();
        EXPECT_EQ(shownTexts(), (std::vector<QString>{"Could not connect.", "Could not connect."}))
            << box.toStdString();
        EXPECT_EQ(fake.messages.shown[0].title, "Vellomar");
        EXPECT_TRUE(win(w.form1()).visible);
    }
    EXPECT_EQ(fake.windows.size(), 1u);  // the table list was never created
}

TEST_F(WizardTest, TablesBelowTheFolderConnectAndEachPreviewsItsOwnFile) {
    const QString top = tmp.path() + "/tree";  // tables only in subfolders, at several depths
    parts(top + "/A/same.db");
    parts(top + "/b/same.DB", 945);
    country(top + "/b/deeper/Straße.db");
    Wizard& w = start();
    w.form1().Text1->setText(top);
    w.form1().PushButton2->click();
    EXPECT_EQ(shownTexts(), std::vector<QString>{"Connection successful."});

    w.form1().PushButton3->click();
    screens::Form2& tables = w.form2();
    ASSERT_EQ(fakes::texts(*tables.ListView1), (QStringList{"SAME", "SAME", "STRASSE"}));
    const auto preview = [&](int position) {
        tables.ListView1->selectPosition(position);
        tables.PushButton3->click();
        const auto* rows = qobject_cast<const platform::RecordsetModel*>(w.form3().DataGrid1->model());
        return rows ? rows->totalRows() : -1;
    };
    EXPECT_EQ(preview(1), 59);   // A/same.db
    EXPECT_EQ(preview(2), 945);  // b/same.DB
    EXPECT_EQ(wizard->SelectedTable, "SAME");
    EXPECT_EQ(preview(3), 18);
    EXPECT_EQ(fakes::texts(*w.form3().ListView1).first(), "Name");
    EXPECT_EQ(shownTexts().size(), 1u);
}

TEST_F(WizardTest, GoodFolderConnectsAndMovesOn) {
    Wizard& w = start();
    w.form1().Text1->setText(folder);
    w.form1().PushButton2->click();
    EXPECT_EQ(shownTexts(), std::vector<QString>{"Connection successful."});

    screens::Form2& tables = toTables();
    EXPECT_TRUE(win(tables).visible);
    EXPECT_FALSE(win(w.form1()).visible);
    EXPECT_EQ(tables.ListView1->count(), 2);  // filled twice, not doubled
    EXPECT_EQ(fake.settings.values[kFolderKey], folder);
}

TEST_F(WizardTest, FolderWithABlankIsOfferedACopy) {
    const QString spaced = tmp.path() + "/my data";
    country(spaced + "/country.db");
    parts(spaced + "/sub/parts.db");
    ASSERT_EQ(::mkfifo(QFile::encodeName(spaced + "/sub/PIPE.db").constData(), 0600), 0);  // left out of the copy
    ASSERT_TRUE(QDir().mkpath(home));
    Wizard& w = start();
    w.form1().Text1->setText(spaced);

    fake.messages.answers = {Answer::No};
    w.form1().PushButton2->click();
    ASSERT_EQ(fake.messages.shown.size(), 2u);
    EXPECT_EQ(fake.messages.shown[0].text,
              "In some cases the software needs to use a folder without spaces.\r\n"
              "Is it OK to create the folder " + home + "/TestDB and put Your db files in it?");
    EXPECT_EQ(fake.messages.shown[0].buttons, platform::Buttons::YesNo);
    EXPECT_EQ(fake.messages.shown[0].icon, platform::Icon::None);
    EXPECT_EQ(fake.messages.shown[1].text, "Connection successful.");
    EXPECT_EQ(w.form1().Text1->text(), spaced);
    EXPECT_FALSE(QDir(home + "/TestDB").exists());

    fake.messages.shown.clear();
    fake.messages.answers = {Answer::Yes};
    w.form1().PushButton3->click();
    EXPECT_EQ(shownTexts().size(), 1u);
    EXPECT_EQ(w.form1().Text1->text(), home + "/TestDB");
    EXPECT_EQ(fake.settings.values[kFolderKey], home + "/TestDB");
    EXPECT_TRUE(QFile::exists(home + "/TestDB/country.db"));
    EXPECT_FALSE(QFile::exists(home + "/TestDB/sub/PIPE.db"));
    EXPECT_EQ(fakes::texts(*w.form2().ListView1), (QStringList{"COUNTRY", "PARTS"}));

    // Only outer blanks: no offer.
    fake.messages.shown.clear();
    w.form1().Text1->setText(" " + folder + " ");
    w.form1().PushButton2->click();
    EXPECT_EQ(shownTexts(), std::vector<QString>{"Could not connect."});
}

TEST_F(WizardTest, CopyFailuresAreReportedAndTheFolderBoxFollowsTheCopyStep) {
    ASSERT_TRUE(QDir().mkpath(home));
    Wizard& w = start();
    // A file in the way: the target cannot be created and the box keeps its text.
    QFile inTheWay(home + "/TestDB");
    ASSERT_TRUE(inTheWay.open(QIODevice::WriteOnly));
    inTheWay.close();
    w.form1().Text1->setText(tmp.path() + "/my data");
    fake.messages.answers = {Answer::Yes};
    w.form1().PushButton2->click();
    ASSERT_EQ(fake.messages.shown.size(), 3u);
    EXPECT_TRUE(fake.messages.shown[1].text.contains("in Vellomar2021/08/31.Paradox.CopyDB at line 116\r\r"));
    EXPECT_EQ(fake.messages.shown[2].text, "Could not connect.");
    EXPECT_EQ(w.form1().Text1->text(), tmp.path() + "/my data");

    // Target there, source missing: the copy fails, the box is switched all the same.
    ASSERT_TRUE(inTheWay.remove());
    fake.messages.shown.clear();
    fake.messages.answers = {Answer::Yes};
    w.form1().PushButton2->click();
    ASSERT_EQ(fake.messages.shown.size(), 3u);
    EXPECT_TRUE(fake.messages.shown[1].text.contains("CopyDB at line 120\r\r"));
    EXPECT_EQ(w.form1().Text1->text(), home + "/TestDB");
}

TEST_F(WizardTest, TheCopyGoesOnlyWhereTheUserCanWriteAndNeverIntoItself) {
    const QString spaced = tmp.path() + "/my data";
    country(spaced + "/country.db");
    Wizard& w = start();
    const auto testFolder = [&](const QString& box) {
        fake.messages.shown.clear();
        fake.messages.answers = {Answer::Yes};
        w.form1().Text1->setText(box);
        w.form1().PushButton2->click();
        return shownTexts();
    };
    // No home folder to write in: nothing is offered, the folder stays and works.
    EXPECT_EQ(testFolder(spaced), std::vector<QString>{"Connection successful."});
    EXPECT_EQ(w.form1().Text1->text(), spaced);

    // A home whose path holds a blank would give no blank-free copy either.
    fake.process.home = spaced;
    EXPECT_EQ(testFolder(spaced), std::vector<QString>{"Connection successful."});

    // A folder that holds the home folder (here through a link) is never copied into itself.
    fake.process.home = home;
    country(home + "/country.db");
    ASSERT_TRUE(QFile::link(home, tmp.path() + "/link to home"));
    EXPECT_EQ(testFolder(tmp.path() + "/link to home"), std::vector<QString>{"Connection successful."});
    EXPECT_FALSE(QDir(home + "/TestDB").exists());
    ASSERT_TRUE(QDir().mkpath(home + "/TestDB"));
    EXPECT_THROW(fake.realFiles.copyFolder(tmp.path() + "/link to home", home + "/TestDB"),
                 platform::FileSystemError);
    EXPECT_FALSE(QFile::exists(home + "/TestDB/country.db"));
}

TEST_F(WizardTest, BrowseAndSampleSetTheFolderBox) {
    Wizard& w = start();
    w.form1().Text1->setText("/kept");
    fake.settings.values["Quillmark/Vellomar/LastFolderDot"] = folder;
    w.form1().PushButton5->click();  // cancelled
    ASSERT_EQ(fake.folderDialogs.calls.size(), 1u);
    EXPECT_EQ(fake.folderDialogs.calls[0].title, "Please select folder:");
    EXPECT_EQ(fake.folderDialogs.calls[0].startFolder, folder);
    EXPECT_EQ(fake.folderDialogs.calls[0].owner, &w.form1());
    EXPECT_EQ(w.form1().Text1->text(), "/kept");

    fake.settings.values["Quillmark/Vellomar/LastFolderDot"] = tmp.path() + "/gone";
    fake.folderDialogs.answers = {folder};
    w.form1().PushButton5->click();
    EXPECT_EQ(fake.folderDialogs.calls[1].startFolder, "");  // a missing start folder is not used
    EXPECT_EQ(w.form1().Text1->text(), folder);
    EXPECT_EQ(fake.settings.values[kFolderKey], folder);

    w.form1().PushButton1->click();
    EXPECT_EQ(w.form1().Text1->text(), fake.process.data + "/Samples");
    EXPECT_TRUE(fake.messages.shown.empty());  // no test, no message
}

TEST_F(WizardTest, TableChoiceFillsTheFieldScreen) {
    screens::Form2& tables = toTables();
    tables.ListView1->clearSelection();
    tables.PushButton3->click();
    EXPECT_EQ(shownTexts(), std::vector<QString>{"Please select a table"});
    EXPECT_TRUE(win(tables).visible);

    screens::Form3& fields = toFields("COUNTRY");
    EXPECT_EQ(wizard->SelectedTable, "COUNTRY");
    EXPECT_TRUE(win(fields).visible);
    EXPECT_FALSE(win(tables).visible);
    EXPECT_EQ(win(tables).pointer, 0);
    EXPECT_EQ(fakes::texts(*fields.ListView1), (QStringList{"Name", "Capital", "Continent", "Area", "Population"}));
    EXPECT_EQ(fields.ListView1->selectedPosition(), 1);
    EXPECT_TRUE(fields.PushButton5->isEnabled());
    EXPECT_FALSE(fields.PushButton7->isEnabled());
    ASSERT_NE(fields.DataGrid1->model(), nullptr);
    EXPECT_EQ(fields.DataGrid1->model()->rowCount(), 18);
    EXPECT_EQ(fields.ListView1->headerItem()->text(0), "Fields");
    EXPECT_EQ(shownTexts().size(), 1u);
}

TEST_F(WizardTest, MovingFieldsFollowsTheEnablingRule) {
    screens::Form3& f = toFields("COUNTRY");
    auto select = [](shell::ListView& list, const QString& text) {
        list.selectPosition(int(fakes::texts(list).indexOf(text)) + 1);
    };

    select(*f.ListView1, "Continent");
    f.PushButton5->click();
    select(*f.ListView1, "Name");
    f.ListView1_DblClick();
    EXPECT_EQ(fakes::texts(*f.ListView2), (QStringList{"Continent", "Name"}));
    EXPECT_EQ(fakes::texts(*f.ListView1), (QStringList{"Capital", "Area", "Population"}));
    EXPECT_TRUE(f.PushButton9->isEnabled());
    EXPECT_TRUE(f.PushButton7->isEnabled());

    select(*f.ListView2, "Name");
    f.PushButton7->click();
    EXPECT_EQ(fakes::texts(*f.ListView1), (QStringList{"Capital", "Area", "Population", "Name"}));

    // No selection: a message, nothing moves.
    f.ListView1->clearSelection();
    f.PushButton5->click();
    EXPECT_EQ(shownTexts(), std::vector<QString>{"Please select a field first."});
    EXPECT_EQ(fake.messages.shown[0].title, "Vellomar");

    f.PushButton6->click();  // ">>"
    EXPECT_EQ(fakes::texts(*f.ListView2), (QStringList{"Continent", "Capital", "Area", "Population", "Name"}));
    EXPECT_EQ(f.ListView1->count(), 0);
    EXPECT_FALSE(f.PushButton5->isEnabled());
    EXPECT_FALSE(f.PushButton6->isEnabled());
    f.PushButton5->setEnabled(true);
    f.PushButton5->click();  // an empty list: nothing at all
    EXPECT_EQ(shownTexts().size(), 1u);

    select(*f.ListView2, "Area");
    f.ListView2_DblClick();
    EXPECT_EQ(fakes::texts(*f.ListView1), QStringList{"Area"});

    f.PushButton8->click();  // "<<" in chosen order to the end
    EXPECT_EQ(fakes::texts(*f.ListView1), (QStringList{"Area", "Continent", "Capital", "Population", "Name"}));
    EXPECT_FALSE(f.PushButton7->isEnabled());
    EXPECT_FALSE(f.PushButton8->isEnabled());
    EXPECT_FALSE(f.PushButton9->isEnabled());
    EXPECT_TRUE(f.PushButton5->isEnabled());
}

TEST_F(WizardTest, ChosenFieldsSurviveBackAndAnotherTable) {
    screens::Form3& f = toFields("COUNTRY");
    f.ListView1->selectPosition(1);  // Name
    f.PushButton5->click();
    f.PushButton2->click();  // "< Back"
    EXPECT_TRUE(win(wizard->form2()).visible);
    EXPECT_FALSE(win(f).visible);

    toFields("COUNTRY");
    EXPECT_EQ(fakes::texts(*f.ListView2), QStringList{"Name"});
    EXPECT_FALSE(fakes::texts(*f.ListView1).contains("Name"));

    toFields("PARTS");
    EXPECT_EQ(wizard->SelectedTable, "PARTS");
    EXPECT_EQ(fakes::texts(*f.ListView2), QStringList{"Name"});
    EXPECT_EQ(fakes::texts(*f.ListView1), (QStringList{"Id", "Label"}));
    EXPECT_TRUE(f.PushButton7->isEnabled());

    // All of a table's fields already chosen: the list ends empty while ">" stays enabled.
    f.PushButton6->click();
    toFields("PARTS");
    EXPECT_EQ(f.ListView1->count(), 0);
    EXPECT_TRUE(f.PushButton5->isEnabled());
    EXPECT_TRUE(fake.messages.shown.empty());
}

TEST_F(WizardTest, TableNamesWithBracketsStillOpen) {
    country(folder + "/odd]name`.db");
    screens::Form3& f = toFields("ODD]NAME`");
    EXPECT_TRUE(fake.messages.shown.empty());
    EXPECT_EQ(f.ListView1->count(), 5);
    EXPECT_EQ(screens::PreviewQuery("ORDERS"), "SELECT * FROM [ORDERS];");
}

TEST_F(WizardTest, ATableThatCannotBeOpenedIsReportedOnceAndTheTableScreenStays) {
    QFile other(folder + "/app.db");  // a *.db that is no Paradox table
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write(QByteArray("SQLite format 3\0", 16) + QByteArray(4080, '\0'));
    other.close();
    screens::Form2& tables = toTables();
    tables.ListView1->selectPosition(int(fakes::texts(*tables.ListView1).indexOf("APP")) + 1);
    tables.PushButton3->click();
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_TRUE(fake.messages.shown[0].text.contains("SQLite")) << fake.messages.shown[0].text.toStdString();
    EXPECT_TRUE(fake.messages.shown[0].text.contains("PushButton3_Click at line 126\r\r"));
    EXPECT_TRUE(win(tables).visible);
    EXPECT_EQ(win(tables).pointer, 0);
    EXPECT_EQ(wizard->SelectedTable, "");
}

TEST_F(WizardTest, TheKeyboardLeavesTheGridSelectsWhatItFocusesAndPressesButtons) {
    screens::Form3& f = toFields("COUNTRY");
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&f));
    f.DataGrid1->setFocus();  // where "Next >" leaves it
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f.PushButton6);  // past the disabled "<<" and "<"
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);  // ">" with "Name" selected
    EXPECT_EQ(fakes::texts(*f.ListView2), QStringList{"Name"});
    EXPECT_EQ(f.ListView1->selectedPosition(), 0);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), f.ListView1);
    EXPECT_EQ(f.ListView1->selectedPosition(), 1);  // the item with the focus frame
    f.ListView1->clearSelection();
    QTest::keyClick(f.ListView1, Qt::Key_Up);  // against the top
    EXPECT_EQ(f.ListView1->selectedPosition(), 1);
    QTest::keyClick(f.ListView1, Qt::Key_End);
    EXPECT_EQ(f.ListView1->selectedPosition(), f.ListView1->count());
    EXPECT_TRUE(fake.messages.shown.empty());
    f.hide();
}

TEST_F(WizardTest, ClosingAnyScreenEndsTheProgram) {
    screens::Form3& f = toFields("COUNTRY");
    f.close();
    EXPECT_EQ(fake.process.ends, 1);
    wizard->form2().close();
    EXPECT_EQ(fake.process.ends, 2);
}

TEST_F(WizardTest, PointerFollowsTheMouseButNotWhileBusy) {
    screens::Form3& f = toFields("COUNTRY");
    fakes::FakeWindow& w = win(f);
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(f.PushButton9, &enter);
    EXPECT_EQ(w.pointer, 99);
    QApplication::sendEvent(f.ListView1->viewport(), &enter);
    EXPECT_EQ(w.pointer, 0);

    w.pointer = 11;
    for (QWidget* control : std::initializer_list<QWidget*>{f.PushButton5, f.DataGrid1, static_cast<QWidget*>(&f), f.Frame2}) {
        QApplication::sendEvent(control, &enter);
        EXPECT_EQ(w.pointer, 11);
    }

    screens::Form1& first = wizard->form1();
    QApplication::sendEvent(first.PushButton1, &enter);
    EXPECT_EQ(win(first).pointer, 99);
    QApplication::sendEvent(first.Text1, &enter);
    EXPECT_EQ(win(first).pointer, 0);
}

TEST_F(WizardTest, TheHandFollowsRealMouseMovesOverPushButtons) {
    screens::Form3& f = toFields("COUNTRY");
    f.show();  // the window system sends moves to a shown window only
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
    fakes::FakeWindow& w = win(f);
    // The mouse moves through the window system, as a real pointer does.
    const auto moveTo = [&](QWidget* control, QPoint at) {
        QTest::mouseMove(control, at);
        return w.pointer;
    };
    EXPECT_EQ(moveTo(f.PushButton9, {10, 10}), 99);
    EXPECT_EQ(moveTo(f.PushButton9, {30, 12}), 99);  // on within the button, whose parents see the move too
    EXPECT_EQ(moveTo(f.ListView1->viewport(), {5, 5}), 0);
    EXPECT_EQ(moveTo(f.PushButton5, {5, 5}), 99);  // a button inside a frame
    EXPECT_EQ(moveTo(f.PushButton5, {8, 8}), 99);
    EXPECT_EQ(moveTo(f.Frame2, {3, 30}), 0);
    EXPECT_EQ(moveTo(&f, {2, f.height() - 2}), 0);
    f.hide();
}

TEST_F(WizardTest, ADoubleClickOnTheBlankPartOfAFieldListRunsTheMove) {
    screens::Form3& f = toFields("COUNTRY");
    f.PushButton5->click();  // "Name" is chosen
    f.ListView2->clearSelection();
    const QPoint blank(10, f.ListView2->viewport()->height() - 5);
    ASSERT_EQ(f.ListView2->itemAt(blank), nullptr);
    QTest::mouseDClick(f.ListView2->viewport(), Qt::LeftButton, {}, blank);
    EXPECT_EQ(shownTexts(), std::vector<QString>{"Please select a field first."});
    EXPECT_EQ(fakes::texts(*f.ListView2), QStringList{"Name"});

    // On an item it moves that item, exactly as "<" does.
    const QPoint first = f.ListView2->visualItemRect(f.ListView2->topLevelItem(0)).center();
    QTest::mouseDClick(f.ListView2->viewport(), Qt::LeftButton, {}, first);
    EXPECT_EQ(f.ListView2->count(), 0);
    EXPECT_EQ(fakes::texts(*f.ListView1).last(), "Name");
    EXPECT_EQ(shownTexts().size(), 1u);
}
