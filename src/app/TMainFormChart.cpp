// The main window's additions to the trend chart page: the value scales, the span panel between
// the two vertical cursors, the limits typed per channel with their alarm bands and event list,
// and the CSV of a window of the chart.
#include <QAction>
#include <QActionGroup>
#include <QFile>
#include <QMenu>
#include <QSplitter>
#include <QVBoxLayout>
#include <algorithm>
#include <cctype>
#include <limits>

#include "app/ArchiveCommands.h"
#include "app/TMainForm.h"
#include "chart/AlarmEvents.h"
#include "chart/ChannelLimitsStore.h"
#include "chart/ui/ChartPage.h"
#include "chart/ui/ChartPanels.h"
#include "chart/ui/TrendChart.h"
#include "output/WindowExport.h"
#include "output/ui/SaveTarget.h"
#include "platform/AtomicFile.h"
#include "platform/Registry.h"
#include "platform/ui/Prompts.h"
#include "recorder/GbkText.h"

namespace vantiro {
void TMainForm::CreateChartMenus() {
  ViewMenuItem->addSeparator();
  auto* group = new QActionGroup(this);
  group->setExclusive(true);
  auto scaleAction = [this, group](const char* name, ChartScale scale, const QString& hint) {
    QAction* a = ViewMenuItem->addAction(QString::fromUtf8(ChartScaleName(scale).data(),
                                                           static_cast<qsizetype>(ChartScaleName(scale).size())));
    a->setObjectName(QLatin1String(name));
    a->setCheckable(true);
    a->setToolTip(hint);
    group->addAction(a);
    connect(a, &QAction::triggered, this, [this, scale] { SetChartScale(scale); });
    return a;
  };
  ScaleSingleMenuItem = scaleAction("ScaleSingleMenuItem", ChartScale::Single, QStringLiteral("所有曲线共用一个纵坐标"));
  ScaleRangeMenuItem = scaleAction("ScaleRangeMenuItem", ChartScale::Range,
                                   QStringLiteral("每条曲线按其通道量程绘制，纵坐标为 0-100 %"));
  ScaleUnitMenuItem = scaleAction("ScaleUnitMenuItem", ChartScale::Unit,
                                  QStringLiteral("每种单位一个纵坐标，各自按其曲线自动定标"));
  ScaleSingleMenuItem->setChecked(true);
  ViewMenuItem->addSeparator();
  SpanPanelMenuItem = ViewMenuItem->addAction(QStringLiteral("区间统计"));
  SpanPanelMenuItem->setObjectName(QStringLiteral("SpanPanelMenuItem"));
  SpanPanelMenuItem->setCheckable(true);
  SpanPanelMenuItem->setToolTip(QStringLiteral("两条垂直游标之间各通道的起点值、终点值、最小值、最大值和平均值"));
  connect(SpanPanelMenuItem, &QAction::triggered, this, &TMainForm::SpanPanelMenuItemClick);
  AlarmListMenuItem = ViewMenuItem->addAction(QStringLiteral("报警事件"));
  AlarmListMenuItem->setObjectName(QStringLiteral("AlarmListMenuItem"));
  AlarmListMenuItem->setCheckable(true);
  AlarmListMenuItem->setToolTip(QStringLiteral("各通道超出上限或下限的时段"));
  connect(AlarmListMenuItem, &QAction::triggered, this, &TMainForm::AlarmListMenuItemClick);
}

void TMainForm::CreateChartPanels(QLayout* layout) {
  ChartSplitter = new QSplitter(Qt::Vertical, ChartTabSheet);
  ChartSplitter->setObjectName(QStringLiteral("ChartSplitter"));
  ChartSplitter->setChildrenCollapsible(false);
  Chart->setParent(ChartSplitter);
  ChartSplitter->addWidget(Chart);
  SpanView = new SpanPanel(ChartSplitter);
  AlarmView = new AlarmList(ChartSplitter);
  ChartSplitter->addWidget(SpanView);
  ChartSplitter->addWidget(AlarmView);
  ChartSplitter->setStretchFactor(0, 4);
  ChartSplitter->setStretchFactor(1, 1);
  ChartSplitter->setStretchFactor(2, 1);
  SpanView->hide();
  AlarmView->hide();
  layout->addWidget(ChartSplitter);
  connect(Chart, &TrendChart::cursor2Moved, this, [this] {
    RefreshSpanPanel();
    if (!archive_->OverviewShown()) {
      chartPage_->ChartCursorToolChange(Chart->Cursors().x);
    } else {
      Chart->SetLegendTitle(QString::fromStdString(chartPage_->LegendTitle(Chart->Cursors().x)));
      Chart->Repaint();
    }
  });
  connect(Chart, &TrendChart::lineVisibilityChanged, this, [this] { RefreshSpanPanel(); });
  connect(Chart, &TrendChart::legendMenuRequested, this, [this](std::size_t line, const QPoint& at) {
    QMenu menu(this);
    QAction* limits = menu.addAction(QStringLiteral("报警限值…"));
    limits->setObjectName(QStringLiteral("LimitsMenuItem"));
    if (menu.exec(at) == limits) EditLineLimits(line);
  });
  connect(SpanView, &SpanPanel::exportRequested, this, &TMainForm::ExportSpanCsv);
  connect(AlarmView, &AlarmList::eventActivated, this, [this](const AlarmEvent& event) {
    // The cursors to the period: X at its start, X2 at its end, the view widened to show both.
    if (liveMode) return;
    const ViewRanges view = Chart->Ranges();
    if (event.start < view.x0 || event.end > view.x1) {
      const double margin = std::max((event.end - event.start) * 0.5, 10.0 * kOneSecond);
      ChartUndoZoom();
      const ViewRanges home = Chart->Ranges();
      if (event.start < home.x0 || event.end > home.x1) {
        Chart->SetBottomAxis(event.start - margin, event.end + margin);
      }
    }
    Chart->SetVerticalCursor(true, Chart->VerticalCursorCross());
    Chart->SetCursorX(event.start);
    Chart->SetCursorX2(event.end);
  });
  chartPage_->linesShown = [this] {
    for (std::size_t i = 0; i < Chart->LineCount(); ++i) {
      const auto range = channelRanges_.find(LineChannelNumber(Chart->Line(i).title));
      if (range != channelRanges_.end()) Chart->SetLineRange(i, range->second.first, range->second.second);
    }
    decimalsFound_.clear();
    RefreshAlarms();
    RefreshSpanPanel();
  };
}

void TMainForm::ReadChartSwitches() {
  const int scale = ReadRegistryInt(kSettingsKey, "Scale").value_or(0);
  const ChartScale chosen = scale == 1 ? ChartScale::Range : scale == 2 ? ChartScale::Unit : ChartScale::Single;
  (chosen == ChartScale::Range ? ScaleRangeMenuItem : chosen == ChartScale::Unit ? ScaleUnitMenuItem
                                                                                  : ScaleSingleMenuItem)
      ->setChecked(true);
  chartPage_->SetScale(chosen);
  SpanPanelMenuItem->setChecked(ReadRegistryInt(kSettingsKey, "SpanPanel") == 1);
  AlarmListMenuItem->setChecked(ReadRegistryInt(kSettingsKey, "AlarmList") == 1);
  SpanView->setVisible(SpanPanelMenuItem->isChecked());
  AlarmView->setVisible(AlarmListMenuItem->isChecked());
  BalanceChartPanels();
}

void TMainForm::BalanceChartPanels() {
  // The chart keeps the most; the span panel about a third, the event list a quarter.
  const int total = std::max(ChartSplitter->height(), 600);
  const int span = SpanPanelMenuItem->isChecked() ? total * 30 / 100 : 0;
  const int alarms = AlarmListMenuItem->isChecked() ? total * 22 / 100 : 0;
  ChartSplitter->setSizes({total - span - alarms, span, alarms});
}

void TMainForm::SetChartScale(ChartScale scale) {
  WriteRegistryInt(kSettingsKey, "Scale", scale == ChartScale::Range ? 1 : scale == ChartScale::Unit ? 2 : 0);
  (scale == ChartScale::Range ? ScaleRangeMenuItem : scale == ChartScale::Unit ? ScaleUnitMenuItem
                                                                                : ScaleSingleMenuItem)
      ->setChecked(true);
  if (scale == Chart->Scale()) return;
  chartPage_->SetScale(scale);
  // A frozen narrowest window of the old scale means nothing on the new one.
  zoomLimits.yZoomLimitOpen = true;
}

void TMainForm::SpanPanelMenuItemClick() {
  WriteRegistryInt(kSettingsKey, "SpanPanel", SpanPanelMenuItem->isChecked() ? 1 : 0);
  SpanView->setVisible(SpanPanelMenuItem->isChecked());
  BalanceChartPanels();
  RefreshSpanPanel();
}

void TMainForm::AlarmListMenuItemClick() {
  WriteRegistryInt(kSettingsKey, "AlarmList", AlarmListMenuItem->isChecked() ? 1 : 0);
  AlarmView->setVisible(AlarmListMenuItem->isChecked());
  BalanceChartPanels();
  // An overview's list is filled whenever its events come, shown or not.
  if (!archive_->OverviewShown()) RefreshAlarms();
}

void TMainForm::SetRecording(std::string limitsKey, std::map<int, std::pair<double, double>> ranges,
                             std::map<int, int> decimals) {
  limitsKey_ = std::move(limitsKey);
  channelRanges_ = std::move(ranges);
  channelDecimals_ = std::move(decimals);
  typedAlarms_ = limitsKey_.empty() ? AlarmLimitsByChannel{} : LoadAlarmLimits(limitsKey_);
  typedLimits_ = LimitsByChannel(typedAlarms_.begin(), typedAlarms_.end());
  overviewValues_.clear();
  if (chartPage_->linesShown) chartPage_->linesShown();
}

const ChannelInfo& TMainForm::LineSamples(std::size_t line, ChannelInfo& scratch) const {
  const ChartLine& drawn = Chart->Line(line);
  const std::size_t position = drawn.palettePosition;
  if (!liveMode && !archive_->OverviewShown() && position < channels.size() &&
      LineChannelNumber(drawn.title) == channels[position].number) {
    return channels[position];
  }
  const std::string unit = line < seriesList.size() && !seriesList[line].unit.empty() ? seriesList[line].unit : drawn.unit;
  scratch = ChannelFromLine(drawn, LineChannelNumber(drawn.title), unit);
  return scratch;
}

int TMainForm::LineDecimals(std::size_t line) const {
  const int number = LineChannelNumber(Chart->Line(line).title);
  const auto said = channelDecimals_.find(number);
  if (said != channelDecimals_.end() && !liveMode) return said->second;
  if (liveMode) return 3;
  const auto found = decimalsFound_.find(line);
  if (found != decimalsFound_.end()) return found->second;
  ChannelInfo scratch;
  const int d = ChannelDecimals(LineSamples(line, scratch));
  decimalsFound_[line] = d;
  return d;
}

AlarmLimits TMainForm::LineLimits(std::size_t line) const {
  const int number = LineChannelNumber(Chart->Line(line).title);
  // Only the first recorder's lines (no name before the channel) take its reported limits.
  const bool ownLine = Chart->Line(line).title.rfind("通道", 0) == 0;
  const auto typed = typedAlarms_.find(number);
  if (typed != typedAlarms_.end()) return typed->second;
  if (liveMode && ownLine) {
    const auto live = liveLimits_.find(number);
    if (live != liveLimits_.end()) return live->second;
  }
  return {};
}

double TMainForm::LineDefaultDeadband(std::size_t line, const ChannelLimits& limits, const ChannelInfo& samples) const {
  const int number = LineChannelNumber(Chart->Line(line).title);
  const auto range = channelRanges_.find(number);
  const std::optional<std::pair<double, double>> recorded =
      range != channelRanges_.end() ? std::optional(range->second) : std::nullopt;
  if (archive_->OverviewShown() && DefaultDeadbandNeedsValues(limits, recorded)) {
    // The drawn columns are not the values: the span the archive's samples gave, when measured.
    const auto measured = overviewValues_.find(number);
    return measured != overviewValues_.end() ? DefaultDeadband(limits, recorded, measured->second)
                                             : std::numeric_limits<double>::quiet_NaN();
  }
  return DefaultDeadband(limits, recorded, samples);
}

void TMainForm::EditLineLimits(std::size_t line) {
  if (line >= Chart->LineCount()) return;
  ChannelInfo scratch;
  const ChannelInfo& samples = LineSamples(line, scratch);
  ChannelLimitsDialog dialog(this, QString::fromStdString(Chart->Line(line).title), LineLimits(line),
                             [&](const ChannelLimits& typed) { return LineDefaultDeadband(line, typed, samples); });
  if (dialog.exec() != QDialog::Accepted) return;
  SetLineLimits(line, dialog.Limits());
}

void TMainForm::SetLineLimits(std::size_t line, const AlarmLimits& limits) {
  const int number = LineChannelNumber(Chart->Line(line).title);
  if (number <= 0) return;
  if (limits.upper || limits.lower) {
    typedAlarms_[number] = limits;
    typedLimits_[number] = limits;
  } else {
    typedAlarms_.erase(number);
    typedLimits_.erase(number);
  }
  if (!limitsKey_.empty() && !SaveAlarmLimits(limitsKey_, typedAlarms_)) {
    CurrentPrompts().Message(this, QStringLiteral("报警限值未能保存：无法写入 %1").arg(QString::fromStdString(RegistryFilePath())),
                             MessageIcon::Warning);
  }
  RefreshAlarms();
  RefreshSpanPanel();
}

void TMainForm::RefreshAlarms() {
  if (archive_->OverviewShown()) {
    RefreshOverviewAlarms();
    return;
  }
  std::vector<TrendChart::AlarmBand> bands;
  std::vector<AlarmEvent> events;
  std::vector<int> lineOfEvent;
  for (std::size_t i = 0; i < Chart->LineCount(); ++i) {
    const AlarmLimits limits = LineLimits(i);
    if (!limits.upper && !limits.lower) continue;
    ChannelInfo scratch;
    const ChannelInfo& samples = LineSamples(i, scratch);
    const double deadband = limits.deadband ? *limits.deadband : LineDefaultDeadband(i, limits, samples);
    for (const AlarmEvent& e : FindAlarmEvents(samples, limits, EventRules(limits, deadband))) {
      bands.push_back({i, e});
      events.push_back(e);
      lineOfEvent.push_back(static_cast<int>(i));
    }
  }
  Chart->SetAlarmBands(bands);
  if (!AlarmListMenuItem->isChecked()) return;
  // The list in time order across channels.
  std::vector<std::size_t> order(events.size());
  for (std::size_t k = 0; k < order.size(); ++k) order[k] = k;
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return events[a].start < events[b].start; });
  std::vector<AlarmEvent> sorted;
  std::vector<int> decimals;
  sorted.reserve(order.size());
  for (const std::size_t k : order) {
    sorted.push_back(events[k]);
    decimals.push_back(LineDecimals(static_cast<std::size_t>(lineOfEvent[k])));
  }
  AlarmView->ShowEvents(std::move(sorted), decimals);
}

