#include "app/TMainForm.h"

#include <limits>
#include <map>
#include <memory>

#include <QAction>
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMimeData>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QStyle>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <QVBoxLayout>

#include "app/ArchiveCommands.h"
#include "app/MainWindowFrame.h"
#include "archive/LiveRecording.h"
#include "archive/ui/ArchiveBrowser.h"
#include "chart/ChannelLimitsStore.h"
#include "chart/Cursors.h"
#include "chart/ui/ChartPage.h"
#include "chart/ui/TOKBottomDlg.h"
#include "chart/ui/ChartPanels.h"
#include "chart/ui/TrendChart.h"
#include "instrument/CommSettings.h"
#include "instrument/ModbusRtuImpl.h"
#include "instrument/ui/InstrumentDialogs.h"
#include "instrument/ui/LiveMonitor.h"
#include "instrument/ui/OverviewPage.h"
#include "instrument/ui/TRealComSettingDlg.h"
#include "instrument/ui/TrafficDialog.h"
#include "instrument/TrafficLog.h"
#include "output/Reports.h"
#include "output/ui/PrintCommands.h"
#include "output/ui/SaveCommands.h"
#include "platform/ProgramDir.h"
#include "platform/Registry.h"
#include "recorder/CsvImport.h"
#include "recorder/RecorderFile.h"
#include "workbench/ui/DataListModel.h"
#include "workbench/ui/TablePage.h"
#include "app/AppDialogs.h"
#include "workbench/ui/TDataFilterDlg.h"
#include "platform/ui/Prompts.h"
#include "platform/ui/Fonts.h"
#include "platform/ui/LongCommand.h"
#include "platform/ui/TProcessDlg.h"

namespace vantiro {
namespace {

constexpr int kClientWidth = 1282;
constexpr int kClientHeight = 942;

const QString kLoadingText = QStringLiteral("数据正在加载，请稍等...");
const QString kFilteringText = QStringLiteral("数据正在筛选，请稍等...");
const QString kOpenFilter = QStringLiteral("二进制文件(*.bin)|*.bin|数据文件(*.dat)|*.dat");
const QString kImportFilter = QStringLiteral("CSV文件(*.csv)|*.csv");

// The file's name in the title once the file is on show; a load that gave nothing leaves the
// window's own title.
void ShowFileTitle(TMainForm& window, const QString& path) {
  window.setWindowTitle(MainWindowTitle(window.channels.empty() ? QString() : QFileInfo(path).fileName()));
}

}  // namespace

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
  setObjectName(QStringLiteral("MainForm"));
  setWindowTitle(MainWindowTitle(QString()));
  setWindowIcon(style()->standardIcon(QStyle::SP_DriveHDIcon));

  CreateMenus();
  CreateToolBar();
  CreatePages();
  archive_ = new ArchiveCommands(*this);
  setAcceptDrops(true);

  Timer = new QTimer(this);
  Timer->setObjectName(QStringLiteral("Timer"));
  Timer->setInterval(1000);
  TimerForAllowZoom = new QTimer(this);
  TimerForAllowZoom->setObjectName(QStringLiteral("TimerForAllowZoom"));
  TimerForAllowZoom->setInterval(100);
  connect(Timer, &QTimer::timeout, this, &TMainForm::OnTimer);
  Monitor = new LiveMonitor(theInstrument, this);
  reconnectTimer_ = new QTimer(this);
  reconnectTimer_->setObjectName(QStringLiteral("ReconnectTimer"));
  reconnectTimer_->setSingleShot(true);
  connect(reconnectTimer_, &QTimer::timeout, this, &TMainForm::RetryLink);
  linkStatus_ = new QLabel(PageControl);
  linkStatus_->setObjectName(QStringLiteral("LinkStatus"));
  linkStatus_->setStyleSheet(QStringLiteral("color: #b00000; padding: 0 8px;"));
  PageControl->setCornerWidget(linkStatus_, Qt::TopRightCorner);
  linkStatus_->hide();
  connect(TimerForAllowZoom, &QTimer::timeout, this, &TMainForm::OnAllowZoom);

