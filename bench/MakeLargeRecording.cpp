// Writes the benchmarks' largest recording to a file, to look at it in the program or to give it
// to another plotting program: make_large_recording OUT.bin
#include <cstdio>
#include <fstream>

#include "LargeRecording.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_large_recording OUT.bin\n");
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
  return 0;
}
