#include "instrument/CommSettings.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/Profile.h"
#include "platform/ProgramDir.h"

namespace vantiro {

CommSettings commSettings;
std::array<bool, 16> channelEnabled{};
std::vector<RecorderEntry> furtherRecorders;

namespace {

constexpr const char* kComSection = "COM";
constexpr const char* kChannelSection = "CHANNEL";
constexpr const char* kDeviceSection = "DEVICE";
constexpr const char* kArchiveSection = "ARCHIVE";

// The longest address text the dialog takes from the file, in characters.
constexpr std::size_t kAddressReadLimit = 259;
// A recorder name longer than this is cut (a name is a label, not a document).
constexpr std::size_t kRecorderNameLimit = 200;

std::string ResolvedPath(const std::string& iniPath) {
  return iniPath.empty() ? ConfigIniPath() : iniPath;
}

// `value` when it lies in first..last, else `fallback`.
int InRange(int value, int first, int last, int fallback) {
  return value >= first && value <= last ? value : fallback;
}

// The first `limit` characters of UTF-8 text.
std::string FirstCharacters(const std::string& text, std::size_t limit) {
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool continuation = (static_cast<unsigned char>(text[i]) & 0xC0) == 0x80;
    if (!continuation && characters++ == limit) return text.substr(0, i);
  }
  return text;
}

}  // namespace

ConfigIniPlaces ChooseConfigIni(const std::string& programDir, const std::string& userDir,
                                const ConfigIniFacts& facts) {
  const std::string beside = programDir + "/config.ini";
  const std::string user = userDir + "/config.ini";
  if (facts.besideWritable) return {beside, beside};
  if (facts.besideExists && !facts.userExists) return {beside, user};
  return {user, user};
}

namespace {
std::string& ConfigIniOverride() {
  static std::string path;
  return path;
}
}  // namespace

void UseConfigIni(std::string path) { ConfigIniOverride() = std::move(path); }

ConfigIniPlaces ConfigIniLocations() {
  if (!ConfigIniOverride().empty()) return {ConfigIniOverride(), ConfigIniOverride()};
  const std::string programDir = ProgramDirectory();
  const std::string userDir = UserConfigDirectory();
  const std::string beside = programDir + "/config.ini";
  std::error_code ec;
  ConfigIniFacts facts;
  facts.besideExists = std::filesystem::exists(beside, ec);
  facts.besideWritable = facts.besideExists ? ::access(beside.c_str(), W_OK) == 0
                                            : ::access(programDir.c_str(), W_OK | X_OK) == 0;
  facts.userExists = std::filesystem::exists(userDir + "/config.ini", ec);
  return ChooseConfigIni(programDir, userDir, facts);
}

std::string ConfigIniPath() { return ConfigIniLocations().read; }

std::optional<std::array<bool, 16>> ParseChannelList(const std::string& text) {
  std::array<bool, 16> channels{};
  bool any = false;
  std::size_t at = 0;
  const auto number = [&](int& value) {
    while (at < text.size() && text[at] == ' ') ++at;
    const std::size_t start = at;
    value = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 3) value = value * 10 + (text[at++] - '0');
    while (at < text.size() && text[at] == ' ') ++at;
    return at > start && value >= 1 && value <= 16;
  };
  while (at < text.size()) {
    int first = 0;
    if (!number(first)) return std::nullopt;
    int last = first;
    if (at < text.size() && text[at] == '-') {
      ++at;
      if (!number(last) || last < first) return std::nullopt;
    }
    for (int c = first; c <= last; ++c) channels[static_cast<std::size_t>(c - 1)] = true;
    any = true;
    if (at < text.size()) {
      if (text[at] != ',') return std::nullopt;
      ++at;
    }
  }
  if (!any) return std::nullopt;
  return channels;
}

