#pragma once
// The chart's view rules: the zoom limits (the first window narrower than 10 s in time, or 0.01 in
// value, is frozen as the narrowest one, and any later zoom below it snaps back), the label step of
// a tenth of the span, and keeping the cursors inside the view. Pure functions over axis ranges:
// the chart widget has already changed its axes when they are asked.

#include <optional>

#include "recorder/DateTime.h"

namespace vantiro {

struct ZoomLimits {
  double xZoomLimitMax = 0.0;  // DateTime
  double xZoomLimitMin = 0.0;
  bool xZoomLimitOpen = false;
  double yZoomLimitMax = 0.0;
  double yZoomLimitMin = 0.0;
  bool yZoomLimitOpen = false;
};

struct ViewRanges {
  DateTime x0 = 0.0, x1 = 0.0;  // bottom axis
  double y0 = 0.0, y1 = 0.0;    // left axis
  friend bool operator==(const ViewRanges&, const ViewRanges&) = default;
};

struct CursorPositions {
  DateTime x = 0.0;  // vertical cursor
  double y1 = 0.0;   // its horizontal line
  double y2 = 0.0;   // the horizontal cursor
  DateTime x2 = 0.0;  // the second vertical cursor (the end of the measured span)
  friend bool operator==(const CursorPositions&, const CursorPositions&) = default;
};

// What a view handler leaves: the axis ranges (set back where a frozen limit applies), new label
// steps where the handler sets them, and the cursors pulled into view.
struct ViewChange {
  ViewRanges ranges;
  std::optional<double> xIncrement;
  std::optional<double> yIncrement;
  CursorPositions cursors;
};

// 0.75: after a load, and whenever it would be outside the view, the second vertical cursor
// stands at the right quarter of the view.
inline constexpr double kSecondCursorPlace = 0.75;

// A cursor outside the view moves to an edge: X to x0, Y1 to y1, Y2 to y0; the second vertical
// cursor (x2, 0 when there is none) to the right quarter. One on an edge stays.
CursorPositions KeepCursorsInView(CursorPositions cursors, const ViewRanges& view);

// Round label steps, for views whose labels stand on round instants and values (the archive's):
// the smallest step of the ladder that gives at most ten labels over `span`. Times (in days) on
// 1, 2, 5, 10, 20 and 30 seconds or minutes, 1, 2, 3, 6 and 12 hours, then 1, 2 and 5 times a power
// of ten days (below a second 1, 2 and 5 times a power of ten); values on 1, 2 and 5 times a power
// of ten. A span that is no positive number gives the step for a second, or 1.
double RoundTimeStep(double spanDays);
double RoundValueStep(double span);

// After a rubber-band zoom.
ViewChange ChartZoom(const ViewRanges& zoomed, const CursorPositions& cursors, ZoomLimits& limits);
// After a scroll: a frozen window follows the view; the steps stay.
ViewChange OnChartScroll(const ViewRanges& scrolled, const CursorPositions& cursors,
                         ZoomLimits& limits);
// After an undo zoom: a restored window narrower than its limit is frozen, a wider one opens it.
ViewChange ChartUndoZoom(const ViewRanges& restored, const CursorPositions& cursors,
                         ZoomLimits& limits);

}  // namespace vantiro
