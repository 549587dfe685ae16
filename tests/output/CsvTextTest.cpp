#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "output/CsvText.h"
#include "recorder/DateTime.h"
#include "support/ChannelSamples.h"
#include "workbench/TableRows.h"

namespace vantiro {
namespace {

using testing::Channel;

const DateTime T = *EncodeDateTime(2010, 5, 12, 10, 11, 12);
const double S = kOneSecond;

TEST(CsvTextTest, TitleLineNamesEachShownChannelWithItsUnit) {
  const std::vector<ChannelInfo> channels = {Channel(1, "℃", {}), Channel(2, "mA", {}),
                                             Channel(3, "%", {}), Channel(-4, "", {}),
                                             Channel(16, "％RH", {})};
  struct Case {
    std::vector<std::int32_t> columns;
    const char* expected;
  };
  const Case cases[] = {
      {{0, 2}, "序号,时间,通道1(℃),通道3(%)\n"},
      {{}, "序号,时间\n"},
      {{0, 1, 2}, "序号,时间,通道1(℃),通道2(mA),通道3(%)\n"},
      {{3, 4}, "序号,时间,通道-4(),通道16(％RH)\n"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CsvTitleLine(channels, c.columns), c.expected);
  }
}

TEST(CsvTextTest, RowLinesShowTimeValuesAndDashes) {
  const std::vector<ChannelInfo> channels = {
      Channel(1, "℃", {{T, 12.3456f}, {T + S, -3.0f}}),
      Channel(2, "mA", {{T, 12.5f}, {T + 2 * S, 7.0f}}),
      Channel(3, "%", {{T, -0.25f}, {T + S, GapValue}, {T + 2 * S, 100.0f}}),
  };
  const std::vector<std::int32_t> columns = {0, 1, 2};
  const TableRows rows = BuildTableRows(channels, columns);
  ASSERT_EQ(rows.size(), 3u);
  std::string out;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    AppendCsvRow(out, r + 1, rows, r, channels, columns);
  }
  EXPECT_EQ(out,
            "1,2010年05月12日 10:11:12,12.346,12.500,-0.250\n"
            "2,2010年05月12日 10:11:13,-3.000,-,-\n"
            "3,2010年05月12日 10:11:14,-,7.000,100.000\n");

  // Only the shown columns appear; a row keeps its number as given.
  const std::vector<std::int32_t> some = {0, 2};
  const TableRows shown = BuildTableRows(channels, some);
  std::string line = "kept\n";
  AppendCsvRow(line, 501, shown, 1, channels, some);
  EXPECT_EQ(line, "kept\n501,2010年05月12日 10:11:13,-3.000,-\n");
}

TEST(CsvTextTest, RowNumbersAreWrittenInFull) {
  const std::vector<ChannelInfo> channels = {Channel(1, "V", {{T, 1.0f}})};
  const std::vector<std::int32_t> columns = {0};
  const TableRows rows = BuildTableRows(channels, columns);
  struct Case {
    std::size_t number;
    const char* expected;
  };
  const Case cases[] = {{1, "1,"}, {10, "10,"}, {501, "501,"}, {1234567, "1234567,"},
                        {4294967296u, "4294967296,"}};
  for (const Case& c : cases) {
    std::string out;
    AppendCsvRow(out, c.number, rows, 0, channels, columns);
    EXPECT_EQ(out.substr(0, std::strlen(c.expected)), c.expected);
    EXPECT_EQ(out.substr(std::strlen(c.expected)), "2010年05月12日 10:11:12,1.000\n");
  }
}

TEST(CsvTextTest, TwoSamplesOfAChannelAtOneTimeDoNotShiftLaterColumns) {
  const std::vector<ChannelInfo> channels = {Channel(1, "V", {{T, 1.0f}, {T, 2.0f}}),
                                             Channel(2, "V", {{T, 3.0f}}),
                                             Channel(3, "V", {{T, 4.0f}})};
  const std::vector<std::int32_t> columns = {0, 1, 2};
  const TableRows rows = BuildTableRows(channels, columns);
  ASSERT_EQ(rows.size(), 1u);
  std::string out;
  AppendCsvRow(out, 1, rows, 0, channels, columns);
  EXPECT_EQ(out, "1,2010年05月12日 10:11:12,1.000,3.000,4.000\n");
}

TEST(CsvTextTest, RowTimeIsTheRoundedSecond) {
  const DateTime almost = *EncodeDateTime(2010, 12, 31, 23, 59, 59, 999) + 0.6 * kOneMillisecond;
  const std::vector<ChannelInfo> channels = {Channel(1, "V", {{almost, 0.0f}})};
  const TableRows rows = BuildTableRows(channels, {0});
  std::string out;
  AppendCsvRow(out, 1, rows, 0, channels, {0});
  EXPECT_EQ(out, "1,2011年01月01日 00:00:00,0.000\n");
}

}  // namespace
}  // namespace vantiro
