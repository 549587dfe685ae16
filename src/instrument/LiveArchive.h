#pragma once
// What live monitoring keeps in the archive: the recorder's monitored channels, under a recorder
// named after the link unless the user names it.

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "archive/LiveRecording.h"
#include "instrument/CommSettings.h"
#include "instrument/ModbusRtuImpl.h"

namespace vantiro {

// The archive's recorder for the link: `named` when not empty, else "COM1 地址1".
std::string LiveRecorderFor(const CommSettings& settings, const std::string& named);

// The monitored channels (`enabled`, by channel number - 1) as the archive keeps them: number,
// unit and decimals from the recorder's channel configuration.
std::vector<ChannelHeader> LiveChannelHeaders(const std::array<bool, 16>& enabled,
                                              const std::array<ChannelConfig, kInstrumentChannels>& configs);
// A reading's values of the monitored channels, in the order LiveChannelHeaders gives them.
std::vector<float> LiveChannelValues(const std::array<bool, 16>& enabled,
                                     const std::array<float, kInstrumentChannels>& values);

// A writer recording the session of the recorder behind `settings` into the archive at `location`
// (the user's archive when empty).
std::unique_ptr<LiveArchiveWriter> StartLiveArchive(const std::string& location, const CommSettings& settings,
                                                    const std::string& recorder,
                                                    const std::array<bool, 16>& enabled,
                                                    const std::array<ChannelConfig, kInstrumentChannels>& configs);

}  // namespace vantiro
