#pragma once
// Live monitoring of the recorder behind the main window: the probe at start and one poll per
// tick run on a worker thread so that a silent or unplugged recorder never freezes the window.
// A poll's reading is handed to the GUI thread as a snapshot of the instrument image.

#include <QObject>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

#include "instrument/CommSettings.h"
#include "instrument/ModbusRtuImpl.h"

class QHeaderView;

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

// "无校验", "奇校验" or "偶校验".
QString ParityText(std::int32_t parity);
// The summary line of the overview page.
QString TotalInfoText(const CommSettings& settings, const std::array<std::uint16_t, 6>& clock);
// The most points a live line holds with `channels` lines on the chart (more empty it).
std::size_t LiveLineCap(std::size_t channels);
// The width of column `section` of the data list while it shows live readings: `usual` pixels,
// or what the header needs to show the caption whole where that is more (a channel's caption
// carries its unit, "通道3(mmH2O)").
int LiveColumnWidth(const QHeaderView& header, int section, int usual);

class LiveMonitor : public QObject {
  Q_OBJECT

 public:
  enum class StartResult { Started, OpenFailed, ProbeFailed };

  explicit LiveMonitor(ModbusRtuImpl& instrument = theInstrument, QObject* parent = nullptr);
  ~LiveMonitor() override;  // ends a running poll

  // The settings file; ConfigIniPath() while empty.
  void SetIniPath(std::string path) { iniPath_ = std::move(path); }

  // Loads the settings, opens the port and probes the recorder on a worker while the window's
  // input is held under a busy cursor. The port is closed again when the probe fails; on success
  // linkOpen is set.
  StartResult Start();
  // Why the last Start could not open the port (the device, the system's reason, what to do).
  std::string OpenFailureDetail() const { return instrument_.OpenFailureDetail(); }
  // Starts a poll on the worker; false (and nothing happens) when one is still running. On success
  // `apply` gets the reading on the GUI thread; a failed poll, or one ended by Stop, gives nothing.
  bool StartPoll(std::function<void(const LiveReading&)> apply);
  bool PollRunning() const { return pollThread_.joinable(); }
  // Ends a running poll at once, waits for it and closes the port.
  void Stop();

 private:
  void EndPoll();

  ModbusRtuImpl& instrument_;
  std::string iniPath_;
  std::thread pollThread_;
  std::uint64_t pollId_ = 0;
};

}  // namespace vantiro
