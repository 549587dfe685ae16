#pragma once
// The data table page: the virtual list of the table page on show over the main window's dataset
// and view model (rows, their channels and columns), in the face its widths were laid out for.

#include <QWidget>
#include <cstdint>
#include <functional>
#include <vector>

#include "workbench/ViewModel.h"

class QTableView;

namespace vantiro {

class DataListModel;

class TablePage : public QWidget {
  Q_OBJECT

 public:
  // Shows rows of `rows` over `channels` (both owned by the main window, read when shown).
  TablePage(const std::vector<ChannelInfo>& channels, const TableRows& rows,
            const std::vector<std::int32_t>& columnChannels, QWidget* parent = nullptr);

  QTableView* View() const { return view_; }
  DataListModel* Model() const { return model_; }

  // The columns of a loaded table, each as wide as its caption and usual texts need (at least its
  // own width).
  void ShowColumns(const std::vector<TableColumn>& columns);
  // The columns with widths from `width(section, usual width)`.
  void ShowColumns(const std::vector<TableColumn>& columns, const std::function<int(int, int)>& width);
  // The page on show: `itemCount` rows from `pageStart`, scrolled to its top.
  void ShowPage(std::uint32_t pageStart, std::uint32_t itemCount);
  void Clear();

  // The width a loaded table's column `index` takes.
  int ColumnPixelWidth(const TableColumn& column, std::size_t index) const;

 signals:
  // The list's context menu was asked for.
  void contextMenuRequested();

 private:
  DataListModel* model_;
  QTableView* view_;
};

}  // namespace vantiro
