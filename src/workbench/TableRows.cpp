#include "workbench/TableRows.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

namespace vantiro {

RowCells TableRows::Cells(std::size_t row) const {
  // The run holding the row, if any: the last one starting at or before it.
  const auto after = std::upper_bound(runs_.begin(), runs_.end(), row,
                                      [](std::size_t r, const Run& run) { return r < run.firstRow; });
  if (after != runs_.begin()) {
    const Run& run = *(after - 1);
    if (row - run.firstRow < run.rows) {
      return RowCells(cells_.get() + run.cells, run.width,
                      static_cast<std::int32_t>(row - run.firstRow));
    }
  }
  return RowCells(cells_.get() + firstCell_[row], firstCell_[row + 1] - firstCell_[row]);
}

void TableRows::clear() {
  times_.clear();
  firstCell_.assign(1, 0);
  runs_.clear();
  runCells_ = 0;
  cells_.reset();
  cellCount_ = cellCapacity_ = 0;
}

void TableRows::Grow(std::size_t atLeast) {
  const std::size_t capacity = std::max(atLeast, cellCapacity_ * 2);
  auto cells = std::make_unique_for_overwrite<CellRef[]>(capacity);
  std::copy(cells_.get(), cells_.get() + cellCount_, cells.get());
  cells_ = std::move(cells);
  cellCapacity_ = capacity;
}

void TableRows::Reserve(std::size_t rows, std::size_t cells) {
  times_.reserve(rows);
  firstCell_.reserve(rows + 1);
  if (cells > cellCapacity_) Grow(cells);
}

void TableRows::ShrinkToFit() {
  times_.shrink_to_fit();
  firstCell_.shrink_to_fit();
  if (cellCapacity_ > cellCount_) {
    auto cells = std::make_unique_for_overwrite<CellRef[]>(cellCount_);
    std::copy(cells_.get(), cells_.get() + cellCount_, cells.get());
    cells_ = std::move(cells);
    cellCapacity_ = cellCount_;
  }
}

namespace {

constexpr std::int64_t kInfinityBits = 0x7FF0000000000000;

// A gap marker test that first rules out what is plainly no gap marker (every value but those
// within about 0.016 of -158).
inline bool IsGap(float v) { return v <= -157.9f && v >= -158.1f && IsGapValue(v); }

// Not 0 unless times [begin, end) are positive numbers in ascending order. A positive double
// orders as its bit pattern does, which lets these passes run without branches.
int Disorder(const DateTime* times, std::size_t begin, std::size_t end) {
  int disorder = 0;
  for (std::size_t i = begin; i < end; ++i) {
    const auto bits = std::bit_cast<std::int64_t>(times[i]);
    disorder |= static_cast<int>(bits <= 0) | static_cast<int>(bits >= kInfinityBits);
  }
  for (std::size_t i = begin + 1; i < end; ++i) {
    disorder |= static_cast<int>(std::bit_cast<std::int64_t>(times[i]) <
                                 std::bit_cast<std::int64_t>(times[i - 1]));
  }
  return disorder;
}

// One channel's shown samples in ascending time: its own order when its times ascend, otherwise
// a list of indexes sorted by time (equal times keep sample order). Gap markers are passed over.
struct Sequence {
  // `checked`: look at every time first and sort the channel unless its times are positive
  // numbers in ascending order. Otherwise the channel is taken in its own order, and the build
  // checks the order as it goes (ValidNext).
  //
  // With a window, the channel ends at its first sample after the window, and its samples before
  // the window are left out: those before the first one inside are passed over at once; any
  // later one can only come after a sample out of time order, which sends the channel the sorted
  // way, where each time is compared with the window's start.
  Sequence(const ChannelInfo& channel, std::int32_t position, bool checked,
           const SampleWindow* window)
      : times(channel.times.data()),
        count(std::min(channel.times.size(), channel.values.size())),
        channel(position) {
    const float* values = channel.values.data();
    const std::size_t all = count;
    std::size_t begin = 0;
    int disorder = -1;  // not known yet
    bool bisected = false;
    if (window) {
      // A channel whose times ascend throughout (as a recorder writes them) finds its window's
      // edges by bisection: the comparison with an edge only grows with the time.
      if (checked && Disorder(times, 0, count) == 0) {
        const DateTime* end = std::partition_point(
            times, times + count, [window](DateTime t) { return CompareTimes(t, window->to) <= 0; });
        begin = static_cast<std::size_t>(
            std::partition_point(times, end, [window](DateTime t) { return CompareTimes(t, window->from) < 0; }) -
            times);
        count = static_cast<std::size_t>(end - times);
        disorder = 0;
      } else if (!checked && BisectWindow(*window, begin)) {
        bisected = true;
        // Taken in its own order, the window's edges found by bisection: the build checks the
        // order of the samples inside as it takes them, BisectWindow the rest the scan relies on.
      } else {
        count = FirstTimeAfter(times, count, window->to);
        while (begin < count && CompareTimes(times[begin], window->from) < 0) ++begin;
      }
    }
    if (disorder < 0) disorder = checked ? Disorder(times, begin, count) : 0;
    const bool ascending = disorder == 0;
    if (!ascending) {
      order.reserve(count - begin);
      for (std::size_t i = begin; i < count; ++i) {
        if (!IsGap(values[i]) && std::isfinite(times[i]) &&
            (!window || CompareTimes(times[i], window->from) >= 0)) {
          order.push_back(static_cast<std::int32_t>(i));
        }
      }
      std::stable_sort(order.begin(), order.end(),
                       [this](std::int32_t a, std::int32_t b) { return times[a] < times[b]; });
      sorted = true;
      count = order.size();
    } else {
      FindGaps(values, begin);
      windowBisected = bisected;
      if (bisected && !GapsKeepOrder()) {
        // A gap marker out of order: the window is found by the scan itself after all.
        windowBisected = false;
        count = FirstTimeAfter(times, all, window->to);
        begin = 0;
        while (begin < count && CompareTimes(times[begin], window->from) < 0) ++begin;
        gaps.clear();
        FindGaps(values, begin);
      }
      next = begin;
      // The first sample inside may be a gap marker, passed over at once: the order check of the
      // first shown sample still starts from its time.
      if (window && begin < count) floor = times[begin];
    }
    SkipGaps();
  }

