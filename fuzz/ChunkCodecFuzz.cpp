// The archive's chunk decoder on untrusted bytes: a damaged chunk is an error, never a crash, a
// read past a buffer or a wrong value accepted silently. Byte 0 picks the way in:
//
//   0  the rest is a stored blob as it stands;
//   1  the rest is the chunk's content, compressed into a sound zstd frame first, so that every
//      part of the content's own parsing (header, time steps, value modes) is reached;
//   2  the rest is samples (an 8-byte time step and a 4-byte value each): encoded, the blob then
//      has byte k flipped (k from byte 1); decoding gives the samples exactly, or fails.
//
// Whatever decodes must hold 1..4096 samples with times that never go back, and encode again to a
// blob that decodes to the very same samples.

#include <zstd.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "archive/ChunkCodec.h"

namespace {

using namespace vantiro;

void Require(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "chunk codec invariant violated: %s\n", rule);
  std::abort();
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::bit_cast<std::uint32_t>(a[i]) != std::bit_cast<std::uint32_t>(b[i])) return false;
  }
  return true;
}

void CheckDecoded(const std::vector<std::int64_t>& times, const std::vector<float>& values) {
  Require(!times.empty() && times.size() <= kChunkSamples, "sample count");
  Require(times.size() == values.size(), "times and values pair up");
  for (std::size_t i = 1; i < times.size(); ++i) Require(times[i] >= times[i - 1], "times never go back");
  const std::string again = EncodeChunk(times, values);
  Require(!again.empty(), "what decodes encodes");
  std::vector<std::int64_t> t;
  std::vector<float> v;
  std::string error;
  Require(DecodeChunk(again, t, v, error), "re-encoded decodes");
  Require(t == times && SameBits(v, values), "re-encoded gives the same samples");
}

void Decode(std::string_view blob) {
  std::vector<std::int64_t> times;
  std::vector<float> values;
  std::string error;
  if (DecodeChunk(blob, times, values, error)) {
    CheckDecoded(times, values);
  } else {
    Require(times.empty() && values.empty(), "a refused chunk appends nothing");
    Require(!error.empty(), "a refused chunk says why");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
  switch (data[0] % 3) {
    case 0:
      Decode(rest);
      break;
    case 1: {
      std::string frame(ZSTD_compressBound(rest.size()), '\0');
      ZSTD_CCtx* cctx = ZSTD_createCCtx();
      ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, 1);
      const std::size_t n = ZSTD_compress2(cctx, frame.data(), frame.size(), rest.data(), rest.size());
      ZSTD_freeCCtx(cctx);
      if (ZSTD_isError(n)) return 0;
      frame.resize(n);
      Decode(frame);
      break;
    }
    default: {
      if (rest.size() < 1) return 0;
      const std::size_t flip = static_cast<unsigned char>(rest[0]);
      const std::string_view samples = rest.substr(1);
      std::vector<std::int64_t> times;
      std::vector<float> values;
      std::int64_t t = 1273622400000;
      for (std::size_t at = 0; at + 12 <= samples.size() && times.size() < kChunkSamples; at += 12) {
        std::uint64_t step = 0;
        std::memcpy(&step, samples.data() + at, 8);
        float value = 0.0f;
        std::memcpy(&value, samples.data() + at + 8, 4);
        t += static_cast<std::int64_t>(step % 100000000);
        times.push_back(t);
        values.push_back(value);
      }
      if (times.empty()) return 0;
      std::string blob = EncodeChunk(times, values);
      Require(!blob.empty(), "sound samples encode");
      std::vector<std::int64_t> t2;
      std::vector<float> v2;
      std::string error;
      Require(DecodeChunk(blob, t2, v2, error) && t2 == times && SameBits(v2, values), "round trip");
      blob[flip % blob.size()] = static_cast<char>(blob[flip % blob.size()] ^ 0x5A);
      t2.clear();
      v2.clear();
      if (DecodeChunk(blob, t2, v2, error)) {
        Require(t2 == times && SameBits(v2, values), "a damaged blob never gives other samples");
      }
      break;
    }
  }
  return 0;
}
