// The termios serial library on a real pseudo-terminal: the test holds the master side, the library
// opens the slave through the [DEVICE] section of a config.ini.

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <functional>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "instrument/SerialComCtl.h"
#include "instrument/SerialDevices.h"
#include "instrument/SerialLibrary.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

using testing::TempDir;
using testing::WriteText;
using Bytes = std::vector<std::uint8_t>;

constexpr int kPort = 7;

// The words of `text` written in Latin letters, `names` (paths, user and group names) taken out
// first, that are not commands, settings or program names a user types or sees as they are: a
// detail written in Chinese has none.
std::vector<std::string> EnglishWords(std::string text, const std::vector<std::string>& names) {
  for (const std::string& name : names) {
    for (std::size_t at; !name.empty() && (at = text.find(name)) != std::string::npos;) {
      text.erase(at, name.size());
    }
  }
  static const std::vector<std::string> kAsTyped = {
      "COM", "config", "ini", "DEVICE", "dev", "ttyUSB", "ModemManager", "sudo", "usermod", "aG",
      "USER", "chgrp", "chmod", "udev", "GROUP", "MODE", "dialout", "uucp"};
  std::vector<std::string> words;
  std::string word;
  for (std::size_t i = 0; i <= text.size(); ++i) {
    const char c = i < text.size() ? text[i] : ' ';
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
      word += c;
      continue;
    }
    if (word.size() >= 2 && std::find(kAsTyped.begin(), kAsTyped.end(), word) == kAsTyped.end()) {
      words.push_back(word);
    }
    word.clear();
  }
  return words;
}

// Bytes a terminal in its usual mode would change or act on: NUL, LF, CR, ^C, XON, XOFF, DEL, 0xFF.
const Bytes kAwkwardBytes{0x00, 0x0A, 0x0D, 0x03, 0x11, 0x13, 0x7F, 0xFF};

class TermiosSerialLibraryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master_, 0);
    ASSERT_EQ(::grantpt(master_), 0);
    ASSERT_EQ(::unlockpt(master_), 0);
    slavePath_ = ::ptsname(master_);
    WriteText(ini_, "[COM]\nport=6\n[DEVICE]\nCOM7=" + slavePath_ + "\nCOM8=" +
                        dir_.File("missing") + "\nCOM9=" + ini_ + "\n");
  }
  void TearDown() override {
    if (master_ >= 0) ::close(master_);
  }

  void OpenPort(TermiosSerialLibrary& library) {
    ASSERT_EQ(library.Open(kPort), kSerialOk);
    ASSERT_EQ(library.SetReadTimeouts(kPort, kReadTotalTimeoutMs, kReadIntervalTimeoutMs),
              kSerialOk);
    ASSERT_EQ(library.SetLineParameters(kPort, 12, 0x03), kSerialOk);  // 9600 8N1
  }

  // What the master receives, `count` bytes, waiting at most a few seconds for them.
  Bytes MasterReceives(std::size_t count) {
    Bytes got;
    while (got.size() < count) {
      pollfd ready{master_, POLLIN, 0};
      if (::poll(&ready, 1, 5000) <= 0) break;
      std::uint8_t buffer[64];
      const ssize_t n = ::read(master_, buffer, std::min(sizeof buffer, count - got.size()));
      if (n <= 0) break;
      got.insert(got.end(), buffer, buffer + n);
    }
    return got;
  }
  void MasterSends(const Bytes& bytes) {
    ASSERT_EQ(::write(master_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  }

  TempDir dir_;
  std::string ini_ = dir_.File("config.ini");
  int master_ = -1;
  std::string slavePath_;
  TermiosSerialLibrary library_{ini_};
};

TEST_F(TermiosSerialLibraryTest, PortsMapToDevices) {
  EXPECT_EQ(library_.DevicePath(kPort), slavePath_);
  EXPECT_EQ(library_.DevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(library_.DevicePath(16), "/dev/ttyS15");
  EXPECT_EQ(library_.DevicePath(0), "");
}

TEST_F(TermiosSerialLibraryTest, MovesEveryByteValueBothWays) {
  OpenPort(library_);
  EXPECT_EQ(library_.Write(kPort, kAwkwardBytes.data(), 8), 8);
  EXPECT_EQ(MasterReceives(8), kAwkwardBytes);

  MasterSends(kAwkwardBytes);
  Bytes buffer(8, 0x55);
  EXPECT_EQ(library_.Read(kPort, buffer.data(), 8), 8);
  EXPECT_EQ(buffer, kAwkwardBytes);
}

TEST_F(TermiosSerialLibraryTest, ReadDeliversWhatArrivedWhenTheTimeoutsExpire) {
  OpenPort(library_);
  Bytes buffer(8, 0);
  EXPECT_EQ(library_.Read(kPort, buffer.data(), 4), 0);

  MasterSends({1, 2, 3});
  EXPECT_EQ(library_.Read(kPort, buffer.data(), 8), 3);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 3), (Bytes{1, 2, 3}));
}

