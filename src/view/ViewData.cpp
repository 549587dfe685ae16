#include "view/ViewData.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "chart/Cursors.h"

namespace vantiro {
namespace {

// The limits typed for channel `number`, none when none were.
ChannelLimits LimitsOf(const LimitsByChannel& limits, int number) {
  const auto typed = limits.find(number);
  return typed != limits.end() ? static_cast<const ChannelLimits&>(typed->second) : ChannelLimits{};
}

}  // namespace

DatasetViewData::DatasetViewData(const std::vector<ChannelInfo>& channels, std::vector<std::size_t> shown,
                                 DateTime from, DateTime to, std::map<int, int> decimals)
    : channels_(channels), shown_(std::move(shown)), from_(from), to_(to), decimals_(std::move(decimals)) {}

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
    std::optional<Archive::PeriodClip> clip;
  };
  std::vector<Measuring> measuring;
  measuring.reserve(n);
  for (const ChannelSummaryInfo& c : source_.channels) {
    measuring.push_back(Measuring{SpanAccumulator(from, to, LimitsOf(limits, c.number)), {}, {}});
  }
  const std::vector<int> numbers = Numbers(source_.channels);
  const std::int64_t a = ToArchiveMs(std::min(from, to));
  const std::int64_t b = ToArchiveMs(std::max(from, to));
  std::size_t at = 0;
  int current = -1;
  // The period's samples from the one holding at the span's start (or the period's end) on.
  const std::int64_t periodEnd = std::max(source_.fromMs, source_.toMs);
  const bool ok = archive->StreamPeriod(
      source_.recorderId, std::clamp(a, source_.fromMs, periodEnd), std::clamp(b, source_.fromMs, periodEnd), numbers,
      [&](int number, const Archive::SampleBatch& batch) {
        if (number != current) {
          current = number;
          while (at < n && numbers[at] != number) ++at;
          if (at < n) measuring[at].clip.emplace(source_.fromMs, source_.toMs);
        }
        if (at >= n) return false;
        Measuring& m = measuring[at];
        bool more = m.clip->Take(batch, [&m, a, b](std::int64_t t, float v) {
          if (t >= a && t <= b) m.decimals.Add(v);
          // Measured as the same samples read into a dataset are.
          const DateTime time = FromArchiveMs(t);
          m.span.Add(SpanMilliseconds(time), time, v);
        });
        return more && !m.span.Done();
      },
      error, cancel);
  if (!ok) return false;
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

}  // namespace vantiro