  // The window of a channel taken in its own order, found by bisection as if its times ascended;
  // false (nothing changed) unless the times up to the window's first sample ascend (positive
  // numbers) and the sample after the window's end lies after it. The rest of what the scan of
  // the window relies on is checked later: the gap markers inside against their neighbours (by
  // GapsKeepOrder), the shown samples by the build as it takes them. Then the times up to the
  // window's end ascend, so the scan stops where the bisection did.
  bool BisectWindow(const SampleWindow& window, std::size_t& first) {
    auto notAfter = [&window](DateTime t) { return !(t - window.to >= kOneMillisecond); };
    const std::size_t end =
        static_cast<std::size_t>(std::partition_point(times, times + count, notAfter) - times);
    const std::size_t begin = static_cast<std::size_t>(
        std::partition_point(times, times + end,
                             [&window](DateTime t) { return CompareTimes(t, window.from) < 0; }) -
        times);
    if (Disorder(times, 0, std::min(begin + 1, end)) != 0) return false;
    if (end < count && notAfter(times[end])) return false;
    first = begin;
    count = end;
    return true;
  }

  // The few gap markers of samples [begin, count), by position (most channels have none), and a
  // sentinel past the end.
  void FindGaps(const float* values, std::size_t begin) {
    int candidates = 0;
    for (std::size_t i = begin; i < count; ++i) {
      candidates += static_cast<int>(values[i] <= -157.9f) & static_cast<int>(values[i] >= -158.1f);
    }
    for (std::size_t i = begin; candidates > 0 && i < count; ++i) {
      if (values[i] <= -157.9f && values[i] >= -158.1f) {
        --candidates;
        if (IsGapValue(values[i])) gaps.push_back(i);
      }
    }
    gaps.push_back(count);
  }

