// Speed and memory of the recorder file reader on the largest file the recorder writes.
//
// The input is built once: 10,485,760 bytes, the header and 639 data blocks of 16 channels, each
// block one record of 8186 samples one second apart, values moving within the channel's range and
// a header window covering every sample. Two benchmarks run on it:
//
//   ReadRecorderFile  the reader, into a fresh summary and channel list every iteration;
//                     counter peak/dataset = the heap's peak growth during the reading divided by
//                     the dataset's own size (12 bytes a stored sample: 8 of time, 4 of value).
//   RawBlockFloor     the least any reader can do: read(2) the 16 KB blocks into one buffer and sum
//                     the int16 samples.
//   WriteFloor        the least a reader that keeps the samples can do: read the blocks the same
//                     way and write what the reader writes, 12 bytes a sample (an 8-byte time and a
//                     4-byte value) into fresh memory per channel, as the reader's series are; the
//                     memory system's cost of the dataset.
//
// After the runs summary lines give reader time against each floor and the peak memory ratio
// against the targets (reader within 8 times the raw floor and 2 times the write floor, peak within
// 1.3 times the dataset); the reader's own row carries the same ratios as counters (x_raw_floor,
// x_write_floor) when the floors ran before it.
//
// The heap is measured by replacing the global operator new and delete of this program.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <memory>
#include <new>
#include <numbers>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "platform/MallocTuning.h"
#include <sys/stat.h>

#include "chart/ChartLines.h"
#include "output/CsvExport.h"
#include "recorder/RecorderFile.h"
#include "workbench/ViewModel.h"
#include "LargeRecording.h"

// ---------------------------------------------------------------------------------------------
// Heap accounting: every operator new and delete of the program goes through these counters.

