#pragma once
// A simulated recorder serving on a pseudo-terminal in this process, and a config.ini in a fresh
// directory whose port 1 is that terminal. Whatever talks to it goes through the real termios
// layer.

#include <gtest/gtest.h>

#include <string>

#include "support/TempDir.h"
#include "recorder-sim/PtyRecorder.h"

namespace vantiro::testing {

// Default options changed by `change`.
template <typename Change>
sim::SimOptions SimOptionsWith(Change change) {
  sim::SimOptions options;
  change(options);
  return options;
}

// The [COM] section the tests use: COM1, 9600 bits per second, 1 stop bit, 8 data bits, the
// parity given (0 none, 1 odd, 2 even; none unless asked).
inline std::string ComSection(int address, int parity = 0) {
  return "[COM]\nport=0\nbaudRate=2\nstopBit=0\ndataBit=3\ncheckType=" + std::to_string(parity) +
         "\naddress=" + std::to_string(address) + "\n";
}

// "[CHANNEL]" with exactly the channels given enabled (all when `enabled` is empty).
inline std::string ChannelSection(std::initializer_list<int> enabled) {
  std::string text = "[CHANNEL]\n";
  for (int channel = 1; channel <= 16; ++channel) {
    bool on = enabled.size() == 0;
    for (const int e : enabled) on = on || e == channel;
    text += (channel < 10 ? "CH0" : "CH") + std::to_string(channel) + (on ? "=1\n" : "=0\n");
  }
  return text;
}

// "[RECORDERn]" of a further recorder at `address` on port `port` (0 = COM1), with exactly the
// channels given (all when empty) and its name when one is given.
inline std::string RecorderSection(int n, int address, std::initializer_list<int> channels = {},
                                   const std::string& name = {}, int port = 0) {
  std::string text = "[RECORDER" + std::to_string(n) + "]\nport=" + std::to_string(port) +
                     "\naddress=" + std::to_string(address) + "\n";
  if (!name.empty()) text += "name=" + name + "\n";
  return text + ChannelSection(channels).substr(std::string("[CHANNEL]\n").size());
}

class SimulatedLine {
 public:
  explicit SimulatedLine(sim::SimOptions options = {},
                         sim::ChannelTable channels = sim::DefaultChannels())
      : simulator_(std::move(options), channels) {
    std::string error;
    started_ = simulator_.Start(error);
    if (!started_) ADD_FAILURE() << "simulator: " << error;
  }

  // Several recorders on the one line.
  explicit SimulatedLine(std::vector<std::pair<sim::SimOptions, sim::ChannelTable>> recorders)
      : simulator_(std::move(recorders)) {
    std::string error;
    started_ = simulator_.Start(error);
    if (!started_) ADD_FAILURE() << "simulator: " << error;
  }

  bool Started() const { return started_; }
  const std::string& DevicePath() const { return simulator_.DevicePath(); }
  sim::SimulatorThread& Simulator() { return simulator_; }
  const TempDir& Dir() const { return dir_; }

  // Writes config.ini with [COM], the given [CHANNEL] text and port 1 mapped to the terminal;
  // its path.
  std::string WriteConfig(int address = 1, const std::string& channels = ChannelSection({}),
                          int parity = 0) {
    WriteText(ini_,
              ComSection(address, parity) + channels + "[DEVICE]\nCOM1=" + DevicePath() + "\n");
    return ini_;
  }

 private:
  TempDir dir_;
  std::string ini_ = dir_.File("config.ini");
  sim::SimulatorThread simulator_;
  bool started_ = false;
};

}  // namespace vantiro::testing
