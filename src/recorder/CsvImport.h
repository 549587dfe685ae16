#pragma once
// Import of a CSV file of single samples, one per line:
//   <anything>,<channel number>,<value>,<date and time>,<unit>
// e.g. "1,3,25.5,2010年05月12日 10:11:12,℃". The recorder's software writes GBK text; a file that
// starts with a UTF-8 byte-order mark, or that is valid UTF-8 throughout and holds non-ASCII bytes
// (as Linux editors and scripts write it), is read as UTF-8. Lines without exactly five fields, or
// whose number, value or time do not parse, are skipped silently.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recorder/Dataset.h"
#include "recorder/GbkText.h"
#include "platform/UserMessage.h"

namespace vantiro {

inline constexpr std::string_view kImportFailedText = "导入文件失败。";

// Appends the file's samples to `channels` (one ChannelInfo per channel number, in order of first
// appearance) and sets `summary` from them. The summary is not reset first: an import that accepts
// no line leaves the previous range and times and sets sampleCount to 0. Returns the failure to
// show, or nothing.
std::optional<UserMessage> ImportCsvFile(const std::string& path, DatasetSummary& summary,
                                         std::vector<ChannelInfo>& channels);

// Tells a CSV file's encoding from its bytes, fed in order in pieces cut anywhere: UTF-8 when they
// are valid UTF-8 throughout (no overlong forms, surrogates or code points above U+10FFFF, no
// sequence cut off at the end) and hold at least one byte above 0x7F; GBK otherwise. GBK text with
// Chinese in it is practically never valid UTF-8, and ASCII reads the same either way.
class CsvEncodingScan {
 public:
  void Feed(std::string_view bytes);
  CsvEncoding Result() const;

 private:
  bool valid_ = true;
  bool nonAscii_ = false;
  int pending_ = 0;                // continuation bytes still due
  unsigned char low_ = 0x80;       // the range of the next continuation byte
  unsigned char high_ = 0xBF;
};

CsvEncoding DetectCsvEncoding(std::string_view bytes);

// The same from the file's bytes (their encoding detected first).
void ImportCsvText(std::string_view bytes, DatasetSummary& summary,
                   std::vector<ChannelInfo>& channels);

// The import fed piece by piece, as a file is read in chunks: Feed the bytes in order, then Finish
// once. However the bytes are cut, the dataset is the one ImportCsvText gives for them whole when
// `encoding` is what DetectCsvEncoding tells of them (a UTF-8 byte-order mark at the start makes
// the text UTF-8 whatever `encoding` says).
class CsvImportStream {
 public:
  CsvImportStream(DatasetSummary& summary, std::vector<ChannelInfo>& channels,
                  CsvEncoding encoding = CsvEncoding::Gbk);
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
