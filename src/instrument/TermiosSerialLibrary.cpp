#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>

#include "instrument/CommSettings.h"
#include "instrument/Gateway.h"
#include "instrument/SerialDevices.h"
#include "instrument/SerialLibrary.h"
#include "platform/Profile.h"

namespace vantiro {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

std::optional<speed_t> SpeedOfCode(int code) {
  switch (BaudRateOfCode(code).value_or(0)) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return std::nullopt;
  }
}

std::optional<std::int32_t> BitsPerSecondOf(speed_t speed) {
  for (const BaudCodeEntry& entry : kBaudCodes) {
    if (SpeedOfCode(entry.code) == speed) return entry.bitsPerSecond;
  }
  return std::nullopt;
}

// Raw bytes both ways, receiver on, modem lines and flow control off; a read takes what is there
// without waiting (the waiting is done with poll against the read time-outs).
void MakeRaw(termios& settings) {
  cfmakeraw(&settings);
  settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
  settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
  settings.c_cflag |= CLOCAL | CREAD;
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;
}

// Milliseconds from now until `deadline`, rounded up, for poll; 0 when it has passed.
int MillisecondsUntil(Clock::time_point deadline) {
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  return static_cast<int>(std::chrono::ceil<milliseconds>(left).count());
}

// Hands `wanted` to the terminal and reads back what it took into `taken`. A device may refuse an
// exact request and adjust it instead (a pseudo-terminal has no parity and only 8-bit characters;
// some adapters' drivers change parity or character size): tcsetattr then fails with EINVAL,
// although what the device can do is in effect. That is not a failure here; the caller compares
// `taken` with what it asked for. False (errno set) only when the terminal could not be set or
// read at all.
bool SetTerminal(int fd, const termios& wanted, termios& taken) {
  int setError = 0;
  while (::tcsetattr(fd, TCSANOW, &wanted) != 0) {
    if (errno == EINTR) continue;
    setError = errno;
    break;
  }
  if (setError != 0 && setError != EINVAL) {
    errno = setError;
    return false;
  }
  return ::tcgetattr(fd, &taken) == 0;
}

// The settings the layer cannot work without: raw bytes, a read that never waits by itself.
bool IsRaw(const termios& settings) {
  return (settings.c_lflag & (ICANON | ECHO | ISIG | IEXTEN)) == 0 &&
         (settings.c_oflag & OPOST) == 0 && (settings.c_iflag & (IXON | ICRNL | INLCR)) == 0 &&
         settings.c_cc[VMIN] == 0 && settings.c_cc[VTIME] == 0;
}

// The wake-up of a port: once signalled it stays readable until the port is closed.
void Signal(int wakeFd) {
  const std::uint64_t one = 1;
  while (::write(wakeFd, &one, sizeof one) < 0 && errno == EINTR) {
  }
}
bool IsSignalled(int wakeFd) {
  pollfd ready{wakeFd, POLLIN, 0};
  return ::poll(&ready, 1, 0) > 0;
}

// The system's reason for a failure, in words for the user; the error's number as well where it
// has no words here.
std::string SystemReason(int error) {
  switch (error) {
    case EACCES:
    case EPERM: return "没有权限";
    case ENOENT: return "不存在";
    case ENODEV:
    case ENXIO: return "设备不存在";
    case EBUSY:
    case EWOULDBLOCK: return "设备正被占用";
    case EIO: return "输入/输出错误";
    case EINVAL: return "参数无效";
    case ENOTTY: return "不是终端设备";
    case EROFS: return "文件系统只读";
    case EMFILE:
    case ENFILE: return "打开的文件过多";
    case ENOMEM: return "内存不足";
    case EINTR: return "被信号中断";
    default: return "系统错误 " + std::to_string(error) + "（" + std::strerror(error) + "）";
  }
}

// "COM<n>" for a port number, as the settings dialog names it.
std::string PortName(int port) { return "COM" + std::to_string(port); }

