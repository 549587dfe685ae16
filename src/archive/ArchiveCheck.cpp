// Archive::Check: every chunk against its row, every summary row against the chunks, every source
// against its samples.
#include <cmath>
#include <map>
#include <tuple>

#include "archive/Archive.h"
#include "archive/ChunkCodec.h"
#include "archive/SqlConnection.h"

namespace vantiro {
namespace {

bool NearlyEqual(double a, double b) {
  return std::fabs(a - b) <= 1e-9 * std::max({1.0, std::fabs(a), std::fabs(b)});
}

struct Sums {
  std::int64_t count = 0;
  double min = 0.0, max = 0.0, sum = 0.0;
};

}  // namespace

std::optional<std::vector<std::string>> Archive::Check(std::string& error, ProgressSink* progress) {
  SqlConnection& db = *connection_;
  std::vector<std::string> problems;
  try {
    db.BeginRead();
    std::int64_t chunkCount = 0;
    {
      auto statement = db.Prepare("SELECT COUNT(*) FROM chunk");
      if (statement->Step()) chunkCount = statement->Int(0);
    }
    if (progress) progress->SetMax(static_cast<int>(std::min<std::int64_t>(chunkCount / 64 + 2, 1 << 30)));

    // Summaries recomputed from the chunks, by (source, channel, level, bucket).
    using Key = std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>;
    std::map<Key, Sums> expected;
    std::map<std::int64_t, std::int64_t> addedBySource;
    auto chunks = db.Prepare(
        "SELECT id, source_id, channel, first_ms, last_ms, count, gap_count, min_value, max_value, "
        "sum_value, data FROM chunk ORDER BY source_id, channel, first_ms, id");
    std::vector<std::int64_t> times;
    std::vector<float> values;
    std::int64_t done = 0;
    while (chunks->Step()) {
      const std::int64_t id = chunks->Int(0);
      const std::int64_t source = chunks->Int(1);
      const std::int64_t channel = chunks->Int(2);
      times.clear();
      values.clear();
      std::string why;
      if (!DecodeChunk(chunks->Blob(10), times, values, why)) {
        problems.push_back("chunk " + std::to_string(id) + " (source " + std::to_string(source) +
                           ", channel " + std::to_string(channel) + "): " + why);
        continue;
      }
      const ChunkSummary s = SummarizeSamples(times, values);
      const bool matches = s.firstMs == chunks->Int(3) && s.lastMs == chunks->Int(4) &&
                           s.count == static_cast<std::uint32_t>(chunks->Int(5)) &&
                           s.gapCount == static_cast<std::uint32_t>(chunks->Int(6)) &&
                           s.min == chunks->Double(7) && s.max == chunks->Double(8) &&
                           NearlyEqual(s.sum, chunks->Double(9));
      if (!matches) {
        problems.push_back("chunk " + std::to_string(id) + " (source " + std::to_string(source) +
                           ", channel " + std::to_string(channel) + "): its row does not match its samples");
      }
      addedBySource[source] += static_cast<std::int64_t>(times.size());
      for (std::size_t i = 0; i < times.size(); ++i) {
        if (IsGapValue(values[i])) continue;
        for (const std::int64_t level : kSummaryLevelsMs) {
          std::int64_t bucket = times[i] / level;
          if (times[i] % level != 0 && times[i] < 0) --bucket;
          Sums& sums = expected[Key{source, channel, level, bucket * level}];
          const double v = values[i];
          if (sums.count == 0) {
            sums.min = sums.max = v;
          } else {
            sums.min = std::min(sums.min, v);
            sums.max = std::max(sums.max, v);
          }
          sums.sum += v;
          ++sums.count;
        }
      }
      if (progress && ++done % 64 == 0) progress->StepBy(1);
    }
    chunks.reset();

    auto summaries = db.Prepare(
        "SELECT source_id, channel, level_ms, bucket_ms, count, min_value, max_value, sum_value FROM summary");
    std::size_t seen = 0;
    std::size_t wrong = 0;
    while (summaries->Step()) {
      const Key key{summaries->Int(0), summaries->Int(1), summaries->Int(2), summaries->Int(3)};
      const auto it = expected.find(key);
      if (it == expected.end() || it->second.count != summaries->Int(4) ||
          it->second.min != summaries->Double(5) || it->second.max != summaries->Double(6) ||
          !NearlyEqual(it->second.sum, summaries->Double(7))) {
        if (++wrong <= 20) {
          problems.push_back("summary of source " + std::to_string(std::get<0>(key)) + ", channel " +
                             std::to_string(std::get<1>(key)) + ", level " + std::to_string(std::get<2>(key)) +
                             " ms at " + std::to_string(std::get<3>(key)) + " does not match its samples");
        }
      } else {
        ++seen;
      }
    }
    summaries.reset();
    if (wrong > 20) problems.push_back(std::to_string(wrong - 20) + " more summaries do not match");
    if (seen + (wrong > 0 ? 0 : 0) < expected.size() && wrong == 0) {
      problems.push_back(std::to_string(expected.size() - seen) + " summaries are missing");
    }

    auto sources = db.Prepare(
        "SELECT s.id, s.path, s.samples, s.added, s.duplicates, s.conflicts, "
        "(SELECT CAST(COALESCE(SUM(c.samples), 0) AS BIGINT) FROM source_channel c WHERE c.source_id = s.id) "
        "FROM source s ORDER BY s.id");
    while (sources->Step()) {
      const std::int64_t id = sources->Int(0);
      const std::string name = "source " + std::to_string(id) + " (" + sources->Text(1) + ")";
      const std::int64_t samples = sources->Int(2);
      const std::int64_t added = sources->Int(3);
      if (added + sources->Int(4) + sources->Int(5) != samples || sources->Int(6) != samples) {
        problems.push_back(name + ": its counts do not add up");
      }
      const auto it = addedBySource.find(id);
      const std::int64_t stored = it == addedBySource.end() ? 0 : it->second;
      if (stored != added) {
        problems.push_back(name + ": " + std::to_string(added) + " samples added, " + std::to_string(stored) +
                           " in its chunks");
      }
    }
    db.Commit();
    if (progress) progress->StepBy(1);
    return problems;
  } catch (const SqlError& e) {
    db.Rollback();
    error = e.what();
    return std::nullopt;
  }
}

}  // namespace vantiro
