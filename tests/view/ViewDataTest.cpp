// The same questions asked of every kind of source of one recording: a period read into memory
// (as a file or an exact period is shown) and the same period streamed from the archive's chunks
// (as an overview and `stats --recorder` read it). Every answer must be the same, on both engines,
// for moments and spans anywhere: on a sample, between two, in a hole, on a gap, before the first
// and after the last, across chunks of sources that overlap in time.
#include <gtest/gtest.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <limits>
#include <filesystem>
#include <random>

#include "archive/ArchivePeriods.h"
#include "archive/ArchiveTestSupport.h"
#include "chart/ChannelLimitsStore.h"
#include "view/ViewData.h"

namespace vantiro {
namespace {

using namespace vantiro::testing;

constexpr std::int64_t kStartMs = 1273658400000;  // 2010-05-12 10:00:00 on the archive's clock
constexpr double kInf = std::numeric_limits<double>::infinity();
const std::pair<double, double> kRange = {-80.0, 120.0};  // a channel's recorded range, where it has one

// A recording of its own made in code: channel `number` sampled at `times` (archive ms) with
// `values`, one source of the recorder.
SourceRecording Recording(const std::string& name, const std::vector<std::pair<int, std::vector<std::pair<std::int64_t, float>>>>& channels) {
  SourceRecording r;
  r.path = "/recordings/" + name;
  r.contentHash = "hash-" + name;
  r.size = 1000;
  bool any = false;
  std::int64_t first = 0, last = 0;
  for (const auto& [number, samples] : channels) {
    ChannelInfo c;
    c.number = static_cast<std::int16_t>(number);
    c.unit = "℃";
    for (const auto& [t, v] : samples) {
      c.times.push_back(FromArchiveMs(t));
      c.values.push_back(v);
      first = any ? std::min(first, t) : t;
      last = any ? std::max(last, t) : t;
      any = true;
    }
    r.channels.push_back(std::move(c));
  }
  r.summary.startTime = FromArchiveMs(first);
  r.summary.endTime = FromArchiveMs(last);
  r.summary.rangeMin = -100.0f;
  r.summary.rangeMax = 100.0f;
  return r;
}

class ViewDataTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    location_ = NewArchiveLocation(GetParam(), dir_);
    ASSERT_FALSE(location_.empty());
    archive_ = OpenArchive(location_);
    ASSERT_TRUE(archive_);
    std::mt19937 random(7);
    std::uniform_int_distribution<int> tenths(-500, 500);
    const auto value = [&] { return static_cast<float>(tenths(random)) / 10.0f; };
    // A: channel 1 every second for 10,000 s (three chunks) with two gap samples, channel 2 every
    // 2.5 s. B: after a hole of an hour, channel 1 every 3 s. C: overlapping A in time, channel 1 at
    // the half seconds of A's second hour (its chunks lie among A's).
    std::vector<std::pair<std::int64_t, float>> a1, a2, b1, c1;
    for (std::int64_t i = 0; i < 10000; ++i) a1.push_back({kStartMs + i * 1000, i == 5000 || i == 7777 ? GapValue : value()});
    for (std::int64_t i = 0; i < 4000; ++i) a2.push_back({kStartMs + i * 2500, value()});
    const std::int64_t bStart = kStartMs + 10000 * 1000 + 3600000;
    for (std::int64_t i = 0; i < 5000; ++i) b1.push_back({bStart + i * 3000, value()});
    for (std::int64_t i = 3600; i < 7200; ++i) c1.push_back({kStartMs + i * 1000 + 500, value()});
    for (const SourceRecording& r : {Recording("a", {{1, a1}, {2, a2}}), Recording("b", {{1, b1}}), Recording("c", {{1, c1}})}) {
      const ImportResult imported = archive_->Import("r", r);
      ASSERT_EQ(imported.outcome, ImportResult::Outcome::Imported) << imported.message;
    }
    recorderId_ = RecorderId(*archive_, "r");
    std::string error;
    const auto channels = archive_->Channels(recorderId_, error);
    ASSERT_TRUE(channels) << error;
    channels_ = *channels;
    firstMs_ = kStartMs;
    lastMs_ = bStart + 4999 * 3000;
  }

