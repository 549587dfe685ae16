#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <limits>
#include <initializer_list>
#include <string>
#include <vector>

#include "chart/ChartLines.h"
#include "recorder/Dataset.h"
#include "recorder/DateTime.h"
#include "support/ChannelSamples.h"

namespace vantiro {
namespace {

const DateTime T = *EncodeDateTime(2010, 8, 7, 12, 0, 0);
const double S = kOneSecond;
const double Ms = kOneMillisecond;
// Spans are differences of times near 40,000 days, exact only to some 1e-12 of a day.
const double kMicrosecond = kOneMillisecond / 1000;
const float G = GapValue;

using testing::Channel;
using testing::Sample;

// A channel of n entries one second apart from T whose value is the entry's index, so that a drawn
// point names the entry it came from; the entries listed in `gaps` are gap markers instead.
ChannelInfo Counting(std::int16_t number, std::size_t n, const std::vector<std::size_t>& gaps = {}) {
  ChannelInfo channel;
  channel.number = number;
  channel.unit = "℃";
  channel.times.resize(n);
  channel.values.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    channel.times[i] = T + static_cast<double>(i) * S;
    channel.values[i] = static_cast<float>(i);
  }
  for (std::size_t g : gaps) channel.values[g] = G;
  return channel;
}

DatasetSummary Summary(float rangeMin, float rangeMax, DateTime start, DateTime end,
                       std::int32_t sampleCount) {
  DatasetSummary summary;
  summary.rangeMin = rangeMin;
  summary.rangeMax = rangeMax;
  summary.startTime = start;
  summary.endTime = end;
  summary.sampleCount = sampleCount;
  return summary;
}

// The drawn points of a line as the entries they came from: the value of a counting channel's
// point, or -1 for a gap point, known by the line's list of gap points (checked to lie at the gap
// height).
std::vector<long> Entries(const ChartLine& line, double gapHeight) {
  std::vector<long> entries;
  EXPECT_TRUE(std::is_sorted(line.gaps.begin(), line.gaps.end()));
  for (std::size_t i = 0; i < line.points.size(); ++i) {
    const ChartPoint& p = line.points[i];
    if (line.IsGap(i)) {
      EXPECT_EQ(p.y, gapHeight) << "gap point " << i;
      entries.push_back(-1);
    } else {
      entries.push_back(static_cast<long>(p.y));
      EXPECT_EQ(p.x, T + p.y * S) << "point of entry " << p.y << " has another entry's time";
    }
  }
  return entries;
}

void ExpectPoints(const ChartLine& line, const std::vector<ChartPoint>& expected,
                  const std::string& context) {
  ASSERT_EQ(line.points.size(), expected.size()) << context;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(line.points[i].x, expected[i].x) << context << ", point " << i;
    EXPECT_EQ(line.points[i].y, expected[i].y) << context << ", point " << i;
  }
}

TEST(ChartLinesTest, ThinningFactorGrowsByOneForEachFurtherMillionSamples) {
  struct Case {
    std::int64_t samples;
    int k;
  };
  const Case cases[] = {
      {0, 1},       {1, 1},       {999999, 1},  {1000000, 1}, {1000001, 2},
      {1999999, 2}, {2000000, 3}, {2500000, 3}, {2999999, 3}, {3000000, 4},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ThinningFactor(c.samples), c.k) << c.samples << " samples";
  }
}

TEST(ChartLinesTest, AMillionSamplesAreDrawnInFullAndOneMoreHalvesThem) {
  struct Case {
    std::size_t samples;
    int k;
    std::size_t points;
    long last;  // entry of the last drawn point
  };
  const Case cases[] = {
      {1000000, 1, 1000000, 999999},
      {1000001, 2, 500001, 1000000},
  };
  for (const Case& c : cases) {
    const std::vector<ChannelInfo> channels = {Counting(1, c.samples)};
    const DatasetSummary summary =
        Summary(0.0f, 2e6f, T, T + static_cast<double>(c.samples - 1) * S,
                static_cast<std::int32_t>(c.samples));
    const ChartFill fill = FillChart(channels, summary);
    EXPECT_EQ(fill.thinning, c.k) << c.samples;
    ASSERT_EQ(fill.lines.size(), 1u);
    const std::vector<ChartPoint>& points = fill.lines[0].points;
    ASSERT_EQ(points.size(), c.points) << c.samples;
    EXPECT_EQ(points[1].y, static_cast<double>(c.k)) << c.samples;
    EXPECT_EQ(points.back().y, static_cast<double>(c.last)) << c.samples;
  }
}

