#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "recorder/CsvImport.h"
#include "recorder/GbkText.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;

DateTime T(int y, int mo, int d, int h, int mi, int s, int ms = 0) {
  return *EncodeDateTime(y, mo, d, h, mi, s, ms);
}

struct Imported {
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
};

Imported Import(const std::string& utf8Text, bool asGbk = true) {
  Imported result;
  ImportCsvText(asGbk ? Utf8ToGbk(utf8Text) : utf8Text, result.summary, result.channels);
  return result;
}

TEST(CsvImportTest, EachLineIsOneSampleOfOneChannel) {
  const Imported r = Import(
      "序号,通道,数值,时间,单位\r\n"
      "1,3,25.5,2010年05月12日 10:11:12,℃\r\n"
      "2,3,26.0,2010-05-12 10:11:13,%\r\n"
      "3,1,-4.25,2010-5-2 9:08:07,mA\n");
  ASSERT_EQ(r.channels.size(), 2u);
  EXPECT_EQ(r.channels[0].number, 3);
  EXPECT_EQ(r.channels[0].unit, "℃");  // the first line of a channel names its unit
  EXPECT_EQ(r.channels[0].times, (std::vector<DateTime>{T(2010, 5, 12, 10, 11, 12),
                                                        T(2010, 5, 12, 10, 11, 13)}));
  EXPECT_EQ(r.channels[0].values, (std::vector<float>{25.5f, 26.0f}));
  EXPECT_EQ(r.channels[1].number, 1);
  EXPECT_EQ(r.channels[1].unit, "mA");
  EXPECT_EQ(r.channels[1].values, (std::vector<float>{-4.25f}));
  EXPECT_EQ(r.summary.sampleCount, 3);
  EXPECT_EQ(r.summary.rangeMin, -4.25f);
  EXPECT_EQ(r.summary.rangeMax, 26.0f);
  EXPECT_EQ(r.summary.startTime, T(2010, 5, 2, 9, 8, 7));
  EXPECT_EQ(r.summary.endTime, T(2010, 5, 12, 10, 11, 13));
}

TEST(CsvImportTest, LinesThatDoNotParseAreSkipped) {
  struct Case {
    const char* line;
    bool accepted;
  };
  const Case cases[] = {
      {"1,2,3.5,2010-05-12 10:11:12,V", true},
      {"1,2,3.5,2010-05-12 10:11:12,V,", false},     // six fields
      {"1,2,3.5,2010-05-12 10:11:12", false},        // four fields
      {"1,2,abc,2010-05-12 10:11:12,V", false},      // value with letters
      {"1,2,nan,2010-05-12 10:11:12,V", false},
      {"1,2,inf,2010-05-12 10:11:12,V", false},
      {"1,2,1e39,2010-05-12 10:11:12,V", false},     // beyond a float
      {"1,2,,2010-05-12 10:11:12,V", false},
      {"1,x,3.5,2010-05-12 10:11:12,V", false},
      {"1,2.5,3.5,2010-05-12 10:11:12,V", false},
      {"1,99999999999,3.5,2010-05-12 10:11:12,V", false},
      {"1,2,3.5,2010-13-12 10:11:12,V", false},      // month 13
      {"1,2,3.5,2010-02-30 10:11:12,V", false},
      {"1,2,3.5,2010-05-12 24:00:00,V", false},
      {"1,2,3.5,yesterday,V", false},
      {"1,2, 3.5 ,2010-05-12 10:11:12,V", true},     // blanks around a number
      {"1,+2,+3.5,2010-05-12 10:11:12,V", true},
      {"1,2,1e2,2010-05-12 10:11:12,V", true},
      {"1,2,.5,2010-05-12 10:11:12,V", true},
      {"1,2,3.5,2010/05/12 10:11:12,V", true},
      {"1,2,3.5,2010-05-12 10:11,V", true},
      {"1,2,3.5,2010-05-12 10:11:12.250,V", true},
      {"1,2,3.5,2010-05-12,V", true},
      {",2,3.5,2010-05-12 10:11:12,", true},         // empty first and last fields
  };
  for (const Case& c : cases) {
    const Imported r = Import(std::string(c.line) + "\n");
    EXPECT_EQ(r.summary.sampleCount, c.accepted ? 1 : 0) << c.line;
    EXPECT_EQ(r.channels.size(), c.accepted ? 1u : 0u) << c.line;
  }
}

