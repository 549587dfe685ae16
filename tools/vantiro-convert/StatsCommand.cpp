// vantiro-convert stats SOURCE [--from T] [--to T] [--channels LIST]: what each channel did
// between two moments, as the chart's span panel lists it, for scripts: UTF-8, tab-separated, a
// header row, one row per channel (SpanStatisticsTable). Without --from and --to, the whole
// recording. The value holding at --from comes from the sample before it, however long before.
// A file is read whole; a recorder of the archive streams from its chunks and is never held in
// memory. Values show with the decimals the channel is recorded with.
#include <map>
#include <ostream>

#include "archive/Archive.h"
#include "archive/ArchivePeriods.h"
#include "view/ViewData.h"
#include <limits>
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
  std::map<int, int> decimals;
  for (const auto& [number, range] : SourceChannelRanges(source)) decimals[number] = range.decimals;
  // The limits typed in the window for this recording count the time beyond them.
  const LimitsByChannel limits = LoadLimits(
      source.FromArchive() ? ArchiveLimitsKey(source.archive.empty() ? DefaultArchiveLocation() : source.archive, source.recorder)
                           : FileLimitsKey(source.file));
  const auto selected = [&options](int number) {
    return !options.channels ||
           (number >= 1 && number <= 16 && (*options.channels)[static_cast<std::size_t>(number - 1)]);
  };
  std::vector<SpanStatistics> rows;
  std::string failure;
  bool failed = false;
  if (source.FromArchive()) {
    // The recorder's samples stream past from its chunks, a few at a time: a year is measured in the
    // memory of a day. The value holding at --from is the recorder's, however long before it lies.
    std::vector<int> wanted;
    for (int n = 1; n <= 16; ++n) {
      if (options.channels && selected(n)) wanted.push_back(n);
    }
    const std::unique_ptr<Archive> archive = Archive::Open(source.archive, false, failure);
    std::optional<ResolvedPeriod> period;
    if (archive) {
      period = ResolvePeriod(*archive, 0, source.recorder, wanted, options.from ? ToArchiveMs(*options.from) : kPeriodOpenStart,
                             options.to ? ToArchiveMs(*options.to) : kPeriodOpenEnd, failure);
    }
    if (period) {
      ArchivePeriodViewData data({source.archive, period->recorderId, period->channels, kPeriodOpenStart, kPeriodOpenEnd},
                                 archive.get());
      if (!data.Statistics(FromArchiveMs(period->fromMs), FromArchiveMs(period->toMs), limits, rows, failure)) rows.clear();
    }
  } else {
    DatasetSummary summary;
    std::vector<ChannelInfo> channels;
    // A file that reads only in part is measured as far as it reads (its failure said on err).
    const std::optional<UserMessage> error = LoadQuietly(source, ViewOptions{}, summary, channels, err);
    if (error) failed = true;
    DateTime first = 0.0, last = 0.0;
    bool any = false;
    for (const ChannelInfo& c : channels) {
      for (const DateTime t : c.times) {
        first = any ? std::min(first, t) : t;
        last = any ? std::max(last, t) : t;
        any = true;
      }
    }
    std::vector<std::size_t> shown;
    for (std::size_t p = 0; p < channels.size(); ++p) {
      if (selected(channels[p].number)) shown.push_back(p);
    }
    const DateTime unbounded = std::numeric_limits<double>::infinity();
    DatasetViewData data(channels, std::move(shown), -unbounded, unbounded, decimals);
    data.Statistics(options.from.value_or(any ? first : summary.startTime),
                    options.to.value_or(any ? last : summary.endTime), limits, rows, failure);
  }
  if (!failure.empty()) {
    err << "error: " << failure << '\n';
    failed = true;
  }
  out << SpanStatisticsTable(rows);
  out.flush();
  if (!out) return OutputFailed(err);
  return failed ? 1 : 0;
}

}  // namespace vantiro
