#include "recorder/CsvImport.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/InputFile.h"
#include "recorder/GbkText.h"

namespace vantiro {
namespace {

// Lines are taken in pieces of at most 127 bytes, each with its line feed when it has one; a
// longer line is cut and its pieces are lines of their own. CR LF reads as LF.
constexpr std::size_t kMaxPiece = 127;

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Splits at every comma; false unless there are exactly five fields.
bool SplitFive(std::string_view line, std::string_view (&fields)[5]) {
  std::size_t start = 0;
  for (int i = 0; i < 4; ++i) {
    const std::size_t comma = line.find(',', start);
    if (comma == std::string_view::npos) return false;
    fields[i] = line.substr(start, comma - start);
    start = comma + 1;
  }
  fields[4] = line.substr(start);
  return fields[4].find(',') == std::string_view::npos;
}

class Importer {
 public:
  Importer(DatasetSummary& summary, std::vector<ChannelInfo>& channels)
      : summary_(summary), channels_(channels) {
    for (std::size_t i = 0; i < channels_.size(); ++i) {
      std::int32_t& slot = index_[static_cast<std::uint16_t>(channels_[i].number)];
      if (slot < 0) slot = static_cast<std::int32_t>(i);
    }
  }

  void Line(std::string_view line) {
    std::string_view fields[5];
    if (!SplitFive(line, fields)) return;
    const std::optional<std::int16_t> number = ParseCsvChannel(fields[1]);
    if (!number) return;
    const std::optional<float> value = ParseCsvValue(fields[2]);
    if (!value) return;
    const std::optional<DateTime> time = ParseCsvTime(fields[3], utf8_);
    if (!time) return;
    Accept(*number, *value, *time, fields[4]);
  }

  // Set before the first line: the file's text is UTF-8.
  void SetUtf8(bool utf8) { utf8_ = utf8; }
  void Finish() { summary_.sampleCount = static_cast<std::int32_t>(accepted_); }

 private:
  void Accept(std::int16_t number, float value, DateTime time, std::string_view unit) {
    ++accepted_;
    if (accepted_ == 1) {
      summary_.rangeMax = summary_.rangeMin = value;
      summary_.startTime = summary_.endTime = time;
    } else {
      if (CompareTimes(summary_.startTime, time) == 1) {
        summary_.startTime = time;
      } else if (CompareTimes(summary_.endTime, time) == -1) {
        summary_.endTime = time;
      }
      if (CompareValues(summary_.rangeMin, value) == 1) {
        summary_.rangeMin = value;
      } else if (CompareValues(summary_.rangeMax, value) == -1) {
        summary_.rangeMax = value;
      }
    }
    std::int32_t& slot = index_[static_cast<std::uint16_t>(number)];
    if (slot < 0) {
      slot = static_cast<std::int32_t>(channels_.size());
      ChannelInfo channel;
      channel.number = number;
      std::string text;
      for (char c : unit) {
        if (c != '\n') text += c;
      }
      channel.unit = utf8_ ? std::move(text) : GbkToUtf8(text);
      channels_.push_back(std::move(channel));
    }
    ChannelInfo& channel = channels_[static_cast<std::size_t>(slot)];
    channel.times.push_back(time);
    channel.values.push_back(value);
  }

  DatasetSummary& summary_;
  std::vector<ChannelInfo>& channels_;
  bool utf8_ = false;
  // Position in channels_ of each channel number (as its 16 bits), -1 for none yet.
  std::vector<std::int32_t> index_ = std::vector<std::int32_t>(65536, -1);
  std::size_t accepted_ = 0;
};

// Feeds the importer line pieces as a text-mode line reader gives them: CR LF reads as LF, and a
// line is taken in pieces of at most 127 bytes (its line feed included). The line feed itself is
// not passed on; nothing of a line uses it.
class PieceReader {
 public:
  explicit PieceReader(Importer& importer) : importer_(importer) {}

