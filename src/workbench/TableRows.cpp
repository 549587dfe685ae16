#include "workbench/TableRows.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace vantiro {

void TableRows::clear() {
  times_.clear();
  firstCell_.assign(1, 0);
  cells_.clear();
}

void TableRows::Reserve(std::size_t rows, std::size_t cells) {
  times_.reserve(rows);
  firstCell_.reserve(rows + 1);
  cells_.reserve(cells);
}

void TableRows::OpenRow(DateTime time) { times_.push_back(time); }

void TableRows::ShrinkToFit() {
  times_.shrink_to_fit();
  firstCell_.shrink_to_fit();
  cells_.shrink_to_fit();
}

namespace {

// One channel's shown samples in ascending time: its own order when its times ascend, otherwise
// a list of indexes sorted by time (equal times keep sample order).
class ChannelCursor {
 public:
  ChannelCursor(const ChannelInfo& channel, std::int16_t position)
      : times_(channel.times.data()),
        values_(channel.values.data()),
        count_(std::min(channel.times.size(), channel.values.size())),
        position_(position) {
    // A time that is no number (never written by the readers) cannot be placed: it is left out.
    const bool finite = std::all_of(times_, times_ + count_, [](DateTime t) { return std::isfinite(t); });
    if (!finite || !std::is_sorted(times_, times_ + count_)) {
      order_.reserve(count_);
      for (std::size_t i = 0; i < count_; ++i) {
        if (!IsGapValue(values_[i]) && std::isfinite(times_[i])) {
          order_.push_back(static_cast<std::int32_t>(i));
        }
      }
      std::stable_sort(order_.begin(), order_.end(),
                       [this](std::int32_t a, std::int32_t b) { return times_[a] < times_[b]; });
      sorted_ = true;
      count_ = order_.size();
    }
    SkipGaps();
  }

  bool Done() const { return next_ >= count_; }
  std::int16_t Position() const { return position_; }
  std::int32_t Sample() const {
    return sorted_ ? order_[next_] : static_cast<std::int32_t>(next_);
  }
  DateTime Time() const { return times_[Sample()]; }
  void Advance() {
    ++next_;
    SkipGaps();
  }

 private:
  void SkipGaps() {
    if (sorted_) return;  // the sorted list holds no gap markers
    while (next_ < count_ && IsGapValue(values_[next_])) ++next_;
  }

  const DateTime* times_;
  const float* values_;
  std::size_t count_;
  std::int16_t position_;
  bool sorted_ = false;
  std::vector<std::int32_t> order_;
  std::size_t next_ = 0;
};

}  // namespace

TableRows BuildTableRows(const std::vector<ChannelInfo>& channels,
                         const std::vector<std::int16_t>& columnChannels) {
  TableRows rows;
  std::vector<ChannelCursor> cursors;
  cursors.reserve(columnChannels.size());
  std::size_t samples = 0;
  std::size_t longest = 0;
  for (std::int16_t c : columnChannels) {
    if (c < 0 || static_cast<std::size_t>(c) >= channels.size()) continue;
    cursors.emplace_back(channels[static_cast<std::size_t>(c)], c);
    samples += channels[static_cast<std::size_t>(c)].times.size();
    longest = std::max(longest, channels[static_cast<std::size_t>(c)].times.size());
  }
  rows.Reserve(longest, samples);

  for (;;) {
    // The row opens with the earliest sample left (the lowest channel among equal times).
    DateTime rowTime = std::numeric_limits<double>::infinity();
    bool any = false;
    for (const auto& cursor : cursors) {
      if (!cursor.Done() && (!any || cursor.Time() < rowTime)) {
        rowTime = cursor.Time();
        any = true;
      }
    }
    if (!any) break;
    rows.OpenRow(rowTime);
    // Every channel's next samples whose times equal the row's join it, channel by channel.
    for (auto& cursor : cursors) {
      while (!cursor.Done() && RowTimesEqual(cursor.Time(), rowTime)) {
        rows.AddCell(CellRef{cursor.Position(), cursor.Sample()});
        cursor.Advance();
      }
    }
    rows.CloseRow();
  }
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
      if (!IsGapValue(channel.values[i]) && std::isfinite(channel.times[i])) {
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