std::string ChannelListText(const std::array<bool, 16>& channels) {
  std::string text;
  for (int c = 1; c <= 16;) {
    if (!channels[static_cast<std::size_t>(c - 1)]) {
      ++c;
      continue;
    }
    int last = c;
    while (last < 16 && channels[static_cast<std::size_t>(last)]) ++last;
    if (!text.empty()) text += ',';
    text += std::to_string(c);
    if (last > c) text += "-" + std::to_string(last);
    c = last + 1;
  }
  return text;
}

std::string RecorderLinkName(int port, int address) {
  return "COM" + std::to_string(port) + " 地址" + std::to_string(address & 0xFFFF);
}

std::string DefaultDevicePath(int port) { return "/dev/ttyS" + std::to_string(port - 1); }

std::string ChannelKey(int channel) {
  char key[16];
  std::snprintf(key, sizeof key, "CH%02d", channel);
  return key;
}

static std::vector<RecorderEntry> ReadFurther(const ProfileFile& ini) {
  std::vector<RecorderEntry> further;
  for (int n = 2; n <= kMostRecorders; ++n) {
    const std::string section = "RECORDER" + std::to_string(n);
    if (!ini.HasSection(section) || ini.ReadInt(section, "use", 1) == 0) continue;
    RecorderEntry entry;
    entry.port = InRange(ini.ReadInt(section, "port", 0), 0, 15, 0);
    entry.address = ini.ReadInt(section, "address", 1);
    entry.name = FirstCharacters(ini.ReadString(section, "name", ""), kRecorderNameLimit);
    for (int channel = 1; channel <= 16; ++channel) {
      entry.channels[static_cast<std::size_t>(channel - 1)] = ini.ReadInt(section, ChannelKey(channel), 1) != 0;
    }
    further.push_back(std::move(entry));
  }
  return further;
}

void LoadCommSettings(const std::string& iniPath) {
  const ProfileFile ini = ProfileFile::Load(ResolvedPath(iniPath));
  furtherRecorders = ReadFurther(ini);

  // The stored port index counts from 0, the library's port number from 1 (wrapping like the
  // 32-bit value it is).
  const auto port = static_cast<std::uint32_t>(ini.ReadInt(kComSection, "port", 0));
  commSettings.port = static_cast<std::int32_t>(port + 1u);

  const int baud = InRange(ini.ReadInt(kComSection, "baudRate", 0), 0, 6, 3);
  commSettings.baudRate = kBaudRates[static_cast<std::size_t>(baud)];

  commSettings.parity = InRange(ini.ReadInt(kComSection, "checkType", 1), 0, 2, 1);
  commSettings.dataBits = 5 + InRange(ini.ReadInt(kComSection, "dataBit", 3), 0, 3, 3);
  // The stored default, 2, lies outside the list and so also ends as 2 stop bits.
  commSettings.stopBits = 1 + InRange(ini.ReadInt(kComSection, "stopBit", 2), 0, 1, 1);
  commSettings.address = ini.ReadInt(kComSection, "address", 1);

  for (int channel = 1; channel <= 16; ++channel) {
    channelEnabled[static_cast<std::size_t>(channel - 1)] =
        ini.ReadInt(kChannelSection, ChannelKey(channel), 1) == 1;
  }
}

CommSettingsFields ReadCommSettingsFields(const std::string& iniPath) {
  const ProfileFile ini = ProfileFile::Load(ResolvedPath(iniPath));
  CommSettingsFields fields;
  fields.port = ini.ReadInt(kComSection, "port", 0);
  fields.baudRate = InRange(ini.ReadInt(kComSection, "baudRate", 3), 0, 6, 3);
  fields.stopBit = InRange(ini.ReadInt(kComSection, "stopBit", 1), 0, 1, 1);
  fields.dataBit = InRange(ini.ReadInt(kComSection, "dataBit", 3), 0, 3, 3);
  fields.checkType = InRange(ini.ReadInt(kComSection, "checkType", 1), 0, 2, 1);
  fields.address = FirstCharacters(ini.ReadString(kComSection, "address", "1"), kAddressReadLimit);
  for (int channel = 1; channel <= 16; ++channel) {
    fields.channelTicked[static_cast<std::size_t>(channel - 1)] =
        ini.ReadInt(kChannelSection, ChannelKey(channel), 1) != 0;
  }
  for (int port = 1; port <= 16; ++port) {
    std::string device = ini.ReadString(kDeviceSection, "COM" + std::to_string(port), "");
    fields.devices[static_cast<std::size_t>(port - 1)] =
        device.empty() ? DefaultDevicePath(port) : std::move(device);
  }
  fields.further = ReadFurther(ini);
  fields.recordToArchive = ini.ReadInt(kArchiveSection, "record", 1) != 0;
  fields.recorderName = FirstCharacters(ini.ReadString(kArchiveSection, "recorder", ""), kRecorderNameLimit);
  return fields;
}

