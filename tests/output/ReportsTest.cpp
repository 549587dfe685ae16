#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "output/Reports.h"

namespace vantiro {
namespace {

TEST(ReportsTest, PrintTimeAndRangeTexts) {
  const DateTime t = *EncodeDateTime(2010, 8, 7, 15, 4, 9);
  EXPECT_EQ(PrintTimeText(t), " 打印时间：2010年08月07日 15时04分09秒" + std::string(15, ' ') + "制表人：");
  const DateTime u = *EncodeDateTime(2010, 8, 8, 1, 2, 3);
  EXPECT_EQ(PrintRegionText(t, u), " 打印范围：2010年08月07日 15时04分09秒 到 2010年08月08日 01时02分03秒");
}

TEST(ReportsTest, ListReportOrientationColumnsAndPages) {
  struct Case {
    std::size_t tableColumns;
    std::size_t rows;
    bool landscape;
    std::size_t channelColumns;
    std::vector<std::size_t> pages;
  };
  // Portrait pages hold 42 rows below the title and 45 on later pages; landscape ones 27 and 31.
  const Case cases[] = {
      {10, 5, false, 8, {5}},            // 8 channels
      {12, 42, false, 10, {42}},         // 10 channels still portrait
      {12, 43, false, 10, {42, 1}},
      {12, 500, false, 10, {42, 45, 45, 45, 45, 45, 45, 45, 45, 45, 45, 8}},
      {13, 27, true, 11, {27}},          // 11 channels: landscape
      {13, 59, true, 11, {27, 31, 1}},
      {22, 3, true, 16, {3}},            // more than 16 channels: the first 16 are printed
      {2, 1, false, 0, {1}},             // no channel column
      {18, 0, true, 16, {0}},            // an empty page still prints its header
  };
  for (const Case& c : cases) {
    const ListReportLayout layout = LayOutListReport(c.tableColumns, c.rows);
    EXPECT_EQ(layout.landscape, c.landscape) << c.tableColumns << " columns";
    EXPECT_EQ(layout.channelColumns, c.channelColumns) << c.tableColumns << " columns";
    EXPECT_EQ(layout.rowsPerPage, c.pages) << c.tableColumns << " columns, " << c.rows << " rows";
  }
}

TEST(ReportsTest, TheValueProviderAnswersByName) {
  const std::vector<std::string> row = {"1001", "2010-05-12 10:00:00", "1.500", "-", "3.250"};
  struct Case {
    const char* name;
    std::optional<std::string> value;
  };
  const Case cases[] = {
      {"number", "1001"},    {"NUMBER", "1001"},   {"dateTime", "2010-05-12 10:00:00"},
      {"DATETIME", "2010-05-12 10:00:00"},         {"value1", "1.500"},
      {"value2", "-"},       {"value3", "3.250"},  {"value4", std::nullopt},
      {"value0", std::nullopt},                    {"value-1", std::nullopt},
      {"valueX", "1.500"},   // no number after the prefix: the first channel column
      {"Value2", "1.500"},   // the prefix is lower case only
      {"other", "1.500"},
  };
  for (const Case& c : cases) EXPECT_EQ(OnGetListValue(c.name, row), c.value) << c.name;
  // A row without channel columns answers only number and time.
  EXPECT_EQ(OnGetListValue("value1", {"1", "t"}), std::nullopt);
}

}  // namespace
}  // namespace vantiro
