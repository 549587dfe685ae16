#pragma once
// recorder-sim as a serial-to-Ethernet gateway on the loopback address: the recorders of its line
// answer what arrives over TCP, either as RTU frames passed through ("RTU over TCP") or as Modbus
// TCP frames (the MBAP header in place of the address and the CRC). Only 127.0.0.1 is listened on.

#include <atomic>
#include <string>

#include "recorder-sim/PtyRecorder.h"

namespace vantiro::sim {

class TcpRecorder {
 public:
  TcpRecorder(RecorderBus models, bool modbusTcp, bool closeMidReply = false);
  ~TcpRecorder();
  TcpRecorder(const TcpRecorder&) = delete;
  TcpRecorder& operator=(const TcpRecorder&) = delete;

  // Listens on 127.0.0.1:`port` (0: a free port); false with a message in `error`.
  bool Listen(int port, std::string& error);
  // "tcp://127.0.0.1:PORT" or "modbus-tcp://127.0.0.1:PORT".
  const std::string& Url() const { return url_; }
  // Serves connections (any number, each on its own) until `stopFd` becomes readable or, when
  // `eofFd` is 0 or more, that descriptor reaches its end.
  void Serve(int stopFd, int eofFd = -1);
  int RepliesSent() const { return repliesSent_.load(); }

 private:
  struct Connection;
  // The replies to the Modbus TCP frames `connection` has gathered; false when the connection is
  // to be closed.
  bool HandleModbusTcp(Connection& connection);
  bool Send(Connection& connection, const RecorderModel& model, const std::vector<std::uint8_t>& bytes);

  RecorderBus models_;
  bool modbusTcp_;
  bool closeMidReply_;
  int listenFd_ = -1;
  std::string url_;
  double startSeconds_ = 0.0;
  std::atomic<int> repliesSent_{0};
};

}  // namespace vantiro::sim
