// The recorder file reader: opening, the size limit, the header, the channel descriptors, the
// summary it leaves and every way it stops.

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "RecorderReading.h"
#include "recorder/UnitNames.h"

namespace vantiro::testing {
namespace {

// A dataset that is not empty, to see that a reading which stops early leaves it alone.
Reading Occupied() {
  Reading r;
  r.summary = DatasetSummary{7.0f, -7.0f, 40000.25, 40001.75, 42};
  ChannelInfo c;
  c.number = 99;
  c.unit = "x";
  c.times = {40000.5};
  c.values = {1.5f};
  r.channels.push_back(c);
  return r;
}

void ExpectOccupiedUnchanged(const Reading& r) {
  EXPECT_EQ(r.summary.rangeMax, 7.0f);
  EXPECT_EQ(r.summary.rangeMin, -7.0f);
  EXPECT_EQ(r.summary.startTime, 40000.25);
  EXPECT_EQ(r.summary.endTime, 40001.75);
  EXPECT_EQ(r.summary.sampleCount, 42);
  ASSERT_EQ(r.channels.size(), 1u);
  EXPECT_EQ(r.channels[0].number, 99);
  EXPECT_EQ(r.channels[0].values, std::vector<float>{1.5f});
}

TEST(RecorderFileSizeTest, TenMebibytesAreReadAndOneByteMoreIsTooLarge) {
  RecorderFileBuilder file;
  file.Block(0).Chain({{kT, 1, {1, 2, 3}}});
  const std::string base = file.Build();
  struct Case {
    std::uint64_t size;
    std::optional<UserMessage> error;
  };
  const Case cases[] = {
      {10485760, std::nullopt},
      {10485761, kTooLarge},
  };
  TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::string bytes = base;
    bytes.resize(c.size, '\0');  // bytes after the last channel's blocks are ignored
    WriteFile(dir.File("large.bin"), bytes);
    const Reading readings[] = {ReadBytes(bytes), ReadPath(dir.File("large.bin"))};
    for (const Reading& r : readings) {
      EXPECT_EQ(r.error, c.error);
      if (c.error) {
        EXPECT_TRUE(r.channels.empty());
        EXPECT_EQ(r.summary.startTime, 0.0);
        EXPECT_EQ(r.summary.sampleCount, 0);
      } else {
        ASSERT_EQ(r.channels.size(), 1u);
        EXPECT_EQ(r.channels[0].values, (std::vector<float>{1, 2, 3}));
        EXPECT_EQ(r.summary.sampleCount, 3);
      }
    }
  }
}

// Every stop before the first channel: the message, its icon, the dataset as it was, and nothing
// new on disk (reading never creates a file).
TEST(RecorderFileFailureTest, EarlyStopsReportAndLeaveTheDatasetAndDiskAlone) {
  TempDir dir;
  RecorderFileBuilder good;
  good.Block(0).Chain({{kT, 1, {1}}});
  std::string tooLarge = good.Build();
  tooLarge.resize(kRecorderMaxFileSize + 1, '\0');
  RecorderFileBuilder firstAfterLast;
  firstAfterLast.Channels(3, 2);
  RecorderFileBuilder badStart;
  badStart.Window({10, 13, 1, 0, 0, 0}, {10, 5, 12, 15, 0, 0});
  RecorderFileBuilder badEnd;
  badEnd.Window({10, 5, 12, 14, 0, 0}, {10, 4, 31, 0, 0, 0});

  WriteFile(dir.File("large.bin"), tooLarge);
  WriteFile(dir.File("empty.bin"), "");
  WriteFile(dir.File("range.bin"), firstAfterLast.Build());
  WriteFile(dir.File("start.dat"), badStart.Build());
  WriteFile(dir.File("end.dat"), badEnd.Build());
  std::filesystem::create_directory(dir.File("folder.bin"));
  const std::vector<std::string> before = TempDir::List(dir.Path());

  struct Case {
    const char* name;
    std::string path;
    UserMessage error;
  };
  const Case cases[] = {
      {"missing file", dir.File("missing.bin"), kOpenFailed},
      {"missing file in a missing folder", dir.File("nowhere/missing.bin"), kOpenFailed},
      {"a directory", dir.File("folder.bin"), kOpenFailed},
      {"one byte over the size limit", dir.File("large.bin"), kTooLarge},
      {"empty file", dir.File("empty.bin"), kReadFailed},
      {"first channel after last", dir.File("range.bin"), kFormatError},
      {"start month 13", dir.File("start.dat"), kFormatError},
      {"end April 31", dir.File("end.dat"), kFormatError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Reading r = ReadPath(c.path, NoLog(), Occupied());
    EXPECT_EQ(r.error, c.error);
    ExpectOccupiedUnchanged(r);
    EXPECT_EQ(TempDir::List(dir.Path()), before);
    EXPECT_TRUE(TempDir::List(dir.File("folder.bin")).empty());
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing.bin")));
  EXPECT_FALSE(std::filesystem::exists(dir.File("nowhere")));
}

TEST(RecorderFileFailureTest, AHeaderThatCannotBeReadIsAReadFailure) {
  RecorderFileBuilder file;
  file.Block(0).Chain({{kT, 1, {1}}});
  FailingInput input(file.Build(), 0);
  Reading r = Occupied();
  r.error = ReadRecorderData(input, r.summary, r.channels, NoLog());
  EXPECT_EQ(r.error, kReadFailed);
  ExpectOccupiedUnchanged(r);
}

// Three channels; the second says two blocks but the file holds one, the third's is missing.
TEST(RecorderFileFailureTest, AMissingDataBlockKeepsTheChannelsBeforeIt) {
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0})
      .Channels(0, 2)
      .Range(0, 100, 0, 4, 27)
      .Range(1, 200, -50, 4, 19)
      .Range(2, 999, -999, 4, 20);
  file.Block(0).Chain({{kT, 1, {1, 2}}});
  file.Block(1).Chain({{kT, 1, {3, 4, 5}}});
  file.BlockCount(1, 2).BlockCount(2, 1);
  const std::string bytes = file.Build();
  ASSERT_EQ(bytes.size(), 3 * kBlock);

  TempDir dir;
  WriteFile(dir.File("short.bin"), bytes);
  FailingInput failing(bytes, bytes.size());
  Reading failed;
  failed.error = ReadRecorderData(failing, failed.summary, failed.channels, NoLog());
  struct Case {
    const char* name;
    Reading r;
  };
  const Case cases[] = {
      {"file ends", ReadBytes(bytes)},
      {"file on disk ends", ReadPath(dir.File("short.bin"))},
      {"read error", failed},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.r.error, kReadFailed);
    ASSERT_EQ(Numbers(c.r.channels), std::vector<int>{1});
    EXPECT_EQ(c.r.channels[0].unit, "mA");
    EXPECT_EQ(Entries(c.r.channels[0]), (std::vector<Entry>{{0, 1}, {1, 2}}));
    EXPECT_EQ(c.r.summary.sampleCount, 5);  // the dropped channel's samples stay counted
    EXPECT_EQ(c.r.summary.startTime, At(2010, 5, 12, 14, 0, 0));
    EXPECT_EQ(c.r.summary.endTime, At(2010, 5, 12, 15, 0, 0));
    EXPECT_EQ(c.r.summary.rangeMax, 200.0f);  // the third channel's range was never reached
    EXPECT_EQ(c.r.summary.rangeMin, -50.0f);
  }
}

