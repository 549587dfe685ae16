#include "workbench/TableRows.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vantiro {

void TableRows::clear() {
  times_.clear();
  firstCell_.assign(1, 0);
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

// A gap marker test that first rules out what is plainly no gap marker (every value but those
// within about 0.016 of -158).
inline bool IsGap(float v) { return v <= -157.9f && v >= -158.1f && IsGapValue(v); }

// One channel's shown samples in ascending time: its own order when its times ascend, otherwise
// a list of indexes sorted by time (equal times keep sample order). Gap markers are passed over.
struct Sequence {
  Sequence(const ChannelInfo& channel, std::int16_t position)
      : times(channel.times.data()),
        count(std::min(channel.times.size(), channel.values.size())),
        channel(position) {
    const float* values = channel.values.data();
    // Times that ascend and are all numbers (a time that is no number, never written by the
    // readers, cannot be placed and is left out). One pass without branches.
    bool ascending = true;
    DateTime previous = -std::numeric_limits<double>::infinity();
    for (std::size_t i = 0; i < count; ++i) {
      const DateTime t = times[i];
      ascending &= (t >= previous) & (t - t == 0.0);
      previous = t;
    }
    if (!ascending) {
      order.reserve(count);
      for (std::size_t i = 0; i < count; ++i) {
        if (!IsGap(values[i]) && std::isfinite(times[i])) order.push_back(static_cast<std::int32_t>(i));
      }
      std::stable_sort(order.begin(), order.end(),
                       [this](std::int32_t a, std::int32_t b) { return times[a] < times[b]; });
      sorted = true;
      count = order.size();
    } else {
      // The few gap markers of a recording, by position.
      for (std::size_t i = 0; i < count; ++i) {
        if (IsGap(values[i])) gaps.push_back(i);
      }
      gaps.push_back(count);  // a sentinel past the end
    }
    SkipGaps();
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
  std::int16_t channel;
  bool sorted = false;
  std::vector<std::int32_t> order;
  std::vector<std::size_t> gaps;
  std::size_t gap = 0;
  std::size_t next = 0;
};

}  // namespace

TableRows BuildTableRows(const std::vector<ChannelInfo>& channels,
                         const std::vector<std::int16_t>& columnChannels) {
  TableRows rows;
  std::vector<Sequence> sequences;
  sequences.reserve(columnChannels.size());
  std::size_t samples = 0;
  std::size_t longest = 0;
  for (std::int16_t c : columnChannels) {
    if (c < 0 || static_cast<std::size_t>(c) >= channels.size()) continue;
    sequences.emplace_back(channels[static_cast<std::size_t>(c)], c);
    samples += channels[static_cast<std::size_t>(c)].times.size();
    longest = std::max(longest, channels[static_cast<std::size_t>(c)].times.size());
  }
  rows.Reserve(longest, samples);
  const std::size_t k = sequences.size();
  std::vector<DateTime> head(k);
  for (std::size_t i = 0; i < k; ++i) head[i] = sequences[i].Head();
  // Every shown sample gives one cell, so `samples` cells always suffice.
  CellRef* out = rows.cells_.get();

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
        h = sequence.Head();
      }
      head[i] = h;
    }
    rows.firstCell_.push_back(static_cast<std::uint32_t>(out - rows.cells_.get()));
  }
  rows.cellCount_ = static_cast<std::size_t>(out - rows.cells_.get());
  if (rows.size() * 2 < longest) rows.ShrinkToFit();
  return rows;
}

TableRows BuildTableRowsBySorting(const std::vector<ChannelInfo>& channels,
                                  const std::vector<std::int16_t>& columnChannels) {
  struct Item {
    std::int16_t channel;
    std::int32_t sampleIndex;
    DateTime time;
  };
  std::vector<Item> items;
  for (std::int16_t c : columnChannels) {
    if (c < 0 || static_cast<std::size_t>(c) >= channels.size()) continue;
    const ChannelInfo& channel = channels[static_cast<std::size_t>(c)];
    const std::size_t n = std::min(channel.times.size(), channel.values.size());
    for (std::size_t i = 0; i < n; ++i) {
      if (!IsGap(channel.values[i]) && std::isfinite(channel.times[i])) {
        items.push_back(Item{c, static_cast<std::int32_t>(i), channel.times[i]});
      }
    }
  }
  std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) {
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
  for (const Item& item : items) {
    if (!open.empty() && !RowTimesEqual(item.time, openTime)) close();
    if (open.empty()) openTime = item.time;
    open.push_back(CellRef{item.channel, item.sampleIndex});
  }
  if (!open.empty()) close();
  return rows;
}

}  // namespace vantiro
