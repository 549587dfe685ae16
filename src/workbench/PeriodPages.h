#pragma once
// The data table of a period too long to hold in memory (a long stretch of the archive), a page at
// a time: a page's samples are read only when it is shown, from a window of time that grows until
// it holds the page's rows. Pages are found from the first onwards (each one's start kept, so that
// going back is a look-up) or from the last backwards. A page reached from the first knows the
// number of its first row in the period; one reached from the last does not.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "recorder/Dataset.h"
#include "workbench/ViewModel.h"

namespace vantiro {

struct PeriodPage {
  std::vector<ChannelInfo> channels;     // the samples the page's rows refer to
  TableView table;                       // the columns and the page's rows, nothing more
  std::optional<std::uint64_t> firstRow; // 0-based, when known
  bool isFirst = false;                  // no page before it
  bool isLast = false;                   // no page after it
};

class PeriodPages {
 public:
  // Reads the samples within [from, to] (both included) into `channels`; false, with `error`,
  // when they cannot be read.
  using ReadWindow =
      std::function<bool(DateTime from, DateTime to, std::vector<ChannelInfo>& channels, std::string& error)>;

  // The period [from, to]; `rowsPerDay` a guess of the rows a day (from the samples' count) that
  // sets the first window's length.
  PeriodPages(DateTime from, DateTime to, std::uint32_t rowsPerPage, double rowsPerDay, ReadWindow read);

  bool First(PeriodPage& page, std::string& error);
  bool Next(PeriodPage& page, std::string& error);
  bool Previous(PeriodPage& page, std::string& error);
  bool Last(PeriodPage& page, std::string& error);

  // The page shown: its index from the first page when known.
  std::optional<std::uint64_t> PageIndex() const { return index_; }

 private:
  // The rows from `start` on (with `forward`), or up to `end` (without): at most rowsPerPage of
  // them, whole; where the next page (or this one) begins.
  bool ReadForward(DateTime start, PeriodPage& page, std::optional<DateTime>& nextStart, std::string& error);
  bool ReadBackward(DateTime end, PeriodPage& page, DateTime& pageStart, std::string& error);

  DateTime from_;
  DateTime to_;
  std::uint32_t rowsPerPage_;
  double windowDays_;
  ReadWindow read_;
  // Where each page reached from the first starts, by its index.
  std::map<std::uint64_t, DateTime> starts_;
  std::optional<std::uint64_t> index_;  // the page shown, counted from the first
  DateTime shownStart_ = 0.0;           // its first row's time
  std::optional<DateTime> shownNext_;   // where the page after it starts (none: it is the last)
};

}  // namespace vantiro
