#pragma once
// Profile (INI) files with the semantics the program has always relied on: a missing file, section
// or key reads as the default; writing creates the file and keeps every other section and key.
// Section and key names compare without regard to ASCII case.

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
  // taken off (and written back by Text), lines end at '\n' with one '\r' before it dropped.
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

  // Sets the key, adding the section and key where missing.
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void AddSection(std::string_view section);

  // The text of the whole profile as Save writes it: the byte-order mark when the text had one,
  // then every line ended by '\n' ("\r\n" for a line that itself ends in '\r'). Parse(Text())
  // gives these lines back.
  std::string Text() const;

  // Writes the whole profile back (to a temporary file renamed over `path`). False on failure, and
  // when `path` names something that is not a settings file (a device, a FIFO, an oversized file).
  bool Save(const std::string& path) const;

  const std::vector<std::string>& Lines() const { return lines_; }

 private:
  // Index of the line that opens the section, or -1.
  long FindSection(std::string_view section) const;
  // Index of the key's line within the section that opens at `sectionLine`, or -1.
  long FindKey(long sectionLine, std::string_view key) const;

  std::vector<std::string> lines_;
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
