// The periods beyond a channel's limits: a synthetic channel crossing them, their durations against
// the span statistics over random channels with gaps, and the limits typed by the user kept per
// recording.
#include "chart/AlarmEvents.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>

#include "chart/ChannelLimitsStore.h"
#include "chart/ChartScales.h"
#include "chart/Cursors.h"
#include "support/ScopedEnvironment.h"

namespace vantiro {
namespace {

constexpr DateTime kStart = 45000.0;
DateTime At(std::int64_t second) { return kStart + static_cast<double>(second) * kOneSecond; }

ChannelInfo Channel(std::initializer_list<std::pair<std::int64_t, float>> samples) {
  ChannelInfo c;
  c.number = 3;
  c.unit = "MPa";
  for (const auto& [second, value] : samples) {
    c.times.push_back(At(second));
    c.values.push_back(value);
  }
  return c;
}

struct Expected {
  bool upper;
  std::int64_t start, end;
  float extreme;
};

struct EventCase {
  const char* name;
  ChannelInfo channel;
  ChannelLimits limits;
  std::vector<Expected> events;
};

TEST(AlarmEvents, PeriodsOfASyntheticChannel) {
  const ChannelLimits both{80.0, 20.0};
  const std::vector<EventCase> cases = {
      {"within throughout", Channel({{0, 50}, {10, 60}, {20, 70}}), both, {}},
      {"no limits", Channel({{0, 500}, {10, 600}}), {}, {}},
      {"one crossing up and back", Channel({{0, 50}, {10, 85}, {20, 90}, {30, 70}, {40, 60}}), both,
       {{true, 10, 30, 90}}},
      {"a value on the limit is not beyond it", Channel({{0, 80}, {10, 20}, {20, 50}}), both, {}},
      {"beyond at the start, back later", Channel({{0, 10}, {5, 5}, {10, 50}}), both, {{false, 0, 10, 5}}},
      {"beyond to the last sample", Channel({{0, 50}, {10, 95}, {20, 99}}), both, {{true, 10, 20, 99}}},
      {"a gap ends a period", Channel({{0, 90}, {10, GapValue}, {20, 95}, {30, 50}}), both,
       {{true, 0, 10, 90}, {true, 20, 30, 95}}},
      {"straight from above to below", Channel({{0, 90}, {10, 10}, {20, 50}}), both,
       {{true, 0, 10, 90}, {false, 10, 20, 10}}},
      {"upper limit only", Channel({{0, 90}, {10, 10}, {20, 50}}), ChannelLimits{80.0, std::nullopt},
       {{true, 0, 10, 90}}},
      {"times stored out of order", Channel({{20, 50}, {0, 50}, {10, 90}}), both, {{true, 10, 20, 90}}},
  };
  for (const EventCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<AlarmEvent> events = FindAlarmEvents(c.channel, c.limits);
    ASSERT_EQ(events.size(), c.events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
      EXPECT_EQ(events[i].upper, c.events[i].upper);
      EXPECT_EQ(events[i].number, 3);
      EXPECT_DOUBLE_EQ(events[i].start, At(c.events[i].start));
      EXPECT_DOUBLE_EQ(events[i].end, At(c.events[i].end));
      EXPECT_DOUBLE_EQ(events[i].seconds, static_cast<double>(c.events[i].end - c.events[i].start));
      EXPECT_FLOAT_EQ(static_cast<float>(events[i].extreme), c.events[i].extreme);
      EXPECT_EQ(events[i].limit, events[i].upper ? *c.limits.upper : *c.limits.lower);
    }
  }
}

TEST(AlarmEvents, DurationsAddUpToTheStatisticsTimeBeyondEachLimit) {
  std::mt19937 random(19);
  std::uniform_int_distribution<int> step(1, 7);
  std::uniform_int_distribution<int> value(0, 100);
  std::bernoulli_distribution gap(0.08);
  for (int round = 0; round < 100; ++round) {
    ChannelInfo c;
    c.number = 1;
    std::int64_t t = 0;
    for (int i = 0; i < 300; ++i) {
      c.times.push_back(At(t));
      c.values.push_back(gap(random) ? GapValue : static_cast<float>(value(random)));
      t += step(random);
    }
    const ChannelLimits limits{70.0, 25.0};
    double above = 0.0, below = 0.0;
    for (const AlarmEvent& e : FindAlarmEvents(c, limits)) {
      (e.upper ? above : below) += e.seconds;
      EXPECT_LE(e.start, e.end);
      EXPECT_TRUE(e.upper ? e.extreme > 70.0 : e.extreme < 25.0);
    }
    const SpanStatistics s = ComputeSpanStatistics(c, c.times.front(), c.times.back(), limits);
    ASSERT_TRUE(s.secondsAbove && s.secondsBelow);
    EXPECT_NEAR(above, *s.secondsAbove, 1e-6) << round;
    EXPECT_NEAR(below, *s.secondsBelow, 1e-6) << round;
  }
}

TEST(AlarmEvents, ALiveLineReadsAsTheSamplesItWasDrawnFrom) {
  ChartLine line;
  line.Append(At(0), 10.0);
  line.AppendGap(At(1), -999.0);
  line.Append(At(2), 30.5);
  const ChannelInfo c = ChannelFromLine(line, 4, "℃");
  EXPECT_EQ(c.number, 4);
  EXPECT_EQ(c.unit, "℃");
  ASSERT_EQ(c.values.size(), 3u);
  EXPECT_EQ(c.values[0], 10.0f);
  EXPECT_TRUE(IsGapValue(c.values[1]));
  EXPECT_EQ(c.values[2], 30.5f);
}

TEST(ChannelLimitsStore, TextReadsBackAndBadEntriesAreLeftOut) {
  const LimitsByChannel limits = {{1, {80.5, 20.0}}, {3, {std::nullopt, -5.25}}, {16, {1e6, std::nullopt}}};
  EXPECT_EQ(ParseLimitsText(LimitsText(limits)).size(), 3u);
  const LimitsByChannel back = ParseLimitsText(LimitsText(limits));
  EXPECT_EQ(back.at(1).upper, 80.5);
  EXPECT_EQ(back.at(3).lower, -5.25);
  EXPECT_FALSE(back.at(3).upper);
  const LimitsByChannel bad = ParseLimitsText("x:1:2;2:abc:1;3:nan:;4::inf;0:1:2;5:1e999:;6::;7:1:2:3;;8");
  EXPECT_TRUE(bad.empty()) << LimitsText(bad);
  EXPECT_EQ(ParseLimitsText("2:1:;junk;9::3").size(), 2u);
}

TEST(ChannelLimitsStore, KeptPerRecordingAcrossStarts) {
  const std::filesystem::path home = std::filesystem::temp_directory_path() / "vantiro-limits-test";
  std::filesystem::remove_all(home);
  testing::ScopedEnvironment config("XDG_CONFIG_HOME", home.string());
  const std::string a = FileLimitsKey("/data/a.dat");
  const std::string b = ArchiveLimitsKey("/data/archive.sqlite", "COM1 地址1");
  EXPECT_TRUE(LoadLimits(a).empty());
  ASSERT_TRUE(SaveLimits(a, {{2, {90.0, std::nullopt}}}));
  ASSERT_TRUE(SaveLimits(b, {{5, {std::nullopt, 1.5}}}));
  EXPECT_EQ(LoadLimits(a).at(2).upper, 90.0);
  EXPECT_EQ(LoadLimits(b).at(5).lower, 1.5);
  EXPECT_EQ(LoadLimits(b).count(2), 0u);
  ASSERT_TRUE(SaveLimits(a, {}));  // cleared
  EXPECT_TRUE(LoadLimits(a).empty());
  std::filesystem::remove_all(home);
}

TEST(ChartScales, NamesMapsAndUnitGroups) {
  EXPECT_EQ(ParseChartScale("single"), ChartScale::Single);
  EXPECT_EQ(ParseChartScale("range"), ChartScale::Range);
  EXPECT_EQ(ParseChartScale("unit"), ChartScale::Unit);
  EXPECT_FALSE(ParseChartScale("Unit"));
  EXPECT_EQ(ChartScaleName(ChartScale::Range), "按量程");
  const ValueMap map = MakeValueMap(0.0, 1.6);
  EXPECT_DOUBLE_EQ(map.ToShared(0.8), 50.0);
  EXPECT_DOUBLE_EQ(map.FromShared(100.0), 1.6);
  EXPECT_EQ(MakeValueMap(5.0, 5.0), (ValueMap{4.5, 5.5}));
  EXPECT_EQ(MakeValueMap(300.0, -100.0), (ValueMap{-100.0, 300.0}));
  EXPECT_EQ(MakeValueMap(std::nan(""), 3.0), ValueMap{});
  const std::vector<UnitGroup> groups = GroupLinesByUnit({"℃", "MPa", "℃", "", "m3/h", "MPa"});
  ASSERT_EQ(groups.size(), 4u);
  EXPECT_EQ(groups[0].unit, "℃");
  EXPECT_EQ(groups[0].lines, (std::vector<std::size_t>{0, 2}));
  EXPECT_EQ(groups[1].lines, (std::vector<std::size_t>{1, 5}));
  EXPECT_EQ(groups[2].unit, "");
}

TEST(Cursors, DurationsAndTheSecondCursorsTitle) {
  const std::vector<std::pair<double, const char*>> cases = {
      {0.0, "00:00:00"},       {59.0, "00:00:59"},          {3723.0, "01:02:03"},
      {0.25, "00:00:00.250"},  {-90.0, "-00:01:30"},        {90061.5, "1天 01:01:01.500"},
      {86400.0 * 400, "400天 00:00:00"},
  };
  for (const auto& [seconds, text] : cases) EXPECT_EQ(DurationText(seconds), text) << seconds;
  EXPECT_EQ(SecondCursorLegendTitle(At(0), At(3600)), "垂直游标X2: 2023-03-15 01:00:00\nΔt: 01:00:00");
}

}  // namespace
}  // namespace vantiro
