// The instrument link against the simulated recorder, through the real termios layer and a
// pseudo-terminal: probing, polling, the faults of a bad line and the picture download.

#include <gtest/gtest.h>

#include <cmath>
#include <ctime>
#include <chrono>
#include <functional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "instrument/CommSettings.h"
#include "instrument/ModbusRtuImpl.h"
#include "integration/SimulatedLine.h"
#include "recorder/DateTime.h"

namespace vantiro {
namespace {

using testing::ChannelSection;
using testing::SimulatedLine;
using Bytes = std::vector<std::uint8_t>;

std::string LastError() { return std::string(ErrorTextView(lastErrorText)); }

DateTime LocalNow() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return *EncodeDateTime(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                         local.tm_min, std::min(local.tm_sec, 59));
}

// The channel table of these tests: defaults, with channel 3 in mA with two decimals and channel
// 13 without decimals around zero.
sim::ChannelTable TestChannels() {
  sim::ChannelTable table = sim::DefaultChannels();
  table[2] = sim::ChannelSetup{2, 27, 1800, 1600, 400, 200};
  table[12] = sim::ChannelSetup{4, 20, 50, 40, -40, -50};
  return table;
}

// Whether `value` is a raw value channel `index` passes through while its motion runs from
// `from` to `to` seconds (sampled finely; the motion moves less than one raw step between samples).
bool MotionPassesThrough(const sim::ChannelSetup& channel, int index, double from, double to,
                         float value) {
  std::int16_t low = sim::MotionValue(channel, index, from);
  std::int16_t high = low;
  for (double s = from; s <= to; s += 0.001) {
    const std::int16_t v = sim::MotionValue(channel, index, s);
    low = std::min(low, v);
    high = std::max(high, v);
  }
  return value >= low - 1 && value <= high + 1;
}

// A link over its own termios library, reading the port mapping from `ini`.
struct Link {
  explicit Link(const std::string& ini) : library(ini) { LoadCommSettings(ini); }
  TermiosSerialLibrary library;
  ModbusRtuImpl instrument{library};
};

TEST(InstrumentLinkTest, ProbeReadsTheConfigurationAndPollsFollowTheRecorder) {
  const sim::ChannelTable table = TestChannels();
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) { o.freezeSeconds = 0.0; }),
                     table);
  ASSERT_TRUE(line.Started());
  Link link(line.WriteConfig());
  channelConfig = {};

  ASSERT_TRUE(link.instrument.OpenLink()) << LastError();
  ASSERT_TRUE(link.instrument.Probe()) << LastError();
  struct Expected {
    int channel;
    ChannelConfig config;
  };
  const Expected expected[] = {
      {1, {3, 19, 90.0f, 80.0f, 20.0f, 10.0f}},
      {2, {3, 27, 90.0f, 80.0f, 20.0f, 10.0f}},
      {3, {2, 27, 18.0f, 16.0f, 4.0f, 2.0f}},
      {13, {4, 20, 50.0f, 40.0f, -40.0f, -50.0f}},
  };
  for (const Expected& e : expected) {
    const ChannelConfig& got = channelConfig[static_cast<std::size_t>(e.channel - 1)];
    EXPECT_EQ(got.scaleCode, e.config.scaleCode) << e.channel;
    EXPECT_EQ(got.unitCode, e.config.unitCode) << e.channel;
    EXPECT_FLOAT_EQ(got.limitHH, e.config.limitHH) << e.channel;
    EXPECT_FLOAT_EQ(got.limitH, e.config.limitH) << e.channel;
    EXPECT_FLOAT_EQ(got.limitL, e.config.limitL) << e.channel;
    EXPECT_FLOAT_EQ(got.limitLL, e.config.limitLL) << e.channel;
  }

  const DateTime before = LocalNow();
  ASSERT_TRUE(link.instrument.PollLive()) << LastError();
  const DateTime after = LocalNow();
  EXPECT_GE(instrumentTime, before - 1e-9);
  EXPECT_LE(instrumentTime, after + 1e-9);

  // The value of each channel and its flags, worked out from the raw value and the raw limits.
  for (int k = 0; k < kInstrumentChannels; ++k) {
    const sim::ChannelSetup& c = table[static_cast<std::size_t>(k)];
    const int raw = sim::MotionValue(c, k, 0.0);
    const double divisor = std::pow(10.0, 4 - c.scaleCode);
    EXPECT_NEAR(liveValues[static_cast<std::size_t>(k)], raw / divisor, 1e-4) << k;
    const bool hh = raw > c.limitHH;
    const bool h = !hh && raw > c.limitH;
    const bool ll = !hh && !h && raw < c.limitLL;
    const bool l = !hh && !h && !ll && raw < c.limitL;
    EXPECT_EQ(alarmHH[static_cast<std::size_t>(k)], hh ? 1 : 0) << k;
    EXPECT_EQ(alarmH[static_cast<std::size_t>(k)], hh || h ? 1 : 0) << k;
    EXPECT_EQ(alarmL[static_cast<std::size_t>(k)], ll || l ? 1 : 0) << k;
    EXPECT_EQ(alarmLL[static_cast<std::size_t>(k)], ll ? 1 : 0) << k;
  }
  // At the start of the motion: channel 5 at its peak, channel 3 between H and HH, channel 13 at
  // its trough, channel 1 in the middle.
  EXPECT_FLOAT_EQ(liveValues[4], 94.0f);
  EXPECT_EQ(alarmHH[4] + alarmH[4] + alarmL[4] + alarmLL[4], 2);
  EXPECT_FLOAT_EQ(liveValues[2], 16.22f);
  EXPECT_EQ(alarmHH[2] * 1000 + alarmH[2] * 100 + alarmL[2] * 10 + alarmLL[2], 100);
  EXPECT_FLOAT_EQ(liveValues[12], -60.0f);
  EXPECT_EQ(alarmHH[12] * 1000 + alarmH[12] * 100 + alarmL[12] * 10 + alarmLL[12], 11);
  EXPECT_FLOAT_EQ(liveValues[0], 50.0f);
  EXPECT_EQ(alarmHH[0] + alarmH[0] + alarmL[0] + alarmLL[0], 0);
  EXPECT_TRUE(link.instrument.CloseLink());
}