void TMainForm::RefreshOverviewAlarms() {
  // The events of the whole period found in the archive's chunks on a worker while the window
  // answers; the bands and the list keep what they show until they come.
  const bool any = std::any_of(typedAlarms_.begin(), typedAlarms_.end(),
                               [](const auto& typed) { return typed.second.upper || typed.second.lower; });
  const auto show = [this](std::vector<ChannelAlarmEvents> found, const QString& error) {
    if (!error.isEmpty()) {
      AlarmView->ShowEvents({}, {}, 0, QStringLiteral("  读取档案失败：") + error);
      return;
    }
    std::map<int, std::size_t> lineOf;
    for (std::size_t i = 0; i < Chart->LineCount(); ++i) lineOf.emplace(LineChannelNumber(Chart->Line(i).title), i);
    std::vector<TrendChart::AlarmBand> bands;
    std::vector<std::pair<AlarmEvent, std::size_t>> events;  // with its line
    std::size_t total = 0;
    for (ChannelAlarmEvents& channel : found) {
      if (channel.values) overviewValues_[channel.number] = *channel.values;
      const auto line = lineOf.find(channel.number);
      if (line == lineOf.end()) continue;
      total += channel.total;
      for (const AlarmEvent& e : channel.events) {
        bands.push_back({line->second, e});
        events.emplace_back(e, line->second);
      }
      for (const AlarmEvent& e : channel.beyond) bands.push_back({line->second, e});
    }
    Chart->SetAlarmBands(std::move(bands));
    // The list in time order across channels: its first rows, each channel having kept its first.
    std::stable_sort(events.begin(), events.end(),
                     [](const auto& a, const auto& b) { return a.first.start < b.first.start; });
    if (events.size() > AlarmList::kMostRows) events.resize(AlarmList::kMostRows);
    std::vector<AlarmEvent> listed;
    std::vector<int> decimals;
    listed.reserve(events.size());
    for (const auto& [e, line] : events) {
      listed.push_back(e);
      decimals.push_back(LineDecimals(line));
    }
    AlarmView->ShowEvents(std::move(listed), decimals, total);
  };
  // Without limits too: an older search still running is stopped and its events never shown.
  if (any) AlarmView->ShowCalculating();
  archive_->OverviewAlarms(typedAlarms_, AlarmList::kMostRows, show);
}

