#include "vantiro-convert/DrawnChart.h"

#include <cstdlib>

namespace vantiro {

OffscreenApplication::OffscreenApplication() {
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  app_ = std::make_unique<QApplication>(argc_, argv_);
}

OffscreenApplication::~OffscreenApplication() = default;

DrawnChart::DrawnChart(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
                       const ViewOptions& view, int width, int height, std::optional<DateTime> at)
    : page_(chart_, seriesList_, summary) {
  chart_.resize(width, height);
  QObject::connect(&chart_, &TrendChart::cursorMoved,
                   [this](DateTime x) { page_.ChartCursorToolChange(x); });
  ZoomLimits limits{0.0, 0.0, true, 0.0, 0.0, true};
  page_.ShowFill(BuildCommandChart(channels, summary, view), limits);
  const DateTime t0 = view.Filtered() ? FilterOf(view, summary).filterStart : summary.startTime;
  page_.PlaceCursorsAfterLoad(t0, false, false);
  if (at) chart_.SetCursorX(*at);
}

}  // namespace vantiro
