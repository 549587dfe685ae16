#include <gtest/gtest.h>

#include <cstdio>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "output/CsvExport.h"
#include "recorder/GbkText.h"
#include "recorder/RecorderFile.h"
#include "support/FileSizeLimit.h"
#include "support/RecorderFileBuilder.h"
#include "support/TempDir.h"
#include "vantiro-convert/ConvertCommand.h"
#include "workbench/ViewModel.h"

namespace vantiro {
namespace {

RecorderLogOptions LogOff() {
  RecorderLogOptions options;
  options.mode = RecorderLogOptions::Mode::Off;
  return options;
}

namespace fs = std::filesystem;
using testing::FileSizeLimit;
using testing::RecorderFileBuilder;
using testing::RecorderSeconds;
using testing::SplitLines;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

class ConvertCommandTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) / ("convert-" + std::to_string(::getpid()) + "-" +
                                              ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override { fs::remove_all(dir_); }

  struct Result {
    int status;
    std::string out;
    std::string err;
  };
  Result Run(std::vector<std::string> args) {
    std::ostringstream out;
    std::ostringstream err;
    const int status = RunConvert(args, out, err);
    return {status, out.str(), err.str()};
  }

  // Three channels: 1 (℃, one decimal) with an interruption, 2 (%) every two seconds, 3 empty.
  std::string WriteThreeChannelFile(const char* name = "rec.bin") {
    RecorderFileBuilder file;
    file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Channels(0, 2);
    file.Range(0, 1000, 0, 3, 19).Range(1, 100, 0, 4, 20).Range(2, 50, -5, 4, 1000);
    const std::int32_t t = RecorderSeconds(2010, 5, 12, 14, 30, 0);
    file.Block(0).Chain({{t, 1, {125, 250, 375}}, {t + 10, 1, {500}}});
    file.Block(1).Chain({{t + 1, 2, {10, 20}}});
    const fs::path path = dir_ / name;
    file.WriteTo(path);
    return path;
  }

  fs::path dir_;
};

TEST_F(ConvertCommandTest, DumpListsEveryEntryOfEveryChannel) {
  const Result r = Run({"dump", WriteThreeChannelFile()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "error: none\n"
            "summary rangeMin=-5 rangeMax=100 start=2010-05-12 14:00:00.000 "
            "end=2010-05-12 15:00:00.000 samples=6\n"
            "channel 1 unit=℃ count=6\n"
            "2010-05-12 14:30:00.000 12.5\n"
            "2010-05-12 14:30:01.000 25\n"
            "2010-05-12 14:30:02.000 37.5\n"
            "2010-05-12 14:30:03.000 GAP\n"
            "2010-05-12 14:30:09.000 GAP\n"
            "2010-05-12 14:30:10.000 50\n"
            "channel 2 unit=% count=2\n"
            "2010-05-12 14:30:01.000 10\n"
            "2010-05-12 14:30:03.000 20\n"
            "channel 3 unit=单位 count=0\n");
}

constexpr const char* kThreeChannelCsv =
    "序号,时间,通道1(℃),通道2(%),通道3(单位)\n"
    "1,2010年05月12日 14:30:00,12.500,-,-\n"
    "2,2010年05月12日 14:30:01,25.000,10.000,-\n"
    "3,2010年05月12日 14:30:02,37.500,-,-\n"
    "4,2010年05月12日 14:30:03,-,20.000,-\n"
    "5,2010年05月12日 14:30:10,50.000,-,-\n";

TEST_F(ConvertCommandTest, CsvIsTheWideTableInGbkOrUtf8) {
  const std::string input = WriteThreeChannelFile();
  const Result utf8 = Run({"csv", input, "--utf8"});
  EXPECT_EQ(utf8.status, 0);
  EXPECT_EQ(utf8.out, kThreeChannelCsv);

  const fs::path out = dir_ / "out.csv";
  const Result gbk = Run({"csv", "-o", out, input});
  EXPECT_EQ(gbk.status, 0);
  EXPECT_EQ(gbk.out, "");
  EXPECT_EQ(ReadAll(out), Utf8ToGbk(kThreeChannelCsv));
  // 序号 in GBK.
  EXPECT_EQ(ReadAll(out).substr(0, 4), "\xD0\xF2\xBA\xC5");
}

TEST_F(ConvertCommandTest, SameTimeSamplesOfOneChannelDoNotHideLaterColumns) {
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Channels(0, 1);
  const std::int32_t t = RecorderSeconds(2010, 5, 12, 14, 30, 0);
  file.Block(0).Chain({{t, 0, {1, 2}}});  // interval 0: both samples at t
  file.Block(1).Chain({{t, 1, {7}}});
  const fs::path path = dir_ / "dup.bin";
  file.WriteTo(path);
  const Result r = Run({"csv", path, "--utf8"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "序号,时间,通道1(m3/h),通道2(m3/h)\n"
            "1,2010年05月12日 14:30:00,1.000,7.000\n");
}

TEST_F(ConvertCommandTest, EmptyDatasetGivesTheTitleLineAlone) {
  RecorderFileBuilder file;
  file.Channels(3, 3);
  const fs::path path = dir_ / "empty.bin";
  file.WriteTo(path);
  const Result r = Run({"csv", path, "--utf8"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "序号,时间,通道4(m3/h)\n");
}

TEST_F(ConvertCommandTest, ReaderFailureGivesStatusOneAndStillWritesWhatWasRead) {
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Channels(0, 1);
  const std::int32_t t = RecorderSeconds(2010, 5, 12, 14, 30, 0);
  file.Block(0).Chain({{t, 1, {5}}});
  file.Block(1).Chain({{t, 1, {6}}});
  file.BlockCount(1, 2);  // the file is one block short
  const fs::path path = dir_ / "short.bin";
  file.WriteTo(path);

  const Result dump = Run({"dump", path});
  EXPECT_EQ(dump.status, 1);
  EXPECT_EQ(dump.out,
            "error: 文件读取失败。\n"
            "summary rangeMin=0 rangeMax=1000 start=2010-05-12 14:00:00.000 "
            "end=2010-05-12 15:00:00.000 samples=2\n"
            "channel 1 unit=m3/h count=1\n"
            "2010-05-12 14:30:00.000 5\n");

  const Result csv = Run({"csv", path, "--utf8"});
  EXPECT_EQ(csv.status, 1);
  EXPECT_EQ(csv.err, "error: 文件读取失败。\n");
  EXPECT_EQ(csv.out, "序号,时间,通道1(m3/h)\n1,2010年05月12日 14:30:00,5.000\n");
}

TEST_F(ConvertCommandTest, MissingFileIsReportedAndNotCreated) {
  const fs::path missing = dir_ / "missing.bin";
  const fs::path log = dir_ / "missing.log";
  const Result r = Run({"dump", missing, "--log", log});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out,
            "error: 打开文件失败。\n"
            "summary rangeMin=0 rangeMax=0 start=1899-12-30 00:00:00.000 "
            "end=1899-12-30 00:00:00.000 samples=0\n");
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_FALSE(fs::exists(log));  // the reader stopped before the log step
}

TEST_F(ConvertCommandTest, LogOptionWritesTheReadersOwnLog) {
  const std::string input = WriteThreeChannelFile();
  std::string expected;
  {
    DatasetSummary summary;
    std::vector<ChannelInfo> channels;
    RecorderLogStatus status = RecorderLogStatus::None;
    RecorderLogOptions buffer{RecorderLogOptions::Mode::Buffer, "", "", &expected, &status};
    ASSERT_FALSE(ReadRecorderFile(input, summary, channels, buffer));
    ASSERT_EQ(status, RecorderLogStatus::Written);
  }
  const fs::path log = dir_ / "read.log";
  {
    std::ofstream stale(log);
    stale << "an older, longer log that must not survive the truncation\n";
  }
  for (const char* command : {"dump", "csv"}) {
    const Result r = Run({command, input, "--log", log});
    EXPECT_EQ(r.status, 0) << command;
    EXPECT_EQ(ReadAll(log), expected) << command;
  }
  EXPECT_EQ(GbkToUtf8(expected),
            "通道1, 量程为: 0.000-100.000\r\n"
            "通道2, 量程为: 0.000-100.000\r\n"
            "通道3, 量程为: -5.000-50.000\r\n");
}

// The log cannot be written: status 1 and one more line on standard error; the listing or the
// table, and any earlier file of the log's name, as they would be without it.
TEST_F(ConvertCommandTest, ALogThatCannotBeWrittenGivesStatusOneAndTheRestAsUsual) {
  const std::string whole = WriteThreeChannelFile();
  RecorderFileBuilder shortFile;
  shortFile.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Channels(0, 1);
  shortFile.Block(0).Chain({{RecorderSeconds(2010, 5, 12, 14, 30, 0), 1, {5}}});
  shortFile.BlockCount(1, 1);  // the second channel's block is missing
  const std::string broken = dir_ / "short.bin";
  shortFile.WriteTo(broken);
  const fs::path previous = dir_ / "previous.log";
  std::ofstream(previous, std::ios::binary) << "an older log\r\n";
  const fs::path nowhere = dir_ / "missing" / "read.log";

  struct Case {
    const char* name;
    std::string input;
    fs::path log;
    bool diskFull;
  };
  const Case cases[] = {
      {"folder missing", whole, nowhere, false},
      {"disk full", whole, previous, true},
      {"folder missing, reader failure", broken, nowhere, false},
      {"disk full, reader failure", broken, previous, true},
  };
  for (const char* command : {"dump", "csv"}) {
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(command) + ", " + c.name);
      std::vector<std::string> args{command, c.input};
      if (std::string(command) == "csv") args.push_back("--utf8");
      const Result plain = Run(args);
      args.insert(args.end(), {"--log", c.log.string()});
      Result r;
      {
        std::optional<FileSizeLimit> limit;
        if (c.diskFull) limit.emplace(10);
        r = Run(args);
      }
      EXPECT_EQ(r.status, 1);
      EXPECT_EQ(r.out, plain.out);
      EXPECT_EQ(r.err, "error: cannot write " + c.log.string() + "\n" + plain.err);
      EXPECT_EQ(ReadAll(previous), "an older log\r\n");
      EXPECT_FALSE(fs::exists(nowhere.parent_path()));
      std::vector<std::string> names;
      for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename());
      std::sort(names.begin(), names.end());
      EXPECT_EQ(names, (std::vector<std::string>{"previous.log", "rec.bin", "short.bin"}));
    }
  }
}

