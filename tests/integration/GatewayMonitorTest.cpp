// Recorders behind a gateway and several recorders on one line: vantiro-monitor through the real
// link layer against recorder-sim listening on the loopback address or serving several addresses.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <sstream>

#include "archive/Archive.h"
#include "integration/MonitorRun.h"
#include "integration/SimulatedLine.h"

namespace vantiro {
namespace {

using testing::ChannelSection;
using testing::Monitor;
using testing::SimulatedLine;

int PollLines(const std::string& out) {
  int lines = 0;
  std::istringstream in(out);
  for (std::string line; std::getline(in, line);) {
    if (line.size() > 19 && line[4] == '-' && line[13] == ':') ++lines;
  }
  return lines;
}

class GatewayMonitorTest : public ::testing::TestWithParam<bool> {};  // Modbus TCP, or RTU over TCP

TEST_P(GatewayMonitorTest, TheRecorderBehindTheGatewayIsProbedAndPolled) {
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) {
    o.tcpPort = 0;
    o.modbusTcp = GetParam();
    o.address = 9;
  }));
  ASSERT_TRUE(line.Started());
  EXPECT_EQ(line.DevicePath().rfind(GetParam() ? "modbus-tcp://127.0.0.1:" : "tcp://127.0.0.1:", 0), 0u);
  const std::string ini = line.WriteConfig(9, ChannelSection({1, 16}));
  const auto result = Monitor({"--config", ini, "--count", "3", "--interval", "10", "--no-archive"});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "");
  EXPECT_NE(result.out.find("channel 16 scale=3 unit="), std::string::npos) << result.out;
  EXPECT_EQ(PollLines(result.out), 3) << result.out;
}

// The unfriendly gateways: one that takes the connection and never answers, one that closes it
// halfway through each reply, and a port nothing listens on. Each ends with its message within the
// link's time-outs.
TEST_P(GatewayMonitorTest, AGatewayThatFailsEndsWithAClearMessage) {
  using Clock = std::chrono::steady_clock;
  for (const bool closing : {false, true}) {
    SCOPED_TRACE(closing ? "closes mid-reply" : "never answers");
    SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) {
      o.tcpPort = 0;
      o.modbusTcp = GetParam();
      o.silent = !closing;
      o.closeMidReply = closing;
    }));
    ASSERT_TRUE(line.Started());
    const Clock::time_point start = Clock::now();
    const auto result = Monitor({"--config", line.WriteConfig(1, ChannelSection({1})), "--probe-only"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "下位机无响应，下位机地址:1\n");
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(30));
  }
  // A port nothing listens on: taken and let go again.
  const int probe = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  socklen_t size = sizeof address;
  ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size);
  ::close(probe);
  const std::string url = std::string(GetParam() ? "modbus-tcp" : "tcp") + "://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  testing::TempDir dir;
  const std::string ini = dir.File("config.ini");
  testing::WriteText(ini, testing::ComSection(1) + ChannelSection({1}) + "[DEVICE]\nCOM1=" + url + "\n");
  const auto refused = Monitor({"--config", ini, "--probe-only"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("串口初始化失败!"), std::string::npos) << refused.err;
}

INSTANTIATE_TEST_SUITE_P(Kinds, GatewayMonitorTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "ModbusTcp" : "RtuOverTcp"; });

// Two recorders share a line: each answers only its own address, and one that is silent does not
// keep the other from answering.
TEST(SharedLineTest, EachRecorderOnTheLineAnswersItsOwnAddress) {
  sim::SimOptions first;
  first.address = 1;
  sim::SimOptions second;
  second.address = 2;
  second.silent = true;
  sim::SimOptions third;
  third.address = 3;
  sim::SimulatorThread bus({{first, sim::DefaultChannels()}, {second, sim::DefaultChannels()}, {third, sim::DefaultChannels()}});
  std::string error;
  ASSERT_TRUE(bus.Start(error)) << error;
  testing::TempDir dir;
  const std::string ini = dir.File("config.ini");
  for (const int address : {1, 3}) {
    testing::WriteText(ini, testing::ComSection(address) + ChannelSection({1}) + "[DEVICE]\nCOM1=" + bus.DevicePath() + "\n");
    const auto result = Monitor({"--config", ini, "--count", "2", "--interval", "10", "--no-archive"});
    EXPECT_EQ(result.status, 0) << address;
    EXPECT_EQ(PollLines(result.out), 2) << address;
  }
  testing::WriteText(ini, testing::ComSection(2) + ChannelSection({1}) + "[DEVICE]\nCOM1=" + bus.DevicePath() + "\n");
  EXPECT_EQ(Monitor({"--config", ini, "--probe-only"}).status, 1);
  bus.Stop();
  EXPECT_GT(bus.Model(0).Requests(), 0);
  EXPECT_GT(bus.Model(1).Requests(), 0);
  EXPECT_GT(bus.Model(2).Requests(), 0);
  EXPECT_EQ(bus.Model(1).Replies(), 0);
}

// vantiro-monitor with further recorders in config.ini: each polled after the first, its lines
// led by its name, a silent one said once and polled as failed, each kept in its own recorder.
TEST(SharedLineTest, TheMonitorPollsEveryRecorderOfTheSettings) {
  sim::SimOptions first;
  sim::SimOptions silent;
  silent.address = 2;
  silent.silent = true;
  sim::SimOptions third;
  third.address = 3;
  sim::SimulatorThread bus({{first, sim::DefaultChannels()}, {silent, sim::DefaultChannels()}, {third, sim::DefaultChannels()}});
  std::string error;
  ASSERT_TRUE(bus.Start(error)) << error;
  testing::TempDir dir;
  const std::string ini = dir.File("config.ini");
  testing::WriteText(ini, testing::ComSection(1) + ChannelSection({1}) + "[DEVICE]\nCOM1=" + bus.DevicePath() +
                              "\n" + testing::RecorderSection(2, 3, {5}, "三号") + testing::RecorderSection(3, 2));
  const std::string archive = dir.File("a.sqlite");
  const auto result = Monitor({"--config", ini, "--count", "3", "--interval", "1000", "--archive", archive});
  EXPECT_EQ(result.status, 0) << result.err;
  EXPECT_EQ(result.err, "[COM1 地址2] 下位机无响应，下位机地址:2\n");
  EXPECT_NE(result.out.find("[三号] channel 5 scale=3 unit="), std::string::npos) << result.out;
  int main = 0, third_ = 0, failed = 0;
  std::istringstream lines(result.out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("[三号] 20", 0) == 0 && line.find(" 5=") != std::string::npos) ++third_;
    if (line.rfind("20", 0) == 0 && line.find(" 1=") != std::string::npos) ++main;
    if (line == "[COM1 地址2] poll failed") ++failed;
  }
  EXPECT_EQ(main, 3) << result.out;
  EXPECT_EQ(third_, 3) << result.out;
  EXPECT_EQ(failed, 3) << result.out;
  std::unique_ptr<Archive> kept = Archive::Open(archive, false, error);
  ASSERT_TRUE(kept) << error;
  EXPECT_TRUE(kept->FindRecorder("三号", error));
  EXPECT_TRUE(kept->FindRecorder("COM1 地址1", error));
  EXPECT_FALSE(kept->FindRecorder("COM1 地址2", error));
}

}  // namespace
}  // namespace vantiro
