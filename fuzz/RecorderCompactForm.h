#pragma once
// The inputs of fuzz_recorder_reader. A real recorder file is mostly padding (16 KB blocks whose
// records fill a few hundred bytes), and mutations spent on padding find nothing. So an input
// starts with one selector byte, and the rest is the file either as it is (raw) or in a compact
// form the harness expands into a real file:
//
//   selector: bit 0 set = raw, clear = compact; bits 4..6 all set = diagnostic log on (one input
//     in eight: the log costs several times the parse); bit 3 (compact) = the file ends right
//     after the last block's written bytes instead of at the block's end.
//
//   compact form:
//     14 bytes        header bytes 118..131 (last and first channel index, end and start time);
//     10 bytes each   for every channel index first..last when that range is valid: upper and
//                     lower range limit, decimal-point position and unit code (little-endian, as
//                     at descriptor +2..+9), then the block count (big-endian, as at +34);
//     then blocks     each: fill byte, uint16 little-endian length n, n bytes written from the
//                     block's offset 0; the rest of the 16 KB block holds the fill byte. At most
//                     kMaxCompactBlocks blocks; a length beyond the input takes what is left.
//
// Missing bytes read as zero. Compact() writes a real file back in this form (trailing zero bytes
// of each block left out), for seeds.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantiro::fuzzing {

inline constexpr std::size_t kFileBlock = 16384;
inline constexpr std::size_t kHeaderFieldsAt = 118;
inline constexpr std::size_t kHeaderFieldsSize = 14;
inline constexpr std::size_t kDescriptorsAt = 132;
inline constexpr std::size_t kDescriptorSize = 36;
inline constexpr std::size_t kCompactDescriptorSize = 10;
inline constexpr std::size_t kMaxCompactBlocks = 24;

inline constexpr std::uint8_t kRawInput = 0x01;
inline constexpr std::uint8_t kCutLastBlock = 0x08;
inline constexpr std::uint8_t kLogOn = 0x70;

inline bool IsRaw(std::uint8_t selector) { return (selector & kRawInput) != 0; }
inline bool LogWanted(std::uint8_t selector) { return (selector & kLogOn) == kLogOn; }

// Channel indices first..last of a header with these bytes, or 0 when the range is invalid.
inline std::size_t DescriptorCount(unsigned last, unsigned first) {
  return first <= last && last <= 15 ? last - first + 1 : 0;
}

// Expands the compact form (without its selector byte) into a recorder file.
inline std::string Expand(std::string_view in, bool cutLastBlock) {
  std::size_t at = 0;
  auto take = [&](std::size_t n) {
    const std::string_view piece = in.substr(std::min(at, in.size()), n);
    at += n;
    return piece;
  };
  std::string file(kFileBlock, '\0');
  const std::string_view fields = take(kHeaderFieldsSize);
  std::copy(fields.begin(), fields.end(), file.begin() + kHeaderFieldsAt);
  const unsigned last = static_cast<unsigned char>(file[kHeaderFieldsAt]);
  const unsigned first = static_cast<unsigned char>(file[kHeaderFieldsAt + 1]);
  const std::size_t descriptors = DescriptorCount(last, first);
  for (std::size_t i = 0; i < descriptors; ++i) {
    const std::string_view d = take(kCompactDescriptorSize);
    const std::size_t base = kDescriptorsAt + kDescriptorSize * (first + i);
    for (std::size_t k = 0; k < d.size(); ++k) file[base + (k < 8 ? 2 + k : 34 + k - 8)] = d[k];
  }
  std::size_t cutTo = file.size();
  for (std::size_t b = 0; b < kMaxCompactBlocks && at < in.size(); ++b) {
    const std::string_view head = take(3);
    const char fill = head[0];
    std::size_t length =
        head.size() < 3 ? 0
                        : static_cast<std::size_t>(static_cast<unsigned char>(head[1])) |
                              static_cast<std::size_t>(static_cast<unsigned char>(head[2])) << 8;
    length = std::min(length, kFileBlock);
    const std::string_view bytes = take(length);
    file.append(bytes);
    cutTo = file.size();
    file.append(kFileBlock - bytes.size(), fill);
  }
  if (cutLastBlock) file.resize(std::max(cutTo, kFileBlock));
  return file;
}

// The compact form (without its selector byte) of a recorder file of whole blocks.
inline std::string Compact(std::string_view file) {
  std::string out;
  std::string header(kFileBlock, '\0');
  std::copy_n(file.begin(), std::min(file.size(), kFileBlock), header.begin());
  out.append(header, kHeaderFieldsAt, kHeaderFieldsSize);
  const unsigned last = static_cast<unsigned char>(header[kHeaderFieldsAt]);
  const unsigned first = static_cast<unsigned char>(header[kHeaderFieldsAt + 1]);
  for (std::size_t i = 0; i < DescriptorCount(last, first); ++i) {
    const std::size_t base = kDescriptorsAt + kDescriptorSize * (first + i);
    out.append(header, base + 2, 8);
    out.append(header, base + 34, 2);
  }
  for (std::size_t at = kFileBlock; at < file.size(); at += kFileBlock) {
    std::string_view block = file.substr(at, kFileBlock);
    while (!block.empty() && block.back() == '\0') block.remove_suffix(1);
    out += '\0';
    out += static_cast<char>(block.size() & 0xFF);
    out += static_cast<char>(block.size() >> 8);
    out.append(block);
  }
  return out;
}

}  // namespace vantiro::fuzzing
