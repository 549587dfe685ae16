#pragma once

#include <QAbstractTableModel>
#include <optional>
#include <QStringList>
#include <vector>

#include "workbench/ViewModel.h"

namespace vantiro {

// The data list as a virtual list: it knows the columns, the first row of the page and how many
// items the page has, and formats a row only when the view asks for it.
class DataListModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  // Reads rows and values from these (owned by the main window).
  DataListModel(const std::vector<ChannelInfo>& channels, const TableRows& rows,
                const std::vector<std::int32_t>& columnChannels, QObject* parent = nullptr);

  // Removes every column and item.
  void Clear();
  void SetColumns(const std::vector<TableColumn>& columns);
  // The page on show: item i is row pageStart + i.
  void SetPage(std::uint32_t pageStart, std::uint32_t itemCount);

  // The numbers in the first column: each row's own (row + 1, the default), or for the page of a
  // period too long to hold (its rows alone on hand) `first` + item + 1, blank when the page's
  // place in the period is not known.
  void SetPeriodNumbering(bool on, std::optional<std::uint64_t> first);

  const std::vector<TableColumn>& Columns() const { return columns_; }
  std::uint32_t ItemCount() const { return itemCount_; }
  // How many rows were formatted so far (to see that only shown rows are).
  std::size_t FormattedRows() const { return formatted_; }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;

 private:
  // The texts of item `item`, formatted on demand; the last row asked for is kept.
  const QStringList& ItemTexts(int item) const;

  const std::vector<ChannelInfo>& channels_;
  const TableRows& rows_;
  const std::vector<std::int32_t>& columnChannels_;
  std::vector<TableColumn> columns_;
  std::uint32_t pageStart_ = 0;
  std::uint32_t itemCount_ = 0;
  bool periodNumbering_ = false;
  std::optional<std::uint64_t> periodFirst_;
  mutable int cachedItem_ = -1;
  mutable QStringList cachedTexts_;
  mutable std::size_t formatted_ = 0;
};

}  // namespace vantiro
