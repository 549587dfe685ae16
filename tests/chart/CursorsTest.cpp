#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <cstdint>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "chart/ChartLines.h"
#include "chart/Cursors.h"
#include "chart/SpanStatistics.h"
#include "recorder/Dataset.h"
#include "recorder/DateTime.h"

namespace vantiro {
namespace {

const double S = kOneSecond;
const double Ms = kOneMillisecond;

DateTime At(int hour, int minute, int second, int millisecond = 0) {
  return *EncodeDateTime(2010, 8, 7, hour, minute, second, millisecond);
}

// ---- Read-out ----

TEST(CursorsTest, TheLegendTitleShowsTheCursorTimeToTheSecond) {
  EXPECT_EQ(CursorLegendTitle(At(12, 30, 5)), "垂直游标X: 2010-08-07 12:30:05");
  EXPECT_EQ(CursorLegendTitle(At(12, 30, 5, 400)), "垂直游标X: 2010-08-07 12:30:05");
  EXPECT_EQ(CursorLegendTitle(*EncodeDateTime(2009, 12, 31, 23, 59, 59)),
            "垂直游标X: 2009-12-31 23:59:59");
}

// Points on a grid of 2^-16 day (about 1.3 s) from 2010-08-07 12:00:00, a time these doubles hold
// exactly, so that a time halfway between two points is exactly halfway.
const DateTime B = 40397.5;
const double H = std::ldexp(1.0, -16);

TEST(CursorsTest, TheNearestPointIsFoundByBisection) {
  ASSERT_EQ(CursorLegendTitle(B), "垂直游标X: 2010-08-07 12:00:00");
  std::vector<ChartPoint> points;
  for (int i = 0; i < 7; ++i) points.push_back({B + i * H, double(i)});
  ASSERT_EQ((B + 3 * H) - (B + 2.5 * H), (B + 2.5 * H) - (B + 2 * H));

  struct Case {
    const char* name;
    DateTime x;
    std::size_t nearest;
  };
  const Case cases[] = {
      {"on the first point", B, 0},
      {"on a middle point", B + 3 * H, 3},
      {"on the last point", B + 6 * H, 6},
      {"within 1e-12 of a point's time, above", (B + 3 * H) * (1 + 0.9e-12), 3},
      {"within 1e-12 of a point's time, below", (B + 3 * H) * (1 - 0.9e-12), 3},
      {"halfway: the earlier point", B + 2.5 * H, 2},
      {"halfway between the first two", B + 0.5 * H, 0},
      {"halfway between the last two", B + 5.5 * H, 5},
      {"nearer the later point", B + 2.6 * H, 3},
      {"nearer the earlier point", B + 2.4 * H, 2},
      {"before the first point", B - 5 * H, 0},
      {"after the last point", B + 9 * H, 6},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(NearestPoint(points, c.x), c.nearest) << c.name;
  }

  const std::vector<ChartPoint> one = {{B, 1.0}};
  EXPECT_EQ(NearestPoint(one, B - H), 0u);
  EXPECT_EQ(NearestPoint(one, B + H), 0u);
  const std::vector<ChartPoint> two = {{B, 1.0}, {B + H, 2.0}};
  EXPECT_EQ(NearestPoint(two, B + 0.5 * H), 0u);
  EXPECT_EQ(NearestPoint(two, B + 0.75 * H), 1u);
  EXPECT_EQ(NearestPoint(two, B + H), 1u);
}

class CursorReadoutTest : public ::testing::Test {
 protected:
  // Channel 1 in ℃ with samples half a second past each second from 12:30:00.5 to 12:30:05.5,
  // a gap marker at 12:30:02.5; the gap height is -30.
  CursorReadoutTest() {
    ChannelInfo channel;
    channel.number = 1;
    channel.unit = "℃";
    const float values[] = {23.4567f, 24.0f, GapValue, -5.5f, 26.125f, 1000.0f};
    for (int i = 0; i < 6; ++i) {
      channel.times.push_back(At(12, 30, i, 500));
      channel.values.push_back(values[i]);
    }
    summary_.rangeMin = -20.0f;
    summary_.rangeMax = 1000.0f;
    summary_.startTime = channel.times.front();
    summary_.endTime = channel.times.back();
    summary_.sampleCount = 5;
    fill_ = FillChart({channel}, summary_);
  }

