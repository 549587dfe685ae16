#include "vantiro-monitor/MonitorCommand.h"

#include <charconv>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <functional>
#include <mutex>
#include <optional>
#include <ostream>

#include "instrument/CommSettings.h"
#include "instrument/LiveArchive.h"
#include "instrument/LiveStations.h"
#include "instrument/PictureDownload.h"
#include "instrument/TrafficLog.h"
#include "recorder/DateTime.h"

namespace vantiro {
namespace {

constexpr const char* kOpenFailedText = "串口初始化失败!";
constexpr const char* kNoAnswerText = "下位机无响应，下位机地址:%d";
constexpr const char* kArchiveFailedText = "档案记录失败: %s";
constexpr int kDefaultIntervalMs = 1000;

struct MonitorOptions {
  std::string config;  // empty: config.ini beside the executable
  std::optional<long long> count;
  long long intervalMs = kDefaultIntervalMs;
  bool probeOnly = false;
  bool help = false;
  std::optional<std::string> download;  // the picture file to download instead of monitoring
  std::optional<int> slot;              // its picture slot, 1..6
  bool trace = false;                   // every request and reply on standard error
  std::optional<std::string> archive;   // where the readings are kept (config.ini decides whether)
  std::optional<std::string> recorder;  // the archive's recorder they go under
  bool noArchive = false;
};

std::optional<long long> ParseCount(const std::string& text, long long min) {
  long long value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < min) return std::nullopt;
  return value;
}

std::optional<MonitorOptions> ParseOptions(const std::vector<std::string>& args) {
  MonitorOptions options;
  bool monitoring = false;  // an option of monitoring given
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--config" && hasValue && !args[i + 1].empty()) {
      options.config = args[++i];
    } else if (arg == "--count" && hasValue) {
      monitoring = true;
      options.count = ParseCount(args[++i], 1);
      if (!options.count) return std::nullopt;
    } else if (arg == "--interval" && hasValue) {
      monitoring = true;
      const auto interval = ParseCount(args[++i], 0);
      if (!interval || *interval > 24LL * 3600 * 1000) return std::nullopt;
      options.intervalMs = *interval;
    } else if (arg == "--probe-only") {
      options.probeOnly = true;
      monitoring = true;
    } else if (arg == "--trace" && !options.trace) {
      options.trace = true;
      monitoring = true;
    } else if (arg == "--archive" && hasValue && !args[i + 1].empty() && !options.archive) {
      options.archive = args[++i];
      monitoring = true;
    } else if (arg == "--recorder" && hasValue && !args[i + 1].empty() && !options.recorder) {
      options.recorder = args[++i];
      monitoring = true;
    } else if (arg == "--no-archive" && !options.noArchive) {
      options.noArchive = true;
      monitoring = true;
    } else if (arg == "--download" && hasValue && !args[i + 1].empty()) {
      options.download = args[++i];
    } else if (arg == "--slot" && hasValue) {
      const auto slot = ParseCount(args[++i], 1);
      if (!slot || *slot > kPictureSlots) return std::nullopt;
      options.slot = static_cast<int>(*slot);
    } else if (arg == "--help" || arg == "-h") {
      options.help = true;
    } else {
      return std::nullopt;
    }
  }
  // A download neither probes nor polls; a slot belongs to a download.
  if ((options.download && monitoring) || (options.slot && !options.download)) return std::nullopt;
  if (options.noArchive && (options.archive || options.recorder)) return std::nullopt;
  return options;
}

std::string Printf(const char* format, auto... values) {
  char text[256];
  std::snprintf(text, sizeof text, format, values...);
  return text;
}

// Sleeps until `deadline` of the monotonic clock or until a stop is requested.
void SleepUntil(std::chrono::steady_clock::time_point deadline, const std::stop_token& stop) {
  std::mutex mutex;
  std::condition_variable_any wake;
  std::unique_lock lock(mutex);
  wake.wait_until(lock, stop, deadline, [] { return false; });
}

