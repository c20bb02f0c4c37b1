#include "screens/Screen.h"

#include "screens/Wizard.h"

#include <QCloseEvent>

namespace screens {

Screen::Screen(Wizard& wizard, int clientWidthTwips, int clientHeightTwips)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      wizard_(wizard) {
    setFixedSize(clientWidthTwips / 15, clientHeightTwips / 15);
    window_ = wizard.platform().windows(this);
}

void Screen::Form_Unload() { wizard_.platform().process.end(); }

void Screen::closeEvent(QCloseEvent* event) {
    Form_Unload();
    event->accept();
}

void placeTwips(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(left / 15, top / 15, width / 15, height / 15);
}

}  // namespace screens
