#pragma once
// Import of a CSV file of single samples, one per line:
//   <anything>,<channel number>,<value>,<date and time>,<unit>
// e.g. "1,3,25.5,2010年05月12日 10:11:12,℃". Lines are GBK text unless the file starts with a
// UTF-8 byte-order mark; lines without exactly five fields, or whose number, value or time do not
// parse, are skipped silently.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recorder/Dataset.h"
#include "recorder/UserMessage.h"

namespace vantiro {

inline constexpr std::string_view kImportFailedText = "导入文件失败。";

// Appends the file's samples to `channels` (one ChannelInfo per channel number, in order of first
// appearance) and sets `summary` from them. The summary is not reset first: an import that accepts
// no line leaves the previous range and times and sets sampleCount to 0. Returns the failure to
// show, or nothing.
std::optional<UserMessage> ImportCsvFile(const std::string& path, DatasetSummary& summary,
                                         std::vector<ChannelInfo>& channels);

// The same from the file's bytes.
void ImportCsvText(std::string_view bytes, DatasetSummary& summary,
                   std::vector<ChannelInfo>& channels);

// The import fed piece by piece, as a file is read in chunks: Feed the bytes in order, then Finish
// once. However the bytes are cut, the dataset is the one ImportCsvText gives for them whole.
class CsvImportStream {
 public:
  CsvImportStream(DatasetSummary& summary, std::vector<ChannelInfo>& channels);
  ~CsvImportStream();
  CsvImportStream(const CsvImportStream&) = delete;
  CsvImportStream& operator=(const CsvImportStream&) = delete;

  void Feed(std::string_view bytes);
  void Finish();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// The field parsers of the import.
std::optional<std::int16_t> ParseCsvChannel(std::string_view field);
std::optional<float> ParseCsvValue(std::string_view field);
// `utf8` tells how the field is encoded (otherwise GBK).
std::optional<DateTime> ParseCsvTime(std::string_view field, bool utf8);

}  // namespace vantiro
