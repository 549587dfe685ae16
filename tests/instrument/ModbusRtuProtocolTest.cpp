#include "instrument/ModbusRtuProtocol.h"
#include "instrument/TrafficLog.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "FakeSerialLibrary.h"

namespace vantiro {
namespace {

using testing::FakeSerialLibrary;
using Op = FakeSerialLibrary::Op;
using Bytes = std::vector<std::uint8_t>;
using std::chrono::milliseconds;

constexpr const char* kUntouched = "earlier text";
constexpr std::int16_t kSentinel = 0x5A5A;
constexpr std::uint8_t kBitSentinel = 0x55;

// `body` followed by its CRC in Modbus order.
Bytes WithCrc(Bytes body) {
  AppendCrc(body);
  return body;
}

TEST(Crc16Test, KnownVectors) {
  struct Case {
    std::string_view bytes;
    std::uint16_t crc;
  };
  const Case cases[] = {
      {{"\x01\x03\x00\x00\x00\x01", 6}, 0x840A},
      {"123456789", 0x374B},  // the CRC register 0x4B37, low byte first
      {"", 0xFFFF},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Crc16(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size()), c.crc)
        << c.bytes;
  }
}

TEST(ReadFrameTest, FramesOfTheFourKinds) {
  struct Case {
    ReadRequest request;
    std::array<std::uint8_t, 8> frame;
  };
  const Case cases[] = {
      {{kKindHoldingRegisters, 1, 0x0000, 1}, {0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}},
      {{kKindHoldingRegisters, 1, 0x2000, 4}, {0x01, 0x03, 0x20, 0x00, 0x00, 0x04, 0x4F, 0xC9}},
      {{kKindHoldingRegisters, 200, 0x2000, 4}, {0xC8, 0x03, 0x20, 0x00, 0x00, 0x04, 0x5E, 0x50}},
      {{kKindInputRegisters, 1, 0x7000, 22}, {0x01, 0x04, 0x70, 0x00, 0x00, 0x16, 0x6B, 0x04}},
      {{kKindCoils, 0x11, 0x0013, 0x25}, {0x11, 0x01, 0x00, 0x13, 0x00, 0x25, 0x0E, 0x84}},
      {{kKindDiscreteInputs, 1, 0x0000, 8}, {0x01, 0x02, 0x00, 0x00, 0x00, 0x08, 0x79, 0xCC}},
      // Only the low byte of the address and the low 16 bits of the start go out.
      {{kKindHoldingRegisters, 0x1C8, 0x12000, 4},
       {0xC8, 0x03, 0x20, 0x00, 0x00, 0x04, 0x5E, 0x50}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(BuildReadFrame(c.request), c.frame) << "kind " << c.request.kind << " slave "
                                                  << c.request.slave;
  }
}

TEST(ReadFrameTest, ParsesWhatItBuilds) {
  const std::array<std::uint8_t, 8> frame = BuildReadFrame({kKindInputRegisters, 200, 0x7000, 22});
  const std::optional<ReadFrame> parsed = ParseReadFrame(frame);
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->slave, 200);
  EXPECT_EQ(parsed->function, 4);
  EXPECT_EQ(parsed->start, 0x7000);
  EXPECT_EQ(parsed->count, 22);

  std::array<std::uint8_t, 8> bad = frame;
  bad[7] ^= 1;
  EXPECT_FALSE(ParseReadFrame(bad));
  EXPECT_FALSE(ParseReadFrame(std::span(frame).first(7)));
}

// A protocol over an open port of the scripted library.
class ProtocolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(link.Open(1, 9600, 1, 8, 0, errorText));
    SetErrorText(errorText, kUntouched);
    library.calls.clear();
    library.onWrite = [this](std::span<const std::uint8_t>) {
      if (replies.empty()) return;
      library.Send(replies.front());
      replies.pop_front();
    };
  }

  std::string Text() const { return std::string(ErrorTextView(errorText)); }

  // Replies `reply` to the next frame written.
  void AnswerWith(const Bytes& reply) { replies.push_back(reply); }

  bool ReadHolding(int count, std::int16_t* destination, std::int16_t slave = 1) {
    return protocol.Transact(link, {kKindHoldingRegisters, slave, 0x1000, count, destination},
                             errorText);
  }

  FakeSerialLibrary library;
  SerialComCtl link{library};
  std::deque<Bytes> replies;
  std::vector<milliseconds> pauses;
  ModbusRtuProtocol protocol{[this](milliseconds pause) { pauses.push_back(pause); }};
  std::array<char, kErrorTextSize> errorText{};
};

