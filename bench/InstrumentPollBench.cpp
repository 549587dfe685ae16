// How long one live poll takes against the simulated recorder on a pseudo-terminal, through the
// real termios layer: 1,000 polls (22 input registers each, 8 bytes out, 49 back), each timed on
// its own. Counters: median_ms and worst_ms of the 1,000, and failed (polls that did not succeed).
//
// A poll should take a few milliseconds at most: the serial layer returns as soon as the reply is
// complete and never sleeps while it is there.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "instrument/CommSettings.h"
#include "instrument/ModbusRtuImpl.h"
#include "recorder-sim/PtyRecorder.h"

namespace {

using namespace vantiro;

constexpr int kPolls = 1000;

// A config.ini in a fresh temporary directory, removed at the end.
class TempConfig {
 public:
  explicit TempConfig(const std::string& device) {
    std::string pattern =
        (std::filesystem::temp_directory_path() / "vantiro-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
    std::ofstream(Path()) << "[COM]\nport=0\nbaudRate=6\nstopBit=0\ndataBit=3\ncheckType=0\n"
                             "address=1\n[DEVICE]\nCOM1="
                          << device << "\n";
  }
  ~TempConfig() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string Path() const { return (dir_ / "config.ini").string(); }

 private:
  std::filesystem::path dir_;
};

void PollLive(benchmark::State& state) {
  sim::SimulatorThread simulator;
  std::string error;
  if (!simulator.Start(error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  const TempConfig config(simulator.DevicePath());
  LoadCommSettings(config.Path());
  TermiosSerialLibrary library(config.Path());
  ModbusRtuImpl instrument(library);
  if (!instrument.OpenLink()) {
    state.SkipWithError("the port does not open");
    return;
  }

  std::vector<double> seconds;
  seconds.reserve(kPolls);
  int failed = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const bool ok = instrument.PollLive();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    state.SetIterationTime(took.count());
    seconds.push_back(took.count());
    if (!ok) ++failed;
  }
  instrument.CloseLink();

  std::sort(seconds.begin(), seconds.end());
  state.counters["median_ms"] = seconds[seconds.size() / 2] * 1e3;
  state.counters["worst_ms"] = seconds.back() * 1e3;
  state.counters["failed"] = failed;
}
BENCHMARK(PollLive)->Iterations(kPolls)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
