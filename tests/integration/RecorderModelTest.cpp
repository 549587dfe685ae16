// The simulated recorder without a line: its channel table, options, framing and answers.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "instrument/ModbusRtuProtocol.h"
#include "recorder-sim/RecorderModel.h"

namespace vantiro::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReadRequestFrame(std::uint8_t slave, std::int16_t kind, int start, int count) {
  const auto frame =
      BuildReadFrame(ReadRequest{.kind = kind, .slave = slave, .start = start, .count = count});
  return Bytes(frame.begin(), frame.end());
}

Bytes ExceptionReply(std::uint8_t slave, std::uint8_t function, std::uint8_t code) {
  Bytes reply(3);
  reply[0] = slave;
  reply[1] = static_cast<std::uint8_t>(function | 0x80);
  reply[2] = code;
  AppendCrc(reply);
  return reply;
}

// The registers of a register reply (which must pass the program's own checks).
std::vector<std::int16_t> Registers(const Bytes& reply, std::int16_t kind, int count,
                                    std::uint8_t slave = 1) {
  std::vector<std::int16_t> registers(static_cast<std::size_t>(count), -1);
  std::array<char, kErrorTextSize> text{};
  const ReadRequest request{
      .kind = kind, .slave = slave, .start = 0, .count = count, .destination = registers.data()};
  EXPECT_TRUE(CheckRegisterReply(reply, request, text)) << ErrorTextView(text);
  return registers;
}

template <typename Change>
SimOptions With(Change change) {
  SimOptions options;
  change(options);
  return options;
}

const Moment kMoment{.clock = {24, 2, 29, 13, 5, 9}, .motionSeconds = 0.0};

TEST(ChannelTableTest, LinesReplaceTheirChannelsAndLeaveTheOthers) {
  ChannelTable table = DefaultChannels();
  std::string error;
  ASSERT_TRUE(
      ParseChannelTable("# n scale unit HH H L LL\n"
                        "\n"
                        "3 2 27 1800 1600 400 200   # mA, two decimals\r\n"
                        "  16\t4 275 -5 -10 -20 -32768\n",
                        table, error))
      << error;
  EXPECT_EQ(table[2], (ChannelSetup{2, 27, 1800, 1600, 400, 200}));
  EXPECT_EQ(table[15], (ChannelSetup{4, 275, -5, -10, -20, -32768}));
  EXPECT_EQ(table[0], (ChannelSetup{3, 19, 900, 800, 200, 100}));
  EXPECT_EQ(table[1].unitCode, 27);  // the defaults go round the units
  EXPECT_EQ(table[8].unitCode, 19);
}

TEST(ChannelTableTest, BadLinesAreRefusedWithTheirNumberAndChangeNothing) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"1 3 19 900 800 200\n", "line 1: expected: n scale unit HH H L LL"},
      {"\n0 3 19 900 800 200 100\n", "line 2: channel number 1..16 expected"},
      {"17 3 19 900 800 200 100\n", "line 1: channel number 1..16 expected"},
      {"1 3 19 32768 800 200 100\n", "line 1: 16-bit integer expected: 32768"},
      {"2 3 19 900 800 200 100\n1 3 x 900 800 200 100\n", "line 2: 16-bit integer expected: x"},
  };
  for (const Case& c : cases) {
    ChannelTable table = DefaultChannels();
    std::string error;
    EXPECT_FALSE(ParseChannelTable(c.text, table, error)) << c.text;
    EXPECT_EQ(error, c.error);
    EXPECT_EQ(table, DefaultChannels()) << c.text;
  }
}

