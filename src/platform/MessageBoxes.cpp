#include "platform/MessageBoxes.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QGridLayout>
#include <QMessageBox>
#include <QTimer>

namespace platform {
namespace {

// Wide enough that the window manager shows the title beside its buttons: a
// box as short as "Done." leaves its title bar no room for it.
void makeRoomForTitle(QMessageBox& box) {
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!grid) return;
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const int titleBar = QFontMetrics(titleFont).horizontalAdvance(box.windowTitle()) + 160;  // with icon and buttons
    grid->addItem(new QSpacerItem(titleBar, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                  grid->columnCount());
}

// The spreadsheet's window appears only after the box (its application takes
// seconds to start) and takes the focus: while it starts, the box comes back
// to the front, with the keyboard, whenever another program's window takes it.
class BackToFront : public QObject {
public:
    explicit BackToFront(QWidget& box) : box_(box) {
        started_.start();
        box.installEventFilter(this);
    }

    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::WindowDeactivate && started_.elapsed() < kStartingMs)
            QTimer::singleShot(0, &box_, [this] {
                if (QApplication::activeWindow() != nullptr) return;  // one of ours has it
                box_.raise();
                box_.activateWindow();
            });
        return false;
    }

private:
    static constexpr qint64 kStartingMs = 15'000;
    QWidget& box_;
    QElapsedTimer started_;
};

}  // namespace

Answer QtMessageBoxes::show(const QString& text, const QString& title, Buttons buttons, Icon icon) {
    QMessageBox box(icon == Icon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon, title,
                    text,
                    buttons == Buttons::YesNo ? QMessageBox::Yes | QMessageBox::No : QMessageBox::Ok,
                    QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    makeRoomForTitle(box);
    const int pressed = box.exec();
    if (buttons == Buttons::Ok) return Answer::Ok;
    return pressed == QMessageBox::Yes ? Answer::Yes : Answer::No;
}

void QtMessageBoxes::showInFront(const QString& text, const QString& title) {
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, QApplication::activeWindow());
    box.setTextFormat(Qt::PlainText);
    box.setWindowFlag(Qt::WindowStaysOnTopHint);
    makeRoomForTitle(box);
    const BackToFront inFront(box);
    box.exec();
}

void QtMessageBoxes::notify(const QString& text, const QString& title) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, title, text, QMessageBox::Ok, QApplication::activeWindow());
    box->setTextFormat(Qt::PlainText);
    makeRoomForTitle(*box);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setAttribute(Qt::WA_ShowWithoutActivating);
    box->setWindowModality(Qt::NonModal);
    box->show();
}

}  // namespace platform
