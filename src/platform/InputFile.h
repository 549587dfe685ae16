#pragma once
// A file opened for reading that is never created by the opening: readers of the program's data
// files use it so that a mistyped path, a folder or a device is an open failure, not a new file.

#include <cstddef>
#include <cstdint>
#include <string>

namespace vantiro {

class InputFile {
 public:
  // Opens `path` when it names an existing regular file; IsOpen() tells whether it did.
  explicit InputFile(const std::string& path);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  std::uint64_t Size() const { return size_; }
  // Reads up to `count` bytes from the current position: the number read, 0 at the end, -1 on
  // error (an interrupted read is retried).
  long Read(void* destination, std::size_t count);
  // Back to the first byte; false when the file cannot seek.
  bool Rewind();

 private:
  int fd_ = -1;
  std::uint64_t size_ = 0;
};

}  // namespace vantiro
