// Arbitrary bytes as a picture file of the OEM download, through the piecewise reader (the one the
// download uses on a file, here over the text held in memory). Besides staying inside its buffers,
// the reader must agree with a plain reading of the whole text: the 4096-byte pieces each cut at
// their first zero byte and joined, the header up to the first line feed skipped, then every
// "0X" that has three characters after it either followed by two hexadecimal digits (one byte)
// or making the file unreadable. An unreadable file leaves no byte behind.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "instrument/PictureFile.h"

namespace {

using namespace vantiro;

int Hex(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool PlainReading(const std::uint8_t* data, std::size_t size, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  std::string text;
  for (std::size_t offset = 0; offset < size; offset += kPictureFilePiece) {
    const std::size_t n = std::min(kPictureFilePiece, size - offset);
    const auto* piece = reinterpret_cast<const char*>(data + offset);
    text.append(piece, ::strnlen(piece, n));
  }
  const std::size_t lineFeed = text.find('\n');
  if (lineFeed == std::string::npos) return true;
  for (std::size_t i = lineFeed + 1; i + 3 < text.size(); ++i) {
    if (text[i] != '0' || text[i + 1] != 'X') continue;
    const int high = Hex(static_cast<unsigned char>(text[i + 2]));
    const int low = Hex(static_cast<unsigned char>(text[i + 3]));
    if (high < 0 || low < 0 || bytes.size() >= kMaxPictureBytes) {
      bytes.clear();
      return false;
    }
    bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return true;
}

void Fail(const char* what) {
  std::fprintf(stderr, "picture file reader: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::uint8_t> bytes{0xEE};
  const bool readable = ParsePictureText(data, size, bytes);
  std::vector<std::uint8_t> expected;
  const bool expectedReadable = PlainReading(data, size, expected);
  if (readable != expectedReadable) Fail("readable or not, unlike the whole text's reading");
  if (!readable && !bytes.empty()) Fail("bytes left behind by an unreadable file");
  if (bytes != expected) Fail("bytes unlike the whole text's reading");
  return 0;
}
