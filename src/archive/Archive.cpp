#include "archive/Archive.h"

#include <algorithm>
#include <chrono>
#include <future>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <map>
#include <numeric>

#include "archive/ArchiveSchema.h"
#include "archive/ChunkCodec.h"
#include "archive/SqlConnection.h"

namespace vantiro {
namespace {

constexpr double kMsPerDay = 86400000.0;

std::int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
  std::int64_t q = a / b;
  if ((a % b != 0) && ((a < 0) != (b < 0))) --q;
  return q;
}

// One channel's samples of a recording in archive time, in time order (stable: samples of one time
// keep their order).
struct ChannelSamples {
  int number = 0;
  std::vector<std::int64_t> times;
  std::vector<float> values;
};

// `channel`'s samples in archive time into `s`, in time order (stable).
void ToArchiveSamples(const ChannelInfo& channel, ChannelSamples& s) {
  s.number = channel.number;
  const std::size_t n = std::min(channel.times.size(), channel.values.size());
  s.times.resize(n);
  s.values.assign(channel.values.begin(), channel.values.begin() + static_cast<long>(n));
  bool ascending = true;
  for (std::size_t i = 0; i < n; ++i) {
    s.times[i] = ToArchiveMs(channel.times[i]);
    if (i > 0 && s.times[i] < s.times[i - 1]) ascending = false;
  }
  if (!ascending) {
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&s](std::size_t a, std::size_t b) { return s.times[a] < s.times[b]; });
    std::vector<std::int64_t> times(n);
    std::vector<float> values(n);
    for (std::size_t i = 0; i < n; ++i) {
      times[i] = s.times[order[i]];
      values[i] = s.values[order[i]];
    }
    s.times = std::move(times);
    s.values = std::move(values);
  }
}

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The summary rows of one level, built as samples come in time order.
class LevelSums {
 public:
  explicit LevelSums(std::int64_t levelMs) : levelMs_(levelMs) {}
  // Adds samples in time order, a bucket at a time: the samples of one bucket in a tight loop over
  // values kept in registers (this runs once a sample on import).
  void AddRun(const std::int64_t* times, const float* values, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
      const std::int64_t bucket = FloorDiv(times[i], levelMs_) * levelMs_;
      const std::int64_t end = bucket + levelMs_;
      std::size_t j = i;
      while (j < n && times[j] < end) ++j;
      const ValueSums run = SumValues(values + i, j - i);
      const std::int64_t count = run.count;
      const double min = run.min, max = run.max, sum = run.sum;
      if (count > 0) {
        if (!rows_.empty() && rows_.back().bucket == bucket) {
          Row& row = rows_.back();
          row.min = std::min(row.min, min);
          row.max = std::max(row.max, max);
          row.sum += sum;
          row.count += count;
        } else {
          rows_.push_back({bucket, count, min, max, sum});
        }
      }
      i = j;
    }
  }
  struct Row {
    std::int64_t bucket;
    std::int64_t count;
    double min, max, sum;
  };
  std::int64_t Level() const { return levelMs_; }
  const std::vector<Row>& Rows() const { return rows_; }
  void Clear() { rows_.clear(); }

  // The rows of a coarser level whose buckets hold whole buckets of this one (an hour holds six
  // of ten minutes, a day 24 hours), folded from this level's rows.
  void FoldInto(LevelSums& coarser) const {
    coarser.rows_.clear();
    for (const Row& r : rows_) {
      const std::int64_t bucket = FloorDiv(r.bucket, coarser.levelMs_) * coarser.levelMs_;
      if (coarser.rows_.empty() || coarser.rows_.back().bucket != bucket) {
        coarser.rows_.push_back({bucket, 0, r.min, r.max, 0.0});
      }
      Row& c = coarser.rows_.back();
      c.count += r.count;
      c.min = std::min(c.min, r.min);
      c.max = std::max(c.max, r.max);
      c.sum += r.sum;
    }
  }

 private:
  std::int64_t levelMs_;
  std::vector<Row> rows_;
};

std::string ChannelList(const std::vector<int>& channels) {
  std::string list;
  for (const int c : channels) {
    if (!list.empty()) list += ',';
    list += std::to_string(c);
  }
  return list;
}

// Decodes the chunks a statement yields (its column `dataColumn`), appending their samples.
bool DecodeRows(SqlStatement& statement, int dataColumn, std::vector<std::int64_t>& times,
                std::vector<float>& values, std::string& error) {
  while (statement.Step()) {
    std::string why;
    if (!DecodeChunk(statement.Blob(dataColumn), times, values, why)) {
      error = "damaged chunk in the archive: " + why;
      return false;
    }
  }
  return true;
}

// Orders merged samples by time, stably.
void SortByTime(std::vector<std::int64_t>& times, std::vector<float>& values) {
  if (std::is_sorted(times.begin(), times.end())) return;
  std::vector<std::size_t> order(times.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&times](std::size_t a, std::size_t b) { return times[a] < times[b]; });
  std::vector<std::int64_t> t(times.size());
  std::vector<float> v(times.size());
  for (std::size_t i = 0; i < order.size(); ++i) {
    t[i] = times[order[i]];
    v[i] = values[order[i]];
  }
  times = std::move(t);
  values = std::move(v);
}

// The longest stretch of (a, b) that no merged span covers: where it starts and how long it is.
struct Hole {
  std::int64_t start = 0;
  std::int64_t length = 0;
};
Hole LongestHole(const std::vector<ArchiveSpan>& coverage, std::int64_t a, std::int64_t b) {
  Hole longest;
  std::int64_t at = a;  // covered up to here
  auto it = std::upper_bound(coverage.begin(), coverage.end(), a,
                             [](std::int64_t t, const ArchiveSpan& s) { return t < s.firstMs; });
  if (it != coverage.begin() && std::prev(it)->lastMs > at) at = std::prev(it)->lastMs;
  for (; at < b; ++it) {
    const std::int64_t next = it == coverage.end() ? b : std::min(b, it->firstMs);
    if (next - at > longest.length) longest = {at, next - at};
    if (it == coverage.end()) break;
    at = std::max(at, it->lastMs);
  }
  return longest;
}

// Whether the time between two neighbouring samples a < b of a channel, taken from the archive's
// sources, is a hole: a stretch no source covers that is longer than the channel's sampling step
// there (`step`, 0 when unknown). Files split at a day's end leave one step uncovered: not a hole.
bool IsHole(const Hole& hole, std::int64_t step) { return hole.length > std::max<std::int64_t>(step, 0); }

// A source's span and its shortest sampling step.
struct SteppedSpan {
  ArchiveSpan span;
  std::int64_t stepMs = 0;
};

// The spans joined where they overlap or touch; with `joinSteps`, also where the time between
// them is no longer than either one's sampling step (files split at a day's end).
std::vector<ArchiveSpan> MergeSpans(std::vector<SteppedSpan> spans, bool joinSteps) {
  std::sort(spans.begin(), spans.end(),
            [](const SteppedSpan& x, const SteppedSpan& y) { return x.span.firstMs < y.span.firstMs; });
  std::vector<ArchiveSpan> merged;
  std::int64_t lastStep = 0;
  for (const SteppedSpan& s : spans) {
    const std::int64_t reach = joinSteps ? std::max(lastStep, s.stepMs) : 0;
    if (!merged.empty() && s.span.firstMs <= merged.back().lastMs + reach) {
      if (s.span.lastMs >= merged.back().lastMs) {
        merged.back().lastMs = s.span.lastMs;
        lastStep = s.stepMs;
      }
    } else {
      merged.push_back(s.span);
      lastStep = s.stepMs;
    }
  }
  return merged;
}


