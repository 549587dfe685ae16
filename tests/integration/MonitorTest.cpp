// vantiro-monitor against the simulated recorder: in this process through RunMonitor, and both
// tools as the programs they are, talking over a pseudo-terminal.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "instrument/CommSettings.h"
#include "instrument/SerialLibrary.h"
#include "integration/SimulatedLine.h"
#include "recorder/DateTime.h"
#include "vantiro-monitor/MonitorCommand.h"
#include "integration/MonitorRun.h"
#include "archive/Archive.h"

extern char** environ;

namespace vantiro {
namespace {

using testing::ChannelSection;
using testing::SimulatedLine;

// Channels 3, 5 and 13 differ from the defaults: mA with two decimals, a unit code with a high
// byte (its low byte is ℃), no decimals around zero.
constexpr const char* kChannelFile =
    "# n scale unit HH H L LL\n"
    "3 2 27 1800 1600 400 200\n"
    "5 3 275 900 800 200 100\n"
    "13 4 20 50 40 -40 -50\n";

sim::ChannelTable TestChannels() {
  sim::ChannelTable table = sim::DefaultChannels();
  std::string error;
  EXPECT_TRUE(sim::ParseChannelTable(kChannelFile, table, error)) << error;
  return table;
}

const std::string kEnabled = ChannelSection({1, 3, 5, 13, 15});

// With the motion frozen at its start, for channels 1, 3, 5, 13 and 15; "T" stands for the time.
const std::string kChannelLines =
    "channel 1 scale=3 unit=℃ HH=90.000 H=80.000 L=20.000 LL=10.000\n"
    "channel 3 scale=2 unit=mA HH=18.000 H=16.000 L=4.000 LL=2.000\n"
    "channel 5 scale=3 unit=℃ HH=90.000 H=80.000 L=20.000 LL=10.000\n"
    "channel 13 scale=4 unit=% HH=50.000 H=40.000 L=-40.000 LL=-50.000\n"
    "channel 15 scale=3 unit=m3/h HH=90.000 H=80.000 L=20.000 LL=10.000\n";
const std::string kPollLine = "T 1=50.000 3=16.220!H 5=94.000!HH!H 13=-60.000!L!LL 15=18.900!L\n";

std::string LocalNowText() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// `text` with the time at the start of each poll line replaced by "T", each time checked to lie
// between `before` and `after` (texts of the same pattern compare as the times do).
std::string MaskTimes(const std::string& text, const std::string& before,
                      const std::string& after) {
  std::istringstream lines(text);
  std::string masked;
  for (std::string line; std::getline(lines, line);) {
    if (line.size() >= 19 && line[4] == '-' && line[13] == ':') {
      const std::string time = line.substr(0, 19);
      EXPECT_GE(time, before);
      EXPECT_LE(time, after);
      line.replace(0, 19, "T");
    }
    masked += line + "\n";
  }
  return masked;
}

using testing::Monitor;
using Result = testing::MonitorResult;

TEST(MonitorTest, PrintsTheChannelsThenOneLinePerPoll) {
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) { o.freezeSeconds = 0.0; }),
                     TestChannels());
  ASSERT_TRUE(line.Started());
  const std::string ini = line.WriteConfig(1, kEnabled);

  const std::string before = LocalNowText();
  const Result result = Monitor({"--config", ini, "--count", "2", "--interval", "10"});
  const std::string after = LocalNowText();
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(MaskTimes(result.out, before, after), kChannelLines + kPollLine + kPollLine);

  const Result probeOnly = Monitor({"--probe-only", "--config", ini});
  EXPECT_EQ(probeOnly.status, 0);
  EXPECT_EQ(probeOnly.out, kChannelLines);
}

