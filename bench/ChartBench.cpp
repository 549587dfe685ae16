// Speed of the trend chart on the largest recording (16 channels, 5,230,854 samples, about 870,000
// drawn points at a thinning of 6), drawn on Qt's offscreen platform at the chart page's size.
//
//   ShowFill        the chart page takes the line data of the load: lines, axes, cursors.
//   FirstReplot     the first replot after that: everything drawn once.
//   BareReplot      a plain QCustomPlot with the same points in 16 graphs, replotted: the floor.
//   CursorRepaint   the vertical cursor moved: the legend read-out and the repaint of the legend
//                   and cursor layers only.
//   ZoomReplot      the replot after a zoom to a tenth of the time span.
//   ThinnedRedraw   the chart replotted with its thinned lines.
//   EnvelopeRedraw  with the switch "峰值包络" on: every line's envelope of the window made again
//                   (as after a zoom or scroll), then the replot (target within 1.2 times
//                   ThinnedRedraw).
//   EnvelopeMake    the envelopes alone, without the replot.
//   RangeReplot     the replot under "按量程" (each line on its channel's range), and
//   UnitReplot      under "按单位分轴" (an axis per unit): each within 1.3 times ThinnedRedraw.
//   SpanDragStep    one step of dragging a cursor with the span panel on: the statistics of all 16
//                   channels between the cursors from the exact samples, the panel's table filled,
//                   the legend and cursor layers repainted (target under 33 ms: 30 frames a second).
//
// A summary line compares FirstReplot with BareReplot (target within 1.2 times, and under 50 ms)
// and CursorRepaint with its 5 ms target.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <map>
#include <qcustomplot.h>
#include <string>

#include "LargeRecording.h"
#include "chart/ChartLines.h"
#include "chart/SpanStatistics.h"
#include "chart/ui/ChartPage.h"
#include "chart/ui/ChartPanels.h"
#include "chart/ui/TrendChart.h"
#include "platform/MallocTuning.h"
#include "recorder/RecorderFile.h"

namespace {

using vantiro::TrendChart;

struct Loaded {
  vantiro::DatasetSummary summary;
  std::vector<vantiro::ChannelInfo> channels;
  vantiro::ChartFill fill;
  std::string error;

  static const Loaded& Get() {
    static const Loaded loaded;
    return loaded;
  }

 private:
  Loaded() {
    const vantiro::bench::LargeFile& file = vantiro::bench::LargeFile::Get();
    if (!file.Error().empty()) {
      error = file.Error();
      return;
    }
    vantiro::RecorderLogOptions noLog;
    noLog.mode = vantiro::RecorderLogOptions::Mode::Off;
    if (auto failure = vantiro::ReadRecorderFile(file.Path(), summary, channels, noLog)) {
      error = failure->text;
      return;
    }
    fill = vantiro::FillChart(channels, summary);
  }
};

// A chart page of the program's size with the large recording on it.
struct ShownChart {
  TrendChart chart;
  std::vector<vantiro::ChartSeriesInfo> seriesList;
  vantiro::ChartPage page{chart, seriesList, Loaded::Get().summary};
  vantiro::ZoomLimits limits{0.0, 0.0, true, 0.0, 0.0, true};

  ShownChart() {
    chart.setAttribute(Qt::WA_DontShowOnScreen);
    chart.resize(TrendChart::kPageWidth, TrendChart::kPageHeight);
    chart.show();
    QObject::connect(&chart, &TrendChart::cursorMoved,
                     [this](vantiro::DateTime x) { page.ChartCursorToolChange(x); });
  }
  void Fill() {
    vantiro::ChartFill fill = Loaded::Get().fill;
    page.ShowFill(std::move(fill), limits);
    page.PlaceCursorsAfterLoad(Loaded::Get().summary.startTime, false, false);
  }
};

std::size_t Points() {
  std::size_t points = 0;
  for (const vantiro::ChartLine& line : Loaded::Get().fill.lines) points += line.points.size();
  return points;
}

bool Ready(benchmark::State& state) {
  if (Loaded::Get().error.empty()) return true;
  state.SkipWithError(Loaded::Get().error.c_str());
  return false;
}

void ShowFillBench(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    state.PauseTiming();
    auto shown = std::make_unique<ShownChart>();
    vantiro::ChartFill fill = Loaded::Get().fill;
    state.ResumeTiming();
    shown->page.ShowFill(std::move(fill), shown->limits);
    shown->page.PlaceCursorsAfterLoad(Loaded::Get().summary.startTime, false, false);
    state.PauseTiming();
    shown.reset();
    state.ResumeTiming();
  }
  state.counters["points"] = static_cast<double>(Points());
}

void FirstReplotBench(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    state.PauseTiming();
    auto shown = std::make_unique<ShownChart>();
    shown->Fill();
    state.ResumeTiming();
    shown->chart.replot();
    state.PauseTiming();
    shown.reset();
    state.ResumeTiming();
  }
  state.counters["points"] = static_cast<double>(Points());
}

