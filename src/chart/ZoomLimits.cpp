#include "chart/ZoomLimits.h"

#include <algorithm>
#include <cmath>

#include "chart/ChartLines.h"

namespace vantiro {
namespace {

// One axis of a zoom: a window narrower than the limit is frozen when the limit is open, and set
// back to the frozen one otherwise.
void LimitZoomedAxis(double& low, double& high, bool (*narrower)(double), bool& open,
                     double& limitMin, double& limitMax) {
  if (!narrower(high - low)) return;
  if (open) {
    limitMax = high;
    limitMin = low;
    open = false;
  } else {
    low = limitMin;
    high = limitMax;
  }
}

// One axis of an undo zoom: narrower than the limit freezes, otherwise the limit opens.
void LimitRestoredAxis(double low, double high, bool (*narrower)(double), bool& open,
                       double& limitMin, double& limitMax) {
  if (narrower(high - low)) {
    limitMax = high;
    limitMin = low;
    open = false;
  } else {
    open = true;
  }
}

}  // namespace

double RoundTimeStep(double spanDays) {
  const double wanted = spanDays * kSecondsPerDay / 10.0;  // seconds a label
  if (!(wanted > 0.0) || !std::isfinite(wanted)) return 1.0 / kSecondsPerDay;
  static constexpr double kLadder[] = {1,    2,    5,    10,    20,    30,    60,    120,   300,  600,
                                       1200, 1800, 3600, 7200,  10800, 21600, 43200, 86400};
  if (wanted <= 1.0) {
    // Below a second: 1, 2, 5 times a power of ten, down to a millisecond.
    const double step = std::max(RoundValueStep(wanted * 10.0), 0.001);
    return step / kSecondsPerDay;
  }
  for (const double step : kLadder) {
    if (step >= wanted) return step / kSecondsPerDay;
  }
  return RoundValueStep(wanted / 86400.0 * 10.0);  // whole days
}

double RoundValueStep(double span) {
  const double wanted = span / 10.0;
  if (!(wanted > 0.0) || !std::isfinite(wanted)) return 1.0;
  double power = std::pow(10.0, std::floor(std::log10(wanted)));
  for (;;) {
    for (const double m : {1.0, 2.0, 5.0}) {
      if (m * power >= wanted * (1.0 - 1e-12)) return m * power;
    }
    power *= 10.0;
  }
}

CursorPositions KeepCursorsInView(CursorPositions cursors, const ViewRanges& view) {
  if (cursors.x > view.x1 || cursors.x < view.x0) cursors.x = view.x0;
  if (cursors.y1 > view.y1 || cursors.y1 < view.y0) cursors.y1 = view.y1;
  if (cursors.y2 > view.y1 || cursors.y2 < view.y0) cursors.y2 = view.y0;
  // The second vertical cursor, when there is one, back at the right quarter of the view: the span
  // it measures with the first is then on show.
  if (cursors.x2 != 0.0 && (cursors.x2 > view.x1 || cursors.x2 < view.x0)) {
    cursors.x2 = view.x0 + (view.x1 - view.x0) * kSecondCursorPlace;
  }
  return cursors;
}

ViewChange ChartZoom(const ViewRanges& zoomed, const CursorPositions& cursors, ZoomLimits& limits) {
  ViewChange change{zoomed, {}, {}, cursors};
  ViewRanges& r = change.ranges;
  LimitZoomedAxis(r.x0, r.x1, NarrowerThanTimeLimit, limits.xZoomLimitOpen,
                  limits.xZoomLimitMin, limits.xZoomLimitMax);
  change.xIncrement = (r.x1 - r.x0) * kLabelStepFactor;
  LimitZoomedAxis(r.y0, r.y1, NarrowerThanValueLimit, limits.yZoomLimitOpen,
                  limits.yZoomLimitMin, limits.yZoomLimitMax);
  change.yIncrement = (r.y1 - r.y0) * kLabelStepFactor;
  change.cursors = KeepCursorsInView(cursors, r);
  return change;
}

ViewChange OnChartScroll(const ViewRanges& scrolled, const CursorPositions& cursors,
                         ZoomLimits& limits) {
  if (!limits.xZoomLimitOpen) {
    limits.xZoomLimitMax = scrolled.x1;
    limits.xZoomLimitMin = scrolled.x0;
  }
  if (!limits.yZoomLimitOpen) {
    limits.yZoomLimitMax = scrolled.y1;
    limits.yZoomLimitMin = scrolled.y0;
  }
  return ViewChange{scrolled, {}, {}, KeepCursorsInView(cursors, scrolled)};
}

ViewChange ChartUndoZoom(const ViewRanges& restored, const CursorPositions& cursors,
                         ZoomLimits& limits) {
  LimitRestoredAxis(restored.x0, restored.x1, NarrowerThanTimeLimit, limits.xZoomLimitOpen,
                    limits.xZoomLimitMin, limits.xZoomLimitMax);
  LimitRestoredAxis(restored.y0, restored.y1, NarrowerThanValueLimit, limits.yZoomLimitOpen,
                    limits.yZoomLimitMin, limits.yZoomLimitMax);
  return ViewChange{restored, (restored.x1 - restored.x0) * kLabelStepFactor,
                    (restored.y1 - restored.y0) * kLabelStepFactor,
                    KeepCursorsInView(cursors, restored)};
}

}  // namespace vantiro
