#pragma once
// The largest recording the recorder writes, built in code for the benchmarks: 10,485,760 bytes,
// the header and 639 data blocks of 16 channels, each block one record of 8186 samples one second
// apart (5,230,854 samples), values moving within the channel's range, and a header window
// covering every sample.

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "recorder/DateTime.h"
#include "support/RecorderFileBuilder.h"

namespace vantiro::bench {

using vantiro::testing::FieldTime;
using vantiro::testing::kBlock;
using vantiro::testing::RecorderFileBuilder;
using vantiro::testing::RecorderSeconds;
using vantiro::testing::RecordSpec;

inline constexpr int kChannels = 16;
inline constexpr int kDataBlocks = 639;                                   // 15 channels of 40, one of 39
inline constexpr std::size_t kSamplesPerBlock = (kBlock - 12) / 2;        // 8186: one record fills a block
inline constexpr std::size_t kFileSize = kBlock * (1 + kDataBlocks);      // 10,485,760
inline constexpr std::int64_t kExpectedSamples = static_cast<std::int64_t>(kDataBlocks) * kSamplesPerBlock;

static_assert(kFileSize == 10485760);

// What one channel measures: its descriptor and how its signal moves.
struct Signal {
  std::int16_t upper;     // raw range limits
  std::int16_t lower;
  std::uint16_t p;        // decimal-point position
  std::int16_t unit;      // unit code
  double base;            // in engineering units
  double swing;           // amplitude of the slow cycle
  double periodSeconds;   // of the slow cycle
  double walk;            // step of the random drift
  double noise;           // measurement noise
};

inline constexpr Signal kSignals[8] = {
    {2000, -500, 3, 19, 85.0, 12.0, 4 * 3600.0, 0.05, 0.2},      // furnace zone, -50.0..200.0 ℃
    {10000, 0, 1, 12, 2.5, 0.4, 45 * 60.0, 0.002, 0.005},        // line pressure, 0..10.000 Mpa
    {30000, 0, 2, 0, 140.0, 35.0, 6 * 3600.0, 0.1, 0.5},         // flow, 0..300.00 m3/h
    {20000, 4000, 1, 27, 12.0, 3.0, 20 * 60.0, 0.01, 0.02},      // transmitter loop, 4..20.000 mA
    {1000, 0, 3, 20, 55.0, 20.0, 3 * 3600.0, 0.08, 0.3},         // valve opening, 0..100.0 %
    {1400, 0, 2, 22, 7.2, 0.3, 90 * 60.0, 0.002, 0.01},          // pH, 0..14.00
    {1500, -200, 3, 19, 22.0, 4.0, 24 * 3600.0, 0.02, 0.1},      // ambient, -20.0..150.0 ℃
    {3000, 0, 4, 23, 1480.0, 60.0, 30 * 60.0, 0.5, 2.0},         // shaft speed, 0..3000 r/min
};

inline constexpr double kDivisors[5] = {1.0, 1000.0, 100.0, 10.0, 1.0};

// The recording starts 2010-05-12 14:30:00; 40 blocks of 8186 s end before 2010-05-16 09:28.
inline constexpr FieldTime kWindowStart{10, 5, 12, 14, 30, 0};
inline constexpr FieldTime kWindowEnd{10, 5, 16, 12, 0, 0};

inline std::string BuildLargeFile() {
  RecorderFileBuilder file;
  file.Window(kWindowStart, kWindowEnd).Channels(0, kChannels - 1);
  const std::int32_t start = RecorderSeconds(2010, 5, 12, 14, 30, 0);
  std::mt19937 random(20100512);
  std::normal_distribution<double> gauss(0.0, 1.0);
  for (int c = 0; c < kChannels; ++c) {
    const Signal& s = kSignals[c % 8];
    file.Range(c, s.upper, s.lower, s.p, s.unit);
    const double divisor = kDivisors[s.p];  // raw = value * 10^(4 - p)
    const double lower = s.lower / divisor;
    const double upper = s.upper / divisor;
    const double margin = (upper - lower) * 0.02;
    const double phase = 2.0 * std::numbers::pi * c / kChannels;
    const int blocks = c < kChannels - 1 ? 40 : kDataBlocks - 40 * (kChannels - 1);
    double drift = 0.0;
    std::int32_t t = start;
    for (int b = 0; b < blocks; ++b) {
      RecordSpec record{t, 1, std::vector<std::int16_t>(kSamplesPerBlock)};
      for (std::size_t k = 0; k < kSamplesPerBlock; ++k) {
        const double seconds = static_cast<double>(t - start) + static_cast<double>(k);
        drift = 0.999 * drift + s.walk * gauss(random);
        double v = s.base + s.swing * std::sin(2.0 * std::numbers::pi * seconds / s.periodSeconds + phase) +
                   drift + s.noise * gauss(random);
        v = std::clamp(v, lower + margin, upper - margin);
        auto raw = static_cast<std::int16_t>(std::lround(v * divisor));
        if (raw == -1) raw = 0;  // five raw -1 in a row would read as the end-of-record run
        record.samples[k] = raw;
      }
      file.Block(c).Chain({record});
      t += static_cast<std::int32_t>(kSamplesPerBlock);
    }
  }
  return file.Build();
}

// The input, written once to a temporary file that is removed at exit.
class LargeFile {
 public:
  static const LargeFile& Get() {
    static const LargeFile instance;
    return instance;
  }
  const std::string& Path() const { return path_; }
  const std::string& Error() const { return error_; }

  ~LargeFile() {
    if (!path_.empty()) ::unlink(path_.c_str());
  }
  LargeFile(const LargeFile&) = delete;
  LargeFile& operator=(const LargeFile&) = delete;

 private:
  LargeFile() {
    const std::string bytes = BuildLargeFile();
    if (bytes.size() != kFileSize) {
      error_ = "built file has " + std::to_string(bytes.size()) + " bytes";
      return;
    }
    std::string name = (std::filesystem::temp_directory_path() / "recorder_bench_XXXXXX").string();
    const int fd = ::mkstemp(name.data());
    if (fd < 0) {
      error_ = "cannot create a temporary file: " + std::string(std::strerror(errno));
      return;
    }
    path_ = name;
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        error_ = "cannot write the temporary file: " + std::string(std::strerror(errno));
        break;
      }
      done += static_cast<std::size_t>(n);
    }
    ::close(fd);
  }

  std::string path_;
  std::string error_;
};

}  // namespace vantiro::bench
