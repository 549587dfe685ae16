#pragma once
// vantiro-convert png FILE -o OUT.png [--size WxH] [--at T] [--from T] [--to T] [--channels LIST]:
// the trend chart after the load or after the filter run the options ask for (ViewOptions.h),
// drawn by the chart page's own code on Qt's offscreen platform, the cursor placed as after the
// load or the filter, or at T. The default size is the chart page's in the main window.

#include <iosfwd>
#include <string>
#include <vector>

namespace vantiro {

// Starts Qt (offscreen) for this command only. Exit status as the other commands: 0, 1 (the reader
// reported a failure, the picture is still written; or the picture could not be written), 2.
int RunPng(const std::vector<std::string>& args, std::ostream& err);

}  // namespace vantiro