std::vector<SpanStatistics> TMainForm::SpanRows() const {
  // An overview's rows are measured from the archive on a worker: those the panel shows.
  if (archive_->OverviewShown()) return SpanView->Rows();
  std::vector<SpanStatistics> rows;
  DateTime from = Chart->Cursors().x;
  DateTime to = Chart->Cursors().x2;
  for (std::size_t i = 0; i < Chart->LineCount(); ++i) {
    if (!Chart->LineVisible(i) || Chart->Line(i).points.empty()) continue;
    ChannelInfo scratch;
    const ChannelInfo& samples = LineSamples(i, scratch);
    if (liveMode) {  // the whole session while monitoring
      from = Chart->Line(i).minX;
      to = Chart->Line(i).maxX;
    }
    SpanStatistics s = ComputeSpanStatistics(samples, from, to, LineLimits(i));
    s.number = LineChannelNumber(Chart->Line(i).title);
    s.decimals = LineDecimals(i);
    if (s.unit.empty() && i < seriesList.size()) s.unit = seriesList[i].unit;
    rows.push_back(std::move(s));
  }
  return rows;
}

void TMainForm::RefreshSpanPanel() {
  if (spanRefreshPending_ || !SpanPanelMenuItem->isChecked()) return;
  spanRefreshPending_ = true;
  QMetaObject::invokeMethod(this, &TMainForm::RefreshSpanPanelNow, Qt::QueuedConnection);
}