TEST(ChartLinesTest, AThinnedFillDrawsEveryKthSampleAndEveryGap) {
  // 2,500,000 samples in two channels. The first holds two gap markers besides its 1,250,000
  // samples: entry 4 (not a multiple of 3) and entry 9 (a multiple of 3).
  const std::vector<ChannelInfo> channels = {Counting(1, 1250002, {4, 9}), Counting(2, 1250000)};
  const DatasetSummary summary = Summary(-20.0f, 2e6f, T, T + 1250001 * S, 2500000);
  const double gapHeight = -30.0;
  ASSERT_EQ(GapHeight(summary), gapHeight);

  const ChartFill fill = FillChart(channels, summary);
  EXPECT_EQ(fill.thinning, 3);
  ASSERT_EQ(fill.lines.size(), 2u);

  const std::vector<long> first = Entries(fill.lines[0], gapHeight);
  const std::vector<long> firstHead(first.begin(), first.begin() + 7);
  EXPECT_EQ(firstHead, (std::vector<long>{0, 3, -1, 6, -1, 12, 15}));
  // Multiples of 3 below 1,250,002: 416,668 of them, entry 9 among them drawn once as a gap.
  EXPECT_EQ(first.size(), 416668u + 1u);
  EXPECT_EQ(first.back(), 1250001);
  EXPECT_EQ(fill.lines[0].points[2].x, T + 4 * S);
  EXPECT_EQ(fill.lines[0].points[4].x, T + 9 * S);

  const std::vector<long> second = Entries(fill.lines[1], gapHeight);
  ASSERT_EQ(second.size(), 416667u);
  for (std::size_t i = 0; i < second.size(); ++i) {
    ASSERT_EQ(second[i], static_cast<long>(3 * i)) << "point " << i;
  }
}

TEST(ChartLinesTest, AGapIsAValueThatComparesEqualToTheGapMarker) {
  // CompareValues allows 1e-4 of 158, about 0.0158, on either side of -158.
  struct Case {
    float value;
    bool gap;
  };
  const Case cases[] = {
      {-158.0f, true},   {-158.01f, true},  {-157.99f, true},  {-158.015f, true},
      {-158.02f, false}, {-157.98f, false}, {-158.1f, false},  {0.0f, false},
      {158.0f, false},   {-15.8f, false},
  };
  for (const Case& c : cases) {
    const std::vector<ChannelInfo> channels = {Channel(1, "", {{T, c.value}})};
    const ChartFill fill = FillChart(channels, Summary(0.0f, 10.0f, T, T, 1));
    ASSERT_EQ(fill.lines.at(0).points.size(), 1u);
    EXPECT_EQ(fill.lines[0].points[0].y, c.gap ? -10.0 : double(c.value)) << c.value;
  }
}

TEST(ChartLinesTest, GapsAreFoundWhereverTheyStandInALongChannel) {
  // Gap markers at the start, the end and on both sides of every 64th entry; the summary's count
  // asks for k 1, 2 and 3.
  const std::vector<std::size_t> gaps = {0, 1, 62, 63, 64, 65, 127, 128, 191, 200, 255, 256, 299};
  const std::vector<ChannelInfo> channels = {Counting(1, 300, gaps)};
  for (const int k : {1, 2, 3}) {
    const std::int32_t count = (k - 1) * 1000000 + 1;
    const ChartFill fill = FillChart(channels, Summary(-20.0f, 300.0f, T, T + 299 * S, count));
    ASSERT_EQ(fill.thinning, k);
    std::vector<long> expected;
    for (std::size_t i = 0; i < 300; ++i) {
      const bool gap = std::find(gaps.begin(), gaps.end(), i) != gaps.end();
      if (gap) {
        expected.push_back(-1);
      } else if (i % static_cast<std::size_t>(k) == 0) {
        expected.push_back(static_cast<long>(i));
      }
    }
    EXPECT_EQ(Entries(fill.lines.at(0), -30.0), expected) << "k " << k;
  }
}

