// vantiro-convert stats SOURCE [--from T] [--to T] [--channels LIST]: what each channel did
// between two moments, as the chart's span panel lists it, for scripts: UTF-8, tab-separated, a
// header row, one row per channel (SpanStatisticsTable). Without --from and --to, the whole
// recording. The value holding at --from comes from the sample before it, so the recording is read
// whole (a recorder of the archive: from a day before --from to a day after --to). Values show
// with the decimals the channel is recorded with.
#include <map>
#include <ostream>

#include "archive/Archive.h"
#include "chart/ChannelLimitsStore.h"
#include "chart/SpanStatistics.h"
#include "recorder/RecorderFile.h"
#include "vantiro-convert/ConvertCommand.h"
#include "vantiro-convert/ViewOptions.h"

namespace vantiro {

int RunStats(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  ViewOptions options;
  RecordingSource source;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string message;
    const OptionRead read = ReadSourceOrViewOption(args, i, ViewOptionSet::Filter, source, options, message);
    if (read == OptionRead::Bad) return UsageError(err, message);
    if (read == OptionRead::Read) continue;
    if (args[i].empty() || args[i][0] == '-' || !source.file.empty() || source.FromArchive()) return UsageError(err);
    source.file = args[i];
  }
  if (!source.Complete()) return UsageError(err);
  if (options.from && options.to && *options.to < *options.from) {
    return UsageError(err, "--to is earlier than --from");
  }
  // Read whole (a file) or with a day's margin before the start (the archive): the samples that
  // hold at the start are needed too.
  ViewOptions load;
  load.channels = options.channels;
  if (source.FromArchive()) {
    // A day either side: the sample holding at --from, and the one after the last inside, which
    // tells how long that one held.
    if (options.from) load.from = *options.from - 1.0;
    if (options.to) load.to = *options.to + 1.0;
  }
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
  const std::optional<UserMessage> error = LoadQuietly(source, load, summary, channels, err);
  DateTime first = 0.0, last = 0.0;
  bool any = false;
  for (const ChannelInfo& c : channels) {
    for (const DateTime t : c.times) {
      first = any ? std::min(first, t) : t;
      last = any ? std::max(last, t) : t;
      any = true;
    }
  }
  const DateTime from = options.from.value_or(any ? first : summary.startTime);
  const DateTime to = options.to.value_or(any ? last : summary.endTime);
  std::map<int, int> decimals;
  for (const auto& [number, range] : SourceChannelRanges(source)) decimals[number] = range.decimals;
  // The limits typed in the window for this recording count the time beyond them.
  const LimitsByChannel limits = LoadLimits(
      source.FromArchive() ? ArchiveLimitsKey(source.archive.empty() ? DefaultArchiveLocation() : source.archive, source.recorder)
                           : FileLimitsKey(source.file));
  std::vector<SpanStatistics> rows;
  for (const ChannelInfo& channel : channels) {
    if (options.channels && !(channel.number >= 1 && channel.number <= 16 &&
                              (*options.channels)[static_cast<std::size_t>(channel.number - 1)])) {
      continue;
    }
    const auto typed = limits.find(channel.number);
    rows.push_back(ComputeSpanStatistics(channel, from, to, typed != limits.end() ? typed->second : ChannelLimits{}));
    const auto known = decimals.find(channel.number);
    rows.back().decimals = known != decimals.end() ? known->second : ChannelDecimals(channel);
  }
  out << SpanStatisticsTable(rows);
  out.flush();
  if (!out) return OutputFailed(err);
  return error ? 1 : 0;
}

}  // namespace vantiro
