#include "platform/InputFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace vantiro {

InputFile::InputFile(const std::string& path) {
  // No O_CREAT; O_NONBLOCK keeps a FIFO from blocking the open before it is refused below.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return;
  }
  fd_ = fd;
  size_ = static_cast<std::uint64_t>(info.st_size);
}

InputFile::~InputFile() {
  if (fd_ >= 0) ::close(fd_);
}

long InputFile::Read(void* destination, std::size_t count) {
  for (;;) {
    const ssize_t n = ::read(fd_, destination, count);
    if (n < 0 && errno == EINTR) continue;
    return static_cast<long>(n);
  }
}

bool InputFile::Rewind() { return fd_ >= 0 && lseek(fd_, 0, SEEK_SET) == 0; }

}  // namespace vantiro
