#include "instrument/SerialComCtl.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "FakeSerialLibrary.h"

namespace vantiro {
namespace {

using testing::FakeSerialLibrary;
using Op = FakeSerialLibrary::Op;
using Bytes = std::vector<std::uint8_t>;

constexpr const char* kUntouched = "earlier text";

class SerialComCtlTest : public ::testing::Test {
 protected:
  void SetUp() override { SetErrorText(errorText, kUntouched); }

  std::string Text() const { return std::string(ErrorTextView(errorText)); }

  // Opens port 2 at 9600 8N1 and forgets the calls that took.
  void OpenPort() {
    ASSERT_TRUE(serial.Open(2, 9600, 1, 8, 0, errorText));
    library.calls.clear();
  }

  FakeSerialLibrary library;
  SerialComCtl serial{library};
  std::array<char, kErrorTextSize> errorText{};
  const Bytes block{0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17};
};

TEST_F(SerialComCtlTest, OpenSetsTimeoutsAndLineCodes) {
  struct Case {
    std::int32_t baud;
    std::uint8_t stop, data, parity;
    int baudCode, mode;
  };
  const Case cases[] = {
      {1200, 2, 5, 1, 7, 0x0C},   {2400, 1, 6, 2, 9, 0x19},  {9600, 1, 8, 0, 12, 0x03},
      {19200, 2, 7, 0, 13, 0x06}, {38400, 1, 7, 1, 14, 0x0A}, {57600, 1, 8, 2, 15, 0x1B},
      {115200, 2, 8, 2, 16, 0x1F},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.baud);
    FakeSerialLibrary lib;
    SerialComCtl port(lib);
    EXPECT_TRUE(port.Open(5, c.baud, c.stop, c.data, c.parity, errorText));
    ASSERT_EQ(lib.calls.size(), 3u);
    EXPECT_EQ(lib.calls[0].op, Op::Open);
    EXPECT_EQ(lib.calls[0].port, 5);
    EXPECT_EQ(lib.calls[1].op, Op::SetReadTimeouts);
    EXPECT_EQ(lib.calls[1].a, 60);
    EXPECT_EQ(lib.calls[1].b, 30);
    EXPECT_EQ(lib.calls[2].op, Op::SetLineParameters);
    EXPECT_EQ(lib.calls[2].port, 5);
    EXPECT_EQ(lib.calls[2].a, c.baudCode);
    EXPECT_EQ(lib.calls[2].b, c.mode);
    EXPECT_EQ(port.port, 5);
    EXPECT_EQ(Text(), kUntouched);
  }
}

TEST_F(SerialComCtlTest, OpenRefusesUndefinedLineParametersInTheirOrder) {
  struct Case {
    std::int32_t baud;
    std::uint8_t stop, data, parity;
    const char* message;
  };
  const Case cases[] = {
      {4800, 1, 8, 0, "no defined baudrate!"}, {0, 1, 8, 0, "no defined baudrate!"},
      {9600, 1, 9, 0, "no defined databits!"}, {9600, 1, 4, 0, "no defined databits!"},
      {9600, 0, 8, 0, "no defined stopits!"},  {9600, 3, 8, 0, "no defined stopits!"},
      {9600, 1, 8, 3, "no defined Paritys!"},
      // Data bits, stop bits, parity, baud rate: the first bad one speaks.
      {4800, 3, 4, 3, "no defined databits!"}, {4800, 3, 8, 3, "no defined stopits!"},
      {4800, 1, 8, 3, "no defined Paritys!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    FakeSerialLibrary lib;
    SerialComCtl port(lib);
    EXPECT_FALSE(port.Open(4, c.baud, c.stop, c.data, c.parity, errorText));
    EXPECT_EQ(Text(), c.message);
    EXPECT_EQ(lib.CountOf(Op::SetLineParameters), 0);
    ASSERT_EQ(lib.CountOf(Op::Close), 1);
    EXPECT_EQ(lib.CallsOf(Op::Close)[0].port, 4);
    // The rejected request is kept for a re-open.
    EXPECT_EQ(port.port, 4);
    EXPECT_EQ(port.baudRate, c.baud);
    EXPECT_EQ(port.stopBits, c.stop);
    EXPECT_EQ(port.dataBits, c.data);
    EXPECT_EQ(port.parity, c.parity);
  }
}

TEST_F(SerialComCtlTest, LibraryOpenFailureLeavesPortAndReportsKnownCodes) {
  struct Case {
    int code;
    const char* message;
  };
  const Case cases[] = {
      {-8, "call win32 function fail, please call!"},
      {-5, "no such port or port has be opened!"},
      {-1, "no such port or port not opened!"},
      {-3, kUntouched},
      {1, kUntouched},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    SetErrorText(errorText, kUntouched);
    FakeSerialLibrary lib;
    SerialComCtl port(lib);
    ASSERT_TRUE(port.Open(3, 9600, 1, 8, 0, errorText));
    lib.openResults.push_back(c.code);
    lib.calls.clear();
    EXPECT_FALSE(port.Open(7, 9600, 1, 8, 0, errorText));
    EXPECT_EQ(Text(), c.message);
    EXPECT_EQ(port.port, 3);
    ASSERT_EQ(lib.calls.size(), 1u);  // no time-outs, no line parameters, no close
    EXPECT_EQ(lib.calls[0].op, Op::Open);
  }
}

// The detail of a failed open, for the user: the library's account where it has one, else what
// Open found, in words; nothing after a successful open. The error text is what it always was.
TEST_F(SerialComCtlTest, AFailedOpenLeavesItsDetail) {
  struct Case {
    const char* name;
    int openResult;
    int lineResult;
    std::int32_t baud;
    std::uint8_t stopBits;
    std::uint8_t dataBits;
    std::int32_t port;
    std::string libraryDetail;
    const char* errorText;
    std::string detail;
  };
  // The detail is in Chinese like the message it belongs to; the error text keeps the words the
  // serial layer has always used.
  const Case cases[] = {
      {"busy, with the library's account", kSerialPortBusy, kSerialOk, 9600, 1, 8, 3,
       "/dev/ttyUSB0 正被其他程序占用。", "no such port or port has be opened!",
       "/dev/ttyUSB0 正被其他程序占用。"},
      {"busy, the library silent", kSerialPortBusy, kSerialOk, 9600, 1, 8, 3, "",
       "no such port or port has be opened!", "通信口 COM3不存在或已被占用。"},
      {"no such port, the library silent", kSerialNotOpen, kSerialOk, 9600, 1, 8, 3, "",
       "no such port or port not opened!", "通信口 COM3不存在或无法打开。"},
      {"a system failure, the library silent", kSerialSystemFailure, kSerialOk, 9600, 1, 8, 3, "",
       "call win32 function fail, please call!", "打开通信口 COM3时系统调用失败。"},
      {"an unlisted code, the library silent", -3, kSerialOk, 9600, 1, 8, 3, "", kUntouched,
       "串口库拒绝打开通信口 COM3（错误码 -3）。"},
      {"no port chosen, the library silent", kSerialNotOpen, kSerialOk, 9600, 1, 8, 0, "",
       "no such port or port not opened!", "未选择通信口：请在“实时通信设置”中选择通信口（COM1 至 COM16）。"},
      {"undefined baud rate", kSerialOk, kSerialOk, 4800, 1, 8, 3, "", "no defined baudrate!",
       "通信参数不可用：不支持波特率 4800（可选 1200、2400、9600、19200、38400、57600、115200）。"},
      {"undefined data bits", kSerialOk, kSerialOk, 9600, 1, 9, 3, "", "no defined databits!",
       "通信参数不可用：数据位须为 5、6、7 或 8，现为 9。"},
      {"undefined stop bits", kSerialOk, kSerialOk, 9600, 3, 8, 3, "", "no defined stopits!",
       "通信参数不可用：停止位须为 1 或 2，现为 3。"},
      {"line parameters failed", kSerialOk, kSerialSystemFailure, 9600, 1, 8, 3,
       "/dev/ttyUSB0：设置线路参数失败：输入/输出错误。", kUntouched,
       "/dev/ttyUSB0：设置线路参数失败：输入/输出错误。"},
      {"line parameters failed, the library silent", kSerialOk, kSerialSystemFailure, 9600, 1, 8,
       3, "", kUntouched, "无法设置通信口 COM3 的通信参数（错误码 -8）。"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SetErrorText(errorText, kUntouched);
    FakeSerialLibrary lib;
    SerialComCtl port(lib);
    lib.openResults = {c.openResult};
    lib.lineParameterResults = {c.lineResult};
    lib.failureDetail = c.libraryDetail;
    EXPECT_FALSE(port.Open(c.port, c.baud, c.stopBits, c.dataBits, 1, errorText));
    EXPECT_EQ(Text(), c.errorText);
    EXPECT_EQ(port.OpenFailureDetail(), c.detail);
    lib.failureDetail.clear();
    EXPECT_TRUE(port.Open(3, 9600, 1, 8, 1, errorText));
    EXPECT_EQ(port.OpenFailureDetail(), "");
  }
}

TEST_F(SerialComCtlTest, LineParameterResults) {
  // "Bad parameter" from the library still opens the port.
  library.lineParameterResults = {-7};
  EXPECT_TRUE(serial.Open(2, 9600, 1, 8, 0, errorText));
  EXPECT_EQ(Text(), "bad parm!");
  EXPECT_EQ(library.CountOf(Op::Close), 0);

  // Any other failure closes it again, without a message.
  SetErrorText(errorText, kUntouched);
  library.lineParameterResults = {-3};
  EXPECT_FALSE(serial.Open(2, 9600, 1, 8, 0, errorText));
  EXPECT_EQ(Text(), kUntouched);
  EXPECT_EQ(library.CountOf(Op::Close), 1);
}

TEST_F(SerialComCtlTest, ReopenClosesAndRepeatsTheLastRequest) {
  ASSERT_TRUE(serial.Open(4, 19200, 2, 7, 2, errorText));
  library.calls.clear();
  EXPECT_TRUE(serial.Reopen(errorText));
  ASSERT_EQ(library.calls.size(), 4u);
  EXPECT_EQ(library.calls[0].op, Op::Close);
  EXPECT_EQ(library.calls[0].port, 4);
  EXPECT_EQ(library.calls[1].op, Op::Open);
  EXPECT_EQ(library.calls[1].port, 4);
  EXPECT_EQ(library.calls[3].a, 13);
  EXPECT_EQ(library.calls[3].b, 0x1E);

  // A refused request is repeated as it was, and refused again.
  ASSERT_FALSE(serial.Open(6, 4800, 1, 8, 0, errorText));
  SetErrorText(errorText, kUntouched);
  library.calls.clear();
  EXPECT_FALSE(serial.Reopen(errorText));
  EXPECT_EQ(Text(), "no defined baudrate!");
  EXPECT_EQ(library.CallsOf(Op::Open)[0].port, 6);
}

TEST_F(SerialComCtlTest, CloseAlwaysCallsTheLibraryAndKeepsThePort) {
  EXPECT_TRUE(serial.Close());
  ASSERT_EQ(library.CountOf(Op::Close), 1);
  EXPECT_EQ(library.calls[0].port, -1);

  OpenPort();
  EXPECT_TRUE(serial.Close());
  EXPECT_EQ(serial.port, 2);

  {
    FakeSerialLibrary lib;
    {
      SerialComCtl port(lib);
      ASSERT_TRUE(port.Open(9, 9600, 1, 8, 0, errorText));
    }
    ASSERT_EQ(lib.CountOf(Op::Close), 1);  // by the destructor
    EXPECT_EQ(lib.CallsOf(Op::Close)[0].port, 9);
  }
}

TEST_F(SerialComCtlTest, WriteOnANeverOpenedPortCallsNothing) {
  EXPECT_EQ(serial.Write(block.data(), 8, errorText), 0);
  EXPECT_EQ(Text(), "串口未打开!");
  EXPECT_TRUE(library.calls.empty());
}

TEST_F(SerialComCtlTest, WriteAfterCloseTriesFiveTimes) {
  OpenPort();
  serial.Close();
  library.writeResults = {-1, -1, -1, -1, -1, -1};
  EXPECT_EQ(serial.Write(block.data(), 8, errorText), 0);
  EXPECT_EQ(Text(), "Port is not opened in advance!");
  const auto writes = library.CallsOf(Op::Write);
  ASSERT_EQ(writes.size(), 5u);
  for (const auto& w : writes) EXPECT_EQ(w.port, 2);
}

// Abort (from whichever thread) ends the transfers: every write attempt and the read give up at
// once with the abort's message, until the port is opened again.
TEST_F(SerialComCtlTest, AbortEndsTransfersUntilTheNextOpen) {
  OpenPort();
  EXPECT_FALSE(serial.Stopped());
  serial.Abort();
  EXPECT_TRUE(serial.Stopped());
  ASSERT_EQ(library.CountOf(Op::Abort), 1);
  EXPECT_EQ(library.CallsOf(Op::Abort)[0].port, 2);

  EXPECT_EQ(serial.Write(block.data(), 8, errorText), 0);
  EXPECT_EQ(Text(), "User abort blocked write!");
  EXPECT_EQ(library.CountOf(Op::Write), 5);
  SetErrorText(errorText, kUntouched);
  std::array<std::uint8_t, 8> buffer{};
  EXPECT_EQ(serial.Read(buffer.data(), 8, errorText), 0);
  EXPECT_EQ(Text(), "User abort blocked write!");
  EXPECT_EQ(library.CountOf(Op::Read), 1);

  serial.Close();
  EXPECT_TRUE(serial.Stopped());
  ASSERT_TRUE(serial.Open(2, 9600, 1, 8, 0, errorText));
  EXPECT_FALSE(serial.Stopped());
  library.onWrite = [&](std::span<const std::uint8_t> bytes) { library.Send(bytes); };
  EXPECT_EQ(serial.Write(block.data(), 8, errorText), 8);
  EXPECT_EQ(serial.Read(buffer.data(), 8, errorText), 8);
}

// Whether a port's exchanges were stopped: by its owner's Close or Abort, or by a transfer the
// library reports aborted; a new Open, also the one of Reopen, starts afresh.
TEST_F(SerialComCtlTest, StoppedUntilTheNextOpen) {
  struct Case {
    const char* name;
    std::function<void(SerialComCtl&, FakeSerialLibrary&)> act;
    bool stopped;
  };
  std::array<std::uint8_t, 8> buffer{};
  const Case cases[] = {
      {"nothing", [](SerialComCtl&, FakeSerialLibrary&) {}, false},
      {"close", [](SerialComCtl& s, FakeSerialLibrary&) { s.Close(); }, true},
      {"abort", [](SerialComCtl& s, FakeSerialLibrary&) { s.Abort(); }, true},
      {"a read the library reports aborted",
       [&](SerialComCtl& s, FakeSerialLibrary& l) {
         l.reads = {{kSerialAborted}};
         s.Read(buffer.data(), 8, errorText);
       },
       true},
      {"a write the library reports aborted",
       [&](SerialComCtl& s, FakeSerialLibrary& l) {
         l.writeResults = {kSerialAborted};
         s.Write(block.data(), 8, errorText);
       },
       true},
      {"a read timing out", [&](SerialComCtl& s, FakeSerialLibrary&) {
         s.Read(buffer.data(), 8, errorText);
       },
       false},
      {"reopen after a close",
       [&](SerialComCtl& s, FakeSerialLibrary&) {
         s.Close();
         s.Reopen(errorText);
       },
       false},
  };
  for (const Case& c : cases) {
    FakeSerialLibrary lib;
    SerialComCtl port(lib);
    ASSERT_TRUE(port.Open(2, 9600, 1, 8, 0, errorText));
    c.act(port, lib);
    EXPECT_EQ(port.Stopped(), c.stopped) << c.name;
  }
}

TEST_F(SerialComCtlTest, WriteErrorRestartsTheBlockFromItsFirstByte) {
  struct Case {
    int code;
    const char* message;
  };
  const Case cases[] = {
      {-12, "Write timeout happened!"},
      {-11, "User abort blocked write!"},
      {-7, "Bad parameter!"},
      {-1, "Port is not opened in advance!"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    OpenPort();
    library.writeResults = {3, c.code};
    EXPECT_EQ(serial.Write(block.data(), 8, errorText), 8);
    EXPECT_EQ(Text(), c.message);  // the message stays although the block went out in the end
    const auto writes = library.CallsOf(Op::Write);
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].bytes, block);
    EXPECT_EQ(writes[1].bytes, Bytes(block.begin() + 3, block.end()));
    EXPECT_EQ(writes[2].bytes, block);
  }
}

TEST_F(SerialComCtlTest, WriteContinuesAfterPartialAndUnlistedResults) {
  OpenPort();
  // An unlisted negative code counts as an attempt and keeps what was written.
  library.writeResults = {2, -3};
  EXPECT_EQ(serial.Write(block.data(), 8, errorText), 8);
  auto writes = library.CallsOf(Op::Write);
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[2].bytes, Bytes(block.begin() + 2, block.end()));
  EXPECT_EQ(Text(), kUntouched);

  // Five attempts at most, even when each moves a little.
  library.calls.clear();
  library.writeResults = {3, 2, 0, 1, 1, 1};
  EXPECT_EQ(serial.Write(block.data(), 8, errorText), 7);
  writes = library.CallsOf(Op::Write);
  ASSERT_EQ(writes.size(), 5u);
  EXPECT_EQ(writes[4].bytes, Bytes(block.begin() + 6, block.end()));
  EXPECT_EQ(Text(), kUntouched);

  library.calls.clear();
  library.writeResults = {-3, -3, -3, -3, -3};
  EXPECT_EQ(serial.Write(block.data(), 8, errorText), 0);
  EXPECT_EQ(library.CountOf(Op::Write), 5);
  EXPECT_EQ(Text(), kUntouched);
}

TEST_F(SerialComCtlTest, ReadOnANeverOpenedPortCallsNothing) {
  std::array<std::uint8_t, 8> buffer{};
  EXPECT_EQ(serial.Read(buffer.data(), 8, errorText), 0);
  EXPECT_EQ(Text(), kUntouched);
  EXPECT_TRUE(library.calls.empty());
}

TEST_F(SerialComCtlTest, DiscardInputGoesToTheLibraryOnlyForAnOpenedPort) {
  serial.DiscardInput();
  EXPECT_TRUE(library.calls.empty());
  OpenPort();
  library.Send(block);
  serial.DiscardInput();
  ASSERT_EQ(library.calls.size(), 1u);
  EXPECT_EQ(library.calls[0].op, Op::DiscardInput);
  EXPECT_EQ(library.calls[0].port, 2);
  EXPECT_TRUE(library.incoming.empty());
  EXPECT_EQ(Text(), kUntouched);
}

TEST_F(SerialComCtlTest, ReadCollectsPiecesUntilTheBlockIsComplete) {
  OpenPort();
  library.reads = {{0, {1, 2, 3}}, {0, {4, 5, 6, 7, 8}}};
  std::array<std::uint8_t, 8> buffer{};
  EXPECT_EQ(serial.Read(buffer.data(), 8, errorText), 8);
  EXPECT_EQ(buffer, (std::array<std::uint8_t, 8>{1, 2, 3, 4, 5, 6, 7, 8}));
  const auto reads = library.CallsOf(Op::Read);
  ASSERT_EQ(reads.size(), 2u);
  EXPECT_EQ(reads[1].a, 5);
  EXPECT_EQ(Text(), kUntouched);
}

TEST_F(SerialComCtlTest, ShortReadGivesUpAfterFiftyCalls) {
  OpenPort();
  library.reads = {{0, {1, 2, 3, 4, 5}}};  // then nothing more arrives
  std::array<std::uint8_t, 8> buffer{};
  EXPECT_EQ(serial.Read(buffer.data(), 8, errorText), 5);
  EXPECT_EQ(library.CountOf(Op::Read), 50);
  EXPECT_EQ(Text(), ": 读写超时");
}

TEST_F(SerialComCtlTest, ReadErrorCodes) {
  struct Case {
    int code;
    int result;
    const char* message;
  };
  const Case cases[] = {
      {-12, 0, "Write timeout happened!"},
      {-11, 0, "User abort blocked write!"},
      {-7, 0, "Bad parameter!"},
      {-1, 0, "Port is not opened in advance!"},
      {-3, 3, kUntouched},  // an unlisted code ends the read with what it has, silently
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    OpenPort();
    SetErrorText(errorText, kUntouched);
    library.reads = {{0, {1, 2, 3}}, {c.code}};
    std::array<std::uint8_t, 8> buffer{};
    EXPECT_EQ(serial.Read(buffer.data(), 8, errorText), c.result);
    EXPECT_EQ(Text(), c.message);
    EXPECT_EQ(library.CountOf(Op::Read), 2);
  }
}

TEST(ErrorTextTest, LongMessagesAreCutToTheBuffer) {
  std::array<char, kErrorTextSize + 8> guarded{};
  guarded.fill('#');
  ErrorText text(guarded.data(), kErrorTextSize);
  SetErrorText(text, std::string(3000, 'x'));
  EXPECT_EQ(ErrorTextView(text), std::string(kErrorTextSize - 1, 'x'));
  EXPECT_EQ(guarded[kErrorTextSize - 1], '\0');
  EXPECT_EQ(guarded[kErrorTextSize], '#');

  SetErrorText(text, "short");
  EXPECT_EQ(ErrorTextView(text), "short");
}

}  // namespace
}  // namespace vantiro