TEST_F(ProtocolTest, ReadsExactlyTheReplyLengthOfTheRequest) {
  struct Case {
    std::int16_t kind;
    std::int32_t count;
    int length;
  };
  const Case cases[] = {
      {kKindHoldingRegisters, 4, 13}, {kKindHoldingRegisters, 1, 7}, {kKindInputRegisters, 22, 49},
      {kKindHoldingRegisters, 125, 255}, {kKindCoils, 10, 7},   {kKindDiscreteInputs, 8, 6},
      {kKindDiscreteInputs, 9, 7},     {kKindCoils, 2000, 255},
  };
  std::array<std::uint8_t, 2000> destination{};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.count);
    library.calls.clear();
    EXPECT_FALSE(protocol.Transact(link, {c.kind, 1, 0, c.count, destination.data()}, errorText));
    const auto reads = library.CallsOf(Op::Read);
    ASSERT_FALSE(reads.empty());
    EXPECT_EQ(reads[0].a, c.length);
    EXPECT_EQ(Text(), ": 读写超时");
  }
}

TEST_F(ProtocolTest, DecodesSignedRegistersInReplyOrder) {
  struct Case {
    std::int16_t kind;
    std::int16_t slave;
    std::vector<std::int16_t> registers;
  };
  const Case cases[] = {
      {kKindHoldingRegisters, 1, {0x1234}},  // one register lands in element 0
      {kKindHoldingRegisters, 200, {0x1234, -2, 0x7FFF, -32768}},
      {kKindInputRegisters, 1, {-1, 0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.registers.size());
    const std::uint8_t function = c.kind == kKindHoldingRegisters ? 3 : 4;
    AnswerWith(MakeRegisterReply(static_cast<std::uint8_t>(c.slave), function, c.registers));
    std::vector<std::int16_t> destination(c.registers.size(), kSentinel);
    const auto count = static_cast<std::int32_t>(c.registers.size());
    EXPECT_TRUE(protocol.Transact(link, {c.kind, c.slave, 0x2000, count, destination.data()},
                                  errorText));
    EXPECT_EQ(destination, c.registers);
    EXPECT_EQ(Text(), kUntouched);
  }
}

TEST_F(ProtocolTest, RegisterReplyChecksInTheirOrder) {
  const Bytes good = MakeRegisterReply(1, 3, std::vector<std::int16_t>{0x0102, 0x0304});
  Bytes badCrc = good;
  badCrc.back() ^= 0x01;
  Bytes badCrcAndAddress = badCrc;
  badCrcAndAddress[0] = 2;
  struct Case {
    const char* name;
    Bytes reply;
    const char* message;
  };
  const Case cases[] = {
      {"six bytes", {0x01, 0x03, 0x04, 0x01, 0x02, 0x03}, "返回字符个数不正确!"},
      {"exception reply", WithCrc({0x01, 0x83, 0x02}), "返回字符个数不正确!"},
      {"bad CRC", badCrc, "CRC校验不正确!"},
      {"bad CRC before bad address", badCrcAndAddress, "CRC校验不正确!"},
      {"other slave", WithCrc({0x02, 0x03, 0x04, 1, 2, 3, 4}), "返回包的设备地址不正确"},
      {"other function", WithCrc({0x01, 0x04, 0x04, 1, 2, 3, 4}), "返回包的功能码不正确"},
      {"odd byte count", WithCrc({0x01, 0x03, 0x07, 1, 2, 3, 4, 5, 6, 7}), "返回包的字节个数不正确"},
      {"fewer registers than asked", WithCrc({0x01, 0x03, 0x02, 1, 2}), "返回包的字节个数不正确"},
      // More registers than the destination holds are refused, not written past its end.
      {"more registers than asked", WithCrc({0x01, 0x03, 0x06, 1, 2, 3, 4, 5, 6}),
       "返回包的字节个数不正确"},
      {"byte count above the data", WithCrc({0x01, 0x03, 0x08, 1, 2, 3, 4}),
       "返回包的字节个数不正确"},
      {"byte count below the data", WithCrc({0x01, 0x03, 0x04, 1, 2, 3, 4, 5, 6}),
       "返回包的字节个数不正确"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetErrorText(errorText, kUntouched);
    std::array<std::int16_t, 2> destination{kSentinel, kSentinel};
    const ReadRequest request{kKindHoldingRegisters, 1, 0, 2, destination.data()};
    EXPECT_FALSE(CheckRegisterReply(c.reply, request, errorText));
    EXPECT_EQ(Text(), c.message);
    EXPECT_EQ(destination, (std::array<std::int16_t, 2>{kSentinel, kSentinel}));
  }
  std::array<std::int16_t, 2> destination{};
  EXPECT_TRUE(CheckRegisterReply(good, {kKindHoldingRegisters, 1, 0, 2, destination.data()},
                                 errorText));
  EXPECT_EQ(destination, (std::array<std::int16_t, 2>{0x0102, 0x0304}));
}

TEST_F(ProtocolTest, BitReplyStoresExactlyTheBitsAskedFor) {
  AnswerWith(WithCrc({0x01, 0x01, 0x02, 0xA5, 0xFF}));
  std::array<std::uint8_t, 16> destination;
  destination.fill(kBitSentinel);
  EXPECT_TRUE(protocol.Transact(link, {kKindCoils, 1, 0, 10, destination.data()}, errorText));
  // Least significant bit first; the six padding bits of the second byte are not stored.
  const std::array<std::uint8_t, 16> expected{1, 0, 1, 0, 0, 1, 0, 1, 1, 1,
                                              kBitSentinel, kBitSentinel, kBitSentinel,
                                              kBitSentinel, kBitSentinel, kBitSentinel};
  EXPECT_EQ(destination, expected);
  EXPECT_EQ(library.CallsOf(Op::Read)[0].a, 7);
}

TEST_F(ProtocolTest, BitReplyChecks) {
  Bytes badCrc = WithCrc({0x01, 0x02, 0x02, 0xFF, 0x03});
  badCrc[5] ^= 0x80;
  Bytes oversized{0x01, 0x02, 251};
  oversized.resize(3 + 251, 0xFF);
  struct Case {
    const char* name;
    Bytes reply;
    const char* message;
  };
  const Case cases[] = {
      {"five bytes", WithCrc({0x01, 0x02, 0x00}), "返回字符个数不正确!"},
      {"bad CRC", badCrc, "CRC校验不正确!"},
      {"other slave", WithCrc({0x03, 0x02, 0x02, 0xFF, 0x03}), "返回包的设备地址不正确"},
      {"other function", WithCrc({0x01, 0x01, 0x02, 0xFF, 0x03}), "返回包的功能码不正确"},
      {"byte count differs from the data", WithCrc({0x01, 0x02, 0x01, 0xFF, 0x03}),
       "返回包的字节个数不正确"},
      {"fewer bytes than the bits need", WithCrc({0x01, 0x02, 0x01, 0xFF}), "返回包的字节个数不正确"},
      {"more bytes than the bits need", WithCrc({0x01, 0x02, 0x03, 0xFF, 0x03, 0x00}),
       "返回包的字节个数不正确"},
      {"above 2000 bits", WithCrc(oversized), "返回包的字节个数不正确"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetErrorText(errorText, kUntouched);
    std::array<std::uint8_t, 10> destination;
    destination.fill(kBitSentinel);
    const ReadRequest request{kKindDiscreteInputs, 1, 0, 10, destination.data()};
    EXPECT_FALSE(CheckBitReply(c.reply, request, errorText));
    EXPECT_EQ(Text(), c.message);
    for (std::uint8_t bit : destination) EXPECT_EQ(bit, kBitSentinel);
  }
}

TEST_F(ProtocolTest, ExceptionReplyEndsAsAShortRead) {
  AnswerWith(WithCrc({0x01, 0x83, 0x02}));
  std::int16_t value = kSentinel;
  EXPECT_FALSE(ReadHolding(1, &value));
  EXPECT_EQ(Text(), ": 读写超时");
  EXPECT_EQ(value, kSentinel);
}

TEST_F(ProtocolTest, ElevenFailuresInARowReopenThePort) {
  std::int16_t value = 0;
  for (int i = 1; i <= 10; ++i) {
    EXPECT_FALSE(ReadHolding(1, &value));
    EXPECT_EQ(protocol.failureCount, i);
  }
  EXPECT_EQ(library.CountOf(Op::Open), 0);
  EXPECT_FALSE(ReadHolding(1, &value));
  EXPECT_EQ(protocol.failureCount, 0);
  ASSERT_EQ(library.CountOf(Op::Open), 1);
  EXPECT_EQ(library.CountOf(Op::Close), 1);
  const auto lines = library.CallsOf(Op::SetLineParameters);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].a, 12);
  EXPECT_EQ(lines[0].b, 0x03);
}

// A port its owner closed or aborted is not re-opened by the 11th failure in a row: that would
// undo a stop that came while an exchange ran. The failures are still counted.
TEST_F(ProtocolTest, AStoppedPortIsNotReopened) {
  struct Case {
    const char* name;
    std::function<void(SerialComCtl&)> stop;
  };
  const Case cases[] = {{"abort", [](SerialComCtl& l) { l.Abort(); }},
                        {"close", [](SerialComCtl& l) { l.Close(); }}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(link.Open(1, 9600, 1, 8, 0, errorText));
    library.calls.clear();
    protocol.failureCount = 0;
    c.stop(link);
    std::int16_t value = 0;
    for (int i = 1; i <= 11; ++i) EXPECT_FALSE(ReadHolding(1, &value));
    EXPECT_EQ(protocol.failureCount, 0);
    EXPECT_EQ(library.CountOf(Op::Open), 0);
    link.Close();
  }
}

TEST_F(ProtocolTest, ASuccessStartsTheCountAgain) {
  std::int16_t value = 0;
  for (int i = 0; i < 5; ++i) EXPECT_FALSE(ReadHolding(1, &value));
  AnswerWith(MakeRegisterReply(1, 3, std::vector<std::int16_t>{7}));
  EXPECT_TRUE(ReadHolding(1, &value));
  EXPECT_EQ(protocol.failureCount, 0);
  for (int i = 0; i < 10; ++i) EXPECT_FALSE(ReadHolding(1, &value));
  EXPECT_EQ(library.CountOf(Op::Open), 0);
  EXPECT_FALSE(ReadHolding(1, &value));
  EXPECT_EQ(library.CountOf(Op::Open), 1);
}

TEST_F(ProtocolTest, RequestsThatCannotBeMadeAreCountedFailuresWithNothingSent) {
  std::array<std::int16_t, 130> registers{};
  std::array<std::uint8_t, 2001> bits{};
  struct Case {
    std::int16_t kind;
    std::int32_t count;
    void* destination;
  };
  const Case cases[] = {
      {2, 1, registers.data()},
      {5, 1, registers.data()},
      {-1, 1, registers.data()},
      {kKindHoldingRegisters, 126, registers.data()},  // the reply could never pass
      {kKindInputRegisters, -1, registers.data()},
      {kKindCoils, 2001, bits.data()},
  };
  int failures = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.kind);
    SetErrorText(errorText, kUntouched);
    EXPECT_FALSE(protocol.Transact(link, {c.kind, 1, 0, c.count, c.destination}, errorText));
    EXPECT_EQ(Text(), "无效包类型");
    EXPECT_EQ(protocol.failureCount, ++failures);
  }
  EXPECT_EQ(library.CountOf(Op::Write), 0);
}