namespace {

std::atomic<std::size_t> heapCurrent{0};
std::atomic<std::size_t> heapPeak{0};

void CountAllocation(void* p) {
  const std::size_t size = malloc_usable_size(p);
  const std::size_t now = heapCurrent.fetch_add(size, std::memory_order_relaxed) + size;
  std::size_t peak = heapPeak.load(std::memory_order_relaxed);
  while (now > peak && !heapPeak.compare_exchange_weak(peak, now, std::memory_order_relaxed)) {
  }
}

void CountRelease(void* p) {
  heapCurrent.fetch_sub(malloc_usable_size(p), std::memory_order_relaxed);
}

void* Allocate(std::size_t size) {
  if (size == 0) size = 1;
  for (;;) {
    if (void* p = std::malloc(size)) {
      CountAllocation(p);
      return p;
    }
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

void* AllocateAligned(std::size_t size, std::align_val_t alignment) {
  if (size == 0) size = 1;
  const std::size_t align = std::max(static_cast<std::size_t>(alignment), sizeof(void*));
  for (;;) {
    void* p = nullptr;
    if (posix_memalign(&p, align, size) == 0) {
      CountAllocation(p);
      return p;
    }
    std::new_handler handler = std::get_new_handler();
    if (!handler) throw std::bad_alloc();
    handler();
  }
}

void Release(void* p) noexcept {
  if (!p) return;
  CountRelease(p);
  std::free(p);
}

// Bytes the heap holds now; the peak is restarted from here.
std::size_t RestartHeapPeak() {
  const std::size_t now = heapCurrent.load(std::memory_order_relaxed);
  heapPeak.store(now, std::memory_order_relaxed);
  return now;
}

std::size_t HeapPeak() { return heapPeak.load(std::memory_order_relaxed); }

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  try {
    return Allocate(size);
  } catch (...) {
    return nullptr;
  }
}
void* operator new(std::size_t size, std::align_val_t alignment) {
  return AllocateAligned(size, alignment);
}
void* operator new[](std::size_t size, std::align_val_t alignment) {
  return AllocateAligned(size, alignment);
}
void* operator new(std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  try {
    return AllocateAligned(size, alignment);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  try {
    return AllocateAligned(size, alignment);
  } catch (...) {
    return nullptr;
  }
}

void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { Release(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { Release(p); }

// ---------------------------------------------------------------------------------------------
// The input file.

namespace {

using vantiro::bench::kExpectedSamples;
using vantiro::testing::kBlock;
using vantiro::bench::kFileSize;
using vantiro::bench::LargeFile;

constexpr double kBytesPerStoredSample = sizeof(vantiro::DateTime) + sizeof(float);  // 12
constexpr double kTimeTarget = 8.0;    // reader time / raw floor time
constexpr double kWriteFloorTarget = 2.0;  // reader time / write floor time
constexpr double kMemoryTarget = 1.3;  // peak heap / dataset size
constexpr double kLoadTimeTarget = 2.0;    // headless load time / reader time
constexpr double kLoadMemoryTarget = 2.0;  // headless load peak heap / dataset size

// ---------------------------------------------------------------------------------------------
// The benchmarks.

// Milliseconds per iteration of the floors' last runs (0 before they ran), for the reader's ratio
// counters. Measured with the floors' own clock around their loops.
double rawFloorMs = 0.0;
double writeFloorMs = 0.0;

double MillisecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

// The reading the program does, without its diagnostic log.
vantiro::RecorderLogOptions NoLog() {
  vantiro::RecorderLogOptions options;
  options.mode = vantiro::RecorderLogOptions::Mode::Off;
  return options;
}

// Formats rows [first, first + count) of a table view as the table shows them; the text bytes.
std::size_t FormatRows(const std::vector<vantiro::ChannelInfo>& channels,
                       const vantiro::TableView& view, std::size_t first, std::size_t count) {
  std::size_t textBytes = 0;
  for (std::size_t r = first; r < std::min(view.rows.size(), first + count); ++r) {
    for (const std::string& text : vantiro::RowTexts(channels, view.rows, view.columnChannels, r)) {
      textBytes += text.size();
    }
  }
  return textBytes;
}

// The counters of a measurement that loaded the whole file.
void SetLoadCounters(benchmark::State& state, std::int64_t samples, std::size_t peakGrowth) {
  const double datasetBytes = kBytesPerStoredSample * static_cast<double>(samples);
  state.counters["samples"] = static_cast<double>(samples);
  state.counters["peak_MiB"] = static_cast<double>(peakGrowth) / (1024.0 * 1024.0);
  state.counters["peak/dataset"] = static_cast<double>(peakGrowth) / datasetBytes;
}

void ReadRecorderFileBench(benchmark::State& state) {
  const LargeFile& input = LargeFile::Get();
  if (!input.Error().empty()) {
    state.SkipWithError(input.Error().c_str());
    return;
  }
  const vantiro::RecorderLogOptions noLog = NoLog();
  std::int64_t samples = 0;
  std::size_t entries = 0;
  std::size_t peakGrowth = 0;
  double timedMs = 0.0;
  for (auto _ : state) {
    vantiro::DatasetSummary summary;
    std::vector<vantiro::ChannelInfo> channels;
    const std::size_t before = RestartHeapPeak();
    const auto start = std::chrono::steady_clock::now();
    const std::optional<vantiro::UserMessage> failure =
        vantiro::ReadRecorderFile(input.Path(), summary, channels, noLog);
    timedMs += MillisecondsSince(start);
    peakGrowth = std::max(peakGrowth, HeapPeak() - before);
    benchmark::DoNotOptimize(channels.data());
    if (failure) {
      state.SkipWithError(failure->text.c_str());
      break;
    }
    samples = summary.sampleCount;
    entries = 0;
    for (const vantiro::ChannelInfo& channel : channels) entries += channel.times.size();
    // Freeing the dataset belongs to the next load's reset, not to this reading.
    state.PauseTiming();
    channels = {};
    state.ResumeTiming();
  }
  if (state.error_occurred()) return;
  if (samples != kExpectedSamples || entries != static_cast<std::size_t>(kExpectedSamples)) {
    state.SkipWithError("the reader did not store every sample of the file");
    return;
  }
  SetLoadCounters(state, samples, peakGrowth);
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kFileSize));
  // The reader's time against the floors (the runs before this one; the summary uses medians).
  const double readerMs = timedMs / static_cast<double>(state.iterations());
  if (rawFloorMs > 0.0) state.counters["x_raw_floor"] = readerMs / rawFloorMs;
  if (writeFloorMs > 0.0) state.counters["x_write_floor"] = readerMs / writeFloorMs;
}

void RawBlockFloorBench(benchmark::State& state) {
  const LargeFile& input = LargeFile::Get();
  if (!input.Error().empty()) {
    state.SkipWithError(input.Error().c_str());
    return;
  }
  std::vector<unsigned char> block(kBlock);
  std::int64_t samples = 0;
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) {
    const int fd = ::open(input.Path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      state.SkipWithError("cannot open the input");
      break;
    }
    std::int64_t sum = 0;
    std::int64_t count = 0;
    bool header = true;
    for (;;) {
      const ssize_t n = ::read(fd, block.data(), block.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      if (header) {
        header = false;
        continue;
      }
      for (std::size_t s = 12; s + 1 < static_cast<std::size_t>(n); s += 2) {
        std::int16_t v;
        std::memcpy(&v, block.data() + s, sizeof v);
        sum += v;
      }
      count += (n - 12) / 2;
    }
    ::close(fd);
    benchmark::DoNotOptimize(sum);
    samples = count;
  }
  rawFloorMs = MillisecondsSince(start) / static_cast<double>(state.iterations());
  state.counters["samples"] = static_cast<double>(samples);
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kFileSize));
}

// The raw floor plus the reader's output: every sample's time and value written once into memory
// allocated for each channel and not touched before (the pages are the process's first use of
// them, as a load's are), then freed outside the timing as the reader bench frees its dataset.
// The time is the record's start plus the sample's offset, as a double; the value the int16 as a
// float.
void WriteFloorBench(benchmark::State& state) {
  const LargeFile& input = LargeFile::Get();
  if (!input.Error().empty()) {
    state.SkipWithError(input.Error().c_str());
    return;
  }
  using vantiro::bench::kChannels;
  using vantiro::bench::kDataBlocks;
  using vantiro::bench::kSamplesPerBlock;
  constexpr int kBlocksPerChannel = (kDataBlocks + kChannels - 1) / kChannels;
  std::vector<unsigned char> block(kBlock);
  std::int64_t samples = 0;
  struct Series {
    std::unique_ptr<double[]> times;
    std::unique_ptr<float[]> values;
  };
  std::vector<Series> series(kChannels);
  double timedMs = 0.0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    const int fd = ::open(input.Path().c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      state.SkipWithError("cannot open the input");
      break;
    }
    std::int64_t count = 0;
    bool header = true;
    int blockIndex = 0;  // of the data block just read
    double* times = nullptr;
    float* values = nullptr;
    for (;;) {
      const ssize_t n = ::read(fd, block.data(), block.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      if (header) {
        header = false;
        continue;
      }
      if (blockIndex % kBlocksPerChannel == 0 && blockIndex / kBlocksPerChannel < kChannels) {
        const int c = blockIndex / kBlocksPerChannel;
        const std::size_t blocks =
            static_cast<std::size_t>(std::min(kBlocksPerChannel, kDataBlocks - c * kBlocksPerChannel));
        series[c].times.reset(new double[blocks * kSamplesPerBlock]);
        series[c].values.reset(new float[blocks * kSamplesPerBlock]);
        times = series[c].times.get();
        values = series[c].values.get();
      }
      std::int32_t t0;
      std::memcpy(&t0, block.data(), sizeof t0);
      const std::size_t m = std::min<std::size_t>(kSamplesPerBlock, (static_cast<std::size_t>(n) - 12) / 2);
      const unsigned char* raw = block.data() + 12;
      for (std::size_t i = 0; i < m; ++i) {
        std::int16_t v;
        std::memcpy(&v, raw + 2 * i, sizeof v);
        times[i] = static_cast<double>(t0) + static_cast<double>(i);
        values[i] = static_cast<float>(v);
      }
      times += m;
      values += m;
      count += static_cast<std::int64_t>(m);
      ++blockIndex;
    }
    ::close(fd);
    benchmark::DoNotOptimize(series.data());
    samples = count;
    timedMs += MillisecondsSince(start);
    state.PauseTiming();
    for (Series& s : series) s = {};
    state.ResumeTiming();
  }
  if (state.error_occurred()) return;
  if (samples != kExpectedSamples) {
    state.SkipWithError("the floor did not write every sample of the file");
    return;
  }
  writeFloorMs = timedMs / static_cast<double>(state.iterations());
  state.counters["samples"] = static_cast<double>(samples);
  state.counters["out_MiB"] = static_cast<double>(samples) * kBytesPerStoredSample / (1024.0 * 1024.0);
  state.counters["samples/s"] =
      benchmark::Counter(static_cast<double>(samples), benchmark::Counter::kIsIterationInvariantRate);
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(kFileSize));
}

// The load of the program without its window: the reader, the table's rows and columns, the
// first page laid out and its rows formatted, and the chart's line data.
void HeadlessLoadBench(benchmark::State& state) {
  const LargeFile& input = LargeFile::Get();
  if (!input.Error().empty()) {
    state.SkipWithError(input.Error().c_str());
    return;
  }
  const vantiro::RecorderLogOptions noLog = NoLog();
  std::int64_t samples = 0;
  std::size_t rows = 0;
  std::size_t points = 0;
  std::size_t peakGrowth = 0;
  for (auto _ : state) {
    vantiro::DatasetSummary summary;
    std::vector<vantiro::ChannelInfo> channels;
    const std::size_t before = RestartHeapPeak();
    const std::optional<vantiro::UserMessage> failure =
        vantiro::ReadRecorderFile(input.Path(), summary, channels, noLog);
    vantiro::LoadView built = vantiro::BuildViewModel(channels, summary, vantiro::kDefaultRowsPerPage);
    vantiro::TableView& view = built.table;
    vantiro::ChartFill& fill = built.chart;
    const std::size_t textBytes = FormatRows(channels, view, view.page.pageStart, view.page.itemCount);
    peakGrowth = std::max(peakGrowth, HeapPeak() - before);
    benchmark::DoNotOptimize(textBytes);
    benchmark::DoNotOptimize(fill.lines.data());
    if (failure) {
      state.SkipWithError(failure->text.c_str());
      break;
    }
    samples = summary.sampleCount;
    rows = view.rows.size();
    points = 0;
    for (const vantiro::ChartLine& line : fill.lines) points += line.points.size();
    state.PauseTiming();
    channels = {};
    built = {};
    state.ResumeTiming();
  }
  if (state.error_occurred()) return;
  SetLoadCounters(state, samples, peakGrowth);
  state.counters["rows"] = static_cast<double>(rows);
  state.counters["chart points"] = static_cast<double>(points);
}

// Formatting one page of the largest page size, as the table does when it shows the page.
void FormatPageBench(benchmark::State& state) {
  const LargeFile& input = LargeFile::Get();
  vantiro::DatasetSummary summary;
  std::vector<vantiro::ChannelInfo> channels;
  vantiro::ReadRecorderFile(input.Path(), summary, channels, NoLog());
  const vantiro::TableView view = vantiro::BuildTableView(channels, 10000);
  const std::size_t start = view.rows.size() / 2 / 10000 * 10000;
  for (auto _ : state) benchmark::DoNotOptimize(FormatRows(channels, view, start, 10000));
}

// The view-model build of a load (table and chart data) beside the filter's rebuild of the same
// view (all channels, the whole window), on one loaded dataset.
void ViewModelBench(benchmark::State& state) {
  const LargeFile& input = LargeFile::Get();
  vantiro::DatasetSummary summary;
  std::vector<vantiro::ChannelInfo> channels;
  vantiro::ReadRecorderFile(input.Path(), summary, channels, NoLog());
  const bool filter = state.range(0) == 1;
  vantiro::FilterSettings settings;
  settings.channelSelected.fill(true);
  settings.filterStart = summary.startTime;
  settings.filterEnd = summary.endTime;
  for (auto _ : state) {
    vantiro::LoadView view = filter ? vantiro::BuildFilteredViewModel(channels, summary, settings)
                                    : vantiro::BuildViewModel(channels, summary, vantiro::kDefaultRowsPerPage);
    benchmark::DoNotOptimize(view.table.rows.size());
    state.PauseTiming();
    view = {};
    state.ResumeTiming();
  }
}

// Saving a 10,000-row table page as a CSV file (GBK), as the Save command does; the heap's peak
// growth while it writes shows that only a chunk of text is held at a time.
void ExportPageBench(benchmark::State& state) {
  const LargeFile& input = LargeFile::Get();
  vantiro::DatasetSummary summary;
  std::vector<vantiro::ChannelInfo> channels;
  vantiro::ReadRecorderFile(input.Path(), summary, channels, NoLog());
  const vantiro::TableView view = vantiro::BuildTableView(channels, 10000);
  const vantiro::CsvRows page{channels, view.rows, view.columnChannels, view.rows.size() / 2 / 10000 * 10000, 10000};
  const std::string path = input.Path() + ".csv";
  std::size_t peakGrowth = 0;
  for (auto _ : state) {
    const std::size_t before = RestartHeapPeak();
    if (auto failure = vantiro::ExportCsvFile(path, page)) {
      state.SkipWithError(failure->text.c_str());
      break;
    }
    peakGrowth = std::max(peakGrowth, HeapPeak() - before);
  }
  struct stat written {};
  ::stat(path.c_str(), &written);
  ::unlink(path.c_str());
  state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(written.st_size));
  state.counters["file bytes"] = static_cast<double>(written.st_size);
  state.counters["peak heap bytes"] = static_cast<double>(peakGrowth);
}

