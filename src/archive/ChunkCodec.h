#pragma once
// A chunk: up to kChunkSamples samples of one channel of one source, in time order, as one
// compressed blob. Times are whole milliseconds on the local wall clock counted from 1970-01-01
// (as if the wall clock were UTC: a day is always 86,400,000 ms, midnights fall on multiples of
// it); values are the samples' single-precision floats bit for bit, a gap sample being the gap
// value like any other.
//
// Layout before compression:
//   "VCK1", uint32 count, int64 first time (little-endian), uint8 value mode;
//   the times from the second on, each a zigzag varint of its step minus the step before (the
//   first step's predecessor is 0); a 0 (the same step again) is followed by a varint count of
//   further times with that step, so that regular sampling takes a few bytes a chunk;
//   the values: in mode d + 1 (d = 0..4), when every value is exactly an integer divided by 10^d
//   and rounded to a float (as the recorder's raw samples are scaled), each integer as a zigzag
//   varint of its change from the one before; in mode 0 four planes of bytes (all the first bytes,
//   then all the second...) of each value's bits XOR the bits of the value before it.
// The whole is one zstd frame with its content checksum: a damaged chunk is an error on decoding,
// never a wrong value taken silently.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vantiro {

inline constexpr std::size_t kChunkSamples = 4096;

// What a chunk's row says of it beside its blob: the first and last time, the number of entries,
// the gap samples among them, and the lowest, highest and sum of the values that are not gaps
// (all three 0 when there are none).
struct ChunkSummary {
  std::int64_t firstMs = 0;
  std::int64_t lastMs = 0;
  std::uint32_t count = 0;
  std::uint32_t gapCount = 0;
  double min = 0.0;
  double max = 0.0;
  double sum = 0.0;
  friend bool operator==(const ChunkSummary&, const ChunkSummary&) = default;
};

ChunkSummary SummarizeSamples(std::span<const std::int64_t> times, std::span<const float> values);

// The values among `n` that are not gaps: how many, their lowest, highest and sum (the sum in
// four lanes, so its last bits may differ from a sum in order). Runs once a sample on import.
struct ValueSums {
  std::int64_t count = 0;
  std::int64_t gaps = 0;
  double min = 0.0;
  double max = 0.0;
  double sum = 0.0;
};
ValueSums SumValues(const float* values, std::size_t n);

// zstd's level for imports (fast), and for live chunks (small, rewritten every few seconds: the
// time is there to make them smaller).
inline constexpr int kImportCompressionLevel = 1;
inline constexpr int kLiveCompressionLevel = 3;

// The blob of `times` (ascending or equal, at most kChunkSamples, at least one) and their
// `values` (as many), compressed at `level`. An empty string when the input breaks those rules.
std::string EncodeChunk(std::span<const std::int64_t> times, std::span<const float> values,
                        int level = kImportCompressionLevel);

// The samples of a blob, appended to `times` and `values`. False, with `error` saying what is
// wrong and nothing appended, for anything that is not a whole, undamaged chunk.
bool DecodeChunk(std::string_view blob, std::vector<std::int64_t>& times, std::vector<float>& values,
                 std::string& error);

}  // namespace vantiro