// A read that returns fewer bytes than a block is accepted; the rest of the block reads as zero.
TEST(RecorderFileShortReadTest, APartialBlockIsReadWithTheRestZero) {
  RecorderFileBuilder headerOnly;  // channel 1 without blocks
  headerOnly.Window({10, 5, 12, 13, 30, 45}, {10, 5, 13, 0, 0, 0}).Range(0, 100, 0, 4, 27);
  RecorderFileBuilder withBlock = headerOnly;
  withBlock.Block(0).Chain({{kT, 1, {5, 6}}});  // head 12, samples 4, ten 0xFF: 26 bytes
  // A full first block, then one like withBlock's: what the second lacks must not come from the
  // first.
  RecorderFileBuilder withTwoBlocks = headerOnly;
  withTwoBlocks.Block(0).Chain({{kT, 1, std::vector<std::int16_t>(8186, 7)}});
  withTwoBlocks.Block(0).Chain({{kT + 10000, 1, {5, 6}}});
  const std::string headerBytes = headerOnly.Build();
  const std::string blockBytes = withBlock.Build();
  const std::string twoBlockBytes = withTwoBlocks.Build();
  const DateTime start = At(2010, 5, 12, 13, 30, 45);
  struct Case {
    const char* name;
    const std::string& file;
    std::size_t size;
    std::optional<UserMessage> error;
    DateTime start;
    std::string unit;
    std::size_t entries;
    Entry last;
  };
  const Case cases[] = {
      {"header up to the descriptors' end", headerBytes, 708, std::nullopt, start, "mA", 0, {}},
      // Descriptors zero: range 0..0, p 0, unit 0, no blocks.
      {"header without start minute and second",
       headerBytes,
       130,
       std::nullopt,
       At(2010, 5, 12, 13, 0, 0),
       "m3/h",
       0,
       {}},
      {"header without start month", headerBytes, 127, kFormatError, 0.0, "", 0, {}},
      {"data block with its record's end",
       blockBytes,
       kBlock + 26,
       std::nullopt,
       start,
       "mA",
       2,
       {1, 6}},
      {"data block cut before the end run",
       blockBytes,
       kBlock + 16,
       std::nullopt,
       start,
       "mA",
       8186,
       {8185, 0}},
      {"second data block cut before the end run",
       twoBlockBytes,
       2 * kBlock + 16,
       std::nullopt,
       start,
       "mA",
       2 * 8186 + 2,  // and the two gap markers between the records
       {10000 + 8185, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Reading r = ReadBytes(c.file.substr(0, c.size));
    EXPECT_EQ(r.error, c.error);
    EXPECT_EQ(r.summary.startTime, c.start);
    if (c.error) {
      EXPECT_TRUE(r.channels.empty());
      continue;
    }
    ASSERT_EQ(r.channels.size(), 1u);
    EXPECT_EQ(r.channels[0].unit, c.unit);
    const std::vector<Entry> entries = Entries(r.channels[0]);
    ASSERT_EQ(entries.size(), c.entries);
    if (!entries.empty()) {
      EXPECT_EQ(entries.back(), c.last);
    }
  }
}

TEST(RecorderHeaderTest, ChannelRangeSelectsTheChannelsOrIsAFormatError) {
  struct Case {
    int first;
    int last;
    std::vector<int> numbers;  // empty: format error
  };
  const Case cases[] = {
      {0, 0, {1}},          {15, 15, {16}},
      {2, 5, {3, 4, 5, 6}}, {0, 15, {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}},
      {16, 16, {}},                      // both above 15
      {0, 16, {}},                       // last above 15
      {16, 20, {}},                      // first above 15
      {255, 255, {}},       {3, 2, {}},  // first after last
      {15, 0, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "first " << c.first << ", last " << c.last);
    RecorderFileBuilder file;
    file.Channels(c.first, c.last);
    for (int i = 0; i < 16; ++i) file.Range(i, 1000, 0, 4, static_cast<std::int16_t>(20 + i));
    const Reading r = ReadBytes(file.Build());
    if (c.numbers.empty()) {
      EXPECT_EQ(r.error, kFormatError);
      EXPECT_TRUE(r.channels.empty());
      EXPECT_EQ(r.summary.startTime, 0.0);
      continue;
    }
    EXPECT_EQ(r.error, std::nullopt);
    ASSERT_EQ(Numbers(r.channels), c.numbers);
    for (const ChannelInfo& channel : r.channels) {
      EXPECT_EQ(channel.unit, UnitName(20 + channel.number - 1)) << "channel " << channel.number;
      EXPECT_TRUE(channel.times.empty());
    }
  }
}

TEST(RecorderHeaderTest, StartAndEndMustBeValidDatesAndTimes) {
  const FieldTime kStart{10, 5, 12, 14, 0, 0};
  const FieldTime kEnd{10, 5, 12, 15, 0, 0};
  struct Case {
    const char* name;
    FieldTime start;
    FieldTime end;
    bool valid;
  };
  const Case cases[] = {
      {"ordinary", kStart, kEnd, true},
      {"start month 0", {10, 0, 12, 14, 0, 0}, kEnd, false},
      {"start month 13", {10, 13, 12, 14, 0, 0}, kEnd, false},
      {"end month 0", kStart, {10, 0, 12, 15, 0, 0}, false},
      {"start day 0", {10, 5, 0, 14, 0, 0}, kEnd, false},
      {"start April 31", {10, 4, 31, 0, 0, 0}, kEnd, false},
      {"end November 31", kStart, {10, 11, 31, 0, 0, 0}, false},
      {"January 31", {10, 1, 31, 0, 0, 0}, kEnd, true},
      {"start February 29 of 2010", {10, 2, 29, 0, 0, 0}, kEnd, false},
      {"February 29 of 2012", {12, 2, 29, 0, 0, 0}, kEnd, true},
      {"end hour 24", kStart, {10, 5, 12, 24, 0, 0}, false},
      {"start minute 60", {10, 5, 12, 14, 60, 0}, kEnd, false},
      {"end second 60", kStart, {10, 5, 12, 15, 0, 60}, false},
      {"start year byte 100", {100, 1, 1, 0, 0, 0}, kEnd, false},
      {"start year byte 255", {255, 1, 1, 0, 0, 0}, kEnd, false},
      {"year bytes 0 and 99", {0, 1, 1, 0, 0, 0}, {99, 12, 31, 23, 59, 59}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderFileBuilder file;
    file.Window(c.start, c.end);
    file.Block(0).Chain({{kT, 1, {1}}});
    const Reading r = ReadBytes(file.Build());
    if (!c.valid) {
      EXPECT_EQ(r.error, kFormatError);
      EXPECT_TRUE(r.channels.empty());
      EXPECT_EQ(r.summary.startTime, 0.0);
      EXPECT_EQ(r.summary.endTime, 0.0);
      continue;
    }
    EXPECT_EQ(r.error, std::nullopt);
    EXPECT_EQ(r.summary.startTime, At(2000 + c.start.year, c.start.month, c.start.day, c.start.hour,
                                      c.start.minute, c.start.second));
    EXPECT_EQ(r.summary.endTime, At(2000 + c.end.year, c.end.month, c.end.day, c.end.hour,
                                    c.end.minute, c.end.second));
    EXPECT_EQ(r.channels.size(), 1u);
  }
}

// p scales limits and samples alike: r / 10^(4 - p), any p outside 1..4 counting as 4.
TEST(RecorderDescriptorTest, DecimalPointPositionScalesLimitsAndSamples) {
  struct Case {
    std::uint16_t p;
    float upper;
    float lower;
    float sample;
  };
  const Case cases[] = {
      {4, 30000, -500, 1234},     {3, 3000, -50, 123.4f}, {2, 300, -5, 12.34f},
      {1, 30, -0.5f, 1.234f},     {0, 30000, -500, 1234}, {5, 30000, -500, 1234},
      {65535, 30000, -500, 1234},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << "p = " << c.p);
    RecorderFileBuilder file;
    file.Range(0, 30000, -500, c.p, 0);
    file.Block(0).Chain({{kT, 1, {1234}}});
    const Reading r = ReadBytes(file.Build());
    ASSERT_EQ(r.error, std::nullopt);
    ASSERT_EQ(r.channels.size(), 1u);
    ASSERT_EQ(r.channels[0].values.size(), 1u);
    EXPECT_FLOAT_EQ(r.channels[0].values[0], c.sample);
    EXPECT_FLOAT_EQ(r.summary.rangeMax, c.upper);
    EXPECT_FLOAT_EQ(r.summary.rangeMin, c.lower);
  }
}

TEST(RecorderDescriptorTest, UnitCodeNamesTheUnit) {
  struct Case {
    std::int16_t code;
    const char* unit;
  };
  const Case cases[] = {
      {0, "m3/h"}, {19, "℃"}, {27, "mA"}, {82, "单位"}, {83, "单位"}, {200, "单位"}, {-1, "单位"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    RecorderFileBuilder file;
    file.Range(0, 1000, 0, 4, c.code);
    const Reading r = ReadBytes(file.Build());
    ASSERT_EQ(r.channels.size(), 1u);
    EXPECT_EQ(r.channels[0].unit, c.unit);
  }
}

// Channel 1's blocks come first, then channel 2's, as many as each big-endian count says.
TEST(RecorderDescriptorTest, BlockCountIsBigEndianAndSplitsTheBlocksBetweenChannels) {
  struct Case {
    const char* name;
    std::size_t firstChannelBlocks;
  };
  const Case cases[] = {
      {"no block: an empty channel", 0},
      {"two blocks (bytes 00 02)", 2},
      {"256 blocks (bytes 01 00)", 256},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderFileBuilder file;
    file.Channels(0, 1).Range(0, 1000, 0, 4, 27).Range(1, 1000, 0, 4, 19);
    for (std::size_t b = 0; b < c.firstChannelBlocks; ++b) {
      const auto t = static_cast<std::int32_t>(kT + b);
      file.Block(0).Chain({{t, 1, {static_cast<std::int16_t>(b % 1000)}}});
    }
    file.Block(1).Chain({{kT, 1, {777}}});
    const std::string bytes = file.Build();
    ASSERT_EQ(static_cast<unsigned char>(bytes[132 + 34]), c.firstChannelBlocks >> 8);
    ASSERT_EQ(static_cast<unsigned char>(bytes[132 + 35]), c.firstChannelBlocks & 0xFF);

    const Reading r = ReadBytes(bytes);
    EXPECT_EQ(r.error, std::nullopt);
    ASSERT_EQ(Numbers(r.channels), (std::vector<int>{1, 2}));
    EXPECT_EQ(r.channels[0].unit, "mA");
    EXPECT_EQ(r.channels[0].values.size(), c.firstChannelBlocks);
    if (c.firstChannelBlocks > 0) {
      const double lastSecond = static_cast<double>(c.firstChannelBlocks - 1);
      EXPECT_EQ(Entries(r.channels[0]).back(),
                (Entry{lastSecond, static_cast<float>((c.firstChannelBlocks - 1) % 1000)}));
    }
    EXPECT_EQ(r.channels[1].unit, "℃");
    EXPECT_EQ(Entries(r.channels[1]), (std::vector<Entry>{{0, 777}}));
    EXPECT_EQ(r.summary.sampleCount, static_cast<std::int32_t>(c.firstChannelBlocks + 1));
  }
}

// The summary's range starts from the reset zeros and takes in every channel's limits.
TEST(RecorderSummaryTest, RangeFoldsEveryChannelsLimitsIntoTheResetZeros) {
  struct Limits {
    std::int16_t upper;
    std::int16_t lower;
    std::uint16_t p;
  };
  struct Case {
    const char* name;
    std::vector<Limits> channels;
    float rangeMin;
    float rangeMax;
  };
  const Case cases[] = {
      {"all 10..50", {{50, 10, 4}, {50, 10, 4}}, 0, 50},
      {"all -50..-10", {{-10, -50, 4}}, -50, 0},
      {"widest of each side", {{30, -20, 4}, {80, 5, 4}, {60, -10, 4}}, -20, 80},
      {"scaled", {{2025, -550, 2}}, -5.5f, 20.25f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderFileBuilder file;
    file.Channels(0, static_cast<int>(c.channels.size()) - 1);
    for (std::size_t i = 0; i < c.channels.size(); ++i) {
      const Limits& l = c.channels[i];
      file.Range(static_cast<int>(i), l.upper, l.lower, l.p, 0);
    }
    const Reading r = ReadBytes(file.Build());
    ASSERT_EQ(r.error, std::nullopt);
    EXPECT_EQ(r.summary.rangeMin, c.rangeMin);
    EXPECT_EQ(r.summary.rangeMax, c.rangeMax);
  }
}

TEST(RecorderSummaryTest, SampleCountCountsStoredSamplesOfAllChannelsButNoGapMarkers) {
  RecorderFileBuilder file;
  file.Channels(0, 1);
  file.Block(0).Chain({{kT, 1, {1, 2}}, {kT + 3, 1, {3}}});  // one gap marker at kT + 2
  file.Block(1).Chain({{kT, 1, {4, 5}}});
  const Reading r = ReadBytes(file.Build());
  ASSERT_EQ(r.channels.size(), 2u);
  EXPECT_EQ(Entries(r.channels[0]), (std::vector<Entry>{{0, 1}, {1, 2}, {2, GapValue}, {3, 3}}));
  EXPECT_EQ(r.channels[1].values.size(), 2u);
  EXPECT_EQ(r.summary.sampleCount, 5);
}

}  // namespace
}  // namespace vantiro::testing