  // The client area (everything below the menu bar) is 1282 x 942, on a screen that has room for it;
  // on a smaller one the window starts as large as the screen's free area takes.
  const QSize design(kClientWidth, kClientHeight + menuBar()->sizeHint().height());
  if (const QScreen* shownOn = screen()) {
    FitWindowToScreen(*this, design, shownOn->availableGeometry());
  } else {
    resize(design);
  }

  // Initial states.
  Timer->stop();
  StopButton->setEnabled(false);
  StopMenuItem->setEnabled(false);
  SetPageButtons(PageButtons{});
  savedPageButtons = PageButtons{};
  PageControl->setTabVisible(PageControl->indexOf(SystemCaseTabSheet), false);
  SystemCaseMenuItem->setVisible(false);
  ReadRegistrySwitches();
}

TMainForm::~TMainForm() {
  Timer->stop();
  reconnectTimer_->stop();
  delete Monitor;  // ends a running poll before the widgets go
  Monitor = nullptr;
  EndRecording();
  SettleLiveArchive();
  if (workerThread.joinable()) workerThread.join();
}

void TMainForm::CreatePages() {
  PageControl = new QTabWidget(this);
  PageControl->setObjectName(QStringLiteral("PageControl"));
  PageControl->setDocumentMode(true);

  Table = new TablePage(channels, tableRows, columnChannels, PageControl);
  DataTabSheet = Table;
  DataListView = Table->View();
  DataListViewModel = Table->Model();
  connect(Table, &TablePage::contextMenuRequested, this, &TMainForm::DataListViewContextPopup);

  ChartTabSheet = new QWidget(PageControl);
  ChartTabSheet->setObjectName(QStringLiteral("ChartTabSheet"));
  Chart = new TrendChart(ChartTabSheet);
  auto* chartLayout = new QVBoxLayout(ChartTabSheet);
  chartLayout->setContentsMargins(0, 0, 0, 0);
  chartPage_ = std::make_unique<ChartPage>(*Chart, seriesList, summary);
  CreateChartPanels(chartLayout);
  connect(Chart, &TrendChart::zoomed, this, &TMainForm::ChartZoom);
  connect(Chart, &TrendChart::scrolled, this, &TMainForm::OnChartScroll);
  connect(Chart, &TrendChart::zoomUndone, this, &TMainForm::ChartUndoZoom);
  connect(Chart, &TrendChart::doubleClicked, this, &TMainForm::OnChartDoubleClick);
  connect(Chart, &TrendChart::cursorMoved, this, &TMainForm::ChartCursorToolChange);
  SystemCaseTabSheet = new QWidget(PageControl);
  SystemCaseTabSheet->setObjectName(QStringLiteral("SystemCaseTabSheet"));
  auto* overviewLayout = new QVBoxLayout(SystemCaseTabSheet);
  overviewLayout->setContentsMargins(0, 0, 0, 0);
  Overview = new OverviewPage(SystemCaseTabSheet);
  overviewLayout->addWidget(Overview);

  PageControl->addTab(DataTabSheet, QStringLiteral("数据表"));
  PageControl->addTab(ChartTabSheet, QStringLiteral("趋势图"));
  PageControl->addTab(SystemCaseTabSheet, QStringLiteral("系统总貌"));
  connect(PageControl, &QTabWidget::currentChanged, this, &TMainForm::OnPageChanged);
  setCentralWidget(PageControl);
}

void TMainForm::ReadRegistrySwitches() {
  OpenOrCreateRegistryKey(kVendorKey);
  ImportDataMenuItem->setVisible(ReadRegistryInt(kVendorKey, "ImportData") == 1);
  OEMDownLoad->setVisible(ReadRegistryInt(kVendorKey, "OEMDL") == 1);
  EnvelopeMenuItem->setChecked(ReadRegistryInt(kSettingsKey, "Envelope") == 1);
  ReadChartSwitches();
  chartPage_->SetEnvelope(EnvelopeMenuItem->isChecked(), &channels);
}

