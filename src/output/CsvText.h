#pragma once
// The lines of the wide CSV table (one line per table row, one column per shown channel), in
// UTF-8; whoever writes them to a file converts to GBK. Lines end with a single line feed.

#include <cstdint>
#include <string>
#include <vector>

#include "recorder/Dataset.h"
#include "workbench/TableRows.h"

namespace vantiro {

// 序号,时间,通道1(℃),通道3(%)
std::string CsvTitleLine(const std::vector<ChannelInfo>& channels,
                         const std::vector<std::int32_t>& columnChannels);

// 12,2010年05月12日 10:11:12,12.500,-,3.000   (rowNumber is 1-based)
void AppendCsvRow(std::string& out, std::size_t rowNumber, const TableRows& rows, std::size_t row,
                  const std::vector<ChannelInfo>& channels,
                  const std::vector<std::int32_t>& columnChannels);

}  // namespace vantiro
