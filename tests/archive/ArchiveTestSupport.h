#pragma once
// The archive tests' common ground: an archive on either engine, recordings built in code.

#include <gtest/gtest.h>

#include <bit>
#include <memory>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "archive/ArchiveSources.h"
#include "support/PostgresServer.h"
#include "support/RecorderFileBuilder.h"
#include "support/TempDir.h"

namespace vantiro::testing {

enum class Engine { Sqlite, Postgres };

inline std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
  return info.param == Engine::Sqlite ? "Sqlite" : "Postgres";
}

// A fresh archive location of the engine: a file in the test's folder, or a new database on the
// tests' own server.
inline std::string NewArchiveLocation(Engine engine, const TempDir& dir) {
  if (engine == Engine::Sqlite) return dir.File("archive.sqlite");
  PostgresServer& server = SharedPostgresServer();
  if (!server.Ok()) {
    ADD_FAILURE() << "the test server did not start: " << server.Error();
    return {};
  }
  return server.NewDatabase();
}

// A recorder file of `channels` channels sampled every `interval` seconds from `start` (seconds
// since 2000) for `count` samples, channel c valued c * 100 + i % 50 (raw, one decimal), with an
// interruption of channel 0 in its middle when `interrupted`; channel c's unit is the recorder's unit
// code `unitCode` + c (19: ℃). The header's window is the samples'.
inline std::string WriteRecording(const std::string& path, std::int32_t start, int count, int channels = 3,
                                  int interval = 1, bool interrupted = false, int unitCode = 19) {
  RecorderFileBuilder file;
  auto field = [](std::int32_t seconds) {
    // Seconds since 2000 back to fields (UTC arithmetic on the wall clock).
    const long days = seconds / 86400;
    const long rest = seconds % 86400;
    long z = days + 10957 + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long y = yoe + era * 400;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    const long d = doy - (153 * mp + 2) / 5 + 1;
    const long m = mp < 10 ? mp + 3 : mp - 9;
    return FieldTime{static_cast<int>(y + (m <= 2) - 2000), static_cast<int>(m), static_cast<int>(d),
                     static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60), static_cast<int>(rest % 60)};
  };
  const std::int32_t end = start + (count - 1) * interval;
  file.Window(field(start), field(end)).Channels(0, channels - 1);
  for (int c = 0; c < channels; ++c) {
    file.Range(c, 10000, -1000, 3, static_cast<std::int16_t>(unitCode + c));
    std::vector<RecordSpec> records;
    std::vector<std::int16_t> samples;
    const int half = count / 2;
    for (int i = 0; i < count; ++i) {
      samples.push_back(static_cast<std::int16_t>(c * 100 + i % 50));
      if (interrupted && c == 0 && i + 1 == half) {
        records.push_back({start, static_cast<std::uint8_t>(interval), samples});
        samples.clear();
      }
    }
    if (interrupted && c == 0) {
      // The second part starts after a pause of ten intervals.
      records.push_back({start + (half + 10) * interval, static_cast<std::uint8_t>(interval), samples});
    } else {
      records.push_back({start, static_cast<std::uint8_t>(interval), samples});
    }
    // Records of up to about 8,000 samples a block.
    auto& block = file.Block(c);
    block.Chain(records);
  }
  file.WriteTo(path);
  return path;
}

// The dataset a file gives, read as the program reads it.
inline SourceRecording Load(const std::string& path) {
  SourceRecording recording;
  const std::optional<UserMessage> failed = LoadRecordingFile(path, recording);
  EXPECT_FALSE(failed) << (failed ? failed->text : std::string());
  return recording;
}

// The channels with each one's samples in time order (stable), as the archive keeps them.
inline std::vector<ChannelInfo> InTimeOrder(std::vector<ChannelInfo> channels) {
  for (ChannelInfo& c : channels) {
    std::vector<std::size_t> order(c.times.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&c](std::size_t a, std::size_t b) {
      return ToArchiveMs(c.times[a]) < ToArchiveMs(c.times[b]);
    });
    TimeSeries times(order.size());
    std::vector<float> values(order.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
      times[i] = c.times[order[i]];
      values[i] = c.values[order[i]];
    }
    c.times = std::move(times);
    c.values = std::move(values);
  }
  return channels;
}

// Two datasets the same: channels in order with their numbers and units, times to the
// millisecond, values bit for bit.
inline void ExpectSameChannels(const std::vector<ChannelInfo>& actual, const std::vector<ChannelInfo>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t c = 0; c < expected.size(); ++c) {
    SCOPED_TRACE("channel " + std::to_string(expected[c].number));
    EXPECT_EQ(actual[c].number, expected[c].number);
    EXPECT_EQ(actual[c].unit, expected[c].unit);
    ASSERT_EQ(actual[c].times.size(), expected[c].times.size());
    ASSERT_EQ(actual[c].values.size(), expected[c].values.size());
    for (std::size_t i = 0; i < expected[c].times.size(); ++i) {
      ASSERT_EQ(ToArchiveMs(actual[c].times[i]), ToArchiveMs(expected[c].times[i])) << i;
      ASSERT_EQ(std::bit_cast<std::uint32_t>(actual[c].values[i]),
                std::bit_cast<std::uint32_t>(expected[c].values[i]))
          << i;
    }
  }
}

inline std::unique_ptr<Archive> OpenArchive(const std::string& location, bool create = true) {
  std::string error;
  std::unique_ptr<Archive> archive = Archive::Open(location, create, error);
  EXPECT_TRUE(archive) << error;
  return archive;
}

inline std::int64_t RecorderId(Archive& archive, const std::string& name) {
  std::string error;
  const std::optional<RecorderInfo> recorder = archive.FindRecorder(name, error);
  EXPECT_TRUE(recorder) << error;
  return recorder ? recorder->id : 0;
}

// The whole of a recorder as a dataset.
struct Period {
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
};
inline Period ReadWhole(Archive& archive, const std::string& recorder) {
  Period p;
  std::string error;
  EXPECT_TRUE(archive.ReadPeriod(RecorderId(archive, recorder), INT64_MIN / 4, INT64_MAX / 4, {}, true,
                                 p.summary, p.channels, error))
      << error;
  return p;
}

}  // namespace vantiro::testing