  void Feed(std::string_view bytes) {
    const char* p = bytes.data();
    const char* const end = p + bytes.size();
    while (p < end) {
      if (piece_.empty() && !pendingCr_) {
        // The usual case: a whole short line inside the chunk, ended by LF or CR LF.
        const std::size_t window = std::min<std::size_t>(static_cast<std::size_t>(end - p), kMaxPiece + 1);
        const char* lf = static_cast<const char*>(std::memchr(p, '\n', window));
        if (lf) {
          const char* lineEnd = lf > p && lf[-1] == '\r' ? lf - 1 : lf;
          const std::size_t length = static_cast<std::size_t>(lineEnd - p);
          if (length + 1 <= kMaxPiece && std::memchr(p, '\r', length) == nullptr) {
            importer_.Line(std::string_view(p, length));
            p = lf + 1;
            continue;
          }
        }
      }
      // Anything else, one byte at a time.
      Byte(*p++);
    }
  }

  void Finish() {
    if (pendingCr_) Put('\r');
    pendingCr_ = false;
    if (!piece_.empty()) Emit();
  }

 private:
  void Byte(char c) {
    if (pendingCr_) {
      pendingCr_ = false;
      if (c != '\n') Put('\r');
    }
    if (c == '\r') {
      pendingCr_ = true;
      return;
    }
    Put(c);
  }
  void Put(char c) {
    piece_ += c;
    if (c == '\n' || piece_.size() == kMaxPiece) Emit();
  }
  void Emit() {
    std::string_view line = piece_;
    if (!line.empty() && line.back() == '\n') line.remove_suffix(1);
    importer_.Line(line);
    piece_.clear();
  }

  Importer& importer_;
  std::string piece_;
  bool pendingCr_ = false;
};

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

}  // namespace

std::optional<std::int16_t> ParseCsvChannel(std::string_view field) {
  field = TrimBlanks(field);
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  std::int32_t value = 0;
  const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
  if (ec != std::errc() || end != field.data() + field.size() || field.empty()) return std::nullopt;
  // The low 16 bits of the number, as a signed value.
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(static_cast<std::uint32_t>(value)));
}

std::optional<float> ParseCsvValue(std::string_view field) {
  field = TrimBlanks(field);
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  if (field.empty() || !(std::isdigit(static_cast<unsigned char>(field.front())) ||
                         field.front() == '-' || field.front() == '.')) {
    return std::nullopt;  // no "nan", "inf" or other words
  }
  double value = 0.0;
  const auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value,
                                         std::chars_format::general);
  if (ec != std::errc() || end != field.data() + field.size()) return std::nullopt;
  if (!std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max()) {
    return std::nullopt;
  }
  return static_cast<float>(value);
}

std::optional<DateTime> ParseCsvTime(std::string_view field, bool utf8) {
  // 年 and 月 become "-", 日 goes: 2010年05月12日 10:11:12 reads as 2010-05-12 10:11:12.
  char text[kMaxPiece + 1];
  std::size_t n = 0;
  if (field.size() > kMaxPiece) return std::nullopt;
  for (std::size_t i = 0; i < field.size();) {
    const std::string_view rest = field.substr(i);
    const auto lead = static_cast<unsigned char>(field[i]);
    if (utf8 && (rest.starts_with("年") || rest.starts_with("月"))) {
      text[n++] = '-';
      i += 3;
    } else if (utf8 && rest.starts_with("日")) {
      i += 3;
    } else if (!utf8 && lead >= 0x81 && lead <= 0xFE && rest.size() >= 2) {
      // A GBK double-byte character.
      const std::string_view pair = rest.substr(0, 2);
      if (pair == "\xC4\xEA" || pair == "\xD4\xC2") {
        text[n++] = '-';  // 年, 月
      } else if (pair != "\xC8\xD5") {  // 日
        text[n++] = pair[0];
        text[n++] = pair[1];
      }
      i += 2;
    } else {
      text[n++] = field[i++];
    }
  }
  return ParseDateTime(std::string_view(text, n));
}

namespace {

// The whole import fed chunk by chunk: a UTF-8 byte-order mark at the start, or the encoding the
// caller found, tells how the text is encoded; the rest goes to the line reader.
class CsvStream {
 public:
  CsvStream(DatasetSummary& summary, std::vector<ChannelInfo>& channels, CsvEncoding encoding)
      : importer_(summary, channels), reader_(importer_), encoding_(encoding) {}

  void Feed(std::string_view bytes) {
    if (!started_) {
      head_.append(bytes);
      if (head_.size() < kUtf8Bom.size()) return;  // too few bytes yet to tell
      Start();
      return;
    }
    reader_.Feed(bytes);
  }

  void Finish() {
    if (!started_) Start();
    reader_.Finish();
    importer_.Finish();
  }

