// The diagnostic log of a recorder file reading: its GBK bytes and CR LF lines, where it goes,
// and the per-user OpenLog switch under Software\Brisawen.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "RecorderReading.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "recorder/GbkText.h"
#include "support/FileSizeLimit.h"

namespace vantiro::testing {
namespace {

// Window 14:00:00 .. 15:00:00. Channel 1 (0..100, p = 4): one sample before the window, one out of
// range. Channel 2 (-5.5..20.25, p = 2): one out of range, one after the window.
RecorderFileBuilder SmallFile() {
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0})
      .Channels(0, 1)
      .Range(0, 100, 0, 4, 27)
      .Range(1, 2025, -550, 2, 19);
  file.Block(0).Chain({{kT - 1, 1, {40, 50, 150, 60}}});
  file.Block(1).Chain({{kT + 3599, 1, {-600, 100, 200}}});
  return file;
}

const char kSmallFileLog[] =
    "通道1, 量程为: 0.000-100.000\r\n"
    "\t通道1过滤掉无效时间记录: 10-05-12 13:59:59\r\n"
    "\t通道1过滤掉无效值记录: 10-05-12 14:00:01  150.000\r\n"
    "通道2, 量程为: -5.500-20.250\r\n"
    "\t通道2过滤掉无效值记录: 10-05-12 14:59:59  -6.000\r\n"
    "\t通道2过滤掉无效时间记录: 10-05-12 15:00:01\r\n";

// The first three lines as GBK bytes (from iconv -f UTF-8 -t GBK).
const char kSmallFileLogGbkStart[] =
    "\xCD\xA8\xB5\xC0"
    "1, \xC1\xBF\xB3\xCC\xCE\xAA: 0.000-100.000\r\n"
    "\t\xCD\xA8\xB5\xC0"
    "1\xB9\xFD\xC2\xCB\xB5\xF4\xCE\xDE\xD0\xA7\xCA\xB1\xBC\xE4\xBC\xC7\xC2\xBC"
    ": 10-05-12 13:59:59\r\n"
    "\t\xCD\xA8\xB5\xC0"
    "1\xB9\xFD\xC2\xCB\xB5\xF4\xCE\xDE\xD0\xA7\xD6\xB5\xBC\xC7\xC2\xBC"
    ": 10-05-12 14:00:01  150.000\r\n";

void ExpectSmallFileDataset(const Reading& r) {
  EXPECT_EQ(r.error, std::nullopt);
  ASSERT_EQ(r.channels.size(), 2u);
  EXPECT_EQ(Entries(r.channels[0]), (std::vector<Entry>{{0, 50}, {1, 50}, {2, 60}}));
  ASSERT_EQ(r.channels[1].values.size(), 2u);
  EXPECT_FLOAT_EQ(r.channels[1].values[0], -5.5f);
  EXPECT_FLOAT_EQ(r.channels[1].values[1], 1.0f);
}

TEST(RecorderLogTest, LogIsGbkWithCrLfLinesInReadingOrder) {
  std::string log;
  const Reading r = ReadBytes(SmallFile().Build(), LogToBuffer(log));
  ExpectSmallFileDataset(r);
  EXPECT_EQ(log, Utf8ToGbk(kSmallFileLog));
  EXPECT_EQ(log.substr(0, sizeof kSmallFileLogGbkStart - 1), kSmallFileLogGbkStart);
  EXPECT_EQ(GbkToUtf8(log), kSmallFileLog);
}

TEST(RecorderLogTest, LogFileIsTruncatedAndHoldsExactlyTheLog) {
  TempDir dir;
  const std::string path = dir.File("read_log.txt");
  WriteFile(path, std::string(100000, 'x'));
  const Reading r = ReadBytes(SmallFile().Build(), LogToFile(path));
  ExpectSmallFileDataset(r);
  EXPECT_EQ(ReadWholeFile(path), Utf8ToGbk(kSmallFileLog));
}

TEST(RecorderLogTest, LogFileOfAReadingStoppedByAMissingBlockHoldsWhatWasLogged) {
  RecorderFileBuilder file = SmallFile();
  file.BlockCount(1, 2);  // the second channel's second block is missing
  TempDir dir;
  const std::string path = dir.File("read_log.txt");
  const Reading r = ReadBytes(file.Build(), LogToFile(path));
  EXPECT_EQ(r.error, kReadFailed);
  EXPECT_EQ(Numbers(r.channels), std::vector<int>{1});
  EXPECT_EQ(ReadWholeFile(path), Utf8ToGbk(kSmallFileLog));
}

