#pragma once
// The archive in the main window: "导入到档案" (files, a folder, or what is dropped on the window),
// "打开档案" (the browser), and a period of a recorder opened in the window.
//
// A period of at most kExactPeriodSamples samples opens as a dataset through the load pipeline, so
// the table, the chart, the cursors, the filter, export and print work on it as on a file. A longer
// period opens in overview: the chart is drawn from the archive's summaries (each line the lowest
// and highest value of every pixel column, so no spike is hidden), redrawn for the window on show
// at every zoom and scroll; the read-out reads the samples at the cursor from the archive; the
// table reads the page on show and nothing more. Zooming in until the window holds at most the
// limit opens that window's exact samples; undoing the zoom there goes back to the overview.

#include <QObject>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "chart/ChannelLimitsStore.h"
#include "chart/SpanStatistics.h"
#include "view/ViewData.h"
#include <atomic>
#include "app/ArchiveChart.h"
#include "archive/ui/ArchiveBrowser.h"
#include "chart/ChartLines.h"
#include "recorder/Dataset.h"
#include "workbench/ViewModel.h"

namespace vantiro {

class ArchiveImportCommand;
class ArchiveTasks;
class PeriodPages;
class TMainForm;

class ArchiveCommands : public QObject {
  Q_OBJECT

 public:
  explicit ArchiveCommands(TMainForm& window);
  ~ArchiveCommands() override;

  // The menu commands.
  void ImportFiles();
  void ImportFolder();
  void ImportDropped(const QStringList& names);
  void Browse();

  // Opens a period: exact or in overview by its samples. `choice.recorderId` 0: the recorder is
  // found by its name (the command line); `choice.samples` 0: they are counted.
  void OpenPeriod(const ArchivePeriodChoice& choice);

  // True while the window shows a period in overview (the chart's events and the paging commands
  // then come here).
  bool OverviewShown() const { return overview_ != nullptr && !exactWindow_; }
  // True while the window shows the exact samples of a window zoomed into from an overview.
  bool ExactWindowOfOverview() const { return overview_ != nullptr && exactWindow_; }
  // The caption of what is on show: "档案 NAME: 概览 …" or "档案 NAME: 精确数据 …"; empty for a file.
  QString ViewCaption() const { return caption_; }
  // The view is a file or live now: the overview is forgotten.
  void Forget();

  // The chart's events while an overview is shown.
  void ViewChanged();
  void BackToOverview();
  // A zoom within the exact window of an overview (an undo then stays in it); whether an undo now
  // goes back to the overview.
  void ExactWindowZoomed();
  bool UndoLeavesExactWindow();
  void CursorMoved(DateTime x);
  // The span panel's rows over [from, to] while an overview is shown: measured exactly from the
  // archive's chunks on a worker (a year takes seconds), handed to `show` on the GUI thread; a
  // newer request stops the one still measuring, whose rows are never shown.
  void OverviewStatistics(DateTime from, DateTime to, const LimitsByChannel& limits,
                          std::function<void(std::vector<SpanStatistics>, const QString& error)> show);
  // The alarm events of the whole period while an overview is shown: found exactly in the
  // archive's chunks on a worker, each channel's first `most` kept (the rest counted, and covered
  // for the bands by stretches a pixel column of the whole period wide at the finest), handed to
  // `show` on the GUI thread; a newer request stops the one still finding, whose events are never
  // shown.
  void OverviewAlarms(const AlarmLimitsByChannel& limits, std::size_t most,
                      std::function<void(std::vector<ChannelAlarmEvents>, const QString& error)> show);
  // The data filter on an overview: the chosen window and channels opened exact when they hold at
  // most the limit (the overview stays otherwise, and says why).
  void FilterOverview(const FilterSettings& settings);
  // The paging commands on an overview's table: 0 first, 1 previous, 2 next, 3 last.
  void Page(int which);

  // True while an archive read for the view runs (tests).
  bool Busy() const;
  // The limit of an exact period (tests: small periods in overview), and the recorder dialog of an
  // import replaced.
  void SetExactLimit(std::int64_t samples) { exactLimit_ = samples; }
  void SetAskRecorder(std::function<std::optional<QString>(const QStringList&, const QString&)> ask);

 signals:
  // An overview's chart or table page has been drawn (tests).
  void overviewShown();

 private:
  struct Overview;
  void StartOverview(const ArchivePeriodChoice& choice, std::vector<ChannelSummaryInfo> channels,
                     DatasetSummary summary);
  void LoadExact(const ArchivePeriodChoice& choice, bool fromOverview);
  void RequestEnvelope(std::int64_t fromMs, std::int64_t toMs, bool first);
  void ShowPage(const std::string& error, bool ok);
  void ShowFailure(const QString& error);
  void SetCaption(const QString& caption);
  ArchivePeriodSource PeriodSource() const;

  TMainForm& window_;
  std::unique_ptr<ArchiveImportCommand> import_;
  std::unique_ptr<Overview> overview_;
  bool exactWindow_ = false;
  std::int64_t exactLimit_ = ExactPeriodLimit();
  QString caption_;
  ArchiveTasks* chartTasks_;
  ArchiveTasks* readoutTasks_;
  ArchiveTasks* pageTasks_;
  ArchiveTasks* statsTasks_;
  // The cancel flag of the read each kind of request has running: a newer request (or leaving the
  // overview) sets the older one's, whose work then stops at its next chunk.
  class Superseded {
   public:
    std::shared_ptr<std::atomic<bool>> Next() {
      Stop();
      current_ = std::make_shared<std::atomic<bool>>(false);
      return current_;
    }
    void Stop() {
      if (current_) current_->store(true);
    }

   private:
    std::shared_ptr<std::atomic<bool>> current_;
  };
  Superseded statsCancel_;     // the span being measured
  Superseded envelopeCancel_;  // the window being read for the chart
  ArchiveTasks* alarmTasks_;
  Superseded alarmCancel_;     // the events being found
};

}  // namespace vantiro
