#include "instrument/ModbusRtuImpl.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "FakeSerialLibrary.h"
#include "instrument/CommSettings.h"

namespace vantiro {
namespace {

using testing::FakeSerialLibrary;
using Op = FakeSerialLibrary::Op;
using Bytes = std::vector<std::uint8_t>;

// The far end of the line: a recorder that answers reads from its registers and acknowledges the
// download frames, except where told to stay silent.
class FakeRecorder {
 public:
  explicit FakeRecorder(FakeSerialLibrary& line) : line_(line) {
    line_.onWrite = [this](std::span<const std::uint8_t> frame) { Answer(frame); };
  }

  struct Request {
    int function;
    int start;
    int count;
    friend bool operator==(const Request&, const Request&) = default;
  };

  std::map<int, std::int16_t> holding;  // by address; missing registers read 0
  std::map<int, std::int16_t> input;
  std::map<int, int> silentAt;  // reads starting at this address go unanswered this many times
  std::vector<Request> requests;
  std::vector<int> slaves;  // address byte of every request

  void SetLive(const std::array<std::int16_t, kLiveBlockCount>& registers) {
    for (int i = 0; i < kLiveBlockCount; ++i) input[kLiveBlockAddress + i] = registers[i];
  }

 private:
  void Answer(std::span<const std::uint8_t> frame) {
    slaves.push_back(frame[0]);
    if (frame.size() > 1 && frame[1] >= kFunctionStartDownload) {
      if (frame[1] == kFunctionStartDownload) line_.Send(MakeStartReply(frame[0], frame[2]));
      if (frame[1] == kFunctionDownloadBlock) line_.Send(MakeBlockReply(frame[0], frame[2]));
      if (frame[1] == kFunctionEndDownload) line_.Send(MakeEndReply(frame[0]));
      return;
    }
    const std::optional<ReadFrame> read = ParseReadFrame(frame);
    ASSERT_TRUE(read);
    requests.push_back({read->function, read->start, read->count});
    if (int& silent = silentAt[read->start]; silent > 0) {
      --silent;
      return;
    }
    const auto& bank = read->function == kFunctionReadInputRegisters ? input : holding;
    std::vector<std::int16_t> values;
    for (int i = 0; i < read->count; ++i) {
      const auto it = bank.find(read->start + i);
      values.push_back(it == bank.end() ? 0 : it->second);
    }
    line_.Send(MakeRegisterReply(read->slave, read->function, values));
  }

  FakeSerialLibrary& line_;
};

constexpr ChannelConfig kUntouchedConfig{77, 78, 1.5f, 2.5f, 3.5f, 4.5f};

class ModbusRtuImplTest : public ::testing::Test {
 protected:
  void SetUp() override {
    commSettings = {.port = 1, .baudRate = 9600, .stopBits = 1, .dataBits = 8, .parity = 0,
                    .address = 1};
    channelEnabled.fill(false);
    channelConfig.fill(ChannelConfig{});
    instrumentClock.fill(0);
    instrumentTime = 0.0;
    liveValues.fill(0.0f);
    for (auto* flags : {&alarmHH, &alarmH, &alarmL, &alarmLL}) flags->fill(0);
    lastErrorText.fill('\0');
    ASSERT_TRUE(instrument.OpenLink());
    library.calls.clear();
  }

  std::string LastError() const { return std::string(ErrorTextView(lastErrorText)); }

  void Enable(std::initializer_list<int> channels) {
    for (int channel : channels) channelEnabled[static_cast<std::size_t>(channel - 1)] = true;
  }

  // Channel 3 is off: the probe reads channels 1, 2 and 4.
  static std::vector<FakeRecorder::Request> ProbeOfChannels124() {
    return {{3, 0x2000, 4}, {3, 0x1000, 16}, {3, 0x1010, 1}, {3, 0x1011, 16},
            {3, 0x1021, 1}, {3, 0x1033, 16}, {3, 0x1043, 1}};
  }

