// The text of a sample value in the data table and the CSV export: "%0.3f".

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "workbench/ValueText.h"

namespace vantiro {
namespace {

std::string ValueText(float value) {
  std::string out;
  AppendValueText(out, value);
  return out;
}

TEST(ValueTextTest, ValuesHaveThreeDecimals) {
  struct Case {
    float value;
    const char* expected;
  };
  const Case cases[] = {
      {12.3456f, "12.346"},   {-12.3456f, "-12.346"}, {12.5f, "12.500"},
      {0.0f, "0.000"},        {-3.0f, "-3.000"},      {1000000.0f, "1000000.000"},
      {0.0005f, "0.001"},     {-0.0004f, "-0.000"},   {0.0625f, "0.062"},
      {0.1875f, "0.188"},     {-158.0f, "-158.000"},  {99999.9999f, "100000.000"},
      {1.0005f, "1.000"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ValueText(c.value), c.expected) << c.value;
  }
}

TEST(ValueTextTest, ValuesReadAsTheCFormatWritesThem) {
  auto printf3 = [](float value) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, "%0.3f", static_cast<double>(value));
    return std::string(buffer);
  };
  std::mt19937 random(5);
  std::uniform_int_distribution<std::uint32_t> bits;
  std::uniform_real_distribution<float> ordinary(-2000.0f, 2000.0f);
  std::vector<float> values = {std::numeric_limits<float>::max(),
                               -std::numeric_limits<float>::max(),
                               std::numeric_limits<float>::denorm_min(), -0.0f, 0.0005f, 0.0015f,
                               2.0005f, 1e-3f, -1e-3f};
  for (int i = 0; i < 20000; ++i) {
    values.push_back(ordinary(random));
    // Values of every magnitude, rounded to the millesimal so that halves occur.
    values.push_back(std::round(ordinary(random) * 1000.0f) / 1000.0f + 0.0005f);
    std::uint32_t b = bits(random);
    float f;
    std::memcpy(&f, &b, sizeof f);
    if (std::isfinite(f)) values.push_back(f);
  }
  for (float v : values) {
    ASSERT_EQ(ValueText(v), printf3(v)) << std::hexfloat << v;
  }
}

}  // namespace
}  // namespace vantiro
