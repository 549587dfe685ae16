#include "platform/Profile.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "platform/InputFile.h"

namespace vantiro {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i];
    char y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

// The name of a section header line "[name]", or false.
bool SectionName(std::string_view line, std::string_view& name) {
  line = Trim(line);
  if (line.size() < 2 || line.front() != '[') return false;
  const std::size_t close = line.find(']');
  if (close == std::string_view::npos) return false;
  name = Trim(line.substr(1, close - 1));
  return true;
}

// Splits "key=value"; false for lines without '='.
bool KeyValue(std::string_view line, std::string_view& key, std::string_view& value) {
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return false;
  key = Trim(line.substr(0, eq));
  value = Trim(line.substr(eq + 1));
  return true;
}

}  // namespace

bool ReadSettingsText(const std::string& path, std::string& text) {
  // Only a regular file (a FIFO or a device is refused without blocking), and no more of it than a
  // settings file can sensibly hold: a larger one, or one that grows while it is read, is refused.
  InputFile file(path);
  if (!file.IsOpen() || file.Size() > kMaxSettingsFileBytes) return false;
  text.resize(static_cast<std::size_t>(file.Size()) + 1);
  std::size_t done = 0;
  for (;;) {
    const long n = file.Read(text.data() + done, text.size() - done);
    if (n < 0) return false;
    if (n == 0) break;
    done += static_cast<std::size_t>(n);
    if (done == text.size()) {
      if (done > kMaxSettingsFileBytes) return false;
      text.resize(std::min<std::size_t>(text.size() * 2, kMaxSettingsFileBytes + 1));
    }
  }
  text.resize(done);
  return true;
}

ProfileFile ProfileFile::Parse(std::string_view text) {
  ProfileFile profile;
  std::string_view rest = text;
  if (rest.starts_with(kByteOrderMark)) {  // one mark; a second one is part of the first line
    rest.remove_prefix(kByteOrderMark.size());
    profile.byteOrderMark_ = true;
  }
  while (!rest.empty()) {
    const std::size_t end = rest.find('\n');
    std::string_view line = rest.substr(0, end);
    std::string_view lineEnd;
    if (end == std::string_view::npos) {
      rest = std::string_view();  // the last line, without a line end
    } else {
      lineEnd = "\n";
      if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
        lineEnd = "\r\n";
      }
      rest = rest.substr(end + 1);
    }
    profile.lines_.emplace_back(line);
    profile.ends_.emplace_back(lineEnd);
  }
  return profile;
}

ProfileFile ProfileFile::Load(const std::string& path) {
  std::string text;
  if (!ReadSettingsText(path, text)) return ProfileFile();
  return Parse(text);
}

std::string ProfileFile::Text() const {
  std::size_t size = byteOrderMark_ ? kByteOrderMark.size() : 0;
  for (std::size_t i = 0; i < lines_.size(); ++i) size += lines_[i].size() + ends_[i].size();
  std::string text;
  text.reserve(size);
  // The mark goes back, so that a mark behind it still reads as part of the first line.
  if (byteOrderMark_) text += kByteOrderMark;
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    text += lines_[i];
    text += ends_[i];
  }
  return text;
}

std::string_view ProfileFile::FirstLineEnd() const {
  for (const std::string& end : ends_) {
    if (!end.empty()) return end;
  }
  return "\n";
}

void ProfileFile::InsertLine(std::size_t index, std::string line) {
  std::string end(index > 0 && !ends_[index - 1].empty() ? std::string_view(ends_[index - 1])
                                                           : FirstLineEnd());
  // Only the last line can be without a line end; a line after it needs one. A CR at its end
  // stays on it: an LF alone after it would make the two a line end and take the CR off the line.
  if (index > 0 && ends_[index - 1].empty()) {
    ends_[index - 1] = lines_[index - 1].ends_with('\r') ? std::string("\r\n") : end;
  }
  lines_.insert(lines_.begin() + static_cast<long>(index), std::move(line));
  ends_.insert(ends_.begin() + static_cast<long>(index), std::move(end));
}

long ProfileFile::FindSection(std::string_view section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    std::string_view name;
    if (SectionName(lines_[i], name) && EqualNoCase(name, Trim(section))) return static_cast<long>(i);
  }
  return -1;
}

long ProfileFile::FindKey(long sectionLine, std::string_view key) const {
  for (std::size_t i = static_cast<std::size_t>(sectionLine) + 1; i < lines_.size(); ++i) {
    std::string_view name;
    if (SectionName(lines_[i], name)) break;
    const std::string_view line = Trim(lines_[i]);
    if (line.empty() || line.front() == ';') continue;
    std::string_view k;
    std::string_view v;
    if (KeyValue(line, k, v) && EqualNoCase(k, Trim(key))) return static_cast<long>(i);
  }
  return -1;
}

bool ProfileFile::HasSection(std::string_view section) const { return FindSection(section) >= 0; }

bool ProfileFile::HasKey(std::string_view section, std::string_view key) const {
  const long s = FindSection(section);
  return s >= 0 && FindKey(s, key) >= 0;
}

std::string ProfileFile::ReadString(std::string_view section, std::string_view key,
                                    std::string_view fallback) const {
  const long s = FindSection(section);
  const long k = s >= 0 ? FindKey(s, key) : -1;
  if (k < 0) return std::string(fallback);
  std::string_view name;
  std::string_view value;
  KeyValue(lines_[static_cast<std::size_t>(k)], name, value);
  if (value.size() >= 2 && ((value.front() == '"' && value.back() == '"') ||
                            (value.front() == '\'' && value.back() == '\''))) {
    value = value.substr(1, value.size() - 2);
  }
  return std::string(value);
}

