#include "workbench/PeriodPages.h"

#include <algorithm>

namespace vantiro {
namespace {

// A page built from a window's table: rows [begin, end) of it.
void TakeRows(std::vector<ChannelInfo>&& channels, TableView&& table, std::size_t begin, std::size_t end,
              PeriodPage& page) {
  TableRows rows;
  for (std::size_t r = begin; r < end; ++r) {
    rows.OpenRow(table.rows.Time(r));
    for (const CellRef& cell : table.rows.Cells(r)) rows.AddCell(cell);
    rows.CloseRow();
  }
  page.channels = std::move(channels);
  page.table.columns = std::move(table.columns);
  page.table.columnChannels = std::move(table.columnChannels);
  page.table.rows = std::move(rows);
}

}  // namespace

PeriodPages::PeriodPages(DateTime from, DateTime to, std::uint32_t rowsPerPage, double rowsPerDay, ReadWindow read)
    : from_(from), to_(to), rowsPerPage_(std::max<std::uint32_t>(rowsPerPage, 1)), read_(std::move(read)) {
  // A window for about one and a half pages, at least a second.
  windowDays_ = rowsPerDay > 0 ? 1.5 * rowsPerPage_ / rowsPerDay : (to - from);
  windowDays_ = std::clamp(windowDays_, kOneSecond, std::max(kOneSecond, to - from));
}

bool PeriodPages::ReadForward(DateTime start, PeriodPage& page, std::optional<DateTime>& nextStart,
                              std::string& error) {
  double window = windowDays_;
  for (;;) {
    const DateTime end = std::min(to_, start + window);
    std::vector<ChannelInfo> channels;
    if (!read_(start, end, channels, error)) return false;
    TableView table = BuildTableView(channels, rowsPerPage_);
    const std::size_t rows = table.rows.size();
    const bool reachedEnd = end >= to_;
    // The rows of the page are whole when a row beyond them was read too (the window's edge may
    // cut the row at it), or when the window reached the period's end.
    if (rows > rowsPerPage_ + 1 || reachedEnd) {
      const std::size_t take = std::min<std::size_t>(rows, rowsPerPage_);
      nextStart = rows > rowsPerPage_ ? std::optional<DateTime>(table.rows.Time(rowsPerPage_)) : std::nullopt;
      if (rows > rowsPerPage_ && reachedEnd && rows <= rowsPerPage_ + 1) nextStart = table.rows.Time(rowsPerPage_);
      TakeRows(std::move(channels), std::move(table), 0, take, page);
      // The window held this many rows over its length: the next window is sized from it.
      if (rows > 0 && end > start) windowDays_ = std::max(kOneSecond, 1.5 * rowsPerPage_ * (end - start) / rows);
      return true;
    }
    window *= 2;
  }
}

bool PeriodPages::ReadBackward(DateTime end, PeriodPage& page, DateTime& pageStart, std::string& error) {
  double window = windowDays_;
  for (;;) {
    const DateTime start = std::max(from_, end - window);
    std::vector<ChannelInfo> channels;
    if (!read_(start, end, channels, error)) return false;
    TableView table = BuildTableView(channels, rowsPerPage_);
    const std::size_t rows = table.rows.size();
    const bool reachedStart = start <= from_;
    if (rows > rowsPerPage_ + 1 || reachedStart) {
      const std::size_t take = std::min<std::size_t>(rows, rowsPerPage_);
      pageStart = take > 0 ? table.rows.Time(rows - take) : start;
      TakeRows(std::move(channels), std::move(table), rows - take, rows, page);
      if (rows > 0 && end > start) windowDays_ = std::max(kOneSecond, 1.5 * rowsPerPage_ * (end - start) / rows);
      return true;
    }
    window *= 2;
  }
}

bool PeriodPages::First(PeriodPage& page, std::string& error) {
  std::optional<DateTime> next;
  if (!ReadForward(from_, page, next, error)) return false;
  starts_.clear();
  starts_[0] = from_;
  index_ = 0;
  shownStart_ = from_;
  shownNext_ = next;
  if (next) starts_[1] = *next;
  page.firstRow = 0;
  page.isFirst = true;
  page.isLast = !next;
  return true;
}

bool PeriodPages::Next(PeriodPage& page, std::string& error) {
  if (!shownNext_) return First(page, error);
  const DateTime start = *shownNext_;
  std::optional<DateTime> next;
  if (!ReadForward(start, page, next, error)) return false;
  if (index_) {
    index_ = *index_ + 1;
    if (next) starts_[*index_ + 1] = *next;
    page.firstRow = *index_ * rowsPerPage_;
  } else {
    page.firstRow.reset();
  }
  shownStart_ = start;
  shownNext_ = next;
  page.isFirst = false;
  page.isLast = !next;
  return true;
}

bool PeriodPages::Previous(PeriodPage& page, std::string& error) {
  if (index_ && *index_ > 0 && starts_.count(*index_ - 1)) {
    // A page reached from the first: its start is known.
    const std::uint64_t previous = *index_ - 1;
    std::optional<DateTime> next;
    if (!ReadForward(starts_[previous], page, next, error)) return false;
    index_ = previous;
    shownStart_ = starts_[previous];
    shownNext_ = next;
    page.firstRow = previous * rowsPerPage_;
    page.isFirst = previous == 0;
    page.isLast = !next;
    return true;
  }
  if (index_ && *index_ == 0) return First(page, error);
  // From a page reached from the last: the rows before its first row's time.
  const DateTime before = shownStart_ - kOneMillisecond / 2;
  if (before < from_) return First(page, error);
  DateTime start = 0.0;
  if (!ReadBackward(before, page, start, error)) return false;
  shownNext_ = shownStart_;
  shownStart_ = start;
  page.firstRow.reset();
  page.isFirst = start <= from_ + kOneMillisecond;
  page.isLast = false;
  if (page.isFirst) return First(page, error);
  return true;
}

bool PeriodPages::Last(PeriodPage& page, std::string& error) {
  DateTime start = 0.0;
  if (!ReadBackward(to_, page, start, error)) return false;
  index_.reset();
  shownStart_ = start;
  shownNext_.reset();
  page.firstRow.reset();
  page.isLast = true;
  page.isFirst = start <= from_ + kOneMillisecond;
  if (page.isFirst) return First(page, error);
  return true;
}

}  // namespace vantiro
