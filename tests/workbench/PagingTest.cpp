#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "workbench/Paging.h"

namespace vantiro {
namespace {

// A walk through the pages: each step is a command and the window it must leave.
struct Step {
  char command;  // 'f' first, 'p' previous, 'n' next, 'l' last
  std::uint32_t pageStart;
  std::uint32_t pageEnd;
  std::uint32_t itemCount;
  PageButtons buttons;
};

struct Walk {
  const char* name;
  std::uint32_t rows;
  PageWindow initial;
  std::vector<Step> steps;
};

constexpr PageButtons kNone{false, false, false, false};
constexpr PageButtons kForward{false, false, true, true};
constexpr PageButtons kAll{true, true, true, true};
constexpr PageButtons kBack{true, true, false, false};

TEST(PagingTest, WalksThroughThePagesAsTheButtonsDo) {
  const std::uint32_t r = 500;
  const std::vector<Walk> walks = {
      {"1234 rows: next, next, previous, previous",
       1234,
       {0, 500, 500, kForward},
       {{'n', 500, 1000, 500, kAll},
        {'n', 1000, 1500, 234, kBack},
        {'p', 500, 1000, 500, kAll},
        {'p', 0, 500, 500, kForward}}},
      {"1234 rows: last, previous, first",
       1234,
       {0, 500, 500, kForward},
       {{'l', 1000, 1234, 234, kBack}, {'p', 500, 1000, 500, kAll}, {'f', 0, 500, 500, kForward}}},
      {"1000 rows: last, previous",
       1000,
       {0, 500, 500, kForward},
       {{'l', 500, 1000, 500, kBack}, {'p', 0, 500, 500, kForward}}},
      {"1000 rows: next reaches the end",
       1000,
       {0, 500, 500, kForward},
       {{'n', 500, 1000, 500, kBack}, {'p', 0, 500, 500, kForward}}},
      {"500 rows: one page", 500, {0, 500, 500, kNone}, {}},
      {"501 rows: two pages",
       501,
       {0, 500, 500, kForward},
       {{'n', 500, 1000, 1, kBack}, {'p', 0, 500, 500, kForward}, {'l', 500, 501, 1, kBack}}},
      {"no rows", 0, {0, 0, 0, kNone}, {}},
  };
  for (const Walk& walk : walks) {
    SCOPED_TRACE(walk.name);
    PageWindow page = FirstPageAfterBuild(walk.rows, r);
    EXPECT_EQ(page, walk.initial);
    for (const Step& step : walk.steps) {
      SCOPED_TRACE(std::string("after ") + step.command);
      switch (step.command) {
        case 'f': FirstPage(page, walk.rows, r); break;
        case 'p': PreviousPage(page, walk.rows, r); break;
        case 'n': NextPage(page, walk.rows, r); break;
        case 'l': LastPage(page, walk.rows, r); break;
      }
      EXPECT_EQ(page.pageStart, step.pageStart);
      EXPECT_EQ(page.pageEnd, step.pageEnd);
      EXPECT_EQ(page.itemCount, step.itemCount);
      EXPECT_EQ(page.buttons, step.buttons);
      // The list never shows a row past the end.
      EXPECT_LE(page.pageStart + page.itemCount, walk.rows);
      EXPECT_EQ(page.pageStart % r, 0u);
    }
  }
}

TEST(PagingTest, EveryPageOfALargeTableIsReachedAndCoversEachRowOnce) {
  for (std::uint32_t r : {100u, 500u, 10000u}) {
    for (std::uint32_t n : {r - 1, r, r + 1, 3 * r, 3 * r + 7, 123457u}) {
      PageWindow page = FirstPageAfterBuild(n, r);
      std::uint32_t shown = page.itemCount;
      while (page.buttons.next) {
        NextPage(page, n, r);
        EXPECT_EQ(page.pageStart + page.itemCount <= n, true);
        shown += page.itemCount;
      }
      EXPECT_EQ(shown, n) << "r=" << r << " n=" << n;
      EXPECT_FALSE(page.buttons.last);
      // And back to the first page.
      while (page.buttons.previous) PreviousPage(page, n, r);
      EXPECT_EQ(page.pageStart, 0u);
      EXPECT_EQ(page.itemCount, std::min(n, r));
    }
  }
}

}  // namespace
}  // namespace vantiro