bool WriteCommSettingsFields(const CommSettingsFields& fields, const std::string& iniPath) {
  const ConfigIniPlaces places = iniPath.empty() ? ConfigIniLocations()
                                                 : ConfigIniPlaces{iniPath, iniPath};
  const std::string& path = places.write;
  if (iniPath.empty()) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  }
  ProfileFile ini = ProfileFile::Load(places.read);
  ini.WriteString(kComSection, "port", std::to_string(fields.port));
  ini.WriteString(kComSection, "baudRate", std::to_string(fields.baudRate));
  ini.WriteString(kComSection, "stopBit", std::to_string(fields.stopBit));
  ini.WriteString(kComSection, "dataBit", std::to_string(fields.dataBit));
  ini.WriteString(kComSection, "checkType", std::to_string(fields.checkType));
  ini.WriteString(kComSection, "address", fields.address);
  for (int channel = 1; channel <= 16; ++channel) {
    const bool ticked = fields.channelTicked[static_cast<std::size_t>(channel - 1)];
    ini.WriteString(kChannelSection, ChannelKey(channel), ticked ? "1" : "0");
  }
  // The ports' devices: only an entry the user changed is written (an empty one: back to the
  // default), so a file that never named a device does not start to and untouched entries keep
  // their text exactly.
  for (int port = 1; port <= 16; ++port) {
    const std::string key = "COM" + std::to_string(port);
    const std::string& device = fields.devices[static_cast<std::size_t>(port - 1)];
    const std::string named = ini.ReadString(kDeviceSection, key, "");
    const std::string shown = named.empty() ? DefaultDevicePath(port) : named;
    const bool changed = device.empty() ? !named.empty() : device != shown;
    if (changed) ini.WriteString(kDeviceSection, key, device);
  }
  // The further recorders: only when there are some or were; a removed one stays as "use=0".
  if (ReadFurther(ini) != fields.further) {
    const std::size_t count = std::min<std::size_t>(fields.further.size(), kMostRecorders - 1);
    for (int n = 2; n <= kMostRecorders; ++n) {
      const std::string section = "RECORDER" + std::to_string(n);
      const std::size_t index = static_cast<std::size_t>(n - 2);
      if (index >= count) {
        if (ini.HasSection(section)) ini.WriteString(section, "use", "0");
        continue;
      }
      const RecorderEntry& entry = fields.further[index];
      ini.WriteString(section, "use", "1");
      ini.WriteString(section, "port", std::to_string(entry.port));
      ini.WriteString(section, "address", std::to_string(entry.address));
      ini.WriteString(section, "name", entry.name);
      for (int channel = 1; channel <= 16; ++channel) {
        ini.WriteString(section, ChannelKey(channel), entry.channels[static_cast<std::size_t>(channel - 1)] ? "1" : "0");
      }
    }
  }
  // The archive's keys, likewise only once they differ from what the file gives.
  const bool recording = ini.ReadInt(kArchiveSection, "record", 1) != 0;
  if (recording != fields.recordToArchive) {
    ini.WriteString(kArchiveSection, "record", fields.recordToArchive ? "1" : "0");
  }
  if (ini.ReadString(kArchiveSection, "recorder", "") != fields.recorderName) {
    ini.WriteString(kArchiveSection, "recorder", fields.recorderName);
  }
  return ini.Save(path);
}

}  // namespace vantiro
