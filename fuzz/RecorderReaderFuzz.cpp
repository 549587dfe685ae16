// Arbitrary bytes through the recorder file reader. The input's first byte picks the raw file or
// the compact form expanded into one, and whether the diagnostic log is written (to a buffer, so
// that its formatting runs too); see RecorderCompactForm.h. Besides the sanitizers, the dataset
// the reader leaves is checked:
//
//   - every channel has as many times as values;
//   - channel numbers lie in 1..16 and rise strictly;
//   - a reading that succeeds appends one channel per index of the header's range, counts no more
//     samples than the channels hold, and every entry it did not count is a gap marker;
//   - a stored sample (any entry that is not a gap marker) lies inside the header's time window;
//   - the range fold keeps rangeMax >= 0 >= rangeMin;
//   - a refused file (too large, bad format) leaves the dataset as it was;
//   - a failure is reported with one of the reader's own texts;
//   - with the log on, the reading gives the same result and dataset as with the log off.
//
// A violation stops the run with __builtin_trap after naming the broken rule on stderr.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "RecorderCompactForm.h"
#include "recorder/RecorderFile.h"
#include "SameDataset.h"

namespace {

using vantiro::ChannelInfo;
using vantiro::DatasetSummary;

void Require(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "recorder reader invariant violated: %s\n", rule);
  __builtin_trap();
}

// Header byte at `offset`, as the reader sees it: a short header reads as zeros.
unsigned HeaderByte(std::string_view file, std::size_t offset) {
  return offset < file.size() && offset < vantiro::kRecorderBlockSize
             ? static_cast<unsigned char>(file[offset])
             : 0u;
}

using vantiro::fuzz::SameBits;
using vantiro::fuzz::SameDataset;

bool IsUntouched(const DatasetSummary& s) {
  return s.rangeMax == 0.0f && s.rangeMin == 0.0f && s.startTime == 0.0 && s.endTime == 0.0 &&
         s.sampleCount == 0;
}

// Bitwise the value the reader writes for a gap (a measurement equal to it passes as one).
bool IsMarker(float v) { return v == vantiro::GapValue; }

void CheckChannels(const std::vector<ChannelInfo>& channels, const DatasetSummary& summary) {
  int previous = 0;
  for (const ChannelInfo& channel : channels) {
    Require(channel.times.size() == channel.values.size(), "times and values differ in length");
    Require(channel.number >= 1 && channel.number <= 16, "channel number outside 1..16");
    Require(channel.number > previous, "channel numbers do not rise");
    previous = channel.number;
    for (std::size_t i = 0; i < channel.times.size(); ++i) {
      if (IsMarker(channel.values[i])) continue;
      Require(vantiro::CompareTimes(channel.times[i], summary.startTime) >= 0 &&
                  vantiro::CompareTimes(channel.times[i], summary.endTime) <= 0,
              "a stored sample lies outside the header's window");
    }
  }
}

void CheckSuccess(std::string_view file, const std::vector<ChannelInfo>& channels,
                  const DatasetSummary& summary, const std::string* log) {
  const unsigned last = HeaderByte(file, 118);
  const unsigned first = HeaderByte(file, 119);
  Require(first <= last && last <= 15, "a reading succeeded on a bad channel range");
  Require(channels.size() == last - first + 1, "not one channel per index of the header's range");
  Require(channels.front().number == static_cast<int>(first) + 1,
          "the first channel is not the header's first index");
  std::size_t entries = 0;
  std::size_t markers = 0;
  for (const ChannelInfo& channel : channels) {
    entries += channel.times.size();
    for (float v : channel.values) markers += IsMarker(v) ? 1 : 0;
  }
  Require(summary.sampleCount >= 0, "negative sample count");
  Require(static_cast<std::size_t>(summary.sampleCount) <= entries,
          "sample count above the entries held");
  Require(entries - static_cast<std::size_t>(summary.sampleCount) <= markers,
          "an entry not counted as a sample is not a gap marker");
  if (log) Require(!log->empty(), "the log lacks the channels' range lines");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  namespace fuzzing = vantiro::fuzzing;
  const std::uint8_t selector = data[0];
  const std::string_view rest(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string expanded;
  if (!fuzzing::IsRaw(selector)) {
    expanded = fuzzing::Expand(rest, (selector & fuzzing::kCutLastBlock) != 0);
  }
  const std::string_view file = fuzzing::IsRaw(selector) ? rest : std::string_view(expanded);

  vantiro::MemoryRecorderInput input(file);
  DatasetSummary summary;  // the reset a recorder-file load starts from
  std::vector<ChannelInfo> channels;
  std::string log;
  vantiro::RecorderLogOptions options;
  options.mode = vantiro::RecorderLogOptions::Mode::Off;
  if (fuzzing::LogWanted(selector)) {
    options.mode = vantiro::RecorderLogOptions::Mode::Buffer;
    options.buffer = &log;
  }

  const std::optional<vantiro::UserMessage> failure =
      vantiro::ReadRecorderData(input, summary, channels, options);

  if (fuzzing::LogWanted(selector)) {
    vantiro::MemoryRecorderInput again(file);
    DatasetSummary quietSummary;
    std::vector<ChannelInfo> quietChannels;
    vantiro::RecorderLogOptions quiet;
    quiet.mode = vantiro::RecorderLogOptions::Mode::Off;
    const std::optional<vantiro::UserMessage> quietFailure =
        vantiro::ReadRecorderData(again, quietSummary, quietChannels, quiet);
    Require(failure.has_value() == quietFailure.has_value() &&
                (!failure || failure->text == quietFailure->text),
            "the log changed the reading's result");
    Require(SameDataset(summary, channels, quietSummary, quietChannels),
            "the log changed the dataset");
  }

  CheckChannels(channels, summary);
  Require(summary.rangeMax >= 0.0f && summary.rangeMin <= 0.0f, "range fold crossed zero");
  Require(std::isfinite(summary.startTime) && std::isfinite(summary.endTime), "window not finite");
  if (!failure) {
    CheckSuccess(file, channels, summary, fuzzing::LogWanted(selector) ? &log : nullptr);
    return 0;
  }
  const std::string& text = failure->text;
  Require(text == vantiro::kOpenFailedText || text == vantiro::kFileTooLargeText ||
              text == vantiro::kReadFailedText || text == vantiro::kFormatErrorText,
          "a failure with an unknown text");
  if (text == vantiro::kFileTooLargeText || text == vantiro::kFormatErrorText) {
    Require(channels.empty() && IsUntouched(summary), "a refused file changed the dataset");
  }
  return 0;
}
