// The archive in the window, on the year of one recorder (bench/YearOfRecordings.h: 96 files of
// 10 MB, some 500 million samples, imported into a SQLite archive the first time), the chart drawn
// on Qt's offscreen platform at the chart page's size.
//
//   OverviewFirstChart  the year opened in overview: the archive opened, its channels and the
//                       envelope for the plot's columns read, the lines and axes put on the chart
//                       and the chart drawn (target under 300 ms)
//   OverviewStep        one zoom or scroll step of that overview: the archive opened (as each read
//                       of the window does), the window's envelope read, the lines replaced and the
//                       chart drawn; steps alternate between zooming in and scrolling across the
//                       year (target under 50 ms)
//   OpenDayFromArchive  one day opened as a dataset: read from the archive and the table and chart
//                       built from it as a load builds them
//   OpenDayFile         the .bin file holding that day opened the same way (target: the day from
//                       the archive within 1.5 times)
//
// And the same questions asked of the real main window (offscreen, at its design size), timed as
// the user waits: from the mouse events of the gesture to the end of the last paint that shows its
// result, every archive read on the window's workers included. Each prints its median and worst
// step beside the component figure above:
//
//   WindowOpenYear      the year opened in overview, as `vantiro --recorder` or the browser opens it
//                       (target under 300 ms)
//   WindowZoom          a rubber band dragged over the middle half of the view (median under 50 ms,
//                       worst under 100 ms)
//   WindowScroll        the view dragged sideways by a fifth with the right button (the same)
//   WindowUndo          a band dragged from right to left after a zoom (the same)
//   WindowSpanYear      the span panel's statistics of 16 channels over the whole year, the cursors
//                       put at its two ends (under 2 s; under 4 s with limits on every channel)
//
// The peak memory of the process is printed at the end (target under 400 MB).

#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>

#include <QMouseEvent>
#include <QTest>
#include <algorithm>
#include <thread>

#include "YearOfRecordings.h"
#include "app/AppWindows.h"
#include "app/ArchiveCommands.h"
#include "app/TMainForm.h"
#include "chart/ui/ChartPanels.h"
#include "archive/Archive.h"
#include "app/ArchiveChart.h"
#include "archive/ArchiveSources.h"
#include "chart/ui/ChartPage.h"
#include "chart/ui/TrendChart.h"
#include "platform/MallocTuning.h"
#include "recorder/RecorderFile.h"
#include "workbench/ViewModel.h"

namespace {

namespace fs = std::filesystem;
using namespace vantiro;

using bench::YearArchive;
using bench::YearDataFolder;
using bench::YearFile;
using bench::YearFolder;
std::int64_t Ms(std::int32_t since2000) { return ToArchiveMs(RecorderSecondsToDateTime(since2000)); }

struct Year {
  std::string error;
  std::int64_t recorderId = 0;
  std::vector<ChannelSummaryInfo> channels;
  std::vector<int> numbers;
  std::int64_t fromMs = 0;
  std::int64_t toMs = 0;

  static const Year& Get() {
    static const Year year;
    return year;
  }

 private:
  Year() {
    if (!bench::WriteYear(YearFolder())) {
      error = "cannot write the year's files into " + YearFolder();
      return;
    }
    if (!fs::exists(YearArchive())) {
      std::printf("importing the year into %s (once)\n", YearArchive().c_str());
      auto archive = Archive::Open(YearArchive() + ".part", true, error);
      if (!archive) return;
      for (int i = 0; i < bench::kYearFiles; ++i) {
        SourceRecording recording;
        if (LoadRecordingFile(YearFile(i), recording)) {
          error = "cannot read " + YearFile(i);
          return;
        }
        if (archive->Import("year", recording).outcome != ImportResult::Outcome::Imported) {
          error = "cannot import " + YearFile(i);
          return;
        }
      }
      archive.reset();
      fs::rename(YearArchive() + ".part", YearArchive());
    }
    auto archive = Archive::Open(YearArchive(), false, error);
    if (!archive) return;
    const auto recorder = archive->FindRecorder("year", error);
    if (!recorder) return;
    recorderId = recorder->id;
    auto infos = archive->Channels(recorderId, error);
    if (!infos) return;
    channels = *infos;
    for (const ChannelSummaryInfo& c : channels) numbers.push_back(c.number);
    fromMs = Ms(bench::YearFileStart(0));
    toMs = Ms(bench::YearFileStart(bench::kYearFiles - 1) + bench::kFileSeconds);
  }
};

bool Ready(benchmark::State& state) {
  if (Year::Get().error.empty()) return true;
  state.SkipWithError(Year::Get().error.c_str());
  return false;
}

struct ShownChart {
  TrendChart chart;
  std::vector<ChartSeriesInfo> seriesList;
  DatasetSummary summary;
  ChartPage page{chart, seriesList, summary};
  ZoomLimits limits{0.0, 0.0, true, 0.0, 0.0, true};

