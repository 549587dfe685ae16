// The overview chart drawn from the archive's summaries: each column's mean with its lowest and
// highest value as a band,
// a break where the archive holds nothing, and the limit that decides when a period is shown so.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/ArchiveChart.h"

namespace vantiro {
namespace {

TEST(ArchiveChartTest, EachColumnIsItsMeanWithItsLowAndHighAsTheBandAndAHoleIsABreak) {
  // 100 columns of 1 s over [0, 100 s); channel 2 holds columns 0-2 and 10-11, channel 5 nothing.
  ChannelEnvelope envelope;
  envelope.number = 2;
  envelope.buckets = {{0, 5, 1.0, 4.0, 2.0},       {1000, 5, 3.0, 3.0, 3.0}, {2000, 5, 0.5, 9.0, 4.0},
                      {10000, 5, 2.0, 2.5, 2.2}, {11000, 5, 1.0, 2.0, 1.5}};
  std::vector<ChannelSummaryInfo> channels(2);
  channels[0].number = 2;
  channels[0].unit = "MPa";
  channels[1].number = 5;
  const std::vector<ChartLine> lines = OverviewLines({envelope}, channels, 0, 100000, 100, -20.0);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0].title, "通道02");
  EXPECT_EQ(lines[0].unit, "MPa");
  EXPECT_EQ(lines[1].palettePosition, 1u);
  EXPECT_TRUE(lines[1].points.empty());
  EXPECT_FALSE(lines[1].HasBand());
  struct Expected {
    double seconds;
    double mean;
    float low;
    float high;
    bool gap;
  };
  // The night between columns 2 and 10 (more than two columns without a value) is a break.
  const Expected expected[] = {{0, 2.0, 1.0f, 4.0f, false},   {1, 3.0, 3.0f, 3.0f, false},
                               {2, 4.0, 0.5f, 9.0f, false},   {6, -20.0, -20.0f, -20.0f, true},
                               {10, 2.2, 2.0f, 2.5f, false},  {11, 1.5, 1.0f, 2.0f, false}};
  const ChartLine& line = lines[0];
  ASSERT_TRUE(line.HasBand());
  ASSERT_EQ(line.points.size(), std::size(expected));
  for (std::size_t i = 0; i < line.points.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_NEAR(line.points[i].x, FromArchiveMs(static_cast<std::int64_t>(expected[i].seconds * 1000)), 1e-9);
    EXPECT_EQ(line.points[i].y, expected[i].mean);
    EXPECT_EQ(line.IsGap(i), expected[i].gap);
    if (!expected[i].gap) {
      EXPECT_EQ(line.bandLow[i], expected[i].low);
      EXPECT_EQ(line.bandHigh[i], expected[i].high);
    }
  }
  EXPECT_TRUE(line.ascending);
}

TEST(ArchiveChartTest, TheFillSpansThePeriodAndTheValuesAsALoadWould) {
  ChannelEnvelope envelope;
  envelope.number = 1;
  envelope.buckets = {{0, 5, -3.0, 4.0, 0.0}, {60000, 5, 1.0, 250.0, 9.0}};
  std::vector<ChannelSummaryInfo> channels(1);
  channels[0].number = 1;
  DatasetSummary summary;
  const ChartFill fill = OverviewFill({envelope}, channels, 0, 3600000, 1282, summary);
  EXPECT_EQ(summary.rangeMin, -3.0f);
  EXPECT_EQ(summary.rangeMax, 250.0f);
  EXPECT_EQ(summary.startTime, FromArchiveMs(0));
  EXPECT_EQ(summary.endTime, FromArchiveMs(3600000));
  EXPECT_EQ(fill.left.min, -13.0);
  EXPECT_EQ(fill.left.max, 260.0);
  EXPECT_EQ(fill.bottom.min, summary.startTime);
  EXPECT_EQ(fill.gapHeight, -13.0);
  EXPECT_EQ(fill.cursorY1, 250.0);
  ASSERT_EQ(fill.lines.size(), 1u);
}

TEST(ArchiveChartTest, TheLimitOfAnExactPeriodCanBeSetInTheEnvironment) {
  struct Case {
    const char* value;
    std::int64_t limit;
  };
  const Case cases[] = {{nullptr, kExactPeriodSamples}, {"", kExactPeriodSamples}, {"1000", 1000},
                        {"0", kExactPeriodSamples},      {"-5", kExactPeriodSamples}, {"12x", kExactPeriodSamples},
                        {"99999999999999999999999", kExactPeriodSamples}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value ? c.value : "(unset)");
    if (c.value) {
      setenv("VANTIRO_OVERVIEW_ABOVE", c.value, 1);
    } else {
      unsetenv("VANTIRO_OVERVIEW_ABOVE");
    }
    EXPECT_EQ(ExactPeriodLimit(), c.limit);
  }
  unsetenv("VANTIRO_OVERVIEW_ABOVE");
}

}  // namespace
}  // namespace vantiro
