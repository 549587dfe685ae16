// The main window's live monitoring: Run, the poll of each tick, Stop; a lost link shown and retried
// at a growing interval; the readings kept in the archive.
#include <QAction>
#include <QDateTime>
#include <QHeaderView>
#include <QLabel>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <limits>

#include "app/ArchiveCommands.h"
#include "app/TMainForm.h"
#include "archive/ui/ArchiveBrowser.h"
#include "chart/ui/TrendChart.h"
#include "instrument/CommSettings.h"
#include "instrument/LiveArchive.h"
#include "instrument/ModbusRtuImpl.h"
#include "instrument/ui/LiveMonitor.h"
#include "instrument/ui/OverviewPage.h"
#include "workbench/ui/DataListModel.h"
#include "workbench/ui/TablePage.h"

namespace vantiro {
namespace {

// Failed polls in a row that make the link lost (two poll intervals without a reading).
constexpr int kFailedPollsForLoss = 2;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Live monitoring

void TMainForm::RunButtonClick() {
  if (Monitor->ProbeRunning() || monitoring_ || waitingForRecorder_) return;
  reconnectTries_ = 0;
  // The probe runs on a worker and the window goes on taking input: the commands Run disables
  // wait for it, and Stop ends it. RunProbeFinished goes on from there.
  const LiveMonitor::StartResult started = Monitor->StartProbe(
      [this](bool probed) { RunProbeFinished(probed); },
      {CommandsOffWhileLive(), {StopButton, StopMenuItem}});
  if (started == LiveMonitor::StartResult::OpenFailed) {
    // A recorder (or its adapter) that is not there yet is waited for.
    WaitForRecorder();
    BeginReconnect(QStringLiteral("串口初始化失败! ") + QString::fromStdString(Monitor->OpenFailureDetail()));
  }
}

void TMainForm::RunProbeFinished(bool probed) {
  if (!probed) {
    const QString reason = QStringLiteral("下位机无响应，下位机地址:%1").arg(commSettings.address);
    if (!monitoring_) WaitForRecorder();
    BeginReconnect(reason);
    return;
  }
  if (monitoring_) {  // a lost link found again: polling goes on where it was
    EndReconnect();
    OnTimer();
    return;
  }
  EndReconnect();
  waitingForRecorder_ = false;
  monitoring_ = true;
  liveMode = true;
  liveChannels.clear();
  Overview->TotalInfo->show();
  for (int n = 1; n <= 16; ++n) {
    if (!channelEnabled[n - 1]) continue;
    Overview->Panels[liveChannels.size()]->show();
    liveChannels.push_back(static_cast<std::int16_t>(n));
  }
  ResetView();
  Chart->SetVerticalCursor(false, Chart->VerticalCursorCross());
  Chart->SetHorizontalCursorActive(false);
  Chart->SetZoomAllowed(false);
  Chart->SetScrollAllowed(false);

  StopButton->setEnabled(true);
  StopMenuItem->setEnabled(true);
  archive_->Forget();
  for (QAction* action : CommandsOffWhileLive()) action->setEnabled(false);
  SetPageButtons(PageButtons{});
  savedPageButtons = PageButtons{false, false, false, false};
  PageControl->setTabVisible(PageControl->indexOf(SystemCaseTabSheet), true);
  SystemCaseMenuItem->setVisible(true);

  Chart->SetBottomIncrement(kOneSecond);
  Chart->SetBottomAutomatic(true);
  Chart->SetLeftAutomatic(true);

  std::vector<TableColumn> columns = {{"序号", 50}, {"时间", 120}};
  std::vector<ChartLine> lines;
  seriesList.clear();
  for (std::size_t k = 0; k < liveChannels.size(); ++k) {
    const int n = liveChannels[k];
    ChartLine line;
    line.title = QString::asprintf("通道%02d", n).toStdString();
    line.unit = std::string(ChannelUnitName(channelConfig[n - 1]));  // for the unit scale and the span panel
    line.palettePosition = k;
    seriesList.push_back(ChartSeriesInfo{line.title, std::string(), k});
    lines.push_back(std::move(line));
    columnChannels.push_back(static_cast<std::int32_t>(k));
    columns.push_back({QString::asprintf("通道%d(", n).toStdString() +
                           std::string(ChannelUnitName(channelConfig[n - 1])) + ")",
                       80});
  }
  AddStationLines(lines);
  Chart->AddLines(std::move(lines), std::numeric_limits<double>::lowest());
  // Limits typed for the lines while monitoring are kept for this recorder's link.
  SetRecording("live:" + RecorderLinkName(commSettings.port, commSettings.address), {});
  Table->ShowColumns(columns, [this](int section, int usual) {
    return LiveColumnWidth(*DataListView->horizontalHeader(), section, usual);
  });
  pageStart = 0;
  DataListViewModel->SetPage(0, 1);
  // The probe has just been answered: the link's age counts from now.
  lastReadingAt_ = std::chrono::steady_clock::now();
  lastReadingWall_ = QDateTime::currentDateTime();
  linkLost_ = false;
  StartRecording();
  Timer->start();
  // Only further recorders answered: the first is lost from the start and retried.
  if (!Monitor->MainAnswered()) {
    lastReadingAt_ -= std::chrono::seconds(10);  // no reading of it: shown as lost at once
    LinkAgeCheck();
    BeginReconnect(QStringLiteral("下位机无响应，下位机地址:%1").arg(commSettings.address));
  }
}

std::vector<QAction*> TMainForm::CommandsOffWhileLive() const {
  return {ComSettingButton, ComSettingMenuItem, RunButton, RunMenuItem, OpenFileButton, OpenFileMenuItem,
          DataFilterButton, ImportDataMenuItem, OEMDownLoad, OpenArchiveButton, OpenArchiveMenuItem,
          ImportFilesToArchiveMenuItem, ImportFolderToArchiveMenuItem};
}

void TMainForm::OnTimer() {
  if (reconnecting_) {  // the ages go on counting while the link is retried
    LinkAgeCheck();
    // The further recorders go on being polled while the first one's link is retried.
    if (monitoring_ && !Monitor->Stations().empty()) Monitor->StartPoll({}, {}, false);
    return;
  }
  if (!linkOpen) return;
  LinkAgeCheck();
  if (reconnecting_) return;  // just found lost
  Monitor->StartPoll([this](const LiveReading& reading) { ApplyLiveReading(reading); },
                     [this] {
                       // No reading this tick: a hole in the archive. Polls that keep failing
                       // lose the link: the port is reopened and the recorder asked again, at
                       // a growing interval, until it answers.
                       if (liveArchive_) liveArchive_->Hole();
                       if (++failedPolls_ >= kFailedPollsForLoss) {
                         BeginReconnect(QStringLiteral("下位机无响应，下位机地址:%1").arg(commSettings.address));
                       }
                     });
}

void TMainForm::LinkAgeCheck() {
  if (!monitoring_) return;
  const auto age = std::chrono::steady_clock::now() - lastReadingAt_;
  const auto interval = std::chrono::milliseconds(Timer->interval());
  if (age <= 2 * interval) return;
  const int seconds = static_cast<int>(std::chrono::duration_cast<std::chrono::seconds>(age).count());
  for (std::size_t k = 0; k < liveChannels.size(); ++k) {
    Overview->SetPanelStale(static_cast<int>(k), true, QString::asprintf("通道%.2d", liveChannels[k]), seconds);
  }
  if (linkLost_) return;
  linkLost_ = true;
  Overview->TotalInfo->setText(
      QStringLiteral("通讯中断  最后数据(%1)").arg(lastReadingWall_.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
  // No reading, no line: each line breaks after its last point.
  for (std::size_t k = 0; k < Chart->LineCount(); ++k) {
    if (!Chart->Line(k).points.empty()) Chart->AppendGap(k, lastReadingTime_ + kOneSecond, false);
  }
}

void TMainForm::ApplyLiveReading(const LiveReading& r) {
  failedPolls_ = 0;
  if (liveArchive_) {
    std::vector<float> values;
    for (const std::int16_t n : liveChannels) values.push_back(r.values[static_cast<std::size_t>(n - 1)]);
    liveArchive_->Add(ToArchiveMs(r.time), values);
  }
  lastReadingAt_ = std::chrono::steady_clock::now();
  lastReadingWall_ = QDateTime::currentDateTime();
  lastReadingTime_ = r.time;
  if (linkLost_) {
    linkLost_ = false;
    for (std::size_t k = 0; k < liveChannels.size(); ++k) Overview->SetPanelStale(static_cast<int>(k), false);
  }
  Overview->TotalInfo->setText(TotalInfoText(r.settings, r.clock));
  channels.clear();
  std::vector<CellRef> cells;
  const QString legend = QStringLiteral("时间:") +
                         QString::fromStdString(FormatDateTime(r.time, DatePattern::Cursor));
  const std::size_t cap = LiveLineCap(Chart->LineCount());
  for (std::size_t k = 0; k < liveChannels.size(); ++k) {
    const int n = liveChannels[k];
    const int index = n - 1;
    const double v = r.values[index];
    const ChannelConfig& config = r.configs[index];
    const std::string unit(ChannelUnitName(config));
    const QString u = QString::fromStdString(unit);
    const int panel = static_cast<int>(k);
    Overview->SetChildText(panel, OverviewPage::kValueText, QString::asprintf("%0.3f ", v) + u);
    Overview->SetChildText(panel, OverviewPage::kChannelName, QString::asprintf("通道%.2d", n));
    for (int lamp = 0; lamp < 4; ++lamp) Overview->SetLamp(panel, lamp, r.alarms[index][lamp]);
    Overview->SetChildText(panel, OverviewPage::kLimitHH,
                           QString::asprintf("%0.3f", static_cast<double>(config.limitHH)));
    Overview->SetChildText(panel, OverviewPage::kLimitL,
                           QString::asprintf("%0.3f", static_cast<double>(config.limitL)));
    Overview->SetChildText(panel, OverviewPage::kLimitH,
                           QString::asprintf("%0.3f", static_cast<double>(config.limitH)));
    Overview->SetChildText(panel, OverviewPage::kLimitLL,
                           QString::asprintf("%0.3f", static_cast<double>(config.limitLL)));
    Chart->SetLegendTitle(legend);
    if (k < Chart->LineCount()) {
      Chart->AppendPoint(k, r.time, v, false);
      Chart->SetLineTitle(k, QString::fromStdString(seriesList[k].title) +
                                 QString::asprintf(" %0.3f", v) + u);
      KeepLiveLineBounded(k, cap);
    }
    ChannelInfo channel;
    channel.number = n;
    channel.unit = unit;
    channel.times = {r.time};
    channel.values = {static_cast<float>(v)};
    channels.push_back(std::move(channel));
    cells.push_back(CellRef{static_cast<std::int32_t>(k), 0});
  }
  Chart->RescaleAutomaticAxes();  // once for all the new points
  // The recorder's own high and low limits give the live lines' alarm bands and the span panel's
  // times beyond them (a channel whose limits are not set apart has none).
  liveLimits_.clear();
  for (const std::int16_t n : liveChannels) {
    const ChannelConfig& config = r.configs[static_cast<std::size_t>(n - 1)];
    if (config.limitH > config.limitL) {
      liveLimits_[n] = ChannelLimits{static_cast<double>(config.limitH), static_cast<double>(config.limitL)};
    }
  }
  RefreshAlarms();
  RefreshSpanPanel();
  tableRows.clear();
  tableRows.OpenRow(r.time);
  for (const CellRef& cell : cells) tableRows.AddCell(cell);
  tableRows.CloseRow();
  DataListViewModel->SetPage(0, 1);
}

void TMainForm::StopButtonClick() {
  const bool probing = Monitor->ProbeRunning();
  const bool session = monitoring_ || waitingForRecorder_;
  Timer->stop();
  EndReconnect();
  Monitor->Stop();
  EndRecording();
  waitingForRecorder_ = false;
  monitoring_ = false;
  if (probing && !session) return;  // the window is as it was before Run
  Overview->HideAll();
  PageControl->setTabVisible(PageControl->indexOf(SystemCaseTabSheet), false);
  SystemCaseMenuItem->setVisible(false);
  StopButton->setEnabled(false);
  StopMenuItem->setEnabled(false);
  for (QAction* action : CommandsOffWhileLive()) {
    if (action != DataFilterButton) action->setEnabled(true);
  }
  RunButton->setChecked(false);
  Chart->SetScrollAllowed(true);
}

// ---------------------------------------------------------------------------------------------
// A lost link, retried

void TMainForm::WaitForRecorder() {
  if (waitingForRecorder_) return;
  waitingForRecorder_ = true;
  for (QAction* action : CommandsOffWhileLive()) action->setEnabled(false);
  StopButton->setEnabled(true);
  StopMenuItem->setEnabled(true);
  PageControl->setTabVisible(PageControl->indexOf(SystemCaseTabSheet), true);
  SystemCaseMenuItem->setVisible(true);
  Overview->TotalInfo->show();
  lostSince_ = QDateTime::currentDateTime();
  Timer->start();  // the loss's age on show
}

void TMainForm::BeginReconnect(const QString& reason) {
  if (!reconnecting_) {
    reconnecting_ = true;
    if (monitoring_) lostSince_ = lastReadingWall_;
    if (liveArchive_) liveArchive_->Hole();
  }
  // Before monitoring started, the port is closed and each try opens it anew (StartProbe); while
  // monitoring, each try reopens it on the worker (StartRetry) and the other recorders go on.
  if (!monitoring_) Monitor->Stop();
  linkReason_ = reason;
  const int delay = ReconnectDelayMs(reconnectTries_++);
  reconnectTimer_->start(delay);
  if (!monitoring_) Overview->TotalInfo->setText(QStringLiteral("通讯中断  ") + reason);
  linkStatus_->setText(QStringLiteral("通讯中断(%1起)  %2秒后重试")
                           .arg(lostSince_.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")))
                           .arg(delay / 1000));
  linkStatus_->setToolTip(reason);
  linkStatus_->show();
}

void TMainForm::RetryLink() {
  if (!reconnecting_) return;
  linkStatus_->setText(QStringLiteral("通讯中断(%1起)  正在重试")
                           .arg(lostSince_.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))));
  if (monitoring_) {
    const bool started = Monitor->StartRetry([this](bool answered) {
      if (!reconnecting_) return;
      if (answered) {
        RunProbeFinished(true);
        return;
      }
      const std::string detail = Monitor->RetryDetail();
      BeginReconnect(detail.empty() ? QStringLiteral("下位机无响应，下位机地址:%1").arg(commSettings.address)
                                    : QStringLiteral("串口初始化失败! ") + QString::fromStdString(detail));
    });
    if (!started) reconnectTimer_->start(200);  // a poll of the others still runs: soon again
    return;
  }
  LiveMonitor::ProbeCommands quiet;
  quiet.busyCursor = false;
  const LiveMonitor::StartResult started =
      Monitor->StartProbe([this](bool probed) { RunProbeFinished(probed); }, quiet);
  if (started == LiveMonitor::StartResult::OpenFailed) {
    BeginReconnect(QStringLiteral("串口初始化失败! ") + QString::fromStdString(Monitor->OpenFailureDetail()));
  }
}

void TMainForm::EndReconnect() {
  failedPolls_ = 0;
  reconnecting_ = false;
  reconnectTries_ = 0;
  reconnectTimer_->stop();
  linkStatus_->hide();
}

bool TMainForm::Reconnecting() const { return reconnecting_; }

void TMainForm::KeepLiveLineBounded(std::size_t line, std::size_t cap) {
  if (Chart->Line(line).points.size() <= cap) return;
  // The newest half exact, everything older as an overview of a quarter of the cap's points: the
  // whole session stays on the chart, and the line grows again for a quarter of the cap.
  ChartLine compact = CompactLiveLine(Chart->Line(line), cap / 2, cap / 4);
  if (compact.ascending) {
    Chart->ReplaceLineData(line, std::move(compact));
  } else {
    Chart->EmptyLine(line);  // the recorder's clock went back: no overview in time order to make
  }
}

// ---------------------------------------------------------------------------------------------
// Further recorders

void TMainForm::AddStationLines(std::vector<ChartLine>& lines) {
  stationViews_.clear();
  std::vector<QString> names;
  std::vector<std::vector<int>> channels;
  for (const LiveStation& station : Monitor->Stations()) {
    LiveStationView view;
    view.name = QString::fromStdString(StationName(station));
    for (int n = 1; n <= 16; ++n) {
      if (!station.entry.channels[static_cast<std::size_t>(n - 1)]) continue;
      view.channels.push_back(n);
      ChartLine line;
      line.title = (view.name + QString::asprintf(" 通道%02d", n)).toStdString();
      line.palettePosition = lines.size();
      view.lines.push_back(lines.size());
      lines.push_back(std::move(line));
    }
    view.lost = !station.probed;
    names.push_back(view.name);
    channels.push_back(view.channels);
    stationViews_.push_back(std::move(view));
  }
  Overview->ShowStations(names, channels);
  for (std::size_t i = 0; i < stationViews_.size(); ++i) {
    if (stationViews_[i].lost) {
      Overview->SetStationState(static_cast<int>(i), QStringLiteral("通讯中断  等待仪表应答"), true);
    }
  }
  Monitor->SetStationsDelivered([this](const std::vector<StationReading>& readings) { ApplyStationReadings(readings); });
}

void TMainForm::ApplyStationReadings(const std::vector<StationReading>& readings) {
  const std::size_t cap = LiveLineCap(Chart->LineCount());
  for (const StationReading& sr : readings) {
    if (sr.station >= stationViews_.size()) continue;
    LiveStationView& view = stationViews_[sr.station];
    const int index = static_cast<int>(sr.station);
    if (!sr.ok) {
      if (view.archive) view.archive->Hole();
      if (sr.lost && !view.lost) {
        view.lost = true;
        Overview->SetStationState(index,
                                  QStringLiteral("通讯中断  最后数据(%1)")
                                      .arg(view.lastWall.isValid() ? view.lastWall.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))
                                                                   : QStringLiteral("无")),
                                  true);
        for (const std::size_t line : view.lines) {
          if (line < Chart->LineCount() && !Chart->Line(line).points.empty()) {
            Chart->AppendGap(line, view.lastTime + kOneSecond, false);
          }
        }
      }
      continue;
    }
    const LiveReading& r = sr.reading;
    view.lost = false;
    view.lastWall = QDateTime::currentDateTime();
    view.lastTime = r.time;
    Overview->SetStationState(index, QStringLiteral("仪表时间(%1)").arg(QString::fromStdString(FormatDateTime(r.time, DatePattern::Cursor))),
                              false);
    std::vector<float> values;
    for (std::size_t k = 0; k < view.channels.size(); ++k) {
      const std::size_t n = static_cast<std::size_t>(view.channels[k] - 1);
      const double v = r.values[n];
      values.push_back(r.values[n]);
      const QString unit = QString::fromStdString(std::string(ChannelUnitName(r.configs[n])));
      Overview->SetStationRow(index, static_cast<int>(k), QString::asprintf("%0.3f ", v) + unit, r.alarms[n]);
      const std::size_t line = view.lines[k];
      if (line < Chart->LineCount()) {
        Chart->AppendPoint(line, r.time, v, false);
        Chart->SetLineTitle(line, view.name + QString::asprintf(" 通道%02d %0.3f", view.channels[k], v) + unit);
        KeepLiveLineBounded(line, cap);
      }
    }
    if (recordStations_ && !view.archive) {
      std::array<bool, 16> enabled{};
      for (const int n : view.channels) enabled[static_cast<std::size_t>(n - 1)] = true;
      const LiveStation& station = Monitor->Stations()[sr.station];
      view.archive = StartLiveArchive(RememberedArchiveLocation(), r.settings, station.entry.name, enabled, r.configs);
    }
    if (view.archive) view.archive->Add(ToArchiveMs(r.time), values);
  }
  Chart->RescaleAutomaticAxes();
}

// ---------------------------------------------------------------------------------------------
// The session kept in the archive

void TMainForm::StartRecording() {
  EndRecording();
  const CommSettingsFields fields = ReadCommSettingsFields(Monitor->IniPath());
  recordStations_ = fields.recordToArchive;
  if (!fields.recordToArchive) return;
  std::array<bool, 16> enabled{};
  for (const std::int16_t n : liveChannels) enabled[static_cast<std::size_t>(n - 1)] = true;
  // The archive the user browses (the user's own unless another was chosen there).
  liveArchive_ = StartLiveArchive(RememberedArchiveLocation(), commSettings, fields.recorderName, enabled, channelConfig);
}

void TMainForm::EndRecording() {
  for (LiveStationView& view : stationViews_) {
    if (!view.archive) continue;
    view.archive->FinishSoon();
    retiringArchives_.push_back(std::move(view.archive));
  }
  if (!liveArchive_) return;
  // The last commit runs on the writer's own thread; whoever reads the archive next waits for it.
  liveArchive_->FinishSoon();
  retiringArchives_.push_back(std::move(liveArchive_));
}

void TMainForm::SettleLiveArchive() {
  for (auto& writer : retiringArchives_) writer->Finish();
  retiringArchives_.clear();
}

QString TMainForm::LiveArchiveProblem() const {
  return liveArchive_ ? QString::fromStdString(liveArchive_->LastError()) : QString();
}

}  // namespace vantiro
