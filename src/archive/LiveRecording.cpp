#include "archive/LiveRecording.h"

#include <unistd.h>

#include <algorithm>
#include <map>
#include <utility>

#include "archive/ArchiveSchema.h"
#include "archive/ChunkCodec.h"
#include "archive/SqlConnection.h"

namespace vantiro {
namespace {

std::int64_t WallMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::int64_t BucketOf(std::int64_t t, std::int64_t level) {
  std::int64_t q = t / level;
  if (t % level != 0 && t < 0) --q;
  return q * level;
}

struct BucketSums {
  std::int64_t count = 0;
  double min = 0.0, max = 0.0, sum = 0.0;
};

// The most readings kept waiting while the archive cannot be written (a day at one a second):
// beyond it the oldest go, so that a long outage of the archive does not eat the memory.
constexpr std::size_t kMostPending = 86400;

}  // namespace

LiveRecording::LiveRecording(Archive& archive, std::string recorder, std::string link,
                             std::vector<ChannelHeader> channels)
    : archive_(archive), recorder_(std::move(recorder)), link_(std::move(link)), channels_(std::move(channels)) {
  // Unique among this recorder's sources: the wall clock of the start and this process.
  sessionId_ = "live:" + std::to_string(WallMs()) + ":" + std::to_string(::getpid()) + ":" +
               std::to_string(reinterpret_cast<std::uintptr_t>(this) & 0xFFFFFF);
}

void LiveRecording::Add(std::int64_t timeMs, std::span<const float> values) {
  if (anyAdded_ && !holeBefore_ && timeMs == lastAddedMs_) return;  // the same reading again
  Reading reading;
  reading.timeMs = timeMs;
  reading.startsSource = holeBefore_ || (anyAdded_ && timeMs < lastAddedMs_);
  reading.values.assign(channels_.size(), GapValue);
  std::copy_n(values.begin(), std::min(values.size(), channels_.size()), reading.values.begin());
  if (pending_.size() >= kMostPending) {
    pending_.erase(pending_.begin());
    if (!pending_.empty()) pending_.front().startsSource = true;
  }
  pending_.push_back(std::move(reading));
  holeBefore_ = false;
  anyAdded_ = true;
  lastAddedMs_ = timeMs;
}

void LiveRecording::Hole() { holeBefore_ = true; }

void LiveRecording::StartSource(std::int64_t recorderId, std::int64_t firstMs, std::size_t index, Segment& segment) {
  SqlConnection& db = archive_.Connection();
  segment = Segment{};
  segment.firstMs = segment.lastMs = firstMs;
  segment.channels.resize(channels_.size());
  const std::string hash = sessionId_ + ":" + std::to_string(index);
  auto insert = db.Prepare(
      "INSERT INTO source (recorder_id, kind, path, size, content_hash, first_ms, last_ms, range_min, range_max, "
      "start_ms, end_ms, sample_count, imported_ms, samples, added, duplicates, conflicts, step_ms) "
      "VALUES (?, 'live', ?, 0, ?, ?, ?, 0, 0, ?, ?, 0, ?, 0, 0, 0, 0, 0) RETURNING id");
  insert->BindInt(1, recorderId);
  insert->BindText(2, link_);
  insert->BindText(3, hash);
  insert->BindInt(4, firstMs);
  insert->BindInt(5, firstMs);
  insert->BindInt(6, firstMs);
  insert->BindInt(7, firstMs);
  insert->BindInt(8, WallMs());
  if (!insert->Step()) throw SqlError("the live source could not be recorded");
  segment.sourceId = insert->Int(0);
  auto channel = db.Prepare(
      "INSERT INTO source_channel (source_id, number, position, unit, has_range, range_low, range_high, decimals, "
      "first_ms, last_ms, samples, added, chunk_span_ms) VALUES (?, ?, ?, ?, ?, ?, ?, ?, NULL, NULL, 0, 0, 0)");
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    const ChannelHeader& h = channels_[i];
    channel->Reset();
    channel->BindInt(1, segment.sourceId);
    channel->BindInt(2, h.number);
    channel->BindInt(3, static_cast<std::int64_t>(i));
    channel->BindText(4, h.unit);
    channel->BindInt(5, h.hasRange ? 1 : 0);
    if (h.hasRange) {
      channel->BindDouble(6, h.rangeLow);
      channel->BindDouble(7, h.rangeHigh);
      channel->BindInt(8, h.decimals);
    } else {
      channel->BindNull(6);
      channel->BindNull(7);
      channel->BindNull(8);
    }
    channel->Step();
  }
}