void TMainForm::RefreshSpanPanelNow() {
  spanRefreshPending_ = false;
  if (!SpanPanelMenuItem->isChecked()) return;
  DateTime from = Chart->Cursors().x;
  DateTime to = Chart->Cursors().x2;
  QString note;
  if (liveMode) {
    from = to = 0.0;
    for (std::size_t i = 0; i < Chart->LineCount(); ++i) {
      const ChartLine& line = Chart->Line(i);
      if (line.points.empty()) continue;
      from = from == 0.0 ? line.minX : std::min(from, line.minX);
      to = std::max(to, line.maxX);
    }
    note = QStringLiteral("  本次监控");
  } else if (archive_->OverviewShown()) {
    // The exact figures from the archive's chunks, measured on a worker while the window answers.
    SpanView->ShowCalculating(from, to);
    archive_->OverviewStatistics(from, to, typedLimits_,
                                 [this, from, to](std::vector<SpanStatistics> rows, const QString& error) {
                                   if (!error.isEmpty()) {
                                     SpanView->ShowStatistics({}, from, to, QStringLiteral("  读取档案失败：") + error);
                                     return;
                                   }
                                   SpanView->ShowStatistics(std::move(rows), from, to);
                                 });
    return;
  }
  SpanView->ShowStatistics(SpanRows(), from, to, note);
}