  // Whether every gap marker's time keeps the order with its neighbours (positive numbers).
  bool GapsKeepOrder() const {
    for (std::size_t g = 0; g + 1 < gaps.size(); ++g) {
      const std::size_t i = gaps[g];
      if (Disorder(times, i == 0 ? 0 : i - 1, std::min(i + 2, count)) != 0) return false;
    }
    return true;
  }

  // Whether the next sample of a channel taken in its own order keeps the order: a positive
  // number not before `previous` (any time for the first sample).
  bool ValidNext(DateTime previous) const {
    if (sorted || next >= count) return true;
    const auto bits = std::bit_cast<std::int64_t>(times[next]);
    return bits > 0 && bits < kInfinityBits && bits >= std::bit_cast<std::int64_t>(previous);
  }

  std::int32_t Sample() const { return sorted ? order[next] : static_cast<std::int32_t>(next); }
  // The time of the next sample, +infinity when there is none.
  DateTime Head() const {
    if (next >= count) return std::numeric_limits<double>::infinity();
    return sorted ? times[order[next]] : times[next];
  }
  void Advance() {
    ++next;
    SkipGaps();
  }
  void SkipGaps() {
    if (sorted) return;  // the sorted list holds no gap markers
    while (next == gaps[gap] && next < count) {
      ++next;
      ++gap;
    }
  }

