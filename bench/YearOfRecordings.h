#pragma once
// A year of one recorder as the technician copies it to the PC: 96 files of 10,485,760 bytes, each
// 16 channels at 1 s for 40 blocks (327,440 s, about 3.8 days; the 16th channel one block short, as
// in the largest file), about 500 million samples in all. Every eighth file is followed by a pause
// of two days (the recorder switched off), and in every file one channel pauses for ten minutes in
// its middle and another reads beyond its range for five minutes (a sensor break, which the reader
// repairs).

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "LargeRecording.h"

namespace vantiro::bench {

// Where the benchmarks keep the year: $VANTIRO_BENCH_DATA, else vantiro-bench-year in the temporary
// folder; its files in files/, its archive in year.sqlite.
inline std::string YearDataFolder() {
  if (const char* named = std::getenv("VANTIRO_BENCH_DATA"); named && *named) return named;
  return (std::filesystem::temp_directory_path() / "vantiro-bench-year").string();
}
inline std::string YearFolder() { return YearDataFolder() + "/files"; }
inline std::string YearArchive() { return YearDataFolder() + "/year.sqlite"; }

inline constexpr int kYearFiles = 96;
inline constexpr std::int32_t kFileSeconds = 40 * static_cast<std::int32_t>(kSamplesPerBlock);
inline constexpr std::int32_t kPauseSeconds = 2 * 86400;

// File `index` of the year (0-based) in YearFolder().
inline std::string YearFile(int index) {
  char name[32];
  std::snprintf(name, sizeof name, "/2025-%02d.bin", index + 1);
  return YearFolder() + name;
}

// Seconds since 2000 at which file `index` starts: 2025-01-01 00:00:00 on.
inline std::int32_t YearFileStart(int index) {
  return RecorderSeconds(2025, 1, 1, 0, 0, 0) + index * kFileSeconds + (index / 8) * kPauseSeconds;
}

inline FieldTime FieldOf(std::int32_t since2000) {
  long z = since2000 / 86400 + 10957 + 719468;
  const long rest = since2000 % 86400;
  const long era = (z >= 0 ? z : z - 146096) / 146097;
  const long doe = z - era * 146097;
  const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const long mp = (5 * doy + 2) / 153;
  const long d = doy - (153 * mp + 2) / 5 + 1;
  const long m = mp < 10 ? mp + 3 : mp - 9;
  const long y = yoe + era * 400 + (m <= 2);
  return FieldTime{static_cast<int>(y - 2000), static_cast<int>(m), static_cast<int>(d), static_cast<int>(rest / 3600),
                   static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60)};
}

inline std::string BuildYearFile(int index) {
  RecorderFileBuilder file;
  const std::int32_t start = YearFileStart(index);
  file.Window(FieldOf(start), FieldOf(start + kFileSeconds - 1)).Channels(0, kChannels - 1);
  std::mt19937 random(static_cast<unsigned>(20250101 + index));
  std::normal_distribution<double> gauss(0.0, 1.0);
  const int pausing = index % kChannels;
  const int breaking = (index + 7) % kChannels;
  for (int c = 0; c < kChannels; ++c) {
    const Signal& s = kSignals[c % 8];
    file.Range(c, s.upper, s.lower, s.p, s.unit);
    const double divisor = kDivisors[s.p];
    const double lower = s.lower / divisor;
    const double upper = s.upper / divisor;
    const double margin = (upper - lower) * 0.02;
    const double phase = 2.0 * std::numbers::pi * c / kChannels;
    const int blocks = c < kChannels - 1 ? 40 : 39;
    double drift = 0.0;
    std::int32_t t = start;
    for (int b = 0; b < blocks; ++b) {
      std::vector<std::int16_t> samples(kSamplesPerBlock);
      for (std::size_t k = 0; k < kSamplesPerBlock; ++k) {
        const double seconds = static_cast<double>(t - YearFileStart(0)) + static_cast<double>(k);
        drift = 0.999 * drift + s.walk * gauss(random);
        double v = s.base + s.swing * std::sin(2.0 * std::numbers::pi * seconds / s.periodSeconds + phase) +
                   drift + s.noise * gauss(random);
        v = std::clamp(v, lower + margin, upper - margin);
        auto raw = static_cast<std::int16_t>(std::lround(v * divisor));
        if (raw == -1) raw = 0;
        samples[k] = raw;
      }
      if (c == breaking && b == 20) {
        for (std::size_t k = 1000; k < 1300; ++k) samples[k] = static_cast<std::int16_t>(s.upper + 500);
      }
      if (c == pausing && b == 20) {
        // Two records: the second starts ten minutes late, and the block holds the same bytes.
        const std::size_t half = kSamplesPerBlock / 2;
        std::vector<std::int16_t> first(samples.begin(), samples.begin() + static_cast<long>(half));
        std::vector<std::int16_t> second(samples.begin() + static_cast<long>(half) + 300, samples.end());
        file.Block(c).Chain({{t, 1, first}, {t + static_cast<std::int32_t>(half) + 600, 1, second}});
      } else {
        file.Block(c).Chain({{t, 1, samples}});
      }
      t += static_cast<std::int32_t>(kSamplesPerBlock);
    }
  }
  return file.Build();
}

// Writes the year's files into `folder` as 2025-NN.bin (those already there are kept); false when
// one could not be written.
inline bool WriteYear(const std::string& folder, int files = kYearFiles) {
  std::filesystem::create_directories(folder);
  for (int i = 0; i < files; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/2025-%02d.bin", i + 1);
    const std::string path = folder + name;
    if (std::filesystem::exists(path)) continue;
    const std::string bytes = BuildYearFile(i);
    std::ofstream out(path + ".part", std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) return false;
    std::filesystem::rename(path + ".part", path);
  }
  return true;
}

}  // namespace vantiro::bench
