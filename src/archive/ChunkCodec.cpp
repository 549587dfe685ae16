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
// A time takes at most 10 bytes (its change, or a run count after a change of 0), a value 10
constexpr std::size_t MaxRawBytes(std::size_t count) { return kHeaderBytes + count * 24; }
constexpr double kDecimalDivisors[5] = {1.0, 10.0, 100.0, 1000.0, 10000.0};

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
    ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, kImportCompressionLevel);
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

ValueSums SumValues(const float* values, std::size_t n) {
  ValueSums sums;
  float lo = 0.0f, hi = 0.0f;
  bool any = false;
  double lane[4] = {0.0, 0.0, 0.0, 0.0};
  constexpr std::size_t kBlock = 64;
  for (std::size_t at = 0; at < n; at += kBlock) {
    const std::size_t m = std::min(kBlock, n - at);
    const float* v = values + at;
    // A gap value lies within about 0.016 of -158: a block with nothing near it has no gap, and is
    // summed without a test per value.
    bool near = false;
    for (std::size_t k = 0; k < m; ++k) near |= (v[k] <= -157.9f) & (v[k] >= -158.1f);
    if (!near) {
      float blockLo = v[0], blockHi = v[0];
      for (std::size_t k = 0; k < m; ++k) {
        blockLo = v[k] < blockLo ? v[k] : blockLo;
        blockHi = v[k] > blockHi ? v[k] : blockHi;
      }
      std::size_t k = 0;
      for (; k + 4 <= m; k += 4) {
        lane[0] += v[k];
        lane[1] += v[k + 1];
        lane[2] += v[k + 2];
        lane[3] += v[k + 3];
      }
      for (; k < m; ++k) lane[0] += v[k];
      if (!any) {
        lo = blockLo;
        hi = blockHi;
        any = true;
      } else {
        lo = std::min(lo, blockLo);
        hi = std::max(hi, blockHi);
      }
      sums.count += static_cast<std::int64_t>(m);
      continue;
    }
    for (std::size_t k = 0; k < m; ++k) {
      if (IsGapValue(v[k])) {
        ++sums.gaps;
        continue;
      }
      if (!any) {
        lo = hi = v[k];
        any = true;
      } else {
        lo = std::min(lo, v[k]);
        hi = std::max(hi, v[k]);
      }
      lane[0] += v[k];
      ++sums.count;
    }
  }
  if (any) {
    sums.min = lo;
    sums.max = hi;
    sums.sum = (lane[0] + lane[1]) + (lane[2] + lane[3]);
  }
  return sums;
}

ChunkSummary SummarizeSamples(std::span<const std::int64_t> times, std::span<const float> values) {
  ChunkSummary s;
  const std::size_t n = std::min(times.size(), values.size());
  if (n == 0) return s;
  s.firstMs = times[0];
  s.lastMs = times[n - 1];
  s.count = static_cast<std::uint32_t>(n);
  const ValueSums sums = SumValues(values.data(), n);
  s.gapCount = static_cast<std::uint32_t>(sums.gaps);
  s.min = sums.min;
  s.max = sums.max;
  s.sum = sums.sum;
  return s;
}

