#include "vantiro-convert/DrawnChart.h"

#include <cstdlib>

namespace vantiro {

OffscreenApplication::OffscreenApplication() {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  app_ = std::make_unique<QApplication>(argc_, argv_);
}

OffscreenApplication::~OffscreenApplication() = default;

int DrawnChart::PlotColumns() {
  chart_.replot(QCustomPlot::rpImmediateRefresh);  // lays the axes out at this size
  const int columns = chart_.axisRect() ? chart_.axisRect()->width() : 0;
  return columns > 0 ? columns : chart_.width();
}

DrawnChart::DrawnChart(ChartFill&& fill, const DatasetSummary& summary, int width, int height,
                       std::optional<DateTime> at)
    : summary_(summary), page_(chart_, seriesList_, summary_) {
  chart_.resize(width, height);
  QObject::connect(&chart_, &TrendChart::cursorMoved,
                   [this](DateTime x) { page_.ChartCursorToolChange(x); });
  QObject::connect(&chart_, &TrendChart::cursor2Moved,
                   [this](DateTime) { page_.ChartCursorToolChange(chart_.Cursors().x); });
  ZoomLimits limits{0.0, 0.0, true, 0.0, 0.0, true};
  page_.ShowFill(std::move(fill), limits);
  page_.PlaceCursorsAfterLoad(summary_.startTime, false, false);
  if (at) chart_.SetCursorX(*at);
}

DrawnChart::DrawnChart(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
                       const ViewOptions& view, int width, int height, std::optional<DateTime> at, bool envelope)
    : summary_(summary), page_(chart_, seriesList_, summary_) {
  chart_.resize(width, height);
  QObject::connect(&chart_, &TrendChart::cursorMoved,
                   [this](DateTime x) { page_.ChartCursorToolChange(x); });
  QObject::connect(&chart_, &TrendChart::cursor2Moved,
                   [this](DateTime) { page_.ChartCursorToolChange(chart_.Cursors().x); });
  ZoomLimits limits{0.0, 0.0, true, 0.0, 0.0, true};
  page_.ShowFill(BuildCommandChart(channels, summary, view), limits);
  // The legend reads the recorded samples, as the window's does.
  page_.SetEnvelope(envelope, &channels);
  if (envelope) page_.RefreshEnvelope(PlotColumns());
  const DateTime t0 = view.Filtered() ? FilterOf(view, summary).filterStart : summary.startTime;
  page_.PlaceCursorsAfterLoad(t0, false, false);
  if (at) chart_.SetCursorX(*at);
}

void DrawnChart::SetScale(ChartScale scale, const std::map<int, SourceChannelRange>& ranges) {
  page_.SetScale(scale);
  for (std::size_t i = 0; i < chart_.LineCount(); ++i) {
    const auto range = ranges.find(LineChannelNumber(chart_.Line(i).title));
    if (range != ranges.end()) chart_.SetLineRange(i, range->second.lower, range->second.upper);
  }
}

}  // namespace vantiro
