#include "recorder/RecorderFile.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "platform/AtomicFile.h"
#include "platform/InputFile.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "recorder/GbkText.h"
#include "recorder/UnitNames.h"

namespace vantiro {
namespace {

constexpr std::size_t kHeaderLastChannel = 118;
constexpr std::size_t kHeaderFirstChannel = 119;
constexpr std::size_t kHeaderEndTime = 120;
constexpr std::size_t kHeaderStartTime = 126;
constexpr std::size_t kHeaderDescriptors = 132;
constexpr std::size_t kDescriptorSize = 36;
constexpr std::size_t kRecordHeadSize = 12;
constexpr std::size_t kMaxRecordsPerBlock = 11;
constexpr std::uint16_t kLastRecordMark = 0xFFFF;
constexpr std::size_t kEndRunLength = 10;
// Entries a block usually adds at most to a channel: one record of 8186 samples plus two gap
// markers (every further record costs 12 bytes of head and adds at most two markers). A chain
// that points back re-reads records and can add more; the vectors then simply grow.
constexpr std::size_t kMaxEntriesPerBlock = 8188;

UserMessage Message(std::string_view text, MessageIcon icon) {
  return UserMessage{std::string(text), icon};
}

std::int16_t Int16At(const unsigned char* p) {
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(p[0] | (p[1] << 8)));
}
std::uint16_t UInt16At(const unsigned char* p) {
  return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
std::int32_t Int32At(const unsigned char* p) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(p[0]) |
                                   (static_cast<std::uint32_t>(p[1]) << 8) |
                                   (static_cast<std::uint32_t>(p[2]) << 16) |
                                   (static_cast<std::uint32_t>(p[3]) << 24));
}

// Fills as much of `buffer` as the input gives: the count (short only at the end), or -1 when a
// read fails.
long ReadBlock(RecorderInput& input, unsigned char* buffer, std::size_t size) {
  std::size_t total = 0;
  while (total < size) {
    const long n = input.Read(buffer + total, size - total);
    if (n < 0) return -1;  // a failed read fails the block, whatever it delivered before
    if (n == 0) break;
    total += static_cast<std::size_t>(n);
  }
  return static_cast<long>(total);
}

class FileInput final : public RecorderInput {
 public:
  explicit FileInput(InputFile& file) : file_(file) {}
  std::uint64_t Size() const override { return file_.Size(); }
  long Read(unsigned char* destination, std::size_t count) override {
    return file_.Read(destination, count);
  }

 private:
  InputFile& file_;
};
// Calendar fields of a header time; nothing when they do not form a valid date and time.
std::optional<DateTime> HeaderTime(const unsigned char* p) {
  const int year = p[0];
  if (year > 99) return std::nullopt;  // "20%02d" would not be a four-digit year
  return EncodeDateTime(2000 + year, p[1], p[2], p[3], p[4], p[5]);
}

// Seconds since 2000-01-01 of a header time (whole seconds, so rounding recovers them exactly).
std::int64_t RecorderSeconds(DateTime time) {
  return static_cast<std::int64_t>(std::llround((time - kRecorderEpoch) * kSecondsPerDay));
}

// The diagnostic log: GBK text with CR LF line ends, gathered and written in chunks. A log file
// goes through an AtomicFile, so it replaces the file of its name only when the reading ends with
// every chunk written. A log that cannot be created or written is given up; the reading goes on
// without it and only the status tells.
class DiagnosticLog {
 public:
  explicit DiagnosticLog(RecorderLogStatus* status) : status_(status) {}
  ~DiagnosticLog() { Close(); }
  DiagnosticLog(const DiagnosticLog&) = delete;
  DiagnosticLog& operator=(const DiagnosticLog&) = delete;

