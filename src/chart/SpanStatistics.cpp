#include "chart/SpanStatistics.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vantiro {
namespace {

std::int64_t Ms(DateTime t) { return SpanMilliseconds(t); }

std::string Fixed(double value, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  std::string s = text;
  if (s == "-0" || s.rfind("-0.", 0) == 0) {
    // A negative value that shows as zero is zero.
    if (s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
  }
  return s;
}

std::string TimeText(DateTime t) {
  // yyyy-MM-dd HH:mm:ss.zzz from whole milliseconds.
  const std::int64_t ms = Ms(t);
  const std::int64_t day = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
  const std::int64_t inDay = ms - day * 86400000;
  const DateTimeFields fields = DecodeDateTime(static_cast<double>(day));
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d.%03d", fields.year, fields.month, fields.day,
                static_cast<int>(inDay / 3600000), static_cast<int>(inDay / 60000 % 60),
                static_cast<int>(inDay / 1000 % 60), static_cast<int>(inDay % 1000));
  return text;
}

}  // namespace

std::int64_t SpanMilliseconds(DateTime t) {
  // No library call: this runs once a sample.
  const double ms = t * 86400000.0;
  return static_cast<std::int64_t>(ms + (ms >= 0.0 ? 0.5 : -0.5));
}

std::vector<std::size_t> SamplesInTimeOrder(const ChannelInfo& channel) {
  const std::size_t n = std::min(channel.times.size(), channel.values.size());
  bool ascending = true;
  for (std::size_t i = 1; i < n && ascending; ++i) ascending = !(channel.times[i] < channel.times[i - 1]);
  if (ascending) return {};
  std::vector<std::int64_t> ms(n);
  for (std::size_t i = 0; i < n; ++i) ms[i] = Ms(channel.times[i]);
  std::vector<std::size_t> order(n);
  for (std::size_t i = 0; i < n; ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t x, std::size_t y) { return ms[x] < ms[y]; });
  return order;
}

void DecimalsFinder::Add(float value) {
  static constexpr double kScales[5] = {1.0, 10.0, 100.0, 1000.0, 10000.0};
  if (IsGapValue(value)) return;
  while (decimals_ <= 4 &&
         static_cast<float>(std::round(static_cast<double>(value) * kScales[decimals_]) / kScales[decimals_]) != value) {
    ++decimals_;
  }
}

int ChannelDecimals(const ChannelInfo& channel) {
  DecimalsFinder finder;
  for (const float v : channel.values) {
    finder.Add(v);
    if (finder.GaveUp()) break;
  }
  return finder.Decimals();
}

SpanAccumulator::SpanAccumulator(DateTime from, DateTime to, const ChannelLimits& limits)
    : a_(Ms(std::min(from, to))),
      b_(Ms(std::max(from, to))),
      hasUpper_(limits.upper.has_value()),
      hasLower_(limits.lower.has_value()),
      upper_(limits.upper.value_or(0.0)),
      lower_(limits.lower.value_or(0.0)) {}

void SpanAccumulator::Finish(SpanStatistics& s) {
  if (pending_ && !done_) Settle(false, 0);
  pending_ = false;
  done_ = true;
  if (atStart_) s.atStart = startValue_;
  if (atEnd_) s.atEnd = endValue_;
  if (s.atStart && s.atEnd) s.delta = *s.atEnd - *s.atStart;
  if (anyInside_) {
    s.min = lowest_;
    s.max = highest_;
    s.minTime = lowestTime_;
    s.maxTime = highestTime_;
  }
  if (weight_ > 0.0) {
    s.mean = weighted_ / weight_;
  } else if (anyInside_) {
    s.mean = firstInside_;  // a single moment: its value
  }
  if (hasUpper_) s.secondsAbove = above_;
  if (hasLower_) s.secondsBelow = below_;
}

SpanStatistics ComputeSpanStatistics(const ChannelInfo& channel, DateTime from, DateTime to,
                                     const ChannelLimits& limits) {
  SpanStatistics s;
  s.number = channel.number;
  s.unit = channel.unit;
  SpanAccumulator span(from, to, limits);
  const std::size_t n = std::min(channel.times.size(), channel.values.size());
  // The samples in time order: as stored when their times never go back (then only those from the
  // one holding at the start on are looked at), else sorted (stable).
  const std::vector<std::size_t> order = SamplesInTimeOrder(channel);
  if (order.empty()) {
    const DateTime* times = channel.times.data();
    const std::int64_t a = span.FromMs();
    // The last sample at or before the start (the first one when there is none).
    std::size_t lo = 0, hi = n;
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if (Ms(times[mid]) <= a) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    for (std::size_t k = lo > 0 ? lo - 1 : 0; k < n; ++k) {
      if (!span.Add(Ms(times[k]), times[k], channel.values[k])) break;
    }
  } else {
    for (const std::size_t i : order) {
      if (!span.Add(Ms(channel.times[i]), channel.times[i], channel.values[i])) break;
    }
  }
  span.Finish(s);
  return s;
}

std::vector<std::vector<std::string>> SpanStatisticsCells(const std::vector<SpanStatistics>& rows) {
  std::vector<std::vector<std::string>> cells;
  cells.reserve(rows.size() + 1);
  cells.push_back({"通道", "单位", "起点值", "终点值", "差值", "最小值", "最小值时间", "最大值", "最大值时间", "平均值",
                   "超上限时间", "超下限时间"});
  for (const SpanStatistics& s : rows) {
    const auto value = [&](const std::optional<double>& v) { return v ? Fixed(*v, s.decimals) : std::string(); };
    const auto seconds = [](const std::optional<double>& v) { return v ? Fixed(*v, 3) : std::string(); };
    char name[16];
    std::snprintf(name, sizeof name, "通道%02d", s.number);
    cells.push_back({name, s.unit, value(s.atStart), value(s.atEnd), value(s.delta), value(s.min),
                     s.min ? TimeText(s.minTime) : "", value(s.max), s.max ? TimeText(s.maxTime) : "", value(s.mean),
                     seconds(s.secondsAbove), seconds(s.secondsBelow)});
  }
  return cells;
}

std::string SpanStatisticsTable(const std::vector<SpanStatistics>& rows) {
  std::string text;
  for (const std::vector<std::string>& row : SpanStatisticsCells(rows)) {
    for (std::size_t c = 0; c < row.size(); ++c) text += (c ? "\t" : "") + row[c];
    text += '\n';
  }
  return text;
}

std::string SpanTimeText(DateTime t) { return TimeText(t); }

std::string SpanStatisticsCsv(const std::vector<SpanStatistics>& rows) {
  std::string csv;
  for (const std::vector<std::string>& row : SpanStatisticsCells(rows)) {
    for (std::size_t c = 0; c < row.size(); ++c) {
      if (c) csv += ',';
      if (row[c].find_first_of(",\"") == std::string::npos) {
        csv += row[c];
        continue;
      }
      csv += '"';
      for (const char ch : row[c]) {
        if (ch == '"') csv += '"';
        csv += ch;
      }
      csv += '"';
    }
    csv += '\n';
  }
  return csv;
}

}  // namespace vantiro
