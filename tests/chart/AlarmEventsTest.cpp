// The periods beyond a channel's limits: a synthetic channel crossing them, their durations against
// the span statistics over random channels with gaps, the deadband and the shortest duration that
// keep a chattering channel's list readable, and the limits typed by the user kept per recording.
#include "chart/AlarmEvents.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <random>
#include <sstream>

#include "chart/ChannelLimitsStore.h"
#include "chart/ChartScales.h"
#include "chart/Cursors.h"
#include "platform/Registry.h"
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

struct RuledCase {
  const char* name;
  ChannelInfo channel;
  ChannelLimits limits;
  AlarmEventRules rules;
  std::vector<Expected> events;
};

TEST(AlarmEvents, DeadbandAndShortestDuration) {
  const ChannelLimits upper{80.0, std::nullopt};
  const ChannelLimits lower{std::nullopt, 20.0};
  const ChannelLimits both{80.0, 20.0};
  const std::vector<RuledCase> cases = {
      {"inside the deadband the period goes on; on its edge it ends",
       Channel({{0, 50}, {10, 85}, {20, 79.6f}, {30, 81}, {40, 79.5f}, {50, 70}}), upper, {0.5, 0},
       {{true, 10, 40, 85}}},
      {"without a deadband the same channel makes two periods",
       Channel({{0, 50}, {10, 85}, {20, 79.6f}, {30, 81}, {40, 79.5f}, {50, 70}}), upper, {},
       {{true, 10, 20, 85}, {true, 30, 40, 81}}},
      {"an edge typed in decimals ends at the recorded value shown as it (80 - 0.1 = 79.9)",
       Channel({{0, 85}, {10, 79.95f}, {20, 79.9f}, {30, 50}}), upper, {0.1, 0}, {{true, 0, 20, 85}}},
      {"a gap inside the deadband ends the period; the next one starts beyond the limit again",
       Channel({{0, 90}, {10, 79.8f}, {20, GapValue}, {30, 79.8f}, {40, 95}, {50, 70}}), upper, {0.5, 0},
       {{true, 0, 20, 90}, {true, 40, 50, 95}}},
      {"never far enough back: to the last sample", Channel({{0, 50}, {10, 90}, {20, 79.9f}, {30, 79.8f}}), upper,
       {0.5, 0}, {{true, 10, 30, 90}}},
      {"below a lower limit: ends at limit + deadband",
       Channel({{0, 30}, {10, 15}, {20, 20.5f}, {30, 19}, {40, 21}, {50, 30}}), lower, {1.0, 0},
       {{false, 10, 40, 15}}},
      {"lower limit without a deadband", Channel({{0, 30}, {10, 15}, {20, 20.5f}, {30, 19}, {40, 21}}), lower, {},
       {{false, 10, 20, 15}, {false, 30, 40, 19}}},
      {"a deadband wider than the limits' distance: the other limit ends a period",
       Channel({{0, 90}, {10, 50}, {20, 10}, {30, 50}, {40, 90}, {50, 50}}), both, {100.0, 0},
       {{true, 0, 20, 90}, {false, 20, 40, 10}, {true, 40, 50, 90}}},
      {"a value on the other limit is not beyond it", Channel({{0, 90}, {10, 20}, {20, 50}}), both, {100.0, 0},
       {{true, 0, 20, 90}}},
      {"shorter than the minimum: left out", Channel({{0, 90}, {10, 70}, {20, 90}, {40, 95}, {50, 70}}), upper,
       {0, 15}, {{true, 20, 50, 95}}},
      {"as long as the minimum: listed", Channel({{0, 90}, {10, 70}, {20, 90}, {40, 95}, {50, 70}}), upper,
       {0, 10}, {{true, 0, 10, 90}, {true, 20, 50, 95}}},
      {"the minimum counts the period the deadband made",
       Channel({{0, 90}, {10, 79.8f}, {20, 81}, {30, 70}}), upper, {0.5, 25}, {{true, 0, 30, 90}}},
      {"rules that are no figures count as 0", Channel({{0, 50}, {10, 85}, {20, 79.6f}, {30, 81}, {40, 70}}), upper,
       {-1.0, std::nan("")}, {{true, 10, 20, 85}, {true, 30, 40, 81}}},
      {"limits that cross are followed each on its own", Channel({{0, 50}, {10, 90}, {20, 50}}),
       ChannelLimits{40.0, 60.0}, {5.0, 0}, {{false, 0, 10, 50}, {true, 0, 20, 90}, {false, 20, 20, 50}}},
  };
  for (const RuledCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<AlarmEvent> events = FindAlarmEvents(c.channel, c.limits, c.rules);
    ASSERT_EQ(events.size(), c.events.size());
    for (std::size_t i = 0; i < events.size(); ++i) {
      SCOPED_TRACE(i);
      EXPECT_EQ(events[i].upper, c.events[i].upper);
      EXPECT_DOUBLE_EQ(events[i].start, At(c.events[i].start));
      EXPECT_DOUBLE_EQ(events[i].end, At(c.events[i].end));
      EXPECT_DOUBLE_EQ(events[i].seconds, static_cast<double>(c.events[i].end - c.events[i].start));
      EXPECT_FLOAT_EQ(static_cast<float>(events[i].extreme), c.events[i].extreme);
    }
  }
}

