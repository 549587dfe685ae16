#include "platform/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <random>

namespace vantiro {
namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A name beside the target that no one else is using: ".<name>.<pid>-<n>-<random>.tmp".
std::string TemporaryName(const std::string& target, unsigned attempt) {
  static std::atomic<unsigned> counter{0};
  static thread_local std::mt19937 random{std::random_device{}()};
  const std::size_t slash = target.find_last_of('/');
  const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".%ld-%u-%u-%08x.tmp", static_cast<long>(::getpid()),
                counter.fetch_add(1), attempt, static_cast<unsigned>(random()));
  return folder + "." + name + suffix;
}

// Makes a finished rename last: the folder's entry is flushed too. Failure here changes nothing
// of what a reader sees, so it is not reported.
void SyncFolder(const std::string& path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool IsSpecialTarget(const std::string& path) {
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return false;
  return !S_ISREG(info.st_mode);
}

AtomicFile::AtomicFile(std::string target, SpecialTarget special) : target_(std::move(target)) {
  if (target_.empty() || target_.back() == '/') {
    error_ = EISDIR;
    return;
  }
  // A symbolic link stays a link: the file it points to is the one replaced.
  struct stat link {};
  if (::lstat(target_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    if (char* resolved = ::realpath(target_.c_str(), nullptr)) {
      target_ = resolved;
      std::free(resolved);
    }
  }
  struct stat existing {};
  const bool exists = ::stat(target_.c_str(), &existing) == 0;
  if (exists && S_ISDIR(existing.st_mode)) {
    error_ = EISDIR;
    return;
  }
  if (exists && !S_ISREG(existing.st_mode)) {
    if (special == SpecialTarget::Refuse) {
      error_ = ENOTSUP;
      return;
    }
    // A device or a FIFO takes the bytes as they come; it is never replaced.
    const int fd = ::open(target_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
      error_ = errno;
      return;
    }
    fd_ = fd;
    direct_ = true;
    return;
  }
  for (unsigned attempt = 0; attempt < 100; ++attempt) {
    std::string name = TemporaryName(target_, attempt);
    // 0666 less the umask, as a newly created file gets.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temporary_ = std::move(name);
      // The replacement keeps the permissions of the file it replaces.
      if (exists) ::fchmod(fd_, existing.st_mode & 07777);
      return;
    }
    if (errno != EEXIST) {
      error_ = errno;
      return;
    }
  }
  error_ = EEXIST;
}

AtomicFile::~AtomicFile() { Discard(); }

void AtomicFile::Discard() {
  if (fd_ < 0) return;
  ::close(fd_);
  fd_ = -1;
  if (!direct_) ::unlink(temporary_.c_str());
}

void AtomicFile::Fail(int error) {
  if (error_ == 0) error_ = error;
  Discard();
}

bool AtomicFile::Write(std::string_view bytes) {
  if (fd_ < 0) return false;
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      Fail(errno);
      return false;
    }
    if (n == 0) {
      Fail(EIO);
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool AtomicFile::Commit() {
  if (fd_ < 0) return false;
  if (direct_) {
    // Written straight into a special file: nothing to flush or rename, only the close to check.
    const int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) {
      error_ = errno;
      return false;
    }
    return true;
  }
  if (::fsync(fd_) != 0) {
    Fail(errno);
    return false;
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) {
    error_ = errno;
    ::unlink(temporary_.c_str());
    return false;
  }
  if (::rename(temporary_.c_str(), target_.c_str()) != 0) {
    error_ = errno;
    ::unlink(temporary_.c_str());
    return false;
  }
  SyncFolder(target_);
  return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, SpecialTarget special) {
  AtomicFile file(path, special);
  return file.Write(bytes) && file.Commit();
}

}  // namespace vantiro
