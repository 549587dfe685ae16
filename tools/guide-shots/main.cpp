// Takes the user guide's pictures from the real program: its windows are built, a recording is
// opened, pages, dialogs and live monitoring are shown one after another, and each is grabbed to a
// PNG file. scripts/guide-screenshots runs it under a virtual display with a simulated recorder.
//
//   guide-shots OUTDIR RECORDING CONFIG.INI [ARCHIVE]
//
// ARCHIVE, a SQLite archive holding the recorder "锅炉1号", adds the archive browser and a period
// in overview.
//
// CONFIG.INI maps COM1 to the simulated recorder; the per-user switches are taken from
// $XDG_CONFIG_HOME (the script points it at a scratch folder with the import and download on).
#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QScrollArea>
#include <QTimer>
#include <cstdio>
#include <functional>
#include <memory>

#include "chart/ui/ChartPanels.h"
#include "chart/ui/TrendChart.h"
#include "instrument/ModbusRtuImpl.h"
#include "instrument/SerialLibrary.h"
#include "instrument/ui/InstrumentDialogs.h"
#include "instrument/ui/LiveMonitor.h"
#include "instrument/ui/OverviewPage.h"
#include "instrument/ui/TRealComSettingDlg.h"
#include "support/MouseGestures.h"
#include "app/AppWindows.h"
#include "app/ArchiveCommands.h"
#include "archive/ui/ArchiveBrowser.h"
#include "workbench/ui/DataListModel.h"
#include "app/Startup.h"
#include "app/TMainForm.h"
#include "platform/ProcessSignals.h"

namespace {

QString outDir;
int failures = 0;

bool WaitUntil(const std::function<bool()>& done, int milliseconds) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > milliseconds) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  return true;
}

void Settle(int milliseconds = 300) {
  WaitUntil([] { return false; }, milliseconds);
}

void Save(QWidget* widget, const char* name) {
  const QString path = outDir + QLatin1Char('/') + QLatin1String(name);
  if (!widget || !widget->grab().save(path)) {
    std::fprintf(stderr, "guide-shots: could not take %s\n", name);
    ++failures;
    return;
  }
  std::printf("%s\n", qPrintable(path));
}

// Runs `open`, which shows a modal dialog; once it is up, `prepare` may fill it, then it is
// grabbed and closed.
void ShootModal(const char* name, const std::function<void()>& open,
                const std::function<void(QWidget*)>& prepare = {}) {
  QTimer::singleShot(400, [name, prepare] {
    QWidget* dialog = QApplication::activeModalWidget();
    if (!dialog) {
      std::fprintf(stderr, "guide-shots: no dialog for %s\n", name);
      ++failures;
      return;
    }
    if (prepare) prepare(dialog);
    Settle(200);
    Save(dialog, name);
    if (auto* d = qobject_cast<QDialog*>(dialog)) d->reject();
    else dialog->close();
  });
  open();
}

}  // namespace

