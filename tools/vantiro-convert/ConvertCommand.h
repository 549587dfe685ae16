#pragma once
// vantiro-convert: recordings to text without the GUI.
//
//   vantiro-convert dump FILE [--log LOGFILE]
//   vantiro-convert csv FILE [-o OUT] [--utf8] [--log LOGFILE] [--page N] [--rows-per-page M]
//                       [FILTER]
//   vantiro-convert at FILE T [FILTER]
//   vantiro-convert png FILE -o OUT.png [--size WxH] [--at T] [FILTER]
//   vantiro-convert pdf FILE -o OUT.pdf [--chart] [--page N] [--rows-per-page M] [--at T] [FILTER]
//
//   FILTER: [--from T] [--to T] [--channels LIST], a data filter run (ViewOptions.h)
//
// A FILE ending in .csv (any case) is read by the CSV import; the log applies to recorder files.
// `at` prints the chart legend after the load (or the filter run) with the vertical cursor at T
// (yyyy-mm-dd HH:MM:SS[.fff]); `png` draws the chart page as the program does (PngCommand.h).
// `csv --page N` writes table page N as the Save command writes the page on show.
//
// Exit status: 0 when the file was read without a report, 1 when the reader reported a failure
// (what was read is still written), the output could not be written or the log (--log) could not
// be written ("error: cannot write LOGFILE"; the rest is written all the same), 2 for a usage error.

#include <iosfwd>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "chart/ChartLines.h"
#include "recorder/Dataset.h"
#include "recorder/RecorderFile.h"
#include "platform/UserMessage.h"

namespace vantiro {

inline constexpr const char* kConvertUsage =
    "usage: vantiro-convert dump FILE [--log LOGFILE]"
    " | csv FILE [-o OUT] [--utf8] [--log LOGFILE] [--page N] [--rows-per-page M] [FILTER]"
    " | at FILE T [FILTER] | png FILE -o OUT.png [--size WxH] [--at T] [FILTER]"
    " | pdf FILE -o OUT.pdf [--chart] [--page N] [--rows-per-page M] [--at T] [FILTER];"
    " FILTER: [--from T] [--to T] [--channels LIST]";

// A usage error: "error: <message>" when there is one, then the usage line; status 2.
int UsageError(std::ostream& err, const std::string& message = {});

int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Reads FILE as the program would: the CSV import for a .csv name (any case), the recorder file
// reader otherwise.
std::optional<UserMessage> LoadRecording(const std::string& path, const RecorderLogOptions& log,
                                         DatasetSummary& summary, std::vector<ChannelInfo>& channels);

// LoadRecording without the diagnostic log, a failure reported on `err` ("error: <message>").
std::optional<UserMessage> LoadQuietly(const std::string& path, DatasetSummary& summary,
                                       std::vector<ChannelInfo>& channels, std::ostream& err);

// The cursor time of `at` and `--at`: yyyy-mm-dd HH:MM:SS[.fff].
std::optional<DateTime> ParseCursorTime(const std::string& text);

// Reports that standard output could not take the text (a full disk, a closed pipe); status 1.
int OutputFailed(std::ostream& err);

// Writes `bytes` as the whole of the -o file `path`: a file is replaced only when all of it was
// written; an existing FIFO or device takes the bytes as they come and is never replaced. False
// (after "error: cannot write PATH" on `err`) when any of it failed.
bool WriteOutputFile(const std::string& path, std::string_view bytes, std::ostream& err);

// `at FILE T`: the legend title line, then one line per line of `fill` as the legend shows it.
int RunAt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
void WriteLegendAt(std::ostream& out, const ChartFill& fill, DateTime t);

// The canonical listing of a dataset (UTF-8); stops at the first write `out` refuses.
void WriteDump(std::ostream& out, const std::optional<UserMessage>& error,
               const DatasetSummary& summary, const std::vector<ChannelInfo>& channels);

}  // namespace vantiro