TEST_F(TermiosSerialLibraryTest, DiscardInputThrowsAwayWhatArrivedUnread) {
  OpenPort(library_);
  MasterSends({9, 9, 9, 9, 9});
  Bytes buffer(8, 0);
  // Reads that end as soon as their bytes are there may wait long on a loaded machine.
  ASSERT_EQ(library_.SetReadTimeouts(kPort, 10000, 10000), kSerialOk);
  ASSERT_EQ(library_.Read(kPort, buffer.data(), 1), 1);  // they have arrived
  EXPECT_EQ(library_.DiscardInput(kPort), kSerialOk);
  ASSERT_EQ(library_.SetReadTimeouts(kPort, kReadTotalTimeoutMs, kReadIntervalTimeoutMs),
            kSerialOk);
  EXPECT_EQ(library_.Read(kPort, buffer.data(), 4), 0);
  MasterSends({1, 2});
  ASSERT_EQ(library_.SetReadTimeouts(kPort, 10000, 10000), kSerialOk);
  EXPECT_EQ(library_.Read(kPort, buffer.data(), 2), 2);
  EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + 2), (Bytes{1, 2}));
  EXPECT_EQ(library_.DiscardInput(kPort), kSerialOk);  // nothing there: no harm
  EXPECT_EQ(library_.Close(kPort), kSerialOk);
  EXPECT_EQ(library_.DiscardInput(kPort), kSerialNotOpen);
}

TEST_F(TermiosSerialLibraryTest, ReadAfterTheFarEndHungUpDeliversNothing) {
  OpenPort(library_);
  ::close(master_);
  master_ = -1;
  Bytes buffer(4, 0);
  EXPECT_EQ(library_.Read(kPort, buffer.data(), 4), 0);
}

TEST_F(TermiosSerialLibraryTest, APortIsHeldExclusively) {
  OpenPort(library_);
  EXPECT_EQ(library_.Open(kPort), kSerialPortBusy);
  TermiosSerialLibrary otherProgram(ini_);
  EXPECT_EQ(otherProgram.Open(kPort), kSerialPortBusy);

  EXPECT_EQ(library_.Close(kPort), kSerialOk);
  EXPECT_EQ(otherProgram.Open(kPort), kSerialOk);
  EXPECT_EQ(library_.Open(kPort), kSerialPortBusy);
}

TEST_F(TermiosSerialLibraryTest, MissingDevicesAndClosedPorts) {
  EXPECT_EQ(library_.Open(8), kSerialNotOpen);  // no such file
  EXPECT_EQ(library_.Open(9), kSerialNotOpen);  // a file, not a terminal
  std::uint8_t byte = 0;
  EXPECT_EQ(library_.Write(kPort, &byte, 1), kSerialNotOpen);
  EXPECT_EQ(library_.Read(kPort, &byte, 1), kSerialNotOpen);
  EXPECT_EQ(library_.SetReadTimeouts(kPort, 60, 30), kSerialNotOpen);
  EXPECT_EQ(library_.SetLineParameters(kPort, 12, 3), kSerialNotOpen);
  EXPECT_EQ(library_.Close(kPort), kSerialNotOpen);
}

