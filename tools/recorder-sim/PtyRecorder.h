#pragma once
// recorder-sim on a pseudo-terminal: the recorder model answers whatever the program writes to the
// terminal's slave device. The simulator keeps the slave open itself, so the program may open and
// close it as often as it likes.
//
//   PtyRecorder      the terminal and the serving loop (one thread)
//   SimulatorThread  a PtyRecorder serving on a thread of its own, for tests and benchmarks
//   RunRecorderSim   the recorder-sim command

#include <atomic>
#include <iosfwd>
#include <string>
#include <thread>
#include <vector>

#include "recorder-sim/RecorderModel.h"

namespace vantiro::sim {

// A request frame is complete when this long passes without a byte while one is being gathered
// (only a block frame of unusual length waits for it; a partial frame of another kind is dropped).
inline constexpr int kFrameGapMs = 10;

class PtyRecorder {
 public:
  explicit PtyRecorder(RecorderModel& model);
  ~PtyRecorder();
  PtyRecorder(const PtyRecorder&) = delete;
  PtyRecorder& operator=(const PtyRecorder&) = delete;

  // Opens the pseudo-terminal in raw mode; false with a message in `error`.
  bool Open(std::string& error);
  // The slave device the program opens.
  const std::string& DevicePath() const { return devicePath_; }

  // Answers frames until `stopFd` becomes readable or, when `eofFd` is 0 or more, that descriptor
  // reaches its end.
  void Serve(int stopFd, int eofFd = -1);
  // Replies written to the terminal so far; may be read while serving.
  int RepliesSent() const { return repliesSent_.load(); }

 private:
  void Handle(const std::vector<std::uint8_t>& frame);
  void Send(const std::vector<std::uint8_t>& reply);

  RecorderModel& model_;
  int master_ = -1;
  int slave_ = -1;  // held so that the terminal stays up between the program's opens
  std::string devicePath_;
  double startSeconds_ = 0.0;  // of the steady clock
  std::atomic<int> repliesSent_{0};
};

// The moment now: the host's local clock, and the motion's position `startSeconds` after the
// steady clock's reading (or the frozen position).
Moment MomentNow(const SimOptions& options, double startSeconds);
double SteadySeconds();

// A simulated recorder serving on its own thread from Start to Stop (or destruction).
class SimulatorThread {
 public:
  explicit SimulatorThread(SimOptions options = {}, ChannelTable channels = DefaultChannels());
  ~SimulatorThread();
  SimulatorThread(const SimulatorThread&) = delete;
  SimulatorThread& operator=(const SimulatorThread&) = delete;

  bool Start(std::string& error);
  void Stop();
  const std::string& DevicePath() const { return recorder_.DevicePath(); }
  // Replies written so far, while serving too.
  int RepliesSent() const { return recorder_.RepliesSent(); }
  // Read only after Stop.
  const RecorderModel& Model() const { return model_; }

 private:
  RecorderModel model_;
  PtyRecorder recorder_;
  int stopPipe_[2] = {-1, -1};
  std::thread thread_;
};

// recorder-sim: prints the device path as its first line on `out`, then serves until `stopFd` is
// readable (or standard input ends, with --exit-on-eof). 0 after a clean end, 1 when the terminal
// or the link cannot be made, 2 for a usage error or an unusable channel file.
int RunRecorderSim(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   int stopFd);

}  // namespace vantiro::sim
