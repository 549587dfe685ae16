#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
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

// The plain way: each sample looked at in turn. The envelope must give exactly these points,
// whatever way it finds a column's end and its lowest and highest values (by the samples' pace, by
// the block index).
std::vector<EnvelopePoint> PlainEnvelope(const std::vector<DateTime>& times, const std::vector<float>& values,
                                         DateTime x0, DateTime x1, int pixels) {
  std::vector<EnvelopePoint> out;
  const std::size_t n = times.size();
  std::size_t begin = static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), x0) - times.begin());
  std::size_t end = static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), x1) - times.begin());
  if (begin > 0) --begin;
  if (end < n) ++end;
  const double perColumn = (x1 - x0) / pixels;
  std::size_t i = begin;
  while (i < end) {
    if (IsGapValue(values[i])) {
      out.push_back({times[i], 0.0, true});
      ++i;
      continue;
    }
    const double column = std::floor((times[i] - x0) / perColumn);
    const DateTime columnEnd = x0 + (column + 1) * perColumn;
    std::size_t j = i;
    std::size_t lowest = i, highest = i;
    while (j < end && (times[j] < columnEnd || j == i) && !IsGapValue(values[j])) {
      if (values[j] < values[lowest]) lowest = j;
      if (values[j] > values[highest]) highest = j;
      ++j;
    }
    std::size_t picks[4] = {i, lowest, highest, j - 1};
    std::sort(picks, picks + 4);
    for (int k = 0; k < 4; ++k) {
      if (k > 0 && picks[k] == picks[k - 1]) continue;
      out.push_back({times[picks[k]], static_cast<double>(values[picks[k]]), false});
    }
    i = j;
  }
  return out;
}

TEST(LineEnvelopeTest, EveryWayOfFindingAColumnGivesThePlainEnvelope) {
  struct Case {
    const char* name;
    bool evenPace;     // a sample a second, or steps of 0.1 s to 30 s at random
    int gaps;          // gap samples among them
    int oddValues;     // values near the gap value or no number
    double fromShare;  // the window, as shares of the span
    double toShare;
    int pixels;
  };
  const Case cases[] = {
      {"even, whole", true, 0, 0, 0.0, 1.0, 1000},
      {"even, gaps", true, 40, 0, 0.0, 1.0, 777},
      {"uneven, gaps", false, 40, 0, 0.0, 1.0, 1282},
      {"uneven, odd values", false, 5, 30, 0.0, 1.0, 500},
      {"even, a narrow window", true, 10, 5, 0.4, 0.41, 1000},
      {"uneven, more columns than samples", false, 3, 0, 0.5, 0.5003, 1000},
      {"even, a window past the end", true, 0, 0, 0.9, 1.3, 640},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::mt19937 random(11);
    const std::size_t n = 150000;
    std::vector<DateTime> times(n);
    std::vector<float> values(n);
    DateTime t = 40000.0;
    for (std::size_t i = 0; i < n; ++i) {
      times[i] = t;
      t += c.evenPace ? kOneSecond : kOneSecond * (0.1 + static_cast<double>(random() % 300) / 10.0);
      values[i] = static_cast<float>(random() % 2000) / 10.0f - 100.0f;
    }
    for (int g = 0; g < c.gaps; ++g) values[random() % n] = GapValue;
    for (int k = 0; k < c.oddValues; ++k) {
      values[random() % n] = k % 3 == 0 ? std::numeric_limits<float>::quiet_NaN() : (k % 3 == 1 ? -158.05f : -157.95f);
    }
    const DateTime x0 = times[0] + (times[n - 1] - times[0]) * c.fromShare;
    const DateTime x1 = times[0] + (times[n - 1] - times[0]) * c.toShare;
    const std::vector<EnvelopePoint> plain = PlainEnvelope(times, values, x0, x1, c.pixels);
    const EnvelopeIndex index = MakeEnvelopeIndex(values.data(), n);
    for (const EnvelopeIndex* given : {static_cast<const EnvelopeIndex*>(nullptr), &index}) {
      SCOPED_TRACE(given ? "with the index" : "without");
      const std::vector<EnvelopePoint> points = LineEnvelope(times.data(), values.data(), n, x0, x1, c.pixels, given);
      ASSERT_EQ(points.size(), plain.size());
      for (std::size_t k = 0; k < points.size(); ++k) {
        ASSERT_EQ(points[k].x, plain[k].x) << k;
        ASSERT_EQ(points[k].gap, plain[k].gap) << k;
        if (!plain[k].gap && !std::isnan(plain[k].y)) ASSERT_EQ(points[k].y, plain[k].y) << k;
        if (!plain[k].gap) ASSERT_EQ(std::isnan(points[k].y), std::isnan(plain[k].y)) << k;
      }
    }
  }
}

}  // namespace
}  // namespace vantiro
