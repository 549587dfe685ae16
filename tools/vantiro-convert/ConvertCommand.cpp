#include "vantiro-convert/ConvertCommand.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>
#include <ostream>

#include "archive/Archive.h"
#include "output/CsvExport.h"
#include "platform/AtomicFile.h"
#include "recorder/CsvImport.h"
#include "recorder/GbkText.h"
#include "recorder/RecorderFile.h"
#include "vantiro-convert/ViewOptions.h"
#include "workbench/TableRows.h"

namespace vantiro {
namespace {

// "%.6g" of the value; std::to_chars writes the same text several times faster.
void AppendG6(std::string& text, double v) {
  char buffer[64];
  const std::to_chars_result r = std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::general, 6);
  text.append(buffer, r.ptr);
}

std::string G6(double v) {
  std::string text;
  AppendG6(text, v);
  return text;
}

std::string Stamp(DateTime t) { return FormatDateTime(t, DatePattern::Millisecond); }

struct Arguments {
  std::string command;
  RecordingSource source;
  std::string output;
  std::string log;
  bool utf8 = false;
  ViewOptions view;  // csv only
};

// Nothing for a usage error, with `message` set when there is more to say than the usage line.
std::optional<Arguments> Parse(const std::vector<std::string>& args, std::string& message) {
  if (args.empty()) return std::nullopt;
  Arguments a;
  a.command = args[0];
  if (a.command != "dump" && a.command != "csv") return std::nullopt;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    OptionRead read = ReadSourceOption(args, i, a.source, message);
    if (read == OptionRead::Bad) return std::nullopt;
    if (read == OptionRead::Read) continue;
    // dump takes a period of the archive (the filter's three options), csv the filter and pages.
    read = ReadViewOption(args, i, a.command == "csv" ? ViewOptionSet::FilterAndPage : ViewOptionSet::Filter,
                          a.view, message);
    if (read == OptionRead::Bad) return std::nullopt;
    if (read == OptionRead::Read) continue;
    if (arg == "--log" || (arg == "-o" && a.command == "csv")) {
      if (i + 1 >= args.size()) return std::nullopt;
      std::string& target = arg == "--log" ? a.log : a.output;
      if (!target.empty()) return std::nullopt;
      target = args[++i];
      if (target.empty()) return std::nullopt;
    } else if (arg == "--utf8" && a.command == "csv") {
      a.utf8 = true;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      return std::nullopt;
    } else if (a.source.file.empty()) {
      a.source.file = arg;
    } else {
      return std::nullopt;
    }
  }
  if (!a.source.Complete()) return std::nullopt;
  if (a.command == "dump" && a.view.Filtered() && !a.source.FromArchive()) {
    message = "dump takes --from, --to and --channels only with --recorder";
    return std::nullopt;
  }
  if (a.source.FromArchive() && !a.log.empty()) {
    message = "--log is for recorder files";
    return std::nullopt;
  }
  return a;
}

}  // namespace

bool IsCsvPath(const std::string& path) {
  if (path.size() < 4) return false;
  std::string ext = path.substr(path.size() - 4);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".csv";
}

int UsageError(std::ostream& err, const std::string& message) {
  if (!message.empty()) err << "error: " << message << '\n';
  err << kConvertUsage << '\n';
  return 2;
}

int OutputFailed(std::ostream& err) {
  err << "error: cannot write the output\n";
  return 1;
}

bool WriteOutputFile(const std::string& path, std::string_view bytes, std::ostream& err) {
  if (WriteFileAtomically(path, bytes, SpecialTarget::WriteInto)) return true;
  err << "error: cannot write " << path << '\n';
  return false;
}

