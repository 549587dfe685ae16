#include "output/CsvText.h"

#include <charconv>

#include "workbench/ValueText.h"

namespace vantiro {

std::string CsvTitleLine(const std::vector<ChannelInfo>& channels,
                         const std::vector<std::int32_t>& columnChannels) {
  std::string line = "序号,时间";
  for (std::int32_t c : columnChannels) {
    const ChannelInfo& channel = channels[static_cast<std::size_t>(c)];
    line += ",通道";
    line += std::to_string(channel.number);
    line += '(';
    line += channel.unit;
    line += ')';
  }
  line += '\n';
  return line;
}

void AppendCsvRow(std::string& out, std::size_t rowNumber, const TableRows& rows, std::size_t row,
                  const std::vector<ChannelInfo>& channels,
                  const std::vector<std::int32_t>& columnChannels) {
  char number[24];
  out.append(number, std::to_chars(number, number + sizeof number, rowNumber).ptr);
  out += ',';
  out += FormatDateTime(rows.Time(row), DatePattern::CsvExport);
  WalkRowCells(
      rows.Cells(row), columnChannels,
      [&](std::size_t, const CellRef& cell) {
        out += ',';
        AppendValueText(out, channels[static_cast<std::size_t>(cell.channel)]
                                 .values[static_cast<std::size_t>(cell.sampleIndex)]);
      },
      [&](std::size_t) { out += ",-"; });
  out += '\n';
}

}  // namespace vantiro
