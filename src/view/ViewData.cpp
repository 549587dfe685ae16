#include "view/ViewData.h"

#include <algorithm>
#include <cmath>
#include <system_error>
#include <thread>
#include <limits>

#include "chart/Cursors.h"

namespace vantiro {
namespace {

// SpanMilliseconds(FromArchiveMs(t)) - t: the archive's epoch (1970-01-01) in the DateTime's
// milliseconds (from 1899-12-30).
constexpr std::int64_t kArchiveToSpanMs = 25569LL * 86400000LL;

// The limits typed for channel `number`, none when none were.
ChannelLimits LimitsOf(const LimitsByChannel& limits, int number) {
  const auto typed = limits.find(number);
  return typed != limits.end() ? static_cast<const ChannelLimits&>(typed->second) : ChannelLimits{};
}

// The alarm limits typed for channel `number`, when it has a limit at all.
const AlarmLimits* AlarmLimitsOf(const AlarmLimitsByChannel& limits, int number) {
  const auto typed = limits.find(number);
  if (typed == limits.end() || (!typed->second.upper && !typed->second.lower)) return nullptr;
  return &typed->second;
}

// The ends of a span in order, in whole milliseconds (SpanMilliseconds) for comparing sample times
// and as times for asking the archive; an end that is infinite or no figure (or beyond any clock)
// leaves its side open.
struct SpanEnds {
  std::int64_t a = std::numeric_limits<std::int64_t>::min();
  std::int64_t b = std::numeric_limits<std::int64_t>::max();
  std::optional<DateTime> low, high;
};

SpanEnds EndsOf(DateTime from, DateTime to) {
  constexpr double kFar = 1e8;  // days: no recorder's clock gets there
  const auto open = [](DateTime t) { return !(std::fabs(t) < kFar); };
  // A figure before an open end below, after an open end above: -inf..x, x..+inf, NaN as given.
  std::optional<DateTime> low = open(from) ? std::nullopt : std::optional(from);
  std::optional<DateTime> high = open(to) ? std::nullopt : std::optional(to);
  if ((low && high && *low > *high) || (!low && from > 0.0) || (!high && to < 0.0)) std::swap(low, high);
  SpanEnds ends;
  ends.low = low;
  ends.high = high;
  if (low) ends.a = SpanMilliseconds(*low);
  if (high) ends.b = SpanMilliseconds(*high);
  return ends;
}

double AppliedDeadband(double deadband) { return std::isfinite(deadband) && deadband > 0.0 ? deadband : 0.0; }

}  // namespace

DatasetViewData::DatasetViewData(const std::vector<ChannelInfo>& channels, std::vector<std::size_t> shown,
                                 DateTime from, DateTime to, std::map<int, int> decimals,
                                 std::map<int, std::pair<double, double>> ranges)
    : channels_(channels),
      shown_(std::move(shown)),
      from_(from),
      to_(to),
      decimals_(std::move(decimals)),
      ranges_(std::move(ranges)) {}

const std::vector<std::size_t>& DatasetViewData::Order(std::size_t position) {
  auto order = orders_.find(position);
  if (order == orders_.end()) order = orders_.emplace(position, SamplesInTimeOrder(channels_[position])).first;
  return order->second;
}

bool DatasetViewData::ValuesNear(DateTime x, std::vector<std::optional<float>>& values, std::string&) {
  values.clear();
  for (const std::size_t position : shown_) {
    values.push_back(position < channels_.size()
                         ? RecordedValueNear(channels_[position], x, from_, to_, Order(position))
                         : std::nullopt);
  }
  return true;
}

bool DatasetViewData::Statistics(DateTime from, DateTime to, const LimitsByChannel& limits,
                                 std::vector<SpanStatistics>& rows, std::string& error,
                                 const std::atomic<bool>* cancel) {
  rows.clear();
  for (const std::size_t position : shown_) {
    if (cancel && cancel->load()) {
      error = "已取消";
      return false;
    }
    if (position >= channels_.size()) continue;
    const ChannelInfo& channel = channels_[position];
    rows.push_back(ComputeSpanStatistics(channel, from, to, LimitsOf(limits, channel.number)));
    const auto known = decimals_.find(channel.number);
    rows.back().decimals = known != decimals_.end() ? known->second : ChannelDecimals(channel);
  }
  return true;
}

bool DatasetViewData::AlarmEvents(DateTime from, DateTime to, const AlarmLimitsByChannel& limits,
                                  const AlarmEventCap& cap, std::vector<ChannelAlarmEvents>& channels,
                                  std::string& error, const std::atomic<bool>* cancel) {
  channels.clear();
  const SpanEnds ends = EndsOf(from, to);
  for (const std::size_t position : shown_) {
    if (cancel && cancel->load()) {
      error = "已取消";
      return false;
    }
    if (position >= channels_.size()) continue;
    const ChannelInfo& channel = channels_[position];
    ChannelAlarmEvents found;
    found.number = channel.number;
    if (const AlarmLimits* typed = AlarmLimitsOf(limits, channel.number)) {
      const std::vector<std::size_t>& order = Order(position);
      const std::size_t n = order.empty() ? std::min(channel.times.size(), channel.values.size()) : order.size();
      const auto index = [&order](std::size_t k) { return order.empty() ? k : order[k]; };
      // The source's samples: those within its window.
      const auto held = [this, &channel](std::size_t i) {
        const DateTime t = channel.times[i];
        return (std::isinf(from_) || CompareTimes(t, from_) >= 0) && (std::isinf(to_) || CompareTimes(t, to_) <= 0);
      };
      double deadband = typed->deadband.value_or(0.0);
      if (!typed->deadband) {
        const auto known = ranges_.find(channel.number);
        const std::optional<std::pair<double, double>> range =
            known != ranges_.end() ? std::optional(known->second) : std::nullopt;
        ValueSpan values;
        if (DefaultDeadbandNeedsValues(*typed, range)) {
          for (std::size_t k = 0; k < n; ++k) {
            if (held(index(k))) values.Add(channel.values[index(k)]);
          }
          found.values = values;
        }
        deadband = DefaultDeadband(*typed, range, values);
      }
      found.deadband = AppliedDeadband(deadband);
      AlarmEventFinder finder(channel.number, *typed, EventRules(*typed, deadband), cap);
      for (std::size_t k = 0; k < n; ++k) {
        const std::size_t i = index(k);
        if (!held(i)) continue;
        const std::int64_t ms = SpanMilliseconds(channel.times[i]);
        if (ms < ends.a) continue;
        if (ms > ends.b) break;
        finder.Add(channel.times[i], channel.values[i]);
      }
      finder.Finish();
      found.events = std::move(finder.Events());
      found.beyond = std::move(finder.Beyond());
      found.total = finder.Total();
    }
    channels.push_back(std::move(found));
  }
  return true;
}

ArchivePeriodViewData::ArchivePeriodViewData(ArchivePeriodSource source, Archive* open)
    : source_(std::move(source)), archive_(open) {}

Archive* ArchivePeriodViewData::Connect(std::string& error) {
  if (!archive_) {
    own_ = Archive::Open(source_.location, false, error);
    archive_ = own_.get();
  }
  return archive_;
}

namespace {

std::vector<int> Numbers(const std::vector<ChannelSummaryInfo>& channels) {
  std::vector<int> numbers;
  numbers.reserve(channels.size());
  for (const ChannelSummaryInfo& c : channels) numbers.push_back(c.number);
  return numbers;
}

}  // namespace

bool ArchivePeriodViewData::ValuesNear(DateTime x, std::vector<std::optional<float>>& values, std::string& error) {
  values.clear();
  Archive* archive = Connect(error);
  if (!archive) return false;
  const std::size_t n = source_.channels.size();
  if (n == 0) return true;
  // The samples around x of each channel, as the period holds them: the one holding at x and the
  // one after it are among them.
  std::vector<ChannelInfo> around(n);
  std::vector<int> numbers = Numbers(source_.channels);
  std::size_t at = 0;
  std::optional<Archive::PeriodClip> clip;
  int current = -1;
  // Within the period: the samples the period holds nearest to x are those nearest to its end.
  const std::int64_t ms = std::clamp(ToArchiveMs(x), source_.fromMs, std::max(source_.fromMs, source_.toMs));
  const bool ok = archive->StreamPeriod(
      source_.recorderId, ms, ms, numbers,
      [&](int number, const Archive::SampleBatch& batch) {
        if (number != current) {
          current = number;
          clip.emplace(source_.fromMs, source_.toMs);
          while (at < n && numbers[at] != number) ++at;
        }
        if (at >= n) return false;
        ChannelInfo& channel = around[at];
        return clip->Take(batch, [&channel](std::int64_t t, float v) {
          channel.times.push_back(FromArchiveMs(t));
          channel.values.push_back(v);
        });
      },
      error);
  if (!ok) return false;
  const DateTime unbounded = std::numeric_limits<double>::infinity();
  for (const ChannelInfo& channel : around) values.push_back(RecordedValueNear(channel, x, -unbounded, unbounded, {}));
  return true;
}

bool ArchivePeriodViewData::Statistics(DateTime from, DateTime to, const LimitsByChannel& limits,
                                       std::vector<SpanStatistics>& rows, std::string& error,
                                       const std::atomic<bool>* cancel) {
  rows.clear();
  Archive* archive = Connect(error);
  if (!archive) return false;
  const std::size_t n = source_.channels.size();
  struct Measuring {
    SpanAccumulator span;
    DecimalsFinder decimals;
    bool findDecimals;  // the archive does not say them
    std::optional<Archive::PeriodClip> clip;
  };
  std::vector<Measuring> measuring;
  measuring.reserve(n);
  for (const ChannelSummaryInfo& c : source_.channels) {
    measuring.push_back(Measuring{SpanAccumulator(from, to, LimitsOf(limits, c.number)), {}, !c.hasRange, {}});
  }
  const std::int64_t a = ToArchiveMs(std::min(from, to));
  const std::int64_t b = ToArchiveMs(std::max(from, to));
  // The period's samples from the one holding at the span's start (or the period's end) on.
  const std::int64_t periodEnd = std::max(source_.fromMs, source_.toMs);
  const std::int64_t streamFrom = std::clamp(a, source_.fromMs, periodEnd);
  const std::int64_t streamTo = std::clamp(b, source_.fromMs, periodEnd);
  // Measures the channels at `places` (ascending) over `on`.
  const auto measure = [&](Archive& on, const std::vector<std::size_t>& places, std::string& why) {
    std::vector<int> numbers;
    for (const std::size_t k : places) numbers.push_back(source_.channels[k].number);
    std::size_t at = 0;
    int current = -1;
    return on.StreamPeriod(
        source_.recorderId, streamFrom, streamTo, numbers,
        [&](int number, const Archive::SampleBatch& batch) {
          if (number != current) {
            current = number;
            while (at < numbers.size() && numbers[at] != number) ++at;
            if (at < numbers.size()) measuring[places[at]].clip.emplace(source_.fromMs, source_.toMs);
          }
          if (at >= numbers.size()) return false;
          Measuring& m = measuring[places[at]];
          const bool more = m.clip->Take(batch, [&m, a, b](std::int64_t t, float v) {
            if (m.findDecimals && t >= a && t <= b) m.decimals.Add(v);
            // Measured as the same samples read into a dataset are: SpanMilliseconds of the
            // sample's DateTime, which is its archive time moved to the DateTime's epoch (exactly:
            // the conversion's rounding is far below half a millisecond).
            m.span.Add(t + kArchiveToSpanMs, FromArchiveMs(t), v);
          });
          return more && !m.span.Done();
        },
        why, cancel);
  };
  // Over more than a day the channels are shared between this thread and a second one with its own
  // connection (a year of 16 channels is half a billion samples to decode); one thread for a short
  // span, or when a second cannot connect.
  std::vector<std::size_t> mine, other;
  const bool share = b - a > 86400000;
  for (std::size_t k = 0; k < n; ++k) (share && k % 2 == 1 ? other : mine).push_back(k);
  std::string otherError;
  bool otherOk = true;
  std::unique_ptr<Archive> second;
  if (!other.empty()) {
    std::string ignored;
    second = Archive::Open(source_.location, false, ignored);
  }
  if (!second) {
    mine.insert(mine.end(), other.begin(), other.end());
    std::sort(mine.begin(), mine.end());
    other.clear();
  }
  std::thread helper;
  if (second) {
    try {
      helper = std::thread([&] { otherOk = measure(*second, other, otherError); });
    } catch (const std::system_error&) {
      otherOk = measure(*second, other, otherError);
    }
  }
  const bool ok = measure(*archive, mine, error);
  if (helper.joinable()) helper.join();
  if (!ok) return false;
  if (!otherOk) {
    error = otherError;
    return false;
  }
  for (std::size_t k = 0; k < n; ++k) {
    const ChannelSummaryInfo& c = source_.channels[k];
    SpanStatistics s;
    s.number = c.number;
    s.unit = c.unit;
    measuring[k].span.Finish(s);
    s.decimals = c.hasRange ? c.decimals : measuring[k].decimals.Decimals();
    rows.push_back(std::move(s));
  }
  return true;
}

bool ArchivePeriodViewData::AlarmEvents(DateTime from, DateTime to, const AlarmLimitsByChannel& limits,
                                        const AlarmEventCap& cap, std::vector<ChannelAlarmEvents>& channels,
                                        std::string& error, const std::atomic<bool>* cancel) {
  channels.clear();
  Archive* archive = Connect(error);
  if (!archive) return false;
  const std::size_t n = source_.channels.size();
  std::vector<ChannelAlarmEvents> found(n);
  std::vector<const AlarmLimits*> typed(n, nullptr);
  std::vector<std::optional<std::pair<double, double>>> ranges(n);
  std::map<int, std::size_t> positions;
  std::vector<int> limited, measured;  // channel numbers: with limits; whose values the default needs
  for (std::size_t k = 0; k < n; ++k) {
    const ChannelSummaryInfo& c = source_.channels[k];
    found[k].number = c.number;
    positions.emplace(c.number, k);
    if (c.hasRange) ranges[k] = std::pair<double, double>(c.rangeLow, c.rangeHigh);
    typed[k] = AlarmLimitsOf(limits, c.number);
    if (!typed[k]) continue;
    limited.push_back(c.number);
    if (!typed[k]->deadband && DefaultDeadbandNeedsValues(*typed[k], ranges[k])) measured.push_back(c.number);
  }
  const std::int64_t periodEnd = std::max(source_.fromMs, source_.toMs);
  // The samples the period holds of `numbers` (never empty: none would mean all) from the stream
  // over [fromMs, toMs], each handed to take(position, archive ms, value) until it returns false.
  const auto stream = [&](const std::vector<int>& numbers, std::int64_t fromMs, std::int64_t toMs, auto&& take) {
    std::size_t at = n;
    int current = 0;
    bool first = true;
    bool more = true;
    std::optional<Archive::PeriodClip> clip;
    return archive->StreamPeriod(
        source_.recorderId, fromMs, toMs, numbers,
        [&](int number, const Archive::SampleBatch& batch) {
          if (first || number != current) {
            first = false;
            current = number;
            const auto known = positions.find(number);
            at = known != positions.end() ? known->second : n;
            clip.emplace(source_.fromMs, source_.toMs);
            more = true;
          }
          if (at >= n) return false;
          const bool going = clip->Take(batch, [&](std::int64_t t, float v) {
            if (more) more = take(at, t, v);
          });
          return going && more;
        },
        error, cancel);
  };
  // The values' span of the channels whose default deadband is measured from them: a pass over the
  // whole period first.
  std::vector<ValueSpan> values(n);
  if (!measured.empty() &&
      !stream(measured, source_.fromMs, periodEnd, [&values](std::size_t k, std::int64_t, float v) {
        values[k].Add(v);
        return true;
      })) {
    return false;
  }
  std::vector<std::optional<AlarmEventFinder>> finders(n);
  for (std::size_t k = 0; k < n; ++k) {
    if (!typed[k]) continue;
    double deadband = typed[k]->deadband.value_or(0.0);
    if (!typed[k]->deadband) {
      if (DefaultDeadbandNeedsValues(*typed[k], ranges[k])) found[k].values = values[k];
      deadband = DefaultDeadband(*typed[k], ranges[k], values[k]);
    }
    found[k].deadband = AppliedDeadband(deadband);
    finders[k].emplace(found[k].number, *typed[k], EventRules(*typed[k], deadband), cap);
  }
  // The periods among the samples within the span, as the same samples read into a dataset give
  // them (times in whole milliseconds of the dataset's clock; the archive asked a millisecond
  // wider, since its clock counts from another day).
  const SpanEnds ends = EndsOf(from, to);
  const std::int64_t streamFrom =
      ends.low ? std::clamp(ToArchiveMs(*ends.low) - 1, source_.fromMs, periodEnd) : source_.fromMs;
  const std::int64_t streamTo = ends.high ? std::clamp(ToArchiveMs(*ends.high) + 1, source_.fromMs, periodEnd) : periodEnd;
  if (!limited.empty() &&
      !stream(limited, streamFrom, std::max(streamFrom, streamTo), [&](std::size_t k, std::int64_t t, float v) {
        const DateTime time = FromArchiveMs(t);
        const std::int64_t ms = SpanMilliseconds(time);
        if (ms < ends.a) return true;
        if (ms > ends.b) return false;
        finders[k]->Add(time, v);
        return true;
      })) {
    return false;
  }
  for (std::size_t k = 0; k < n; ++k) {
    if (finders[k]) {
      finders[k]->Finish();
      found[k].events = std::move(finders[k]->Events());
      found[k].beyond = std::move(finders[k]->Beyond());
      found[k].total = finders[k]->Total();
    }
  }
  channels = std::move(found);
  return true;
}

}  // namespace vantiro
