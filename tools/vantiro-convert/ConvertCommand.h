#pragma once
// vantiro-convert: recordings to text without the GUI.
//
//   vantiro-convert dump FILE [--log LOGFILE]
//   vantiro-convert csv FILE [-o OUT] [--utf8] [--log LOGFILE] [--page N] [--rows-per-page M]
//                       [FILTER]
//   vantiro-convert at FILE T [FILTER]
//   vantiro-convert stats FILE [--from T] [--to T] [--channels LIST]
//   vantiro-convert png FILE -o OUT.png [--size WxH] [--at T] [--envelope] [FILTER]
//   vantiro-convert pdf FILE -o OUT.pdf [--chart] [--page N] [--rows-per-page M] [--at T] [FILTER]
//
//   FILTER: [--from T] [--to T] [--channels LIST], a data filter run (ViewOptions.h)
//
// In place of FILE, `--recorder NAME [--archive A]` takes a period of a recorder in the archive
// (A a SQLite file or a postgresql:// URL, by default the user's archive): --from and --to say
// which (all of it without them), --channels which channels; dump takes those three too.
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
#include <map>
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
    "usage: vantiro-convert dump SOURCE [--log LOGFILE]"
    " | csv SOURCE [-o OUT] [--utf8] [--log LOGFILE] [--page N] [--rows-per-page M] [FILTER]"
    " | at SOURCE T [FILTER] | stats SOURCE [--from T] [--to T] [--channels LIST] | png SOURCE -o OUT.png [--size WxH] [--at T] [--envelope] [--scale single|range|unit] [FILTER]"
    " | pdf SOURCE -o OUT.pdf [--chart] [--scale single|range|unit] [--page N] [--rows-per-page M] [--at T] [FILTER];"
    " SOURCE: FILE | [--archive A] --recorder NAME; FILTER: [--from T] [--to T] [--channels LIST]";

// A usage error: "error: <message>" when there is one, then the usage line; status 2.
int UsageError(std::ostream& err, const std::string& message = {});

int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

struct ViewOptions;
enum class OptionRead;
enum class ViewOptionSet;

// Where a command's recording comes from: a FILE, or a period of a recorder in the archive
// (--recorder NAME, with --archive A or else the user's archive). Exactly one of the two.
struct RecordingSource {
  std::string file;
  std::string archive;
  std::string recorder;
  bool FromArchive() const { return !archive.empty() || !recorder.empty(); }
  // A file or a recorder, not both and not neither; an archive only with its recorder.
  bool Complete() const { return FromArchive() ? !recorder.empty() && file.empty() : !file.empty(); }
};

// Reads --archive A or --recorder NAME at args[i].
OptionRead ReadSourceOption(const std::vector<std::string>& args, std::size_t& i, RecordingSource& source,
                            std::string& error);

// Reads the option at args[i] as a source option (ReadSourceOption) or one of `set`'s view options
// (ReadViewOption); NotOurs when it is neither.
OptionRead ReadSourceOrViewOption(const std::vector<std::string>& args, std::size_t& i, ViewOptionSet set,
                                  RecordingSource& source, ViewOptions& options, std::string& error);

// The recording of `source`: the file read as the program reads it, or the recorder's period in
// the archive: --from to --to of `view` (the whole recorder without them, with its recordings'
// own times) and its --channels. The failure to report, if any.
std::optional<UserMessage> LoadSource(const RecordingSource& source, const ViewOptions& view,
                                      const RecorderLogOptions& log, DatasetSummary& summary,
                                      std::vector<ChannelInfo>& channels);

// A .csv file (any case of the extension) is a CSV import; anything else a recorder file.
bool IsCsvPath(const std::string& path);

// What the source says of each channel's range and decimals, by channel number: a recorder file's
// header, or what the archive keeps of the recorder's latest source. A CSV file says nothing (its
// values then tell).
struct SourceChannelRange {
  double lower = 0.0;
  double upper = 0.0;
  int decimals = 0;
};
std::map<int, SourceChannelRange> SourceChannelRanges(const RecordingSource& source);

// Reads FILE as the program would: the CSV import for a .csv name (any case), the recorder file
// reader otherwise.
std::optional<UserMessage> LoadRecording(const std::string& path, const RecorderLogOptions& log,
                                         DatasetSummary& summary, std::vector<ChannelInfo>& channels);

// LoadSource without the diagnostic log, a failure reported on `err` ("error: <message>").
std::optional<UserMessage> LoadQuietly(const RecordingSource& source, const ViewOptions& view,
                                       DatasetSummary& summary, std::vector<ChannelInfo>& channels,
                                       std::ostream& err);

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
// stats: what each channel did between --from and --to, as a tab-separated table.
int RunStats(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
void WriteLegendAt(std::ostream& out, const ChartFill& fill, const std::vector<ChannelInfo>& channels, DateTime t);

// The canonical listing of a dataset (UTF-8); stops at the first write `out` refuses.
void WriteDump(std::ostream& out, const std::optional<UserMessage>& error,
               const DatasetSummary& summary, const std::vector<ChannelInfo>& channels);

}  // namespace vantiro