TEST(MonitorTest, AFailedPollIsReportedAndTheNextOneCarriesOn) {
  // Replies 1..5 are the probe of channel 1 (its tail read fails once and is retried); replies 6
  // and 9 are bad.
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) {
    o.freezeSeconds = 0.0;
    o.badCrcEvery = 3;
  }));
  ASSERT_TRUE(line.Started());
  const std::string ini = line.WriteConfig(1, ChannelSection({1}));
  const Result result = Monitor({"--config", ini, "--count", "4", "--interval", "1"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(MaskTimes(result.out, "0", "9"),
            "channel 1 scale=3 unit=℃ HH=90.000 H=80.000 L=20.000 LL=10.000\n"
            "poll failed\nT 1=50.000\nT 1=50.000\npoll failed\n");
}

// --trace: every request and what came back on standard error, the output unchanged.
TEST(MonitorTest, TraceShowsEachRequestAndItsReplyWithTheOutcome) {
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) {
    o.freezeSeconds = 0.0;
    o.badCrcEvery = 3;
  }));
  ASSERT_TRUE(line.Started());
  const std::string ini = line.WriteConfig(1, ChannelSection({1}));
  const Result result = Monitor({"--config", ini, "--count", "4", "--interval", "1", "--trace"});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(MaskTimes(result.out, "0", "9"),
            "channel 1 scale=3 unit=℃ HH=90.000 H=80.000 L=20.000 LL=10.000\n"
            "poll failed\nT 1=50.000\nT 1=50.000\npoll failed\n");
  // Two lines an exchange: the request, then the reply with its outcome.
  std::vector<std::string> lines;
  std::istringstream err(result.err);
  for (std::string l; std::getline(err, l);) lines.push_back(l);
  ASSERT_GE(lines.size(), 2u * 9u);
  ASSERT_EQ(lines.size() % 2, 0u);
  int answered = 0;
  int badCrc = 0;
  for (std::size_t i = 0; i < lines.size(); i += 2) {
    SCOPED_TRACE(lines[i]);
    EXPECT_NE(lines[i].find(" → 01 "), std::string::npos);
    EXPECT_NE(lines[i + 1].find(" ← 01 "), std::string::npos);
    if (lines[i + 1].ends_with("(应答)")) ++answered;
    if (lines[i + 1].ends_with("(CRC校验不正确!)")) ++badCrc;
  }
  EXPECT_GE(badCrc, 3);
  EXPECT_GE(answered, 6);
  EXPECT_EQ(answered + badCrc, static_cast<int>(lines.size() / 2));
}

TEST(MonitorTest, ASilentRecorderEndsAfterTheProbeWithItsAddress) {
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) {
    o.address = 9;
    o.silent = true;
  }));
  ASSERT_TRUE(line.Started());
  const Result result = Monitor({"--config", line.WriteConfig(9), "--count", "1"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "下位机无响应，下位机地址:9\n");
  EXPECT_FALSE(linkOpen);
}

TEST(MonitorTest, AMissingDeviceEndsAtTheOpen) {
  testing::TempDir dir;
  const std::string ini = dir.File("config.ini");
  testing::WriteText(ini, testing::ComSection(1) + "[DEVICE]\nCOM1=" + dir.File("gone") + "\n");
  const Result result = Monitor({"--config", ini});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "串口初始化失败!\n");
}

TEST(MonitorTest, UsageErrors) {
  const std::vector<std::vector<std::string>> cases = {
      {"--count"},  {"--count", "0"}, {"--count", "2x"}, {"--interval", "-1"}, {"--interval", ""},
      {"--config"}, {"--config", ""}, {"--verbose"},     {"config.ini"},
      {"--trace", "--trace"}, {"--download", "a.c", "--trace"},
  };
  for (const auto& args : cases) {
    const Result result = Monitor(args);
    EXPECT_EQ(result.status, 2) << args[0];
    EXPECT_EQ(result.out, "") << args[0];
    EXPECT_EQ(result.err, std::string(kMonitorUsage) + "\n") << args[0];
  }
}

// ---------------------------------------------------------------------------------------------
// The two programs.