// Closes a descriptor whose open went wrong part-way, and gives `code`.
int Abandon(int fd, int code) {
  ::ioctl(fd, TIOCNXCL);
  ::close(fd);
  return code;
}

}  // namespace

bool ApplyLineParameters(termios& settings, int baudCode, int mode) {
  const std::optional<speed_t> speed = SpeedOfCode(baudCode);
  if (!speed) return false;
  if ((mode & ~(kDataBitsMask | kTwoStopBits | kParityMask)) != 0) return false;
  const int parity = mode & kParityMask;
  if (parity != 0 && parity != kParityOdd && parity != kParityEven) return false;

  termios s = settings;
  MakeRaw(s);
  s.c_cflag &= ~static_cast<tcflag_t>(CSIZE | CSTOPB | PARENB | PARODD);
  static constexpr tcflag_t kSizes[] = {CS5, CS6, CS7, CS8};
  s.c_cflag |= kSizes[mode & kDataBitsMask];
  if ((mode & kTwoStopBits) != 0) s.c_cflag |= CSTOPB;
  if (parity == kParityOdd) s.c_cflag |= PARENB | PARODD;
  if (parity == kParityEven) s.c_cflag |= PARENB;
  cfsetispeed(&s, *speed);
  cfsetospeed(&s, *speed);
  settings = s;
  return true;
}

int LineParametersResult(const termios& asked, const termios& taken) {
  if (!IsRaw(taken)) return kSerialSystemFailure;
  const bool speedTaken =
      cfgetospeed(&taken) == cfgetospeed(&asked) && cfgetispeed(&taken) == cfgetispeed(&asked);
  return speedTaken ? kSerialOk : kSerialBadParameter;
}

TermiosSerialLibrary::TermiosSerialLibrary(std::string iniPath) : iniPath_(std::move(iniPath)) {}

TermiosSerialLibrary::~TermiosSerialLibrary() {
  for (const auto& [number, port] : ports_) {
    ::close(port.wakeFd);
    Abandon(port.fd, 0);
  }
}

std::string TermiosSerialLibrary::DevicePath(int port) const {
  const std::string ini = iniPath_.empty() ? ConfigIniPath() : iniPath_;
  std::string mapped = ReadProfileString(ini, "DEVICE", "COM" + std::to_string(port), "");
  if (!mapped.empty()) return mapped;
  if (port < 1) return {};
  return DefaultDevicePath(port);
}

bool TermiosSerialLibrary::IsOpen(int port) const {
  std::lock_guard lock(mutex_);
  return ports_.contains(port);
}

TermiosSerialLibrary::Use::Use(TermiosSerialLibrary& library, int port) : library_(library) {
  std::lock_guard lock(library.mutex_);
  const auto it = library.ports_.find(port);
  if (it == library.ports_.end() || it->second.closing) return;
  ++it->second.users;
  port_ = port;
  settings_ = it->second;
}

TermiosSerialLibrary::Use::~Use() {
  if (!port_) return;
  {
    std::lock_guard lock(library_.mutex_);
    if (const auto it = library_.ports_.find(*port_); it != library_.ports_.end()) {
      --it->second.users;
    }
  }
  library_.idle_.notify_all();
}

int TermiosSerialLibrary::Open(int port) {
  std::string detail;
  const int result = OpenDevice(port, detail);
  std::lock_guard lock(mutex_);
  failureDetail_ = result == kSerialOk ? std::string() : std::move(detail);
  return result;
}

