// The archive on both engines: the round trip, idempotent and overlapping imports, holes between
// sources, forgetting, the check, the envelope, and imports that die or meet each other.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <thread>
#include <tuple>

#include "archive/ArchivePeriods.h"
#include "archive/ChunkCodec.h"
#include "archive/SqlConnection.h"
#include "archive/ArchiveTestSupport.h"
#include "recorder/CsvImport.h"

namespace vantiro {
namespace {

using namespace vantiro::testing;

constexpr std::int32_t kMay12 = 327024000;  // 2010-05-12 00:00:00, seconds since 2000

class ArchiveTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    location_ = NewArchiveLocation(GetParam(), dir_);
    ASSERT_FALSE(location_.empty());
  }
  std::string File(const std::string& name) const { return dir_.File(name); }

  TempDir dir_;
  std::string location_;
};

TEST_P(ArchiveTest, EveryRecordingComesBackAsItsReaderGaveIt) {
  std::ofstream(File("mixed.csv"), std::ios::binary)
      << "1,3,25.5,2010-05-12 10:00:05,℃\n"
         "2,1,1.25,2010-05-12 10:00:04,mA\n"
         "3,3,26.5,2010-05-12 10:00:03,℃\n"   // times going back
         "4,3,26.5,2010-05-12 10:00:03,℃\n"   // the same time twice
         "5,1,-158,2010-05-12 10:00:09,mA\n"  // a gap value
         "6,7,0.001,2010-05-12 10:00:01.250,%\n";
  struct Case {
    const char* name;
    std::string path;
  };
  const Case cases[] = {
      {"three channels", WriteRecording(File("a.bin"), kMay12 + 36000, 3000)},
      {"an interruption", WriteRecording(File("b.bin"), kMay12 + 36000, 2000, 2, 5, true)},
      {"one channel, one sample", WriteRecording(File("c.dat"), kMay12, 1, 1)},
      {"a CSV import", File("mixed.csv")},
  };
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  ASSERT_TRUE(archive);
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const SourceRecording recording = Load(c.path);
    const std::string recorder = "recorder " + std::to_string(++n);
    const ImportResult result = archive->Import(recorder, recording);
    ASSERT_EQ(result.outcome, ImportResult::Outcome::Imported) << result.message;
    EXPECT_EQ(result.added, result.samples);
    const Period p = ReadWhole(*archive, recorder);
    ExpectSameChannels(p.channels, InTimeOrder(recording.channels));
    EXPECT_EQ(p.summary.rangeMin, recording.summary.rangeMin);
    EXPECT_EQ(p.summary.rangeMax, recording.summary.rangeMax);
    EXPECT_EQ(ToArchiveMs(p.summary.startTime), ToArchiveMs(recording.summary.startTime));
    EXPECT_EQ(ToArchiveMs(p.summary.endTime), ToArchiveMs(recording.summary.endTime));
    EXPECT_EQ(p.summary.sampleCount, recording.summary.sampleCount);
  }
  std::string error;
  const auto problems = archive->Check(error);
  ASSERT_TRUE(problems) << error;
  EXPECT_TRUE(problems->empty()) << (*problems)[0];
}

TEST_P(ArchiveTest, TheSameFileTwiceChangesNothing) {
  const SourceRecording recording = Load(WriteRecording(File("a.bin"), kMay12, 1000));
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  ASSERT_EQ(archive->Import("kiln", recording).outcome, ImportResult::Outcome::Imported);
  const ImportResult again = archive->Import("kiln", recording);
  EXPECT_EQ(again.outcome, ImportResult::Outcome::AlreadyThere);
  std::string error;
  EXPECT_EQ(archive->Sources(RecorderId(*archive, "kiln"), error)->size(), 1u);
  // Under another recorder it is another recording.
  EXPECT_EQ(archive->Import("dryer", recording).outcome, ImportResult::Outcome::Imported);
}

