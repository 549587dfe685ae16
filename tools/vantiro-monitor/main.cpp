#include <signal.h>

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "vantiro-monitor/MonitorCommand.h"
#include "platform/ProcessSignals.h"

namespace {

std::atomic<bool> stopRequested{false};
static_assert(std::atomic<bool>::is_always_lock_free);

extern "C" void RequestStop(int) { stopRequested.store(true); }

}  // namespace

int main(int argc, char* argv[]) {
  vantiro::IgnoreFileSizeSignal();  // an output past the file-size limit fails, reported
  struct sigaction action {};
  action.sa_handler = RequestStop;
  ::sigemptyset(&action.sa_mask);  // no SA_RESTART: the wait for the next poll ends at once
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  const std::vector<std::string> args(argv + 1, argv + argc);
  return vantiro::RunMonitor(args, std::cout, std::cerr, stopRequested);
}