TEST_F(TermiosSerialLibraryTest, UnknownLineParametersAreBadParameters) {
  OpenPort(library_);
  struct Case {
    int baudCode, mode;
  };
  const Case cases[] = {{8, 0x03}, {0, 0x03}, {17, 0x03}, {12, 0x10}, {12, 0x20}, {12, -1}};
  for (const Case& c : cases) {
    EXPECT_EQ(library_.SetLineParameters(kPort, c.baudCode, c.mode), kSerialBadParameter)
        << c.baudCode << " " << c.mode;
  }
}

// A pseudo-terminal has no parity and only 8-bit characters: it refuses such settings exactly as
// given (tcsetattr fails, or quietly keeps its own), as some adapters' drivers do. Every open must
// still succeed, again and again, and carry bytes with what the device took.
TEST_F(TermiosSerialLibraryTest, FramingTheDeviceAdjustsNeverBlocksTheNextOpen) {
  struct Case {
    const char* name;
    int mode;
  };
  const Case cases[] = {
      {"8 data bits, odd parity", 0x03 | kParityOdd},
      {"8 data bits, even parity", 0x03 | kParityEven},
      {"7 data bits, even parity, 2 stop bits", 0x02 | kTwoStopBits | kParityEven},
      {"8 data bits, no parity", 0x03},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    for (int round = 1; round <= 4; ++round) {
      SCOPED_TRACE(round);
      ASSERT_EQ(library_.Open(kPort), kSerialOk);
      // Reads end as soon as their bytes are there; a loaded machine may need longer than 60 ms.
      ASSERT_EQ(library_.SetReadTimeouts(kPort, 10000, 10000), kSerialOk);
      const int result = library_.SetLineParameters(kPort, 12, c.mode);
      EXPECT_EQ(result, kSerialOk);
      const std::uint8_t byte = static_cast<std::uint8_t>(0x40 + round);
      EXPECT_EQ(library_.Write(kPort, &byte, 1), 1);
      EXPECT_EQ(MasterReceives(1), Bytes{byte});
      MasterSends({byte});
      std::uint8_t got = 0;
      EXPECT_EQ(library_.Read(kPort, &got, 1), 1);
      EXPECT_EQ(got, byte);
      EXPECT_EQ(library_.Close(kPort), kSerialOk);
    }
  }
}

// The same through the serial layer: open, close, open again, with each parity, and the re-open.
TEST_F(TermiosSerialLibraryTest, SerialComCtlOpensAgainAfterACloseWithEveryParity) {
  for (const std::uint8_t parity : {1, 2, 0, 1}) {
    SCOPED_TRACE(static_cast<int>(parity));
    SerialComCtl serial(library_);
    for (int round = 1; round <= 3; ++round) {
      SCOPED_TRACE(round);
      std::array<char, kErrorTextSize> errorText{};
      ASSERT_TRUE(serial.Open(kPort, 9600, 1, 8, parity, errorText)) << errorText.data();
      EXPECT_EQ(errorText[0], '\0') << errorText.data();
      const Bytes request{0x01, 0x04, 0x70, 0x00, 0x00, 0x16, 0x00, 0x00};
      EXPECT_EQ(serial.Write(request.data(), 8, errorText), 8);
      EXPECT_EQ(MasterReceives(8), request);
      EXPECT_TRUE(serial.Close());
    }
    // The re-open of the serial layer (the one after repeated failures) takes the same way.
    std::array<char, kErrorTextSize> errorText{};
    ASSERT_TRUE(serial.Open(kPort, 9600, 1, 8, parity, errorText));
    EXPECT_TRUE(serial.Reopen(errorText)) << errorText.data();
    EXPECT_TRUE(serial.Reopen(errorText)) << errorText.data();
    const std::uint8_t byte = 0x5A;
    EXPECT_EQ(serial.Write(&byte, 1, errorText), 1);
    EXPECT_EQ(MasterReceives(1), Bytes{byte});
  }
}

