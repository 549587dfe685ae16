#pragma once
// Special files for the cases where a save's target is not a regular file: a FIFO, a socket and
// character devices made inside a test's own folder (never the system's /dev, which a faulty save
// would replace).

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>

namespace vantiro::testing {

// The kind of what is at `path` (S_IFIFO, S_IFSOCK, S_IFCHR, S_IFREG...), the link itself for a
// symbolic link; 0 when nothing is there.
inline mode_t NodeType(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return 0;
  return info.st_mode & S_IFMT;
}

inline bool MakeFifo(const std::string& path) { return ::mkfifo(path.c_str(), 0600) == 0; }

// A UNIX socket's node, left behind when its socket is closed.
inline bool MakeSocketNode(const std::string& path) {
  sockaddr_un address{};
  if (path.size() >= sizeof address.sun_path) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  address.sun_family = AF_UNIX;
  std::copy(path.begin(), path.end(), address.sun_path);
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return bound;
}

// A character device node with the numbers of the null device (1, 3) or of the full device
// (1, 7). Needs the right to make devices (root, outside a restricted container); false without.
inline bool MakeNullDevice(const std::string& path) {
  return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
}
inline bool MakeFullDevice(const std::string& path) {
  return ::mknod(path.c_str(), S_IFCHR | 0666, makedev(1, 7)) == 0;
}

// Reads a FIFO on a thread of its own from before a writer comes until Finish: whatever a writer
// puts in arrives, and a writer that never comes (a save that replaced the FIFO instead of writing
// into it) leaves the text empty rather than hanging the test.
class FifoReader {
 public:
  explicit FifoReader(const std::string& path)
      : fd_(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC)) {
    EXPECT_GE(fd_, 0) << "cannot open " << path;
    thread_ = std::thread([this] { Run(); });
  }
  ~FifoReader() { Finish(); }
  FifoReader(const FifoReader&) = delete;
  FifoReader& operator=(const FifoReader&) = delete;

  // After the writer is done: what it wrote.
  const std::string& Finish() {
    finishing_ = true;
    if (thread_.joinable()) thread_.join();
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return text_;
  }

 private:
  void Run() {
    if (fd_ < 0) return;
    char buffer[65536];
    for (;;) {
      pollfd p{fd_, POLLIN, 0};
      ::poll(&p, 1, 20);
      const ssize_t n = ::read(fd_, buffer, sizeof buffer);
      if (n > 0) {
        text_.append(buffer, static_cast<std::size_t>(n));
        continue;
      }
      // Nothing now (no writer yet, or the writer gone): done once the writer is known to be.
      if (finishing_) return;
      if (n == 0) ::usleep(5000);
    }
  }

  int fd_ = -1;
  std::atomic<bool> finishing_{false};
  std::string text_;
  std::thread thread_;
};

}  // namespace vantiro::testing
