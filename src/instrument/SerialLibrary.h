#pragma once
// The serial-port library: operations on numbered ports, with the result codes the serial layer
// (SerialComCtl) tells apart. Six of them move and set up the line (open, read time-outs, line
// parameters, close, write, read); DiscardInput starts each exchange on a quiet line, Abort ends a
// running one from another thread, FailureDetail says why an open failed. TermiosSerialLibrary is
// the implementation over Linux terminals; tests put a scripted fake of the same interface in its
// place.
//
// Port n is the device /dev/ttyS<n-1>, unless config.ini has, in its optional section [DEVICE], a
// key COM<n> naming another device (a USB adapter, or the pty of the recorder simulator):
//
//   [DEVICE]
//   COM1=/dev/ttyUSB0

#include <cstdint>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>
#include <memory>
#include <chrono>

#include "instrument/Gateway.h"

struct termios;

namespace vantiro {

// Result codes of the library's operations.
inline constexpr int kSerialOk = 0;
inline constexpr int kSerialNotOpen = -1;        // open: no such port; others: port not opened
inline constexpr int kSerialPortBusy = -5;       // open: held here or by another program
inline constexpr int kSerialBadParameter = -7;   // a parameter out of range
inline constexpr int kSerialSystemFailure = -8;  // a system call failed
inline constexpr int kSerialAborted = -11;       // a blocking transfer was aborted
inline constexpr int kSerialTimeout = -12;       // write: the line did not take the bytes in time

// The read time-outs the serial layer sets at every open, in milliseconds.
inline constexpr int kReadTotalTimeoutMs = 60;
inline constexpr int kReadIntervalTimeoutMs = 30;

// Line parameter codes of SetLineParameters: the baud code, and the mode byte, which is
// data-bits code | stop-bits code | parity code.
struct BaudCodeEntry {
  std::int32_t bitsPerSecond;
  int code;
};
inline constexpr BaudCodeEntry kBaudCodes[] = {{1200, 7},   {2400, 9},   {9600, 12},  {19200, 13},
                                               {38400, 14}, {57600, 15}, {115200, 16}};
inline constexpr std::uint8_t kDataBitsMask = 0x03;  // 5, 6, 7, 8 data bits: 0x00 .. 0x03
inline constexpr std::uint8_t kTwoStopBits = 0x04;   // one stop bit: 0x00
inline constexpr std::uint8_t kParityMask = 0x18;
inline constexpr std::uint8_t kParityOdd = 0x08;  // no parity: 0x00
inline constexpr std::uint8_t kParityEven = 0x18;

constexpr std::optional<int> BaudCode(std::int32_t bitsPerSecond) {
  for (const BaudCodeEntry& entry : kBaudCodes) {
    if (entry.bitsPerSecond == bitsPerSecond) return entry.code;
  }
  return std::nullopt;
}
constexpr std::optional<std::int32_t> BaudRateOfCode(int code) {
  for (const BaudCodeEntry& entry : kBaudCodes) {
    if (entry.code == code) return entry.bitsPerSecond;
  }
  return std::nullopt;
}
constexpr std::optional<std::uint8_t> DataBitsCode(int dataBits) {
  if (dataBits < 5 || dataBits > 8) return std::nullopt;
  return static_cast<std::uint8_t>(dataBits - 5);
}
constexpr std::optional<std::uint8_t> StopBitsCode(int stopBits) {
  if (stopBits == 1) return std::uint8_t{0};
  if (stopBits == 2) return kTwoStopBits;
  return std::nullopt;
}
// 0 none, 1 odd, 2 even.
constexpr std::optional<std::uint8_t> ParityCode(int parity) {
  if (parity == 0) return std::uint8_t{0};
  if (parity == 1) return kParityOdd;
  if (parity == 2) return kParityEven;
  return std::nullopt;
}

class SerialLibrary {
 public:
  virtual ~SerialLibrary() = default;

  // 0, or kSerialNotOpen (no such port), kSerialPortBusy, kSerialSystemFailure.
  virtual int Open(int port) = 0;
  // Read time-outs in milliseconds: `total` bounds a whole Read from its start, `interval` the
  // silence after a received byte. A limit of 0 is not applied; a Read never waits without one.
  virtual int SetReadTimeouts(int port, int total, int interval) = 0;
  // 0; kSerialBadParameter for an unknown baud code or mode byte, or for a speed the device does
  // not run at (it keeps the one it took, and the port stays open); or another failure code.
  // Framing that the device adjusts (a pseudo-terminal has no parity and only 8-bit characters,
  // some adapters' drivers change parity or character size) is taken as the device sets it.
  virtual int SetLineParameters(int port, int baudCode, int mode) = 0;
  // Also from another thread while a transfer runs: the transfer is ended as by Abort, and the
  // port is closed once it has returned.
  virtual int Close(int port) = 0;
  // The number of bytes accepted, or kSerialTimeout, kSerialAborted, kSerialBadParameter,
  // kSerialNotOpen, or another negative code.
  virtual int Write(int port, const std::uint8_t* data, int count) = 0;
  // The number of bytes delivered: as soon as `count` bytes are there, fewer (possibly none) when
  // the read time-outs expire; or a negative code as for Write.
  virtual int Read(int port, std::uint8_t* buffer, int count) = 0;
  // Throws away whatever has arrived and not been read yet. 0, or kSerialNotOpen.
  virtual int DiscardInput(int port) = 0;
  // Ends the transfer in progress on `port` (from another thread: it returns kSerialAborted at
  // once) and every later one until the port is closed. 0, or kSerialNotOpen.
  virtual int Abort(int port) = 0;
  // Why the last Open or SetLineParameters failed, in words for the user: the device, the
  // system's reason and what to do about it; empty when it succeeded or the library cannot tell.
  virtual std::string FailureDetail() const = 0;
};

// Sets raw mode, the baud rate and the mode byte's data bits, stop bits and parity in `settings`,
// with the receiver on and modem lines ignored. False (and `settings` unchanged) for an unknown
// baud code or mode byte.
bool ApplyLineParameters(termios& settings, int baudCode, int mode);

// The result of SetLineParameters once the device has been given `asked` and read back as
// `taken`: kSerialSystemFailure when raw mode did not take; kSerialBadParameter when the speed is
// not the one asked; else 0, whatever the device made of the framing.
int LineParametersResult(const termios& asked, const termios& taken);

class TermiosSerialLibrary final : public SerialLibrary {
 public:
  // `iniPath` is the config.ini that may map ports to devices; empty: ConfigIniPath(), read at
  // every open.
  explicit TermiosSerialLibrary(std::string iniPath = {});
  ~TermiosSerialLibrary() override;
  TermiosSerialLibrary(const TermiosSerialLibrary&) = delete;
  TermiosSerialLibrary& operator=(const TermiosSerialLibrary&) = delete;

