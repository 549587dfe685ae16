#pragma once
// The Print command of the main window: the table page on show as the list report, or the chart
// as shown as the chart report, each through the print preview (printer or PDF from there).

#include <QImage>
#include <cstdint>
#include <vector>

#include "chart/SpanStatistics.h"
#include "recorder/Dataset.h"
#include "workbench/TableRows.h"
#include "workbench/ViewModel.h"

class QWidget;

namespace vantiro {

// The `itemCount` rows of `rows` from `pageStart` on, with the table's `columns`: "没有需要打印的
// 内容" when there are none.
void PrintTablePage(QWidget* parent, const std::vector<ChannelInfo>& channels, const TableRows& rows,
                    const std::vector<std::int32_t>& columnChannels, const std::vector<TableColumn>& columns,
                    std::uint32_t pageStart, std::uint32_t itemCount);

// The chart's picture as shown and its visible time range: "没有需要打印的内容" without lines,
// "打印出错。" when no picture could be made.
// With `statistics` (the span panel's rows while it shows) their table is printed under the picture.
void PrintChart(QWidget* parent, bool hasLines, const QImage& shown, DateTime from, DateTime to,
                const std::vector<SpanStatistics>* statistics = nullptr);

// The statistics table as the report prints it: the header row, then a row of texts per channel.
std::vector<std::vector<std::string>> StatisticsReportRows(const std::vector<SpanStatistics>& rows);

}  // namespace vantiro