void WriteDump(std::ostream& out, const std::optional<UserMessage>& error,
               const DatasetSummary& summary, const std::vector<ChannelInfo>& channels) {
  out << "error: " << (error ? error->text : std::string("none")) << '\n';
  out << "summary rangeMin=" << G6(summary.rangeMin) << " rangeMax=" << G6(summary.rangeMax)
      << " start=" << Stamp(summary.startTime) << " end=" << Stamp(summary.endTime)
      << " samples=" << summary.sampleCount << '\n';
  std::string text;
  for (const ChannelInfo& channel : channels) {
    const std::size_t n = std::min(channel.times.size(), channel.values.size());
    text = "channel " + std::to_string(channel.number) + " unit=" + channel.unit +
           " count=" + std::to_string(n) + '\n';
    for (std::size_t i = 0; i < n; ++i) {
      text += Stamp(channel.times[i]);
      text += ' ';
      // Only an exact -158.0 prints as GAP; a near value is printed as the number it is.
      if (channel.values[i] == GapValue) {
        text += "GAP";
      } else {
        AppendG6(text, channel.values[i]);
      }
      text += '\n';
      if (text.size() > 1 << 16) {
        out << text;
        text.clear();
        if (!out) return;  // the caller reports it
      }
    }
    out << text;
    if (!out) return;
  }
}

OptionRead ReadSourceOption(const std::vector<std::string>& args, std::size_t& i, RecordingSource& source,
                            std::string& error) {
  const std::string& name = args[i];
  if (name != "--archive" && name != "--recorder") return OptionRead::NotOurs;
  std::string& target = name == "--archive" ? source.archive : source.recorder;
  if (i + 1 >= args.size() || args[i + 1].empty()) {
    error = name + " needs a value";
    return OptionRead::Bad;
  }
  if (!target.empty()) {
    error = name + " is given twice";
    return OptionRead::Bad;
  }
  target = args[++i];
  return OptionRead::Read;
}

std::optional<UserMessage> LoadSource(const RecordingSource& source, const ViewOptions& view,
                                      const RecorderLogOptions& log, DatasetSummary& summary,
                                      std::vector<ChannelInfo>& channels) {
  if (!source.FromArchive()) return LoadRecording(source.file, log, summary, channels);
  auto failed = [](const std::string& text) { return UserMessage{text, MessageIcon::Error}; };
  std::string error;
  const std::unique_ptr<Archive> archive = Archive::Open(source.archive, false, error);
  if (!archive) return failed(error);
  const std::optional<RecorderInfo> recorder = archive->FindRecorder(source.recorder, error);
  if (!recorder) return failed(error);
  std::vector<int> wanted;
  if (view.channels) {
    for (int n = 1; n <= 16; ++n) {
      if ((*view.channels)[static_cast<std::size_t>(n - 1)]) wanted.push_back(n);
    }
  }
  const bool whole = !view.from && !view.to;
  const std::int64_t from = view.from ? ToArchiveMs(*view.from) : INT64_MIN / 4;
  const std::int64_t to = view.to ? ToArchiveMs(*view.to) : INT64_MAX / 4;
  if (!archive->ReadPeriod(recorder->id, from, to, wanted, whole, summary, channels, error)) {
    return failed(error);
  }
  if (!whole) {
    // A side left open is the recorder's own first or last time.
    if (!view.from || !view.to) {
      std::optional<std::vector<ArchiveSpan>> coverage = archive->Coverage(recorder->id, error);
      if (coverage && !coverage->empty()) {
        if (!view.from) summary.startTime = FromArchiveMs(std::max(coverage->front().firstMs, INT64_MIN / 4));
        if (!view.to) summary.endTime = FromArchiveMs(coverage->back().lastMs);
      }
    }
  }
  return std::nullopt;
}

std::optional<UserMessage> LoadRecording(const std::string& path, const RecorderLogOptions& log,
                                         DatasetSummary& summary, std::vector<ChannelInfo>& channels) {
  return IsCsvPath(path) ? ImportCsvFile(path, summary, channels)
                         : ReadRecorderFile(path, summary, channels, log);
}

std::optional<UserMessage> LoadQuietly(const RecordingSource& source, const ViewOptions& view,
                                       DatasetSummary& summary, std::vector<ChannelInfo>& channels,
                                       std::ostream& err) {
  RecorderLogOptions noLog;
  noLog.mode = RecorderLogOptions::Mode::Off;
  std::optional<UserMessage> error = LoadSource(source, view, noLog, summary, channels);
  if (error) err << "error: " << error->text << '\n';
  return error;
}

