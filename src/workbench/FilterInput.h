#pragma once
// What the data filter dialog accepts: a start earlier than the end by at least a millisecond and
// a page size that is a decimal integer in 100..10000. The time is checked first.

#include <cctype>
#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

#include "recorder/Dataset.h"
#include "recorder/DateTime.h"

namespace vantiro {

inline constexpr std::uint32_t kMinRowsPerPage = 100;
inline constexpr std::uint32_t kMaxRowsPerPage = 10000;
inline constexpr const char* kFilterTimeMessage = "开始-结束时间输入不正确。";
inline constexpr const char* kRowsPerPageMessage = "请输入100-10000的整数。";

// The page size a text gives: a decimal integer (an optional sign, blanks around it allowed) in
// 100..10000; nothing for anything else.
inline std::optional<std::uint32_t> ParseRowsPerPage(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
  if (!text.empty() && text.front() == '+') text.remove_prefix(1);
  if (text.empty() || text.front() == '+') return std::nullopt;
  std::int64_t number = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number, 10);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  if (number < kMinRowsPerPage || number > kMaxRowsPerPage) return std::nullopt;
  return static_cast<std::uint32_t>(number);
}

// The date chosen in the date picker at the time of day chosen in the time picker. Both pickers
// were last set to `base`; the date picker keeps base's time of day and the time picker base's
// date, so the sum of the two less `base` is the chosen date at the chosen time of day.
inline DateTime CombinePickers(DateTime datePicker, DateTime timePicker, DateTime base) {
  return datePicker + timePicker - base;
}

enum class FilterInputFault { None, Time, RowsPerPage };

// Which check the dialog's input fails first.
inline FilterInputFault CheckFilterInput(DateTime start, DateTime end, std::string_view rowsText) {
  if (CompareTimes(start, end) != -1) return FilterInputFault::Time;
  if (!ParseRowsPerPage(rowsText)) return FilterInputFault::RowsPerPage;
  return FilterInputFault::None;
}

}  // namespace vantiro
