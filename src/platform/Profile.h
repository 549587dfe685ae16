#pragma once
// Profile (INI) files with the semantics the program has always relied on: a missing file, section
// or key reads as the default; writing creates the file and keeps every other section and key,
// byte for byte, line ends included. Section and key names compare without regard to ASCII case.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantiro {

// A settings file has no business being larger than this.
inline constexpr std::uint64_t kMaxSettingsFileBytes = 1 << 20;

// The whole text of a settings file: false (read it as missing) unless `path` is a regular file of
// at most kMaxSettingsFileBytes.
bool ReadSettingsText(const std::string& path, std::string& text);

class ProfileFile {
 public:
  // The profile a settings file's whole text makes: one UTF-8 byte-order mark at the start is
  // taken off (and written back by Text); lines end at '\n', and one '\r' before it belongs to the
  // line end, not the line. Each line keeps its own line end ("\n" or "\r\n"; none for a last line
  // without one), so that Text gives the same bytes back.
  static ProfileFile Parse(std::string_view text);
  // Reads `path`; a missing or unreadable file gives an empty profile, and so does anything that
  // is not a regular file of at most 1 MB.
  static ProfileFile Load(const std::string& path);

  // The value of the key, blanks around it removed and one pair of enclosing quotes stripped;
  // `fallback` when the section or key is missing.
  std::string ReadString(std::string_view section, std::string_view key,
                         std::string_view fallback) const;
  // The integer at the start of the value (optional sign, decimal digits); 0 when the value does
  // not start with a number; `fallback` when the key is missing. Values beyond int clamp.
  int ReadInt(std::string_view section, std::string_view key, int fallback) const;
  bool HasKey(std::string_view section, std::string_view key) const;
  bool HasSection(std::string_view section) const;

  // Sets the key, adding the section and key where missing. A changed line keeps its line end; a
  // new line takes the line end of the line it follows (the first one the text has, or "\n",
  // when that line has none), and that line gets one too.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void AddSection(std::string_view section);

  // The text of the whole profile as Save writes it: the byte-order mark when the text had one,
  // then every line with its line end. A parsed text comes back byte for byte, and Parse(Text())
  // gives these lines back.
  std::string Text() const;

  // Writes the whole profile into the file `path` leads to (the file a symbolic link names), in
  // place: its owner, mode, links and attributes stay as they are, and a new file is created with
  // the usual mode. False, with the file as it was, when it may not be written (read-only for
  // this user, on a read-only file system), when the text would not fit (a full disk, the
  // file-size limit), and when `path` names something that is not a settings file (a device, a
  // FIFO, an oversized file).
  bool Save(const std::string& path) const;

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  // Index of the line that opens the section, or -1.
  long FindSection(std::string_view section) const;
  // Index of the key's line within the section that opens at `sectionLine`, or -1.
  long FindKey(long sectionLine, std::string_view key) const;

  // Inserts `line` before line `index`, with the line end of the line before it.
  void InsertLine(std::size_t index, std::string line);
  // The line end new lines take when the line before them has none.
  std::string_view FirstLineEnd() const;

  std::vector<std::string> lines_;
  std::vector<std::string> ends_;  // the line end of each line: "\n", "\r\n" or none
  // The file began with a UTF-8 byte-order mark (taken off before its first line, written back).
  bool byteOrderMark_ = false;
};

// A settings text with one key set: Parse, WriteString, Text.
std::string WriteProfileText(std::string_view text, std::string_view section, std::string_view key,
                             std::string_view value);

// One-call forms of the private-profile functions.
std::string ReadProfileString(const std::string& path, std::string_view section,
                              std::string_view key, std::string_view fallback);
int ReadProfileInt(const std::string& path, std::string_view section, std::string_view key,
                   int fallback);
bool WriteProfileString(const std::string& path, std::string_view section, std::string_view key,
                        std::string_view value);

}  // namespace vantiro