TEST_F(ConvertCommandTest, CsvFilesOfAnyExtensionCaseGoThroughTheImport) {
  const std::string text = Utf8ToGbk(
      "序号,通道,数值,时间,单位\r\n"
      "1,3,25.5,2010年05月12日 10:11:12,℃\r\n"
      "2,1,1.25,2010-05-12 10:11:12,mA\r\n"
      "3,3,26,2010-05-12 10:11:10,℃\r\n");
  for (const char* name : {"in.csv", "in.CSV", "in.Csv"}) {
    const fs::path path = dir_ / name;
    std::ofstream(path, std::ios::binary) << text;
    const Result dump = Run({"dump", path});
    EXPECT_EQ(dump.status, 0) << name;
    EXPECT_EQ(dump.out,
              "error: none\n"
              "summary rangeMin=1.25 rangeMax=26 start=2010-05-12 10:11:10.000 "
              "end=2010-05-12 10:11:12.000 samples=3\n"
              "channel 3 unit=℃ count=2\n"
              "2010-05-12 10:11:12.000 25.5\n"
              "2010-05-12 10:11:10.000 26\n"
              "channel 1 unit=mA count=1\n"
              "2010-05-12 10:11:12.000 1.25\n")
        << name;
    const Result csv = Run({"csv", path, "--utf8"});
    EXPECT_EQ(csv.out,
              "序号,时间,通道3(℃),通道1(mA)\n"
              "1,2010年05月12日 10:11:10,26.000,-\n"
              "2,2010年05月12日 10:11:12,25.500,1.250\n")
        << name;
  }
  const Result missing = Run({"dump", dir_ / "none.csv"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.out.substr(0, missing.out.find('\n')), "error: 导入文件失败。");
}

// The listing writes each value as "%.6g" does, whatever its size and sign.
TEST_F(ConvertCommandTest, DumpValuesReadAsPrintfWritesThem) {
  const std::vector<std::string> values = {"0",       "-0.5",     "1234567",  "0.000123456", "1e-07",
                                           "-98765.4321", "3.4e38", "-1.2e-38", "100000",   "999999.5",
                                           "0.1",     "12.3456789", "-158.0001", "65535"};
  std::string text = "序号,通道,数值,时间,单位\r\n";
  for (std::size_t i = 0; i < values.size(); ++i) {
    text += std::to_string(i + 1) + ",1," + values[i] + ",2010-05-12 10:11:" +
            (i < 10 ? "0" : "") + std::to_string(i) + ",V\r\n";
  }
  const fs::path path = dir_ / "values.csv";
  std::ofstream(path, std::ios::binary) << Utf8ToGbk(text);
  const Result dump = Run({"dump", path});
  ASSERT_EQ(dump.status, 0) << dump.err;
  std::istringstream lines(dump.out);
  std::string line;
  std::getline(lines, line);  // error
  std::getline(lines, line);  // summary
  std::getline(lines, line);  // channel
  for (const std::string& value : values) {
    ASSERT_TRUE(std::getline(lines, line)) << value;
    char expected[64];
    std::snprintf(expected, sizeof expected, "%.6g", static_cast<double>(std::stof(value)));
    EXPECT_EQ(line.substr(line.rfind(' ') + 1), expected) << value;
  }
}

// A CSV import can create more channels than a 16-bit position holds: 33,000 channels of one
// sample each at one time give one row with every value in its own column.
TEST_F(ConvertCommandTest, CsvOfMoreThan32768ChannelsKeepsEveryColumn) {
  constexpr int kChannels = 33000;
  std::string input;
  std::string title = "序号,时间";
  std::string row = "1,2010年05月12日 10:11:12";
  for (int c = 1; c <= kChannels; ++c) {
    const std::string n = std::to_string(c);
    input += n + "," + n + "," + n + ",2010-05-12 10:11:12,V\n";  // number, channel, value
    // The import keeps the low 16 bits of a channel number as a signed value.
    title += ",通道" + std::to_string(static_cast<std::int16_t>(c)) + "(V)";
    row += "," + std::to_string(c) + ".000";
  }
  const fs::path path = dir_ / "wide.csv";
  std::ofstream(path, std::ios::binary) << input;

  const Result r = Run({"csv", path, "--utf8"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, title + "\n" + row + "\n");

  const fs::path out = dir_ / "wide-out.csv";
  const Result toFile = Run({"csv", path, "-o", out});
  EXPECT_EQ(toFile.status, 0);
  EXPECT_EQ(ReadAll(out), Utf8ToGbk(title + "\n" + row + "\n"));
}

// Standard output that takes `room` bytes and then refuses everything, as a full disk or a closed
// pipe does.
class RefusingBuffer : public std::streambuf {
 public:
  explicit RefusingBuffer(std::size_t room) : room_(room) {}
  std::size_t taken = 0;

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    if (taken == room_) return traits_type::eof();
    ++taken;
    return c;
  }
  std::streamsize xsputn(const char*, std::streamsize n) override {
    const auto accepted = std::min<std::size_t>(static_cast<std::size_t>(n), room_ - taken);
    taken += accepted;
    return static_cast<std::streamsize>(accepted);
  }

 private:
  std::size_t room_;
};

TEST_F(ConvertCommandTest, AnOutputThatRefusesTextGivesStatusOne) {
  const std::string input = WriteThreeChannelFile();
  for (const char* command : {"csv", "dump"}) {
    for (const std::size_t room : {0u, 10u, 100u}) {
      SCOPED_TRACE(std::string(command) + " " + std::to_string(room));
      RefusingBuffer buffer(room);
      std::ostream out(&buffer);
      std::ostringstream err;
      EXPECT_EQ(RunConvert({command, input}, out, err), 1);
      EXPECT_EQ(err.str(), "error: cannot write the output\n");
      EXPECT_EQ(buffer.taken, room);
    }
  }
}

TEST_F(ConvertCommandTest, CsvToAFileReplacesItOnlyWhenAllOfItWasWritten) {
  const std::string input = WriteThreeChannelFile();
  const fs::path out = dir_ / "out.csv";
  auto names = [this] {
    std::vector<std::string> list;
    for (const auto& entry : fs::directory_iterator(dir_)) list.push_back(entry.path().filename());
    std::sort(list.begin(), list.end());
    return list;
  };

  // The disk fills up midway: the previous file stays and no temporary file is left.
  std::ofstream(out, std::ios::binary) << "previous";
  {
    FileSizeLimit limit(100);
    const Result r = Run({"csv", input, "-o", out});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "error: 文件保存失败，请重试！ " + out.string() + "\n");
  }
  EXPECT_EQ(ReadAll(out), "previous");
  EXPECT_EQ(names(), (std::vector<std::string>{"out.csv", "rec.bin"}));

  // A folder that does not exist.
  const fs::path nowhere = dir_ / "missing" / "out.csv";
  const Result missing = Run({"csv", input, "-o", nowhere});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "error: 文件保存失败，请重试！ " + nowhere.string() + "\n");
  EXPECT_EQ(names(), (std::vector<std::string>{"out.csv", "rec.bin"}));

  // Written in full, the file replaces the previous one.
  const Result r = Run({"csv", input, "-o", out, "--utf8"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(ReadAll(out), kThreeChannelCsv);
  EXPECT_EQ(names(), (std::vector<std::string>{"out.csv", "rec.bin"}));
}

TEST_F(ConvertCommandTest, UsageErrorsGiveStatusTwoAndOneLine) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"dump"},
      {"convert", "a.bin"},
      {"dump", "a.bin", "b.bin"},
      {"dump", "a.bin", "-o", "x.csv"},
      {"dump", "a.bin", "--utf8"},
      {"csv", "a.bin", "-o"},
      {"csv", "a.bin", "--log"},
      {"csv", "a.bin", "--bogus"},
      {"csv", "-o", "x.csv", "--utf8"},
      // The archive in place of FILE: a recorder, and not a FILE besides.
      {"dump", "--archive", "a.sqlite"},
      {"dump", "a.bin", "--recorder", "kiln"},
      {"csv", "--recorder"},
      {"at", "--recorder", "kiln"},
      {"at", "a.bin", "--recorder", "kiln", "2010-05-12 10:00:00"},
  };
  for (const auto& args : cases) {
    const Result r = Run(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(r.status, 2) << joined;
    EXPECT_EQ(r.out, "") << joined;
    EXPECT_EQ(r.err.substr(r.err.find("usage:")), std::string(kConvertUsage) + "\n") << joined;
  }
  // Options that have a meaning only with one source or the other say so.
  const std::vector<std::pair<std::vector<std::string>, std::string>> explained = {
      {{"dump", "a.bin", "--from", "2010-05-12 10:00:00"}, "error: dump takes --from, --to and --channels only with --recorder\n"},
      {{"dump", "--recorder", "kiln", "--log", "x.log"}, "error: --log is for recorder files\n"},
      {{"csv", "--recorder", "kiln", "--recorder", "dryer"}, "error: --recorder is given twice\n"},
  };
  for (const auto& [args, message] : explained) {
    const Result r = Run(args);
    EXPECT_EQ(r.status, 2) << message;
    EXPECT_EQ(r.err, message + std::string(kConvertUsage) + "\n");
  }

  // Asked for, the usage is no error: standard output, status 0.
  for (const char* help : {"--help", "-h"}) {
    const Result r = Run({help});
    EXPECT_EQ(r.status, 0) << help;
    EXPECT_EQ(r.out, std::string(kConvertUsage) + "\n") << help;
    EXPECT_EQ(r.err, "") << help;
  }
}

