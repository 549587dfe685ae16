#pragma once
// The serial devices of this machine, for the settings dialog's device list, and what a user who
// may not open one is told.

#include <optional>
#include <string>
#include <vector>

namespace vantiro {

// Who may use a device: its owner, its group and its permission bits.
struct DeviceAccess {
  std::string owner;       // the owning user's name (its number when it has none)
  std::string group;       // the owning group's name (its number when it has none)
  bool rootGroup = false;  // the group is root's (number 0): nobody is put into it to use a port
  unsigned mode = 0;       // the permission bits, 0660 for example
  friend bool operator==(const DeviceAccess&, const DeviceAccess&) = default;
};

struct SerialDevice {
  std::string path;    // as listed: /dev/serial/by-id/usb-..., /dev/ttyUSB0, ...
  std::string target;  // what a /dev/serial/by-id name points to (/dev/ttyUSB0); else empty
  bool usable = true;  // this user may open it for reading and writing
  bool exists = true;
  std::optional<DeviceAccess> access;  // nothing when the device cannot be looked at
};

// What is known of one device path.
SerialDevice DescribeSerialDevice(const std::string& path);

// The owner, group and permission bits of the device `path` leads to; nothing when it cannot be
// looked at.
std::optional<DeviceAccess> LookUpDeviceAccess(const std::string& path);

// The devices that exist under `devRoot` ("/dev" but for tests): the stable names of
// serial/by-id first, then ttyUSB*, ttyACM* and ttyS*, each family in the order of its number.
std::vector<SerialDevice> ListSerialDevices(const std::string& devRoot = "/dev");

// What a user refused by the device `path` is told, from who may use it. Joining its group helps
// only when the group may read and write it and is not root's (dialout on Debian and Ubuntu, uucp
// on some other systems): then the hint is to join it. Otherwise it names the owner, the group
// and the permission bits and asks the administrator to give access.
std::string AccessHint(const std::string& path, const std::optional<DeviceAccess>& access);

// What a user who may not open `device` is told: AccessHint; or, for a device that does not
// exist, to check the adapter. Empty for a device this user may open.
std::string DevicePermissionHint(const SerialDevice& device);

}  // namespace vantiro