int TermiosSerialLibrary::OpenDevice(int port, std::string& detail) {
  std::string path = DevicePath(port);
  const std::string configured = path;
  {
    // The adapter this port had: by its stable name when that still leads somewhere (unplugged
    // and plugged back, it may have come back under another changing name).
    std::lock_guard lock(mutex_);
    const auto known = stableNames_.find(port);
    std::error_code ec;
    if (known != stableNames_.end() && known->second.configured == path && std::filesystem::exists(known->second.stable, ec)) {
      path = known->second.stable;
    }
  }
  if (IsOpen(port)) {
    detail = path + "（通信口 " + PortName(port) + "）已在本程序中打开。";
    return kSerialPortBusy;
  }
  if (path.empty()) {
    // Only a port below COM1 has no device of its own: the settings name no port.
    detail = "未选择通信口：请在“实时通信设置”中选择通信口（COM1 至 COM16）。";
    return kSerialNotOpen;
  }
  if (IsGatewayDevice(path)) return OpenGateway(port, path, detail);

  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    detail = OpenFailureText(path, error);
    switch (error) {
      case ENOENT:
      case ENXIO:
      case ENODEV:
      case ENOTDIR:
      case EISDIR: return kSerialNotOpen;
      case EBUSY: return kSerialPortBusy;  // held exclusively by another program
      default: return kSerialSystemFailure;
    }
  }
  if (!::isatty(fd)) {
    ::close(fd);
    detail = path + " 不是串口（不是终端设备）：请在“实时通信设置”中为通信口 " + PortName(port) +
             " 选择串口设备。";
    return kSerialNotOpen;
  }
  // Exclusive: the terminal's own exclusive mode keeps other openers out (except privileged ones),
  // the lock tells two programs that both lock.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    detail = OpenFailureText(path, error == EWOULDBLOCK ? EBUSY : error);
    return error == EWOULDBLOCK ? kSerialPortBusy : kSerialSystemFailure;
  }
  const auto fail = [&](const char* what) {
    detail = path + "：" + what + "：" + SystemReason(errno) + "。";
    return Abandon(fd, kSerialSystemFailure);
  };
  if (::ioctl(fd, TIOCEXCL) != 0) return fail("无法独占该串口");
  // The descriptor stays non-blocking: every wait is a poll that also watches the wake-up, so a
  // write the line does not take is never stuck inside the kernel where no abort can reach it.
  termios settings{};
  if (::tcgetattr(fd, &settings) != 0) return fail("读取终端设置失败");
  MakeRaw(settings);
  // Framing left over from an earlier setting may be refused (see SetTerminal); it is set anew
  // by SetLineParameters. Raw mode must take.
  termios taken{};
  if (!SetTerminal(fd, settings, taken)) return fail("设置原始模式失败");
  if (!IsRaw(taken)) {
    errno = EINVAL;
    return fail("该设备不接受原始模式");
  }
  ::tcflush(fd, TCIOFLUSH);
  // What wakes a transfer that waits: Abort and Close signal it.
  const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) return fail("无法创建唤醒事件");

  Port opened;
  opened.fd = fd;
  opened.wakeFd = wakeFd;
  opened.path = configured;
  const int added = AddPort(port, std::move(opened), detail);
  if (added == kSerialOk && path == configured) {
    // Remember the stable name that leads to this device, if one does.
    std::error_code ec;
    const std::filesystem::path device = std::filesystem::canonical(path, ec);
    for (const auto& entry : std::filesystem::directory_iterator(stableNameFolder_, ec)) {
      std::error_code resolved;
      if (!ec && std::filesystem::canonical(entry.path(), resolved) == device && !resolved) {
        std::lock_guard lock(mutex_);
        stableNames_[port] = {configured, entry.path().string()};
        break;
      }
    }
  }
  return added;
}

int TermiosSerialLibrary::AddPort(int port, Port opened, std::string& detail) {
  std::lock_guard lock(mutex_);
  const int fd = opened.fd;
  const int wakeFd = opened.wakeFd;
  const std::string path = opened.path;
  if (!ports_.try_emplace(port, std::move(opened)).second) {
    ::close(wakeFd);
    detail = path + "（通信口 " + PortName(port) + "）已在本程序中打开。";
    return Abandon(fd, kSerialPortBusy);
  }
  return kSerialOk;
}