BENCHMARK(ExportPageBench)->Name("ExportPage10000")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ViewModelBench)->Name("LoadViewModel")->Arg(0)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ViewModelBench)->Name("FilterRebuild")->Arg(1)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(HeadlessLoadBench)->Name("HeadlessLoad")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(FormatPageBench)->Name("FormatPage10000")->UseRealTime()->Unit(benchmark::kMillisecond);
// The floors before the reader, so that the reader's row can give its ratios to them.
BENCHMARK(RawBlockFloorBench)->Name("RawBlockFloor")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(WriteFloorBench)->Name("WriteFloor")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(ReadRecorderFileBench)->Name("ReadRecorderFile")->UseRealTime()->Unit(benchmark::kMillisecond);

// ---------------------------------------------------------------------------------------------
// Reporting: the chosen reporter prints as usual; at the end a summary compares against targets.

class TargetReporter final : public benchmark::BenchmarkReporter {
 public:
  TargetReporter(std::unique_ptr<benchmark::BenchmarkReporter> inner, std::ostream& summary)
      : inner_(std::move(inner)), summary_(summary) {}

  bool ReportContext(const Context& context) override { return inner_->ReportContext(context); }

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const std::string& name = run.run_name.function_name;
      Figures* figures = name == "ReadRecorderFile" ? &reader_
                         : name == "RawBlockFloor"  ? &floor_
                         : name == "WriteFloor"     ? &writeFloor_
                         : name == "HeadlessLoad"   ? &load_
                         : name == "LoadViewModel"  ? &viewModel_
                         : name == "FilterRebuild"  ? &filter_
                                                    : nullptr;
      if (!figures || run.error_occurred) continue;
      const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      if (run.run_type == Run::RT_Aggregate && !median) continue;
      if (median) {
        figures->median = run.GetAdjustedRealTime();
      } else {
        figures->sum += run.GetAdjustedRealTime();
        ++figures->count;
      }
      if (auto it = run.counters.find("peak/dataset"); it != run.counters.end()) {
        figures->peakRatio = std::max(figures->peakRatio, it->second.value);
      }
    }
    inner_->ReportRuns(runs);
  }

  void Finalize() override {
    inner_->Finalize();
    if (!reader_.Measured() || !floor_.Measured()) return;
    const double reader = reader_.Time();
    const double floor = floor_.Time();
    const double ratio = reader / floor;
    char line[256];
    std::snprintf(line, sizeof line,
                  "reader %.2f ms, raw floor %.2f ms: reader/raw floor %.2f (target <= %.1f, %s)\n",
                  reader, floor, ratio, kTimeTarget, ratio <= kTimeTarget ? "met" : "MISSED");
    summary_ << line;
    if (writeFloor_.Measured()) {
      const double write = writeFloor_.Time();
      const double writeRatio = reader / write;
      std::snprintf(line, sizeof line,
                    "reader %.2f ms, write floor %.2f ms: reader/write floor %.2f (target <= %.1f, "
                    "%s); write floor/raw floor %.2f\n",
                    reader, write, writeRatio, kWriteFloorTarget,
                    writeRatio <= kWriteFloorTarget ? "met" : "MISSED", write / floor);
      summary_ << line;
    }
    std::snprintf(line, sizeof line, "reader peak heap / dataset %.3f (target <= %.1f, %s)\n",
                  reader_.peakRatio, kMemoryTarget, reader_.peakRatio <= kMemoryTarget ? "met" : "MISSED");
    summary_ << line;
    if (load_.Measured()) {
      const double load = load_.Time();
      std::snprintf(line, sizeof line,
                    "headless load %.2f ms, reader %.2f ms: load/reader %.2f (target <= %.1f, %s)\n",
                    load, reader, load / reader, kLoadTimeTarget,
                    load / reader <= kLoadTimeTarget ? "met" : "MISSED");
      summary_ << line;
      std::snprintf(line, sizeof line, "headless load peak heap / dataset %.3f (target <= %.1f, %s)\n",
                    load_.peakRatio, kLoadMemoryTarget,
                    load_.peakRatio <= kLoadMemoryTarget ? "met" : "MISSED");
      summary_ << line;
    }
    if (viewModel_.Measured() && filter_.Measured()) {
      const double ratio = filter_.Time() / viewModel_.Time();
      std::snprintf(line, sizeof line,
                    "filter rebuild %.2f ms, load's view model %.2f ms: ratio %.2f (target <= 1.2, %s)\n",
                    filter_.Time(), viewModel_.Time(), ratio, ratio <= 1.2 ? "met" : "MISSED");
      summary_ << line;
    }
    summary_ << std::flush;
  }

 private:
  struct Figures {
    double sum = 0.0;
    int count = 0;
    double median = -1.0;
    double peakRatio = 0.0;
    bool Measured() const { return median >= 0.0 || count > 0; }
    // The median of repetitions when there were any, else the mean of the runs.
    double Time() const { return median >= 0.0 ? median : sum / count; }
  };

  std::unique_ptr<benchmark::BenchmarkReporter> inner_;
  std::ostream& summary_;
  Figures reader_;
  Figures floor_;
  Figures writeFloor_;
  Figures load_;
  Figures viewModel_;
  Figures filter_;
};