class Child {
 public:
  Child(const std::string& program, const std::vector<std::string>& args) {
    int in[2], out[2], err[2];
    EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    ::posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    std::vector<std::string> argv0 = {program};
    argv0.insert(argv0.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : argv0) argv.push_back(a.data());
    argv.push_back(nullptr);
    EXPECT_EQ(::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ), 0)
        << program;
    ::posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    ::close(err[1]);
    in_ = in[1];
    out_ = out[0];
    err_ = err[0];
  }
  ~Child() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
    for (int fd : {in_, out_, err_}) {
      if (fd >= 0) ::close(fd);
    }
  }

  // The next line of standard output; nothing at its end or when nothing comes for a long time
  // (a guard against a hang, not a measure).
  std::optional<std::string> ReadLine() { return NextLine(out_, outText_); }
  // The same of standard error.
  std::optional<std::string> ReadErrorLine() { return NextLine(err_, errText_); }
  // The rest of standard output and standard error, up to their ends.
  std::string RestOfOutput() {
    while (ReadSome(out_, outText_)) {
    }
    std::string rest;
    rest.swap(outText_);
    return rest;
  }
  std::string Errors() {
    while (ReadSome(err_, errText_)) {
    }
    std::string rest;
    rest.swap(errText_);
    return rest;
  }
  void CloseInput() {
    ::close(in_);
    in_ = -1;
  }
  void Signal(int signal) { ::kill(pid_, signal); }
  // The exit status; -1 for a death by signal.
  int Wait() {
    int status = 0;
    while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // The exit status once the program has ended, if it does within `limit` (a loose bound on what
  // should take a moment, not a measure); nothing, the program still running, when it does not.
  std::optional<int> WaitAtMost(std::chrono::milliseconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    for (;;) {
      int status = 0;
      const pid_t ended = ::waitpid(pid_, &status, WNOHANG);
      if (ended == pid_) {
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      if (std::chrono::steady_clock::now() >= end) return std::nullopt;
      ::poll(nullptr, 0, 20);
    }
  }

 private:
  static std::optional<std::string> NextLine(int fd, std::string& text) {
    for (;;) {
      if (const auto newline = text.find('\n'); newline != std::string::npos) {
        std::string line = text.substr(0, newline);
        text.erase(0, newline + 1);
        return line;
      }
      if (!ReadSome(fd, text)) return std::nullopt;
    }
  }
  static bool ReadSome(int fd, std::string& text) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 20000) <= 0) return false;
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    text.append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  pid_t pid_ = -1;
  int in_ = -1, out_ = -1, err_ = -1;
  std::string outText_;
  std::string errText_;
};

const std::string kBin = VANTIRO_BIN_DIR;

// vantiro-monitor killed (SIGKILL) in the middle of recording: the archive opens, its check passes,
// and every reading older than the commit period (5 s) is in it, once.
TEST(MonitorProgramTest, AKilledMonitorLosesAtMostItsLastFiveSeconds) {
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  const std::string ini = line.WriteConfig(1, ChannelSection({1, 2, 3}));
  testing::TempDir dir;
  const std::string archive = dir.File("live.sqlite");
  Child monitor(kBin + "/vantiro-monitor", {"--config", ini, "--archive", archive, "--interval", "250"});
  std::vector<std::string> polls;  // the instrument times printed
  const auto start = std::chrono::steady_clock::now();
  while (std::chrono::steady_clock::now() - start < std::chrono::seconds(12)) {
    const std::optional<std::string> text = monitor.ReadLine();
    ASSERT_TRUE(text);
    if (text->size() > 19 && (*text)[4] == '-') polls.push_back(text->substr(0, 19));
  }
  monitor.Signal(SIGKILL);
  EXPECT_EQ(monitor.Wait(), -1);
  ASSERT_FALSE(polls.empty());

  std::string error;
  std::unique_ptr<Archive> kept = Archive::Open(archive, false, error);
  ASSERT_TRUE(kept) << error;
  const auto problems = kept->Check(error);
  ASSERT_TRUE(problems) << error;
  EXPECT_TRUE(problems->empty()) << (*problems)[0];
  const auto recorder = kept->FindRecorder("COM1 地址1", error);
  ASSERT_TRUE(recorder) << error;
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
  ASSERT_TRUE(kept->ReadPeriod(recorder->id, INT64_MIN / 4, INT64_MAX / 4, {}, true, summary, channels, error));
  ASSERT_EQ(channels.size(), 3u);
  std::set<std::string> archived;
  for (std::size_t i = 0; i < channels[2].times.size(); ++i) {
    if (i > 0) {
      ASSERT_LT(ToArchiveMs(channels[2].times[i - 1]), ToArchiveMs(channels[2].times[i])) << "a reading twice";
    }
    archived.insert(FormatDateTime(channels[2].times[i], DatePattern::Cursor));
  }
  // Every second printed more than six seconds before the last one printed is there.
  const std::string last = polls.back();
  const DateTime lastTime = ParseDateTime(last).value_or(0.0);
  for (const std::string& printed : polls) {
    if (lastTime - ParseDateTime(printed).value_or(0.0) > 6.0 / 86400.0) {
      EXPECT_TRUE(archived.count(printed)) << printed << " printed but not kept";
    }
  }
}

