#pragma once
// The samples of a window of the chart as a CSV file: the table the data filter builds for that
// window and those channels, every row of it, written as the table export writes a page.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "platform/ProgressSink.h"
#include "platform/UserMessage.h"
#include "recorder/Dataset.h"

namespace vantiro {

// `selected`: entry n - 1 for channel number n. Nothing to write (no sample in the window) is
// reported as "没有需要保存的内容" with the information icon; a file that could not be written with
// the export's failure message.
std::optional<UserMessage> ExportWindowCsv(const std::string& path, const std::vector<ChannelInfo>& channels,
                                           const std::array<bool, 16>& selected, DateTime from, DateTime to,
                                           ProgressSink* progress = nullptr);

}  // namespace vantiro
