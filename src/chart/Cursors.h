#pragma once
// The chart's two cursors: the legend read-out of the vertical cursor, the positions a load puts
// them at, and the checks of the cursor dialog.

#include <cstddef>
#include <optional>
#include <vector>
#include <span>
#include <string>
#include <string_view>

#include "chart/ChartLines.h"
#include "chart/ZoomLimits.h"

namespace vantiro {

// 0.1 s: after a load the vertical cursor stands this far after the start.
inline constexpr double kCursorStartOffset = 1.1574074074074074e-6;

// "垂直游标X: yyyy-MM-dd HH:mm:ss", the legend's title line.
std::string CursorLegendTitle(DateTime x);


// A duration as the legend and the event list show it: "HH:mm:ss", with ".zzz" when it is not a
// whole number of seconds, "N天 " before it from a day on, "-" before it when negative. Counted
// in whole milliseconds.
std::string DurationText(double seconds);

// The legend's title lines of the second vertical cursor at `x2`, under the first's:
// "垂直游标X2: yyyy-MM-dd HH:mm:ss", then "Δt(X2-X1): HH:mm:ss" (negative when X2 stands before
// X1) on a line of its own, so that the legend keeps its width while a cursor is dragged.
std::string SecondCursorLegendTitle(DateTime x, DateTime x2);

// The point nearest to `x` by bisection over the points' X (ascending): a point whose X equals x
// within the table's relative 1e-12 is taken at once; otherwise the nearer neighbour, a tie going
// to the earlier one. `points` must not be empty.
std::size_t NearestPoint(std::span<const ChartPoint> points, DateTime x);

// The point of a line nearest to `x` in time: NearestPoint for a line whose times ascend; for one
// whose times go back the point whose time is nearest, the first in stored order among equally near
// ones (found in the line's time order, not by walking its points). The line must have points.
std::size_t NearestLinePoint(const ChartLine& line, DateTime x);

// A line's legend entry with the vertical cursor at `x`: "通道01 23.457℃", or the title followed by
// "  ---" when the line does not cover x (to the whole second) or its nearest point is a gap.
std::string CursorReadout(const std::string& title, const std::string& unit,
                          const ChartLine& line, DateTime x, double gapHeight);

// The recorded value of `channel` nearest to `x` in time, among its samples within [from, to]
// (times within 1 ms of an end count as inside; the whole channel for an unbounded window), as
// the legend reads it: nothing when no sample is inside, when x lies outside their times (to the
// whole second, as the cursor's time shows) or when the nearest sample is a gap. Of two equally
// near samples the first stored is read (the earlier, for samples stored in time order), of equal
// times the first stored. `order` is the channel's SamplesInTimeOrder (empty when its times never
// go back).
std::optional<float> RecordedValueNear(const ChannelInfo& channel, DateTime x, DateTime from, DateTime to,
                                       const std::vector<std::size_t>& order);

// A line's legend entry for a value read at the cursor: "通道01 23.457℃", or the title followed by
// "  ---" without one.
std::string ReadoutText(const std::string& title, const std::string& unit, std::optional<float> value);

// The dialog's fields as it was opened.
struct CursorDialogStart {
  DateTime cursorX = 0.0;
  double cursorY1 = 0.0;
  double cursorY2 = 0.0;
  DateTime viewXMin = 0.0, viewXMax = 0.0;
  double viewYMin = 0.0, viewYMax = 0.0;
};

// A whole number as the Y fields show it: the value truncated toward zero ("%d" of the truncation,
// written out in full for values beyond 32 bits).
std::string WholeNumberText(double value);

enum class CursorDialogFocus { Unchanged, Y1, Y2 };

struct CursorDialogResult {
  bool accepted = false;
  std::string message;  // when refused
  CursorDialogFocus focus = CursorDialogFocus::Unchanged;
  DateTime x = 0.0;     // when accepted
  double y1 = 0.0;
  double y2 = 0.0;
};

inline constexpr std::string_view kTimeOutsideView = "请选择视图范围内的时间点。";
inline constexpr std::string_view kNotAWholeNumber = "请输入有效的整数。";
inline constexpr std::string_view kValueOutsideView = "请输入视图范围内的Y值。";

// A cursor time typed in the dialog: the time opened with, moved by the two pickers. Unchanged (to
// the millisecond) it stays as it was; changed, it must lie in the view to the second and is then
// clamped to it; nothing when it does not.
std::optional<DateTime> CheckCursorTime(DateTime opened, DateTime pickedDate, DateTime pickedTime, DateTime viewXMin,
                                        DateTime viewXMax);

// The OK button's checks, in order, stopping at the first refusal. `pickedDate` and `pickedTime`
// are the date-times of the two pickers (both start at cursorX).
CursorDialogResult CheckCursorDialog(const CursorDialogStart& start, DateTime pickedDate,
                                     DateTime pickedTime, std::string_view y1Text,
                                     std::string_view y2Text);

}  // namespace vantiro
