#include "archive/ChunkCodec.h"

#include <zstd.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>

#include "recorder/Dataset.h"

namespace vantiro {
namespace {

constexpr char kMagic[4] = {'V', 'C', 'K', '1'};
constexpr std::size_t kHeaderBytes = 4 + 4 + 8 + 1;
// A time step's varint is at most 10 bytes, a value's at most 10 (decimal) or 4 (bits).
constexpr std::size_t MaxRawBytes(std::size_t count) { return kHeaderBytes + count * (10 + 10); }
constexpr double kDecimalDivisors[5] = {1.0, 10.0, 100.0, 1000.0, 10000.0};
constexpr int kCompressionLevel = 3;

void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>(v >> (8 * i)));
}
void PutI64(std::string& out, std::int64_t v) {
  const auto u = static_cast<std::uint64_t>(v);
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>(u >> (8 * i)));
}
std::uint32_t GetU32(const unsigned char* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
std::int64_t GetI64(const unsigned char* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return static_cast<std::int64_t>(v);
}

std::uint64_t ZigZag(std::int64_t v) {
  return (static_cast<std::uint64_t>(v) << 1) ^ static_cast<std::uint64_t>(v >> 63);
}
std::int64_t UnZigZag(std::uint64_t u) {
  return static_cast<std::int64_t>(u >> 1) ^ -static_cast<std::int64_t>(u & 1);
}

struct CompressContext {
  CompressContext() : cctx(ZSTD_createCCtx()) {
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, kCompressionLevel);
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, 1);
  }
  ~CompressContext() { ZSTD_freeCCtx(cctx); }
  ZSTD_CCtx* cctx;
};

struct DecompressContext {
  DecompressContext() : dctx(ZSTD_createDCtx()) {}
  ~DecompressContext() { ZSTD_freeDCtx(dctx); }
  ZSTD_DCtx* dctx;
};

}  // namespace

ChunkSummary SummarizeSamples(std::span<const std::int64_t> times, std::span<const float> values) {
  ChunkSummary s;
  const std::size_t n = std::min(times.size(), values.size());
  if (n == 0) return s;
  s.firstMs = times[0];
  s.lastMs = times[n - 1];
  s.count = static_cast<std::uint32_t>(n);
  bool any = false;
  for (std::size_t i = 0; i < n; ++i) {
    const float v = values[i];
    if (IsGapValue(v)) {
      ++s.gapCount;
      continue;
    }
    const double d = v;
    if (!any) {
      s.min = s.max = d;
      any = true;
    } else {
      if (d < s.min) s.min = d;
      if (d > s.max) s.max = d;
    }
    s.sum += d;
  }
  return s;
}

namespace {

void PutVarint(std::string& out, std::uint64_t u) {
  while (u >= 0x80) {
    out.push_back(static_cast<char>(u | 0x80));
    u >>= 7;
  }
  out.push_back(static_cast<char>(u));
}

bool GetVarint(const unsigned char* p, std::size_t end, std::size_t& at, std::uint64_t& u) {
  u = 0;
  for (int shift = 0; shift <= 63; shift += 7) {
    if (at >= end) return false;
    const unsigned char byte = p[at++];
    u |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if (!(byte & 0x80)) return true;
  }
  return false;
}

// The value a decimal integer stands for: the integer divided by 10^d in double precision, then
// rounded to a float, as the recorder file reader scales its raw samples.
float DecimalValue(std::int64_t i, int d) { return static_cast<float>(static_cast<double>(i) / kDecimalDivisors[d]); }

// The fewest decimals d (0..4) with which every value is exactly some integer scaled down by 10^d,
// bit for bit; -1 when there are none (NaN, negative zero, a value of finer resolution).
int DecimalPlaces(std::span<const float> values, std::vector<std::int64_t>& integers) {
  integers.resize(values.size());
  for (int d = 0; d <= 4; ++d) {
    bool all = true;
    for (std::size_t i = 0; i < values.size() && all; ++i) {
      const double scaled = static_cast<double>(values[i]) * kDecimalDivisors[d];
      if (!(std::fabs(scaled) < 9.0e15)) {
        all = false;
        break;
      }
      const auto n = static_cast<std::int64_t>(std::llround(scaled));
      if (std::bit_cast<std::uint32_t>(DecimalValue(n, d)) != std::bit_cast<std::uint32_t>(values[i])) {
        all = false;
        break;
      }
      integers[i] = n;
    }
    if (all) return d;
  }
  return -1;
}

}  // namespace

