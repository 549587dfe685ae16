#pragma once
// The data on show, asked the same questions whatever holds it, so that the legend, the span
// panel, `vantiro-convert at` and `stats` can never give two answers for one moment or one span:
//   - the recorded value of each channel nearest a moment (the legend's read-out);
//   - each channel's statistics between two moments (the span panel, `stats`);
//   - each channel's alarm events between two moments or over the whole source (the bands and
//     the event list).
// One implementation per kind of source: a dataset in memory (a file, an exact period of the
// archive, the filter's result) and a period of the archive read from its chunks as they stream
// past, never the whole period in memory. Both measure with the same code (RecordedValueNear,
// SpanAccumulator, AlarmEventFinder), so a period gives the same answers read exact or streamed.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "chart/AlarmEvents.h"
#include "chart/ChannelLimitsStore.h"
#include "chart/SpanStatistics.h"
#include "recorder/Dataset.h"

namespace vantiro {

// A channel's alarm events as the bands and the event list take them.
struct ChannelAlarmEvents {
  int number = 0;
  double deadband = 0.0;           // the one its periods were told apart by: typed, or the default
  std::vector<AlarmEvent> events;  // the periods kept, in time order (see AlarmEventCap)
  std::vector<AlarmEvent> beyond;  // the stretches that cover the periods past those, for the bands
  std::size_t total = 0;           // every period found
  // The span of its values across the whole source, when its default deadband was measured from
  // them (DefaultDeadbandNeedsValues).
  std::optional<ValueSpan> values;
};

class ViewData {
 public:
  virtual ~ViewData() = default;
  // The channels on show, in their order (the answers' order).
  virtual std::size_t ChannelCount() const = 0;
  // The recorded value of each channel nearest to `x` (nothing: "---"; see RecordedValueNear).
  // False with `error` when the source cannot be read.
  virtual bool ValuesNear(DateTime x, std::vector<std::optional<float>>& values, std::string& error) = 0;
  // Each channel's statistics over [from, to] with the limits typed for it (by channel number),
  // its number and unit filled in and its decimals those it is recorded with (found from its
  // values where the source does not say). False with `error` when the source cannot be read or
  // `cancel` was set.
  virtual bool Statistics(DateTime from, DateTime to, const LimitsByChannel& limits, std::vector<SpanStatistics>& rows,
                          std::string& error, const std::atomic<bool>* cancel = nullptr) = 0;
  // Each channel's periods beyond the limits typed for it (by channel number), an entry per
  // channel (none for a channel without limits), found by AlarmEventFinder among the source's
  // samples within [from, to] (whole milliseconds; an end that is infinite or no figure leaves
  // that side open: -inf to +inf is the whole source, and gives the periods FindAlarmEvents finds
  // in the source's samples) with the rules typed with the limits, kept as `cap` says. Where no
  // deadband was typed the channel's default is taken as the window takes it (DefaultDeadband):
  // from its recorded range, else from the distance between its two limits, else from its
  // values across the whole source (not only [from, to]), which a period of the archive reads in
  // a pass of its own over its chunks before finding the periods. False with `error` when the
  // source cannot be read or `cancel` was set.
  virtual bool AlarmEvents(DateTime from, DateTime to, const AlarmLimitsByChannel& limits, const AlarmEventCap& cap,
                           std::vector<ChannelAlarmEvents>& channels, std::string& error,
                           const std::atomic<bool>* cancel = nullptr) = 0;
};

// A dataset in memory: `channels` (kept by reference), the places of those on show, their samples
// within [from, to] (unbounded: all of them; a filter's window: within 1 ms of its ends), the
// decimals each channel number is recorded with and its recorded range (low, high), where the
// source says.
class DatasetViewData : public ViewData {
 public:
  DatasetViewData(const std::vector<ChannelInfo>& channels, std::vector<std::size_t> shown, DateTime from, DateTime to,
                  std::map<int, int> decimals = {}, std::map<int, std::pair<double, double>> ranges = {});
  std::size_t ChannelCount() const override { return shown_.size(); }
  bool ValuesNear(DateTime x, std::vector<std::optional<float>>& values, std::string& error) override;
  bool Statistics(DateTime from, DateTime to, const LimitsByChannel& limits, std::vector<SpanStatistics>& rows,
                  std::string& error, const std::atomic<bool>* cancel = nullptr) override;
  bool AlarmEvents(DateTime from, DateTime to, const AlarmLimitsByChannel& limits, const AlarmEventCap& cap,
                   std::vector<ChannelAlarmEvents>& channels, std::string& error,
                   const std::atomic<bool>* cancel = nullptr) override;

 private:
  const std::vector<std::size_t>& Order(std::size_t position);
  const std::vector<ChannelInfo>& channels_;
  std::vector<std::size_t> shown_;
  DateTime from_, to_;
  std::map<int, int> decimals_;
  std::map<int, std::pair<double, double>> ranges_;
  std::map<std::size_t, std::vector<std::size_t>> orders_;
};

// A period of a recorder of the archive: its channels on show (numbers, in order, with what the
// archive says of each) within [fromMs, toMs]. Each question opens the archive at `location`
// (a worker's own connection) unless one is given.
struct ArchivePeriodSource {
  std::string location;
  std::int64_t recorderId = 0;
  std::vector<ChannelSummaryInfo> channels;
  std::int64_t fromMs = 0;
  std::int64_t toMs = 0;
};

class ArchivePeriodViewData : public ViewData {
 public:
  explicit ArchivePeriodViewData(ArchivePeriodSource source, Archive* open = nullptr);
  std::size_t ChannelCount() const override { return source_.channels.size(); }
  bool ValuesNear(DateTime x, std::vector<std::optional<float>>& values, std::string& error) override;
  bool Statistics(DateTime from, DateTime to, const LimitsByChannel& limits, std::vector<SpanStatistics>& rows,
                  std::string& error, const std::atomic<bool>* cancel = nullptr) override;
  bool AlarmEvents(DateTime from, DateTime to, const AlarmLimitsByChannel& limits, const AlarmEventCap& cap,
                   std::vector<ChannelAlarmEvents>& channels, std::string& error,
                   const std::atomic<bool>* cancel = nullptr) override;

 private:
  Archive* Connect(std::string& error);
  ArchivePeriodSource source_;
  Archive* archive_;
  std::unique_ptr<Archive> own_;
};

}  // namespace vantiro