// The reporter --benchmark_format asks for: json, or the console table.
std::string_view RequestedFormat(int argc, char** argv) {
  std::string_view format = "console";
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    constexpr std::string_view kFlag = "--benchmark_format=";
    if (arg.starts_with(kFlag)) format = arg.substr(kFlag.size());
  }
  return format;
}

}  // namespace

int main(int argc, char** argv) {
  // Measure the allocator as the program runs it (VANTIRO_PLAIN_PAGES=1 measures without).
  vantiro::RestartWithHugePageMalloc(argv);
  const char* tunables = std::getenv("GLIBC_TUNABLES");
  std::fprintf(stderr, "allocator: %s\n",
               tunables && std::string_view(tunables).find("hugetlb=1") != std::string_view::npos
                   ? "transparent huge pages (as the program runs)"
                   : "plain pages");
  const std::string_view format = RequestedFormat(argc, argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

  std::unique_ptr<benchmark::BenchmarkReporter> inner;
  if (format == "json") {
    inner = std::make_unique<benchmark::JSONReporter>();
  } else {
    inner = std::make_unique<benchmark::ConsoleReporter>(
        ::isatty(STDOUT_FILENO) ? benchmark::ConsoleReporter::OO_ColorTabular
                                : benchmark::ConsoleReporter::OO_Tabular);
  }
  // The summary goes beside the console table, or to stderr so that json output stays clean.
  TargetReporter reporter(std::move(inner), format == "json" ? std::cerr : std::cout);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