  void Open(const RecorderLogOptions& options) {
    switch (options.mode) {
      case RecorderLogOptions::Mode::Off:
        return;
      case RecorderLogOptions::Mode::Buffer:
        sink_ = options.buffer;
        open_ = sink_ != nullptr;
        return;
      case RecorderLogOptions::Mode::File:
        // A log named on the command line may be a FIFO or a device: written into, not replaced.
        OpenFile(options.path, SpecialTarget::WriteInto);
        return;
      case RecorderLogOptions::Mode::Registry: {
        OpenOrCreateRegistryKey(kVendorKey);
        const std::optional<int> wanted = ReadRegistryInt(kVendorKey, "OpenLog");
        if (!wanted || *wanted != 1) return;
        const std::string dir = options.directory.empty() ? ProgramDirectory() : options.directory;
        OpenFile(dir + "/" + LocalTimeStamp() + "_log.txt", SpecialTarget::Refuse);
        return;
      }
    }
  }

  bool IsOpen() const { return open_; }

  template <typename... Args>
  void Line(const char* format, Args... args) {
    if (!open_) return;
    char line[256];
    const int n = std::snprintf(line, sizeof line, format, args...);
    if (n <= 0) return;
    pending_.append(line, std::min(static_cast<std::size_t>(n), sizeof line - 1));
    if (pending_.size() >= 64 * 1024) Flush();
  }

  // Ends the log: the rest written and, for a file, the file put in place.
  void Close() {
    if (!open_) return;
    Flush();
    if (!open_) return;  // the last chunk could not be written
    open_ = false;
    if (sink_) {
      sink_ = nullptr;
      Report(RecorderLogStatus::Written);
      return;
    }
    const bool committed = file_->Commit();
    file_.reset();
    Report(committed ? RecorderLogStatus::Written : RecorderLogStatus::Failed);
  }

 private:
  static std::string LocalTimeStamp() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    DateTimeFields f{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                     local.tm_hour,        local.tm_min,     std::min(local.tm_sec, 59), 0};
    return FormatDateTime(f, DatePattern::LogFileName);
  }

  void Report(RecorderLogStatus status) {
    if (status_) *status_ = status;
  }

  void OpenFile(const std::string& path, SpecialTarget special) {
    file_.emplace(path, special);
    if (!file_->IsOpen()) {
      GiveUp();
      return;
    }
    open_ = true;
  }

  // The temporary file is gone (AtomicFile removes it on failure); no more lines are taken.
  void GiveUp() {
    file_.reset();
    pending_.clear();
    open_ = false;
    Report(RecorderLogStatus::Failed);
  }

  void Flush() {
    if (pending_.empty()) return;
    const std::string bytes = Utf8ToGbk(pending_);
    pending_.clear();
    if (sink_) {
      sink_->append(bytes);
      return;
    }
    if (!file_->Write(bytes)) GiveUp();
  }

  RecorderLogStatus* status_ = nullptr;
  bool open_ = false;
  std::optional<AtomicFile> file_;
  std::string* sink_ = nullptr;
  std::string pending_;
};

// The times of a record's stored samples: epoch + (base + i * w) / 86400 for i < n. The division
// (not a multiplication by a reciprocal, which would differ in the last bit) is the costliest step
// of a reading; where the processor has wider vector units the loop uses them.
__attribute__((target_clones("avx2", "default"))) void FillTimes(DateTime* out, double base,
                                                                 int w, int n) {
  for (int i = 0; i < n; ++i) {
    out[i] = kRecorderEpoch + (base + static_cast<double>(i * w)) / kSecondsPerDay;
  }
}

// A forward iterator over f(0), f(1), ... so that vector::insert writes each entry once.
template <typename F>
struct GeneratedIterator {
  using iterator_category = std::forward_iterator_tag;
  using value_type = decltype(std::declval<F>()(0));
  using difference_type = std::ptrdiff_t;
  using pointer = void;
  using reference = value_type;
  int i;
  F f;
  value_type operator*() const { return f(i); }
  GeneratedIterator& operator++() { ++i; return *this; }
  GeneratedIterator operator++(int) { auto c = *this; ++i; return c; }
  bool operator==(const GeneratedIterator& o) const { return i == o.i; }
  bool operator!=(const GeneratedIterator& o) const { return i != o.i; }
  difference_type operator-(const GeneratedIterator& o) const { return i - o.i; }
};
template <typename F>
GeneratedIterator<F> Generated(int i, F f) { return {i, f}; }

