#include "shell/ListView.h"

#include <QFocusEvent>
#include <QHeaderView>
#include <QKeyEvent>

#include <stdexcept>

namespace shell {

ListView::ListView(QWidget* parent) : QTreeWidget(parent) {
    setColumnCount(0);
    setRootIsDecorated(false);
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setToolTip(QStringLiteral("Drag and drop files here. Double-click item to remove it. Move | "
                              "line to right and out of window to reveal full names."));
}

void ListView::addColumnHeader(const QString& text, int widthTwips) {
    setColumnCount(1);
    setHeaderLabels({text});
    header()->setStretchLastSection(false);
    setColumnWidth(0, widthTwips / 15);
}

QString ListView::itemText(int position) const {
    const QTreeWidgetItem* item = topLevelItem(position - 1);
    if (!item) throw std::out_of_range("Invalid list position " + std::to_string(position));
    return item->text(0);
}

QVariant ListView::itemData(int position) const {
    const QTreeWidgetItem* item = topLevelItem(position - 1);
    if (!item) throw std::out_of_range("Invalid list position " + std::to_string(position));
    return item->data(0, Qt::UserRole);
}

void ListView::addItem(const QString& text, const QVariant& data, const QString& toolTip) {
    auto* item = new QTreeWidgetItem(this);
    item->setText(0, text);
    if (data.isValid()) item->setData(0, Qt::UserRole, data);
    if (!toolTip.isEmpty()) item->setToolTip(0, toolTip);
}

void ListView::removeItem(int position) {
    QTreeWidgetItem* item = topLevelItem(position - 1);
    if (!item) throw std::out_of_range("Invalid list position " + std::to_string(position));
    delete item;
}

int ListView::selectedPosition() const {
    const QList<QTreeWidgetItem*> selected = selectedItems();
    return selected.isEmpty() ? 0 : indexOfTopLevelItem(selected.first()) + 1;
}

void ListView::selectPosition(int position) {
    if (QTreeWidgetItem* item = topLevelItem(position - 1)) {
        setCurrentItem(item);
        item->setSelected(true);
    }
}

void ListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTreeWidget::mouseDoubleClickEvent(event);
    emit DblClick();
}

void ListView::focusInEvent(QFocusEvent* event) {
    QTreeWidget::focusInEvent(event);  // makes the first item the current one
    if (event->reason() != Qt::MouseFocusReason) selectCurrentWhenNone();
}

void ListView::keyPressEvent(QKeyEvent* event) {
    QTreeWidget::keyPressEvent(event);
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        selectCurrentWhenNone();
        break;
    default:
        break;
    }
}

void ListView::selectCurrentWhenNone() {
    if (QTreeWidgetItem* item = currentItem(); item && selectedItems().isEmpty()) item->setSelected(true);
}

}  // namespace shell
