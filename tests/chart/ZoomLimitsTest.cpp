#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "chart/ChartLines.h"
#include "chart/ZoomLimits.h"
#include "recorder/Dataset.h"
#include "recorder/DateTime.h"

namespace vantiro {
namespace {

const DateTime T = *EncodeDateTime(2010, 8, 7, 12, 0, 0);
const double S = kOneSecond;

// A label step as expected: present, and equal to `expected` within a microsecond's worth of a day
// (the spans are differences of times near 40,000 days, exact only to some 1e-12).
void ExpectStep(const std::optional<double>& step, double expected, const char* what = "") {
  ASSERT_TRUE(step.has_value()) << what;
  EXPECT_NEAR(*step, expected, kOneMillisecond / 1000) << what;
}

// The limits as the load command leaves them: both opened before the fill, the time window frozen
// when the fill asks for it.
ZoomLimits LimitsAfterFill(const ChartFill& fill) {
  ZoomLimits limits;
  limits.xZoomLimitOpen = true;
  limits.yZoomLimitOpen = true;
  if (fill.freezeTimeWindow) {
    limits.xZoomLimitMax = fill.bottom.max;
    limits.xZoomLimitMin = fill.bottom.min;
    limits.xZoomLimitOpen = false;
  }
  return limits;
}

ChartFill FillFile(DateTime start, DateTime end) {
  ChannelInfo channel;
  channel.number = 1;
  channel.unit = "℃";
  channel.times = {start, end};
  channel.values = {20.0f, 30.0f};
  DatasetSummary summary;
  summary.rangeMin = 0.0f;
  summary.rangeMax = 100.0f;
  summary.startTime = start;
  summary.endTime = end;
  summary.sampleCount = 2;
  return FillChart({channel}, summary);
}

ViewRanges View(DateTime x0, DateTime x1, double y0 = -10.0, double y1 = 110.0) {
  return ViewRanges{x0, x1, y0, y1};
}

void ExpectTimeLimit(const ZoomLimits& limits, bool open, DateTime min, DateTime max,
                     const char* step) {
  EXPECT_EQ(limits.xZoomLimitOpen, open) << step;
  if (!open) {
    EXPECT_EQ(limits.xZoomLimitMin, min) << step;
    EXPECT_EQ(limits.xZoomLimitMax, max) << step;
  }
}

TEST(ZoomLimitsTest, AnEightSecondFileStaysFrozenAtItsWholeSpan) {
  const DateTime end = T + 8 * S;
  const ChartFill fill = FillFile(T, end);
  ASSERT_TRUE(fill.freezeTimeWindow);
  ZoomLimits limits = LimitsAfterFill(fill);
  const CursorPositions cursors{T + S, 50.0, 30.0};

  // Zooming into 2 seconds snaps back to the 8.
  const ViewChange zoom = ChartZoom(View(T + 3 * S, T + 5 * S), cursors, limits);
  EXPECT_EQ(zoom.ranges, View(T, end));
  ExpectStep(zoom.xIncrement, 0.8 * S);
  ExpectStep(zoom.yIncrement, 12.0);
  EXPECT_EQ(zoom.cursors, cursors);
  ExpectTimeLimit(limits, false, T, end, "after the zoom");
  EXPECT_TRUE(limits.yZoomLimitOpen);

  // The undo restores the 8 seconds, which stay frozen.
  const ViewChange undo = ChartUndoZoom(View(T, end), cursors, limits);
  EXPECT_EQ(undo.ranges, View(T, end));
  ExpectStep(undo.xIncrement, 0.8 * S);
  ExpectTimeLimit(limits, false, T, end, "after the undo");
  EXPECT_TRUE(limits.yZoomLimitOpen);

  const ViewChange again = ChartZoom(View(T + 6 * S, T + 7 * S), cursors, limits);
  EXPECT_EQ(again.ranges, View(T, end));
}

TEST(ZoomLimitsTest, AnHourFileFreezesTheFirstWindowBelowTenSeconds) {
  const DateTime end = T + 3600 * S;
  const ChartFill fill = FillFile(T, end);
  ASSERT_FALSE(fill.freezeTimeWindow);
  ZoomLimits limits = LimitsAfterFill(fill);
  const CursorPositions cursors{T + 612 * S, 50.0, 30.0};

  // 30 s: accepted, the limit stays open.
  ViewChange change = ChartZoom(View(T + 600 * S, T + 630 * S), cursors, limits);
  EXPECT_EQ(change.ranges, View(T + 600 * S, T + 630 * S));
  ExpectStep(change.xIncrement, 3 * S);
  ExpectTimeLimit(limits, true, 0, 0, "30 s");

  // 4 s: accepted and frozen.
  change = ChartZoom(View(T + 610 * S, T + 614 * S), cursors, limits);
  EXPECT_EQ(change.ranges, View(T + 610 * S, T + 614 * S));
  ExpectStep(change.xIncrement, 0.4 * S);
  ExpectTimeLimit(limits, false, T + 610 * S, T + 614 * S, "4 s");

  // 2 s: back to the 4 s window, with its label step.
  change = ChartZoom(View(T + 611 * S, T + 613 * S), cursors, limits);
  EXPECT_EQ(change.ranges, View(T + 610 * S, T + 614 * S));
  ExpectStep(change.xIncrement, 0.4 * S);
  ExpectTimeLimit(limits, false, T + 610 * S, T + 614 * S, "2 s");

  // A scroll moves the frozen window with the view and leaves the label steps alone.
  change = OnChartScroll(View(T + 620 * S, T + 624 * S), cursors, limits);
  EXPECT_EQ(change.ranges, View(T + 620 * S, T + 624 * S));
  EXPECT_FALSE(change.xIncrement.has_value());
  EXPECT_FALSE(change.yIncrement.has_value());
  ExpectTimeLimit(limits, false, T + 620 * S, T + 624 * S, "scroll");

  change = ChartZoom(View(T + 621 * S, T + 622 * S), cursors, limits);
  EXPECT_EQ(change.ranges, View(T + 620 * S, T + 624 * S));
  ExpectTimeLimit(limits, false, T + 620 * S, T + 624 * S, "1 s after the scroll");

  // A wider zoom is accepted; the limit stays frozen until an undo opens it.
  change = ChartZoom(View(T + 600 * S, T + 660 * S), cursors, limits);
  EXPECT_EQ(change.ranges, View(T + 600 * S, T + 660 * S));
  ExpectTimeLimit(limits, false, T + 620 * S, T + 624 * S, "60 s");

  change = ChartUndoZoom(View(T, end), cursors, limits);
  EXPECT_EQ(change.ranges, View(T, end));
  ExpectStep(change.xIncrement, 360 * S);
  ExpectStep(change.yIncrement, 12.0);
  ExpectTimeLimit(limits, true, 0, 0, "undo");

  change = ChartZoom(View(T + 100 * S, T + 102 * S), cursors, limits);
  EXPECT_EQ(change.ranges, View(T + 100 * S, T + 102 * S));
  ExpectTimeLimit(limits, false, T + 100 * S, T + 102 * S, "2 s after the undo");
}

TEST(ZoomLimitsTest, AnUndoBackToAnExactlyTenSecondFileOpensTheLimit) {
  // 12:00:00 to 12:00:10: as differences of days the span comes out a rounding under 10 s.
  const DateTime end = *EncodeDateTime(2010, 8, 7, 12, 0, 10);
  const ChartFill fill = FillFile(T, end);
  EXPECT_FALSE(fill.freezeTimeWindow);
  ZoomLimits limits = LimitsAfterFill(fill);
  const CursorPositions cursors{T + S, 50.0, 30.0};

  ChartZoom(View(T + 2 * S, T + 6 * S), cursors, limits);
  ExpectTimeLimit(limits, false, T + 2 * S, T + 6 * S, "4 s");

  ChartUndoZoom(View(T, end), cursors, limits);
  ExpectTimeLimit(limits, true, 0, 0, "undo");

  // A zoom onto exactly those 10 s leaves the limit open as well.
  ChartZoom(View(T, end), cursors, limits);
  ExpectTimeLimit(limits, true, 0, 0, "zoom onto 10 s");
}

TEST(ZoomLimitsTest, TheValueAxisFreezesBelowOneHundredth) {
  ZoomLimits limits;
  limits.xZoomLimitOpen = true;
  limits.yZoomLimitOpen = true;
  const CursorPositions cursors{T, 10.002, 10.003};
  const DateTime x0 = T;
  const DateTime x1 = T + 60 * S;

  // Exactly 0.01 is not narrower than the limit.
  ViewChange change = ChartZoom(View(x0, x1, 0.0, 0.01), {T, 0.005, 0.005}, limits);
  EXPECT_EQ(change.ranges, View(x0, x1, 0.0, 0.01));
  EXPECT_TRUE(limits.yZoomLimitOpen);

  change = ChartZoom(View(x0, x1, 10.0, 10.005), cursors, limits);
  EXPECT_EQ(change.ranges, View(x0, x1, 10.0, 10.005));
  ExpectStep(change.yIncrement, 0.0005);
  EXPECT_FALSE(limits.yZoomLimitOpen);
  EXPECT_EQ(limits.yZoomLimitMin, 10.0);
  EXPECT_EQ(limits.yZoomLimitMax, 10.005);
  EXPECT_TRUE(limits.xZoomLimitOpen);

  // Narrower again: the value axis snaps back, the time axis takes the zoom.
  change = ChartZoom(View(x0 + S, x1 - S, 10.001, 10.003), cursors, limits);
  EXPECT_EQ(change.ranges, View(x0 + S, x1 - S, 10.0, 10.005));
  ExpectStep(change.yIncrement, 0.0005);
  ExpectStep(change.xIncrement, 5.8 * S);

  change = OnChartScroll(View(x0, x1, 11.0, 11.005), cursors, limits);
  EXPECT_EQ(limits.yZoomLimitMin, 11.0);
  EXPECT_EQ(limits.yZoomLimitMax, 11.005);
  EXPECT_FALSE(change.yIncrement.has_value());

  change = ChartUndoZoom(View(x0, x1, 5.0, 5.004), cursors, limits);
  EXPECT_FALSE(limits.yZoomLimitOpen);
  EXPECT_EQ(limits.yZoomLimitMin, 5.0);
  EXPECT_EQ(limits.yZoomLimitMax, 5.004);
  ExpectStep(change.yIncrement, 0.0004);

  change = ChartUndoZoom(View(x0, x1, -10.0, 110.0), cursors, limits);
  EXPECT_TRUE(limits.yZoomLimitOpen);
  ExpectStep(change.yIncrement, 12.0);
}

TEST(ZoomLimitsTest, AScrollLeavesOpenLimitsAlone) {
  ZoomLimits limits;
  limits.xZoomLimitOpen = true;
  limits.xZoomLimitMin = 1.0;
  limits.xZoomLimitMax = 2.0;
  limits.yZoomLimitOpen = true;
  limits.yZoomLimitMin = 3.0;
  limits.yZoomLimitMax = 4.0;
  const ViewChange change = OnChartScroll(View(T, T + 60 * S, 0.0, 50.0), {T, 5.0, 6.0}, limits);
  EXPECT_EQ(change.ranges, View(T, T + 60 * S, 0.0, 50.0));
  EXPECT_TRUE(limits.xZoomLimitOpen);
  EXPECT_TRUE(limits.yZoomLimitOpen);
  EXPECT_EQ(limits.xZoomLimitMin, 1.0);
  EXPECT_EQ(limits.xZoomLimitMax, 2.0);
  EXPECT_EQ(limits.yZoomLimitMin, 3.0);
  EXPECT_EQ(limits.yZoomLimitMax, 4.0);
}

TEST(ZoomLimitsTest, EveryViewChangePullsTheCursorsIntoTheRangeItEndsWith) {
  const CursorPositions outside{T, 50.0, 30.0};
  ZoomLimits limits;
  limits.xZoomLimitOpen = true;
  limits.yZoomLimitOpen = true;
  const ViewRanges narrow = View(T + 600 * S, T + 630 * S, 40.0, 45.0);
  const CursorPositions atEdges{T + 600 * S, 45.0, 40.0};

  EXPECT_EQ(ChartZoom(narrow, outside, limits).cursors, atEdges);
  EXPECT_EQ(OnChartScroll(narrow, outside, limits).cursors, atEdges);
  EXPECT_EQ(ChartUndoZoom(narrow, outside, limits).cursors, atEdges);

  // A zoom that snaps back keeps a cursor that lies outside the dragged rectangle but inside the
  // frozen window.
  limits.xZoomLimitOpen = false;
  limits.xZoomLimitMin = T + 610 * S;
  limits.xZoomLimitMax = T + 614 * S;
  const CursorPositions inFrozen{T + 610.5 * S, 42.0, 41.0};
  const ViewChange snapped = ChartZoom(View(T + 611 * S, T + 613 * S, 40.0, 45.0), inFrozen, limits);
  EXPECT_EQ(snapped.ranges, View(T + 610 * S, T + 614 * S, 40.0, 45.0));
  EXPECT_EQ(snapped.cursors, inFrozen);
}

TEST(ZoomLimitsTest, ACursorOutsideTheViewMovesToItsEdge) {
  const ViewRanges view{100.0, 200.0, -5.0, 5.0};
  struct Case {
    const char* name;
    CursorPositions before;
    CursorPositions after;
  };
  const Case cases[] = {
      {"inside", {150.0, 1.0, -1.0}, {150.0, 1.0, -1.0}},
      {"X on the right edge", {200.0, 1.0, -1.0}, {200.0, 1.0, -1.0}},
      {"X on the left edge", {100.0, 1.0, -1.0}, {100.0, 1.0, -1.0}},
      {"X right of the view", {200.5, 1.0, -1.0}, {100.0, 1.0, -1.0}},
      {"X left of the view", {99.5, 1.0, -1.0}, {100.0, 1.0, -1.0}},
      {"Y1 on the top edge", {150.0, 5.0, -1.0}, {150.0, 5.0, -1.0}},
      {"Y1 on the bottom edge", {150.0, -5.0, -1.0}, {150.0, -5.0, -1.0}},
      {"Y1 above", {150.0, 5.5, -1.0}, {150.0, 5.0, -1.0}},
      {"Y1 below", {150.0, -5.5, -1.0}, {150.0, 5.0, -1.0}},
      {"Y2 on the top edge", {150.0, 1.0, 5.0}, {150.0, 1.0, 5.0}},
      {"Y2 on the bottom edge", {150.0, 1.0, -5.0}, {150.0, 1.0, -5.0}},
      {"Y2 above", {150.0, 1.0, 5.5}, {150.0, 1.0, -5.0}},
      {"Y2 below", {150.0, 1.0, -5.5}, {150.0, 1.0, -5.0}},
      {"all three out", {300.0, -9.0, 9.0}, {100.0, 5.0, -5.0}},
  };
  for (const Case& c : cases) {
    const CursorPositions after = KeepCursorsInView(c.before, view);
    EXPECT_EQ(after.x, c.after.x) << c.name;
    EXPECT_EQ(after.y1, c.after.y1) << c.name;
    EXPECT_EQ(after.y2, c.after.y2) << c.name;
  }
  // The second vertical cursor: kept inside, on an edge, or when there is none (0); from outside
  // (either side) to the right quarter of the view.
  const struct {
    const char* name;
    double x2, expected;
  } second[] = {{"inside", 130.0, 130.0}, {"on the edge", 200.0, 200.0}, {"none", 0.0, 0.0},
                {"right of the view", 260.0, 175.0}, {"left of the view", 20.0, 175.0}};
  for (const auto& c : second) {
    CursorPositions before{150.0, 1.0, -1.0, c.x2};
    EXPECT_EQ(KeepCursorsInView(before, view).x2, c.expected) << c.name;
  }
}

}  // namespace
}  // namespace vantiro