  std::string Readout(DateTime x) const {
    const ChartLine& line = fill_.lines.at(0);
    return CursorReadout(line.title, line.unit, line, x, GapHeight(summary_));
  }

  DatasetSummary summary_;
  ChartFill fill_;
};

TEST_F(CursorReadoutTest, ReadsTheNearestSampleOfTheLine) {
  struct Case {
    const char* name;
    DateTime x;
    const char* text;
  };
  const DateTime first = At(12, 30, 0, 500);
  const Case cases[] = {
      {"on a sample", first, "通道01 23.457℃"},
      {"within 1e-12 of a sample", At(12, 30, 1, 500) * (1 + 0.5e-12), "通道01 24.000℃"},
      {"nearer the earlier sample", At(12, 30, 1, 900), "通道01 24.000℃"},
      {"nearer the later sample", At(12, 30, 1, 100), "通道01 24.000℃"},
      {"a negative value", At(12, 30, 3, 500), "通道01 -5.500℃"},
      {"on the gap marker", At(12, 30, 2, 500), "通道01  ---"},
      {"nearest to the gap marker", At(12, 30, 2, 200), "通道01  ---"},
      {"nearest to the sample after the gap", At(12, 30, 3, 100), "通道01 -5.500℃"},
      {"the last sample", At(12, 30, 5, 500), "通道01 1000.000℃"},
      {"the same second as the first sample, earlier", At(12, 30, 0, 100), "通道01 23.457℃"},
      {"the same second as the last sample, later", At(12, 30, 5, 900), "通道01 1000.000℃"},
      {"the second before the first sample", At(12, 29, 59, 900), "通道01  ---"},
      {"a second before the first sample", At(12, 29, 59, 500), "通道01  ---"},
      {"the second after the last sample", At(12, 30, 6, 0), "通道01  ---"},
      {"a minute after the last sample", At(12, 31, 5, 500), "通道01  ---"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Readout(c.x), c.text) << c.name;
  }
}

TEST_F(CursorReadoutTest, AnExactTieReadsTheEarlierSample) {
  const std::vector<ChannelInfo> channels = [] {
    ChannelInfo channel;
    channel.number = 2;
    channel.unit = "mA";
    channel.times = {B, B + H, B + 2 * H};
    channel.values = {4.0f, 20.0f, 12.0f};
    return std::vector<ChannelInfo>{channel};
  }();
  const ChartFill fill = FillChart(channels, summary_);
  const ChartLine& line = fill.lines.at(0);
  EXPECT_EQ(CursorReadout(line.title, line.unit, line, B + 0.5 * H, -30.0), "通道02 4.000mA");
  EXPECT_EQ(CursorReadout(line.title, line.unit, line, B + 1.5 * H, -30.0), "通道02 20.000mA");
}

TEST(CursorsTest, ReadoutOfLinesWithFewOrNoPoints) {
  ChartLine empty;
  empty.title = "通道05";
  EXPECT_EQ(CursorReadout("通道05", "V", empty, At(12, 0, 0), -30.0), "通道05  ---");

  ChartLine one;
  one.title = "通道03";
  one.Append(At(12, 0, 0, 250), 7.25);
  EXPECT_EQ(CursorReadout("通道03", "", one, At(12, 0, 0, 900), -30.0), "通道03 7.250");
  EXPECT_EQ(CursorReadout("通道03", "", one, At(12, 0, 1), -30.0), "通道03  ---");

  ChartLine gapOnly;
  gapOnly.Append(At(12, 0, 0), -30.0);
  EXPECT_EQ(CursorReadout("通道04", "℃", gapOnly, At(12, 0, 0), -30.0), "通道04  ---");
}

TEST(CursorsTest, TheGapTestTakesTheGapHeightAsAFloat) {
  // rangeMin 0.1f puts the gap height at -9.89999999851..., which a float does not hold exactly:
  // a point at the gap height, or at its float, reads as a gap all the same.
  DatasetSummary summary;
  summary.rangeMin = 0.1f;
  summary.rangeMax = 5.0f;
  const double gapHeight = GapHeight(summary);
  ChartLine line;
  line.Append(At(12, 0, 0), gapHeight);
  line.Append(At(12, 0, 1), static_cast<float>(gapHeight));
  line.Append(At(12, 0, 2), 2.0);
  EXPECT_EQ(CursorReadout("通道01", "℃", line, At(12, 0, 0), gapHeight), "通道01  ---");
  EXPECT_EQ(CursorReadout("通道01", "℃", line, At(12, 0, 1), gapHeight), "通道01  ---");
  EXPECT_EQ(CursorReadout("通道01", "℃", line, At(12, 0, 2), gapHeight), "通道01 2.000℃");
}

TEST(CursorsTest, ALineWhoseTimesGoBackReadsTheSampleNearestInTime) {
  // Lines as a CSV import stores them, times in file order; times on the grid of H so that halves
  // are exact. The gap height is -9 (rangeMin 1).
  DatasetSummary summary;
  summary.rangeMin = 1.0f;
  summary.rangeMax = 99.0f;
  summary.startTime = B;
  summary.endTime = B + 9 * H;
  auto channel = [](std::int16_t number, std::vector<double> steps, std::vector<float> values) {
    ChannelInfo c;
    c.number = number;
    for (double t : steps) c.times.push_back(B + t * H);
    c.values = std::move(values);
    return c;
  };
  const ChartFill fill = FillChart(
      {// Times 5, 4, 3, 3, 9, 1: the two at 3 told apart by their values.
       channel(1, {5, 4, 3, 3, 9, 1}, {5, 4, 3, 33, 9, 1}),
       // A gap sample at 2, between samples going back and forth.
       channel(2, {6, 2, 4, 8}, {6, GapValue, 4, 8}),
       // Ascending with a run of equal times: the bisection stops on the middle one and keeps
       // doing so.
       channel(3, {1, 2, 2, 2, 3}, {1, 21, 22, 23, 3}),
       // All at one time.
       channel(4, {7, 7, 7}, {71, 72, 73})},
      summary);
  ASSERT_FALSE(fill.lines[0].ascending);
  ASSERT_FALSE(fill.lines[1].ascending);
  ASSERT_TRUE(fill.lines[2].ascending);
  ASSERT_TRUE(fill.lines[3].ascending);
  struct Case {
    const char* name;
    std::size_t line;
    double at;  // in H from B
    const char* text;
  };
  const Case cases[] = {
      {"on the last sample, the earliest time", 0, 1, "通道01 1.000"},
      {"on the latest time", 0, 9, "通道01 9.000"},
      {"on two samples of one time: the first stored", 0, 3, "通道01 3.000"},
      {"nearer 3 than 4", 0, 3.4, "通道01 3.000"},
      {"halfway between 3 and 4: 4 was stored first", 0, 3.5, "通道01 4.000"},
      {"halfway between 1 and 3: 3 was stored first", 0, 2, "通道01 3.000"},
      {"halfway between 5 and 9: 5 was stored first", 0, 7, "通道01 5.000"},
      {"nearer 9 than 5", 0, 7.2, "通道01 9.000"},
      {"nearer 1 than 3", 0, 1.9, "通道01 1.000"},
      {"the same second as the earliest time, before it", 0, 0.9, "通道01 1.000"},
      {"the second before the earliest time", 0, 0.5, "通道01  ---"},
      {"the same second as the latest time, after it", 0, 9.1, "通道01 9.000"},
      {"well after the latest time", 0, 12, "通道01  ---"},
      {"nearest the gap sample", 1, 2.4, "通道02  ---"},
      {"halfway between the gap and 4: the gap was stored first", 1, 3, "通道02  ---"},
      {"nearer 4 than the gap", 1, 3.2, "通道02 4.000"},
      {"halfway between 6 and 8: 6 was stored first", 1, 7, "通道02 6.000"},
      {"ascending, on the run of equal times: the bisection's middle", 2, 2, "通道03 22.000"},
      {"ascending, just after the run: its last", 2, 2.3, "通道03 23.000"},
      {"ascending, halfway between 2 and 3", 2, 2.5, "通道03 23.000"},
      {"ascending, nearer 3", 2, 2.6, "通道03 3.000"},
      {"one time only, the bisection's pick", 3, 7, "通道04 72.000"},
  };
  for (const Case& c : cases) {
    const ChartLine& line = fill.lines.at(c.line);
    EXPECT_EQ(CursorReadout(line.title, line.unit, line, B + c.at * H, fill.gapHeight), c.text)
        << c.name;
  }
}

// ---- The cursor dialog ----

TEST(CursorsTest, WholeNumberTextTruncatesTowardZero) {
  struct Case {
    double value;
    const char* text;
  };
  const Case cases[] = {
      {50.7, "50"},    {50.0, "50"},     {-0.5, "0"},       {-0.0, "0"},
      {0.0, "0"},      {-3.9, "-3"},     {115.2, "115"},    {-30.5, "-30"},
      {1e12, "1000000000000"},           {-4294967296.5, "-4294967296"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WholeNumberText(c.value), c.text) << c.value;
  }
}

// The dialog as opened on a view; the pickers and fields untouched unless a case changes them.
struct Dialog {
  CursorDialogStart start;
  DateTime pickedDate;
  DateTime pickedTime;
  std::string y1;
  std::string y2;

