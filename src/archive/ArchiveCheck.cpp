// Archive::Check: every chunk against its row, every summary row against the chunks, every source
// against its samples.
#include <array>
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

    // The summary rows, to be matched by the sums of the chunks' samples as they stream past.
    using Key = std::tuple<std::int64_t, std::int64_t, std::int64_t, std::int64_t>;
    std::map<Key, Sums> stored;
    {
      auto summaries = db.Prepare(
          "SELECT source_id, channel, level_ms, bucket_ms, count, min_value, max_value, sum_value FROM summary");
      while (summaries->Step()) {
        stored[Key{summaries->Int(0), summaries->Int(1), summaries->Int(2), summaries->Int(3)}] =
            Sums{summaries->Int(4), summaries->Double(5), summaries->Double(6), summaries->Double(7)};
      }
    }
    std::size_t wrongSummaries = 0;
    auto summaryProblem = [&](const Key& key, const char* what) {
      if (++wrongSummaries > 20) return;
      problems.push_back("summary of source " + std::to_string(std::get<0>(key)) + ", channel " +
                         std::to_string(std::get<1>(key)) + ", level " + std::to_string(std::get<2>(key)) +
                         " ms at " + std::to_string(std::get<3>(key)) + ": " + what);
    };
    // One running bucket per level for the source and channel whose chunks stream past (a source's
    // chunks of a channel come in time order).
    struct Running {
      Key key{-1, -1, -1, -1};
      Sums sums;
    };
    std::array<Running, kSummaryLevelsMs.size()> running;
    auto close = [&](Running& r) {
      if (std::get<0>(r.key) < 0) return;
      const auto it = stored.find(r.key);
      if (it == stored.end()) {
        summaryProblem(r.key, "missing");
      } else {
        if (it->second.count != r.sums.count || it->second.min != r.sums.min || it->second.max != r.sums.max ||
            !NearlyEqual(it->second.sum, r.sums.sum)) {
          summaryProblem(r.key, "does not match its samples");
        }
        stored.erase(it);
      }
      r.key = Key{-1, -1, -1, -1};
      r.sums = Sums{};
    };

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
        const double v = values[i];
        for (std::size_t l = 0; l < kSummaryLevelsMs.size(); ++l) {
          const std::int64_t level = kSummaryLevelsMs[l];
          std::int64_t bucket = times[i] / level;
          if (times[i] % level != 0 && times[i] < 0) --bucket;
          const Key key{source, channel, level, bucket * level};
          Running& r = running[l];
          if (r.key != key) {
            close(r);
            r.key = key;
          }
          Sums& sums = r.sums;
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
    for (Running& r : running) close(r);
    for (const auto& [key, sums] : stored) summaryProblem(key, "has no samples");
    if (wrongSummaries > 20) problems.push_back(std::to_string(wrongSummaries - 20) + " more summaries are wrong");

    auto sources = db.Prepare(
        "SELECT s.id, s.path, s.samples, s.added, s.duplicates, s.conflicts, "
        "(SELECT CAST(COALESCE(SUM(c.samples), 0) AS BIGINT) FROM source_channel c WHERE c.source_id = s.id), "
        "(SELECT CAST(COALESCE(SUM(c.added), 0) AS BIGINT) FROM source_channel c WHERE c.source_id = s.id) "
        "FROM source s ORDER BY s.id");
    while (sources->Step()) {
      const std::int64_t id = sources->Int(0);
      const std::string name = "source " + std::to_string(id) + " (" + sources->Text(1) + ")";
      const std::int64_t samples = sources->Int(2);
      const std::int64_t added = sources->Int(3);
      if (added + sources->Int(4) + sources->Int(5) != samples || sources->Int(6) != samples ||
          sources->Int(7) != added) {
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
