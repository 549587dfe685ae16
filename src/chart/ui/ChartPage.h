#pragma once
// The trend chart page's work on the chart widget: showing what a fill built, placing the cursors
// after a load, the legend read-out of the vertical cursor, and carrying out what the view rules
// decided. The main window and the command-line pictures both draw through it.

#include <vector>

#include "chart/ChartLines.h"
#include "chart/ZoomLimits.h"
#include "recorder/Dataset.h"

namespace vantiro {

class TrendChart;

class ChartPage {
 public:
  ChartPage(TrendChart& chart, std::vector<ChartSeriesInfo>& seriesList,
            const DatasetSummary& summary);

  // Destroys every line and empties seriesList; the axes go back to automatic.
  void ClearChart();
  // The closing steps of a fill, on the GUI thread: axes and label steps, zoom allowed, a window
  // narrower than 10 s frozen, every line at once, the cursors where the fill put them.
  void ShowFill(ChartFill&& fill, ZoomLimits& limits);
  // Vertical cursor active (a cross while showY1) at t0 + 0.1 s and rangeMax; the horizontal
  // cursor active while showY2, at rangeMin.
  void PlaceCursorsAfterLoad(DateTime t0, bool showY1, bool showY2);
  // The read-out: legend title and every line's entry for the vertical cursor at x.
  void ChartCursorToolChange(DateTime x);
  // Ranges set back, label steps and cursors, as a view handler decided.
  void Apply(const ViewChange& change);

 private:
  TrendChart& chart_;
  std::vector<ChartSeriesInfo>& seriesList_;
  const DatasetSummary& summary_;
};

}  // namespace vantiro