// ---------------------------------------------------------------------------------------------
// Page switching

void TMainForm::OnPageChanged(int index) {
  QWidget* page = PageControl->widget(index);
  if (page == DataTabSheet) {
    DataTabSheetShow();
  } else if (page == ChartTabSheet) {
    ChartTabSheetShow();
  } else if (page == SystemCaseTabSheet) {
    SystemCaseTabSheetShow();
  }
}

PageButtons TMainForm::CurrentPageButtons() const {
  return PageButtons{FirstPageButton->isEnabled(), FrontPageButton->isEnabled(),
                     NextPageButton->isEnabled(), EndPageButton->isEnabled()};
}

void TMainForm::SetPageButtons(const PageButtons& buttons) {
  FirstPageButton->setEnabled(buttons.first);
  FrontPageButton->setEnabled(buttons.previous);
  NextPageButton->setEnabled(buttons.next);
  EndPageButton->setEnabled(buttons.last);
}

void TMainForm::SetOutputCommandsEnabled(bool enabled) {
  SaveFileButton->setEnabled(enabled);
  PrintButton->setEnabled(enabled);
  SaveFileMenuItem->setEnabled(enabled);
  PrintMenuItem->setEnabled(enabled);
}

void TMainForm::DataTabSheetShow() {
  activeTab = 0;
  SetPageButtons(savedPageButtons);
  SetOutputCommandsEnabled(true);
}

void TMainForm::ChartTabSheetShow() {
  if (activeTab == 0) savedPageButtons = CurrentPageButtons();
  activeTab = 1;
  SetPageButtons(PageButtons{});
  SetOutputCommandsEnabled(true);
}

void TMainForm::SystemCaseTabSheetShow() {
  if (activeTab == 0) savedPageButtons = CurrentPageButtons();
  activeTab = 2;
  DataFilterButton->setEnabled(false);
  SetPageButtons(PageButtons{});
  SetOutputCommandsEnabled(false);
}

void TMainForm::DataTableMenuItemClick() { PageControl->setCurrentWidget(DataTabSheet); }
void TMainForm::ChartMenuItemClick() { PageControl->setCurrentWidget(ChartTabSheet); }
void TMainForm::SystemCaseMenuItemClick() { PageControl->setCurrentWidget(SystemCaseTabSheet); }

// ---------------------------------------------------------------------------------------------
// Loading

void TMainForm::ResetView() {
  channels.clear();
  tableRows.clear();
  columnChannels.clear();
  chartPage_->ClearChart();
  DataListViewModel->Clear();
  if (dialogs_.dataFilter) dialogs_.dataFilter->ResetChannelSelection();
}

std::uint32_t TMainForm::RowsPerPage() const {
  return dialogs_.dataFilter ? dialogs_.dataFilter->rowsPerPage : kDefaultRowsPerPage;
}

void TMainForm::ShowMessageFromWorker(const UserMessage& message) {
  vantiro::ShowMessageFromWorker(this, message);
}

void TMainForm::RunLongCommand(const QString& text, const std::function<void(ProgressSink&)>& work) {
  vantiro::RunLongCommand(this, dialogs_.process, workerThread, text, work);
}

namespace {

// A view build on a worker: what it built, or an empty view rather than half of one when it ran out
// of memory.
void BuildOrEmpty(const std::function<LoadView()>& build, TableView& view, ChartFill& fill) {
  try {
    LoadView built = build();
    view = std::move(built.table);
    fill = std::move(built.chart);
  } catch (...) {
    view = TableView{};
    fill = ChartFill{};
  }
}

}  // namespace

void TMainForm::ApplyTable(TableView&& view) {
  columnChannels = std::move(view.columnChannels);
  tableRows = std::move(view.rows);
  Table->ShowColumns(view.columns);
  ApplyPage(view.page);
}

