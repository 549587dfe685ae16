#include <gtest/gtest.h>

#include "recorder/Dataset.h"
#include "recorder/DateTime.h"

namespace vantiro {
namespace {

TEST(DatasetTest, TimesAreEqualWithinOneMillisecond) {
  const DateTime t = *EncodeDateTime(2010, 5, 12, 10, 11, 12);
  const double ms = kOneMillisecond;
  struct Case {
    DateTime a;
    DateTime b;
    int expected;
  };
  const Case cases[] = {
      {t, t, 0},
      {t + 0.5 * ms, t, 0},
      {t, t + 0.5 * ms, 0},
      {t + 0.9 * ms, t, 0},
      {t + 2 * ms, t, 1},
      {t, t + 2 * ms, -1},
      {t + kOneSecond, t, 1},
      {0.0, 0.0, 0},
      {0.0, 0.5 * ms, 0},
      {0.0, ms, -1},  // one whole millisecond apart is no longer equal
      {ms, 0.0, 1},
      {-1.25, -1.25 + 0.5 * ms, 0},
      {-1.25, -1.25 + 2 * ms, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareTimes(c.a, c.b), c.expected) << std::hexfloat << c.a << " vs " << c.b;
  }
}

TEST(DatasetTest, ValuesAreEqualWithinTheSmallerMagnitude) {
  struct Case {
    float a;
    float b;
    int expected;
  };
  const Case cases[] = {
      {-158.0f, -158.0f, 0},
      {0.0f, 0.00001f, -1},  // no tolerance at zero
      {0.00001f, 0.0f, 1},
      {0.0f, -0.00001f, 1},
      {0.0f, 0.0f, 0},
      {0.0f, -0.0f, 0},
      {100.0f, 100.009f, 0},  // 0.009 <= 0.01
      {100.009f, 100.0f, 0},
      {100.0f, 100.02f, -1},
      {100.02f, 100.0f, 1},
      {-100.0f, -100.009f, 0},
      {-100.0f, -100.02f, 1},
      {1.0f, -1.0f, 1},
      {-1.0f, 1.0f, -1},
      {1e-6f, 1.00005e-6f, 0},
      {1e-6f, 1.0002e-6f, -1},
      {3e38f, 3.0002e38f, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CompareValues(c.a, c.b), c.expected) << c.a << " vs " << c.b;
  }
}

TEST(DatasetTest, GapMarkerIsRecognisedWithTheValueTolerance) {
  struct Case {
    float value;
    bool gap;
  };
  const Case cases[] = {
      {-158.0f, true},   {-158.01f, true},  {-157.99f, true},  {-158.015f, true},
      {-158.03f, false}, {-157.97f, false}, {158.0f, false},   {0.0f, false},
      {-15.8f, false},   {-1580.0f, false}, {-159.0f, false},  {-157.0f, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(IsGapValue(c.value), c.gap) << c.value;
  }
  EXPECT_EQ(GapValue, -158.0f);
}

TEST(DatasetTest, ResetSummaryClearsEveryField) {
  DatasetSummary summary{50.0f, -10.0f, 40000.0, 40001.0, 1234};
  ResetSummary(summary);
  EXPECT_EQ(summary.rangeMax, 0.0f);
  EXPECT_EQ(summary.rangeMin, 0.0f);
  EXPECT_EQ(summary.startTime, 0.0);
  EXPECT_EQ(summary.endTime, 0.0);
  EXPECT_EQ(summary.sampleCount, 0);
}

}  // namespace
}  // namespace vantiro
