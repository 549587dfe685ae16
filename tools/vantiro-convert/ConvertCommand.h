#pragma once
// vantiro-convert: recordings to text without the GUI.
//
//   vantiro-convert dump FILE [--log LOGFILE]
//   vantiro-convert csv FILE [-o OUT] [--utf8] [--log LOGFILE]
//
// A FILE ending in .csv (any case) is read by the CSV import; the log applies to recorder files.
//
// Exit status: 0 when the file was read without a report, 1 when the reader reported a failure
// (what was read is still written) or the output could not be written, 2 for a usage error.

#include <iosfwd>
#include <string>
#include <vector>

#include "recorder/Dataset.h"
#include "recorder/UserMessage.h"

namespace vantiro {

inline constexpr const char* kConvertUsage =
    "usage: vantiro-convert dump FILE [--log LOGFILE] | csv FILE [-o OUT] [--utf8] [--log LOGFILE]";

int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The canonical listing of a dataset (UTF-8).
void WriteDump(std::ostream& out, const std::optional<UserMessage>& error,
               const DatasetSummary& summary, const std::vector<ChannelInfo>& channels);

// The wide table of every row, numbered from 1 (UTF-8).
std::string CsvTable(const std::vector<ChannelInfo>& channels);

}  // namespace vantiro
