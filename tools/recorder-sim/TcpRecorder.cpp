#include "recorder-sim/TcpRecorder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <list>

#include "instrument/Gateway.h"

namespace vantiro::sim {

struct TcpRecorder::Connection {
  int fd = -1;
  FrameAssembler assembler;          // RTU over TCP
  std::vector<std::uint8_t> gathered;  // Modbus TCP: bytes of frames not complete yet
  std::chrono::steady_clock::time_point lastByte;
};

TcpRecorder::TcpRecorder(RecorderBus models, bool modbusTcp, bool closeMidReply)
    : models_(std::move(models)), modbusTcp_(modbusTcp), closeMidReply_(closeMidReply) {}

TcpRecorder::~TcpRecorder() {
  if (listenFd_ >= 0) ::close(listenFd_);
}

bool TcpRecorder::Listen(int port, std::string& error) {
  const auto fail = [&](const char* what) {
    error = std::string(what) + ": " + std::strerror(errno);
    return false;
  };
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listenFd_ < 0) return fail("socket");
  const int one = 1;
  ::setsockopt(listenFd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  if (::bind(listenFd_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return fail("bind");
  if (::listen(listenFd_, 8) != 0) return fail("listen");
  socklen_t size = sizeof address;
  if (::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) return fail("getsockname");
  url_ = std::string(modbusTcp_ ? "modbus-tcp" : "tcp") + "://127.0.0.1:" + std::to_string(ntohs(address.sin_port));
  startSeconds_ = SteadySeconds();
  return true;
}

bool TcpRecorder::Send(Connection& connection, const RecorderModel& model, const std::vector<std::uint8_t>& bytes) {
  DelayReply(model);
  // A gateway that goes away mid-reply: half the frame, then the connection closes.
  const std::size_t length = closeMidReply_ ? bytes.size() / 2 : bytes.size();
  std::size_t sent = 0;
  while (sent < length) {
    const ssize_t n = ::send(connection.fd, bytes.data() + sent, length - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
    } else if (n < 0 && errno != EINTR && errno != EAGAIN) {
      return false;
    }
  }
  repliesSent_.fetch_add(1);
  return !closeMidReply_;
}

bool TcpRecorder::HandleModbusTcp(Connection& connection) {
  // Modbus TCP: each whole frame in turn; a frame that cannot be one closes the connection, as a
  // gateway does.
  while (connection.gathered.size() >= kMbapHeaderBytes) {
    const std::optional<MbapHeader> header = ParseMbapHeader(connection.gathered);
    if (!header) return false;
    const std::size_t total = kMbapHeaderBytes + header->length - 1;
    if (connection.gathered.size() < total) break;
    const std::vector<std::uint8_t> request =
        MbapToRtu(header->unit, std::span<const std::uint8_t>(connection.gathered.data() + kMbapHeaderBytes,
                                                              header->length - 1));
    connection.gathered.erase(connection.gathered.begin(), connection.gathered.begin() + static_cast<long>(total));
    const auto [model, reply] = AnswerOnBus(models_, request, startSeconds_);
    if (reply.empty()) continue;
    if (!Send(connection, *model, RtuToMbap(reply, header->transaction))) return false;
  }
  return true;
}

void TcpRecorder::Serve(int stopFd, int eofFd) {
  using Clock = std::chrono::steady_clock;
  std::list<Connection> connections;
  std::array<std::uint8_t, 2048> buffer{};
  for (;;) {
    std::vector<pollfd> fds = {{stopFd, POLLIN, 0}, {listenFd_, POLLIN, 0}};
    if (eofFd >= 0) fds.push_back({eofFd, POLLIN, 0});
    const std::size_t first = fds.size();
    int timeout = -1;
    for (const Connection& c : connections) {
      fds.push_back({c.fd, POLLIN, 0});
      if (!modbusTcp_ && !c.assembler.Empty()) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(c.lastByte + std::chrono::milliseconds(kFrameGapMs) -
                                                                       Clock::now());
        const int ms = static_cast<int>(std::max<std::chrono::milliseconds::rep>(0, left.count()));
        timeout = timeout < 0 ? ms : std::min(timeout, ms);
      }
    }
    const int ready = ::poll(fds.data(), fds.size(), timeout);
    if (ready < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) break;
    if (eofFd >= 0 && fds[2].revents != 0) {
      const ssize_t n = ::read(eofFd, buffer.data(), buffer.size());
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;
    }
    if ((fds[1].revents & POLLIN) != 0) {
      const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) {
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        connections.push_back(Connection{fd, {}, {}, Clock::now()});
      }
    }
    std::size_t index = first;
    for (auto it = connections.begin(); it != connections.end(); ++index) {
      Connection& c = *it;
      bool keep = true;
      const short events = index < fds.size() && fds[index].fd == c.fd ? fds[index].revents : 0;
      if ((events & (POLLIN | POLLHUP | POLLERR)) != 0) {
        const ssize_t n = ::recv(c.fd, buffer.data(), buffer.size(), 0);
        if (n <= 0) {
          keep = n < 0 && (errno == EINTR || errno == EAGAIN);
        } else {
          c.lastByte = Clock::now();
          if (modbusTcp_) {
            c.gathered.insert(c.gathered.end(), buffer.begin(), buffer.begin() + n);
            keep = HandleModbusTcp(c);
          } else {
            for (ssize_t i = 0; i < n && keep; ++i) {
              if (const auto frame = c.assembler.Push(buffer[static_cast<std::size_t>(i)])) {
                const auto [model, reply] = AnswerOnBus(models_, *frame, startSeconds_);
                if (!reply.empty()) keep = Send(c, *model, reply);
              }
            }
          }
        }
      } else if (!modbusTcp_ && !c.assembler.Empty() && Clock::now() >= c.lastByte + std::chrono::milliseconds(kFrameGapMs)) {
        if (const auto frame = c.assembler.Quiet()) {
          const auto [model, reply] = AnswerOnBus(models_, *frame, startSeconds_);
          if (!reply.empty()) keep = Send(c, *model, reply);
        }
      }
      if (keep) {
        ++it;
      } else {
        ::close(c.fd);
        it = connections.erase(it);
      }
    }
  }
  for (const Connection& c : connections) ::close(c.fd);
}

}  // namespace vantiro::sim
