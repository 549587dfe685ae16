// Live monitoring on the GUI thread, offscreen:
//   ApplyReading   one reading of 16 channels put on show: summary line, panels, table row, chart
//                  points and titles, legend (target: under 2 ms); on empty lines and on lines
//                  of 70,000 points, near their cap.
//   ReplotAtCap    a replot of the live chart with 16 lines at their cap of 75,000 points each
//                  (target: under 50 ms).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QTabWidget>
#include <filesystem>
#include <memory>

#include "chart/ChartLines.h"
#include "chart/ui/TrendChart.h"
#include "instrument/ui/LiveMonitor.h"
#include "platform/MallocTuning.h"
#include "workbench/ui/DataListModel.h"
#include "app/TMainForm.h"

namespace {

using namespace vantiro;

constexpr std::size_t kChannels = 16;

// The main window set up as Run leaves it for 16 channels, without a recorder; each line already
// holding `points` points, one a second.
std::unique_ptr<TMainForm> LiveForm(std::size_t points = 0) {
  auto form = std::make_unique<TMainForm>();
  form->resize(1282, 962);
  form->show();
  form->PageControl->setCurrentWidget(form->ChartTabSheet);
  std::vector<ChartLine> lines;
  std::vector<TableColumn> columns = {{"序号", 50}, {"时间", 120}};
  for (std::size_t k = 0; k < kChannels; ++k) {
    form->liveChannels.push_back(static_cast<std::int16_t>(k + 1));
    ChartLine line;
    line.title = QString::asprintf("通道%02d", static_cast<int>(k + 1)).toStdString();
    line.palettePosition = k;
    for (std::size_t i = 0; i < points; ++i) {
      line.Append(45418.0 + i * kOneSecond, 40.0 + k + (i % 100) * 0.1);
    }
    form->seriesList.push_back(ChartSeriesInfo{line.title, std::string(), k});
    lines.push_back(std::move(line));
    form->columnChannels.push_back(static_cast<std::int32_t>(k));
    columns.push_back({QString::asprintf("通道%d(℃)", static_cast<int>(k + 1)).toStdString(), 80});
  }
  form->Chart->AddLines(std::move(lines), std::numeric_limits<double>::lowest());
  form->DataListViewModel->SetColumns(columns);
  form->DataListViewModel->SetPage(0, 1);
  return form;
}

LiveReading Reading() {
  LiveReading r;
  r.settings = CommSettings{1, 9600, 1, 8, 1, 1};
  r.clock = {24, 5, 6, 12, 30, 0};
  r.time = 45418.520833333336;  // 2024-05-06 12:30:00
  for (std::size_t k = 0; k < kChannels; ++k) {
    r.values[k] = 40.0f + static_cast<float>(k);
    r.alarms[k] = {k % 4 == 0, k % 3 == 0, false, k % 5 == 0};
    r.configs[k] = ChannelConfig{3, 19, 90.0f, 80.0f, 20.0f, 10.0f};
  }
  return r;
}

void ApplyReadingBench(benchmark::State& state) {
  auto form = LiveForm(static_cast<std::size_t>(state.range(0)));
  LiveReading r = Reading();
  r.time = 45418.0 + static_cast<double>(state.range(0)) * kOneSecond;
  for (auto _ : state) {
    r.time += kOneSecond;
    r.values[0] += 0.1f;
    form->ApplyLiveReading(r);
  }
  state.counters["lines"] = static_cast<double>(form->Chart->LineCount());
}

void ReplotAtCapBench(benchmark::State& state) {
  auto form = LiveForm(LiveLineCap(kChannels));
  form->Chart->replot();
  for (auto _ : state) form->Chart->replot();
  state.counters["points"] = static_cast<double>(form->Chart->Line(0).points.size() * kChannels);
}

BENCHMARK(ApplyReadingBench)->Name("ApplyReading")->Arg(0)->Arg(70000)->UseRealTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(ReplotAtCapBench)->Name("ReplotAtCap")->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  vantiro::RestartWithHugePageMalloc(argv);
  ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  // The window's per-user switches in a throw-away place.
  const std::filesystem::path config =
      std::filesystem::temp_directory_path() / ("live-apply-bench-" + std::to_string(::getpid()));
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::filesystem::remove_all(config);
  return 0;
}
