// A live line past its cap made an overview of its older part.
#include <gtest/gtest.h>

#include <algorithm>

#include "chart/ChartLines.h"

namespace vantiro {
namespace {

constexpr double kSecond = 1.0 / 86400.0;

ChartLine Line(std::size_t n, std::size_t gapAt = SIZE_MAX) {
  ChartLine line;
  line.title = "通道01";
  line.palettePosition = 3;
  for (std::size_t i = 0; i < n; ++i) {
    const DateTime x = 45000.0 + static_cast<double>(i) * kSecond;
    if (i == gapAt) {
      line.AppendGap(x, -10.0);
    } else {
      line.Append(x, static_cast<double>(i % 7));
    }
  }
  return line;
}

TEST(LiveCompactionTest, TheOlderPartBecomesColumnsWithTheirBandsAndTheNewestStaysExact) {
  struct Case {
    const char* name;
    std::size_t points, gapAt, keep, columns;
  };
  const Case cases[] = {
      {"no gap", 1000, SIZE_MAX, 100, 10},
      {"a gap among the older points", 1000, 400, 100, 10},
      {"a gap among the newest", 1000, 950, 100, 10},
      {"everything kept", 50, SIZE_MAX, 100, 10},
      {"one column", 1000, SIZE_MAX, 100, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ChartLine line = Line(c.points, c.gapAt);
    const ChartLine compact = CompactLiveLine(line, c.keep, c.columns);
    EXPECT_EQ(compact.title, line.title);
    EXPECT_EQ(compact.palettePosition, 3u);
    ASSERT_TRUE(compact.HasBand());
    EXPECT_TRUE(compact.ascending);
    EXPECT_EQ(compact.minX, line.minX);
    EXPECT_EQ(compact.maxX, line.maxX);
    const std::size_t keep = std::min(c.keep, c.points);
    const std::size_t older = c.points - keep;
    const bool gapOlder = c.gapAt < older;
    EXPECT_LE(compact.points.size(), keep + c.columns + (gapOlder ? 2 : 0));
    // The newest points as they were.
    for (std::size_t i = 0; i < keep; ++i) {
      const std::size_t from = c.points - 1 - i;
      const std::size_t to = compact.points.size() - 1 - i;
      ASSERT_EQ(compact.points[to].x, line.points[from].x);
      ASSERT_EQ(compact.points[to].y, line.points[from].y);
      ASSERT_EQ(compact.IsGap(to), line.IsGap(from));
    }
    // Every older value within its column's band: 0..6 throughout; a gap stays a gap.
    for (std::size_t i = 0; i + keep < compact.points.size(); ++i) {
      if (compact.IsGap(i)) continue;
      EXPECT_EQ(compact.bandLow[i], 0.0f);
      EXPECT_EQ(compact.bandHigh[i], 6.0f);
    }
    EXPECT_EQ(compact.gaps.size(), line.gaps.size());
  }
}

TEST(LiveCompactionTest, AnOverviewCompactedAgainKeepsItsBands) {
  ChartLine line = Line(1000);
  line.points[10].y = 500.0;  // a spike among the oldest
  ChartLine compact = CompactLiveLine(line, 500, 50);
  for (std::size_t i = 0; i < 500; ++i) compact.Append(compact.maxX + kSecond, 1.0);
  compact.bandLow.resize(compact.points.size(), 1.0f);  // as the chart sees appended points: no band
  compact.bandHigh.resize(compact.points.size(), 1.0f);
  const ChartLine again = CompactLiveLine(compact, 500, 50);
  EXPECT_LE(again.points.size(), 550u);
  EXPECT_EQ(*std::max_element(again.bandHigh.begin(), again.bandHigh.end()), 500.0f);
  EXPECT_EQ(again.minX, line.minX);
}

// A week at one reading a second, compacted whenever it passes the cap as the window does: never
// more than the cap, always from the first reading, the spike of the first hour still in a band.
TEST(LiveCompactionTest, AWeekStaysWholeAndBounded) {
  constexpr std::size_t kCap = 20000;
  ChartLine line;
  for (std::size_t i = 0; i < 7 * 86400; ++i) {
    line.Append(45000.0 + static_cast<double>(i) * kSecond, i == 100 ? 50.0 : static_cast<double>(i % 3));
    if (line.HasBand() || !line.bandLow.empty()) {
      line.bandLow.push_back(static_cast<float>(line.points.back().y));
      line.bandHigh.push_back(static_cast<float>(line.points.back().y));
    }
    if (line.points.size() > kCap) {
      line = CompactLiveLine(line, kCap / 2, kCap / 4);
      ASSERT_LE(line.points.size(), kCap);
      ASSERT_EQ(line.minX, 45000.0);
    }
  }
  EXPECT_EQ(*std::max_element(line.bandHigh.begin(), line.bandHigh.end()), 50.0f);
  EXPECT_NEAR(line.maxX - line.minX, 7.0 - kSecond, 1e-6);
}

}  // namespace
}  // namespace vantiro