// What a device took, against what was asked: a speed other than the one asked is a "bad
// parameter" (the port runs with what it took); framing the device adjusted is its own business;
// raw mode must have taken, else failure.
TEST(LineParametersTest, WhatTheDeviceTookDecidesTheResult) {
  termios asked{};
  ASSERT_TRUE(ApplyLineParameters(asked, 12, 0x03 | kParityOdd));  // 9600 8O1
  struct Case {
    const char* name;
    void (*change)(termios&);
    int result;
  };
  const Case cases[] = {
      {"everything taken", [](termios&) {}, kSerialOk},
      {"another output speed", [](termios& t) { cfsetospeed(&t, B19200); }, kSerialBadParameter},
      {"another input speed", [](termios& t) { cfsetispeed(&t, B4800); }, kSerialBadParameter},
      {"parity dropped, PARODD kept",
       [](termios& t) { t.c_cflag &= ~static_cast<tcflag_t>(PARENB); }, kSerialOk},
      {"even instead of odd", [](termios& t) { t.c_cflag &= ~static_cast<tcflag_t>(PARODD); },
       kSerialOk},
      {"7 data bits instead of 8",
       [](termios& t) { t.c_cflag = (t.c_cflag & ~static_cast<tcflag_t>(CSIZE)) | CS7; },
       kSerialOk},
      {"two stop bits", [](termios& t) { t.c_cflag |= CSTOPB; }, kSerialOk},
      {"flags outside the framing changed", [](termios& t) { t.c_cflag |= HUPCL; }, kSerialOk},
      {"echo still on", [](termios& t) { t.c_lflag |= ECHO; }, kSerialSystemFailure},
      {"canonical input still on", [](termios& t) { t.c_lflag |= ICANON; }, kSerialSystemFailure},
      {"a read that waits", [](termios& t) { t.c_cc[VMIN] = 1; }, kSerialSystemFailure},
  };
  for (const Case& c : cases) {
    termios taken = asked;
    c.change(taken);
    EXPECT_EQ(LineParametersResult(asked, taken), c.result) << c.name;
  }
}

// A transfer waiting on a silent line is ended from another thread. The read time-outs are set
// far beyond the test's patience, so only the abort can end the read; the bounded waits below
// are safety nets against a hang, not measurements.
constexpr int kPatientMs = 600000;
constexpr std::chrono::seconds kSafetyNet(60);

