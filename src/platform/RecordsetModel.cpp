#include "platform/RecordsetModel.h"

#include "platform/Database.h"

#include <algorithm>
#include <climits>

namespace platform {
namespace {

bool isNumeric(driver::FieldType type) {
    switch (type) {
        case driver::FieldType::Short:
        case driver::FieldType::Long:
        case driver::FieldType::Money:
        case driver::FieldType::Number:
        case driver::FieldType::AutoIncrement:
        case driver::FieldType::Bcd: return true;
        default: return false;
    }
}

}  // namespace

RecordsetModel::RecordsetModel(std::shared_ptr<const driver::ResultSet> result, QObject* parent)
    : QAbstractTableModel(parent),
      result_(std::move(result)),
      rows_(static_cast<int>(std::min<std::int64_t>(result_->rowCount(), INT_MAX))),
      shown_(std::min(rows_, firstRows)),
      columns_(static_cast<int>(result_->fields().size())) {}

int RecordsetModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : shown_; }

bool RecordsetModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && shown_ < rows_;
}

void RecordsetModel::fetchMore(const QModelIndex& parent) {
    if (!canFetchMore(parent)) return;
    const int more = std::min(rows_ - shown_, std::max(shown_, firstRows));
    beginInsertRows({}, shown_, shown_ + more - 1);
    shown_ += more;
    endInsertRows();
}

int RecordsetModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : columns_; }

Qt::ItemFlags RecordsetModel::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= shown_ || index.column() >= columns_) return {};
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole: {
            const Chunk& chunk = chunkFor(index.row());
            const std::size_t row = static_cast<std::size_t>(index.row() - chunk.firstRow);
            return chunk.texts[row * static_cast<std::size_t>(columns_) + static_cast<std::size_t>(index.column())];
        }
        case Qt::TextAlignmentRole:
            if (isNumeric(result_->fields()[static_cast<std::size_t>(index.column())].type))
                return QVariant::fromValue(Qt::Alignment(Qt::AlignRight | Qt::AlignVCenter));
            return {};
        default: return {};
    }
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole) return {};
    if (orientation == Qt::Vertical) return section + 1;
    if (section < 0 || section >= columns_) return {};
    return QString::fromStdString(result_->fields()[static_cast<std::size_t>(section)].name);
}

const RecordsetModel::Chunk& RecordsetModel::chunkFor(int row) const {
    const std::int64_t first = row - row % chunkRows;
    const auto cached = std::find_if(chunks_.begin(), chunks_.end(), [&](const Chunk& c) { return c.firstRow == first; });
    if (cached != chunks_.end()) {
        chunks_.splice(chunks_.begin(), chunks_, cached);
        return chunks_.front();
    }
    if (chunks_.size() >= chunksKept) chunks_.pop_back();

    Chunk chunk;
    chunk.firstRow = first;
    const std::int64_t last = std::min<std::int64_t>(first + chunkRows, rows_);
    chunk.texts.reserve(static_cast<std::size_t>((last - first) * columns_));
    std::string text;
    for (std::int64_t r = first; r < last; ++r) {
        try {
            result_->readRow(r, rowBuffer_);
            for (const driver::Value& value : rowBuffer_) {
                text.clear();
                appendValueText(text, value);
                chunk.texts.push_back(QString::fromStdString(text));
            }
        } catch (const driver::ReadError& e) {
            chunk.texts.resize(static_cast<std::size_t>((r - first) * columns_));
            chunk.texts.push_back(QString::fromStdString(std::string("(unreadable row: ") + e.what() + ")"));
            chunk.texts.resize(static_cast<std::size_t>((r - first + 1) * columns_));
        }
    }
    chunks_.push_front(std::move(chunk));
    return chunks_.front();
}

}  // namespace platform
