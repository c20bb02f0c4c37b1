#include "screens/Screen.h"

#include "screens/Wizard.h"
#include "shell/Main.h"

#include <QAbstractScrollArea>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>

namespace screens {

Screen::Screen(Wizard& wizard, int clientWidthTwips, int clientHeightTwips)
    : QWidget(nullptr, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      wizard_(wizard) {
    setFixedSize(clientWidthTwips / 15, clientHeightTwips / 15);
    window_ = wizard.platform().windows(this);
    arrowOver({this});
}

void Screen::Form_Unload() { wizard_.platform().process.end(); }

void Screen::loadHandPointer(shell::Procedure& p, int test, int load) {
    const QString file = wizard_.programFile("HAND-M.CUR");
    if (p.test(test, [&] { return shell::PathExists(wizard_.platform().files, file); }))
        p.step(load, [&] { window_->loadMouseIcon(file); });
}

void Screen::MouseMove(QWidget* control) {
    if (window_->mousePointer() == platform::BusyPointer) return;
    window_->setMousePointer(hand_.contains(control) ? platform::CustomPointer
                                                     : platform::DefaultPointer);
}

void Screen::follow(QWidget* control) {
    control->setMouseTracking(true);
    control->installEventFilter(this);
    // Lists and grids receive the mouse in their viewport.
    if (auto* area = qobject_cast<QAbstractScrollArea*>(control)) {
        area->viewport()->setMouseTracking(true);
        area->viewport()->installEventFilter(this);
    }
}

void Screen::handOver(std::initializer_list<QWidget*> controls) {
    for (QWidget* c : controls) {
        hand_.insert(c);
        follow(c);
    }
}

void Screen::arrowOver(std::initializer_list<QWidget*> controls) {
    for (QWidget* c : controls) {
        arrow_.insert(c);
        follow(c);
    }
}

void Screen::closeEvent(QCloseEvent* event) {
    if (wizard_.importRunning) {
        wizard_.endRequested = true;
        event->ignore();
        return;
    }
    Form_Unload();
    event->accept();
}

bool Screen::eventFilter(QObject* watched, QEvent* event) {
    // A move that a control leaves unhandled (a push button does) is passed on
    // to its parent; only the control under the mouse decides the pointer.
    const auto* widget = qobject_cast<QWidget*>(watched);
    const bool passedOn = event->type() == QEvent::MouseMove && widget &&
                          widget->childAt(static_cast<QMouseEvent*>(event)->position().toPoint()) != nullptr;
    if ((event->type() == QEvent::MouseMove && !passedOn) || event->type() == QEvent::Enter) {
        QObject* control = watched;
        if (!hand_.contains(control) && !arrow_.contains(control) && control->parent() &&
            qobject_cast<QAbstractScrollArea*>(control->parent()))
            control = control->parent();  // a list's or grid's viewport
        if (hand_.contains(control) || arrow_.contains(control))
            MouseMove(static_cast<QWidget*>(control));
    }
    return QWidget::eventFilter(watched, event);
}

void Screen::keyPressEvent(QKeyEvent* event) {
    // A push button leaves Return to its window (a dialog's default button).
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && button && button->isEnabled()) {
        button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void placeTwips(QWidget* control, int left, int top, int width, int height) {
    control->setGeometry(left / 15, top / 15, width / 15, height / 15);
}

}  // namespace screens