  // The period [fromMs, toMs] both ways: read whole into memory, and streamed.
  struct Both {
    std::vector<ChannelInfo> samples;
    std::unique_ptr<DatasetViewData> dataset;
    std::unique_ptr<ArchivePeriodViewData> streamed;
  };
  // With `ranges` both know each channel's recorded range (kRange, as a recorder file gives it),
  // without neither (as a CSV import).
  std::unique_ptr<Both> Period(std::int64_t fromMs, std::int64_t toMs, bool ranges = true) {
    auto both = std::make_unique<Both>();
    DatasetSummary summary;
    std::string error;
    EXPECT_TRUE(archive_->ReadPeriod(recorderId_, fromMs, toMs, {1, 2}, false, summary, both->samples, error)) << error;
    std::map<int, int> decimals;
    std::map<int, std::pair<double, double>> recorded;
    for (const ChannelSummaryInfo& c : channels_) {
      decimals[c.number] = 1;
      if (ranges) recorded[c.number] = kRange;
    }
    both->dataset = std::make_unique<DatasetViewData>(both->samples, std::vector<std::size_t>{0, 1}, -kInf, kInf,
                                                      decimals, recorded);
    std::vector<ChannelSummaryInfo> channels = channels_;
    for (ChannelSummaryInfo& c : channels) {
      c.hasRange = ranges;
      c.rangeLow = static_cast<float>(kRange.first);
      c.rangeHigh = static_cast<float>(kRange.second);
      c.decimals = 1;
    }
    both->streamed =
        std::make_unique<ArchivePeriodViewData>(ArchivePeriodSource{location_, recorderId_, channels, fromMs, toMs});
    return both;
  }

  // The moments worth asking about: every kind of place, and random ones.
  std::vector<std::int64_t> Moments() const {
    std::vector<std::int64_t> t = {firstMs_ - 5000, firstMs_, firstMs_ + 1, firstMs_ + 500, firstMs_ + 499,
                                   kStartMs + 5000 * 1000, kStartMs + 5000 * 1000 + 400,  // the gap sample
                                   kStartMs + 3700 * 1000 + 250, kStartMs + 3700 * 1000 + 750,  // among C's
                                   kStartMs + 10000 * 1000 + 1800000,  // in the hole
                                   lastMs_, lastMs_ + 1, lastMs_ + 100000};
    std::mt19937_64 random(11);
    std::uniform_int_distribution<std::int64_t> any(firstMs_ - 10000, lastMs_ + 10000);
    for (int i = 0; i < 150; ++i) t.push_back(any(random));
    return t;
  }

  TempDir dir_;
  std::string location_;
  std::unique_ptr<Archive> archive_;
  std::int64_t recorderId_ = 0;
  std::vector<ChannelSummaryInfo> channels_;
  std::int64_t firstMs_ = 0, lastMs_ = 0;
};

void ExpectSameValues(ViewData& a, ViewData& b, DateTime x) {
  std::vector<std::optional<float>> va, vb;
  std::string error;
  ASSERT_TRUE(a.ValuesNear(x, va, error)) << error;
  ASSERT_TRUE(b.ValuesNear(x, vb, error)) << error;
  ASSERT_EQ(va.size(), vb.size());
  for (std::size_t c = 0; c < va.size(); ++c) {
    EXPECT_EQ(va[c].has_value(), vb[c].has_value()) << "channel " << c;
    if (va[c] && vb[c]) EXPECT_EQ(std::bit_cast<std::uint32_t>(*va[c]), std::bit_cast<std::uint32_t>(*vb[c])) << "channel " << c;
  }
}

