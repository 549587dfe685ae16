#pragma once
// Live readings kept in the archive as they arrive. A monitoring session is one or more live
// sources of a recorder: a run of readings without a break is one source, and the time between two
// runs (a failed poll, a lost link, Stop) is covered by none, so it reads back as a hole. Each
// commit adds what arrived since the last one in one transaction: the open chunk of each channel is
// rewritten with the new samples, full chunks are left alone, and the summary rows grow in place.
//
// LiveRecording does the database work on the caller's thread; LiveArchiveWriter runs it on a
// worker of its own, so that the thread that takes the readings never waits for the database.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "archive/Archive.h"

namespace vantiro {

class LiveRecording {
 public:
  // `recorder`: the archive's recorder the readings go under (made when new); `link`: what the
  // sources' path says (the port and address); `channels`: the channels of every reading, in the
  // order Add gets their values.
  LiveRecording(Archive& archive, std::string recorder, std::string link, std::vector<ChannelHeader> channels);

  // One reading at `timeMs` (archive time), one value per channel. A reading at the time of the one
  // before it is the same reading again and is dropped; one from before it (the recorder's clock
  // set back) starts a new source.
  void Add(std::int64_t timeMs, std::span<const float> values);
  // Readings stopped for a while: the next reading starts a new source.
  void Hole();
  // Writes what was added since the last commit in one transaction. On failure (`error` says why)
  // nothing of it is in the archive and it stays pending for the next commit.
  bool Commit(std::string& error);

  std::size_t Pending() const { return pending_.size(); }
  // Readings in the archive from this recording.
  std::int64_t Committed() const { return committed_; }
  // The sources it made, oldest first.
  const std::vector<std::int64_t>& Sources() const { return sources_; }

 private:
  struct Reading {
    std::int64_t timeMs = 0;
    bool startsSource = false;
    std::vector<float> values;
  };
  struct OpenChannel {
    std::int64_t chunkId = 0;  // the chunk still taking samples, 0 when none
    std::vector<std::int64_t> times;
    std::vector<float> values;
    std::int64_t firstMs = 0, lastMs = 0;
    std::int64_t samples = 0, added = 0, chunkSpan = 0;
    bool any = false;
  };
  struct Segment {
    std::int64_t sourceId = 0;  // 0: the next commit makes one
    std::int64_t firstMs = 0, lastMs = 0;
    std::int64_t readings = 0, samples = 0, added = 0, duplicates = 0, conflicts = 0, step = 0;
    double low = 0.0, high = 0.0;
    bool anyValue = false;
    std::vector<OpenChannel> channels;
  };
  void WriteRun(std::int64_t recorderId, std::span<const Reading> run, Segment& segment);
  void StartSource(std::int64_t recorderId, std::int64_t firstMs, std::size_t index, Segment& segment);

  Archive& archive_;
  std::string recorder_;
  std::string link_;
  std::vector<ChannelHeader> channels_;
  std::string sessionId_;
  std::vector<Reading> pending_;
  bool holeBefore_ = true;   // the next Add starts a source
  bool anyAdded_ = false;
  std::int64_t lastAddedMs_ = 0;
  Segment segment_;
  std::vector<std::int64_t> sources_;
  std::int64_t committed_ = 0;
};

// A LiveRecording on a worker thread: Add and Hole only queue (the caller never waits for the
// archive), the worker opens the archive and commits every `commitEvery` and at Finish.
class LiveArchiveWriter {
 public:
  LiveArchiveWriter(std::string location, std::string recorder, std::string link,
                    std::vector<ChannelHeader> channels,
                    std::chrono::milliseconds commitEvery = std::chrono::seconds(5));
  ~LiveArchiveWriter();  // Finish()
  LiveArchiveWriter(const LiveArchiveWriter&) = delete;
  LiveArchiveWriter& operator=(const LiveArchiveWriter&) = delete;

  void Add(std::int64_t timeMs, std::span<const float> values);
  void Hole();
  // Commits what is queued and ends the worker; what cannot be written is lost (LastError says
  // why).
  void Finish();
  // Asks for Finish's last commit without waiting for it (Finish or the destructor waits).
  void FinishSoon();

  // The archive as its connection describes it (empty until it is open).
  std::string Describe() const;
  // Why the last open or commit failed; empty once one succeeds again.
  std::string LastError() const;
  std::int64_t Committed() const;

 private:
  struct Item {
    std::int64_t timeMs = 0;
    bool hole = false;
    std::vector<float> values;
  };
  void Run();

  const std::string location_;
  const std::string recorder_;
  const std::string link_;
  const std::vector<ChannelHeader> channels_;
  const std::chrono::milliseconds commitEvery_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::vector<Item> queue_;
  bool finishing_ = false;
  std::string describe_;
  std::string lastError_;
  std::int64_t committed_ = 0;
  std::thread worker_;
};

}  // namespace vantiro
