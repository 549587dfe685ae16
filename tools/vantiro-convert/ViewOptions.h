#pragma once
// The options that narrow what a converter command shows, read in one place for csv, at, png and
// pdf:
//
//   --from T --to T --channels LIST   a data filter run: the window [T, T] (yyyy-mm-dd
//                                     HH:MM:SS[.fff]) and the channel numbers 1..16 (LIST like
//                                     1,3,5); any of them given, the others take the dataset's
//                                     start, its end and all 16 channels, as the filter dialog does
//   --page N --rows-per-page M        table page N (1-based) of M rows (100..10000, default 500);
//                                     csv and pdf only
//
// A bad value is a usage error with its own one-line message.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "recorder/Dataset.h"
#include "workbench/ViewModel.h"

namespace vantiro {

struct ViewOptions {
  std::optional<DateTime> from;
  std::optional<DateTime> to;
  std::optional<std::array<bool, 16>> channels;  // entry n - 1: channel number n
  std::optional<std::uint32_t> page;             // 1-based
  std::optional<std::uint32_t> rowsPerPage;

  bool Filtered() const { return from || to || channels; }
  std::uint32_t RowsPerPage() const { return rowsPerPage.value_or(kDefaultRowsPerPage); }
  std::uint32_t Page() const { return page.value_or(1); }
};

enum class ViewOptionSet {
  Filter,         // --from, --to, --channels
  FilterAndPage,  // and --page, --rows-per-page
};

enum class OptionRead {
  NotOurs,  // args[i] is none of the set's options; nothing read
  Read,     // read, i on the option's value
  Bad,      // a missing, bad or repeated value; `error` says which
};

// Reads the option at args[i] with its value into `options`.
OptionRead ReadViewOption(const std::vector<std::string>& args, std::size_t& i, ViewOptionSet set,
                          ViewOptions& options, std::string& error);

// The settings of the filter run the options ask for: those given, the dataset's start and end and
// all 16 channels for the others; the rows per page as given or 500.
FilterSettings FilterOf(const ViewOptions& options, const DatasetSummary& summary);

// After the load: empty when the options ask for no filter run, the dataset has no channels (the
// filter then has nothing to narrow), or the window's start is earlier than its end by 1 ms at
// least (as the filter dialog accepts it); the message otherwise.
std::string CheckWindow(const ViewOptions& options, const DatasetSummary& summary,
                        const std::vector<ChannelInfo>& channels);

// The first row (0-based) of the table page the options ask for.
std::uint64_t FirstRowOfPage(const ViewOptions& options);

// Empty when the page the options ask for exists in a table of `rows` rows, the message otherwise.
// A table always has page 1, also when it has no rows.
std::string CheckPage(const ViewOptions& options, std::size_t rows);

// The table a command shows: the load's (every channel) or, when the options ask for a filter run,
// the filter's; laid out with the options' rows per page.
TableView BuildCommandTable(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
                            const ViewOptions& options);

// The chart's line data after the load or after the filter run the options ask for.
ChartFill BuildCommandChart(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
                            const ViewOptions& options);

}  // namespace vantiro
