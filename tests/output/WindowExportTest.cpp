// The CSV of a window of the chart: the same bytes as the filter's export of that window and those
// channels, over channels of different rates with gaps; nothing in the window and a target that is
// not a regular file are reported.
#include "output/WindowExport.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "output/CsvExport.h"
#include "support/TempDir.h"
#include "workbench/ViewModel.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
constexpr DateTime T0 = 45000.0;

std::string ReadBytes(const fs::path& path) { return testing::ReadText(path.string()); }

std::vector<ChannelInfo> Channels() {
  std::mt19937 random(7);
  std::vector<ChannelInfo> channels;
  for (int n = 1; n <= 4; ++n) {
    ChannelInfo c;
    c.number = static_cast<std::int16_t>(n);
    c.unit = n % 2 ? "℃" : "MPa";
    for (int i = 0; i < 400; ++i) {
      c.times.push_back(T0 + (i * n) * kOneSecond);
      c.values.push_back(random() % 13 == 0 ? GapValue : static_cast<float>(random() % 1000) / 10.0f);
    }
    channels.push_back(std::move(c));
  }
  return channels;
}

TEST(WindowExportTest, EqualsTheFiltersExportOfTheSameWindow) {
  testing::TempDir dir;
  const std::vector<ChannelInfo> channels = Channels();
  DatasetSummary summary;
  summary.startTime = T0;
  summary.endTime = T0 + 1600 * kOneSecond;
  struct Case {
    int from, to;
    std::array<bool, 16> selected;
  };
  const std::array<bool, 16> all = {true, true, true, true};
  const std::array<bool, 16> twoAndFour = {false, true, false, true};
  for (const Case& c : {Case{0, 1600, all}, Case{100, 260, all}, Case{37, 38, twoAndFour}, Case{390, 1200, twoAndFour}}) {
    SCOPED_TRACE(c.from);
    FilterSettings settings;
    settings.channelSelected = c.selected;
    settings.filterStart = T0 + c.from * kOneSecond;
    settings.filterEnd = T0 + c.to * kOneSecond;
    settings.rowsPerPage = 1000000;  // the filter's whole table on its one page
    const LoadView filtered = BuildFilteredViewModel(channels, summary, settings);
    const fs::path expected = dir.Path() / "filter.csv";
    const CsvRows page{channels, filtered.table.rows, filtered.table.columnChannels, 0, filtered.table.rows.size()};
    ASSERT_FALSE(ExportCsvFile(expected.string(), page));
    const fs::path window = dir.Path() / "window.csv";
    ASSERT_FALSE(ExportWindowCsv(window.string(), channels, c.selected, settings.filterStart, settings.filterEnd));
    EXPECT_EQ(ReadBytes(window), ReadBytes(expected));
  }
}

TEST(WindowExportTest, NothingInTheWindowAndASpecialTargetAreReported) {
  testing::TempDir dir;
  const std::vector<ChannelInfo> channels = Channels();
  std::array<bool, 16> all{};
  all.fill(true);
  const fs::path none = dir.Path() / "none.csv";
  const std::optional<UserMessage> empty = ExportWindowCsv(none.string(), channels, all, T0 - 10, T0 - 9);
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->text, "没有需要保存的内容");
  EXPECT_FALSE(fs::exists(none));
  const fs::path fifo = dir.Path() / "fifo.csv";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(ExportWindowCsv(fifo.string(), channels, all, T0, T0 + 100 * kOneSecond));
  EXPECT_TRUE(fs::is_fifo(fifo));
}

}  // namespace
}  // namespace vantiro
