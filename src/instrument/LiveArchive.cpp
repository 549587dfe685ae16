#include "instrument/LiveArchive.h"

namespace vantiro {

std::string LiveRecorderFor(const CommSettings& settings, const std::string& named) {
  if (!named.empty()) return named;
  return RecorderLinkName(settings.port, settings.address);
}

std::vector<ChannelHeader> LiveChannelHeaders(const std::array<bool, 16>& enabled,
                                              const std::array<ChannelConfig, kInstrumentChannels>& configs) {
  std::vector<ChannelHeader> headers;
  for (int index = 0; index < kInstrumentChannels; ++index) {
    if (!enabled[static_cast<std::size_t>(index)]) continue;
    const ChannelConfig& config = configs[static_cast<std::size_t>(index)];
    ChannelHeader header;
    header.number = index + 1;
    header.unit = std::string(ChannelUnitName(config));
    header.decimals = config.scaleCode >= 0 && config.scaleCode <= 4 ? 4 - config.scaleCode : 0;
    headers.push_back(std::move(header));
  }
  return headers;
}

std::vector<float> LiveChannelValues(const std::array<bool, 16>& enabled,
                                     const std::array<float, kInstrumentChannels>& values) {
  std::vector<float> out;
  for (int index = 0; index < kInstrumentChannels; ++index) {
    if (enabled[static_cast<std::size_t>(index)]) out.push_back(values[static_cast<std::size_t>(index)]);
  }
  return out;
}

std::unique_ptr<LiveArchiveWriter> StartLiveArchive(const std::string& location, const CommSettings& settings,
                                                    const std::string& recorder,
                                                    const std::array<bool, 16>& enabled,
                                                    const std::array<ChannelConfig, kInstrumentChannels>& configs) {
  const std::string link = RecorderLinkName(settings.port, settings.address);
  return std::make_unique<LiveArchiveWriter>(location.empty() ? DefaultArchiveLocation() : location,
                                             LiveRecorderFor(settings, recorder), link,
                                             LiveChannelHeaders(enabled, configs));
}

}  // namespace vantiro
