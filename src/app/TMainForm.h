#pragma once

#include <QDateTime>
#include <QImage>
#include <QMainWindow>
#include <array>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "chart/AlarmEvents.h"
#include "chart/ChartLines.h"
#include "chart/ChartScales.h"
#include "chart/SpanStatistics.h"
#include "chart/ZoomLimits.h"
#include "recorder/Dataset.h"
#include "platform/UserMessage.h"
#include "workbench/Paging.h"
#include "workbench/TableRows.h"
#include "workbench/ViewModel.h"

class QAction;
class QLayout;
class QSplitter;
class QDragEnterEvent;
class QDropEvent;
class QLabel;
class QMenu;
class QTabWidget;
class QTableView;
class QTimer;
class QToolBar;
class QWidget;

namespace vantiro {

class ArchiveCommands;
class ChartPage;
class SaveCommands;
class DataListModel;
class TablePage;
class TrendChart;
class TDataFilterDlg;
class TProcessDlg;
class TrafficDialog;
class SpanPanel;
class AlarmList;
class TAboutBox;
class TRealComSettingDlg;
class TOKBottomDlg;
class TOEMDLDlg;
class OverviewPage;
class LiveMonitor;
class LiveArchiveWriter;
struct StationReading;
struct LiveReading;

// The main window: menu bar, toolbar and the three pages (data table, trend chart, system
// overview). It owns the dataset and the view model; every command starts here.
class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget* parent = nullptr);
  ~TMainForm() override;

  // The dialogs created after the main window (the main window does not own them).
  struct Dialogs {
    TDataFilterDlg* dataFilter = nullptr;
    TRealComSettingDlg* comSetting = nullptr;
    TProcessDlg* process = nullptr;
    TAboutBox* about = nullptr;
    TOKBottomDlg* cursor = nullptr;
    TOEMDLDlg* oemDownload = nullptr;
  };
  void SetDialogs(const Dialogs& dialogs) { dialogs_ = dialogs; }

  // Commands (menu items and toolbar buttons share them).
  void OpenFileButtonClick();
  void ImportData();
  void SaveFileButtonClick();
  void PrintButtonClick();
  void ExitMenuItemClick();
  void DataTableMenuItemClick();
  void ChartMenuItemClick();
  void SystemCaseMenuItemClick();
  void ComSettingButtonClick();
  // "通讯记录": the line's requests and replies in a window of their own (not modal).
  void TrafficMenuItemClick();
  // Starts the probe of the recorder; monitoring starts when it has answered (RunProbeFinished).
  void RunButtonClick();
  // The probe at Run has ended: monitoring starts, or the recorder did not answer.
  void RunProbeFinished(bool probed);
  // Ends monitoring, or the probe at Run (the window then as it was before Run).
  void StopButtonClick();
  // Each tick of Timer while monitoring: the age of the last reading looked at (LinkAgeCheck), then
  // a poll on the worker unless one still runs.
  void OnTimer();
  // While monitoring: a last reading older than two poll intervals shows the link as lost (the
  // summary line "通讯中断" with the time of the last reading, each panel greyed with its reading's
  // age, each chart line broken after its last point); a reading that arrives brings it back.
  void LinkAgeCheck();
  bool LinkLost() const { return linkLost_; }
  // The link lost (or the recorder not there yet at Run) and being retried: the port is closed,
  // reopened and the recorder asked again after 1 s, 2 s, 5 s, then every 10 s; the window says so
  // beside its page tabs. Stop ends it.
  bool Reconnecting() const;
  // Stopped sessions' last commits to the archive waited for (before the archive is read).
  void SettleLiveArchive();
  // Why the running session's readings cannot be kept in the archive; empty when all is well.
  QString LiveArchiveProblem() const;
  // One live reading on show (a finished poll's, on the GUI thread): summary line, panels, chart
  // points and the single table row.
  void ApplyLiveReading(const LiveReading& reading);
  void OnHelpClick();
  void OnOEMDLClick();
  void AboutButtonClick();
  void DataFilterButtonClick();
  void FirstPageButtonClick();
  void FrontPageButtonClick();
  void NextPageButtonClick();
  void EndPageButtonClick();

  // Page events.
  void DataTabSheetShow();
  void ChartTabSheetShow();
  void SystemCaseTabSheetShow();

  // The view model.
  void ResetView();

  // The data filter: the dialog, then the view rebuilt from the loaded channels under its
  // settings behind the progress dialog. Nothing without loaded channels or when cancelled.
  void RunFilter();
  // The data list's context-menu request: the filter, as the filter button runs it (not while
  // the view holds live readings). No menu is shown.
  void DataListViewContextPopup();

  // Opens a file named on the command line: a .csv file as the import command does, anything else
  // as the open command does.
  void OpenFromCommandLine(const QString& path);

  // The archive: "导入到档案" (files, a folder; files dropped on the window too), "打开档案" and a
  // period opened in the window (ArchiveCommands).
  void ImportFilesToArchiveClick();
  void ImportFolderToArchiveClick();
  void OpenArchiveClick();
  ArchiveCommands& ArchiveView() { return *archive_; }

  // The trend chart's events.
  void ChartZoom();
  void OnChartScroll();
  void ChartUndoZoom();
  void OnAllowZoom();
  void OnChartDoubleClick();
  void ChartCursorToolChange(DateTime x);
  // The switch "峰值包络" (remembered): lines drawn as their envelopes of the window on show.
  void EnvelopeMenuItemClick();
  // After a load, an import or a filter: the cursors at t0 + 0.1 s, the read-out with them.
  void PlaceCursorsAfterLoad(DateTime t0);

  // The chart's value scale (视图: "统一坐标", "按量程", "按单位分轴"; remembered).
  void SetChartScale(ChartScale scale);
  // The panels under the chart (视图 "区间统计" and "报警事件", each remembered).
  void SpanPanelMenuItemClick();
  void AlarmListMenuItemClick();
  // The recording on show: the key its typed limits are kept under, and its channels' ranges by
  // number (for "按量程"; none for a CSV import or live lines, which use their values' span).
  void SetRecording(std::string limitsKey, std::map<int, std::pair<double, double>> ranges,
                    std::map<int, int> decimals = {});
  // The limits of the channel drawn by chart line `line` (typed ones before those the recorder
  // reports while monitoring), with the deadband and minimum duration of its alarm events.
  AlarmLimits LineLimits(std::size_t line) const;
  // The deadband of the line's events when none is typed: 1 % of its channel's recorded range
  // (DefaultDeadband of `samples`, the line's, for a channel without one; in an overview, whose
  // lines are not the samples, of the values' span its events measured, NaN while that is not
  // known).
  double LineDefaultDeadband(std::size_t line, const ChannelLimits& limits, const ChannelInfo& samples) const;
  // The limits dialog of a legend entry's context menu; the typed limits are kept for the recording.
  void EditLineLimits(std::size_t line);
  void SetLineLimits(std::size_t line, const AlarmLimits& limits);
  // The span panel, the alarm bands and the event list brought up to date with the lines and the
  // cursors (the panel at most once per turn of the event loop).
  void RefreshSpanPanel();
  void RefreshSpanPanelNow();
  void RefreshAlarms();
  // An overview's: its events found in the archive on a worker ("计算中…" in the list meanwhile).
  void RefreshOverviewAlarms();
  // The samples between the two cursors of the channels on show: the statistics per line.
  std::vector<SpanStatistics> SpanRows() const;
  // Save on the chart page: the chart picture, or the CSV of the samples in the visible window or
  // between the cursors (the filter's export of that window and those channels).
  void SaveChartWindowCsv(DateTime from, DateTime to, const QString& path);
  // The span panel's CSV export (GBK).
  void ExportSpanCsv();

  // The dataset and view model (read by tests and by later commands).
  std::vector<ChannelInfo> channels;
  DatasetSummary summary;
  TableRows tableRows;
  std::vector<std::int32_t> columnChannels;
  std::vector<ChartSeriesInfo> seriesList;
  std::vector<std::int16_t> liveChannels;
  std::uint32_t pageStart = 0;
  std::uint32_t pageEnd = 0;
  std::uint8_t activeTab = 0;
  PageButtons savedPageButtons;
  bool liveMode = false;
  ZoomLimits zoomLimits;
  std::thread workerThread;

  // Widgets and actions, by their names.
  QTabWidget* PageControl = nullptr;
  QWidget* DataTabSheet = nullptr;
  QWidget* ChartTabSheet = nullptr;
  TrendChart* Chart = nullptr;
  QWidget* SystemCaseTabSheet = nullptr;
  OverviewPage* Overview = nullptr;  // the overview page's contents
  LiveMonitor* Monitor = nullptr;    // the probe and the polls of live monitoring
  TablePage* Table = nullptr;  // the data table page (DataTabSheet), its list and model below
  QTableView* DataListView = nullptr;
  DataListModel* DataListViewModel = nullptr;
  QToolBar* ToolBar = nullptr;
  QTimer* Timer = nullptr;
  QTimer* TimerForAllowZoom = nullptr;

  QMenu* FileOpenMenuItem = nullptr;
  QAction* OpenFileMenuItem = nullptr;
  QAction* ImportDataMenuItem = nullptr;
  QAction* SaveFileMenuItem = nullptr;
  QAction* PrintMenuItem = nullptr;
  QAction* ExitMenuItem = nullptr;
  QMenu* ImportToArchiveMenu = nullptr;
  QAction* ImportFilesToArchiveMenuItem = nullptr;
  QAction* ImportFolderToArchiveMenuItem = nullptr;
  QAction* OpenArchiveMenuItem = nullptr;
  QAction* OpenArchiveButton = nullptr;
  QMenu* ViewMenuItem = nullptr;
  QAction* DataTableMenuItem = nullptr;
  QAction* ChartMenuItem = nullptr;
  QAction* SystemCaseMenuItem = nullptr;
  QAction* EnvelopeMenuItem = nullptr;
  QAction* ScaleSingleMenuItem = nullptr;  // "统一坐标"
  QAction* ScaleRangeMenuItem = nullptr;   // "按量程"
  QAction* ScaleUnitMenuItem = nullptr;    // "按单位分轴"
  QAction* SpanPanelMenuItem = nullptr;    // "区间统计"
  QAction* AlarmListMenuItem = nullptr;    // "报警事件"
  SpanPanel* SpanView = nullptr;
  AlarmList* AlarmView = nullptr;
  QSplitter* ChartSplitter = nullptr;
  QMenu* RealMenuItem = nullptr;
  QAction* ComSettingMenuItem = nullptr;
  QAction* RunMenuItem = nullptr;
  QAction* StopMenuItem = nullptr;
  QAction* TrafficMenuItem = nullptr;  // "通讯记录"
  QMenu* HelpMenuItem = nullptr;
  QAction* H1 = nullptr;
  QAction* OEMDownLoad = nullptr;
  QAction* AboutIMenuItem = nullptr;

  QAction* OpenFileButton = nullptr;
  QAction* DataFilterButton = nullptr;
  QAction* SaveFileButton = nullptr;
  QAction* PrintButton = nullptr;
  QAction* FirstPageButton = nullptr;
  QAction* FrontPageButton = nullptr;
  QAction* NextPageButton = nullptr;
  QAction* EndPageButton = nullptr;
  QAction* ComSettingButton = nullptr;
  QAction* RunButton = nullptr;
  QAction* StopButton = nullptr;
  QAction* HelpButton = nullptr;

  // The chart's picture as it is shown, for saving and printing.
  QImage ChartPictureAsShown();

  // From a worker thread: shows the message on the GUI thread and waits until it is closed.
  void ShowMessageFromWorker(const UserMessage& message);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;

 private:
  friend class ArchiveCommands;  // opens periods through the load pipeline, pages an overview
  void CreateMenus();
  void CreateToolBar();
  void CreatePages();
  void CreateChartPanels(QLayout* layout);
  void CreateChartMenus();
  void ReadChartSwitches();
  void BalanceChartPanels();
  // The samples behind chart line `line`: the dataset's channel when the view holds one, else
  // the line's own points (live lines, an archive overview's columns) made into `scratch`.
  const ChannelInfo& LineSamples(std::size_t line, ChannelInfo& scratch) const;
  int LineDecimals(std::size_t line) const;
  std::string limitsKey_;
  std::map<int, std::pair<double, double>> channelRanges_;
  std::map<int, int> channelDecimals_;  // as the recording says; others found from the values once
  mutable std::map<std::size_t, int> decimalsFound_;
  std::map<int, AlarmLimits> typedAlarms_;    // typed for the recording, with their event rules
  std::map<int, ChannelLimits> typedLimits_;  // the same limits alone, as the statistics take them
  std::map<int, ChannelLimits> liveLimits_;  // the recorder's high and low limits while monitoring
  // The span of each channel's values over an overview's period, where its alarm events measured it
  // (the default deadband of a channel without a range and with one limit).
  std::map<int, ValueSpan> overviewValues_;
  bool spanRefreshPending_ = false;
  void ReadRegistrySwitches();
  void OnPageChanged(int index);

  // The long commands (load, import, filter rebuild, CSV export) share this: the progress text set
  // and the bar reset, `work` on a worker thread driving the bar, the progress dialog shown modally
  // until the worker's end closes it, then the join. Widgets are touched only after it returns;
  // a message from the worker goes through ShowMessageFromWorker.
  void RunLongCommand(const QString& text, const std::function<void(ProgressSink&)>& work);
  // The load pipeline shared by open and import: reset, worker behind the progress dialog, then
  // the views. `read` runs on the worker and fills channels and summary.
  void LoadWithWorker(const std::function<std::optional<UserMessage>()>& read);
  void LoadRecorderFile(const QString& path);
  // The start of every load: the view emptied, the zoom limits open, out of live mode, no filter.
  void PrepareLoad(bool resetSummary);
  // A page of a period too long to hold, as the overview read it (its rows alone on hand).
  void ApplyPageOfPeriod(const PageWindow& page);
  // The commands that live monitoring disables and Stop enables again.
  std::vector<QAction*> CommandsOffWhileLive() const;
  void ImportCsvData(const QString& path);
  // After a build: the table's columns, rows and first page; then the page buttons remembered.
  void ApplyTable(TableView&& view);
  void SavePageButtonsAfterBuild();
  // Lays out the page window and its buttons.
  void ApplyPage(const PageWindow& page);
  // One of the four paging commands on the page on show.
  void MovePage(void (*command)(PageWindow&, std::uint32_t, std::uint32_t));
  PageButtons CurrentPageButtons() const;
  void SetPageButtons(const PageButtons& buttons);
  void SetOutputCommandsEnabled(bool enabled);
  std::uint32_t RowsPerPage() const;
  // The envelope of the window on show, when the switch is on and the view holds a dataset.
  void RefreshEnvelope();
  int PlotColumns() const;

  Dialogs dialogs_;
  PageWindow page_;
  std::optional<FilterSettings> filter_;  // the filter the view was last built with, if any
  // Live monitoring: when the last reading arrived (this PC's steady clock and wall clock), the
  // recorder's time of it, and whether the link is shown as lost.
  std::chrono::steady_clock::time_point lastReadingAt_{};
  QDateTime lastReadingWall_;
  DateTime lastReadingTime_ = 0.0;
  bool linkLost_ = false;
  // Run's wait for a recorder that is not there yet, and the retrying of a lost link.
  void WaitForRecorder();
  void BeginReconnect(const QString& reason);
  void RetryLink();
  void EndReconnect();
  bool waitingForRecorder_ = false;  // Run pressed, the recorder not found yet
  bool monitoring_ = false;          // from the first answer after Run until Stop
  bool reconnecting_ = false;
  int reconnectTries_ = 0;
  int failedPolls_ = 0;  // in a row
  QDateTime lostSince_;
  QString linkReason_;
  QTimer* reconnectTimer_ = nullptr;
  QLabel* linkStatus_ = nullptr;  // beside the page tabs while the link is lost
  // The session's readings into the archive (config.ini's choice), on a worker of their own.
  void StartRecording();
  void EndRecording();
  std::unique_ptr<LiveArchiveWriter> liveArchive_;
  bool recordStations_ = false;
  // The further recorders on show: their channels, their chart lines, their own archive writer.
  struct LiveStationView {
    QString name;
    std::vector<int> channels;
    std::vector<std::size_t> lines;
    std::unique_ptr<LiveArchiveWriter> archive;
    bool lost = false;
    QDateTime lastWall;
    DateTime lastTime = 0.0;
  };
  std::vector<LiveStationView> stationViews_;
  void AddStationLines(std::vector<ChartLine>& lines);
  // A live line past `cap` points made an overview of its older part (CompactLiveLine).
  void KeepLiveLineBounded(std::size_t line, std::size_t cap);
  void ApplyStationReadings(const std::vector<StationReading>& readings);
  std::vector<std::unique_ptr<LiveArchiveWriter>> retiringArchives_;
  std::unique_ptr<ChartPage> chartPage_;
  std::unique_ptr<SaveCommands> saveCommands_;
  ArchiveCommands* archive_ = nullptr;
  TrafficDialog* traffic_ = nullptr;  // the Save command and its save dialog
};

}  // namespace vantiro
