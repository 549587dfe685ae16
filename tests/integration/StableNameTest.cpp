// An adapter opened by its changing name is found again under its stable name after it was
// unplugged and came back as another device.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "instrument/CommSettings.h"
#include "instrument/ModbusRtuImpl.h"
#include "instrument/SerialLibrary.h"
#include "integration/SimulatedLine.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::ChannelSection;
using testing::SimulatedLine;

TEST(StableNameTest, AnAdapterBackUnderAnotherNameIsFoundByItsStableName) {
  testing::TempDir dir;
  const fs::path byId = dir.Path() / "by-id";
  fs::create_directories(byId);
  const fs::path stable = byId / "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
  auto first = std::make_unique<SimulatedLine>();
  ASSERT_TRUE(first->Started());
  fs::create_symlink(first->DevicePath(), stable);
  const std::string ini = dir.File("config.ini");
  const std::string changing = first->DevicePath();
  testing::WriteText(ini, testing::ComSection(1) + ChannelSection({1}) + "[DEVICE]\nCOM1=" + changing + "\n");

  LoadCommSettings(ini);
  TermiosSerialLibrary library(ini);
  library.SetStableNameFolder(byId.string());
  ModbusRtuImpl instrument(library);
  ASSERT_TRUE(instrument.OpenLink());
  ASSERT_TRUE(instrument.Probe());
  instrument.CloseLink();

  // Unplugged and back: a new device, the stable name now leading to it, the old name gone.
  SimulatedLine second;
  ASSERT_TRUE(second.Started());
  first.reset();
  ASSERT_NE(second.DevicePath(), changing);
  fs::remove(stable);
  fs::create_symlink(second.DevicePath(), stable);
  ASSERT_TRUE(instrument.OpenLink()) << instrument.OpenFailureDetail();
  EXPECT_TRUE(instrument.Probe());
  instrument.CloseLink();
  second.Simulator().Stop();
  EXPECT_GT(second.Simulator().Model().Requests(), 0);

  // Without its stable name the adapter is looked for where config.ini says, and not found.
  fs::remove(stable);
  EXPECT_FALSE(instrument.OpenLink());
  EXPECT_NE(instrument.OpenFailureDetail().find(changing), std::string::npos) << instrument.OpenFailureDetail();
}

}  // namespace
}  // namespace vantiro
