#include "chart/AlarmEvents.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace vantiro {
namespace {

std::int64_t Ms(DateTime t) { return SpanMilliseconds(t); }

// A period being followed while the samples stream past.
struct OpenPeriod {
  bool open = false;
  std::size_t startAt = 0;   // sample index
  std::size_t extremeAt = 0;
};

}  // namespace

double DefaultDeadband(const ChannelLimits& limits, const std::optional<std::pair<double, double>>& range,
                       const ChannelInfo& channel) {
  const auto share = [](double width) {
    const double d = kDefaultDeadbandShare * std::fabs(width);
    return std::isfinite(d) ? d : 0.0;
  };
  if (range && std::isfinite(range->second - range->first) && range->second != range->first) {
    return share(range->second - range->first);
  }
  if (limits.upper && limits.lower) return share(*limits.upper - *limits.lower);
  if (!limits.upper && !limits.lower) return 0.0;
  double low = limits.upper ? *limits.upper : *limits.lower;
  double high = low;
  const std::size_t n = std::min(channel.times.size(), channel.values.size());
  for (std::size_t i = 0; i < n; ++i) {
    const float v = channel.values[i];
    if (IsGapValue(v) || !std::isfinite(v)) continue;
    low = std::min(low, static_cast<double>(v));
    high = std::max(high, static_cast<double>(v));
  }
  return share(high - low);
}

std::vector<AlarmEvent> FindAlarmEvents(const ChannelInfo& channel, const ChannelLimits& limits,
                                        const AlarmEventRules& rules) {
  std::vector<AlarmEvent> events;
  if (!limits.upper && !limits.lower) return events;
  const std::size_t n = std::min(channel.times.size(), channel.values.size());
  if (n == 0) return events;
  const double deadband = std::isfinite(rules.deadband) && rules.deadband > 0.0 ? rules.deadband : 0.0;
  const double minSeconds = std::isfinite(rules.minSeconds) && rules.minSeconds > 0.0 ? rules.minSeconds : 0.0;
  // Where a period ends: a value back inside the limit and at or past the deadband's edge (the
  // edge also as a float, as the recorder stores the value), or beyond the other limit.
  const bool apart = limits.upper && limits.lower && *limits.upper > *limits.lower;
  const double upperEdge = limits.upper ? *limits.upper - deadband : 0.0;
  const double lowerEdge = limits.lower ? *limits.lower + deadband : 0.0;
  const float upperEdgeStored = static_cast<float>(upperEdge);
  const float lowerEdgeStored = static_cast<float>(lowerEdge);
  const auto backFromAbove = [&](float v) {
    return v <= *limits.upper && (v <= upperEdge || v <= upperEdgeStored || (apart && v < *limits.lower));
  };
  const auto backFromBelow = [&](float v) {
    return v >= *limits.lower && (v >= lowerEdge || v >= lowerEdgeStored || (apart && v > *limits.upper));
  };
  // The samples in time order (stored order unless their times go back).
  const std::vector<std::size_t> order = SamplesInTimeOrder(channel);
  const bool ascending = order.empty();
  const auto at = [&](std::size_t k) { return ascending ? k : order[k]; };
  OpenPeriod above, below;
  const auto close = [&](OpenPeriod& period, bool upper, std::size_t endAt) {
    if (!period.open) return;
    period.open = false;
    AlarmEvent e;
    e.number = channel.number;
    e.upper = upper;
    e.limit = upper ? *limits.upper : *limits.lower;
    e.start = channel.times[period.startAt];
    e.end = channel.times[endAt];
    e.seconds = static_cast<double>(Ms(e.end) - Ms(e.start)) / 1000.0;
    e.extreme = channel.values[period.extremeAt];
    e.extremeTime = channel.times[period.extremeAt];
    if (e.seconds >= minSeconds) events.push_back(e);
  };
  const auto follow = [&](OpenPeriod& period, bool upper, bool beyond, bool back, std::size_t i) {
    if (!period.open) {
      if (beyond) {
        period.open = true;
        period.startAt = period.extremeAt = i;
      }
    } else if (back) {
      close(period, upper, i);
    } else {
      const float v = channel.values[i];
      const float extreme = channel.values[period.extremeAt];
      if (upper ? v > extreme : v < extreme) period.extremeAt = i;
    }
  };
  for (std::size_t k = 0; k < n; ++k) {
    const std::size_t i = at(k);
    const float v = channel.values[i];
    if (IsGapValue(v) || std::isnan(v)) {
      close(above, true, i);
      close(below, false, i);
      continue;
    }
    if (limits.upper) follow(above, true, v > *limits.upper, backFromAbove(v), i);
    if (limits.lower) follow(below, false, v < *limits.lower, backFromBelow(v), i);
  }
  const std::size_t last = at(n - 1);
  close(above, true, last);
  close(below, false, last);
  std::stable_sort(events.begin(), events.end(),
                   [](const AlarmEvent& x, const AlarmEvent& y) { return x.start < y.start; });
  return events;
}

ChannelInfo ChannelFromLine(const ChartLine& line, int number, const std::string& unit) {
  ChannelInfo channel;
  channel.number = static_cast<std::int16_t>(number);
  channel.unit = unit;
  channel.times.reserve(line.points.size());
  channel.values.reserve(line.points.size());
  std::size_t nextGap = 0;
  for (std::size_t i = 0; i < line.points.size(); ++i) {
    while (nextGap < line.gaps.size() && line.gaps[nextGap] < i) ++nextGap;
    const bool gap = nextGap < line.gaps.size() && line.gaps[nextGap] == i;
    channel.times.push_back(line.points[i].x);
    channel.values.push_back(gap ? GapValue : static_cast<float>(line.points[i].y));
  }
  return channel;
}

std::string AlarmLimitText(const AlarmEvent& event, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%s %.*f", event.upper ? "上限" : "下限", std::clamp(decimals, 0, 6), event.limit);
  return text;
}

}  // namespace vantiro
