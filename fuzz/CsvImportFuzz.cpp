// Arbitrary bytes through the CSV import, three ways that must agree:
//
//   - the import of the bytes whole (ImportCsvText);
//   - the same bytes fed to CsvImportStream in small chunks of varying size, with the encoding the
//     scan tells (checked against a plain UTF-8 decoding, whole and fed in the same chunks);
//   - a byte-by-byte reference of the line-piece rule (CR LF reads as LF, a line is taken in pieces
//     of at most 127 bytes with its line feed), each piece split into five fields here and read by
//     the import's field parsers, the samples gathered into a dataset here (channels in order of
//     first appearance, the summary's fold).
//
// The datasets must be equal bit for bit. Then the table rows of the imported channels: the fast
// build BuildTableRows must equal the sorting reference BuildTableRowsBySorting, over all channels
// or a window of the data.
//
// Input: byte 0 sets the chunk sizes (1..16 bytes, drawn from a sequence seeded by it); byte 1
// picks the table rows' window (0: none; otherwise its ends are two of the imported times); the
// rest is the file.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recorder/CsvImport.h"
#include "recorder/GbkText.h"
#include "workbench/TableRows.h"
#include "SameDataset.h"

namespace {

using vantiro::ChannelInfo;
using vantiro::DatasetSummary;

void Require(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "csv import invariant violated: %s\n", rule);
  __builtin_trap();
}

using vantiro::fuzz::SameBits;
using vantiro::fuzz::SameDataset;

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::size_t kMaxPiece = 127;

// The pieces a text-mode line reader gives, one byte at a time, line feeds removed.
std::vector<std::string> Pieces(std::string_view text) {
  std::vector<std::string> pieces;
  std::string piece;
  bool pendingCr = false;
  auto put = [&](char c) {
    piece += c;
    if (c == '\n' || piece.size() == kMaxPiece) {
      if (piece.back() == '\n') piece.pop_back();
      pieces.push_back(piece);
      piece.clear();
    }
  };
  for (char c : text) {
    if (pendingCr) {
      pendingCr = false;
      if (c != '\n') put('\r');
    }
    if (c == '\r') {
      pendingCr = true;
      continue;
    }
    put(c);
  }
  if (pendingCr) put('\r');
  if (!piece.empty()) pieces.push_back(piece);
  return pieces;
}

// Whether the bytes are valid UTF-8 with at least one non-ASCII character, decoded the plain way:
// each sequence's code point built and checked against its length's range and the surrogates.
bool ReferenceUtf8(std::string_view text) {
  bool nonAscii = false;
  for (std::size_t i = 0; i < text.size();) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    nonAscii = true;
    std::size_t length = 0;
    std::uint32_t code = 0;
    std::uint32_t least = 0;
    if ((lead & 0xE0) == 0xC0) {
      length = 2, code = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3, code = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4, code = lead & 0x07, least = 0x10000;
    } else {
      return false;
    }
    if (i + length > text.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = (code << 6) | (next & 0x3F);
    }
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return nonAscii;
}

// Splits at every comma; false unless there are exactly five fields.
bool SplitFive(std::string_view line, std::string_view (&fields)[5]) {
  std::size_t field = 0;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= line.size(); ++i) {
    if (i < line.size() && line[i] != ',') continue;
    if (field == 5) return false;
    fields[field++] = line.substr(start, i - start);
    start = i + 1;
  }
  return field == 5;
}

