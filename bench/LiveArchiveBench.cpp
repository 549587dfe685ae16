// Live monitoring kept in the archive, and several recorders on one line:
//   AddReading          what recording adds to the GUI thread per reading of 16 channels: the hand-over
//                       to the archive's worker (target: under 1 ms); the worker commits every 5 s.
//   ArchiveBytesPerHour four hours of one 16-channel recorder at one reading a second, committed every
//                       5 readings as monitoring does, in a SQLite archive: the file's growth
//                       per hour (target: under 50 KB), for a process moving through its band once
//                       an hour, smooth and with a few counts of noise on every value.
//   EightRecordersOnOneLine  one tick of eight recorders sharing a line at 115200 bit/s, the first
//                       polled and seven further ones after it, against the simulated recorders on
//                       a pseudo-terminal (which passes bytes at once): median and worst of the
//                       tick, and the time the bytes would take on a real line at 115200 bit/s
//                       (target: all within the second).

#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "archive/Archive.h"
#include "archive/LiveRecording.h"
#include "archive/SqlConnection.h"
#include "instrument/CommSettings.h"
#include "instrument/LiveStations.h"
#include "instrument/ModbusRtuImpl.h"
#include "recorder-sim/PtyRecorder.h"

namespace {

using namespace vantiro;

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vantiro-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    dir_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path dir_;
};

std::vector<ChannelHeader> SixteenChannels() {
  std::vector<ChannelHeader> channels;
  for (int c = 1; c <= 16; ++c) channels.push_back({c, "℃", false, 0, 0, 1});
  return channels;
}

// Reading `i` of a process that moves through the simulated recorder's band once an hour (one
// decimal), with `noise` counts of noise on every value.
std::vector<float> Reading(std::int64_t i, int noise, std::mt19937& random) {
  const sim::ChannelTable table = sim::DefaultChannels();
  std::vector<float> values;
  std::uniform_int_distribution<int> jitter(-noise, noise);
  for (int c = 0; c < 16; ++c) {
    const int raw = sim::MotionValue(table[static_cast<std::size_t>(c)], c, static_cast<double>(i) / 60.0) + (noise > 0 ? jitter(random) : 0);
    values.push_back(static_cast<float>(static_cast<double>(raw) * 0.1));
  }
  return values;
}

void AddReading(benchmark::State& state) {
  TempFolder dir;
  LiveArchiveWriter writer(dir.File("live.sqlite"), "r", "COM1 地址1", SixteenChannels());
  std::mt19937 random(1);
  std::vector<std::vector<float>> readings;
  for (int i = 0; i < 1000; ++i) readings.push_back(Reading(i, 2, random));
  std::int64_t i = 0;
  const std::int64_t start = 1700000000000;
  for (auto _ : state) {
    writer.Add(start + i * 1000, readings[static_cast<std::size_t>(i % 1000)]);
    ++i;
  }
  writer.Finish();
}
BENCHMARK(AddReading)->Unit(benchmark::kMicrosecond);

void ArchiveBytesPerHour(benchmark::State& state) {
  constexpr int kHours = 4;  // the file grows a 16 KB page at a time: several hours, averaged
  const int noise = static_cast<int>(state.range(0));
  double kilobytes = 0.0;
  for (auto _ : state) {
    TempFolder dir;
    const std::string location = dir.File("live.sqlite");
    std::string error;
    std::unique_ptr<Archive> archive = Archive::Open(location, true, error);
    if (!archive) {
      state.SkipWithError(error.c_str());
      return;
    }
    archive->Connection().Execute("VACUUM");
    archive->Connection().Execute("PRAGMA wal_checkpoint(TRUNCATE)");
    const auto before = std::filesystem::file_size(location);
    LiveRecording live(*archive, "r", "COM1 地址1", SixteenChannels());
    std::mt19937 random(7);
    const std::int64_t start = 1700000000000;
    for (std::int64_t i = 0; i < kHours * 3600; ++i) {
      live.Add(start + i * 1000, Reading(i, noise, random));
      if (i % 5 == 4 && !live.Commit(error)) {
        state.SkipWithError(error.c_str());
        return;
      }
    }
    live.Commit(error);
    archive->Connection().Execute("VACUUM");
    archive->Connection().Execute("PRAGMA wal_checkpoint(TRUNCATE)");
    kilobytes = static_cast<double>(std::filesystem::file_size(location) - before) / 1024.0 / kHours;
    auto blobs = archive->Connection().Prepare("SELECT SUM(LENGTH(data)), COUNT(*) FROM chunk");
    blobs->Step();
    state.counters["chunk_KB_per_hour"] = static_cast<double>(blobs->Int(0)) / 1024.0 / kHours;
    state.counters["chunks"] = static_cast<double>(blobs->Int(1));
    auto summaries = archive->Connection().Prepare("SELECT COUNT(*) FROM summary");
    summaries->Step();
    state.counters["summary_rows"] = static_cast<double>(summaries->Int(0));
  }
  state.counters["KB_per_hour"] = kilobytes;
}
BENCHMARK(ArchiveBytesPerHour)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond)->Iterations(1);

void EightRecordersOnOneLine(benchmark::State& state) {
  constexpr int kRecorders = 8;
  std::vector<std::pair<sim::SimOptions, sim::ChannelTable>> recorders;
  for (int a = 1; a <= kRecorders; ++a) {
    sim::SimOptions options;
    options.address = static_cast<std::uint8_t>(a);
    recorders.emplace_back(options, sim::DefaultChannels());
  }
  sim::SimulatorThread line(recorders);
  std::string error;
  if (!line.Start(error)) {
    state.SkipWithError(error.c_str());
    return;
  }
  TempFolder dir;
  const std::string ini = dir.File("config.ini");
  {
    std::ofstream out(ini);
    out << "[COM]\nport=0\nbaudRate=6\nstopBit=0\ndataBit=3\ncheckType=0\naddress=1\n[DEVICE]\nCOM1=" << line.DevicePath() << "\n";
    for (int a = 2; a <= kRecorders; ++a) out << "[RECORDER" << a << "]\nport=0\naddress=" << a << "\n";
  }
  LoadCommSettings(ini);
  TermiosSerialLibrary library(ini);
  ModbusRtuImpl instrument(library);
  if (!instrument.OpenLink() || !instrument.Probe()) {
    state.SkipWithError("the first recorder does not answer");
    return;
  }
  std::vector<LiveStation> stations = MakeStations(furtherRecorders, commSettings);
  StationPoller poller(instrument);
  poller.ProbeAll(stations);
  std::vector<double> ms;
  int failed = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!instrument.PollLive()) ++failed;
    for (const StationReading& r : poller.Tick(stations)) failed += r.ok ? 0 : 1;
    ms.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  poller.CloseAll();
  instrument.CloseLink();
  std::sort(ms.begin(), ms.end());
  state.counters["median_ms"] = ms[ms.size() / 2];
  state.counters["worst_ms"] = ms.back();
  state.counters["failed"] = failed;
  // A poll is 8 bytes out and 49 back; 11 bit times a byte at 115200 bit/s.
  state.counters["line_ms"] = kRecorders * (8.0 + 49.0) * 11.0 * 1000.0 / 115200.0;
}
BENCHMARK(EightRecordersOnOneLine)->Unit(benchmark::kMillisecond)->Iterations(200);

}  // namespace

BENCHMARK_MAIN();