// A pressure held at its limit by a controller: the reading swings a step either side every second
// for an hour.
TEST(AlarmEvents, AChannelChatteringAtItsLimitMakesOnePeriodWithTheDefaultDeadband) {
  ChannelInfo c;
  c.number = 2;
  for (int s = 0; s <= 3600; ++s) {
    c.times.push_back(At(s));
    c.values.push_back(s % 2 ? 100.1f : 99.9f);
  }
  const ChannelLimits limits{100.0, std::nullopt};
  // Every swing a period of its own without a deadband, as before.
  const std::vector<AlarmEvent> each = FindAlarmEvents(c, limits);
  EXPECT_EQ(each.size(), 1800u);
  EXPECT_EQ(FindAlarmEvents(c, limits, AlarmEventRules{0.0, 0.0}).size(), 1800u);
  // The channel records 0..200: 1 % of it is 2, far more than the swing.
  const double deadband = DefaultDeadband(limits, std::pair(0.0, 200.0), c);
  EXPECT_DOUBLE_EQ(deadband, 2.0);
  const std::vector<AlarmEvent> one = FindAlarmEvents(c, limits, EventRules(AlarmLimits(limits), deadband));
  ASSERT_EQ(one.size(), 1u);
  EXPECT_DOUBLE_EQ(one[0].start, At(1));
  EXPECT_DOUBLE_EQ(one[0].end, At(3600));
  EXPECT_FLOAT_EQ(static_cast<float>(one[0].extreme), 100.1f);
  // A minimum duration alone thins the swings out entirely.
  EXPECT_TRUE(FindAlarmEvents(c, limits, AlarmEventRules{0.0, 2.0}).empty());
  // The statistics still count the time actually beyond: half the hour.
  const SpanStatistics s = ComputeSpanStatistics(c, c.times.front(), c.times.back(), limits);
  EXPECT_DOUBLE_EQ(*s.secondsAbove, 1800.0);
}

// With a deadband the periods hold every moment the statistics count beyond a limit, each period
// without a deadband lies within one with it, and periods of one channel never overlap.
TEST(AlarmEvents, PeriodsWithADeadbandCoverTheStatisticsTimeBeyond) {
  std::mt19937 random(23);
  std::uniform_int_distribution<int> step(1, 7);
  std::uniform_int_distribution<int> value(0, 100);
  std::bernoulli_distribution gap(0.05);
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
    const double deadband = round % 4 == 3 ? 60.0 : 2.5 * (round % 4 + 1);  // up to wider than the limits' distance
    const std::vector<AlarmEvent> plain = FindAlarmEvents(c, limits);
    const std::vector<AlarmEvent> held = FindAlarmEvents(c, limits, AlarmEventRules{deadband, 0.0});
    double above = 0.0, below = 0.0;
    for (std::size_t k = 0; k < held.size(); ++k) {
      (held[k].upper ? above : below) += held[k].seconds;
      if (k > 0) {
        EXPECT_LE(held[k - 1].end, held[k].start) << round;
      }
    }
    for (const AlarmEvent& p : plain) {
      const bool within = std::any_of(held.begin(), held.end(), [&](const AlarmEvent& h) {
        return h.upper == p.upper && h.start <= p.start && p.end <= h.end;
      });
      EXPECT_TRUE(within) << round;
    }
    const SpanStatistics s = ComputeSpanStatistics(c, c.times.front(), c.times.back(), limits);
    EXPECT_GE(above + 1e-6, *s.secondsAbove) << round;
    EXPECT_GE(below + 1e-6, *s.secondsBelow) << round;
  }
}

