// vantiro-archive: see ArchiveCommand.h and --help.
#include <signal.h>

#include <atomic>
#include <iostream>
#include <string>
#include <vector>

#include "platform/ProcessSignals.h"
#include "vantiro-archive/ArchiveCommand.h"

namespace {

std::atomic<bool> stopRequested{false};
std::atomic<int> stopSignal{0};

extern "C" void RequestStop(int signal) {
  stopSignal.store(signal);
  stopRequested.store(true);
}

}  // namespace

int main(int argc, char* argv[]) {
  vantiro::IgnoreFileSizeSignal();  // an archive past the file-size limit fails, reported
  struct sigaction action {};
  action.sa_handler = RequestStop;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return vantiro::RunArchiveCommand(args, std::cout, std::cerr, stopRequested, stopSignal);
}
