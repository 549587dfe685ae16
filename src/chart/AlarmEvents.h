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

#include <cstddef>
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

// The deadband of a channel the user typed none for: 1 % of its recorded range (`range`, low and
// high, from the recording). A channel without one (a CSV import, a live line) takes 1 % of the
// distance between its two limits, or with one limit only 1 % of the span from its lowest to its
// highest value, the limit included (gap samples left out). 0 when that has no width.
double DefaultDeadband(const ChannelLimits& limits, const std::optional<std::pair<double, double>>& range,
                       const ChannelInfo& channel);

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

// A chart line's points as the samples of a channel (gap points as gap samples), for the live
// lines that have no dataset behind them.
ChannelInfo ChannelFromLine(const ChartLine& line, int number, const std::string& unit);

// "上限" or "下限" followed by the limit with the channel's decimals, as the event list names it.
std::string AlarmLimitText(const AlarmEvent& event, int decimals);

}  // namespace vantiro
