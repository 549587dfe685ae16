#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <iostream>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "vantiro-monitor/MonitorCommand.h"
#include "platform/ProcessSignals.h"

namespace {

// SIGINT and SIGTERM become a stop request. The handler only writes the signal's number into a
// pipe; a watcher thread reads it and requests the stop, so that what the request sets going
// (aborting the serial exchange in progress) runs on that thread, not inside the handler.
int signalPipe[2] = {-1, -1};

extern "C" void ForwardSignal(int signal) {
  const int saved = errno;
  const unsigned char number = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &number, 1);
  errno = saved;
}

class StopOnSignals {
 public:
  // False when the pipe cannot be made: the signals then keep their default action.
  bool Install() {
    if (::pipe2(signalPipe, O_CLOEXEC) != 0) return false;
    watcher_ = std::thread([this] {
      unsigned char number = 0;
      for (;;) {
        const ssize_t n = ::read(signalPipe[0], &number, 1);
        if (n < 0 && errno == EINTR) continue;
        if (n != 1 || number == 0) return;  // 0: the run is over
        signal_.store(number);
        source_.request_stop();
      }
    });
    struct sigaction action {};
    action.sa_handler = ForwardSignal;
    ::sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;  // output and waits carry on; the stop request ends the run
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    return true;
  }
  ~StopOnSignals() {
    if (!watcher_.joinable()) return;
    const unsigned char over = 0;
    [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &over, 1);
    watcher_.join();
  }

  std::stop_token Token() const { return source_.get_token(); }
  // The signal that requested the stop; 0 when none did.
  int Signal() const { return signal_.load(); }

 private:
  std::stop_source source_;
  std::atomic<int> signal_{0};
  std::thread watcher_;
};

}  // namespace

int main(int argc, char* argv[]) {
  vantiro::IgnoreFileSizeSignal();  // an output past the file-size limit fails, reported
  ::signal(SIGPIPE, SIG_IGN);
  StopOnSignals stop;
  stop.Install();

  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = vantiro::RunMonitor(args, std::cout, std::cerr, stop.Token());
  std::cout.flush();
  // Ended by a signal: the status a shell gives a command that signal ended.
  if (status == vantiro::kMonitorStopped) return 128 + stop.Signal();
  return status;
}