TEST(ChartLinesTest, AGapPointIsKnownByItsIndexNotByItsHeight) {
  // Real samples at the gap height (a CSV import whose range kept its first value, 200000, as
  // 199990 compares equal to it) beside gap samples, in every fill, thinned or not.
  const float low = 199990.0f;
  ChannelInfo channel = Counting(1, 40, {3, 4, 17, 39});
  for (std::size_t i = 0; i < 40; ++i) {
    if (channel.values[i] != G) channel.values[i] = i % 2 == 0 ? low : 200000.0f + static_cast<float>(i);
  }
  const std::vector<ChannelInfo> channels = {channel};
  DatasetSummary summary = Summary(200000.0f, 200040.0f, T, T + 39 * S, 40);
  ASSERT_EQ(GapHeight(summary), low);
  DatasetSummary thinned = summary;
  thinned.sampleCount = 2500000;  // k = 3
  std::array<bool, 16> first{};
  first[0] = true;
  const DateTime from = T + 2 * S;  // a window from entry 2 to the end
  const DateTime to = T + 39 * S;
  struct Case {
    const char* name;
    std::function<ChartFill()> fill;
    std::size_t k;
    std::size_t from;  // the window's first sample
  };
  const Case cases[] = {
      {"the whole dataset", [&] { return FillChart(channels, summary); }, 1, 0},
      {"the whole dataset, thinned", [&] { return FillChart(channels, thinned); }, 3, 0},
      {"a scope", [&] { return FillChart(channels, summary, ChartScope{first, from, to, 38}); }, 1, 2},
      {"a scope, thinned",
       [&] { return FillChart(channels, summary, ChartScope{first, from, to, 2500000}); }, 3, 2},
      {"the filter's window", [&] { return FillChartInWindow(channels, summary, first, from, to); }, 1, 2},
      {"the filter's bisected window",
       [&] { return FillChartInBisectedWindow(channels, summary, first, from, to); }, 1, 2},
  };
  for (const Case& c : cases) {
    const ChartFill fill = c.fill();
    ASSERT_EQ(fill.lines.size(), 1u) << c.name;
    const ChartLine& line = fill.lines[0];
    std::vector<std::size_t> gaps;
    std::size_t points = 0;
    for (std::size_t i = c.from; i < 40; ++i) {
      if (channel.values[i] == G) {
        gaps.push_back(points++);
      } else if (i % c.k == 0) {
        EXPECT_EQ(line.points.at(points).y, channel.values[i]) << c.name << ", entry " << i;
        ++points;
      }
    }
    EXPECT_EQ(line.points.size(), points) << c.name;
    EXPECT_EQ(line.gaps, gaps) << c.name;
    for (std::size_t i = 0; i < line.points.size(); ++i) {
      EXPECT_EQ(line.IsGap(i), std::find(gaps.begin(), gaps.end(), i) != gaps.end())
          << c.name << ", point " << i;
    }
  }
}

TEST(ChartLinesTest, PaletteColoursByPositionGoingRoundAfterSixteen) {
  struct Case {
    std::size_t position;
    Rgb colour;
  };
  const Case cases[] = {
      {0, {255, 255, 255}},  {1, {255, 0, 0}},       {4, {0, 0, 255}},
      {7, {192, 192, 192}},  {8, {0, 128, 0}},       {14, {160, 160, 164}},
      {15, {166, 202, 240}}, {16, {255, 255, 255}},  {17, {255, 0, 0}},
      {20, {0, 0, 255}},     {31, {166, 202, 240}},  {32, {255, 255, 255}},
  };
  for (const Case& c : cases) {
    const Rgb colour = PaletteColour(c.position);
    EXPECT_EQ(colour, c.colour) << "position " << c.position << ": " << int(colour.r) << ","
                                << int(colour.g) << "," << int(colour.b);
  }
}

TEST(ChartLinesTest, LineTitlesCarryTheChannelNumberInTwoDigits) {
  EXPECT_EQ(LineTitle(3), "通道03");
  EXPECT_EQ(LineTitle(12), "通道12");
  EXPECT_EQ(LineTitle(16), "通道16");
  EXPECT_EQ(LineTitle(100), "通道100");
}