// Channel 1 (℃) a sample a second from 14:30:00 to 14:30:20, 10.0 rising by 0.5; channel 2 (%) at
// 14:30:00 and :01, interrupted, again at :10; channel 3 without samples.
std::string WriteLegendFile(const fs::path& dir, int channel2Blocks = -1) {
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Channels(0, 2);
  file.Range(0, 1000, 0, 3, 19).Range(1, 100, 0, 4, 20).Range(2, 50, -5, 4, 1000);
  const std::int32_t t = RecorderSeconds(2010, 5, 12, 14, 30, 0);
  std::vector<std::int16_t> seconds;
  for (int i = 0; i <= 20; ++i) seconds.push_back(static_cast<std::int16_t>(100 + 5 * i));
  file.Block(0).Chain({{t, 1, seconds}});
  file.Block(1).Chain({{t, 1, {10, 20}}, {t + 10, 1, {30}}});
  if (channel2Blocks >= 0) file.BlockCount(1, static_cast<std::uint16_t>(channel2Blocks));
  const fs::path path = dir / "legend.bin";
  file.WriteTo(path);
  return path;
}

TEST_F(ConvertCommandTest, AtPrintsTheLegendWithTheCursorAtTheTimeGiven) {
  const std::string input = WriteLegendFile(dir_);
  struct Case {
    const char* at;
    const char* legend;
  };
  const Case cases[] = {
      {"2010-05-12 14:30:00",
       "垂直游标X: 2010-05-12 14:30:00\n通道01 10.000℃\n通道02 10.000%\n通道03  ---\n"},
      {"2010-05-12 14:30:01.400",
       "垂直游标X: 2010-05-12 14:30:01\n通道01 10.500℃\n通道02 20.000%\n通道03  ---\n"},
      // Nearest to channel 2's break.
      {"2010-05-12 14:30:05",
       "垂直游标X: 2010-05-12 14:30:05\n通道01 12.500℃\n通道02  ---\n通道03  ---\n"},
      // The same second as channel 2's last sample, a fraction later.
      {"2010-05-12 14:30:10.400",
       "垂直游标X: 2010-05-12 14:30:10\n通道01 15.000℃\n通道02 30.000%\n通道03  ---\n"},
      {"2010-05-12 14:30:11",
       "垂直游标X: 2010-05-12 14:30:11\n通道01 15.500℃\n通道02  ---\n通道03  ---\n"},
      // Outside every line's span.
      {"2010-05-12 14:29:59.900",
       "垂直游标X: 2010-05-12 14:29:59\n通道01  ---\n通道02  ---\n通道03  ---\n"},
      {"2010-05-12 14:31:00",
       "垂直游标X: 2010-05-12 14:31:00\n通道01  ---\n通道02  ---\n通道03  ---\n"},
  };
  for (const Case& c : cases) {
    const Result r = Run({"at", input, c.at});
    EXPECT_EQ(r.status, 0) << c.at;
    EXPECT_EQ(r.err, "") << c.at;
    EXPECT_EQ(r.out, c.legend) << c.at;
  }
}

