#pragma once
// Writing the wide CSV table to a file: the title line, then the rows in chunks of about 100, each
// chunk formatted, converted and written before the next is formatted, so that the text held at
// any time is one chunk whatever the number of rows.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recorder/Dataset.h"
#include "recorder/GbkText.h"
#include "platform/UserMessage.h"
#include "workbench/TableRows.h"
#include "workbench/ViewModel.h"

namespace vantiro {

inline constexpr std::string_view kSaveFailedText = "文件保存失败，请重试！";

// The rows a CSV file is written from: `rowCount` rows of `rows` from `firstRow` on (the rows past
// the end of the table left out), numbered firstRow + i + 1.
struct CsvRows {
  const std::vector<ChannelInfo>& channels;
  const TableRows& rows;
  const std::vector<std::int32_t>& columnChannels;
  std::size_t firstRow = 0;
  std::size_t rowCount = 0;
};

// The steps of the progress bar for `rowCount` rows: rowCount / 100 + 1.
int CsvProgressSteps(std::size_t rowCount);

// Hands the title line to `write`, then the rows in chunks: row i of the page closes a chunk when
// i > 0 and i is a multiple of 100, or when it is the last row (rows 0 to 100 thus go in the first
// chunk, then 100 rows a chunk). Each chunk written advances `progress` by 1. Stops at the first
// write that returns false and returns false; true when everything was written.
bool WriteCsvRows(const CsvRows& page, CsvEncoding encoding,
                  const std::function<bool(std::string_view)>& write,
                  ProgressSink* progress = nullptr);

// The export of a table page to the file `path`, in GBK: nothing when the table has no rows;
// otherwise the bar's maximum set to CsvProgressSteps, the file written through an AtomicFile (the
// file that had the name is replaced only when everything was written, and stays as it was
// otherwise). Returns the message to show when the file could not be opened or written.
std::optional<UserMessage> ExportCsvFile(const std::string& path, const CsvRows& page,
                                         ProgressSink* progress = nullptr);

}  // namespace vantiro
