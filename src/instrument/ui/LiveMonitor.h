#pragma once
// Live monitoring of the recorder behind the main window: the probe at start and one poll per
// tick run on a worker thread so that a silent or unplugged recorder never freezes the window,
// and neither holds the window's input.
// A poll's reading is handed to the GUI thread as a snapshot of the instrument image.

#include <QObject>
#include <QPointer>
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "instrument/CommSettings.h"
#include "instrument/LiveStations.h"
#include "instrument/ModbusRtuImpl.h"

class QAction;
class QHeaderView;

namespace vantiro {

// "无校验", "奇校验" or "偶校验".
QString ParityText(std::int32_t parity);
// The summary line of the overview page.
QString TotalInfoText(const CommSettings& settings, const std::array<std::uint16_t, 6>& clock);
// The most points a live line holds with `channels` lines on the chart; beyond it, its older part
// becomes an overview (CompactLiveLine).
std::size_t LiveLineCap(std::size_t channels);
// How long to wait before the `tries`-th retry (from 0) of a lost link: 1 s, 2 s, 5 s, then 10 s.
int ReconnectDelayMs(int tries);
// The width of column `section` of the data list while it shows live readings: `usual` pixels,
// or what the header needs to show the caption whole where that is more (a channel's caption
// carries its unit, "通道3(mmH2O)").
int LiveColumnWidth(const QHeaderView& header, int section, int usual);

class LiveMonitor : public QObject {
  Q_OBJECT

 public:
  enum class StartResult { Probing, OpenFailed };
  // The window's commands as the probe leaves them: `held` disabled while it runs (what Run would
  // start must wait for it), `stop` enabled (Stop ends it); when it ends, each gets back the
  // enabled state it had.
  struct ProbeCommands {
    std::vector<QAction*> held;
    std::vector<QAction*> stop;
    bool busyCursor = true;  // false: a retry in the background, the cursor left alone
  };

  explicit LiveMonitor(ModbusRtuImpl& instrument = theInstrument, QObject* parent = nullptr);
  ~LiveMonitor() override;  // ends a running probe or poll

  // The settings file; ConfigIniPath() while empty.
  void SetIniPath(std::string path) { iniPath_ = std::move(path); }
  const std::string& IniPath() const { return iniPath_; }

  // Loads the settings and opens the port: OpenFailed when it does not open (nothing runs).
  // Otherwise the probe runs on a worker under a busy cursor while the window goes on taking
  // input, with `commands` held, and `finished` gets its outcome on the GUI thread, once no modal
  // window is open (a dialog's own loop does not see Run's view reset under it): true with
  // linkOpen set, false with the port closed again. Stop ends a running probe at once, and
  // `finished` is then never called. While a probe runs, another Start does nothing.
  StartResult StartProbe(std::function<void(bool probed)> finished, ProbeCommands commands);
  StartResult StartProbe(std::function<void(bool probed)> finished);
  // Whether the first recorder answered the last probe: `finished` gets true when it or any further
  // recorder did, so that one recorder that is not there does not keep the others from being
  // monitored.
  bool MainAnswered() const { return mainAnswered_; }
  // From StartProbe until `finished` is called or Stop ends it.
  bool ProbeRunning() const { return probing_; }
  // Why the last StartProbe could not open the port (the device, the system's reason, what to
  // do).
  std::string OpenFailureDetail() const { return instrument_.OpenFailureDetail(); }
  // Starts a poll on the worker; false (and nothing happens) when one is still running or the
  // probe is. On success `apply` gets the reading on the GUI thread, on failure `failed` is called
  // there; a poll ended by Stop gives nothing.
  // With `mainToo` false the first recorder is left out (its link is lost and being retried) and
  // only the further ones are polled: neither `apply` nor `failed` is called.
  bool StartPoll(std::function<void(const LiveReading&)> apply, std::function<void()> failed = {},
                 bool mainToo = true);
  // While monitoring, the first recorder's link lost: on the worker, its port is closed, opened
  // again and the recorder probed; `finished` gets the outcome on the GUI thread. False (nothing
  // happens) while a poll or the probe runs. RetryDetail says why the open failed.
  bool StartRetry(std::function<void(bool answered)> finished);
  std::string RetryDetail() const { return retryDetail_; }
  // The further recorders ([RECORDER2] ...): probed with the first at StartProbe (a silent one
  // does not fail it), polled after it at each poll, each lost and retried on its own; `delivered`
  // gets each poll's outcomes on the GUI thread, after `apply` or `failed`.
  void SetStationsDelivered(std::function<void(const std::vector<StationReading>&)> delivered) {
    stationsDelivered_ = std::move(delivered);
  }
  // As the last probe or poll left them; read on the GUI thread while no worker runs.
  const std::vector<LiveStation>& Stations() const { return stations_; }
  bool PollRunning() const { return pollThread_.joinable(); }
  // Ends a running probe or poll at once (the exchange is aborted), waits for its worker and
  // closes the port; a probe's commands get their states back.
  void Stop();

 private:
  void EndPoll();
  void EndProbeWorker();
  void DeliverProbe(std::uint64_t id, bool probed);
  // The probe is over: the held commands and the cursor as they were.
  void ReleaseProbe();

  ModbusRtuImpl& instrument_;
  std::string iniPath_;
  std::thread pollThread_;
  std::uint64_t pollId_ = 0;
  std::thread probeThread_;
  std::uint64_t probeId_ = 0;
  bool probing_ = false;
  std::function<void(bool)> probeFinished_;
  std::vector<std::pair<QPointer<QAction>, bool>> heldCommands_;
  bool busyCursor_ = false;
  std::vector<LiveStation> stations_;
  StationPoller stationPoller_;
  std::function<void(const std::vector<StationReading>&)> stationsDelivered_;
  std::string retryDetail_;
  bool mainAnswered_ = false;
};

}  // namespace vantiro
