#include "workbench/ui/DataListModel.h"

namespace vantiro {

DataListModel::DataListModel(const std::vector<ChannelInfo>& channels, const TableRows& rows,
                             const std::vector<std::int32_t>& columnChannels, QObject* parent)
    : QAbstractTableModel(parent), channels_(channels), rows_(rows), columnChannels_(columnChannels) {}

void DataListModel::Clear() {
  beginResetModel();
  columns_.clear();
  pageStart_ = 0;
  itemCount_ = 0;
  periodNumbering_ = false;
  periodFirst_.reset();
  cachedItem_ = -1;
  endResetModel();
}

void DataListModel::SetColumns(const std::vector<TableColumn>& columns) {
  beginResetModel();
  columns_ = columns;
  cachedItem_ = -1;
  endResetModel();
}

void DataListModel::SetPage(std::uint32_t pageStart, std::uint32_t itemCount) {
  beginResetModel();
  pageStart_ = pageStart;
  itemCount_ = itemCount;
  cachedItem_ = -1;
  endResetModel();
}

void DataListModel::SetPeriodNumbering(bool on, std::optional<std::uint64_t> first) {
  beginResetModel();
  periodNumbering_ = on;
  periodFirst_ = first;
  cachedItem_ = -1;
  endResetModel();
}

int DataListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(std::min<std::uint32_t>(itemCount_, INT32_MAX));
}

int DataListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(columns_.size());
}

const QStringList& DataListModel::ItemTexts(int item) const {
  if (item != cachedItem_) {
    cachedItem_ = item;
    cachedTexts_.clear();
    // An item whose row does not exist keeps empty texts.
    const std::size_t row = static_cast<std::size_t>(pageStart_) + static_cast<std::size_t>(item);
    if (row < rows_.size()) {
      ++formatted_;
      for (const std::string& text : RowTexts(channels_, rows_, columnChannels_, row)) {
        cachedTexts_ << QString::fromStdString(text);
      }
      if (periodNumbering_ && !cachedTexts_.isEmpty()) {
        cachedTexts_[0] = periodFirst_ ? QString::number(*periodFirst_ + static_cast<std::uint64_t>(item) + 1)
                                       : QString();
      }
    }
  }
  return cachedTexts_;
}

QVariant DataListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || role != Qt::DisplayRole) return {};
  if (index.row() >= rowCount() || index.column() >= columnCount()) return {};
  const QStringList& texts = ItemTexts(index.row());
  if (index.column() >= texts.size()) return QString();
  return texts[index.column()];
}

QVariant DataListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  if (section < 0 || section >= static_cast<int>(columns_.size())) return {};
  return QString::fromStdString(columns_[static_cast<std::size_t>(section)].caption);
}

Qt::ItemFlags DataListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

}  // namespace vantiro
