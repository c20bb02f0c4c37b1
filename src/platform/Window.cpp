#include "platform/Window.h"

#include <QCursor>
#include <QFile>
#include <QFileInfo>
#include <QPixmap>
#include <QScreen>
#include <QWidget>

#include <stdexcept>

namespace platform {

QtWindow::QtWindow(QWidget* widget) : widget_(widget) {}

void QtWindow::show() {
    if (!shown_) {
        // Centred on the screen the first time it is shown.
        shown_ = true;
        if (const QScreen* screen = widget_->screen())
            widget_->move(screen->availableGeometry().center() - widget_->rect().center());
    }
    widget_->show();
    widget_->raise();
    widget_->activateWindow();
}

void QtWindow::hide() { widget_->hide(); }

bool QtWindow::isVisible() const { return widget_->isVisible(); }

void QtWindow::setCaption(const QString& caption) { widget_->setWindowTitle(caption); }

QString QtWindow::caption() const { return widget_->windowTitle(); }

void QtWindow::setIcon(const QIcon& icon) { widget_->setWindowIcon(icon); }

void QtWindow::loadMouseIcon(const QString& curFile) {
    QFile file(curFile);
    // Only a regular file: opening a FIFO would wait for a writer for ever.
    if (!QFileInfo(curFile).isFile() || !file.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot open " + curFile.toStdString());
    const QByteArray bytes = file.readAll();
    QPixmap picture;
    // A .cur file is an icon directory whose first entry keeps the hot spot
    // where an icon keeps planes and bit count: x at bytes 10-11, y at 12-13.
    if (bytes.size() < 22 || !picture.loadFromData(bytes, "CUR"))
        throw std::runtime_error("Invalid picture: " + curFile.toStdString());
    const auto word = [&](int at) {
        return int(quint8(bytes[at])) | int(quint8(bytes[at + 1])) << 8;
    };
    customCursor_ = std::make_unique<QCursor>(picture, word(10), word(12));
    if (shape_ == CustomPointer) setMousePointer(CustomPointer);
}

void QtWindow::setMousePointer(int shape) {
    shape_ = shape;
    if (shape == BusyPointer)
        widget_->setCursor(Qt::WaitCursor);
    else if (shape == CustomPointer && customCursor_)
        widget_->setCursor(*customCursor_);
    else
        widget_->unsetCursor();
}

bool QtWindow::isMinimized() const { return widget_->isMinimized(); }

void QtWindow::setMinimized(bool minimized) {
    if (minimized)
        widget_->showMinimized();
    else if (widget_->isMinimized())
        widget_->showNormal();
}

void QtWindow::setEnabled(bool enabled) { widget_->setEnabled(enabled); }

}  // namespace platform