int ProfileFile::ReadInt(std::string_view section, std::string_view key, int fallback) const {
  if (!HasKey(section, key)) return fallback;
  const std::string text = ReadString(section, key, "");
  std::size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<int>(value);
}

void ProfileFile::AddSection(std::string_view section) {
  if (FindSection(section) >= 0) return;
  std::string line = "[";
  line += Trim(section);
  line += ']';
  InsertLine(lines_.size(), std::move(line));
}

void ProfileFile::WriteString(std::string_view section, std::string_view key,
                              std::string_view value) {
  long s = FindSection(section);
  if (s < 0) {
    AddSection(section);
    s = static_cast<long>(lines_.size()) - 1;
  }
  std::string line = std::string(Trim(key)) + "=" + std::string(value);
  const long k = FindKey(s, key);
  if (k >= 0) {
    lines_[static_cast<std::size_t>(k)] = std::move(line);
    return;
  }
  // Append after the section's last non-blank line.
  std::size_t insert = static_cast<std::size_t>(s) + 1;
  for (std::size_t i = insert; i < lines_.size(); ++i) {
    std::string_view name;
    if (SectionName(lines_[i], name)) break;
    if (!Trim(lines_[i]).empty()) insert = i + 1;
  }
  InsertLine(insert, std::move(line));
}

namespace {

// Writes all of `bytes` at `offset`; false (errno set) when the file takes less.
bool WriteAllAt(int fd, std::string_view bytes, off_t offset) {
  while (!bytes.empty()) {
    const ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), offset);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
    offset += n;
  }
  return true;
}

// The content of the open regular file `fd` of `size` bytes; false when it cannot be read or is
// not that size.
bool ReadAt(int fd, off_t size, std::string& content) {
  content.resize(static_cast<std::size_t>(size));
  std::size_t done = 0;
  while (done < content.size()) {
    const ssize_t n = ::pread(fd, content.data() + done, content.size() - done,
                              static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// The text as the new content of the open regular file `fd` whose content was `old`: what the
// disk and the file-size limit allow is checked before a byte changes, the bytes from the first
// that differs are written and the file cut to the new length, then flushed to the disk. `old`
// is empty for a file whose content could not be read: all of it is written.
bool Rewrite(int fd, std::string_view old, std::string_view text) {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
      text.size() > limit.rlim_cur) {
    errno = EFBIG;
    return false;
  }
  // The room for the whole text, taken before anything is written, so that a full disk or
  // quota fails here and not halfway (where the file system cannot reserve room, the write itself
  // is the test).
  if (text.size() > old.size()) {
    while (::fallocate(fd, FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(text.size())) != 0) {
      if (errno == EINTR) continue;
      if (errno == EOPNOTSUPP || errno == ENOSYS || errno == EINVAL) break;
      return false;
    }
  }
  std::size_t same = 0;
  while (same < old.size() && same < text.size() && old[same] == text[same]) ++same;
  if (!WriteAllAt(fd, text.substr(same), static_cast<off_t>(same))) return false;
  if (::ftruncate(fd, static_cast<off_t>(text.size())) != 0) return false;
  return ::fsync(fd) == 0;
}

}  // namespace

bool ProfileFile::Save(const std::string& path) const {
  const std::string text = Text();
  // The settings go into the file the name leads to, in place, like the private-profile routines
  // write them: a symbolic link stays a link to the file it names, and the file keeps its owner,
  // mode and attributes, and the other links it may have. Whether this user may write it is the
  // open's decision: a read-only file, or one of another user's that is not writable for this
  // one, is refused (never replaced through a writable folder), and a writable file in a
  // read-only folder is written.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    if (errno != ENOENT) return false;
    // A new file: created, never one that appeared meanwhile, and removed again when it could
    // not be written whole.
    const int created =
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, 0666);
    if (created < 0) return false;
    const bool written = Rewrite(created, {}, text);
    if (::close(created) != 0 || !written) {
      ::unlink(path.c_str());
      return false;
    }
    return true;
  }
  // What is at that name and could not be read as settings (a device, a FIFO, a huge file) is not
  // written to, nor even opened.
  if (!S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) > kMaxSettingsFileBytes) {
    return false;
  }
  int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  const bool readable = fd >= 0;
  if (fd < 0 && errno == EACCES) {
    fd = ::open(path.c_str(), O_WRONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);  // write-only
  }
  if (fd < 0) return false;
  // The file opened must still be such a file (it may have been swapped meanwhile); its content
  // is read through the same descriptor, so that only what differs is written.
  std::string old;
  bool settingsFile = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
                      static_cast<std::uint64_t>(info.st_size) <= kMaxSettingsFileBytes;
  if (settingsFile && readable) settingsFile = ReadAt(fd, info.st_size, old);
  const bool written = settingsFile && Rewrite(fd, old, text);
  return ::close(fd) == 0 && written;
}

std::string WriteProfileText(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value) {
  ProfileFile profile = ProfileFile::Parse(text);
  profile.WriteString(section, key, value);
  return profile.Text();
}

std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view fallback) {
  return ProfileFile::Load(path).ReadString(section, key, fallback);
}

int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int fallback) {
  return ProfileFile::Load(path).ReadInt(section, key, fallback);
}

bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value) {
  ProfileFile profile = ProfileFile::Load(path);
  profile.WriteString(section, key, value);
  return profile.Save(path);
}

}  // namespace vantiro