void ExpectSameStatistics(ViewData& a, ViewData& b, DateTime from, DateTime to, const LimitsByChannel& limits) {
  std::vector<SpanStatistics> ra, rb;
  std::string error;
  ASSERT_TRUE(a.Statistics(from, to, limits, ra, error)) << error;
  ASSERT_TRUE(b.Statistics(from, to, limits, rb, error)) << error;
  // The table both print is the same text, to the last digit and millisecond.
  EXPECT_EQ(SpanStatisticsTable(ra), SpanStatisticsTable(rb));
  ASSERT_EQ(ra.size(), rb.size());
  for (std::size_t c = 0; c < ra.size(); ++c) {
    EXPECT_EQ(ra[c].mean.has_value(), rb[c].mean.has_value());
    if (ra[c].mean && rb[c].mean) EXPECT_DOUBLE_EQ(*ra[c].mean, *rb[c].mean);
  }
}

TEST_P(ViewDataTest, AMomentReadsTheSameFromMemoryAndFromTheChunks) {
  for (const auto& [from, to] : {std::pair{INT64_MIN / 4, INT64_MAX / 4},
                                 std::pair{kStartMs + 3650 * 1000 + 300, kStartMs + 9000 * 1000 + 123}}) {
    SCOPED_TRACE("period from " + std::to_string(from));
    const std::unique_ptr<Both> both = Period(from, to);
    for (const std::int64_t t : Moments()) {
      SCOPED_TRACE("at " + std::to_string(t - kStartMs));
      ExpectSameValues(*both->dataset, *both->streamed, FromArchiveMs(t));
    }
  }
}

TEST_P(ViewDataTest, ASpanMeasuresTheSameFromMemoryAndFromTheChunks) {
  const LimitsByChannel limits = {{1, AlarmLimits(20.0, -20.0)}, {2, AlarmLimits(std::nullopt, 0.0)}};
  for (const auto& [from, to] : {std::pair{INT64_MIN / 4, INT64_MAX / 4},
                                 std::pair{kStartMs + 3650 * 1000 + 300, kStartMs + 9000 * 1000 + 123}}) {
    SCOPED_TRACE("period from " + std::to_string(from));
    const std::unique_ptr<Both> both = Period(from, to);
    const std::vector<std::int64_t> moments = Moments();
    std::mt19937 random(3);
    for (int i = 0; i < 60; ++i) {
      const std::int64_t a = moments[random() % moments.size()];
      const std::int64_t b = moments[random() % moments.size()];
      SCOPED_TRACE("span " + std::to_string(a - kStartMs) + " " + std::to_string(b - kStartMs));
      ExpectSameStatistics(*both->dataset, *both->streamed, FromArchiveMs(a), FromArchiveMs(b), i % 2 ? limits : LimitsByChannel{});
    }
    // The whole and a single moment.
    ExpectSameStatistics(*both->dataset, *both->streamed, FromArchiveMs(firstMs_), FromArchiveMs(lastMs_), limits);
    ExpectSameStatistics(*both->dataset, *both->streamed, FromArchiveMs(kStartMs + 3700 * 1000), FromArchiveMs(kStartMs + 3700 * 1000), limits);
  }
}

void ExpectSameEvents(const std::vector<AlarmEvent>& a, const std::vector<AlarmEvent>& b) {
  ASSERT_EQ(a.size(), b.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    SCOPED_TRACE("event " + std::to_string(i));
    EXPECT_EQ(a[i].number, b[i].number);
    EXPECT_EQ(a[i].upper, b[i].upper);
    EXPECT_EQ(a[i].limit, b[i].limit);
    EXPECT_EQ(a[i].start, b[i].start);
    EXPECT_EQ(a[i].end, b[i].end);
    EXPECT_EQ(a[i].seconds, b[i].seconds);
    EXPECT_EQ(a[i].extreme, b[i].extreme);
    EXPECT_EQ(a[i].extremeTime, b[i].extremeTime);
  }
}

