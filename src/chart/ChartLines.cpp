#include "chart/ChartLines.h"

#include <algorithm>
#include <cstdio>

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
    line.Append(times[gap], gapHeight);
    i = gap + 1;
  }
}

ChartLine NewLine(const ChannelInfo& channel, std::size_t position) {
  ChartLine line;
  line.title = LineTitle(channel.number);
  line.unit = channel.unit;
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

// The part of a channel a window's scan covers: up to the first sample after `to` (the scan stops
// there, whatever follows). Samples before the window inside it are passed over by the callers.
struct SampleRange {
  std::size_t begin;
  std::size_t end;
};
SampleRange WindowOf(const ChannelInfo& channel, DateTime to) {
  const std::size_t n = SampleCount(channel);
  std::size_t end = 0;
  while (end < n && CompareTimes(channel.times[end], to) <= 0) ++end;
  return {0, end};
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
    fill.lines.push_back(std::move(line));
  }
  SetWindows(fill, summary, summary.startTime, summary.endTime);
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
    const SampleRange range = WindowOf(channel, scope.to);
    // Samples before the window are passed over one by one: a channel whose times do not ascend
    // may come back into the window later.
    std::size_t i = range.begin;
    while (i < range.end) {
      while (i < range.end && CompareTimes(channel.times[i], scope.from) < 0) ++i;
      std::size_t inside = i;
      while (inside < range.end && CompareTimes(channel.times[inside], scope.from) >= 0) ++inside;
      AppendSamples(channel, i, inside, fill.thinning, gapHeight, line);
      i = inside;
    }
    fill.lines.push_back(std::move(line));
  }
  SetWindows(fill, summary, scope.from, scope.to);
  return fill;
}

std::int64_t CountScopeSamples(const std::vector<ChannelInfo>& channels,
                               const std::array<bool, 16>& channelSelected, DateTime from,
                               DateTime to) {
  std::int64_t count = 0;
  for (const ChannelInfo& channel : channels) {
    if (!Selected(channel, channelSelected)) continue;
    const SampleRange range = WindowOf(channel, to);
    for (std::size_t i = range.begin; i < range.end; ++i) {
      if (CompareTimes(channel.times[i], from) >= 0) ++count;
    }
  }
  return count;
}

}  // namespace vantiro
