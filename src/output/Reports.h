#pragma once
// The two printed reports' rules: the print time and range texts, which columns the list report
// shows and how its pages are laid out, and the value provider of its cells. Sizes in millimetres.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recorder/DateTime.h"

namespace vantiro {

inline constexpr std::string_view kNothingToPrint = "没有需要打印的内容";
inline constexpr std::string_view kPrintError = "打印出错。";

// " 打印时间：2010年08月07日 15时04分09秒               制表人："
std::string PrintTimeText(DateTime now);
// " 打印范围：<from> 到 <to>", the visible time range of the chart.
std::string PrintRegionText(DateTime from, DateTime to);

// The list report: at most 16 channel columns, landscape above 12 table columns.
inline constexpr std::size_t kListReportChannelColumns = 16;
inline constexpr double kListRowHeight = 6.0;         // every band but the title
inline constexpr double kListTitleHeight = 19.0;
inline constexpr double kListMargin = 6.0;

struct ListReportLayout {
  bool landscape = false;
  std::size_t channelColumns = 0;  // shown, 0..16
  // Rows on each page, in page order; one page with no rows for an empty data set.
  std::vector<std::size_t> rowsPerPage;
};

// `tableColumns` counts the number and time columns too; `rows` is the table page's row count.
ListReportLayout LayOutListReport(std::size_t tableColumns, std::size_t rows);

// The list report's cells ask for "number", "dateTime" or "value<n>" (names compared ignoring
// case for the first two); `rowTexts` is the table row: number, time, then the channel columns.
std::optional<std::string> OnGetListValue(std::string_view name, const std::vector<std::string>& rowTexts);

// The chart report's page: A4 landscape, 5 mm margins, the three text lines and the picture box.
inline constexpr double kChartReportMargin = 5.0;

}  // namespace vantiro
