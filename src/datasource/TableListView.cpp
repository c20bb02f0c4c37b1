#include "datasource/TableListView.h"

namespace datasource {
namespace {

class ListViewTables : public TableList {
public:
    explicit ListViewTables(shell::ListView& list) : list_(list) {}
    void clearItems() override { list_.clearItems(); }
    void addTable(const TablePlace& place) override {
        list_.addItem(place.text, QVariant::fromValue(place), place.folder);
    }

private:
    shell::ListView& list_;
};

}  // namespace

void AddTablesToParadoxListbox(shell::ListView& list, const QString& folder, platform::Platform& os) {
    ListViewTables tables(list);
    AddTablesToParadoxListbox(tables, folder, os);
}

TablePlace PlaceOfEntry(const shell::ListView& list, int position) {
    const QVariant data = list.itemData(position);
    if (data.canConvert<TablePlace>()) return data.value<TablePlace>();
    return TablePlace{{}, {}, list.itemText(position)};
}

}  // namespace datasource