// The alarm events both sources give over [from, to]; those of `a`.
std::vector<ChannelAlarmEvents> ExpectSameAlarms(ViewData& a, ViewData& b, DateTime from, DateTime to,
                                                 const AlarmLimitsByChannel& limits, const AlarmEventCap& cap) {
  std::vector<ChannelAlarmEvents> ea, eb;
  std::string error;
  EXPECT_TRUE(a.AlarmEvents(from, to, limits, cap, ea, error)) << error;
  EXPECT_TRUE(b.AlarmEvents(from, to, limits, cap, eb, error)) << error;
  EXPECT_EQ(ea.size(), b.ChannelCount());
  if (ea.size() != eb.size()) {
    ADD_FAILURE() << ea.size() << " channels against " << eb.size();
    return ea;
  }
  for (std::size_t c = 0; c < ea.size(); ++c) {
    SCOPED_TRACE("channel " + std::to_string(ea[c].number));
    EXPECT_EQ(ea[c].number, eb[c].number);
    EXPECT_EQ(ea[c].deadband, eb[c].deadband);
    EXPECT_EQ(ea[c].total, eb[c].total);
    ExpectSameEvents(ea[c].events, eb[c].events);
    ExpectSameEvents(ea[c].beyond, eb[c].beyond);
    EXPECT_EQ(ea[c].values.has_value(), eb[c].values.has_value());
    if (ea[c].values && eb[c].values) {
      EXPECT_EQ(ea[c].values->any, eb[c].values->any);
      EXPECT_EQ(ea[c].values->low, eb[c].values->low);
      EXPECT_EQ(ea[c].values->high, eb[c].values->high);
    }
  }
  return ea;
}

// The periods beyond the limits, anywhere in the period: spans that start or end on a sample, in
// the hole, on its gap sample or on a recorded one, before the first and after the last; limits
// of every kind with typed and default deadbands (from the recorded range, the limits' distance or
// the values' span), shortest durations, and a cap.
TEST_P(ViewDataTest, AlarmEventsAreTheSameFromMemoryAndFromTheChunks) {
  struct LimitsCase {
    const char* name;
    AlarmLimitsByChannel limits;
  };
  const std::vector<LimitsCase> limitsCases = {
      {"both limits, default deadband; a lower limit with its own rules",
       {{1, AlarmLimits(20.0, -20.0)}, {2, AlarmLimits(std::nullopt, 0.0, 1.5, 3.0)}}},
      {"one limit, default deadband (range or values); limits that cross",
       {{1, AlarmLimits(30.0, std::nullopt)}, {2, AlarmLimits(10.0, 40.0)}}},
      {"a lower limit without a deadband but a shortest duration; a channel without limits",
       {{1, AlarmLimits(std::nullopt, -45.0, 0.0, 10.0)}}},
      {"a deadband wider than everything; a lower limit only",
       {{1, AlarmLimits(0.0, std::nullopt, 100.0)}, {2, AlarmLimits(std::nullopt, -40.0)}}},
      {"rules that are no figures", {{1, AlarmLimits(25.0, -25.0, -3.0, std::nan(""))}}},
      {"none", {}},
  };
  const std::vector<AlarmEventCap> caps = {{}, {3, 0}, {2, 20000}};
  for (const bool ranges : {true, false}) {
    for (const auto& [fromMs, toMs] : {std::pair{INT64_MIN / 4, INT64_MAX / 4},
                                       std::pair{kStartMs + 3650 * 1000 + 300, kStartMs + 12000 * 1000 + 123}}) {
      SCOPED_TRACE(std::string(ranges ? "with" : "without") + " ranges, period from " + std::to_string(fromMs));
      const std::unique_ptr<Both> both = Period(fromMs, toMs, ranges);
      // The gap samples the period holds: recorded ones and the hole's.
      std::vector<std::int64_t> gaps;
      const ChannelInfo& one = both->samples[0];
      for (std::size_t i = 0; i < one.values.size(); ++i) {
        if (IsGapValue(one.values[i])) gaps.push_back(ToArchiveMs(one.times[i]));
      }
      ASSERT_GE(gaps.size(), 2u);
      std::vector<std::int64_t> moments = Moments();
      for (const std::int64_t g : gaps) moments.insert(moments.end(), {g - 1, g, g + 1});
      std::mt19937 random(5);
      bool endedAtAGap = false, anyBeyond = false;
      for (const LimitsCase& l : limitsCases) {
        SCOPED_TRACE(l.name);
        for (std::size_t c = 0; c < caps.size(); ++c) {
          SCOPED_TRACE("cap " + std::to_string(c));
          // The whole period, and reversed ends.
          const std::vector<ChannelAlarmEvents> whole = ExpectSameAlarms(*both->dataset, *both->streamed, -kInf, kInf, l.limits, caps[c]);
          ExpectSameAlarms(*both->dataset, *both->streamed, kInf, -kInf, l.limits, caps[c]);
          ExpectSameAlarms(*both->dataset, *both->streamed, std::nan(""), FromArchiveMs(gaps.back()), l.limits, caps[c]);
          for (const ChannelAlarmEvents& found : whole) {
            anyBeyond = anyBeyond || !found.beyond.empty();
            for (const AlarmEvent& e : found.events) {
              for (const std::int64_t g : gaps) endedAtAGap = endedAtAGap || ToArchiveMs(e.end) == g;
            }
          }
          for (int i = 0; i < 8; ++i) {
            const std::int64_t a = moments[random() % moments.size()];
            const std::int64_t b = moments[random() % moments.size()];
            SCOPED_TRACE("span " + std::to_string(a - kStartMs) + " " + std::to_string(b - kStartMs));
            ExpectSameAlarms(*both->dataset, *both->streamed, FromArchiveMs(a), FromArchiveMs(b), l.limits, caps[c]);
          }
        }
      }
      EXPECT_TRUE(endedAtAGap) << "no period ended at a gap sample: the case is not tried";
      EXPECT_TRUE(anyBeyond) << "no cap was reached: the case is not tried";
    }
  }
}

