// Arbitrary bytes as a settings file (config.ini) or as the registry file, parsed in memory, one
// key written and the text serialised and parsed again (the file functions are these steps around
// a read and an atomic write). The rules:
//
//   - reads agree with each other: a missing key reads as the fallback (string and integer), a key
//     that is there reads the same whatever the fallback, and its section is there;
//   - serialising a parsed text gives it back byte for byte, line ends included;
//   - serialising gives back the lines parsed, and saves the same text again;
//   - writing a key, serialising and parsing again reads back the value written (a plain value
//     exactly), and every other section and key reads exactly as before the write;
//   - the text written differs from the text read in one place only: at most one line changed
//     (the key's, or the last line given the line end it lacked) and at most two lines added (the
//     section and the key); every other line is the same bytes with the same line end, and the
//     added lines end as some line of the text did (LF when none did);
//   - in the registry, a written integer reads back, and no other key changes.
//
// Input: byte 0 bit 0 picks the registry file (otherwise config.ini); then the section, key and
// value to write, each ended by a NUL byte (bytes that cannot be part of a section or key name are
// replaced; line ends in the value become blanks); the rest is the file. Section and key names to
// check are taken from the file's own lines: the text between '[' and ']', and before '='.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Profile.h"
#include "platform/Registry.h"

namespace {

void Require(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "profile invariant violated: %s\n", rule);
  __builtin_trap();
}

std::string_view TakeField(std::string_view& rest) {
  const std::size_t nul = rest.find('\0');
  const std::string_view field = rest.substr(0, nul);
  rest = nul == std::string_view::npos ? std::string_view() : rest.substr(nul + 1);
  return field;
}

// A name that is a section or key name as written: no brackets, '=', ';', line ends or blanks at
// its ends; empty names become "k".
std::string CleanName(std::string_view raw) {
  std::string name;
  for (char c : raw) {
    const bool bad = c == '[' || c == ']' || c == '=' || c == ';' || c == '\n' || c == '\r' ||
                     c == '\0' || c == ' ' || c == '\t';
    name += bad ? '_' : c;
  }
  return name.empty() ? "k" : name;
}

bool IsPlain(std::string_view value) {
  for (char c : value) {
    const bool ok = (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    if (!ok) return false;
  }
  return true;
}

// Candidate names from the file's lines, at most `limit` of each.
void Candidates(std::string_view text, std::vector<std::string>& sections,
                std::vector<std::string>& keys, std::size_t limit) {
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (const std::size_t open = line.find('['); open != std::string_view::npos) {
      const std::size_t close = line.find(']', open);
      if (close != std::string_view::npos && sections.size() < limit) {
        sections.emplace_back(line.substr(open + 1, close - open - 1));
      }
    }
    if (const std::size_t eq = line.find('=');
        eq != std::string_view::npos && keys.size() < limit) {
      keys.emplace_back(line.substr(0, eq));
    }
  }
}

constexpr std::string_view kMissing = "\x01missing\x01";

struct Reading {
  bool hasSection;
  bool hasKey;
  std::string value;
};

std::vector<Reading> ReadAll(const vantiro::ProfileFile& profile,
                             const std::vector<std::string>& sections,
                             const std::vector<std::string>& keys) {
  std::vector<Reading> readings;
  for (const std::string& s : sections) {
    for (const std::string& k : keys) {
      readings.push_back(
          {profile.HasSection(s), profile.HasKey(s, k), profile.ReadString(s, k, kMissing)});
    }
  }
  return readings;
}

void CheckReads(const vantiro::ProfileFile& profile, const std::vector<std::string>& sections,
                const std::vector<std::string>& keys) {
  for (const std::string& s : sections) {
    for (const std::string& k : keys) {
      const bool has = profile.HasKey(s, k);
      const std::string value = profile.ReadString(s, k, kMissing);
      if (!has) {
        Require(value == kMissing, "a missing key does not read as the fallback");
        Require(profile.ReadInt(s, k, -77) == -77 && profile.ReadInt(s, k, 91) == 91,
                "a missing key does not read as the integer fallback");
      } else {
        Require(profile.HasSection(s), "a key without its section");
        Require(profile.ReadString(s, k, "other") == value,
                "a key's value depends on the fallback");
        Require(profile.ReadInt(s, k, -77) == profile.ReadInt(s, k, 91),
                "a key's integer depends on the fallback");
      }
    }
  }
}

bool SameName(std::string_view a, std::string_view b) {
  auto trim = [](std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
      s.remove_suffix(1);
    return s;
  };
  a = trim(a);
  b = trim(b);
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// The lines of a text, each with its line end (a last line without one counts too).
std::vector<std::string_view> RawLines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::size_t size = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back(text.substr(0, size));
    text.remove_prefix(size);
  }
  return lines;
}

std::string_view LineEnd(std::string_view line) {
  if (line.ends_with("\r\n")) return line.substr(line.size() - 2);
  if (line.ends_with('\n')) return line.substr(line.size() - 1);
  return {};
}