// The picture download: progress on `err`, the outcome text as the last line of `out`.
int RunDownload(const MonitorOptions& options, ModbusRtuImpl& instrument, std::ostream& out,
                std::ostream& err, const std::stop_token& stop) {
  DownloadOverInstrument port(instrument);
  const DownloadOutcome outcome = DownloadPicture(
      port, *options.download, options.slot.value_or(1) - 1,
      [&](int position, int maximum) {
        if (maximum > 0) err << "download " << position << "/" << maximum << "\n" << std::flush;
      },
      stop);
  if (outcome.text == kDownloadOpenFailedText) {
    const std::string detail = instrument.OpenFailureDetail();
    if (!detail.empty()) err << detail << "\n";
  }
  out << outcome.text << "\n";
  out.flush();
  if (outcome.stopped) return kMonitorStopped;
  return outcome.succeeded ? 0 : 1;
}

}  // namespace

std::string ChannelLine(int channel, const ChannelConfig& config) {
  return Printf("channel %d scale=%d unit=", channel, config.scaleCode) +
         std::string(ChannelUnitName(config)) +
         Printf(" HH=%0.3f H=%0.3f L=%0.3f LL=%0.3f", double(config.limitHH), double(config.limitH),
                double(config.limitL), double(config.limitLL));
}

std::string PollLine() { return PollLineOf(SnapshotReading(), channelEnabled); }

std::string PollLineOf(const LiveReading& reading, const std::array<bool, 16>& enabled) {
  std::string line = FormatDateTime(reading.time, DatePattern::Cursor);
  for (int index = 0; index < kInstrumentChannels; ++index) {
    if (!enabled[static_cast<std::size_t>(index)]) continue;
    const auto i = static_cast<std::size_t>(index);
    line += Printf(" %d=%0.3f", index + 1, double(reading.values[i]));
    if (reading.alarms[i][0]) line += "!HH";
    if (reading.alarms[i][1]) line += "!H";
    if (reading.alarms[i][2]) line += "!L";
    if (reading.alarms[i][3]) line += "!LL";
  }
  return line;
}