namespace vantiro {
namespace {

TEST(ZoomLimitsTest, RoundStepsStandOnTheLadderAndGiveAtMostTenLabels) {
  const double s = kOneSecond;
  const struct {
    const char* name;
    double span;      // days
    double expected;  // days
  } times[] = {
      {"a year", 365.0, 50.0},
      {"a month", 30.0, 5.0},
      {"a week", 7.0, 1.0},
      {"three days", 3.0, 12 * 3600 * s},
      {"a day", 1.0, 3 * 3600 * s},
      {"ten hours", 10 * 3600 * s, 3600 * s},
      {"an odd window of the year", 22.0 * 3600 * s + 2.5 * 60 * s, 3 * 3600 * s},
      {"an hour", 3600 * s, 600 * s},
      {"ten minutes", 600 * s, 60 * s},
      {"a minute", 60 * s, 10 * s},
      {"ten seconds", 10 * s, 1 * s},
      {"three seconds", 3 * s, 0.5 * s},
      {"no span", 0.0, 1 * s},
      {"a span that is no number", std::nan(""), 1 * s},
  };
  for (const auto& c : times) {
    const double step = RoundTimeStep(c.span);
    EXPECT_NEAR(step, c.expected, 1e-12) << c.name;
    if (c.span > 0.0) EXPECT_LE(c.span / step, 10.0 + 1e-9) << c.name;
  }
  const struct {
    double span, expected;
  } values[] = {{110.0, 20.0}, {100.0, 10.0}, {1000.0, 100.0}, {3070.0, 500.0}, {0.37, 0.05}, {-5.0, 1.0}};
  for (const auto& c : values) EXPECT_DOUBLE_EQ(RoundValueStep(c.span), c.expected) << c.span;
}

}  // namespace
}  // namespace vantiro