  ShownChart() {
    chart.setAttribute(Qt::WA_DontShowOnScreen);
    chart.resize(TrendChart::kPageWidth, TrendChart::kPageHeight);
    chart.show();
  }
  int Columns() {
    const int columns = chart.axisRect()->width();
    return columns > 0 ? columns : kEnvelopeColumns;
  }
};

// The year in overview, as the window opens it.
bool OpenOverview(ShownChart& shown) {
  const Year& year = Year::Get();
  std::string error;
  auto archive = Archive::Open(YearArchive(), false, error);
  if (!archive) return false;
  auto channels = archive->Channels(year.recorderId, error);
  if (!channels) return false;
  auto envelopes = archive->Envelope(year.recorderId, year.fromMs, year.toMs, year.numbers, shown.Columns(), error);
  if (!envelopes) return false;
  ChartFill fill = OverviewFill(*envelopes, *channels, year.fromMs, year.toMs, shown.Columns(), shown.summary);
  shown.page.ClearChart();
  shown.page.ShowFill(std::move(fill), shown.limits);
  shown.page.PlaceCursorsAfterLoad(shown.summary.startTime, false, false);
  shown.chart.replot();
  return true;
}

void OverviewFirstChart(benchmark::State& state) {
  if (!Ready(state)) return;
  for (auto _ : state) {
    state.PauseTiming();
    auto shown = std::make_unique<ShownChart>();
    shown->chart.replot();  // laid out at its size, as the window's chart page is
    state.ResumeTiming();
    if (!OpenOverview(*shown)) state.SkipWithError("the overview could not be read");
    state.PauseTiming();
    shown.reset();
    state.ResumeTiming();
  }
}

void OverviewStep(benchmark::State& state) {
  if (!Ready(state)) return;
  const Year& year = Year::Get();
  ShownChart shown;
  shown.chart.replot();
  if (!OpenOverview(shown)) {
    state.SkipWithError("the overview could not be read");
    return;
  }
  const std::int64_t span = year.toMs - year.fromMs;
  int step = 0;
  for (auto _ : state) {
    // In turn: a quarter, a month and a week of the year, each at a place further on.
    const std::int64_t widths[3] = {span / 4, span / 12, span / 52};
    const std::int64_t width = widths[step % 3];
    const std::int64_t from = year.fromMs + (span - width) * ((step * 7) % 23) / 22;
    ++step;
    std::string error;
    auto archive = Archive::Open(YearArchive(), false, error);
    auto envelopes = archive ? archive->Envelope(year.recorderId, from, from + width, year.numbers, shown.Columns(), error)
                             : std::nullopt;
    if (!envelopes) {
      state.SkipWithError(error.c_str());
      return;
    }
    std::vector<ChartLine> lines =
        OverviewLines(*envelopes, year.channels, from, from + width, shown.Columns(), GapHeight(shown.summary));
    shown.chart.SetBottomAxis(FromArchiveMs(from), FromArchiveMs(from + width));
    for (std::size_t i = 0; i < lines.size() && i < shown.chart.LineCount(); ++i) {
      shown.chart.ReplaceLineData(i, std::move(lines[i]));
    }
    shown.chart.replot();
  }
}

// The day benchmarked: the third day of file 48, midnight to midnight, and the file holding it.
constexpr int kDayFile = 47;
std::int64_t DayStart() {
  const std::int32_t start = bench::YearFileStart(kDayFile) + 86400;
  return Ms(start - start % 86400);
}

void OpenDayFromArchive(benchmark::State& state) {
  if (!Ready(state)) return;
  const Year& year = Year::Get();
  std::int64_t samples = 0;
  for (auto _ : state) {
    std::string error;
    auto archive = Archive::Open(YearArchive(), false, error);
    DatasetSummary summary;
    std::vector<ChannelInfo> channels;
    if (!archive || !archive->ReadPeriod(year.recorderId, DayStart(), DayStart() + 86'400'000 - 1, year.numbers, false,
                                         summary, channels, error)) {
      state.SkipWithError(error.c_str());
      return;
    }
    LoadView view = BuildViewModel(channels, summary, kDefaultRowsPerPage);
    benchmark::DoNotOptimize(view);
    samples = summary.sampleCount;
  }
  state.counters["samples"] = static_cast<double>(samples);
}

void OpenDayFile(benchmark::State& state) {
  if (!Ready(state)) return;
  RecorderLogOptions noLog;
  noLog.mode = RecorderLogOptions::Mode::Off;
  std::int64_t samples = 0;
  for (auto _ : state) {
    DatasetSummary summary;
    std::vector<ChannelInfo> channels;
    if (ReadRecorderFile(YearFile(kDayFile), summary, channels, noLog)) {
      state.SkipWithError("cannot read the day's file");
      return;
    }
    LoadView view = BuildViewModel(channels, summary, kDefaultRowsPerPage);
    benchmark::DoNotOptimize(view);
    samples = summary.sampleCount;
  }
  state.counters["samples"] = static_cast<double>(samples);
}

// ---- The real window ----

using Clock = std::chrono::steady_clock;

// The main window at its design size with the year's archive as the user's, and the end of the last
// paint of its chart seen.
class Window : public QObject {
 public:
  Window() {
    windows_ = std::make_unique<AppWindows>();
    TMainForm& f = Form();
    f.setAttribute(Qt::WA_DontShowOnScreen);
    f.show();
    f.resize(1282, 962);
    f.ChartMenuItemClick();
    f.Chart->installEventFilter(this);
    QObject::connect(f.Chart, &QCustomPlot::afterReplot, this, [this] { Painted(); });
    QObject::connect(&f.ArchiveView(), &ArchiveCommands::overviewShown, this, [this] { shown_ = Clock::now(); });
    Settle(Clock::now());
  }
  TMainForm& Form() { return *windows_->mainForm; }