// The longest time a chunk of the recorder spans: the chunks that reach into [from, to] are those
// with from - longest <= first_ms <= to and last_ms >= from, a range of the index on first_ms.
std::int64_t LongestChunkSpan(SqlConnection& db, std::int64_t recorderId) {
  auto statement = db.Prepare(
      "SELECT COALESCE(MAX(c.chunk_span_ms), 0) FROM source_channel c JOIN source s ON s.id = c.source_id "
      "WHERE s.recorder_id = ?");
  statement->BindInt(1, recorderId);
  return statement->Step() ? statement->Int(0) : 0;
}

constexpr const char* kChunksOfPeriod =
    "SELECT data FROM chunk WHERE recorder_id = ? AND channel = ? AND first_ms >= ? AND first_ms <= ? AND "
    "last_ms >= ? ORDER BY first_ms, id";

// Binds kChunksOfPeriod's values.
void BindChunksOfPeriod(SqlStatement& statement, std::int64_t recorderId, int channel, std::int64_t from,
                        std::int64_t to, std::int64_t longest) {
  statement.Reset();
  statement.BindInt(1, recorderId);
  statement.BindInt(2, channel);
  statement.BindInt(3, from > INT64_MIN / 2 + longest ? from - longest : INT64_MIN / 2);
  statement.BindInt(4, to);
  statement.BindInt(5, from);
}

}  // namespace

std::int64_t ToArchiveMs(DateTime time) {
  // Rounded half away from zero, by a truncating conversion (no library call: it runs once a
  // sample on import).
  const double ms = (time - kUnixEpochDay) * kMsPerDay;
  if (!(std::fabs(ms) < 9.0e18)) return ms > 0 ? INT64_MAX / 2 : INT64_MIN / 2;
  return static_cast<std::int64_t>(ms + (ms >= 0.0 ? 0.5 : -0.5));
}

DateTime FromArchiveMs(std::int64_t ms) {
  return kUnixEpochDay + static_cast<double>(ms) / kMsPerDay;
}

std::string DefaultArchiveLocation() {
  if (const char* named = std::getenv("VANTIRO_ARCHIVE"); named && *named) return named;
  std::string data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') {
    data = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    data = std::string(home) + "/.local/share";
  } else {
    data = ".";
  }
  return data + "/vantiro/archive.sqlite";
}

std::int64_t EnvelopeLevelMs(std::int64_t fromMs, std::int64_t toMs, int pixels) {
  if (pixels <= 0 || toMs <= fromMs) return 0;
  const std::int64_t column = (toMs - fromMs) / pixels;
  std::int64_t chosen = 0;
  for (const std::int64_t level : kSummaryLevelsMs) {
    if (level <= column) chosen = level;
  }
  return chosen;
}

Archive::Archive(std::unique_ptr<SqlConnection> connection) : connection_(std::move(connection)) {}
Archive::~Archive() = default;

std::unique_ptr<Archive> Archive::Open(const std::string& location, bool create, std::string& error) {
  const std::string where = location.empty() ? DefaultArchiveLocation() : location;
  std::unique_ptr<SqlConnection> connection = OpenSqlConnection(where, create, error);
  if (!connection) return nullptr;
  if (!PrepareArchiveSchema(*connection, create, error)) return nullptr;
  return std::unique_ptr<Archive>(new Archive(std::move(connection)));
}

std::string Archive::Describe() const { return connection_->Describe(); }
bool Archive::ReadOnly() const { return connection_->ReadOnly(); }

