// The recorder file reader inside a channel's data blocks: the record chain, where a record's
// samples end, the recording's time window, the repair of out-of-range values and gap markers.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "RecorderReading.h"

namespace vantiro::testing {
namespace {

// One channel (index 0) whose blocks a case writes; range -32768..32767 so that no value is
// repaired unless a case narrows it.
struct BlockCase {
  const char* name;
  std::function<void(RecorderFileBuilder&)> build;
  std::vector<Entry> entries;
};

Reading ReadChannelZero(const std::function<void(RecorderFileBuilder&)>& build) {
  RecorderFileBuilder file;
  file.Range(0, 32767, -32768, 4, 0);
  build(file);
  return ReadBytes(file.Build());
}

void ExpectEntries(const BlockCase& c) {
  SCOPED_TRACE(c.name);
  const Reading r = ReadChannelZero(c.build);
  ASSERT_EQ(r.error, std::nullopt);
  ASSERT_EQ(r.channels.size(), 1u);
  EXPECT_EQ(Entries(r.channels[0]), c.entries);
}

// A time whose lowest byte is 0xFF, for a record head that must start with that byte.
const std::int32_t kFF = (kT | 0xFF) + 0x100;

TEST(RecorderRecordTest, RecordChainAndEndRuns) {
  const BlockCase cases[] = {
      {"the chain goes on at each record's end offset",
       [](RecorderFileBuilder& f) {
         f.Block(0)
             .Record(0, kT, 16, 1, {1, 2})
             .Record(16, kT + 2, 30, 1, {3})
             .Record(30, kT + 3, 0xFFFF, 1, {4})
             .Fill(44, 10, 0xFF);
       },
       {{0, 1}, {1, 2}, {2, 3}, {3, 4}}},
      {"ten 0xFF end a record's samples before its end offset",
       [](RecorderFileBuilder& f) {
         f.Block(0)
             .Record(0, kT, 40, 1, {1, 2})
             .Fill(16, 10, 0xFF)
             .Put16(26, 9)  // after the run: not read
             .Record(40, kT + 2, 0xFFFF, 1, {3})
             .Fill(54, 10, 0xFF);
       },
       {{0, 1}, {1, 2}, {2, 3}}},
      {"nine 0xFF and a different byte are samples of -1",
       [](RecorderFileBuilder& f) {
         f.Block(0)
             .Record(0, kT, 0xFFFF, 1, {5})
             .Fill(14, 9, 0xFF)
             .Byte(23, 0x00)
             .Fill(24, 10, 0xFF);
       },
       {{0, 5}, {1, -1}, {2, -1}, {3, -1}, {4, -1}, {5, 255}}},
      {"an end run may take its tenth byte from the next record's head",
       [](RecorderFileBuilder& f) {
         f.Block(0)
             .Record(0, kFF - 1, 23, 1, {3})
             .Fill(14, 9, 0xFF)
             .Record(23, kFF, 0xFFFF, 1, {4})  // byte 23 is kFF's lowest byte, 0xFF
             .Fill(37, 10, 0xFF);
       },
       {{static_cast<double>(kFF - 1 - kT), 3}, {static_cast<double>(kFF - kT), 4}}},
      {"a sample below an odd end offset takes the next record's first byte",
       [](RecorderFileBuilder& f) {
         f.Block(0)
             .Record(0, kT, 13, 1)
             .Byte(12, 0x05)
             .Record(13, kT + 1, 0xFFFF, 1, {4})
             .Fill(27, 10, 0xFF);
       },
       {{0, static_cast<float>(static_cast<std::int16_t>(0x05 | ((kT + 1) & 0xFF) << 8))}, {1, 4}}},
      {"interval 0 gives every sample the record's time",
       [](RecorderFileBuilder& f) {
         f.Block(0).Chain({{kT, 0, {1, 2, 3}}});
       },
       {{0, 1}, {0, 2}, {0, 3}}},
      {"at most 11 records of a block are read",
       [](RecorderFileBuilder& f) {
         std::vector<RecordSpec> records;
         for (int i = 0; i < 12; ++i)
           records.push_back({kT + i, 1, {static_cast<std::int16_t>(i)}});
         f.Block(0).Chain(records);
       },
       {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}, {5, 5}, {6, 6}, {7, 7}, {8, 8}, {9, 9}, {10, 10}}},
      {"the limit of 11 is per block",
       [](RecorderFileBuilder& f) {
         std::vector<RecordSpec> records;
         for (int i = 0; i < 11; ++i)
           records.push_back({kT + i, 1, {static_cast<std::int16_t>(i)}});
         f.Block(0).Chain(records);
         f.Block(0).Chain({{kT + 11, 1, {11}}});
       },
       {{0, 0},
        {1, 1},
        {2, 2},
        {3, 3},
        {4, 4},
        {5, 5},
        {6, 6},
        {7, 7},
        {8, 8},
        {9, 9},
        {10, 10},
        {11, 11}}},
      {"an end offset that points back reads a record again",
       [](RecorderFileBuilder& f) {
         // 0 -> 14 -> 0 -> 14 ...: the record at 0 is the 1st, 3rd, ... 11th.
         f.Block(0).Record(0, kT, 14, 1, {1}).Record(14, kT + 1, 0, 1);
       },
       {{0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}, {0, 1}}},
      {"end offset 0x4000 ends the block without reading that record",
       [](RecorderFileBuilder& f) {
         f.Block(0).Record(0, kT, 14, 1, {1}).Record(14, kT + 1, 0x4000, 1, {2}).Fill(28, 10, 0xFF);
         f.Block(0).Chain({{kT + 1, 1, {3}}});
       },
       {{0, 1}, {1, 3}}},
      {"end offset 0xFFFE ends the block without reading that record",
       [](RecorderFileBuilder& f) {
         f.Block(0).Record(0, kT, 0xFFFE, 1, {1}).Fill(14, 10, 0xFF);
         f.Block(0).Chain({{kT + 1, 1, {3}}});
       },
       {{1, 3}}},
      {"a record with no samples stores nothing",
       [](RecorderFileBuilder& f) {
         f.Block(0).Chain({{kT, 1, {}}, {kT + 5, 1, {}}});
       },
       {}},
  };
  for (const BlockCase& c : cases) ExpectEntries(c);
}

// Where the samples of a block's last record (end offset 0xFFFF) and the block itself end.
TEST(RecorderRecordTest, TheLastRecordRunsToTheBlockEnd) {
  struct Case {
    const char* name;
    std::function<void(RecorderFileBuilder&)> build;
    std::size_t count;
    Entry last;
  };
  const std::vector<std::int16_t> full(8186, 7);  // offsets 12 .. 16383
  const Case cases[] = {
      {"a record at 0 takes samples up to offset 16383",
       [&](RecorderFileBuilder& f) { f.Block(0).Record(0, kT, 0xFFFF, 1, full); },
       8186,
       {8185, 7}},
      {"a record at an odd offset stops where a sample would leave the block",
       [&](RecorderFileBuilder& f) {
         // samples at 25, 27, ... 16381; offset 16383 holds half a sample
         f.Block(0).Record(0, kT, 13, 1).Record(13, kT + 1, 0xFFFF, 1, full).Byte(16383, 9);
       },
       1 + 8179,
       {8179, 7}},
      {"ten 0xFF ending at offset 16383 end the samples",
       [&](RecorderFileBuilder& f) {
         f.Block(0).Record(0, kT, 0xFFFF, 1, full).Fill(16374, 10, 0xFF);
       },
       8181,
       {8180, 7}},
      {"0xFF bytes that would run past the block are samples",
       [&](RecorderFileBuilder& f) {
         f.Block(0).Record(0, kT, 13, 1).Record(13, kT + 1, 0xFFFF, 1, full).Fill(16375, 9, 0xFF);
       },
       1 + 8179,
       {8179, -1}},
      {"ten 0xFF from an odd offset inside the block end the samples",
       [&](RecorderFileBuilder& f) {
         f.Block(0).Record(0, kT, 13, 1).Record(13, kT + 1, 0xFFFF, 1, full).Fill(16373, 10, 0xFF);
       },
       1 + 8174,
       {8174, 7}},
      // A record head needs 12 bytes: a chain whose next record would not fit ends the block.
      {"a next record at 16380 has no room: the block ends",
       [&](RecorderFileBuilder& f) {
         f.Block(0)
             .Record(0, kT, 16380, 1, std::vector<std::int16_t>(8184, 7))
             .Fill(16380, 4, 0x01);
         f.Block(0).Chain({{kT + 8184, 1, {9}}});
       },
       8185,
       {8184, 9}},
      {"a next record at 16374 has no room: the block ends",
       [&](RecorderFileBuilder& f) {
         f.Block(0)
             .Record(0, kT, 16374, 1, std::vector<std::int16_t>(8181, 7))
             .Fill(16374, 10, 0x01);
         f.Block(0).Chain({{kT + 8181, 1, {9}}});
       },
       8182,
       {8181, 9}},
      {"a next record at 16372 just fits and is read",
       [&](RecorderFileBuilder& f) {
         // Its head starts 10 s after the last sample: two gap markers, no samples.
         f.Block(0)
             .Record(0, kT, 16372, 1, std::vector<std::int16_t>(8180, 7))
             .Record(16372, kT + 8189, 0xFFFF, 1);
       },
       8182,
       {8188, GapValue}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Reading r = ReadChannelZero(c.build);
    ASSERT_EQ(r.error, std::nullopt);
    ASSERT_EQ(r.channels.size(), 1u);
    const std::vector<Entry> entries = Entries(r.channels[0]);
    ASSERT_EQ(entries.size(), c.count);
    EXPECT_EQ(entries.back(), c.last);
  }
}

// Samples outside the header's start and end are dropped; those at the limits are kept.
TEST(RecorderRecordTest, OnlySamplesInsideTheTimeWindowAreStored) {
  struct Case {
    const char* name;
    FieldTime start;
    FieldTime end;
    std::vector<Entry> entries;
  };
  const Case cases[] = {
      {"limits included",
       {10, 5, 12, 14, 0, 0},
       {10, 5, 12, 14, 0, 5},
       {{0, 3}, {1, 4}, {2, 5}, {3, 6}, {4, 7}, {5, 8}}},
      {"window of one second", {10, 5, 12, 14, 0, 5}, {10, 5, 12, 14, 0, 5}, {{5, 8}}},
      {"start later than end", {10, 5, 12, 15, 0, 0}, {10, 5, 12, 14, 0, 0}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderFileBuilder file;
    file.Window(c.start, c.end).Channels(0, 1);
    file.Block(0).Chain({{kT - 2, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9}}});  // 13:59:58 .. 14:00:06
    file.Block(1).Chain({{kT - 2, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9}}});
    const Reading r = ReadBytes(file.Build());
    ASSERT_EQ(r.error, std::nullopt);
    ASSERT_EQ(Numbers(r.channels), (std::vector<int>{1, 2}));
    EXPECT_EQ(Entries(r.channels[0]), c.entries);
    EXPECT_EQ(Entries(r.channels[1]), c.entries);
    EXPECT_EQ(r.summary.sampleCount, static_cast<std::int32_t>(2 * c.entries.size()));
  }
}

// Range 0..100 unless said otherwise, p = 4, one record at kT every second.
TEST(RecorderRecordTest, OutOfRangeValuesAreRepaired) {
  struct Case {
    const char* name;
    std::int16_t upper;
    std::int16_t lower;
    std::vector<std::int16_t> raw;
    std::vector<float> stored;
  };
  const Case cases[] = {
      {"in range, limits included", 100, 0, {0, 100, 50}, {0, 100, 50}},
      {"a run of two holds the last good value", 100, 0, {50, 150, 160, 60}, {50, 50, 50, 60}},
      {"a run of three holds the last good value",
       100,
       0,
       {50, 150, -1, 170, 60},
       {50, 50, 50, 50, 60}},
      {"the 4th bad value sets the run to the lower limit",
       100,
       0,
       {50, 150, 160, 170, 180, 60},
       {50, 0, 0, 0, 0, 60}},
      {"a long run stays at the lower limit",
       100,
       0,
       {50, 150, 160, 170, 180, 190, 200, 70},
       {50, 0, 0, 0, 0, 0, 0, 70}},
      {"the 4th bad value rewrites only the three before it",
       100,
       0,
       {40, 50, 150, 160, 170, 180},
       {40, 50, 0, 0, 0, 0}},
      {"a good value ends the run",
       100,
       0,
       {50, 150, 160, 170, 60, 200, 210},
       {50, 50, 50, 50, 60, 60, 60}},
      {"a channel's first bad value becomes the lower limit",
       100,
       20,
       {150, 160, 60},
       {20, 20, 60}},
      {"below the lower limit", 100, 20, {50, 10, -5, 60}, {50, 50, 50, 60}},
      {"no tolerance at a zero limit", 100, 0, {-2}, {0}},
      {"within 1/10000 of a limit is in range", 30000, 20000, {30002, 19999}, {30002, 19999}},
      {"beyond 1/10000 of a limit is out of range", 30000, 20000, {30004, 19997}, {20000, 20000}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderFileBuilder file;
    file.Range(0, c.upper, c.lower, 4, 0);
    file.Block(0).Chain({{kT, 1, c.raw}});
    const Reading r = ReadBytes(file.Build());
    ASSERT_EQ(r.channels.size(), 1u);
    EXPECT_EQ(r.channels[0].values, c.stored);
    EXPECT_EQ(r.summary.sampleCount, static_cast<std::int32_t>(c.stored.size()));
  }
}

// Records of channel 1 (range 0..100) given block by block; entries relative to kT.
TEST(RecorderRecordTest, InterruptionsGetGapMarkersAndResetTheBadRun) {
  struct Case {
    const char* name;
    std::vector<std::vector<RecordSpec>> blocks;
    std::vector<Entry> entries;
  };
  constexpr float G = GapValue;
  const Case cases[] = {
      // The first record ends at L = kT + 1; with w = 1 the next is expected at X = kT + 2.
      {"next record at X: no gap",
       {{{kT, 1, {10, 20}}, {kT + 2, 1, {30}}}},
       {{0, 10}, {1, 20}, {2, 30}}},
      {"next record before X: no gap",
       {{{kT, 1, {10, 20}}, {kT + 1, 1, {30}}}},
       {{0, 10}, {1, 20}, {1, 30}}},
      {"2 s after the last sample: one marker at +1 s",
       {{{kT, 1, {10, 20}}, {kT + 3, 1, {30}}}},
       {{0, 10}, {1, 20}, {2, G}, {3, 30}}},
      {"3 s after: markers at +1 s and at its start - 1 s",
       {{{kT, 1, {10, 20}}, {kT + 4, 1, {30}}}},
       {{0, 10}, {1, 20}, {2, G}, {3, G}, {4, 30}}},
      {"10 s after: markers at +1 s and at its start - 1 s",
       {{{kT, 1, {10, 20}}, {kT + 11, 1, {30}}}},
       {{0, 10}, {1, 20}, {2, G}, {10, G}, {11, 30}}},
      {"the previous record in the channel's previous block",
       {{{kT, 1, {10, 20}}}, {{kT + 3, 1, {30}}}},
       {{0, 10}, {1, 20}, {2, G}, {3, 30}}},
      {"X comes from the interval of the record that stored the last sample",
       {{{kT, 5, {10, 20}}, {kT + 10, 1, {30}}}},
       {{0, 10}, {5, 20}, {10, 30}}},
      {"one second after X with a long interval",
       {{{kT, 5, {10, 20}}, {kT + 11, 1, {30}}}},
       {{0, 10}, {5, 20}, {6, G}, {10, G}, {11, 30}}},
      {"interval 0: 1 s after is a gap without marker",
       {{{kT, 0, {10, 20}}, {kT + 1, 1, {30}}}},
       {{0, 10}, {0, 20}, {1, 30}}},
      {"no check when the previous record stored nothing",
       {{{kT, 1, {10}}, {kT + 1, 1, {}}, {kT + 20, 1, {30}}}},
       {{0, 10}, {20, 30}}},
      {"no check when the previous record's samples all lay outside the window",
       {{{kT, 1, {10}}, {kT - 100, 1, {99}}, {kT + 20, 1, {30}}}},
       {{0, 10}, {20, 30}}},
      {"no check for a channel's first record", {{{kT + 100, 1, {30}}}}, {{100, 30}}},

      // The bad-value run: reset by a real gap only.
      {"a gap without marker resets the run and the last good value",
       {{{kT, 0, {50, 150, 160}}, {kT + 1, 1, {170}}}},
       {{0, 50}, {0, 50}, {0, 50}, {1, 0}}},
      {"a gap resets the run's count",
       {{{kT, 0, {50, 150, 160, 170}}, {kT + 1, 1, {180}}}},
       {{0, 50}, {0, 50}, {0, 50}, {0, 50}, {1, 0}}},
      {"a gap with a marker resets the last good value",
       {{{kT, 1, {50, 150}}, {kT + 3, 1, {160}}}},
       {{0, 50}, {1, 50}, {2, G}, {3, 0}}},
      {"a record starting within one interval continues the run",
       {{{kT, 2, {50, 150}}, {kT + 3, 1, {160, 170, 180}}}},
       {{0, 50}, {2, 0}, {3, 0}, {4, 0}, {5, 0}}},
      {"a record starting at X continues the run",
       {{{kT, 1, {50, 150, 160}}, {kT + 3, 1, {170, 180}}}},
       {{0, 50}, {1, 0}, {2, 0}, {3, 0}, {4, 0}}},
      {"a run continues into the next block",
       {{{kT, 1, {50, 150, 160}}}, {{kT + 3, 1, {170}}}},
       {{0, 50}, {1, 50}, {2, 50}, {3, 50}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RecorderFileBuilder file;
    file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Range(0, 100, 0, 4, 0);
    for (const auto& records : c.blocks) file.Block(0).Chain(records);
    const Reading r = ReadBytes(file.Build());
    ASSERT_EQ(r.error, std::nullopt);
    ASSERT_EQ(r.channels.size(), 1u);
    EXPECT_EQ(Entries(r.channels[0]), c.entries);
    std::int32_t samples = 0;
    for (const Entry& e : c.entries) samples += e.value != G;
    EXPECT_EQ(r.summary.sampleCount, samples);  // markers are not counted
  }
}

}  // namespace
}  // namespace vantiro::testing