void TMainForm::SavePageButtonsAfterBuild() {
  // Next and last stay off while another page is on show; their states wait for the table page.
  savedPageButtons = CurrentPageButtons();
  if (activeTab != 0) {
    NextPageButton->setEnabled(false);
    EndPageButton->setEnabled(false);
  }
}

void TMainForm::LoadWithWorker(const std::function<std::optional<UserMessage>()>& read) {
  const std::uint32_t rowsPerPage = RowsPerPage();
  TableView view;
  ChartFill fill;
  RunLongCommand(kLoadingText, [this, &read, &view, &fill, rowsPerPage](ProgressSink& progress) {
    std::optional<UserMessage> message;
    try {
      message = read();
    } catch (...) {
      // The reader failed in a way of its own; what it appended stays.
      message = UserMessage{std::string(kReadFailedText), MessageIcon::Error};
    }
    if (message) ShowMessageFromWorker(*message);
    BuildOrEmpty([&] { return BuildViewModel(channels, summary, rowsPerPage, &progress); }, view, fill);
  });

  // Apply the views on the GUI thread, in the order of the build.
  ApplyTable(std::move(view));
  DataFilterButton->setEnabled(true);
  chartPage_->ShowFill(std::move(fill), zoomLimits);
  filter_.reset();
  RefreshEnvelope();

  PlaceCursorsAfterLoad(summary.startTime);
  if (dialogs_.dataFilter) dialogs_.dataFilter->InitFromDataset(summary.startTime, summary.endTime);
  SavePageButtonsAfterBuild();
}

void TMainForm::OpenFileButtonClick() {
  const QString path = CurrentPrompts().OpenFileName(this, QStringLiteral("打开"), kOpenFilter);
  if (path.isEmpty()) return;
  LoadRecorderFile(path);
}

void TMainForm::PrepareLoad(bool resetSummary) {
  ResetView();
  if (resetSummary) ResetSummary(summary);
  zoomLimits.xZoomLimitOpen = zoomLimits.yZoomLimitOpen = true;
  liveMode = false;
  filter_.reset();
}

void TMainForm::LoadRecorderFile(const QString& path) {
  archive_->Forget();
  PrepareLoad(true);
  const std::string file = path.toStdString();
  LoadWithWorker([this, file] { return ReadRecorderFile(file, summary, channels); });
  ShowFileTitle(*this, path);
  // Each channel drawn against its own range under "按量程"; the limits typed for this file.
  std::map<int, std::pair<double, double>> ranges;
  std::map<int, int> decimals;
  for (const RecorderChannelRange& range : ReadRecorderChannelRanges(file)) {
    ranges[range.number] = {range.lower, range.upper};
    decimals[range.number] = range.decimals;
  }
  SetRecording(FileLimitsKey(file), std::move(ranges), std::move(decimals));
}

void TMainForm::ImportData() {
  const QString path = CurrentPrompts().OpenFileName(this, QStringLiteral("导入数据"), kImportFilter);
  if (path.isEmpty()) return;
  ImportCsvData(path);
}

void TMainForm::ImportCsvData(const QString& path) {
  archive_->Forget();
  // The summary is not reset: an import that accepts nothing keeps the previous span.
  PrepareLoad(false);
  const std::string file = path.toStdString();
  LoadWithWorker([this, file] { return ImportCsvFile(file, summary, channels); });
  ShowFileTitle(*this, path);
  SetRecording(FileLimitsKey(file), {});
}

void TMainForm::ImportFilesToArchiveClick() { archive_->ImportFiles(); }
void TMainForm::ImportFolderToArchiveClick() { archive_->ImportFolder(); }
void TMainForm::OpenArchiveClick() { archive_->Browse(); }

void TMainForm::dragEnterEvent(QDragEnterEvent* event) {
  if (!liveMode && !waitingForRecorder_ && !Monitor->ProbeRunning() && event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void TMainForm::dropEvent(QDropEvent* event) {
  QStringList names;
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) names << url.toLocalFile();
  }
  if (names.isEmpty() || liveMode || waitingForRecorder_) return;
  event->acceptProposedAction();
  // After the drop has ended (the dialogs of the import are modal).
  QTimer::singleShot(0, this, [this, names] { archive_->ImportDropped(names); });
}

