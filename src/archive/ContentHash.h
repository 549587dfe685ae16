#pragma once
// The identity of a source's bytes: two 64-bit XXH64 digests of the content (seeds 0 and 1), as
// 32 hexadecimal digits. The same bytes always give the same text; it is what makes a second import
// of the same file a no-op. Not a defence against a forger: only against importing twice.

#include <cstdint>
#include <string>
#include <string_view>

namespace vantiro {

// XXH64 of bytes fed in pieces cut anywhere.
class Xxh64 {
 public:
  explicit Xxh64(std::uint64_t seed = 0);
  void Update(std::string_view bytes);
  std::uint64_t Digest() const;

 private:
  std::uint64_t seed_;
  std::uint64_t v_[4];
  std::uint64_t total_ = 0;
  unsigned char buffer_[32];
  std::size_t buffered_ = 0;
};

std::uint64_t Xxh64Of(std::string_view bytes, std::uint64_t seed = 0);

class ContentHash {
 public:
  void Update(std::string_view bytes) {
    first_.Update(bytes);
    second_.Update(bytes);
  }
  std::string Hex() const;

 private:
  Xxh64 first_{0};
  Xxh64 second_{1};
};

// The content hash of the file at `path`; empty when it cannot be read whole.
std::string HashFile(const std::string& path);

}  // namespace vantiro
