#pragma once
// The periods a channel spent beyond its limits, for the bands on the chart and the event list.
// A sample holds its value until the next sample, as the span statistics count it: a period starts
// at the first sample beyond a limit and ends at the next sample that is back inside (or a gap
// sample, after which nothing is known); a period running to the channel's last sample ends there.
//
// A value that chatters around its limit would make a period of every swing. Two rules keep the
// list readable:
//   deadband    a period beyond the upper limit ends only at a sample at or below limit - deadband
//               (below the lower limit: at or above limit + deadband), or at a sample beyond the
//               other limit, a gap or the last sample. Starting is unchanged: beyond the limit.
//   minimum     periods shorter than this many seconds are left out.
// With both 0 the durations of a channel's periods beyond a limit add up to its time beyond it in
// the span statistics (which know neither rule); with a deadband the periods cover at least that
// time.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "chart/ChartLines.h"
#include "chart/SpanStatistics.h"
#include "recorder/Dataset.h"

namespace vantiro {

struct AlarmEvent {
  int number = 0;            // the channel's
  bool upper = true;         // beyond the upper limit (else below the lower)
  double limit = 0.0;
  DateTime start = 0.0;
  DateTime end = 0.0;
  double seconds = 0.0;      // end - start, in whole milliseconds
  double extreme = 0.0;      // the highest value above the upper limit, the lowest below the lower
  DateTime extremeTime = 0.0;
};

// How periods are told apart (see above); a negative or non-finite figure counts as 0.
struct AlarmEventRules {
  double deadband = 0.0;    // in the channel's unit
  double minSeconds = 0.0;
};

// A channel's limits with the rules of its events, as the user types them and the recording keeps
// them: no deadband means the channel's default (DefaultDeadband).
struct AlarmLimits : ChannelLimits {
  AlarmLimits() = default;
  AlarmLimits(const ChannelLimits& limits, std::optional<double> deadband = std::nullopt, double minSeconds = 0.0)
      : ChannelLimits(limits), deadband(deadband), minSeconds(minSeconds) {}
  AlarmLimits(std::optional<double> upper, std::optional<double> lower, std::optional<double> deadband = std::nullopt,
              double minSeconds = 0.0)
      : AlarmLimits(ChannelLimits{upper, lower}, deadband, minSeconds) {}
  std::optional<double> deadband;
  double minSeconds = 0.0;
};

// The share of the channel's range a deadband takes when the user types none.
inline constexpr double kDefaultDeadbandShare = 0.01;

// The lowest and highest value of a channel's samples, gap samples and values that are no figures
// left out, taken as they stream past.
struct ValueSpan {
  bool any = false;
  float low = 0.0f;
  float high = 0.0f;
  void Add(float value) {
    if (IsGapValue(value) || !std::isfinite(value)) return;
    if (!any) {
      any = true;
      low = high = value;
    } else if (value < low) {
      low = value;
    } else if (value > high) {
      high = value;
    }
  }
};

// The deadband of a channel the user typed none for: 1 % of its recorded range (`range`, low and
// high, from the recording). A channel without one (a CSV import, a live line) takes 1 % of the
// distance between its two limits, or with one limit only 1 % of the span from its lowest to its
// highest value, the limit included (gap samples left out). 0 when that has no width.
double DefaultDeadband(const ChannelLimits& limits, const std::optional<std::pair<double, double>>& range,
                       const ChannelInfo& channel);
// The same from the span of the channel's values (`values`, only looked at when the rule needs it).
double DefaultDeadband(const ChannelLimits& limits, const std::optional<std::pair<double, double>>& range,
                       const ValueSpan& values);
// Whether the default deadband of a channel with these limits and range is measured from its
// values: no range of any width and exactly one limit. A source that does not hold the values
// (a period of the archive) then takes them in a pass of their own.
bool DefaultDeadbandNeedsValues(const ChannelLimits& limits, const std::optional<std::pair<double, double>>& range);

// The rules `limits` give, with `defaultDeadband` where they name no deadband.
inline AlarmEventRules EventRules(const AlarmLimits& limits, double defaultDeadband) {
  return AlarmEventRules{limits.deadband.value_or(defaultDeadband), limits.minSeconds};
}

// The periods of `channel` beyond `limits`, in time order. An upper and a lower period never
// overlap while the upper limit is above the lower (a value beyond the other limit ends a period
// whatever the deadband); limits that cross are followed each on its own.
//
// A value counts as back at limit - deadband (limit + deadband) when the recorded value is at or
// past that figure as exactly as the recorder stores values (a float): a limit of 80.0 with a
// deadband of 0.1 ends a period at a recorded 79.9.
std::vector<AlarmEvent> FindAlarmEvents(const ChannelInfo& channel, const ChannelLimits& limits,
                                        const AlarmEventRules& rules = {});

// How many periods a finder keeps, for a source whose periods may be too many to hold (a channel
// chattering at its limit all year): the first `most` to end, each in full (in time order: the
// periods beyond one limit follow each other, and those beyond the upper and the lower limit
// never overlap unless the limits cross); every period is counted. The periods past them are kept
// only as stretches that cover them for the bands: on each side, periods at most `grainMs` apart
// (from one's end to the next one's start) share a stretch, and whenever a side would hold more
// than `most` stretches its grain doubles and the stretches are merged by it, so that a side
// never holds more than max(most, 1).
struct AlarmEventCap {
  std::size_t most = std::numeric_limits<std::size_t>::max();
  std::int64_t grainMs = 0;
};

// The periods of one channel found as its samples stream past in time order (equal times in
// stored order), each sample looked at once and forgotten: FindAlarmEvents feeds a channel's
// samples through it, and a source that never holds all of them (a period of the archive) feeds
// its stream, so that both give the same periods.
class AlarmEventFinder {
 public:
  AlarmEventFinder(int number, const ChannelLimits& limits, const AlarmEventRules& rules = {},
                   const AlarmEventCap& cap = {});
  // Whether the channel has a limit at all (without one nothing is ever found).
  bool Active() const { return hasUpper_ || hasLower_; }
  // The next sample: its time as recorded and its value.
  void Add(DateTime time, float value) {
    if (!Active()) return;
    any_ = true;
    last_ = time;
    if (IsGapValue(value) || std::isnan(value)) {
      if (above_.open) Close(above_, true, time);
      if (below_.open) Close(below_, false, time);
      return;
    }
    if (hasUpper_) Follow(above_, true, value, time);
    if (hasLower_) Follow(below_, false, value, time);
  }
  // Ends a period still open at the last sample added, and puts the periods in time order.
  void Finish();
  // After Finish: the periods kept, in time order; the stretches that cover those past them, in
  // time order (their extreme the most extreme of the periods they cover); how many there were.
  std::vector<AlarmEvent>& Events() { return kept_; }
  std::vector<AlarmEvent>& Beyond() { return beyond_[0]; }
  std::size_t Total() const { return total_; }