// One channel's range and the repair state that carries from record to record.
struct ChannelReader {
  int number = 0;                // c + 1
  double divisor = 1.0;          // 10^(4 - p)
  float upper = 0.0f;
  float lower = 0.0f;
  std::int64_t windowStart = 0;  // header window in seconds since 2000
  std::int64_t windowEnd = 0;
  ChannelInfo* channel = nullptr;
  DatasetSummary* summary = nullptr;
  DiagnosticLog* log = nullptr;

  bool previousRecordStored = false;  // the channel's previous record stored a sample
  std::int64_t lastSeconds = 0;       // L, the last stored sample
  int lastInterval = 0;               // X = L + this interval
  float lastGood = 0.0f;
  std::int64_t badRun = 0;

  float Scale(std::int16_t raw) const { return static_cast<float>(raw / divisor); }

  void GapCheck(std::int64_t t0) {
    if (!previousRecordStored) return;
    const DateTime start = RecorderSecondsToDateTime(t0);
    if (CompareTimes(start, RecorderSecondsToDateTime(lastSeconds + lastInterval)) != 1) return;
    lastGood = lower;
    badRun = 0;
    const int againstTwo = CompareTimes(start, RecorderSecondsToDateTime(lastSeconds + 2));
    if (againstTwo >= 0) {
      channel->times.push_back(RecorderSecondsToDateTime(lastSeconds + 1));
      channel->values.push_back(GapValue);
    }
    if (againstTwo > 0) {
      channel->times.push_back(RecorderSecondsToDateTime(t0 - 1));
      channel->values.push_back(GapValue);
    }
  }

  void LogDropped(std::int64_t seconds) {
    log->Line("\t通道%d过滤掉无效时间记录: %s\r\n", number,
              FormatDateTime(RecorderSecondsToDateTime(seconds), DatePattern::Log).c_str());
  }

  std::int32_t rawUpper = 0;   // raw limits: a raw value inside them is inside the range
  std::int32_t rawLower = 0;
  double inverse = 1.0;        // 1 / divisor; raw * inverse rounds to the same float as raw / divisor

  // A value outside the range at entry `index` of values (already sized).
  float Repair(float v, std::int64_t seconds, std::size_t index) {
    if (log->IsOpen()) {
      log->Line("\t通道%d过滤掉无效值记录: %s  %0.3f\r\n", number,
                FormatDateTime(RecorderSecondsToDateTime(seconds), DatePattern::Log).c_str(),
                static_cast<double>(v));
    }
    ++badRun;
    if (badRun < 4) return lastGood;
    if (badRun == 4) {
      auto& values = channel->values;
      for (std::size_t i = index >= 3 ? index - 3 : 0; i < index; ++i) values[i] = lower;
    }
    return lower;
  }

