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

// The same measuring over samples that stream past in time order (equal times in stored order),
// for a source that never holds all of them (a period of the archive): each sample is looked at
// once and forgotten. ComputeSpanStatistics feeds its samples through it too, so that both give
// the same figures. Feed from any sample at or before the span's start (earlier ones change
// nothing) to the first sample after its end, then Finish.
class SpanAccumulator {
 public:
  SpanAccumulator(DateTime from, DateTime to, const ChannelLimits& limits);
  // The next sample: its time in whole milliseconds (SpanMilliseconds of `time`), its time as
  // recorded and its value. False once a sample after the span has been taken: later samples
  // change nothing and need not be read.
  bool Add(std::int64_t ms, DateTime time, float value) {
    if (done_) return false;
    if (pending_) Settle(true, ms);
    if (ms > b_) {
      done_ = true;
      return false;
    }
    pending_ = true;
    pendingMs_ = ms;
    pendingTime_ = time;
    pendingValue_ = value;
    return true;
  }
  bool Done() const { return done_; }
  std::int64_t FromMs() const { return a_; }
  std::int64_t ToMs() const { return b_; }
  // The figures into `s` (its number, unit and decimals are the caller's), the last sample added
  // holding for no time unless a later one was added.
  void Finish(SpanStatistics& s);

 private:
  void Settle(bool hasNext, std::int64_t nextMs) {
    const std::int64_t t = pendingMs_;
    const float v = pendingValue_;
    const bool gap = IsGapValue(v);
    if (t <= a_) {
      atStart_ = !gap;
      startValue_ = v;
    }
    atEnd_ = !gap;  // only samples up to the end are ever settled
    endValue_ = v;
    if (gap) return;
    // Of several samples at the start's very millisecond only the last one counts as inside.
    if (t >= a_ && !(t == a_ && hasNext && nextMs == a_)) {
      if (!anyInside_) {
        anyInside_ = true;
        lowest_ = highest_ = firstInside_ = v;
        lowestTime_ = highestTime_ = pendingTime_;
      } else if (v < lowest_) {
        lowest_ = v;
        lowestTime_ = pendingTime_;
      } else if (v > highest_) {
        highest_ = v;
        highestTime_ = pendingTime_;
      }
    }
    if (!hasNext) return;
    // How long it held within the span: until the next sample.
    const std::int64_t heldFrom = t > a_ ? t : a_;
    const std::int64_t until = nextMs < b_ ? nextMs : b_;
    if (until > heldFrom) {
      const double seconds = static_cast<double>(until - heldFrom) / 1000.0;
      weighted_ += v * seconds;
      weight_ += seconds;
      if (hasUpper_ && v > upper_) above_ += seconds;
      if (hasLower_ && v < lower_) below_ += seconds;
    }
  }

  std::int64_t a_ = 0, b_ = 0;
  bool hasUpper_ = false, hasLower_ = false;
  double upper_ = 0.0, lower_ = 0.0;
  bool done_ = false;
  bool pending_ = false;
  std::int64_t pendingMs_ = 0;
  DateTime pendingTime_ = 0.0;
  float pendingValue_ = 0.0f;
  bool atStart_ = false, atEnd_ = false;
  float startValue_ = 0.0f, endValue_ = 0.0f;
  bool anyInside_ = false;
  float lowest_ = 0.0f, highest_ = 0.0f, firstInside_ = 0.0f;
  DateTime lowestTime_ = 0.0, highestTime_ = 0.0;
  double weighted_ = 0.0, weight_ = 0.0, above_ = 0.0, below_ = 0.0;
};

// The fewest decimals (0..4) that show every value of the channel exactly; 3 when none do. For a
// source that does not say how many it records with (a CSV file); a pass over every value.
int ChannelDecimals(const ChannelInfo& channel);
// The same rule over values that stream past: the fewest decimals that show every value added so
// far exactly.
class DecimalsFinder {
 public:
  void Add(float value);
  int Decimals() const { return decimals_ <= 4 ? decimals_ : 3; }
  bool GaveUp() const { return decimals_ > 4; }

 private:
  int decimals_ = 0;
};

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
