#include "output/CsvExport.h"

#include <algorithm>

#include "output/CsvText.h"
#include "platform/AtomicFile.h"
#include "recorder/GbkText.h"

namespace vantiro {
namespace {

constexpr std::size_t kRowsPerChunk = 100;

bool WriteText(const std::string& text, CsvEncoding encoding,
               const std::function<bool(std::string_view)>& write) {
  if (encoding == CsvEncoding::Utf8) return write(text);
  return write(Utf8ToGbk(text));
}

}  // namespace

int CsvProgressSteps(std::size_t rowCount) {
  return static_cast<int>(std::min<std::size_t>(rowCount / kRowsPerChunk + 1, 0x7FFFFFFF));
}

bool WriteCsvRows(const CsvRows& page, CsvEncoding encoding,
                  const std::function<bool(std::string_view)>& write, ProgressSink* progress) {
  if (!WriteText(CsvTitleLine(page.channels, page.columnChannels), encoding, write)) return false;
  const std::size_t available =
      page.firstRow < page.rows.size() ? page.rows.size() - page.firstRow : 0;
  const std::size_t n = std::min(page.rowCount, available);
  std::string chunk;
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t row = page.firstRow + i;
    AppendCsvRow(chunk, row + 1, page.rows, row, page.channels, page.columnChannels);
    if ((i > 0 && i % kRowsPerChunk == 0) || i + 1 == n) {
      if (!WriteText(chunk, encoding, write)) return false;
      chunk.clear();
      if (progress) progress->StepBy(1);
    }
  }
  return true;
}

std::optional<UserMessage> ExportCsvFile(const std::string& path, const CsvRows& page,
                                         ProgressSink* progress) {
  if (page.rows.empty()) return std::nullopt;
  if (progress) progress->SetMax(CsvProgressSteps(page.rowCount));
  const UserMessage failed{std::string(kSaveFailedText), MessageIcon::Error};
  AtomicFile file(path);
  if (!file.IsOpen()) return failed;
  const bool written = WriteCsvRows(
      page, CsvEncoding::Gbk, [&file](std::string_view bytes) { return file.Write(bytes); },
      progress);
  if (!written || !file.Commit()) return failed;
  return std::nullopt;
}

}  // namespace vantiro
