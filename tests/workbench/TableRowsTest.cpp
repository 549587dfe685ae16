#include <gtest/gtest.h>

#include "workbench/TableRows.h"

namespace vantiro {
namespace {

TEST(TableRowsTest, EmptyDatasetHasNoRows) {
  EXPECT_TRUE(BuildTableRows({}, {}).empty());
}

}  // namespace
}  // namespace vantiro
