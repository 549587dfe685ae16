#include "output/WindowExport.h"

#include "output/CsvExport.h"
#include "workbench/ViewModel.h"

namespace vantiro {

std::optional<UserMessage> ExportWindowCsv(const std::string& path, const std::vector<ChannelInfo>& channels,
                                           const std::array<bool, 16>& selected, DateTime from, DateTime to,
                                           ProgressSink* progress) {
  FilterSettings settings;
  settings.channelSelected = selected;
  settings.filterStart = from;
  settings.filterEnd = to;
  const TableView view = BuildFilteredTableView(channels, settings);
  if (view.rows.empty()) return UserMessage{"没有需要保存的内容", MessageIcon::Information};
  const CsvRows all{channels, view.rows, view.columnChannels, 0, view.rows.size()};
  return ExportCsvFile(path, all, progress);
}

}  // namespace vantiro