TEST(CsvImportTest, ChannelNumbersKeepTheirLow16Bits) {
  const Imported r = Import(
      "1,65539,1,2010-05-12 10:11:12,a\n"
      "2,3,2,2010-05-12 10:11:13,b\n"
      "3,-1,3,2010-05-12 10:11:14,c\n"
      "4,65535,4,2010-05-12 10:11:15,d\n");
  ASSERT_EQ(r.channels.size(), 2u);
  EXPECT_EQ(r.channels[0].number, 3);
  EXPECT_EQ(r.channels[0].unit, "a");
  EXPECT_EQ(r.channels[0].values, (std::vector<float>{1, 2}));
  EXPECT_EQ(r.channels[1].number, -1);
  EXPECT_EQ(r.channels[1].values, (std::vector<float>{3, 4}));
}

TEST(CsvImportTest, TimesRunningBackwardsKeepFileOrderButTheSpanIsEarliestToLatest) {
  const Imported r = Import(
      "1,1,5,2010-05-12 10:00:02,V\n"
      "2,1,7,2010-05-12 10:00:00,V\n"
      "3,1,6,2010-05-12 10:00:05,V\n"
      "4,1,6,2010-05-12 10:00:05,V\n");
  ASSERT_EQ(r.channels.size(), 1u);
  EXPECT_EQ(r.channels[0].times,
            (std::vector<DateTime>{T(2010, 5, 12, 10, 0, 2), T(2010, 5, 12, 10, 0, 0),
                                   T(2010, 5, 12, 10, 0, 5), T(2010, 5, 12, 10, 0, 5)}));
  EXPECT_EQ(r.summary.startTime, T(2010, 5, 12, 10, 0, 0));
  EXPECT_EQ(r.summary.endTime, T(2010, 5, 12, 10, 0, 5));
  EXPECT_EQ(r.summary.rangeMin, 5.0f);
  EXPECT_EQ(r.summary.rangeMax, 7.0f);
}

TEST(CsvImportTest, TheSummaryIsNotResetBeforeAnImport) {
  DatasetSummary summary{500.0f, -500.0f, T(2001, 1, 1, 0, 0, 0), T(2001, 1, 2, 0, 0, 0), 99};
  std::vector<ChannelInfo> channels;
  // The first accepted line alone sets range and span, whatever was there before.
  ImportCsvText("1,1,42,2010-05-12 10:00:00,V\n", summary, channels);
  EXPECT_EQ(summary.rangeMin, 42.0f);
  EXPECT_EQ(summary.rangeMax, 42.0f);
  EXPECT_EQ(summary.startTime, T(2010, 5, 12, 10, 0, 0));
  EXPECT_EQ(summary.endTime, T(2010, 5, 12, 10, 0, 0));
  EXPECT_EQ(summary.sampleCount, 1);

  // No accepted line: range and span stay, the count becomes 0.
  const DatasetSummary before = summary;
  channels.clear();
  ImportCsvText("序号,通道,数值,时间,单位\n", summary, channels);
  EXPECT_TRUE(channels.empty());
  EXPECT_EQ(summary.sampleCount, 0);
  EXPECT_EQ(summary.rangeMin, before.rangeMin);
  EXPECT_EQ(summary.startTime, before.startTime);
  EXPECT_EQ(summary.endTime, before.endTime);
}

TEST(CsvImportTest, LongLinesAreCutInto127BytePieces) {
  // A line of 127 bytes or more is cut: its first piece keeps the first 127 bytes (here still
  // five fields, with the unit cut short), the rest is a line of its own that falls out.
  const std::string head = "1,1,1,2010-05-12 10:00:00,";
  const Imported r = Import(head + std::string(120, 'u') + "\n" +
                            "2,2,2,2010-05-12 10:00:01,V\n" +
                            "3,3,3,2010-05-12 10:00:02,V" + std::string(100, ',') + "4,4,4,x,V\n");
  ASSERT_EQ(r.channels.size(), 2u);
  EXPECT_EQ(r.channels[0].unit, std::string(127 - head.size(), 'u'));
  EXPECT_EQ(r.channels[1].number, 2);
  EXPECT_EQ(r.summary.sampleCount, 2);

  // Exactly 126 bytes and its line feed still fit.
  const std::string fits(126 - std::string("1,1,1,2010-05-12 10:00:00,").size(), 'u');
  const Imported ok = Import("1,1,1,2010-05-12 10:00:00," + fits + "\n");
  ASSERT_EQ(ok.channels.size(), 1u);
  EXPECT_EQ(ok.channels[0].unit, fits);
}