// `written` is `text` with one key written: the lines around the place of the write are the same
// bytes, and what was added ends as the text's lines do.
void CheckOneChange(std::string_view text, std::string_view written) {
  const std::vector<std::string_view> a = RawLines(text);
  const std::vector<std::string_view> b = RawLines(written);
  std::size_t prefix = 0;
  while (prefix < a.size() && prefix < b.size() && a[prefix] == b[prefix]) ++prefix;
  std::size_t suffix = 0;
  while (prefix + suffix < a.size() && prefix + suffix < b.size() &&
         a[a.size() - 1 - suffix] == b[b.size() - 1 - suffix]) {
    ++suffix;
  }
  const std::size_t changed = a.size() - prefix - suffix;
  const std::size_t added = b.size() - prefix - suffix;
  Require(changed <= 1 && added <= changed + 2,
          "writing a key changed more of the text than its own line");
  bool crlf = false;
  bool lf = false;
  for (const std::string_view line : a) {
    crlf = crlf || LineEnd(line) == "\r\n";
    lf = lf || LineEnd(line) == "\n";
  }
  if (!crlf && !lf) lf = true;
  // A CR that ended the text becomes, with the LF the last line is given, a CR LF.
  if (!a.empty() && a.back().ends_with('\r')) crlf = true;
  for (std::size_t i = prefix; i < b.size() - suffix; ++i) {
    const std::string_view end = LineEnd(b[i]);
    Require((end == "\r\n" && crlf) || (end == "\n" && lf) || (end.empty() && i + 1 == b.size()),
            "a written line ends otherwise than the text's lines");
  }
}

// The profile again from its text: the same lines, and the same text once more.
vantiro::ProfileFile Reparse(const vantiro::ProfileFile& profile) {
  const std::string text = profile.Text();
  vantiro::ProfileFile again = vantiro::ProfileFile::Parse(text);
  Require(again.Lines() == profile.Lines(), "parsing the serialised text gives other lines");
  Require(again.Text() == text, "serialising a parsed text changes it");
  return again;
}

void ConfigFile(std::string_view section, std::string_view key, std::string_view value,
                std::string_view text) {
  const vantiro::ProfileFile before = vantiro::ProfileFile::Parse(text);
  Require(before.Text() == text, "a parsed text is serialised with other bytes");
  Reparse(before);
  std::vector<std::string> sections;
  std::vector<std::string> keys;
  Candidates(text, sections, keys, 24);
  sections.emplace_back(section);
  keys.emplace_back(key);
  CheckReads(before, sections, keys);
  const std::vector<Reading> old = ReadAll(before, sections, keys);

  vantiro::ProfileFile written = before;
  written.WriteString(section, key, value);
  Require(written.HasKey(section, key), "a written key is missing");
  const std::string inMemory = written.ReadString(section, key, kMissing);
  if (IsPlain(value)) Require(inMemory == value, "a written plain value reads differently");
  Require(vantiro::WriteProfileText(text, section, key, value) == written.Text(),
          "the one-call write gives another text");

  const vantiro::ProfileFile after = Reparse(written);
  CheckOneChange(text, written.Text());
  CheckReads(after, sections, keys);
  Require(after.ReadString(section, key, kMissing) == inMemory,
          "the written value reads differently after serialising and parsing");
  const std::vector<Reading> now = ReadAll(after, sections, keys);
  std::size_t i = 0;
  for (const std::string& s : sections) {
    for (const std::string& k : keys) {
      const Reading& a = old[i];
      const Reading& b = now[i];
      ++i;
      if (SameName(s, section)) {
        if (!SameName(k, key)) {
          Require(a.hasKey == b.hasKey && a.value == b.value,
                  "writing a key changed another key of its section");
        }
        continue;
      }
      Require(a.hasSection == b.hasSection,
              "writing a key changed whether another section is there");
      Require(a.hasKey == b.hasKey && a.value == b.value,
              "writing a key changed a key of another section");
    }
  }
}

// What the registry functions do, on the file's text: open (create) the key, write the value.
void RegistryFile(std::string_view section, std::string_view key, std::string_view value,
                  std::string_view text) {
  vantiro::ProfileFile registry = vantiro::ProfileFile::Parse(text);
  Require(registry.Text() == text, "a parsed registry text is serialised with other bytes");
  std::vector<std::string> sections{std::string(vantiro::kVendorKey)};
  std::vector<std::string> keys{"OpenLog", "ImportData", "OEMDL"};
  Candidates(text, sections, keys, 16);
  std::vector<std::optional<int>> old;
  for (const std::string& s : sections) {
    for (const std::string& k : keys) old.push_back(vantiro::RegistryInt(registry, s, k));
  }
  std::uint32_t hash = 0;
  for (char c : value) hash = hash * 31u + static_cast<unsigned char>(c);
  const int number = static_cast<int>(hash % 2000001u) - 1000000;
  registry.AddSection(section);
  Require(registry.HasSection(section), "an opened registry key is missing");
  registry = Reparse(registry);
  vantiro::SetRegistryInt(registry, section, key, number);
  const vantiro::ProfileFile after = Reparse(registry);
  CheckOneChange(text, registry.Text());
  Require(vantiro::RegistryInt(after, section, key) == number,
          "a written registry value reads differently");
  std::size_t i = 0;
  for (const std::string& s : sections) {
    for (const std::string& k : keys) {
      const std::optional<int> now = vantiro::RegistryInt(after, s, k);
      if (!(SameName(s, section) && SameName(k, key))) {
        Require(now == old[i], "writing a registry value changed another one");
      }
      ++i;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool registry = (data[0] & 1) != 0;
  std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::string section = CleanName(TakeField(rest));
  const std::string key = CleanName(TakeField(rest));
  std::string value(TakeField(rest));
  for (char& c : value) {
    if (c == '\n' || c == '\r' || c == '\0') c = ' ';
  }
  if (registry) {
    RegistryFile(section, key, value, rest);
  } else {
    ConfigFile(section, key, value, rest);
  }
  return 0;
}
