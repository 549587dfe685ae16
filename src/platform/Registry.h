#pragma once
// The per-user registry of the program: a profile file in the user's configuration directory,
// $XDG_CONFIG_HOME/vantiro/registry.ini (~/.config/vantiro/registry.ini when XDG_CONFIG_HOME is
// unset). Each registry key is a section, e.g. [Software\Brisawen], holding integer values:
//
//   [Software\Brisawen]
//   OpenLog=1
//   ImportData=1
//   OEMDL=0

#include <optional>
#include <string>
#include <string_view>

#include "platform/Profile.h"

namespace vantiro {

inline constexpr std::string_view kVendorKey = "Software\\Brisawen";
// The program's own remembered choices beside the switches (the archive last opened, the chart's
// drawing switches), in the same file.
inline constexpr std::string_view kSettingsKey = "Vantiro";

std::string RegistryFilePath();

// Opens the key, creating the file and the key when missing. False when it could not be created.
bool OpenOrCreateRegistryKey(std::string_view key);

// The value when it exists and holds a whole decimal integer; nothing otherwise.
std::optional<int> ReadRegistryInt(std::string_view key, std::string_view name);

bool WriteRegistryInt(std::string_view key, std::string_view name, int value);

// A text value as written (blanks around it removed); nothing when missing.
std::optional<std::string> ReadRegistryString(std::string_view key, std::string_view name);
bool WriteRegistryString(std::string_view key, std::string_view name, std::string_view value);

// The same rules on the registry file's profile in memory; the functions above load and save the
// file around these.
std::optional<int> RegistryInt(const ProfileFile& registry, std::string_view key,
                               std::string_view name);
void SetRegistryInt(ProfileFile& registry, std::string_view key, std::string_view name, int value);

}  // namespace vantiro
