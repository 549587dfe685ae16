#include "archive/ContentHash.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "platform/InputFile.h"

namespace vantiro {
namespace {

constexpr std::uint64_t P1 = 0x9E3779B185EBCA87ULL;
constexpr std::uint64_t P2 = 0xC2B2AE3D27D4EB4FULL;
constexpr std::uint64_t P3 = 0x165667B19E3779F9ULL;
constexpr std::uint64_t P4 = 0x85EBCA77C2B2AE63ULL;
constexpr std::uint64_t P5 = 0x27D4EB2F165667C5ULL;

std::uint64_t Rotl(std::uint64_t x, int r) { return (x << r) | (x >> (64 - r)); }
std::uint64_t Read64(const unsigned char* p) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
std::uint32_t Read32(const unsigned char* p) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
std::uint64_t Round(std::uint64_t acc, std::uint64_t input) {
  acc += input * P2;
  acc = Rotl(acc, 31);
  return acc * P1;
}
std::uint64_t MergeRound(std::uint64_t acc, std::uint64_t value) {
  acc ^= Round(0, value);
  return acc * P1 + P4;
}

}  // namespace

Xxh64::Xxh64(std::uint64_t seed) : seed_(seed) {
  v_[0] = seed + P1 + P2;
  v_[1] = seed + P2;
  v_[2] = seed;
  v_[3] = seed - P1;
}

void Xxh64::Update(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t n = bytes.size();
  total_ += n;
  if (buffered_ > 0) {
    const std::size_t take = std::min(n, sizeof buffer_ - buffered_);
    std::memcpy(buffer_ + buffered_, p, take);
    buffered_ += take;
    p += take;
    n -= take;
    if (buffered_ < sizeof buffer_) return;
    for (int i = 0; i < 4; ++i) v_[i] = Round(v_[i], Read64(buffer_ + 8 * i));
    buffered_ = 0;
  }
  while (n >= 32) {
    for (int i = 0; i < 4; ++i) v_[i] = Round(v_[i], Read64(p + 8 * i));
    p += 32;
    n -= 32;
  }
  std::memcpy(buffer_, p, n);
  buffered_ = n;
}

std::uint64_t Xxh64::Digest() const {
  std::uint64_t h;
  if (total_ >= 32) {
    h = Rotl(v_[0], 1) + Rotl(v_[1], 7) + Rotl(v_[2], 12) + Rotl(v_[3], 18);
    for (int i = 0; i < 4; ++i) h = MergeRound(h, v_[i]);
  } else {
    h = seed_ + P5;
  }
  h += total_;
  const unsigned char* p = buffer_;
  std::size_t n = buffered_;
  while (n >= 8) {
    h ^= Round(0, Read64(p));
    h = Rotl(h, 27) * P1 + P4;
    p += 8;
    n -= 8;
  }
  if (n >= 4) {
    h ^= static_cast<std::uint64_t>(Read32(p)) * P1;
    h = Rotl(h, 23) * P2 + P3;
    p += 4;
    n -= 4;
  }
  while (n > 0) {
    h ^= (*p) * P5;
    h = Rotl(h, 11) * P1;
    ++p;
    --n;
  }
  h ^= h >> 33;
  h *= P2;
  h ^= h >> 29;
  h *= P3;
  h ^= h >> 32;
  return h;
}

std::uint64_t Xxh64Of(std::string_view bytes, std::uint64_t seed) {
  Xxh64 hash(seed);
  hash.Update(bytes);
  return hash.Digest();
}

std::string ContentHash::Hex() const {
  char text[33];
  std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(first_.Digest()),
                static_cast<unsigned long long>(second_.Digest()));
  return text;
}

std::string HashFile(const std::string& path) {
  InputFile file(path);
  if (!file.IsOpen()) return {};
  ContentHash hash;
  std::vector<char> buffer(1 << 20);
  for (;;) {
    const long n = file.Read(buffer.data(), buffer.size());
    if (n < 0) return {};
    if (n == 0) break;
    hash.Update(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
  }
  return hash.Hex();
}

}  // namespace vantiro
