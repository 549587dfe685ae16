#include "chart/ChartLines.h"
#include "chart/LineEnvelope.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

namespace vantiro {
namespace {

// True when no value of [begin, end) can be a gap marker: the cheap band test of IsGapValue over a
// block, written so that the compiler turns it into vector compares.
bool BlockHasNoGapCandidate(const float* values, std::size_t begin, std::size_t end) {
  int candidate = 0;
  for (std::size_t i = begin; i < end; ++i) {
    candidate |= static_cast<int>(values[i] <= -157.9f) & static_cast<int>(values[i] >= -158.1f);
  }
  return candidate == 0;
}

// The index of the first gap sample in [from, end), or end.
std::size_t NextGap(const float* values, std::size_t from, std::size_t end) {
  constexpr std::size_t kBlock = 64;
  std::size_t i = from;
  while (i < end) {
    const std::size_t blockEnd = std::min(end, i + kBlock);
    if (BlockHasNoGapCandidate(values, i, blockEnd)) {
      i = blockEnd;
      continue;
    }
    for (; i < blockEnd; ++i) {
      if (IsGapValue(values[i])) return i;
    }
  }
  return end;
}

// Appends samples [begin, end) of a channel: every gap sample as a point at the gap height, every
// other sample whose index is a multiple of k as itself.
void AppendSamples(const ChannelInfo& channel, std::size_t begin, std::size_t end, int k,
                   double gapHeight, ChartLine& line) {
  const DateTime* times = channel.times.data();
  const float* values = channel.values.data();
  const auto step = static_cast<std::size_t>(k);
  std::size_t i = begin;
  while (i < end) {
    const std::size_t gap = NextGap(values, i, end);
    for (std::size_t m = (i + step - 1) / step * step; m < gap; m += step) {
      line.Append(times[m], values[m]);
    }
    if (gap == end) break;
    line.AppendGap(times[gap], gapHeight);
    i = gap + 1;
  }
}

// A line whose times go back gets its time order for the read-out here, on the fill's worker.
void FinishLine(const ChartLine& line) {
  if (!line.ascending) line.TimeOrder();
}

ChartLine NewLine(const ChannelInfo& channel, std::size_t position) {
  ChartLine line;
  line.title = LineTitle(channel.number);
  line.unit = channel.unit;
  line.unitChanges = channel.unitChanges;
  line.palettePosition = position;
  return line;
}

std::size_t SampleCount(const ChannelInfo& channel) {
  return std::min(channel.times.size(), channel.values.size());
}

bool Selected(const ChannelInfo& channel, const std::array<bool, 16>& channelSelected) {
  return channel.number >= 1 && channel.number <= 16 &&
         channelSelected[static_cast<std::size_t>(channel.number - 1)];
}

struct SampleRange {
  std::size_t begin;
  std::size_t end;
};

// True when the times never go back (and are all numbers). Blocks of 16 comparisons without a
// branch, which the compiler turns into vector compares.
// (Clang vectorizes at -O2 already; GCC is asked to.)
#if defined(__clang__)
#define VANTIRO_VECTORIZE
#else
#define VANTIRO_VECTORIZE , optimize("tree-vectorize")
#endif
__attribute__((target_clones("avx2", "default") VANTIRO_VECTORIZE)) bool TimesAscend(
    const DateTime* times, std::size_t n) {
  constexpr std::size_t kBlock = 16;
  std::size_t i = 1;
  for (; i + kBlock <= n; i += kBlock) {
    int back = 0;
    for (std::size_t k = 0; k < kBlock; ++k) {
      back |= static_cast<int>(!(times[i + k] >= times[i + k - 1]));
    }
    if (back != 0) return false;
  }
  for (; i < n; ++i) {
    if (!(times[i] >= times[i - 1])) return false;
  }
  return true;
}

// The samples a window's scan takes from a channel, as runs in stored order: the scan passes over
// samples before the window one by one and stops at the first sample after it, whatever follows.
// Times within 1 ms of an edge are inside. A channel whose times ascend is one run, found by
// bisection (the comparison with an edge only grows with the time).
std::vector<SampleRange> ScanWindow(const ChannelInfo& channel, DateTime from, DateTime to) {
  const std::size_t n = SampleCount(channel);
  const DateTime* times = channel.times.data();
  std::vector<SampleRange> runs;
  if (TimesAscend(times, n)) {
    const DateTime* first = std::partition_point(times, times + n, [from](DateTime t) { return CompareTimes(t, from) < 0; });
    const DateTime* last = std::partition_point(first, times + n, [to](DateTime t) { return CompareTimes(t, to) <= 0; });
    if (first < last) runs.push_back({static_cast<std::size_t>(first - times), static_cast<std::size_t>(last - times)});
    return runs;
  }
  std::size_t i = 0;
  while (i < n && CompareTimes(times[i], to) <= 0) {
    if (CompareTimes(times[i], from) < 0) {
      ++i;
      continue;
    }
    const std::size_t begin = i;
    while (i < n && CompareTimes(times[i], to) <= 0 && CompareTimes(times[i], from) >= 0) ++i;
    runs.push_back({begin, i});
  }
  return runs;
}

// A fill of the samples of [from, to]: the read-out reads them.
void ReadSamplesIn(ChartFill& fill, DateTime from, DateTime to) {
  fill.fromSamples = true;
  fill.readFrom = from;
  fill.readTo = to;
}

// Axes, zoom state and cursors of a fill over [from, to].
void SetWindows(ChartFill& fill, const DatasetSummary& summary, DateTime from, DateTime to) {
  fill.bottom = {from, to, (to - from) * kLabelStepFactor};
  const double low = static_cast<double>(summary.rangeMin) - kValueMargin;
  const double high = static_cast<double>(summary.rangeMax) + kValueMargin;
  fill.left = {low, high, (high - low) * kLabelStepFactor};
  fill.freezeTimeWindow = NarrowerThanTimeLimit(to - from);
  fill.cursorX = from;
  fill.cursorY1 = summary.rangeMax;
  fill.cursorY2 = summary.rangeMin;
  fill.gapHeight = GapHeight(summary);
}

}  // namespace

bool ChartLine::IsGap(std::size_t index) const {
  return std::binary_search(gaps.begin(), gaps.end(), index);
}

void ChartLine::Clear() {
  points.clear();
  gaps.clear();
  bandLow.clear();
  bandHigh.clear();
  timeOrder_.clear();
  ascending = true;
  minX = maxX = 0.0;
}

const std::vector<std::uint32_t>& ChartLine::TimeOrder() const {
  if (timeOrder_.size() == points.size() ||
      points.size() > std::numeric_limits<std::uint32_t>::max()) {
    return timeOrder_;
  }
  timeOrder_.resize(points.size());
  for (std::size_t i = 0; i < points.size(); ++i) timeOrder_[i] = static_cast<std::uint32_t>(i);
  // A strict order even where a time is no number: those go last.
  const ChartPoint* p = points.data();
  std::sort(timeOrder_.begin(), timeOrder_.end(), [p](std::uint32_t a, std::uint32_t b) {
    const bool aNone = std::isnan(p[a].x);
    const bool bNone = std::isnan(p[b].x);
    if (aNone != bNone) return bNone;
    if (!aNone && p[a].x != p[b].x) return p[a].x < p[b].x;
    return a < b;
  });
  return timeOrder_;
}

int ThinningFactor(std::int64_t samples) {
  if (samples <= kThinningThreshold) return 1;
  return static_cast<int>(samples / kThinningThreshold + 1);
}

std::string LineTitle(int number) {
  char text[32];
  std::snprintf(text, sizeof text, "通道%.2d", number);
  return text;
}

ChartFill FillChart(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary) {
  ChartFill fill;
  fill.thinning = ThinningFactor(summary.sampleCount);
  const double gapHeight = GapHeight(summary);
  fill.lines.reserve(channels.size());
  for (std::size_t p = 0; p < channels.size(); ++p) {
    const ChannelInfo& channel = channels[p];
    ChartLine line = NewLine(channel, p);
    const std::size_t n = SampleCount(channel);
    line.points.reserve(n / static_cast<std::size_t>(fill.thinning) + 1);
    AppendSamples(channel, 0, n, fill.thinning, gapHeight, line);
    FinishLine(line);
    fill.lines.push_back(std::move(line));
  }
  SetWindows(fill, summary, summary.startTime, summary.endTime);
  fill.fromSamples = true;  // every sample, whatever the header's window says
  return fill;
}

ChartLine EnvelopeChartLine(const ChannelInfo& channel, std::size_t position, DateTime from, DateTime to,
                            int pixels, double gapHeight, int thinning, const EnvelopeIndex* index) {
  ChartLine line = NewLine(channel, position);
  const std::size_t n = SampleCount(channel);
  const DateTime* times = channel.times.data();
  // (A caller that gives the index has found the times ascending.)
  if (!index && !std::is_sorted(times, times + n)) {
    // In stored order, thinned, within the window as the fills scan it.
    for (const SampleRange& run : ScanWindow(channel, from, to)) {
      AppendSamples(channel, run.begin, run.end, thinning, gapHeight, line);
    }
    FinishLine(line);
    return line;
  }
  for (const EnvelopePoint& point : LineEnvelope(times, channel.values.data(), n, from, to, pixels, index)) {
    if (point.gap) {
      line.AppendGap(point.x, gapHeight);
    } else {
      line.Append(point.x, point.y);
    }
  }
  return line;
}

ChartFill FillChartEnvelope(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary, DateTime from,
                            DateTime to, int pixels, const std::array<bool, 16>* selected,
                            std::int64_t sampleCount) {
  ChartFill fill;
  fill.thinning = ThinningFactor(sampleCount >= 0 ? sampleCount : summary.sampleCount);
  const double gapHeight = GapHeight(summary);
  for (std::size_t p = 0; p < channels.size(); ++p) {
    if (selected && !Selected(channels[p], *selected)) continue;
    fill.lines.push_back(EnvelopeChartLine(channels[p], p, from, to, pixels, gapHeight, fill.thinning));
  }
  SetWindows(fill, summary, from, to);
  ReadSamplesIn(fill, from, to);
  return fill;
}

ChartFill FillChart(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
                    const ChartScope& scope) {
  ChartFill fill;
  fill.thinning = ThinningFactor(scope.sampleCount);
  const double gapHeight = GapHeight(summary);
  for (std::size_t p = 0; p < channels.size(); ++p) {
    const ChannelInfo& channel = channels[p];
    if (!Selected(channel, scope.channelSelected)) continue;
    ChartLine line = NewLine(channel, p);
    for (const SampleRange& run : ScanWindow(channel, scope.from, scope.to)) {
      AppendSamples(channel, run.begin, run.end, fill.thinning, gapHeight, line);
    }
    FinishLine(line);
    fill.lines.push_back(std::move(line));
  }
  SetWindows(fill, summary, scope.from, scope.to);
  ReadSamplesIn(fill, scope.from, scope.to);
  return fill;
}

namespace {

// Appends samples [begin, end) as AppendSamples does, a block at a time, and tells whether the times
// of [begin - 1, end) ascend (those of [0, end) when begin is 0): each block's times are checked
// while they are at hand, so the times are read once for both.
bool AppendSamplesCheckingOrder(const ChannelInfo& channel, std::size_t begin, std::size_t end,
                                int k, double gapHeight, ChartLine& line) {
  constexpr std::size_t kBlock = 8192;
  const DateTime* times = channel.times.data();
  bool ascend = true;
  for (std::size_t b = begin; b < end;) {
    const std::size_t e = std::min(end, b + kBlock);
    const std::size_t from = b == 0 ? 0 : b - 1;
    ascend = TimesAscend(times + from, e - from) && ascend;
    AppendSamples(channel, b, e, k, gapHeight, line);
    b = e;
  }
  return ascend;
}

// The filter's lines the quick way, for channels whose times ascend (as a recorder writes them):
// each window found by bisection, the samples counted from it, and the lines appended while the
// times they pass are checked. What the scan of the window needs holds when the times up to the
// window's end ascend and the sample after the end lies after the window: the scan then passes
// over the samples before the window, takes the window and stops there, as the bisection found.
// Nothing when a channel turns out otherwise; with `check` off, the lines as if every channel's
// times ascended (whoever asks knows it from elsewhere).
std::optional<ChartFill> FillAscendingInWindow(const std::vector<ChannelInfo>& channels,
                                               const DatasetSummary& summary,
                                               const std::array<bool, 16>& channelSelected,
                                               DateTime from, DateTime to, bool check) {
  std::vector<SampleRange> windows(channels.size(), SampleRange{0, 0});
  std::int64_t count = 0;
  for (std::size_t p = 0; p < channels.size(); ++p) {
    if (!Selected(channels[p], channelSelected)) continue;
    const DateTime* times = channels[p].times.data();
    const std::size_t n = SampleCount(channels[p]);
    const DateTime* last = std::partition_point(times, times + n, [to](DateTime t) { return CompareTimes(t, to) <= 0; });
    const DateTime* first = std::partition_point(times, last, [from](DateTime t) { return CompareTimes(t, from) < 0; });
    windows[p] = {static_cast<std::size_t>(first - times), static_cast<std::size_t>(last - times)};
    count += last - first;
  }
  ChartFill fill;
  fill.thinning = ThinningFactor(count);
  const double gapHeight = GapHeight(summary);
  for (std::size_t p = 0; p < channels.size(); ++p) {
    if (!Selected(channels[p], channelSelected)) continue;
    const ChannelInfo& channel = channels[p];
    const DateTime* times = channel.times.data();
    const auto [first, last] = windows[p];
    ChartLine line = NewLine(channel, p);
    line.points.reserve((last - first) / static_cast<std::size_t>(fill.thinning) + 1);
    if (check) {
      // The times before the window ascend, and so do those in it (checked as they are appended).
      if (!TimesAscend(times, std::min(first + 1, last))) return std::nullopt;
      if (last < SampleCount(channel) && CompareTimes(times[last], to) <= 0) return std::nullopt;
      if (!AppendSamplesCheckingOrder(channel, first, last, fill.thinning, gapHeight, line)) {
        return std::nullopt;
      }
    } else {
      AppendSamples(channel, first, last, fill.thinning, gapHeight, line);
    }
    FinishLine(line);
    fill.lines.push_back(std::move(line));
  }
  SetWindows(fill, summary, from, to);
  ReadSamplesIn(fill, from, to);
  return fill;
}

}  // namespace

ChartFill FillChartInWindow(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
                            const std::array<bool, 16>& channelSelected, DateTime from, DateTime to) {
  if (std::optional<ChartFill> fill =
          FillAscendingInWindow(channels, summary, channelSelected, from, to, true)) {
    return std::move(*fill);
  }
  std::vector<std::vector<SampleRange>> runs(channels.size());
  std::int64_t count = 0;
  for (std::size_t p = 0; p < channels.size(); ++p) {
    if (!Selected(channels[p], channelSelected)) continue;
    runs[p] = ScanWindow(channels[p], from, to);
    for (const SampleRange& run : runs[p]) count += static_cast<std::int64_t>(run.end - run.begin);
  }
  ChartFill fill;
  fill.thinning = ThinningFactor(count);
  const double gapHeight = GapHeight(summary);
  for (std::size_t p = 0; p < channels.size(); ++p) {
    if (!Selected(channels[p], channelSelected)) continue;
    ChartLine line = NewLine(channels[p], p);
    for (const SampleRange& run : runs[p]) {
      AppendSamples(channels[p], run.begin, run.end, fill.thinning, gapHeight, line);
    }
    FinishLine(line);
    fill.lines.push_back(std::move(line));
  }
  SetWindows(fill, summary, from, to);
  ReadSamplesIn(fill, from, to);
  return fill;
}

ChartFill FillChartInBisectedWindow(const std::vector<ChannelInfo>& channels,
                                    const DatasetSummary& summary,
                                    const std::array<bool, 16>& channelSelected, DateTime from,
                                    DateTime to) {
  return std::move(*FillAscendingInWindow(channels, summary, channelSelected, from, to, false));
}

std::int64_t CountScopeSamples(const std::vector<ChannelInfo>& channels,
                               const std::array<bool, 16>& channelSelected, DateTime from,
                               DateTime to) {
  std::int64_t count = 0;
  for (const ChannelInfo& channel : channels) {
    if (!Selected(channel, channelSelected)) continue;
    for (const SampleRange& run : ScanWindow(channel, from, to)) count += run.end - run.begin;
  }
  return count;
}

ChartLine CompactLiveLine(const ChartLine& line, std::size_t keepExact, std::size_t olderColumns) {
  ChartLine out;
  out.title = line.title;
  out.unit = line.unit;
  out.unitChanges = line.unitChanges;
  out.palettePosition = line.palettePosition;
  const std::size_t n = line.points.size();
  if (n == 0) return out;
  const std::size_t split = n > keepExact ? n - keepExact : 0;
  const bool banded = line.HasBand();
  const auto low = [&](std::size_t i) { return banded ? static_cast<double>(line.bandLow[i]) : line.points[i].y; };
  const auto high = [&](std::size_t i) { return banded ? static_cast<double>(line.bandHigh[i]) : line.points[i].y; };
  const auto push = [&](DateTime x, double y, double lo, double hi, bool gap) {
    if (gap) {
      out.AppendGap(x, y);
    } else {
      out.Append(x, y);
    }
    out.bandLow.push_back(static_cast<float>(lo));
    out.bandHigh.push_back(static_cast<float>(hi));
  };
  if (split > 0) {
    const DateTime first = line.points.front().x;
    const DateTime last = line.points[split - 1].x;
    const double width = olderColumns > 0 && last > first ? (last - first) / static_cast<double>(olderColumns) : 0.0;
    std::size_t i = 0;
    while (i < split) {
      if (line.IsGap(i)) {
        push(line.points[i].x, line.points[i].y, line.points[i].y, line.points[i].y, true);
        ++i;
        continue;
      }
      // One column: the points of its time, up to the next gap; the last older point belongs to
      // the last column, not to one of its own.
      const auto columnOf = [&](std::size_t k) {
        if (width <= 0.0) return 0.0;
        return std::min(std::floor((line.points[k].x - first) / width), static_cast<double>(olderColumns) - 1.0);
      };
      const double column = columnOf(i);
      const DateTime x = line.points[i].x;
      double sum = 0.0, lo = low(i), hi = high(i);
      std::size_t count = 0;
      while (i < split && !line.IsGap(i) && (count == 0 || columnOf(i) <= column)) {
        sum += line.points[i].y;
        lo = std::min(lo, low(i));
        hi = std::max(hi, high(i));
        ++count;
        ++i;
      }
      push(x, sum / static_cast<double>(count), lo, hi, false);
    }
  }
  for (std::size_t i = split; i < n; ++i) {
    push(line.points[i].x, line.points[i].y, low(i), high(i), line.IsGap(i));
  }
  return out;
}

int LineChannelNumber(const std::string& title) {
  const std::size_t end = title.size();
  std::size_t begin = end;
  while (begin > 0 && end - begin < 4 && title[begin - 1] >= '0' && title[begin - 1] <= '9') --begin;
  int number = 0;
  for (std::size_t i = begin; i < end; ++i) number = number * 10 + (title[i] - '0');
  return number;
}

}  // namespace vantiro
