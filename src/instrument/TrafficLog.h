#pragma once
// The traffic on the recorder's line for the technician: each read request and what came back
// (bytes, time, outcome), kept for the last kTrafficEntries exchanges. Written by the worker that
// polls, read by the window's "通讯记录" and by vantiro-monitor --trace; safe across threads.

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "recorder/DateTime.h"

namespace vantiro {

struct TrafficEntry {
  std::uint64_t number = 0;            // 1, 2, … over the log's life
  DateTime time = 0.0;                 // this PC's clock when the request went out
  std::vector<std::uint8_t> request;
  std::vector<std::uint8_t> reply;     // what arrived (less than asked for on a time-out)
  std::string outcome;                 // "应答", or why not (the reader's message)
};

inline constexpr std::size_t kTrafficEntries = 2000;

// "12:30:05.250 → 01 03 00 00 00 10 44 06" and "             ← 01 03 20 … (应答)", two lines.
std::string TrafficText(const TrafficEntry& entry);

class TrafficLog {
 public:
  void Add(TrafficEntry entry);
  // The entries after number `after` (all kept ones for 0), oldest first.
  std::vector<TrafficEntry> Since(std::uint64_t after) const;
  void Clear();
  // Called (on the adding thread, one call at a time) with each entry as it is added; empty: none.
  void SetListener(std::function<void(const TrafficEntry&)> listener);

 private:
  mutable std::mutex mutex_;
  std::mutex listening_;  // one listener call at a time
  std::deque<TrafficEntry> entries_;
  std::uint64_t next_ = 1;
  std::function<void(const TrafficEntry&)> listener_;
};

// This PC's local clock now, to the millisecond.
DateTime TrafficNow();

// The log of the line (every instrument of the process writes into it).
TrafficLog& InstrumentTraffic();

}  // namespace vantiro
