#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "recorder/GbkText.h"
#include "recorder/RecorderFile.h"
#include "support/FileSizeLimit.h"
#include "support/RecorderFileBuilder.h"
#include "vantiro-convert/ConvertCommand.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::FileSizeLimit;
using testing::RecorderFileBuilder;
using testing::RecorderSeconds;

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

}  // namespace
}  // namespace vantiro
