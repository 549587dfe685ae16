// Live readings into the archive on both engines: commits that grow the open chunks, holes between
// runs, a reading twice or from a clock set back, overlap with an imported file, a commit that
// fails, and a writer killed while it records.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <thread>

#include "archive/ArchiveTestSupport.h"
#include "archive/LiveRecording.h"
#include "archive/SqlConnection.h"

namespace vantiro {
namespace {

using namespace vantiro::testing;

constexpr std::int32_t kMay12 = 327024000;        // seconds since 2000
constexpr std::int64_t kMay12Ms = 1273622400000;  // 2010-05-12 00:00:00 in archive time

std::vector<ChannelHeader> Channels(int n) {
  std::vector<ChannelHeader> channels;
  for (int c = 1; c <= n; ++c) channels.push_back({c, c == 1 ? "℃" : "MPa", false, 0, 0, 0});
  return channels;
}

// Channel c's value of reading i: the recorder's scaled decimals, with a step now and then.
float Value(int c, std::int64_t i) { return static_cast<float>(static_cast<double>(c * 1000 + (i * 7) % 301) * 0.1); }

std::vector<float> Reading(int channels, std::int64_t i) {
  std::vector<float> values;
  for (int c = 1; c <= channels; ++c) values.push_back(Value(c, i));
  return values;
}

void ExpectChecked(Archive& archive) {
  std::string error;
  const auto problems = archive.Check(error);
  ASSERT_TRUE(problems) << error;
  EXPECT_TRUE(problems->empty()) << (*problems)[0];
}

class LiveRecordingTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    location_ = NewArchiveLocation(GetParam(), dir_);
    ASSERT_FALSE(location_.empty());
  }
  TempDir dir_;
  std::string location_;
};

TEST_P(LiveRecordingTest, ReadingsCommittedInManyStepsComeBackExactly) {
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  LiveRecording live(*archive, "COM1 地址1", "COM1 地址1", Channels(3));
  // More than a chunk, committed five at a time as a monitoring session would.
  constexpr std::int64_t kReadings = 4096 + 1000;
  std::string error;
  for (std::int64_t i = 0; i < kReadings; ++i) {
    live.Add(kMay12Ms + i * 1000, Reading(3, i));
    if (i % 5 == 4) {
      ASSERT_TRUE(live.Commit(error)) << error;
    }
  }
  ASSERT_TRUE(live.Commit(error)) << error;
  EXPECT_EQ(live.Committed(), kReadings);
  EXPECT_EQ(live.Sources().size(), 1u);

  const Period p = ReadWhole(*archive, "COM1 地址1");
  ASSERT_EQ(p.channels.size(), 3u);
  for (int c = 1; c <= 3; ++c) {
    const ChannelInfo& ch = p.channels[static_cast<std::size_t>(c - 1)];
    EXPECT_EQ(ch.number, c);
    EXPECT_EQ(ch.unit, c == 1 ? "℃" : "MPa");
    ASSERT_EQ(ch.values.size(), static_cast<std::size_t>(kReadings));
    for (std::int64_t i = 0; i < kReadings; ++i) {
      ASSERT_EQ(ToArchiveMs(ch.times[static_cast<std::size_t>(i)]), kMay12Ms + i * 1000);
      ASSERT_EQ(std::bit_cast<std::uint32_t>(ch.values[static_cast<std::size_t>(i)]),
                std::bit_cast<std::uint32_t>(Value(c, i)));
    }
  }
  // Two chunks a channel: the full one left alone, the open one grown in place.
  auto chunks = archive->Connection().Prepare("SELECT COUNT(*) FROM chunk");
  ASSERT_TRUE(chunks->Step());
  EXPECT_EQ(chunks->Int(0), 6);
  std::string why;
  const auto sources = archive->Sources(RecorderId(*archive, "COM1 地址1"), why);
  ASSERT_TRUE(sources);
  ASSERT_EQ(sources->size(), 1u);
  EXPECT_EQ((*sources)[0].kind, "live");
  EXPECT_EQ((*sources)[0].path, "COM1 地址1");
  EXPECT_EQ((*sources)[0].firstMs, kMay12Ms);
  EXPECT_EQ((*sources)[0].lastMs, kMay12Ms + (kReadings - 1) * 1000);
  EXPECT_EQ((*sources)[0].samples, 3 * kReadings);
  ExpectChecked(*archive);
  // The summaries read as the exact samples do.
  const auto envelope = archive->Envelope(RecorderId(*archive, "COM1 地址1"), kMay12Ms, kMay12Ms + kReadings * 1000,
                                          {1}, 4, why);
  ASSERT_TRUE(envelope) << why;
  double sum = 0.0;
  std::int64_t count = 0;
  for (const EnvelopeBucket& b : (*envelope)[0].buckets) {
    sum += b.mean * static_cast<double>(b.count);
    count += b.count;
  }
  EXPECT_EQ(count, kReadings);
  double expected = 0.0;
  for (std::int64_t i = 0; i < kReadings; ++i) expected += Value(1, i);
  EXPECT_NEAR(sum, expected, 1e-6 * expected);
}