TEST_F(ProtocolTest, ShortWriteFailsWithoutReading) {
  library.writeResults = {-3, -3, -3, -3, -3};
  std::int16_t value = 0;
  EXPECT_FALSE(ReadHolding(1, &value));
  EXPECT_EQ(library.CountOf(Op::Read), 0);
  EXPECT_EQ(protocol.failureCount, 1);
}

TEST(DownloadFrameTest, StartAndEndFramesCarryTheirCrcLowByteFirst) {
  EXPECT_EQ(BuildStartFrame({.slave = 1, .picture = 2}),
            (Bytes{0x01, 0x41, 0x02, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0x69, 0x1E}));
  EXPECT_EQ(BuildEndFrame({.slave = 1}),
            (Bytes{0x01, 0x43, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0xAA, 0x36, 0x0C}));
  // Only the low bytes of address and picture go out.
  EXPECT_EQ(BuildStartFrame({.slave = 0x101, .picture = 0x302}),
            BuildStartFrame({.slave = 1, .picture = 2}));
}

TEST(DownloadFrameTest, BlockFrameOf512Bytes) {
  std::vector<std::uint8_t> data(512);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 7);
  const Bytes frame = BuildBlockFrame(
      {.slave = 9, .data = data.data(), .length = 512, .sequence = 258});
  ASSERT_EQ(frame.size(), 517u);
  EXPECT_EQ(frame[0], 9);
  EXPECT_EQ(frame[1], 0x42);
  EXPECT_EQ(frame[2], 0x02);  // the low byte of the sequence number
  EXPECT_EQ(Bytes(frame.begin() + 3, frame.begin() + 515), data);
  const std::uint16_t crc = Crc16(frame.data(), 515);
  EXPECT_EQ(frame[515], crc & 0xFF);
  EXPECT_EQ(frame[516], crc >> 8);
}

