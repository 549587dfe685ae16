// Writes the benchmarks' largest recording to a file, to look at it in the program or to hand it to
// another plotting program:
//
//   make_large_recording OUT.bin [TEXTDIR]
//
// With TEXTDIR, also the recording as read back by the program, one text file per channel
// (ch01.txt ... ch16.txt), each line "seconds-since-1970 value" with the recorder's wall-clock time.
#include <cstdio>
#include <fstream>
#include <string>

#include "LargeRecording.h"
#include "recorder/RecorderFile.h"

namespace {

bool WriteText(const std::string& binary, const std::string& directory) {
  vantiro::RecorderLogOptions noLog;
  noLog.mode = vantiro::RecorderLogOptions::Mode::Off;
  vantiro::DatasetSummary summary;
  std::vector<vantiro::ChannelInfo> channels;
  if (vantiro::ReadRecorderFile(binary, summary, channels, noLog)) return false;
  for (const vantiro::ChannelInfo& channel : channels) {
    char name[32];
    std::snprintf(name, sizeof name, "/ch%02d.txt", channel.number);
    std::string text;
    char line[64];
    for (std::size_t i = 0; i < channel.times.size(); ++i) {
      const double seconds = (channel.times[i] - vantiro::kUnixEpochDay) * vantiro::kSecondsPerDay;
      std::snprintf(line, sizeof line, "%.0f %.4f\n", seconds, static_cast<double>(channel.values[i]));
      text += line;
    }
    std::ofstream out(directory + name, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: make_large_recording OUT.bin [TEXTDIR]\n");
    return 2;
  }
  const std::string bytes = vantiro::bench::BuildLargeFile();
  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  if (argc == 3 && !WriteText(argv[1], argv[2])) {
    std::fprintf(stderr, "cannot write the text files into %s\n", argv[2]);
    return 1;
  }
  return 0;
}