TEST_P(ArchiveTest, AnOverlappingExportAddsOnlyWhatIsNewAndKeepsTheFirstValue) {
  std::ofstream(File("first.csv")) << "1,1,10,2010-05-12 10:00:00,℃\n1,1,11,2010-05-12 10:00:01,℃\n"
                                      "1,1,12,2010-05-12 10:00:02,℃\n";
  std::ofstream(File("second.csv")) << "1,1,11,2010-05-12 10:00:01,℃\n"   // the same
                                       "1,1,99,2010-05-12 10:00:02,℃\n"   // another value
                                       "1,1,13,2010-05-12 10:00:03,℃\n";  // new
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  ASSERT_EQ(archive->Import("r", Load(File("first.csv"))).outcome, ImportResult::Outcome::Imported);
  const ImportResult second = archive->Import("r", Load(File("second.csv")));
  ASSERT_EQ(second.outcome, ImportResult::Outcome::Imported) << second.message;
  EXPECT_EQ(second.samples, 3);
  EXPECT_EQ(second.added, 1);
  EXPECT_EQ(second.duplicates, 1);
  EXPECT_EQ(second.conflicts, 1);
  const Period p = ReadWhole(*archive, "r");
  ASSERT_EQ(p.channels.size(), 1u);
  EXPECT_EQ(p.channels[0].values, (std::vector<float>{10, 11, 12, 13}));
  std::string error;
  EXPECT_TRUE(archive->Check(error)->empty());
}

TEST_P(ArchiveTest, AHoleBetweenTwoFilesIsABreakAndTouchingFilesAreOne) {
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  // Day files: 00:00-00:09:59 and 00:10:00-00:19:59 touch; 01:00-01:09:59 leaves a hole.
  ASSERT_EQ(archive->Import("r", Load(WriteRecording(File("1.bin"), kMay12, 600, 1))).outcome,
            ImportResult::Outcome::Imported);
  ASSERT_EQ(archive->Import("r", Load(WriteRecording(File("2.bin"), kMay12 + 600, 600, 1))).outcome,
            ImportResult::Outcome::Imported);
  ASSERT_EQ(archive->Import("r", Load(WriteRecording(File("3.bin"), kMay12 + 3600, 600, 1))).outcome,
            ImportResult::Outcome::Imported);
  const Period p = ReadWhole(*archive, "r");
  ASSERT_EQ(p.channels.size(), 1u);
  const ChannelInfo& c = p.channels[0];
  ASSERT_EQ(c.times.size(), 1801u);  // every sample and one break
  std::vector<std::size_t> gaps;
  for (std::size_t i = 0; i < c.values.size(); ++i) {
    if (IsGapValue(c.values[i])) gaps.push_back(i);
  }
  ASSERT_EQ(gaps, std::vector<std::size_t>{1200});
  EXPECT_GT(c.times[1200], c.times[1199]);
  EXPECT_LT(c.times[1200], c.times[1201]);
  std::string error;
  const auto coverage = archive->Coverage(RecorderId(*archive, "r"), error);
  ASSERT_TRUE(coverage);
  ASSERT_EQ(coverage->size(), 2u);
  EXPECT_EQ((*coverage)[0].lastMs - (*coverage)[0].firstMs, 1199000);
}

TEST_P(ArchiveTest, ForgettingASourceRemovesItsSamplesOnly) {
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  const ImportResult a = archive->Import("r", Load(WriteRecording(File("a.bin"), kMay12, 500, 2)));
  const ImportResult b = archive->Import("r", Load(WriteRecording(File("b.bin"), kMay12 + 1000, 500, 2)));
  ASSERT_EQ(b.outcome, ImportResult::Outcome::Imported);
  std::string error;
  ASSERT_TRUE(archive->Forget(a.sourceId, error)) << error;
  EXPECT_FALSE(archive->Forget(a.sourceId, error));
  const Period p = ReadWhole(*archive, "r");
  ASSERT_EQ(p.channels.size(), 2u);
  EXPECT_EQ(p.channels[0].times.size(), 500u);
  EXPECT_EQ(ToArchiveMs(p.channels[0].times.front()), ToArchiveMs(RecorderSecondsToDateTime(kMay12 + 1000)));
  EXPECT_TRUE(archive->Check(error)->empty());
  // Imported again, it is back.
  EXPECT_EQ(archive->Import("r", Load(File("a.bin"))).outcome, ImportResult::Outcome::Imported);
}

