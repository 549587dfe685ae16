// Writes a starting corpus for fuzz_recorder_reader: small recorder files that pass the header
// checks and walk the reader's paths (record chains, the end run, gaps, value repair, the time
// window, short files), each as a raw and as a compact input with the diagnostic log off, and the
// first two with the log on too (see RecorderCompactForm.h). Usage: fuzz_make_seeds <directory>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "RecorderCompactForm.h"
#include "support/RecorderFileBuilder.h"

namespace {

using vantiro::testing::FieldTime;
using vantiro::testing::RecorderFileBuilder;
using vantiro::testing::RecorderSeconds;
using vantiro::testing::RecordSpec;

constexpr FieldTime kStart{10, 5, 12, 14, 0, 0};
constexpr FieldTime kEnd{10, 5, 12, 15, 0, 0};

std::int32_t At(int minute, int second) { return RecorderSeconds(2010, 5, 12, 14, minute, second); }

std::vector<std::int16_t> Ramp(int count, std::int16_t from, std::int16_t step) {
  std::vector<std::int16_t> samples;
  for (int i = 0; i < count; ++i) samples.push_back(static_cast<std::int16_t>(from + i * step));
  return samples;
}

// `count` samples rising from `from` by one and wrapping after `span`.
std::vector<std::int16_t> Saw(int count, std::int16_t from, int span) {
  std::vector<std::int16_t> samples;
  for (int i = 0; i < count; ++i) samples.push_back(static_cast<std::int16_t>(from + i % span));
  return samples;
}

RecorderFileBuilder Windowed(int first, int last) {
  RecorderFileBuilder file;
  file.Window(kStart, kEnd).Channels(first, last);
  return file;
}

struct Seed {
  std::string name;
  std::string bytes;
};

std::vector<Seed> Seeds() {
  std::vector<Seed> seeds;

  {  // One channel, one record ended by the run of ten 0xFF.
    RecorderFileBuilder file = Windowed(0, 0);
    file.Range(0, 1000, 0, 4, 27);
    file.Block(0).Chain({{At(10, 0), 1, Ramp(20, 100, 7)}});
    seeds.push_back({"one_channel", file.Build()});
  }
  {  // Two channels: gaps of 2 s, 10 s and 1.5 s worth, out-of-range runs, samples before the window.
    RecorderFileBuilder file;
    file.Window(kStart, {10, 5, 12, 23, 59, 59}).Channels(2, 3);  // room for a full block at 1 s
    file.Range(2, 100, 0, 4, 19).Range(3, 5000, -500, 2, 12);
    file.Block(2).Chain({
        {RecorderSeconds(2010, 5, 12, 13, 59, 55), 1, Ramp(8, 10, 1)},
        {At(0, 4), 1, {50, 150, 160, 60}},
        {At(0, 9), 1, {50, 150, 160, 170, 180, 60}},
        {At(0, 24), 1, {300, 20, 30}},
    });
    file.Block(3).Chain({{At(30, 0), 2, Ramp(40, -600, 37)}, {At(31, 30), 2, Ramp(12, 4000, 90)}});
    file.Block(3).Chain({{At(40, 0), 1, Saw(8186, -500, 5000)}}, false);  // fills the block
    seeds.push_back({"two_channels", file.Build()});
  }
  {  // Twelve chained records: only eleven are read.
    RecorderFileBuilder file = Windowed(5, 5);
    std::vector<RecordSpec> records;
    for (int r = 0; r < 12; ++r) records.push_back({At(r, 0), 1, Ramp(5, static_cast<std::int16_t>(r * 10), 1)});
    file.Block(5).Chain(records);
    seeds.push_back({"twelve_records", file.Build()});
  }
  {  // An end offset of 0x4000 ends the block; interval 0; odd decimal points and unit codes.
    RecorderFileBuilder file = Windowed(0, 2);
    file.Range(0, 1000, 0, 0, 83).Range(1, 20000, 4000, 1, 200).Range(2, 30000, -30000, 65535, -1);
    file.Block(0).Record(0, At(1, 0), 0x4000, 1, Ramp(6, 1, 1));
    file.Block(1).Chain({{At(2, 0), 0, Ramp(10, 5000, 100)}});
    file.Block(2).Chain({{At(3, 0), 3, {-1, -1, -1, -1, 7, -1, -1, -1, -1, -1, 8}}});
    seeds.push_back({"odd_fields", file.Build()});
  }
  {  // The block count promises more blocks than the file holds.
    RecorderFileBuilder file = Windowed(0, 1);
    file.Block(0).Chain({{At(5, 0), 1, Ramp(30, 10, 3)}});
    file.Block(1).Chain({{At(6, 0), 1, Ramp(30, 900, -3)}});
    file.BlockCount(1, 3);
    seeds.push_back({"short_file", file.Build()});
  }
  {  // All sixteen channels, no blocks.
    RecorderFileBuilder file = Windowed(0, 15);
    seeds.push_back({"header_only", file.Build()});
  }
  {  // The window's start after its end: every sample is dropped (and logged).
    RecorderFileBuilder file;
    file.Window(kEnd, kStart).Channels(7, 7);
    file.Block(7).Chain({{At(20, 0), 1, Ramp(25, 1, 1)}});
    seeds.push_back({"inverted_window", file.Build()});
  }
  return seeds;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
    return 2;
  }
  const std::filesystem::path directory = argv[1];
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error) {
    std::fprintf(stderr, "cannot create %s: %s\n", directory.c_str(), error.message().c_str());
    return 1;
  }
  using namespace vantiro::fuzzing;
  std::vector<Seed> inputs;
  const std::vector<Seed> seeds = Seeds();
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    const Seed& seed = seeds[i];
    const std::string compact = Compact(seed.bytes);
    inputs.push_back({seed.name + ".raw", static_cast<char>(kRawInput) + seed.bytes});
    inputs.push_back({seed.name + ".compact", '\0' + compact});
    if (i < 2) {
      inputs.push_back(
          {seed.name + ".raw.log", static_cast<char>(kRawInput | kLogOn) + seed.bytes});
      inputs.push_back({seed.name + ".compact.log", static_cast<char>(kLogOn) + compact});
    }
  }
  for (const Seed& input : inputs) {
    const std::filesystem::path path = directory / (input.name + ".bin");
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out || std::fwrite(input.bytes.data(), 1, input.bytes.size(), out) != input.bytes.size()) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      if (out) std::fclose(out);
      return 1;
    }
    std::fclose(out);
    std::printf("%s (%zu bytes)\n", path.c_str(), input.bytes.size());
  }
  return 0;
}