TEST_F(ProtocolTest, DownloadExchangesSendTheirFrameAndCheckTheReply) {
  const std::vector<std::uint8_t> data(512, 0x3C);
  const DownloadRequest request{.slave = 1, .picture = 4, .data = data.data(), .length = 512,
                                .sequence = 300};
  AnswerWith(MakeStartReply(1, 4));
  EXPECT_TRUE(protocol.SendStartFrame(link, request, errorText));
  AnswerWith(MakeBlockReply(1, 300 & 0xFF));
  EXPECT_TRUE(protocol.SendBlockFrame(link, request, errorText));
  AnswerWith(MakeEndReply(1));
  EXPECT_TRUE(protocol.SendEndFrame(link, request, errorText));
  EXPECT_EQ(Text(), kUntouched);

  const auto writes = library.CallsOf(Op::Write);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].bytes, BuildStartFrame(request));
  EXPECT_EQ(writes[1].bytes, BuildBlockFrame(request));
  EXPECT_EQ(writes[2].bytes, BuildEndFrame(request));
  const auto reads = library.CallsOf(Op::Read);
  ASSERT_EQ(reads.size(), 3u);
  EXPECT_EQ(reads[0].a, 6);
  EXPECT_EQ(reads[1].a, 6);
  EXPECT_EQ(reads[2].a, 5);
  EXPECT_TRUE(pauses.empty());
}