TEST(CsvImportTest, GbkUnlessMarkedOrValidUtf8Throughout) {
  const std::string line = "1,1,1,2010年05月12日 10:00:00,℃\n";
  struct Case {
    const char* name;
    std::string bytes;
    std::size_t channels;
    std::string unit;
  };
  const std::string ascii = "1,1,1,2010-05-12 10:00:00,mA\n";
  const Case cases[] = {
      {"GBK with Chinese", Utf8ToGbk(line + line), 1, "℃"},
      {"UTF-8 after a byte-order mark", "\xEF\xBB\xBF" + line, 1, "℃"},
      // As a Linux editor or script saves it: no mark.
      {"UTF-8 without a mark", line + line, 1, "℃"},
      {"ASCII only", ascii, 1, "mA"},
      // One byte that is not UTF-8 anywhere in the file makes all of it GBK: the UTF-8 dates
      // then do not parse and their lines fall out, the GBK line stays.
      {"UTF-8 with one stray byte", line + Utf8ToGbk(line) + "\xFF\n", 1, "℃"},
      // A GBK unit that happens to be valid UTF-8 (two GBK characters forming one UTF-8 one) is
      // rare; GBK text as a recorder writes it, with its Chinese date, never is.
      {"GBK date with a UTF-8-looking unit", Utf8ToGbk("1,1,1,2010年05月12日 10:00:00,") + "\xC3\xA9\n", 1,
       GbkToUtf8("\xC3\xA9")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Imported r = Import(c.bytes, false);
    ASSERT_EQ(r.channels.size(), c.channels);
    EXPECT_EQ(r.channels[0].unit, c.unit);
    EXPECT_EQ(r.channels[0].times[0], T(2010, 5, 12, 10, 0, 0));
  }
}

TEST(CsvImportTest, Utf8IsToldByTheWholeTextCutAnywhere) {
  struct Case {
    const char* name;
    std::string bytes;
    CsvEncoding expected;
  };
  const Case cases[] = {
      {"empty", "", CsvEncoding::Gbk},
      {"ASCII", "1,1,1,2010-05-12 10:00:00,V\n", CsvEncoding::Gbk},
      {"two, three and four bytes", "\xC2\xA9 \xE2\x84\x83 \xF0\x9F\x98\x80", CsvEncoding::Utf8},
      {"the highest code point", "\xF4\x8F\xBF\xBF", CsvEncoding::Utf8},
      {"above U+10FFFF", "\xF4\x90\x80\x80", CsvEncoding::Gbk},
      {"overlong two bytes", "\xC1\xBF", CsvEncoding::Gbk},
      {"overlong three bytes", "\xE0\x9F\xBF", CsvEncoding::Gbk},
      {"overlong four bytes", "\xF0\x8F\xBF\xBF", CsvEncoding::Gbk},
      {"a surrogate", "\xED\xA0\x80", CsvEncoding::Gbk},
      {"a lone continuation byte", "abc\x80", CsvEncoding::Gbk},
      {"a sequence cut off at the end", "\xE2\x84\x83\xE2\x84", CsvEncoding::Gbk},
      {"a lead byte before ASCII", "\xE2" "abc", CsvEncoding::Gbk},
      {"GBK 年", "\xC4\xEA", CsvEncoding::Gbk},
      {"F5 and above", "\xF5\x80\x80\x80", CsvEncoding::Gbk},
      // Past the eight-byte ASCII runs: a fault after a long clean stretch still counts.
      {"fault after a long ASCII run", std::string(37, 'a') + "\xE2\x84\x83" + std::string(19, 'b') + "\xFE",
       CsvEncoding::Gbk},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(DetectCsvEncoding(c.bytes), c.expected);
    for (std::size_t size = 1; size <= 9; ++size) {
      CsvEncodingScan scan;
      for (std::size_t at = 0; at < c.bytes.size(); at += size) {
        scan.Feed(std::string_view(c.bytes).substr(at, size));
      }
      EXPECT_EQ(scan.Result(), c.expected) << "pieces of " << size;
    }
  }
}

TEST(CsvImportTest, FedInChunksTheSameAsWhole) {
  // Line ends, the byte-order mark and a long line cut anywhere: every split gives the same data.
  const std::string text = "\xEF\xBB\xBF" "1,1,1,2010年05月12日 10:00:00,℃\r\n"
                           "2,2,2.5,2010-05-12 10:00:01,V\r\r\n"
                           "3,1,-3,2010-05-12 09:00:00," + std::string(130, 'u') + "\n"
                           "4,3,4,2010-05-12 10:00:02,mA\r";
  const Imported whole = Import(text, false);
  ASSERT_EQ(whole.summary.sampleCount, 4);
  for (std::size_t size : {1u, 2u, 3u, 5u, 7u, 64u}) {
    SCOPED_TRACE(size);
    Imported chunked;
    CsvImportStream stream(chunked.summary, chunked.channels);
    for (std::size_t at = 0; at < text.size(); at += size) {
      stream.Feed(std::string_view(text).substr(at, size));
    }
    stream.Finish();
    EXPECT_EQ(chunked.summary.sampleCount, whole.summary.sampleCount);
    EXPECT_EQ(chunked.summary.startTime, whole.summary.startTime);
    EXPECT_EQ(chunked.summary.endTime, whole.summary.endTime);
    EXPECT_EQ(chunked.summary.rangeMin, whole.summary.rangeMin);
    EXPECT_EQ(chunked.summary.rangeMax, whole.summary.rangeMax);
    ASSERT_EQ(chunked.channels.size(), whole.channels.size());
    for (std::size_t c = 0; c < whole.channels.size(); ++c) {
      EXPECT_EQ(chunked.channels[c].number, whole.channels[c].number);
      EXPECT_EQ(chunked.channels[c].unit, whole.channels[c].unit);
      EXPECT_EQ(chunked.channels[c].times, whole.channels[c].times);
      EXPECT_EQ(chunked.channels[c].values, whole.channels[c].values);
    }
  }
}

TEST(CsvImportTest, FromAFileAndTheOpenFailure) {
  const fs::path dir = fs::path(::testing::TempDir()) / ("csv-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const fs::path path = dir / "in.csv";
  {
    std::ofstream out(path, std::ios::binary);
    // Big enough to cross the reader's chunks, with CR LF split across them.
    for (int i = 0; i < 5000; ++i) {
      out << Utf8ToGbk(std::to_string(i) + ",7," + std::to_string(i) + ".5,2010年05月12日 10:00:00,℃\r\n");
    }
  }
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
  EXPECT_FALSE(ImportCsvFile(path, summary, channels));
  ASSERT_EQ(channels.size(), 1u);
  EXPECT_EQ(channels[0].values.size(), 5000u);
  EXPECT_EQ(channels[0].unit, "℃");
  EXPECT_EQ(summary.rangeMax, 4999.5f);

  DatasetSummary untouched{1.0f, 2.0f, 3.0, 4.0, 5};
  std::vector<ChannelInfo> none;
  for (const fs::path& bad : {dir / "missing.csv", dir}) {
    const auto message = ImportCsvFile(bad, untouched, none);
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text, "导入文件失败。");
    EXPECT_EQ(message->icon, MessageIcon::Error);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(untouched.sampleCount, 5);
  }
  EXPECT_FALSE(fs::exists(dir / "missing.csv"));

  // A UTF-8 file without a mark whose only non-ASCII bytes (and a stray GBK byte in a second
  // file) come after the reader's first chunk: the whole file decides.
  for (const bool stray : {false, true}) {
    SCOPED_TRACE(stray);
    const fs::path late = dir / "late.csv";
    {
      std::ofstream out(late, std::ios::binary);
      for (int i = 0; i < 5000; ++i) out << i << ",2," << i << ",2010-05-12 10:00:00,V\n";
      out << "5000,3,1,2010年05月12日 10:00:01,℃\n";
      if (stray) out << "\xC4\xEA\n";
    }
    DatasetSummary s;
    std::vector<ChannelInfo> c;
    EXPECT_FALSE(ImportCsvFile(late, s, c));
    ASSERT_EQ(c.size(), stray ? 1u : 2u);
    if (!stray) EXPECT_EQ(c[1].unit, "℃");
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace vantiro