TEST_P(ArchiveTest, ASourceWhoseSamplesALaterOneSharesIsNotForgottenFirst) {
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  // b repeats a's second half: those samples live in a's chunks only.
  const ImportResult a = archive->Import("r", Load(WriteRecording(File("a.bin"), kMay12, 1000, 1)));
  const ImportResult b = archive->Import("r", Load(WriteRecording(File("b.bin"), kMay12 + 500, 1000, 1)));
  ASSERT_EQ(b.duplicates, 500);
  std::string error;
  EXPECT_FALSE(archive->Forget(a.sourceId, error));
  EXPECT_NE(error.find("source " + std::to_string(b.sourceId)), std::string::npos) << error;
  const Period before = ReadWhole(*archive, "r");
  EXPECT_EQ(before.channels[0].times.size(), 1500u);
  // In the order that keeps everything: the later one first, then the earlier, then the later again.
  ASSERT_TRUE(archive->Forget(b.sourceId, error)) << error;
  ASSERT_TRUE(archive->Forget(a.sourceId, error)) << error;
  const ImportResult again = archive->Import("r", Load(File("b.bin")));
  EXPECT_EQ(again.added, 1000);
  EXPECT_TRUE(archive->Check(error)->empty());
}

TEST_P(ArchiveTest, TheCheckFindsWhatIsWrong) {
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  ASSERT_EQ(archive->Import("r", Load(WriteRecording(File("a.bin"), kMay12, 5000, 1))).outcome,
            ImportResult::Outcome::Imported);
  std::string error;
  ASSERT_TRUE(archive->Check(error)->empty());
  SqlConnection& db = archive->Connection();
  struct Damage {
    const char* name;
    const char* sql;
    const char* undo;
  };
  const Damage damages[] = {
      {"a chunk's bytes", "UPDATE chunk SET data = data || data WHERE id = (SELECT MIN(id) FROM chunk)", nullptr},
      {"a chunk's row", "UPDATE chunk SET max_value = max_value + 1", nullptr},
      {"a summary", "UPDATE summary SET count = count + 1 WHERE level_ms = 3600000", nullptr},
      {"a lost chunk", "DELETE FROM chunk WHERE id = (SELECT MAX(id) FROM chunk)", nullptr},
  };
  for (const Damage& d : damages) {
    SCOPED_TRACE(d.name);
    db.Execute(d.sql);
    const auto problems = archive->Check(error);
    ASSERT_TRUE(problems) << error;
    EXPECT_FALSE(problems->empty());
  }
}