int RunConvert(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // Asked for, the usage line is the answer: on standard output, status 0 (1 when it could not be
  // written).
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << kConvertUsage << '\n' << std::flush;
    return out ? 0 : 1;
  }
  if (!args.empty() && args[0] == "at") return RunAt(args, out, err);
  if (!args.empty() && args[0] == "stats") return RunStats(args, out, err);
  std::string message;
  const std::optional<Arguments> a = Parse(args, message);
  if (!a) return UsageError(err, message);
  RecorderLogOptions log;
  if (a->log.empty()) {
    log.mode = RecorderLogOptions::Mode::Off;
  } else {
    log.mode = RecorderLogOptions::Mode::File;
    log.path = a->log;
  }
  RecorderLogStatus logStatus = RecorderLogStatus::None;
  log.status = &logStatus;
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
  const std::optional<UserMessage> error = LoadSource(a->source, a->view, log, summary, channels);
  // A log that could not be written is reported; everything else is written all the same.
  const bool logFailed = logStatus == RecorderLogStatus::Failed;
  if (logFailed) err << "error: cannot write " << a->log << '\n';

  if (a->command == "dump") {
    WriteDump(out, error, summary, channels);
    out.flush();
    if (!out) return OutputFailed(err);
    return error || logFailed ? 1 : 0;
  }

  if (error) err << "error: " << error->text << '\n';
  if (const std::string bad = CheckWindow(a->view, summary, channels); !bad.empty()) {
    return UsageError(err, bad);
  }
  // The table of the load (every channel in its own column) or of the filter run; all of it, or
  // the one page as the Save command writes the page on show. The rows are formatted and written
  // a chunk at a time.
  const TableView view = BuildCommandTable(channels, summary, a->view);
  std::size_t firstRow = 0;
  std::size_t rowCount = view.rows.size();
  if (a->view.page) {
    if (const std::string bad = CheckPage(a->view, view.rows.size()); !bad.empty()) {
      return UsageError(err, bad);
    }
    firstRow = static_cast<std::size_t>(FirstRowOfPage(a->view));
    rowCount = std::min<std::size_t>(a->view.RowsPerPage(), view.rows.size() - firstRow);
  }
  const CsvRows table{channels, view.rows, view.columnChannels, firstRow, rowCount};
  const CsvEncoding encoding = a->utf8 ? CsvEncoding::Utf8 : CsvEncoding::Gbk;
  if (a->output.empty()) {
    const bool written = WriteCsvRows(table, encoding, [&out](std::string_view text) {
      out.write(text.data(), static_cast<std::streamsize>(text.size()));
      return static_cast<bool>(out);
    });
    out.flush();
    if (!written || !out) return OutputFailed(err);
  } else {
    // A file is replaced only when all of it was written; a FIFO or a device named by -o takes
    // the rows as they come.
    AtomicFile file(a->output, SpecialTarget::WriteInto);
    const bool written =
        file.IsOpen() &&
        WriteCsvRows(table, encoding, [&file](std::string_view text) { return file.Write(text); }) &&
        file.Commit();
    if (!written) {
      err << "error: " << kSaveFailedText << ' ' << a->output << '\n';
      return 1;
    }
  }
  return error || logFailed ? 1 : 0;
}

std::map<int, SourceChannelRange> SourceChannelRanges(const RecordingSource& source) {
  std::map<int, SourceChannelRange> ranges;
  if (!source.FromArchive()) {
    // Read as the load reads it: a recorder file unless the name says CSV.
    if (!IsCsvPath(source.file)) {
      for (const RecorderChannelRange& range : ReadRecorderChannelRanges(source.file)) {
        ranges[range.number] = {range.lower, range.upper, range.decimals};
      }
    }
    return ranges;
  }
  std::string error;
  std::unique_ptr<Archive> archive = Archive::Open(source.archive, false, error);
  if (!archive) return ranges;
  const std::optional<RecorderInfo> recorder = archive->FindRecorder(source.recorder, error);
  if (!recorder) return ranges;
  for (const ChannelSummaryInfo& c : archive->Channels(recorder->id, error).value_or(std::vector<ChannelSummaryInfo>{})) {
    if (c.hasRange) ranges[c.number] = {c.rangeLow, c.rangeHigh, c.decimals};
  }
  return ranges;
}

}  // namespace vantiro
