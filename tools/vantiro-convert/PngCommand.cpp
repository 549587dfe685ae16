#include "vantiro-convert/PngCommand.h"

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <optional>
#include <ostream>
#include <string_view>

#include "app/ArchiveChart.h"
#include "archive/ArchivePeriods.h"
#include "vantiro-convert/DrawnChart.h"
#include "vantiro-convert/ConvertCommand.h"

namespace vantiro {
namespace {

struct PngArguments {
  RecordingSource source;
  std::string output;
  int width = TrendChart::kPageWidth;
  int height = TrendChart::kPageHeight;
  std::optional<DateTime> at;
  std::optional<ChartScale> scale;
  ViewOptions view;
  bool envelope = false;
};

std::optional<int> Dimension(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  if (value < 16 || value > 20000) return std::nullopt;
  return value;
}

// Nothing for a usage error, with `message` set when there is more to say than the usage line.
std::optional<PngArguments> ParsePng(const std::vector<std::string>& args, std::string& message) {
  PngArguments a;
  bool sized = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const OptionRead read = ReadViewOption(args, i, ViewOptionSet::Filter, a.view, message);
    if (read == OptionRead::Bad) return std::nullopt;
    if (read == OptionRead::Read) continue;
    if (const OptionRead source = ReadSourceOption(args, i, a.source, message); source != OptionRead::NotOurs) {
      if (source == OptionRead::Bad) return std::nullopt;
      continue;
    }
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "-o" && hasValue && a.output.empty() && !args[i + 1].empty()) {
      a.output = args[++i];
    } else if (arg == "--size" && hasValue && !sized) {
      const std::string& size = args[++i];
      const std::size_t x = size.find('x');
      if (x == std::string::npos) return std::nullopt;
      const std::optional<int> w = Dimension(std::string_view(size).substr(0, x));
      const std::optional<int> h = Dimension(std::string_view(size).substr(x + 1));
      if (!w || !h) return std::nullopt;
      a.width = *w;
      a.height = *h;
      sized = true;
    } else if (arg == "--envelope" && !a.envelope) {
      a.envelope = true;
    } else if (arg == "--scale" && hasValue && !a.scale) {
      a.scale = ParseChartScale(args[++i]);
      if (!a.scale) {
        message = "--scale takes single, range or unit";
        return std::nullopt;
      }
    } else if (arg == "--at" && hasValue && !a.at) {
      a.at = ParseCursorTime(args[++i]);
      if (!a.at) return std::nullopt;
    } else if (!arg.empty() && arg[0] != '-' && a.source.file.empty()) {
      a.source.file = arg;
    } else {
      return std::nullopt;
    }
  }
  if (!a.source.Complete() || a.output.empty()) return std::nullopt;
  return a;
}

// The picture as PNG into `output`: 0, or 1 with the reason on `err`.
int SavePng(const QImage& image, const std::string& output, std::ostream& err) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "PNG")) {
    err << "error: cannot write " << output << '\n';
    return 1;
  }
  return WriteOutputFile(output, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), err) ? 0
                                                                                                                   : 1;
}

// A period of the archive with more samples than a dataset takes comfortably: its overview chart
// from the archive's summaries, as the window shows it. Nothing when the period is small enough to
// be read whole (or the archive cannot be read: the ordinary load then says why).
std::optional<ChartFill> OverviewOfPeriod(const RecordingSource& source, const ViewOptions& view, int width,
                                          DatasetSummary& summary) {
  if (!source.FromArchive()) return std::nullopt;
  std::string error;
  const std::unique_ptr<Archive> archive = Archive::Open(source.archive, false, error);
  if (!archive) return std::nullopt;
  std::vector<int> wanted;
  if (view.channels) {
    for (int n = 1; n <= 16; ++n) {
      if ((*view.channels)[static_cast<std::size_t>(n - 1)]) wanted.push_back(n);
    }
  }
  const std::optional<ResolvedPeriod> period =
      ResolvePeriod(*archive, 0, source.recorder, wanted, view.from ? ToArchiveMs(*view.from) : kPeriodOpenStart,
                    view.to ? ToArchiveMs(*view.to) : kPeriodOpenEnd, error);
  if (!period || period->samples <= ExactPeriodLimit()) return std::nullopt;
  // The plot is narrower than the picture by its axes and legend: a column a pixel of the picture is
  // fine enough.
  const std::optional<std::vector<ChannelEnvelope>> envelopes =
      archive->Envelope(period->recorderId, period->fromMs, period->toMs, period->numbers, width, error);
  if (!envelopes) return std::nullopt;
  return OverviewFill(*envelopes, period->channels, period->fromMs, period->toMs, width, summary);
}

}  // namespace

int RunPng(const std::vector<std::string>& args, std::ostream& err) {
  std::string message;
  const std::optional<PngArguments> a = ParsePng(args, message);
  if (!a) return UsageError(err, message);
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
  if (std::optional<ChartFill> overview = OverviewOfPeriod(a->source, a->view, a->width, summary)) {
    OffscreenApplication app;
    DrawnChart drawn(std::move(*overview), summary, a->width, a->height, a->at);
    if (a->scale) drawn.SetScale(*a->scale, SourceChannelRanges(a->source));
    return SavePng(drawn.Chart().Render(a->width, a->height), a->output, err);
  }
  const std::optional<UserMessage> error = LoadQuietly(a->source, a->view, summary, channels, err);
  if (const std::string bad = CheckWindow(a->view, summary, channels); !bad.empty()) {
    return UsageError(err, bad);
  }

  // Qt on the offscreen platform for this command only; the program itself never starts here.
  OffscreenApplication app;
  DrawnChart drawn(channels, summary, a->view, a->width, a->height, a->at, a->envelope);
  if (a->scale) drawn.SetScale(*a->scale, SourceChannelRanges(a->source));
  const int saved = SavePng(drawn.Chart().Render(a->width, a->height), a->output, err);
  return saved != 0 ? saved : (error ? 1 : 0);
}

}  // namespace vantiro