std::string EncodeChunk(std::span<const std::int64_t> times, std::span<const float> values) {
  const std::size_t n = times.size();
  if (n == 0 || n > kChunkSamples || values.size() != n) return {};
  for (std::size_t i = 1; i < n; ++i) {
    if (times[i] < times[i - 1]) return {};
  }
  std::vector<std::int64_t> integers;
  const int decimals = DecimalPlaces(values, integers);
  std::string raw;
  raw.reserve(kHeaderBytes + n * 6);
  raw.append(kMagic, sizeof kMagic);
  PutU32(raw, static_cast<std::uint32_t>(n));
  PutI64(raw, times[0]);
  // Mode 0: the values' bits; 1..5: decimal integers of 0..4 decimals.
  raw.push_back(static_cast<char>(decimals < 0 ? 0 : decimals + 1));
  std::int64_t previousStep = 0;
  for (std::size_t i = 1; i < n; ++i) {
    const std::int64_t step = times[i] - times[i - 1];
    PutVarint(raw, ZigZag(step - previousStep));
    previousStep = step;
  }
  if (decimals >= 0) {
    std::int64_t previous = 0;
    for (std::size_t i = 0; i < n; ++i) {
      PutVarint(raw, ZigZag(integers[i] - previous));
      previous = integers[i];
    }
  } else {
    const std::size_t planes = raw.size();
    raw.resize(planes + 4 * n);
    std::uint32_t previous = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t bits = std::bit_cast<std::uint32_t>(values[i]);
      const std::uint32_t x = bits ^ previous;
      previous = bits;
      for (std::size_t b = 0; b < 4; ++b) raw[planes + b * n + i] = static_cast<char>(x >> (8 * b));
    }
  }

  thread_local CompressContext context;
  std::string blob(ZSTD_compressBound(raw.size()), '\0');
  const std::size_t size =
      ZSTD_compress2(context.cctx, blob.data(), blob.size(), raw.data(), raw.size());
  if (ZSTD_isError(size)) return {};
  blob.resize(size);
  return blob;
}

bool DecodeChunk(std::string_view blob, std::vector<std::int64_t>& times, std::vector<float>& values,
                 std::string& error) {
  const unsigned long long declared = ZSTD_getFrameContentSize(blob.data(), blob.size());
  if (declared == ZSTD_CONTENTSIZE_ERROR || declared == ZSTD_CONTENTSIZE_UNKNOWN ||
      declared < kHeaderBytes || declared > MaxRawBytes(kChunkSamples)) {
    error = "not a chunk";
    return false;
  }
  thread_local DecompressContext context;
  std::string raw(static_cast<std::size_t>(declared), '\0');
  const std::size_t size = ZSTD_decompressDCtx(context.dctx, raw.data(), raw.size(), blob.data(), blob.size());
  if (ZSTD_isError(size) || size != raw.size()) {
    error = "damaged chunk";
    return false;
  }
  const auto* p = reinterpret_cast<const unsigned char*>(raw.data());
  if (std::memcmp(p, kMagic, sizeof kMagic) != 0) {
    error = "not a chunk";
    return false;
  }
  const std::uint32_t n = GetU32(p + 4);
  const unsigned mode = p[16];
  if (n == 0 || n > kChunkSamples || mode > 5) {
    error = "bad chunk header";
    return false;
  }
  const std::size_t timesAt = times.size();
  const std::size_t valuesAt = values.size();
  auto fail = [&](const char* why) {
    times.resize(timesAt);
    values.resize(valuesAt);
    error = why;
    return false;
  };
  times.resize(timesAt + n);
  std::int64_t t = GetI64(p + 8);
  times[timesAt] = t;
  std::size_t at = kHeaderBytes;
  const std::size_t end = raw.size();
  std::int64_t step = 0;
  for (std::uint32_t i = 1; i < n; ++i) {
    std::uint64_t u = 0;
    if (!GetVarint(p, end, at, u)) return fail("bad time step");
    const std::int64_t change = UnZigZag(u);
    if (__builtin_add_overflow(step, change, &step) || step < 0 || __builtin_add_overflow(t, step, &t)) {
      return fail("bad time step");
    }
    times[timesAt + i] = t;
  }
  values.resize(valuesAt + n);
  if (mode == 0) {
    if (end - at != 4 * std::size_t{n}) return fail("bad value stream length");
    std::uint32_t previous = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
      std::uint32_t x = 0;
      for (std::size_t b = 0; b < 4; ++b) x |= static_cast<std::uint32_t>(p[at + b * n + i]) << (8 * b);
      previous ^= x;
      values[valuesAt + i] = std::bit_cast<float>(previous);
    }
  } else {
    const int decimals = static_cast<int>(mode) - 1;
    std::int64_t integer = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
      std::uint64_t u = 0;
      if (!GetVarint(p, end, at, u)) return fail("bad value");
      if (__builtin_add_overflow(integer, UnZigZag(u), &integer)) return fail("bad value");
      values[valuesAt + i] = DecimalValue(integer, decimals);
    }
    if (at != end) return fail("bad value stream length");
  }
  return true;
}

}  // namespace vantiro