TEST(AlarmEvents, TheDefaultDeadband) {
  const ChannelInfo c = Channel({{0, 40}, {10, GapValue}, {20, 60}, {30, 55}});
  struct Case {
    const char* name;
    ChannelLimits limits;
    std::optional<std::pair<double, double>> range;
    double deadband;
  };
  const std::vector<Case> cases = {
      {"1 % of the recorded range", {80.0, 20.0}, std::pair(0.0, 1000.0), 10.0},
      {"a range recorded upside down", {80.0, std::nullopt}, std::pair(1.6, 0.0), 0.016},
      {"a range of no width: as without one", {80.0, 20.0}, std::pair(5.0, 5.0), 0.6},
      {"a range that is no figure: as without one", {80.0, 20.0}, std::pair(0.0, std::nan("")), 0.6},
      {"no range: 1 % of the limits' distance", {80.0, 20.0}, std::nullopt, 0.6},
      {"one limit: 1 % of the values' span with the limit, gaps left out", {80.0, std::nullopt}, std::nullopt, 0.4},
      {"a lower limit inside the values' span", {std::nullopt, 50.0}, std::nullopt, 0.2},
      {"no limits", {}, std::nullopt, 0.0},
  };
  for (const Case& k : cases) {
    EXPECT_NEAR(DefaultDeadband(k.limits, k.range, c), k.deadband, 1e-12) << k.name;
  }
  // A flat channel on its only limit has nothing to take 1 % of.
  EXPECT_EQ(DefaultDeadband({50.0, std::nullopt}, std::nullopt, Channel({{0, 50}, {1, 50}})), 0.0);
  EXPECT_EQ(DefaultDeadband({50.0, std::nullopt}, std::nullopt, ChannelInfo{}), 0.0);
  // Typed rules before the default.
  EXPECT_EQ(EventRules(AlarmLimits(ChannelLimits{80.0, 20.0}, 0.0, 30.0), 0.6).deadband, 0.0);
  EXPECT_EQ(EventRules(AlarmLimits(ChannelLimits{80.0, 20.0}, 0.0, 30.0), 0.6).minSeconds, 30.0);
  EXPECT_EQ(EventRules(AlarmLimits(ChannelLimits{80.0, 20.0}), 0.6).deadband, 0.6);
}

// A channel of random values with gaps, `count` samples 1..7 s apart.
ChannelInfo RandomChannel(std::mt19937& random, int count) {
  std::uniform_int_distribution<int> step(1, 7);
  std::uniform_int_distribution<int> value(0, 100);
  std::bernoulli_distribution gap(0.05);
  ChannelInfo c;
  c.number = 6;
  std::int64_t t = 0;
  for (int i = 0; i < count; ++i) {
    c.times.push_back(At(t));
    c.values.push_back(gap(random) ? GapValue : static_cast<float>(value(random)));
    t += step(random);
  }
  return c;
}

