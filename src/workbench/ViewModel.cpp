#include "workbench/ViewModel.h"

#include <exception>
#include <system_error>
#include <thread>

#include "workbench/ValueText.h"

namespace vantiro {

std::vector<TableColumn> TableColumns(const std::vector<ChannelInfo>& channels,
                                      const std::vector<std::int32_t>& columnChannels) {
  std::vector<TableColumn> columns = {{"序号", 50}, {"时间", 120}};
  for (std::int32_t c : columnChannels) {
    const ChannelInfo& channel = channels[static_cast<std::size_t>(c)];
    columns.push_back({"通道" + std::to_string(channel.number) + "(" + channel.unit + ")", 70});
  }
  return columns;
}

TableView BuildTableView(const std::vector<ChannelInfo>& channels, std::uint32_t rowsPerPage,
                         ProgressSink* progress) {
  TableView view;
  if (progress) progress->SetMax(static_cast<int>(channels.size()) + 1);
  for (std::size_t c = 0; c < channels.size(); ++c) {
    view.columnChannels.push_back(static_cast<std::int32_t>(c));
  }
  view.columns = TableColumns(channels, view.columnChannels);
  if (progress) progress->StepBy(static_cast<int>(channels.size()));
  view.rows = BuildTableRows(channels, view.columnChannels);
  view.page = FirstPageAfterBuild(static_cast<std::uint32_t>(view.rows.size()), rowsPerPage);
  if (progress) progress->StepBy(1);
  return view;
}

LoadView BuildViewModel(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
                        std::uint32_t rowsPerPage, ProgressSink* progress) {
  LoadView view;
  std::exception_ptr chartFailure;
  std::thread chart;
  try {
    chart = std::thread([&] {
      try {
        view.chart = FillChart(channels, summary);
      } catch (...) {
        chartFailure = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    view.chart = FillChart(channels, summary);  // no second thread to be had: one after the other
  }
  try {
    view.table = BuildTableView(channels, rowsPerPage, progress);
  } catch (...) {
    if (chart.joinable()) chart.join();
    throw;
  }
  if (chart.joinable()) chart.join();
  if (chartFailure) std::rethrow_exception(chartFailure);
  return view;
}

std::vector<std::string> RowTexts(const std::vector<ChannelInfo>& channels, const TableRows& rows,
                                  const std::vector<std::int32_t>& columnChannels,
                                  std::size_t row) {
  std::vector<std::string> texts;
  if (row >= rows.size()) return texts;
  texts.reserve(2 + columnChannels.size());
  texts.push_back(std::to_string(row + 1));
  texts.push_back(FormatDateTime(rows.Time(row), DatePattern::Table));
  WalkRowCells(
      rows.Cells(row), columnChannels,
      [&](std::size_t, const CellRef& cell) {
        std::string text;
        AppendValueText(text, channels[static_cast<std::size_t>(cell.channel)]
                                  .values[static_cast<std::size_t>(cell.sampleIndex)]);
        texts.push_back(std::move(text));
      },
      [&](std::size_t) { texts.emplace_back("-"); });
  return texts;
}

bool IsChannelSelected(const ChannelInfo& channel, const std::array<bool, 16>& channelSelected) {
  return channel.number >= 1 && channel.number <= 16 &&
         channelSelected[static_cast<std::size_t>(channel.number - 1)];
}

TableView BuildFilteredTableView(const std::vector<ChannelInfo>& channels,
                                 const FilterSettings& settings, bool* timesAscendToWindowEnd) {
  using Position = decltype(TableView::columnChannels)::value_type;
  TableView table;
  for (std::size_t c = 0; c < channels.size(); ++c) {
    if (IsChannelSelected(channels[c], settings.channelSelected)) {
      table.columnChannels.push_back(static_cast<Position>(c));
    }
  }
  table.columns = TableColumns(channels, table.columnChannels);
  table.rows = BuildTableRows(channels, table.columnChannels,
                              SampleWindow{settings.filterStart, settings.filterEnd},
                              timesAscendToWindowEnd);
  table.page = FirstPageAfterBuild(static_cast<std::uint32_t>(table.rows.size()),
                                   settings.rowsPerPage);
  return table;
}

LoadView BuildFilteredViewModel(const std::vector<ChannelInfo>& channels,
                                const DatasetSummary& summary, const FilterSettings& settings,
                                ProgressSink* progress) {
  LoadView view;
  // The chart takes each channel's window by bisection while the table's build finds out whether
  // that was right (it checks the order of every channel up to its window's end as it goes); when
  // it was not, the chart is filled again the careful way afterwards.
  auto fillChart = [&] {
    view.chart = FillChartInBisectedWindow(channels, summary, settings.channelSelected,
                                           settings.filterStart, settings.filterEnd);
  };
  bool windowsBisected = false;
  std::exception_ptr chartFailure;
  std::thread chart;
  try {
    chart = std::thread([&] {
      try {
        fillChart();
      } catch (...) {
        chartFailure = std::current_exception();
      }
    });
  } catch (const std::system_error&) {
    fillChart();  // no second thread to be had: one after the other
  }
  try {
    if (progress) progress->SetMax(static_cast<int>(channels.size()) + 1);
    if (progress) progress->StepBy(static_cast<int>(channels.size()));
    view.table = BuildFilteredTableView(channels, settings, &windowsBisected);
  } catch (...) {
    if (chart.joinable()) chart.join();
    throw;
  }
  if (chart.joinable()) chart.join();
  if (chartFailure) std::rethrow_exception(chartFailure);
  if (!windowsBisected) {
    view.chart = FillChartInWindow(channels, summary, settings.channelSelected,
                                   settings.filterStart, settings.filterEnd);
  }
  if (progress) progress->StepBy(1);
  return view;
}

}  // namespace vantiro