TEST_F(TermiosSerialLibraryTest, AbortFromAnotherThreadEndsTransfersUntilTheClose) {
  OpenPort(library_);
  ASSERT_EQ(library_.SetReadTimeouts(kPort, kPatientMs, kPatientMs), kSerialOk);
  struct Case {
    const char* name;
    std::function<int()> transfer;
  };
  Bytes big(4 << 20, 0x55);  // more than the terminal holds while nobody reads the far end
  Bytes buffer(8, 0);
  const Case cases[] = {
      {"read on a silent line",
       [&] { return library_.Read(kPort, buffer.data(), static_cast<int>(buffer.size())); }},
      {"write the line does not take",
       [&] { return library_.Write(kPort, big.data(), static_cast<int>(big.size())); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_EQ(library_.Close(kPort), kSerialOk);
    OpenPort(library_);
    ASSERT_EQ(library_.SetReadTimeouts(kPort, kPatientMs, kPatientMs), kSerialOk);
    std::future<int> transfer = std::async(std::launch::async, c.transfer);
    // Whether the abort comes while the transfer waits or before it started, it ends it.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(library_.Abort(kPort), kSerialOk);
    ASSERT_EQ(transfer.wait_for(kSafetyNet), std::future_status::ready);
    EXPECT_EQ(transfer.get(), kSerialAborted);
    // Later transfers are aborted too, until the port is closed.
    std::uint8_t byte = 1;
    EXPECT_EQ(library_.Read(kPort, &byte, 1), kSerialAborted);
    EXPECT_EQ(library_.Write(kPort, &byte, 1), kSerialAborted);
  }
  ASSERT_EQ(library_.Close(kPort), kSerialOk);
  EXPECT_EQ(library_.Abort(kPort), kSerialNotOpen);
  // A new open starts afresh.
  ::tcflush(master_, TCIOFLUSH);
  OpenPort(library_);
  ASSERT_EQ(library_.SetReadTimeouts(kPort, 10000, 10000), kSerialOk);
  MasterSends({7});
  std::uint8_t got = 0;
  EXPECT_EQ(library_.Read(kPort, &got, 1), 1);
  EXPECT_EQ(got, 7);
}

// Closing from another thread while a read waits: the read is woken and returns, and only then is
// the descriptor closed, so the read never runs on a closed or reused descriptor. The port opens
// again afterwards.
TEST_F(TermiosSerialLibraryTest, CloseDuringAReadWakesItAndClosesAfterIt) {
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE(round);
    OpenPort(library_);
    ASSERT_EQ(library_.SetReadTimeouts(kPort, kPatientMs, kPatientMs), kSerialOk);
    std::future<int> read = std::async(std::launch::async, [&] {
      std::uint8_t buffer[8];
      return library_.Read(kPort, buffer, 8);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    std::future<int> close = std::async(std::launch::async, [&] { return library_.Close(kPort); });
    ASSERT_EQ(close.wait_for(kSafetyNet), std::future_status::ready);
    EXPECT_EQ(close.get(), kSerialOk);
    ASSERT_EQ(read.wait_for(kSafetyNet), std::future_status::ready);
    // Woken while waiting (aborted), or, had the close come first, the port was not open.
    const int result = read.get();
    EXPECT_TRUE(result == kSerialAborted || result == kSerialNotOpen) << result;
    std::uint8_t byte = 0;
    EXPECT_EQ(library_.Read(kPort, &byte, 1), kSerialNotOpen);
  }
  // The exclusive hold went with the close: another program may open the port now.
  TermiosSerialLibrary otherProgram(ini_);
  EXPECT_EQ(otherProgram.Open(kPort), kSerialOk);
  EXPECT_EQ(otherProgram.Close(kPort), kSerialOk);
}

// Why an open failed, for the user: each failure names the device (or that no port is chosen) and
// says what to do, in Chinese like every other message of the window.
TEST_F(TermiosSerialLibraryTest, AFailedOpenTellsWhyAndWhatToDo) {
  TermiosSerialLibrary otherProgram(ini_);
  struct Case {
    const char* name;
    TermiosSerialLibrary* library;
    int port;
    int result;
    std::vector<std::string> words;
  };
  const Case cases[] = {
      {"missing device", &library_, 8, kSerialNotOpen,
       {"未找到 " + dir_.File("missing"), "适配器是否已插好", "[DEVICE]"}},
      {"not a terminal", &library_, 9, kSerialNotOpen, {ini_, "不是串口", "COM9"}},
      {"no port chosen (the stored index -1)", &library_, 0, kSerialNotOpen,
       {"未选择通信口", "实时通信设置"}},
      {"no port chosen (an index below -1)", &library_, -3, kSerialNotOpen, {"未选择通信口"}},
      {"held by another program", &otherProgram, kPort, kSerialPortBusy,
       {slavePath_, "正被其他程序占用", "ModemManager"}},
      {"already open here", &library_, kPort, kSerialPortBusy,
       {slavePath_, "COM7", "已在本程序中打开"}},
  };
  OpenPort(library_);
  EXPECT_EQ(library_.FailureDetail(), "");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.library->Open(c.port), c.result);
    const std::string text = c.library->FailureDetail();
    for (const std::string& word : c.words) {
      EXPECT_NE(text.find(word), std::string::npos) << "'" << word << "' not in: " << text;
    }
    EXPECT_EQ(text.find("COM0"), std::string::npos) << text;
    EXPECT_EQ(EnglishWords(text, {slavePath_, ini_, dir_.File("missing")}),
              std::vector<std::string>())
        << text;
  }
  // A successful open leaves no detail behind.
  ASSERT_EQ(library_.Close(kPort), kSerialOk);
  EXPECT_EQ(otherProgram.Open(kPort), kSerialOk);
  EXPECT_EQ(otherProgram.FailureDetail(), "");
}

TEST(OpenFailureTextTest, TheHintFitsTheSystemsReason) {
  testing::TempDir dir;
  const std::string device = dir.File("ttyUSB9");
  WriteText(device, "");
  ASSERT_EQ(::chmod(device.c_str(), 0600), 0);
  const std::optional<DeviceAccess> access = LookUpDeviceAccess(device);
  ASSERT_TRUE(access);
  struct Case {
    const char* name;
    int error;
    std::vector<std::string> words;
  };
  // The device is this user's own with mode 0600: joining a group would not help anybody else.
  const Case cases[] = {
      {"permission denied", EACCES,
       {"无权打开 " + device, "用户 " + access->owner, "组 " + access->group, "0600", "加入组也无法使用",
        "chmod", "udev"}},
      {"operation not permitted", EPERM, {"无权打开 " + device, "0600"}},
      {"busy", EBUSY, {device, "正被其他程序占用", "ModemManager"}},
      {"missing", ENOENT, {"未找到 " + device, "适配器", "config.ini"}},
      {"no such device", ENODEV, {"未找到 " + device}},
      {"anything else", EIO, {device, "输入/输出错误"}},
      {"an error without words of its own", EDOM, {device, "系统错误 " + std::to_string(EDOM)}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = OpenFailureText(device, c.error);
    for (const std::string& word : c.words) {
      EXPECT_NE(text.find(word), std::string::npos) << "'" << word << "' not in: " << text;
    }
    if (c.error != EDOM) {  // whose words come from the system
      EXPECT_EQ(EnglishWords(text, {device, access->owner, access->group}),
                std::vector<std::string>())
          << text;
    }
  }
}

// Joining the device's group is the hint only where it helps: the group may read and write the
// device and is not root's. Otherwise the owner, the group and the mode are named and the
// administrator is asked for access. The settings dialog's hint is the same text.
TEST(OpenFailureTextTest, JoiningTheGroupIsAdvisedOnlyWhereItHelps) {
  const std::string device = "/dev/ttyUSB0";
  struct Case {
    const char* name;
    std::optional<DeviceAccess> access;
    std::vector<std::string> words;
    std::vector<std::string> absent;
  };
  const Case cases[] = {
      {"dialout may use it", DeviceAccess{"root", "dialout", false, 0660},
       {"无权打开 /dev/ttyUSB0", "加入 dialout 组", "sudo usermod -aG dialout $USER", "重新登录"},
       {"管理员"}},
      {"another group may use it", DeviceAccess{"root", "uucp", false, 0660},
       {"加入 uucp 组", "usermod -aG uucp"}, {"dialout", "管理员"}},
      {"root:root 0600", DeviceAccess{"root", "root", true, 0600},
       {"用户 root、组 root", "权限 0600", "加入组也无法使用", "管理员",
        "sudo chgrp dialout /dev/ttyUSB0", "sudo chmod 660 /dev/ttyUSB0", "udev"},
       {"usermod", "请把用户加入 root"}},
      {"root's group, even with group access", DeviceAccess{"root", "root", true, 0660},
       {"组 root", "权限 0660", "管理员"}, {"usermod -aG root"}},
      {"dialout without group access", DeviceAccess{"root", "dialout", false, 0604},
       {"组 dialout", "权限 0604", "管理员"}, {"usermod"}},
      {"a device that cannot be looked at", std::nullopt, {"无权打开 /dev/ttyUSB0", "管理员"},
       {"usermod", "dialout"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string text = AccessHint(device, c.access);
    for (const std::string& word : c.words) {
      EXPECT_NE(text.find(word), std::string::npos) << "'" << word << "' not in: " << text;
    }
    for (const std::string& word : c.absent) {
      EXPECT_EQ(text.find(word), std::string::npos) << "'" << word << "' in: " << text;
    }
    EXPECT_EQ(EnglishWords(text, {device, "root"}), std::vector<std::string>()) << text;
    SerialDevice listed;
    listed.path = device;
    listed.usable = false;
    listed.access = c.access;
    EXPECT_EQ(DevicePermissionHint(listed), text);
  }
}

// The exclusive hold (the terminal's exclusive mode and the lock) lasts from the open to the
// close, and is gone after it: the port opens again, here and in another program.
TEST_F(TermiosSerialLibraryTest, TheExclusiveHoldEndsWithTheClose) {
  const auto exclusive = [&] {
    const int fd = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;  // refused: exclusive to another opener (an unprivileged test)
    int state = 0;
    const int result = ::ioctl(fd, TIOCGEXCL, &state);
    ::close(fd);
    return result == 0 ? state : -2;
  };
  for (int round = 1; round <= 3; ++round) {
    SCOPED_TRACE(round);
    TermiosSerialLibrary otherProgram(ini_);
    OpenPort(library_);
    EXPECT_NE(exclusive(), 0);
    EXPECT_EQ(otherProgram.Open(kPort), kSerialPortBusy);
    ASSERT_EQ(library_.Close(kPort), kSerialOk);
    EXPECT_EQ(exclusive(), 0);
    ASSERT_EQ(otherProgram.Open(kPort), kSerialOk);
    ASSERT_EQ(otherProgram.Close(kPort), kSerialOk);
  }
}

TEST(LineParametersTest, ModeByteAndBaudCodeSetTheTerminal) {
  struct Case {
    int baudCode, mode;
    speed_t speed;
    tcflag_t size;
    bool twoStopBits, parity, odd;
  };
  const Case cases[] = {
      {12, 0x03, B9600, CS8, false, false, false},  {7, 0x0C, B1200, CS5, true, true, true},
      {9, 0x19, B2400, CS6, false, true, false},    {13, 0x06, B19200, CS7, true, false, false},
      {14, 0x0A, B38400, CS7, false, true, true},   {15, 0x1B, B57600, CS8, false, true, false},
      {16, 0x1F, B115200, CS8, true, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    termios settings{};
    // A terminal in its usual line mode, with leftovers of another setting.
    settings.c_iflag = ICRNL | IXON | IXOFF;
    settings.c_oflag = OPOST | ONLCR;
    settings.c_lflag = ICANON | ECHO | ISIG | IEXTEN;
    settings.c_cflag = CS8 | PARODD | CSTOPB | CRTSCTS;
    settings.c_cc[VMIN] = 1;
    ASSERT_TRUE(ApplyLineParameters(settings, c.baudCode, c.mode));
    EXPECT_EQ(cfgetospeed(&settings), c.speed);
    EXPECT_EQ(cfgetispeed(&settings), c.speed);
    EXPECT_EQ(settings.c_cflag & CSIZE, c.size);
    EXPECT_EQ((settings.c_cflag & CSTOPB) != 0, c.twoStopBits);
    EXPECT_EQ((settings.c_cflag & PARENB) != 0, c.parity);
    EXPECT_EQ((settings.c_cflag & PARODD) != 0, c.odd);
    EXPECT_EQ(settings.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
    EXPECT_EQ(settings.c_cflag & CRTSCTS, 0u);
    EXPECT_EQ(settings.c_iflag & (ICRNL | IXON | IXOFF), 0u);
    EXPECT_EQ(settings.c_oflag & OPOST, 0u);
    EXPECT_EQ(settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
    EXPECT_EQ(settings.c_cc[VMIN], 0);
  }
  termios untouched{};
  untouched.c_cflag = CS7;
  termios settings = untouched;
  EXPECT_FALSE(ApplyLineParameters(settings, 8, 0x03));
  EXPECT_EQ(settings.c_cflag, untouched.c_cflag);
}

TEST_F(TermiosSerialLibraryTest, SerialComCtlTalksThroughAPty) {
  std::array<char, kErrorTextSize> errorText{};
  SerialComCtl serial(library_);
  ASSERT_TRUE(serial.Open(kPort, 115200, 1, 8, 2, errorText)) << errorText.data();
  const Bytes request{0x01, 0x03, 0x20, 0x00, 0x00, 0x04, 0x4F, 0xC9};
  EXPECT_EQ(serial.Write(request.data(), 8, errorText), 8);
  EXPECT_EQ(MasterReceives(8), request);
  MasterSends(kAwkwardBytes);
  Bytes reply(8, 0);
  EXPECT_EQ(serial.Read(reply.data(), 8, errorText), 8);
  EXPECT_EQ(reply, kAwkwardBytes);
  EXPECT_EQ(errorText[0], '\0');
}

}  // namespace
}  // namespace vantiro