void TMainForm::OpenFromCommandLine(const QString& path) {
  if (path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
    ImportCsvData(path);
  } else {
    LoadRecorderFile(path);
  }
}

// ---------------------------------------------------------------------------------------------
// The data filter

void TMainForm::DataFilterButtonClick() { RunFilter(); }

void TMainForm::DataListViewContextPopup() {
  if (liveMode) return;
  RunFilter();
}

void TMainForm::RunFilter() {
  if (!dialogs_.dataFilter) return;
  TDataFilterDlg& dialog = *dialogs_.dataFilter;
  if (archive_->OverviewShown()) {
    // The window and channels chosen, read exact from the archive.
    if (dialog.exec() == QDialog::Accepted) archive_->FilterOverview(dialog.Settings());
    return;
  }
  if (channels.empty()) return;
  if (dialog.exec() != QDialog::Accepted) return;

  tableRows.clear();
  columnChannels.clear();
  DataListViewModel->Clear();
  chartPage_->ClearChart();
  zoomLimits.xZoomLimitOpen = zoomLimits.yZoomLimitOpen = true;

  const FilterSettings settings = dialog.Settings();
  TableView view;
  ChartFill fill;
  RunLongCommand(kFilteringText, [this, &settings, &view, &fill](ProgressSink& progress) {
    BuildOrEmpty([&] { return BuildFilteredViewModel(channels, summary, settings, &progress); }, view, fill);
  });

  // Apply the views on the GUI thread, in the order of the build.
  ApplyTable(std::move(view));
  chartPage_->ShowFill(std::move(fill), zoomLimits);
  filter_ = settings;
  RefreshEnvelope();

  PlaceCursorsAfterLoad(settings.filterStart);
  SavePageButtonsAfterBuild();
}

// ---------------------------------------------------------------------------------------------
// The trend chart

void TMainForm::ChartZoom() {
  if (liveMode) return;
  if (archive_->OverviewShown()) {
    chartPage_->Apply(vantiro::ChartZoom(Chart->Ranges(), Chart->Cursors(), zoomLimits));
    archive_->ViewChanged();
    return;
  }
  if (channels.empty()) return;
  archive_->ExactWindowZoomed();
  chartPage_->Apply(vantiro::ChartZoom(Chart->Ranges(), Chart->Cursors(), zoomLimits));
  RefreshEnvelope();
}

void TMainForm::OnChartScroll() {
  if (liveMode) return;
  if (archive_->OverviewShown()) {
    chartPage_->Apply(vantiro::OnChartScroll(Chart->Ranges(), Chart->Cursors(), zoomLimits));
    archive_->ViewChanged();
    return;
  }
  if (channels.empty()) return;
  chartPage_->Apply(vantiro::OnChartScroll(Chart->Ranges(), Chart->Cursors(), zoomLimits));
  RefreshEnvelope();
}

void TMainForm::ChartUndoZoom() {
  if (liveMode) return;
  if (archive_->OverviewShown()) {
    chartPage_->Apply(vantiro::ChartUndoZoom(Chart->Ranges(), Chart->Cursors(), zoomLimits));
    archive_->ViewChanged();
    return;
  }
  // The exact samples of a window of an overview, not zoomed into since: back to the overview.
  if (archive_->UndoLeavesExactWindow()) {
    archive_->BackToOverview();
    return;
  }
  if (channels.empty()) return;
  chartPage_->Apply(vantiro::ChartUndoZoom(Chart->Ranges(), Chart->Cursors(), zoomLimits));
  RefreshEnvelope();
}

int TMainForm::PlotColumns() const {
  const int width = Chart->axisRect() ? Chart->axisRect()->width() : 0;
  return width > 0 ? width : kEnvelopeColumns;
}

void TMainForm::RefreshEnvelope() {
  if (liveMode || channels.empty() || archive_->OverviewShown()) return;
  chartPage_->RefreshEnvelope(PlotColumns());
}