ImportResult Archive::Import(const std::string& recorder, const SourceRecording& recording,
                             ProgressSink* progress, const std::atomic<bool>* cancel) {
  ImportResult result;
  SqlConnection& db = *connection_;
  if (db.ReadOnly()) {
    result.message = db.Describe() + " cannot be written";
    return result;
  }
  std::int64_t total = 0;
  for (const ChannelInfo& channel : recording.channels) {
    total += static_cast<std::int64_t>(std::min(channel.times.size(), channel.values.size()));
  }
  result.samples = total;
  // The span the source covers: its samples' (found channel by channel below) and for a recorder
  // file its header's times.
  const bool hasHeaderTimes = recording.summary.startTime != 0.0 || recording.summary.endTime != 0.0;
  const std::int64_t startMs = ToArchiveMs(recording.summary.startTime);
  const std::int64_t endMs = ToArchiveMs(recording.summary.endTime);
  std::int64_t first = 0, last = 0;
  bool any = false;
  if (hasHeaderTimes && startMs <= endMs) {
    first = startMs;
    last = endMs;
    any = true;
  }
  std::int64_t shortestStep = 0;
  if (progress) progress->SetMax(static_cast<int>(recording.channels.size()) + 1);

  try {
    db.BeginWrite();
    // The recorder, and with it the right to add to it: importers of one recorder take turns.
    const std::int64_t recorderId = TakeRecorder(db, recorder, NowMs());
    {
      auto known = db.Prepare("SELECT id FROM source WHERE recorder_id = ? AND content_hash = ?");
      known->BindInt(1, recorderId);
      known->BindText(2, recording.contentHash);
      if (known->Step()) {
        result.sourceId = known->Int(0);
        db.Rollback();
        result.outcome = ImportResult::Outcome::AlreadyThere;
        return result;
      }
    }
    std::int64_t sourceId = 0;
    {
      auto insert = db.Prepare(
          "INSERT INTO source (recorder_id, kind, path, size, content_hash, first_ms, last_ms, "
          "range_min, range_max, start_ms, end_ms, sample_count, imported_ms, samples, added, "
          "duplicates, conflicts, step_ms) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, 0, 0, 0, 0, ?) "
          "RETURNING id");
      insert->BindInt(1, recorderId);
      insert->BindText(2, recording.kind);
      insert->BindText(3, recording.path);
      insert->BindInt(4, static_cast<std::int64_t>(recording.size));
      insert->BindText(5, recording.contentHash);
      insert->BindInt(6, first);  // completed at the end
      insert->BindInt(7, last);
      insert->BindDouble(8, recording.summary.rangeMin);
      insert->BindDouble(9, recording.summary.rangeMax);
      insert->BindInt(10, startMs);
      insert->BindInt(11, endMs);
      insert->BindInt(12, recording.summary.sampleCount);
      insert->BindInt(13, NowMs());
      insert->BindInt(14, 0);
      if (!insert->Step()) throw SqlError("the source could not be recorded");
      sourceId = insert->Int(0);
    }
    if (progress) progress->StepBy(1);

    auto existing = db.Prepare(kChunksOfPeriod);
    const std::int64_t longestHeld = LongestChunkSpan(db, recorderId);
    auto insertChunk = db.Prepare(
        "INSERT INTO chunk (recorder_id, channel, source_id, first_ms, last_ms, count, gap_count, "
        "min_value, max_value, sum_value, data) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    auto insertSummary = db.Prepare(
        "INSERT INTO summary (recorder_id, channel, level_ms, bucket_ms, source_id, count, min_value, "
        "max_value, sum_value) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)");
    auto insertChannel = db.Prepare(
        "INSERT INTO source_channel (source_id, number, position, unit, has_range, range_low, "
        "range_high, decimals, first_ms, last_ms, samples, added, chunk_span_ms) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");

    // Each channel in two stages: its samples converted, compared with what the archive holds and
    // encoded (no database: on a second thread), then stored (the database, on this thread). While
    // one channel is stored the next is prepared.
    struct Prepared {
      ChannelSamples samples;
      std::vector<std::string> blobs;
      std::vector<ChunkSummary> summaries;
      std::vector<LevelSums> levels;
      std::int64_t added = 0, duplicates = 0, conflicts = 0, chunkSpan = 0, shortestStep = 0;
    };
    auto prepare = [](const ChannelInfo& info, std::vector<std::int64_t> heldTimes, std::vector<float> heldValues) {
      Prepared p;
      ChannelSamples& c = p.samples;
      ToArchiveSamples(info, c);
      for (std::size_t i = 1; i < c.times.size(); ++i) {
        const std::int64_t step = c.times[i] - c.times[i - 1];
        if (step > 0 && (p.shortestStep == 0 || step < p.shortestStep)) p.shortestStep = step;
      }
      SortByTime(heldTimes, heldValues);
      // The new samples: those at a time the archive does not hold for the channel.
      std::vector<std::int64_t> newTimes;
      std::vector<float> newValues;
      newTimes.reserve(c.times.size());
      newValues.reserve(c.times.size());
      std::size_t h = 0;
      for (std::size_t i = 0; i < c.times.size(); ++i) {
        const std::int64_t t = c.times[i];
        while (h < heldTimes.size() && heldTimes[h] < t) ++h;
        if (h < heldTimes.size() && heldTimes[h] == t) {
          bool same = false;
          for (std::size_t k = h; k < heldTimes.size() && heldTimes[k] == t; ++k) {
            if (SameBits(heldValues[k], c.values[i])) same = true;
          }
          ++(same ? p.duplicates : p.conflicts);
          continue;
        }
        newTimes.push_back(t);
        newValues.push_back(c.values[i]);
      }
      p.added = static_cast<std::int64_t>(newTimes.size());
      // The new samples as chunks, and their summaries: the finest level from the samples, each
      // coarser one from the level below.
      for (const std::int64_t level : kSummaryLevelsMs) p.levels.emplace_back(level);
      for (std::size_t at = 0; at < newTimes.size(); at += kChunkSamples) {
        const std::size_t n = std::min(kChunkSamples, newTimes.size() - at);
        const std::span<const std::int64_t> times(newTimes.data() + at, n);
        const std::span<const float> values(newValues.data() + at, n);
        p.blobs.push_back(EncodeChunk(times, values));
        if (p.blobs.back().empty()) throw SqlError("a chunk could not be made");
        p.summaries.push_back(SummarizeSamples(times, values));
        p.chunkSpan = std::max(p.chunkSpan, p.summaries.back().lastMs - p.summaries.back().firstMs);
        p.levels[0].AddRun(times.data(), values.data(), n);
      }
      for (std::size_t l = 1; l < p.levels.size(); ++l) p.levels[l - 1].FoldInto(p.levels[l]);
      return p;
    };
    // What the archive holds of a channel in the time its samples span.
    auto held = [&](std::size_t position, std::vector<std::int64_t>& times, std::vector<float>& values) {
      const ChannelInfo& info = recording.channels[position];
      const std::size_t n = std::min(info.times.size(), info.values.size());
      if (n == 0) return;
      const auto [lo, hi] = std::minmax_element(info.times.begin(), info.times.begin() + static_cast<long>(n));
      BindChunksOfPeriod(*existing, recorderId, info.number, ToArchiveMs(*lo), ToArchiveMs(*hi), longestHeld);
      std::string why;
      if (!DecodeRows(*existing, 0, times, values, why)) throw SqlError(why);
    };
    auto start = [&](std::size_t position) {
      std::vector<std::int64_t> times;
      std::vector<float> values;
      held(position, times, values);
      return std::async(std::launch::async, prepare, std::cref(recording.channels[position]), std::move(times),
                        std::move(values));
    };
    std::future<Prepared> next;
    if (!recording.channels.empty()) next = start(0);
    for (std::size_t position = 0; position < recording.channels.size(); ++position) {
      Prepared p = next.get();
      if (position + 1 < recording.channels.size()) next = start(position + 1);
      if (cancel && cancel->load()) {
        if (next.valid()) next.wait();
        db.Rollback();
        result.message = "cancelled";
        return result;
      }
      const ChannelInfo& info = recording.channels[position];
      const ChannelSamples& c = p.samples;
      if (!c.times.empty()) {
        first = any ? std::min(first, c.times.front()) : c.times.front();
        last = any ? std::max(last, c.times.back()) : c.times.back();
        any = true;
      }
      if (p.shortestStep > 0 && (shortestStep == 0 || p.shortestStep < shortestStep)) shortestStep = p.shortestStep;
      result.added += p.added;
      result.duplicates += p.duplicates;
      result.conflicts += p.conflicts;
      for (std::size_t k = 0; k < p.blobs.size(); ++k) {
        const ChunkSummary& s = p.summaries[k];
        insertChunk->Reset();
        insertChunk->BindInt(1, recorderId);
        insertChunk->BindInt(2, c.number);
        insertChunk->BindInt(3, sourceId);
        insertChunk->BindInt(4, s.firstMs);
        insertChunk->BindInt(5, s.lastMs);
        insertChunk->BindInt(6, s.count);
        insertChunk->BindInt(7, s.gapCount);
        insertChunk->BindDouble(8, s.min);
        insertChunk->BindDouble(9, s.max);
        insertChunk->BindDouble(10, s.sum);
        insertChunk->BindBlob(11, p.blobs[k]);
        insertChunk->Step();
      }
      for (const LevelSums& level : p.levels) {
        for (const LevelSums::Row& row : level.Rows()) {
          insertSummary->Reset();
          insertSummary->BindInt(1, recorderId);
          insertSummary->BindInt(2, c.number);
          insertSummary->BindInt(3, level.Level());
          insertSummary->BindInt(4, row.bucket);
          insertSummary->BindInt(5, sourceId);
          insertSummary->BindInt(6, row.count);
          insertSummary->BindDouble(7, row.min);
          insertSummary->BindDouble(8, row.max);
          insertSummary->BindDouble(9, row.sum);
          insertSummary->Step();
        }
      }
      // What the source said of the channel.
      const ChannelHeader* header = nullptr;
      for (const ChannelHeader& candidate : recording.headers) {
        if (candidate.number == c.number) header = &candidate;
      }
      insertChannel->Reset();
      insertChannel->BindInt(1, sourceId);
      insertChannel->BindInt(2, c.number);
      insertChannel->BindInt(3, static_cast<std::int64_t>(position));
      insertChannel->BindText(4, info.unit);
      insertChannel->BindInt(5, header && header->hasRange ? 1 : 0);
      if (header && header->hasRange) {
        insertChannel->BindDouble(6, header->rangeLow);
        insertChannel->BindDouble(7, header->rangeHigh);
        insertChannel->BindInt(8, header->decimals);
      } else {
        insertChannel->BindNull(6);
        insertChannel->BindNull(7);
        insertChannel->BindNull(8);
      }
      if (c.times.empty()) {
        insertChannel->BindNull(9);
        insertChannel->BindNull(10);
      } else {
        insertChannel->BindInt(9, c.times.front());
        insertChannel->BindInt(10, c.times.back());
      }
      insertChannel->BindInt(11, static_cast<std::int64_t>(c.times.size()));
      insertChannel->BindInt(12, p.added);
      insertChannel->BindInt(13, p.chunkSpan);
      insertChannel->Step();
      if (progress) progress->StepBy(1);
    }
    {
      auto update = db.Prepare(
          "UPDATE source SET samples = ?, added = ?, duplicates = ?, conflicts = ?, first_ms = ?, last_ms = ?, "
          "step_ms = ? WHERE id = ?");
      update->BindInt(1, result.samples);
      update->BindInt(2, result.added);
      update->BindInt(3, result.duplicates);
      update->BindInt(4, result.conflicts);
      update->BindInt(5, first);
      update->BindInt(6, last);
      update->BindInt(7, shortestStep);
      update->BindInt(8, sourceId);
      update->Step();
    }
    if (cancel && cancel->load()) {
      db.Rollback();
      result.message = "cancelled";
      return result;
    }
    db.Commit();
    result.sourceId = sourceId;
    result.outcome = ImportResult::Outcome::Imported;
  } catch (const SqlError& e) {
    db.Rollback();
    result = ImportResult{};
    result.samples = total;
    result.message = e.what();
  } catch (const std::bad_alloc&) {
    db.Rollback();
    result = ImportResult{};
    result.samples = total;
    result.message = "out of memory";
  }
  return result;
}

