// Speed and size of the recording archive, on the largest file and on a year of one recorder.
//
// Set-up (once, kept in $VANTIRO_BENCH_DATA, default <tmp>/vantiro-bench-year): the year's 96
// files (YearOfRecordings.h) and their SQLite archive, imported file by file; the import's time and
// rate, the archive's size against the files', and the peak memory of a process that takes the
// year's envelope are printed before the benchmarks run.
//
//   ReadLargeFile       the recorder file reader on the 10 MB file (the reference)
//   ImportLargeFile     the same file read and imported into a fresh SQLite archive (target: 3x)
//   EnvelopeYear        the year's envelope for 1282 columns (target: 100 ms)
//   EnvelopeDay         one day's envelope for 1282 columns (target: 50 ms)
//   ReadDay             one day of 16 channels as a dataset
//   ReadDayFromFile     the file holding that day read whole, scaled to the day's share of its
//                       samples (target: ReadDay within 2x)
//   Month*              a month on the tests' kind of throwaway PostgreSQL server: our envelope
//                       against the same month kept as plain rows (time, channel, value) with an
//                       index and min/max per pixel column from a GROUP BY (run when a server can
//                       be started; skipped otherwise)

#include <benchmark/benchmark.h>
#include <libpq-fe.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "LargeRecording.h"
#include "YearOfRecordings.h"
#include "archive/Archive.h"
#include "archive/ArchiveSources.h"
#include "platform/MallocTuning.h"
#include "recorder/RecorderFile.h"
#include "support/PostgresServer.h"

