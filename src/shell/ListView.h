#pragma once
// A one-column list with a header. Items are texts, each of which may carry a
// value of the caller's and a tool tip; positions count from 1.
//
// By keyboard, the item with the focus frame is the selected one: when Tab
// brings the focus in, and when the arrow keys move it (also against either
// end of the list), that item is selected.

#include <QString>
#include <QTreeWidget>
#include <QVariant>

namespace shell {

class ListView : public QTreeWidget {
    Q_OBJECT
public:
    explicit ListView(QWidget* parent = nullptr);

    // Adds the one column with its header text and width in twips (15 to a pixel).
    void addColumnHeader(const QString& text, int widthTwips);

    int count() const { return topLevelItemCount(); }
    QString itemText(int position) const;
    // The value the item carries (an empty QVariant when none).
    QVariant itemData(int position) const;
    void addItem(const QString& text, const QVariant& data = {}, const QString& toolTip = {});
    void removeItem(int position);
    void clearItems() { clear(); }

    // The selected item's position, or 0 when none is selected.
    int selectedPosition() const;
    void selectPosition(int position);

signals:
    // A double-click anywhere in the list's area, on an item or on its blank part.
    void DblClick();

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void selectCurrentWhenNone();
};

}  // namespace shell