// The whole source's events are those the window finds in the samples it holds (FindAlarmEvents
// with the deadband the window gives), and a span's are those of its samples alone.
TEST_P(ViewDataTest, AlarmEventsOfTheWholePeriodAreThoseOfItsSamples) {
  const AlarmLimitsByChannel limits = {{1, AlarmLimits(20.0, -20.0, std::nullopt, 2.0)}, {2, AlarmLimits(35.0, std::nullopt)}};
  for (const bool ranges : {true, false}) {
    SCOPED_TRACE(ranges ? "with ranges" : "without ranges");
    const std::unique_ptr<Both> both = Period(INT64_MIN / 4, INT64_MAX / 4, ranges);
    std::vector<ChannelAlarmEvents> found;
    std::string error;
    ASSERT_TRUE(both->streamed->AlarmEvents(-kInf, kInf, limits, {}, found, error)) << error;
    ASSERT_EQ(found.size(), 2u);
    for (std::size_t c = 0; c < 2; ++c) {
      const ChannelInfo& channel = both->samples[c];
      const AlarmLimits& l = limits.at(channel.number);
      std::optional<std::pair<double, double>> range;
      if (ranges) range = kRange;
      const double deadband = DefaultDeadband(l, range, channel);
      EXPECT_EQ(found[c].deadband, deadband);
      EXPECT_EQ(found[c].values.has_value(), !ranges && c == 1);
      const std::vector<AlarmEvent> expected = FindAlarmEvents(channel, l, EventRules(l, deadband));
      EXPECT_FALSE(expected.empty());
      EXPECT_EQ(found[c].total, expected.size());
      ExpectSameEvents(found[c].events, expected);
      // A span alone: the samples within it.
      const std::int64_t a = kStartMs + 2000 * 1000 + 300, b = kStartMs + 9000 * 1000;
      ChannelInfo within;
      within.number = channel.number;
      for (std::size_t i = 0; i < channel.times.size(); ++i) {
        const std::int64_t t = ToArchiveMs(channel.times[i]);
        if (t < a || t > b) continue;
        within.times.push_back(channel.times[i]);
        within.values.push_back(channel.values[i]);
      }
      std::vector<ChannelAlarmEvents> span;
      ASSERT_TRUE(both->streamed->AlarmEvents(FromArchiveMs(b), FromArchiveMs(a), limits, {}, span, error)) << error;
      ExpectSameEvents(span[c].events, FindAlarmEvents(within, l, EventRules(l, deadband)));
    }
  }
}