std::optional<std::vector<RecorderInfo>> Archive::Recorders(std::string& error) {
  try {
    std::vector<RecorderInfo> recorders;
    auto statement = connection_->Prepare("SELECT id, name FROM recorder ORDER BY name");
    while (statement->Step()) recorders.push_back({statement->Int(0), statement->Text(1)});
    return recorders;
  } catch (const SqlError& e) {
    error = e.what();
    return std::nullopt;
  }
}

std::optional<RecorderInfo> Archive::FindRecorder(const std::string& name, std::string& error) {
  try {
    auto statement = connection_->Prepare("SELECT id, name FROM recorder WHERE name = ?");
    statement->BindText(1, name);
    if (!statement->Step()) {
      error = "档案中找不到记录仪：" + name;
      return std::nullopt;
    }
    return RecorderInfo{statement->Int(0), statement->Text(1)};
  } catch (const SqlError& e) {
    error = e.what();
    return std::nullopt;
  }
}

std::optional<std::vector<ChannelSummaryInfo>> Archive::Channels(std::int64_t recorderId, std::string& error) {
  try {
    // Every source's word on every channel, latest span last: the latest unit and range win.
    auto statement = connection_->Prepare(
        "SELECT c.number, c.unit, c.has_range, c.range_low, c.range_high, c.decimals, c.first_ms, "
        "c.last_ms, c.added FROM source_channel c JOIN source s ON s.id = c.source_id "
        "WHERE s.recorder_id = ? ORDER BY c.number, s.first_ms, s.id");
    statement->BindInt(1, recorderId);
    std::vector<ChannelSummaryInfo> channels;
    while (statement->Step()) {
      const int number = static_cast<int>(statement->Int(0));
      if (channels.empty() || channels.back().number != number) {
        channels.push_back({});
        channels.back().number = number;
      }
      ChannelSummaryInfo& c = channels.back();
      const std::string unit = statement->Text(1);
      if (!c.unit.empty() && c.unit != unit &&
          std::find(c.earlierUnits.begin(), c.earlierUnits.end(), c.unit) == c.earlierUnits.end()) {
        c.earlierUnits.push_back(c.unit);
      }
      c.unit = unit;
      if (statement->Int(2) != 0) {
        c.hasRange = true;
        c.rangeLow = static_cast<float>(statement->Double(3));
        c.rangeHigh = static_cast<float>(statement->Double(4));
        c.decimals = static_cast<int>(statement->Int(5));
      }
      if (!statement->IsNull(6)) {
        const std::int64_t f = statement->Int(6);
        const std::int64_t l = statement->Int(7);
        c.firstMs = c.samples == 0 && !c.seen ? f : std::min(c.firstMs, f);
        c.lastMs = c.samples == 0 && !c.seen ? l : std::max(c.lastMs, l);
        c.seen = true;
      }
      c.samples += statement->Int(8);
    }
    return channels;
  } catch (const SqlError& e) {
    error = e.what();
    return std::nullopt;
  }
}

std::optional<std::vector<SourceInfo>> Archive::Sources(std::int64_t recorderId, std::string& error) {
  try {
    auto statement = connection_->Prepare(
        "SELECT id, recorder_id, kind, path, size, content_hash, first_ms, last_ms, imported_ms, "
        "samples, added, conflicts FROM source WHERE recorder_id = ? ORDER BY first_ms, id");
    statement->BindInt(1, recorderId);
    std::vector<SourceInfo> sources;
    while (statement->Step()) {
      SourceInfo s;
      s.id = statement->Int(0);
      s.recorderId = statement->Int(1);
      s.kind = statement->Text(2);
      s.path = statement->Text(3);
      s.size = static_cast<std::uint64_t>(statement->Int(4));
      s.contentHash = statement->Text(5);
      s.firstMs = statement->Int(6);
      s.lastMs = statement->Int(7);
      s.importedMs = statement->Int(8);
      s.samples = statement->Int(9);
      s.added = statement->Int(10);
      s.conflicts = statement->Int(11);
      sources.push_back(std::move(s));
    }
    return sources;
  } catch (const SqlError& e) {
    error = e.what();
    return std::nullopt;
  }
}

std::optional<std::vector<ArchiveSpan>> Archive::Coverage(std::int64_t recorderId, std::string& error) {
  try {
    auto statement = connection_->Prepare("SELECT first_ms, last_ms, step_ms FROM source WHERE recorder_id = ?");
    statement->BindInt(1, recorderId);
    std::vector<SteppedSpan> spans;
    while (statement->Step()) spans.push_back({{statement->Int(0), statement->Int(1)}, statement->Int(2)});
    return MergeSpans(std::move(spans), true);
  } catch (const SqlError& e) {
    error = e.what();
    return std::nullopt;
  }
}

