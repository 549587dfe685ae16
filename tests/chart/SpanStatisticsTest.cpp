// The span between two moments measured: against a plain reference computed second by second over
// random channels with gaps, and on small channels whose answers are known.
#include "chart/SpanStatistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace vantiro {
namespace {

constexpr DateTime kStart = 45000.0;  // a midnight
DateTime At(std::int64_t second) { return kStart + static_cast<double>(second) * kOneSecond; }

// Samples at whole seconds with steps of 1..5 s, values of one decimal, some of them gaps.
ChannelInfo RandomChannel(std::mt19937& random, int count) {
  ChannelInfo c;
  c.number = 7;
  c.unit = "℃";
  std::uniform_int_distribution<int> step(1, 5);
  std::uniform_int_distribution<int> value(-500, 500);
  std::bernoulli_distribution gap(0.1);
  std::int64_t t = 0;
  for (int i = 0; i < count; ++i) {
    c.times.push_back(At(t));
    c.values.push_back(gap(random) ? GapValue : static_cast<float>(value(random) * 0.1));
    t += step(random);
  }
  return c;
}

struct Reference {
  std::optional<double> atStart, atEnd, min, max, mean;
  double above = 0, below = 0;
};

// Second by second: the value holding in [s, s+1) is the last sample at or before s, when a
// later sample exists and it is no gap.
Reference ReferenceOf(const ChannelInfo& c, std::int64_t a, std::int64_t b, double upper, double lower) {
  Reference r;
  const auto secondOf = [&](std::size_t i) { return std::llround((c.times[i] - kStart) * 86400.0); };
  const auto lastAtOrBefore = [&](std::int64_t s) -> std::optional<std::size_t> {
    std::optional<std::size_t> found;
    for (std::size_t i = 0; i < c.times.size(); ++i) {
      if (secondOf(i) <= s) found = i;
    }
    return found;
  };
  const auto holding = [&](std::int64_t s) -> std::optional<double> {
    const auto i = lastAtOrBefore(s);
    if (!i || IsGapValue(c.values[*i])) return std::nullopt;
    return c.values[*i];
  };
  r.atStart = holding(a);
  r.atEnd = holding(b);
  double sum = 0, seconds = 0;
  for (std::int64_t s = a; s < b; ++s) {
    const auto i = lastAtOrBefore(s);
    if (!i || *i + 1 >= c.times.size() || IsGapValue(c.values[*i])) continue;
    const double v = c.values[*i];
    sum += v;
    seconds += 1;
    if (v > upper) r.above += 1;
    if (v < lower) r.below += 1;
  }
  for (std::size_t i = 0; i < c.times.size(); ++i) {
    if (IsGapValue(c.values[i]) || secondOf(i) < a || secondOf(i) > b) continue;
    const double v = c.values[i];
    if (!r.min || v < *r.min) r.min = v;
    if (!r.max || v > *r.max) r.max = v;
  }
  if (seconds > 0) r.mean = sum / seconds;
  return r;
}

TEST(SpanStatisticsTest, AgreesWithASecondBySecondReferenceOnRandomChannelsWithGaps) {
  std::mt19937 random(20261211);
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE(round);
    const ChannelInfo c = RandomChannel(random, 1 + round % 60);
    const std::int64_t span = std::llround((c.times.back() - kStart) * 86400.0) + 10;
    std::uniform_int_distribution<std::int64_t> moment(-5, span);
    std::int64_t a = moment(random), b = moment(random);
    if (b < a) std::swap(a, b);
    const SpanStatistics s = ComputeSpanStatistics(c, At(a), At(b), {12.5, -20.0});
    const Reference r = ReferenceOf(c, a, b, 12.5, -20.0);
    ASSERT_EQ(s.atStart.has_value(), r.atStart.has_value());
    if (r.atStart) {
      EXPECT_EQ(*s.atStart, *r.atStart);
    }
    ASSERT_EQ(s.atEnd.has_value(), r.atEnd.has_value());
    if (r.atEnd) {
      EXPECT_EQ(*s.atEnd, *r.atEnd);
    }
    ASSERT_EQ(s.min.has_value(), r.min.has_value());
    if (r.min) {
      EXPECT_EQ(*s.min, *r.min);
      EXPECT_EQ(*s.max, *r.max);
    }
    if (r.mean) {
      ASSERT_TRUE(s.mean);
      EXPECT_NEAR(*s.mean, *r.mean, 1e-9);
    }
    EXPECT_DOUBLE_EQ(*s.secondsAbove, r.above);
    EXPECT_DOUBLE_EQ(*s.secondsBelow, r.below);
  }
}