TEST(InstrumentLinkTest, ProbeSkipsDisabledChannels) {
  SimulatedLine line({}, TestChannels());
  ASSERT_TRUE(line.Started());
  Link link(line.WriteConfig(1, ChannelSection({1, 2, 4})));
  channelConfig = {};
  channelConfig[2].scaleCode = 77;
  ASSERT_TRUE(link.instrument.OpenLink());
  ASSERT_TRUE(link.instrument.Probe()) << LastError();
  link.instrument.CloseLink();
  line.Simulator().Stop();
  EXPECT_EQ(line.Simulator().Model().Requests(), 1 + 2 * 3);
  EXPECT_EQ(channelConfig[2].scaleCode, 77);
  EXPECT_EQ(channelConfig[3].unitCode, 13);
}

TEST(InstrumentLinkTest, ValuesMoveBetweenPolls) {
  // Not frozen: the motion runs with the clock, so two polls far enough apart differ somewhere.
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  Link link(line.WriteConfig());
  channelConfig = {};
  ASSERT_TRUE(link.instrument.OpenLink());
  ASSERT_TRUE(link.instrument.Probe());
  ASSERT_TRUE(link.instrument.PollLive());
  const auto first = liveValues;
  bool moved = false;
  for (int i = 0; i < 200 && !moved; ++i) {
    ASSERT_TRUE(link.instrument.PollLive()) << LastError();
    moved = liveValues != first;
  }
  EXPECT_TRUE(moved);
}

TEST(InstrumentLinkTest, EverySecondReplyWithABadCrcMakesEverySecondPollFail) {
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) {
    o.freezeSeconds = 0.0;
    o.badCrcEvery = 2;
  }));
  ASSERT_TRUE(line.Started());
  Link link(line.WriteConfig());
  ASSERT_TRUE(link.instrument.OpenLink());
  for (int poll = 1; poll <= 6; ++poll) {
    const bool ok = link.instrument.PollLive();
    EXPECT_EQ(ok, poll % 2 == 1) << "poll " << poll;
    EXPECT_EQ(link.instrument.protocol.failureCount, ok ? 0 : 1) << "poll " << poll;
    if (!ok) {
      EXPECT_EQ(LastError(), "CRC校验不正确!");
    }
  }
}

TEST(InstrumentLinkTest, TheEleventhFailureInARowReopensThePort) {
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) { o.badCrcEvery = 1; }));
  ASSERT_TRUE(line.Started());
  Link link(line.WriteConfig());
  ASSERT_TRUE(link.instrument.OpenLink());
  for (int poll = 1; poll <= 11; ++poll) {
    EXPECT_FALSE(link.instrument.PollLive());
    EXPECT_EQ(link.instrument.protocol.failureCount, poll % 11) << "poll " << poll;
  }
  // The re-opened port still carries requests to the recorder.
  EXPECT_FALSE(link.instrument.PollLive());
  EXPECT_EQ(link.instrument.protocol.failureCount, 1);
  link.instrument.CloseLink();
  line.Simulator().Stop();
  EXPECT_EQ(line.Simulator().Model().Requests(), 12);
}