  void Samples(const unsigned char* block, std::size_t first, std::size_t limit,
               std::size_t runLimit, std::int64_t t0, int interval) {
    // 1. Sample positions of the record, up to a run of ten 0xFF.
    std::size_t count = 0;
    std::size_t s = first;
    // Four positions at a time while none of them holds 0xFFFF (no run can start there).
    while (s + 8 <= limit) {
      std::uint64_t word;
      std::memcpy(&word, block + s, sizeof word);
      const std::uint64_t x = ~word;  // a 0xFFFF lane becomes a zero lane
      if (((x - 0x0001000100010001ull) & ~x & 0x8000800080008000ull) != 0) break;
      s += 8;
      count += 4;
    }
    for (; s < limit; s += 2, ++count) {
      if (block[s] == 0xFF && block[s + 1] == 0xFF && s + kEndRunLength - 1 <= runLimit &&
          std::all_of(block + s + 2, block + s + kEndRunLength,
                      [](unsigned char b) { return b == 0xFF; })) {
        break;
      }
    }
    // 2. Positions [lo, hi) lie inside the window (the times rise with k, or stay for w = 0).
    std::size_t lo = 0;
    std::size_t hi = 0;
    if (interval == 0) {
      const bool inside = t0 >= windowStart && t0 <= windowEnd;
      lo = inside ? 0 : count;
      hi = count;
    } else {
      const std::int64_t w = interval;
      const std::int64_t n = static_cast<std::int64_t>(count);
      const std::int64_t l = t0 >= windowStart ? 0 : (windowStart - t0 + w - 1) / w;
      const std::int64_t h = t0 > windowEnd ? 0 : (windowEnd - t0) / w + 1;
      lo = static_cast<std::size_t>(std::min(l, n));
      hi = static_cast<std::size_t>(std::clamp(h, static_cast<std::int64_t>(lo), n));
    }
    if (log->IsOpen()) {
      for (std::size_t k = 0; k < lo; ++k) LogDropped(t0 + static_cast<std::int64_t>(k) * interval);
    }
    const std::size_t m = hi - lo;
    if (m > 0) {
      auto& times = channel->times;
      auto& values = channel->values;
      const std::size_t old = times.size();
      const std::int64_t firstSeconds = t0 + static_cast<std::int64_t>(lo) * interval;
      const double base = static_cast<double>(firstSeconds);
      const int n32 = static_cast<int>(m);
      const int w = interval;
      times.resize(old + m);  // not zeroed first (TimeSeries): FillTimes writes each time once
      FillTimes(times.data() + old, base, w, n32);
      const unsigned char* raw = block + first + 2 * lo;
      const double inv = inverse;
      auto scaled = [raw, inv](int i) {
        std::int16_t r16;
        std::memcpy(&r16, raw + 2 * i, sizeof r16);
        return static_cast<float>(static_cast<double>(r16) * inv);
      };
      values.insert(values.end(), Generated(0, scaled), Generated(n32, scaled));
      float* vp = values.data() + old;
      std::int32_t lowest = 32767;
      std::int32_t highest = -32768;
      for (int i = 0; i < n32; ++i) {
        std::int16_t r16;
        std::memcpy(&r16, raw + 2 * i, sizeof r16);
        lowest = std::min<std::int32_t>(lowest, r16);
        highest = std::max<std::int32_t>(highest, r16);
      }
      const bool allInside = lowest >= rawLower && highest <= rawUpper;
      if (allInside) {
        badRun = 0;
        lastGood = vp[m - 1];
      } else {
        for (std::size_t i = 0; i < m; ++i) {
          float v = vp[i];
          if (v <= upper && v >= lower) {
            badRun = 0;
            lastGood = v;
          } else if (CompareValues(v, upper) == 1 || CompareValues(v, lower) == -1) {
            v = Repair(v, firstSeconds + static_cast<std::int64_t>(i) * interval, old + i);
          } else {
            badRun = 0;
            lastGood = v;
          }
          vp[i] = v;
        }
      }
      lastSeconds = firstSeconds + static_cast<std::int64_t>(m - 1) * interval;
      lastInterval = interval;
      summary->sampleCount += static_cast<std::int32_t>(m);
    }
    if (log->IsOpen()) {
      for (std::size_t k = hi; k < count; ++k) LogDropped(t0 + static_cast<std::int64_t>(k) * interval);
    }
    previousRecordStored = m > 0;
  }

