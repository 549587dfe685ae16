#pragma once
// The recording archive: every sample of every recording of every recorder, in one database
// (a SQLite file by default, a PostgreSQL server for a plant), kept as compressed chunks per
// channel with their summaries as plain SQL columns, plus coarser summary rows (10 minutes, an
// hour, a day) that any SQL tool can read. A period of a recorder comes back as the same dataset a
// file gives. Nothing here throws: failures come back as one-line messages.
//
// Times in the archive are whole milliseconds of the local wall clock counted from 1970-01-01 as if
// it were UTC (ArchiveMs); the dataset's DateTime converts to and from them exactly to the
// millisecond.

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/ProgressSink.h"
#include "platform/UserMessage.h"
#include "recorder/Dataset.h"

namespace vantiro {

class SqlConnection;

// DateTime <-> archive milliseconds, rounded to the nearest millisecond.
std::int64_t ToArchiveMs(DateTime time);
DateTime FromArchiveMs(std::int64_t ms);

// The archive of this user when none is named: $VANTIRO_ARCHIVE, else
// $XDG_DATA_HOME/vantiro/archive.sqlite (~/.local/share/vantiro/archive.sqlite).
std::string DefaultArchiveLocation();

// What a source said of a channel (a recorder file's header, or what a CSV import saw).
struct ChannelHeader {
  int number = 0;
  std::string unit;
  bool hasRange = false;   // a recorder file's range limits and decimals
  float rangeLow = 0.0f;
  float rangeHigh = 0.0f;
  int decimals = 0;
};

// A recording to import: the dataset as its reader gave it, and where it came from.
struct SourceRecording {
  std::string kind = "file";       // "file" or "live"
  std::string path;                // as the user named it (absolute)
  std::uint64_t size = 0;          // bytes of the file
  std::string contentHash;         // ContentHash of the file's bytes (a live session: its own id)
  DatasetSummary summary;          // as the reader left it (its header's times for a recorder file)
  std::vector<ChannelInfo> channels;
  std::vector<ChannelHeader> headers;  // by channel, when the source says more than the unit
};

struct ImportResult {
  enum class Outcome { Imported, AlreadyThere, Failed };
  Outcome outcome = Outcome::Failed;
  std::int64_t sourceId = 0;
  std::int64_t samples = 0;    // in the recording (gap samples included)
  std::int64_t added = 0;      // new to the archive
  std::int64_t duplicates = 0; // already there with the same value
  std::int64_t conflicts = 0;  // already there with another value (the first-imported kept)
  std::string message;         // why it failed
};

struct RecorderInfo {
  std::int64_t id = 0;
  std::string name;
};

struct ChannelSummaryInfo {
  int number = 0;
  std::string unit;       // the latest source's
  bool hasRange = false;
  float rangeLow = 0.0f;
  float rangeHigh = 0.0f;
  int decimals = 0;
  std::int64_t firstMs = 0;
  std::int64_t lastMs = 0;
  std::int64_t samples = 0;  // in the archive (each channel and time once)
  bool seen = false;         // firstMs and lastMs are set
  std::vector<std::string> earlierUnits;  // other units earlier sources gave it, oldest first
};

struct SourceInfo {
  std::int64_t id = 0;
  std::int64_t recorderId = 0;
  std::string kind;
  std::string path;
  std::uint64_t size = 0;
  std::string contentHash;
  std::int64_t firstMs = 0;   // the span it covers (a recorder file: its header's times)
  std::int64_t lastMs = 0;
  std::int64_t importedMs = 0;  // wall-clock time of the import
  std::int64_t samples = 0;
  std::int64_t added = 0;
  std::int64_t conflicts = 0;
};

// A time span [firstMs, lastMs].
struct ArchiveSpan {
  std::int64_t firstMs = 0;
  std::int64_t lastMs = 0;
  friend bool operator==(const ArchiveSpan&, const ArchiveSpan&) = default;
};

// One pixel column (or summary bucket) of a channel's envelope.
struct EnvelopeBucket {
  std::int64_t startMs = 0;
  std::int64_t count = 0;  // values that are not gaps
  double min = 0.0;
  double max = 0.0;
  double mean = 0.0;
};
struct ChannelEnvelope {
  int number = 0;
  std::vector<EnvelopeBucket> buckets;  // ascending, only buckets that hold values
};

// The summary level for `pixels` columns over [fromMs, toMs]: the coarsest stored level whose
// bucket is at most a column wide, 0 when even the finest is too coarse (exact samples then).
std::int64_t EnvelopeLevelMs(std::int64_t fromMs, std::int64_t toMs, int pixels);
// The stored summary levels, finest first: 10 minutes, an hour, a day.
inline constexpr std::array<std::int64_t, 3> kSummaryLevelsMs = {600000, 3600000, 86400000};

class Archive {
 public:
  // Opens (and for `create`, makes when missing) the archive at `location` (DefaultArchiveLocation()
  // when empty). Null with `error` set when it cannot be opened or is not an archive.
  static std::unique_ptr<Archive> Open(const std::string& location, bool create, std::string& error);
  ~Archive();
  Archive(const Archive&) = delete;
  Archive& operator=(const Archive&) = delete;

