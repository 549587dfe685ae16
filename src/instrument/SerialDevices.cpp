#include "instrument/SerialDevices.h"

#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
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

SerialDevice Describe(const fs::path& path, std::string target) {
  SerialDevice device;
  device.path = path.string();
  device.target = std::move(target);
  device.exists = ::access(device.path.c_str(), F_OK) == 0;
  device.usable = device.exists && ::access(device.path.c_str(), R_OK | W_OK) == 0;
  device.group = DeviceGroupName(device.path);
  return device;
}

}  // namespace

std::string DeviceGroupName(const std::string& path) {
  struct stat status {};
  if (::stat(path.c_str(), &status) == 0 && status.st_gid != 0) {
    if (const struct group* entry = ::getgrgid(status.st_gid); entry != nullptr) {
      return entry->gr_name;
    }
  }
  return "dialout";
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

std::string DevicePermissionHint(const SerialDevice& device) {
  if (!device.exists) return "未找到 " + device.path + "：请检查串口适配器是否已插好。";
  if (device.usable) return {};
  return "无权打开 " + device.path + "：请把用户加入 " + device.group + " 组（sudo usermod -aG " +
         device.group + " $USER），重新登录后生效。";
}

}  // namespace vantiro
