#include "chart/LineEnvelope.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace vantiro {
namespace {

// The lowest and highest of a column's values and whether one of them may be a gap sample (lies in
// the band around -158 where IsGapValue looks closer), in blocks of 16 without a branch, which the
// compiler turns into vector code. (Clang vectorizes at -O2 already; GCC is asked to.)
#if defined(__clang__)
#define VANTIRO_VECTORIZE
#else
#define VANTIRO_VECTORIZE , optimize("tree-vectorize")
#endif
struct ColumnSpan {
  float low;
  float high;
  bool suspect;  // a value near the gap value, or no number: looked at one by one
};
__attribute__((target_clones("avx2", "default") VANTIRO_VECTORIZE)) ColumnSpan SpanOf(const float* v, std::size_t n) {
  constexpr std::size_t kBlock = 16;
  float low[kBlock];
  float high[kBlock];
  for (std::size_t k = 0; k < kBlock; ++k) low[k] = high[k] = v[0];
  int suspect = 0;
  std::size_t i = 0;
  for (; i + kBlock <= n; i += kBlock) {
    for (std::size_t k = 0; k < kBlock; ++k) {
      const float x = v[i + k];
      low[k] = x < low[k] ? x : low[k];
      high[k] = x > high[k] ? x : high[k];
      suspect |= static_cast<int>(!(x > -157.9f || x < -158.1f));  // in the band, or no number
    }
  }
  for (; i < n; ++i) {
    const float x = v[i];
    low[0] = x < low[0] ? x : low[0];
    high[0] = x > high[0] ? x : high[0];
    suspect |= static_cast<int>(!(x > -157.9f || x < -158.1f));
  }
  ColumnSpan span{low[0], high[0], suspect != 0};
  for (std::size_t k = 1; k < kBlock; ++k) {
    span.low = low[k] < span.low ? low[k] : span.low;
    span.high = high[k] > span.high ? high[k] : span.high;
  }
  return span;
}

// The span of the samples [begin, stop) from the index's whole blocks and the samples at either
// end; `lowest` and `highest` the first places of its lowest and highest value.
bool SpanWithIndex(const float* values, std::size_t begin, std::size_t stop, const EnvelopeIndex& index,
                   std::size_t& lowest, std::size_t& highest) {
  constexpr std::size_t K = EnvelopeIndex::kBlock;
  const std::size_t b0 = (begin + K - 1) / K;  // the first whole block
  const std::size_t b1 = stop / K;             // past the last whole block
  const std::size_t headEnd = b0 * K;
  const std::size_t tailBegin = b1 * K;
  float low = values[begin];
  float high = values[begin];
  bool suspect = false;
  auto take = [&](const ColumnSpan& span) {
    low = span.low < low ? span.low : low;
    high = span.high > high ? span.high : high;
    suspect = suspect || span.suspect;
  };
  if (headEnd > begin) take(SpanOf(values + begin, headEnd - begin));
  for (std::size_t b = b0; b < b1; ++b) take({index.low[b], index.high[b], index.suspect[b] != 0});
  if (stop > tailBegin) take(SpanOf(values + tailBegin, stop - tailBegin));
  if (suspect) return false;
  // The first place of a value: at the head, in the first whole block holding it, or at the tail.
  auto first = [&](float value, const std::vector<float>& blocks) {
    const float* head = std::find(values + begin, values + headEnd, value);
    if (head != values + headEnd) return static_cast<std::size_t>(head - values);
    for (std::size_t b = b0; b < b1; ++b) {
      if (blocks[b] == value) return static_cast<std::size_t>(std::find(values + b * K, values + (b + 1) * K, value) - values);
    }
    return static_cast<std::size_t>(std::find(values + tailBegin, values + stop, value) - values);
  };
  lowest = first(low, index.low);
  highest = first(high, index.high);
  return true;
}

}  // namespace

EnvelopeIndex MakeEnvelopeIndex(const float* values, std::size_t n) {
  constexpr std::size_t K = EnvelopeIndex::kBlock;
  EnvelopeIndex index;
  const std::size_t blocks = n / K;
  index.low.resize(blocks);
  index.high.resize(blocks);
  index.suspect.resize(blocks);
  for (std::size_t b = 0; b < blocks; ++b) {
    const ColumnSpan span = SpanOf(values + b * K, K);
    index.low[b] = span.low;
    index.high[b] = span.high;
    index.suspect[b] = span.suspect ? 1 : 0;
  }
  return index;
}