void LiveRecording::WriteRun(std::int64_t recorderId, std::span<const Reading> run, Segment& segment) {
  SqlConnection& db = archive_.Connection();
  const bool pg = db.Dialect() == SqlDialect::Postgres;
  const std::int64_t runFirst = run.front().timeMs;
  const std::int64_t runLast = run.back().timeMs;
  // Another source of the recorder over the same time (an imported file, an earlier session when
  // the recorder's clock went back): its samples stay, the run adds only the times it lacks.
  bool overlapped = false;
  {
    auto other = db.Prepare(
        "SELECT 1 FROM source WHERE recorder_id = ? AND id <> ? AND first_ms <= ? AND last_ms >= ? LIMIT 1");
    other->BindInt(1, recorderId);
    other->BindInt(2, segment.sourceId);
    other->BindInt(3, runLast);
    other->BindInt(4, runFirst);
    overlapped = other->Step();
  }
  auto heldChunks = db.Prepare(
      "SELECT data FROM chunk WHERE recorder_id = ? AND channel = ? AND source_id <> ? AND first_ms <= ? AND "
      "last_ms >= ?");
  auto insertChunk = db.Prepare(
      "INSERT INTO chunk (recorder_id, channel, source_id, first_ms, last_ms, count, gap_count, min_value, "
      "max_value, sum_value, data) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?) RETURNING id");
  auto updateChunk = db.Prepare(
      "UPDATE chunk SET first_ms = ?, last_ms = ?, count = ?, gap_count = ?, min_value = ?, max_value = ?, "
      "sum_value = ?, data = ? WHERE id = ?");
  auto upsertSummary = db.Prepare(
      std::string("INSERT INTO summary (recorder_id, channel, level_ms, bucket_ms, source_id, count, min_value, "
                  "max_value, sum_value) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?) "
                  "ON CONFLICT (recorder_id, channel, level_ms, bucket_ms, source_id) DO UPDATE SET "
                  "count = summary.count + excluded.count, ") +
      (pg ? "min_value = LEAST(summary.min_value, excluded.min_value), "
            "max_value = GREATEST(summary.max_value, excluded.max_value), "
          : "min_value = MIN(summary.min_value, excluded.min_value), "
            "max_value = MAX(summary.max_value, excluded.max_value), ") +
      "sum_value = summary.sum_value + excluded.sum_value");
  auto updateChannel = db.Prepare(
      "UPDATE source_channel SET first_ms = ?, last_ms = ?, samples = ?, added = ?, chunk_span_ms = ? "
      "WHERE source_id = ? AND number = ?");

  for (std::size_t c = 0; c < channels_.size(); ++c) {
    const int number = channels_[c].number;
    OpenChannel& open = segment.channels[c];
    std::vector<std::int64_t> heldTimes;
    if (overlapped) {
      heldChunks->Reset();
      heldChunks->BindInt(1, recorderId);
      heldChunks->BindInt(2, number);
      heldChunks->BindInt(3, segment.sourceId);
      heldChunks->BindInt(4, runLast);
      heldChunks->BindInt(5, runFirst);
      std::vector<float> heldValues;
      while (heldChunks->Step()) {
        std::string why;
        if (!DecodeChunk(heldChunks->Blob(0), heldTimes, heldValues, why)) {
          throw SqlError("damaged chunk in the archive: " + why);
        }
      }
      std::sort(heldTimes.begin(), heldTimes.end());
    }
    // The new samples of the channel, and their summaries by level and bucket.
    std::vector<std::int64_t> times;
    std::vector<float> values;
    std::map<std::pair<std::int64_t, std::int64_t>, BucketSums> buckets;
    for (const Reading& r : run) {
      const float v = r.values[c];
      ++open.samples;
      ++segment.samples;
      if (!open.any) open.firstMs = r.timeMs;
      open.lastMs = r.timeMs;
      open.any = true;
      if (std::binary_search(heldTimes.begin(), heldTimes.end(), r.timeMs)) {
        ++segment.duplicates;  // held by an earlier source: the first kept
        continue;
      }
      times.push_back(r.timeMs);
      values.push_back(v);
      ++open.added;
      ++segment.added;
      if (IsGapValue(v)) continue;
      if (!segment.anyValue) segment.low = segment.high = v;
      segment.low = std::min<double>(segment.low, v);
      segment.high = std::max<double>(segment.high, v);
      segment.anyValue = true;
      for (const std::int64_t level : kSummaryLevelsMs) {
        BucketSums& b = buckets[{level, BucketOf(r.timeMs, level)}];
        if (b.count == 0) b.min = b.max = v;
        b.min = std::min<double>(b.min, v);
        b.max = std::max<double>(b.max, v);
        b.sum += v;
        ++b.count;
      }
    }
    // Into the open chunk, and new chunks once it is full.
    std::size_t at = 0;
    while (at < times.size()) {
      if (open.chunkId != 0 && open.times.size() >= kChunkSamples) {
        open.chunkId = 0;
        open.times.clear();
        open.values.clear();
      }
      const std::size_t take = std::min(kChunkSamples - open.times.size(), times.size() - at);
      open.times.insert(open.times.end(), times.begin() + static_cast<long>(at),
                        times.begin() + static_cast<long>(at + take));
      open.values.insert(open.values.end(), values.begin() + static_cast<long>(at),
                         values.begin() + static_cast<long>(at + take));
      at += take;
      const std::string blob = EncodeChunk(open.times, open.values, kLiveCompressionLevel);
      if (blob.empty()) throw SqlError("a chunk could not be made");
      const ChunkSummary s = SummarizeSamples(open.times, open.values);
      open.chunkSpan = std::max(open.chunkSpan, s.lastMs - s.firstMs);
      if (open.chunkId == 0) {
        insertChunk->Reset();
        insertChunk->BindInt(1, recorderId);
        insertChunk->BindInt(2, number);
        insertChunk->BindInt(3, segment.sourceId);
        insertChunk->BindInt(4, s.firstMs);
        insertChunk->BindInt(5, s.lastMs);
        insertChunk->BindInt(6, s.count);
        insertChunk->BindInt(7, s.gapCount);
        insertChunk->BindDouble(8, s.min);
        insertChunk->BindDouble(9, s.max);
        insertChunk->BindDouble(10, s.sum);
        insertChunk->BindBlob(11, blob);
        if (!insertChunk->Step()) throw SqlError("a chunk could not be stored");
        open.chunkId = insertChunk->Int(0);
      } else {
        updateChunk->Reset();
        updateChunk->BindInt(1, s.firstMs);
        updateChunk->BindInt(2, s.lastMs);
        updateChunk->BindInt(3, s.count);
        updateChunk->BindInt(4, s.gapCount);
        updateChunk->BindDouble(5, s.min);
        updateChunk->BindDouble(6, s.max);
        updateChunk->BindDouble(7, s.sum);
        updateChunk->BindBlob(8, blob);
        updateChunk->BindInt(9, open.chunkId);
        updateChunk->Step();
      }
    }
    for (const auto& [key, b] : buckets) {
      upsertSummary->Reset();
      upsertSummary->BindInt(1, recorderId);
      upsertSummary->BindInt(2, number);
      upsertSummary->BindInt(3, key.first);
      upsertSummary->BindInt(4, key.second);
      upsertSummary->BindInt(5, segment.sourceId);
      upsertSummary->BindInt(6, b.count);
      upsertSummary->BindDouble(7, b.min);
      upsertSummary->BindDouble(8, b.max);
      upsertSummary->BindDouble(9, b.sum);
      upsertSummary->Step();
    }
    updateChannel->Reset();
    updateChannel->BindInt(1, open.firstMs);
    updateChannel->BindInt(2, open.lastMs);
    updateChannel->BindInt(3, open.samples);
    updateChannel->BindInt(4, open.added);
    updateChannel->BindInt(5, open.chunkSpan);
    updateChannel->BindInt(6, segment.sourceId);
    updateChannel->BindInt(7, number);
    updateChannel->Step();
  }
  for (std::size_t i = 0; i < run.size(); ++i) {
    const std::int64_t previous = i > 0 ? run[i - 1].timeMs : segment.lastMs;
    const std::int64_t step = run[i].timeMs - previous;
    if (segment.readings + static_cast<std::int64_t>(i) > 0 && step > 0 && (segment.step == 0 || step < segment.step)) {
      segment.step = step;
    }
  }
  segment.readings += static_cast<std::int64_t>(run.size());
  segment.lastMs = runLast;
  auto update = db.Prepare(
      "UPDATE source SET last_ms = ?, end_ms = ?, range_min = ?, range_max = ?, sample_count = ?, samples = ?, "
      "added = ?, duplicates = ?, conflicts = ?, step_ms = ? WHERE id = ?");
  update->BindInt(1, segment.lastMs);
  update->BindInt(2, segment.lastMs);
  update->BindDouble(3, segment.low);
  update->BindDouble(4, segment.high);
  update->BindInt(5, segment.readings);
  update->BindInt(6, segment.samples);
  update->BindInt(7, segment.added);
  update->BindInt(8, segment.duplicates);
  update->BindInt(9, segment.conflicts);
  update->BindInt(10, segment.step);
  update->BindInt(11, segment.sourceId);
  update->Step();
}

