#pragma once
// The serial devices of this machine, for the settings dialog's device list.

#include <string>
#include <vector>

namespace vantiro {

struct SerialDevice {
  std::string path;    // as listed: /dev/serial/by-id/usb-..., /dev/ttyUSB0, ...
  std::string target;  // what a /dev/serial/by-id name points to (/dev/ttyUSB0); else empty
  bool usable = true;  // this user may open it for reading and writing
  std::string group;   // the device's group (who may use it): dialout on Debian and Ubuntu
  bool exists = true;
};

// What is known of one device path.
SerialDevice DescribeSerialDevice(const std::string& path);

// The group whose members may use a device: its owning group (dialout on Debian and Ubuntu, uucp
// on some other systems), "dialout" when the device cannot be looked at or belongs to root's group.
std::string DeviceGroupName(const std::string& path);

// The devices that exist under `devRoot` ("/dev" but for tests): the stable names of
// serial/by-id first, then ttyUSB*, ttyACM* and ttyS*, each family in the order of its number.
std::vector<SerialDevice> ListSerialDevices(const std::string& devRoot = "/dev");

// What a user who may not open `device` is told: join its group; or, for a device that does not
// exist, to check the adapter. Empty for a device this user may open.
std::string DevicePermissionHint(const SerialDevice& device);

}  // namespace vantiro