void BareReplotBench(benchmark::State& state) {
  if (!Ready(state)) return;
  const vantiro::ChartFill& fill = Loaded::Get().fill;
  for (auto _ : state) {
    state.PauseTiming();
    auto plot = std::make_unique<QCustomPlot>();
    plot->setAttribute(Qt::WA_DontShowOnScreen);
    plot->resize(TrendChart::kPageWidth, TrendChart::kPageHeight);
    plot->show();
    plot->setNotAntialiasedElements(QCP::aeAll);
    for (const vantiro::ChartLine& line : fill.lines) {
      QCPGraph* graph = plot->addGraph();
      QVector<QCPGraphData> data(static_cast<qsizetype>(line.points.size()));
      for (std::size_t i = 0; i < line.points.size(); ++i) {
        data[static_cast<qsizetype>(i)] =
            QCPGraphData(vantiro::ChartKey(line.points[i].x), line.points[i].y);
      }
      for (const std::size_t gap : line.gaps) {
        data[static_cast<qsizetype>(gap)].value = std::numeric_limits<double>::quiet_NaN();
      }
      graph->data()->set(data, true);
      graph->setPen(QPen(Qt::red, 1));
    }
    plot->rescaleAxes();
    state.ResumeTiming();
    plot->replot();
    state.PauseTiming();
    plot.reset();
    state.ResumeTiming();
  }
}

void CursorRepaintBench(benchmark::State& state) {
  if (!Ready(state)) return;
  ShownChart shown;
  shown.Fill();
  shown.chart.replot();
  const vantiro::DatasetSummary& summary = Loaded::Get().summary;
  int step = 0;
  for (auto _ : state) {
    // Across the whole span, as a drag does.
    const double at = summary.startTime + (summary.endTime - summary.startTime) * ((step++ % 97) + 1) / 99.0;
    shown.chart.SetCursorX(at);
    shown.chart.RepaintNow();
  }
}

void ZoomReplotBench(benchmark::State& state) {
  if (!Ready(state)) return;
  ShownChart shown;
  shown.Fill();
  shown.chart.replot();
  const vantiro::DatasetSummary& summary = Loaded::Get().summary;
  const double span = summary.endTime - summary.startTime;
  const double from = summary.startTime + span * 0.45;
  shown.chart.SetBottomAxis(from, from + span * 0.1);
  for (auto _ : state) shown.chart.replot();
}

// The whole chart redrawn with its thinned lines, and with the switch "峰值包络" on: each line's
// envelope of the window made again (as after every zoom or scroll), then the replot.
void ThinnedRedrawBench(benchmark::State& state) {
  if (!Ready(state)) return;
  ShownChart shown;
  shown.Fill();
  shown.chart.replot();
  for (auto _ : state) shown.chart.replot();
}

void EnvelopeRedrawBench(benchmark::State& state) {
  if (!Ready(state)) return;
  ShownChart shown;
  shown.Fill();
  shown.page.SetEnvelope(true, &Loaded::Get().channels);
  shown.chart.replot();
  const int columns = shown.chart.axisRect()->width();
  for (auto _ : state) {
    shown.page.RefreshEnvelope(columns);
    shown.chart.replot();
  }
  std::size_t points = 0;
  for (std::size_t i = 0; i < shown.chart.LineCount(); ++i) points += shown.chart.Line(i).points.size();
  state.counters["points"] = static_cast<double>(points);
  state.counters["columns"] = columns;
}

// The envelopes alone (RefreshEnvelope without the replot), to see where EnvelopeRedraw goes.
void EnvelopeMakeBench(benchmark::State& state) {
  if (!Ready(state)) return;
  ShownChart shown;
  shown.Fill();
  shown.page.SetEnvelope(true, &Loaded::Get().channels);
  shown.chart.replot();
  const int columns = shown.chart.axisRect()->width();
  for (auto _ : state) shown.page.RefreshEnvelope(columns);
}

// The replot on the other two scales.
void ScaleReplot(benchmark::State& state, vantiro::ChartScale scale) {
  if (!Ready(state)) return;
  ShownChart shown;
  shown.Fill();
  shown.page.SetScale(scale);
  const auto ranges = vantiro::ReadRecorderChannelRanges(vantiro::bench::LargeFile::Get().Path());
  for (std::size_t i = 0; i < shown.chart.LineCount() && i < ranges.size(); ++i) {
    shown.chart.SetLineRange(i, ranges[i].lower, ranges[i].upper);
  }
  shown.chart.replot();
  for (auto _ : state) shown.chart.replot();
  state.counters["axes"] = static_cast<double>(shown.chart.axisRect()->axisCount(QCPAxis::atLeft));
}
void RangeReplotBench(benchmark::State& state) { ScaleReplot(state, vantiro::ChartScale::Range); }
void UnitReplotBench(benchmark::State& state) { ScaleReplot(state, vantiro::ChartScale::Unit); }