bool Archive::Forget(std::int64_t sourceId, std::string& error) {
  SqlConnection& db = *connection_;
  if (db.ReadOnly()) {
    error = db.Describe() + " cannot be written";
    return false;
  }
  try {
    db.BeginWrite();
    // A later source that overlapped this one kept only its new samples: the ones it shared with
    // this source live in this source's chunks. Forgetting this one first would lose them.
    {
      auto later = db.Prepare(
          "SELECT b.id, b.path FROM source a JOIN source b ON b.recorder_id = a.recorder_id AND b.id > a.id "
          "WHERE a.id = ? AND b.first_ms <= a.last_ms AND b.last_ms >= a.first_ms AND "
          "b.duplicates + b.conflicts > 0 ORDER BY b.id");
      later->BindInt(1, sourceId);
      std::string dependants;
      while (later->Step()) {
        dependants += (dependants.empty() ? "" : ", ") + std::string("source ") + std::to_string(later->Int(0)) +
                      " (" + later->Text(1) + ")";
      }
      if (!dependants.empty()) {
        later.reset();
        db.Rollback();
        error = "source " + std::to_string(sourceId) + " holds samples that " + dependants +
                " shares with it: forget those first (and import their files again afterwards)";
        return false;
      }
    }
    auto statement = db.Prepare("DELETE FROM source WHERE id = ? RETURNING id");
    statement->BindInt(1, sourceId);
    const bool found = statement->Step();
    statement.reset();
    if (!found) {
      db.Rollback();
      error = "no source " + std::to_string(sourceId);
      return false;
    }
    db.Commit();
    return true;
  } catch (const SqlError& e) {
    db.Rollback();
    error = e.what();
    return false;
  }
}

std::optional<std::int64_t> Archive::CountSamples(std::int64_t recorderId, std::int64_t fromMs,
                                                  std::int64_t toMs, const std::vector<int>& channels,
                                                  std::string& error) {
  try {
    const std::int64_t longest = LongestChunkSpan(*connection_, recorderId);
    std::string sql = "SELECT CAST(COALESCE(SUM(count), 0) AS BIGINT) FROM chunk WHERE recorder_id = ? "
                      "AND first_ms >= ? AND first_ms <= ? AND last_ms >= ?";
    if (!channels.empty()) sql += " AND channel IN (" + ChannelList(channels) + ")";
    auto statement = connection_->Prepare(sql);
    statement->BindInt(1, recorderId);
    statement->BindInt(2, fromMs > INT64_MIN / 2 + longest ? fromMs - longest : INT64_MIN / 2);
    statement->BindInt(3, toMs);
    statement->BindInt(4, fromMs);
    return statement->Step() ? statement->Int(0) : 0;
  } catch (const SqlError& e) {
    error = e.what();
    return std::nullopt;
  }
}

namespace {

// One channel's samples as they come out of its chunks (in order of the chunks' first times),
// merged into time order and handed on in batches, with a gap sample put in every hole: a stretch
// between two neighbouring samples that no source covers and that is longer than the sampling
// step there. A sample is handed on once no later chunk can put one before it or its neighbour.
class ChannelStream {
 public:
  ChannelStream(int number, const std::vector<ArchiveSpan>& coverage, const Archive::SampleSink& sink)
      : number_(number), coverage_(coverage), sink_(sink) {}

