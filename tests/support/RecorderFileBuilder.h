#pragma once
// Builds recorder data files in memory for tests and benchmarks.
//
//   RecorderFileBuilder file;
//   file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Channels(0, 1)
//       .Range(0, 1000, 0, 4, 27);                       // channel 0: 0..1000, p = 4, mA
//   file.Block(0).Chain({{t0, 1, {1, 2, 3}}});            // one record, ended by ten 0xFF bytes
//   std::string bytes = file.Build();

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <initializer_list>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace vantiro::testing {

inline constexpr std::size_t kBlock = 16384;

// Seconds since 2000-01-01 00:00:00 of a date and time (the recorder's record time).
inline std::int32_t RecorderSeconds(int year, int month, int day, int hour, int minute, int second) {
  // Days from civil (proleptic Gregorian).
  int y = year - (month <= 2);
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long days = static_cast<long>(era) * 146097 + doe - 719468;  // since 1970-01-01
  const long since2000 = days - 10957;
  return static_cast<std::int32_t>(since2000 * 86400L + hour * 3600L + minute * 60L + second);
}

struct RecordSpec {
  std::int32_t t0 = 0;                 // seconds since 2000
  std::uint8_t interval = 1;
  std::vector<std::int16_t> samples;
};

// One 16 KB data block.
class BlockBuilder {
 public:
  BlockBuilder() : bytes_(kBlock, 0) {}

  // Writes a record head and its samples at `offset` (bytes past the block are cut off).
  BlockBuilder& Record(std::size_t offset, std::int32_t t0, std::uint16_t end, std::uint8_t interval,
                       const std::vector<std::int16_t>& samples = {}) {
    Put32(offset, static_cast<std::uint32_t>(t0));
    Put16(offset + 4, end);
    Byte(offset + 6, interval);
    for (std::size_t k = 0; k < samples.size(); ++k) {
      Put16(offset + 12 + 2 * k, static_cast<std::uint16_t>(samples[k]));
    }
    return *this;
  }

  // Records back to back from offset 0; each names the next as its end, the last is marked 0xFFFF.
  // When `terminate`, ten 0xFF bytes follow the last record's samples (where they fit).
  BlockBuilder& Chain(const std::vector<RecordSpec>& records, bool terminate = true) {
    std::size_t offset = 0;
    for (std::size_t i = 0; i < records.size(); ++i) {
      const RecordSpec& r = records[i];
      const bool last = i + 1 == records.size();
      const std::size_t end = offset + 12 + 2 * r.samples.size();
      Record(offset, r.t0, last ? 0xFFFF : static_cast<std::uint16_t>(end), r.interval, r.samples);
      if (last && terminate) Fill(end, 10, 0xFF);
      offset = end;
    }
    return *this;
  }

  BlockBuilder& Byte(std::size_t offset, std::uint8_t value) {
    if (offset < kBlock) bytes_[offset] = static_cast<char>(value);
    return *this;
  }
  BlockBuilder& Fill(std::size_t offset, std::size_t count, std::uint8_t value) {
    for (std::size_t i = 0; i < count; ++i) Byte(offset + i, value);
    return *this;
  }
  BlockBuilder& Put16(std::size_t offset, std::uint16_t v) {
    Byte(offset, static_cast<std::uint8_t>(v & 0xFF));
    return Byte(offset + 1, static_cast<std::uint8_t>(v >> 8));
  }
  BlockBuilder& Put32(std::size_t offset, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) Byte(offset + static_cast<std::size_t>(i), static_cast<std::uint8_t>(v >> (8 * i)));
    return *this;
  }
  const std::string& Bytes() const { return bytes_; }

 private:
  std::string bytes_;
};

struct FieldTime {
  int year = 10;  // year - 2000
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
};

class RecorderFileBuilder {
 public:
  RecorderFileBuilder() : header_(kBlock, 0) {
    Window({0, 1, 1, 0, 0, 0}, {99, 12, 31, 23, 59, 59});
    Channels(0, 0);
    for (int c = 0; c < 16; ++c) Range(c, 1000, 0, 4, 0);
  }

  // The header's first and last channel index.
  RecorderFileBuilder& Channels(int first, int last) {
    HeaderByte(119, static_cast<std::uint8_t>(first));
    return HeaderByte(118, static_cast<std::uint8_t>(last));
  }
  RecorderFileBuilder& Window(const FieldTime& start, const FieldTime& end) {
    PutTime(126, start);
    return PutTime(120, end);
  }
  // Raw descriptor fields of channel index c.
  RecorderFileBuilder& Range(int c, std::int16_t upper, std::int16_t lower, std::uint16_t p,
                             std::int16_t unit) {
    const std::size_t d = 132 + 36 * static_cast<std::size_t>(c);
    Put16(d + 2, static_cast<std::uint16_t>(upper));
    Put16(d + 4, static_cast<std::uint16_t>(lower));
    Put16(d + 6, p);
    return Put16(d + 8, static_cast<std::uint16_t>(unit));
  }
  // Overrides the block count written for channel c (otherwise the number of blocks added).
  RecorderFileBuilder& BlockCount(int c, std::uint16_t count) {
    blockCountOverride_[c] = count;
    return *this;
  }
  RecorderFileBuilder& HeaderByte(std::size_t offset, std::uint8_t value) {
    header_[offset] = static_cast<char>(value);
    return *this;
  }

  // A new data block of channel index c; blocks are written channel by channel in index order.
  BlockBuilder& Block(int c) {
    blocks_[c].emplace_back();
    return blocks_[c].back();
  }

  std::string Build() const {
    std::string header = header_;
    for (int c = 0; c < 16; ++c) {
      auto it = blocks_.find(c);
      std::size_t count = it == blocks_.end() ? 0 : it->second.size();
      if (auto o = blockCountOverride_.find(c); o != blockCountOverride_.end()) count = o->second;
      const std::size_t d = 132 + 36 * static_cast<std::size_t>(c) + 34;
      header[d] = static_cast<char>((count >> 8) & 0xFF);
      header[d + 1] = static_cast<char>(count & 0xFF);
    }
    std::string file = header;
    for (const auto& [c, blocks] : blocks_) {
      for (const auto& b : blocks) file += b.Bytes();
    }
    return file;
  }

  void WriteTo(const std::string& path) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string bytes = Build();
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }

 private:
  RecorderFileBuilder& Put16(std::size_t offset, std::uint16_t v) {
    header_[offset] = static_cast<char>(v & 0xFF);
    header_[offset + 1] = static_cast<char>(v >> 8);
    return *this;
  }
  RecorderFileBuilder& PutTime(std::size_t offset, const FieldTime& t) {
    const int fields[6] = {t.year, t.month, t.day, t.hour, t.minute, t.second};
    for (int i = 0; i < 6; ++i) header_[offset + static_cast<std::size_t>(i)] = static_cast<char>(fields[i]);
    return *this;
  }

  std::string header_;
  std::map<int, std::vector<BlockBuilder>> blocks_;
  std::map<int, std::uint16_t> blockCountOverride_;
};

}  // namespace vantiro::testing
