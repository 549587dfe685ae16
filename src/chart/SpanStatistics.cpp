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

int ChannelDecimals(const ChannelInfo& channel) {
  static constexpr double kScales[5] = {1.0, 10.0, 100.0, 1000.0, 10000.0};
  for (int d = 0; d <= 4; ++d) {
    bool all = true;
    for (const float v : channel.values) {
      if (IsGapValue(v)) continue;
      const double scaled = std::round(static_cast<double>(v) * kScales[d]);
      if (static_cast<float>(scaled / kScales[d]) != v) {
        all = false;
        break;
      }
    }
    if (all) return d;
  }
  return 3;
}

// The measuring itself, over the samples in time order: `index(k)` is the k-th sample in time
// order, `msAt(k)` its time in milliseconds. Made twice: for samples stored in time order (the
// usual case, the index itself) and for sorted ones.
template <typename Index, typename MsAt>
void Measure(const ChannelInfo& channel, std::size_t n, std::int64_t a, std::int64_t b, const ChannelLimits& limits,
             Index index, MsAt msAt, SpanStatistics& s) {
  // The first sample (in time order) later than `t`.
  const auto after = [&](std::int64_t t) {
    std::size_t lo = 0, hi = n;
    while (lo < hi) {
      const std::size_t mid = lo + (hi - lo) / 2;
      if (msAt(mid) <= t) {
        lo = mid + 1;
      } else {
        hi = mid;
      }
    }
    return lo;
  };
  const std::size_t afterA = after(a);
  const std::size_t afterB = after(b);
  // The value holding at a moment: the last sample at or before it, unless that is a gap.
  const auto holding = [&](std::size_t next) -> std::optional<double> {
    if (next == 0) return std::nullopt;
    const float v = channel.values[index(next - 1)];
    return IsGapValue(v) ? std::nullopt : std::optional<double>(v);
  };
  s.atStart = holding(afterA);
  s.atEnd = holding(afterB);
  if (s.atStart && s.atEnd) s.delta = *s.atEnd - *s.atStart;
  double weighted = 0.0;
  double weight = 0.0;
  double above = 0.0, below = 0.0;
  std::optional<double> firstInside;
  // Kept in locals while the samples stream past (this runs once a sample while a cursor moves).
  bool anyInside = false;
  float lowest = 0.0f, highest = 0.0f;
  std::size_t lowestAt = 0, highestAt = 0;
  const bool hasUpper = limits.upper.has_value();
  const bool hasLower = limits.lower.has_value();
  const double upper = limits.upper.value_or(0.0);
  const double lower = limits.lower.value_or(0.0);
  // From the sample holding at the start to the last one inside the span.
  const std::size_t begin = afterA > 0 ? afterA - 1 : 0;
  std::int64_t t = begin < n ? msAt(begin) : 0;
  for (std::size_t k = begin; k < afterB; ++k) {
    const std::int64_t next = k + 1 < n ? msAt(k + 1) : t;
    const std::size_t i = index(k);
    const float v = channel.values[i];
    if (!IsGapValue(v)) {
      if (t >= a) {
        if (!anyInside) {
          anyInside = true;
          lowest = highest = v;
          lowestAt = highestAt = i;
          firstInside = v;
        } else if (v < lowest) {
          lowest = v;
          lowestAt = i;
        } else if (v > highest) {
          highest = v;
          highestAt = i;
        }
      }
      // How long it held within the span: until the next sample.
      const std::int64_t heldFrom = t > a ? t : a;
      const std::int64_t until = next < b ? next : b;
      if (k + 1 < n && until > heldFrom) {
        const double seconds = static_cast<double>(until - heldFrom) / 1000.0;
        weighted += v * seconds;
        weight += seconds;
        if (hasUpper && v > upper) above += seconds;
        if (hasLower && v < lower) below += seconds;
      }
    }
    t = next;
  }
  if (anyInside) {
    s.min = lowest;
    s.max = highest;
    s.minTime = channel.times[lowestAt];
    s.maxTime = channel.times[highestAt];
  }
  if (weight > 0.0) {
    s.mean = weighted / weight;
  } else if (firstInside) {
    s.mean = *firstInside;  // a single moment: its value
  }
  if (limits.upper) s.secondsAbove = above;
  if (limits.lower) s.secondsBelow = below;
}

SpanStatistics ComputeSpanStatistics(const ChannelInfo& channel, DateTime from, DateTime to,
                                     const ChannelLimits& limits) {
  SpanStatistics s;
  s.number = channel.number;
  s.unit = channel.unit;
  if (limits.upper) s.secondsAbove = 0.0;
  if (limits.lower) s.secondsBelow = 0.0;
  const std::size_t n = std::min(channel.times.size(), channel.values.size());
  const std::int64_t a = Ms(std::min(from, to));
  const std::int64_t b = Ms(std::max(from, to));
  // The samples in time order: as stored when their times never go back (then only those around
  // the span are looked at), else sorted (stable).
  const std::vector<std::size_t> order = SamplesInTimeOrder(channel);
  const bool ascending = order.empty() || n == 0;
  std::vector<std::int64_t> sortedMs;
  if (!ascending) {
    sortedMs.resize(n);
    for (std::size_t k = 0; k < n; ++k) sortedMs[k] = Ms(channel.times[order[k]]);
  }
  if (ascending) {
    Measure(channel, n, a, b, limits, [](std::size_t k) { return k; },
            [&channel](std::size_t k) { return Ms(channel.times[k]); }, s);
  } else {
    Measure(channel, n, a, b, limits, [&order](std::size_t k) { return order[k]; },
            [&sortedMs](std::size_t k) { return sortedMs[k]; }, s);
  }
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
