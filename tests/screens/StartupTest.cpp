#include "screens/Form1.h"
#include "screens/Wizard.h"
#include "support/FakePlatform.h"

#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <gtest/gtest.h>

using screens::Wizard;

namespace {

const QString kFolderKey = "Quillmark/Vellomar/ParadoxFile";

}  // namespace

TEST(Startup, FirstStartShowsForm1WithAnEmptyFolderBox) {
    fakes::FakePlatform fake;
    Wizard wizard(fake.platform());
    wizard.start();

    screens::Form1& form = wizard.form1();
    fakes::FakeWindow& window = fake.windowOf(&form);
    EXPECT_TRUE(window.visible);
    EXPECT_EQ(form.Text1->text(), "");
    EXPECT_EQ(window.caption(), "Vellomar");
    EXPECT_FALSE(window.icon.isNull());
    EXPECT_EQ(wizard.applicationTitle(), "Vellomar");
    EXPECT_TRUE(window.mouseIcon.isEmpty());  // no HAND-M.CUR beside the program
    EXPECT_TRUE(fake.messages.shown.empty());
}

TEST(Startup, LoadsThePointerFileAndTheRememberedFolder) {
    fakes::FakePlatform fake;
    QFile::copy(QString(VELLOMAR_SOURCE_DIR) + "/resources/HAND-M.CUR",
                fake.process.data + "/HAND-M.CUR");
    fake.settings.values[kFolderKey] = "/no/such/folder";
    Wizard wizard(fake.platform());
    wizard.start();

    screens::Form1& form = wizard.form1();
    EXPECT_EQ(fake.windowOf(&form).mouseIcon, fake.process.data + "/HAND-M.CUR");
    EXPECT_EQ(form.Text1->text(), "/no/such/folder");
    EXPECT_EQ(fake.settings.values[kFolderKey], "/no/such/folder");
    EXPECT_TRUE(fake.windowOf(&form).visible);
}

TEST(Startup, AFailingStepIsReportedAndTheLoadGoesOn) {
    fakes::FakePlatform fake;
    fake.settings.values[kFolderKey] = "/remembered";
    fake.settings.failReads = true;
    Wizard wizard(fake.platform());
    wizard.start();

    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_EQ(fake.messages.shown[0].text,
              "Settings store cannot be read\r\nin Vellomar2021/08/31.Form1.Form_Load at line 126\r\r"
              "Please email screenshot of this message to support@quillmark.example");
    EXPECT_EQ(fake.windowOf(&wizard.form1()).caption(), "Vellomar");  // step 128 still ran
}

TEST(Startup, EveryChangeOfTheFolderBoxIsSaved) {
    fakes::FakePlatform fake;
    Wizard wizard(fake.platform());
    wizard.start();
    QLineEdit* box = wizard.form1().Text1;
    box->clear();
    fake.settings.writes.clear();
    for (const char* c : {"/", "d", "b"}) box->insert(c);
    EXPECT_EQ(fake.settings.writes, (std::vector<QString>{"/", "/d", "/db"}));
    EXPECT_EQ(fake.settings.values[kFolderKey], "/db");

    // A save that fails while the user types is told, not lost silently; but
    // once, in a box that leaves the keyboard with the folder box.
    fake.settings.failWrites = true;
    for (const char* c : {"x", "y"}) box->insert(c);
    ASSERT_EQ(fake.messages.shown.size(), 1u);
    EXPECT_EQ(fake.messages.shown[0].kind, fakes::BoxKind::Notice);
    EXPECT_EQ(fake.messages.shown[0].text,
              "Settings store is read-only\r\nThe folder you choose will not be remembered for the next start.");
    EXPECT_EQ(fake.messages.shown[0].title, "Vellomar");
    EXPECT_EQ(box->text(), "/dbxy");
    // Nor again when the program sets the box itself.
    wizard.form1().PushButton1->click();
    EXPECT_EQ(fake.messages.shown.size(), 1u);

    // Putting the remembered folder into the box at start-up writes nothing,
    // so a store that cannot be written says nothing until something changes.
    fakes::FakePlatform next;
    next.settings.values[kFolderKey] = "/remembered";
    next.settings.failWrites = true;
    Wizard again(next.platform());
    again.start();
    EXPECT_EQ(again.form1().Text1->text(), "/remembered");
    EXPECT_TRUE(next.messages.shown.empty());
}

TEST(Startup, ClosingTheWindowEndsTheProgram) {
    fakes::FakePlatform fake;
    Wizard wizard(fake.platform());
    wizard.start();
    EXPECT_EQ(fake.process.ends, 0);
    wizard.form1().close();
    EXPECT_EQ(fake.process.ends, 1);
}
