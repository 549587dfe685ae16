#pragma once
// Live readings of the recorders being monitored. The first recorder is the instrument image's
// own ([COM] and [CHANNEL]); further ones ([RECORDER2] ...) share its line or use lines of their
// own, and each keeps an image of its own here: for each exchange with one, the process-wide
// image is switched to it and back, on the one thread that talks to the recorders.

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "instrument/CommSettings.h"
#include "instrument/ModbusRtuImpl.h"

namespace vantiro {

// One reading of the live block with what is needed to show it.
struct LiveReading {
  CommSettings settings;
  std::array<std::uint16_t, 6> clock{};
  DateTime time = 0.0;
  std::array<float, kInstrumentChannels> values{};
  std::array<std::array<bool, 4>, kInstrumentChannels> alarms{};  // HH, H, L, LL
  std::array<ChannelConfig, kInstrumentChannels> configs{};
};

// The instrument image as it stands now.
LiveReading SnapshotReading();

// A further recorder being monitored, and its own image.
struct LiveStation {
  RecorderEntry entry;
  CommSettings settings;  // [COM]'s line with its own port and address
  std::array<ChannelConfig, kInstrumentChannels> configs{};
  bool probed = false;  // answered; polled each tick
  bool lost = false;    // stopped answering (or never did): retried at a growing interval
  int failedPolls = 0;  // in a row
  int retries = 0;      // since it was lost
  std::chrono::steady_clock::time_point nextTry{};
};

// The name a further recorder goes by: its own, else "COM2 地址3".
std::string StationName(const LiveStation& station);

// Reads a recorder takes per reply when several are monitored (the first one too, which the caller
// sets with ModbusRtuImpl::SetReadCalls; links of their own get it here): a silent one costs about
// half a second of the line, not three.
inline constexpr int kStationReadCalls = 8;

// The further recorders of `entries` on the line of `main` (its line parameters).
std::vector<LiveStation> MakeStations(const std::vector<RecorderEntry>& entries, const CommSettings& main);

// One tick's outcome for a further recorder.
struct StationReading {
  std::size_t station = 0;
  bool ok = false;
  bool lost = false;  // lost with this tick (or still lost)
  LiveReading reading;
};

// The exchanges with further recorders. `main` is the first recorder's link; a recorder on
// another port gets a link of its own over the same serial library. Runs on the thread that talks
// to the recorders, never beside another exchange.
class StationPoller {
 public:
  explicit StationPoller(ModbusRtuImpl& main) : main_(main) {}
  ~StationPoller();

  // Probes each station not probed yet whose retry is due (all of them at once with `all`), then
  // polls each probed one; the outcome of each.
  std::vector<StationReading> Tick(std::vector<LiveStation>& stations, bool all = false);
  // Probes every station (at the start of monitoring).
  void ProbeAll(std::vector<LiveStation>& stations);
  // Closes the links of their own and ends the exchange running on one of them.
  void CloseAll();
  void Abort();

 private:
  ModbusRtuImpl& LinkFor(const LiveStation& station);
  bool Probe(LiveStation& station);
  bool Poll(LiveStation& station, LiveReading& reading);

  ModbusRtuImpl& main_;
  std::map<int, std::unique_ptr<ModbusRtuImpl>> own_;  // by port
};

}  // namespace vantiro