// A reply that came after its exchange gave up is still on the line when the next request goes
// out. Every exchange throws unread input away right before its request, so each takes its own
// reply, never the one before it.
TEST_F(ProtocolTest, ALateReplyIsThrownAwayBeforeTheNextRequest) {
  const std::vector<std::int16_t> stale{111, 222};
  const std::vector<std::int16_t> fresh{333, 444};
  struct Case {
    const char* name;
    std::function<bool()> exchange;
    Bytes staleReply;
  };
  std::array<std::int16_t, 2> destination{};
  const std::vector<std::uint8_t> data(8, 0x11);
  const DownloadRequest download{.slave = 1, .picture = 4, .data = data.data(), .length = 8,
                                 .sequence = 2};
  const Case cases[] = {
      {"holding registers",
       [&] {
         AnswerWith(MakeRegisterReply(1, 3, fresh));
         return ReadHolding(2, destination.data()) &&
                destination == (std::array<std::int16_t, 2>{333, 444});
       },
       MakeRegisterReply(1, 3, stale)},
      {"start frame",
       [&] {
         AnswerWith(MakeStartReply(1, 4));
         return protocol.SendStartFrame(link, download, errorText);
       },
       MakeStartReply(1, 3)},
      {"block frame",
       [&] {
         AnswerWith(MakeBlockReply(1, 2));
         return protocol.SendBlockFrame(link, download, errorText);
       },
       MakeBlockReply(1, 1)},
      {"end frame",
       [&] {
         AnswerWith(MakeEndReply(1));
         return protocol.SendEndFrame(link, download, errorText);
       },
       WithCrc({0x01, 0x83, 0x02})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    library.calls.clear();
    library.Send(c.staleReply);  // the late reply of an earlier request, unread
    EXPECT_TRUE(c.exchange()) << Text();
    const auto& calls = library.calls;
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls[0].op, Op::DiscardInput);
    EXPECT_EQ(calls[1].op, Op::Write);
    EXPECT_TRUE(library.incoming.empty());
  }
  EXPECT_EQ(protocol.failureCount, 0);
}

