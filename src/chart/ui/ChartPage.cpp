#include "chart/ui/ChartPage.h"

#include <algorithm>
#include <system_error>
#include <thread>

#include "chart/Cursors.h"
#include "chart/SpanStatistics.h"
#include "chart/ui/TrendChart.h"

namespace vantiro {

ChartPage::ChartPage(TrendChart& chart, std::vector<ChartSeriesInfo>& seriesList,
                     const DatasetSummary& summary)
    : chart_(chart), seriesList_(seriesList), summary_(summary) {}

void ChartPage::ClearChart() {
  chart_.ClearChart();
  seriesList_.clear();
  fromSamples_ = false;
  readOrders_.clear();
}

void ChartPage::ShowFill(ChartFill&& fill, ZoomLimits& limits) {
  chart_.SetBottomAxis(fill.bottom.min, fill.bottom.max);
  fillFrom_ = fill.bottom.min;
  fillTo_ = fill.bottom.max;
  fromSamples_ = fill.fromSamples;
  readFrom_ = fill.readFrom;
  readTo_ = fill.readTo;
  readOrders_.clear();
  ascending_.clear();
  indexes_.clear();
  chart_.SetBottomIncrement(roundSteps_ ? RoundTimeStep(fill.bottom.max - fill.bottom.min) : fill.bottom.increment);
  singleLeft_ = fill.left;
  if (roundSteps_) singleLeft_.increment = RoundValueStep(fill.left.max - fill.left.min);
  const AxisWindow left = LeftWindow();
  chart_.SetLeftAxis(left.min, left.max);
  chart_.SetLeftIncrement(left.increment);
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
  const bool single = chart_.Scale() == ChartScale::Single;
  chart_.SetCursorY1(single ? fill.cursorY1 : 100.0);
  chart_.SetCursorY2(single ? fill.cursorY2 : 0.0);
  if (linesShown) linesShown();
}

AxisWindow ChartPage::LeftWindow() const {
  if (chart_.Scale() == ChartScale::Single) return singleLeft_;
  return AxisWindow{kPercentAxisMin, kPercentAxisMax, kPercentAxisStep};
}

void ChartPage::SetScale(ChartScale scale) {
  if (scale == chart_.Scale()) return;
  chart_.SetScale(scale);
  const AxisWindow left = LeftWindow();
  if (chart_.LineCount() > 0 && !(left.min == 0.0 && left.max == 0.0)) {
    chart_.SetLeftAxis(left.min, left.max);
    chart_.SetLeftIncrement(left.increment);
  }
  const bool single = scale == ChartScale::Single;
  chart_.SetCursorY1(single ? summary_.rangeMax : 100.0);
  chart_.SetCursorY2(single ? summary_.rangeMin : 0.0);
}

void ChartPage::PlaceCursorsAfterLoad(DateTime t0, bool showY1, bool showY2) {
  // The second cursor first, so that the read-out the first one's move brings shows it.
  const ViewRanges view = chart_.Ranges();
  chart_.SetCursorX2(view.x0 + (view.x1 - view.x0) * kSecondCursorPlace);
  chart_.SetVerticalCursor(true, showY1);
  chart_.SetCursorX(t0 + kCursorStartOffset);
  const bool single = chart_.Scale() == ChartScale::Single;
  chart_.SetCursorY1(single ? summary_.rangeMax : 100.0);
  chart_.SetHorizontalCursorActive(showY2);
  chart_.SetCursorY2(single ? summary_.rangeMin : 0.0);
}

std::string ChartPage::LegendTitle(DateTime x) const {
  const DateTime x2 = chart_.Cursors().x2;
  return CursorLegendTitle(x) + (x2 != 0.0 ? "\n" + SecondCursorLegendTitle(x, x2) : std::string());
}

void ChartPage::ChartCursorToolChange(DateTime x) {
  if (x == 0.0) return;
  chart_.SetLegendTitle(QString::fromStdString(LegendTitle(x)));
  const double gapHeight = GapHeight(summary_);
  for (const ChartSeriesInfo& info : seriesList_) {
    const ChartLine& line = chart_.Line(info.series);
    // The unit of the time read (a period of the archive may hold recordings of other units).
    const std::string& unit = line.unitChanges.empty() ? info.unit : UnitAt(info.unit, line.unitChanges, x);
    const std::size_t position = line.palettePosition;
    std::string text;
    if (fromSamples_ && channels_ && position < channels_->size()) {
      // The recorded sample nearest the cursor, whatever the line draws of it (a thinned line).
      const ChannelInfo& channel = (*channels_)[position];
      auto order = readOrders_.find(position);
      if (order == readOrders_.end()) order = readOrders_.emplace(position, SamplesInTimeOrder(channel)).first;
      text = ReadoutText(info.title, unit, RecordedValueNear(channel, x, readFrom_, readTo_, order->second));
    } else {
      text = CursorReadout(info.title, unit, line, x, gapHeight);
    }
    chart_.SetLineTitle(info.series, QString::fromStdString(text));
  }
  chart_.Repaint();
}

void ChartPage::Apply(const ViewChange& change) {
  const ViewRanges& r = change.ranges;
  if (!(r == chart_.Ranges())) {
    chart_.SetBottomAxis(r.x0, r.x1);
    chart_.SetLeftAxis(r.y0, r.y1);
  }
  if (change.xIncrement) chart_.SetBottomIncrement(roundSteps_ ? RoundTimeStep(r.x1 - r.x0) : *change.xIncrement);
  if (change.yIncrement) chart_.SetLeftIncrement(roundSteps_ ? RoundValueStep(r.y1 - r.y0) : *change.yIncrement);
  // The second cursor first, so that the read-out the first one's move brings shows it.
  if (change.cursors.x2 != 0.0) chart_.SetCursorX2(change.cursors.x2);
  chart_.SetCursorX(change.cursors.x);
  chart_.SetCursorY1(change.cursors.y1);
  chart_.SetCursorY2(change.cursors.y2);
}

void ChartPage::SetEnvelope(bool on, const std::vector<ChannelInfo>* channels) {
  envelope_ = on;
  channels_ = channels;
  readOrders_.clear();
  ascending_.clear();
  indexes_.clear();
}

void ChartPage::RefreshEnvelope(int pixels) {
  if (!EnvelopeOn() || pixels <= 0) return;
  const ViewRanges view = chart_.Ranges();
  const DateTime from = std::max(view.x0, fillFrom_);
  const DateTime to = std::min(view.x1, fillTo_);
  if (!(from <= to)) return;
  // The columns of the window on show within [from, to].
  const double span = view.x1 - view.x0;
  const int columns = span > 0.0 ? std::max(1, static_cast<int>(pixels * ((to - from) / span) + 0.5)) : pixels;
  const double gapHeight = GapHeight(summary_);
  // The lines redrawn: those of channels whose times ascend (the others keep their points).
  std::vector<std::size_t> redrawn;
  for (std::size_t i = 0; i < chart_.LineCount(); ++i) {
    const std::size_t position = chart_.Line(i).palettePosition;
    if (position >= channels_->size()) continue;
    const ChannelInfo& channel = (*channels_)[position];
    if (ascending_.size() != channels_->size()) ascending_.assign(channels_->size(), -1);
    if (ascending_[position] < 0) {
      ascending_[position] = std::is_sorted(channel.times.begin(), channel.times.end()) ? 1 : 0;
    }
    if (ascending_[position] == 1) redrawn.push_back(i);
  }
  // The envelopes made on two threads (each line reads only its channel), then handed to the chart.
  std::vector<ChartLine> made(redrawn.size());
  if (indexes_.size() != channels_->size()) indexes_.assign(channels_->size(), EnvelopeIndex{});
  auto make = [&](std::size_t first, std::size_t step) {
    for (std::size_t k = first; k < redrawn.size(); k += step) {
      const std::size_t position = chart_.Line(redrawn[k]).palettePosition;
      const ChannelInfo& channel = (*channels_)[position];
      EnvelopeIndex& index = indexes_[position];
      const std::size_t n = std::min(channel.times.size(), channel.values.size());
      if (index.low.size() != n / EnvelopeIndex::kBlock) index = MakeEnvelopeIndex(channel.values.data(), n);
      made[k] = EnvelopeChartLine(channel, position, from, to, columns, gapHeight, 1, &index);
    }
  };
  std::thread second;
  if (redrawn.size() > 1) {
    try {
      second = std::thread(make, 1, 2);
    } catch (const std::system_error&) {
    }
  }
  make(0, second.joinable() ? 2 : 1);
  if (second.joinable()) second.join();
  for (std::size_t k = 0; k < redrawn.size(); ++k) chart_.ReplaceLineData(redrawn[k], std::move(made[k]));
}

void ChartPage::ReplaceLines(ChartFill&& fill) {
  for (std::size_t i = 0; i < fill.lines.size() && i < chart_.LineCount(); ++i) {
    chart_.ReplaceLineData(i, std::move(fill.lines[i]));
  }
}

}  // namespace vantiro