TEST(SimOptionsTest, OptionsAndUsageErrors) {
  bool help = false;
  std::string error;
  const auto options = ParseSimOptions(
      {"--address", "7", "--link", "/x/rec", "--bad-crc", "3", "--drop", "4", "--delay", "5",
       "--stall", "6", "--refuse-block", "2", "--wrong-address", "--silent", "--freeze", "1.5",
       "--exit-on-eof"},
      help, error);
  ASSERT_TRUE(options) << error;
  EXPECT_FALSE(help);
  EXPECT_EQ(options->address, 7);
  EXPECT_EQ(options->link, "/x/rec");
  EXPECT_EQ(options->badCrcEvery, 3);
  EXPECT_EQ(options->dropEvery, 4);
  EXPECT_EQ(options->delayMs, 5);
  EXPECT_EQ(options->stallAt, 6);
  EXPECT_EQ(options->refuseBlock, 2);
  EXPECT_TRUE(options->wrongAddress && options->silent && options->exitOnEof);
  EXPECT_EQ(options->freezeSeconds, 1.5);

  ASSERT_TRUE(ParseSimOptions({"--help"}, help, error));
  EXPECT_TRUE(help);

  const std::vector<std::vector<std::string>> bad = {
      {"--address"},        {"--address", "0"}, {"--address", "248"},
      {"--bad-crc", "0"},   {"--drop", "x"},    {"--delay", "-1"},
      {"--stall", "0"},     {"--stall"},
      {"--freeze", "soon"}, {"--link", ""},     {"--verbose"}};
  for (const auto& args : bad) {
    error.clear();
    EXPECT_FALSE(ParseSimOptions(args, help, error)) << args[0];
    EXPECT_FALSE(error.empty()) << args[0];
  }
}

TEST(MotionTest, EveryChannelCrossesAllFourLimitsWithinAPeriod) {
  ChannelTable table = DefaultChannels();
  table[5] = ChannelSetup{4, 20, 50, 40, -40, -50};
  table[9] = ChannelSetup{2, 27, 1800, 1600, 400, 200};
  for (int k = 0; k < kInstrumentChannels; ++k) {
    const ChannelSetup& c = table[static_cast<std::size_t>(k)];
    bool aboveHH = false, betweenHHandH = false, inBand = false, betweenLandLL = false,
         belowLL = false;
    std::int16_t previous = MotionValue(c, k, 0.0);
    for (double t = 0.0; t < kMotionPeriodSeconds; t += 0.25) {
      const std::int16_t v = MotionValue(c, k, t);
      aboveHH |= v > c.limitHH;
      betweenHHandH |= v > c.limitH && v < c.limitHH;
      inBand |= v > c.limitL && v < c.limitH;
      betweenLandLL |= v > c.limitLL && v < c.limitL;
      belowLL |= v < c.limitLL;
      // Smooth: a quarter second moves the value by a small part of the band.
      EXPECT_LE(std::abs(v - previous), (c.limitHH - c.limitLL) / 20 + 1) << k << " " << t;
      previous = v;
    }
    EXPECT_TRUE(aboveHH && betweenHHandH && inBand && betweenLandLL && belowLL) << "channel " << k;
  }
  // Channel k lags channel 1 by k/16 of the period: at 0 channel 5 is at its peak.
  EXPECT_EQ(MotionValue(table[0], 0, 0.0), 500);
  EXPECT_EQ(MotionValue(table[4], 4, 0.0), 940);
  EXPECT_EQ(MotionValue(table[12], 12, 0.0), 60);
  EXPECT_EQ(MotionValue(table[0], 0, kMotionPeriodSeconds / 4), 940);
}

TEST(FrameAssemblerTest, CutsTheStreamIntoFrames) {
  const Bytes read = ReadRequestFrame(1, kKindHoldingRegisters, 0x2000, 4);
  const Bytes start = BuildStartFrame(DownloadRequest{.slave = 1, .picture = 2});
  const Bytes end = BuildEndFrame(DownloadRequest{.slave = 1});
  Bytes data(kPictureBlockSize);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  const Bytes block = BuildBlockFrame(
      DownloadRequest{.slave = 1, .data = data.data(), .length = kPictureBlockSize, .sequence = 0});
  const Bytes shortBlock = BuildBlockFrame(
      DownloadRequest{.slave = 1, .data = data.data(), .length = 100, .sequence = 1});

  Bytes stream;
  for (const Bytes* frame : {&read, &start, &block, &end, &read}) {
    stream.insert(stream.end(), frame->begin(), frame->end());
  }
  FrameAssembler assembler;
  std::vector<Bytes> frames;
  for (const std::uint8_t byte : stream) {
    if (auto frame = assembler.Push(byte)) frames.push_back(*frame);
  }
  EXPECT_TRUE(assembler.Empty());
  EXPECT_EQ(frames, (std::vector<Bytes>{read, start, block, end, read}));

  // A block of another length ends when the line goes quiet; a torn read frame is dropped.
  for (const std::uint8_t byte : shortBlock) EXPECT_FALSE(assembler.Push(byte));
  EXPECT_EQ(assembler.Quiet(), shortBlock);
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(assembler.Push(read[static_cast<std::size_t>(i)]));
  EXPECT_FALSE(assembler.Quiet());
  EXPECT_TRUE(assembler.Empty());
}

