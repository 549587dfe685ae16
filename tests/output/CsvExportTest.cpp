#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "output/CsvExport.h"
#include "recorder/DateTime.h"
#include "recorder/GbkText.h"
#include "support/ChannelSamples.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"
#include "workbench/TableRows.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::Channel;
using testing::FileNames;
using testing::FileSizeLimit;
using testing::ReadText;
using testing::SplitLines;
using testing::TempDir;
using testing::WriteText;

const DateTime T = *EncodeDateTime(2010, 5, 12, 10, 11, 12);
const double S = kOneSecond;

// One channel (number 2, ℃) of `rows` samples a second apart, valued 0, 1, 2, ...
std::vector<ChannelInfo> Counting(int rows) {
  std::vector<testing::Sample> samples;
  for (int i = 0; i < rows; ++i) samples.push_back({T + i * S, static_cast<float>(i)});
  return {Channel(2, "℃", samples)};
}

struct Progress : ProgressSink {
  void SetMax(int m) override { max.push_back(m); }
  void StepBy(int steps) override { position += steps; }
  std::vector<int> max;
  int position = 0;
};

TEST(CsvExportTest, TheFileIsGbkWithLineFeedsTitleAndPageRows) {
  const std::vector<ChannelInfo> channels = {
      Channel(1, "℃", {{T, 12.3456f}, {T + S, 7.0f}}),
      Channel(2, "mA", {{T + S, 1.0f}}),
      Channel(3, "%", {{T, -3.5f}, {T + S, GapValue}}),
  };
  const std::vector<std::int32_t> columns = {0, 1, 2};
  const TableRows rows = BuildTableRows(channels, columns);
  TempDir dir;
  const std::string path = dir.File("out.csv");
  Progress progress;
  EXPECT_EQ(ExportCsvFile(path, {channels, rows, columns, 0, 2}, &progress), std::nullopt);
  const std::string expected =
      "序号,时间,通道1(℃),通道2(mA),通道3(%)\n"
      "1,2010年05月12日 10:11:12,12.346,-,-3.500\n"
      "2,2010年05月12日 10:11:13,7.000,1.000,-\n";
  const std::string bytes = ReadText(path);
  EXPECT_EQ(bytes, Utf8ToGbk(expected));
  EXPECT_EQ(GbkToUtf8(bytes), expected);
  EXPECT_EQ(bytes.find('\r'), std::string::npos);
  EXPECT_EQ(progress.max, std::vector<int>{1});
  EXPECT_EQ(progress.position, 1);
}

TEST(CsvExportTest, TheSecondPageIsNumberedFrom501) {
  const std::vector<ChannelInfo> channels = Counting(1234);
  const std::vector<std::int32_t> columns = {0};
  const TableRows rows = BuildTableRows(channels, columns);
  TempDir dir;
  const std::string path = dir.File("page2.csv");
  ASSERT_EQ(ExportCsvFile(path, {channels, rows, columns, 500, 500}), std::nullopt);
  const std::vector<std::string> lines = SplitLines(GbkToUtf8(ReadText(path)));
  ASSERT_EQ(lines.size(), 501u);
  EXPECT_EQ(lines[0], "序号,时间,通道2(℃)");
  EXPECT_EQ(lines[1], "501,2010年05月12日 10:19:32,500.000");
  EXPECT_EQ(lines[500], "1000,2010年05月12日 10:27:51,999.000");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    ASSERT_EQ(lines[i].substr(0, lines[i].find(',')), std::to_string(500 + i));
  }
}

TEST(CsvExportTest, RowsGoOutInChunksOfAbout100WithOneStepEach) {
  struct Case {
    int rows;
    std::vector<std::size_t> chunkRows;  // rows of each write after the title line
  };
  const Case cases[] = {
      {1, {1}},          {2, {2}},           {100, {100}},          {101, {101}},
      {102, {101, 1}},   {200, {101, 99}},   {201, {101, 100}},     {250, {101, 100, 49}},
      {1000, {101, 100, 100, 100, 100, 100, 100, 100, 100, 99}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rows);
    const std::vector<ChannelInfo> channels = Counting(c.rows);
    const std::vector<std::int32_t> columns = {0};
    const TableRows rows = BuildTableRows(channels, columns);
    std::vector<std::string> writes;
    Progress progress;
    const bool written = WriteCsvRows(
        {channels, rows, columns, 0, static_cast<std::size_t>(c.rows)}, CsvEncoding::Utf8,
        [&](std::string_view text) {
          writes.emplace_back(text);
          return true;
        },
        &progress);
    EXPECT_TRUE(written);
    ASSERT_EQ(writes.size(), c.chunkRows.size() + 1);
    EXPECT_EQ(writes[0], "序号,时间,通道2(℃)\n");
    std::string all;
    for (std::size_t i = 0; i < c.chunkRows.size(); ++i) {
      EXPECT_EQ(SplitLines(writes[i + 1]).size(), c.chunkRows[i]) << "chunk " << i;
      all += writes[i + 1];
    }
    EXPECT_EQ(SplitLines(all).size(), static_cast<std::size_t>(c.rows));
    EXPECT_EQ(progress.position, static_cast<int>(c.chunkRows.size()));
    EXPECT_EQ(CsvProgressSteps(static_cast<std::size_t>(c.rows)), c.rows / 100 + 1);
  }
}