// The dataset the import should give: each piece split into its fields by the public field
// parsers, its sample folded in as the import does.
void ReferenceImport(std::string_view bytes, DatasetSummary& summary,
                     std::vector<ChannelInfo>& channels) {
  const bool marked = bytes.starts_with(kBom);
  const bool utf8 = marked || ReferenceUtf8(bytes);
  if (marked) bytes.remove_prefix(kBom.size());
  std::int32_t accepted = 0;
  for (const std::string& piece : Pieces(bytes)) {
    std::string_view fields[5];
    if (!SplitFive(piece, fields)) continue;
    const std::optional<std::int16_t> number = vantiro::ParseCsvChannel(fields[1]);
    if (!number) continue;
    const std::optional<float> parsed = vantiro::ParseCsvValue(fields[2]);
    if (!parsed) continue;
    const std::optional<vantiro::DateTime> when = vantiro::ParseCsvTime(fields[3], utf8);
    if (!when) continue;
    const vantiro::DateTime time = *when;
    const float value = *parsed;
    ++accepted;
    if (accepted == 1) {
      summary.rangeMax = summary.rangeMin = value;
      summary.startTime = summary.endTime = time;
    } else {
      if (vantiro::CompareTimes(summary.startTime, time) == 1) {
        summary.startTime = time;
      } else if (vantiro::CompareTimes(summary.endTime, time) == -1) {
        summary.endTime = time;
      }
      if (vantiro::CompareValues(summary.rangeMin, value) == 1) {
        summary.rangeMin = value;
      } else if (vantiro::CompareValues(summary.rangeMax, value) == -1) {
        summary.rangeMax = value;
      }
    }
    ChannelInfo* channel = nullptr;
    for (ChannelInfo& c : channels) {
      if (c.number == *number) channel = &c;
    }
    if (!channel) {
      channels.push_back(ChannelInfo{});
      channel = &channels.back();
      channel->number = *number;
      channel->unit = utf8 ? std::string(fields[4]) : vantiro::GbkToUtf8(fields[4]);
    }
    channel->times.push_back(time);
    channel->values.push_back(value);
  }
  summary.sampleCount = accepted;
}

bool SameRows(const vantiro::TableRows& a, const vantiro::TableRows& b) {
  if (a.size() != b.size() || a.CellCount() != b.CellCount()) return false;
  for (std::size_t r = 0; r < a.size(); ++r) {
    if (!SameBits(a.Time(r), b.Time(r))) return false;
    const auto ca = a.Cells(r);
    const auto cb = b.Cells(r);
    if (ca.size() != cb.size() || !std::equal(ca.begin(), ca.end(), cb.begin())) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::uint8_t chunking = data[0];
  const std::uint8_t windowPick = data[1];
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  DatasetSummary wholeSummary;
  std::vector<ChannelInfo> whole;
  vantiro::ImportCsvText(bytes, wholeSummary, whole);

  // The encoding told from the bytes whole and cut into the same chunks as below.
  const vantiro::CsvEncoding encoding = vantiro::DetectCsvEncoding(bytes);
  Require((encoding == vantiro::CsvEncoding::Utf8) == ReferenceUtf8(bytes),
          "the encoding scan differs from a plain UTF-8 decoding");
  DatasetSummary chunkedSummary;
  std::vector<ChannelInfo> chunked;
  {
    vantiro::CsvEncodingScan scan;
    vantiro::CsvImportStream stream(chunkedSummary, chunked, encoding);
    std::uint32_t state = chunking * 2654435761u + 1;
    for (std::size_t at = 0; at < bytes.size();) {
      state = state * 1103515245u + 12345u;
      const std::size_t n = std::min<std::size_t>(1 + (state >> 16) % 16, bytes.size() - at);
      scan.Feed(bytes.substr(at, n));
      stream.Feed(bytes.substr(at, n));
      at += n;
    }
    stream.Finish();
    Require(scan.Result() == encoding, "the encoding scan fed in chunks differs from the whole");
  }
  Require(SameDataset(wholeSummary, whole, chunkedSummary, chunked),
          "the import fed in chunks differs from the import of the whole");

  DatasetSummary referenceSummary;
  std::vector<ChannelInfo> reference;
  ReferenceImport(bytes, referenceSummary, reference);
  Require(SameDataset(wholeSummary, whole, referenceSummary, reference),
          "the import differs from the byte-by-byte reference of its line pieces");

  std::vector<std::int32_t> columns;
  for (std::size_t i = 0; i < whole.size(); ++i) {
    // Byte 1's low bits leave some channels out.
    if (whole.size() < 2 || ((windowPick >> (i % 4)) & 1) == 0 || i == 0) {
      columns.push_back(static_cast<std::int32_t>(i));
    }
  }
  Require(SameRows(vantiro::BuildTableRows(whole, columns),
                   vantiro::BuildTableRowsBySorting(whole, columns)),
          "the table rows differ from the sorting reference");
  if (windowPick != 0 && wholeSummary.sampleCount > 0) {
    std::vector<vantiro::DateTime> times;
    for (const ChannelInfo& c : whole) times.insert(times.end(), c.times.begin(), c.times.end());
    vantiro::SampleWindow window;
    window.from = times[(windowPick >> 4) % times.size()];
    window.to = times[(windowPick * 7u) % times.size()];
    Require(SameRows(vantiro::BuildTableRows(whole, columns, window),
                     vantiro::BuildTableRowsBySorting(whole, columns, window)),
            "the table rows of a window differ from the sorting reference");
  }
  return 0;
}
