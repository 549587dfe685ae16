#include "chart/ui/ChartPage.h"

#include "chart/Cursors.h"
#include "chart/ui/TrendChart.h"

namespace vantiro {

ChartPage::ChartPage(TrendChart& chart, std::vector<ChartSeriesInfo>& seriesList,
                     const DatasetSummary& summary)
    : chart_(chart), seriesList_(seriesList), summary_(summary) {}

void ChartPage::ClearChart() {
  chart_.ClearChart();
  seriesList_.clear();
}

void ChartPage::ShowFill(ChartFill&& fill, ZoomLimits& limits) {
  chart_.SetBottomAxis(fill.bottom.min, fill.bottom.max);
  chart_.SetBottomIncrement(fill.bottom.increment);
  chart_.SetLeftAxis(fill.left.min, fill.left.max);
  chart_.SetLeftIncrement(fill.left.increment);
  chart_.SetZoomAllowed(true);
  if (fill.freezeTimeWindow) {
    limits.xZoomLimitMax = fill.bottom.max;
    limits.xZoomLimitMin = fill.bottom.min;
    limits.xZoomLimitOpen = false;
  }
  std::vector<ChartSeriesInfo> added;
  added.reserve(fill.lines.size());
  for (const ChartLine& line : fill.lines) added.push_back({line.title, line.unit, 0});
  const std::size_t first = chart_.AddLines(std::move(fill.lines), fill.gapHeight);
  for (std::size_t i = 0; i < added.size(); ++i) {
    added[i].series = first + i;
    seriesList_.push_back(std::move(added[i]));
  }
  chart_.SetCursorX(fill.cursorX);
  chart_.SetCursorY1(fill.cursorY1);
  chart_.SetCursorY2(fill.cursorY2);
}

void ChartPage::PlaceCursorsAfterLoad(DateTime t0, bool showY1, bool showY2) {
  chart_.SetVerticalCursor(true, showY1);
  chart_.SetCursorX(t0 + kCursorStartOffset);
  chart_.SetCursorY1(summary_.rangeMax);
  chart_.SetHorizontalCursorActive(showY2);
  chart_.SetCursorY2(summary_.rangeMin);
}

void ChartPage::ChartCursorToolChange(DateTime x) {
  if (x == 0.0) return;
  chart_.SetLegendTitle(QString::fromStdString(CursorLegendTitle(x)));
  const double gapHeight = GapHeight(summary_);
  for (const ChartSeriesInfo& info : seriesList_) {
    chart_.SetLineTitle(info.series, QString::fromStdString(CursorReadout(
                                         info.title, info.unit, chart_.Line(info.series), x, gapHeight)));
  }
  chart_.Repaint();
}

void ChartPage::Apply(const ViewChange& change) {
  const ViewRanges& r = change.ranges;
  if (!(r == chart_.Ranges())) {
    chart_.SetBottomAxis(r.x0, r.x1);
    chart_.SetLeftAxis(r.y0, r.y1);
  }
  if (change.xIncrement) chart_.SetBottomIncrement(*change.xIncrement);
  if (change.yIncrement) chart_.SetLeftIncrement(*change.yIncrement);
  chart_.SetCursorX(change.cursors.x);
  chart_.SetCursorY1(change.cursors.y1);
  chart_.SetCursorY2(change.cursors.y2);
}

}  // namespace vantiro
