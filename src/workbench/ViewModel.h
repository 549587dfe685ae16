#pragma once
// What the main window holds to show one dataset: the dataset itself, the table's rows and value
// columns, the page on show and the page-switching state. Built on the load worker as plain data.

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "chart/ChartLines.h"
#include "platform/ProgressSink.h"
#include "recorder/Dataset.h"
#include "workbench/Paging.h"
#include "workbench/TableRows.h"

namespace vantiro {

inline constexpr std::uint32_t kDefaultRowsPerPage = 500;

struct TableColumn {
  std::string caption;
  int width = 0;  // pixels
  friend bool operator==(const TableColumn&, const TableColumn&) = default;
};

// The table part of a build: columns "序号" (50), "时间" (120), then "通道%d(%s)" (70) per value
// column; the rows; the first page.
struct TableView {
  std::vector<std::int32_t> columnChannels;
  std::vector<TableColumn> columns;
  TableRows rows;
  PageWindow page;
};

// Builds the table view of every channel. The progress goes to channels + 1 steps, one per
// channel and one at the end.
TableView BuildTableView(const std::vector<ChannelInfo>& channels, std::uint32_t rowsPerPage,
                         ProgressSink* progress = nullptr);

// What a load builds for the views: the table of every channel and the chart's line data. The
// two only read the dataset, so the chart's lines are built on a second thread beside the rows.
struct LoadView {
  TableView table;
  ChartFill chart;
};
LoadView BuildViewModel(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
                        std::uint32_t rowsPerPage, ProgressSink* progress = nullptr);

// The committed settings of the data filter that a rebuild works from.
struct FilterSettings {
  std::array<bool, 16> channelSelected{};  // entry n - 1: channel number n is shown
  DateTime filterStart = 0.0;
  DateTime filterEnd = 0.0;
  std::uint32_t rowsPerPage = kDefaultRowsPerPage;
};

// A channel is selected when its number n lies in 1..16 and entry n - 1 is set; a channel with
// any other number never is.
bool IsChannelSelected(const ChannelInfo& channel, const std::array<bool, 16>& channelSelected);

// The view of the selected channels inside [filterStart, filterEnd] (both ends included, times
// within 1 ms counting as equal; a channel's scan stops at its first sample after the window):
// the table of those channels and samples with its first page, and their chart lines over the
// window, thinned by the number of samples inside it. The dataset is only read. The progress
// goes to channels + 1 steps, as for a load. Built as BuildViewModel builds: the chart's lines on
// a second thread beside the rows.
LoadView BuildFilteredViewModel(const std::vector<ChannelInfo>& channels,
                                const DatasetSummary& summary, const FilterSettings& settings,
                                ProgressSink* progress = nullptr);

// The table of that view alone. `timesAscendToWindowEnd` as BuildTableRows with a window gives it.
TableView BuildFilteredTableView(const std::vector<ChannelInfo>& channels,
                                 const FilterSettings& settings,
                                 bool* timesAscendToWindowEnd = nullptr);

std::vector<TableColumn> TableColumns(const std::vector<ChannelInfo>& channels,
                                      const std::vector<std::int32_t>& columnChannels);

// The texts of table row `row` (0-based in the whole table): its number, its time
// (yyyy-MM-dd HH:mm:ss), then per value column "%0.3f" of its sample or "-". Empty when the row
// does not exist.
std::vector<std::string> RowTexts(const std::vector<ChannelInfo>& channels, const TableRows& rows,
                                  const std::vector<std::int32_t>& columnChannels,
                                  std::size_t row);

}  // namespace vantiro
