#pragma once
// vantiro-convert pdf FILE -o OUT.pdf [--chart] [--page N] [--rows-per-page M] [--at T]
// [--from T] [--to T] [--channels LIST]: the list report of table page N (1-based, M rows a page,
// 100..10000, default 500) or, with --chart, the chart report of the chart, each after the load or
// after the filter run the options ask for (ViewOptions.h), drawn to PDF by the code the print
// preview uses.

#include <iosfwd>
#include <string>
#include <vector>

namespace vantiro {

// Exit status: 0; 1 when the reader reported a failure (the report is still written), there is
// nothing to print, or the file could not be written; 2 for a usage error.
int RunPdf(const std::vector<std::string>& args, std::ostream& err);

}  // namespace vantiro
