#include "chart/Cursors.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace vantiro {
namespace {

std::string CursorText(DateTime t) { return FormatDateTime(t, DatePattern::Cursor); }

// A whole number typed into a Y field: optional blanks around an optional sign and decimal digits.
// Its value as a double (exact up to 2^53, which covers every number the fields show).
std::optional<double> ParseWholeNumber(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  std::string_view digits = text;
  if (!digits.empty() && (digits.front() == '+' || digits.front() == '-')) digits.remove_prefix(1);
  if (digits.empty() || digits.size() > 400) return std::nullopt;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
  }
  const std::string copy(text);
  return std::strtod(copy.c_str(), nullptr);
}

// The checks of one Y field. `focus` names the field for a refusal.
bool CheckY(std::string_view text, double cursorY, double viewMin, double viewMax,
            CursorDialogFocus focus, double& y, CursorDialogResult& result) {
  const std::optional<double> n = ParseWholeNumber(text);
  if (!n) {
    result.message = kNotAWholeNumber;
    result.focus = focus;
    return false;
  }
  if (*n == std::trunc(cursorY)) {
    y = cursorY;  // an unchanged field keeps the exact old value
    return true;
  }
  if (*n < std::trunc(viewMin) || *n > std::trunc(viewMax)) {
    result.message = kValueOutsideView;
    result.focus = focus;
    return false;
  }
  y = *n < viewMin ? viewMin : *n;
  return true;
}

}  // namespace

std::string CursorLegendTitle(DateTime x) { return "垂直游标X: " + CursorText(x); }

std::string DurationText(double seconds) {
  if (!std::isfinite(seconds)) return "---";
  const double rounded = std::round(std::abs(seconds) * 1000.0);
  if (rounded > 9.0e15) return "---";
  const auto ms = static_cast<long long>(rounded);
  const long long days = ms / 86400000;
  const long long inDay = ms % 86400000;
  char text[64];
  int used = std::snprintf(text, sizeof text, "%s", seconds < 0 && ms > 0 ? "-" : "");
  if (days > 0) used += std::snprintf(text + used, sizeof text - used, "%lld天 ", days);
  used += std::snprintf(text + used, sizeof text - used, "%02lld:%02lld:%02lld", inDay / 3600000,
                        inDay / 60000 % 60, inDay / 1000 % 60);
  if (inDay % 1000 != 0) std::snprintf(text + used, sizeof text - used, ".%03lld", inDay % 1000);
  return text;
}

std::string SecondCursorLegendTitle(DateTime x, DateTime x2) {
  return "垂直游标X2: " + CursorText(x2) + "\nΔt(X2-X1): " + DurationText((x2 - x) * 86400.0);
}

std::size_t NearestPoint(std::span<const ChartPoint> points, DateTime x) {
  if (points.size() <= 1) return 0;
  std::size_t lo = 0;
  std::size_t hi = points.size() - 1;
  while (lo + 1 < hi) {
    const std::size_t mid = (lo + hi) / 2;
    if (RowTimesEqual(points[mid].x, x)) return mid;
    if (x < points[mid].x) {
      hi = mid;
    } else {
      lo = mid;
    }
  }
  return x - points[lo].x > points[lo + 1].x - x ? lo + 1 : lo;
}

std::size_t NearestLinePoint(const ChartLine& line, DateTime x) {
  if (line.ascending) return NearestPoint(line.points, x);
  const std::vector<std::uint32_t>& order = line.TimeOrder();
  const ChartPoint* p = line.points.data();
  if (order.size() != line.points.size()) {
    // A line too long to have a time order: the points one by one.
    std::size_t best = 0;
    for (std::size_t i = 1; i < line.points.size(); ++i) {
      if (std::fabs(p[i].x - x) < std::fabs(p[best].x - x)) best = i;
    }
    return best;
  }
  // The first point at or after x in time order, and the last one before it. Among equal times
  // the first in time order is the first in stored order.
  const auto at = std::partition_point(order.begin(), order.end(),
                                       [p, x](std::uint32_t i) { return p[i].x < x; });
  std::optional<std::uint32_t> after;
  if (at != order.end() && !std::isnan(p[*at].x)) after = *at;
  std::optional<std::uint32_t> before;
  if (at != order.begin()) {
    const DateTime t = p[*(at - 1)].x;
    before = *std::partition_point(order.begin(), at,
                                   [p, t](std::uint32_t i) { return p[i].x < t; });
  }
  if (!before) return after.value_or(0);
  if (!after) return *before;
  const double below = x - p[*before].x;
  const double above = p[*after].x - x;
  if (below != above) return below < above ? *before : *after;
  return std::min(*before, *after);
}