// A noisy channel's periods kept up to a cap: the first ones in full, every one counted, the rest
// covered by stretches for the bands that never grow past the cap, whatever the grain.
TEST(AlarmEvents, AFinderKeepsTheFirstPeriodsCountsThemAllAndCoversTheRest) {
  struct Case {
    const char* name;
    ChannelLimits limits;
    AlarmEventRules rules;
    AlarmEventCap cap;
  };
  const std::size_t unlimited = std::numeric_limits<std::size_t>::max();
  const std::vector<Case> cases = {
      {"no cap", {70.0, 25.0}, {}, {unlimited, 0}},
      {"nothing kept", {70.0, 25.0}, {}, {0, 0}},
      {"one kept", {70.0, 25.0}, {2.5, 0}, {1, 0}},
      {"a few kept, stretches only where periods touch", {70.0, 25.0}, {}, {5, 0}},
      {"a few kept, a minute's grain", {70.0, 25.0}, {5.0, 3.0}, {5, 60000}},
      {"a grain wider than the channel", {70.0, 25.0}, {}, {3, 1000000000}},
      {"a negative grain counts as 0", {70.0, std::nullopt}, {}, {4, -5}},
      {"more kept than there are", {70.0, 25.0}, {}, {100000, 0}},
      {"limits that cross", {40.0, 60.0}, {}, {7, 0}},
  };
  std::mt19937 random(41);
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    for (int round = 0; round < 20; ++round) {
      const ChannelInfo c = RandomChannel(random, 400);
      const std::vector<AlarmEvent> all = FindAlarmEvents(c, k.limits, k.rules);
      AlarmEventFinder finder(c.number, k.limits, k.rules, k.cap);
      for (std::size_t i = 0; i < c.times.size(); ++i) finder.Add(c.times[i], c.values[i]);
      finder.Finish();
      EXPECT_EQ(finder.Total(), all.size());
      // The first to end, in time order: with limits apart the first ones of the whole list.
      const std::vector<AlarmEvent>& kept = finder.Events();
      ASSERT_EQ(kept.size(), std::min(all.size(), k.cap.most));
      EXPECT_TRUE(std::is_sorted(kept.begin(), kept.end(),
                                 [](const AlarmEvent& x, const AlarmEvent& y) { return x.start < y.start; }));
      std::vector<AlarmEvent> rest;
      for (const AlarmEvent& e : all) {
        const bool isKept = std::any_of(kept.begin(), kept.end(), [&](const AlarmEvent& h) {
          return h.upper == e.upper && h.start == e.start && h.end == e.end && h.extreme == e.extreme;
        });
        if (!isKept) rest.push_back(e);
      }
      EXPECT_EQ(rest.size(), all.size() - kept.size());
      if (*k.limits.upper > *k.limits.lower || !k.limits.lower) {
        for (std::size_t i = 0; i < kept.size(); ++i) {
          EXPECT_EQ(kept[i].start, all[i].start) << i;
        }
      }
      // Every period past them inside a stretch of its side, whose extreme is the most extreme.
      const std::vector<AlarmEvent>& beyond = finder.Beyond();
      EXPECT_EQ(beyond.empty(), rest.empty());
      for (const AlarmEvent& e : rest) {
        const auto stretch = std::find_if(beyond.begin(), beyond.end(), [&](const AlarmEvent& b) {
          return b.upper == e.upper && b.start <= e.start && e.end <= b.end;
        });
        ASSERT_NE(stretch, beyond.end()) << e.start;
        EXPECT_TRUE(e.upper ? e.extreme <= stretch->extreme : e.extreme >= stretch->extreme);
        EXPECT_EQ(stretch->number, c.number);
        EXPECT_EQ(stretch->limit, e.limit);
      }
      for (const bool upper : {true, false}) {
        std::vector<AlarmEvent> side;
        std::copy_if(beyond.begin(), beyond.end(), std::back_inserter(side),
                     [upper](const AlarmEvent& b) { return b.upper == upper; });
        EXPECT_LE(side.size(), std::max<std::size_t>(k.cap.most, 1));
        for (std::size_t i = 0; i < side.size(); ++i) {
          EXPECT_DOUBLE_EQ(side[i].seconds, static_cast<double>(SpanMilliseconds(side[i].end) -
                                                                SpanMilliseconds(side[i].start)) / 1000.0);
          const bool covers = std::any_of(rest.begin(), rest.end(), [&](const AlarmEvent& e) {
            return e.upper == upper && e.extreme == side[i].extreme && e.extremeTime == side[i].extremeTime;
          });
          EXPECT_TRUE(covers) << "a stretch's extreme is one of the periods it covers";
          if (i > 0) {
            EXPECT_LT(side[i - 1].end, side[i].start);
          }
        }
      }
    }
  }
}

// A month of a channel swinging across its limit every second, kept to a few periods: the
// stretches cover the month end to end in at most as many pieces.
TEST(AlarmEvents, AChatteringMonthKeptToAFewPeriodsIsCoveredEndToEnd) {
  AlarmEventFinder finder(1, ChannelLimits{100.0, std::nullopt}, {}, {10, 0});
  const std::int64_t seconds = 30LL * 86400;
  for (std::int64_t s = 0; s <= seconds; s += 1) finder.Add(At(s), s % 2 ? 100.5f : 99.5f);
  finder.Finish();
  EXPECT_EQ(finder.Total(), static_cast<std::size_t>(seconds / 2));
  ASSERT_EQ(finder.Events().size(), 10u);
  EXPECT_DOUBLE_EQ(finder.Events()[0].start, At(1));
  const std::vector<AlarmEvent>& beyond = finder.Beyond();
  ASSERT_FALSE(beyond.empty());
  EXPECT_LE(beyond.size(), 10u);
  EXPECT_DOUBLE_EQ(beyond.front().start, At(21));
  EXPECT_DOUBLE_EQ(beyond.back().end, At(seconds));
  double covered = 0.0;
  for (const AlarmEvent& b : beyond) covered += b.seconds;
  EXPECT_GE(covered, 0.99 * static_cast<double>(seconds - 21));
}

