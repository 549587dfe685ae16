#include "instrument/ui/LiveMonitor.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>

namespace vantiro {

QString ParityText(std::int32_t parity) {
  if (parity == 0) return QStringLiteral("无校验");
  if (parity == 1) return QStringLiteral("奇校验");
  return QStringLiteral("偶校验");
}

QString TotalInfoText(const CommSettings& s, const std::array<std::uint16_t, 6>& clock) {
  return QString::asprintf(
      "系统总貌  仪表地址(0x%02x) 通讯参数(串口:%d 波特率:%d 停止位:%d 数据位:%d %s)  "
      "仪表时间(%04d-%02d-%02d %02d:%02d:%02d)",
      static_cast<unsigned>(s.address), s.port, s.baudRate, s.stopBits, s.dataBits,
      ParityText(s.parity).toUtf8().constData(), clock[0] + 2000, clock[1], clock[2], clock[3],
      clock[4], clock[5]);
}

std::size_t LiveLineCap(std::size_t channels) {
  return channels == 0 ? 0 : 1200000 / channels;
}

int ReconnectDelayMs(int tries) {
  constexpr int kDelays[] = {1000, 2000, 5000, 10000};
  return kDelays[std::clamp(tries, 0, 3)];
}

int LiveColumnWidth(const QHeaderView& header, int section, int usual) {
  return std::max(usual, header.sectionSizeHint(section));
}

LiveMonitor::LiveMonitor(ModbusRtuImpl& instrument, QObject* parent)
    : QObject(parent), instrument_(instrument), stationPoller_(instrument) {}

LiveMonitor::~LiveMonitor() {
  EndPoll();
  EndProbeWorker();
  if (probing_) ReleaseProbe();
}

LiveMonitor::StartResult LiveMonitor::StartProbe(std::function<void(bool)> finished) {
  return StartProbe(std::move(finished), ProbeCommands());
}

LiveMonitor::StartResult LiveMonitor::StartProbe(std::function<void(bool)> finished,
                                                 ProbeCommands commands) {
  if (probing_) return StartResult::Probing;
  LoadCommSettings(iniPath_);
  stationPoller_.CloseAll();
  stations_ = MakeStations(furtherRecorders, commSettings);
  // With recorders sharing the line, a silent one may hold it only briefly, the first one too.
  instrument_.SetReadCalls(stations_.empty() ? SerialComCtl::kDefaultReadCalls : kStationReadCalls);
  if (!instrument_.OpenLink()) return StartResult::OpenFailed;

  probing_ = true;
  probeFinished_ = std::move(finished);
  heldCommands_.clear();
  for (QAction* action : commands.held) {
    heldCommands_.emplace_back(action, action->isEnabled());
    action->setEnabled(false);
  }
  for (QAction* action : commands.stop) {
    heldCommands_.emplace_back(action, action->isEnabled());
    action->setEnabled(true);
  }
  // The probe can take tens of seconds with a slow recorder; the window goes on meanwhile.
  busyCursor_ = commands.busyCursor;
  if (busyCursor_) QApplication::setOverrideCursor(Qt::BusyCursor);
  const std::uint64_t id = ++probeId_;
  probeThread_ = std::thread([this, id] {
    const bool main = instrument_.Probe();
    stationPoller_.ProbeAll(stations_);
    mainAnswered_ = main;
    const bool probed = main || std::any_of(stations_.begin(), stations_.end(),
                                            [](const LiveStation& s) { return s.probed; });
    QMetaObject::invokeMethod(
        this, [this, id, probed] { DeliverProbe(id, probed); }, Qt::QueuedConnection);
  });
  return StartResult::Probing;
}

void LiveMonitor::DeliverProbe(std::uint64_t id, bool probed) {
  if (id != probeId_ || !probing_) return;  // ended by Stop
  // A modal window opened meanwhile runs its own loop: Run goes on (and resets the view) only once
  // it is closed.
  if (QApplication::activeModalWidget() != nullptr) {
    constexpr int kModalRetryMs = 100;
    QTimer::singleShot(kModalRetryMs, this, [this, id, probed] { DeliverProbe(id, probed); });
    return;
  }
  if (probeThread_.joinable()) probeThread_.join();  // its last act was this call's posting
  ReleaseProbe();
  if (probed) {
    linkOpen = true;
  } else {
    instrument_.CloseLink();
  }
  const std::function<void(bool)> finished = std::move(probeFinished_);
  probeFinished_ = nullptr;
  if (finished) finished(probed);
}

void LiveMonitor::ReleaseProbe() {
  probing_ = false;
  for (const auto& [action, enabled] : heldCommands_) {
    if (action) action->setEnabled(enabled);
  }
  heldCommands_.clear();
  if (busyCursor_) QApplication::restoreOverrideCursor();
  busyCursor_ = false;
}

bool LiveMonitor::StartPoll(std::function<void(const LiveReading&)> apply, std::function<void()> failed,
                            bool mainToo) {
  if (pollThread_.joinable() || probing_) return false;
  const std::uint64_t id = ++pollId_;
  if (!mainToo) {
    apply = nullptr;
    failed = nullptr;
  }
  pollThread_ = std::thread([this, id, mainToo, apply = std::move(apply), failed = std::move(failed)] {
    const bool ok = mainToo && instrument_.PollLive();
    LiveReading reading;
    if (ok) reading = SnapshotReading();
    std::vector<StationReading> stations;
    if (!stations_.empty() && !(mainToo && instrument_.Stopped())) stations = stationPoller_.Tick(stations_);
    QMetaObject::invokeMethod(
        this,
        [this, id, ok, reading, apply, failed, stations = std::move(stations)] {
          if (id != pollId_ || !pollThread_.joinable()) return;  // ended by Stop
          pollThread_.join();
          if (!linkOpen) return;
          if (ok && apply) {
            apply(reading);
          } else if (!ok && failed) {
            failed();
          }
          if (!stations.empty() && stationsDelivered_ && linkOpen) stationsDelivered_(stations);
        },
        Qt::QueuedConnection);
  });
  return true;
}

bool LiveMonitor::StartRetry(std::function<void(bool)> finished) {
  if (pollThread_.joinable() || probing_) return false;
  const std::uint64_t id = ++pollId_;
  pollThread_ = std::thread([this, id, finished = std::move(finished)] {
    instrument_.CloseLink();
    std::string detail;
    bool answered = false;
    if (instrument_.OpenLink()) {
      answered = instrument_.Probe();
    } else {
      detail = instrument_.OpenFailureDetail();
    }
    // The others' tick is not missed for the try.
    std::vector<StationReading> stations;
    if (!stations_.empty() && !instrument_.Stopped()) stations = stationPoller_.Tick(stations_);
    QMetaObject::invokeMethod(
        this,
        [this, id, answered, detail, finished, stations = std::move(stations)] {
          if (id != pollId_ || !pollThread_.joinable()) return;  // ended by Stop
          pollThread_.join();
          retryDetail_ = detail;
          if (!stations.empty() && stationsDelivered_) stationsDelivered_(stations);
          if (finished) finished(answered);
        },
        Qt::QueuedConnection);
  });
  return true;
}

void LiveMonitor::EndPoll() {
  ++pollId_;
  if (pollThread_.joinable()) {
    instrument_.AbortExchange();
    stationPoller_.Abort();
    pollThread_.join();
  }
}

void LiveMonitor::EndProbeWorker() {
  ++probeId_;
  if (probeThread_.joinable()) {
    instrument_.AbortExchange();
    stationPoller_.Abort();
    probeThread_.join();
  }
}

void LiveMonitor::Stop() {
  const bool probing = probing_;
  EndPoll();
  EndProbeWorker();
  if (probing) ReleaseProbe();
  probeFinished_ = nullptr;
  if (linkOpen || probing) {
    instrument_.CloseLink();
    linkOpen = false;
  }
  stationPoller_.CloseAll();
}

}  // namespace vantiro
