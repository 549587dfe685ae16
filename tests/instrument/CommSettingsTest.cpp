#include "instrument/CommSettings.h"

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <climits>
#include <ostream>
#include <string>
#include <vector>

#include "platform/ProgramDir.h"
#include "support/CommSettingsPrinter.h"
#include "support/TempDir.h"

namespace vantiro {

namespace {

using testing::TempDir;
using testing::WriteText;

// Channel numbers (1..16) that are not monitored.
std::vector<int> ChannelsOff(const std::array<bool, 16>& enabled) {
  std::vector<int> off;
  for (int channel = 1; channel <= 16; ++channel) {
    if (!enabled[static_cast<std::size_t>(channel - 1)]) off.push_back(channel);
  }
  return off;
}

// What monitoring runs with when the file holds nothing: COM1, 1200 bits per second, 2 stop bits,
// 8 data bits, odd parity, address 1.
constexpr CommSettings kFileDefaults{1, 1200, 2, 8, 1, 1};

TEST(CommSettingsTest, ConfigIniLivesBesideTheProgramUnlessThatCannotBeWritten) {
  // A build's own folder may be written: the file beside the executable, as ever.
  EXPECT_EQ(ConfigIniPath(), ProgramDirectory() + "/config.ini");
  // The program's --config names another, read and written alike.
  UseConfigIni("/srv/plant/recorder.ini");
  EXPECT_EQ(ConfigIniPath(), "/srv/plant/recorder.ini");
  EXPECT_EQ(ConfigIniLocations().write, "/srv/plant/recorder.ini");
  UseConfigIni("");
  EXPECT_EQ(ConfigIniPath(), ProgramDirectory() + "/config.ini");

  const std::string beside = "/opt/v/bin/config.ini";
  const std::string user = "/home/u/.config/vantiro/config.ini";
  struct Case {
    const char* name;
    ConfigIniFacts facts;
    std::string read;
    std::string write;
  };
  const Case cases[] = {
      {"a writable file beside the program", {true, true, false}, beside, beside},
      {"a writable file beside the program wins over the user's", {true, true, true}, beside,
       beside},
      {"no file, but the program's folder may be written", {false, true, false}, beside, beside},
      // Installed: the program's folder is read-only.
      {"installed, nothing yet", {false, false, false}, user, user},
      {"installed, the user's file", {false, false, true}, user, user},
      // A read-only file put beside the program is read until the user's own exists; the first
      // change copies it there.
      {"a read-only file beside the program", {true, false, false}, beside, user},
      {"a read-only file beside the program and the user's", {true, false, true}, user, user},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ConfigIniPlaces places = ChooseConfigIni("/opt/v/bin", "/home/u/.config/vantiro", c.facts);
    EXPECT_EQ(places.read, c.read);
    EXPECT_EQ(places.write, c.write);
  }
}

TEST(CommSettingsTest, DevicesAreWrittenOnlyWhereTheyChange) {
  TempDir dir;
  const std::string ini = dir.File("config.ini");
  // Blanks and quotes around a value are read past; an unchanged entry keeps them.
  const std::string devices = "[DEVICE]\nCOM1 = \"/dev/ttyUSB0\"\nCOM3=\n";
  const std::string before = devices + "[COM]\nport=1\n";
  WriteText(ini, before);
  CommSettingsFields fields = ReadCommSettingsFields(ini);
  EXPECT_EQ(fields.devices[0], "/dev/ttyUSB0");
  EXPECT_EQ(fields.devices[1], "/dev/ttyS1");   // no entry: the default
  EXPECT_EQ(fields.devices[2], "/dev/ttyS2");   // an empty entry: the default too
  EXPECT_EQ(fields.devices[15], "/dev/ttyS15");

  // Nothing changed: the [DEVICE] section keeps its text exactly.
  ASSERT_TRUE(WriteCommSettingsFields(fields, ini));
  EXPECT_EQ(testing::ReadText(ini).substr(0, devices.size()), devices);

  // COM2 picked a device, COM5 typed one; COM3 and COM4 show their defaults as before.
  fields.devices[1] = "/dev/serial/by-id/usb-FTDI_FT232R-if00-port0";
  fields.devices[4] = "/dev/ttyACM0";
  ASSERT_TRUE(WriteCommSettingsFields(fields, ini));
  EXPECT_EQ(ReadCommSettingsFields(ini).devices, fields.devices);
  std::string text = testing::ReadText(ini);
  EXPECT_NE(text.find("COM1 = \"/dev/ttyUSB0\"\n"), std::string::npos) << text;
  EXPECT_NE(text.find("COM2=/dev/serial/by-id/usb-FTDI_FT232R-if00-port0\n"), std::string::npos);
  EXPECT_NE(text.find("COM3=\n"), std::string::npos);
  EXPECT_EQ(text.find("COM4"), std::string::npos);
  EXPECT_NE(text.find("COM5=/dev/ttyACM0\n"), std::string::npos);

  // COM1's device cleared: the entry goes back to the default.
  fields.devices[0].clear();
  ASSERT_TRUE(WriteCommSettingsFields(fields, ini));
  text = testing::ReadText(ini);
  EXPECT_NE(text.find("COM1=\n"), std::string::npos) << text;
  EXPECT_EQ(ReadCommSettingsFields(ini).devices[0], "/dev/ttyS0");
}

TEST(CommSettingsTest, LoadingFillsTheSettingsFromTheFile) {
  struct Case {
    const char* name;
    const char* text;  // nullptr: no file at all
    CommSettings settings;
    std::vector<int> channelsOff;
  };
  const Case cases[] = {
      {"no file", nullptr, kFileDefaults, {}},
      {"empty file", "", kFileDefaults, {}},
      {"other sections only", "[DEVICE]\nCOM1=/dev/ttyUSB0\n", kFileDefaults, {}},
      {"every key in range",
       "[COM]\nport=2\nbaudRate=6\nstopBit=0\ndataBit=0\ncheckType=2\naddress=17\n",
       {3, 115200, 1, 5, 2, 17}, {}},
      {"what the dialog writes when there is no file",
       "[COM]\nport=0\nbaudRate=3\nstopBit=1\ndataBit=3\ncheckType=1\naddress=1\n",
       {1, 19200, 2, 8, 1, 1}, {}},
      {"section and key names in other case", "[com]\nPORT=4\nBaudRate=2\n",
       {5, 9600, 2, 8, 1, 1}, {}},
      {"indexes just above their lists",
       "[COM]\nbaudRate=7\nstopBit=2\ndataBit=4\ncheckType=3\n", {1, 19200, 2, 8, 1, 1}, {}},
      {"negative indexes", "[COM]\nbaudRate=-1\nstopBit=-1\ndataBit=-1\ncheckType=-1\n",
       {1, 19200, 2, 8, 1, 1}, {}},
      {"baud rate index 9", "[COM]\nbaudRate=9\n", {1, 19200, 2, 8, 1, 1}, {}},
      {"port beyond the list", "[COM]\nport=20\n", {21, 1200, 2, 8, 1, 1}, {}},
      {"no port selected in the dialog", "[COM]\nport=-1\n", {0, 1200, 2, 8, 1, 1}, {}},
      {"largest port value wraps", "[COM]\nport=2147483647\n", {INT_MIN, 1200, 2, 8, 1, 1}, {}},
      {"address of letters", "[COM]\naddress=abc\n", {1, 1200, 2, 8, 1, 0}, {}},
      {"address with trailing letters", "[COM]\naddress=12ab\n", {1, 1200, 2, 8, 1, 12}, {}},
      {"empty address", "[COM]\naddress=\n", {1, 1200, 2, 8, 1, 0}, {}},
      {"address beyond 16 bits", "[COM]\naddress=70000\n", {1, 1200, 2, 8, 1, 70000}, {}},
      {"negative address", "[COM]\naddress=-3\n", {1, 1200, 2, 8, 1, -3}, {}},
      {"channels 0 and 1", "[CHANNEL]\nCH01=0\nCH02=1\nCH16=0\n", kFileDefaults, {1, 16}},
      {"only exactly 1 monitors", "[CHANNEL]\nCH05=2\nCH06=-1\nCH07=x\nCH08=\nCH09=01\n",
       kFileDefaults, {5, 6, 7, 8}},
      {"keys without the leading zero are other keys", "[CHANNEL]\nCH5=0\nCH10=0\n",
       kFileDefaults, {10}},
      {"channel keys outside CHANNEL", "[COM]\nCH03=0\n", kFileDefaults, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string path = dir.File("config.ini");
    if (c.text != nullptr) WriteText(path, c.text);
    LoadCommSettings(path);
    EXPECT_EQ(commSettings, c.settings);
    EXPECT_EQ(ChannelsOff(channelEnabled), c.channelsOff);
  }
}

TEST(CommSettingsTest, EachLoadReplacesEverythingTheLastOneRead) {
  TempDir dir;
  const std::string path = dir.File("config.ini");
  WriteText(path, "[COM]\nport=1\nbaudRate=2\nstopBit=0\ndataBit=1\ncheckType=0\naddress=9\n"
                  "[CHANNEL]\nCH01=0\nCH12=0\n");
  LoadCommSettings(path);
  EXPECT_EQ(commSettings, (CommSettings{2, 9600, 1, 6, 0, 9}));
  EXPECT_EQ(ChannelsOff(channelEnabled), (std::vector<int>{1, 12}));

  // An edit of the file counts at the next load; a missing file reads as defaults.
  WriteText(path, "[COM]\nport=3\n[CHANNEL]\nCH12=1\nCH13=0\n");
  LoadCommSettings(path);
  EXPECT_EQ(commSettings, (CommSettings{4, 1200, 2, 8, 1, 1}));
  EXPECT_EQ(ChannelsOff(channelEnabled), (std::vector<int>{13}));

  LoadCommSettings(dir.File("missing.ini"));
  EXPECT_EQ(commSettings, kFileDefaults);
  EXPECT_EQ(ChannelsOff(channelEnabled), std::vector<int>{});
}

TEST(CommSettingsTest, ChannelKeysHaveTwoDigits) {
  EXPECT_EQ(ChannelKey(1), "CH01");
  EXPECT_EQ(ChannelKey(9), "CH09");
  EXPECT_EQ(ChannelKey(16), "CH16");
}

}  // namespace
}  // namespace vantiro

namespace vantiro {
namespace {

TEST(FurtherRecordersTest, ChannelListsAreReadAndWritten) {
  struct Case {
    const char* text;
    std::optional<std::string> back;  // as ChannelListText writes it again; nothing: refused
  };
  const Case cases[] = {
      {"1-16", "1-16"},      {"1, 3,5-8", "1,3,5-8"}, {"16", "16"},     {"2-2", "2"},
      {"4-1", std::nullopt}, {"0", std::nullopt},     {"17", std::nullopt}, {"", std::nullopt},
      {"1,,2", std::nullopt}, {"1-", std::nullopt},   {"a", std::nullopt},  {"1;2", std::nullopt},
      {"0001", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = ParseChannelList(c.text);
    ASSERT_EQ(parsed.has_value(), c.back.has_value());
    if (parsed) {
      EXPECT_EQ(ChannelListText(*parsed), *c.back);
    }
  }
}

TEST(FurtherRecordersTest, SectionsAreWrittenReadAndRemoved) {
  testing::TempDir dir;
  const std::string ini = dir.File("config.ini");
  testing::WriteText(ini, "[COM]\nport=0\naddress=1\n");
  CommSettingsFields fields = ReadCommSettingsFields(ini);
  EXPECT_TRUE(fields.further.empty());
  // Untouched: no section appears.
  ASSERT_TRUE(WriteCommSettingsFields(fields, ini));
  EXPECT_EQ(testing::ReadText(ini).find("RECORDER"), std::string::npos);

  RecorderEntry second;
  second.port = 0;
  second.address = 2;
  second.name = "二号炉";
  second.channels = *ParseChannelList("1-4");
  RecorderEntry third;
  third.port = 3;
  third.address = 9;
  fields.further = {second, third};
  ASSERT_TRUE(WriteCommSettingsFields(fields, ini));
  EXPECT_EQ(ReadCommSettingsFields(ini).further, fields.further);
  LoadCommSettings(ini);
  EXPECT_EQ(furtherRecorders, fields.further);

  // One removed: its section stays, marked unused, and is not read.
  fields.further = {third};
  ASSERT_TRUE(WriteCommSettingsFields(fields, ini));
  EXPECT_EQ(ReadCommSettingsFields(ini).further, fields.further);
  EXPECT_NE(testing::ReadText(ini).find("[RECORDER3]\nuse=0"), std::string::npos) << testing::ReadText(ini);
  LoadCommSettings(ini);
  ASSERT_EQ(furtherRecorders.size(), 1u);
  EXPECT_EQ(furtherRecorders[0].address, 9);
}

}  // namespace
}  // namespace vantiro