TEST(AlarmEvents, AFinderWithoutLimitsOrSamplesFindsNothing) {
  AlarmEventFinder none(1, ChannelLimits{}, {}, {});
  EXPECT_FALSE(none.Active());
  none.Add(At(0), 1e9f);
  none.Finish();
  EXPECT_TRUE(none.Events().empty());
  EXPECT_EQ(none.Total(), 0u);
  AlarmEventFinder empty(1, ChannelLimits{1.0, 0.0}, {}, {});
  empty.Finish();
  empty.Finish();  // twice: nothing more
  EXPECT_TRUE(empty.Events().empty());
  // Values that are no figures: NaN ends a period as a gap does; an infinite value is beyond.
  const std::vector<AlarmEvent> odd =
      FindAlarmEvents(Channel({{0, 50}, {10, std::numeric_limits<float>::infinity()}, {20, std::nanf("")},
                               {30, -std::numeric_limits<float>::infinity()}, {40, 50}}),
                      ChannelLimits{80.0, 20.0});
  ASSERT_EQ(odd.size(), 2u);
  EXPECT_TRUE(odd[0].upper);
  EXPECT_DOUBLE_EQ(odd[0].end, At(20));
  EXPECT_FALSE(odd[1].upper);
  EXPECT_DOUBLE_EQ(odd[1].start, At(30));
}

