#include "screens/Form1.h"
#include "screens/Form2.h"
#include "screens/Form3.h"
#include "screens/Wizard.h"
#include "shell/Appearance.h"
#include "support/FakePlatform.h"

#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <gtest/gtest.h>

namespace {

QColor background(const QWidget* w) { return w->palette().color(QPalette::Window); }

void writeSkin(const QString& programFolder, const QByteArray& text, const QString& name = "o.cjs") {
    ASSERT_TRUE(QDir().mkpath(programFolder + "/x"));
    QFile skin(programFolder + "/x/" + name);
    ASSERT_TRUE(skin.open(QIODevice::WriteOnly));
    skin.write(text);
}

}  // namespace

TEST(Appearance, WithoutASkinTheFirstScreenStaysWhite) {
    fakes::FakePlatform fake;
    screens::Wizard wizard(fake.platform());
    wizard.start();
    screens::Form1& f1 = wizard.form1();
    EXPECT_EQ(background(&f1), QColor(Qt::white));
    EXPECT_EQ(background(f1.Frame1), QColor(Qt::white));
    EXPECT_EQ(background(f1.Label2), QColor(Qt::white));
    EXPECT_TRUE(f1.styleSheet().isEmpty());

    // The other screens take the button-face colour all the same.
    EXPECT_EQ(background(&wizard.form2()), shell::ButtonFaceColor());
    EXPECT_EQ(background(wizard.form3().Frame1), shell::ButtonFaceColor());
    EXPECT_EQ(background(wizard.form3().Frame2), shell::ButtonFaceColor());
}

TEST(Appearance, TheSkinColoursAndStylesTheFirstScreenOnly) {
    fakes::FakePlatform fake;
    writeSkin(fake.process.data, "QPushButton { color: rgb(1, 2, 3); }");
    screens::Wizard wizard(fake.platform());
    wizard.start();
    screens::Form1& f1 = wizard.form1();
    EXPECT_EQ(background(&f1), shell::ButtonFaceColor());
    EXPECT_EQ(background(f1.Frame1), shell::ButtonFaceColor());
    EXPECT_EQ(background(f1.Label2), shell::ButtonFaceColor());
    EXPECT_TRUE(f1.styleSheet().contains("rgb(1, 2, 3)"));
    EXPECT_TRUE(wizard.form2().styleSheet().isEmpty());
    EXPECT_TRUE(fake.messages.shown.empty());
}

TEST(Appearance, TheSkinIsReadUnderTheNameItIsStoredAs) {
    fakes::FakePlatform fake;
    writeSkin(fake.process.data, "QPushButton { color: rgb(4, 5, 6); }", "O.CJS");
    screens::Wizard wizard(fake.platform());
    wizard.start();
    EXPECT_TRUE(wizard.form1().styleSheet().contains("rgb(4, 5, 6)"));
    EXPECT_TRUE(fake.messages.shown.empty());
}

TEST(Appearance, LayoutCaptionsAndFonts) {
    fakes::FakePlatform fake;
    screens::Wizard wizard(fake.platform());
    wizard.start();
    screens::Form1& f1 = wizard.form1();
    screens::Form3& f3 = wizard.form3();
    EXPECT_EQ(f1.size(), QSize(536, 141));
    EXPECT_EQ(wizard.form2().size(), QSize(536, 197));
    EXPECT_EQ(f3.size(), QSize(536, 399));
    EXPECT_EQ(f1.PushButton3->geometry(), QRect(8, 106, 520, 27));
    EXPECT_EQ(f3.Frame2->title(), " Which fields do you want to send to Excel?");
    EXPECT_EQ(f3.Frame1->title(), "Form3");
    EXPECT_EQ(f1.PushButton1->text(), "Load Sample/Example Database");
    EXPECT_TRUE(f1.PushButton1->font().bold());
    EXPECT_DOUBLE_EQ(f1.PushButton1->font().pointSizeF(), 11.25);
    EXPECT_DOUBLE_EQ(f1.Label2->font().pointSizeF(), 9);
    EXPECT_FALSE(f1.font().bold());
    EXPECT_TRUE(f3.font().bold());
    EXPECT_EQ(f3.ListView1->toolTip(),
              "Drag and drop files here. Double-click item to remove it. Move | line to right and out of "
              "window to reveal full names.");
}