int main(int argc, char* argv[]) {
  vantiro::IgnoreFileSizeSignal();  // a picture past the file-size limit fails, reported
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantiro"));
  const QStringList args = QApplication::arguments();
  if (args.size() != 4 && args.size() != 5) {
    std::fprintf(stderr, "usage: guide-shots OUTDIR RECORDING CONFIG.INI [ARCHIVE]\n");
    return 2;
  }
  outDir = args.at(1);
  const QString recording = args.at(2);
  const std::string ini = args.at(3).toStdString();
  vantiro::InstallQtChineseTranslation(app);

  vantiro::TermiosSerialLibrary library(ini);
  vantiro::ModbusRtuImpl instrument(library);
  vantiro::AppWindows windows;
  vantiro::TMainForm& form = *windows.mainForm;
  delete form.Monitor;
  form.Monitor = new vantiro::LiveMonitor(instrument, &form);
  form.Monitor->SetIniPath(ini);
  windows.realComSettingDlg->SetIniPath(ini);
  form.move(0, 0);
  form.show();
  Settle();

  // The recording, its first and second table page.
  form.OpenFromCommandLine(recording);
  if (!WaitUntil([&] { return form.DataListViewModel->rowCount() > 0; }, 60000)) {
    std::fprintf(stderr, "guide-shots: the recording did not load\n");
    return 1;
  }
  Settle();
  Save(&form, "main-window.png");
  form.NextPageButtonClick();
  Settle();
  Save(&form, "table-page.png");
  form.FirstPageButtonClick();

  ShootModal("filter-dialog.png", [&] { form.DataFilterButtonClick(); });

  // The chart, zoomed into a stretch of the recording, with the cursor's read-out.
  form.ChartMenuItemClick();
  Settle();
  const QRect plot = form.Chart->rect();
  vantiro::testing::Drag(form.Chart, Qt::LeftButton,
                         QPoint(plot.width() * 30 / 100, plot.height() * 70 / 100),
                         QPoint(plot.width() * 36 / 100, plot.height() * 96 / 100));
  Settle(600);
  // The cursor moved into the middle of the view, as a drag of it would.
  const vantiro::ViewRanges view = form.Chart->Ranges();
  const vantiro::DateTime middle = view.x0 + (view.x1 - view.x0) * 0.55;
  form.Chart->SetCursorX(middle);
  form.ChartCursorToolChange(middle);
  Settle(600);
  Save(&form, "chart-page.png");
  ShootModal("cursor-dialog.png", [&] { form.OnChartDoubleClick(); });

  // The whole recording on an axis per unit, then each channel on its range.
  form.Chart->UndoZoom();
  form.SetChartScale(vantiro::ChartScale::Unit);
  Settle(600);
  Save(&form, "chart-scale-unit.png");
  form.SetChartScale(vantiro::ChartScale::Range);
  Settle(600);
  Save(&form, "chart-scale-range.png");
  // The span panel between the two vertical cursors, over a day of the recording.
  form.SetChartScale(vantiro::ChartScale::Unit);
  if (!form.SpanPanelMenuItem->isChecked()) form.SpanPanelMenuItem->trigger();
  {
    const vantiro::ViewRanges whole = form.Chart->Ranges();
    form.Chart->SetCursorX(whole.x0 + (whole.x1 - whole.x0) * 0.25);
    form.Chart->SetCursorX2(whole.x0 + (whole.x1 - whole.x0) * 0.55);
  }
  Settle(800);
  Save(&form, "chart-span.png");
  // Limits typed for the pH (channel 6): the stretches of its cycle beyond them shaded and listed.
  form.SetLineLimits(5, vantiro::ChannelLimits{7.45, 6.95});
  if (form.SpanPanelMenuItem->isChecked()) form.SpanPanelMenuItem->trigger();
  if (!form.AlarmListMenuItem->isChecked()) form.AlarmListMenuItem->trigger();
  for (std::size_t i = 0; i < form.Chart->LineCount(); ++i) form.Chart->SetLineVisible(i, i == 5 || i == 6);
  {
    // Six hours of it, the cursors on the first period in view.
    const vantiro::ViewRanges whole = form.Chart->Ranges();
    const vantiro::DateTime from = whole.x0 + (whole.x1 - whole.x0) * 0.4;
    form.Chart->SetBottomAxis(from, from + 0.25);
    form.ChartZoom();
    for (const vantiro::AlarmEvent& e : form.AlarmView->Events()) {
      if (e.start < from || e.seconds < 300) continue;
      form.Chart->SetCursorX(e.start);
      form.Chart->SetCursorX2(e.end);
      break;
    }
  }
  Settle(800);
  Save(&form, "chart-alarms.png");
  form.Chart->UndoZoom();
  // Back as the other pictures show the window.
  for (std::size_t i = 0; i < form.Chart->LineCount(); ++i) form.Chart->SetLineVisible(i, true);
  form.SetLineLimits(5, vantiro::ChannelLimits{});
  if (form.AlarmListMenuItem->isChecked()) form.AlarmListMenuItem->trigger();
  form.SetChartScale(vantiro::ChartScale::Single);

  ShootModal("settings-dialog.png", [&] { form.ComSettingButtonClick(); }, [](QWidget* dialog) {
    // As it reads on a desk with the built-in port chosen rather than the simulator's terminal.
    if (auto* device = dialog->findChild<QComboBox*>(QStringLiteral("DeviceComboBox"))) {
      device->setEditText(QStringLiteral("/dev/ttyS0"));
    }
    if (auto* settings = qobject_cast<vantiro::TRealComSettingDlg*>(dialog)) {
      settings->SetArchiveShown(QStringLiteral("/home/user/.local/share/vantiro/archive.sqlite"));
    }
  });
  ShootModal("oem-dialog.png", [&] { form.OnOEMDLClick(); }, [&](QWidget* dialog) {
    if (auto* path = dialog->findChild<QLineEdit*>(QStringLiteral("DLPicPath"))) {
      path->setText(QStringLiteral("/home/user/画面/logo.txt"));
    }
  });

  if (args.size() == 5) {
    // The archive: the browser with the recorder's coverage, then its whole period in overview
    // (drawn from the summaries however long it is) and a day of it zoomed into, exact.
    const std::string archive = args.at(4).toStdString();
    vantiro::RememberArchiveLocation(archive);
    const QString recorder = QStringLiteral("锅炉1号");
    ShootModal("archive-browser.png", [&] { form.OpenArchiveClick(); }, [&](QWidget* dialog) {
      auto* browser = qobject_cast<vantiro::ArchiveBrowser*>(dialog);
      if (!browser) return;
      WaitUntil([&] { return !browser->Busy(); }, 20000);
      browser->SelectRecorder(recorder);
      WaitUntil([&] { return !browser->Busy(); }, 20000);
      browser->PickQuickPeriod(vantiro::QuickPeriod::All);
      WaitUntil([&] { return !browser->Busy(); }, 20000);
    });
    vantiro::ArchiveCommands& commands = form.ArchiveView();
    commands.SetExactLimit(10'000'000);
    vantiro::ArchivePeriodChoice all;
    all.location = archive;
    all.recorder = recorder.toStdString();
    all.fromMs = INT64_MIN / 4;
    all.toMs = INT64_MAX / 4;
    commands.OpenPeriod(all);
    WaitUntil([&] { return !commands.Busy(); }, 60000);
    form.ChartMenuItemClick();
    Settle(600);
    Save(&form, "archive-overview.png");
    // A day from the middle: its exact samples.
    const vantiro::DateTime start = form.summary.startTime + (form.summary.endTime - form.summary.startTime) * 0.5;
    form.Chart->SetBottomAxis(start, start + 1.0);
    form.ChartZoom();
    WaitUntil([&] { return !commands.Busy(); }, 60000);
    Settle(600);
    Save(&form, "archive-day.png");
  }

  // Live monitoring of the simulated recorder: a few readings, then the overview page.
  form.RunButtonClick();
  if (!WaitUntil([&] { return form.liveMode; }, 60000)) {
    std::fprintf(stderr, "guide-shots: monitoring did not start\n");
    return 1;
  }
  Settle(4500);
  form.SystemCaseMenuItemClick();
  Settle(1200);
  Save(&form, "overview-page.png");
  // The further recorder's group below the panels.
  if (auto* scroll = form.Overview->ScrollBox) {
    scroll->ensureVisible(600, 1100, 10, 10);
    Settle(600);
    Save(&form, "overview-stations.png");
  }
  form.StopButtonClick();
  Settle();
  return failures == 0 ? 0 : 1;
}