int TermiosSerialLibrary::OpenGateway(int port, const std::string& path, std::string& detail) {
  const std::optional<GatewayAddress> gateway = ParseGateway(path);
  if (!gateway) {
    detail = path + " 不是有效的网关地址：应为 tcp://主机:端口 或 modbus-tcp://主机:端口（例如 tcp://192.168.1.50:4001）。";
    return kSerialNotOpen;
  }
  const std::string name = gateway->host + ":" + std::to_string(gateway->port);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  const std::string service = std::to_string(gateway->port);
  if (const int rc = ::getaddrinfo(gateway->host.c_str(), service.c_str(), &hints, &found); rc != 0 || !found) {
    detail = "找不到网关 " + gateway->host + "：" + (rc != 0 ? ::gai_strerror(rc) : "没有地址") + "。请检查 config.ini 的 [DEVICE] 节。";
    return kSerialNotOpen;
  }
  const int fd = ::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    ::freeaddrinfo(found);
    detail = "无法连接网关 " + name + "：" + SystemReason(errno) + "。";
    return kSerialSystemFailure;
  }
  // The connection is made without waiting for it: a refusal nearby comes at once, a far gateway
  // is waited for by the first transfer (on the worker), never by the window.
  const int r = ::connect(fd, found->ai_addr, found->ai_addrlen);
  const int connectError = r == 0 ? 0 : errno;
  ::freeaddrinfo(found);
  auto link = std::make_shared<GatewayLink>();
  link->kind = gateway->kind;
  int error = 0;
  if (r == 0) {
    link->connected = true;
  } else if (connectError == EINPROGRESS) {
    constexpr int kConnectGlimpseMs = 200;
    pollfd ready{fd, POLLOUT, 0};
    if (::poll(&ready, 1, kConnectGlimpseMs) > 0) {
      socklen_t size = sizeof error;
      ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size);
      link->connected = error == 0;
    }
  } else {
    error = connectError;
  }
  if (error != 0) {
    ::close(fd);
    detail = "无法连接网关 " + name + "：" + SystemReason(error) + "。请检查网关是否通电、地址和端口是否正确。";
    return error == ECONNREFUSED ? kSerialNotOpen : kSerialSystemFailure;
  }
  const int one = 1;
  ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
  ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
  const int wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd < 0) {
    ::close(fd);
    detail = "无法创建唤醒事件：" + SystemReason(errno) + "。";
    return kSerialSystemFailure;
  }
  Port opened;
  opened.fd = fd;
  opened.wakeFd = wakeFd;
  opened.path = path;
  opened.gateway = std::move(link);
  return AddPort(port, std::move(opened), detail);
}

int TermiosSerialLibrary::FinishConnect(const Port& open, Clock::time_point deadline) {
  GatewayLink& link = *open.gateway;
  if (link.connected) return kSerialOk;
  for (;;) {
    const int wait = MillisecondsUntil(deadline);
    if (wait == 0) return kSerialTimeout;
    std::array<pollfd, 2> ready{{{open.fd, POLLOUT, 0}, {open.wakeFd, POLLIN, 0}}};
    const int r = ::poll(ready.data(), ready.size(), wait);
    if (r < 0 && errno != EINTR) return kSerialSystemFailure;
    if (r <= 0) continue;
    if (ready[1].revents != 0) return kSerialAborted;
    int error = 0;
    socklen_t size = sizeof error;
    ::getsockopt(open.fd, SOL_SOCKET, SO_ERROR, &error, &size);
    if (error != 0) {
      std::lock_guard lock(mutex_);
      failureDetail_ = "无法连接网关 " + open.path + "：" + SystemReason(error) + "。";
      return kSerialSystemFailure;
    }
    link.connected = true;
    return kSerialOk;
  }
}

std::string TermiosSerialLibrary::FailureDetail() const {
  std::lock_guard lock(mutex_);
  return failureDetail_;
}

