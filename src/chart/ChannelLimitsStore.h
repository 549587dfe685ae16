#pragma once
// Limits the user typed for the channels of a recording, kept per recording: a recorder or CSV
// file by its absolute path, a recorder of an archive by the archive and the recorder's name. They
// live in the registry file, section [Vantiro\Limits], one value per recording:
//   L<hash of the recording's key>=1:80:20;3::-5;4:90::0.5:10
// An entry is channel:upper:lower (either limit may be empty), followed, when the user typed any,
// by :deadband:minimum seconds (the deadband empty for the channel's default). Entries written
// before the deadband existed read with the default deadband and no minimum.

#include <map>
#include <string>
#include <string_view>

#include "chart/AlarmEvents.h"

namespace vantiro {

// The limits alone (what the span statistics count with) and the limits with their event rules.
using LimitsByChannel = std::map<int, ChannelLimits>;
using AlarmLimitsByChannel = std::map<int, AlarmLimits>;

inline constexpr std::string_view kLimitsKey = "Vantiro\\Limits";

std::string LimitsText(const AlarmLimitsByChannel& limits);
std::string LimitsText(const LimitsByChannel& limits);  // entries without rules
// The text read back; entries that do not read (a bad number, a channel outside 1..9999, a value
// that is no finite number, a negative deadband or minimum, a field too many or too few) are left
// out.
AlarmLimitsByChannel ParseAlarmLimitsText(std::string_view text);
LimitsByChannel ParseLimitsText(std::string_view text);  // the same entries, their limits only

std::string FileLimitsKey(const std::string& path);
// `archive` as the archive is opened (the user's own archive by its location, not empty).
std::string ArchiveLimitsKey(const std::string& archive, const std::string& recorder);

AlarmLimitsByChannel LoadAlarmLimits(const std::string& key);
LimitsByChannel LoadLimits(const std::string& key);  // the limits only
// The recording's limits replaced by `limits` (SaveLimits: with each channel's default rules).
bool SaveAlarmLimits(const std::string& key, const AlarmLimitsByChannel& limits);
bool SaveLimits(const std::string& key, const LimitsByChannel& limits);

}  // namespace vantiro
