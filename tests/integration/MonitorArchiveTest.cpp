// vantiro-monitor keeping its readings in the archive: each reading once, a failed poll a hole,
// the recorder named or after the link, turned off by --no-archive or config.ini, and an archive
// that cannot be written said and not taken for success.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "archive/Archive.h"
#include "integration/MonitorRun.h"
#include "integration/SimulatedLine.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

using testing::ChannelSection;
using testing::Monitor;
using testing::SimulatedLine;
using testing::TempDir;
using testing::ReadText;
using testing::WriteText;

struct ArchivedPeriod {
  std::vector<SourceInfo> sources;
  std::vector<ChannelInfo> channels;
};

ArchivedPeriod ReadArchived(const std::string& location, const std::string& recorder) {
  ArchivedPeriod period;
  std::string error;
  std::unique_ptr<Archive> archive = Archive::Open(location, false, error);
  EXPECT_TRUE(archive) << error;
  if (!archive) return period;
  const auto found = archive->FindRecorder(recorder, error);
  EXPECT_TRUE(found) << error;
  if (!found) return period;
  period.sources = archive->Sources(found->id, error).value_or(std::vector<SourceInfo>{});
  DatasetSummary summary;
  EXPECT_TRUE(archive->ReadPeriod(found->id, INT64_MIN / 4, INT64_MAX / 4, {}, true, summary, period.channels, error))
      << error;
  const auto problems = archive->Check(error);
  EXPECT_TRUE(problems && problems->empty()) << (problems && !problems->empty() ? (*problems)[0] : error);
  return period;
}

// The values a poll line printed for channel `channel`, in order.
std::vector<std::string> PrintedValues(const std::string& out, int channel) {
  std::vector<std::string> values;
  std::istringstream lines(out);
  const std::string key = " " + std::to_string(channel) + "=";
  for (std::string line; std::getline(lines, line);) {
    const std::size_t at = line.find(key);
    if (line.rfind("channel", 0) == 0 || at == std::string::npos) continue;
    const std::size_t end = line.find_first_of(" !", at + key.size());
    values.push_back(line.substr(at + key.size(), end - at - key.size()));
  }
  return values;
}

TEST(MonitorArchiveTest, EachReadingIsKeptOnceAndAFailedPollIsAHole) {
  // Replies 1..5 are the probe; of the five polls the first and the fourth get a wrong CRC.
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) { o.badCrcEvery = 3; }));
  ASSERT_TRUE(line.Started());
  const std::string ini = line.WriteConfig(1, ChannelSection({1, 3}));
  TempDir dir;
  const std::string archive = dir.File("live.sqlite");
  // Polls three seconds apart: the readings carry the recorder's whole seconds, so a poll a few
  // milliseconds late across a second's boundary makes a step of two seconds at one a second, as
  // long as the time the failed poll leaves uncovered, and then no break is seen.
  const auto result = Monitor({"--config", ini, "--count", "5", "--interval", "3000", "--archive", archive,
                               "--recorder", "一号炉"});
  ASSERT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  const ArchivedPeriod p = ReadArchived(archive, "一号炉");
  ASSERT_EQ(p.sources.size(), 2u);  // two runs of readings, the failed poll between them
  EXPECT_EQ(p.sources[0].kind, "live");
  EXPECT_EQ(p.sources[0].path, "COM1 地址1");
  ASSERT_EQ(p.channels.size(), 2u);
  EXPECT_EQ(p.channels[0].number, 1);
  EXPECT_EQ(p.channels[0].unit, "℃");
  // Every printed reading is there once, with one break where the poll failed.
  const std::vector<std::string> printed = PrintedValues(result.out, 3);
  ASSERT_EQ(printed.size(), 3u);
  std::vector<std::string> kept;
  int gaps = 0;
  for (const float v : p.channels[1].values) {
    if (IsGapValue(v)) {
      ++gaps;
      continue;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%0.3f", double(v));
    kept.push_back(text);
  }
  EXPECT_EQ(kept, printed);
  EXPECT_EQ(gaps, 1);
}

TEST(MonitorArchiveTest, TheRecorderIsNamedAfterTheLinkAndRecordingCanBeTurnedOff) {
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) { o.address = 7; }));
  ASSERT_TRUE(line.Started());
  TempDir dir;
  const std::string archive = dir.File("live.sqlite");
  // The user's archive, as the window keeps it, is where config.ini's choice goes.
  {
  const testing::ScopedEnvironment userArchive("VANTIRO_ARCHIVE", archive);
  std::string ini = line.WriteConfig(7, ChannelSection({2}));
  ASSERT_EQ(Monitor({"--config", ini, "--count", "1"}).status, 0);
  EXPECT_EQ(ReadArchived(archive, "COM1 地址7").channels.size(), 1u);

  std::filesystem::remove(archive);
  ASSERT_EQ(Monitor({"--config", ini, "--count", "1", "--no-archive"}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(archive));
  WriteText(ini, ReadText(ini) + "[ARCHIVE]\nrecord=0\n");
  ASSERT_EQ(Monitor({"--config", ini, "--count", "1"}).status, 0);
  EXPECT_FALSE(std::filesystem::exists(archive));
  // --archive asks for it whatever config.ini says.
  ASSERT_EQ(Monitor({"--config", ini, "--count", "1", "--archive", archive}).status, 0);
  EXPECT_EQ(ReadArchived(archive, "COM1 地址7").channels.size(), 1u);
  }

  for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
           {"--no-archive", "--archive", archive}, {"--recorder", "x", "--no-archive"}, {"--archive"},
           {"--archive", ""}, {"--download", "p.bmp", "--archive", archive}}) {
    EXPECT_EQ(Monitor(wrong).status, 2) << wrong[0];
  }
}

TEST(MonitorArchiveTest, AnArchiveThatCannotBeWrittenIsSaidAndFailsTheRun) {
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions&) {}));
  ASSERT_TRUE(line.Started());
  TempDir dir;
  const std::string ini = line.WriteConfig(1, ChannelSection({1}));
  // A folder where the archive should be.
  const auto result = Monitor({"--config", ini, "--count", "2", "--interval", "10", "--archive", dir.File("")});
  EXPECT_EQ(result.status, 1);
  EXPECT_NE(result.err.find("档案记录失败: "), std::string::npos) << result.err;
  EXPECT_EQ(PrintedValues(result.out, 1).size(), 2u);  // the monitoring itself went on
}

}  // namespace
}  // namespace vantiro