  const DateTime* times;
  std::size_t count;
  std::int32_t channel;
  bool sorted = false;
  bool windowBisected = false;  // taken in its own order, its window found by bisection
  std::vector<std::int32_t> order;
  std::vector<std::size_t> gaps;
  std::size_t gap = 0;
  std::size_t next = 0;
  DateTime floor = 0.0;  // the first shown sample must not be earlier
};

// How many rows from here are one sample of every channel each, all channels in their own
// order: every channel's next sample is at `rowTime` now, the following samples of all channels
// carry the same times, no gap marker lies between, and each time is far enough from the next to
// make a row of its own. The last row such a run reaches is left to the general search, which
// then sees what follows it.
std::size_t LockstepRun(const std::vector<Sequence>& sequences, const std::vector<DateTime>& head,
                        DateTime rowTime) {
  constexpr std::size_t kLongest = 4096;
  std::size_t length = kLongest;
  for (std::size_t c = 0; c < sequences.size(); ++c) {
    if (head[c] != rowTime) return 0;
    const Sequence& q = sequences[c];
    length = std::min(length, q.gaps[q.gap] - q.next);  // up to the next gap marker or the end
  }
  const Sequence& first = sequences[0];
  const DateTime* t = first.times + first.next;
  for (std::size_t c = 1; c < sequences.size() && length > 1; ++c) {
    const Sequence& q = sequences[c];
    const DateTime* u = q.times + q.next;
    // Positive times are equal exactly when their bytes are: compare a stretch at a time.
    constexpr std::size_t kStretch = 64;
    std::size_t same = 0;
    while (same + kStretch <= length &&
           std::memcmp(t + same, u + same, kStretch * sizeof(DateTime)) == 0) {
      same += kStretch;
    }
    while (same < length && t[same] == u[same]) ++same;
    length = same;
  }
  for (std::size_t j = 0; j + 1 < length; ++j) {
    if (RowTimesEqual(t[j], t[j + 1]) || !(t[j + 1] > t[j]) ||
        !(t[j + 1] < std::numeric_limits<double>::infinity())) {
      length = j + 1;
      break;
    }
  }
  return length - 1;
}

}  // namespace

std::optional<TableRows> detail::BuildRows(const std::vector<ChannelInfo>& channels,
                                   const std::vector<std::int32_t>& columnChannels, bool checked,
                                   const SampleWindow* window, bool* windowsBisected) {
  if (windowsBisected) *windowsBisected = false;
  TableRows rows;
  std::vector<Sequence> sequences;
  sequences.reserve(columnChannels.size());
  std::size_t samples = 0;
  std::size_t longest = 0;
  for (std::int32_t c : columnChannels) {
    if (c < 0 || static_cast<std::size_t>(c) >= channels.size()) continue;
    sequences.emplace_back(channels[static_cast<std::size_t>(c)], c, checked, window);
    // The samples the channel can show at most: those from its first shown one on.
    const Sequence& added = sequences.back();
    const std::size_t shown = added.count - std::min(added.next, added.count);
    samples += shown;
    longest = std::max(longest, shown);
  }
  rows.Reserve(longest, samples);
  const std::size_t k = sequences.size();
  std::vector<DateTime> head(k);
  for (std::size_t i = 0; i < k; ++i) {
    if (!sequences[i].ValidNext(sequences[i].floor)) return std::nullopt;
    head[i] = sequences[i].Head();
  }
  // Every shown sample gives one cell, so `samples` cells always suffice.
  CellRef* out = rows.cells_.get();
  const bool lockstep = k > 0 && std::none_of(sequences.begin(), sequences.end(),
                                              [](const Sequence& q) { return q.sorted; });

  for (;;) {
    // The row opens with the earliest sample left (the lowest channel among equal times).
    DateTime rowTime = std::numeric_limits<double>::infinity();
    DateTime other = rowTime;  // two running minimums halve the chain of dependent steps
    std::size_t i = 0;
    for (; i + 1 < k; i += 2) {
      rowTime = head[i] < rowTime ? head[i] : rowTime;
      other = head[i + 1] < other ? head[i + 1] : other;
    }
    if (i < k) rowTime = head[i] < rowTime ? head[i] : rowTime;
    rowTime = other < rowTime ? other : rowTime;
    if (!(rowTime < std::numeric_limits<double>::infinity())) break;
    // No later time can equal the row's: equality allows 1e-12 of the smaller magnitude.
    if (lockstep && rowTime > 0.0) {
      // Channels sampled together: as long as every channel holds the same times from here on
      // (no gap marker between, times far enough apart to make rows of their own), each row is
      // one sample of every channel, and the rows can be written without the search.
      const std::size_t run = LockstepRun(sequences, head, rowTime);
      if (run > 0) {
        // The run keeps its first row's cells; its rows store none of their own.
        const Sequence& first = sequences[0];
        const auto at = static_cast<std::size_t>(out - rows.cells_.get());
        for (std::size_t c = 0; c < k; ++c) {
          out[c] = CellRef{sequences[c].channel, static_cast<std::int32_t>(sequences[c].next)};
        }
        out += k;
        rows.runs_.push_back(TableRows::Run{rows.times_.size(), run, at, k});
        rows.runCells_ += (run - 1) * k;  // the first row's cells are stored
        const auto stored = static_cast<std::uint32_t>(out - rows.cells_.get());
        rows.times_.insert(rows.times_.end(), first.times + first.next, first.times + first.next + run);
        rows.firstCell_.insert(rows.firstCell_.end(), run, stored);
        for (std::size_t c = 0; c < k; ++c) {
          sequences[c].next += run;
          head[c] = sequences[c].Head();
        }
        continue;
      }
    }
    const DateTime reach = rowTime + 1e-12 * std::fabs(rowTime);
    rows.times_.push_back(rowTime);
    // Every channel's next samples whose times equal the row's join it, channel by channel.
    for (std::size_t i = 0; i < k; ++i) {
      DateTime h = head[i];
      if (!(h <= reach)) continue;
      Sequence& sequence = sequences[i];
      while (h <= reach && RowTimesEqual(h, rowTime)) {
        *out++ = CellRef{sequence.channel, sequence.Sample()};
        sequence.Advance();
        if (!sequence.ValidNext(h)) return std::nullopt;
        h = sequence.Head();
      }
      head[i] = h;
    }
    rows.firstCell_.push_back(static_cast<std::uint32_t>(out - rows.cells_.get()));
  }
  // Every sample shown was taken in order (a failure returned above), so a channel whose window
  // was found by bisection had its times ascend up to its window's end.
  if (windowsBisected) {
    *windowsBisected = std::all_of(sequences.begin(), sequences.end(),
                                   [](const Sequence& q) { return q.windowBisected; });
  }
  rows.cellCount_ = static_cast<std::size_t>(out - rows.cells_.get());
  // Capacity for every sample was taken; runs leave most of it unused (and never touched).
  if (rows.size() * 2 < longest || rows.cellCount_ * 2 < rows.cellCapacity_) rows.ShrinkToFit();
  return rows;
}

TableRows BuildTableRows(const std::vector<ChannelInfo>& channels,
                         const std::vector<std::int32_t>& columnChannels) {
  // Recordings keep their channels in time order: build on that, checking as the rows grow, and
  // look at every time first only when a channel is found out of order (a CSV import).
  if (std::optional<TableRows> rows = detail::BuildRows(channels, columnChannels, false)) {
    return std::move(*rows);
  }
  return std::move(*detail::BuildRows(channels, columnChannels, true));
}

TableRows BuildTableRows(const std::vector<ChannelInfo>& channels,
                         const std::vector<std::int32_t>& columnChannels,
                         const SampleWindow& window, bool* timesAscendToWindowEnd) {
  if (std::optional<TableRows> rows =
          detail::BuildRows(channels, columnChannels, false, &window, timesAscendToWindowEnd)) {
    return std::move(*rows);
  }
  if (timesAscendToWindowEnd) *timesAscendToWindowEnd = false;
  return std::move(*detail::BuildRows(channels, columnChannels, true, &window));
}

namespace {

TableRows RowsBySorting(const std::vector<ChannelInfo>& channels,
                        const std::vector<std::int32_t>& columnChannels,
                        const SampleWindow* window) {
  struct ListViewData {
    std::int32_t channel;
    std::int32_t sampleIndex;
    DateTime time;
  };
  std::vector<ListViewData> items;
  for (std::int32_t c : columnChannels) {
    if (c < 0 || static_cast<std::size_t>(c) >= channels.size()) continue;
    const ChannelInfo& channel = channels[static_cast<std::size_t>(c)];
    const std::size_t n = std::min(channel.times.size(), channel.values.size());
    for (std::size_t i = 0; i < n; ++i) {
      if (window && CompareTimes(channel.times[i], window->to) > 0) break;  // the scan stops here
      if (window && CompareTimes(channel.times[i], window->from) < 0) continue;
      if (!IsGap(channel.values[i]) && std::isfinite(channel.times[i])) {
        items.push_back(ListViewData{c, static_cast<std::int32_t>(i), channel.times[i]});
      }
    }
  }
  std::stable_sort(items.begin(), items.end(), [](const ListViewData& a, const ListViewData& b) {
    if (a.time != b.time) return a.time < b.time;
    return a.channel < b.channel;
  });
  TableRows rows;
  std::vector<CellRef> open;
  DateTime openTime = 0.0;
  auto close = [&] {
    // Cells ascend by channel; samples of one channel keep their order.
    std::stable_sort(open.begin(), open.end(),
                     [](const CellRef& a, const CellRef& b) { return a.channel < b.channel; });
    rows.OpenRow(openTime);
    for (const CellRef& cell : open) rows.AddCell(cell);
    rows.CloseRow();
    open.clear();
  };
  for (const ListViewData& item : items) {
    if (!open.empty() && !RowTimesEqual(item.time, openTime)) close();
    if (open.empty()) openTime = item.time;
    open.push_back(CellRef{item.channel, item.sampleIndex});
  }
  if (!open.empty()) close();
  return rows;
}

}  // namespace

TableRows BuildTableRowsBySorting(const std::vector<ChannelInfo>& channels,
                                  const std::vector<std::int32_t>& columnChannels) {
  return RowsBySorting(channels, columnChannels, nullptr);
}

TableRows BuildTableRowsBySorting(const std::vector<ChannelInfo>& channels,
                                  const std::vector<std::int32_t>& columnChannels,
                                  const SampleWindow& window) {
  return RowsBySorting(channels, columnChannels, &window);
}

}  // namespace vantiro