void TMainForm::EnvelopeMenuItemClick() {
  const bool on = EnvelopeMenuItem->isChecked();
  WriteRegistryInt(kSettingsKey, "Envelope", on ? 1 : 0);
  chartPage_->SetEnvelope(on, &channels);
  if (liveMode || channels.empty() || Chart->LineCount() == 0 || archive_->OverviewShown()) return;
  if (on) {
    RefreshEnvelope();
    return;
  }
  // The thinned lines back, as the last fill drew them.
  chartPage_->ReplaceLines(filter_ ? FillChartInWindow(channels, summary, filter_->channelSelected,
                                                       filter_->filterStart, filter_->filterEnd)
                                   : FillChart(channels, summary));
}

void TMainForm::OnAllowZoom() {
  TimerForAllowZoom->stop();
  Chart->SetZoomAllowed(true);
}

void TMainForm::OnChartDoubleClick() {
  if (liveMode || channels.empty() || !dialogs_.cursor) return;
  Chart->SetZoomAllowed(false);
  const ViewRanges view = Chart->Ranges();
  const CursorPositions at = Chart->Cursors();
  TOKBottomDlg& dialog = *dialogs_.cursor;
  dialog.LoadCursors(at.x, at.y1, at.y2, view.x0, view.x1, view.y0, view.y1);
  dialog.LoadSecondCursor(at.x2);
  if (dialog.exec() == QDialog::Accepted) {
    if (dialog.newX2 != 0.0) Chart->SetCursorX2(dialog.newX2);
    Chart->SetCursorX(dialog.newX);
    Chart->SetCursorY1(dialog.newY1);
    Chart->SetCursorY2(dialog.newY2);
    Chart->SetVerticalCursor(true, dialog.showY1);
    Chart->SetHorizontalCursorActive(dialog.showY2);
  }
  TimerForAllowZoom->start();
}

void TMainForm::ChartCursorToolChange(DateTime x) {
  RefreshSpanPanel();
  if (archive_->OverviewShown()) {
    archive_->CursorMoved(x);
    return;
  }
  chartPage_->ChartCursorToolChange(x);
}

void TMainForm::PlaceCursorsAfterLoad(DateTime t0) {
  const bool showY1 = dialogs_.cursor && dialogs_.cursor->showY1;
  const bool showY2 = dialogs_.cursor && dialogs_.cursor->showY2;
  chartPage_->PlaceCursorsAfterLoad(t0, showY1, showY2);
}

// ---------------------------------------------------------------------------------------------
// Paging

void TMainForm::ApplyPage(const PageWindow& page) {
  page_ = page;
  pageStart = page.pageStart;
  pageEnd = page.pageEnd;
  SetPageButtons(page.buttons);
  Table->ShowPage(page.pageStart, page.itemCount);
}

void TMainForm::ApplyPageOfPeriod(const PageWindow& page) {
  ApplyPage(page);
  savedPageButtons = page.buttons;
  if (activeTab != 0) SetPageButtons(PageButtons{});
}

void TMainForm::MovePage(void (*command)(PageWindow&, std::uint32_t, std::uint32_t)) {
  if (archive_->OverviewShown()) {
    archive_->Page(command == FirstPage ? 0 : command == PreviousPage ? 1 : command == NextPage ? 2 : 3);
    return;
  }
  PageWindow page = page_;
  command(page, static_cast<std::uint32_t>(tableRows.size()), RowsPerPage());
  ApplyPage(page);
}

void TMainForm::FirstPageButtonClick() { MovePage(FirstPage); }
void TMainForm::FrontPageButtonClick() { MovePage(PreviousPage); }
void TMainForm::NextPageButtonClick() { MovePage(NextPage); }
void TMainForm::EndPageButtonClick() { MovePage(LastPage); }

// ---------------------------------------------------------------------------------------------
// Printing