namespace {

namespace fs = std::filesystem;
using namespace vantiro;
using Clock = std::chrono::steady_clock;

using bench::YearArchive;
using bench::YearDataFolder;
using bench::YearFile;
using bench::YearFolder;

double Seconds(Clock::time_point since) { return std::chrono::duration<double>(Clock::now() - since).count(); }

std::int64_t Ms(std::int32_t since2000) { return ToArchiveMs(RecorderSecondsToDateTime(since2000)); }

// The day benchmarked: the third day of file 48 (mid-June), midnight to midnight.
std::int64_t DayStart() {
  const std::int32_t start = bench::YearFileStart(47) + 86400;
  return Ms(start - start % 86400);
}

std::unique_ptr<Archive> OpenYear() {
  std::string error;
  auto archive = Archive::Open(YearArchive(), false, error);
  if (!archive) std::fprintf(stderr, "year archive: %s\n", error.c_str());
  return archive;
}

bool SetUpYear() {
  const auto started = Clock::now();
  if (!bench::WriteYear(YearFolder())) {
    std::fprintf(stderr, "cannot write the year's files into %s\n", YearFolder().c_str());
    return false;
  }
  std::printf("year: %d files in %s (%.1f s to make those missing)\n", bench::kYearFiles, YearFolder().c_str(),
              Seconds(started));
  std::uint64_t fileBytes = 0;
  for (int i = 0; i < bench::kYearFiles; ++i) fileBytes += fs::file_size(YearFile(i));
  if (!fs::exists(YearArchive())) {
    std::string error;
    auto archive = Archive::Open(YearArchive() + ".part", true, error);
    if (!archive) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return false;
    }
    double readSeconds = 0.0;
    double importSeconds = 0.0;
    std::int64_t samples = 0;
    for (int i = 0; i < bench::kYearFiles; ++i) {
      auto t0 = Clock::now();
      SourceRecording recording;
      if (LoadRecordingFile(YearFile(i), recording)) return false;
      readSeconds += Seconds(t0);
      t0 = Clock::now();
      const ImportResult result = archive->Import("year", recording);
      importSeconds += Seconds(t0);
      if (result.outcome != ImportResult::Outcome::Imported) {
        std::fprintf(stderr, "import failed: %s\n", result.message.c_str());
        return false;
      }
      samples += result.added;
    }
    archive.reset();
    fs::rename(YearArchive() + ".part", YearArchive());
    std::printf("year import: %lld samples, reading %.2f s + importing %.2f s = %.1f M samples/s "
                "(reading alone %.1f M samples/s; import %.2fx the reading)\n",
                static_cast<long long>(samples), readSeconds, importSeconds,
                samples / (readSeconds + importSeconds) / 1e6, samples / readSeconds / 1e6,
                (readSeconds + importSeconds) / readSeconds);
  }
  std::uint64_t archiveBytes = fs::file_size(YearArchive());
  for (const char* suffix : {"-wal", "-shm"}) {
    if (fs::exists(YearArchive() + suffix)) archiveBytes += fs::file_size(YearArchive() + suffix);
  }
  std::printf("year size: files %.1f MB, archive %.1f MB (%.3f of the files)\n", fileBytes / 1e6,
              archiveBytes / 1e6, static_cast<double>(archiveBytes) / static_cast<double>(fileBytes));
  // The peak memory of a process that opens the archive and takes the year's envelope.
  const pid_t child = ::fork();
  if (child == 0) {
    auto archive = OpenYear();
    std::string error;
    const auto id = archive ? archive->FindRecorder("year", error) : std::nullopt;
    if (!id || !archive->Envelope(id->id, Ms(bench::YearFileStart(0)), Ms(bench::YearFileStart(95) + bench::kFileSeconds), {}, 1282, error)) {
      ::_exit(1);
    }
    ::_exit(0);
  }
  int status = 0;
  rusage usage{};
  ::wait4(child, &status, 0, &usage);
  std::printf("year envelope: peak memory of the process %.1f MB (target 300 MB)\n", usage.ru_maxrss / 1024.0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void ReadLargeFile(benchmark::State& state) {
  const std::string& path = bench::LargeFile::Get().Path();
  RecorderLogOptions noLog;
  noLog.mode = RecorderLogOptions::Mode::Off;
  for (auto _ : state) {
    DatasetSummary summary;
    std::vector<ChannelInfo> channels;
    benchmark::DoNotOptimize(ReadRecorderFile(path, summary, channels, noLog));
  }
}
BENCHMARK(ReadLargeFile)->Unit(benchmark::kMillisecond)->MinTime(1.0);

void ImportLargeFile(benchmark::State& state) {
  const std::string& path = bench::LargeFile::Get().Path();
  const std::string archivePath = (fs::temp_directory_path() / ("vantiro-bench-import-" + std::to_string(::getpid()) + ".sqlite")).string();
  std::uint64_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(archivePath + suffix);
    std::string error;
    auto archive = Archive::Open(archivePath, true, error);
    state.ResumeTiming();
    SourceRecording recording;
    LoadRecordingFile(path, recording);
    const ImportResult result = archive->Import("bench", recording);
    if (result.outcome != ImportResult::Outcome::Imported) state.SkipWithError(result.message.c_str());
    state.PauseTiming();
    archive.reset();
    bytes = fs::file_size(archivePath);
    state.ResumeTiming();
  }
  state.counters["archive/file"] = static_cast<double>(bytes) / static_cast<double>(bench::kFileSize);
  for (const char* suffix : {"", "-wal", "-shm"}) fs::remove(archivePath + suffix);
}
BENCHMARK(ImportLargeFile)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void Envelope(benchmark::State& state, std::int64_t from, std::int64_t to) {
  auto archive = OpenYear();
  std::string error;
  const auto recorder = archive->FindRecorder("year", error);
  std::size_t buckets = 0;
  for (auto _ : state) {
    const auto envelope = archive->Envelope(recorder->id, from, to, {}, 1282, error);
    if (!envelope) state.SkipWithError(error.c_str());
    buckets = 0;
    for (const ChannelEnvelope& c : *envelope) buckets += c.buckets.size();
  }
  state.counters["columns"] = static_cast<double>(buckets);
}
void EnvelopeYear(benchmark::State& state) {
  Envelope(state, Ms(bench::YearFileStart(0)), Ms(bench::YearFileStart(95) + bench::kFileSeconds));
}
BENCHMARK(EnvelopeYear)->Unit(benchmark::kMillisecond);
void EnvelopeDay(benchmark::State& state) { Envelope(state, DayStart(), DayStart() + 86400000 - 1); }
BENCHMARK(EnvelopeDay)->Unit(benchmark::kMillisecond);

std::int64_t daySamples = 0;

void ReadDay(benchmark::State& state) {
  auto archive = OpenYear();
  std::string error;
  const auto recorder = archive->FindRecorder("year", error);
  for (auto _ : state) {
    DatasetSummary summary;
    std::vector<ChannelInfo> channels;
    if (!archive->ReadPeriod(recorder->id, DayStart(), DayStart() + 86400000 - 1, {}, false, summary, channels, error)) {
      state.SkipWithError(error.c_str());
    }
    daySamples = 0;
    for (const ChannelInfo& c : channels) daySamples += static_cast<std::int64_t>(c.times.size());
  }
  state.counters["samples"] = static_cast<double>(daySamples);
}
BENCHMARK(ReadDay)->Unit(benchmark::kMillisecond);

void ReadDayFromFile(benchmark::State& state) {
  RecorderLogOptions noLog;
  noLog.mode = RecorderLogOptions::Mode::Off;
  std::int64_t fileSamples = 0;
  const auto t0 = Clock::now();
  std::int64_t runs = 0;
  for (auto _ : state) {
    DatasetSummary summary;
    std::vector<ChannelInfo> channels;
    ReadRecorderFile(YearFile(47), summary, channels, noLog);
    fileSamples = 0;
    for (const ChannelInfo& c : channels) fileSamples += static_cast<std::int64_t>(c.times.size());
    ++runs;
  }
  const double perRun = Seconds(t0) / static_cast<double>(std::max<std::int64_t>(runs, 1));
  // The file's time for the day's share of its samples.
  state.counters["day_share_ms"] =
      fileSamples > 0 ? perRun * 1e3 * static_cast<double>(daySamples) / static_cast<double>(fileSamples) : 0.0;
}
BENCHMARK(ReadDayFromFile)->Unit(benchmark::kMillisecond);

// ----- A month on PostgreSQL: our summaries against plain rows.

struct MonthOnServer {
  std::unique_ptr<testing::PostgresServer> server;
  std::string archiveUrl;
  std::string rowsUrl;
  std::int64_t from = 0;
  std::int64_t to = 0;
  bool ok = false;
};

MonthOnServer& Month() {
  static MonthOnServer month = [] {
    MonthOnServer m;
    m.server = std::make_unique<testing::PostgresServer>();
    if (!m.server->Ok()) {
      std::fprintf(stderr, "no PostgreSQL server: %s\n", m.server->Error().c_str());
      return m;
    }
    m.archiveUrl = m.server->NewDatabase();
    m.rowsUrl = m.server->NewDatabase();
    m.from = Ms(bench::YearFileStart(0));
    m.to = Ms(bench::YearFileStart(7) + bench::kFileSeconds) - 1;
    std::string error;
    auto archive = Archive::Open(m.archiveUrl, true, error);
    PGconn* rows = PQconnectdb(m.rowsUrl.substr(0, m.rowsUrl.size()).c_str());
    if (!archive || PQstatus(rows) != CONNECTION_OK) return m;
    PQclear(PQexec(rows, "CREATE TABLE samples (t BIGINT NOT NULL, channel INTEGER NOT NULL, value REAL NOT NULL)"));
    const auto t0 = Clock::now();
    for (int i = 0; i < 8; ++i) {
      SourceRecording recording;
      if (LoadRecordingFile(YearFile(i), recording)) return m;
      archive->Import("month", recording);
      PQclear(PQexec(rows, "COPY samples FROM STDIN"));
      std::string text;
      for (const ChannelInfo& c : recording.channels) {
        for (std::size_t k = 0; k < c.times.size(); ++k) {
          if (IsGapValue(c.values[k])) continue;
          char line[96];
          const int n = std::snprintf(line, sizeof line, "%lld\t%d\t%.9g\n",
                                      static_cast<long long>(ToArchiveMs(c.times[k])), c.number,
                                      static_cast<double>(c.values[k]));
          text.append(line, static_cast<std::size_t>(n));
          if (text.size() > (1 << 20)) {
            PQputCopyData(rows, text.data(), static_cast<int>(text.size()));
            text.clear();
          }
        }
      }
      PQputCopyData(rows, text.data(), static_cast<int>(text.size()));
      PQputCopyEnd(rows, nullptr);
      PQclear(PQgetResult(rows));
    }
    PQclear(PQexec(rows, "CREATE INDEX samples_by_channel_time ON samples (channel, t)"));
    PQclear(PQexec(rows, "ANALYZE samples"));
    PQfinish(rows);
    std::printf("month on the server: set up in %.1f s (archive and plain rows)\n", Seconds(t0));
    m.ok = true;
    return m;
  }();
  return month;
}

void MonthEnvelopeOnServer(benchmark::State& state) {
  MonthOnServer& m = Month();
  if (!m.ok) {
    state.SkipWithError("no server");
    return;
  }
  std::string error;
  auto archive = Archive::Open(m.archiveUrl, false, error);
  const auto recorder = archive->FindRecorder("month", error);
  for (auto _ : state) {
    const auto envelope = archive->Envelope(recorder->id, m.from, m.to, {}, 1282, error);
    if (!envelope) state.SkipWithError(error.c_str());
  }
}
BENCHMARK(MonthEnvelopeOnServer)->Unit(benchmark::kMillisecond);

void MonthPlainRowsOnServer(benchmark::State& state) {
  MonthOnServer& m = Month();
  if (!m.ok) {
    state.SkipWithError("no server");
    return;
  }
  PGconn* rows = PQconnectdb(m.rowsUrl.c_str());
  const std::string span = std::to_string(m.to - m.from + 1);
  const std::string sql = "SELECT channel, (t - " + std::to_string(m.from) + ") * 1282 / " + span +
                          " AS col, MIN(value), MAX(value) FROM samples WHERE t BETWEEN " + std::to_string(m.from) +
                          " AND " + std::to_string(m.to) + " GROUP BY channel, col ORDER BY channel, col";
  for (auto _ : state) {
    PGresult* result = PQexec(rows, sql.c_str());
    if (PQresultStatus(result) != PGRES_TUPLES_OK) state.SkipWithError(PQresultErrorMessage(result));
    PQclear(result);
  }
  PQfinish(rows);
}
BENCHMARK(MonthPlainRowsOnServer)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  vantiro::RestartWithHugePageMalloc(argv);
  benchmark::Initialize(&argc, argv);
  if (!SetUpYear()) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
