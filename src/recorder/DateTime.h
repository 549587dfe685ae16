#pragma once
// Time as the recorder and every view keep it: days since 1899-12-30 00:00:00 local wall-clock time,
// the fraction being the time of day. This module is the only place that does calendar arithmetic.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vantiro {

using DateTime = double;

inline constexpr double kSecondsPerDay = 86400.0;
inline constexpr double kOneSecond = 1.0 / kSecondsPerDay;            // 1.1574074074074073e-05
inline constexpr double kOneMillisecond = 1.0 / 86400000.0;            // 1.1574074074074074e-08
inline constexpr DateTime kRecorderEpoch = 36526.0;                    // 2000-01-01 00:00:00
inline constexpr DateTime kUnixEpochDay = 25569.0;                     // 1970-01-01 00:00:00

// The calendar fields of a time, as a clock reads them.
struct DateTimeFields {
  int year = 1899;
  int month = 12;
  int day = 30;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
  friend bool operator==(const DateTimeFields&, const DateTimeFields&) = default;
};

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);  // 0 for a month outside 1..12

// Builds the time of valid calendar fields (year 1..9999, a day that exists in its month, hour 0..23,
// minute and second 0..59, millisecond 0..999); nothing for anything else.
std::optional<DateTime> EncodeDateTime(const DateTimeFields& fields);
std::optional<DateTime> EncodeDateTime(int year, int month, int day, int hour = 0, int minute = 0,
                                       int second = 0, int millisecond = 0);

// Splits a time into fields. The time is rounded to the nearest millisecond first, so a time a hair
// below a full second reads as that second. Times outside years 1..9999 (and NaN) read as 1899-12-30.
DateTimeFields DecodeDateTime(DateTime time);

// A recorder time stamp: seconds since 2000-01-01 00:00:00.
inline DateTime RecorderSecondsToDateTime(std::int64_t seconds) {
  return kRecorderEpoch + static_cast<double>(seconds) / kSecondsPerDay;
}

// The fixed display patterns of the program.
enum class DatePattern {
  Table,         // yyyy'-'MM'-'dd HH:mm:ss        2010-08-05 18:20:30
  ChartAxis,     // yy-MM-dd HH:mm:ss              10-08-05 18:20:30
  Log,           // yy-MM-dd HH:mm:ss (diagnostic log of a load)
  Cursor,        // yyyy-MM-dd HH:mm:ss            2010-08-05 18:20:30
  CsvExport,     // yyyy'年'MM'月'dd'日' HH:mm:ss
  Report,        // yyyy'年'MM'月'dd'日' HH'时'mm'分'ss'秒'
  LogFileName,   // yyyyMMddHHmmss                 20100512143005
  Millisecond,   // yyyy-mm-dd HH:MM:SS.fff         the converter's listing
};

std::string FormatDateTime(DateTime time, DatePattern pattern);
// The local clock now, to the second.
DateTime LocalNow();
std::string FormatDateTime(const DateTimeFields& fields, DatePattern pattern);

// Reads a date and time written by a person or a spreadsheet: "2010-05-12 14:30:05",
// "2010/5/12 14:30:05.250", "2010-05-12T14:30", "2010-05-12" (midnight). Surrounding blanks are
// allowed; the fields must form a valid date and time. Nothing for anything else.
std::optional<DateTime> ParseDateTime(std::string_view text);

}  // namespace vantiro