std::string OpenFailureText(const std::string& path, int error) {
  switch (error) {
    case EACCES:
    case EPERM: return AccessHint(path, LookUpDeviceAccess(path));
    case EBUSY:
    case EWOULDBLOCK:
      return path + " 正被其他程序占用。例如 ModemManager 会占用新插入的串口适配器，终端程序也"
                    "可能仍占着该串口：请关闭那个程序（或让 ModemManager 忽略该设备）后重试。";
    case ENOENT:
    case ENODEV:
    case ENXIO:
      return "未找到 " + path + "：请检查串口适配器是否已插好，以及 config.ini 的 [DEVICE] 节为"
                                "该通信口指定的设备（例如 COM1=/dev/ttyUSB0）。";
    default: return path + "：无法打开：" + SystemReason(error) + "。";
  }
}

int TermiosSerialLibrary::SetReadTimeouts(int port, int total, int interval) {
  std::lock_guard lock(mutex_);
  const auto it = ports_.find(port);
  if (it == ports_.end() || it->second.closing) return kSerialNotOpen;
  if (total < 0 || interval < 0) return kSerialBadParameter;
  it->second.totalTimeoutMs = total;
  it->second.intervalTimeoutMs = interval;
  return kSerialOk;
}

int TermiosSerialLibrary::SetLineParameters(int port, int baudCode, int mode) {
  const Use open(*this, port);
  if (!open) return kSerialNotOpen;
  if (open->gateway) {  // the gateway's serial side is set up on the gateway
    std::lock_guard lock(mutex_);
    failureDetail_.clear();
    return kSerialOk;
  }
  const auto fail = [&](const char* what) {
    const std::string reason = open->path + "：" + what + "：" + SystemReason(errno) + "。";
    std::lock_guard lock(mutex_);
    failureDetail_ = reason;
    return kSerialSystemFailure;
  };
  termios settings{};
  if (::tcgetattr(open->fd, &settings) != 0) return fail("读取终端设置失败");
  if (!ApplyLineParameters(settings, baudCode, mode)) return kSerialBadParameter;
  termios taken{};
  if (!SetTerminal(open->fd, settings, taken)) return fail("设置线路参数失败");
  ::tcflush(open->fd, TCIOFLUSH);
  const int result = LineParametersResult(settings, taken);
  std::lock_guard lock(mutex_);
  if (const auto it = ports_.find(port); it != ports_.end()) {
    const std::optional<std::int32_t> bitsPerSecond = BitsPerSecondOf(cfgetospeed(&taken));
    if (bitsPerSecond) it->second.bitsPerSecond = *bitsPerSecond;
  }
  failureDetail_.clear();
  if (result == kSerialSystemFailure) failureDetail_ = open->path + "：该设备不接受原始模式。";
  return result;
}

int TermiosSerialLibrary::Abort(int port) {
  std::lock_guard lock(mutex_);
  const auto it = ports_.find(port);
  if (it == ports_.end()) return kSerialNotOpen;
  Signal(it->second.wakeFd);
  return kSerialOk;
}

int TermiosSerialLibrary::Close(int port) {
  Port closed;
  {
    std::unique_lock lock(mutex_);
    auto it = ports_.find(port);
    if (it == ports_.end() || it->second.closing) return kSerialNotOpen;
    // No new transfer may start; the running one is woken, and the descriptor is closed only
    // once it has let go of it (never under a read that still uses it).
    it->second.closing = true;
    Signal(it->second.wakeFd);
    idle_.wait(lock, [&] {
      it = ports_.find(port);
      return it->second.users == 0;
    });
    closed = it->second;
    ports_.erase(it);
  }
  ::close(closed.wakeFd);
  Abandon(closed.fd, 0);  // closing releases the lock as well
  return kSerialOk;
}