  // Walks the record chain of one data block.
  void Block(const unsigned char* block) {
    std::size_t offset = 0;
    for (std::size_t record = 0; record < kMaxRecordsPerBlock; ++record) {
      if (offset + kRecordHeadSize > kRecorderBlockSize) return;  // no room for a record head
      const unsigned char* head = block + offset;
      const std::int64_t t0 = Int32At(head);
      const std::uint16_t end = UInt16At(head + 4);
      const int interval = head[6];
      const bool last = end == kLastRecordMark;
      if (!last && end >= kRecorderBlockSize) return;
      GapCheck(t0);
      // The last record's samples must lie wholly inside the block; another record's run of ten
      // 0xFF may take its last byte from the next record's head.
      const std::size_t limit = last ? kRecorderBlockSize - 1 : end;
      const std::size_t runLimit = last ? kRecorderBlockSize - 1 : end;
      Samples(block, offset + kRecordHeadSize, limit, runLimit, t0, interval);
      if (last) return;
      offset = end;
    }
  }
};

std::optional<UserMessage> Read(RecorderInput& input, DatasetSummary& summary,
                                std::vector<ChannelInfo>& channels,
                                const RecorderLogOptions& logOptions) {
  if (input.Size() > kRecorderMaxFileSize) {
    return Message(kFileTooLargeText, MessageIcon::Information);
  }
  std::vector<unsigned char> header(kRecorderBlockSize, 0);
  const long headerBytes = ReadBlock(input, header.data(), header.size());
  if (headerBytes <= 0) return Message(kReadFailedText, MessageIcon::Error);
  std::uint64_t consumed = static_cast<std::uint64_t>(headerBytes);

  const int firstChannel = header[kHeaderFirstChannel];
  const int lastChannel = header[kHeaderLastChannel];
  if (firstChannel > 15 || lastChannel > 15 || firstChannel > lastChannel) {
    return Message(kFormatErrorText, MessageIcon::Error);
  }
  const std::optional<DateTime> start = HeaderTime(header.data() + kHeaderStartTime);
  const std::optional<DateTime> end = HeaderTime(header.data() + kHeaderEndTime);
  if (!start || !end) return Message(kFormatErrorText, MessageIcon::Error);
  summary.startTime = *start;
  summary.endTime = *end;
  const std::int64_t windowStart = RecorderSeconds(*start);
  const std::int64_t windowEnd = RecorderSeconds(*end);

  DiagnosticLog log(logOptions.status);
  log.Open(logOptions);

  std::vector<unsigned char> block(kRecorderBlockSize);
  for (int c = firstChannel; c <= lastChannel; ++c) {
    const unsigned char* d = header.data() + kHeaderDescriptors + kDescriptorSize * c;
    const std::uint16_t p = UInt16At(d + 6);
    static constexpr double kDivisors[5] = {1.0, 1000.0, 100.0, 10.0, 1.0};
    ChannelReader reader;
    reader.number = c + 1;
    reader.divisor = p >= 1 && p <= 4 ? kDivisors[p] : 1.0;
    reader.upper = reader.Scale(Int16At(d + 2));
    reader.lower = reader.Scale(Int16At(d + 4));
    reader.lastGood = reader.lower;
    reader.rawUpper = Int16At(d + 2);
    reader.rawLower = Int16At(d + 4);
    reader.inverse = 1.0 / reader.divisor;
    reader.windowStart = windowStart;
    reader.windowEnd = windowEnd;
    reader.summary = &summary;
    reader.log = &log;
    const int unitCode = Int16At(d + 8);
    const std::size_t blockCount = static_cast<std::size_t>(d[34]) << 8 | d[35];

    if (log.IsOpen()) {
      log.Line("通道%d, 量程为: %0.3f-%0.3f\r\n", c + 1, static_cast<double>(reader.lower),
               static_cast<double>(reader.upper));
    }
    if (CompareValues(reader.upper, summary.rangeMax) == 1) summary.rangeMax = reader.upper;
    if (CompareValues(reader.lower, summary.rangeMin) == -1) summary.rangeMin = reader.lower;

    ChannelInfo channel;
    channel.number = static_cast<std::int16_t>(c + 1);
    channel.unit = std::string(UnitName(unitCode));
    // Room for what the blocks that the file still holds usually carry, so the vectors rarely grow.
    const std::uint64_t left = input.Size() > consumed ? input.Size() - consumed : 0;
    const std::size_t blocksHeld = static_cast<std::size_t>(
        std::min<std::uint64_t>(blockCount, (left + kRecorderBlockSize - 1) / kRecorderBlockSize));
    channel.times.reserve(blocksHeld * kMaxEntriesPerBlock);
    channel.values.reserve(blocksHeld * kMaxEntriesPerBlock);
    reader.channel = &channel;

    for (std::size_t b = 0; b < blockCount; ++b) {
      const long n = ReadBlock(input, block.data(), block.size());
      if (n <= 0) return Message(kReadFailedText, MessageIcon::Error);
      // What a short block lacks reads as zeros (the whole block was zeroed before each read; only
      // the bytes the read did not deliver need it).
      std::fill(block.begin() + n, block.end(), 0);
      consumed += static_cast<std::uint64_t>(n);
      reader.Block(block.data());
    }
    // Give back room that window filtering left unused.
    if (channel.times.capacity() - channel.times.size() > channel.times.size() / 8 + 1024) {
      channel.times.shrink_to_fit();
      channel.values.shrink_to_fit();
    }
    channels.push_back(std::move(channel));
  }
  return std::nullopt;
}

}  // namespace