TEST_P(ArchiveTest, TheEnvelopeIsTheMinMaxAndMeanOfEachColumn) {
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  // Two days of one channel every 10 s, with a spike of one sample.
  std::ofstream csv(File("two-days.csv"));
  std::vector<std::pair<std::int64_t, float>> samples;
  const std::int64_t start = ToArchiveMs(RecorderSecondsToDateTime(kMay12));
  for (int i = 0; i < 2 * 8640; ++i) {
    const float v = i == 9000 ? 500.0f : static_cast<float>(i % 100) / 4.0f;
    samples.push_back({start + i * 10000LL, v});
    const DateTime t = FromArchiveMs(start + i * 10000LL);
    csv << i << ",1," << v << "," << FormatDateTime(t, DatePattern::Millisecond) << ",℃\n";
  }
  csv.close();
  ASSERT_EQ(archive->Import("r", Load(File("two-days.csv"))).outcome, ImportResult::Outcome::Imported);
  const std::int64_t id = RecorderId(*archive, "r");
  const std::int64_t end = samples.back().first;
  for (const int pixels : {100, 1282, 20000}) {
    SCOPED_TRACE(pixels);
    std::string error;
    const auto envelope = archive->Envelope(id, start, end, {}, pixels, error);
    ASSERT_TRUE(envelope) << error;
    ASSERT_EQ(envelope->size(), 1u);
    const std::vector<EnvelopeBucket>& buckets = (*envelope)[0].buckets;
    std::int64_t count = 0;
    double max = 0;
    for (const EnvelopeBucket& b : buckets) {
      count += b.count;
      max = std::max(max, b.max);
      EXPECT_LE(b.min, b.mean);
      EXPECT_LE(b.mean, b.max);
    }
    EXPECT_EQ(count, static_cast<std::int64_t>(samples.size()));
    EXPECT_EQ(max, 500.0);  // the spike is never thinned away
    EXPECT_LE(buckets.size(), static_cast<std::size_t>(pixels));
  }
}

// The samples of a period counted exactly: the chunks wholly inside from their rows, the chunks its
// ends cut decoded (the rows alone count those whole).
TEST_P(ArchiveTest, APeriodsSamplesAreCountedExactly) {
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  // Two chunks a channel (4096 and 3904 samples, one a second), a file of 600 that touches it, and
  // after an hour's hole another 600.
  for (const auto& [name, start, count] : {std::tuple{"a.bin", kMay12, 8000}, std::tuple{"b.bin", kMay12 + 8000, 600},
                                           std::tuple{"c.bin", kMay12 + 12200, 600}}) {
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(File(name), start, count, 3))).outcome,
              ImportResult::Outcome::Imported);
  }
  const std::int64_t id = RecorderId(*archive, "kiln");
  const std::int64_t t0 = ToArchiveMs(RecorderSecondsToDateTime(kMay12));
  auto at = [t0](std::int64_t seconds) { return t0 + seconds * 1000; };
  struct Case {
    const char* what;
    std::int64_t fromMs, toMs;
    std::vector<int> channels;
    std::int64_t samples;
  };
  const Case cases[] = {
      // The first chunk of a.bin from its 1000th sample, its second chunk whole, b.bin to its 101st.
      {"both ends cut, a whole chunk between", at(1000), at(8100), {}, 3 * 7101},
      {"one channel of it", at(1000), at(8100), {2}, 7101},
      {"two channels of it", at(1000), at(8100), {1, 3}, 2 * 7101},
      {"a chunk to its last sample", at(0), at(4095), {1}, 4096},
      {"inside one chunk", at(100), at(200), {1, 3}, 2 * 101},
      {"a millisecond on a sample", at(5000), at(5000), {1}, 1},
      {"between two samples", at(5000) + 1, at(5000) + 999, {1}, 0},
      {"across the hole into the last file", at(8500), at(12200 + 99), {}, 3 * (100 + 100)},
      {"within the hole", at(8600), at(12199), {}, 0},
      {"before everything", at(-1000), at(-1), {}, 0},
      {"the end before the start", at(8100), at(1000), {}, 0},
      {"a channel the recorder lacks", at(1000), at(8100), {7}, 0},
      {"open at both ends", kPeriodOpenStart, kPeriodOpenEnd, {}, 3 * (8000 + 600 + 600)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string error;
    const std::optional<std::int64_t> exact = archive->CountSamplesExactly(id, c.fromMs, c.toMs, c.channels, error);
    ASSERT_TRUE(exact) << error;
    EXPECT_EQ(*exact, c.samples);
    if (c.fromMs <= c.toMs) {
      const std::optional<std::int64_t> rows = archive->CountSamples(id, c.fromMs, c.toMs, c.channels, error);
      ASSERT_TRUE(rows) << error;
      EXPECT_GE(*rows, *exact);
    }
  }
  // The rows alone take the two cut chunks whole.
  std::string error;
  EXPECT_EQ(archive->CountSamples(id, at(1000), at(8100), {}, error), 3 * (8000 + 600));
  // A period resolved for the window counts its samples exactly.
  const std::optional<ResolvedPeriod> period = ResolvePeriod(*archive, 0, "kiln", {2}, at(1000), at(8100), error);
  ASSERT_TRUE(period) << error;
  EXPECT_EQ(period->samples, 7101);
}