TEST(MonitorProgramTest, MonitorsTheSimulatorThroughItsLink) {
  testing::TempDir dir;
  const std::string channels = dir.File("channels.txt");
  testing::WriteText(channels, kChannelFile);
  const std::string link = dir.File("recorder");
  Child simulator(kBin + "/recorder-sim",
                  {"--link", link, "--channels", channels, "--freeze", "0", "--exit-on-eof"});
  const std::optional<std::string> device = simulator.ReadLine();
  ASSERT_TRUE(device);
  EXPECT_EQ(device->rfind("/dev/", 0), 0u) << *device;
  EXPECT_EQ(std::filesystem::read_symlink(link).string(), *device);

  const std::string ini = dir.File("config.ini");
  testing::WriteText(ini, testing::ComSection(1) + kEnabled + "[DEVICE]\nCOM1=" + link + "\n");
  const std::string before = LocalNowText();
  Child counted(kBin + "/vantiro-monitor", {"--config", ini, "--count", "2", "--interval", "10"});
  const std::string out = counted.RestOfOutput();
  EXPECT_EQ(counted.Errors(), "");
  EXPECT_EQ(counted.Wait(), 0);
  EXPECT_EQ(MaskTimes(out, before, LocalNowText()), kChannelLines + kPollLine + kPollLine);

  // Without a count it polls until interrupted, and an interrupt ends it with the shell's status
  // of an interrupted command.
  Child endless(kBin + "/vantiro-monitor", {"--config", ini, "--interval", "10"});
  int polls = 0;
  while (polls < 3) {
    const std::optional<std::string> line = endless.ReadLine();
    ASSERT_TRUE(line);
    if (line->rfind("channel ", 0) != 0) ++polls;
  }
  endless.Signal(SIGINT);
  EXPECT_EQ(endless.Wait(), 130);

  simulator.CloseInput();
  EXPECT_EQ(simulator.Wait(), 0);
  EXPECT_FALSE(std::filesystem::is_symlink(link));
}

// A recorder-sim process serving on a link in `dir`, with `options` (faults) given; config.ini
// there points port 1 at it with the [COM] and [CHANNEL] sections given.
struct SimulatorProcess {
  SimulatorProcess(const testing::TempDir& dir, std::vector<std::string> options,
                   const std::string& com, const std::string& channels)
      : link(dir.File("recorder")), ini(dir.File("config.ini")) {
    options.insert(options.end(), {"--link", link, "--exit-on-eof"});
    process.emplace(kBin + "/recorder-sim", options);
    device = process->ReadLine();
    testing::WriteText(ini, com + channels + "[DEVICE]\nCOM1=" + link + "\n");
  }
  std::string link;
  std::string ini;
  std::optional<Child> process;
  std::optional<std::string> device;
};

// The port is free again: another program opens it (the exclusive hold and the lock are gone).
bool PortIsFree(const std::string& ini) {
  TermiosSerialLibrary otherProgram(ini);
  if (otherProgram.Open(1) != kSerialOk) return false;
  otherProgram.Close(1);
  return true;
}

