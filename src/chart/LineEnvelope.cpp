#include "chart/LineEnvelope.h"

#include <algorithm>
#include <cmath>

namespace vantiro {

std::vector<EnvelopePoint> LineEnvelope(const DateTime* times, const float* values, std::size_t n, DateTime x0,
                                        DateTime x1, int pixels) {
  std::vector<EnvelopePoint> out;
  if (n == 0 || pixels <= 0 || !(x1 > x0)) return out;
  // The samples in the window, and one either side of it.
  std::size_t begin = static_cast<std::size_t>(std::lower_bound(times, times + n, x0) - times);
  std::size_t end = static_cast<std::size_t>(std::upper_bound(times, times + n, x1) - times);
  if (begin > 0) --begin;
  if (end < n) ++end;
  const double perColumn = (x1 - x0) / pixels;
  out.reserve(std::min<std::size_t>(end - begin, static_cast<std::size_t>(pixels) * 4 + 8));
  std::size_t i = begin;
  while (i < end) {
    if (IsGapValue(values[i])) {
      out.push_back({times[i], 0.0, true});
      ++i;
      continue;
    }
    // The column of sample i, and the samples of it up to the next gap.
    const double column = std::floor((times[i] - x0) / perColumn);
    const DateTime columnEnd = x0 + (column + 1) * perColumn;
    std::size_t j = i;
    std::size_t lowest = i, highest = i;
    while (j < end && (times[j] < columnEnd || j == i) && !IsGapValue(values[j])) {
      if (values[j] < values[lowest]) lowest = j;
      if (values[j] > values[highest]) highest = j;
      ++j;
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
