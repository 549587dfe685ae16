// vantiro-convert stats as a process: the table for a file and for the same recording in the
// archive, the span and channels asked for, and what is refused.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "chart/ChannelLimitsStore.h"
#include "support/ChildProgram.h"
#include "support/ScopedEnvironment.h"
#include "support/RecorderFileBuilder.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

using namespace vantiro::testing;

std::string Bin(const char* name) { return std::string(VANTIRO_BIN_DIR) + "/" + name; }

// Two channels from 2010-05-12 00:00:00, one sample a second: channel 1 (℃, one decimal) counts
// 10.0, 10.1, ...; channel 2 (two decimals) holds 1.00.
std::string WriteRecording(const std::string& path) {
  RecorderFileBuilder file;
  const std::int32_t start = RecorderSeconds(2010, 5, 12, 0, 0, 0);
  file.Window(FieldTime{10, 5, 12, 0, 0, 0}, FieldTime{10, 5, 12, 0, 1, 39}).Channels(0, 1);
  file.Range(0, 10000, 0, 3, 19);
  file.Range(1, 10000, 0, 2, 0);
  std::vector<std::int16_t> counting, holding;
  for (int i = 0; i < 100; ++i) {
    counting.push_back(static_cast<std::int16_t>(100 + i));
    holding.push_back(100);
  }
  file.Block(0).Chain({{start, 1, counting}});
  file.Block(1).Chain({{start, 1, holding}});
  file.WriteTo(path);
  return path;
}

struct Outcome {
  ChildExit exit;
  std::string out;
  std::string err;
};

class StatsProgramTest : public ::testing::Test {
 protected:
  Outcome Run(const char* program, const std::vector<std::string>& args) {
    ChildOptions options;
    options.stdoutPath = dir_.File("out.txt");
    options.stderrPath = dir_.File("err.txt");
    const ChildExit exit = RunChild(Bin(program), args, options);
    return {exit, ReadText(dir_.File("out.txt")), ReadText(dir_.File("err.txt"))};
  }
  TempDir dir_;
};

TEST_F(StatsProgramTest, TheTableOfAFileAndOfTheSameRecordingInTheArchive) {
  const std::string file = WriteRecording(dir_.File("rec.bin"));
  const Outcome o = Run("vantiro-convert", {"stats", file, "--from", "2010-05-12 00:00:10", "--to",
                                            "2010-05-12 00:00:30.500", "--channels", "1"});
  ASSERT_EQ(o.exit.code, 0) << o.err;
  const std::vector<std::string> lines = SplitLines(o.out);
  ASSERT_EQ(lines.size(), 2u) << o.out;
  EXPECT_EQ(lines[0], "通道\t单位\t起点值\t终点值\t差值\t最小值\t最小值时间\t最大值\t最大值时间\t平均值\t超上限时间\t超下限时间");
  // 11.0 at 10 s, 13.0 from 30 s; the mean of 11.0 .. 12.9 held a second each and 13.0 for half a
  // second.
  const double mean = (20 * (11.0 + 12.9) / 2 + 13.0 * 0.5) / 20.5;
  char expected[256];
  std::snprintf(expected, sizeof expected,
                "通道01\t℃\t11.0\t13.0\t2.0\t11.0\t2010-05-12 00:00:10.000\t13.0\t2010-05-12 00:00:30.000\t%.1f\t\t", mean);
  EXPECT_EQ(lines[1], expected);

  // The same recording in the archive gives the same table.
  const std::string archive = dir_.File("a.sqlite");
  ASSERT_EQ(Run("vantiro-archive", {"import", "--archive", archive, "--recorder", "r", file}).exit.code, 0);
  const Outcome fromArchive = Run("vantiro-convert", {"stats", "--archive", archive, "--recorder", "r", "--from",
                                                      "2010-05-12 00:00:10", "--to", "2010-05-12 00:00:30.500",
                                                      "--channels", "1"});
  ASSERT_EQ(fromArchive.exit.code, 0) << fromArchive.err;
  EXPECT_EQ(fromArchive.out, o.out);

  // The whole recording, both channels.
  const Outcome whole = Run("vantiro-convert", {"stats", file});
  ASSERT_EQ(whole.exit.code, 0) << whole.err;
  const std::vector<std::string> rows = SplitLines(whole.out);
  ASSERT_EQ(rows.size(), 3u);
  // Channel 2 is recorded with two decimals: its values show them although they are whole.
  EXPECT_EQ(rows[2].rfind("通道02\t", 0), 0u) << rows[2];
  EXPECT_NE(rows[2].find("\t1.00\t1.00\t0.00\t"), std::string::npos) << rows[2];
  // A recorder file under any other name is read, and shown, as such.
  std::filesystem::copy_file(file, dir_.File("rec.backup"));
  const Outcome renamed = Run("vantiro-convert", {"stats", dir_.File("rec.backup")});
  ASSERT_EQ(renamed.exit.code, 0) << renamed.err;
  EXPECT_EQ(renamed.out, whole.out);
}

// The limits typed for a recording in the window count in its table.
TEST_F(StatsProgramTest, TheLimitsTypedForTheRecordingCountTheTimeBeyondThem) {
  const std::string file = WriteRecording(dir_.File("rec.bin"));
  ScopedEnvironment config("XDG_CONFIG_HOME", dir_.File("config"));
  ASSERT_TRUE(SaveLimits(FileLimitsKey(file), {{1, ChannelLimits{12.0, std::nullopt}}}));
  const Outcome o = Run("vantiro-convert", {"stats", file, "--from", "2010-05-12 00:00:10", "--to",
                                            "2010-05-12 00:00:30.500", "--channels", "1"});
  ASSERT_EQ(o.exit.code, 0) << o.err;
  const std::vector<std::string> lines = SplitLines(o.out);
  ASSERT_EQ(lines.size(), 2u) << o.out;
  // Above 12.0 from 21 s (12.1) to the end at 30.5 s; no lower limit.
  EXPECT_EQ(lines[1].substr(lines[1].size() - 7), "\t9.500\t") << lines[1];
}

TEST_F(StatsProgramTest, WhatIsRefused) {
  const std::string file = WriteRecording(dir_.File("rec.bin"));
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"stats"},
           {"stats", file, file},
           {"stats", file, "--from", "yesterday"},
           {"stats", file, "--from", "2010-05-12 00:01:00", "--to", "2010-05-12 00:00:00"},
           {"stats", file, "--channels", "17"}}) {
    const Outcome o = Run("vantiro-convert", args);
    EXPECT_EQ(o.exit.code, 2) << args.size();
    EXPECT_TRUE(o.out.empty());
  }
  const Outcome missing = Run("vantiro-convert", {"stats", dir_.File("none.bin")});
  EXPECT_EQ(missing.exit.code, 1);
}

}  // namespace
}  // namespace vantiro