int TermiosSerialLibrary::Write(int port, const std::uint8_t* data, int count) {
  const Use open(*this, port);
  if (!open) return kSerialNotOpen;
  if (count < 0 || (count > 0 && data == nullptr)) return kSerialBadParameter;
  if (IsSignalled(open->wakeFd)) return kSerialAborted;
  if (open->gateway && open->gateway->kind == GatewayKind::ModbusTcp) {
    // The frame goes with the MBAP header in place of its address and CRC.
    GatewayLink& link = *open->gateway;
    link.pending.clear();
    link.pendingAt = 0;
    const std::vector<std::uint8_t> frame =
        RtuToMbap(std::span<const std::uint8_t>(data, static_cast<std::size_t>(count)), ++link.transaction);
    if (frame.empty()) return kSerialBadParameter;
    const int written = WriteBytes(*open.operator->(), frame.data(), static_cast<int>(frame.size()));
    if (written < 0) return written;
    return written == static_cast<int>(frame.size()) ? count : 0;
  }
  return WriteBytes(*open.operator->(), data, count);
}

int TermiosSerialLibrary::WriteBytes(const Port& open, const std::uint8_t* data, int count) {
  // The line must take the bytes within the time they need at its speed (11 bit times a byte),
  // plus one second.
  const long lineMs = 11L * 1000L * count / open.bitsPerSecond;
  const Clock::time_point deadline = Clock::now() + milliseconds(1000 + lineMs);
  if (open.gateway) {
    if (const int connected = FinishConnect(open, deadline); connected != kSerialOk) return connected;
  }
  int written = 0;
  while (written < count) {
    const int wait = MillisecondsUntil(deadline);
    if (wait == 0) return written > 0 ? written : kSerialTimeout;
    std::array<pollfd, 2> ready{{{open.fd, POLLOUT, 0}, {open.wakeFd, POLLIN, 0}}};
    const int r = ::poll(ready.data(), ready.size(), wait);
    if (r < 0 && errno != EINTR) return written > 0 ? written : kSerialSystemFailure;
    if (r <= 0) continue;
    if (ready[1].revents != 0) return kSerialAborted;
    if ((ready[0].revents & POLLOUT) == 0) return written > 0 ? written : kSerialSystemFailure;
    const ssize_t n = open.gateway ? ::send(open.fd, data + written, static_cast<std::size_t>(count - written), MSG_NOSIGNAL)
                                   : ::write(open.fd, data + written, static_cast<std::size_t>(count - written));
    if (n > 0) {
      written += static_cast<int>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      if (written > 0) return written;
      return errno == EBADF ? kSerialNotOpen : kSerialSystemFailure;
    }
  }
  return written;
}

int TermiosSerialLibrary::Read(int port, std::uint8_t* buffer, int count) {
  const Use open(*this, port);
  if (!open) return kSerialNotOpen;
  if (count < 0 || (count > 0 && buffer == nullptr)) return kSerialBadParameter;
  if (IsSignalled(open->wakeFd)) return kSerialAborted;
  if (open->gateway && open->gateway->kind == GatewayKind::ModbusTcp) return ReadModbusTcp(*open.operator->(), buffer, count);
  return ReadBytes(*open.operator->(), buffer, count, Clock::now());
}

