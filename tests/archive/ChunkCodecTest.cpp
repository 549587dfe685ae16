#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "archive/ChunkCodec.h"
#include "archive/ContentHash.h"
#include "recorder/Dataset.h"

namespace vantiro {
namespace {

struct Samples {
  std::vector<std::int64_t> times;
  std::vector<float> values;
};

Samples Regular(std::size_t n, std::int64_t start, std::int64_t step) {
  Samples s;
  for (std::size_t i = 0; i < n; ++i) {
    s.times.push_back(start + static_cast<std::int64_t>(i) * step);
    s.values.push_back(static_cast<float>(20.0 + 0.1 * static_cast<double>(i % 37)));
  }
  return s;
}

void ExpectRoundTrip(const Samples& s) {
  const std::string blob = EncodeChunk(s.times, s.values);
  ASSERT_FALSE(blob.empty());
  std::vector<std::int64_t> times = {7};  // decoding appends
  std::vector<float> values = {7.0f};
  std::string error;
  ASSERT_TRUE(DecodeChunk(blob, times, values, error)) << error;
  ASSERT_EQ(times.size(), s.times.size() + 1);
  ASSERT_EQ(values.size(), s.values.size() + 1);
  for (std::size_t i = 0; i < s.times.size(); ++i) {
    ASSERT_EQ(times[i + 1], s.times[i]) << i;
    // Bit for bit: NaN payloads, negative zero and the gap value included.
    ASSERT_EQ(std::bit_cast<std::uint32_t>(values[i + 1]), std::bit_cast<std::uint32_t>(s.values[i])) << i;
  }
}

TEST(ChunkCodecTest, SamplesComeBackBitForBit) {
  std::mt19937_64 random(42);
  struct Case {
    const char* name;
    Samples samples;
  };
  std::vector<Case> cases;
  cases.push_back({"one sample", Regular(1, 1273622400000, 1000)});
  cases.push_back({"a full chunk at 1 s", Regular(kChunkSamples, 1273622400000, 1000)});
  cases.push_back({"milliseconds apart", Regular(500, 1273622400123, 1)});
  cases.push_back({"before 1970", Regular(300, -2208988800000, 60000)});
  {
    Samples s = Regular(1000, 1273622400000, 2000);
    s.times[10] = s.times[9];  // two samples of one time
    s.values[500] = GapValue;
    s.values[501] = GapValue;
    s.values[7] = -0.0f;
    s.values[8] = std::numeric_limits<float>::quiet_NaN();
    s.values[9] = std::numeric_limits<float>::infinity();
    s.values[11] = std::numeric_limits<float>::denorm_min();
    s.values[12] = std::numeric_limits<float>::max();
    cases.push_back({"gaps and odd values", s});
  }
  {
    Samples s;
    std::int64_t t = 1273622400000;
    for (int i = 0; i < 3000; ++i) {
      t += static_cast<std::int64_t>(random() % 100000);  // irregular steps, zero included
      s.times.push_back(t);
      s.values.push_back(std::bit_cast<float>(static_cast<std::uint32_t>(random())));
    }
    cases.push_back({"random steps and bits", s});
  }
  {
    // Steps that change by the most a time can: the far past to the far future.
    Samples s;
    s.times = {std::numeric_limits<std::int64_t>::min() / 4, 0, std::numeric_limits<std::int64_t>::max() / 4};
    s.values = {1.0f, 2.0f, 3.0f};
    cases.push_back({"huge steps", s});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ExpectRoundTrip(c.samples);
  }
}

TEST(ChunkCodecTest, WhatIsNotAChunkIsRefusedByTheEncoder) {
  const Samples ok = Regular(10, 0, 1000);
  EXPECT_TRUE(EncodeChunk({}, {}).empty());
  const Samples big = Regular(kChunkSamples + 1, 0, 1000);
  EXPECT_TRUE(EncodeChunk(big.times, big.values).empty());
  EXPECT_TRUE(EncodeChunk(ok.times, std::span<const float>(ok.values.data(), 9)).empty());
  Samples backwards = ok;
  std::swap(backwards.times[3], backwards.times[4]);
  EXPECT_TRUE(EncodeChunk(backwards.times, backwards.values).empty());
}

TEST(ChunkCodecTest, ADamagedChunkIsAnErrorNeverAWrongValue) {
  const Samples s = Regular(2000, 1273622400000, 1000);
  const std::string blob = EncodeChunk(s.times, s.values);
  ASSERT_FALSE(blob.empty());
  std::string error;
  // Every byte flipped in turn, and every length cut short.
  for (std::size_t i = 0; i < blob.size(); ++i) {
    for (const unsigned char mask : {0x01, 0x80, 0xFF}) {
      std::string damaged = blob;
      damaged[i] = static_cast<char>(damaged[i] ^ mask);
      std::vector<std::int64_t> times;
      std::vector<float> values;
      if (DecodeChunk(damaged, times, values, error)) {
        // Only a change the frame does not depend on (none is expected) may decode, and then to
        // the very samples.
        ASSERT_EQ(times, s.times) << "byte " << i;
        ASSERT_EQ(values, s.values) << "byte " << i;
      } else {
        EXPECT_TRUE(times.empty() && values.empty());
        EXPECT_FALSE(error.empty());
      }
    }
  }
  for (std::size_t n = 0; n < blob.size(); ++n) {
    std::vector<std::int64_t> times;
    std::vector<float> values;
    EXPECT_FALSE(DecodeChunk(std::string_view(blob).substr(0, n), times, values, error)) << n;
    EXPECT_TRUE(times.empty());
  }
  std::vector<std::int64_t> times;
  std::vector<float> values;
  EXPECT_FALSE(DecodeChunk(blob + "x", times, values, error));
  EXPECT_FALSE(DecodeChunk("not a chunk at all", times, values, error));
}

TEST(ChunkCodecTest, RegularSamplesTakeFarLessThanTheRecordersTwoBytes) {
  const Samples s = Regular(kChunkSamples, 1273622400000, 1000);
  const std::string blob = EncodeChunk(s.times, s.values);
  EXPECT_LT(blob.size(), kChunkSamples / 2) << blob.size();
}

TEST(ChunkCodecTest, ScaledRecorderSamplesComeBackExactlyAndSmall) {
  // Raw int16 samples with noise, scaled as the recorder file reader scales them, at every
  // decimal-point position; and the gap value among them.
  std::mt19937 random(7);
  std::normal_distribution<double> noise(0.0, 3.0);
  for (const double divisor : {1.0, 10.0, 100.0, 1000.0, 10000.0}) {
    SCOPED_TRACE(divisor);
    Samples s = Regular(kChunkSamples, 1273622400000, 1000);
    double level = 2000.0;
    for (std::size_t i = 0; i < s.values.size(); ++i) {
      level += noise(random) * 0.1;
      const auto raw = static_cast<std::int16_t>(std::lround(level + noise(random)));
      s.values[i] = static_cast<float>(raw / divisor);
    }
    s.values[100] = GapValue;
    ExpectRoundTrip(s);
    // Noise of a few counts: about a byte a sample, half the recorder's two.
    EXPECT_LT(EncodeChunk(s.times, s.values).size(), kChunkSamples * 11 / 10);
  }
}

TEST(ChunkCodecTest, TheSummaryLeavesGapsOut) {
  Samples s = Regular(5, 1000, 1000);
  s.values = {3.0f, GapValue, -2.5f, GapValue, 10.0f};
  const ChunkSummary summary = SummarizeSamples(s.times, s.values);
  EXPECT_EQ(summary.firstMs, 1000);
  EXPECT_EQ(summary.lastMs, 5000);
  EXPECT_EQ(summary.count, 5u);
  EXPECT_EQ(summary.gapCount, 2u);
  EXPECT_EQ(summary.min, -2.5);
  EXPECT_EQ(summary.max, 10.0);
  EXPECT_EQ(summary.sum, 10.5);
  const std::vector<float> gaps = {GapValue, GapValue};
  const std::vector<std::int64_t> times = {1, 2};
  const ChunkSummary onlyGaps = SummarizeSamples(times, gaps);
  EXPECT_EQ(onlyGaps.gapCount, 2u);
  EXPECT_EQ(onlyGaps.min, 0.0);
  EXPECT_EQ(onlyGaps.max, 0.0);
}

TEST(ContentHashTest, KnownDigestsAndAnyCutGiveTheSameHash) {
  EXPECT_EQ(Xxh64Of(""), 0xEF46DB3751D8E999ULL);
  std::string text;
  for (int i = 0; i < 200; ++i) text += static_cast<char>('a' + i % 26);
  const std::uint64_t whole = Xxh64Of(text);
  for (std::size_t cut1 = 0; cut1 <= text.size(); cut1 += 7) {
    for (std::size_t cut2 = cut1; cut2 <= text.size(); cut2 += 13) {
      Xxh64 hash;
      hash.Update(std::string_view(text).substr(0, cut1));
      hash.Update(std::string_view(text).substr(cut1, cut2 - cut1));
      hash.Update(std::string_view(text).substr(cut2));
      ASSERT_EQ(hash.Digest(), whole) << cut1 << " " << cut2;
    }
  }
  ContentHash a;
  a.Update(text);
  ContentHash b;
  b.Update(text.substr(0, 199) + "!");
  EXPECT_EQ(a.Hex().size(), 32u);
  EXPECT_NE(a.Hex(), b.Hex());
  for (std::size_t n = 0; n < 40; ++n) EXPECT_NE(Xxh64Of(text.substr(0, n)), Xxh64Of(text.substr(0, n + 1)));
}

}  // namespace
}  // namespace vantiro
