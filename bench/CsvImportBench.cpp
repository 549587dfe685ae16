// The CSV import on a million GBK lines of single samples (16 channels, one line per sample,
// dates written the way the recorder's own export writes them).
//
// VANTIRO_CSV_FILE names an existing file to import instead (bench/csv-import-vs-pandas uses it
// to measure this import and pandas on the same bytes).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/MallocTuning.h"
#include "recorder/CsvImport.h"
#include "recorder/GbkText.h"

namespace {

constexpr int kLines = 1000000;

class CsvFile {
 public:
  static const CsvFile& Get() {
    static const CsvFile file;
    return file;
  }
  const std::string& Path() const { return path_; }

 private:
  CsvFile() {
    if (const char* given = std::getenv("VANTIRO_CSV_FILE"); given && *given) {
      path_ = given;
      return;
    }
    path_ = (std::filesystem::temp_directory_path() /
             ("vantiro-csv-bench-" + std::to_string(::getpid()) + ".csv"))
                .string();
    owned_ = true;
    std::ofstream out(path_, std::ios::binary);
    std::mt19937 random(7);
    std::uniform_real_distribution<double> value(-100.0, 1000.0);
    const char* units[] = {"℃", "mA", "%", "Kpa"};
    std::string chunk = vantiro::Utf8ToGbk("序号,通道,数值,时间,单位\r\n");
    for (int i = 0; i < kLines; ++i) {
      const int channel = i % 16 + 1;
      const int second = i / 16;
      char line[160];
      std::snprintf(line, sizeof line, "%d,%d,%.3f,2010年05月12日 %02d:%02d:%02d,%s\r\n", i + 1,
                    channel, value(random), second / 3600 % 24, second / 60 % 60, second % 60,
                    units[channel % 4]);
      chunk += vantiro::Utf8ToGbk(line);
      if (chunk.size() > (1 << 20)) {
        out << chunk;
        chunk.clear();
      }
    }
    out << chunk;
  }
  ~CsvFile() {
    if (owned_) std::remove(path_.c_str());
  }

  std::string path_;
  bool owned_ = false;
};

void CsvImportBench(benchmark::State& state) {
  const CsvFile& file = CsvFile::Get();
  std::int64_t lines = 0;
  for (auto _ : state) {
    vantiro::DatasetSummary summary;
    std::vector<vantiro::ChannelInfo> channels;
    if (vantiro::ImportCsvFile(file.Path(), summary, channels)) {
      state.SkipWithError("the CSV file could not be opened");
      break;
    }
    lines = summary.sampleCount;
    state.PauseTiming();
    channels = {};
    state.ResumeTiming();
  }
  state.counters["lines"] = static_cast<double>(lines);
  state.counters["lines/s"] =
      benchmark::Counter(static_cast<double>(lines), benchmark::Counter::kIsIterationInvariantRate);
}

BENCHMARK(CsvImportBench)->Name("CsvImport")->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  vantiro::RestartWithHugePageMalloc(argv);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