TEST(ChartLinesTest, AWholeFillHasOneLinePerChannelInStoredOrder) {
  const std::vector<ChannelInfo> channels = {
      Channel(3, "℃", {{T, 20.5f}, {T + S, 21.25f}, {T + 2 * S, G}, {T + 3 * S, 22.0f}}),
      // Times running backwards (a CSV import): the stored order is kept.
      Channel(12, "mA", {{T + 3 * S, 4.0f}, {T + 2 * S, 5.0f}, {T + 1 * S, 6.0f}}),
      Channel(1, "", {}),
  };
  const DatasetSummary summary = Summary(-20.5f, 80.25f, T, T + 3 * S, 6);
  const ChartFill fill = FillChart(channels, summary);

  EXPECT_EQ(fill.thinning, 1);
  ASSERT_EQ(fill.lines.size(), 3u);

  const ChartLine& a = fill.lines[0];
  EXPECT_EQ(a.title, "通道03");
  EXPECT_EQ(a.unit, "℃");
  EXPECT_EQ(a.palettePosition, 0u);
  ExpectPoints(a, {{T, 20.5}, {T + S, 21.25}, {T + 2 * S, -30.5}, {T + 3 * S, 22.0}}, "通道03");
  EXPECT_TRUE(a.ascending);
  EXPECT_EQ(a.minX, T);
  EXPECT_EQ(a.maxX, T + 3 * S);

  const ChartLine& b = fill.lines[1];
  EXPECT_EQ(b.title, "通道12");
  EXPECT_EQ(b.unit, "mA");
  EXPECT_EQ(b.palettePosition, 1u);
  ExpectPoints(b, {{T + 3 * S, 4.0}, {T + 2 * S, 5.0}, {T + S, 6.0}}, "通道12");
  EXPECT_FALSE(b.ascending);
  EXPECT_EQ(b.minX, T + S);
  EXPECT_EQ(b.maxX, T + 3 * S);

  const ChartLine& c = fill.lines[2];
  EXPECT_EQ(c.title, "通道01");
  EXPECT_EQ(c.unit, "");
  EXPECT_EQ(c.palettePosition, 2u);
  EXPECT_TRUE(c.points.empty());
}

TEST(ChartLinesTest, AWholeFillSetsTheAxesAndCursorsFromTheSummary) {
  const std::vector<ChannelInfo> channels = {Counting(1, 5)};
  const DatasetSummary summary = Summary(-20.5f, 80.25f, T, T + 3600 * S, 5);
  const ChartFill fill = FillChart(channels, summary);

  EXPECT_EQ(fill.bottom.min, T);
  EXPECT_EQ(fill.bottom.max, T + 3600 * S);
  EXPECT_NEAR(fill.bottom.increment, 360 * S, kMicrosecond);
  EXPECT_EQ(fill.left.min, -30.5);
  EXPECT_EQ(fill.left.max, 90.25);
  EXPECT_DOUBLE_EQ(fill.left.increment, 12.075);
  EXPECT_FALSE(fill.freezeTimeWindow);
  EXPECT_EQ(fill.cursorX, T);
  EXPECT_EQ(fill.cursorY1, 80.25);
  EXPECT_EQ(fill.cursorY2, -20.5);
}

TEST(ChartLinesTest, OnlyATimeWindowNarrowerThanTenSecondsIsFrozen) {
  struct Case {
    const char* name;
    DateTime start;
    DateTime end;
    bool frozen;
  };
  const DateTime midnightBefore = *EncodeDateTime(2010, 8, 7, 23, 59, 55);
  const DateTime newYear = *EncodeDateTime(2000, 1, 1, 0, 0, 0);
  const Case cases[] = {
      {"8 s", T, *EncodeDateTime(2010, 8, 7, 12, 0, 8), true},
      {"9.999 s", T, *EncodeDateTime(2010, 8, 7, 12, 0, 9, 999), true},
      {"one sample", T, T, true},
      {"exactly 10 s", T, *EncodeDateTime(2010, 8, 7, 12, 0, 10), false},
      {"exactly 10 s over midnight", midnightBefore, *EncodeDateTime(2010, 8, 8, 0, 0, 5), false},
      {"exactly 10 s in 2000", newYear, *EncodeDateTime(2000, 1, 1, 0, 0, 10), false},
      {"exactly 10 s, 12:34:56.789", *EncodeDateTime(2010, 8, 7, 12, 34, 56, 789),
       *EncodeDateTime(2010, 8, 7, 12, 35, 6, 789), false},
      {"10.001 s", T, *EncodeDateTime(2010, 8, 7, 12, 0, 10, 1), false},
      {"one hour", T, *EncodeDateTime(2010, 8, 7, 13, 0, 0), false},
  };
  for (const Case& c : cases) {
    const ChartFill fill = FillChart({Counting(1, 2)}, Summary(0.0f, 10.0f, c.start, c.end, 2));
    EXPECT_EQ(fill.freezeTimeWindow, c.frozen) << c.name;
  }
}