bool LiveRecording::Commit(std::string& error) {
  if (pending_.empty()) return true;
  SqlConnection& db = archive_.Connection();
  if (db.ReadOnly()) {
    error = db.Describe() + " cannot be written";
    return false;
  }
  // Worked on a copy: a failed commit leaves the open chunks and counts as they were.
  Segment segment = segment_;
  std::vector<std::int64_t> made;
  try {
    db.BeginWrite();
    const std::int64_t recorderId = TakeRecorder(db, recorder_, WallMs());
    std::size_t begin = 0;
    while (begin < pending_.size()) {
      std::size_t end = begin + 1;
      while (end < pending_.size() && !pending_[end].startsSource) ++end;
      if (pending_[begin].startsSource || segment.sourceId == 0) {
        StartSource(recorderId, pending_[begin].timeMs, sources_.size() + made.size() + 1, segment);
        made.push_back(segment.sourceId);
      }
      WriteRun(recorderId, std::span<const Reading>(pending_.data() + begin, end - begin), segment);
      begin = end;
    }
    db.Commit();
  } catch (const SqlError& e) {
    db.Rollback();
    error = e.what();
    return false;
  } catch (const std::bad_alloc&) {
    db.Rollback();
    error = "out of memory";
    return false;
  }
  committed_ += static_cast<std::int64_t>(pending_.size());
  pending_.clear();
  segment_ = std::move(segment);
  sources_.insert(sources_.end(), made.begin(), made.end());
  return true;
}

