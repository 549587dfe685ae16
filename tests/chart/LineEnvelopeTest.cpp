#include <gtest/gtest.h>

#include <random>

#include "chart/LineEnvelope.h"

namespace vantiro {
namespace {

TEST(LineEnvelopeTest, EachColumnKeepsItsFirstLowestHighestAndLastSampleAndEverySpike) {
  std::mt19937 random(5);
  const std::size_t n = 200000;
  std::vector<DateTime> times(n);
  std::vector<float> values(n);
  for (std::size_t i = 0; i < n; ++i) {
    times[i] = 40000.0 + static_cast<double>(i) * kOneSecond;
    values[i] = static_cast<float>(random() % 1000) / 10.0f;
  }
  values[123457] = 5000.0f;   // a spike of one sample
  values[150000] = -300.0f;
  values[77777] = GapValue;   // an interruption
  const int pixels = 1000;
  const DateTime x0 = times[0];
  const DateTime x1 = times[n - 1];
  const std::vector<EnvelopePoint> points = LineEnvelope(times.data(), values.data(), n, x0, x1, pixels);
  EXPECT_LE(points.size(), 4u * pixels + 8);
  // Against a plain reference: per column, the lowest and highest sample; the spikes are there; the
  // gap is a break; times ascend.
  double highest = -1e9, lowest = 1e9;
  int gaps = 0;
  for (std::size_t k = 0; k < points.size(); ++k) {
    if (k > 0) {
      EXPECT_GE(points[k].x, points[k - 1].x);
    }
    if (points[k].gap) {
      ++gaps;
      continue;
    }
    highest = std::max(highest, points[k].y);
    lowest = std::min(lowest, points[k].y);
  }
  EXPECT_EQ(highest, 5000.0);
  EXPECT_EQ(lowest, -300.0);
  EXPECT_EQ(gaps, 1);
  const double perColumn = (x1 - x0) / pixels;
  for (int c = 0; c < pixels; c += 37) {
    float lo = 1e9f, hi = -1e9f;
    for (std::size_t i = 0; i < n; ++i) {
      if (IsGapValue(values[i])) continue;
      const int column = static_cast<int>(std::floor((times[i] - x0) / perColumn));
      if (column != c) continue;
      lo = std::min(lo, values[i]);
      hi = std::max(hi, values[i]);
    }
    bool sawLo = false, sawHi = false;
    for (const EnvelopePoint& p : points) {
      if (p.gap) continue;
      const int column = static_cast<int>(std::floor((p.x - x0) / perColumn));
      if (column != c) continue;
      sawLo |= p.y == lo;
      sawHi |= p.y == hi;
    }
    EXPECT_TRUE(sawLo && sawHi) << "column " << c;
  }
}

TEST(LineEnvelopeTest, AWindowKeepsOneSampleBeyondEachEdgeAndFewSamplesStayAsTheyAre) {
  const std::vector<DateTime> times = {1.0, 2.0, 3.0, 4.0, 5.0};
  const std::vector<float> values = {10, 20, 30, 40, 50};
  const std::vector<EnvelopePoint> points = LineEnvelope(times.data(), values.data(), 5, 2.5, 3.5, 100);
  ASSERT_EQ(points.size(), 3u);  // 2, 3 and 4: the one inside and its neighbours
  EXPECT_EQ(points[0].y, 20.0);
  EXPECT_EQ(points[1].y, 30.0);
  EXPECT_EQ(points[2].y, 40.0);
  EXPECT_TRUE(LineEnvelope(times.data(), values.data(), 0, 0.0, 1.0, 10).empty());
  EXPECT_TRUE(LineEnvelope(times.data(), values.data(), 5, 2.0, 2.0, 10).empty());
}

}  // namespace
}  // namespace vantiro
