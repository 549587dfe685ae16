#pragma once
// The recording in memory: one series per channel and a summary. Every source (recorder file,
// CSV import, live snapshot) fills this one shape; the views only read it.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "recorder/DateTime.h"

namespace vantiro {

// Marks an interruption of a channel's recording. A measurement that decodes to it is taken as one.
inline constexpr float GapValue = -158.0f;

// Two row times are equal within a relative 1e-12 (about 3.5 ms for dates of the 2000s).
inline bool RowTimesEqual(DateTime a, DateTime b) {
  const double x = std::fabs(a);
  const double y = std::fabs(b);
  return std::fabs(a - b) <= 1e-12 * (x < y ? x : y);
}

// Three-way comparison of times: equal within one millisecond.
inline int CompareTimes(DateTime a, DateTime b) {
  if (std::fabs(a - b) < kOneMillisecond) return 0;
  return a > b ? 1 : -1;
}

// The first of `n` times that is after `to` (CompareTimes(t, to) > 0, that is t - to >= 1 ms), or
// n. Written as block compares so that a scan over a whole channel runs at memory speed.
inline std::size_t FirstTimeAfter(const DateTime* times, std::size_t n, DateTime to) {
  constexpr std::size_t kBlock = 32;
  std::size_t i = 0;
  for (; i + kBlock <= n; i += kBlock) {
    int after = 0;
    for (std::size_t k = 0; k < kBlock; ++k) after |= static_cast<int>(times[i + k] - to >= kOneMillisecond);
    if (after) break;
  }
  while (i < n && !(times[i] - to >= kOneMillisecond)) ++i;
  return i;
}

// Three-way comparison of values: equal within 1e-4 of the smaller magnitude, so only exactly
// equal when either is zero.
inline int CompareValues(float a, float b) {
  const double da = a;
  const double db = b;
  const double x = std::fabs(da);
  const double y = std::fabs(db);
  if (std::fabs(da - db) <= 0.0001 * (x < y ? x : y)) return 0;
  return da > db ? 1 : -1;
}

// The cheap range test first rules out every value but those within about 0.1 of -158 (the
// comparison's own band is 0.0158 wide), so that scans over whole channels stay fast.
inline bool IsGapValue(float v) {
  return v <= -157.9f && v >= -158.1f && CompareValues(v, GapValue) == 0;
}

// std::allocator, except that the element a vector adds without a value (resize, the sized
// constructor) is default-initialised: a number is left as it is, not zeroed. A reader that sizes
// a series and then fills it at once writes its memory once instead of twice.
template <typename T>
struct DefaultInitAllocator : std::allocator<T> {
  using value_type = T;
  template <typename U>
  struct rebind {
    using other = DefaultInitAllocator<U>;
  };
  DefaultInitAllocator() noexcept = default;
  template <typename U>
  DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}

  template <typename U>
  void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

// One channel's times. Only the allocator differs from std::vector<DateTime>; a series compares
// with a plain vector of times element by element.
using TimeSeries = std::vector<DateTime, DefaultInitAllocator<DateTime>>;

inline bool operator==(const TimeSeries& a, const std::vector<DateTime>& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin());
}

// From `since` on, a channel's samples were recorded in `unit` (a period of the archive whose
// recordings changed a channel's unit).
struct UnitSince {
  DateTime since = 0.0;
  std::string unit;
  friend bool operator==(const UnitSince&, const UnitSince&) = default;
};

struct ChannelInfo {
  std::int16_t number = 0;        // shown to the user, 1-based
  std::string unit;               // UTF-8
  TimeSeries times;               // one per stored sample or gap marker
  std::vector<float> values;      // same length as times
  // Where the unit changed within the samples, in time order (empty: `unit` throughout). The last
  // entry's unit is `unit`.
  std::vector<UnitSince> unitChanges;
};

// The unit a channel's sample at `time` was recorded in.
inline const std::string& UnitAt(const std::string& unit, const std::vector<UnitSince>& changes, DateTime time) {
  const std::string* found = changes.empty() ? &unit : &changes.front().unit;
  for (const UnitSince& change : changes) {
    if (change.since <= time) found = &change.unit;
  }
  return *found;
}

struct DatasetSummary {
  float rangeMax = 0.0f;
  float rangeMin = 0.0f;
  DateTime startTime = 0.0;
  DateTime endTime = 0.0;
  std::int32_t sampleCount = 0;   // samples stored, gap markers not counted
};

// The reset a recorder-file load starts from.
inline void ResetSummary(DatasetSummary& summary) { summary = DatasetSummary{}; }

}  // namespace vantiro