// ---- A narrower scope ----

std::array<bool, 16> Selection(std::initializer_list<int> numbers) {
  std::array<bool, 16> selected{};
  for (int n : numbers) selected[static_cast<std::size_t>(n - 1)] = true;
  return selected;
}

ChartScope Scope(std::array<bool, 16> selected, DateTime from, DateTime to,
                 std::int64_t sampleCount) {
  ChartScope scope;
  scope.channelSelected = selected;
  scope.from = from;
  scope.to = to;
  scope.sampleCount = sampleCount;
  return scope;
}

TEST(ChartLinesTest, AScopedLineKeepsTheColourOfItsChannelsPosition) {
  std::vector<ChannelInfo> channels;
  for (std::int16_t n = 1; n <= 16; ++n) channels.push_back(Channel(n, "℃", {{T, float(n)}}));
  const DatasetSummary summary = Summary(0.0f, 16.0f, T, T + 60 * S, 16);
  const ChartFill fill = FillChart(channels, summary, Scope(Selection({2, 5}), T, T + 60 * S, 2));

  ASSERT_EQ(fill.lines.size(), 2u);
  EXPECT_EQ(fill.lines[0].title, "通道02");
  EXPECT_EQ(fill.lines[0].palettePosition, 1u);
  EXPECT_EQ(PaletteColour(fill.lines[0].palettePosition), (Rgb{255, 0, 0}));
  EXPECT_EQ(fill.lines[1].title, "通道05");
  EXPECT_EQ(fill.lines[1].palettePosition, 4u);
  EXPECT_EQ(PaletteColour(fill.lines[1].palettePosition), (Rgb{0, 0, 255}));
}

TEST(ChartLinesTest, ChannelsNumberedOutsideOneToSixteenAreNeverSelected) {
  const std::vector<ChannelInfo> channels = {
      Channel(0, "", {{T, 1.0f}}),   Channel(1, "", {{T, 2.0f}}),
      Channel(17, "", {{T, 3.0f}}),  Channel(16, "", {{T, 4.0f}}),
      Channel(-1, "", {{T, 5.0f}}),
  };
  std::array<bool, 16> all{};
  all.fill(true);
  const DatasetSummary summary = Summary(0.0f, 5.0f, T, T + 60 * S, 5);
  const ChartFill fill = FillChart(channels, summary, Scope(all, T, T + 60 * S, 5));

  ASSERT_EQ(fill.lines.size(), 2u);
  EXPECT_EQ(fill.lines[0].title, "通道01");
  EXPECT_EQ(fill.lines[0].palettePosition, 1u);
  EXPECT_EQ(fill.lines[1].title, "通道16");
  EXPECT_EQ(fill.lines[1].palettePosition, 3u);
  EXPECT_EQ(CountScopeSamples(channels, all, T, T + 60 * S), 2);
}