int TermiosSerialLibrary::ReadModbusTcp(const Port& open, std::uint8_t* buffer, int count) {
  GatewayLink& link = *open.gateway;
  const Clock::time_point start = Clock::now();
  if (link.pendingAt >= link.pending.size()) {
    link.pending.clear();
    link.pendingAt = 0;
    // The reply to the request sent last; an older one (its request timed out) is passed over.
    for (;;) {
      std::array<std::uint8_t, kMbapMaxBytes> frame{};
      const int header = ReadBytes(open, frame.data(), static_cast<int>(kMbapHeaderBytes), start);
      if (header < static_cast<int>(kMbapHeaderBytes)) return header < 0 ? header : 0;
      const std::optional<MbapHeader> parsed = ParseMbapHeader(std::span<const std::uint8_t>(frame.data(), kMbapHeaderBytes));
      if (!parsed) {
        // Not Modbus TCP: whatever follows cannot be framed, so it goes.
        std::array<std::uint8_t, 512> drop{};
        while (::recv(open.fd, drop.data(), drop.size(), MSG_DONTWAIT) > 0) {
        }
        return 0;
      }
      const int body = parsed->length - 1;
      const int got = ReadBytes(open, frame.data() + kMbapHeaderBytes, body, start);
      if (got < 0) return got;
      if (got < body) {
        // Cut short (the gateway closed or went quiet): what came, without a CRC, is an
        // incomplete reply to the layer above.
        link.pending.push_back(parsed->unit);
        link.pending.insert(link.pending.end(), frame.begin() + kMbapHeaderBytes, frame.begin() + kMbapHeaderBytes + got);
        break;
      }
      if (parsed->transaction != link.transaction) continue;
      link.pending = MbapToRtu(parsed->unit, std::span<const std::uint8_t>(frame.data() + kMbapHeaderBytes,
                                                                           static_cast<std::size_t>(body)));
      break;
    }
  }
  const int take = std::min(count, static_cast<int>(link.pending.size() - link.pendingAt));
  std::memcpy(buffer, link.pending.data() + link.pendingAt, static_cast<std::size_t>(take));
  link.pendingAt += static_cast<std::size_t>(take);
  return take;
}

int TermiosSerialLibrary::ReadBytes(const Port& open, std::uint8_t* buffer, int count, Clock::time_point start) {
  const Clock::time_point totalDeadline = start + milliseconds(open.totalTimeoutMs);
  if (open.gateway) {
    if (const int connected = FinishConnect(open, totalDeadline); connected != kSerialOk) return connected;
  }
  Clock::time_point lastByte = start;
  int got = 0;
  bool announced = false;  // poll reported data
  while (got < count) {
    // Whatever is there already (the descriptor is non-blocking; VMIN and VTIME are 0 as well).
    const ssize_t n = ::read(open.fd, buffer + got, static_cast<std::size_t>(count - got));
    if (n > 0) {
      got += static_cast<int>(n);
      lastByte = Clock::now();
      announced = false;
      continue;
    }
    if (n == 0 && announced) break;  // end of file: the device went away
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) {
      if (errno == EIO) break;  // the far end hung up: nothing more will come
      if (got > 0) break;
      return errno == EBADF ? kSerialNotOpen : kSerialSystemFailure;
    }
    // Nothing there: wait for more until the nearer of the two time-outs, or an abort.
    std::optional<Clock::time_point> deadline;
    if (open.totalTimeoutMs > 0) deadline = totalDeadline;
    if (got > 0 && open.intervalTimeoutMs > 0) {
      const Clock::time_point quiet = lastByte + milliseconds(open.intervalTimeoutMs);
      if (!deadline || quiet < *deadline) deadline = quiet;
    }
    if (!deadline) break;
    const int wait = MillisecondsUntil(*deadline);
    if (wait == 0) break;
    std::array<pollfd, 2> ready{{{open.fd, POLLIN, 0}, {open.wakeFd, POLLIN, 0}}};
    const int r = ::poll(ready.data(), ready.size(), wait);
    if (r < 0 && errno != EINTR) break;
    if (r > 0 && ready[1].revents != 0) return kSerialAborted;
    if (r > 0 && (ready[0].revents & POLLIN) == 0) break;  // hang-up or error without data
    announced = r > 0;
  }
  return got;
}

int TermiosSerialLibrary::DiscardInput(int port) {
  const Use open(*this, port);
  if (!open) return kSerialNotOpen;
  if (open->gateway) {
    open->gateway->pending.clear();
    open->gateway->pendingAt = 0;
    std::array<std::uint8_t, 512> drop{};
    while (::recv(open->fd, drop.data(), drop.size(), MSG_DONTWAIT) > 0) {
    }
    return kSerialOk;
  }
  ::tcflush(open->fd, TCIFLUSH);
  return kSerialOk;
}

SerialLibrary& SystemSerialLibrary() {
  static TermiosSerialLibrary library;
  return library;
}

}  // namespace vantiro
