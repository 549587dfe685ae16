#include "recorder/DateTime.h"

#include <algorithm>
#include <ctime>

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace vantiro {
namespace {

// Days from 1970-01-01 of a proleptic Gregorian date (H. Hinnant's civil-calendar algorithm).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const auto doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(y + (month <= 2));
}

constexpr std::int64_t kMsPerDay = 86400000;
// Day number (days since 1899-12-30) of 0001-01-01 and of 9999-12-31.
constexpr double kFirstDay = -693593.0;
constexpr double kLastDay = 2958465.0;

char* Put2(char* p, int v) {
  *p++ = static_cast<char>('0' + v / 10 % 10);
  *p++ = static_cast<char>('0' + v % 10);
  return p;
}
char* Put4(char* p, int v) {
  p = Put2(p, v / 100);
  return Put2(p, v % 100);
}
char* PutText(char* p, const char* s) {
  while (*s) *p++ = *s++;
  return p;
}

}  // namespace

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int DaysInMonth(int year, int month) {
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

std::optional<DateTime> EncodeDateTime(const DateTimeFields& f) {
  if (f.year < 1 || f.year > 9999 || f.month < 1 || f.month > 12 || f.day < 1 ||
      f.day > DaysInMonth(f.year, f.month) || f.hour < 0 || f.hour > 23 || f.minute < 0 ||
      f.minute > 59 || f.second < 0 || f.second > 59 || f.millisecond < 0 || f.millisecond > 999) {
    return std::nullopt;
  }
  const std::int64_t days = DaysFromCivil(f.year, static_cast<unsigned>(f.month),
                                          static_cast<unsigned>(f.day)) +
                            static_cast<std::int64_t>(kUnixEpochDay);
  const std::int64_t ms =
      ((static_cast<std::int64_t>(f.hour) * 60 + f.minute) * 60 + f.second) * 1000 + f.millisecond;
  const double time = static_cast<double>(ms) / static_cast<double>(kMsPerDay);
  // Days before 1899-12-30 keep the time of day as a positive fraction added to the magnitude
  // (how such dates have always been stored); later days simply add it.
  return days >= 0 ? static_cast<double>(days) + time : static_cast<double>(days) - time;
}

std::optional<DateTime> EncodeDateTime(int year, int month, int day, int hour, int minute,
                                       int second, int millisecond) {
  return EncodeDateTime(DateTimeFields{year, month, day, hour, minute, second, millisecond});
}

DateTimeFields DecodeDateTime(DateTime time) {
  DateTimeFields f;
  if (!std::isfinite(time)) return f;
  // Split into the day and the time of day (which days before 1899-12-30 carry on the magnitude),
  // round the time of day to the millisecond; one that rounds up to 24:00 is midnight of the next
  // calendar day.
  const double whole = std::trunc(time);
  if (whole < kFirstDay || whole > kLastDay) return f;
  auto day = static_cast<std::int64_t>(whole);
  auto msOfDay = static_cast<std::int64_t>(
      std::llround(std::fabs(time - whole) * static_cast<double>(kMsPerDay)));
  if (msOfDay >= kMsPerDay) {
    msOfDay -= kMsPerDay;
    ++day;
  }
  if (day > static_cast<std::int64_t>(kLastDay)) return f;
  CivilFromDays(day - static_cast<std::int64_t>(kUnixEpochDay), f.year, f.month, f.day);
  f.millisecond = static_cast<int>(msOfDay % 1000);
  std::int64_t seconds = msOfDay / 1000;
  f.second = static_cast<int>(seconds % 60);
  f.minute = static_cast<int>(seconds / 60 % 60);
  f.hour = static_cast<int>(seconds / 3600);
  return f;
}

std::string FormatDateTime(DateTime time, DatePattern pattern) {
  return FormatDateTime(DecodeDateTime(time), pattern);
}

std::string FormatDateTime(const DateTimeFields& f, DatePattern pattern) {
  char buffer[64];
  char* p = buffer;
  switch (pattern) {
    case DatePattern::Table:
    case DatePattern::Cursor:
    case DatePattern::Millisecond:
      p = Put4(p, f.year);
      *p++ = '-';
      p = Put2(p, f.month);
      *p++ = '-';
      p = Put2(p, f.day);
      break;
    case DatePattern::ChartAxis:
    case DatePattern::Log:
      p = Put2(p, f.year % 100);
      *p++ = '-';
      p = Put2(p, f.month);
      *p++ = '-';
      p = Put2(p, f.day);
      break;
    case DatePattern::CsvExport:
    case DatePattern::Report:
      p = Put4(p, f.year);
      p = PutText(p, "年");
      p = Put2(p, f.month);
      p = PutText(p, "月");
      p = Put2(p, f.day);
      p = PutText(p, "日");
      break;
    case DatePattern::LogFileName:
      p = Put4(p, f.year);
      p = Put2(p, f.month);
      p = Put2(p, f.day);
      p = Put2(p, f.hour);
      p = Put2(p, f.minute);
      p = Put2(p, f.second);
      return std::string(buffer, p);
  }
  *p++ = ' ';
  if (pattern == DatePattern::Report) {
    p = Put2(p, f.hour);
    p = PutText(p, "时");
    p = Put2(p, f.minute);
    p = PutText(p, "分");
    p = Put2(p, f.second);
    p = PutText(p, "秒");
  } else {
    p = Put2(p, f.hour);
    *p++ = ':';
    p = Put2(p, f.minute);
    *p++ = ':';
    p = Put2(p, f.second);
    if (pattern == DatePattern::Millisecond) {
      *p++ = '.';
      *p++ = static_cast<char>('0' + f.millisecond / 100);
      p = Put2(p, f.millisecond % 100);
    }
  }
  return std::string(buffer, p);
}

namespace {

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return AtEnd() ? '\0' : text_[pos_]; }
  void SkipBlanks() {
    while (!AtEnd() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  bool Take(char c) {
    if (Peek() != c) return false;
    ++pos_;
    return true;
  }
  // 1..maxDigits decimal digits.
  bool Number(int maxDigits, int& value, int* digits = nullptr) {
    std::size_t start = pos_;
    value = 0;
    while (!AtEnd() && pos_ - start < static_cast<std::size_t>(maxDigits) &&
           std::isdigit(static_cast<unsigned char>(text_[pos_]))) {
      value = value * 10 + (text_[pos_] - '0');
      ++pos_;
    }
    if (digits) *digits = static_cast<int>(pos_ - start);
    return pos_ > start;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<DateTime> ParseDateTime(std::string_view text) {
  Scanner in(text);
  in.SkipBlanks();
  DateTimeFields f;
  f.hour = f.minute = f.second = f.millisecond = 0;
  int yearDigits = 0;
  if (!in.Number(4, f.year, &yearDigits) || yearDigits != 4) return std::nullopt;
  const char sep = in.Peek();
  if (sep != '-' && sep != '/' && sep != '.') return std::nullopt;
  in.Take(sep);
  if (!in.Number(2, f.month) || !in.Take(sep) || !in.Number(2, f.day)) return std::nullopt;
  const bool t = in.Take('T');
  if (t || in.Take(' ') || in.Peek() == '\t') {
    in.SkipBlanks();
    if (!in.AtEnd() || t) {
      if (!in.Number(2, f.hour) || !in.Take(':') || !in.Number(2, f.minute)) return std::nullopt;
      if (in.Take(':')) {
        if (!in.Number(2, f.second)) return std::nullopt;
        if (in.Take('.')) {
          int digits = 0;
          int fraction = 0;
          if (!in.Number(3, fraction, &digits)) return std::nullopt;
          while (digits++ < 3) fraction *= 10;
          f.millisecond = fraction;
          int finer = 0;
          in.Number(6, finer);  // digits past the millisecond are dropped
        }
      }
    }
  }
  in.SkipBlanks();
  if (!in.AtEnd()) return std::nullopt;
  return EncodeDateTime(f);
}

DateTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  return EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                        local.tm_min, std::min(local.tm_sec, 59))
      .value_or(0.0);
}

}  // namespace vantiro