TEST(ChartLinesTest, AScopeDrawsTheSamplesInsideItsWindowUpToTheFirstOneAfterIt) {
  const DateTime from = T + 10 * S;
  const DateTime to = T + 20 * S;
  const DatasetSummary summary = Summary(-20.0f, 100.0f, T, T + 60 * S, 100);
  const double gap = -30.0;
  struct Case {
    const char* name;
    std::vector<Sample> samples;
    std::vector<ChartPoint> drawn;
  };
  const std::vector<Case> cases = {
      {"edges count within one millisecond",
       {{from - 2 * Ms, 1}, {from - 0.5 * Ms, 2}, {from + 5 * S, 3}, {to + 0.5 * Ms, 4},
        {to + 2 * Ms, 5}},
       {{from - 0.5 * Ms, 2}, {from + 5 * S, 3}, {to + 0.5 * Ms, 4}}},
      {"exact edges", {{from, 1}, {to, 2}}, {{from, 1}, {to, 2}}},
      {"the scan stops at the first sample after the window",
       {{from, 1}, {from + S, 2}, {to + S, 3}, {from + 2 * S, 4}, {to, 5}},
       {{from, 1}, {from + S, 2}}},
      {"samples before the window are passed over wherever they stand",
       {{from - S, 1}, {from, 2}, {from - 5 * S, 3}, {from + 3 * S, 4}},
       {{from, 2}, {from + 3 * S, 4}}},
      {"gap markers inside the window become gap points",
       {{from - S, G}, {from + S, 1}, {from + 2 * S, G}, {from + 3 * S, 2}, {to + S, G}},
       {{from + S, 1}, {from + 2 * S, gap}, {from + 3 * S, 2}}},
      {"a channel after the window", {{to + S, 1}, {to + 2 * S, 2}}, {}},
      {"a channel before the window", {{from - 2 * S, 1}, {from - S, 2}}, {}},
      {"a channel without samples", {}, {}},
  };
  for (const Case& c : cases) {
    const std::vector<ChannelInfo> channels = {Channel(1, "℃", c.samples)};
    const ChartFill fill = FillChart(channels, summary, Scope(Selection({1}), from, to, 10));
    ASSERT_EQ(fill.lines.size(), 1u) << c.name;
    ExpectPoints(fill.lines[0], c.drawn, c.name);
    // The count that sets the thinning follows the same scan, gap markers included.
    EXPECT_EQ(CountScopeSamples(channels, Selection({1}), from, to),
              static_cast<std::int64_t>(c.drawn.size()))
        << c.name;
  }
}

TEST(ChartLinesTest, TheFiltersFillAgreesWithTheScanOfEachWindow) {
  // The filter's fill takes a channel whose times ascend by bisection and checks the order as it
  // draws; whatever the order, its lines must be those of the window's scan (FillChart with the
  // scope and the scan's count). Long channels cross the fill's blocks of 8192 samples.
  const DateTime from = T + 1000 * S;
  const DateTime to = T + 30000 * S;
  const std::size_t n = 40000;
  struct Case {
    const char* name;
    std::function<void(ChannelInfo&)> change;
  };
  auto at = [](std::size_t i) { return T + static_cast<double>(i) * S; };
  const std::vector<Case> cases = {
      {"in order", [](ChannelInfo&) {}},
      {"a step back after the window's end (never scanned)",
       [&](ChannelInfo& c) { c.times[35000] = at(100); }},
      {"a step back inside the window, in a later block",
       [&](ChannelInfo& c) { c.times[20000] = at(19990); }},
      {"a step back right at the window's start", [&](ChannelInfo& c) { c.times[1001] = at(999); }},
      {"a step back before the window", [&](ChannelInfo& c) { c.times[500] = at(10); }},
      {"a late sample before the window", [&](ChannelInfo& c) { c.times[5000] = at(900); }},
      {"a sample after the window inside it", [&](ChannelInfo& c) { c.times[10000] = at(31000); }},
      {"equal times", [&](ChannelInfo& c) { c.times[15001] = c.times[15000]; }},
      {"a time that is no number",
       [&](ChannelInfo& c) { c.times[12000] = std::numeric_limits<double>::quiet_NaN(); }},
      {"the last sample just after the end, within a millisecond",
       [&](ChannelInfo& c) { c.times[30001] = to + 0.5 * Ms; }},
      {"gap markers in and around the window",
       [&](ChannelInfo& c) { c.values[999] = c.values[1000] = c.values[16384] = c.values[30000] = G; }},
  };
  for (const Case& c : cases) {
    std::vector<ChannelInfo> channels = {Counting(1, n), Counting(3, n / 2), Counting(2, n)};
    c.change(channels[2]);
    std::array<bool, 16> selected{};
    selected.fill(true);
    const DatasetSummary summary = Summary(0.0f, 40000.0f, T, at(n), static_cast<std::int32_t>(2.5 * n));
    const ChartFill quick = FillChartInWindow(channels, summary, selected, from, to);
    const ChartFill scanned = FillChart(
        channels, summary, Scope(selected, from, to, CountScopeSamples(channels, selected, from, to)));
    EXPECT_EQ(quick.thinning, scanned.thinning) << c.name;
    ASSERT_EQ(quick.lines.size(), scanned.lines.size()) << c.name;
    for (std::size_t l = 0; l < quick.lines.size(); ++l) {
      EXPECT_EQ(quick.lines[l].title, scanned.lines[l].title) << c.name;
      ExpectPoints(quick.lines[l], scanned.lines[l].points, std::string(c.name) + ", line " + std::to_string(l));
    }
  }
}