int RunMonitor(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
               std::stop_token stop) {
  const std::optional<MonitorOptions> options = ParseOptions(args);
  if (!options) {
    err << kMonitorUsage << "\n";
    return 2;
  }
  if (options->help) {
    // Asked for, the usage is the answer: status 0, or 1 when it could not be written.
    out << kMonitorUsage << "\n" << std::flush;
    return out ? 0 : 1;
  }

  // The settings and the port mapping come from the same file.
  const std::string iniPath = options->config.empty() ? ConfigIniPath() : options->config;
  LoadCommSettings(iniPath);
  TermiosSerialLibrary library(iniPath);
  ModbusRtuImpl instrument(library);
  if (options->download) return RunDownload(*options, instrument, out, err, stop);
  // --trace: each request and what came back, as the window's 通讯记录 shows them.
  struct TraceOff {
    ~TraceOff() { InstrumentTraffic().SetListener({}); }
  } traceOff;
  if (options->trace) {
    InstrumentTraffic().SetListener([&err](const TrafficEntry& entry) { err << TrafficText(entry) << std::flush; });
  }

  if (stop.stop_requested()) return kMonitorStopped;
  if (!instrument.OpenLink()) {
    err << kOpenFailedText << "\n";
    return 1;
  }
  linkOpen = true;
  // From here a stop request also ends the exchange that is waiting (the probe's, a poll's) on the
  // requesting thread; at once when it came during the open.
  std::optional<std::stop_callback<std::function<void()>>> abort;
  abort.emplace(stop, [&instrument] { instrument.AbortExchange(); });
  const auto close = [&] {
    abort.reset();  // no abort once the port is closed
    instrument.CloseLink();
    linkOpen = false;
  };
  if (!instrument.Probe()) {
    if (stop.stop_requested()) {
      close();
      return kMonitorStopped;
    }
    err << Printf(kNoAnswerText, commSettings.address) << "\n";
    close();
    return 1;
  }
  for (int index = 0; index < kInstrumentChannels; ++index) {
    if (!channelEnabled[static_cast<std::size_t>(index)]) continue;
    out << ChannelLine(index + 1, channelConfig[static_cast<std::size_t>(index)]) << "\n";
  }
  // The further recorders: their channels, each line led by the recorder's name in brackets, or
  // that it does not answer (it is asked again as the polls go on).
  std::vector<LiveStation> stations = MakeStations(furtherRecorders, commSettings);
  if (!stations.empty()) instrument.SetReadCalls(kStationReadCalls);  // a silent one holds the line briefly
  StationPoller poller(instrument);
  std::optional<std::stop_callback<std::function<void()>>> abortStations;
  abortStations.emplace(stop, [&poller] { poller.Abort(); });
  poller.ProbeAll(stations);
  for (const LiveStation& station : stations) {
    const std::string name = "[" + StationName(station) + "] ";
    if (!station.probed) {
      err << name << Printf(kNoAnswerText, station.settings.address) << "\n";
      continue;
    }
    for (int index = 0; index < kInstrumentChannels; ++index) {
      if (!station.entry.channels[static_cast<std::size_t>(index)]) continue;
      out << name << ChannelLine(index + 1, station.configs[static_cast<std::size_t>(index)]) << "\n";
    }
  }
  out.flush();

  // The readings kept in the archive, unless turned off here or in config.ini.
  std::unique_ptr<LiveArchiveWriter> archive;
  if (!options->probeOnly && !options->noArchive) {
    const CommSettingsFields fields = ReadCommSettingsFields(iniPath);
    if (fields.recordToArchive || options->archive) {
      archive = StartLiveArchive(options->archive.value_or(""), commSettings,
                                 options->recorder.value_or(fields.recorderName), channelEnabled, channelConfig);
    }
  }
  // Each further recorder in a recorder of its own, made at its first reading (its units known).
  std::vector<std::unique_ptr<LiveArchiveWriter>> stationArchives(stations.size());
  const bool recording = archive != nullptr;
  std::string archiveError;  // the last failure said
  const auto sayArchive = [&] {
    if (!archive) return;
    const std::string error = archive->LastError();
    if (!error.empty() && error != archiveError) err << Printf(kArchiveFailedText, error.c_str()) << "\n" << std::flush;
    archiveError = error;
  };

  bool stopped = false;
  if (!options->probeOnly) {
    // Ticks on a fixed grid from the first poll: a slow poll does not push the later ones back.
    using Clock = std::chrono::steady_clock;
    const std::chrono::milliseconds interval(options->intervalMs);
    const Clock::time_point first = Clock::now();
    long long tick = 0;
    for (long long polls = 0; !options->count || polls < *options->count; ++polls) {
      if (polls > 0) {
        ++tick;
        if (interval.count() > 0) {
          // Ticks already past are skipped rather than run back to back.
          const long long due = (Clock::now() - first) / interval;
          if (due > tick) tick = due;
        }
        SleepUntil(first + tick * interval, stop);
      }
      if (stop.stop_requested()) {
        stopped = true;
        break;
      }
      const bool polled = instrument.PollLive();
      if (!polled && stop.stop_requested()) {  // aborted: no failure of the recorder
        stopped = true;
        break;
      }
      out << (polled ? PollLine() : std::string("poll failed")) << "\n";
      out.flush();
      if (archive) {
        if (polled) {
          archive->Add(ToArchiveMs(instrumentTime), LiveChannelValues(channelEnabled, liveValues));
        } else {
          archive->Hole();
        }
        sayArchive();
      }
      if (!stations.empty() && !stop.stop_requested()) {
        for (const StationReading& reading : poller.Tick(stations)) {
          const LiveStation& station = stations[reading.station];
          const std::string name = "[" + StationName(station) + "] ";
          if (reading.ok) {
            out << name << PollLineOf(reading.reading, station.entry.channels) << "\n";
          } else {
            out << name << "poll failed\n";
          }
          std::unique_ptr<LiveArchiveWriter>& kept = stationArchives[reading.station];
          if (recording && reading.ok && !kept) {
            kept = StartLiveArchive(options->archive.value_or(""), reading.reading.settings, station.entry.name,
                                    station.entry.channels, reading.reading.configs);
          }
          if (kept && reading.ok) kept->Add(ToArchiveMs(reading.reading.time), LiveChannelValues(station.entry.channels, reading.reading.values));
          if (kept && !reading.ok) kept->Hole();
        }
        out.flush();
      }
    }
  }
  abortStations.reset();
  poller.CloseAll();
  close();
  for (auto& kept : stationArchives) {
    if (!kept) continue;
    kept->Finish();
    if (!kept->LastError().empty()) err << Printf(kArchiveFailedText, kept->LastError().c_str()) << "\n";
  }
  if (archive) {
    archive->Finish();
    sayArchive();
    // Readings asked to be kept that could not be: not a success.
    if (!archive->LastError().empty() && options->archive && !stopped) return 1;
  }
  return stopped ? kMonitorStopped : 0;
}

}  // namespace vantiro