long MemoryRecorderInput::Read(unsigned char* destination, std::size_t count) {
  const std::size_t n = std::min(count, bytes_.size() - position_);
  std::memcpy(destination, bytes_.data() + position_, n);
  position_ += n;
  return static_cast<long>(n);
}

std::optional<UserMessage> ReadRecorderData(RecorderInput& input, DatasetSummary& summary,
                                            std::vector<ChannelInfo>& channels,
                                            const RecorderLogOptions& log) {
  if (log.status) *log.status = RecorderLogStatus::None;
  return Read(input, summary, channels, log);
}

std::vector<RecorderChannelRange> ReadRecorderChannelRanges(const std::string& path) {
  InputFile file(path);
  if (!file.IsOpen() || file.Size() > kRecorderMaxFileSize) return {};
  FileInput input(file);
  std::vector<unsigned char> header(kRecorderBlockSize, 0);
  if (ReadBlock(input, header.data(), header.size()) <= 0) return {};
  const int firstChannel = header[kHeaderFirstChannel];
  const int lastChannel = header[kHeaderLastChannel];
  if (firstChannel > 15 || lastChannel > 15 || firstChannel > lastChannel) return {};
  std::vector<RecorderChannelRange> ranges;
  for (int c = firstChannel; c <= lastChannel; ++c) {
    const unsigned char* d = header.data() + kHeaderDescriptors + kDescriptorSize * c;
    const std::uint16_t p = UInt16At(d + 6);
    static constexpr double kDivisors[5] = {1.0, 1000.0, 100.0, 10.0, 1.0};
    ChannelReader reader;
    reader.divisor = p >= 1 && p <= 4 ? kDivisors[p] : 1.0;
    RecorderChannelRange range;
    range.number = c + 1;
    range.upper = reader.Scale(Int16At(d + 2));
    range.lower = reader.Scale(Int16At(d + 4));
    range.decimals = p >= 1 && p <= 4 ? 4 - p : 0;
    range.unitCode = Int16At(d + 8);
    ranges.push_back(range);
  }
  return ranges;
}

std::optional<UserMessage> ReadRecorderFile(const std::string& path, DatasetSummary& summary,
                                            std::vector<ChannelInfo>& channels,
                                            const RecorderLogOptions& log) {
  if (log.status) *log.status = RecorderLogStatus::None;
  // Opening never creates the file: a path that does not exist is an open failure.
  InputFile file(path);
  if (!file.IsOpen()) return Message(kOpenFailedText, MessageIcon::Error);
  FileInput input(file);
  return Read(input, summary, channels, log);
}

}  // namespace vantiro