void TMainForm::PrintButtonClick() {
  if (activeTab == 0) {
    PrintTablePage(this, channels, tableRows, columnChannels, DataListViewModel->Columns(), pageStart,
                   DataListViewModel->ItemCount());
  } else if (activeTab == 1) {
    const ViewRanges view = Chart->Ranges();
    // The span panel's table under the picture while the panel shows.
    const std::vector<SpanStatistics> rows = SpanPanelMenuItem->isChecked() ? SpanRows() : std::vector<SpanStatistics>{};
    PrintChart(this, Chart->LineCount() > 0, ChartPictureAsShown(), view.x0, view.x1,
               SpanPanelMenuItem->isChecked() ? &rows : nullptr);
  }
}

QImage TMainForm::ChartPictureAsShown() {
  // At its size on screen; the chart page's size before it has been laid out.
  const bool laidOut = Chart->width() > 0 && Chart->height() > 0;
  return Chart->Render(laidOut ? Chart->width() : TrendChart::kPageWidth,
                       laidOut ? Chart->height() : TrendChart::kPageHeight);
}

// ---------------------------------------------------------------------------------------------
// Saving

void TMainForm::SaveFileButtonClick() {
  if (!saveCommands_) {
    saveCommands_ = std::make_unique<SaveCommands>(
        this,
        [this](const QString& text, const std::function<void(ProgressSink&)>& work) {
          RunLongCommand(text, work);
        },
        [this](const UserMessage& message) { ShowMessageFromWorker(message); });
  }
  switch (activeTab) {
    case 0:
      saveCommands_->SaveTable(channels, tableRows, columnChannels, pageStart,
                               DataListViewModel->ItemCount());
      break;
    case 1:
    {
      // Beside the picture, the samples of the visible window (between the two cursors while the
      // span panel shows) as the filter would export them; only where the view holds the samples.
      const bool exact = !liveMode && !archive_->OverviewShown() && !channels.empty();
      const bool betweenCursors = SpanPanelMenuItem->isChecked();
      const auto saveCsv = [this, betweenCursors](const QString& path) {
        const ViewRanges view = Chart->Ranges();
        const CursorPositions at = Chart->Cursors();
        if (betweenCursors) {
          SaveChartWindowCsv(at.x, at.x2, path);
        } else {
          SaveChartWindowCsv(view.x0, view.x1, path);
        }
      };
      saveCommands_->SaveChart(Chart->LineCount() > 0, [this] { return ChartPictureAsShown(); },
                               exact ? std::function<void(const QString&)>(saveCsv) : nullptr,
                               betweenCursors ? QStringLiteral("CSV Files - 游标之间数据(*.csv)|*.csv")
                                              : QStringLiteral("CSV Files - 可见范围数据(*.csv)|*.csv"));
    }
      break;
    default:
      break;  // the system overview has nothing to save
  }
}

// ---------------------------------------------------------------------------------------------
// Other commands

void TMainForm::ExitMenuItemClick() { close(); }

void TMainForm::OnHelpClick() {
  CurrentPrompts().OpenDocument(QString::fromStdString(HelpDocumentPath(ProgramDirectory())));
}

void TMainForm::AboutButtonClick() {
  if (dialogs_.about) dialogs_.about->exec();
}

void TMainForm::TrafficMenuItemClick() {
  if (!traffic_) traffic_ = new TrafficDialog(InstrumentTraffic(), this);
  traffic_->show();
  traffic_->raise();
  traffic_->activateWindow();
}

void TMainForm::ComSettingButtonClick() {
  if (!dialogs_.comSetting) return;
  dialogs_.comSetting->LoadDialogFromIni();
  const std::string archive = RememberedArchiveLocation();
  dialogs_.comSetting->SetArchiveShown(QString::fromStdString(archive.empty() ? DefaultArchiveLocation() : archive));
  dialogs_.comSetting->exec();
}

// The OEM picture download.
void TMainForm::OnOEMDLClick() {
  // A fresh dialog for each use, gone when it closes (it waits for its download's end first).
  TOEMDLDlg dialog(this);
  dialog.exec();
}

}  // namespace vantiro
