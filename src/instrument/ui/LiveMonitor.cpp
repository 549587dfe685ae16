#include "instrument/ui/LiveMonitor.h"

#include <QApplication>
#include <QEventLoop>
#include <QHeaderView>
#include <algorithm>
#include <QMetaObject>

namespace vantiro {

LiveReading SnapshotReading() {
  LiveReading r;
  r.settings = commSettings;
  r.clock = instrumentClock;
  r.time = instrumentTime;
  r.values = liveValues;
  for (int i = 0; i < kInstrumentChannels; ++i) {
    r.alarms[i] = {alarmHH[i] != 0, alarmH[i] != 0, alarmL[i] != 0, alarmLL[i] != 0};
  }
  r.configs = channelConfig;
  return r;
}

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

int LiveColumnWidth(const QHeaderView& header, int section, int usual) {
  return std::max(usual, header.sectionSizeHint(section));
}

LiveMonitor::LiveMonitor(ModbusRtuImpl& instrument, QObject* parent)
    : QObject(parent), instrument_(instrument) {}

LiveMonitor::~LiveMonitor() { EndPoll(); }

LiveMonitor::StartResult LiveMonitor::Start() {
  LoadCommSettings(iniPath_);
  if (!instrument_.OpenLink()) return StartResult::OpenFailed;
  // The probe can take tens of seconds: the window keeps painting but takes no input meanwhile.
  QApplication::setOverrideCursor(Qt::BusyCursor);
  QEventLoop loop;
  std::atomic<bool> done = false;
  bool probed = false;
  std::thread probe([&] {
    probed = instrument_.Probe();
    done = true;
    QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
  });
  while (!done) loop.exec(QEventLoop::ExcludeUserInputEvents);
  probe.join();
  QApplication::restoreOverrideCursor();
  if (!probed) {
    instrument_.CloseLink();
    return StartResult::ProbeFailed;
  }
  linkOpen = true;
  return StartResult::Started;
}

bool LiveMonitor::StartPoll(std::function<void(const LiveReading&)> apply) {
  if (pollThread_.joinable()) return false;
  const std::uint64_t id = ++pollId_;
  pollThread_ = std::thread([this, id, apply = std::move(apply)] {
    const bool ok = instrument_.PollLive();
    LiveReading reading;
    if (ok) reading = SnapshotReading();
    QMetaObject::invokeMethod(
        this,
        [this, id, ok, reading, apply] {
          if (id != pollId_ || !pollThread_.joinable()) return;  // ended by Stop
          pollThread_.join();
          if (ok && linkOpen) apply(reading);
        },
        Qt::QueuedConnection);
  });
  return true;
}

void LiveMonitor::EndPoll() {
  ++pollId_;
  if (pollThread_.joinable()) {
    instrument_.AbortExchange();
    pollThread_.join();
  }
}

void LiveMonitor::Stop() {
  EndPoll();
  if (linkOpen) {
    instrument_.CloseLink();
    linkOpen = false;
  }
}

}  // namespace vantiro
