#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <string_view>

#include "recorder/GbkText.h"
#include "recorder/UnitNames.h"

namespace vantiro {
namespace {

// Bytes written as two hex digits each, for readable failures.
std::string Hex(std::string_view bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char b : bytes) {
    if (!out.empty()) out += ' ';
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

TEST(UnitNamesTest, TableHoldsTheRecorderUnitsInCodeOrder) {
  const char* const expected[] = {
      "m3/h",  "m3/min", "m3/s",   "Kg/h",  "Kg/min", "Kg/s",    "L/h",   "L/min", "L/s",
      "t/h",   "t/min",  "t/s",    "Mpa",   "Kpa",    "Pa",      "Kgf/cm2", "mmH2O", "mmHg",
      "Bar",   "℃",      "%",      "ppm",   "pH",     "r/min",   "mm",    "Hz",    "KHz",
      "mA",    "A",      "KA",     "mV",    "V",      "KV",      "VA",    "KVA",   "W",
      "KW",    "MW",     "J",      "KJ",    "Kg",     "Kwh",     "km3/h", "kNm3/h", "Nm3/h",
      "K",     "mmBar",  "mBar",   "mHg",   "mH20",   "Kgf/m2",  "uA",    "uV",    "Wh",
      "Nm",    "MHz",    "‰",      "ppmO2", "ppmH2",  "％O2",    "％LEL", "um",    "cm",
      "m",     "MJ",     "GJ",     "g",     "t",      "RH",      "rpm",   "m/s",   "m/min",
      "℉",     "°",      "％RH",   "cm/s",  "mm/s",   "mm/h",    "％/m3", "KLUX",  "LUX",
      "min",   "单位",
  };
  static_assert(std::size(expected) == 83);
  ASSERT_EQ(UnitNames().size(), std::size(expected));
  for (int code = 0; code < 83; ++code) {
    EXPECT_EQ(UnitName(code), expected[code]) << "code " << code;
  }
}

TEST(UnitNamesTest, CodesOutsideTheTableReadAsGenericUnit) {
  struct Case {
    int code;
    std::string_view expected;
  };
  const Case cases[] = {{82, "单位"},    {83, "单位"},    {1000, "单位"}, {-1, "单位"},
                        {INT_MAX, "单位"}, {INT_MIN, "单位"}, {0, "m3/h"}, {81, "min"}};
  for (const Case& c : cases) {
    EXPECT_EQ(UnitName(c.code), c.expected) << "code " << c.code;
  }
}

TEST(UnitNamesTest, LookalikeEntriesKeepTheirExactCharacters) {
  // 16 has the letter O, 49 the digit zero.
  EXPECT_EQ(UnitName(16), "mmH2O");
  EXPECT_EQ(UnitName(16).back(), 'O');
  EXPECT_EQ(UnitName(49), "mH20");
  EXPECT_EQ(UnitName(49).back(), '0');
  // 20 is the ASCII percent sign; 59, 60, 74 and 78 begin with the full-width one (U+FF05).
  EXPECT_EQ(UnitName(20), "\x25");
  for (int code : {59, 60, 74, 78}) {
    EXPECT_EQ(UnitName(code).substr(0, 3), "\xEF\xBC\x85") << "code " << code;
  }
  EXPECT_EQ(UnitName(19), "\xE2\x84\x83");  // U+2103 degree Celsius
  EXPECT_EQ(UnitName(72), "\xE2\x84\x89");  // U+2109 degree Fahrenheit
  EXPECT_EQ(UnitName(73), "\xC2\xB0");      // U+00B0 degree
  EXPECT_EQ(UnitName(56), "\xE2\x80\xB0");  // U+2030 per mille
}

TEST(GbkTextTest, UnitSymbolsHaveTheirGbkBytes) {
  struct Case {
    int code;
    std::string_view gbk;
  };
  const Case cases[] = {
      {19, "\xA1\xE6"},             // ℃
      {56, "\xA1\xEB"},             // ‰
      {72, "\xA8\x48"},             // ℉
      {73, "\xA1\xE3"},             // °
      {59, "\xA3\xA5O2"},           // ％O2
      {60, "\xA3\xA5LEL"},          // ％LEL
      {74, "\xA3\xA5RH"},           // ％RH
      {78, "\xA3\xA5/m3"},          // ％/m3
      {20, "%"},
      {82, "\xB5\xA5\xCE\xBB"},     // 单位
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(Utf8ToGbk(UnitName(c.code))), Hex(c.gbk)) << "code " << c.code;
    EXPECT_EQ(GbkToUtf8(c.gbk), UnitName(c.code)) << "code " << c.code;
  }
  EXPECT_EQ(Hex(Utf8ToGbk("通道1(℃)")), Hex("\xCD\xA8\xB5\xC0" "1(\xA1\xE6)"));
}

TEST(GbkTextTest, EveryUnitNameSurvivesTheRoundTrip) {
  for (int code = 0; code < 83; ++code) {
    const std::string gbk = Utf8ToGbk(UnitName(code));
    EXPECT_EQ(gbk.find('?'), std::string::npos) << "code " << code << ": " << Hex(gbk);
    EXPECT_EQ(GbkToUtf8(gbk), UnitName(code)) << "code " << code;
  }
  // All of them in one text, as a title line carries them.
  std::string all;
  for (std::string_view name : UnitNames()) {
    all += name;
    all += ',';
  }
  EXPECT_EQ(GbkToUtf8(Utf8ToGbk(all)), all);
}

TEST(GbkTextTest, TextGbkCannotHoldBecomesQuestionMarks) {
  struct Case {
    std::string_view utf8;
    std::string_view gbk;
  };
  const Case cases[] = {
      {"", ""},
      {"plain ASCII, 1.5", "plain ASCII, 1.5"},
      {"A\xF0\x9F\x98\x80" "B", "A?B"},             // U+1F600 has no GBK code
      {"\xF0\x9F\x98\x80\xE2\x84\x83", "?\xA1\xE6"},  // and what follows still converts
      {"A\xFF" "B", "A?B"},                         // a byte that starts no sequence
      {"A\x80" "B", "A?B"},                         // a lone continuation byte
      {"\xE2\x84\x83\xE2\x84", "\xA1\xE6??"},       // a sequence cut off at the end
      {"\xC0\xAF" "A", "??A"},                      // an overlong form
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(Utf8ToGbk(c.utf8)), Hex(c.gbk)) << Hex(c.utf8);
  }
  // A sequence broken in the middle never swallows the character after it.
  const std::string broken = Utf8ToGbk("\xE2\x84" "A\xE5\x8D\x95");
  EXPECT_NE(broken.find('?'), std::string::npos) << Hex(broken);
  EXPECT_EQ(broken.substr(broken.size() - 3), "A\xB5\xA5") << Hex(broken);
}

TEST(GbkTextTest, InvalidGbkBecomesReplacementCharacters) {
  const std::string_view fffd = "\xEF\xBF\xBD";
  struct Case {
    std::string_view gbk;
    std::string utf8;
  };
  const Case cases[] = {
      {"\xFF", std::string(fffd)},
      {"A\xFF" "B", std::string("A").append(fffd).append("B")},
      {"AB\xB5", std::string("AB").append(fffd)},                       // lead byte cut off at the end
      {"\xA1\x41" "B", std::string(fffd).append("AB")},                 // a lead byte without a trail
      {"\xB5\xA5\xFF\xCE\xBB", std::string("单").append(fffd).append("位")},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Hex(GbkToUtf8(c.gbk)), Hex(c.utf8)) << Hex(c.gbk);
  }
}

TEST(GbkTextTest, LongTextsWithManyReplacementsConvertWhole) {
  // Replacements grow the output beyond the first guess of its size.
  std::string gbk;
  std::string expected;
  for (int i = 0; i < 3000; ++i) {
    gbk += "\xFF\xB5\xA5";
    expected += "\xEF\xBF\xBD单";
  }
  EXPECT_EQ(GbkToUtf8(gbk), expected);

  std::string utf8;
  std::string expectedGbk;
  for (int i = 0; i < 3000; ++i) {
    utf8 += "\xF0\x9F\x98\x80℃x";
    expectedGbk += "?\xA1\xE6x";
  }
  EXPECT_EQ(Utf8ToGbk(utf8), expectedGbk);
}

}  // namespace
}  // namespace vantiro
