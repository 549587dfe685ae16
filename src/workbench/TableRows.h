#pragma once
// The rows of the data table: every shown sample of the dataset grouped by time. A row holds a
// time and references (channel position, sample index) into the dataset, never text.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "recorder/Dataset.h"

namespace vantiro {

// A CSV import can create up to 65,536 channels, so a channel position needs more than 16 bits.
struct CellRef {
  std::int32_t channel;      // position in `channels`
  std::int32_t sampleIndex;  // index into that channel's times and values
  friend bool operator==(const CellRef&, const CellRef&) = default;
};
static_assert(sizeof(CellRef) == 8);

// The part of every channel a filter shows: samples whose times lie in [from, to], both ends
// included with the 1 ms tolerance of CompareTimes. A channel is scanned in stored order and its
// scan stops at its first sample after `to`: what follows that sample is never shown.
struct SampleWindow {
  DateTime from = 0.0;
  DateTime to = 0.0;
};

class TableRows;
namespace detail {
// The row build behind BuildTableRows: nothing when `checked` is off and a channel turns out not
// to be in time order.
// `windowsBisected`, when given, tells whether every channel was taken in its own order with its
// window found by bisection and confirmed by the build (see BuildTableRows).
std::optional<TableRows> BuildRows(const std::vector<ChannelInfo>& channels,
                                   const std::vector<std::int32_t>& columnChannels, bool checked,
                                   const SampleWindow* window = nullptr,
                                   bool* windowsBisected = nullptr);
}  // namespace detail

// The cells of one row, in order: stored ones as they are, or those of a row of channels sampled
// together, made from the run's first row (each sample index `step` further on).
class RowCells {
 public:
  RowCells(const CellRef* cells, std::size_t size, std::int32_t step = 0)
      : cells_(cells), size_(size), step_(step) {}
  std::size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  CellRef operator[](std::size_t i) const {
    return CellRef{cells_[i].channel, cells_[i].sampleIndex + step_};
  }

  class iterator {
   public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = CellRef;
    using difference_type = std::ptrdiff_t;
    using pointer = void;
    using reference = CellRef;
    iterator() = default;
    iterator(const RowCells* row, std::size_t i) : row_(row), i_(i) {}
    CellRef operator*() const { return (*row_)[i_]; }
    iterator& operator++() {
      ++i_;
      return *this;
    }
    iterator operator++(int) {
      iterator before = *this;
      ++i_;
      return before;
    }
    friend bool operator==(const iterator& a, const iterator& b) { return a.i_ == b.i_; }

   private:
    const RowCells* row_ = nullptr;
    std::size_t i_ = 0;
  };
  iterator begin() const { return iterator(this, 0); }
  iterator end() const { return iterator(this, size_); }

 private:
  const CellRef* cells_;
  std::size_t size_;
  std::int32_t step_;
};

// All rows in one place: the cells of the rows stored back to back, 8 bytes a cell plus 12 bytes
// a row; a stretch of rows in which every channel has one sample a row, the channels' samples
// following one another (channels sampled together, as a recorder writes them), keeps only its
// first row's cells.
class TableRows {
 public:
  std::size_t size() const { return times_.size(); }
  bool empty() const { return times_.empty(); }
  DateTime Time(std::size_t row) const { return times_[row]; }
  RowCells Cells(std::size_t row) const;
  // The cells of all rows, those of the runs counted too.
  std::size_t CellCount() const { return cellCount_ + runCells_; }
  void clear();

  // Building: open a row, add its cells, close it.
  void Reserve(std::size_t rows, std::size_t cells);
  void OpenRow(DateTime time) { times_.push_back(time); }
  void AddCell(CellRef cell) {
    if (cellCount_ == cellCapacity_) Grow(cellCount_ + 1);
    cells_[cellCount_++] = cell;
  }
  void CloseRow() { firstCell_.push_back(static_cast<std::uint32_t>(cellCount_)); }
  void ShrinkToFit();

 private:
  friend std::optional<TableRows> detail::BuildRows(const std::vector<ChannelInfo>&,
                                                   const std::vector<std::int32_t>&, bool,
                                                   const SampleWindow*, bool*);
  void Grow(std::size_t atLeast);

  // A run of rows [firstRow, firstRow + rows): row firstRow + j has the cells at `cells` (into
  // cells_, `width` of them) with every sample index j further on. A run's rows store no cells.
  struct Run {
    std::size_t firstRow;
    std::size_t rows;
    std::size_t cells;
    std::size_t width;
  };

  std::vector<DateTime> times_;
  std::vector<std::uint32_t> firstCell_{0};
  std::vector<Run> runs_;
  std::size_t runCells_ = 0;
  // The cells, written once each and never initialised before (memory a large table does not
  // use is never touched).
  std::unique_ptr<CellRef[]> cells_;
  std::size_t cellCount_ = 0;
  std::size_t cellCapacity_ = 0;
};

// The rows of the channels at the positions `columnChannels` (ascending): every sample that is not
// a gap marker gives one cell; samples whose times are equal (RowTimesEqual with the row's first,
// earliest sample) share a row; rows ascend by time. Within a row the cells ascend by channel
// position, two samples of one channel at the same time giving two adjacent cells in sample order.
// A channel whose times do not ascend (a CSV import) is taken in time order.
TableRows BuildTableRows(const std::vector<ChannelInfo>& channels,
                         const std::vector<std::int32_t>& columnChannels);
// The same rows of the samples inside `window` only. `timesAscendToWindowEnd`, when given, is set
// true when the build found, for every column channel, that its times up to the first sample after
// the window ascend and that this sample lies after the window (so that the window's samples are
// those between the bisection's edges); false says nothing either way.
TableRows BuildTableRows(const std::vector<ChannelInfo>& channels,
                         const std::vector<std::int32_t>& columnChannels,
                         const SampleWindow& window, bool* timesAscendToWindowEnd = nullptr);

// The same rows by the straightforward method: every shown sample in one list sorted by time and
// channel, then grouped. Slower and 16 bytes a sample; kept as the reference for BuildTableRows.
TableRows BuildTableRowsBySorting(const std::vector<ChannelInfo>& channels,
                                  const std::vector<std::int32_t>& columnChannels);
// The reference of the rows inside a window: each channel scanned in stored order up to its
// first sample after the window, the samples before the window passed over.
TableRows BuildTableRowsBySorting(const std::vector<ChannelInfo>& channels,
                                  const std::vector<std::int32_t>& columnChannels,
                                  const SampleWindow& window);

// Walks a row's cells against the value columns: calls show(column, cell) for a column whose
// channel has a cell in the row and none(column) for one that has not. When a channel has two
// cells at the same time the first is shown and the others are passed over, so later columns
// still find theirs.
template <typename Cells, typename Show, typename None>
void WalkRowCells(const Cells& cells, const std::vector<std::int32_t>& columnChannels, Show show,
                  None none) {
  std::size_t cursor = 0;
  for (std::size_t column = 0; column < columnChannels.size(); ++column) {
    const std::int32_t channel = columnChannels[column];
    while (cursor < cells.size() && cells[cursor].channel < channel) ++cursor;
    if (cursor < cells.size() && cells[cursor].channel == channel) {
      const CellRef cell = cells[cursor];
      show(column, cell);
      while (cursor < cells.size() && cells[cursor].channel == channel) ++cursor;
    } else {
      none(column);
    }
  }
}

}  // namespace vantiro