// SIGINT and SIGTERM end a long run within moments, whatever it is waiting for (a slow
// acknowledgement, the probe, a poll the recorder stalls), close the port, and leave the shell's
// status of a command ended by that signal: 130 and 143. A download stopped midway says so on
// standard output, where its outcome goes; nothing is claimed as done.
TEST(MonitorProgramTest, ASignalEndsALongRunAtOnce) {
  struct Case {
    const char* name;
    std::vector<std::string> simulator;  // recorder-sim's faults
    std::string com;                     // [COM] of config.ini
    std::string channels;                // [CHANNEL] of config.ini
    bool download;                       // --download of a 20-block picture, else monitoring
    const char* signalAfter;             // the line (standard error for a download) awaited first
    int signal;
    int status;
    const char* out;  // standard output after the awaited line
  };
  // Replies 0.8 s late: a block's acknowledgement takes that long, the first block is refused
  // once. Replies 1 s late with 16 channels: the probe takes over half a minute. The fifth reply
  // (the second poll's, after a probe of channel 1 in three) held 30 s: the polls wait for it.
  // The default line (odd parity) but for the last, 115200 bits per second, even parity and two
  // stop bits.
  const std::string odd = testing::ComSection(1, 1);
  const std::string unusual =
      "[COM]\nport=0\nbaudRate=6\nstopBit=1\ndataBit=3\ncheckType=2\naddress=1\n";
  const Case cases[] = {
      {"download, SIGINT", {"--delay", "800", "--refuse-block", "1"}, odd, ChannelSection({}),
       true, "download 2/22", SIGINT, 130, "下装已中止!\n"},
      {"download, SIGTERM", {"--delay", "800", "--refuse-block", "1"}, odd, ChannelSection({}),
       true, "download 2/22", SIGTERM, 143, "下装已中止!\n"},
      {"probe, SIGTERM", {"--delay", "1000"}, odd, ChannelSection({}), false, nullptr, SIGTERM,
       143, ""},
      {"stalled poll, SIGINT", {"--stall", "5", "--delay", "30000"}, unusual, ChannelSection({1}),
       false, "channel 1 scale=3 unit=℃ HH=90.000 H=80.000 L=20.000 LL=10.000", SIGINT, 130, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    SimulatorProcess simulator(dir, c.simulator, c.com, c.channels);
    ASSERT_TRUE(simulator.device);
    const std::string picture = dir.File("logo");
    std::string text = "const unsigned char logo[] = {\n";
    for (int i = 0; i < 20 * 512; ++i) text += "0X5A,";
    testing::WriteText(picture, text + "\n};\n");
    std::vector<std::string> args = {"--config", simulator.ini};
    if (c.download) {
      args.insert(args.end(), {"--download", picture});
    } else {
      args.insert(args.end(), {"--interval", "100"});
    }
    Child monitor(kBin + "/vantiro-monitor", args);
    if (c.signalAfter == nullptr) {
      ::poll(nullptr, 0, 500);  // into the probe
    } else {
      for (;;) {
        const std::optional<std::string> line =
            c.download ? monitor.ReadErrorLine() : monitor.ReadLine();
        ASSERT_TRUE(line) << "the run ended early";
        if (*line == c.signalAfter) break;
      }
      if (!c.download) {
        ASSERT_TRUE(monitor.ReadLine());  // the first poll's line
      }
      ::poll(nullptr, 0, 300);  // into the exchange
    }
    monitor.Signal(c.signal);
    const std::optional<int> status = monitor.WaitAtMost(std::chrono::seconds(10));
    if (!status) {
      ADD_FAILURE() << "still running 10 s after the signal";
      continue;
    }
    EXPECT_EQ(*status, c.status);
    EXPECT_EQ(monitor.RestOfOutput(), c.out);
    const std::string errors = monitor.Errors();
    EXPECT_EQ(errors.find("下位机无响应"), std::string::npos) << errors;
    EXPECT_TRUE(PortIsFree(simulator.ini));
  }
}

TEST(MonitorProgramTest, SimulatorEndsCleanlyOnATerminationSignal) {
  Child simulator(kBin + "/recorder-sim", {});
  ASSERT_TRUE(simulator.ReadLine());
  simulator.Signal(SIGTERM);
  EXPECT_EQ(simulator.Wait(), 0);

  testing::TempDir dir;
  Child badFile(kBin + "/recorder-sim", {"--channels", dir.File("missing.txt")});
  EXPECT_EQ(badFile.Wait(), 2);
  EXPECT_NE(badFile.Errors().find("cannot read"), std::string::npos);
}

}  // namespace
}  // namespace vantiro