// ---------------------------------------------------------------------------------------------

LiveArchiveWriter::LiveArchiveWriter(std::string location, std::string recorder, std::string link,
                                     std::vector<ChannelHeader> channels, std::chrono::milliseconds commitEvery)
    : location_(std::move(location)),
      recorder_(std::move(recorder)),
      link_(std::move(link)),
      channels_(std::move(channels)),
      commitEvery_(commitEvery) {
  worker_ = std::thread([this] { Run(); });
}

LiveArchiveWriter::~LiveArchiveWriter() { Finish(); }

void LiveArchiveWriter::Add(std::int64_t timeMs, std::span<const float> values) {
  std::lock_guard lock(mutex_);
  if (finishing_) return;
  queue_.push_back({timeMs, false, std::vector<float>(values.begin(), values.end())});
}

void LiveArchiveWriter::Hole() {
  std::lock_guard lock(mutex_);
  if (finishing_) return;
  queue_.push_back({0, true, {}});
}

void LiveArchiveWriter::FinishSoon() {
  {
    std::lock_guard lock(mutex_);
    finishing_ = true;
  }
  wake_.notify_all();
}

void LiveArchiveWriter::Finish() {
  FinishSoon();
  if (worker_.joinable()) worker_.join();
}

std::string LiveArchiveWriter::Describe() const {
  std::lock_guard lock(mutex_);
  return describe_;
}

std::string LiveArchiveWriter::LastError() const {
  std::lock_guard lock(mutex_);
  return lastError_;
}

std::int64_t LiveArchiveWriter::Committed() const {
  std::lock_guard lock(mutex_);
  return committed_;
}

void LiveArchiveWriter::Run() {
  std::unique_ptr<Archive> archive;
  std::unique_ptr<LiveRecording> recording;
  std::vector<Item> taken;
  bool last = false;
  while (!last) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait_for(lock, commitEvery_, [this] { return finishing_; });
      last = finishing_;
      taken.insert(taken.end(), std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
      queue_.clear();
    }
    std::string error;
    if (!archive) {
      archive = Archive::Open(location_, true, error);
      if (archive) {
        recording = std::make_unique<LiveRecording>(*archive, recorder_, link_, channels_);
        std::lock_guard lock(mutex_);
        describe_ = archive->Describe();
      }
    }
    if (recording) {
      for (const Item& item : taken) {
        if (item.hole) {
          recording->Hole();
        } else {
          recording->Add(item.timeMs, item.values);
        }
      }
      taken.clear();
      if (recording->Commit(error)) error.clear();
    } else if (taken.size() > kMostPending) {
      taken.erase(taken.begin(), taken.end() - static_cast<long>(kMostPending));
    }
    std::lock_guard lock(mutex_);
    lastError_ = error;
    if (recording) committed_ = recording->Committed();
  }
}

}  // namespace vantiro