TEST_P(LiveRecordingTest, AHoleIsABreakAndNoReadingIsKeptTwice) {
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  LiveRecording live(*archive, "r", "COM2 地址3", Channels(2));
  std::string error;
  for (std::int64_t i = 0; i < 10; ++i) {
    live.Add(kMay12Ms + i * 1000, Reading(2, i));
    live.Add(kMay12Ms + i * 1000, Reading(2, i + 1));  // the same second read again: dropped
  }
  ASSERT_TRUE(live.Commit(error)) << error;
  live.Hole();  // the link lost for 30 s
  for (std::int64_t i = 40; i < 50; ++i) live.Add(kMay12Ms + i * 1000, Reading(2, i));
  // The recorder's clock set back by 5 s: a source of its own, only its new times added.
  for (std::int64_t i = 45; i < 55; ++i) live.Add(kMay12Ms + i * 1000 + 500, Reading(2, i));
  ASSERT_TRUE(live.Commit(error)) << error;
  EXPECT_EQ(live.Sources().size(), 3u);

  const Period p = ReadWhole(*archive, "r");
  ASSERT_EQ(p.channels.size(), 2u);
  const ChannelInfo& c = p.channels[0];
  std::vector<std::int64_t> gaps;
  std::vector<std::int64_t> times;
  for (std::size_t i = 0; i < c.values.size(); ++i) {
    times.push_back(ToArchiveMs(c.times[i]));
    if (IsGapValue(c.values[i])) gaps.push_back(ToArchiveMs(c.times[i]) - kMay12Ms);
  }
  ASSERT_EQ(gaps.size(), 1u);  // one break, inside the 30 s without readings
  EXPECT_GT(gaps[0], 9000);
  EXPECT_LT(gaps[0], 40000);
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
  EXPECT_EQ(std::adjacent_find(times.begin(), times.end()), times.end()) << "a time twice";
  EXPECT_EQ(c.values.size(), 10u + 1u + 10u + 10u);
  EXPECT_EQ(std::bit_cast<std::uint32_t>(c.values[0]), std::bit_cast<std::uint32_t>(Value(1, 0)));
  ExpectChecked(*archive);
}

TEST_P(LiveRecordingTest, ReadingsAtTimesAnImportedFileHoldsAreNotAddedAgain) {
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  const std::string file = WriteRecording(dir_.File("r.bin"), kMay12, 60, 2);
  const SourceRecording recording = Load(file);
  ASSERT_EQ(archive->Import("r", recording).outcome, ImportResult::Outcome::Imported);
  const std::int64_t fileStart = ToArchiveMs(recording.channels[0].times[0]);
  LiveRecording live(*archive, "r", "COM1 地址1", Channels(2));
  for (std::int64_t i = 50; i < 70; ++i) live.Add(fileStart + i * 1000, Reading(2, i));
  std::string error;
  ASSERT_TRUE(live.Commit(error)) << error;
  const Period p = ReadWhole(*archive, "r");
  ASSERT_EQ(p.channels.size(), 2u);
  EXPECT_EQ(p.channels[0].values.size(), 70u);  // 60 from the file, 10 new
  EXPECT_EQ(p.channels[0].values[55], recording.channels[0].values[55]);  // the file's value kept
  ExpectChecked(*archive);
}

