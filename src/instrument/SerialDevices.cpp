#include "instrument/SerialDevices.h"

#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <system_error>

namespace vantiro {
namespace {

namespace fs = std::filesystem;

// The number after `prefix` in a device name ("ttyUSB12" -> 12), or -1 when the rest is not a
// plain number.
long DeviceNumber(std::string_view name, std::string_view prefix) {
  if (!name.starts_with(prefix) || name.size() == prefix.size()) return -1;
  const std::string_view digits = name.substr(prefix.size());
  long number = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (ec != std::errc() || end != digits.data() + digits.size()) return -1;
  return number;
}

std::string UserName(uid_t uid) {
  if (const passwd* entry = ::getpwuid(uid); entry != nullptr) return entry->pw_name;
  return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
  if (const group* entry = ::getgrgid(gid); entry != nullptr) return entry->gr_name;
  return std::to_string(gid);
}

SerialDevice Describe(const fs::path& path, std::string target) {
  SerialDevice device;
  device.path = path.string();
  device.target = std::move(target);
  device.exists = ::access(device.path.c_str(), F_OK) == 0;
  device.usable = device.exists && ::access(device.path.c_str(), R_OK | W_OK) == 0;
  device.access = LookUpDeviceAccess(device.path);
  return device;
}

}  // namespace

std::optional<DeviceAccess> LookUpDeviceAccess(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0) return std::nullopt;
  DeviceAccess access;
  access.owner = UserName(status.st_uid);
  access.group = GroupName(status.st_gid);
  access.rootGroup = status.st_gid == 0;
  access.mode = status.st_mode & 07777;
  return access;
}

SerialDevice DescribeSerialDevice(const std::string& path) { return Describe(path, {}); }

std::vector<SerialDevice> ListSerialDevices(const std::string& devRoot) {
  std::vector<SerialDevice> devices;
  std::error_code ec;

  std::vector<fs::path> stable;
  for (const fs::directory_entry& entry :
       fs::directory_iterator(fs::path(devRoot) / "serial" / "by-id", ec)) {
    std::error_code exists;
    if (fs::exists(entry.path(), exists)) stable.push_back(entry.path());  // no dangling links
  }
  std::sort(stable.begin(), stable.end());
  for (const fs::path& path : stable) {
    std::error_code resolved;
    const fs::path target = fs::canonical(path, resolved);
    devices.push_back(Describe(path, resolved ? std::string() : target.string()));
  }

  for (const std::string_view prefix : {"ttyUSB", "ttyACM", "ttyS"}) {
    std::vector<std::pair<long, fs::path>> family;
    for (const fs::directory_entry& entry : fs::directory_iterator(devRoot, ec)) {
      const long number = DeviceNumber(entry.path().filename().string(), prefix);
      if (number >= 0) family.emplace_back(number, entry.path());
    }
    std::sort(family.begin(), family.end());
    for (const auto& [number, path] : family) devices.push_back(Describe(path, {}));
  }
  return devices;
}

std::string AccessHint(const std::string& path, const std::optional<DeviceAccess>& access) {
  if (!access) return "无权打开 " + path + "：请管理员为该设备开放读写权限。";
  constexpr unsigned kGroupReadWrite = 0060;
  if (!access->rootGroup && (access->mode & kGroupReadWrite) == kGroupReadWrite) {
    return "无权打开 " + path + "：请把用户加入 " + access->group + " 组（sudo usermod -aG " +
           access->group + " $USER），重新登录后生效。";
  }
  char mode[8];
  std::snprintf(mode, sizeof mode, "%04o", access->mode & 07777);
  return "无权打开 " + path + "：该设备属于用户 " + access->owner + "、组 " + access->group +
         "（权限 " + mode + "），加入组也无法使用。请管理员开放权限，例如 sudo chgrp dialout " +
         path + " && sudo chmod 660 " + path +
         "，并写一条 udev 规则（GROUP=\"dialout\", MODE=\"0660\"）使其在重新插拔后仍然有效，"
         "然后把用户加入 dialout 组。";
}

std::string DevicePermissionHint(const SerialDevice& device) {
  if (!device.exists) return "未找到 " + device.path + "：请检查串口适配器是否已插好。";
  if (device.usable) return {};
  return AccessHint(device.path, device.access);
}

}  // namespace vantiro
