#include "vantiro-convert/PdfCommand.h"

#include <QPdfWriter>
#include <QSaveFile>
#include <charconv>
#include <optional>
#include <ostream>

#include "output/Reports.h"
#include "output/ui/ReportPrinting.h"
#include "vantiro-convert/ConvertCommand.h"
#include "vantiro-convert/DrawnChart.h"
#include "workbench/Paging.h"
#include "workbench/ViewModel.h"

namespace vantiro {
namespace {

struct PdfArguments {
  std::string file;
  std::string output;
  bool chart = false;
  std::uint32_t page = 1;
  std::uint32_t rowsPerPage = kDefaultRowsPerPage;
  std::optional<DateTime> at;
};

std::optional<std::uint32_t> Number(const std::string& text, std::uint32_t min, std::uint32_t max) {
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < min || value > max) return std::nullopt;
  return value;
}

std::optional<PdfArguments> ParsePdf(const std::vector<std::string>& args, std::ostream& err) {
  PdfArguments a;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "-o" && hasValue && a.output.empty() && !args[i + 1].empty()) {
      a.output = args[++i];
    } else if (arg == "--chart") {
      a.chart = true;
    } else if (arg == "--page" && hasValue) {
      const auto n = Number(args[++i], 1, 0xFFFFFFFFu);
      if (!n) return std::nullopt;
      a.page = *n;
    } else if (arg == "--rows-per-page" && hasValue) {
      const auto n = Number(args[++i], 100, 10000);
      if (!n) {
        err << "error: rows per page must be a whole number from 100 to 10000\n";
        return std::nullopt;
      }
      a.rowsPerPage = *n;
    } else if (arg == "--at" && hasValue && !a.at) {
      a.at = ParseCursorTime(args[++i]);
      if (!a.at) return std::nullopt;
    } else if (!arg.empty() && arg[0] != '-' && a.file.empty()) {
      a.file = arg;
    } else {
      return std::nullopt;
    }
  }
  if (a.file.empty() || a.output.empty()) return std::nullopt;
  return a;
}

// The table page as the table shows it: captions and each row's texts, numbered in the table.
std::optional<ListReportData> TablePage(const std::vector<ChannelInfo>& channels, const PdfArguments& a,
                                        std::ostream& err) {
  const TableView view = BuildTableView(channels, a.rowsPerPage);
  const std::size_t rows = view.rows.size();
  const std::uint64_t first = static_cast<std::uint64_t>(a.page - 1) * a.rowsPerPage;
  if (rows > 0 && first >= rows) {
    err << "error: the table has " << (rows + a.rowsPerPage - 1) / a.rowsPerPage << " pages of "
        << a.rowsPerPage << " rows; there is no page " << a.page << '\n';
    return std::nullopt;
  }
  ListReportData data;
  for (const TableColumn& column : view.columns) data.captions.push_back(column.caption);
  for (std::size_t r = first; r < rows && r < first + a.rowsPerPage; ++r) {
    data.rows.push_back(RowTexts(channels, view.rows, view.columnChannels, r));
  }
  data.printTime = PrintTimeText(LocalNow());
  return data;
}

}  // namespace

int RunPdf(const std::vector<std::string>& args, std::ostream& err) {
  const std::optional<PdfArguments> a = ParsePdf(args, err);
  if (!a) {
    err << kConvertUsage << '\n';
    return 2;
  }
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
  const std::optional<UserMessage> error = LoadQuietly(a->file, summary, channels, err);

  OffscreenApplication app;
  QSaveFile file(QString::fromStdString(a->output));
  if (!file.open(QIODevice::WriteOnly)) {
    err << "error: cannot write " << a->output << '\n';
    return 1;
  }
  QPdfWriter writer(&file);
  writer.setResolution(1200);
  if (a->chart) {
    if (channels.empty()) {
      err << "error: " << kNothingToPrint << '\n';
      return 1;
    }
    DrawnChart drawn(channels, summary, TrendChart::kPageWidth, TrendChart::kPageHeight, a->at);
    ChartReportData data;
    data.picture = InvertedChartPicture(drawn.Chart());
    const ViewRanges view = drawn.Chart().Ranges();
    data.printTime = PrintTimeText(LocalNow());
    data.printRegion = PrintRegionText(view.x0, view.x1);
    SetUpChartPrinter(writer);
    PaintChartReport(writer, data);
  } else {
    const std::optional<ListReportData> data = TablePage(channels, *a, err);
    if (!data) {
      err << kConvertUsage << '\n';
      return 2;
    }
    if (data->rows.empty()) {
      err << "error: " << kNothingToPrint << '\n';
      return 1;
    }
    SetUpListPrinter(writer, *data);
    PaintListReport(writer, *data);
  }
  if (!file.commit()) {
    err << "error: cannot write " << a->output << '\n';
    return 1;
  }
  return error ? 1 : 0;
}

}  // namespace vantiro