  FakeSerialLibrary library;
  FakeRecorder recorder{library};
  std::vector<std::chrono::milliseconds> pauses;
  ModbusRtuImpl instrument{library,
                           [this](std::chrono::milliseconds pause) { pauses.push_back(pause); }};
};

TEST_F(ModbusRtuImplTest, OpenLinkUsesTheCommunicationSettings) {
  commSettings = {.port = 3, .baudRate = 19200, .stopBits = 2, .dataBits = 7, .parity = 1,
                  .address = 1};
  instrument.CloseLink();
  library.calls.clear();
  EXPECT_TRUE(instrument.OpenLink());
  ASSERT_EQ(library.calls.size(), 3u);
  EXPECT_EQ(library.calls[0].port, 3);
  EXPECT_EQ(library.calls[2].a, 13);
  EXPECT_EQ(library.calls[2].b, 0x0E);

  library.openResults = {-5};
  EXPECT_FALSE(instrument.OpenLink());
  EXPECT_EQ(LastError(), "no such port or port has be opened!");
}

TEST_F(ModbusRtuImplTest, RequestsCarryTheLow16BitsOfTheAddress) {
  commSettings.address = 0x10000 + 200;
  EXPECT_TRUE(instrument.ReadDeviceInfo());
  EXPECT_TRUE(instrument.StartDownload(0));
  EXPECT_EQ(recorder.slaves, (std::vector<int>{200, 200}));
}

TEST_F(ModbusRtuImplTest, ProbeReadsDeviceInfoThenEnabledChannelsInOrder) {
  Enable({1, 2, 4});
  channelConfig[2] = kUntouchedConfig;
  EXPECT_TRUE(instrument.Probe());
  EXPECT_EQ(recorder.requests, ProbeOfChannels124());
  EXPECT_EQ(channelConfig[2], kUntouchedConfig);
}

TEST_F(ModbusRtuImplTest, ProbeStopsWhenTheDeviceDoesNotAnswer) {
  Enable({1, 2, 4});
  recorder.silentAt[0x2000] = 1;
  EXPECT_FALSE(instrument.Probe());
  EXPECT_EQ(recorder.requests, (std::vector<FakeRecorder::Request>{{3, 0x2000, 4}}));
  EXPECT_EQ(LastError(), ": 读写超时");
}

TEST_F(ModbusRtuImplTest, EachChannelGetsOneRetry) {
  struct Case {
    const char* name;
    int silentAddress;
    int silentTimes;
    bool result;
    std::vector<int> starts;  // of the requests after the device information
  };
  const Case cases[] = {
      {"block read fails once", 0x1011, 1, true,
       {0x1000, 0x1010, 0x1011, 0x1011, 0x1021, 0x1033, 0x1043}},
      {"single-register read fails once", 0x1021, 1, true,
       {0x1000, 0x1010, 0x1011, 0x1021, 0x1011, 0x1021, 0x1033, 0x1043}},
      {"block read fails twice", 0x1011, 2, false, {0x1000, 0x1010, 0x1011, 0x1011}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakeSerialLibrary line;
    FakeRecorder far(line);
    ModbusRtuImpl link(line);
    ASSERT_TRUE(link.OpenLink());
    channelEnabled.fill(false);
    Enable({1, 2, 4});
    far.silentAt[c.silentAddress] = c.silentTimes;
    EXPECT_EQ(link.Probe(), c.result);
    std::vector<int> starts;
    for (std::size_t i = 1; i < far.requests.size(); ++i) starts.push_back(far.requests[i].start);
    EXPECT_EQ(starts, c.starts);
  }
}

TEST_F(ModbusRtuImplTest, ChannelConfigurationIsDecodedFromItsBlock) {
  const int base = ChannelBlockAddress(5);  // channel 6
  for (int i = 0; i < 17; ++i) recorder.holding[base + i] = static_cast<std::int16_t>(-100 - i);
  recorder.holding[base + 3] = 1;  // three decimals
  recorder.holding[base + 4] = 0x0113;
  recorder.holding[base + 8] = 12345;
  recorder.holding[base + 10] = -500;
  recorder.holding[base + 12] = 250;
  recorder.holding[base + 14] = -32768;
  EXPECT_TRUE(instrument.ReadChannelConfig(5));
  const ChannelConfig& config = channelConfig[5];
  EXPECT_EQ(config.scaleCode, 1);
  EXPECT_EQ(config.unitCode, 0x0113);
  EXPECT_EQ(ChannelUnitName(config), "℃");  // the low byte, 19
  EXPECT_FLOAT_EQ(config.limitHH, 12.345f);
  EXPECT_FLOAT_EQ(config.limitH, -0.5f);
  EXPECT_FLOAT_EQ(config.limitL, 0.25f);
  EXPECT_FLOAT_EQ(config.limitLL, -32.768f);
  EXPECT_EQ(recorder.requests,
            (std::vector<FakeRecorder::Request>{{3, base, 16}, {3, base + 16, 1}}));
}

TEST_F(ModbusRtuImplTest, FailedChannelReadsKeepWhatTheyHadRead) {
  const int base = ChannelBlockAddress(0);
  recorder.holding[base + 3] = 4;
  recorder.holding[base + 8] = 900;

  channelConfig[0] = kUntouchedConfig;
  recorder.silentAt[base] = 1;
  EXPECT_FALSE(instrument.ReadChannelConfig(0));
  EXPECT_EQ(channelConfig[0], kUntouchedConfig);

  // The single-register read fails after the block arrived: the block's values stay.
  recorder.silentAt[base + 16] = 1;
  EXPECT_FALSE(instrument.ReadChannelConfig(0));
  EXPECT_EQ(channelConfig[0].scaleCode, 4);
  EXPECT_FLOAT_EQ(channelConfig[0].limitHH, 900.0f);

  EXPECT_FALSE(instrument.ReadChannelConfig(16));
  EXPECT_FALSE(instrument.ReadChannelConfig(-1));
}

TEST_F(ModbusRtuImplTest, ErrorTextIsClearedBeforeEachRead) {
  lastErrorText.fill('x');  // not even terminated
  EXPECT_TRUE(instrument.ReadDeviceInfo());
  EXPECT_TRUE(
      std::all_of(lastErrorText.begin(), lastErrorText.end(), [](char c) { return c == 0; }));
}

TEST_F(ModbusRtuImplTest, PollFillsClockValuesAndAlarms) {
  channelConfig[0] = {.scaleCode = 2, .limitHH = 100.0f, .limitH = 80.0f, .limitL = -100.0f,
                      .limitLL = -200.0f};
  channelConfig[15] = {.scaleCode = 4, .limitHH = 1.0f, .limitH = 1.0f, .limitL = -1.0f,
                       .limitLL = -1.0f};
  recorder.SetLive({24, 2, 29, 13, 5, 9, -1234, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 4321});
  EXPECT_TRUE(instrument.PollLive());
  EXPECT_EQ(instrumentClock, (std::array<std::uint16_t, 6>{24, 2, 29, 13, 5, 9}));
  EXPECT_EQ(instrumentTime, *EncodeDateTime(2024, 2, 29, 13, 5, 9));
  EXPECT_FLOAT_EQ(liveValues[0], -12.34f);
  EXPECT_FLOAT_EQ(liveValues[15], 4321.0f);
  EXPECT_EQ(alarmHH[15], 1);  // channels that are not monitored are evaluated too
  EXPECT_EQ(recorder.requests, (std::vector<FakeRecorder::Request>{{4, 0x7000, 22}}));
}

TEST_F(ModbusRtuImplTest, FirstMatchingAlarmRuleWins) {
  struct Case {
    std::int16_t raw;
    std::int16_t scaleCode;
    int hh, h, l, ll;
  };
  // Limits HH 100, H 80, L 20, LL 10.
  const Case cases[] = {
      {120, 4, 1, 1, 0, 0}, {101, 4, 1, 1, 0, 0}, {100, 4, 0, 1, 0, 0}, {90, 4, 0, 1, 0, 0},
      {80, 4, 0, 0, 0, 0},  {50, 4, 0, 0, 0, 0},  {20, 4, 0, 0, 0, 0},  {15, 4, 0, 0, 1, 0},
      {10, 4, 0, 0, 1, 0},  {5, 4, 0, 0, 1, 1},   {-5, 4, 0, 0, 1, 1},
      {801, 3, 0, 1, 0, 0},  // 80.1
      {9999, 0, 0, 0, 1, 1},  // 0.9999
      {1, 7, 0, 0, 1, 1},    // codes above 4 do not scale
  };
  static_assert(std::size(cases) <= kInstrumentChannels);
  std::array<std::int16_t, kLiveBlockCount> live{24, 1, 1, 0, 0, 0};
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    channelConfig[i] = {.scaleCode = cases[i].scaleCode, .limitHH = 100.0f, .limitH = 80.0f,
                        .limitL = 20.0f, .limitLL = 10.0f};
    live[LiveBlock::kFirstValue + i] = cases[i].raw;
  }
  for (auto* flags : {&alarmHH, &alarmH, &alarmL, &alarmLL}) flags->fill(1);  // the last poll's
  recorder.SetLive(live);
  ASSERT_TRUE(instrument.PollLive());
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(liveValues[i]);
    EXPECT_EQ(alarmHH[i], cases[i].hh);
    EXPECT_EQ(alarmH[i], cases[i].h);
    EXPECT_EQ(alarmL[i], cases[i].l);
    EXPECT_EQ(alarmLL[i], cases[i].ll);
  }
}

TEST_F(ModbusRtuImplTest, InvalidClockKeepsTheRestOfThePreviousPoll) {
  struct Case {
    const char* name;
    std::array<std::int16_t, 6> clock;
    bool valid;
  };
  const Case cases[] = {
      {"month 0", {24, 0, 10, 1, 2, 3}, false},
      {"month 13", {24, 13, 10, 1, 2, 3}, false},
      {"day 0", {24, 5, 0, 1, 2, 3}, false},
      {"29 February of a common year", {23, 2, 29, 1, 2, 3}, false},
      {"31 April", {24, 4, 31, 1, 2, 3}, false},
      {"hour 24", {24, 5, 10, 24, 0, 0}, false},
      {"minute 60", {24, 5, 10, 1, 60, 0}, false},
      {"second 60", {24, 5, 10, 1, 2, 60}, false},
      {"year 100", {100, 1, 1, 0, 0, 0}, false},
      {"negative register", {-1, 1, 1, 0, 0, 0}, false},
      {"first moment", {0, 1, 1, 0, 0, 0}, true},
      {"last moment", {99, 12, 31, 23, 59, 59}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    liveValues.fill(7.0f);
    alarmH.fill(1);
    instrumentTime = 1234.5;
    std::array<std::int16_t, kLiveBlockCount> live{};
    std::copy(c.clock.begin(), c.clock.end(), live.begin());
    live[LiveBlock::kFirstValue] = 42;
    recorder.SetLive(live);
    EXPECT_EQ(instrument.PollLive(), c.valid);
    for (int i = 0; i < 6; ++i) {
      EXPECT_EQ(instrumentClock[i], static_cast<std::uint16_t>(c.clock[i]));
    }
    if (c.valid) {
      EXPECT_EQ(instrumentTime, *EncodeDateTime(2000 + c.clock[0], c.clock[1], c.clock[2],
                                                c.clock[3], c.clock[4], c.clock[5]));
      EXPECT_FLOAT_EQ(liveValues[0], 42.0f * 0.0001f);
    } else {
      EXPECT_EQ(instrumentTime, 1234.5);
      EXPECT_EQ(liveValues[0], 7.0f);
      EXPECT_EQ(alarmH[0], 1);
    }
  }
}

TEST_F(ModbusRtuImplTest, UnansweredPollChangesNothing) {
  instrumentClock = {1, 2, 3, 4, 5, 6};
  liveValues.fill(7.0f);
  recorder.silentAt[kLiveBlockAddress] = 1;
  EXPECT_FALSE(instrument.PollLive());
  EXPECT_EQ(instrumentClock, (std::array<std::uint16_t, 6>{1, 2, 3, 4, 5, 6}));
  EXPECT_EQ(liveValues[3], 7.0f);
}

TEST(ScaleTest, RepeatedTenthsByScaleCode) {
  struct Case {
    std::int16_t raw;
    std::uint16_t code;
    double value;
  };
  const Case cases[] = {
      {-1234, 2, -12.34}, {1234, 7, 1234.0},   {-1234, 7, -1234.0}, {1234, 4, 1234.0},
      {1234, 3, 123.4},   {12345, 0, 1.2345},  {-32768, 1, -32.768}, {32767, 0, 3.2767},
      {500, 5, 500.0},    {500, 0xFFFF, 500.0},  // a negative scale register reads as a large code
  };
  for (const Case& c : cases) {
    EXPECT_DOUBLE_EQ(Scale(c.raw, c.code), c.value) << c.raw << " code " << c.code;
  }
  // Multiplied by 0.1, not divided by 10: 3 x 0.1 is a hair above 0.3.
  EXPECT_EQ(Scale(3, 3), 0.30000000000000004);
}

TEST_F(ModbusRtuImplTest, DownloadSendsTheThreeFramesToTheInstrument) {
  commSettings.address = 7;
  const std::vector<std::uint8_t> block(kPictureBlockSize, 0x5C);
  EXPECT_TRUE(instrument.StartDownload(5));
  EXPECT_TRUE(instrument.SendDownloadBlock(block.data(), kPictureBlockSize, 256));
  EXPECT_TRUE(instrument.FinishDownload());
  const auto writes = library.CallsOf(Op::Write);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].bytes, BuildStartFrame({.slave = 7, .picture = 5}));
  EXPECT_EQ(writes[1].bytes.size(), 517u);
  EXPECT_EQ(writes[1].bytes[2], 0);  // block 256 carries sequence byte 0
  EXPECT_EQ(writes[2].bytes, BuildEndFrame({.slave = 7}));
  EXPECT_TRUE(pauses.empty());
}

}  // namespace
}  // namespace vantiro