  // The samples of the next chunk, whose first time is `firstMs`. False once the sink has had enough.
  bool AddChunk(std::int64_t firstMs, std::vector<std::int64_t>& times, std::vector<float>& values) {
    if (!Release(firstMs, false)) return false;
    if (head_ > 0 && head_ * 2 >= times_.size()) {
      times_.erase(times_.begin(), times_.begin() + static_cast<std::ptrdiff_t>(head_));
      values_.erase(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
    if (times_.size() == head_ || times.empty() || times.front() >= times_.back()) {
      times_.insert(times_.end(), times.begin(), times.end());
      values_.insert(values_.end(), values.begin(), values.end());
      return true;
    }
    // A chunk of another source reaching back among the samples held: merged, the held first
    // where times are equal.
    std::vector<std::int64_t> t;
    std::vector<float> v;
    t.reserve(times_.size() - head_ + times.size());
    v.reserve(t.capacity());
    std::size_t i = head_, k = 0;
    while (i < times_.size() || k < times.size()) {
      if (k >= times.size() || (i < times_.size() && times_[i] <= times[k])) {
        t.push_back(times_[i]);
        v.push_back(values_[i++]);
      } else {
        t.push_back(times[k]);
        v.push_back(values[k++]);
      }
    }
    times_ = std::move(t);
    values_ = std::move(v);
    head_ = 0;
    return true;
  }

  // Everything held handed on. False when the sink had enough before the end.
  bool Finish() { return Release(INT64_MAX, true) && Flush(); }

 private:
  // Hands on the held samples earlier than `before` (every one with `final`), keeping the last one
  // back unless its successor is known too: a hole's step needs the sample after it.
  bool Release(std::int64_t before, bool final) {
    std::size_t i = head_;
    const std::size_t n = times_.size();
    for (; i < n; ++i) {
      if (!final && (i + 1 >= n || times_[i + 1] >= before)) break;
      const std::int64_t t = times_[i];
      if (!havePrevious_) {
        CoverFrom(t);
      } else if (t > coveredTo_ && t > previous_ + 1) {
        const Hole hole = LongestHole(coverage_, previous_, t);
        // The sampling step next to the two: the smaller of the steps before and after.
        std::int64_t step = haveSecond_ ? previous_ - second_ : 0;
        if (i + 1 < n) step = step > 0 ? std::min(step, times_[i + 1] - t) : times_[i + 1] - t;
        if (IsHole(hole, step)) {
          // No source covers the time between these two: a break, not a line across.
          outTimes_.push_back(std::clamp(hole.start + hole.length / 2, previous_ + 1, t - 1));
          outValues_.push_back(GapValue);
          outHoles_.push_back(1);
        }
        CoverFrom(t);
      }
      outTimes_.push_back(t);
      outValues_.push_back(values_[i]);
      outHoles_.push_back(0);
      second_ = previous_;
      haveSecond_ = havePrevious_;
      previous_ = t;
      havePrevious_ = true;
      if (outTimes_.size() >= kBatch && !Flush()) {
        head_ = i + 1;
        return false;
      }
    }
    head_ = i;
    return true;
  }

  bool Flush() {
    if (outTimes_.empty()) return true;
    const bool more = sink_(number_, Archive::SampleBatch{outTimes_, outValues_, outHoles_});
    outTimes_.clear();
    outValues_.clear();
    outHoles_.clear();
    return more;
  }

  // The merged span that covers `t`: pairs inside it need no look at holes.
  void CoverFrom(std::int64_t t) {
    while (span_ < coverage_.size() && coverage_[span_].lastMs < t) ++span_;
    coveredTo_ = span_ < coverage_.size() && coverage_[span_].firstMs <= t ? coverage_[span_].lastMs : INT64_MIN;
  }

  static constexpr std::size_t kBatch = 8192;
  int number_;
  const std::vector<ArchiveSpan>& coverage_;
  const Archive::SampleSink& sink_;
  std::vector<std::int64_t> times_;  // held, in time order, from head_ on
  std::vector<float> values_;
  std::size_t head_ = 0;
  bool havePrevious_ = false, haveSecond_ = false;
  std::int64_t previous_ = 0, second_ = 0;  // the last two samples handed on
  std::size_t span_ = 0;
  std::int64_t coveredTo_ = INT64_MIN;
  std::vector<std::int64_t> outTimes_;
  std::vector<float> outValues_;
  std::vector<std::uint8_t> outHoles_;
};

// The channel numbers of the recorder that any source names, ascending.
std::vector<int> RecorderChannelNumbers(SqlConnection& db, std::int64_t recorderId) {
  std::vector<int> numbers;
  auto statement = db.Prepare(
      "SELECT DISTINCT c.number FROM source_channel c JOIN source s ON s.id = c.source_id "
      "WHERE s.recorder_id = ? ORDER BY c.number");
  statement->BindInt(1, recorderId);
  while (statement->Step()) numbers.push_back(static_cast<int>(statement->Int(0)));
  return numbers;
}

// The chunk starts a channel's stream over [fromMs, toMs] reads, `low` to `high`: from the last
// chunk start at or before fromMs (that chunk holds the sample holding at fromMs, or a later one
// does) to the first one after toMs (its first sample is the first after it); each end the period's
// own when there is none.
struct ChunkRange {
  std::int64_t low = 0;
  std::int64_t high = 0;
};
ChunkRange ChunkRangeOf(SqlConnection& db, std::int64_t recorderId, int number, std::int64_t fromMs, std::int64_t toMs) {
  ChunkRange range{fromMs, toMs};
  auto before = db.Prepare("SELECT MAX(first_ms) FROM chunk WHERE recorder_id = ? AND channel = ? AND first_ms <= ?");
  before->BindInt(1, recorderId);
  before->BindInt(2, number);
  before->BindInt(3, fromMs);
  if (before->Step() && !before->IsNull(0)) range.low = before->Int(0);
  auto after = db.Prepare("SELECT MIN(first_ms) FROM chunk WHERE recorder_id = ? AND channel = ? AND first_ms > ?");
  after->BindInt(1, recorderId);
  after->BindInt(2, number);
  after->BindInt(3, toMs);
  if (after->Step() && !after->IsNull(0)) range.high = after->Int(0);
  return range;
}

std::int64_t ClampedMinus(std::int64_t t, std::int64_t d) { return t > INT64_MIN / 2 + d ? t - d : INT64_MIN / 2; }
std::int64_t ClampedPlus(std::int64_t t, std::int64_t d) { return t < INT64_MAX / 2 - d ? t + d : INT64_MAX / 2; }

// Streams one channel's chunks of `range` inside a read transaction, read a page at a time (a
// server hands a whole result over at once), each decoded only when its turn comes.
void StreamChannel(SqlConnection& db, std::int64_t recorderId, int number, ChunkRange range, std::int64_t longest,
                   const std::vector<ArchiveSpan>& coverage, const Archive::SampleSink& sink,
                   const std::atomic<bool>* cancel) {
  const std::int64_t low = range.low;
  const std::int64_t high = range.high;
  auto page = db.Prepare(
      "SELECT id, first_ms, data FROM chunk WHERE recorder_id = ? AND channel = ? AND first_ms >= ? AND "
      "first_ms <= ? AND last_ms >= ? AND (first_ms > ? OR id > ?) ORDER BY first_ms, id LIMIT 64");
  ChannelStream stream(number, coverage, sink);
  std::int64_t afterFirst = ClampedMinus(low, longest);
  std::int64_t afterId = INT64_MIN;
  std::vector<std::int64_t> times;
  std::vector<float> values;
  for (;;) {
    page->Reset();
    page->BindInt(1, recorderId);
    page->BindInt(2, number);
    page->BindInt(3, afterFirst);
    page->BindInt(4, high);
    page->BindInt(5, low);
    page->BindInt(6, afterFirst);
    page->BindInt(7, afterId);
    bool any = false;
    while (page->Step()) {
      if (cancel && cancel->load()) throw SqlError("已取消");
      any = true;
      afterId = page->Int(0);
      afterFirst = page->Int(1);
      times.clear();
      values.clear();
      std::string why;
      if (!DecodeChunk(page->Blob(2), times, values, why)) throw SqlError("damaged chunk in the archive: " + why);
      if (!stream.AddChunk(afterFirst, times, values)) return;
    }
    if (!any) break;
  }
  stream.Finish();
}

// The merged spans of the recorder's sources that reach into [fromMs, toMs].
std::vector<ArchiveSpan> CoverageAround(SqlConnection& db, std::int64_t recorderId, std::int64_t fromMs,
                                        std::int64_t toMs) {
  auto statement = db.Prepare("SELECT first_ms, last_ms FROM source WHERE recorder_id = ? AND first_ms <= ? AND last_ms >= ?");
  statement->BindInt(1, recorderId);
  statement->BindInt(2, toMs);
  statement->BindInt(3, fromMs);
  std::vector<SteppedSpan> spans;
  while (statement->Step()) spans.push_back({{statement->Int(0), statement->Int(1)}, 0});
  return MergeSpans(std::move(spans), false);
}

// What the streams of `numbers` over [fromMs, toMs] read: each channel's chunk range, and the
// merged spans of the sources that reach into the time those chunks can hold (the holes between
// two samples streamed lie there). Not the whole recorder's sources: a recorder that records live
// has a source for every run of readings.
struct StreamPlan {
  std::vector<ChunkRange> ranges;
  std::vector<ArchiveSpan> coverage;
};
StreamPlan PlanStreams(SqlConnection& db, std::int64_t recorderId, const std::vector<int>& numbers, std::int64_t fromMs,
                       std::int64_t toMs, std::int64_t longest) {
  StreamPlan plan;
  std::int64_t first = fromMs, last = toMs;
  for (const int number : numbers) {
    plan.ranges.push_back(ChunkRangeOf(db, recorderId, number, fromMs, toMs));
    first = std::min(first, plan.ranges.back().low);
    last = std::max(last, plan.ranges.back().high);
  }
  plan.coverage = CoverageAround(db, recorderId, ClampedMinus(first, longest), ClampedPlus(last, longest));
  return plan;
}

}  // namespace

bool Archive::StreamPeriod(std::int64_t recorderId, std::int64_t fromMs, std::int64_t toMs,
                           const std::vector<int>& channels, const SampleSink& sink, std::string& error,
                           const std::atomic<bool>* cancel) {
  SqlConnection& db = *connection_;
  try {
    db.BeginRead();
    const std::int64_t longest = LongestChunkSpan(db, recorderId);
    const std::vector<int> numbers = channels.empty() ? RecorderChannelNumbers(db, recorderId) : channels;
    const StreamPlan plan = PlanStreams(db, recorderId, numbers, fromMs, toMs, longest);
    for (std::size_t k = 0; k < numbers.size(); ++k) {
      if (cancel && cancel->load()) throw SqlError("已取消");
      StreamChannel(db, recorderId, numbers[k], plan.ranges[k], longest, plan.coverage, sink, cancel);
    }
    db.Commit();
    return true;
  } catch (const SqlError& e) {
    db.Rollback();
    error = e.what();
    return false;
  } catch (const std::bad_alloc&) {
    db.Rollback();
    error = "out of memory";
    return false;
  }
}

std::optional<std::int64_t> Archive::CountSamplesExactly(std::int64_t recorderId, std::int64_t fromMs,
                                                         std::int64_t toMs, const std::vector<int>& channels,
                                                         std::string& error, std::int64_t above) {
  if (toMs < fromMs) return 0;
  SqlConnection& db = *connection_;
  try {
    db.BeginRead();  // both counts from one state of the archive
    const std::int64_t longest = LongestChunkSpan(db, recorderId);
    const std::string only = channels.empty() ? std::string() : " AND channel IN (" + ChannelList(channels) + ")";
    std::int64_t total = 0;
    {
      // The chunks wholly inside: their rows' counts.
      auto inside = db.Prepare(
          "SELECT CAST(COALESCE(SUM(count), 0) AS BIGINT) FROM chunk WHERE recorder_id = ? AND first_ms >= ? AND "
          "first_ms <= ? AND last_ms <= ?" + only);
      inside->BindInt(1, recorderId);
      inside->BindInt(2, fromMs);
      inside->BindInt(3, toMs);
      inside->BindInt(4, toMs);
      if (inside->Step()) total += inside->Int(0);
    }
    if (total > above) {
      db.Commit();
      return total;  // more than asked about already: the cut chunks need not be decoded
    }
    {
      // The chunks that reach into the period from before it or past it: their samples within.
      auto cut = db.Prepare(
          "SELECT data FROM chunk WHERE recorder_id = ? AND first_ms >= ? AND first_ms <= ? AND last_ms >= ? AND "
          "(first_ms < ? OR last_ms > ?)" + only);
      cut->BindInt(1, recorderId);
      cut->BindInt(2, fromMs > INT64_MIN / 2 + longest ? fromMs - longest : INT64_MIN / 2);
      cut->BindInt(3, toMs);
      cut->BindInt(4, fromMs);
      cut->BindInt(5, fromMs);
      cut->BindInt(6, toMs);
      std::vector<std::int64_t> times;
      std::vector<float> values;
      while (cut->Step()) {
        times.clear();
        values.clear();
        std::string why;
        if (!DecodeChunk(cut->Blob(0), times, values, why)) {
          cut.reset();
          db.Rollback();
          error = "damaged chunk in the archive: " + why;
          return std::nullopt;
        }
        total += std::count_if(times.begin(), times.end(),
                               [fromMs, toMs](std::int64_t t) { return t >= fromMs && t <= toMs; });
      }
    }
    db.Commit();
    return total;
  } catch (const SqlError& e) {
    db.Rollback();
    error = e.what();
    return std::nullopt;
  } catch (const std::bad_alloc&) {
    db.Rollback();
    error = "out of memory";
    return std::nullopt;
  }
}

bool Archive::ReadPeriod(std::int64_t recorderId, std::int64_t fromMs, std::int64_t toMs,
                         const std::vector<int>& wanted, bool whole, DatasetSummary& summary,
                         std::vector<ChannelInfo>& out, std::string& error) {
  SqlConnection& db = *connection_;
  try {
    db.BeginRead();
    // The sources in the period, for the range and (whole) the times.
    struct Source {
      std::int64_t id;
      ArchiveSpan span;
      double rangeMin, rangeMax;
      std::int64_t startMs, endMs, sampleCount;
    };
    std::vector<Source> sources;
    {
      auto statement = db.Prepare(
          "SELECT id, first_ms, last_ms, range_min, range_max, start_ms, end_ms, sample_count "
          "FROM source WHERE recorder_id = ? AND first_ms <= ? AND last_ms >= ? ORDER BY first_ms, id");
      statement->BindInt(1, recorderId);
      statement->BindInt(2, toMs);
      statement->BindInt(3, fromMs);
      while (statement->Step()) {
        sources.push_back({statement->Int(0), {statement->Int(1), statement->Int(2)}, statement->Double(3),
                           statement->Double(4), statement->Int(5), statement->Int(6), statement->Int(7)});
      }
    }

    // The channels: those asked for, else every channel a source of the period names; with one
    // source, in its own order, else by number; each with the unit of the latest source.
    struct Channel {
      int number;
      std::string unit;
      std::int64_t position;
      std::vector<UnitSince> unitChanges;  // each source's unit from its first time, when they differ
    };
    std::vector<Channel> channels;
    {
      auto statement = db.Prepare(
          "SELECT c.number, c.unit, c.position, s.first_ms FROM source_channel c JOIN source s ON s.id = c.source_id "
          "WHERE s.recorder_id = ? AND s.first_ms <= ? AND s.last_ms >= ? ORDER BY c.number, s.first_ms, s.id");
      statement->BindInt(1, recorderId);
      statement->BindInt(2, toMs);
      statement->BindInt(3, fromMs);
      while (statement->Step()) {
        const int number = static_cast<int>(statement->Int(0));
        if (!wanted.empty() && std::find(wanted.begin(), wanted.end(), number) == wanted.end()) continue;
        std::string unit = statement->Text(1);
        const DateTime since = FromArchiveMs(statement->Int(3));
        if (channels.empty() || channels.back().number != number) {
          channels.push_back({number, unit, statement->Int(2), {UnitSince{since, unit}}});
        } else {
          Channel& c = channels.back();
          if (c.unitChanges.back().unit != unit) c.unitChanges.push_back({since, unit});
          c.unit = std::move(unit);
        }
      }
      for (Channel& c : channels) {
        if (c.unitChanges.size() == 1) c.unitChanges.clear();  // one unit throughout
      }
    }
    if (sources.size() == 1) {
      std::stable_sort(channels.begin(), channels.end(),
                       [](const Channel& a, const Channel& b) { return a.position < b.position; });
    }

    const std::int64_t longest = LongestChunkSpan(db, recorderId);
    std::int64_t values = 0;
    const std::size_t firstOut = out.size();
    // The samples within the period as the stream gives them; a hole's gap sample only between two
    // of them.
    std::vector<int> numbers;
    for (const Channel& c : channels) numbers.push_back(c.number);
    const StreamPlan plan = PlanStreams(db, recorderId, numbers, fromMs, toMs, longest);
    ChannelInfo* info = nullptr;
    std::optional<PeriodClip> clip;
    std::int64_t gapValues = 0, taken = 0;
    const SampleSink take = [&](int, const SampleBatch& batch) {
      return clip->Take(batch, [&](std::int64_t t, float v) {
        info->times.push_back(FromArchiveMs(t));
        info->values.push_back(v);
        ++taken;
        gapValues += IsGapValue(v) ? 1 : 0;
      });
    };
    for (std::size_t k = 0; k < channels.size(); ++k) {
      const Channel& c = channels[k];
      out.emplace_back();
      info = &out.back();
      info->number = static_cast<std::int16_t>(c.number);
      info->unit = c.unit;
      info->unitChanges = c.unitChanges;
      clip.emplace(fromMs, toMs);
      gapValues = taken = 0;
      try {
        StreamChannel(db, recorderId, c.number, plan.ranges[k], longest, plan.coverage, take, nullptr);
      } catch (const SqlError&) {
        out.resize(firstOut);
        throw;
      } catch (const std::bad_alloc&) {
        out.resize(firstOut);
        throw;
      }
      values += taken - gapValues;
    }
    db.Commit();

    // The summary of the period.
    summary = DatasetSummary{};
    bool anySource = false;
    for (const Source& s : sources) {
      summary.rangeMin = anySource ? std::min(summary.rangeMin, static_cast<float>(s.rangeMin))
                                   : static_cast<float>(s.rangeMin);
      summary.rangeMax = anySource ? std::max(summary.rangeMax, static_cast<float>(s.rangeMax))
                                   : static_cast<float>(s.rangeMax);
      anySource = true;
    }
    if (whole && !sources.empty()) {
      std::int64_t start = sources.front().startMs, end = sources.front().endMs;
      for (const Source& s : sources) {
        start = std::min(start, s.startMs);
        end = std::max(end, s.endMs);
      }
      summary.startTime = FromArchiveMs(start);
      summary.endTime = FromArchiveMs(end);
    } else {
      summary.startTime = FromArchiveMs(fromMs);
      summary.endTime = FromArchiveMs(toMs);
    }
    const std::int64_t count = whole && sources.size() == 1 ? sources.front().sampleCount : values;
    summary.sampleCount = static_cast<std::int32_t>(std::min<std::int64_t>(count, INT32_MAX));
    return true;
  } catch (const SqlError& e) {
    db.Rollback();
    error = e.what();
    return false;
  } catch (const std::bad_alloc&) {
    db.Rollback();
    error = "out of memory";
    return false;
  }
}

namespace {

// Folds samples or summary buckets, in time order, into the pixel columns of [from, from + span):
// the column of a time is (t - from) * pixels / span, found by stepping to the next boundary
// rather than by a division per sample.
class ColumnFolder {
 public:
  ColumnFolder(std::int64_t from, std::int64_t span, int pixels) : from_(from), span_(span), pixels_(pixels) {}

