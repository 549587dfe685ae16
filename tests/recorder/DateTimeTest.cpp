#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "recorder/DateTime.h"

namespace vantiro {
namespace {

DateTimeFields Fields(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                      int millisecond = 0) {
  return DateTimeFields{year, month, day, hour, minute, second, millisecond};
}

// Fields shown with milliseconds, so that a failing comparison reads as a date.
std::string Text(const DateTimeFields& fields) {
  return FormatDateTime(fields, DatePattern::Millisecond);
}
std::string Text(DateTime time) { return Text(DecodeDateTime(time)); }

DateTime Encode(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                int millisecond = 0) {
  const std::optional<DateTime> time =
      EncodeDateTime(year, month, day, hour, minute, second, millisecond);
  EXPECT_TRUE(time.has_value()) << year << "-" << month << "-" << day;
  return time.value_or(0.0);
}

TEST(DateTimeTest, DayNumbersOfKnownDates) {
  struct Case {
    DateTimeFields fields;
    DateTime expected;
  };
  const Case cases[] = {
      {Fields(1899, 12, 30), 0.0},
      {Fields(1899, 12, 31), 1.0},
      {Fields(1900, 1, 1), 2.0},
      {Fields(1900, 3, 1), 61.0},  // 1900 has no 29 February
      {Fields(1970, 1, 1), 25569.0},
      {Fields(2000, 1, 1), 36526.0},
      {Fields(2000, 3, 1), 36586.0},  // after 29 February 2000
      {Fields(2000, 1, 1, 12), 36526.5},
      {Fields(2000, 1, 1, 6), 36526.25},
      {Fields(2000, 1, 1, 0, 0, 1), 36526.0 + kOneSecond},
      {Fields(1899, 12, 30, 18), 0.75},
      {Fields(1899, 12, 29), -1.0},
      {Fields(1899, 12, 29, 6), -1.25},  // days before 1899-12-30 carry the time on the magnitude
      {Fields(1, 1, 1), -693593.0},
      {Fields(9999, 12, 31), 2958465.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(Text(c.fields));
    const std::optional<DateTime> time = EncodeDateTime(c.fields);
    ASSERT_TRUE(time.has_value());
    EXPECT_NEAR(*time, c.expected, 1e-9);
    EXPECT_EQ(DecodeDateTime(c.expected), c.fields) << Text(c.expected);
  }
  EXPECT_EQ(RecorderSecondsToDateTime(0), kRecorderEpoch);
  EXPECT_EQ(Text(RecorderSecondsToDateTime(86400 + 3661)), "2000-01-02 01:01:01.000");
}

TEST(DateTimeTest, LeapYears) {
  struct Case {
    int year;
    bool leap;
  };
  const Case cases[] = {{1600, true}, {1700, false}, {1900, false}, {2000, true}, {2004, true},
                        {2010, false}, {2100, false}, {2400, true}, {4, true}, {1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.year);
    EXPECT_EQ(IsLeapYear(c.year), c.leap);
    EXPECT_EQ(DaysInMonth(c.year, 2), c.leap ? 29 : 28);
    EXPECT_EQ(EncodeDateTime(c.year, 2, 29).has_value(), c.leap);
    // The day after 28 February is 29 February or 1 March.
    EXPECT_EQ(Encode(c.year, 3, 1) - Encode(c.year, 2, 28), c.leap ? 2.0 : 1.0);
  }
  EXPECT_EQ(DaysInMonth(2010, 0), 0);
  EXPECT_EQ(DaysInMonth(2010, 13), 0);
}

TEST(DateTimeTest, EveryDayRoundTripsAndFollowsTheDayBefore) {
  // Whole ranges of days around the century and era boundaries, each at several times of day.
  const int firstYears[] = {1, 1599, 1899, 1999, 2099, 9998};
  const int times[][4] = {{0, 0, 0, 0}, {12, 34, 56, 789}, {23, 59, 59, 999}, {0, 0, 0, 1}};
  for (int first : firstYears) {
    std::optional<DateTime> previous;
    for (int year = first; year <= first + 2 && year <= 9999; ++year) {
      for (int month = 1; month <= 12; ++month) {
        for (int day = 1; day <= DaysInMonth(year, month); ++day) {
          const DateTime midnight = Encode(year, month, day);
          if (previous) {
            ASSERT_EQ(midnight - *previous, 1.0)
                << Text(Fields(year, month, day));
          }
          previous = midnight;
          for (const auto& t : times) {
            const DateTimeFields fields = Fields(year, month, day, t[0], t[1], t[2], t[3]);
            const DateTime time = Encode(year, month, day, t[0], t[1], t[2], t[3]);
            ASSERT_EQ(DecodeDateTime(time), fields) << Text(fields) << " read as " << Text(time);
          }
        }
      }
    }
  }
}

TEST(DateTimeTest, RejectsFieldsThatAreNoDate) {
  const DateTimeFields cases[] = {
      Fields(2010, 2, 29),  Fields(1900, 2, 29),         Fields(2100, 2, 29),
      Fields(2000, 2, 30),  Fields(2010, 4, 31),         Fields(2010, 0, 1),
      Fields(2010, 13, 1),  Fields(2010, 1, 0),          Fields(2010, 1, 32),
      Fields(0, 1, 1),      Fields(10000, 1, 1),         Fields(2010, 1, 1, 24),
      Fields(2010, 1, 1, -1), Fields(2010, 1, 1, 0, 60), Fields(2010, 1, 1, 0, 0, 60),
      Fields(2010, 1, 1, 0, 0, 0, 1000), Fields(2010, 1, 1, 0, 0, 0, -1),
  };
  for (const DateTimeFields& fields : cases) {
    EXPECT_FALSE(EncodeDateTime(fields).has_value()) << Text(fields);
  }
}

TEST(DateTimeTest, RoundsToTheMillisecondBeforeSplitting) {
  const double ms = kOneMillisecond;
  struct Case {
    DateTime time;
    const char* expected;
  };
  const Case cases[] = {
      {Encode(2010, 5, 12, 23, 59, 59, 999) + 0.6 * ms, "2010-05-13 00:00:00.000"},
      {Encode(2010, 5, 12, 23, 59, 59, 999) + 0.4 * ms, "2010-05-12 23:59:59.999"},
      {Encode(2010, 12, 31, 23, 59, 59, 999) + 0.6 * ms, "2011-01-01 00:00:00.000"},
      {Encode(2000, 2, 28, 23, 59, 59, 999) + 0.6 * ms, "2000-02-29 00:00:00.000"},
      {Encode(2010, 5, 12, 10, 11, 11, 999) + 0.9 * ms, "2010-05-12 10:11:12.000"},
      {Encode(2010, 5, 12, 10, 11, 12) - 0.3 * ms, "2010-05-12 10:11:12.000"},
      {Encode(2010, 5, 12, 10, 59, 59, 999) + 0.7 * ms, "2010-05-12 11:00:00.000"},
      {Encode(2010, 5, 12, 10, 11, 12, 345) + 0.2 * ms, "2010-05-12 10:11:12.345"},
      {Encode(1899, 12, 30, 23, 59, 59, 999) + 0.6 * ms, "1899-12-31 00:00:00.000"},
      // Before 1899-12-30 the time of day grows the magnitude; rounding it up to midnight still
      // reaches the next calendar day.
      {-(1.0 + (86399999.6 / 86400000.0)), "1899-12-30 00:00:00.000"},
      {-(2.0 + (86399999.6 / 86400000.0)), "1899-12-29 00:00:00.000"},
      {-(1.0 + (43200000.4 / 86400000.0)), "1899-12-29 12:00:00.000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Text(c.time), c.expected) << std::hexfloat << c.time;
  }
  // The table shows the rounded second, never a truncated one.
  EXPECT_EQ(FormatDateTime(Encode(2010, 5, 12, 23, 59, 59, 999) + 0.6 * ms, DatePattern::Table),
            "2010-05-13 00:00:00");
}

TEST(DateTimeTest, TimesOutsideTheCalendarReadAsDayZero) {
  const DateTimeFields zero = Fields(1899, 12, 30);
  const DateTime cases[] = {std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(),
                            1e300,
                            -1e300,
                            2958466.0,     // 10000-01-01
                            -693594.0,     // 0000-12-31
                            Encode(9999, 12, 31, 23, 59, 59, 999) + 0.6 * kOneMillisecond};
  for (DateTime time : cases) {
    EXPECT_EQ(DecodeDateTime(time), zero) << time;
  }
  // The first and last days of the calendar still read, with their times of day.
  EXPECT_EQ(Text(Encode(1, 1, 1, 12)), "0001-01-01 12:00:00.000");
  EXPECT_EQ(Text(Encode(1, 1, 1, 23, 59, 59, 999)), "0001-01-01 23:59:59.999");
  EXPECT_EQ(Text(Encode(9999, 12, 31, 23, 59, 59, 999)), "9999-12-31 23:59:59.999");
}

TEST(DateTimeTest, EveryPatternWritesItsExactText) {
  struct Case {
    DatePattern pattern;
    const char* padded;  // 2009-01-02 03:04:05.006: every field needs its leading zero
    const char* full;    // 2010-08-05 18:20:30.450
  };
  const Case cases[] = {
      {DatePattern::Table, "2009-01-02 03:04:05", "2010-08-05 18:20:30"},
      {DatePattern::ChartAxis, "09-01-02 03:04:05", "10-08-05 18:20:30"},
      {DatePattern::Log, "09-01-02 03:04:05", "10-08-05 18:20:30"},
      {DatePattern::Cursor, "2009-01-02 03:04:05", "2010-08-05 18:20:30"},
      {DatePattern::CsvExport, "2009年01月02日 03:04:05", "2010年08月05日 18:20:30"},
      {DatePattern::Report, "2009年01月02日 03时04分05秒", "2010年08月05日 18时20分30秒"},
      {DatePattern::LogFileName, "20090102030405", "20100805182030"},
      {DatePattern::Millisecond, "2009-01-02 03:04:05.006", "2010-08-05 18:20:30.450"},
  };
  const DateTime padded = Encode(2009, 1, 2, 3, 4, 5, 6);
  const DateTime full = Encode(2010, 8, 5, 18, 20, 30, 450);
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.pattern));
    EXPECT_EQ(FormatDateTime(padded, c.pattern), c.padded);
    EXPECT_EQ(FormatDateTime(full, c.pattern), c.full);
  }
  EXPECT_EQ(FormatDateTime(Encode(2000, 1, 1), DatePattern::ChartAxis), "00-01-01 00:00:00");
  EXPECT_EQ(FormatDateTime(Encode(812, 3, 4), DatePattern::Table), "0812-03-04 00:00:00");
  EXPECT_EQ(FormatDateTime(0.0, DatePattern::Table), "1899-12-30 00:00:00");
}

TEST(DateTimeTest, ParseReadsTheUsualWritings) {
  struct Case {
    const char* text;
    DateTimeFields expected;
  };
  const Case cases[] = {
      {"2010-05-12 14:30:05", Fields(2010, 5, 12, 14, 30, 5)},
      {"2010/5/12 14:30:05.250", Fields(2010, 5, 12, 14, 30, 5, 250)},
      {"2010-05-12T14:30", Fields(2010, 5, 12, 14, 30)},
      {"2010-05-12", Fields(2010, 5, 12)},
      {"2010.05.12 14:30:05", Fields(2010, 5, 12, 14, 30, 5)},
      {"2010-5-2 4:3:2", Fields(2010, 5, 2, 4, 3, 2)},
      {"  2010-05-12 14:30:05  ", Fields(2010, 5, 12, 14, 30, 5)},
      {"\t2010-05-12\t14:30:05\t", Fields(2010, 5, 12, 14, 30, 5)},
      {"2010-05-12   14:30", Fields(2010, 5, 12, 14, 30)},
      {"2010-05-12 ", Fields(2010, 5, 12)},
      {"2010-05-12 14:30:05.5", Fields(2010, 5, 12, 14, 30, 5, 500)},
      {"2010-05-12 14:30:05.05", Fields(2010, 5, 12, 14, 30, 5, 50)},
      {"2010-05-12 14:30:05.007", Fields(2010, 5, 12, 14, 30, 5, 7)},
      {"2010-05-12 23:59:59.999", Fields(2010, 5, 12, 23, 59, 59, 999)},
      {"2010-05-12 14:30:05.1239", Fields(2010, 5, 12, 14, 30, 5, 123)},  // finer digits dropped
      {"2000-02-29 00:00:00", Fields(2000, 2, 29)},
      {"1899-12-30", Fields(1899, 12, 30)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::optional<DateTime> time = ParseDateTime(c.text);
    ASSERT_TRUE(time.has_value());
    EXPECT_EQ(*time, *EncodeDateTime(c.expected));
    EXPECT_EQ(DecodeDateTime(*time), c.expected) << Text(*time);
  }
}

TEST(DateTimeTest, ParseRefusesWhatIsNoDateAndTime) {
  const char* cases[] = {
      "",
      "   ",
      "abc",
      "2010",
      "2010-05",
      "2010-05-",
      "2010-05/12",
      "2010-05-12x",
      "2010-05-12 14",
      "2010-05-12 14:",
      "2010-05-12 14:30:",
      "2010-05-12 14:30:05.",
      "2010-05-12 14:30:05.1234567890",
      "10-05-12 14:30",
      "010-05-12",
      "2010-05-12T",
      "2010-05-12 14:30:05 x",
      "2010-05-12 14:30:05,250",
      "2010-05-12 -1:00",
      "2010-05-1214:30",
      "20100512",
      "12/05/2010",
      "-2010-05-12",
      "2010-13-01",
      "2010-00-01",
      "2010-02-29",
      "2010-04-31",
      "2010-05-00",
      "0000-01-01",
      "2010-05-12 24:00:00",
      "2010-05-12 14:60",
      "2010-05-12 14:30:60",
      "2010-05-12 114:30",
  };
  for (const char* text : cases) {
    EXPECT_FALSE(ParseDateTime(text).has_value()) << '"' << text << '"';
  }
}

TEST(DateTimeTest, ParseReadsBackWhatTheTableWrites) {
  const DateTime times[] = {Encode(2010, 8, 5, 18, 20, 30), Encode(2000, 2, 29, 23, 59, 59),
                            Encode(1999, 12, 31)};
  for (DateTime time : times) {
    const std::string text = FormatDateTime(time, DatePattern::Table);
    const std::optional<DateTime> parsed = ParseDateTime(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_EQ(*parsed, time) << text;
    const std::string withMs = FormatDateTime(time, DatePattern::Millisecond);
    EXPECT_EQ(ParseDateTime(withMs), time) << withMs;
  }
}

}  // namespace
}  // namespace vantiro
