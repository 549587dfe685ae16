#pragma once
// What a channel did between two moments (the two vertical cursors, or --from and --to): its value
// at each end, the change, the lowest and highest with their times, the time-weighted mean, and
// the time spent beyond its limits. Computed from the exact samples, gap samples excluded.
//
// A sample holds its value until the next sample (as the recorder's own screen shows it); a gap
// sample holds nothing, so the time after it counts towards neither the mean nor the limits. The
// last sample of a channel holds for no time.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recorder/Dataset.h"

namespace vantiro {

struct ChannelLimits {
  std::optional<double> upper;  // above it is too high
  std::optional<double> lower;  // below it is too low
};

struct SpanStatistics {
  int number = 0;
  std::string unit;
  int decimals = 3;                 // for showing its values: the channel's own, set by the caller
  std::optional<double> atStart;    // the value holding at the start (nothing before the first
  std::optional<double> atEnd;      // sample or in a gap), and at the end
  std::optional<double> delta;      // atEnd - atStart
  std::optional<double> min, max;   // over the samples within the span
  DateTime minTime = 0.0;           // the first sample with the lowest, and the highest, value
  DateTime maxTime = 0.0;
  std::optional<double> mean;       // weighted by how long each value held within the span
  std::optional<double> secondsAbove;  // only when the channel has that limit
  std::optional<double> secondsBelow;
};

// A time in whole milliseconds, rounded half away from zero: the grain the statistics and the
// alarm periods count durations in.
std::int64_t SpanMilliseconds(DateTime t);

// The channel's sample indexes in time order, equal times in stored order; empty when the samples
// are stored in time order already (the usual case, found by one pass).
std::vector<std::size_t> SamplesInTimeOrder(const ChannelInfo& channel);

// The statistics of `channel` over [from, to].
SpanStatistics ComputeSpanStatistics(const ChannelInfo& channel, DateTime from, DateTime to,
                                     const ChannelLimits& limits = {});

// The fewest decimals (0..4) that show every value of the channel exactly; 3 when none do. For a
// source that does not say how many it records with (a CSV file); a pass over every value.
int ChannelDecimals(const ChannelInfo& channel);

// The statistics as the table `vantiro-convert stats` prints and the panel copies: a header row
// (通道, 单位, 起点值, 终点值, 差值, 最小值, 最小值时间, 最大值, 最大值时间, 平均值, 超上限时间,
// 超下限时间), then a row per channel, tab-separated, each line ending in '\n'; values with the
// channel's decimals, times as yyyy-MM-dd HH:mm:ss.zzz, durations in seconds (three decimals);
// what is not known is left empty.
std::string SpanStatisticsTable(const std::vector<SpanStatistics>& rows);
// The same table as cells: the header row, then a row per channel (the panel, the report and the
// CSV are made from these).
std::vector<std::vector<std::string>> SpanStatisticsCells(const std::vector<SpanStatistics>& rows);

// A time as the table shows it: yyyy-MM-dd HH:mm:ss.zzz (whole milliseconds, rounded).
std::string SpanTimeText(DateTime t);

// The same table as CSV (UTF-8; the panel's export writes it in GBK as the table export does):
// the fields separated by commas, one that holds a comma or a quote in quotes.
std::string SpanStatisticsCsv(const std::vector<SpanStatistics>& rows);

}  // namespace vantiro