// Two readings gave the same result and the same dataset.
void ExpectSameReading(const Reading& actual, const Reading& expected) {
  EXPECT_EQ(actual.error, expected.error);
  EXPECT_EQ(actual.summary.rangeMax, expected.summary.rangeMax);
  EXPECT_EQ(actual.summary.rangeMin, expected.summary.rangeMin);
  EXPECT_EQ(actual.summary.startTime, expected.summary.startTime);
  EXPECT_EQ(actual.summary.endTime, expected.summary.endTime);
  EXPECT_EQ(actual.summary.sampleCount, expected.summary.sampleCount);
  ASSERT_EQ(actual.channels.size(), expected.channels.size());
  for (std::size_t c = 0; c < actual.channels.size(); ++c) {
    SCOPED_TRACE(c);
    EXPECT_EQ(actual.channels[c].number, expected.channels[c].number);
    EXPECT_EQ(actual.channels[c].unit, expected.channels[c].unit);
    EXPECT_EQ(actual.channels[c].times, expected.channels[c].times);
    EXPECT_EQ(actual.channels[c].values, expected.channels[c].values);
  }
}

RecorderLogOptions WithStatus(RecorderLogOptions options, RecorderLogStatus& status) {
  options.status = &status;
  return options;
}

// One channel whose first block lies wholly before the window: a log of some 340 KB, several
// chunks, before the samples of the second block are stored (one of them repaired).
RecorderFileBuilder LongLogFile() {
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Channels(0, 0).Range(0, 100, 0, 4, 27);
  file.Block(0).Chain({{kT - 8000, 1, std::vector<std::int16_t>(8000, 40)}});
  file.Block(0).Chain({{kT, 1, {40, 150, 60}}});
  return file;
}

