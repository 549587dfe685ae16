#include "vantiro-convert/ViewOptions.h"

#include <charconv>

#include "vantiro-convert/ConvertCommand.h"

namespace vantiro {
namespace {

constexpr const char* kTimeForm = "yyyy-mm-dd HH:MM:SS[.fff]";

std::optional<std::uint32_t> Number(std::string_view text, std::uint32_t min, std::uint32_t max) {
  std::uint32_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size() || value < min ||
      value > max) {
    return std::nullopt;
  }
  return value;
}

// "1,3,5": channel numbers 1..16, none left empty. A number given twice is simply selected.
std::optional<std::array<bool, 16>> ChannelList(const std::string& text, std::string& error) {
  std::array<bool, 16> selected{};
  std::size_t at = 0;
  while (true) {
    const std::size_t comma = text.find(',', at);
    const std::size_t length = comma == std::string::npos ? std::string::npos : comma - at;
    const std::string_view item = std::string_view(text).substr(at, length);
    const std::optional<std::uint32_t> n = Number(item, 1, 16);
    if (!n) {
      error = item.empty()
                  ? "--channels takes channel numbers 1 to 16 separated by commas, like 1,3,5"
                  : "--channels: there is no channel " + std::string(item) +
                        "; channels are numbered 1 to 16";
      return std::nullopt;
    }
    selected[*n - 1] = true;
    if (comma == std::string::npos) return selected;
    at = comma + 1;
  }
}

std::string Stamp(DateTime t) { return FormatDateTime(t, DatePattern::Millisecond); }

}  // namespace

OptionRead ReadViewOption(const std::vector<std::string>& args, std::size_t& i, ViewOptionSet set,
                          ViewOptions& options, std::string& error) {
  const std::string& name = args[i];
  const bool pages = set == ViewOptionSet::FilterAndPage;
  const bool ours = name == "--from" || name == "--to" || name == "--channels" ||
                    (pages && (name == "--page" || name == "--rows-per-page"));
  if (!ours) return OptionRead::NotOurs;
  if (i + 1 >= args.size()) {
    error = name + " needs a value";
    return OptionRead::Bad;
  }
  const std::string& value = args[++i];
  auto given = [&](bool already) {
    if (already) error = name + " is given twice";
    return already;
  };

  if (name == "--from" || name == "--to") {
    std::optional<DateTime>& target = name == "--from" ? options.from : options.to;
    if (given(target.has_value())) return OptionRead::Bad;
    target = ParseCursorTime(value);
    if (!target) {
      error = name + " takes a time as " + kTimeForm + ", not '" + value + "'";
      return OptionRead::Bad;
    }
    if (options.from && options.to && CompareTimes(*options.from, *options.to) != -1) {
      error = "--from must be earlier than --to (by 1 ms at least)";
      return OptionRead::Bad;
    }
  } else if (name == "--channels") {
    if (given(options.channels.has_value())) return OptionRead::Bad;
    options.channels = ChannelList(value, error);
    if (!options.channels) return OptionRead::Bad;
  } else if (name == "--page") {
    if (given(options.page.has_value())) return OptionRead::Bad;
    options.page = Number(value, 1, 0xFFFFFFFFu);
    if (!options.page) {
      error = "--page takes a page number from 1 on, not '" + value + "'";
      return OptionRead::Bad;
    }
  } else {
    if (given(options.rowsPerPage.has_value())) return OptionRead::Bad;
    options.rowsPerPage = Number(value, 100, 10000);
    if (!options.rowsPerPage) {
      error = "rows per page must be a whole number from 100 to 10000, not '" + value + "'";
      return OptionRead::Bad;
    }
  }
  return OptionRead::Read;
}

FilterSettings FilterOf(const ViewOptions& options, const DatasetSummary& summary) {
  FilterSettings settings;
  settings.channelSelected.fill(true);
  if (options.channels) settings.channelSelected = *options.channels;
  settings.filterStart = options.from.value_or(summary.startTime);
  settings.filterEnd = options.to.value_or(summary.endTime);
  settings.rowsPerPage = options.RowsPerPage();
  return settings;
}

std::string CheckWindow(const ViewOptions& options, const DatasetSummary& summary,
                        const std::vector<ChannelInfo>& channels) {
  if (!options.Filtered() || channels.empty()) return {};
  const FilterSettings settings = FilterOf(options, summary);
  if (CompareTimes(settings.filterStart, settings.filterEnd) == -1) return {};
  return "the window from " + Stamp(settings.filterStart) + " to " + Stamp(settings.filterEnd) +
         " is empty: its start must be earlier than its end (the recording runs from " +
         Stamp(summary.startTime) + " to " + Stamp(summary.endTime) + ")";
}

std::uint64_t FirstRowOfPage(const ViewOptions& options) {
  return static_cast<std::uint64_t>(options.Page() - 1) * options.RowsPerPage();
}

std::string CheckPage(const ViewOptions& options, std::size_t rows) {
  const std::uint64_t perPage = options.RowsPerPage();
  const std::uint64_t pages = rows == 0 ? 1 : (rows + perPage - 1) / perPage;
  if (options.Page() <= pages) return {};
  return "the table has " + std::to_string(pages) + (pages == 1 ? " page" : " pages") + " of " +
         std::to_string(perPage) + " rows; there is no page " + std::to_string(options.Page());
}

TableView BuildCommandTable(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
                            const ViewOptions& options) {
  if (!options.Filtered()) return BuildTableView(channels, options.RowsPerPage());
  return BuildFilteredTableView(channels, FilterOf(options, summary));
}

ChartFill BuildCommandChart(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary,
                            const ViewOptions& options) {
  if (!options.Filtered()) return FillChart(channels, summary);
  const FilterSettings settings = FilterOf(options, summary);
  return FillChartInWindow(channels, summary, settings.channelSelected, settings.filterStart,
                           settings.filterEnd);
}

}  // namespace vantiro