std::string ReadoutText(const std::string& title, const std::string& unit, std::optional<float> value) {
  if (!value) return title + "  ---";
  char text[64];
  std::snprintf(text, sizeof text, "%0.3f", static_cast<double>(*value));
  return title + " " + text + unit;
}

std::string CursorReadout(const std::string& title, const std::string& unit,
                          const ChartLine& line, DateTime x, double gapHeight) {
  if (line.points.empty()) return ReadoutText(title, unit, std::nullopt);
  const std::string at = CursorText(x);
  if (at < CursorText(line.minX) || at > CursorText(line.maxX)) return ReadoutText(title, unit, std::nullopt);
  const auto y = static_cast<float>(line.points[NearestLinePoint(line, x)].y);
  if (y == static_cast<float>(gapHeight)) return ReadoutText(title, unit, std::nullopt);
  return ReadoutText(title, unit, y);
}

std::optional<float> RecordedValueNear(const ChannelInfo& channel, DateTime x, DateTime from, DateTime to,
                                       const std::vector<std::size_t>& order) {
  const std::size_t n = order.empty() ? std::min(channel.times.size(), channel.values.size()) : order.size();
  const DateTime* times = channel.times.data();
  // The k-th sample in time order.
  const auto index = [&order](std::size_t k) { return order.empty() ? k : order[k]; };
  const auto timeAt = [&](std::size_t k) { return times[index(k)]; };
  // The first sample in time order from `lo` on for which `before(t)` is false.
  const auto first = [&](std::size_t lo, std::size_t hi, auto before) {
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if (before(timeAt(mid))) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  };
  const std::size_t lo = std::isinf(from) ? 0 : first(0, n, [from](DateTime t) { return CompareTimes(t, from) < 0; });
  const std::size_t hi = std::isinf(to) ? n : first(lo, n, [to](DateTime t) { return CompareTimes(t, to) <= 0; });
  if (lo >= hi) return std::nullopt;
  const std::string at = CursorText(x);
  if (at < CursorText(timeAt(lo)) || at > CursorText(timeAt(hi - 1))) return std::nullopt;
  // The first sample at or after x, and the first of those at the time of the one before it.
  const std::size_t after = first(lo, hi, [x](DateTime t) { return t < x; });
  std::size_t nearest = index(after < hi ? after : after - 1);
  if (after > lo) {
    const DateTime t = timeAt(after - 1);
    const std::size_t before = index(first(lo, after - 1, [t](DateTime u) { return u < t; }));
    const double below = x - t;
    const double above = after < hi ? timeAt(after) - x : below + 1.0;
    // Equally near: the first in stored order (the earlier one, for samples stored in time order).
    if (below < above || (below == above && before < nearest)) nearest = before;
  }
  const float value = channel.values[nearest];
  if (IsGapValue(value)) return std::nullopt;
  return value;
}

std::string WholeNumberText(double value) {
  double whole = std::isfinite(value) ? std::trunc(value) : 0.0;
  if (whole == 0.0) whole = 0.0;  // no "-0"
  char text[400];
  std::snprintf(text, sizeof text, "%.0f", whole);
  return text;
}

std::optional<DateTime> CheckCursorTime(DateTime opened, DateTime pickedDate, DateTime pickedTime, DateTime viewXMin,
                                        DateTime viewXMax) {
  DateTime x = pickedDate + pickedTime - opened;
  if (CompareTimes(x, opened) != 0) {
    const std::string text = CursorText(x);
    if (text > CursorText(viewXMax) || text < CursorText(viewXMin)) return std::nullopt;
    if (CompareTimes(x, viewXMax) > 0) {
      x = viewXMax;
    } else if (CompareTimes(x, viewXMin) < 0) {
      x = viewXMin;
    }
  }
  return x;
}

CursorDialogResult CheckCursorDialog(const CursorDialogStart& start, DateTime pickedDate,
                                     DateTime pickedTime, std::string_view y1Text,
                                     std::string_view y2Text) {
  CursorDialogResult result;
  const std::optional<DateTime> checked =
      CheckCursorTime(start.cursorX, pickedDate, pickedTime, start.viewXMin, start.viewXMax);
  if (!checked) {
    result.message = kTimeOutsideView;
    return result;
  }
  const DateTime x = *checked;
  double y1 = 0.0;
  double y2 = 0.0;
  if (!CheckY(y1Text, start.cursorY1, start.viewYMin, start.viewYMax, CursorDialogFocus::Y1, y1,
              result) ||
      !CheckY(y2Text, start.cursorY2, start.viewYMin, start.viewYMax, CursorDialogFocus::Y2, y2,
              result)) {
    return result;
  }
  result.accepted = true;
  result.x = x;
  result.y1 = y1;
  result.y2 = y2;
  return result;
}

}  // namespace vantiro
