// A table's column widths when each column should show its texts whole: as they are while they
// fit, the wide ones narrowed alike when they do not, never below the least width.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "platform/ColumnWidths.h"

namespace vantiro {
namespace {

struct FitCase {
  std::string name;
  std::vector<int> needed;
  int available;
  int minimum;
  std::vector<int> expected;
};

TEST(ColumnWidthsTest, ColumnsKeepTheirWidthsWhileTheyFitAndTheWideOnesShareTheRest) {
  const FitCase cases[] = {
      {"nothing to lay out", {}, 500, 20, {}},
      {"room to spare: no column grows", {40, 120, 60}, 500, 20, {40, 120, 60}},
      {"exactly the room there is", {40, 120, 60}, 220, 20, {40, 120, 60}},
      {"one pixel short: the widest gives it", {40, 120, 60}, 219, 20, {40, 119, 60}},
      // 300 for four: 40 and 60 fit their share; 200 left for the two wide ones.
      {"the wide ones share alike", {40, 150, 60, 180}, 300, 20, {40, 100, 60, 100}},
      // 301: the pixel that does not divide goes to the leftmost of them.
      {"an odd pixel to the left", {40, 150, 60, 180}, 301, 20, {40, 101, 60, 100}},
      // 200 for three: 10 keeps its width, 95 is just its share of the 190 left, 300 gets the rest.
      {"a column at its share keeps its need", {10, 95, 300}, 200, 20, {10, 95, 95}},
      {"all as wide: each a share", {100, 100, 100}, 150, 20, {50, 50, 50}},
      {"too narrow even for the least: each at the least", {100, 100, 100}, 30, 20, {20, 20, 20}},
      {"a column needing less than the least keeps its need", {8, 100, 100}, 30, 20, {8, 20, 20}},
      {"no room at all", {40, 60}, 0, 20, {20, 20}},
      {"a negative width counts as none", {-5, 60}, -10, -3, {0, 0}},
      {"a negative need counts as none", {-5, 60}, 100, 20, {0, 60}},
      {"wide columns, one pixel each", {1000, 1000, 1000, 1000}, 5, 0, {2, 1, 1, 1}},
  };
  for (const FitCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FitColumnWidths(c.needed, c.available, c.minimum), c.expected);
  }
}

TEST(ColumnWidthsTest, NarrowedColumnsFillTheWidthExactlyAndNoneGetsMoreThanItNeeds) {
  const std::vector<int> needed = {34, 61, 58, 47, 51, 52, 165, 50, 165, 53, 80, 80, 80};
  const int total = std::accumulate(needed.begin(), needed.end(), 0);
  for (int available = 13 * 12; available <= total + 10; available += 7) {
    SCOPED_TRACE(available);
    const std::vector<int> widths = FitColumnWidths(needed, available, 12);
    ASSERT_EQ(widths.size(), needed.size());
    const int sum = std::accumulate(widths.begin(), widths.end(), 0);
    EXPECT_EQ(sum, std::min(available, total));
    for (std::size_t i = 0; i < needed.size(); ++i) {
      EXPECT_LE(widths[i], needed[i]) << i;
      EXPECT_GE(widths[i], 12) << i;
      // A narrowed column is never narrower than one that kept its need (but for a pixel that
      // did not divide).
      if (widths[i] < needed[i]) {
        for (std::size_t j = 0; j < needed.size(); ++j) {
          if (widths[j] == needed[j]) {
            EXPECT_GE(widths[i] + 1, widths[j]) << i << " " << j;
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace vantiro
