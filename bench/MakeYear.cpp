// Writes a year of one recorder's files (YearOfRecordings.h) into a folder:
//
//   make_year FOLDER [FILES]
//
// FILES (1..96, default 96) writes the first FILES of them. Files already there are kept.
#include <cstdio>
#include <cstdlib>

#include "YearOfRecordings.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: make_year FOLDER [FILES]\n");
    return 2;
  }
  const int files = argc == 3 ? std::atoi(argv[2]) : vantiro::bench::kYearFiles;
  if (files < 1 || files > vantiro::bench::kYearFiles) {
    std::fprintf(stderr, "make_year: FILES is 1..96\n");
    return 2;
  }
  return vantiro::bench::WriteYear(argv[1], files) ? 0 : 1;
}