  std::string Describe() const;
  bool ReadOnly() const;

  // Imports one recording under `recorder` (created when new) in one transaction: all of it or,
  // on any failure or when `cancel` is set, nothing. A recording whose content hash the recorder
  // already holds is AlreadyThere. Samples at a channel and time the archive holds already are
  // counted as duplicates (same value) or conflicts (another value) and not added.
  ImportResult Import(const std::string& recorder, const SourceRecording& recording,
                      ProgressSink* progress = nullptr, const std::atomic<bool>* cancel = nullptr);

  std::optional<std::vector<RecorderInfo>> Recorders(std::string& error);
  std::optional<std::vector<ChannelSummaryInfo>> Channels(std::int64_t recorderId, std::string& error);
  std::optional<std::vector<SourceInfo>> Sources(std::int64_t recorderId, std::string& error);
  // The spans the recorder's sources cover, merged (where they touch or overlap), ascending.
  std::optional<std::vector<ArchiveSpan>> Coverage(std::int64_t recorderId, std::string& error);
  std::optional<RecorderInfo> FindRecorder(const std::string& name, std::string& error);

  // Removes a source and every sample it added; false with `error` when it is not there, the
  // archive cannot be written, or a later source overlapping it shares samples with it (those
  // live only in this source's chunks: forgetting it would lose them).
  bool Forget(std::int64_t sourceId, std::string& error);

  // Checks every chunk decodes and matches its row, every summary row matches its chunks, and every
  // source's samples are there. The problems found, one line each (empty: all well); nothing with
  // `error` set when the archive could not be read.
  std::optional<std::vector<std::string>> Check(std::string& error, ProgressSink* progress = nullptr);

  // The samples of `channels` (channel numbers; all when empty) of the recorder within [fromMs,
  // toMs] as a dataset: one ChannelInfo per channel in ascending number with the latest unit, gap
  // samples as stored and a gap sample where no source covers the time between two samples. The
  // summary: the range of the sources involved, the period's start and end (with `whole` the
  // sources' own span, for a recorder holding one recording its header's times), the samples that
  // are not gaps. Nothing, with `error`, when the archive cannot be read.
  bool ReadPeriod(std::int64_t recorderId, std::int64_t fromMs, std::int64_t toMs,
                  const std::vector<int>& channels, bool whole, DatasetSummary& summary,
                  std::vector<ChannelInfo>& out, std::string& error);
  // The samples of each of `channels` (all when empty) around [fromMs, toMs], handed to `sink`
  // in batches as they are decoded, a channel at a time in ascending number, never more than a
  // few chunks in memory: every sample of the chunks read, in time order, at least from the last
  // sample at or before fromMs (or the first) to the first one after toMs (or the last), with a
  // gap sample where no source covers the time between two samples, as ReadPeriod gives them.
  // `sink` returning false ends that channel. False with `error` when the archive cannot be read
  // or `cancel` was set.
  struct SampleBatch {
    std::span<const std::int64_t> times;
    std::span<const float> values;
    std::span<const std::uint8_t> holes;  // 1: a gap sample the archive put in a hole
  };
  using SampleSink = std::function<bool(int number, const SampleBatch& batch)>;
  bool StreamPeriod(std::int64_t recorderId, std::int64_t fromMs, std::int64_t toMs,
                    const std::vector<int>& channels, const SampleSink& sink, std::string& error,
                    const std::atomic<bool>* cancel = nullptr);