  void Add(std::int64_t t, std::int64_t count, double min, double max, double sum) {
    if (count <= 0) return;
    if (column_ < 0 || t >= nextBoundary_ || t < columnStart_) Locate(t);
    if (buckets_.empty() || openColumn_ != column_) {
      buckets_.push_back({std::max(t, from_), count, min, max, sum});
      openColumn_ = column_;
      return;
    }
    EnvelopeBucket& b = buckets_.back();
    b.count += count;
    b.min = std::min(b.min, min);
    b.max = std::max(b.max, max);
    b.mean += sum;
  }
  // The columns, their means divided out.
  std::vector<EnvelopeBucket> Take() {
    for (EnvelopeBucket& b : buckets_) b.mean /= static_cast<double>(b.count);
    std::vector<EnvelopeBucket> out = std::move(buckets_);
    buckets_.clear();
    column_ = openColumn_ = -1;
    return out;
  }

 private:
  void Locate(std::int64_t t) {
    column_ = std::clamp<std::int64_t>((t - from_) * pixels_ / span_, 0, pixels_ - 1);
    // The first time of this column and of the next: the smallest t whose column is c.
    columnStart_ = from_ + (column_ * span_ + pixels_ - 1) / pixels_;
    nextBoundary_ = column_ + 1 >= pixels_ ? INT64_MAX : from_ + ((column_ + 1) * span_ + pixels_ - 1) / pixels_;
    if (t < from_) columnStart_ = INT64_MIN;
  }