  // The device of port `port`: the [DEVICE] mapping, else /dev/ttyS<port-1>; empty for a port below
  // 1 without a mapping.
  std::string DevicePath(int port) const;
  // Where the system keeps the adapters' stable names ("/dev/serial/by-id" but for tests).
  void SetStableNameFolder(std::string folder) { stableNameFolder_ = std::move(folder); }

  int Open(int port) override;
  int SetReadTimeouts(int port, int total, int interval) override;
  int SetLineParameters(int port, int baudCode, int mode) override;
  int Close(int port) override;
  int Write(int port, const std::uint8_t* data, int count) override;
  int Read(int port, std::uint8_t* buffer, int count) override;
  int DiscardInput(int port) override;
  int Abort(int port) override;
  std::string FailureDetail() const override;

 private:
  // A gateway's connection: whether it is established yet, the Modbus TCP transaction, and the
  // RTU frame a Modbus TCP reply became, as far as it has not been read. Transfers on a port take
  // turns, so only the one running touches it.
  struct GatewayLink {
    GatewayKind kind = GatewayKind::RtuOverTcp;
    bool connected = false;
    std::uint16_t transaction = 0;
    std::vector<std::uint8_t> pending;
    std::size_t pendingAt = 0;
  };
  struct Port {
    int fd = -1;
    std::shared_ptr<GatewayLink> gateway;  // set for a gateway instead of a serial device
    int wakeFd = -1;  // eventfd signalled by Abort and Close; a waiting transfer watches it
    std::string path;  // the device, for the failure details
    int totalTimeoutMs = kReadTotalTimeoutMs;
    int intervalTimeoutMs = kReadIntervalTimeoutMs;
    std::int32_t bitsPerSecond = 9600;
    int users = 0;         // operations using fd right now
    bool closing = false;  // Close waits for the users to leave; nobody new may enter
  };
  // An operation's hold on an open port: while it lives, Close leaves the descriptors open.
  class Use {
   public:
    Use(TermiosSerialLibrary& library, int port);
    ~Use();
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;
    explicit operator bool() const { return port_.has_value(); }
    const Port* operator->() const { return &settings_; }

   private:
    TermiosSerialLibrary& library_;
    std::optional<int> port_;  // nothing: the port is not open (or being closed)
    Port settings_;            // as they were on entry
  };
  bool IsOpen(int port) const;
  // Open, without the failure detail; records it in `detail`.
  int OpenDevice(int port, std::string& detail);
  int OpenGateway(int port, const std::string& path, std::string& detail);
  // Adds an open descriptor as port `port`.
  int AddPort(int port, Port opened, std::string& detail);
  // The transfers' own work, within their time-outs; the gateway's connection finished first.
  int WriteBytes(const Port& open, const std::uint8_t* data, int count);
  int ReadBytes(const Port& open, std::uint8_t* buffer, int count, std::chrono::steady_clock::time_point start);
  int ReadModbusTcp(const Port& open, std::uint8_t* buffer, int count);
  int FinishConnect(const Port& open, std::chrono::steady_clock::time_point deadline);

  std::string iniPath_;
  mutable std::mutex mutex_;  // guards ports_; transfers run outside it
  std::condition_variable idle_;  // a Use ended
  std::map<int, Port> ports_;
  std::string failureDetail_;  // of the last Open or SetLineParameters; guarded by mutex_
  // An adapter opened by its changing name (/dev/ttyUSB0) is remembered by its stable name, so
  // that when it is unplugged and comes back under another name it is found again.
  struct StableName {
    std::string configured;  // the device config.ini names
    std::string stable;      // the stable name that led to it
  };
  std::map<int, StableName> stableNames_;  // guarded by mutex_
  std::string stableNameFolder_ = "/dev/serial/by-id";
};

// The failure detail of a device that could not be opened, from the system's error number of the
// open (EBUSY also when another program holds the port's lock): the device and the hint a user
// needs for it.
std::string OpenFailureText(const std::string& path, int error);

// The library every SerialComCtl uses unless given another: one TermiosSerialLibrary for the
// process.
SerialLibrary& SystemSerialLibrary();

}  // namespace vantiro