void SpanDragStepBench(benchmark::State& state) {
  if (!Ready(state)) return;
  ShownChart shown;
  shown.Fill();
  vantiro::SpanPanel panel;
  panel.resize(TrendChart::kPageWidth, 200);
  panel.setAttribute(Qt::WA_DontShowOnScreen);
  panel.show();
  shown.chart.replot();
  const vantiro::DatasetSummary& summary = Loaded::Get().summary;
  const std::vector<vantiro::ChannelInfo>& channels = Loaded::Get().channels;
  const double start = summary.startTime;
  const double span = summary.endTime - summary.startTime;
  shown.chart.SetCursorX(start + span * 0.1);
  int step = 0;
  for (auto _ : state) {
    // The second cursor dragged across most of the recording: the widest spans there are.
    const double at = start + span * (0.5 + 0.45 * ((step++ % 97) + 1) / 98.0);
    shown.chart.SetCursorX2(at);
    std::vector<vantiro::SpanStatistics> rows;
    rows.reserve(channels.size());
    for (const vantiro::ChannelInfo& c : channels) {
      rows.push_back(vantiro::ComputeSpanStatistics(c, start + span * 0.1, at, {800.0, 200.0}));
    }
    panel.ShowStatistics(std::move(rows), start + span * 0.1, at);
    panel.repaint();
    shown.chart.RepaintNow();
  }
}

BENCHMARK(ShowFillBench)->Name("ShowFill")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FirstReplotBench)->Name("FirstReplot")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BareReplotBench)->Name("BareReplot")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(CursorRepaintBench)->Name("CursorRepaint")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ZoomReplotBench)->Name("ZoomReplot")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ThinnedRedrawBench)->Name("ThinnedRedraw")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(EnvelopeRedrawBench)->Name("EnvelopeRedraw")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(EnvelopeMakeBench)->Name("EnvelopeMake")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(RangeReplotBench)->Name("RangeReplot")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(UnitReplotBench)->Name("UnitReplot")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(SpanDragStepBench)->Name("SpanDragStep")->UseRealTime()->Unit(benchmark::kMillisecond);

// Collects the mean (or median) real time of each benchmark for the summary.
class SummaryReporter final : public benchmark::BenchmarkReporter {
 public:
  explicit SummaryReporter(std::unique_ptr<benchmark::BenchmarkReporter> inner) : inner_(std::move(inner)) {}
  bool ReportContext(const Context& context) override { return inner_->ReportContext(context); }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      const std::string& name = run.run_name.function_name;
      if (median || !medians_.count(name)) times_[name] = run.GetAdjustedRealTime();
      if (median) medians_[name] = true;
    }
    inner_->ReportRuns(runs);
  }
  void Finalize() override {
    inner_->Finalize();
    char line[256];
    if (times_.count("FirstReplot") && times_.count("BareReplot")) {
      const double first = times_["FirstReplot"];
      const double bare = times_["BareReplot"];
      const bool met = first <= 1.2 * bare && first < 50.0;
      std::snprintf(line, sizeof line,
                    "first replot %.2f ms, bare replot %.2f ms: ratio %.2f (target <= 1.2 and < 50 ms, %s)\n",
                    first, bare, first / bare, met ? "met" : "MISSED");
      std::cerr << line;
    }
    if (times_.count("ThinnedRedraw") && times_.count("EnvelopeRedraw")) {
      const double thinned = times_["ThinnedRedraw"];
      const double envelope = times_["EnvelopeRedraw"];
      std::snprintf(line, sizeof line, "envelope redraw %.2f ms, thinned replot %.2f ms: ratio %.2f (target <= 1.2, %s)\n",
                    envelope, thinned, envelope / thinned, envelope <= 1.2 * thinned ? "met" : "MISSED");
      std::cerr << line;
    }
    for (const char* scale : {"RangeReplot", "UnitReplot"}) {
      if (!times_.count(scale) || !times_.count("ThinnedRedraw")) continue;
      const double replot = times_[scale];
      const double single = times_["ThinnedRedraw"];
      std::snprintf(line, sizeof line, "%s %.2f ms, single-axis replot %.2f ms: ratio %.2f (target <= 1.3, %s)\n", scale,
                    replot, single, replot / single, replot <= 1.3 * single ? "met" : "MISSED");
      std::cerr << line;
    }
    if (times_.count("SpanDragStep")) {
      const double drag = times_["SpanDragStep"];
      std::snprintf(line, sizeof line, "span drag step %.2f ms: %.0f frames a second (target >= 30, %s)\n", drag,
                    1000.0 / drag, drag <= 1000.0 / 30.0 ? "met" : "MISSED");
      std::cerr << line;
    }
    if (times_.count("CursorRepaint")) {
      const double cursor = times_["CursorRepaint"];
      std::snprintf(line, sizeof line, "cursor repaint %.3f ms (target < 5 ms, %s)\n", cursor,
                    cursor < 5.0 ? "met" : "MISSED");
      std::cerr << line;
    }
  }

 private:
  std::unique_ptr<benchmark::BenchmarkReporter> inner_;
  std::map<std::string, double> times_;
  std::map<std::string, bool> medians_;
};

}  // namespace

int main(int argc, char** argv) {
  vantiro::RestartWithHugePageMalloc(argv);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter(std::make_unique<benchmark::ConsoleReporter>(benchmark::ConsoleReporter::OO_Tabular));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
