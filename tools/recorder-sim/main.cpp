// recorder-sim: a simulated recorder on a pseudo-terminal. See PtyRecorder.h and --help.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>
#include <string>
#include <vector>

#include "recorder-sim/PtyRecorder.h"
#include "platform/ProcessSignals.h"

namespace {

int stopPipe[2] = {-1, -1};

extern "C" void RequestStop(int) {
  const int saved = errno;
  const char byte = 0;
  [[maybe_unused]] const ssize_t n = ::write(stopPipe[1], &byte, 1);
  errno = saved;
}

}  // namespace

int main(int argc, char* argv[]) {
  vantiro::IgnoreFileSizeSignal();  // a picture written past the file-size limit fails, reported
  if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::cerr << "recorder-sim: pipe failed\n";
    return 1;
  }
  struct sigaction action {};
  action.sa_handler = RequestStop;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  const std::vector<std::string> args(argv + 1, argv + argc);
  return vantiro::sim::RunRecorderSim(args, std::cout, std::cerr, stopPipe[0]);
}
