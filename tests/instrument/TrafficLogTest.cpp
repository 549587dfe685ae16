// The line's traffic log: the text each exchange shows as, the last 2000 kept, and the listener
// that vantiro-monitor --trace prints from.
#include <gtest/gtest.h>

#include <thread>

#include "instrument/TrafficLog.h"

namespace vantiro {
namespace {

TEST(TrafficLogTest, AnExchangeReadsAsTwoLinesOfTimeDirectionHexAndOutcome) {
  TrafficEntry entry;
  entry.time = *EncodeDateTime(2024, 5, 6, 12, 30, 5) + 250 * kOneMillisecond;
  entry.request = {0x01, 0x03, 0x00, 0x0A};
  entry.reply = {0x01, 0x83};
  entry.outcome = "返回字符个数不正确!";
  EXPECT_EQ(TrafficText(entry),
            "12:30:05.250 → 01 03 00 0A\n"
            "             ← 01 83 (返回字符个数不正确!)\n");
  entry.reply.clear();
  entry.outcome = "读写超时";
  EXPECT_EQ(TrafficText(entry),
            "12:30:05.250 → 01 03 00 0A\n"
            "             ← (读写超时)\n");
}

TEST(TrafficLogTest, TheLastEntriesAreKeptNumberedAndHandedToTheListener) {
  TrafficLog log;
  std::vector<std::uint64_t> heard;
  log.SetListener([&](const TrafficEntry& e) { heard.push_back(e.number); });
  // From two threads at once, as the poll's worker and a probe might.
  auto add = [&log](int n) {
    for (int i = 0; i < n; ++i) log.Add(TrafficEntry{});
  };
  std::thread other(add, 1000);
  add(1005);
  other.join();
  const std::vector<TrafficEntry> kept = log.Since(0);
  ASSERT_EQ(kept.size(), kTrafficEntries);
  EXPECT_EQ(kept.front().number, 6u);
  EXPECT_EQ(kept.back().number, 2005u);
  EXPECT_EQ(log.Since(2000).size(), 5u);
  EXPECT_EQ(heard.size(), 2005u);
  log.SetListener({});
  log.Add(TrafficEntry{});
  EXPECT_EQ(heard.size(), 2005u);
  log.Clear();
  EXPECT_TRUE(log.Since(0).empty());
}

}  // namespace
}  // namespace vantiro
