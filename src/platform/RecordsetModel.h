#pragma once
// A read-only Qt table model over a query result for the preview grid. Rows
// are read from the table only when the view asks for them, a chunk at a time,
// and only a few chunks are kept, so a table of a million rows shows at once
// and never sits in memory whole.
//
// The view is offered the rows a batch at a time (fetchMore, each batch as
// large as all before it), because a view keeps a little for every row it
// knows of: memory follows how far the user scrolls, not the table's size.

#include "driver/Engine.h"

#include <QAbstractTableModel>
#include <QString>

#include <cstdint>
#include <list>
#include <memory>
#include <vector>

namespace platform {

class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordsetModel(std::shared_ptr<const driver::ResultSet> result, QObject* parent = nullptr);

    // The rows offered to the view so far.
    int rowCount(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    // All rows of the result.
    int totalRows() const { return rows_; }
    int columnCount(const QModelIndex& parent = {}) const override;
    // DisplayRole: the value's text (see valueText), a row that cannot be read
    // shows its error in the first column. ToolTipRole: the same text.
    // TextAlignmentRole: numbers to the right.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Field names across, row numbers from 1 down.
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    static constexpr int chunkRows = 64;
    static constexpr int chunksKept = 16;
    static constexpr int firstRows = 1024;

private:
    struct Chunk {
        std::int64_t firstRow = 0;
        std::vector<QString> texts;  // row-major, chunkRows x columns (fewer at the end)
    };
    const Chunk& chunkFor(int row) const;

    std::shared_ptr<const driver::ResultSet> result_;
    int rows_;
    int shown_;
    int columns_;
    mutable std::list<Chunk> chunks_;  // most recently used first
    mutable std::vector<driver::Value> rowBuffer_;
};

}  // namespace platform
