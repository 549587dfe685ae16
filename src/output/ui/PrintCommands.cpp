#include "output/ui/PrintCommands.h"

#include <QString>

#include "output/Reports.h"
#include "output/ui/ReportPrinting.h"
#include "platform/ui/Prompts.h"

namespace vantiro {
namespace {

QString Text(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

}  // namespace

void PrintTablePage(QWidget* parent, const std::vector<ChannelInfo>& channels, const TableRows& rows,
                    const std::vector<std::int32_t>& columnChannels, const std::vector<TableColumn>& columns,
                    std::uint32_t pageStart, std::uint32_t itemCount) {
  if (itemCount == 0 || rows.empty()) {
    CurrentPrompts().Message(parent, Text(kNothingToPrint), MessageIcon::Information);
    return;
  }
  // The table page on show, as the table shows it.
  ListReportData data;
  for (const TableColumn& column : columns) data.captions.push_back(column.caption);
  data.rows.reserve(itemCount);
  for (std::uint32_t i = 0; i < itemCount; ++i) {
    std::vector<std::string> texts = RowTexts(channels, rows, columnChannels, pageStart + i);
    if (texts.empty()) break;
    data.rows.push_back(std::move(texts));
  }
  data.printTime = PrintTimeText(LocalNow());
  PreviewListReport(parent, data);
}

std::vector<std::vector<std::string>> StatisticsReportRows(const std::vector<SpanStatistics>& rows) {
  return SpanStatisticsCells(rows);
}

void PrintChart(QWidget* parent, bool hasLines, const QImage& shown, DateTime from, DateTime to,
                const std::vector<SpanStatistics>* statistics) {
  if (!hasLines) {
    CurrentPrompts().Message(parent, Text(kNothingToPrint), MessageIcon::Information);
    return;
  }
  ChartReportData data;
  data.picture = InvertedChartPicture(shown);
  if (data.picture.isNull()) {
    CurrentPrompts().Message(parent, Text(kPrintError), MessageIcon::Information);
    return;
  }
  data.printTime = PrintTimeText(LocalNow());
  data.printRegion = PrintRegionText(from, to);
  if (statistics) data.statistics = StatisticsReportRows(*statistics);
  PreviewChartReport(parent, data);
}

}  // namespace vantiro