  explicit Dialog(const CursorDialogStart& s)
      : start(s),
        pickedDate(s.cursorX),
        pickedTime(s.cursorX),
        y1(WholeNumberText(s.cursorY1)),
        y2(WholeNumberText(s.cursorY2)) {}

  CursorDialogResult Ok() const { return CheckCursorDialog(start, pickedDate, pickedTime, y1, y2); }
};

CursorDialogStart Start(DateTime x, double y1, double y2, DateTime xMin, DateTime xMax,
                        double yMin, double yMax) {
  CursorDialogStart start;
  start.cursorX = x;
  start.cursorY1 = y1;
  start.cursorY2 = y2;
  start.viewXMin = xMin;
  start.viewXMax = xMax;
  start.viewYMin = yMin;
  start.viewYMax = yMax;
  return start;
}

TEST(CursorsTest, AnUnchangedDialogKeepsTheCursorsExactly) {
  const CursorDialogStart starts[] = {
      Start(At(12, 5, 0, 123) + 0.37 * Ms, 50.731, -12.4, At(12, 0, 0, 400), At(12, 10, 0, 600),
            -30.5, 115.2),
      Start(At(12, 0, 0, 400), 115.2, -30.5, At(12, 0, 0, 400), At(12, 10, 0, 600), -30.5, 115.2),
      Start(At(12, 0, 0, 500), 0.5, 0.74, At(12, 0, 0), At(12, 0, 1), 0.25, 0.75),
      Start(At(23, 59, 59, 999), -0.6, 1e12 + 0.5, At(23, 59, 59), At(23, 59, 59, 999), -1.0,
            2e12),
  };
  for (const CursorDialogStart& start : starts) {
    const CursorDialogResult result = Dialog(start).Ok();
    ASSERT_TRUE(result.accepted) << result.message;
    EXPECT_EQ(result.x, start.cursorX);
    EXPECT_EQ(result.y1, start.cursorY1);
    EXPECT_EQ(result.y2, start.cursorY2);
  }
}

TEST(CursorsTest, ANewTimeMustLieInTheViewToTheSecondAndIsClampedToIt) {
  // The view shows 12:00:00.4 to 12:10:00.6; the cursor stands at 12:05:00.
  const DateTime viewMin = At(12, 0, 0, 400);
  const DateTime viewMax = At(12, 10, 0, 600);
  const CursorDialogStart start = Start(At(12, 5, 0), 50.0, 20.0, viewMin, viewMax, 0.0, 100.0);
  struct Case {
    const char* name;
    DateTime picked;  // a new time of day in the time picker
    bool accepted;
    DateTime x;
  };
  const Case cases[] = {
      {"12:10:00, inside", At(12, 10, 0), true, At(12, 10, 0)},
      {"12:10:00.6, the edge", viewMax, true, viewMax},
      {"less than 1 ms after the edge", viewMax + 0.5 * Ms, true, viewMax + 0.5 * Ms},
      {"later than the edge within its second", At(12, 10, 0, 900), true, viewMax},
      {"one second after the edge", At(12, 10, 1, 600), false, 0},
      {"12:10:01", At(12, 10, 1), false, 0},
      {"12:00:00.4, the other edge", viewMin, true, viewMin},
      {"earlier than that edge within its second", At(12, 0, 0, 100), true, viewMin},
      {"11:59:59.9", At(11, 59, 59, 900), false, 0},
      {"the next day", At(12, 5, 0) + 1.0, false, 0},
  };
  for (const Case& c : cases) {
    Dialog dialog(start);
    dialog.pickedTime = c.picked;
    const CursorDialogResult result = dialog.Ok();
    EXPECT_EQ(result.accepted, c.accepted) << c.name;
    if (c.accepted) {
      EXPECT_NEAR(result.x, c.x, Ms / 1000) << c.name;
      EXPECT_EQ(result.y1, 50.0) << c.name;
      EXPECT_EQ(result.y2, 20.0) << c.name;
    } else {
      EXPECT_EQ(result.message, kTimeOutsideView) << c.name;
      EXPECT_EQ(result.focus, CursorDialogFocus::Unchanged) << c.name;
    }
  }
  // Clamped times are the view's edges exactly.
  Dialog later(start);
  later.pickedTime = At(12, 10, 0, 900);
  EXPECT_EQ(later.Ok().x, viewMax);
  Dialog earlier(start);
  earlier.pickedTime = At(12, 0, 0, 100);
  EXPECT_EQ(earlier.Ok().x, viewMin);
}

TEST(CursorsTest, TheDatePickerAndTheTimePickerEachShiftTheTime) {
  // A view of two days; the cursor at 2010-08-07 06:00:00.
  const DateTime cursor = *EncodeDateTime(2010, 8, 7, 6, 0, 0);
  const CursorDialogStart start =
      Start(cursor, 50.0, 20.0, *EncodeDateTime(2010, 8, 6, 0, 0, 0),
            *EncodeDateTime(2010, 8, 8, 23, 0, 0), 0.0, 100.0);
  struct Case {
    const char* name;
    DateTime pickedDate;
    DateTime pickedTime;
    DateTime x;
  };
  const Case cases[] = {
      {"a day later in the date picker", *EncodeDateTime(2010, 8, 8, 6, 0, 0), cursor,
       *EncodeDateTime(2010, 8, 8, 6, 0, 0)},
      {"09:30:15 in the time picker", cursor, *EncodeDateTime(2010, 8, 7, 9, 30, 15),
       *EncodeDateTime(2010, 8, 7, 9, 30, 15)},
      {"both", *EncodeDateTime(2010, 8, 6, 6, 0, 0), *EncodeDateTime(2010, 8, 7, 13, 0, 1),
       *EncodeDateTime(2010, 8, 6, 13, 0, 1)},
  };
  for (const Case& c : cases) {
    Dialog dialog(start);
    dialog.pickedDate = c.pickedDate;
    dialog.pickedTime = c.pickedTime;
    const CursorDialogResult result = dialog.Ok();
    ASSERT_TRUE(result.accepted) << c.name << ": " << result.message;
    EXPECT_NEAR(result.x, c.x, Ms / 1000) << c.name;
  }

  Dialog outside(start);
  outside.pickedDate = *EncodeDateTime(2010, 8, 9, 6, 0, 0);
  EXPECT_EQ(outside.Ok().message, kTimeOutsideView);
}

TEST(CursorsTest, ANewValueMustLieInTheTruncatedView) {
  struct Case {
    const char* name;
    double viewMin;
    double viewMax;
    double cursorY1;
    const char* text;
    bool accepted;
    double y1;
  };
  const Case cases[] = {
      {"the truncated bottom", -30.5, 115.2, 50.0, "-30", true, -30.0},
      {"the truncated top", -30.5, 115.2, 50.0, "115", true, 115.0},
      {"inside", -30.5, 115.2, 50.0, "7", true, 7.0},
      {"with a plus sign", -30.5, 115.2, 50.0, "+7", true, 7.0},
      {"above", -30.5, 115.2, 50.0, "116", false, 0},
      {"below", -30.5, 115.2, 50.0, "-31", false, 0},
      {"unchanged", -30.5, 115.2, 50.0, "50", true, 50.0},
      {"below the view but not its truncation: raised to it", 0.25, 10.75, 5.0, "0", true, 0.25},
      {"unchanged below the view", 0.25, 10.75, 0.25, "0", true, 0.25},
      {"above the view but not its truncation: kept", 0.25, 10.75, 5.0, "10", true, 10.0},
      {"a deep zoom: 0 leaves the value as it was", 0.25, 0.75, 0.5, "0", true, 0.5},
      {"a deep zoom: 1 is refused", 0.25, 0.75, 0.5, "1", false, 0},
      {"a deep zoom: -1 is refused", 0.25, 0.75, 0.5, "-1", false, 0},
      {"an unchanged field outside the view", 0.25, 10.75, 20.9, "20", true, 20.9},
  };
  const DateTime x = At(12, 5, 0);
  for (const Case& c : cases) {
    for (const bool second : {false, true}) {
      CursorDialogStart start = Start(x, 1.5, 1.5, At(12, 0, 0), At(12, 10, 0), c.viewMin,
                                      c.viewMax);
      (second ? start.cursorY2 : start.cursorY1) = c.cursorY1;
      Dialog dialog(start);
      (second ? dialog.y2 : dialog.y1) = c.text;
      const CursorDialogResult result = dialog.Ok();
      const std::string name = std::string(c.name) + (second ? " (Y2)" : " (Y1)");
      EXPECT_EQ(result.accepted, c.accepted) << name;
      if (c.accepted) {
        EXPECT_EQ(second ? result.y2 : result.y1, c.y1) << name;
        EXPECT_EQ(second ? result.y1 : result.y2, 1.5) << name;
      } else {
        EXPECT_EQ(result.message, kValueOutsideView) << name;
        EXPECT_EQ(result.focus, second ? CursorDialogFocus::Y2 : CursorDialogFocus::Y1) << name;
      }
    }
  }
}

TEST(CursorsTest, TheFirstFailingCheckIsReported) {
  const CursorDialogStart start =
      Start(At(12, 5, 0), 50.0, 20.0, At(12, 0, 0), At(12, 10, 0), -30.5, 115.2);
  struct Case {
    const char* name;
    DateTime pickedTime;
    const char* y1;
    const char* y2;
    std::string_view message;
    CursorDialogFocus focus;
  };
  const DateTime good = At(12, 5, 0);
  const DateTime late = At(12, 11, 0);
  const Case cases[] = {
      {"letters in Y1", good, "abc", "20", kNotAWholeNumber, CursorDialogFocus::Y1},
      {"a fraction in Y1", good, "12.5", "20", kNotAWholeNumber, CursorDialogFocus::Y1},
      {"digits and letters in Y1", good, "12a", "20", kNotAWholeNumber, CursorDialogFocus::Y1},
      {"a sign alone in Y1", good, "-", "20", kNotAWholeNumber, CursorDialogFocus::Y1},
      {"empty Y1", good, "", "20", kNotAWholeNumber, CursorDialogFocus::Y1},
      {"good Y1, empty Y2", good, "50", "", kNotAWholeNumber, CursorDialogFocus::Y2},
      {"good Y1, letters in Y2", good, "60", "x", kNotAWholeNumber, CursorDialogFocus::Y2},
      {"a bad time before a bad Y1", late, "abc", "", kTimeOutsideView,
       CursorDialogFocus::Unchanged},
      {"a bad time before a Y1 outside the view", late, "500", "20", kTimeOutsideView,
       CursorDialogFocus::Unchanged},
      {"a bad Y1 before a bad Y2", good, "abc", "x", kNotAWholeNumber, CursorDialogFocus::Y1},
      {"Y1 outside the view before a bad Y2", good, "500", "x", kValueOutsideView,
       CursorDialogFocus::Y1},
      {"Y2 outside the view", good, "60", "-40", kValueOutsideView, CursorDialogFocus::Y2},
  };
  for (const Case& c : cases) {
    const CursorDialogResult result = CheckCursorDialog(start, start.cursorX, c.pickedTime, c.y1,
                                                        c.y2);
    EXPECT_FALSE(result.accepted) << c.name;
    EXPECT_EQ(result.message, c.message) << c.name;
    EXPECT_EQ(result.focus, c.focus) << c.name;
  }
}


// ---- The read-out from the recorded samples ----

namespace recorded {

// A channel of `n` samples on the exact grid from B, values i / 10 with gap samples where `gap(i)`.
ChannelInfo Grid(std::size_t n, bool (*gap)(std::size_t) = nullptr) {
  ChannelInfo c;
  c.number = 1;
  c.unit = "℃";
  for (std::size_t i = 0; i < n; ++i) {
    c.times.push_back(B + static_cast<double>(i) * H);
    c.values.push_back(gap && gap(i) ? GapValue : static_cast<float>(i) / 10.0f);
  }
  return c;
}

}  // namespace recorded

TEST(CursorsTest, UpToTheThinningThresholdTheRecordedReadoutIsTheLinesReadout) {
  // Random channels, some with gaps, some with times going back, read anywhere: the legend reads the
  // same from the samples as it read from the drawn line while every sample is drawn.
  std::uint32_t seed = 12345;
  const auto next = [&seed] { return seed = seed * 1664525u + 1013904223u; };
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    ChannelInfo c;
    c.number = 2;
    const std::size_t n = 1 + next() % 60;
    const bool back = round % 3 == 2;
    // Times on the exact grid, so that equal times are equal doubles.
    long position = 0;
    for (std::size_t i = 0; i < n; ++i) {
      position += i == 0 ? 0 : back ? static_cast<long>(next() % 7) - 2 : 1 + static_cast<long>(next() % 3);
      c.times.push_back(B + static_cast<double>(position) * H);
      c.values.push_back(next() % 9 == 0 ? GapValue : static_cast<float>(next() % 2000) / 10.0f);
    }
    DatasetSummary summary;
    summary.startTime = B;
    summary.endTime = B + 200 * H;
    summary.rangeMin = -5.0f;
    summary.rangeMax = 300.0f;
    summary.sampleCount = static_cast<std::int32_t>(n);
    const ChartFill fill = FillChart({c}, summary);
    ASSERT_TRUE(fill.fromSamples);
    const std::vector<std::size_t> order = SamplesInTimeOrder(c);
    for (int k = -20; k < 2 * static_cast<int>(n) + 20; ++k) {
      const DateTime x = B + (k * 0.5 + 0.25 * (k % 3)) * H;
      EXPECT_EQ(ReadoutText("通道02", "", RecordedValueNear(c, x, fill.readFrom, fill.readTo, order)),
                CursorReadout("通道02", "", fill.lines[0], x, fill.gapHeight))
          << "at step " << k;
    }
  }
}

TEST(CursorsTest, AThinnedLineReadsTheRecordedSampleNotTheDrawnOne) {
  // 2,000,001 samples are drawn every third; the cursor between two drawn points reads the sample
  // recorded there.
  const ChannelInfo c = recorded::Grid(2000001);
  DatasetSummary summary;
  summary.startTime = c.times.front();
  summary.endTime = c.times.back();
  summary.rangeMax = 200000.0f;
  summary.sampleCount = 2000001;
  const ChartFill fill = FillChart({c}, summary);
  ASSERT_GT(fill.thinning, 1);
  const DateTime x = B + 1000001 * H;  // not a drawn point
  EXPECT_EQ(ReadoutText("通道01", "℃", RecordedValueNear(c, x, fill.readFrom, fill.readTo, {})), "通道01 100000.102℃");
  EXPECT_NE(CursorReadout("通道01", "℃", fill.lines[0], x, fill.gapHeight), "通道01 100000.102℃");
}

TEST(CursorsTest, TheRecordedReadoutKeepsToTheWindowAndSaysNothingOnAGap) {
  const ChannelInfo c = recorded::Grid(10, [](std::size_t i) { return i == 4; });
  struct Case {
    const char* what;
    double at;  // in grid steps from B
    double from, to;
    std::optional<float> value;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {"on a sample", 3, -inf, inf, 0.3f},
      {"just after a sample", 3.4, -inf, inf, 0.3f},
      {"a tie goes to the earlier", 2.5, -inf, inf, 0.2f},
      {"nearest is the gap", 4.2, -inf, inf, std::nullopt},
      {"before the first", -2, -inf, inf, std::nullopt},
      {"after the last", 12, -inf, inf, std::nullopt},
      {"outside the window, inside the channel", 8, 2, 6, std::nullopt},
      {"the window's last sample", 6, 2, 6, 0.6f},
      {"before the window's first, to the second", 0.5, 2, 6, std::nullopt},
      {"in the window's first second", 1.6, 2, 6, 0.2f},
      {"an empty window", 5, 5.2, 5.8, std::nullopt},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const auto value = RecordedValueNear(c, B + k.at * H, std::isinf(k.from) ? k.from : B + k.from * H,
                                         std::isinf(k.to) ? k.to : B + k.to * H, {});
    EXPECT_EQ(value, k.value);
  }
}

}  // namespace
}  // namespace vantiro
