#pragma once
// Helpers shared by the recorder file reader's tests: reading bytes or a path into a fresh
// dataset, channel entries as (seconds after a base, value) pairs, and temporary directories.

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "recorder/Dataset.h"
#include "recorder/DateTime.h"
#include "recorder/RecorderFile.h"
#include "platform/UserMessage.h"
#include "support/RecorderFileBuilder.h"

namespace vantiro {

inline void PrintTo(const UserMessage& message, std::ostream* os) {
  static const char* const kIcons[] = {"Error", "Information", "Question", "Warning"};
  *os << "{\"" << message.text << "\", " << kIcons[static_cast<int>(message.icon)] << "}";
}

namespace testing {

// 2010-05-12 14:00:00, the time most records start at.
inline const std::int32_t kT = RecorderSeconds(2010, 5, 12, 14, 0, 0);

inline const UserMessage kOpenFailed{"打开文件失败。", MessageIcon::Error};
inline const UserMessage kTooLarge{"您选择的文件过大，请调整文件大小后重试。",
                                   MessageIcon::Information};
inline const UserMessage kReadFailed{"文件读取失败。", MessageIcon::Error};
inline const UserMessage kFormatError{"文件格式错误。", MessageIcon::Error};

inline RecorderLogOptions NoLog() {
  RecorderLogOptions options;
  options.mode = RecorderLogOptions::Mode::Off;
  return options;
}

inline RecorderLogOptions LogToBuffer(std::string& buffer) {
  RecorderLogOptions options;
  options.mode = RecorderLogOptions::Mode::Buffer;
  options.buffer = &buffer;
  return options;
}

inline RecorderLogOptions LogToFile(const std::string& path) {
  RecorderLogOptions options;
  options.mode = RecorderLogOptions::Mode::File;
  options.path = path;
  return options;
}

// The outcome of one reading into a reset dataset (or into the one given).
struct Reading {
  std::optional<UserMessage> error;
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
};

inline Reading ReadBytes(const std::string& bytes, const RecorderLogOptions& log = NoLog(),
                         Reading start = {}) {
  MemoryRecorderInput input(bytes);
  start.error = ReadRecorderData(input, start.summary, start.channels, log);
  return start;
}

inline Reading ReadPath(const std::string& path, const RecorderLogOptions& log = NoLog(),
                        Reading start = {}) {
  start.error = ReadRecorderFile(path, start.summary, start.channels, log);
  return start;
}

// Bytes from memory that fail with an error once `failAt` bytes have been handed out.
class FailingInput final : public RecorderInput {
 public:
  FailingInput(std::string bytes, std::size_t failAt) : bytes_(std::move(bytes)), failAt_(failAt) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  long Read(unsigned char* destination, std::size_t count) override {
    if (position_ >= failAt_) return -1;
    const std::size_t n = std::min({count, failAt_ - position_, bytes_.size() - position_});
    std::copy_n(bytes_.data() + position_, n, destination);
    position_ += n;
    return static_cast<long>(n);
  }

 private:
  std::string bytes_;
  std::size_t failAt_;
  std::size_t position_ = 0;
};

// One entry of a channel: seconds after a base time (to the millisecond) and the value.
struct Entry {
  double seconds = 0;
  float value = 0;
  friend bool operator==(const Entry&, const Entry&) = default;
  friend void PrintTo(const Entry& e, std::ostream* os) {
    *os << "(" << e.seconds << " s, " << (IsGapValue(e.value) ? "gap" : "") << e.value << ")";
  }
};

inline std::vector<Entry> Entries(const ChannelInfo& channel, std::int32_t base = kT) {
  std::vector<Entry> entries;
  const DateTime origin = RecorderSecondsToDateTime(base);
  for (std::size_t i = 0; i < channel.times.size() && i < channel.values.size(); ++i) {
    const double ms = std::round((channel.times[i] - origin) * kSecondsPerDay * 1000.0);
    entries.push_back({ms / 1000.0, channel.values[i]});
  }
  return entries;
}

inline DateTime At(int year, int month, int day, int hour, int minute, int second) {
  return *EncodeDateTime(year, month, day, hour, minute, second);
}

inline std::vector<int> Numbers(const std::vector<ChannelInfo>& channels) {
  std::vector<int> numbers;
  for (const ChannelInfo& c : channels) numbers.push_back(c.number);
  return numbers;
}

inline void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline std::string ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A fresh directory under the test temporary directory, removed with everything in it.
class TempDir {
 public:
  TempDir() {
    std::string pattern =
        (std::filesystem::path(::testing::TempDir()) / "vantiro-reader-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
    EXPECT_FALSE(path_.empty()) << "cannot create a temporary directory";
  }
  ~TempDir() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

  // Names of the directory's entries, sorted.
  static std::vector<std::string> List(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(directory, ec)) {
      names.push_back(e.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::string path_;
};

}  // namespace testing
}  // namespace vantiro