  // The year opened as a period of its recorder, as the command line opens it.
  double OpenYear() {
    const Year& year = Year::Get();
    ArchivePeriodChoice choice;
    choice.location = YearArchive();
    choice.recorder = "year";
    choice.fromMs = year.fromMs;
    choice.toMs = year.toMs;
    const auto t0 = Clock::now();
    Form().ArchiveView().OpenPeriod(choice);
    return Settle(t0);
  }

  // A drag over the plot from x0 to x1 (fractions of its width) with `button`: a rubber band (the
  // left button) from the top to the bottom of the plot, a scroll (the right) at mid-height; the
  // milliseconds until its result is on show.
  double Drag(double x0, double x1, Qt::MouseButton button) {
    QWidget* chart = Form().Chart;
    const QRect plot = Form().Chart->axisRect()->rect();
    const bool band = button == Qt::LeftButton;
    const int y0 = band ? plot.top() + 2 : plot.top() + plot.height() / 2;
    const int y1 = band ? plot.bottom() - 2 : y0;
    const QPoint a(plot.left() + static_cast<int>(plot.width() * x0), y0);
    const QPoint b(plot.left() + static_cast<int>(plot.width() * x1), y1);
    const auto t0 = Clock::now();
    QTest::mousePress(chart, button, Qt::NoModifier, a);
    for (int k = 1; k <= 4; ++k) {
      QMouseEvent move(QEvent::MouseMove, a + (b - a) * k / 4, chart->mapToGlobal(a + (b - a) * k / 4), Qt::NoButton,
                       button, Qt::NoModifier);
      QCoreApplication::sendEvent(chart, &move);
    }
    QTest::mouseRelease(chart, button, Qt::NoModifier, b);
    return Settle(t0);
  }

