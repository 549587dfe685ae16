// vantiro-convert at FILE T: what every channel read at a moment, as the chart's legend shows it
// with the vertical cursor there.
#include <ostream>

#include "chart/ChartLines.h"
#include "chart/Cursors.h"
#include "vantiro-convert/ConvertCommand.h"

namespace vantiro {

std::optional<DateTime> ParseCursorTime(const std::string& text) { return ParseDateTime(text); }

void WriteLegendAt(std::ostream& out, const std::vector<ChannelInfo>& channels,
                   const DatasetSummary& summary, DateTime t) {
  // The same lines the chart draws after the load, thinning included.
  const ChartFill fill = FillChart(channels, summary);
  std::string text = CursorLegendTitle(t) + '\n';
  for (const ChartLine& line : fill.lines) {
    text += CursorReadout(line.title, line.unit, line, t, fill.gapHeight);
    text += '\n';
  }
  out << text;
}

int RunAt(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::optional<DateTime> t;
  if (args.size() == 3 && !args[1].empty() && args[1][0] != '-') t = ParseCursorTime(args[2]);
  if (!t) {
    err << kConvertUsage << '\n';
    return 2;
  }
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
  const std::optional<UserMessage> error = LoadQuietly(args[1], summary, channels, err);
  WriteLegendAt(out, channels, summary, *t);
  out.flush();
  if (!out) return OutputFailed(err);
  return error ? 1 : 0;
}

}  // namespace vantiro