TEST_P(ArchiveTest, TwoImportersAtOnceGiveTheUnionOnce) {
  std::vector<std::string> files;
  for (int i = 0; i < 6; ++i) {
    // Overlapping by half: each file repeats the second half of the one before.
    files.push_back(WriteRecording(File("f" + std::to_string(i) + ".bin"), kMay12 + i * 500, 1000, 2));
  }
  { OpenArchive(location_); }  // made once, so that both importers open an archive
  std::vector<ImportResult> results(2 * files.size());
  auto importer = [&](int which) {
    std::string error;
    std::unique_ptr<Archive> archive = Archive::Open(location_, true, error);
    ASSERT_TRUE(archive) << error;
    for (std::size_t k = 0; k < files.size(); ++k) {
      // One goes forwards, the other backwards.
      const std::size_t i = which == 0 ? k : files.size() - 1 - k;
      results[which * files.size() + k] = archive->Import("r", Load(files[i]));
    }
  };
  std::thread a(importer, 0);
  std::thread b(importer, 1);
  a.join();
  b.join();
  int imported = 0;
  for (const ImportResult& r : results) {
    EXPECT_NE(r.outcome, ImportResult::Outcome::Failed) << r.message;
    if (r.outcome == ImportResult::Outcome::Imported) ++imported;
  }
  EXPECT_EQ(imported, static_cast<int>(files.size()));
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  const Period p = ReadWhole(*archive, "r");
  ASSERT_EQ(p.channels.size(), 2u);
  EXPECT_EQ(p.channels[0].times.size(), 500u * (files.size() + 1));  // every second once
  for (std::size_t i = 1; i < p.channels[0].times.size(); ++i) {
    ASSERT_EQ(ToArchiveMs(p.channels[0].times[i]) - ToArchiveMs(p.channels[0].times[i - 1]), 1000) << i;
  }
  std::string error;
  EXPECT_TRUE(archive->Check(error)->empty());
}

// Kills the process at the `at`-th step of its import.
class KillAt final : public ProgressSink {
 public:
  explicit KillAt(int at) : at_(at) {}
  void SetMax(int) override {}
  void StepBy(int steps) override {
    steps_ += steps;
    if (steps_ >= at_) ::kill(::getpid(), SIGKILL);
  }

 private:
  int at_;
  int steps_ = 0;
};

