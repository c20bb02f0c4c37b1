// Takes a screenshot of each wizard screen from a real X server (run it under
// Xvfb: tools/screenshots.sh). Walks the wizard with the sample tables:
// Form1 with the sample folder, Form2 with CUSTOMER chosen, Form3 with a few
// fields chosen. Writes form1.png, form2.png and form3.png into the folder given.

#include "platform/Platform.h"
#include "screens/Form1.h"
#include "screens/Form2.h"
#include "screens/Form3.h"
#include "screens/Wizard.h"

#include <QApplication>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

namespace {

void settle() {
    for (int i = 0; i < 20; ++i) {
        QApplication::processEvents();
        QThread::msleep(25);
    }
}

bool shoot(QWidget& window, const QString& file) {
    settle();
    const QRect frame = window.frameGeometry();
    const QPixmap picture =
        window.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    std::printf("%s %dx%d\n", qPrintable(file), picture.width(), picture.height());
    return picture.save(file);
}

}  // namespace

int main(int argc, char** argv) {
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    const QString out = argc > 1 ? argv[1] : ".";

    platform::RealPlatform real;
    screens::Wizard wizard(real.platform());
    wizard.start();
    screens::Form1& f1 = wizard.form1();
    f1.PushButton1_Click();  // the sample folder
    bool ok = shoot(f1, out + "/form1.png");

    f1.PushButton3_Click();
    screens::Form2& f2 = wizard.form2();
    for (int i = 1; i <= f2.ListView1->count(); ++i)
        if (f2.ListView1->itemText(i) == "CUSTOMER") f2.ListView1->selectPosition(i);
    ok = shoot(f2, out + "/form2.png") && ok;

    f2.PushButton3_Click();
    screens::Form3& f3 = wizard.form3();
    for (int pick : {1, 3, 5}) {
        f3.ListView1->selectPosition(pick);
        f3.PushButton5_Click();
    }
    f3.ListView1->selectPosition(1);
    ok = shoot(f3, out + "/form3.png") && ok;
    return ok ? 0 : 1;
}