  // Runs the window until no archive read is running and nothing more is painted; the time from t0
  // to the end of the last paint (or to now, when nothing was painted).
  double Settle(Clock::time_point t0) {
    lastPaint_ = t0;
    int idle = 0;
    for (int pass = 0; pass < 200000 && idle < 4; ++pass) {
      painted_ = false;
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      if (painted_) lastPaint_ = Clock::now();
      if (Form().ArchiveView().Busy() || painted_) {
        idle = 0;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
      } else {
        ++idle;
      }
    }
    if (std::getenv("VANTIRO_BENCH_DEBUG")) {
      std::fprintf(stderr, "data on show after %.1f ms, last paint after %.1f ms\n",
                   std::chrono::duration<double, std::milli>(shown_ - t0).count(),
                   std::chrono::duration<double, std::milli>(lastPaint_ - t0).count());
    }
    return std::chrono::duration<double, std::milli>(lastPaint_ - t0).count();
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      // The paint runs after this returns: its end is seen by the loop that delivered it.
      painted_ = true;
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  void Painted() { painted_ = true; }
  std::unique_ptr<AppWindows> windows_;
  bool painted_ = false;
  Clock::time_point lastPaint_;
  Clock::time_point shown_;
};

// Median and worst of the steps, as counters beside the mean the library reports.
void Report(benchmark::State& state, std::vector<double> times) {
  if (times.empty()) return;
  std::sort(times.begin(), times.end());
  state.counters["median_ms"] = times[times.size() / 2];
  state.counters["worst_ms"] = times.back();
}

// Manual timing: the window's own clock from the gesture to the frame.
void WindowOpenYear(benchmark::State& state) {
  if (!Ready(state)) return;
  std::vector<double> times;
  for (auto _ : state) {
    Window window;
    times.push_back(window.OpenYear());
    state.SetIterationTime(times.back() / 1000.0);
    if (!window.Form().ArchiveView().OverviewShown()) state.SkipWithError("the year did not open in overview");
  }
  Report(state, times);
}

// One of the gestures on the year's overview, after `prepare` (untimed) each time.
void WindowGesture(benchmark::State& state, const std::function<double(Window&)>& gesture,
                   const std::function<void(Window&)>& prepare) {
  if (!Ready(state)) return;
  Window window;
  window.OpenYear();
  if (!window.Form().ArchiveView().OverviewShown()) {
    state.SkipWithError("the year did not open in overview");
    return;
  }
  std::vector<double> times;
  for (auto _ : state) {
    prepare(window);
    times.push_back(gesture(window));
    state.SetIterationTime(times.back() / 1000.0);
  }
  Report(state, times);
}

void WindowZoom(benchmark::State& state) {
  WindowGesture(state, [](Window& w) {
    const ViewRanges before = w.Form().Chart->Ranges();
    const double ms = w.Drag(0.25, 0.75, Qt::LeftButton);
    const ViewRanges after = w.Form().Chart->Ranges();
    if (std::getenv("VANTIRO_BENCH_DEBUG")) std::fprintf(stderr, "zoom %g -> %g days, zoomed %d\n", before.x1 - before.x0, after.x1 - after.x0, w.Form().Chart->Zoomed());
    return ms; },
                [](Window& w) {
                  if (w.Form().Chart->Zoomed()) w.Drag(0.8, 0.2, Qt::LeftButton);  // back to the year
                });
}

void WindowScroll(benchmark::State& state) {
  int step = 0;
  WindowGesture(state, [&step](Window& w) {
    ++step;
    return step % 2 ? w.Drag(0.6, 0.4, Qt::RightButton) : w.Drag(0.4, 0.6, Qt::RightButton);
  }, [](Window& w) {
    if (!w.Form().Chart->Zoomed()) w.Drag(0.3, 0.7, Qt::LeftButton);  // a window of the year to scroll
  });
}

void WindowUndo(benchmark::State& state) {
  WindowGesture(state, [](Window& w) { return w.Drag(0.8, 0.2, Qt::LeftButton); },
                [](Window& w) { w.Drag(0.25, 0.75, Qt::LeftButton); });
}

void WindowSpanYear(benchmark::State& state) {
  const bool limits = state.range(0) != 0;
  WindowGesture(state, [](Window& w) {
    TMainForm& f = w.Form();
    const ViewRanges view = f.Chart->Ranges();
    const auto t0 = Clock::now();
    f.Chart->SetCursorX(view.x0);
    f.Chart->SetCursorX2(view.x1);
    // Until the panel shows its figures: the pass of the event loop that puts them in the table.
    bool calculated = false;
    for (;;) {
      QCoreApplication::processEvents(QEventLoop::AllEvents);
      calculated = calculated || f.SpanView->Calculating();
      if (calculated && !f.SpanView->Calculating()) break;
      std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
    if (std::getenv("VANTIRO_BENCH_DEBUG")) {
      std::fprintf(stderr, "span panel: %s\n", f.SpanView->Caption().toStdString().c_str());
    }
    w.Settle(Clock::now());
    return ms;
  }, [limits](Window& w) {
    TMainForm& f = w.Form();
    if (!f.SpanPanelMenuItem->isChecked()) {
      f.SpanPanelMenuItem->trigger();
      if (limits) {
        for (std::size_t i = 0; i < f.Chart->LineCount(); ++i) f.SetLineLimits(i, AlarmLimits(90.0, 10.0));
      }
    }
    // Somewhere else first, so that the timed step measures anew.
    const ViewRanges view = f.Chart->Ranges();
    f.Chart->SetCursorX(view.x0 + (view.x1 - view.x0) * 0.4);
    f.Chart->SetCursorX2(view.x0 + (view.x1 - view.x0) * 0.41);
    w.Settle(Clock::now());
    while (f.SpanView->Calculating()) w.Settle(Clock::now());
  });
}

BENCHMARK(OverviewFirstChart)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(OverviewStep)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(OpenDayFromArchive)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(OpenDayFile)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(WindowOpenYear)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(WindowZoom)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(WindowScroll)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(WindowUndo)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(15);
BENCHMARK(WindowSpanYear)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);

// Collects each benchmark's real time for the summary against the targets.
class SummaryReporter final : public benchmark::BenchmarkReporter {
 public:
  explicit SummaryReporter(std::unique_ptr<benchmark::BenchmarkReporter> inner) : inner_(std::move(inner)) {}
  bool ReportContext(const Context& context) override { return inner_->ReportContext(context); }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
        const std::string name = run.run_name.function_name + (run.run_name.args.empty() ? "" : "/" + run.run_name.args);
        times_[name] = run.GetAdjustedRealTime();
        if (run.counters.count("median_ms")) medians_[name] = run.counters.at("median_ms");
        if (run.counters.count("worst_ms")) worst_[name] = run.counters.at("worst_ms");
      }
    }
    inner_->ReportRuns(runs);
  }
  void Finalize() override {
    inner_->Finalize();
    char line[256];
    auto target = [&](const char* name, double limit) {
      if (!times_.count(name)) return;
      std::snprintf(line, sizeof line, "%s %.1f ms (target under %.0f ms, %s)\n", name, times_[name], limit,
                    times_[name] < limit ? "met" : "MISSED");
      std::cerr << line;
    };
    target("OverviewFirstChart", 300.0);
    target("OverviewStep", 50.0);
    // The window beside its parts.
    auto window = [&](const char* name, const char* part, double limit) {
      if (!times_.count(name)) return;
      std::snprintf(line, sizeof line, "%s %.1f ms in the window (median %.1f, worst %.1f; target under %.0f ms, %s)",
                    name, times_[name], medians_[name], worst_[name], limit, medians_[name] < limit ? "met" : "MISSED");
      std::cerr << line;
      if (part && times_.count(part)) std::cerr << "; its part " << part << " " << times_[part] << " ms";
      std::cerr << '\n';
    };
    window("WindowOpenYear", "OverviewFirstChart", 300.0);
    window("WindowZoom", "OverviewStep", 50.0);
    window("WindowScroll", "OverviewStep", 50.0);
    window("WindowUndo", "OverviewStep", 50.0);
    window("WindowSpanYear/0", nullptr, 2000.0);
    window("WindowSpanYear/1", nullptr, 4000.0);
    if (times_.count("OpenDayFromArchive") && times_.count("OpenDayFile")) {
      const double ratio = times_["OpenDayFromArchive"] / times_["OpenDayFile"];
      std::snprintf(line, sizeof line, "a day from the archive %.1f ms, its file %.1f ms: ratio %.2f (target <= 1.5, %s)\n",
                    times_["OpenDayFromArchive"], times_["OpenDayFile"], ratio, ratio <= 1.5 ? "met" : "MISSED");
      std::cerr << line;
    }
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::snprintf(line, sizeof line, "peak memory of the process %.1f MB (target under 400 MB)\n",
                  usage.ru_maxrss / 1024.0);
    std::cerr << line;
  }

 private:
  std::unique_ptr<benchmark::BenchmarkReporter> inner_;
  std::map<std::string, double> times_;
  std::map<std::string, double> medians_;
  std::map<std::string, double> worst_;
};

}  // namespace

int main(int argc, char** argv) {
  vantiro::RestartWithHugePageMalloc(argv);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The window's settings (panels, limits) in a folder of the benchmark's own, not the user's.
  const std::string config = (fs::temp_directory_path() / "vantiro-bench-config").string();
  fs::create_directories(config);
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  SummaryReporter reporter(std::make_unique<benchmark::ConsoleReporter>(benchmark::ConsoleReporter::OO_Tabular));
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