  std::int64_t from_;
  std::int64_t span_;
  std::int64_t pixels_;
  std::int64_t column_ = -1;
  std::int64_t openColumn_ = -1;
  std::int64_t columnStart_ = 0;
  std::int64_t nextBoundary_ = 0;
  std::vector<EnvelopeBucket> buckets_;  // mean holds the sum until Take
};

}  // namespace

std::optional<std::vector<ChannelEnvelope>> Archive::Envelope(std::int64_t recorderId, std::int64_t fromMs,
                                                              std::int64_t toMs, const std::vector<int>& channels,
                                                              int pixels, std::string& error,
                                                              const std::atomic<bool>* cancel) {
  if (pixels <= 0 || toMs < fromMs) return std::vector<ChannelEnvelope>{};
  const std::int64_t span = toMs - fromMs + 1;
  const std::int64_t level = EnvelopeLevelMs(fromMs, toMs, pixels);
  std::vector<ChannelEnvelope> result;
  SqlConnection& db = *connection_;
  try {
    db.BeginRead();
    std::vector<int> numbers = channels;
    if (numbers.empty()) {
      auto statement = db.Prepare(
          "SELECT DISTINCT c.number FROM source_channel c JOIN source s ON s.id = c.source_id "
          "WHERE s.recorder_id = ? ORDER BY c.number");
      statement->BindInt(1, recorderId);
      while (statement->Step()) numbers.push_back(static_cast<int>(statement->Int(0)));
    }
    ColumnFolder folder(fromMs, span, pixels);
    if (level > 0) {
      // The stored level, each channel's buckets in order straight from the table's key.
      auto statement = db.Prepare(
          "SELECT bucket_ms, count, min_value, max_value, sum_value FROM summary WHERE recorder_id = ? AND "
          "channel = ? AND level_ms = ? AND bucket_ms >= ? AND bucket_ms <= ? ORDER BY bucket_ms");
      // A bucket belongs to the period when it starts in it; the first one may start before.
      const std::int64_t firstBucket = FloorDiv(fromMs, level) * level;
      for (const int number : numbers) {
        if (cancel && cancel->load()) throw SqlError("已取消");
        statement->Reset();
        statement->BindInt(1, recorderId);
        statement->BindInt(2, number);
        statement->BindInt(3, level);
        statement->BindInt(4, firstBucket);
        statement->BindInt(5, toMs);
        while (statement->Step()) {
          folder.Add(statement->Int(0), statement->Int(1), statement->Double(2), statement->Double(3),
                     statement->Double(4));
        }
        ChannelEnvelope envelope{number, folder.Take()};
        if (!envelope.buckets.empty()) result.push_back(std::move(envelope));
      }
    } else {
      // Finer than the finest level: the exact samples.
      auto statement = db.Prepare(kChunksOfPeriod);
      const std::int64_t longest = LongestChunkSpan(db, recorderId);
      std::vector<std::int64_t> times;
      std::vector<float> values;
      for (const int number : numbers) {
        if (cancel && cancel->load()) throw SqlError("已取消");
        BindChunksOfPeriod(*statement, recorderId, number, fromMs, toMs, longest);
        times.clear();
        values.clear();
        if (!DecodeRows(*statement, 0, times, values, error)) {
          db.Rollback();
          return std::nullopt;
        }
        SortByTime(times, values);
        const std::size_t b = static_cast<std::size_t>(std::lower_bound(times.begin(), times.end(), fromMs) - times.begin());
        const std::size_t e = static_cast<std::size_t>(std::upper_bound(times.begin(), times.end(), toMs) - times.begin());
        for (std::size_t i = b; i < e; ++i) {
          if (IsGapValue(values[i])) continue;
          const double v = values[i];
          folder.Add(times[i], 1, v, v, v);
        }
        ChannelEnvelope envelope{number, folder.Take()};
        if (!envelope.buckets.empty()) result.push_back(std::move(envelope));
      }
    }
    db.Commit();
    return result;
  } catch (const SqlError& e) {
    db.Rollback();
    error = e.what();
    return std::nullopt;
  }
}

}  // namespace vantiro
