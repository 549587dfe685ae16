#include <gtest/gtest.h>

#include "workbench/TableRows.h"

namespace vantiro {
namespace {

TEST(toolsPlaceholder, EmptyDatasetHasNoRows) {
  EXPECT_TRUE(BuildTableRows({}, {}).empty());
}

}  // namespace
}  // namespace vantiro