TEST(CsvExportTest, EncodingIsChosenPerChunk) {
  const std::vector<ChannelInfo> channels = Counting(3);
  const std::vector<std::int32_t> columns = {0};
  const TableRows rows = BuildTableRows(channels, columns);
  for (const CsvEncoding encoding : {CsvEncoding::Gbk, CsvEncoding::Utf8}) {
    std::string text;
    WriteCsvRows({channels, rows, columns, 0, 3}, encoding, [&](std::string_view chunk) {
      text += chunk;
      return true;
    });
    const std::string utf8 =
        "序号,时间,通道2(℃)\n1,2010年05月12日 10:11:12,0.000\n"
        "2,2010年05月12日 10:11:13,1.000\n3,2010年05月12日 10:11:14,2.000\n";
    EXPECT_EQ(text, encoding == CsvEncoding::Gbk ? Utf8ToGbk(utf8) : utf8);
  }
}

TEST(CsvExportTest, AFailedWriteStopsTheRows) {
  const std::vector<ChannelInfo> channels = Counting(1000);
  const std::vector<std::int32_t> columns = {0};
  const TableRows rows = BuildTableRows(channels, columns);
  for (const int failing : {0, 1, 3}) {
    SCOPED_TRACE(failing);
    int writes = 0;
    Progress progress;
    const bool written = WriteCsvRows(
        {channels, rows, columns, 0, 1000}, CsvEncoding::Gbk,
        [&](std::string_view) { return writes++ != failing; }, &progress);
    EXPECT_FALSE(written);
    EXPECT_EQ(writes, failing + 1);
    EXPECT_EQ(progress.position, failing == 0 ? 0 : failing - 1);
  }
}

TEST(CsvExportTest, RowsPastTheEndOfTheTableAreLeftOut) {
  const std::vector<ChannelInfo> channels = Counting(5);
  const std::vector<std::int32_t> columns = {0};
  const TableRows rows = BuildTableRows(channels, columns);
  struct Case {
    std::size_t first, count, lines;
  };
  for (const Case& c : {Case{3, 10, 2}, Case{5, 1, 0}, Case{9, 1, 0}}) {
    std::string text;
    EXPECT_TRUE(WriteCsvRows({channels, rows, columns, c.first, c.count}, CsvEncoding::Utf8,
                             [&](std::string_view chunk) {
                               text += chunk;
                               return true;
                             }));
    EXPECT_EQ(SplitLines(text).size(), c.lines + 1) << c.first;
  }
}

TEST(CsvExportTest, SavingOverAFileReplacesAllOfIt) {
  const std::vector<ChannelInfo> channels = Counting(2);
  const std::vector<std::int32_t> columns = {0};
  const TableRows rows = BuildTableRows(channels, columns);
  TempDir dir;
  const std::string path = dir.File("out.csv");
  WriteText(path, std::string(100000, 'x'));
  ASSERT_EQ(ExportCsvFile(path, {channels, rows, columns, 0, 2}), std::nullopt);
  EXPECT_EQ(GbkToUtf8(ReadText(path)),
            "序号,时间,通道2(℃)\n1,2010年05月12日 10:11:12,0.000\n2,2010年05月12日 10:11:13,1.000\n");
  EXPECT_EQ(FileNames(dir.Path()), std::set<std::string>{"out.csv"});
}

TEST(CsvExportTest, AFailedSaveReportsOnceAndLeavesThePreviousFile) {
  const std::vector<ChannelInfo> channels = Counting(2000);
  const std::vector<std::int32_t> columns = {0};
  const TableRows rows = BuildTableRows(channels, columns);
  const UserMessage failed{"文件保存失败，请重试！", MessageIcon::Error};
  TempDir dir;
  const std::string path = dir.File("out.csv");

  // A write failing midway (the file may grow to 10,000 bytes; the page needs about 80,000).
  WriteText(path, "previous\n");
  Progress progress;
  {
    FileSizeLimit limit(10000);
    EXPECT_EQ(ExportCsvFile(path, {channels, rows, columns, 0, 2000}, &progress), failed);
  }
  EXPECT_EQ(progress.max, std::vector<int>{21});
  EXPECT_GT(progress.position, 0);
  EXPECT_LT(progress.position, 21);
  EXPECT_EQ(ReadText(path), "previous\n");
  EXPECT_EQ(FileNames(dir.Path()), std::set<std::string>{"out.csv"});

  // No file can be created there.
  EXPECT_EQ(ExportCsvFile(dir.File("missing/out.csv"), {channels, rows, columns, 0, 2000}), failed);
  EXPECT_EQ(FileNames(dir.Path()), std::set<std::string>{"out.csv"});
}

TEST(CsvExportTest, AnEmptyTableWritesNothing) {
  const std::vector<ChannelInfo> channels = Counting(0);
  const std::vector<std::int32_t> columns = {0};
  const TableRows rows = BuildTableRows(channels, columns);
  TempDir dir;
  Progress progress;
  EXPECT_EQ(ExportCsvFile(dir.File("out.csv"), {channels, rows, columns, 0, 0}, &progress),
            std::nullopt);
  EXPECT_TRUE(FileNames(dir.Path()).empty());
  EXPECT_TRUE(progress.max.empty());
}

}  // namespace
}  // namespace vantiro