  // What a period holds of a stream: the samples within [fromMs, toMs], a hole's gap sample only
  // between two of them, as ReadPeriod gives them. Fed the batches of one channel in order.
  class PeriodClip {
   public:
    PeriodClip(std::int64_t fromMs, std::int64_t toMs) : from_(fromMs), to_(toMs) {}
    // Calls add(ms, value) for each sample of `batch` the period holds. False once the stream is
    // past the period.
    template <typename Add>
    bool Take(const SampleBatch& batch, Add&& add) {
      for (std::size_t k = 0; k < batch.times.size(); ++k) {
        const std::int64_t t = batch.times[k];
        if (batch.holes[k] != 0) {
          heldHole_ = previousInside_ && t <= to_;
          holeMs_ = t;
          continue;
        }
        if (t > to_) return false;
        const bool inside = t >= from_;
        if (inside) {
          if (heldHole_) add(holeMs_, GapValue);
          add(t, batch.values[k]);
        }
        heldHole_ = false;
        previousInside_ = inside;
      }
      return true;
    }

   private:
    std::int64_t from_, to_;
    bool previousInside_ = false;
    bool heldHole_ = false;
    std::int64_t holeMs_ = 0;
  };

  // How many samples ReadPeriod would give, from the chunks' rows (no chunk decoded).
  std::optional<std::int64_t> CountSamples(std::int64_t recorderId, std::int64_t fromMs, std::int64_t toMs,
                                           const std::vector<int>& channels, std::string& error);
  // How many samples of `channels` (all when empty) the recorder holds within [fromMs, toMs], both
  // ends included: the chunks wholly inside counted from their rows, only the chunks an end of the
  // period cuts decoded (CountSamples counts those whole). When the chunks wholly inside already
  // hold more than `above`, their count is returned at once: more than `above`, and not more than
  // the exact count (for a question that only asks whether a period holds more than so many).
  // Nothing, with `error`, when the archive cannot be read.
  std::optional<std::int64_t> CountSamplesExactly(std::int64_t recorderId, std::int64_t fromMs, std::int64_t toMs,
                                                  const std::vector<int>& channels, std::string& error,
                                                  std::int64_t above = INT64_MAX);

  // The envelope of each channel over [fromMs, toMs] in `pixels` columns: min, max and mean per
  // column, from the summary level that fits (EnvelopeLevelMs) or from the exact samples.
  // Nothing, with `error`, when `cancel` is set before the last channel has been read.
  std::optional<std::vector<ChannelEnvelope>> Envelope(std::int64_t recorderId, std::int64_t fromMs,
                                                       std::int64_t toMs, const std::vector<int>& channels,
                                                       int pixels, std::string& error,
                                                       const std::atomic<bool>* cancel = nullptr);

  // The connection, for tests and tools that look at the database itself.
  SqlConnection& Connection() { return *connection_; }

 private:
  explicit Archive(std::unique_ptr<SqlConnection> connection);
  std::unique_ptr<SqlConnection> connection_;
};

}  // namespace vantiro