// The default deadband from the span of values streamed past gives what the channel's samples give.
TEST(AlarmEvents, TheDefaultDeadbandFromAStreamedSpanOfValues) {
  const ChannelInfo c = Channel({{0, 40}, {10, GapValue}, {20, 60}, {30, std::nanf("")}, {40, 55},
                                 {50, std::numeric_limits<float>::infinity()}});
  ValueSpan values;
  for (const float v : c.values) values.Add(v);
  ASSERT_TRUE(values.any);
  EXPECT_EQ(values.low, 40.0f);
  EXPECT_EQ(values.high, 60.0f);
  struct Case {
    const char* name;
    ChannelLimits limits;
    std::optional<std::pair<double, double>> range;
    bool needsValues;
  };
  const std::vector<Case> cases = {
      {"a range", {80.0, std::nullopt}, std::pair(0.0, 1000.0), false},
      {"a range of no width, one limit", {80.0, std::nullopt}, std::pair(5.0, 5.0), true},
      {"a range that is no figure, one limit", {std::nullopt, 50.0}, std::pair(0.0, std::nan("")), true},
      {"two limits", {80.0, 20.0}, std::nullopt, false},
      {"an upper limit only", {80.0, std::nullopt}, std::nullopt, true},
      {"a lower limit inside the values", {std::nullopt, 50.0}, std::nullopt, true},
      {"no limits", {}, std::nullopt, false},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    EXPECT_EQ(DefaultDeadbandNeedsValues(k.limits, k.range), k.needsValues);
    EXPECT_EQ(DefaultDeadband(k.limits, k.range, values), DefaultDeadband(k.limits, k.range, c));
    // Values it does not need change nothing; without any the limit alone has no width.
    EXPECT_EQ(DefaultDeadband(k.limits, k.range, ValueSpan{}),
              k.needsValues ? 0.0 : DefaultDeadband(k.limits, k.range, c));
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

TEST(ChannelLimitsStore, TheEventRulesReadBackAndEntriesWithoutThemStayAsBefore) {
  const AlarmLimitsByChannel limits = {{1, AlarmLimits(ChannelLimits{80.5, 20.0}, 0.25, 10.0)},
                                  {2, AlarmLimits(ChannelLimits{90.0, std::nullopt}, std::nullopt, 5.0)},
                                  {3, AlarmLimits(ChannelLimits{std::nullopt, -5.25}, 0.0, 0.0)},
                                  {4, AlarmLimits(ChannelLimits{1e6, std::nullopt})}};
  const std::string text = LimitsText(limits);
  // An entry without rules is written as before the rules existed.
  EXPECT_NE(text.find("4:1000000:"), std::string::npos) << text;
  EXPECT_EQ(text.find("4:1000000::"), std::string::npos) << text;
  const AlarmLimitsByChannel back = ParseAlarmLimitsText(text);
  ASSERT_EQ(back.size(), 4u) << text;
  EXPECT_EQ(back.at(1).deadband, 0.25);
  EXPECT_EQ(back.at(1).minSeconds, 10.0);
  EXPECT_FALSE(back.at(2).deadband);  // the channel's default
  EXPECT_EQ(back.at(2).minSeconds, 5.0);
  EXPECT_EQ(back.at(3).deadband, 0.0);  // typed 0 is not the default
  EXPECT_FALSE(back.at(4).deadband);
  EXPECT_EQ(back.at(4).minSeconds, 0.0);

  struct Case {
    const char* text;
    bool reads;
    std::optional<double> deadband;
    double minSeconds;
  };
  const std::vector<Case> cases = {
      {"5:80:20", true, std::nullopt, 0.0},  // as written before the rules
      {"5:80:20:0.5:30", true, 0.5, 30.0},
      {"5:80:20::30", true, std::nullopt, 30.0},
      {"5:80:20:0.5:", true, 0.5, 0.0},
      {"5:80:20:-0.5:0", false, {}, 0},
      {"5:80:20:0.5:-1", false, {}, 0},
      {"5:80:20:abc:1", false, {}, 0},
      {"5:80:20:nan:1", false, {}, 0},
      {"5:80:20:1:inf", false, {}, 0},
      {"5:80:20:1", false, {}, 0},
      {"5:80:20:1:2:3", false, {}, 0},
      {"5:::1:2", false, {}, 0},  // rules without limits
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const AlarmLimitsByChannel read = ParseAlarmLimitsText(c.text);
    ASSERT_EQ(read.count(5), c.reads ? 1u : 0u);
    if (!c.reads) continue;
    EXPECT_EQ(read.at(5).deadband, c.deadband);
    EXPECT_EQ(read.at(5).minSeconds, c.minSeconds);
    EXPECT_EQ(read.at(5).upper, 80.0);
  }
}

// A registry file written before the rules existed: its limits read with the default deadband and
// no minimum, and saving again keeps the file readable the old way where nothing was typed.
TEST(ChannelLimitsStore, AnOldRegistryFileReadsWithTheDefaultRules) {
  const std::filesystem::path home = std::filesystem::temp_directory_path() / "vantiro-old-limits-test";
  std::filesystem::remove_all(home);
  testing::ScopedEnvironment config("XDG_CONFIG_HOME", home.string());
  const std::string key = FileLimitsKey("/data/old.dat");
  ASSERT_TRUE(SaveLimits(key, {{2, ChannelLimits{90.0, std::nullopt}}}));
  // The value as the earlier program wrote it, put in by hand.
  std::stringstream file;
  file << std::ifstream(RegistryFilePath()).rdbuf();
  std::string text = file.str();
  const std::size_t at = text.find("=2:90:");
  ASSERT_NE(at, std::string::npos) << text;
  const std::size_t lineStart = text.rfind('\n', at) + 1;
  const std::string name = text.substr(lineStart, at - lineStart);
  text.replace(at, 6, "=2:90:10;7::-3.5");
  std::ofstream(RegistryFilePath(), std::ios::trunc) << text;
  const AlarmLimitsByChannel old = LoadAlarmLimits(key);
  ASSERT_EQ(old.size(), 2u);
  EXPECT_EQ(old.at(2).lower, 10.0);
  EXPECT_FALSE(old.at(2).deadband);
  EXPECT_EQ(old.at(2).minSeconds, 0.0);
  EXPECT_EQ(old.at(7).lower, -3.5);
  // Rules typed for one channel; the other stays in the old form.
  AlarmLimitsByChannel typed = old;
  typed.at(7).deadband = 0.5;
  ASSERT_TRUE(SaveAlarmLimits(key, typed));
  EXPECT_EQ(ReadRegistryString(kLimitsKey, name), "2:90:10;7::-3.5:0.5:0");
  EXPECT_EQ(LoadAlarmLimits(key).at(7).deadband, 0.5);
  // The limits alone, as the statistics take them, from the same entries.
  EXPECT_EQ(LoadLimits(key).at(7).lower, -3.5);
  EXPECT_EQ(ParseLimitsText("5:80:20:0.5:30").at(5).upper, 80.0);
  EXPECT_TRUE(ParseLimitsText("5:80:20:-1:30").empty());
  std::filesystem::remove_all(home);
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
  EXPECT_EQ(SecondCursorLegendTitle(At(0), At(3600)), "垂直游标X2: 2023-03-15 01:00:00\nΔt(X2-X1): 01:00:00");
}

}  // namespace
}  // namespace vantiro
