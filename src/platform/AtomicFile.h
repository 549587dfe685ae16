#pragma once
// A file replaced as a whole or not at all. The new content goes to a temporary file in the
// target's folder; Commit flushes it to the disk and renames it over the target. Until then, and
// whenever anything fails, the file that had the target's name stays as it was, and the temporary
// file is removed: a reader never sees half a file, and a failed save leaves no debris behind.
// A write that fails for any reason (a full disk, the file-size limit with SIGXFSZ ignored, a
// quota) takes that path.

#include <string>
#include <string_view>

namespace vantiro {

// What a save does when its name is already taken by something that is not a regular file (a
// character device, a FIFO, a socket), directly or through a symbolic link.
enum class SpecialTarget {
  // The window's saves: such a target is refused and left untouched (IsOpen() is false, Error()
  // ENOTSUP). Replacing it would turn /dev/null or a FIFO into a plain file.
  Refuse,
  // The command line's -o: a FIFO or /dev/null is a legitimate destination. The bytes are written
  // straight into it (every write checked) and nothing is ever renamed over it.
  WriteInto,
};

class AtomicFile {
 public:
  // Creates the temporary file beside `target` (beside the file it points to when it is a
  // symbolic link); IsOpen() tells whether that worked. An existing target that is not a regular
  // file is refused or written into as `special` says.
  explicit AtomicFile(std::string target, SpecialTarget special = SpecialTarget::Refuse);
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
  // True when the bytes go straight into an existing special file (SpecialTarget::WriteInto).
  bool WritesInto() const { return direct_; }
  // The errno of the first failure, 0 when there was none.
  int Error() const { return error_; }

 private:
  void Fail(int error);

  std::string target_;
  std::string temporary_;
  int fd_ = -1;
  int error_ = 0;
  bool direct_ = false;
};

// `bytes` as the whole content of `path`, through an AtomicFile.
bool WriteFileAtomically(const std::string& path, std::string_view bytes,
                         SpecialTarget special = SpecialTarget::Refuse);

// True when `path` names something that exists and is not a regular file (or a symbolic link to
// one): a directory, a device, a FIFO, a socket. A dangling link or a missing name is not.
bool IsSpecialTarget(const std::string& path);

}  // namespace vantiro