 private:
  void Start() {
    started_ = true;
    std::string_view bytes = head_;
    const bool marked = bytes.starts_with(kUtf8Bom);
    if (marked) bytes.remove_prefix(kUtf8Bom.size());
    importer_.SetUtf8(marked || encoding_ == CsvEncoding::Utf8);
    reader_.Feed(bytes);
    head_.clear();
  }

  Importer importer_;
  PieceReader reader_;
  CsvEncoding encoding_;
  bool started_ = false;
  std::string head_;
};

}  // namespace

void CsvEncodingScan::Feed(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto* end = p + bytes.size();
  while (valid_ && p < end) {
    if (pending_ == 0) {
      // ASCII runs, eight bytes at a time.
      while (end - p >= 8) {
        std::uint64_t word;
        std::memcpy(&word, p, sizeof word);
        if ((word & 0x8080808080808080ull) != 0) break;
        p += 8;
      }
      if (p == end) break;
      const unsigned char lead = *p++;
      if (lead < 0x80) continue;
      nonAscii_ = true;
      low_ = 0x80;
      high_ = 0xBF;
      if (lead >= 0xC2 && lead <= 0xDF) {
        pending_ = 1;
      } else if (lead >= 0xE0 && lead <= 0xEF) {
        pending_ = 2;
        if (lead == 0xE0) low_ = 0xA0;   // no overlong forms
        if (lead == 0xED) high_ = 0x9F;  // no surrogates
      } else if (lead >= 0xF0 && lead <= 0xF4) {
        pending_ = 3;
        if (lead == 0xF0) low_ = 0x90;
        if (lead == 0xF4) high_ = 0x8F;  // nothing above U+10FFFF
      } else {
        valid_ = false;  // a continuation byte without a lead, C0, C1, F5..FF
      }
    } else {
      const unsigned char next = *p++;
      if (next < low_ || next > high_) {
        valid_ = false;
      } else {
        --pending_;
        low_ = 0x80;
        high_ = 0xBF;
      }
    }
  }
}

CsvEncoding CsvEncodingScan::Result() const {
  return valid_ && nonAscii_ && pending_ == 0 ? CsvEncoding::Utf8 : CsvEncoding::Gbk;
}

CsvEncoding DetectCsvEncoding(std::string_view bytes) {
  CsvEncodingScan scan;
  scan.Feed(bytes);
  return scan.Result();
}

struct CsvImportStream::State {
  State(DatasetSummary& summary, std::vector<ChannelInfo>& channels, CsvEncoding encoding)
      : stream(summary, channels, encoding) {}
  CsvStream stream;  // holds references into itself: built in place, never moved
};

CsvImportStream::CsvImportStream(DatasetSummary& summary, std::vector<ChannelInfo>& channels,
                                 CsvEncoding encoding)
    : state_(std::make_unique<State>(summary, channels, encoding)) {}

CsvImportStream::~CsvImportStream() = default;

void CsvImportStream::Feed(std::string_view bytes) { state_->stream.Feed(bytes); }

void CsvImportStream::Finish() { state_->stream.Finish(); }

void ImportCsvText(std::string_view bytes, DatasetSummary& summary,
                   std::vector<ChannelInfo>& channels) {
  CsvStream stream(summary, channels, DetectCsvEncoding(bytes));
  stream.Feed(bytes);
  stream.Finish();
}

std::optional<UserMessage> ImportCsvFile(const std::string& path, DatasetSummary& summary,
                                         std::vector<ChannelInfo>& channels) {
  InputFile file(path);
  if (!file.IsOpen()) return UserMessage{std::string(kImportFailedText), MessageIcon::Error};
  std::string chunk(1 << 16, '\0');
  // The encoding needs the whole text: a first pass tells it, a second imports. A file that
  // changes between the two is imported as it reads the second time.
  CsvEncodingScan scan;
  for (;;) {
    const long n = file.Read(chunk.data(), chunk.size());
    if (n <= 0) break;
    scan.Feed(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
  }
  if (!file.Rewind()) return UserMessage{std::string(kImportFailedText), MessageIcon::Error};
  CsvStream stream(summary, channels, scan.Result());
  for (;;) {
    const long n = file.Read(chunk.data(), chunk.size());
    if (n <= 0) break;
    stream.Feed(std::string_view(chunk.data(), static_cast<std::size_t>(n)));
  }
  stream.Finish();
  return std::nullopt;
}

}  // namespace vantiro