TEST_F(ProtocolTest, DownloadReplyChecks) {
  enum Frame { Start, Block, End };
  Bytes crcInFrameOrder = MakeBlockReply(1, 7);
  std::swap(crcInFrameOrder[4], crcInFrameOrder[5]);
  struct Case {
    const char* name;
    Frame frame;
    Bytes reply;
    const char* message;
  };
  const Case cases[] = {
      {"start: other picture", Start, MakeStartReply(1, 5), "返回包的功能码不正确"},
      {"start: other slave", Start, MakeStartReply(2, 4), "返回包的设备地址不正确"},
      {"start: block reply", Start, MakeBlockReply(1, 4), "返回包的功能码不正确"},
      {"block: other sequence", Block, MakeBlockReply(1, 8), "返回包的帧不对应"},
      {"block: CRC in the frames' order", Block, crcInFrameOrder, "CRC校验不正确!"},
      {"block: start reply", Block, MakeStartReply(1, 7), "返回包的功能码不正确"},
      {"end: other slave", End, MakeEndReply(3), "返回包的设备地址不正确"},
      {"end: other function", End, WithCrc({0x01, 0x42, 0x00}), "返回包的功能码不正确"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetErrorText(errorText, kUntouched);
    const DownloadRequest request{.slave = 1, .picture = 4, .data = nullptr, .length = 0,
                                  .sequence = 7};
    AnswerWith(c.reply);
    const bool ok = c.frame == Start   ? protocol.SendStartFrame(link, request, errorText)
                    : c.frame == Block ? protocol.SendBlockFrame(link, request, errorText)
                                       : protocol.SendEndFrame(link, request, errorText);
    EXPECT_FALSE(ok);
    EXPECT_EQ(Text(), c.message);
    library.incoming.clear();
  }
  // The end reply's middle byte is not examined; download failures are not counted.
  AnswerWith(WithCrc({0x01, 0x43, 0xEE}));
  EXPECT_TRUE(protocol.SendEndFrame(link, {.slave = 1}, errorText));
  EXPECT_EQ(protocol.failureCount, 0);
  EXPECT_EQ(library.CountOf(Op::Open), 0);
}

TEST_F(ProtocolTest, BlockReplyArrivingAtTheThirdReadSucceedsAfterTwoPauses) {
  const std::vector<std::uint8_t> data(512, 0x11);
  const DownloadRequest request{.slave = 1, .data = data.data(), .length = 512, .sequence = 3};
  ModbusRtuProtocol late([&](milliseconds pause) {
    pauses.push_back(pause);
    if (pauses.size() == 2) library.Send(MakeBlockReply(1, 3));
  });
  EXPECT_TRUE(late.SendBlockFrame(link, request, errorText));
  EXPECT_EQ(pauses, (std::vector<milliseconds>{milliseconds(50), milliseconds(50)}));
}

TEST_F(ProtocolTest, BlockReplyGivesUpAfterSixReads) {
  const std::vector<std::uint8_t> data(16, 0x11);
  const DownloadRequest request{.slave = 1, .data = data.data(), .length = 16, .sequence = 3};
  // Half a reply before each pause: every read is short.
  ModbusRtuProtocol slow([&](milliseconds pause) {
    pauses.push_back(pause);
    library.Send(Bytes{0x01, 0x42, 0x03});
  });
  library.Send(Bytes{0x01, 0x42, 0x03});
  EXPECT_FALSE(slow.SendBlockFrame(link, request, errorText));
  EXPECT_EQ(pauses.size(), 5u);
  EXPECT_EQ(Text(), ": 读写超时");
  EXPECT_EQ(library.CountOf(Op::Read), 6 * 50);
}

TEST_F(ProtocolTest, BlockThatNoFrameCanCarryIsRefused) {
  const std::vector<std::uint8_t> data(1020, 0x22);
  EXPECT_FALSE(protocol.SendBlockFrame(link, {.slave = 1, .data = data.data(), .length = 1020},
                                       errorText));
  EXPECT_EQ(Text(), "无效包类型");
  EXPECT_FALSE(
      protocol.SendBlockFrame(link, {.slave = 1, .data = nullptr, .length = 4}, errorText));
  EXPECT_EQ(library.CountOf(Op::Write), 0);

  // The largest block fills the frame buffer exactly.
  AnswerWith(MakeBlockReply(1, 0));
  EXPECT_TRUE(protocol.SendBlockFrame(link, {.slave = 1, .data = data.data(), .length = 1019},
                                      errorText));
  EXPECT_EQ(library.CallsOf(Op::Write)[0].a, 1024);
}

// The traffic log (通讯记录, vantiro-monitor --trace): each read's request, what came back and why
// it was or was not taken.
TEST_F(ProtocolTest, EachReadIsLoggedWithItsRequestReplyAndOutcome) {
  TrafficLog log;
  protocol.traffic = &log;
  const Bytes good = MakeRegisterReply(1, 3, std::vector<std::int16_t>{0x0102, 0x0304});
  Bytes badCrc = good;
  badCrc.back() ^= 0x01;
  std::array<std::int16_t, 2> destination{};
  AnswerWith(good);
  EXPECT_TRUE(ReadHolding(2, destination.data()));
  AnswerWith(badCrc);
  EXPECT_FALSE(ReadHolding(2, destination.data()));
  EXPECT_FALSE(ReadHolding(2, destination.data()));  // nothing comes back
  const std::vector<TrafficEntry> entries = log.Since(0);
  ASSERT_EQ(entries.size(), 3u);
  const Bytes request = WithCrc({0x01, 0x03, 0x10, 0x00, 0x00, 0x02});
  struct Expected {
    Bytes reply;
    const char* outcome;
  };
  const Expected expected[] = {{good, "应答"}, {badCrc, "CRC校验不正确!"}, {{}, "读写超时"}};
  for (std::size_t i = 0; i < entries.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(entries[i].number, i + 1);
    EXPECT_EQ(entries[i].request, request);
    EXPECT_EQ(entries[i].reply, expected[i].reply);
    EXPECT_EQ(entries[i].outcome, expected[i].outcome);
    EXPECT_GT(entries[i].time, 0.0);
  }
}

}  // namespace
}  // namespace vantiro
