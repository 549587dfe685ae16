#include "chart/AlarmEvents.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

namespace vantiro {
namespace {

std::int64_t Ms(DateTime t) { return SpanMilliseconds(t); }

bool HasWidth(const std::optional<std::pair<double, double>>& range) {
  return range && std::isfinite(range->second - range->first) && range->second != range->first;
}

double Share(double width) {
  const double d = kDefaultDeadbandShare * std::fabs(width);
  return std::isfinite(d) ? d : 0.0;
}

// A rule's figure: a negative one or one that is no figure counts as 0.
double Figure(double value) { return std::isfinite(value) && value > 0.0 ? value : 0.0; }

}  // namespace

bool DefaultDeadbandNeedsValues(const ChannelLimits& limits, const std::optional<std::pair<double, double>>& range) {
  return !HasWidth(range) && limits.upper.has_value() != limits.lower.has_value();
}

double DefaultDeadband(const ChannelLimits& limits, const std::optional<std::pair<double, double>>& range,
                       const ValueSpan& values) {
  if (HasWidth(range)) return Share(range->second - range->first);
  if (limits.upper && limits.lower) return Share(*limits.upper - *limits.lower);
  if (!limits.upper && !limits.lower) return 0.0;
  const double limit = limits.upper ? *limits.upper : *limits.lower;
  if (!values.any) return Share(0.0);
  return Share(std::max(limit, static_cast<double>(values.high)) - std::min(limit, static_cast<double>(values.low)));
}

double DefaultDeadband(const ChannelLimits& limits, const std::optional<std::pair<double, double>>& range,
                       const ChannelInfo& channel) {
  ValueSpan values;
  if (DefaultDeadbandNeedsValues(limits, range)) {
    const std::size_t n = std::min(channel.times.size(), channel.values.size());
    for (std::size_t i = 0; i < n; ++i) values.Add(channel.values[i]);
  }
  return DefaultDeadband(limits, range, values);
}

AlarmEventFinder::AlarmEventFinder(int number, const ChannelLimits& limits, const AlarmEventRules& rules,
                                   const AlarmEventCap& cap)
    : number_(number),
      hasUpper_(limits.upper.has_value()),
      hasLower_(limits.lower.has_value()),
      apart_(limits.upper && limits.lower && *limits.upper > *limits.lower),
      upper_(limits.upper.value_or(0.0)),
      lower_(limits.lower.value_or(0.0)),
      minSeconds_(Figure(rules.minSeconds)),
      most_(cap.most) {
  const double deadband = Figure(rules.deadband);
  upperEdge_ = hasUpper_ ? upper_ - deadband : 0.0;
  lowerEdge_ = hasLower_ ? lower_ + deadband : 0.0;
  upperEdgeStored_ = static_cast<float>(upperEdge_);
  lowerEdgeStored_ = static_cast<float>(lowerEdge_);
  grainMs_[0] = grainMs_[1] = std::max<std::int64_t>(cap.grainMs, 0);
}

void AlarmEventFinder::Close(OpenPeriod& period, bool upper, DateTime end) {
  period.open = false;
  AlarmEvent e;
  e.number = number_;
  e.upper = upper;
  e.limit = upper ? upper_ : lower_;
  e.start = period.start;
  e.end = end;
  e.seconds = static_cast<double>(Ms(e.end) - Ms(e.start)) / 1000.0;
  e.extreme = period.extreme;
  e.extremeTime = period.extremeTime;
  if (!(e.seconds >= minSeconds_)) return;
  ++total_;
  if (kept_.size() < most_) {
    kept_.push_back(e);
  } else {
    Spill(e);
  }
}

void AlarmEventFinder::Spill(const AlarmEvent& event) {
  std::vector<AlarmEvent>& side = beyond_[event.upper ? 0 : 1];
  std::int64_t& grain = grainMs_[event.upper ? 0 : 1];
  const auto merge = [](AlarmEvent& into, const AlarmEvent& e) {
    if (e.end > into.end) into.end = e.end;
    into.seconds = static_cast<double>(Ms(into.end) - Ms(into.start)) / 1000.0;
    if (e.upper ? e.extreme > into.extreme : e.extreme < into.extreme) {
      into.extreme = e.extreme;
      into.extremeTime = e.extremeTime;
    }
  };
  if (!side.empty() && Ms(event.start) - Ms(side.back().end) <= grain) {
    merge(side.back(), event);
  } else {
    side.push_back(event);
  }
  const std::size_t bound = std::max<std::size_t>(most_, 1);
  while (side.size() > bound) {
    grain = grain < std::numeric_limits<std::int64_t>::max() / 4 ? std::max<std::int64_t>(1, grain * 2)
                                                                 : std::numeric_limits<std::int64_t>::max();
    std::size_t kept = 0;
    for (std::size_t k = 1; k < side.size(); ++k) {
      if (Ms(side[k].start) - Ms(side[kept].end) <= grain) {
        merge(side[kept], side[k]);
      } else {
        side[++kept] = side[k];
      }
    }
    side.resize(kept + 1);
  }
}

void AlarmEventFinder::Finish() {
  if (any_) {
    if (above_.open) Close(above_, true, last_);
    if (below_.open) Close(below_, false, last_);
  }
  any_ = false;
  const auto byStart = [](const AlarmEvent& x, const AlarmEvent& y) { return x.start < y.start; };
  std::stable_sort(kept_.begin(), kept_.end(), byStart);
  beyond_[0].insert(beyond_[0].end(), beyond_[1].begin(), beyond_[1].end());
  beyond_[1].clear();
  beyond_[1].shrink_to_fit();
  std::stable_sort(beyond_[0].begin(), beyond_[0].end(), byStart);
}

std::vector<AlarmEvent> FindAlarmEvents(const ChannelInfo& channel, const ChannelLimits& limits,
                                        const AlarmEventRules& rules) {
  AlarmEventFinder finder(channel.number, limits, rules);
  const std::size_t n = std::min(channel.times.size(), channel.values.size());
  if (!finder.Active() || n == 0) return {};
  // The samples in time order (stored order unless their times go back).
  const std::vector<std::size_t> order = SamplesInTimeOrder(channel);
  if (order.empty()) {
    for (std::size_t i = 0; i < n; ++i) finder.Add(channel.times[i], channel.values[i]);
  } else {
    for (const std::size_t i : order) finder.Add(channel.times[i], channel.values[i]);
  }
  finder.Finish();
  return std::move(finder.Events());
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
