// The span panel's statistics: every channel of the largest recording (16 channels, 5.2 million
// samples) over its whole span, with limits (target: under 20 ms), and over an hour in its middle.
#include <benchmark/benchmark.h>

#include "LargeRecording.h"
#include "chart/SpanStatistics.h"
#include "recorder/RecorderFile.h"

namespace {

using namespace vantiro;
using vantiro::bench::LargeFile;

struct Loaded {
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
};

const Loaded& Recording() {
  static const Loaded loaded = [] {
    Loaded l;
    ReadRecorderFile(LargeFile::Get().Path(), l.summary, l.channels, RecorderLogOptions{});
    return l;
  }();
  return loaded;
}

void Statistics(benchmark::State& state, DateTime from, DateTime to) {
  const Loaded& r = Recording();
  if (r.channels.empty()) {
    state.SkipWithError("the recording did not load");
    return;
  }
  for (auto _ : state) {
    std::vector<SpanStatistics> rows;
    for (const ChannelInfo& c : r.channels) rows.push_back(ComputeSpanStatistics(c, from, to, {800.0, 200.0}));
    benchmark::DoNotOptimize(rows);
  }
}

void WholeRecording(benchmark::State& state) {
  const Loaded& r = Recording();
  Statistics(state, r.summary.startTime, r.summary.endTime);
}
BENCHMARK(WholeRecording)->Unit(benchmark::kMillisecond);

void AnHourInTheMiddle(benchmark::State& state) {
  const Loaded& r = Recording();
  const DateTime middle = (r.summary.startTime + r.summary.endTime) / 2;
  Statistics(state, middle, middle + 1.0 / 24.0);
}
BENCHMARK(AnHourInTheMiddle)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