std::vector<EnvelopePoint> LineEnvelope(const DateTime* times, const float* values, std::size_t n, DateTime x0,
                                        DateTime x1, int pixels, const EnvelopeIndex* index) {
  if (index && index->low.size() != n / EnvelopeIndex::kBlock) index = nullptr;  // not this line's
  std::vector<EnvelopePoint> out;
  if (n == 0 || pixels <= 0 || !(x1 > x0)) return out;
  // The samples in the window, and one either side of it.
  std::size_t begin = static_cast<std::size_t>(std::lower_bound(times, times + n, x0) - times);
  std::size_t end = static_cast<std::size_t>(std::upper_bound(times, times + n, x1) - times);
  if (begin > 0) --begin;
  if (end < n) ++end;
  const double perColumn = (x1 - x0) / pixels;
  // The samples' mean pace in the window.
  const double pace = end - begin > 1 ? (times[end - 1] - times[begin]) / static_cast<double>(end - begin - 1) : 0.0;
  out.reserve(std::min<std::size_t>(end - begin, static_cast<std::size_t>(pixels) * 4 + 8));
  std::size_t i = begin;
  while (i < end) {
    if (IsGapValue(values[i])) {
      out.push_back({times[i], 0.0, true});
      ++i;
      continue;
    }
    // The column of sample i: its samples up to the column's end (sample i at least). Where the
    // samples come at an even pace its end is where that pace puts it; looked for by steps
    // doubling from there, then bisection within the last step, where it is not.
    const double column = std::floor((times[i] - x0) / perColumn);
    const DateTime columnEnd = x0 + (column + 1) * perColumn;
    std::size_t guess = i + 1;
    if (pace > 0.0) {
      const double ahead = std::ceil((columnEnd - times[i]) / pace);
      if (ahead > 1.0) guess = ahead < static_cast<double>(end - i) ? i + static_cast<std::size_t>(ahead) : end;
    }
    std::size_t stop;
    if (guess < end && times[guess] < columnEnd) {
      std::size_t step = 1;
      while (guess + step < end && times[guess + step] < columnEnd) step *= 2;
      const std::size_t known = guess + (step > 1 ? step / 2 : 1);  // before it, all within the column
      stop = static_cast<std::size_t>(std::lower_bound(times + known, times + std::min(guess + step, end), columnEnd) -
                                      times);
    } else if (guess == i + 1 || times[guess - 1] < columnEnd) {
      stop = guess;
    } else {
      stop = static_cast<std::size_t>(std::lower_bound(times + i + 1, times + guess - 1, columnEnd) - times);
    }
    std::size_t j = stop;
    std::size_t lowest = i, highest = i;
    if (index && stop - i >= 4 * EnvelopeIndex::kBlock && SpanWithIndex(values, i, stop, *index, lowest, highest)) {
      // No gap among them: found from the index.
    } else if (const ColumnSpan span = SpanOf(values + i, stop - i); !span.suspect) {
      // No gap among them: the first of the lowest and of the highest values.
      lowest = static_cast<std::size_t>(std::find(values + i, values + stop, span.low) - values);
      highest = static_cast<std::size_t>(std::find(values + i, values + stop, span.high) - values);
    } else {
      // One by one, up to the first gap sample.
      j = i;
      while (j < stop && (j == i || !IsGapValue(values[j]))) {
        if (values[j] < values[lowest]) lowest = j;
        if (values[j] > values[highest]) highest = j;
        ++j;
      }
    }
    const std::size_t last = j - 1;
    // First, lowest, highest, last, in the order they come, each once.
    std::size_t picks[4] = {i, lowest, highest, last};
    std::sort(picks, picks + 4);
    for (int k = 0; k < 4; ++k) {
      if (k > 0 && picks[k] == picks[k - 1]) continue;
      out.push_back({times[picks[k]], static_cast<double>(values[picks[k]]), false});
    }
    i = j;
  }
  return out;
}

}  // namespace vantiro
