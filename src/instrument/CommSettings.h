#pragma once
// The communication settings in config.ini beside the executable: serial line, instrument address
// and the channels that take part in monitoring.
//
//   [COM]      port (0 = COM1 .. 15 = COM16), baudRate (index into 1200 .. 115200), stopBit,
//              dataBit, checkType (0 none, 1 odd, 2 even), address
//   [CHANNEL]  CH01 .. CH16, 1 = monitored
//   [DEVICE]   optional: COM<n> = device path of port n (e.g. COM1=/dev/ttyUSB0), otherwise
//              port n is /dev/ttyS<n-1>
//   [RECORDER2] .. [RECORDER16]  optional: further recorders monitored beside the first, each with
//              port (as [COM]'s; the device from [DEVICE]), address, name, CH01 .. CH16, and use
//              (0: the entry was removed); the line parameters are [COM]'s for every port
//   [ARCHIVE]  optional: record (0 = live readings are not kept in the archive; kept otherwise),
//              recorder (the archive's recorder they go under; otherwise "COM1 地址1")

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vantiro {

// A further recorder of [RECORDER2] .. [RECORDER16].
struct RecorderEntry {
  int port = 0;  // 0 = COM1 .. 15 = COM16
  int address = 1;
  std::string name;  // its archive recorder and the caption of its panels; empty: "COM1 地址2"
  std::array<bool, 16> channels = {true, true, true, true, true, true, true, true,
                                   true, true, true, true, true, true, true, true};
  friend bool operator==(const RecorderEntry&, const RecorderEntry&) = default;
};
inline constexpr int kMostRecorders = 16;  // the first and fifteen further ones

struct CommSettings {
  std::int32_t port = 0;      // library port number, 1 = COM1
  std::int32_t baudRate = 0;  // bits per second
  std::int32_t stopBits = 0;  // 1 or 2
  std::int32_t dataBits = 0;  // 5..8
  std::int32_t parity = 0;    // 0 none, 1 odd, 2 even
  std::int32_t address = 0;   // instrument address; the link uses its low 16 bits
  friend bool operator==(const CommSettings&, const CommSettings&) = default;
};

// Process-wide: filled by LoadCommSettings each time monitoring or a download starts.
extern CommSettings commSettings;
extern std::array<bool, 16> channelEnabled;  // index = channel number - 1
// The further recorders, filled by LoadCommSettings with commSettings.
extern std::vector<RecorderEntry> furtherRecorders;

// Where config.ini lives. Beside the executable, as the recorder's software keeps it, when a file
// there can be written or, for a new file, the folder can; an installed program's folder is
// read-only, so its settings go to the user's configuration directory (UserConfigDirectory()).
// Until the user's file exists, a read-only config.ini beside the executable is still what is read:
// the first change copies its other keys into the user's file.
struct ConfigIniPlaces {
  std::string read;
  std::string write;
};
struct ConfigIniFacts {
  bool besideExists = false;     // config.ini beside the executable exists
  bool besideWritable = false;   // ...and may be written, or its folder may, when it does not exist
  bool userExists = false;       // the user's config.ini exists
};
ConfigIniPlaces ChooseConfigIni(const std::string& programDir, const std::string& userDir,
                                const ConfigIniFacts& facts);
// The places for this program and user, from the file system; both `path` after
// UseConfigIni(path) (the program's --config).
ConfigIniPlaces ConfigIniLocations();
void UseConfigIni(std::string path);
// The config.ini that is read.
std::string ConfigIniPath();

// Reads `iniPath` (ConfigIniPath() when empty) into commSettings and channelEnabled.
void LoadCommSettings(const std::string& iniPath = {});

// What the settings dialog shows and writes back: the selected list indexes (-1 = no entry
// selected), the address text as typed and the ticks of channels 1..16.
struct CommSettingsFields {
  int port = 0;       // 0 = COM1 .. 15 = COM16
  int baudRate = 3;   // index into kBaudRates
  int stopBit = 1;    // 0 = 1 stop bit, 1 = 2 stop bits
  int dataBit = 3;    // 0 = 5 bits .. 3 = 8 bits
  int checkType = 1;  // 0 none, 1 odd, 2 even
  std::string address = "1";
  std::array<bool, 16> channelTicked = {true, true, true, true, true, true, true, true,
                                        true, true, true, true, true, true, true, true};
  // The device each of COM1..COM16 opens: its [DEVICE] entry, or /dev/ttyS<n-1>. An empty entry
  // opens the default.
  std::array<std::string, 16> devices;
  // Live readings kept in the archive, under `recorderName` (empty: named after the link).
  bool recordToArchive = true;
  std::string recorderName;
  std::vector<RecorderEntry> further;
  friend bool operator==(const CommSettingsFields&, const CommSettingsFields&) = default;
};

// Reads `iniPath` (ConfigIniPath() when empty) as the dialog shows it. The port index is taken
// as stored, even outside the list; the other indexes fall back to their defaults when outside.
CommSettingsFields ReadCommSettingsFields(const std::string& iniPath = {});

// Writes every field as decimal text (the address as it is) and, under [DEVICE], each port's device
// that differs from what the file says (the default for a port it names none for), keeping the rest of the file. With `iniPath` empty, what ConfigIniLocations() reads is
// written where it writes (its folder created when missing). False when the file cannot be
// written (it is then as it was): the settings dialog says so with kSettingsSaveFailedText.
bool WriteCommSettingsFields(const CommSettingsFields& fields, const std::string& iniPath = {});

// What the settings dialog says when config.ini cannot be written: the text every failed save of
// the program shows.
inline constexpr const char* kSettingsSaveFailedText = "文件保存失败，请重试！";

// What a recorder goes by when the user names it nothing: its port and address, "COM1 地址1"
// (`port` 1 = COM1; the address's low 16 bits, as the link uses them). Its panels' caption, its
// archive recorder and its live sources' path.
std::string RecorderLinkName(int port, int address);

// The device a port (1..16) opens when config.ini names none.
std::string DefaultDevicePath(int port);

// A list of channels as typed: numbers 1..16 and ranges ("1-4,7,9-16"), blanks allowed; nothing
// for anything else or for no channel at all.
std::optional<std::array<bool, 16>> ParseChannelList(const std::string& text);
// The shortest such text of a set ("1-4,7,9-16"; "" for none).
std::string ChannelListText(const std::array<bool, 16>& channels);

// "CH01" .. "CH16": the key of a channel (1..16) in section CHANNEL.
std::string ChannelKey(int channel);

// The baud rates by index, as the file stores them.
inline constexpr std::array<std::int32_t, 7> kBaudRates = {1200, 2400, 9600, 19200, 38400, 57600, 115200};

}  // namespace vantiro
