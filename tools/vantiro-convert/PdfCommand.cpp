#include "vantiro-convert/PdfCommand.h"

#include <QBuffer>
#include <QByteArray>
#include <QPdfWriter>
#include <optional>
#include <ostream>

#include "output/Reports.h"
#include "output/ui/ReportPrinting.h"
#include "vantiro-convert/ConvertCommand.h"
#include "vantiro-convert/DrawnChart.h"
#include "vantiro-convert/ViewOptions.h"
#include "workbench/Paging.h"
#include "workbench/ViewModel.h"

namespace vantiro {
namespace {

struct PdfArguments {
  RecordingSource source;
  std::string output;
  bool chart = false;
  std::optional<DateTime> at;
  std::optional<ChartScale> scale;
  ViewOptions view;  // the filter run and the table page
};

// Nothing for a usage error, with `message` set when there is more to say than the usage line.
std::optional<PdfArguments> ParsePdf(const std::vector<std::string>& args, std::string& message) {
  PdfArguments a;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const OptionRead read = ReadViewOption(args, i, ViewOptionSet::FilterAndPage, a.view, message);
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
    } else if (arg == "--chart") {
      a.chart = true;
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

// The table page as the table shows it, of the load's table or the filter's: captions and each
// row's texts, numbered in the table. Nothing, with `message` set, for a page beyond the last.
std::optional<ListReportData> TablePage(const std::vector<ChannelInfo>& channels,
                                        const DatasetSummary& summary, const ViewOptions& options,
                                        std::string& message) {
  const TableView view = BuildCommandTable(channels, summary, options);
  message = CheckPage(options, view.rows.size());
  if (!message.empty()) return std::nullopt;
  const std::size_t rows = view.rows.size();
  const std::uint64_t first = FirstRowOfPage(options);
  ListReportData data;
  for (const TableColumn& column : view.columns) data.captions.push_back(column.caption);
  for (std::size_t r = first; r < rows && r < first + options.RowsPerPage(); ++r) {
    data.rows.push_back(RowTexts(channels, view.rows, view.columnChannels, r));
  }
  data.printTime = PrintTimeText(LocalNow());
  return data;
}

}  // namespace

int RunPdf(const std::vector<std::string>& args, std::ostream& err) {
  std::string message;
  const std::optional<PdfArguments> a = ParsePdf(args, message);
  if (!a) return UsageError(err, message);
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
  const std::optional<UserMessage> error = LoadQuietly(a->source, a->view, summary, channels, err);
  if (const std::string bad = CheckWindow(a->view, summary, channels); !bad.empty()) {
    return UsageError(err, bad);
  }

  OffscreenApplication app;
  // The report is made in memory and written as a whole (WriteOutputFile).
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setResolution(1200);
  if (a->chart) {
    if (channels.empty()) {
      err << "error: " << kNothingToPrint << '\n';
      return 1;
    }
    DrawnChart drawn(channels, summary, a->view, TrendChart::kPageWidth, TrendChart::kPageHeight,
                     a->at);
    if (a->scale) drawn.SetScale(*a->scale, SourceChannelRanges(a->source));
    ChartReportData data;
    data.picture = InvertedChartPicture(drawn.Chart().Render(drawn.Chart().width(), drawn.Chart().height()));
    const ViewRanges view = drawn.Chart().Ranges();
    data.printTime = PrintTimeText(LocalNow());
    data.printRegion = PrintRegionText(view.x0, view.x1);
    SetUpChartPrinter(writer);
    PaintChartReport(writer, data);
  } else {
    const std::optional<ListReportData> data = TablePage(channels, summary, a->view, message);
    if (!data) return UsageError(err, message);
    if (data->rows.empty()) {
      err << "error: " << kNothingToPrint << '\n';
      return 1;
    }
    SetUpListPrinter(writer, *data);
    PaintListReport(writer, *data);
  }
  // The painter has ended: the document is complete in memory.
  if (!WriteOutputFile(a->output,
                       std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())), err)) {
    return 1;
  }
  return error ? 1 : 0;
}

}  // namespace vantiro