TEST(RecorderModelTest, AnswersTheRegisterMap) {
  ChannelTable table = DefaultChannels();
  table[2] = ChannelSetup{2, 27, 1800, 1600, 400, 200};
  RecorderModel model({}, table);

  EXPECT_EQ(Registers(model.Answer(ReadRequestFrame(1, kKindHoldingRegisters, 0x2000, 4), kMoment),
                      kKindHoldingRegisters, 4),
            (std::vector<std::int16_t>{16, 100, 1, 0}));

  const std::vector<std::int16_t> block =
      Registers(model.Answer(ReadRequestFrame(1, kKindHoldingRegisters, 0x1022, 16), kMoment),
                kKindHoldingRegisters, 16);
  EXPECT_EQ(block[0], 3);
  EXPECT_EQ(block[ChannelBlock::kScaleCode], 2);
  EXPECT_EQ(block[ChannelBlock::kUnitCode], 27);
  EXPECT_EQ(block[ChannelBlock::kLimitHH], 1800);
  EXPECT_EQ(block[ChannelBlock::kLimitH], 1600);
  EXPECT_EQ(block[ChannelBlock::kLimitL], 400);
  EXPECT_EQ(block[ChannelBlock::kLimitLL], 200);
  EXPECT_EQ(Registers(model.Answer(ReadRequestFrame(1, kKindHoldingRegisters, 0x1032, 1), kMoment),
                      kKindHoldingRegisters, 1)
                .size(),
            1u);

  const std::vector<std::int16_t> live =
      Registers(model.Answer(ReadRequestFrame(1, kKindInputRegisters, 0x7000, 22), kMoment),
                kKindInputRegisters, 22);
  EXPECT_EQ(std::vector<std::int16_t>(live.begin(), live.begin() + 6),
            (std::vector<std::int16_t>{24, 2, 29, 13, 5, 9}));
  for (int k = 0; k < kInstrumentChannels; ++k) {
    EXPECT_EQ(live[static_cast<std::size_t>(6 + k)],
              MotionValue(table[static_cast<std::size_t>(k)], k, 0.0));
  }
  EXPECT_EQ(model.Requests(), 4);
}

TEST(RecorderModelTest, UnknownAddressesAndFunctionsGetExceptions) {
  RecorderModel model({}, DefaultChannels());
  struct Case {
    std::int16_t kind;
    int start, count;
    std::uint8_t function, code;
  };
  const Case cases[] = {
      {kKindHoldingRegisters, 0x3000, 1, 0x03, kIllegalDataAddress},
      {kKindHoldingRegisters, 0x2002, 4, 0x03, kIllegalDataAddress},  // runs past the end
      {kKindHoldingRegisters, 0x1110, 1, 0x03, kIllegalDataAddress},  // after channel 16
      {kKindInputRegisters, 0x7000, 23, 0x04, kIllegalDataAddress},
      {kKindInputRegisters, 0x1000, 16, 0x04, kIllegalDataAddress},
      {kKindInputRegisters, 0x7000, 0, 0x04, kIllegalDataValue},
      {kKindCoils, 0x0000, 8, 0x01, kIllegalDataAddress},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(model.Answer(ReadRequestFrame(1, c.kind, c.start, c.count), kMoment),
              ExceptionReply(1, c.function, c.code))
        << std::hex << c.start;
  }
  Bytes unknown = {1, 0x10, 0x20, 0x00, 0x00, 0x01};
  AppendCrc(unknown);
  EXPECT_EQ(model.Answer(unknown, kMoment), ExceptionReply(1, 0x10, kIllegalFunction));
}

TEST(RecorderModelTest, IgnoresBadCrcOtherAddressesAndTornFrames) {
  RecorderModel model(With([](SimOptions& o) { o.address = 7; }), DefaultChannels());
  Bytes bad = ReadRequestFrame(7, kKindHoldingRegisters, 0x2000, 4);
  bad[7] ^= 0x01;
  Bytes start = BuildStartFrame(DownloadRequest{.slave = 7, .picture = 1});
  std::swap(start[9], start[10]);  // CRC in Modbus order instead of the download frames' order
  const std::vector<Bytes> ignored = {bad, ReadRequestFrame(1, kKindHoldingRegisters, 0x2000, 4),
                                      start, BuildEndFrame(DownloadRequest{.slave = 1}),
                                      Bytes{7, 3, 0x20}};
  for (const Bytes& frame : ignored) EXPECT_TRUE(model.Answer(frame, kMoment).empty());
  EXPECT_EQ(model.Requests(), 0);
  EXPECT_FALSE(
      model.Answer(ReadRequestFrame(7, kKindHoldingRegisters, 0x2000, 4), kMoment).empty());
}