TEST(RecorderLogTest, StatusTellsWhetherTheLogWasWritten) {
  TempDir dir;
  std::string buffer;
  struct Case {
    const char* name;
    RecorderLogOptions options;
    RecorderLogStatus status;
  };
  const Case cases[] = {
      {"off", NoLog(), RecorderLogStatus::None},
      {"buffer", LogToBuffer(buffer), RecorderLogStatus::Written},
      {"file", LogToFile(dir.File("read_log.txt")), RecorderLogStatus::Written},
      {"folder missing", LogToFile(dir.File("missing/read_log.txt")), RecorderLogStatus::Failed},
      {"a folder's name", LogToFile(dir.Path()), RecorderLogStatus::Failed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Starts as something the reading must overwrite.
    RecorderLogStatus status = c.status == RecorderLogStatus::Failed ? RecorderLogStatus::Written
                                                                     : RecorderLogStatus::Failed;
    ExpectSmallFileDataset(ReadBytes(SmallFile().Build(), WithStatus(c.options, status)));
    EXPECT_EQ(status, c.status);
  }
  EXPECT_EQ(ReadWholeFile(dir.File("read_log.txt")), Utf8ToGbk(kSmallFileLog));
  EXPECT_EQ(buffer, Utf8ToGbk(kSmallFileLog));

  // A reading that stops before the channels starts no log; one that stops later still ends it.
  RecorderLogStatus status = RecorderLogStatus::Written;
  EXPECT_EQ(ReadPath(dir.File("missing.bin"), WithStatus(LogToFile(dir.File("a_log.txt")), status))
                .error,
            kOpenFailed);
  EXPECT_EQ(status, RecorderLogStatus::None);
  RecorderFileBuilder shortFile = SmallFile();
  shortFile.BlockCount(1, 2);
  EXPECT_EQ(ReadBytes(shortFile.Build(), WithStatus(LogToFile(dir.File("b_log.txt")), status)).error,
            kReadFailed);
  EXPECT_EQ(status, RecorderLogStatus::Written);
  EXPECT_EQ(ReadWholeFile(dir.File("b_log.txt")), Utf8ToGbk(kSmallFileLog));
}

TEST(RecorderLogTest, ALogWhoseFolderDoesNotExistLeavesNothingAndTheReadingIsTheSame) {
  RecorderFileBuilder shortFile = SmallFile();
  shortFile.BlockCount(1, 2);  // stops on a missing block after the first channel
  const std::pair<const char*, std::string> files[] = {
      {"whole file", SmallFile().Build()},
      {"short file", shortFile.Build()},
      {"long log", LongLogFile().Build()},
  };
  for (const auto& [name, bytes] : files) {
    SCOPED_TRACE(name);
    TempDir dir;
    RecorderLogStatus status = RecorderLogStatus::None;
    const Reading logged =
        ReadBytes(bytes, WithStatus(LogToFile(dir.File("missing/read_log.txt")), status));
    ExpectSameReading(logged, ReadBytes(bytes, NoLog()));
    EXPECT_EQ(status, RecorderLogStatus::Failed);
    EXPECT_TRUE(TempDir::List(dir.Path()).empty());
  }
}

// The disk fills up while the log is written: at the first chunk, midway, or at the last chunk.
TEST(RecorderLogTest, AWriteFailingMidwayKeepsThePreviousLogAndLeavesNoTemporaryFile) {
  const std::string bytes = LongLogFile().Build();
  const Reading unlogged = ReadBytes(bytes, NoLog());
  std::string whole;
  ReadBytes(bytes, LogToBuffer(whole));
  ASSERT_GT(whole.size(), 4u * 64 * 1024);  // several chunks
  const rlim_t limits[] = {0, 10, 100000, 200000, whole.size() - 1};
  for (const rlim_t limit : limits) {
    for (const bool previous : {true, false}) {
      SCOPED_TRACE(std::to_string(limit) + (previous ? " bytes, over a previous log" : " bytes"));
      TempDir dir;
      const std::string path = dir.File("read_log.txt");
      if (previous) WriteFile(path, "an older log\r\n");
      RecorderLogStatus status = RecorderLogStatus::None;
      Reading logged;
      {
        FileSizeLimit sizeLimit(limit);
        logged = ReadBytes(bytes, WithStatus(LogToFile(path), status));
      }
      ExpectSameReading(logged, unlogged);
      EXPECT_EQ(status, RecorderLogStatus::Failed);
      if (previous) {
        EXPECT_EQ(TempDir::List(dir.Path()), std::vector<std::string>{"read_log.txt"});
        EXPECT_EQ(ReadWholeFile(path), "an older log\r\n");
      } else {
        EXPECT_TRUE(TempDir::List(dir.Path()).empty());
      }
    }
  }
  // Room for all of it: the log replaces the previous one.
  TempDir dir;
  const std::string path = dir.File("read_log.txt");
  WriteFile(path, "an older log\r\n");
  RecorderLogStatus status = RecorderLogStatus::None;
  {
    FileSizeLimit sizeLimit(whole.size());
    ExpectSameReading(ReadBytes(bytes, WithStatus(LogToFile(path), status)), unlogged);
  }
  EXPECT_EQ(status, RecorderLogStatus::Written);
  EXPECT_EQ(ReadWholeFile(path), whole);
  EXPECT_EQ(TempDir::List(dir.Path()), std::vector<std::string>{"read_log.txt"});
}

TEST(RecorderLogTest, ALogThatCannotBeCreatedOnlyTurnsLoggingOff) {
  TempDir dir;
  const Reading r = ReadBytes(SmallFile().Build(), LogToFile(dir.File("missing/read_log.txt")));
  ExpectSmallFileDataset(r);
  EXPECT_TRUE(TempDir::List(dir.Path()).empty());
}

// The log is opened after the header checks: a reading that stops before does not create or
// truncate it.
TEST(RecorderLogTest, NoLogWhenTheReadingStopsBeforeTheChannels) {
  TempDir dir;
  RecorderFileBuilder badTime;
  badTime.Window({10, 2, 30, 0, 0, 0}, {10, 5, 12, 15, 0, 0});
  RecorderFileBuilder badRange;
  badRange.Channels(16, 16);
  std::string tooLarge = SmallFile().Build();
  tooLarge.resize(kRecorderMaxFileSize + 1, '\0');
  WriteFile(dir.File("time.bin"), badTime.Build());
  WriteFile(dir.File("range.bin"), badRange.Build());
  WriteFile(dir.File("large.bin"), tooLarge);
  WriteFile(dir.File("empty.bin"), "");
  struct Case {
    const char* file;
    UserMessage error;
  };
  const Case cases[] = {
      {"missing.bin", kOpenFailed}, {"large.bin", kTooLarge},   {"empty.bin", kReadFailed},
      {"range.bin", kFormatError},  {"time.bin", kFormatError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const std::string fresh = dir.File("fresh_log.txt");
    const std::string old = dir.File("old_log.txt");
    WriteFile(old, "an older log\r\n");
    EXPECT_EQ(ReadPath(dir.File(c.file), LogToFile(fresh)).error, c.error);
    EXPECT_EQ(ReadPath(dir.File(c.file), LogToFile(old)).error, c.error);
    EXPECT_FALSE(std::filesystem::exists(fresh));
    EXPECT_EQ(ReadWholeFile(old), "an older log\r\n");
  }
}

// The registry switch, with the per-user registry in a temporary configuration directory.
class RecorderRegistryLogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (const char* old = std::getenv("XDG_CONFIG_HOME")) saved_ = old;
  }
  void TearDown() override {
    if (saved_) {
      ::setenv("XDG_CONFIG_HOME", saved_->c_str(), 1);
    } else {
      ::unsetenv("XDG_CONFIG_HOME");
    }
  }

 private:
  std::optional<std::string> saved_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

TEST_F(RecorderRegistryLogTest, OpenLogOneWritesOneTimeNamedLogBesideTheOthers) {
  enum class Source { Good, FormatError, Missing };
  struct Case {
    const char* name;
    std::optional<std::string> registry;  // the registry file's text; none: no file
    Source source;
    bool logDirectoryExists;
    bool logged;
  };
  const Case cases[] = {
      {"no registry file", std::nullopt, Source::Good, true, false},
      {"key without OpenLog", "[Software\\Brisawen]\n", Source::Good, true, false},
      {"OpenLog=0", "[Software\\Brisawen]\nOpenLog=0\n", Source::Good, true, false},
      {"OpenLog=2", "[Software\\Brisawen]\nOpenLog=2\n", Source::Good, true, false},
      {"OpenLog not a number", "[Software\\Brisawen]\nOpenLog=on\n", Source::Good, true, false},
      {"OpenLog=1 under another key", "[Software\\Other]\nOpenLog=1\n", Source::Good, true, false},
      {"OpenLog=1", "[Software\\Brisawen]\nOpenLog=1\n", Source::Good, true, true},
      {"OpenLog=1 among other values", "[Software\\Brisawen]\nImportData=1\nOpenLog=1\nOEMDL=0\n",
       Source::Good, true, true},
      {"OpenLog=1, log directory missing", "[Software\\Brisawen]\nOpenLog=1\n", Source::Good, false,
       false},
      {"OpenLog=1, format error", "[Software\\Brisawen]\nOpenLog=1\n", Source::FormatError, true,
       false},
      {"OpenLog=1, missing file", "[Software\\Brisawen]\nOpenLog=1\n", Source::Missing, true,
       false},
  };
  const std::regex logName("([0-9]{14})_log\\.txt");
  const char* const kOldLog = "20000101000000_log.txt";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string config = dir.File("config");
    const std::string logs = dir.File("logs");
    ASSERT_EQ(::setenv("XDG_CONFIG_HOME", config.c_str(), 1), 0);
    if (c.registry) {
      std::filesystem::create_directories(config + "/vantiro");
      WriteFile(RegistryFilePath(), *c.registry);
    }
    if (c.logDirectoryExists) {
      std::filesystem::create_directory(logs);
      WriteFile(logs + "/" + kOldLog, "old");
    }
    RecorderFileBuilder bad;
    bad.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 24, 0, 0});
    WriteFile(dir.File("good.bin"), SmallFile().Build());
    WriteFile(dir.File("bad.bin"), bad.Build());
    const std::string path = c.source == Source::Good          ? dir.File("good.bin")
                             : c.source == Source::FormatError ? dir.File("bad.bin")
                                                               : dir.File("missing.bin");
    RecorderLogOptions options;
    options.mode = RecorderLogOptions::Mode::Registry;
    options.directory = logs;

    const Reading r = ReadPath(path, options);

    switch (c.source) {
      case Source::Good:
        ExpectSmallFileDataset(r);
        break;
      case Source::FormatError:
        EXPECT_EQ(r.error, kFormatError);
        break;
      case Source::Missing:
        EXPECT_EQ(r.error, kOpenFailed);
        break;
    }
    std::vector<std::string> files = TempDir::List(logs);
    if (c.logDirectoryExists) {
      ASSERT_FALSE(files.empty());
      EXPECT_EQ(files.front(), kOldLog);  // earlier logs stay
      EXPECT_EQ(ReadWholeFile(logs + "/" + kOldLog), "old");
      files.erase(files.begin());
    }
    if (c.logged) {
      ASSERT_EQ(files.size(), 1u);
      std::smatch m;
      ASSERT_TRUE(std::regex_match(files[0], m, logName)) << files[0];
      const std::string stamp = m[1];
      EXPECT_TRUE(EncodeDateTime(std::stoi(stamp.substr(0, 4)), std::stoi(stamp.substr(4, 2)),
                                 std::stoi(stamp.substr(6, 2)), std::stoi(stamp.substr(8, 2)),
                                 std::stoi(stamp.substr(10, 2)), std::stoi(stamp.substr(12, 2))))
          << stamp;
      EXPECT_EQ(ReadWholeFile(logs + "/" + files[0]), Utf8ToGbk(kSmallFileLog));
    } else {
      EXPECT_TRUE(files.empty());
    }

    // A reading that reached the log step has created the key; what was there stays.
    const ProfileFile registry = ProfileFile::Load(RegistryFilePath());
    if (c.source == Source::Good) {
      EXPECT_TRUE(registry.HasSection(kVendorKey));
    }
    if (c.registry) {
      for (const std::string& line : Lines(*c.registry)) {
        EXPECT_NE(std::find(registry.Lines().begin(), registry.Lines().end(), line),
                  registry.Lines().end())
            << line;
      }
    }
  }
}

}  // namespace
}  // namespace vantiro::testing
