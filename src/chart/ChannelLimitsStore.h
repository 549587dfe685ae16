#pragma once
// Limits the user typed for the channels of a recording, kept per recording: a recorder or CSV
// file by its absolute path, a recorder of an archive by the archive and the recorder's name. They
// live in the registry file, section [Vantiro\Limits], one value per recording:
//   L<hash of the recording's key>=1:80:20;3::-5      (channel:upper:lower, either may be empty)

#include <map>
#include <string>
#include <string_view>

#include "chart/SpanStatistics.h"

namespace vantiro {

using LimitsByChannel = std::map<int, ChannelLimits>;

inline constexpr std::string_view kLimitsKey = "Vantiro\\Limits";

std::string LimitsText(const LimitsByChannel& limits);
// The text read back; entries that do not read (a bad number, a channel outside 1..9999, a value
// that is no finite number) are left out.
LimitsByChannel ParseLimitsText(std::string_view text);

std::string FileLimitsKey(const std::string& path);
// `archive` as the archive is opened (the user's own archive by its location, not empty).
std::string ArchiveLimitsKey(const std::string& archive, const std::string& recorder);

LimitsByChannel LoadLimits(const std::string& key);
bool SaveLimits(const std::string& key, const LimitsByChannel& limits);

}  // namespace vantiro
