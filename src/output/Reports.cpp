#include "output/Reports.h"

#include <algorithm>
#include <cctype>

namespace vantiro {
namespace {

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Rows that fit below `used` millimetres of bands on a page of `height` millimetres inside the
// margins, the footer included.
std::size_t RowsThatFit(double height, double used) {
  return static_cast<std::size_t>((height - used - kListRowHeight) / kListRowHeight);
}

}  // namespace

std::string PrintTimeText(DateTime now) {
  return " 打印时间：" + FormatDateTime(now, DatePattern::Report) + std::string(15, ' ') + "制表人：";
}

std::string PrintRegionText(DateTime from, DateTime to) {
  return " 打印范围：" + FormatDateTime(from, DatePattern::Report) + " 到 " +
         FormatDateTime(to, DatePattern::Report);
}

ListReportLayout LayOutListReport(std::size_t tableColumns, std::size_t rows) {
  ListReportLayout layout;
  layout.landscape = tableColumns > 12;
  layout.channelColumns = std::min(kListReportChannelColumns, tableColumns > 2 ? tableColumns - 2 : 0);
  const double height = (layout.landscape ? 210.0 : 297.0) - 2 * kListMargin;
  const std::size_t first = RowsThatFit(height, kListTitleHeight + kListRowHeight);
  const std::size_t later = RowsThatFit(height, kListRowHeight);
  std::size_t left = rows;
  layout.rowsPerPage.push_back(std::min(left, first));
  left -= layout.rowsPerPage.back();
  while (left > 0) {
    layout.rowsPerPage.push_back(std::min(left, later));
    left -= layout.rowsPerPage.back();
  }
  return layout;
}

std::optional<std::string> OnGetListValue(std::string_view name, const std::vector<std::string>& rowTexts) {
  auto text = [&rowTexts](std::size_t column) -> std::optional<std::string> {
    if (column < rowTexts.size()) return rowTexts[column];
    return std::nullopt;
  };
  if (EqualsIgnoringCase(name, "number")) return text(0);
  if (EqualsIgnoringCase(name, "dateTime")) return text(1);
  // "value%d": the prefix, then a decimal number; anything else reads as channel column 1.
  long n = 1;
  constexpr std::string_view kPrefix = "value";
  if (name.starts_with(kPrefix)) {
    std::string_view digits = name.substr(kPrefix.size());
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
      negative = digits.front() == '-';
      digits.remove_prefix(1);
    }
    std::size_t used = 0;
    long value = 0;
    while (used < digits.size() && std::isdigit(static_cast<unsigned char>(digits[used])) && value < 100000) {
      value = value * 10 + (digits[used] - '0');
      ++used;
    }
    if (used > 0) n = negative ? -value : value;
  }
  const std::size_t channelColumns = rowTexts.size() > 2 ? rowTexts.size() - 2 : 0;
  if (n > 0 && static_cast<std::size_t>(n) <= channelColumns) return text(static_cast<std::size_t>(n) + 1);
  return std::nullopt;
}

}  // namespace vantiro
