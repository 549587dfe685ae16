#pragma once
// Makes every write of this process past `bytes` into any file fail (EFBIG), as a full disk would
// fail it midway: the soft file-size limit lowered and SIGXFSZ ignored, both restored when the
// object goes. Works for any user, root included.

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>

namespace vantiro::testing {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    previousHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    if (::getrlimit(RLIMIT_FSIZE, &previous_) != 0) ADD_FAILURE() << "getrlimit";
    rlimit limit = previous_;
    limit.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ADD_FAILURE() << "setrlimit";
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &previous_);
    std::signal(SIGXFSZ, previousHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit previous_{};
  void (*previousHandler_)(int) = SIG_DFL;
};

}  // namespace vantiro::testing