TEST_P(ViewDataTest, AlarmEventsCancelledOrOfAnArchiveThatIsNotThereSaySo) {
  const std::unique_ptr<Both> both = Period(INT64_MIN / 4, INT64_MAX / 4, false);
  const AlarmLimitsByChannel limits = {{1, AlarmLimits(20.0, std::nullopt)}};
  std::atomic<bool> cancel{true};
  std::vector<ChannelAlarmEvents> found;
  for (ViewData* data : std::initializer_list<ViewData*>{both->dataset.get(), both->streamed.get()}) {
    std::string error;
    EXPECT_FALSE(data->AlarmEvents(-kInf, kInf, limits, {}, found, error, &cancel));
    EXPECT_FALSE(error.empty());
  }
  ArchivePeriodViewData missing({dir_.File("nowhere.sqlite"), recorderId_, channels_, INT64_MIN / 4, INT64_MAX / 4});
  std::string error;
  EXPECT_FALSE(missing.AlarmEvents(-kInf, kInf, limits, {}, found, error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(std::filesystem::exists(dir_.File("nowhere.sqlite")));
}

TEST_P(ViewDataTest, TheValueHoldingAtTheStartComesFromHoweverLongBefore) {
  // A recorder that samples every three days: the value holding at a moment is the one written up to
  // three days before it, and the mean weighs each value by how long it held.
  std::vector<std::pair<std::int64_t, float>> sparse;
  for (std::int64_t i = 0; i < 20; ++i) sparse.push_back({kStartMs + i * 3 * 86400000, static_cast<float>(i)});
  ASSERT_EQ(archive_->Import("sparse", Recording("sparse", {{1, sparse}})).outcome, ImportResult::Outcome::Imported);
  std::string error;
  const std::optional<ResolvedPeriod> period =
      ResolvePeriod(*archive_, 0, "sparse", {}, kPeriodOpenStart, kPeriodOpenEnd, error);
  ASSERT_TRUE(period) << error;
  ArchivePeriodViewData data({location_, period->recorderId, period->channels, kPeriodOpenStart, kPeriodOpenEnd});
  std::vector<SpanStatistics> rows;
  const DateTime from = FromArchiveMs(kStartMs + 4 * 86400000);  // 1 day after the sample valued 1
  const DateTime to = FromArchiveMs(kStartMs + 8 * 86400000);    // 2 days after the one valued 2
  ASSERT_TRUE(data.Statistics(from, to, {}, rows, error)) << error;
  ASSERT_EQ(rows.size(), 1u);
  ASSERT_TRUE(rows[0].atStart && rows[0].atEnd && rows[0].mean);
  EXPECT_EQ(*rows[0].atStart, 1.0);
  EXPECT_EQ(*rows[0].atEnd, 2.0);
  EXPECT_DOUBLE_EQ(*rows[0].mean, (1.0 * 2 + 2.0 * 2) / 4);
  EXPECT_EQ(rows[0].min, 2.0);  // the only sample inside
}

TEST_P(ViewDataTest, ASpanOfDaysMeasuredOnTwoConnectionsIsTheSameAsInMemory) {
  // Spans longer than a day are measured on two threads, each channel on one of them: five
  // channels every ten minutes for twelve days, with a day missing in the middle.
  std::mt19937 random(5);
  std::vector<std::pair<int, std::vector<std::pair<std::int64_t, float>>>> channels;
  for (int c = 1; c <= 5; ++c) {
    std::vector<std::pair<std::int64_t, float>> samples;
    for (std::int64_t i = 0; i < 12 * 144; ++i) {
      if (i / 144 == 6) continue;
      samples.push_back({kStartMs + i * 600000, static_cast<float>(static_cast<int>(random() % 2001) - 1000) / 10.0f});
    }
    channels.push_back({c, samples});
  }
  ASSERT_EQ(archive_->Import("days", Recording("days", channels)).outcome, ImportResult::Outcome::Imported);
  std::string error;
  const std::optional<ResolvedPeriod> period =
      ResolvePeriod(*archive_, 0, "days", {}, kPeriodOpenStart, kPeriodOpenEnd, error);
  ASSERT_TRUE(period) << error;
  DatasetSummary summary;
  std::vector<ChannelInfo> samples;
  ASSERT_TRUE(archive_->ReadPeriod(period->recorderId, period->fromMs, period->toMs, {}, false, summary, samples, error));
  ASSERT_EQ(samples.size(), 5u);
  std::vector<ChannelSummaryInfo> infos = period->channels;
  std::map<int, int> decimals;
  for (ChannelSummaryInfo& c : infos) {
    c.hasRange = true;
    c.decimals = 1;
    decimals[c.number] = 1;
  }
  DatasetViewData inMemory(samples, {0, 1, 2, 3, 4}, -kInf, kInf, decimals);
  ArchivePeriodViewData streamed({location_, period->recorderId, infos, period->fromMs, period->toMs});
  const LimitsByChannel limits = {{2, AlarmLimits(50.0, -50.0)}, {5, AlarmLimits(std::nullopt, -90.0)}};
  for (const auto& [from, to] : {std::pair{0.3, 11.7}, std::pair{5.5, 7.25}, std::pair{-1.0, 20.0}, std::pair{11.9, 1.1}}) {
    SCOPED_TRACE("days " + std::to_string(from) + " to " + std::to_string(to));
    ExpectSameStatistics(inMemory, streamed, FromArchiveMs(kStartMs) + from, FromArchiveMs(kStartMs) + to, limits);
  }
}

TEST_P(ViewDataTest, AReadCancelledOrOfAnArchiveThatIsNotThereSaysSo) {
  const std::unique_ptr<Both> both = Period(INT64_MIN / 4, INT64_MAX / 4);
  std::atomic<bool> cancel{true};
  std::vector<SpanStatistics> rows;
  std::string error;
  EXPECT_FALSE(both->streamed->Statistics(FromArchiveMs(firstMs_), FromArchiveMs(lastMs_), {}, rows, error, &cancel));
  EXPECT_FALSE(error.empty());
  ArchivePeriodViewData missing({dir_.File("nowhere.sqlite"), recorderId_, channels_, INT64_MIN / 4, INT64_MAX / 4});
  error.clear();
  std::vector<std::optional<float>> values;
  EXPECT_FALSE(missing.ValuesNear(FromArchiveMs(firstMs_), values, error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(std::filesystem::exists(dir_.File("nowhere.sqlite")));  // nothing made by asking
}

TEST_P(ViewDataTest, TheStreamHandsEachChannelInTimeOrderWithItsHoleOnce) {
  std::vector<std::int64_t> times;
  std::vector<int> holes;
  std::string error;
  ASSERT_TRUE(archive_->StreamPeriod(
      recorderId_, INT64_MIN / 4, INT64_MAX / 4, {1},
      [&](int number, const Archive::SampleBatch& batch) {
        EXPECT_EQ(number, 1);
        for (std::size_t k = 0; k < batch.times.size(); ++k) {
          if (batch.holes[k]) holes.push_back(static_cast<int>(times.size()));
          times.push_back(batch.times[k]);
        }
        return true;
      },
      error))
      << error;
  EXPECT_EQ(times.size(), 10000u + 5000u + 3600u + 1u);
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
  ASSERT_EQ(holes.size(), 1u);
  EXPECT_EQ(holes[0], 10000 + 3600);
}

INSTANTIATE_TEST_SUITE_P(Engines, ViewDataTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), EngineName);

}  // namespace
}  // namespace vantiro
