#include "platform/ColumnWidths.h"

#include <algorithm>
#include <cstdint>
#include <numeric>

namespace vantiro {

std::vector<int> FitColumnWidths(const std::vector<int>& needed, int available, int minimum) {
  std::vector<int> widths(needed.size());
  std::transform(needed.begin(), needed.end(), widths.begin(), [](int w) { return std::max(w, 0); });
  available = std::max(available, 0);
  minimum = std::max(minimum, 0);
  const std::int64_t total = std::accumulate(widths.begin(), widths.end(), std::int64_t{0});
  if (total <= available) return widths;
  // The narrowest first: each keeps its width while it is below an equal share of what is left.
  std::vector<std::size_t> order(widths.size());
  std::iota(order.begin(), order.end(), std::size_t{0});
  std::stable_sort(order.begin(), order.end(), [&widths](std::size_t a, std::size_t b) { return widths[a] < widths[b]; });
  std::int64_t left = available;
  std::size_t k = 0;
  for (; k < order.size(); ++k) {
    const std::int64_t share = left / static_cast<std::int64_t>(order.size() - k);
    if (widths[order[k]] > share) break;
    left -= widths[order[k]];
  }
  // The rest share what is left; the first of them take the pixels that do not divide.
  const auto wide = static_cast<std::int64_t>(order.size() - k);
  if (wide == 0) return widths;
  const std::int64_t share = left / wide;
  std::int64_t extra = left - share * wide;
  std::vector<std::size_t> rest(order.begin() + static_cast<std::ptrdiff_t>(k), order.end());
  std::sort(rest.begin(), rest.end());  // the extra pixels to the leftmost columns
  for (const std::size_t c : rest) {
    const std::int64_t w = share + (extra > 0 ? 1 : 0);
    if (extra > 0) --extra;
    widths[c] = static_cast<int>(std::max<std::int64_t>(std::min<std::int64_t>(w, widths[c]), std::min(minimum, widths[c])));
  }
  return widths;
}

}  // namespace vantiro