TEST_F(ConvertCommandTest, AtWithABadTimeOrMissingArgumentsIsAUsageError) {
  const std::string input = WriteLegendFile(dir_);
  const std::vector<std::vector<std::string>> cases = {
      {"at"},
      {"at", input},
      {"at", input, "yesterday"},
      {"at", input, "2010-05-12 25:00:00"},
      {"at", input, "2010-02-30 10:00:00"},
      {"at", input, ""},
      {"at", input, "2010-05-12 14:30:00", "extra"},
      {"at", "--log", "2010-05-12 14:30:00"},
      {"at", "", "2010-05-12 14:30:00"},
  };
  for (const auto& args : cases) {
    const Result r = Run(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(r.status, 2) << joined;
    EXPECT_EQ(r.out, "") << joined;
    EXPECT_EQ(r.err, std::string(kConvertUsage) + "\n") << joined;
  }
}

TEST_F(ConvertCommandTest, AtAfterAReaderFailureGivesStatusOneAndStillPrintsTheLegend) {
  const std::string input = WriteLegendFile(dir_, 3);  // channel 2 is two blocks short
  const Result r = Run({"at", input, "2010-05-12 14:30:00"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: 文件读取失败。\n");
  EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "垂直游标X: 2010-05-12 14:30:00");
  EXPECT_NE(r.out.find("\n通道01 10.000℃\n"), std::string::npos) << r.out;

  const Result missing = Run({"at", (dir_ / "missing.bin").string(), "2010-05-12 14:30:00"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_EQ(missing.err, "error: 打开文件失败。\n");
  EXPECT_EQ(missing.out, "垂直游标X: 2010-05-12 14:30:00\n");
}

// ---------------------------------------------------------------------------------------------
// The filter and page options

std::string Joined(const std::vector<std::string>& args) {
  std::string joined;
  for (const auto& a : args) joined += a + " ";
  return joined;
}

TEST_F(ConvertCommandTest, CsvAfterAFilterRunHasOnlyTheSelectedColumnsAndTheRowsInsideTheWindow) {
  const std::string input = WriteThreeChannelFile();
  struct Case {
    std::vector<std::string> options;
    const char* csv;
  };
  const Case cases[] = {
      // Rows that held only a sample of an unselected channel disappear.
      {{"--channels", "2"},
       "序号,时间,通道2(%)\n"
       "1,2010年05月12日 14:30:01,10.000\n"
       "2,2010年05月12日 14:30:03,20.000\n"},
      // Both ends of the window are included; the gap at 14:30:03 makes no row.
      {{"--channels", "1,3", "--from", "2010-05-12 14:30:01", "--to", "2010-05-12 14:30:03"},
       "序号,时间,通道1(℃),通道3(单位)\n"
       "1,2010年05月12日 14:30:01,25.000,-\n"
       "2,2010年05月12日 14:30:02,37.500,-\n"},
      // The end defaults to the recording's; the rows are numbered from 1 again.
      {{"--from", "2010-05-12 14:30:03"},
       "序号,时间,通道1(℃),通道2(%),通道3(单位)\n"
       "1,2010年05月12日 14:30:03,-,20.000,-\n"
       "2,2010年05月12日 14:30:10,50.000,-,-\n"},
      // The start defaults to the recording's; a fraction of a second is accepted.
      {{"--to", "2010-05-12 14:30:01.500"},
       "序号,时间,通道1(℃),通道2(%),通道3(单位)\n"
       "1,2010年05月12日 14:30:00,12.500,-,-\n"
       "2,2010年05月12日 14:30:01,25.000,10.000,-\n"},
      // The options in any order, a channel given twice.
      {{"--to", "2010-05-12 14:30:02", "--channels", "2,2,1"},
       "序号,时间,通道1(℃),通道2(%)\n"
       "1,2010年05月12日 14:30:00,12.500,-\n"
       "2,2010年05月12日 14:30:01,25.000,10.000\n"
       "3,2010年05月12日 14:30:02,37.500,-\n"},
      // A channel the recording lacks: no value column, no rows.
      {{"--channels", "4"}, "序号,时间\n"},
      // A window between two samples.
      {{"--from", "2010-05-12 14:30:04", "--to", "2010-05-12 14:30:08"},
       "序号,时间,通道1(℃),通道2(%),通道3(单位)\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"csv", input, "--utf8"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << Joined(args);
    EXPECT_EQ(r.err, "") << Joined(args);
    EXPECT_EQ(r.out, c.csv) << Joined(args);
  }
}

// The CSV line of a table row from the texts the table shows: the same number and values, the
// time as the export writes it (2010年05月12日 14:30:00 for 2010-05-12 14:30:00).
std::string CsvLineOf(const std::vector<std::string>& texts) {
  const std::string& t = texts.at(1);
  std::string line = texts.at(0) + "," + t.substr(0, 4) + "年" + t.substr(5, 2) + "月" +
                     t.substr(8, 2) + "日" + t.substr(10);
  for (std::size_t i = 2; i < texts.size(); ++i) line += "," + texts[i];
  return line + "\n";
}

TEST_F(ConvertCommandTest, CsvAfterAFilterRunIsTheFiltersTable) {
  const std::string input = WriteLegendFile(dir_);
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
  ASSERT_FALSE(LoadRecording(input, LogOff(), summary, channels));
  std::array<bool, 16> all;
  all.fill(true);
  std::array<bool, 16> second{};
  second[1] = true;
  std::array<bool, 16> firstAndThird{};
  firstAndThird[0] = firstAndThird[2] = true;
  const DateTime t0 = *ParseCursorTime("2010-05-12 14:30:00");
  const DateTime second1 = 1.0 / 86400.0;
  struct Case {
    std::vector<std::string> options;
    FilterSettings settings;
  };
  const Case cases[] = {
      {{"--channels", "2"}, {second, summary.startTime, summary.endTime}},
      {{"--channels", "1,3", "--from", "2010-05-12 14:30:05"},
       {firstAndThird, t0 + 5 * second1, summary.endTime}},
      {{"--from", "2010-05-12 14:30:01", "--to", "2010-05-12 14:30:10"},
       {all, t0 + second1, t0 + 10 * second1}},
      {{"--to", "2010-05-12 14:30:09.500", "--channels", "2"}, {second, summary.startTime, t0 + 9.5 * second1}},
  };
  for (const Case& c : cases) {
    const LoadView view = BuildFilteredViewModel(channels, summary, c.settings);
    std::string expected = "序号,时间";
    for (std::size_t i = 2; i < view.table.columns.size(); ++i) {
      expected += "," + view.table.columns[i].caption;
    }
    expected += "\n";
    for (std::size_t r = 0; r < view.table.rows.size(); ++r) {
      expected += CsvLineOf(RowTexts(channels, view.table.rows, view.table.columnChannels, r));
    }
    std::vector<std::string> args = {"csv", input, "--utf8"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << Joined(args);
    EXPECT_FALSE(view.table.rows.empty()) << Joined(args);
    EXPECT_EQ(r.out, expected) << Joined(args);
  }
}

// Channel 1 a sample a second from 10:00:00, `rows` of them; channel 2 every other second.
std::string WriteRowsFile(const fs::path& dir, int rows) {
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 10, 0, 0}, {10, 5, 12, 11, 0, 0}).Channels(0, 1);
  file.Range(0, 30000, 0, 3, 19).Range(1, 30000, 0, 3, 20);
  std::vector<std::int16_t> every, everyOther;
  for (int i = 0; i < rows; ++i) every.push_back(static_cast<std::int16_t>(i));
  for (int i = 0; i < rows; i += 2) everyOther.push_back(static_cast<std::int16_t>(1000 + i));
  const std::int32_t t = RecorderSeconds(2010, 5, 12, 10, 0, 0);
  file.Block(0).Chain({{t, 1, every}});
  file.Block(1).Chain({{t, 2, everyOther}});
  const fs::path path = dir / "rows.bin";
  file.WriteTo(path);
  return path;
}

TEST_F(ConvertCommandTest, CsvPageIsThatTablePageNumberedAsTheTableNumbersIt) {
  const std::string input = WriteRowsFile(dir_, 250);
  const std::vector<std::string> all = SplitLines(Run({"csv", input, "--utf8"}).out);
  ASSERT_EQ(all.size(), 251u);  // the title line and 250 rows
  struct Case {
    std::vector<std::string> options;
    std::size_t first, count;  // rows of the whole table, 0-based
  };
  const Case cases[] = {
      {{"--page", "2", "--rows-per-page", "100"}, 100, 100},
      {{"--rows-per-page", "100", "--page", "3"}, 200, 50},  // the last page holds the rest
      {{"--page", "1", "--rows-per-page", "100"}, 0, 100},
      {{"--page", "1"}, 0, 250},                             // 500 rows a page
      {{"--rows-per-page", "100"}, 0, 250},                  // no page: every row
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"csv", input, "--utf8"};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << Joined(args);
    const std::vector<std::string> lines = SplitLines(r.out);
    ASSERT_EQ(lines.size(), c.count + 1) << Joined(args);
    EXPECT_EQ(lines[0], all[0]);
    for (std::size_t i = 0; i < c.count; ++i) {
      ASSERT_EQ(lines[i + 1], all[c.first + i + 1]) << Joined(args) << " line " << i + 1;
    }
  }
  const std::vector<std::string> page2 = SplitLines(Run({"csv", input, "--utf8", "--page", "2", "--rows-per-page", "100"}).out);
  EXPECT_EQ(page2[1].substr(0, 4), "101,");
  EXPECT_EQ(page2[100].substr(0, 4), "200,");
}

TEST_F(ConvertCommandTest, CsvPageOfAFilteredTableIsTheFileTheSaveCommandWrites) {
  const std::string input = WriteRowsFile(dir_, 250);
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
  ASSERT_FALSE(LoadRecording(input, LogOff(), summary, channels));
  std::array<bool, 16> first{};
  first[0] = true;
  std::array<bool, 16> both{};
  both[0] = both[1] = true;
  struct Case {
    std::vector<std::string> options;
    FilterSettings settings;
    std::uint32_t page;
  };
  const DateTime from = *ParseCursorTime("2010-05-12 10:00:20");
  const Case cases[] = {
      {{"--page", "2", "--rows-per-page", "100", "--from", "2010-05-12 10:00:20"},
       {both, from, summary.endTime, 100}, 2},
      {{"--channels", "1", "--page", "3", "--rows-per-page", "100"},
       {first, summary.startTime, summary.endTime, 100}, 3},
      {{"--channels", "1,2"}, {both, summary.startTime, summary.endTime, 500}, 1},
  };
  for (const Case& c : cases) {
    // What the table shows after the filter, paged to page N and saved.
    const TableView table = BuildFilteredViewModel(channels, summary, c.settings).table;
    PageWindow page = table.page;
    const auto n = static_cast<std::uint32_t>(table.rows.size());
    for (std::uint32_t p = 1; p < c.page; ++p) NextPage(page, n, c.settings.rowsPerPage);
    const fs::path saved = dir_ / "saved.csv";
    ASSERT_FALSE(ExportCsvFile(
        saved, CsvRows{channels, table.rows, table.columnChannels, page.pageStart, page.itemCount}));

    const fs::path out = dir_ / "out.csv";
    std::vector<std::string> args = {"csv", input, "-o", out};
    args.insert(args.end(), c.options.begin(), c.options.end());
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << Joined(args);
    EXPECT_EQ(r.err, "") << Joined(args);
    EXPECT_EQ(ReadAll(out), ReadAll(saved)) << Joined(args);
    EXPECT_EQ(SplitLines(ReadAll(out)).size(), page.itemCount + 1) << Joined(args);
  }
  // Page 2 of the rows from 10:00:20 on: rows 101 to 200 of that table, from 10:02:00.
  const Result r = Run({"csv", input, "--utf8", "--page", "2", "--rows-per-page", "100", "--from",
                        "2010-05-12 10:00:20"});
  const std::vector<std::string> lines = SplitLines(r.out);
  ASSERT_EQ(lines.size(), 101u);
  EXPECT_EQ(lines[1].substr(0, lines[1].find(',', 4)), "101,2010年05月12日 10:02:00");
  EXPECT_EQ(lines[100].substr(0, 4), "200,");
}

TEST_F(ConvertCommandTest, BadFilterAndPageOptionsAreUsageErrorsWithTheirMessage) {
  const std::string input = WriteThreeChannelFile();  // 5 rows from 14:30:00 to 14:30:10
  const std::string t = "2010-05-12 14:30:00";
  struct Case {
    std::vector<std::string> args;
    std::string message;  // the line before the usage line; none when empty
  };
  const Case cases[] = {
      {{"csv", input, "--channels", "17"}, "--channels: there is no channel 17; channels are numbered 1 to 16"},
      {{"csv", input, "--channels", "1,0"}, "--channels: there is no channel 0; channels are numbered 1 to 16"},
      {{"csv", input, "--channels", "two"}, "--channels: there is no channel two; channels are numbered 1 to 16"},
      {{"csv", input, "--channels", "1,,3"}, "--channels takes channel numbers 1 to 16 separated by commas, like 1,3,5"},
      {{"csv", input, "--channels", "1,"}, "--channels takes channel numbers 1 to 16 separated by commas, like 1,3,5"},
      {{"csv", input, "--channels", ""}, "--channels takes channel numbers 1 to 16 separated by commas, like 1,3,5"},
      {{"csv", input, "--from", "2010-05-12 14:30:05", "--to", "2010-05-12 14:30:01"},
       "--from must be earlier than --to (by 1 ms at least)"},
      {{"csv", input, "--to", "2010-05-12 14:30:01", "--from", "2010-05-12 14:30:01"},
       "--from must be earlier than --to (by 1 ms at least)"},
      {{"csv", input, "--from", "yesterday"}, "--from takes a time as yyyy-mm-dd HH:MM:SS[.fff], not 'yesterday'"},
      {{"csv", input, "--to", "2010-02-30 10:00:00"}, "--to takes a time as yyyy-mm-dd HH:MM:SS[.fff], not '2010-02-30 10:00:00'"},
      {{"csv", input, "--from", "2010-05-12 15:30:00"},
       "the window from 2010-05-12 15:30:00.000 to 2010-05-12 15:00:00.000 is empty: its start must be "
       "earlier than its end (the recording runs from 2010-05-12 14:00:00.000 to 2010-05-12 15:00:00.000)"},
      {{"csv", input, "--to", "2010-05-12 13:00:00"},
       "the window from 2010-05-12 14:00:00.000 to 2010-05-12 13:00:00.000 is empty: its start must be "
       "earlier than its end (the recording runs from 2010-05-12 14:00:00.000 to 2010-05-12 15:00:00.000)"},
      {{"csv", input, "--page", "0"}, "--page takes a page number from 1 on, not '0'"},
      {{"csv", input, "--page", "-1"}, "--page takes a page number from 1 on, not '-1'"},
      {{"csv", input, "--page", "2"}, "the table has 1 page of 500 rows; there is no page 2"},
      {{"csv", input, "--page", "4294967295", "--rows-per-page", "10000"},
       "the table has 1 page of 10000 rows; there is no page 4294967295"},
      {{"csv", input, "--page", "2", "--channels", "4"}, "the table has 1 page of 500 rows; there is no page 2"},
      {{"csv", input, "--rows-per-page", "99"}, "rows per page must be a whole number from 100 to 10000, not '99'"},
      {{"csv", input, "--rows-per-page", "10001"}, "rows per page must be a whole number from 100 to 10000, not '10001'"},
      {{"csv", input, "--rows-per-page", "-5"}, "rows per page must be a whole number from 100 to 10000, not '-5'"},
      {{"csv", input, "--rows-per-page", "abc"}, "rows per page must be a whole number from 100 to 10000, not 'abc'"},
      {{"csv", input, "--page"}, "--page needs a value"},
      {{"csv", input, "--from"}, "--from needs a value"},
      {{"csv", input, "--channels", "1", "--channels", "2"}, "--channels is given twice"},
      {{"at", input, t, "--channels", "17"}, "--channels: there is no channel 17; channels are numbered 1 to 16"},
      {{"at", input, "--from", "14:30", t}, "--from takes a time as yyyy-mm-dd HH:MM:SS[.fff], not '14:30'"},
      {{"at", input, t, "--to", "2010-05-12 13:00:00"},
       "the window from 2010-05-12 14:00:00.000 to 2010-05-12 13:00:00.000 is empty: its start must be "
       "earlier than its end (the recording runs from 2010-05-12 14:00:00.000 to 2010-05-12 15:00:00.000)"},
      // Options of other commands.
      {{"at", input, t, "--page", "1"}, ""},
      {{"dump", input, "--channels", "1"}, "dump takes --from, --to and --channels only with --recorder"},
      {{"at", input, "--channels", "1"}, ""},
  };
  const fs::path out = dir_ / "out.csv";
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    if (args[0] == "csv") args.insert(args.begin() + 2, {"-o", out});
    const Result r = Run(args);
    EXPECT_EQ(r.status, 2) << Joined(args);
    EXPECT_EQ(r.out, "") << Joined(args);
    const std::string first = c.message.empty() ? "" : "error: " + c.message + "\n";
    EXPECT_EQ(r.err, first + kConvertUsage + "\n") << Joined(args);
    EXPECT_FALSE(fs::exists(out)) << Joined(args);
  }
}

TEST_F(ConvertCommandTest, AtAfterAFilterRunReadsTheFiltersLines) {
  const std::string input = WriteLegendFile(dir_);
  struct Case {
    std::vector<std::string> options;
    const char* at;
    const char* legend;
  };
  const Case cases[] = {
      // Only the selected channels have a line.
      {{"--channels", "1,3"}, "2010-05-12 14:30:01.400",
       "垂直游标X: 2010-05-12 14:30:01\n通道01 10.500℃\n通道03  ---\n"},
      {{"--channels", "2"}, "2010-05-12 14:30:01", "垂直游标X: 2010-05-12 14:30:01\n通道02 20.000%\n"},
      {{"--channels", "5"}, "2010-05-12 14:30:01", "垂直游标X: 2010-05-12 14:30:01\n"},
      // Inside the window the lines read as after the load ...
      {{"--from", "2010-05-12 14:30:05", "--to", "2010-05-12 14:30:15"}, "2010-05-12 14:30:12",
       "垂直游标X: 2010-05-12 14:30:12\n通道01 16.000℃\n通道02  ---\n通道03  ---\n"},
      // ... outside it they hold nothing: 18.000 and 10.500 after the load.
      {{"--from", "2010-05-12 14:30:05", "--to", "2010-05-12 14:30:15"}, "2010-05-12 14:30:16",
       "垂直游标X: 2010-05-12 14:30:16\n通道01  ---\n通道02  ---\n通道03  ---\n"},
      {{"--from", "2010-05-12 14:30:05", "--channels", "1"}, "2010-05-12 14:30:01",
       "垂直游标X: 2010-05-12 14:30:01\n通道01  ---\n"},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = {"at", input};
    args.insert(args.end(), c.options.begin(), c.options.end());
    args.push_back(c.at);
    const Result r = Run(args);
    EXPECT_EQ(r.status, 0) << Joined(args);
    EXPECT_EQ(r.err, "") << Joined(args);
    EXPECT_EQ(r.out, c.legend) << Joined(args);
  }
  // Without a filter the same moments read the whole lines.
  EXPECT_EQ(Run({"at", input, "2010-05-12 14:30:16"}).out,
            "垂直游标X: 2010-05-12 14:30:16\n通道01 18.000℃\n通道02  ---\n通道03  ---\n");
}

}  // namespace
}  // namespace vantiro
