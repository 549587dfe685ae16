#include "instrument/PictureFile.h"

#include <algorithm>
#include <cstring>

#include "platform/InputFile.h"

namespace vantiro {
namespace {

int HexValue(std::uint8_t c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// Scans the text piece by piece, keeping the last three characters of one piece's text for the
// constants that run into the next, so that memory stays bounded by the picture.
class PictureScanner {
 public:
  explicit PictureScanner(std::vector<std::uint8_t>& bytes) : bytes_(bytes) {}

  // One 4096-byte piece of the file; false once the file has proved unreadable.
  bool AddPiece(const std::uint8_t* piece, std::size_t size) {
    const void* zero = std::memchr(piece, 0, size);
    if (zero != nullptr)
      size = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - piece);
    std::size_t start = 0;
    if (!headerDone_) {
      const void* lineFeed = std::memchr(piece, '\n', size);
      if (lineFeed == nullptr) return true;
      headerDone_ = true;
      start = static_cast<std::size_t>(static_cast<const std::uint8_t*>(lineFeed) - piece) + 1;
    }
    window_.insert(window_.end(), piece + start, piece + size);
    std::size_t i = 0;
    for (; i + 3 < window_.size(); ++i) {
      if (window_[i] != '0' || window_[i + 1] != 'X') continue;
      const int high = HexValue(window_[i + 2]);
      const int low = HexValue(window_[i + 3]);
      if (high < 0 || low < 0) return false;
      if (bytes_.size() >= kMaxPictureBytes) return false;
      bytes_.push_back(static_cast<std::uint8_t>(high * 16 + low));
    }
    // Positions from i on have fewer than three characters after them so far.
    window_.erase(window_.begin(), window_.begin() + static_cast<std::ptrdiff_t>(i));
    return true;
  }

 private:
  std::vector<std::uint8_t>& bytes_;
  std::vector<std::uint8_t> window_;  // the text not yet scanned: at most a piece and 3 bytes
  bool headerDone_ = false;
};

}  // namespace

bool ParsePictureText(const std::uint8_t* data, std::size_t size,
                      std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  PictureScanner scanner(bytes);
  for (std::size_t offset = 0; offset < size; offset += kPictureFilePiece) {
    if (!scanner.AddPiece(data + offset, std::min(kPictureFilePiece, size - offset))) {
      bytes.clear();
      return false;
    }
  }
  return true;
}

bool ReadPictureFile(const std::string& path, std::vector<std::uint8_t>& bytes) {
  bytes.clear();
  InputFile file(path);
  if (!file.IsOpen()) return false;
  PictureScanner scanner(bytes);
  std::vector<std::uint8_t> piece(kPictureFilePiece);
  for (;;) {
    // A piece is 4096 bytes of the file (the last one shorter), however the reads return them.
    std::size_t filled = 0;
    while (filled < piece.size()) {
      const long n = file.Read(piece.data() + filled, piece.size() - filled);
      if (n < 0) {
        bytes.clear();
        return false;
      }
      if (n == 0) break;
      filled += static_cast<std::size_t>(n);
    }
    if (filled == 0) break;
    if (!scanner.AddPiece(piece.data(), filled)) {
      bytes.clear();
      return false;
    }
    if (filled < piece.size()) break;
  }
  return true;
}

}  // namespace vantiro
