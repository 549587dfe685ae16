#include "platform/Profile.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>

#include <sys/stat.h>

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
    rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    profile.lines_.emplace_back(line);
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
  for (const std::string& line : lines_) size += line.size() + 2;
  std::string text;
  text.reserve(size);
  // The mark goes back, so that a mark behind it still reads as part of the first line.
  if (byteOrderMark_) text += kByteOrderMark;
  for (const std::string& line : lines_) {
    text += line;
    // A line that ends in a CR (it ended in two before its LF) gets the CR that Parse drops back,
    // so that its own CR stays on it and the text saves the same again.
    if (!line.empty() && line.back() == '\r') text += '\r';
    text += '\n';
  }
  return text;
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
  lines_.push_back(std::move(line));
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
  lines_.insert(lines_.begin() + static_cast<long>(insert), std::move(line));
}

bool ProfileFile::Save(const std::string& path) const {
  // What is at that name and could not be read as settings (a device, a FIFO, a huge file) is not
  // replaced by them.
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) {
    if (S_ISLNK(info.st_mode) && ::stat(path.c_str(), &info) != 0) return false;
    if (!S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) > kMaxSettingsFileBytes) return false;
  }
  const std::string temp = path + ".tmp";
  {
    std::ofstream out(temp, std::ios::binary | std::ios::trunc);
    if (!out) return false;
    const std::string text = Text();
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.flush();
    if (!out) {
      std::remove(temp.c_str());
      return false;
    }
  }
  if (std::rename(temp.c_str(), path.c_str()) != 0) {
    std::remove(temp.c_str());
    return false;
  }
  return true;
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
