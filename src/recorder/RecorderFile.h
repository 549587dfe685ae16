#pragma once
// The recorder's data file (.bin or .dat, 16 KB blocks, at most 10 MiB) read into the dataset.
//
// Layout, multi-byte integers little-endian unless said otherwise:
//   block 0, the header: byte 118 last channel index, 119 first channel index, 120..125 end time
//     and 126..131 start time (year - 2000, month, day, hour, minute, second), 132.. sixteen
//     36-byte channel descriptors: +2 int16 upper range limit, +4 int16 lower range limit,
//     +6 uint16 decimal-point position p (1..4, anything else counts as 4), +8 int16 unit code,
//     +34 uint16 big-endian block count.
//   then the data blocks, channel after channel: chains of records, each with a 12-byte head
//     (+0 int32 seconds since 2000-01-01, +4 uint16 end offset, 0xFFFF for the block's last
//     record, +6 uint8 sampling interval in seconds) followed by int16 samples; ten 0xFF bytes at a
//     sample position end a record's samples.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recorder/Dataset.h"
#include "platform/UserMessage.h"

namespace vantiro {

inline constexpr std::size_t kRecorderBlockSize = 16384;
inline constexpr std::uint64_t kRecorderMaxFileSize = 10485760;

inline constexpr std::string_view kOpenFailedText = "打开文件失败。";
inline constexpr std::string_view kFileTooLargeText = "您选择的文件过大，请调整文件大小后重试。";
inline constexpr std::string_view kReadFailedText = "文件读取失败。";
inline constexpr std::string_view kFormatErrorText = "文件格式错误。";

// What became of a reading's diagnostic log.
enum class RecorderLogStatus {
  None,     // no log was started: not wanted, or the reading stopped before the channels
  Written,  // the log is complete in its file (or buffer)
  Failed,   // a log was wanted but its file could not be written; any earlier file of that
            // name is as it was
};

// Where the diagnostic log of a reading goes. A log file is written whole or not at all: its
// content goes to a temporary file beside it that replaces it when the reading ends.
struct RecorderLogOptions {
  enum class Mode {
    Registry,  // as the program does: when OpenLog = 1 under Software\Brisawen, a file named
               // <local time yyyyMMddHHmmss>_log.txt in `directory` (the program's own when empty)
    Off,       // never
    File,      // always, to `path` (a FIFO or a device there is written into, not replaced)
    Buffer,    // always, appended to *buffer (the bytes the file would hold)
  };
  Mode mode = Mode::Registry;
  std::string directory;
  std::string path;
  std::string* buffer = nullptr;
  // When set, receives what became of the log (a log that cannot be written never changes the
  // reading's result).
  RecorderLogStatus* status = nullptr;
};

// A source of recorder file bytes.
class RecorderInput {
 public:
  virtual ~RecorderInput() = default;
  virtual std::uint64_t Size() const = 0;
  // Reads up to `count` bytes from the current position; the number read, 0 at the end, -1 on error.
  virtual long Read(unsigned char* destination, std::size_t count) = 0;
};

class MemoryRecorderInput final : public RecorderInput {
 public:
  explicit MemoryRecorderInput(std::string_view bytes) : bytes_(bytes) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  long Read(unsigned char* destination, std::size_t count) override;

 private:
  std::string_view bytes_;
  std::size_t position_ = 0;
};

// Reads the file at `path` into `channels` (appending one ChannelInfo per channel of the header's
// range) and `summary` (which the caller has reset). Nothing is created or changed on disk except
// the diagnostic log. Returns the failure to show the user, or nothing when the reading succeeded;
// whatever was read before a failure stays in the dataset.
std::optional<UserMessage> ReadRecorderFile(const std::string& path, DatasetSummary& summary,
                                            std::vector<ChannelInfo>& channels,
                                            const RecorderLogOptions& log = {});

// What a recorder file's header says of one channel it holds: the range limits as the reader scales
// them, the decimals its decimal-point position gives, the unit code.
struct RecorderChannelRange {
  int number = 0;  // 1..16
  float lower = 0.0f;
  float upper = 0.0f;
  int decimals = 0;
  int unitCode = 0;
  friend bool operator==(const RecorderChannelRange&, const RecorderChannelRange&) = default;
};

// The header's channels of the file at `path`, in channel order; empty when the header cannot be
// read or its channel range is not valid.
std::vector<RecorderChannelRange> ReadRecorderChannelRanges(const std::string& path);

// The same from any source of bytes.
std::optional<UserMessage> ReadRecorderData(RecorderInput& input, DatasetSummary& summary,
                                            std::vector<ChannelInfo>& channels,
                                            const RecorderLogOptions& log = {});

}  // namespace vantiro
