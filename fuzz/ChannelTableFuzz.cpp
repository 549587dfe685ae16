// Arbitrary bytes as recorder-sim's channel table (--channels FILE). The rules:
//
//   - a refused table leaves the table as it was and names a line of the text ("line N: ...");
//   - an accepted table, written back as "n scale unit HH H L LL" lines and read into other
//     entries, gives the same table;
// and the simulated motion of every accepted channel is computed at a few moments, so that the
// sanitizers see its arithmetic on the table's extremes.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "recorder-sim/RecorderModel.h"

namespace {

void Require(bool holds, const char* rule) {
  if (holds) return;
  std::fprintf(stderr, "channel table invariant violated: %s\n", rule);
  __builtin_trap();
}

std::size_t LineCount(std::string_view text) {
  std::size_t lines = 0;
  while (!text.empty()) {
    ++lines;
    const std::size_t newline = text.find('\n');
    text = newline == std::string_view::npos ? std::string_view{} : text.substr(newline + 1);
  }
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const vantiro::sim::ChannelTable defaults = vantiro::sim::DefaultChannels();
  vantiro::sim::ChannelTable table = defaults;
  std::string error;
  if (!vantiro::sim::ParseChannelTable(text, table, error)) {
    Require(table == defaults, "a refused table changed the entries");
    Require(error.starts_with("line "), "a refusal does not name its line");
    std::size_t line = 0;
    for (std::size_t i = 5; i < error.size() && error[i] >= '0' && error[i] <= '9'; ++i) {
      line = line * 10 + static_cast<std::size_t>(error[i] - '0');
      if (line > size + 1) break;
    }
    Require(line >= 1 && line <= LineCount(text), "a refusal names a line the text does not have");
    return 0;
  }
  std::string written;
  for (std::size_t c = 0; c < table.size(); ++c) {
    const vantiro::sim::ChannelSetup& s = table[c];
    written += std::to_string(c + 1) + ' ' + std::to_string(s.scaleCode) + ' ' +
               std::to_string(s.unitCode) + ' ' + std::to_string(s.limitHH) + ' ' +
               std::to_string(s.limitH) + ' ' + std::to_string(s.limitL) + ' ' +
               std::to_string(s.limitLL) + '\n';
  }
  vantiro::sim::ChannelTable again{};
  std::string againError;
  Require(vantiro::sim::ParseChannelTable(written, again, againError),
          "an accepted table written back is refused");
  Require(again == table, "an accepted table written back reads differently");
  for (std::size_t c = 0; c < table.size(); ++c) {
    for (const double seconds : {0.0, 7.5, 15.0, 45.0, 1e9}) {
      const std::int16_t value = vantiro::sim::MotionValue(table[c], static_cast<int>(c), seconds);
      (void)value;
    }
  }
  return 0;
}
