#include "shell/Appearance.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QPalette>
#include <QPushButton>
#include <QRadioButton>
#include <QWidget>

#include <stdexcept>

namespace shell {
namespace {

void paint(QWidget* widget, const QColor& color) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::Window, color);
    widget->setPalette(palette);
    widget->setAutoFillBackground(true);
}

void paintFormAndBoxes(QWidget* form, const QColor& color) {
    paint(form, color);
    for (QWidget* child : form->findChildren<QWidget*>()) {
        if (qobject_cast<QGroupBox*>(child) || qobject_cast<QLabel*>(child) ||
            qobject_cast<QCheckBox*>(child) || qobject_cast<QRadioButton*>(child))
            paint(child, color);
    }
}

QFont arial(double points, bool bold) {
    QFont font(QStringLiteral("Arial"));
    font.setPointSizeF(points);
    font.setBold(bold);
    return font;
}

}  // namespace

QColor ButtonFaceColor() { return QApplication::palette().color(QPalette::Button); }

void ApplyDesignColors(QWidget* form) { paintFormAndBoxes(form, Qt::white); }

void ApplyFormColors(QWidget* form) { paintFormAndBoxes(form, ButtonFaceColor()); }

void LoadSkin(QWidget* form, const platform::FileSystem& files, const QString& programFolder) {
    const QString folder = programFolder + "/x";
    const std::vector<platform::FileName> found = files.listFiles(folder, "o.cjs");
    if (found.empty()) return;
    ApplyFormColors(form);
    QFile skin(folder + "/" + found.front().text);  // as the folder spells it: o.cjs, O.CJS, ...
    if (!skin.open(QIODevice::ReadOnly))
        throw std::runtime_error("Cannot read the skin " + skin.fileName().toStdString() + ": " +
                                 skin.errorString().toStdString());
    form->setStyleSheet(QString::fromUtf8(skin.readAll()));
}

void ApplyFonts(QWidget* form, bool boldForm) {
    form->setFont(arial(9, boldForm));
    for (QWidget* child : form->findChildren<QWidget*>()) {
        const bool button = qobject_cast<QPushButton*>(child) != nullptr;
        child->setFont(arial(button ? 11.25 : 9, true));
    }
}

}  // namespace shell