TEST_P(LiveRecordingTest, AFailedCommitKeepsItsReadingsForTheNext) {
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  LiveRecording live(*archive, "r", "COM1 地址1", Channels(1));
  std::string error;
  for (std::int64_t i = 0; i < 5; ++i) live.Add(kMay12Ms + i * 1000, Reading(1, i));
  ASSERT_TRUE(live.Commit(error)) << error;
  // A table the commit needs goes away for a while: the commit fails whole.
  archive->Connection().Execute("ALTER TABLE summary RENAME TO summary_away");
  for (std::int64_t i = 5; i < 10; ++i) live.Add(kMay12Ms + i * 1000, Reading(1, i));
  EXPECT_FALSE(live.Commit(error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(live.Pending(), 5u);
  archive->Connection().Execute("ALTER TABLE summary_away RENAME TO summary");
  for (std::int64_t i = 10; i < 15; ++i) live.Add(kMay12Ms + i * 1000, Reading(1, i));
  ASSERT_TRUE(live.Commit(error)) << error;
  const Period p = ReadWhole(*archive, "r");
  ASSERT_EQ(p.channels.size(), 1u);
  ASSERT_EQ(p.channels[0].values.size(), 15u);
  for (std::size_t i = 0; i < 15; ++i) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(p.channels[0].values[i]),
              std::bit_cast<std::uint32_t>(Value(1, static_cast<std::int64_t>(i))));
  }
  ExpectChecked(*archive);
}

TEST_P(LiveRecordingTest, AWriterKilledWhileRecordingLosesOnlyItsLastCommitPeriod) {
  constexpr auto kCommitEvery = std::chrono::milliseconds(300);
  // Readings every 10 ms stamped with the wall clock at which they were handed over.
  const pid_t child = ::fork();
  if (child == 0) {
    LiveArchiveWriter writer(location_, "r", "COM1 地址1", Channels(16), kCommitEvery);
    for (std::int64_t i = 0;; ++i) {
      const std::int64_t now = std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::system_clock::now().time_since_epoch())
                                   .count();
      writer.Add(now, Reading(16, i));
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  const std::int64_t killedAt = std::chrono::duration_cast<std::chrono::milliseconds>(
                                    std::chrono::system_clock::now().time_since_epoch())
                                    .count();
  ::kill(child, SIGKILL);
  int status = 0;
  ::waitpid(child, &status, 0);
  ASSERT_TRUE(WIFSIGNALED(status));

  std::unique_ptr<Archive> archive = OpenArchive(location_);
  ASSERT_TRUE(archive);
  ExpectChecked(*archive);
  const Period p = ReadWhole(*archive, "r");
  ASSERT_EQ(p.channels.size(), 16u);
  const ChannelInfo& c = p.channels[15];
  ASSERT_FALSE(c.times.empty());
  // Everything up to a commit period (and the commit's own time) before the kill is there, without
  // a break.
  EXPECT_GE(ToArchiveMs(c.times.back()), killedAt - 3 * kCommitEvery.count());
  for (const float v : c.values) EXPECT_FALSE(IsGapValue(v));
  for (std::size_t i = 1; i < c.times.size(); ++i) {
    ASSERT_LT(ToArchiveMs(c.times[i]) - ToArchiveMs(c.times[i - 1]), 200) << i;
  }
}

TEST_P(LiveRecordingTest, TheWriterCommitsAtFinishAndSaysWhenTheArchiveCannotBeOpened) {
  {
    LiveArchiveWriter writer(location_, "r", "COM1 地址1", Channels(2), std::chrono::hours(1));
    for (std::int64_t i = 0; i < 3; ++i) writer.Add(kMay12Ms + i * 1000, Reading(2, i));
    writer.Hole();
    writer.Add(kMay12Ms + 10000, Reading(2, 10));
    writer.Finish();
    EXPECT_EQ(writer.Committed(), 4);
    EXPECT_EQ(writer.LastError(), "");
    EXPECT_FALSE(writer.Describe().empty());
  }
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  std::string error;
  EXPECT_EQ(archive->Sources(RecorderId(*archive, "r"), error)->size(), 2u);
  if (GetParam() == Engine::Sqlite) {
    // A folder where the archive should be: nothing recorded, and the reason kept.
    LiveArchiveWriter writer(dir_.File(""), "r", "COM1 地址1", Channels(1), std::chrono::hours(1));
    writer.Add(kMay12Ms, Reading(1, 0));
    writer.Finish();
    EXPECT_EQ(writer.Committed(), 0);
    EXPECT_FALSE(writer.LastError().empty());
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, LiveRecordingTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         EngineName);

}  // namespace
}  // namespace vantiro
