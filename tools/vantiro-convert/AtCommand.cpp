// vantiro-convert at FILE T [FILTER]: what every channel read at a moment, as the chart's legend
// shows it with the vertical cursor there, after the load or after the filter run FILTER asks for.
#include <ostream>

#include "chart/ChartLines.h"
#include "chart/Cursors.h"
#include "chart/SpanStatistics.h"
#include "vantiro-convert/ConvertCommand.h"
#include "vantiro-convert/ViewOptions.h"

namespace vantiro {

std::optional<DateTime> ParseCursorTime(const std::string& text) { return ParseDateTime(text); }

void WriteLegendAt(std::ostream& out, const ChartFill& fill, const std::vector<ChannelInfo>& channels, DateTime t) {
  std::string text = CursorLegendTitle(t) + '\n';
  for (const ChartLine& line : fill.lines) {
    // The recorded sample nearest the moment, as the window's legend reads it.
    if (fill.fromSamples && line.palettePosition < channels.size()) {
      const ChannelInfo& channel = channels[line.palettePosition];
      const std::string unit = line.unitChanges.empty() ? line.unit : UnitAt(line.unit, line.unitChanges, t);
      text += ReadoutText(line.title, unit,
                          RecordedValueNear(channel, t, fill.readFrom, fill.readTo, SamplesInTimeOrder(channel)));
    } else {
      text += CursorReadout(line.title, line.unit, line, t, fill.gapHeight);
    }
    text += '\n';
  }
  out << text;
}

OptionRead ReadSourceOrViewOption(const std::vector<std::string>& args, std::size_t& i, ViewOptionSet set,
                                  RecordingSource& source, ViewOptions& options, std::string& error) {
  const OptionRead read = ReadSourceOption(args, i, source, error);
  if (read != OptionRead::NotOurs) return read;
  return ReadViewOption(args, i, set, options, error);
}

int RunAt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // FILE and T in this order, the filter options anywhere.
  std::vector<std::string> positional;
  ViewOptions options;
  RecordingSource source;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string message;
    const OptionRead read = ReadSourceOrViewOption(args, i, ViewOptionSet::Filter, source, options, message);
    if (read == OptionRead::Bad) return UsageError(err, message);
    if (read == OptionRead::Read) continue;
    if (args[i].empty() || args[i][0] == '-' || positional.size() == 2) return UsageError(err);
    positional.push_back(args[i]);
  }
  // FILE T, or T alone with a recorder of the archive.
  if (!source.FromArchive() && positional.size() == 2) source.file = positional[0];
  if (positional.size() != (source.FromArchive() ? 1u : 2u) || !source.Complete()) return UsageError(err);
  const std::optional<DateTime> t = ParseCursorTime(positional.back());
  if (!t) return UsageError(err);
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
  const std::optional<UserMessage> error = LoadQuietly(source, options, summary, channels, err);
  if (const std::string bad = CheckWindow(options, summary, channels); !bad.empty()) {
    return UsageError(err, bad);
  }
  // The lines the chart shows after the load or the filter run, read as its legend reads them.
  WriteLegendAt(out, BuildCommandChart(channels, summary, options), channels, *t);
  out.flush();
  if (!out) return OutputFailed(err);
  return error ? 1 : 0;
}

}  // namespace vantiro
