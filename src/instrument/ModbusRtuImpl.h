#pragma once
// The instrument link: the serial port and the frame layer, the recorder's register map, and the
// process-wide image of the instrument that its replies fill (each channel's configuration, the
// instrument clock, live values and alarm flags).
//
// Monitoring: OpenLink, Probe, PollLive once a tick, CloseLink. Picture download: OpenLink,
// StartDownload, SendDownloadBlock per block, FinishDownload, CloseLink. The instrument address of
// every request is the low 16 bits of commSettings.address. Failure texts land in lastErrorText,
// which nobody shows.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "instrument/ErrorText.h"
#include "instrument/ModbusRtuProtocol.h"
#include "instrument/RecorderRegisters.h"
#include "instrument/SerialComCtl.h"
#include "instrument/SerialLibrary.h"
#include "recorder/DateTime.h"

namespace vantiro {

// A channel's configuration as the recorder reports it.
struct ChannelConfig {
  std::int16_t scaleCode = 0;  // 4 - number of decimals; above 4: none
  std::int16_t unitCode = 0;   // low byte indexes the unit table
  float limitHH = 0.0f;        // alarm limits, scaled
  float limitH = 0.0f;
  float limitL = 0.0f;
  float limitLL = 0.0f;
  friend bool operator==(const ChannelConfig&, const ChannelConfig&) = default;
};

// The unit name of a channel: entry (unitCode & 0xFF) of the unit table, the generic unit above 82.
std::string_view ChannelUnitName(const ChannelConfig& config);

// A raw register value scaled with a scale code: multiplied by 0.1, (4 - code) times for codes up
// to 4 (repeated multiplication, not a division); codes above 4 leave it as it is.
double Scale(std::int16_t raw, std::uint16_t code);

class ModbusRtuImpl {
 public:
  ModbusRtuImpl();  // over the process's serial library
  explicit ModbusRtuImpl(SerialLibrary& library, SleepFunction sleep = {});
  virtual ~ModbusRtuImpl();  // closes the port
  ModbusRtuImpl(const ModbusRtuImpl&) = delete;
  ModbusRtuImpl& operator=(const ModbusRtuImpl&) = delete;

  // Opens the port with the line parameters of commSettings.
  bool OpenLink();
  // Also from another thread while an exchange runs: see AbortExchange.
  bool CloseLink();
  // Ends the exchange in progress at once, from any thread (the one running it gets a failure),
  // and every later one until the link is opened again. For stopping without waiting for the
  // read time-outs.
  void AbortExchange();
  // Why the last OpenLink failed, for the detail of the message "串口初始化失败!" (see
  // SerialComCtl::OpenFailureDetail).
  std::string OpenFailureDetail() const { return link.OpenFailureDetail(); }
  SerialLibrary& Library() const { return link.Library(); }
  // The link was closed or its exchange aborted.
  bool Stopped() const { return link.Stopped(); }
  // See SerialComCtl::SetReadCalls.
  void SetReadCalls(int calls) { link.SetReadCalls(calls); }
  // ReadDeviceInfo, then, if it succeeded, ReadAllChannelConfigs.
  bool Probe();
  // Reads the 4 device-information registers (not interpreted).
  bool ReadDeviceInfo();
  // Reads channel index + 1 (index 0..15) into channelConfig: its 16-register block, then its
  // register 16, which must be readable.
  bool ReadChannelConfig(int index);
  // Every enabled channel in order, each tried twice before the reading gives up.
  bool ReadAllChannelConfigs();
  // Reads the live block: the clock, then (when it is a valid date and time) the scaled values and
  // alarm flags of all 16 channels.
  bool PollLive();
  // The three download exchanges.
  bool StartDownload(int picture);
  bool SendDownloadBlock(const std::uint8_t* data, std::int32_t length, std::int32_t sequence);
  bool FinishDownload();

  SerialComCtl link;
  ModbusRtuProtocol protocol;

 private:
  // One read of `count` registers of `kind` from `start` into `destination`.
  bool ReadRegisters(std::int16_t kind, int start, int count, std::int16_t* destination);
  DownloadRequest NewDownloadRequest() const;
};

// The process-wide instrument image.
extern ModbusRtuImpl theInstrument;
extern bool linkOpen;  // the port of theInstrument is open; kept by whoever opens and closes it
extern std::array<char, kErrorTextSize> lastErrorText;
extern std::array<ChannelConfig, kInstrumentChannels> channelConfig;  // index = channel number - 1
extern std::array<std::uint16_t, 6>
    instrumentClock;  // year - 2000, month, day, hour, minute, second
extern DateTime instrumentTime;
extern std::array<float, kInstrumentChannels> liveValues;
extern std::array<std::int16_t, kInstrumentChannels> alarmHH;  // 0 or 1
extern std::array<std::int16_t, kInstrumentChannels> alarmH;
extern std::array<std::int16_t, kInstrumentChannels> alarmL;
extern std::array<std::int16_t, kInstrumentChannels> alarmLL;

// The operations on theInstrument.
bool OpenLink();
std::string OpenLinkFailureDetail();  // of theInstrument's last OpenLink
bool CloseLink();
bool Probe();
bool ReadDeviceInfo();
bool ReadChannelConfig(int index);
bool ReadAllChannelConfigs();
bool PollLive();
bool StartDownload(int picture);
bool SendDownloadBlock(const std::uint8_t* data, std::int32_t length, std::int32_t sequence);
bool FinishDownload();

}  // namespace vantiro
