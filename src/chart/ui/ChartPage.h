#pragma once
// The trend chart page's work on the chart widget: showing what a fill built, placing the cursors
// after a load, the legend read-out of the vertical cursor, and carrying out what the view rules
// decided. The main window and the command-line pictures both draw through it.

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "chart/ChartLines.h"
#include "chart/ChartScales.h"
#include "chart/LineEnvelope.h"
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
  // cursor active while showY2, at rangeMin (under the range and unit scales at 100 and 0 of the
  // shared axis). The second vertical cursor at the right quarter of the view.
  void PlaceCursorsAfterLoad(DateTime t0, bool showY1, bool showY2);
  // The read-out: legend title (both vertical cursors and the time between them) and every line's
  // entry for the vertical cursor at x.
  void ChartCursorToolChange(DateTime x);
  // The legend's title lines for the first vertical cursor at x and the second where it stands.
  std::string LegendTitle(DateTime x) const;

  // The value scale: the chart's lines moved onto it, the left axis back to its whole window (the
  // last fill's under the single axis, 0-100 under the others), the horizontal cursors with it.
  void SetScale(ChartScale scale);
  // The left axis's whole window under the scale on show.
  AxisWindow LeftWindow() const;
  // Called at the end of every ShowFill (the main window's panels follow the new lines).
  std::function<void()> linesShown;
  // Ranges set back, label steps and cursors, as a view handler decided.
  void Apply(const ViewChange& change);
  // Label steps on round instants and values (RoundTimeStep, RoundValueStep) instead of a tenth of
  // the window, for the fills and view changes from now on (the archive's periods).
  void SetRoundSteps(bool on) { roundSteps_ = on; }
  bool RoundSteps() const { return roundSteps_; }

  // The switch "峰值包络". While it is on, each line of a channel whose times ascend is drawn as its
  // envelope over the window on show (RefreshEnvelope after every fill and view change): per pixel
  // column its first, lowest, highest and last sample, so a one-sample spike shows at any width.
  // `channels` are the samples the lines were filled from (the window's dataset).
  void SetEnvelope(bool on, const std::vector<ChannelInfo>* channels);
  bool EnvelopeOn() const { return envelope_ && channels_; }
  // Redraws the lines as envelopes of the window on show, within the window the last fill drew;
  // `pixels` the plot's width in columns. Nothing while the switch is off.
  void RefreshEnvelope(int pixels);
  // Every line's points replaced by those of `fill`'s line at the same place (the thinned lines
  // back when the switch is turned off; `fill` made as the last fill was).
  void ReplaceLines(ChartFill&& fill);

 private:
  TrendChart& chart_;
  std::vector<ChartSeriesInfo>& seriesList_;
  const DatasetSummary& summary_;
  bool envelope_ = false;
  const std::vector<ChannelInfo>* channels_ = nullptr;
  std::vector<signed char> ascending_;
  std::vector<EnvelopeIndex> indexes_;  // per channel, made at its first envelope after a fill  // per channel, once known after a fill: 1 ascending, 0 not
  // The read-out: the last fill's lines stand for the samples of `channels_` in this window.
  bool fromSamples_ = false;
  bool roundSteps_ = false;
  DateTime readFrom_ = 0.0;
  DateTime readTo_ = 0.0;
  std::map<std::size_t, std::vector<std::size_t>> readOrders_;  // per channel, once read: its time order
  AxisWindow singleLeft_;    // the last fill's left axis
  DateTime fillFrom_ = 0.0;  // the window the last fill drew
  DateTime fillTo_ = 0.0;
};

}  // namespace vantiro