TEST(ChartLinesTest, AScopeThinsByItsOwnCountAndByTheIndexWithinTheChannel) {
  // Entries 0..11 one second apart, a gap marker at entry 4; the window holds entries 2..11.
  const std::vector<ChannelInfo> channels = {Counting(7, 12, {4})};
  const DatasetSummary summary = Summary(-20.0f, 100.0f, T, T + 11 * S, 11);
  const double gap = -30.0;
  struct Case {
    std::int64_t scopeCount;
    std::vector<long> entries;
  };
  const Case cases[] = {
      {1000000, {2, 3, -1, 5, 6, 7, 8, 9, 10, 11}},
      {2500000, {3, -1, 6, 9}},
      {5000000, {-1, 6}},
  };
  for (const Case& c : cases) {
    const ChartFill fill =
        FillChart(channels, summary, Scope(Selection({7}), T + 2 * S, T + 11 * S, c.scopeCount));
    EXPECT_EQ(fill.thinning, ThinningFactor(c.scopeCount));
    ASSERT_EQ(fill.lines.size(), 1u);
    EXPECT_EQ(Entries(fill.lines[0], gap), c.entries) << c.scopeCount;
  }
}

TEST(ChartLinesTest, AScopeSetsTheAxesToItsWindow) {
  const std::vector<ChannelInfo> channels = {Counting(1, 60)};
  const DatasetSummary summary = Summary(-20.5f, 80.25f, T, T + 59 * S, 60);
  struct Case {
    DateTime from;
    DateTime to;
    double step;  // seconds
    bool frozen;
  };
  const Case cases[] = {
      {T + 10 * S, T + 40 * S, 3.0, false},
      {T + 10 * S, T + 15 * S, 0.5, true},
      {T + 10 * S, T + 19999 * Ms, 0.9999, true},
  };
  for (const Case& c : cases) {
    const ChartFill fill = FillChart(channels, summary, Scope(Selection({1}), c.from, c.to, 30));
    EXPECT_EQ(fill.bottom.min, c.from);
    EXPECT_EQ(fill.bottom.max, c.to);
    EXPECT_NEAR(fill.bottom.increment, c.step * S, kMicrosecond);
    EXPECT_EQ(fill.left.min, -30.5);
    EXPECT_EQ(fill.left.max, 90.25);
    EXPECT_DOUBLE_EQ(fill.left.increment, 12.075);
    EXPECT_EQ(fill.freezeTimeWindow, c.frozen) << (c.to - c.from) / S << " s";
    EXPECT_EQ(fill.cursorX, c.from);
    EXPECT_EQ(fill.cursorY1, 80.25);
    EXPECT_EQ(fill.cursorY2, -20.5);
  }
}

TEST(ChartLinesTest, TheScopeCountTakesOnlySelectedChannels) {
  const DateTime from = T + 10 * S;
  const DateTime to = T + 20 * S;
  const std::vector<ChannelInfo> channels = {
      Channel(1, "", {{from, 1}, {from + S, G}, {to, 2}, {to + S, 3}}),
      Channel(2, "", {{from, 1}, {from + S, 2}, {from + 2 * S, 3}, {from + 3 * S, 4}}),
      Channel(3, "", {{from - S, 1}, {from + 4 * S, G}, {to + S, 2}, {from + 5 * S, 3}}),
      Channel(0, "", {{from, 1}}),
      Channel(17, "", {{from, 1}}),
  };
  struct Case {
    std::array<bool, 16> selected;
    std::int64_t count;
  };
  std::array<bool, 16> all{};
  all.fill(true);
  const Case cases[] = {
      {Selection({}), 0},
      {Selection({1}), 3},
      {Selection({2}), 4},
      {Selection({3}), 1},
      {Selection({1, 3}), 4},
      {all, 8},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CountScopeSamples(channels, c.selected, from, to), c.count);
  }
}

}  // namespace
}  // namespace vantiro
