#include "platform/Registry.h"

#include <charconv>
#include <filesystem>
#include <system_error>

#include "platform/ProgramDir.h"

namespace vantiro {

std::string RegistryFilePath() { return UserConfigDirectory() + "/registry.ini"; }

bool OpenOrCreateRegistryKey(std::string_view key) {
  const std::string path = RegistryFilePath();
  ProfileFile profile = ProfileFile::Load(path);
  if (profile.HasSection(key)) return true;
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  profile.AddSection(key);
  return profile.Save(path);
}

std::optional<int> RegistryInt(const ProfileFile& registry, std::string_view key,
                               std::string_view name) {
  if (!registry.HasKey(key, name)) return std::nullopt;
  const std::string text = registry.ReadString(key, name, "");
  int value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  // One optional sign: a '+' may not be followed by another sign.
  if (first != last && *first == '+') {
    ++first;
    if (first != last && *first == '-') return std::nullopt;
  }
  const auto [end, ec] = std::from_chars(first, last, value);
  if (ec != std::errc() || end != last || first == last) return std::nullopt;
  return value;
}

void SetRegistryInt(ProfileFile& registry, std::string_view key, std::string_view name, int value) {
  registry.WriteString(key, name, std::to_string(value));
}

std::optional<int> ReadRegistryInt(std::string_view key, std::string_view name) {
  return RegistryInt(ProfileFile::Load(RegistryFilePath()), key, name);
}

bool WriteRegistryInt(std::string_view key, std::string_view name, int value) {
  return WriteRegistryString(key, name, std::to_string(value));
}

std::optional<std::string> ReadRegistryString(std::string_view key, std::string_view name) {
  const ProfileFile registry = ProfileFile::Load(RegistryFilePath());
  if (!registry.HasKey(key, name)) return std::nullopt;
  return registry.ReadString(key, name, "");
}

bool WriteRegistryString(std::string_view key, std::string_view name, std::string_view value) {
  const std::string path = RegistryFilePath();
  std::error_code ec;
  std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
  ProfileFile registry = ProfileFile::Load(path);
  registry.WriteString(key, name, value);
  return registry.Save(path);
}

}  // namespace vantiro