// Monitoring started, stopped and started again, with each parity (odd is the default of the
// settings): every start opens the port and probes the recorder.
TEST(InstrumentLinkTest, StartStopStartWithEveryParity) {
  struct Case {
    const char* name;
    int parity;
  };
  const Case cases[] = {{"odd", 1}, {"even", 2}, {"none", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedLine line;
    ASSERT_TRUE(line.Started());
    Link link(line.WriteConfig(1, ChannelSection({1}), c.parity));
    ASSERT_EQ(commSettings.parity, c.parity);
    for (int start = 1; start <= 3; ++start) {
      SCOPED_TRACE(start);
      ASSERT_TRUE(link.instrument.OpenLink()) << LastError();
      EXPECT_TRUE(link.instrument.Probe()) << LastError();
      EXPECT_TRUE(link.instrument.PollLive()) << LastError();
      EXPECT_TRUE(link.instrument.CloseLink());
    }
  }
}

// The re-open after the 11th failure in a row, with odd and even parity as well: the port comes
// back and carries the next request.
TEST(InstrumentLinkTest, TheReopenAfterElevenFailuresWorksWithEveryParity) {
  for (const int parity : {1, 2}) {
    SCOPED_TRACE(parity);
    SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) { o.badCrcEvery = 1; }));
    ASSERT_TRUE(line.Started());
    Link link(line.WriteConfig(1, ChannelSection({}), parity));
    ASSERT_TRUE(link.instrument.OpenLink()) << LastError();
    for (int poll = 1; poll <= 11; ++poll) EXPECT_FALSE(link.instrument.PollLive());
    EXPECT_EQ(link.instrument.protocol.failureCount, 0);
    EXPECT_NE(LastError(), "call win32 function fail, please call!");
    EXPECT_FALSE(link.instrument.PollLive());
    EXPECT_EQ(LastError(), "CRC校验不正确!");  // a reply came: the port is open again
    link.instrument.CloseLink();
    line.Simulator().Stop();
    EXPECT_EQ(line.Simulator().Model().Requests(), 12);
  }
}

TEST(InstrumentLinkTest, RepliesFromAnotherAddressAreRefused) {
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) { o.wrongAddress = true; }));
  ASSERT_TRUE(line.Started());
  Link link(line.WriteConfig());
  ASSERT_TRUE(link.instrument.OpenLink());
  EXPECT_FALSE(link.instrument.Probe());
  EXPECT_EQ(LastError(), "返回包的设备地址不正确");
  EXPECT_FALSE(link.instrument.PollLive());
  EXPECT_EQ(LastError(), "返回包的设备地址不正确");
  EXPECT_FALSE(link.instrument.StartDownload(1));
  EXPECT_EQ(LastError(), "返回包的设备地址不正确");
}

TEST(InstrumentLinkTest, ASilentRecorderFailsTheProbeAfterTheBoundedReads) {
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) { o.silent = true; }));
  ASSERT_TRUE(line.Started());
  Link link(line.WriteConfig());
  ASSERT_TRUE(link.instrument.OpenLink());
  EXPECT_FALSE(link.instrument.Probe());
  EXPECT_EQ(LastError(), ": 读写超时");
  EXPECT_EQ(link.instrument.protocol.failureCount, 1);
  link.instrument.CloseLink();
  line.Simulator().Stop();
  EXPECT_EQ(line.Simulator().Model().Requests(), 1);  // the probe stops at the device information
}

TEST(InstrumentLinkTest, ALateReplyIsStillTaken) {
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) {
    o.freezeSeconds = 0.0;
    o.delayMs = 150;
  }));
  ASSERT_TRUE(line.Started());
  Link link(line.WriteConfig());
  channelConfig = {};
  channelConfig[4].scaleCode = 4;  // raw values
  ASSERT_TRUE(link.instrument.OpenLink());
  EXPECT_TRUE(link.instrument.PollLive()) << LastError();
  EXPECT_FLOAT_EQ(liveValues[4], 940.0f);
}