TEST(RecorderModelTest, FaultsShapeTheReplies) {
  const Bytes request = ReadRequestFrame(1, kKindHoldingRegisters, 0x2000, 4);
  const Bytes good = RecorderModel({}, DefaultChannels()).Answer(request, kMoment);
  ASSERT_EQ(good.size(), 13u);

  struct Case {
    SimOptions options;
    std::vector<bool> answered;  // per request
    std::vector<bool> badCrc;    // per answered request
  };
  const std::vector<Case> cases = {
      {With([](SimOptions& o) { o.silent = true; }), {false, false, false}, {}},
      {With([](SimOptions& o) { o.badCrcEvery = 2; }),
       {true, true, true, true},
       {false, true, false, true}},
      {With([](SimOptions& o) { o.dropEvery = 3; }),
       {true, true, false, true, true, false},
       {false, false, false, false}},
      {With([](SimOptions& o) { o.badCrcEvery = 2, o.dropEvery = 2; }),
       {true, false, true, false},
       {false, true}},
  };
  for (const Case& c : cases) {
    RecorderModel model(c.options, DefaultChannels());
    std::size_t replies = 0;
    for (std::size_t i = 0; i < c.answered.size(); ++i) {
      const Bytes reply = model.Answer(request, kMoment);
      ASSERT_EQ(!reply.empty(), c.answered[i]) << "request " << i;
      if (reply.empty()) continue;
      const bool corrupted = c.badCrc[replies++];
      EXPECT_EQ(Bytes(reply.begin(), reply.end() - 1), Bytes(good.begin(), good.end() - 1));
      EXPECT_EQ(reply.back() != good.back(), corrupted) << "request " << i;
    }
  }

  // Another address, with a CRC that is right for it: only the address test can fail.
  RecorderModel wrong(With([](SimOptions& o) { o.wrongAddress = true; }), DefaultChannels());
  const Bytes reply = wrong.Answer(request, kMoment);
  std::array<char, kErrorTextSize> text{};
  std::array<std::int16_t, 4> registers{};
  EXPECT_FALSE(CheckRegisterReply(
      reply,
      ReadRequest{
          .kind = kKindHoldingRegisters, .slave = 1, .count = 4, .destination = registers.data()},
      text));
  EXPECT_EQ(ErrorTextView(text), "返回包的设备地址不正确");
  EXPECT_EQ(reply[0], 2);
}

TEST(RecorderModelTest, KeepsThePictureAndRefusesTheChosenBlockFrame) {
  RecorderModel model(With([](SimOptions& o) { o.refuseBlock = 2; }), DefaultChannels());
  Bytes first(kPictureBlockSize, 0x11);
  Bytes second(kPictureBlockSize, 0x22);
  const auto block = [&](const Bytes& data, int sequence) {
    return model.Answer(
        BuildBlockFrame(DownloadRequest{
            .slave = 1, .data = data.data(), .length = kPictureBlockSize, .sequence = sequence}),
        kMoment);
  };
  EXPECT_EQ(model.Answer(BuildStartFrame(DownloadRequest{.slave = 1, .picture = 5}), kMoment),
            MakeStartReply(1, 5));
  EXPECT_EQ(block(first, 0), MakeBlockReply(1, 0));
  EXPECT_EQ(block(second, 1), MakeBlockReply(1, 2));  // refused: names another block
  EXPECT_EQ(block(second, 1), MakeBlockReply(1, 1));
  EXPECT_EQ(block(second, 1), MakeBlockReply(1, 1));  // a repeat replaces, not appends
  EXPECT_EQ(model.Answer(BuildEndFrame(DownloadRequest{.slave = 1}), kMoment), MakeEndReply(1));
  Bytes expected = first;
  expected.insert(expected.end(), second.begin(), second.end());
  EXPECT_EQ(model.Picture(), expected);
}

}  // namespace
}  // namespace vantiro::sim
