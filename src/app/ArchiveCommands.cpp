#include "app/ArchiveCommands.h"

#include <map>

#include "chart/ChannelLimitsStore.h"

#include <QAction>
#include <QDateTime>
#include <algorithm>
#include <climits>
#include <limits>
#include <cmath>

#include "app/TMainForm.h"
#include "app/ArchiveChart.h"
#include "app/MainWindowFrame.h"
#include "archive/ArchivePeriods.h"
#include "archive/ui/ArchiveTasks.h"
#include "archive/ui/ImportToArchive.h"
#include "chart/Cursors.h"
#include "chart/ChannelLimitsStore.h"
#include "chart/ui/ChartPage.h"
#include "chart/ui/TrendChart.h"
#include "platform/MallocTuning.h"
#include "platform/ui/Prompts.h"
#include "workbench/PeriodPages.h"
#include "workbench/ui/DataListModel.h"
#include "workbench/ui/TablePage.h"
#include "workbench/ui/TDataFilterDlg.h"

namespace vantiro {
namespace {

QString PeriodText(std::int64_t fromMs, std::int64_t toMs) {
  return QString::fromStdString(FormatDateTime(FromArchiveMs(fromMs), DatePattern::Table)) +
         QStringLiteral(" 至 ") + QString::fromStdString(FormatDateTime(FromArchiveMs(toMs), DatePattern::Table));
}

}  // namespace

struct ArchiveCommands::Overview {
  ArchivePeriodChoice choice;                // the whole period (resolved: recorder, channels, ends)
  std::vector<ChannelSummaryInfo> channels;  // the period's channels, ascending
  DatasetSummary summary;                    // its span and value range
  std::shared_ptr<PeriodPages> pages;
  std::shared_ptr<Archive*> pageArchive;     // the archive a page task has open
  bool exactZoomed = false;                  // the exact window was zoomed into (undo stays there)
  bool shown = false;                        // its first chart has been drawn
};

ArchiveCommands::ArchiveCommands(TMainForm& window)
    : QObject(&window),
      window_(window),
      chartTasks_(new ArchiveTasks(this)),
      readoutTasks_(new ArchiveTasks(this)),
      pageTasks_(new ArchiveTasks(this)),
      statsTasks_(new ArchiveTasks(this)),
      alarmTasks_(new ArchiveTasks(this)) {
  import_ = std::make_unique<ArchiveImportCommand>(
      &window_, [this](const QString& text, const std::function<void(ProgressSink&)>& work) {
        window_.RunLongCommand(text, work);
      });
}

ArchiveCommands::~ArchiveCommands() {
  // The window closes without waiting for a year's figures, events or a window's envelope.
  statsCancel_.Stop();
  alarmCancel_.Stop();
  envelopeCancel_.Stop();
}

void ArchiveCommands::ImportFiles() { import_->ChooseFilesAndImport(); }
void ArchiveCommands::ImportFolder() { import_->ChooseFolderAndImport(); }
void ArchiveCommands::ImportDropped(const QStringList& names) { import_->Import(names); }

void ArchiveCommands::Browse() {
  window_.SettleLiveArchive();  // a session just stopped: its last seconds in the archive first
  ArchiveBrowser browser(&window_);
  browser.ShowArchive(RememberedArchiveLocation());
  if (browser.exec() != QDialog::Accepted) return;
  OpenPeriod(browser.Choice());
}

void ArchiveCommands::SetAskRecorder(
    std::function<std::optional<QString>(const QStringList&, const QString&)> ask) {
  import_->SetAskRecorder(std::move(ask));
}

bool ArchiveCommands::Busy() const {
  return chartTasks_->Busy() || readoutTasks_->Busy() || pageTasks_->Busy() || statsTasks_->Busy() ||
         alarmTasks_->Busy();
}

void ArchiveCommands::Forget() {
  chartTasks_->Cancel();
  readoutTasks_->Cancel();
  pageTasks_->Cancel();
  statsTasks_->Cancel();
  statsCancel_.Stop();
  alarmTasks_->Cancel();
  alarmCancel_.Stop();
  envelopeCancel_.Stop();
  overview_.reset();
  exactWindow_ = false;
  window_.chartPage_->SetRoundSteps(false);
  SetCaption(QString());
}

void ArchiveCommands::SetCaption(const QString& caption) {
  caption_ = caption;
  window_.setWindowTitle(MainWindowTitle(caption));
}

void ArchiveCommands::ShowFailure(const QString& error) {
  CurrentPrompts().Message(&window_, QStringLiteral("档案读取失败：") + error, MessageIcon::Error);
}

void ArchiveCommands::OpenPeriod(const ArchivePeriodChoice& given) {
  Forget();
  // A period's labels stand on round times and values, however long it is.
  window_.chartPage_->SetRoundSteps(true);
  struct Plan {
    ArchivePeriodChoice choice;
    std::vector<ChannelSummaryInfo> channels;
    bool overview = false;
    bool read = false;
  };
  auto plan = std::make_shared<Plan>();
  plan->choice = given;
  window_.PrepareLoad(true);
  const std::int64_t limit = exactLimit_;
  window_.LoadWithWorker([this, plan, limit]() -> std::optional<UserMessage> {
    auto failed = [](const std::string& text) {
      return UserMessage{"档案读取失败：" + text, MessageIcon::Error};
    };
    ArchivePeriodChoice& c = plan->choice;
    std::string error;
    const std::unique_ptr<Archive> archive = Archive::Open(c.location, false, error);
    if (!archive) return failed(error);
    std::optional<ResolvedPeriod> period =
        ResolvePeriod(*archive, c.recorderId, c.recorder, c.channels, c.fromMs, c.toMs, error);
    if (!period) return failed(error);
    c.recorderId = period->recorderId;
    c.channels = period->numbers;
    c.fromMs = period->fromMs;
    c.toMs = period->toMs;
    c.samples = period->samples;
    plan->channels = std::move(period->channels);
    if (c.samples == 0) return UserMessage{"所选时段没有数据。", MessageIcon::Information};
    if (OpensInOverview(c.samples, limit)) {
      plan->overview = true;
      return std::nullopt;
    }
    if (!archive->ReadPeriod(c.recorderId, c.fromMs, c.toMs, c.channels, false, window_.summary,
                             window_.channels, error)) {
      window_.channels.clear();
      return failed(error);
    }
    plan->read = true;
    return std::nullopt;
  });
  // Each channel against its recorded range under "按量程"; the limits typed for this recorder.
  std::map<int, std::pair<double, double>> ranges;
  std::map<int, int> decimals;
  for (const ChannelSummaryInfo& c : plan->channels) {
    if (!c.hasRange) continue;
    ranges[c.number] = {c.rangeLow, c.rangeHigh};
    decimals[c.number] = c.decimals;
  }
  const std::string location = plan->choice.location.empty() ? DefaultArchiveLocation() : plan->choice.location;
  window_.SetRecording(ArchiveLimitsKey(location, plan->choice.recorder), std::move(ranges),
                       std::move(decimals));
  if (plan->overview) {
    DatasetSummary summary;
    summary.startTime = FromArchiveMs(plan->choice.fromMs);
    summary.endTime = FromArchiveMs(plan->choice.toMs);
    StartOverview(plan->choice, std::move(plan->channels), summary);
  } else if (plan->read) {
    SetCaption(QStringLiteral("档案 %1: %2").arg(QString::fromStdString(plan->choice.recorder),
                                                PeriodText(plan->choice.fromMs, plan->choice.toMs)));
  }
}

void ArchiveCommands::StartOverview(const ArchivePeriodChoice& choice, std::vector<ChannelSummaryInfo> channels,
                                    DatasetSummary summary) {
  overview_ = std::make_unique<Overview>();
  overview_->choice = choice;
  overview_->channels = std::move(channels);
  overview_->summary = summary;
  overview_->pageArchive = std::make_shared<Archive*>(nullptr);
  exactWindow_ = false;
  chartTasks_->SetLocation(choice.location);
  readoutTasks_->SetLocation(choice.location);
  pageTasks_->SetLocation(choice.location);
  statsTasks_->SetLocation(choice.location);
  alarmTasks_->SetLocation(choice.location);
  SetCaption(QStringLiteral("档案 %1: 概览 %2（%3 个数据，超过 %4 个时按每列的最小值和最大值显示；放大到 %4 个以内显示精确数据）")
                 .arg(QString::fromStdString(choice.recorder), PeriodText(choice.fromMs, choice.toMs))
                 .arg(choice.samples)
                 .arg(exactLimit_));
  // The filter's window starts as the period.
  if (window_.dialogs_.dataFilter) {
    window_.dialogs_.dataFilter->InitFromDataset(FromArchiveMs(choice.fromMs), FromArchiveMs(choice.toMs));
  }

  // The table: the period's pages read one at a time.
  const double days = std::max(1e-6, FromArchiveMs(choice.toMs) - FromArchiveMs(choice.fromMs));
  const double rowsPerDay = static_cast<double>(choice.samples) /
                            static_cast<double>(std::max<std::size_t>(1, overview_->channels.size())) / days;
  std::shared_ptr<Archive*> current = overview_->pageArchive;
  const std::int64_t recorderId = choice.recorderId;
  const std::vector<int> numbers = choice.channels;
  overview_->pages = std::make_shared<PeriodPages>(
      FromArchiveMs(choice.fromMs), FromArchiveMs(choice.toMs), window_.RowsPerPage(), rowsPerDay,
      [current, recorderId, numbers](DateTime from, DateTime to, std::vector<ChannelInfo>& out, std::string& error) {
        if (!*current) {
          error = "archive not open";
          return false;
        }
        DatasetSummary ignored;
        return (*current)->ReadPeriod(recorderId, ToArchiveMs(from), ToArchiveMs(to), numbers, false, ignored, out,
                                      error);
      });
  RequestEnvelope(choice.fromMs, choice.toMs, true);
  Page(0);
}

void ArchiveCommands::RequestEnvelope(std::int64_t fromMs, std::int64_t toMs, bool first) {
  if (!overview_) return;
  const int pixels = window_.PlotColumns();
  const ArchivePeriodChoice choice = overview_->choice;
  struct Outcome {
    std::vector<ChannelEnvelope> envelopes;
    std::int64_t samples = -1;  // when the window was counted
  };
  auto outcome = std::make_shared<Outcome>();
  const bool count = !first;
  const std::int64_t limit = exactLimit_;
  // A newer window supersedes the one being read: that read stops at its next channel.
  const auto cancel = envelopeCancel_.Next();
  chartTasks_->Run(
      [outcome, choice, fromMs, toMs, pixels, count, limit, cancel](Archive& archive) -> std::string {
        std::string error;
        if (count) {
          const std::optional<std::int64_t> samples =
              archive.CountSamplesExactly(choice.recorderId, fromMs, toMs, choice.channels, error, limit);
          if (!samples) return error;
          outcome->samples = *samples;
          if (!OpensInOverview(*samples, limit)) return {};
        }
        std::optional<std::vector<ChannelEnvelope>> envelopes =
            archive.Envelope(choice.recorderId, fromMs, toMs, choice.channels, pixels, error, cancel.get());
        if (!envelopes) return cancel->load() ? std::string() : error;
        outcome->envelopes = std::move(*envelopes);
        return {};
      },
      [this, outcome, fromMs, toMs, pixels, first, cancel](const QString& error) {
        if (!overview_ || exactWindow_ || cancel->load()) return;
        if (!error.isEmpty()) {
          ShowFailure(error);  // the chart keeps what it shows
          return;
        }
        if (outcome->samples >= 0 && !OpensInOverview(outcome->samples, exactLimit_)) {
          ArchivePeriodChoice window = overview_->choice;
          window.fromMs = fromMs;
          window.toMs = toMs;
          window.samples = outcome->samples;
          LoadExact(window, true);
          return;
        }
        if (first) {
          ChartFill fill = OverviewFill(outcome->envelopes, overview_->channels, fromMs, toMs, pixels,
                                        overview_->summary);
          window_.summary = overview_->summary;
          window_.chartPage_->ClearChart();
          window_.zoomLimits.xZoomLimitOpen = window_.zoomLimits.yZoomLimitOpen = true;
          overview_->shown = true;  // the cursor placed below reads from the archive
          window_.chartPage_->ShowFill(std::move(fill), window_.zoomLimits);
          window_.PlaceCursorsAfterLoad(overview_->summary.startTime);
        } else {
          std::vector<ChartLine> lines = OverviewLines(outcome->envelopes, overview_->channels, fromMs, toMs,
                                                       pixels, GapHeight(overview_->summary));
          for (std::size_t i = 0; i < lines.size() && i < window_.Chart->LineCount(); ++i) {
            window_.Chart->ReplaceLineData(i, std::move(lines[i]));
          }
          CursorMoved(window_.Chart->Cursors().x);
        }
        emit overviewShown();
      });
}

void ArchiveCommands::ViewChanged() {
  if (!OverviewShown()) return;
  const ViewRanges view = window_.Chart->Ranges();
  const std::int64_t from = std::max(ToArchiveMs(view.x0), overview_->choice.fromMs);
  const std::int64_t to = std::min(ToArchiveMs(view.x1), overview_->choice.toMs);
  if (from > to) return;
  RequestEnvelope(from, to, false);
}

void ArchiveCommands::LoadExact(const ArchivePeriodChoice& window, bool fromOverview) {
  std::unique_ptr<Overview> kept = std::move(overview_);
  Forget();
  overview_ = std::move(kept);
  window_.chartPage_->SetRoundSteps(true);
  // From here the window is the exact one: the load's cursor reads from its samples.
  exactWindow_ = fromOverview && overview_ != nullptr;
  window_.PrepareLoad(true);
  auto ok = std::make_shared<bool>(false);
  window_.LoadWithWorker([this, window, ok]() -> std::optional<UserMessage> {
    std::string error;
    const std::unique_ptr<Archive> archive = Archive::Open(window.location, false, error);
    if (archive && archive->ReadPeriod(window.recorderId, window.fromMs, window.toMs, window.channels, false,
                                       window_.summary, window_.channels, error)) {
      *ok = true;
      return std::nullopt;
    }
    window_.channels.clear();
    return UserMessage{"档案读取失败：" + error, MessageIcon::Error};
  });
  if (overview_) overview_->exactZoomed = false;
  SetCaption(QStringLiteral("档案 %1: 精确数据 %2%3")
                 .arg(QString::fromStdString(window.recorder), PeriodText(window.fromMs, window.toMs),
                      exactWindow_ ? QStringLiteral("（撤销缩放回到概览）") : QString()));
  if (!*ok && overview_) BackToOverview();
}

void ArchiveCommands::BackToOverview() {
  if (!overview_) return;
  const ArchivePeriodChoice choice = overview_->choice;
  std::vector<ChannelSummaryInfo> channels = overview_->channels;
  DatasetSummary summary;
  summary.startTime = FromArchiveMs(choice.fromMs);
  summary.endTime = FromArchiveMs(choice.toMs);
  Forget();
  window_.PrepareLoad(false);
  window_.ResetView();
  ReleaseFreeMemory();  // the exact window's samples, given back
  window_.chartPage_->SetRoundSteps(true);
  StartOverview(choice, std::move(channels), summary);
}

void ArchiveCommands::FilterOverview(const FilterSettings& settings) {
  if (!OverviewShown()) return;
  ArchivePeriodChoice window = overview_->choice;
  window.fromMs = std::max(window.fromMs, ToArchiveMs(settings.filterStart));
  window.toMs = std::min(window.toMs, ToArchiveMs(settings.filterEnd));
  window.channels.clear();
  for (const ChannelSummaryInfo& info : overview_->channels) {
    if (info.number >= 1 && info.number <= 16 && settings.channelSelected[static_cast<std::size_t>(info.number - 1)]) {
      window.channels.push_back(info.number);
    }
  }
  if (window.channels.empty() || window.fromMs > window.toMs) return;
  std::optional<std::int64_t> count;
  std::string error;
  window_.RunLongCommand(QStringLiteral("数据正在筛选，请稍等..."), [&](ProgressSink&) {
    const std::unique_ptr<Archive> archive = Archive::Open(window.location, false, error);
    if (archive) count = archive->CountSamplesExactly(window.recorderId, window.fromMs, window.toMs, window.channels, error);
  });
  if (!count) {
    ShowFailure(QString::fromStdString(error));
    return;
  }
  if (OpensInOverview(*count, exactLimit_)) {
    CurrentPrompts().Message(&window_,
                             QStringLiteral("所选时段有 %1 个数据，超过 %2 个，请缩小时间范围或减少通道后再筛选。")
                                 .arg(*count)
                                 .arg(exactLimit_),
                             MessageIcon::Information);
    return;
  }
  window.samples = *count;
  LoadExact(window, true);
}

void ArchiveCommands::ExactWindowZoomed() {
  if (ExactWindowOfOverview()) overview_->exactZoomed = true;
}

bool ArchiveCommands::UndoLeavesExactWindow() {
  if (!ExactWindowOfOverview()) return false;
  if (overview_->exactZoomed) {
    overview_->exactZoomed = false;  // this undo goes back to the whole window, the next one out
    return false;
  }
  return true;
}

ArchivePeriodSource ArchiveCommands::PeriodSource() const {
  const ArchivePeriodChoice& c = overview_->choice;
  return ArchivePeriodSource{c.location, c.recorderId, overview_->channels, c.fromMs, c.toMs};
}

void ArchiveCommands::CursorMoved(DateTime x) {
  if (!OverviewShown() || !overview_->shown || x == 0.0) return;
  window_.Chart->SetLegendTitle(QString::fromStdString(window_.chartPage_->LegendTitle(x)));
  // The recorded sample of each channel nearest the cursor, read from the archive's chunks by the
  // same rule a dataset in memory is read by; the unit the recording gave at that time where a
  // channel's unit changed.
  struct Readout {
    std::vector<std::optional<float>> values;
    std::map<int, std::string> units;
  };
  auto read = std::make_shared<Readout>();
  const ArchivePeriodSource source = PeriodSource();
  readoutTasks_->Run(
      [read, source, x](Archive& archive) -> std::string {
        std::string error;
        ArchivePeriodViewData data(source, &archive);
        if (!data.ValuesNear(x, read->values, error)) return error;
        std::vector<int> changed;
        for (const ChannelSummaryInfo& c : source.channels) {
          if (!c.earlierUnits.empty()) changed.push_back(c.number);
        }
        if (!changed.empty()) {
          DatasetSummary ignored;
          std::vector<ChannelInfo> at;
          const std::int64_t ms = ToArchiveMs(x);
          if (!archive.ReadPeriod(source.recorderId, ms, ms, changed, false, ignored, at, error)) return error;
          for (const ChannelInfo& c : at) read->units[c.number] = c.unit;
        }
        return {};
      },
      [this, read](const QString& error) {
        if (!OverviewShown()) return;
        if (!error.isEmpty()) return;  // the read-out keeps what it showed; the chart's failure says why
        for (std::size_t i = 0; i < window_.seriesList.size(); ++i) {
          const ChartSeriesInfo& info = window_.seriesList[i];
          const std::size_t position = window_.Chart->Line(info.series).palettePosition;
          std::optional<float> value;
          std::string unit = info.unit;
          if (position < read->values.size() && position < overview_->channels.size()) {
            value = read->values[position];
            const auto changed = read->units.find(overview_->channels[position].number);
            if (changed != read->units.end()) unit = changed->second;
          }
          window_.Chart->SetLineTitle(info.series, QString::fromStdString(ReadoutText(info.title, unit, value)));
        }
        window_.Chart->Repaint();
      });
}

void ArchiveCommands::OverviewStatistics(DateTime from, DateTime to, const LimitsByChannel& limits,
                                         std::function<void(std::vector<SpanStatistics>, const QString&)> show) {
  if (!OverviewShown()) return;
  // A newer span supersedes the one being measured: that one stops at its next chunk.
  const auto cancel = statsCancel_.Next();
  auto rows = std::make_shared<std::vector<SpanStatistics>>();
  const ArchivePeriodSource source = PeriodSource();
  statsTasks_->Run(
      [rows, source, from, to, limits, cancel](Archive& archive) -> std::string {
        std::string error;
        ArchivePeriodViewData data(source, &archive);
        if (!data.Statistics(from, to, limits, *rows, error, cancel.get())) return cancel->load() ? std::string() : error;
        return {};
      },
      [this, rows, cancel, show](const QString& error) {
        if (cancel->load() || !OverviewShown()) return;
        show(std::move(*rows), error);
      });
}

void ArchiveCommands::OverviewAlarms(const AlarmLimitsByChannel& limits, std::size_t most,
                                     std::function<void(std::vector<ChannelAlarmEvents>, const QString&)> show) {
  if (!OverviewShown()) return;
  // Newer limits supersede those being followed: that search stops at its next chunk.
  const auto cancel = alarmCancel_.Next();
  auto found = std::make_shared<std::vector<ChannelAlarmEvents>>();
  const ArchivePeriodSource source = PeriodSource();
  // The stretches past the periods kept: no finer than a pixel column of the whole period on the
  // widest screen, so that they shade as the periods they cover would.
  constexpr std::int64_t kWidestPlot = 4096;
  const AlarmEventCap cap{most, std::max<std::int64_t>(1, (source.toMs - source.fromMs) / kWidestPlot)};
  alarmTasks_->Run(
      [found, source, limits, cap, cancel](Archive& archive) -> std::string {
        std::string error;
        ArchivePeriodViewData data(source, &archive);
        const double unbounded = std::numeric_limits<double>::infinity();
        if (!data.AlarmEvents(-unbounded, unbounded, limits, cap, *found, error, cancel.get())) {
          return cancel->load() ? std::string() : error;
        }
        return {};
      },
      [this, found, cancel, show](const QString& error) {
        if (cancel->load() || !OverviewShown()) return;
        show(std::move(*found), error);
      });
}

void ArchiveCommands::Page(int which) {
  if (!OverviewShown() || !overview_->pages) return;
  std::shared_ptr<PeriodPages> pages = overview_->pages;
  std::shared_ptr<Archive*> current = overview_->pageArchive;
  auto page = std::make_shared<PeriodPage>();
  pageTasks_->Run(
      [pages, current, page, which](Archive& archive) -> std::string {
        std::string error;
        *current = &archive;
        bool ok = false;
        switch (which) {
          case 0: ok = pages->First(*page, error); break;
          case 1: ok = pages->Previous(*page, error); break;
          case 2: ok = pages->Next(*page, error); break;
          default: ok = pages->Last(*page, error); break;
        }
        *current = nullptr;
        return ok ? std::string() : (error.empty() ? std::string("?") : error);
      },
      [this, page](const QString& error) {
        if (!OverviewShown()) return;
        if (!error.isEmpty()) {
          ShowFailure(error);  // the table keeps the page it shows
          return;
        }
        window_.channels = std::move(page->channels);
        TableView& table = page->table;
        const auto rows = static_cast<std::uint32_t>(table.rows.size());
        window_.columnChannels = std::move(table.columnChannels);
        window_.tableRows = std::move(table.rows);
        window_.Table->ShowColumns(table.columns);
        window_.DataListViewModel->SetPeriodNumbering(true, page->firstRow);
        PageWindow shown;
        shown.pageStart = 0;
        shown.pageEnd = rows;
        shown.itemCount = rows;
        shown.buttons = PageButtons{!page->isFirst, !page->isFirst, !page->isLast, !page->isLast};
        window_.ApplyPageOfPeriod(shown);
        emit overviewShown();
      });
}

}  // namespace vantiro
