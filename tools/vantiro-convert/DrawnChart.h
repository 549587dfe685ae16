#pragma once
// What the commands that draw share: Qt started on the offscreen platform for the command only,
// and the chart page as the program shows it after a load or after a filter run.

#include <QApplication>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "chart/ChartLines.h"
#include "chart/ui/ChartPage.h"
#include "chart/ui/TrendChart.h"
#include "vantiro-convert/ConvertCommand.h"
#include "vantiro-convert/ViewOptions.h"

namespace vantiro {

// A QApplication on the offscreen platform, whatever the environment asks for.
class OffscreenApplication {
 public:
  OffscreenApplication();
  ~OffscreenApplication();
  OffscreenApplication(const OffscreenApplication&) = delete;
  OffscreenApplication& operator=(const OffscreenApplication&) = delete;

 private:
  int argc_ = 1;
  char name_[16] = "vantiro-convert";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QApplication> app_;
};

// The trend chart of a dataset, width x height: after the load, or after the filter run `view`
// asks for (its narrower lines, the cursor at the window's start + 0.1 s as the filter puts it);
// the cursor where the load or the filter puts it, or at `at`.
class DrawnChart {
 public:
  // With `envelope`, the lines as the switch "峰值包络" draws them (each pixel column's first,
  // lowest, highest and last sample).
  DrawnChart(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
             const ViewOptions& view, int width, int height, std::optional<DateTime> at, bool envelope = false);
  // A chart made elsewhere (the overview of a period too long to hold, from the archive's
  // summaries): its lines, axes and cursors as `fill` has them.
  DrawnChart(ChartFill&& fill, const DatasetSummary& summary, int width, int height, std::optional<DateTime> at);
  TrendChart& Chart() { return chart_; }
  // The chart on another value scale, each channel against `ranges`' range where it has one.
  void SetScale(ChartScale scale, const std::map<int, SourceChannelRange>& ranges);
  ChartPage& Page() { return page_; }

 private:
  // The plot's width in pixel columns at the chart's size.
  int PlotColumns();

  TrendChart chart_;
  DatasetSummary summary_;
  std::vector<ChartSeriesInfo> seriesList_;
  ChartPage page_;
};

}  // namespace vantiro