// A recorder busy once for longer than the read window: its late reply lands after the poll gave
// up. The next poll must be answered by its own reply (the values and the clock of that poll),
// and so must every one after it; the late reply must not push them one request behind.
TEST(InstrumentLinkTest, AfterAStallEveryPollIsAnsweredByItsOwnReply) {
  // The read window of one exchange is 50 reads of at most 60 ms: about 3 s. The first reply
  // waits well beyond it.
  const double beforeStart = sim::SteadySeconds();
  SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) {
    o.delayMs = 5000;
    o.stallAt = 1;
  }));
  ASSERT_TRUE(line.Started());
  const double afterStart = sim::SteadySeconds();  // the motion started between the two
  Link link(line.WriteConfig());
  channelConfig = {};
  for (ChannelConfig& c : channelConfig) c.scaleCode = 4;  // raw values
  ASSERT_TRUE(link.instrument.OpenLink());
  const DateTime stalledAt = LocalNow();
  ASSERT_FALSE(link.instrument.PollLive()) << "the stalled reply came within the read window";
  EXPECT_EQ(LastError(), ": 读写超时");
  // The late reply is on the line, unread, before the next request goes out.
  for (int i = 0; i < 2000 && line.Simulator().RepliesSent() < 1; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  ASSERT_EQ(line.Simulator().RepliesSent(), 1);

  for (int poll = 2; poll <= 4; ++poll) {
    SCOPED_TRACE(poll);
    const DateTime before = LocalNow();
    const double from = sim::SteadySeconds() - afterStart;
    ASSERT_TRUE(link.instrument.PollLive()) << LastError();
    const double to = sim::SteadySeconds() - beforeStart;
    const DateTime after = LocalNow();
    // The clock of this poll, not the one of the stalled request (seconds earlier).
    EXPECT_GE(instrumentTime, before - 1e-9);
    EXPECT_LE(instrumentTime, after + 1e-9);
    EXPECT_GT(instrumentTime, stalledAt + 1e-9);
    // The values of this poll: where the motion was while it ran (the stalled reply carries
    // those of seconds earlier).
    int matching = 0;
    for (int k = 0; k < kInstrumentChannels; ++k) {
      const auto i = static_cast<std::size_t>(k);
      matching += MotionPassesThrough(sim::DefaultChannels()[i], k, from, to, liveValues[i]);
    }
    EXPECT_EQ(matching, kInstrumentChannels);
  }
  link.instrument.CloseLink();
  line.Simulator().Stop();
  EXPECT_EQ(line.Simulator().Model().Requests(), 4);
}

