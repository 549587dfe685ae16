#pragma once
// The periods a channel spent beyond its limits, for the bands on the chart and the event list.
// A sample holds its value until the next sample, as the span statistics count it: a period starts
// at the first sample beyond a limit and ends at the next sample that is not (or a gap sample, after
// which nothing is known); a period running to the channel's last sample ends there. The durations
// of a channel's periods beyond a limit therefore add up to its time beyond it in the statistics.

#include <cstddef>
#include <string>
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

// The periods of `channel` beyond `limits`, in time order (an upper and a lower period never
// overlap: a value is beyond one limit at a time unless the limits cross).
std::vector<AlarmEvent> FindAlarmEvents(const ChannelInfo& channel, const ChannelLimits& limits);

// A chart line's points as the samples of a channel (gap points as gap samples), for the live
// lines that have no dataset behind them.
ChannelInfo ChannelFromLine(const ChartLine& line, int number, const std::string& unit);

// "上限" or "下限" followed by the limit with the channel's decimals, as the event list names it.
std::string AlarmLimitText(const AlarmEvent& event, int decimals);

}  // namespace vantiro