TEST_P(ArchiveTest, AnImportKilledAtAnyStepLeavesTheArchiveAsItWas) {
  const std::string earlier = WriteRecording(File("earlier.bin"), kMay12, 1000, 4);
  const std::string killed = WriteRecording(File("killed.bin"), kMay12 + 800, 3000, 4);
  {
    std::unique_ptr<Archive> archive = OpenArchive(location_);
    ASSERT_EQ(archive->Import("r", Load(earlier)).outcome, ImportResult::Outcome::Imported);
  }
  const Period before = [&] {
    std::unique_ptr<Archive> archive = OpenArchive(location_);
    return ReadWhole(*archive, "r");
  }();
  for (int step = 1; step <= 5; ++step) {  // the source row, then each of the four channels
    SCOPED_TRACE(step);
    const SourceRecording recording = Load(killed);
    const pid_t child = ::fork();
    if (child == 0) {
      std::string error;
      std::unique_ptr<Archive> archive = Archive::Open(location_, true, error);
      KillAt kill(step);
      if (archive) archive->Import("r", recording, &kill);
      ::_exit(0);  // not reached: killed inside the import
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    std::unique_ptr<Archive> archive = OpenArchive(location_);
    ASSERT_TRUE(archive);
    std::string error;
    const auto problems = archive->Check(error);
    ASSERT_TRUE(problems) << error;
    EXPECT_TRUE(problems->empty()) << (*problems)[0];
    EXPECT_EQ(archive->Sources(RecorderId(*archive, "r"), error)->size(), 1u);
    const Period after = ReadWhole(*archive, "r");
    ExpectSameChannels(after.channels, before.channels);
  }
  // Imported again, it is complete.
  std::unique_ptr<Archive> archive = OpenArchive(location_);
  const ImportResult again = archive->Import("r", Load(killed));
  ASSERT_EQ(again.outcome, ImportResult::Outcome::Imported) << again.message;
  EXPECT_EQ(again.duplicates, 4 * 200);
}

TEST_P(ArchiveTest, AnArchiveMadeBeforeItsCountingIndexesGetsThemWhenOpenedAndReadsTheSame) {
  // The indexes that let counts and envelopes read no blob: an archive without them (made by an
  // earlier version) is given them by the next opener and answers as before.
  const auto indexes = [](Archive& archive) {
    auto statement = archive.Connection().Prepare(
        archive.Connection().Dialect() == SqlDialect::Postgres
            ? "SELECT count(*) FROM pg_indexes WHERE schemaname = current_schema() AND "
              "indexname IN ('chunk_span', 'summary_envelope')"
            : "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name IN ('chunk_span', 'summary_envelope')");
    return statement->Step() ? statement->Int(0) : -1;
  };
  std::int64_t before = 0;
  {
    auto archive = OpenArchive(location_);
    ASSERT_EQ(archive->Import("r", Load(WriteRecording(File("a.bin"), kMay12, 9000, 2))).outcome,
              ImportResult::Outcome::Imported);
    EXPECT_EQ(indexes(*archive), 2);
    std::string error;
    before = *archive->CountSamplesExactly(RecorderId(*archive, "r"), INT64_MIN / 4, INT64_MAX / 4, {}, error);
    archive->Connection().Execute("DROP INDEX chunk_span; DROP INDEX summary_envelope");
    EXPECT_EQ(indexes(*archive), 0);
  }
  auto archive = OpenArchive(location_, false);
  ASSERT_TRUE(archive);
  EXPECT_EQ(indexes(*archive), 2);
  std::string error;
  EXPECT_EQ(*archive->CountSamplesExactly(RecorderId(*archive, "r"), INT64_MIN / 4, INT64_MAX / 4, {}, error), before);
  EXPECT_GT(before, 8192);  // more than one chunk
  // Asked only whether a period cut inside its chunks holds more than so many: a count above that
  // and not above the exact one, or the exact one when it does not.
  const std::int64_t id = RecorderId(*archive, "r");
  const std::int64_t from = ToArchiveMs(RecorderSecondsToDateTime(kMay12 + 1000));
  const std::int64_t to = ToArchiveMs(RecorderSecondsToDateTime(kMay12 + 9000));  // past the last: its chunks inside
  const std::int64_t exact = *archive->CountSamplesExactly(id, from, to, {}, error);
  for (const std::int64_t above : {std::int64_t{0}, std::int64_t{100}, exact - 1, exact, exact + 5000}) {
    const std::int64_t quick = *archive->CountSamplesExactly(id, from, to, {}, error, above);
    EXPECT_LE(quick, exact) << above;
    EXPECT_EQ(quick > above, exact > above) << above;
    if (exact <= above) EXPECT_EQ(quick, exact) << above;
    if (above == 0) EXPECT_LT(quick, exact) << "the chunk cut at the start not decoded";
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, ArchiveTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), EngineName);

}  // namespace
}  // namespace vantiro