// Stopping while an exchange waits on a silent recorder: an abort or a close from another thread
// ends it without waiting out the read time-outs, the port is not re-opened behind the stop, and
// the next start opens it again. (The bounded wait is a safety net against a hang.)
TEST(InstrumentLinkTest, AnExchangeIsStoppedFromAnotherThread) {
  struct Case {
    const char* name;
    std::function<bool(ModbusRtuImpl&)> exchange;
    std::function<void(ModbusRtuImpl&)> stop;
  };
  const Case cases[] = {
      {"probe, aborted", [](ModbusRtuImpl& i) { return i.Probe(); },
       [](ModbusRtuImpl& i) { i.AbortExchange(); }},
      {"poll, closed", [](ModbusRtuImpl& i) { return i.PollLive(); },
       [](ModbusRtuImpl& i) { i.CloseLink(); }},
      {"picture block, aborted",
       [](ModbusRtuImpl& i) {
         const Bytes block(kPictureBlockSize, 0x42);
         return i.SendDownloadBlock(block.data(), kPictureBlockSize, 0);
       },
       [](ModbusRtuImpl& i) { i.AbortExchange(); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) { o.silent = true; }));
    ASSERT_TRUE(line.Started());
    Link link(line.WriteConfig());
    ASSERT_TRUE(link.instrument.OpenLink());
    link.instrument.protocol.failureCount = 10;  // the next failure would re-open the port
    std::future<bool> exchange =
        std::async(std::launch::async, [&] { return c.exchange(link.instrument); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    c.stop(link.instrument);
    ASSERT_EQ(exchange.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    EXPECT_FALSE(exchange.get());
    const std::string error = LastError();
    EXPECT_TRUE(error == "User abort blocked write!" || error == "Port is not opened in advance!")
        << error;
    // No re-open behind the stop (the count stood one short of a re-open, and the failures
    // since are counted): the next poll is refused at once instead of waiting on a fresh port.
    EXPECT_FALSE(link.instrument.PollLive());
    EXPECT_NE(LastError(), ": 读写超时");
    link.instrument.CloseLink();
    // The next start opens it again.
    ASSERT_TRUE(link.instrument.OpenLink()) << LastError();
    EXPECT_FALSE(link.instrument.link.Stopped());
    link.instrument.CloseLink();
  }
}

TEST(InstrumentLinkTest, AMissingDeviceCannotBeOpened) {
  testing::TempDir dir;
  const std::string ini = dir.File("config.ini");
  testing::WriteText(ini,
                     testing::ComSection(1) + "[DEVICE]\nCOM1=" + dir.File("no-such-tty") + "\n");
  Link link(ini);
  EXPECT_FALSE(link.instrument.OpenLink());
  EXPECT_EQ(LastError(), "no such port or port not opened!");
}

// Why the link did not open, for the detail of "串口初始化失败!": the device and what to do.
TEST(InstrumentLinkTest, AFailedOpenTellsTheUserWhy) {
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  const std::string ini = line.WriteConfig();
  {
    // Another program holds the recorder's port.
    TermiosSerialLibrary otherProgram(ini);
    ASSERT_EQ(otherProgram.Open(1), kSerialOk);
    Link link(ini);
    EXPECT_FALSE(link.instrument.OpenLink());
    EXPECT_EQ(LastError(), "no such port or port has be opened!");
    const std::string detail = link.instrument.OpenFailureDetail();
    EXPECT_NE(detail.find(line.DevicePath()), std::string::npos) << detail;
    EXPECT_NE(detail.find("正被其他程序占用"), std::string::npos) << detail;
    // Once it lets go, the port opens, and the detail is gone.
    ASSERT_EQ(otherProgram.Close(1), kSerialOk);
    EXPECT_TRUE(link.instrument.OpenLink()) << LastError();
    EXPECT_EQ(link.instrument.OpenFailureDetail(), "");
    link.instrument.CloseLink();
  }
  testing::TempDir dir;
  const std::string missing = dir.File("config.ini");
  testing::WriteText(missing,
                     testing::ComSection(1) + "[DEVICE]\nCOM1=" + dir.File("no-such-tty") + "\n");
  Link link(missing);
  EXPECT_FALSE(link.instrument.OpenLink());
  const std::string detail = link.instrument.OpenFailureDetail();
  EXPECT_NE(detail.find(dir.File("no-such-tty")), std::string::npos) << detail;
  EXPECT_NE(detail.find("未找到"), std::string::npos) << detail;
}

TEST(InstrumentLinkTest, PictureDownloadReachesTheRecorder) {
  Bytes picture(2 * kPictureBlockSize + 100);
  for (std::size_t i = 0; i < picture.size(); ++i) {
    picture[i] = static_cast<std::uint8_t>((i * 31 + i / 256) & 0xFF);
  }
  struct Case {
    const char* name;
    int refuseBlock;
    std::vector<int> blockLengths;  // sent in order
  };
  const Case cases[] = {
      {"two full blocks", 0, {512, 512}},
      {"a short last block", 0, {512, 512, 100}},
      {"second block frame refused, then sent again", 2, {512, 512}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir out;
    const std::string pictureOut = out.File("picture.bin");
    SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) {
      o.pictureOut = pictureOut;
      o.refuseBlock = c.refuseBlock;
    }));
    ASSERT_TRUE(line.Started());
    Link link(line.WriteConfig());
    ASSERT_TRUE(link.instrument.OpenLink());
    ASSERT_TRUE(link.instrument.StartDownload(4)) << LastError();
    std::size_t offset = 0;
    int frames = 0;
    for (std::size_t j = 0; j < c.blockLengths.size(); ++j) {
      const int length = c.blockLengths[j];
      const auto sequence = static_cast<std::int32_t>(j);
      if (++frames == c.refuseBlock) {
        EXPECT_FALSE(link.instrument.SendDownloadBlock(picture.data() + offset, length, sequence));
        EXPECT_EQ(LastError(), "返回包的帧不对应");
        ++frames;
      }
      ASSERT_TRUE(link.instrument.SendDownloadBlock(picture.data() + offset, length, sequence))
          << LastError();
      offset += static_cast<std::size_t>(length);
    }
    ASSERT_TRUE(link.instrument.FinishDownload()) << LastError();
    EXPECT_EQ(testing::ReadText(pictureOut),
              std::string(picture.begin(), picture.begin() + static_cast<std::ptrdiff_t>(offset)));
    link.instrument.CloseLink();
  }
}

}  // namespace
}  // namespace vantiro
