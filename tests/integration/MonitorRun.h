#pragma once
// vantiro-monitor run in-process: its exit status and what it wrote.

#include <sstream>
#include <stop_token>
#include <string>
#include <vector>

#include "vantiro-monitor/MonitorCommand.h"

namespace vantiro::testing {

struct MonitorResult {
  int status;
  std::string out;
  std::string err;
};

inline MonitorResult Monitor(const std::vector<std::string>& args) {
  std::ostringstream out;
  std::ostringstream err;
  const int status = RunMonitor(args, out, err, std::stop_token());
  return {status, out.str(), err.str()};
}

}  // namespace vantiro::testing