void TMainForm::ExportSpanCsv() {
  if (SpanView->Rows().empty()) {
    CurrentPrompts().Message(this, QStringLiteral("没有需要保存的内容"), MessageIcon::Information);
    return;
  }
  const QString path = CurrentPrompts().SaveFileName(this, QStringLiteral("保存到Excel..."),
                                                     QStringLiteral("CSV Files(*.csv)|*.csv"), QStringLiteral("csv"),
                                                     QStringLiteral("区间统计"));
  if (path.isEmpty() || !MayWriteTarget(this, path)) return;
  const std::string bytes = Utf8ToGbk(SpanStatisticsCsv(SpanView->Rows()));
  if (!WriteFileAtomically(QFile::encodeName(path).toStdString(), bytes)) ShowSaveFailed(this);
}

void TMainForm::SaveChartWindowCsv(DateTime from, DateTime to, const QString& path) {
  std::array<bool, 16> selected{};
  for (std::size_t i = 0; i < Chart->LineCount(); ++i) {
    const int number = LineChannelNumber(Chart->Line(i).title);
    if (Chart->LineVisible(i) && number >= 1 && number <= 16) selected[static_cast<std::size_t>(number - 1)] = true;
  }
  const std::string file = QFile::encodeName(path).toStdString();
  RunLongCommand(QStringLiteral("数据正在导出，请稍等..."), [&](ProgressSink& progress) {
    if (std::optional<UserMessage> failed = ExportWindowCsv(file, channels, selected, std::min(from, to),
                                                           std::max(from, to), &progress)) {
      ShowMessageFromWorker(*failed);
    }
  });
}

}  // namespace vantiro