TEST(SpanStatisticsTest, KnownChannels) {
  ChannelInfo c;
  c.number = 3;
  c.unit = "MPa";
  // 0 s: 1.25, 10 s: 2.5, 20 s: gap, 30 s: 0.75, 40 s: 5.0
  for (const auto& [second, value] : std::vector<std::pair<int, float>>{{0, 1.25f}, {10, 2.5f}, {20, GapValue}, {30, 0.75f}, {40, 5.0f}}) {
    c.times.push_back(At(second));
    c.values.push_back(value);
  }
  SpanStatistics s = ComputeSpanStatistics(c, At(5), At(35), {2.0, 1.0});
  EXPECT_EQ(ChannelDecimals(c), 2);
  s.decimals = 2;
  EXPECT_EQ(*s.atStart, 1.25);
  EXPECT_EQ(*s.atEnd, 0.75);
  EXPECT_EQ(*s.delta, -0.5);
  EXPECT_EQ(*s.min, 0.75);
  EXPECT_EQ(s.minTime, At(30));
  EXPECT_EQ(*s.max, 2.5);
  EXPECT_EQ(s.maxTime, At(10));
  // 5..10 at 1.25, 10..20 at 2.5, the gap to 30, 30..35 at 0.75: (6.25 + 25 + 3.75) / 20.
  EXPECT_DOUBLE_EQ(*s.mean, 35.0 / 20.0);
  EXPECT_DOUBLE_EQ(*s.secondsAbove, 10.0);
  EXPECT_DOUBLE_EQ(*s.secondsBelow, 5.0);
  // Cursors the other way round measure the same span.
  EXPECT_EQ(ComputeSpanStatistics(c, At(35), At(5)).mean, s.mean);
  // Inside the gap the value at the end is unknown; before the first sample, the one at the start.
  EXPECT_FALSE(ComputeSpanStatistics(c, At(-5), At(25)).atStart);
  EXPECT_FALSE(ComputeSpanStatistics(c, At(-5), At(25)).atEnd);
  // Without limits, no time beyond them.
  EXPECT_FALSE(ComputeSpanStatistics(c, At(0), At(40)).secondsAbove);

  const std::string table = SpanStatisticsTable({s});
  EXPECT_EQ(table,
            "通道\t单位\t起点值\t终点值\t差值\t最小值\t最小值时间\t最大值\t最大值时间\t平均值\t超上限时间\t超下限时间\n"
            "通道03\tMPa\t1.25\t0.75\t-0.50\t0.75\t2023-03-15 00:00:30.000\t2.50\t2023-03-15 00:00:10.000\t1.75\t10.000\t5.000\n");
}

TEST(SpanStatisticsTest, AChannelWithOneSampleOrNoneInTheSpan) {
  ChannelInfo c;
  c.number = 1;
  c.times = {At(10)};
  c.values = {3.0f};
  const SpanStatistics one = ComputeSpanStatistics(c, At(0), At(20));
  EXPECT_EQ(*one.mean, 3.0);  // a single moment: its value
  EXPECT_EQ(*one.min, 3.0);
  EXPECT_FALSE(one.atStart);
  EXPECT_EQ(*one.atEnd, 3.0);
  const SpanStatistics none = ComputeSpanStatistics(ChannelInfo{}, At(0), At(20));
  EXPECT_FALSE(none.mean);
  EXPECT_FALSE(none.min);
  EXPECT_EQ(SpanStatisticsTable({none}), std::string("通道\t单位\t起点值\t终点值\t差值\t最小值\t最小值时间\t最大值\t最大值时间\t平均值\t超上限时间\t超下限时间\n") +
                                             "通道00\t\t\t\t\t\t\t\t\t\t\t\n");
}

}  // namespace
}  // namespace vantiro
