#include "instrument/ModbusRtuImpl.h"

#include <optional>

#include "instrument/CommSettings.h"
#include "recorder/UnitNames.h"

namespace vantiro {

bool linkOpen = false;
std::array<char, kErrorTextSize> lastErrorText{};
std::array<ChannelConfig, kInstrumentChannels> channelConfig{};
std::array<std::uint16_t, 6> instrumentClock{};
DateTime instrumentTime = 0.0;
std::array<float, kInstrumentChannels> liveValues{};
std::array<std::int16_t, kInstrumentChannels> alarmHH{};
std::array<std::int16_t, kInstrumentChannels> alarmH{};
std::array<std::int16_t, kInstrumentChannels> alarmL{};
std::array<std::int16_t, kInstrumentChannels> alarmLL{};

ModbusRtuImpl theInstrument;

namespace {

std::int16_t InstrumentAddress() {
  return static_cast<std::int16_t>(commSettings.address & 0xFFFF);
}

void ClearLastErrorText() { lastErrorText.fill('\0'); }

// The instrument clock as a date and time: "20yy-mm-dd hh:mm:ss" must be a valid one.
std::optional<DateTime> ClockTime(const std::array<std::uint16_t, 6>& clock) {
  if (clock[LiveBlock::kYear] > 99) return std::nullopt;
  return EncodeDateTime(2000 + clock[LiveBlock::kYear], clock[LiveBlock::kMonth],
                        clock[LiveBlock::kDay], clock[LiveBlock::kHour], clock[LiveBlock::kMinute],
                        clock[LiveBlock::kSecond]);
}

// The alarm flags of channel `index` for the value `value`: the first rule that matches, none when
// the value equals a limit.
void SetAlarmFlags(int index, float value, const ChannelConfig& config) {
  alarmHH[index] = alarmH[index] = alarmL[index] = alarmLL[index] = 0;
  if (value > config.limitHH) {
    alarmHH[index] = alarmH[index] = 1;
  } else if (value > config.limitH) {
    alarmH[index] = 1;
  } else if (value < config.limitLL) {
    alarmLL[index] = alarmL[index] = 1;
  } else if (value < config.limitL) {
    alarmL[index] = 1;
  }
}

}  // namespace

std::string_view ChannelUnitName(const ChannelConfig& config) {
  return UnitName(config.unitCode & 0xFF);
}

double Scale(std::int16_t raw, std::uint16_t code) {
  const int times = code <= 4 ? 4 - code : 0;
  double value = raw;
  for (int i = 0; i < times; ++i) value *= 0.1;
  return value;
}

ModbusRtuImpl::ModbusRtuImpl() : ModbusRtuImpl(SystemSerialLibrary()) {}

ModbusRtuImpl::ModbusRtuImpl(SerialLibrary& library, SleepFunction sleep)
    : link(library), protocol(std::move(sleep)) {}

ModbusRtuImpl::~ModbusRtuImpl() = default;

bool ModbusRtuImpl::ReadRegisters(std::int16_t kind, int start, int count,
                                  std::int16_t* destination) {
  const ReadRequest request{.kind = kind,
                            .slave = InstrumentAddress(),
                            .start = start,
                            .count = count,
                            .destination = destination};
  return protocol.Transact(link, request, lastErrorText);
}

DownloadRequest ModbusRtuImpl::NewDownloadRequest() const {
  return DownloadRequest{.slave = InstrumentAddress()};
}

bool ModbusRtuImpl::OpenLink() {
  return link.Open(commSettings.port, commSettings.baudRate,
                   static_cast<std::uint8_t>(commSettings.stopBits),
                   static_cast<std::uint8_t>(commSettings.dataBits),
                   static_cast<std::uint8_t>(commSettings.parity), lastErrorText);
}

bool ModbusRtuImpl::CloseLink() { return link.Close(); }

void ModbusRtuImpl::AbortExchange() { link.Abort(); }

bool ModbusRtuImpl::Probe() { return ReadDeviceInfo() && ReadAllChannelConfigs(); }

bool ModbusRtuImpl::ReadDeviceInfo() {
  ClearLastErrorText();
  std::array<std::int16_t, kDeviceInfoCount> info{};
  return ReadRegisters(kKindHoldingRegisters, kDeviceInfoAddress, kDeviceInfoCount, info.data());
}

bool ModbusRtuImpl::ReadChannelConfig(int index) {
  if (index < 0 || index >= kInstrumentChannels) return false;
  ClearLastErrorText();
  std::array<std::int16_t, kChannelBlockReadCount> block{};
  if (!ReadRegisters(kKindHoldingRegisters, ChannelBlockAddress(index), kChannelBlockReadCount,
                     block.data())) {
    return false;
  }
  ChannelConfig& config = channelConfig[index];
  config.scaleCode = block[ChannelBlock::kScaleCode];
  config.unitCode = block[ChannelBlock::kUnitCode];
  const auto code = static_cast<std::uint16_t>(config.scaleCode);
  config.limitHH = static_cast<float>(Scale(block[ChannelBlock::kLimitHH], code));
  config.limitH = static_cast<float>(Scale(block[ChannelBlock::kLimitH], code));
  config.limitL = static_cast<float>(Scale(block[ChannelBlock::kLimitL], code));
  config.limitLL = static_cast<float>(Scale(block[ChannelBlock::kLimitLL], code));

  ClearLastErrorText();
  std::int16_t tail = 0;
  return ReadRegisters(kKindHoldingRegisters, ChannelTailAddress(index), 1, &tail);
}

bool ModbusRtuImpl::ReadAllChannelConfigs() {
  for (int index = 0; index < kInstrumentChannels; ++index) {
    if (!channelEnabled[index]) continue;
    if (!ReadChannelConfig(index) && !ReadChannelConfig(index)) return false;
  }
  return true;
}

bool ModbusRtuImpl::PollLive() {
  ClearLastErrorText();
  std::array<std::int16_t, kLiveBlockCount> live{};
  if (!ReadRegisters(kKindInputRegisters, kLiveBlockAddress, kLiveBlockCount, live.data())) {
    return false;
  }
  for (std::size_t i = 0; i < instrumentClock.size(); ++i) {
    instrumentClock[i] = static_cast<std::uint16_t>(live[i]);
  }
  const std::optional<DateTime> time = ClockTime(instrumentClock);
  if (!time) return false;
  instrumentTime = *time;
  for (int index = 0; index < kInstrumentChannels; ++index) {
    const ChannelConfig& config = channelConfig[index];
    const auto value = static_cast<float>(
        Scale(live[LiveBlock::kFirstValue + index], static_cast<std::uint16_t>(config.scaleCode)));
    liveValues[index] = value;
    SetAlarmFlags(index, value, config);
  }
  return true;
}

bool ModbusRtuImpl::StartDownload(int picture) {
  DownloadRequest request = NewDownloadRequest();
  request.picture = static_cast<std::int16_t>(picture);
  return protocol.SendStartFrame(link, request, lastErrorText);
}

bool ModbusRtuImpl::SendDownloadBlock(const std::uint8_t* data, std::int32_t length,
                                      std::int32_t sequence) {
  DownloadRequest request = NewDownloadRequest();
  request.data = data;
  request.length = length;
  request.sequence = sequence;
  return protocol.SendBlockFrame(link, request, lastErrorText);
}

bool ModbusRtuImpl::FinishDownload() {
  return protocol.SendEndFrame(link, NewDownloadRequest(), lastErrorText);
}

bool OpenLink() { return theInstrument.OpenLink(); }
bool CloseLink() { return theInstrument.CloseLink(); }
std::string OpenLinkFailureDetail() { return theInstrument.OpenFailureDetail(); }
bool Probe() { return theInstrument.Probe(); }
bool ReadDeviceInfo() { return theInstrument.ReadDeviceInfo(); }
bool ReadChannelConfig(int index) { return theInstrument.ReadChannelConfig(index); }
bool ReadAllChannelConfigs() { return theInstrument.ReadAllChannelConfigs(); }
bool PollLive() { return theInstrument.PollLive(); }
bool StartDownload(int picture) { return theInstrument.StartDownload(picture); }
bool SendDownloadBlock(const std::uint8_t* data, std::int32_t length, std::int32_t sequence) {
  return theInstrument.SendDownloadBlock(data, length, sequence);
}
bool FinishDownload() { return theInstrument.FinishDownload(); }

}  // namespace vantiro
