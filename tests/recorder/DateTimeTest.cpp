#include <gtest/gtest.h>

#include "recorder/DateTime.h"

namespace vantiro {
namespace {

TEST(DateTimeTest, RecorderEpochIsDay36526) {
  EXPECT_EQ(*EncodeDateTime(2000, 1, 1), 36526.0);
  EXPECT_EQ(FormatDateTime(36526.0, DatePattern::Table), "2000-01-01 00:00:00");
}

}  // namespace
}  // namespace vantiro
