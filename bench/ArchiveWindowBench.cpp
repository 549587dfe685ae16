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

#include "YearOfRecordings.h"
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

BENCHMARK(OverviewFirstChart)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(OverviewStep)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(OpenDayFromArchive)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(OpenDayFile)->UseRealTime()->Unit(benchmark::kMillisecond);

// Collects each benchmark's real time for the summary against the targets.
class SummaryReporter final : public benchmark::BenchmarkReporter {
 public:
  explicit SummaryReporter(std::unique_ptr<benchmark::BenchmarkReporter> inner) : inner_(std::move(inner)) {}
  bool ReportContext(const Context& context) override { return inner_->ReportContext(context); }
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (!run.error_occurred && run.run_type == Run::RT_Iteration) {
        times_[run.run_name.function_name] = run.GetAdjustedRealTime();
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
