#pragma once
// A file replaced as a whole or not at all. The new content goes to a temporary file in the
// target's folder; Commit flushes it to the disk and renames it over the target. Until then, and
// whenever anything fails, the file that had the target's name stays as it was, and the temporary
// file is removed: a reader never sees half a file, and a failed save leaves no debris behind.

#include <string>
#include <string_view>

namespace vantiro {

class AtomicFile {
 public:
  // Creates the temporary file beside `target` (beside the file it points to when it is a
  // symbolic link); IsOpen() tells whether that worked.
  explicit AtomicFile(std::string target);
  // Discards the temporary file unless Commit succeeded.
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  // Appends `bytes` (all of them: short writes are continued, interrupted ones retried). False,
  // and the temporary file discarded, when the file could not take them.
  bool Write(std::string_view bytes);
  // Flushes the content to the disk and puts it in the target's place. False, and the temporary
  // file discarded, when any of that failed; the target is then what it was before.
  bool Commit();
  // Gives the new content up; the target keeps what it had.
  void Discard();

  // The file that Commit replaces.
  const std::string& Target() const { return target_; }
  // The errno of the first failure, 0 when there was none.
  int Error() const { return error_; }

 private:
  void Fail(int error);

  std::string target_;
  std::string temporary_;
  int fd_ = -1;
  int error_ = 0;
};

// `bytes` as the whole content of `path`, through an AtomicFile.
bool WriteFileAtomically(const std::string& path, std::string_view bytes);

}  // namespace vantiro
