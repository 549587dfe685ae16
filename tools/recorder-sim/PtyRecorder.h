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
#include <memory>
#include <utility>
#include <string>
#include <thread>
#include <vector>

#include "recorder-sim/RecorderModel.h"

namespace vantiro::sim {

// A request frame is complete when this long passes without a byte while one is being gathered
// (only a block frame of unusual length waits for it; a partial frame of another kind is dropped).
inline constexpr int kFrameGapMs = 10;

// The recorders on one line: the one a frame is addressed to answers it.
using RecorderBus = std::vector<RecorderModel*>;

class PtyRecorder {
 public:
  explicit PtyRecorder(RecorderModel& model);
  explicit PtyRecorder(RecorderBus models);
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
  void Send(const RecorderModel& model, const std::vector<std::uint8_t>& reply);

  RecorderBus models_;
  int master_ = -1;
  int slave_ = -1;  // held so that the terminal stays up between the program's opens
  std::string devicePath_;
  double startSeconds_ = 0.0;  // of the steady clock
  std::atomic<int> repliesSent_{0};
};

// The reply of the recorder of `models` a frame is addressed to, and that recorder; no reply (and
// the first recorder) when none answers.
std::pair<RecorderModel*, std::vector<std::uint8_t>> AnswerOnBus(const RecorderBus& models,
                                                                 const std::vector<std::uint8_t>& frame,
                                                                 double startSeconds);
// Waits before a reply as the recorder's --delay and --stall ask.
void DelayReply(const RecorderModel& model);

// The moment now: the host's local clock, and the motion's position `startSeconds` after the
// steady clock's reading (or the frozen position).
Moment MomentNow(const SimOptions& options, double startSeconds);
double SteadySeconds();

class TcpRecorder;

// A simulated recorder (or several sharing a line) serving on its own thread from Start to Stop
// (or destruction): on a pseudo-terminal, or as a gateway on the loopback address when the first
// recorder's options ask for --tcp or --modbus-tcp.
class SimulatorThread {
 public:
  explicit SimulatorThread(SimOptions options = {}, ChannelTable channels = DefaultChannels());
  // Several recorders on one line, each with its options (its address above all) and channels;
  // the line's kind comes from the first.
  explicit SimulatorThread(std::vector<std::pair<SimOptions, ChannelTable>> recorders);
  ~SimulatorThread();
  SimulatorThread(const SimulatorThread&) = delete;
  SimulatorThread& operator=(const SimulatorThread&) = delete;

  bool Start(std::string& error);
  void Stop();
  // The device the program opens: the terminal's path, or the gateway's tcp:// or modbus-tcp://
  // address.
  const std::string& DevicePath() const;
  // Replies written so far, while serving too.
  int RepliesSent() const;
  // Read only after Stop (or, for counts, while serving).
  const RecorderModel& Model(std::size_t index = 0) const { return *models_[index]; }

 private:
  std::vector<std::unique_ptr<RecorderModel>> models_;
  std::unique_ptr<PtyRecorder> pty_;
  std::unique_ptr<TcpRecorder> tcp_;
  int stopPipe_[2] = {-1, -1};
  std::thread thread_;
};

// recorder-sim: prints the device path as its first line on `out`, then serves until `stopFd` is
// readable (or standard input ends, with --exit-on-eof). 0 after a clean end, 1 when the terminal
// or the link cannot be made, 2 for a usage error or an unusable channel file.
int RunRecorderSim(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                   int stopFd);

}  // namespace vantiro::sim
