#include <gtest/gtest.h>

#include "archive/ArchivePeriods.h"
#include "recorder/DateTime.h"

namespace vantiro {
namespace {

std::int64_t At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return ToArchiveMs(*EncodeDateTime(y, mo, d, h, mi, s));
}

TEST(ArchivePeriodsTest, QuickPeriodsOnTheWallClock) {
  const std::int64_t now = At(2025, 3, 1, 10, 30);  // a Saturday
  const std::vector<ArchiveSpan> coverage = {{At(2024, 12, 31, 23), At(2025, 1, 2)}, {At(2025, 2, 1), At(2025, 2, 20)}};
  struct Case {
    const char* name;
    QuickPeriod which;
    std::int64_t now;
    ArchiveSpan expected;
  };
  const Case cases[] = {
      {"today", QuickPeriod::Today, now, {At(2025, 3, 1), At(2025, 3, 2) - 1}},
      {"yesterday across a month", QuickPeriod::Yesterday, now, {At(2025, 2, 28), At(2025, 3, 1) - 1}},
      {"this week from Monday", QuickPeriod::ThisWeek, now, {At(2025, 2, 24), At(2025, 3, 3) - 1}},
      {"this week on its Monday", QuickPeriod::ThisWeek, At(2025, 2, 24, 0, 0, 1), {At(2025, 2, 24), At(2025, 3, 3) - 1}},
      {"this week on its Sunday night", QuickPeriod::ThisWeek, At(2025, 3, 2, 23, 59, 59), {At(2025, 2, 24), At(2025, 3, 3) - 1}},
      {"this month", QuickPeriod::ThisMonth, now, {At(2025, 3, 1), At(2025, 4, 1) - 1}},
      {"last month, a short one", QuickPeriod::LastMonth, now, {At(2025, 2, 1), At(2025, 3, 1) - 1}},
      {"last month across a year", QuickPeriod::LastMonth, At(2025, 1, 15), {At(2024, 12, 1), At(2025, 1, 1) - 1}},
      {"this month in a leap February", QuickPeriod::ThisMonth, At(2024, 2, 10), {At(2024, 2, 1), At(2024, 3, 1) - 1}},
      {"all of it", QuickPeriod::All, now, {At(2024, 12, 31, 23), At(2025, 2, 20)}},
      {"before 1970", QuickPeriod::Today, At(1969, 7, 20, 20, 17), {At(1969, 7, 20), At(1969, 7, 21) - 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(QuickPeriodSpan(c.which, c.now, coverage), c.expected);
  }
  EXPECT_EQ(QuickPeriodSpan(QuickPeriod::All, now, {}), QuickPeriodSpan(QuickPeriod::Today, now, {}));
}

TEST(ArchivePeriodsTest, TheStripZoomsAroundTheMouseWithinItsLimitsAndPans) {
  StripView view;
  view.SetWindow(At(2025, 1, 1), At(2026, 1, 1));
  const int width = 1000;
  const std::int64_t under = view.TimeAt(250, width);
  view.Zoom(0.5, 250, width);
  EXPECT_NEAR(static_cast<double>(view.TimeAt(250, width)), static_cast<double>(under), 86400000.0 / 1000);
  EXPECT_NEAR(static_cast<double>(view.To() - view.From()), 365 * 86400000.0 / 2, 1000.0);
  for (int i = 0; i < 100; ++i) view.Zoom(0.5, 500, width);
  EXPECT_EQ(view.To() - view.From(), StripView::kNarrowestMs);
  for (int i = 0; i < 100; ++i) view.Zoom(2.0, 500, width);
  EXPECT_EQ(view.To() - view.From(), StripView::kWidestMs);
  view.SetWindow(At(2025, 1, 1), At(2025, 1, 11));
  view.Pan(100, width);  // a tenth of the width to the right: a day earlier
  EXPECT_EQ(view.From(), At(2024, 12, 31));
}

TEST(ArchivePeriodsTest, StripTicksFallOnRoundTimesAtEveryScale) {
  struct Case {
    const char* name;
    std::int64_t from, to;
    std::vector<std::string> first;  // the first texts
    std::int64_t firstMs;
  };
  const Case cases[] = {
      {"hours", At(2025, 3, 14, 9, 10), At(2025, 3, 14, 15), {"10:00", "11:00", "12:00"}, At(2025, 3, 14, 10)},
      {"midnight shows the date", At(2025, 3, 14, 20), At(2025, 3, 15, 3), {"20:00", "21:00", "22:00", "23:00", "03-15"}, At(2025, 3, 14, 20)},
      {"two days", At(2025, 3, 1, 12), At(2025, 3, 20), {"03-03", "03-05"}, At(2025, 3, 3)},
      {"days", At(2025, 3, 1, 12), At(2025, 3, 10), {"03-02", "03-03"}, At(2025, 3, 2)},
      {"months", At(2024, 11, 15), At(2025, 9, 1), {"2024-12", "2025", "2025-02"}, At(2024, 12, 1)},
      {"years", At(2010, 6, 1), At(2040, 1, 1), {"2012", "2014"}, At(2012, 1, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StripView view;
    view.SetWindow(c.from, c.to);
    const std::vector<StripTick> ticks = StripTicks(view, 1200, 80);
    ASSERT_GE(ticks.size(), c.first.size());
    EXPECT_EQ(ticks[0].ms, c.firstMs);
    for (std::size_t i = 0; i < c.first.size(); ++i) EXPECT_EQ(ticks[i].text, c.first[i]) << i;
    for (std::size_t i = 1; i < ticks.size(); ++i) {
      EXPECT_GE(view.X(ticks[i].ms, 1200) - view.X(ticks[i - 1].ms, 1200), 80.0 - 1e-6);
    }
  }
}

}  // namespace
}  // namespace vantiro