 private:
  struct OpenPeriod {
    bool open = false;
    DateTime start = 0.0;
    float extreme = 0.0f;
    DateTime extremeTime = 0.0;
  };
  // Where a period ends: a value back inside the limit and at or past the deadband's edge (the
  // edge also as a float, as the recorder stores the value), or beyond the other limit.
  bool BackFromAbove(float v) const {
    return v <= upper_ && (v <= upperEdge_ || v <= upperEdgeStored_ || (apart_ && v < lower_));
  }
  bool BackFromBelow(float v) const {
    return v >= lower_ && (v >= lowerEdge_ || v >= lowerEdgeStored_ || (apart_ && v > upper_));
  }
  void Follow(OpenPeriod& period, bool upper, float v, DateTime time) {
    if (!period.open) {
      if (upper ? v > upper_ : v < lower_) {
        period.open = true;
        period.start = period.extremeTime = time;
        period.extreme = v;
      }
    } else if (upper ? BackFromAbove(v) : BackFromBelow(v)) {
      Close(period, upper, time);
    } else if (upper ? v > period.extreme : v < period.extreme) {
      period.extreme = v;
      period.extremeTime = time;
    }
  }
  void Close(OpenPeriod& period, bool upper, DateTime end);
  void Spill(const AlarmEvent& event);

  int number_ = 0;
  bool hasUpper_ = false, hasLower_ = false, apart_ = false;
  double upper_ = 0.0, lower_ = 0.0;
  double upperEdge_ = 0.0, lowerEdge_ = 0.0;
  float upperEdgeStored_ = 0.0f, lowerEdgeStored_ = 0.0f;
  double minSeconds_ = 0.0;
  std::size_t most_ = 0;
  std::int64_t grainMs_[2] = {0, 0};
  bool any_ = false;
  DateTime last_ = 0.0;
  OpenPeriod above_, below_;
  std::size_t total_ = 0;
  std::vector<AlarmEvent> kept_;
  std::vector<AlarmEvent> beyond_[2];  // above the upper limit, below the lower (one list after Finish)
};

// A chart line's points as the samples of a channel (gap points as gap samples), for the live
// lines that have no dataset behind them.
ChannelInfo ChannelFromLine(const ChartLine& line, int number, const std::string& unit);

// "上限" or "下限" followed by the limit with the channel's decimals, as the event list names it.
std::string AlarmLimitText(const AlarmEvent& event, int decimals);

}  // namespace vantiro