namespace {

// Writes a varint at `out` (room for 10 bytes), returning the end.
inline char* PutVarint(char* out, std::uint64_t u) {
  while (u >= 0x80) {
    *out++ = static_cast<char>(u | 0x80);
    u >>= 7;
  }
  *out++ = static_cast<char>(u);
  return out;
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

constexpr double kDecimalScales[5] = {1.0, 0.1, 0.01, 0.001, 0.0001};

// The value a decimal integer stands for: the integer times 10^-d in double precision, rounded to
// a float. (Scaled recorder samples come out of it bit for bit: the check in DecimalPlaces sees to
// that for every chunk; a value that would not is kept by its bits instead.)
float DecimalValue(std::int64_t i, int d) { return static_cast<float>(static_cast<double>(i) * kDecimalScales[d]); }

// v * 10^d rounded to the nearest integer, halves away from zero (a truncating conversion: no
// library call on the hot path); false when it is out of reach.
bool ScaledInteger(float v, int d, std::int64_t& n) {
  const double scaled = static_cast<double>(v) * kDecimalDivisors[d];
  if (!(std::fabs(scaled) < 9.0e15)) return false;
  n = static_cast<std::int64_t>(scaled + (scaled >= 0.0 ? 0.5 : -0.5));
  return true;
}

bool IsDecimal(float v, int d, std::int64_t& n) {
  return ScaledInteger(v, d, n) && std::bit_cast<std::uint32_t>(DecimalValue(n, d)) == std::bit_cast<std::uint32_t>(v);
}

// The fewest decimals d (0..4) with which every value is exactly some integer scaled by 10^-d, bit
// for bit; -1 when there are none (NaN, negative zero, a value of finer resolution). The first
// value sets where to start, so a chunk of scaled samples takes one pass.
int DecimalPlaces(std::span<const float> values, std::vector<std::int64_t>& integers) {
  integers.resize(values.size());
  int first = -1;
  std::int64_t n = 0;
  for (int d = 0; d <= 4 && first < 0; ++d) {
    if (IsDecimal(values[0], d, n)) first = d;
  }
  if (first < 0) return -1;
  for (int d = first; d <= 4; ++d) {
    bool all = true;
    for (std::size_t i = 0; i < values.size(); ++i) {
      if (!IsDecimal(values[i], d, integers[i])) {
        all = false;
        break;
      }
    }
    if (all) return d;
  }
  return -1;
}

}  // namespace

std::string EncodeChunk(std::span<const std::int64_t> times, std::span<const float> values, int level) {
  const std::size_t n = times.size();
  if (n == 0 || n > kChunkSamples || values.size() != n) return {};
  for (std::size_t i = 1; i < n; ++i) {
    if (times[i] < times[i - 1]) return {};
  }
  // Buffers kept from chunk to chunk: fresh memory costs more than the encoding.
  thread_local std::vector<std::int64_t> integers;
  thread_local std::unique_ptr<char[]> rawBuffer(new char[MaxRawBytes(kChunkSamples)]);
  thread_local std::unique_ptr<char[]> frameBuffer(new char[ZSTD_compressBound(MaxRawBytes(kChunkSamples))]);
  const int decimals = DecimalPlaces(values, integers);
  // Written in place into room for the worst case.
  char* const raw = rawBuffer.get();
  std::memcpy(raw, kMagic, sizeof kMagic);
  std::string header;
  PutU32(header, static_cast<std::uint32_t>(n));
  PutI64(header, times[0]);
  std::memcpy(raw + 4, header.data(), header.size());
  // Mode 0: the values' bits; 1..5: decimal integers of 0..4 decimals.
  raw[16] = static_cast<char>(decimals < 0 ? 0 : decimals + 1);
  char* out = raw + kHeaderBytes;
  std::int64_t previousStep = 0;
  for (std::size_t i = 1; i < n;) {
    const std::int64_t step = times[i] - times[i - 1];
    const std::uint64_t change = ZigZag(step - previousStep);
    out = PutVarint(out, change);
    previousStep = step;
    ++i;
    if (change == 0) {
      // A run of equal steps: how many more follow.
      std::size_t run = 0;
      while (i < n && times[i] - times[i - 1] == step) {
        ++run;
        ++i;
      }
      out = PutVarint(out, run);
    }
  }
  if (decimals >= 0) {
    std::int64_t previous = 0;
    for (std::size_t i = 0; i < n; ++i) {
      out = PutVarint(out, ZigZag(integers[i] - previous));
      previous = integers[i];
    }
  } else {
    char* planes = out;
    std::uint32_t previous = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const std::uint32_t bits = std::bit_cast<std::uint32_t>(values[i]);
      const std::uint32_t x = bits ^ previous;
      previous = bits;
      for (std::size_t b = 0; b < 4; ++b) planes[b * n + i] = static_cast<char>(x >> (8 * b));
    }
    out = planes + 4 * n;
  }
  const std::size_t rawSize = static_cast<std::size_t>(out - raw);

  thread_local CompressContext context;
  ZSTD_CCtx_setParameter(context.cctx, ZSTD_c_compressionLevel, level);
  const std::size_t size = ZSTD_compress2(context.cctx, frameBuffer.get(),
                                          ZSTD_compressBound(MaxRawBytes(kChunkSamples)), raw, rawSize);
  if (ZSTD_isError(size)) return {};
  return std::string(frameBuffer.get(), size);
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
  for (std::uint32_t i = 1; i < n;) {
    std::uint64_t u = 0;
    if (!GetVarint(p, end, at, u)) return fail("bad time step");
    const std::int64_t change = UnZigZag(u);
    if (__builtin_add_overflow(step, change, &step) || step < 0 || __builtin_add_overflow(t, step, &t)) {
      return fail("bad time step");
    }
    times[timesAt + i++] = t;
    if (u == 0) {
      std::uint64_t run = 0;
      if (!GetVarint(p, end, at, run) || run > n - i) return fail("bad run of time steps");
      for (std::uint64_t k = 0; k < run; ++k) {
        if (__builtin_add_overflow(t, step, &t)) return fail("bad time step");
        times[timesAt + i++] = t;
      }
    }
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
