#include "instrument/SerialDevices.h"

#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteText;

TEST(SerialDevicesTest, StableNamesFirstThenEachFamilyInNumberOrder) {
  TempDir dev;
  const fs::path root = dev.Path();
  for (const char* name : {"ttyUSB10", "ttyUSB1", "ttyUSB0", "ttyACM0", "ttyS1", "ttyS0", "ttyS10",
                           "ttyS2", "tty0", "ttySX", "ttyUSB", "ttyprintk", "console"}) {
    WriteText((root / name).string(), "");
  }
  fs::create_directories(root / "serial" / "by-id");
  fs::create_symlink("../../ttyUSB1", root / "serial/by-id/usb-FTDI_FT232R-if00-port0");
  fs::create_symlink("../../ttyACM0", root / "serial/by-id/usb-Arduino-if00");
  fs::create_symlink("../../ttyUSB7", root / "serial/by-id/usb-unplugged-if00");  // dangling

  std::vector<std::string> listed;
  for (const SerialDevice& device : ListSerialDevices(root.string())) {
    listed.push_back(fs::path(device.path).lexically_relative(root).string());
    if (listed.back() == "serial/by-id/usb-FTDI_FT232R-if00-port0") {
      EXPECT_EQ(device.target, (root / "ttyUSB1").string());
    } else if (!listed.back().starts_with("serial/")) {
      EXPECT_EQ(device.target, "");
    }
    EXPECT_TRUE(device.exists);
  }
  EXPECT_EQ(listed, (std::vector<std::string>{
                        "serial/by-id/usb-Arduino-if00", "serial/by-id/usb-FTDI_FT232R-if00-port0",
                        "ttyUSB0", "ttyUSB1", "ttyUSB10", "ttyACM0", "ttyS0", "ttyS1", "ttyS2",
                        "ttyS10"}));

  // A machine without serial devices, or without the folder: an empty list.
  TempDir empty;
  EXPECT_TRUE(ListSerialDevices(empty.Path().string()).empty());
  EXPECT_TRUE(ListSerialDevices((empty.Path() / "missing").string()).empty());
}

TEST(SerialDevicesTest, TheHintNamesTheDevicesGroupOrTheMissingAdapter) {
  SerialDevice locked;
  locked.path = "/dev/ttyUSB0";
  locked.usable = false;
  locked.access = DeviceAccess{"root", "uucp", false, 0660};
  EXPECT_EQ(DevicePermissionHint(locked),
            "无权打开 /dev/ttyUSB0：请把用户加入 uucp 组（sudo usermod -aG uucp $USER），重新登录后生效。");

  const SerialDevice missing = DescribeSerialDevice("/dev/vantiro-no-such-device");
  EXPECT_FALSE(missing.exists);
  EXPECT_FALSE(missing.usable);
  EXPECT_FALSE(missing.access);
  EXPECT_EQ(DevicePermissionHint(missing),
            "未找到 /dev/vantiro-no-such-device：请检查串口适配器是否已插好。");

  const SerialDevice null = DescribeSerialDevice("/dev/null");
  EXPECT_TRUE(null.usable);
  EXPECT_EQ(DevicePermissionHint(null), "");
}

// What is looked up of a device: its owner, its group and its mode, as the file system has them
// (root's group too, which the hint must not suggest joining).
TEST(SerialDevicesTest, TheAccessIsTheDevicesOwnerGroupAndMode) {
  TempDir dir;
  const std::string device = dir.File("ttyUSB3");
  WriteText(device, "");
  ASSERT_EQ(::chmod(device.c_str(), 0640), 0);
  struct stat status {};
  ASSERT_EQ(::stat(device.c_str(), &status), 0);
  const std::optional<DeviceAccess> access = DescribeSerialDevice(device).access;
  ASSERT_TRUE(access);
  const passwd* owner = ::getpwuid(status.st_uid);
  const group* group = ::getgrgid(status.st_gid);
  EXPECT_EQ(access->owner, owner ? owner->pw_name : std::to_string(status.st_uid));
  EXPECT_EQ(access->group, group ? group->gr_name : std::to_string(status.st_gid));
  EXPECT_EQ(access->rootGroup, status.st_gid == 0);
  EXPECT_EQ(access->mode, 0640u);
}

}  // namespace
}  // namespace vantiro
