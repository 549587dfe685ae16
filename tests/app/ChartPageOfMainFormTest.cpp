// The trend chart page of the main window: what a load puts into the chart and what the chart's
// gestures do through the main window's handlers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>

#include "chart/Cursors.h"
#include "chart/ui/TOKBottomDlg.h"
#include "chart/ui/TrendChart.h"
#include "recorder/GbkText.h"
#include "support/MouseGestures.h"
#include "support/RecorderFileBuilder.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "app/AppWindows.h"
#include "app/TMainForm.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::DoubleClick;
using testing::Drag;
using testing::RecorderFileBuilder;
using testing::RecorderSeconds;
using testing::ScriptedPrompts;

const double S = kOneSecond;
const DateTime HourStart = *EncodeDateTime(2010, 5, 12, 14, 0, 0);
// Ranges pass through the plot's keys (seconds since 1970) and back: good to some 1e-11 of a day.
const double kDayTolerance = 1e-10;
const double kValueTolerance = 1e-9;

void ExpectRangesNear(const ViewRanges& actual, const ViewRanges& expected, const char* what) {
  EXPECT_NEAR(actual.x0, expected.x0, kDayTolerance) << what;
  EXPECT_NEAR(actual.x1, expected.x1, kDayTolerance) << what;
  EXPECT_NEAR(actual.y0, expected.y0, kValueTolerance) << what;
  EXPECT_NEAR(actual.y1, expected.y1, kValueTolerance) << what;
}

void ExpectLimitsEqual(const ZoomLimits& a, const ZoomLimits& b, const char* what) {
  EXPECT_EQ(a.xZoomLimitOpen, b.xZoomLimitOpen) << what;
  EXPECT_EQ(a.xZoomLimitMin, b.xZoomLimitMin) << what;
  EXPECT_EQ(a.xZoomLimitMax, b.xZoomLimitMax) << what;
  EXPECT_EQ(a.yZoomLimitOpen, b.yZoomLimitOpen) << what;
  EXPECT_EQ(a.yZoomLimitMin, b.yZoomLimitMin) << what;
  EXPECT_EQ(a.yZoomLimitMax, b.yZoomLimitMax) << what;
}

class ChartPageOfMainFormTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_CONFIG_HOME", (dir_.Path() / "config").c_str(), 1); }
  void TearDown() override { windows_.reset(); }

  // The main window, shown with its chart page on top.
  TMainForm& Start() {
    windows_ = std::make_unique<AppWindows>();
    TMainForm& f = *windows_->mainForm;
    f.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.ChartMenuItem->trigger();
    return f;
  }

  void Open(TMainForm& f, const fs::path& path) {
    prompts_.openFiles.push_back(QString::fromStdString(path));
    f.OpenFileButtonClick();
    f.Chart->replot();
  }

  // 2010-05-12 14:00 to 15:00. Channel 1 (℃): a sample a minute from 14:00:00, 12.5 rising by 0.5;
  // channel 2 (%): 14:00:01 and :02, a break, 14:00:11; channel 3 (单位): no samples.
  fs::path WriteHourFile() {
    RecorderFileBuilder file;
    file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Channels(0, 2);
    file.Range(0, 1000, 0, 3, 19).Range(1, 100, 0, 4, 20).Range(2, 50, -5, 4, 1000);
    const std::int32_t t = RecorderSeconds(2010, 5, 12, 14, 0, 0);
    std::vector<std::int16_t> minutes;
    for (int i = 0; i <= 60; ++i) minutes.push_back(static_cast<std::int16_t>(125 + 5 * i));
    file.Block(0).Chain({{t, 60, minutes}});
    file.Block(1).Chain({{t + 1, 1, {10, 20}}, {t + 11, 1, {30}}});
    const fs::path path = dir_.Path() / "hour.bin";
    file.WriteTo(path);
    return path;
  }

  // 2010-05-12 14:00:00 to 14:00:08, one channel with a sample a second.
  fs::path WriteEightSecondFile() {
    RecorderFileBuilder file;
    file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 14, 0, 8})
        .Channels(0, 0)
        .Range(0, 1000, 0, 3, 19);
    file.Block(0).Chain({{RecorderSeconds(2010, 5, 12, 14, 0, 0),
                          1,
                          {100, 110, 120, 130, 140, 150, 160, 170, 180}}});
    const fs::path path = dir_.Path() / "eight.bin";
    file.WriteTo(path);
    return path;
  }

  // Channel 1's entry at time x of the hour file, worked out from the samples: the nearest minute,
  // a tie going to the earlier one.
  static std::string HourChannel1At(DateTime x) {
    const double minutes = (x - HourStart) / (60 * S);
    int i = static_cast<int>(std::floor(minutes));
    if (minutes - i > 0.5) ++i;
    char text[64];
    std::snprintf(text, sizeof text, "通道01 %.3f℃", (125 + 5 * i) / 10.0);
    return text;
  }

  QRect Plot(TMainForm& f) const { return f.Chart->axisRect()->rect(); }
  static DateTime TimeAt(TMainForm& f, int x) { return ChartDays(f.Chart->xAxis->pixelToCoord(x)); }
  static double ValueAt(TMainForm& f, int y) { return f.Chart->yAxis->pixelToCoord(y); }
  static ViewRanges RectangleView(TMainForm& f, QPoint a, QPoint b) {
    const QRect r = QRect(a, b).normalized();
    return ViewRanges{TimeAt(f, r.left()), TimeAt(f, r.right()), ValueAt(f, r.bottom()),
                      ValueAt(f, r.top())};
  }
  // A rubber band over the whole height of the plot, `width` pixels wide from `left` pixels in.
  ViewRanges ZoomAcross(TMainForm& f, int left, int width) {
    f.Chart->replot();
    const QRect p = Plot(f);
    const QPoint from(p.left() + left, p.top() + 5);
    const QPoint to(p.left() + left + width, p.bottom() - 5);
    const ViewRanges asked = RectangleView(f, from, to);
    Drag(f.Chart, Qt::LeftButton, from, to);
    f.Chart->replot();
    return asked;
  }
  void UndoByDrag(TMainForm& f) {
    f.Chart->replot();
    const QPoint c = Plot(f).center();
    Drag(f.Chart, Qt::LeftButton, c + QPoint(100, 100), c - QPoint(100, 100));
    f.Chart->replot();
  }

  // Double-clicks the plot; `act` runs while the cursor dialog is open (which it must be) and
  // closes it.
  void WithCursorDialog(TMainForm& f, const std::function<void(TOKBottomDlg&)>& act) {
    TOKBottomDlg& dlg = *windows_->okBottomDlg;
    bool ran = false;
    QTimer::singleShot(0, &dlg, [&] {
      ran = true;
      EXPECT_EQ(QApplication::activeModalWidget(), &dlg);
      act(dlg);
      if (dlg.isVisible()) dlg.reject();
    });
    DoubleClick(f.Chart, Plot(f).center());
    EXPECT_TRUE(ran);
    EXPECT_FALSE(dlg.isVisible());
  }

  // Runs `gesture` and returns the modal window open when the event loop next runs, if any
  // (closed, so that nothing blocks).
  static QWidget* ModalWindowAfter(const std::function<void()>& gesture) {
    bool ran = false;
    QWidget* modal = nullptr;
    QTimer::singleShot(0, [&] {
      ran = true;
      modal = QApplication::activeModalWidget();
      if (modal) modal->close();
    });
    gesture();
    EXPECT_TRUE(QTest::qWaitFor([&] { return ran; }, 5000));
    return modal;
  }

  ScriptedPrompts prompts_;
  testing::TempDir dir_;
  std::unique_ptr<AppWindows> windows_;
};

TEST_F(ChartPageOfMainFormTest, TheChartFillsThePageAcrossAtThePictureWidth) {
  TMainForm& f = Start();
  EXPECT_EQ(f.PageControl->currentWidget(), f.ChartTabSheet);
  EXPECT_EQ(f.Chart->size(), f.ChartTabSheet->size());
  EXPECT_EQ(f.Chart->width(), TrendChart::kPageWidth);
}

// Pictures from the command line take the chart page's size.
TEST_F(ChartPageOfMainFormTest, TheChartPageOfTheShownWindowHasThePictureSize) {
  TMainForm& f = Start();
  EXPECT_EQ(f.Chart->size(), QSize(TrendChart::kPageWidth, TrendChart::kPageHeight));
}

TEST_F(ChartPageOfMainFormTest, ALoadFillsTheChartAndPlacesTheCursors) {
  TMainForm& f = Start();
  f.OpenFromCommandLine(QString::fromStdString(WriteHourFile()));
  f.Chart->replot();
  ASSERT_TRUE(prompts_.messages.empty());
  ASSERT_EQ(f.summary.startTime, HourStart);
  ASSERT_EQ(f.summary.rangeMin, -5.0f);
  ASSERT_EQ(f.summary.rangeMax, 100.0f);

  // One line per channel, titled and coloured by its position.
  ASSERT_EQ(f.Chart->LineCount(), 3u);
  ASSERT_EQ(f.seriesList.size(), 3u);
  const char* titles[] = {"通道01", "通道02", "通道03"};
  const char* units[] = {"℃", "%", "单位"};
  const QColor colours[] = {QColor(255, 255, 255), QColor(255, 0, 0), QColor(255, 255, 0)};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(f.seriesList[i].title, titles[i]);
    EXPECT_EQ(f.seriesList[i].unit, units[i]);
    EXPECT_EQ(f.seriesList[i].series, i);
    EXPECT_EQ(f.Chart->Plottable(i)->pen().color(), colours[i]) << i;
    EXPECT_TRUE(f.Chart->LineVisible(i));
  }
  EXPECT_EQ(f.Chart->Line(0).points.size(), 61u);
  EXPECT_TRUE(f.Chart->legend->visible());

  // Axes over the recording's span and its range with 10 to spare; steps of a tenth.
  ExpectRangesNear(f.Chart->Ranges(), ViewRanges{HourStart, HourStart + 3600 * S, -15, 110},
                   "after the load");
  EXPECT_NEAR(f.Chart->BottomIncrement(), 360 * S, 1e-12);
  EXPECT_DOUBLE_EQ(f.Chart->LeftIncrement(), 12.5);
  EXPECT_FALSE(f.Chart->BottomAutomatic());
  EXPECT_FALSE(f.Chart->LeftAutomatic());
  EXPECT_TRUE(f.Chart->ZoomAllowed());
  EXPECT_TRUE(f.zoomLimits.xZoomLimitOpen);
  EXPECT_TRUE(f.zoomLimits.yZoomLimitOpen);

  // The vertical cursor 0.1 s after the start with its read-out; no horizontal lines yet.
  EXPECT_EQ(f.Chart->Cursors().x, HourStart + 1.1574074074074074e-6);
  EXPECT_EQ(f.Chart->Cursors().y1, 100.0);
  EXPECT_EQ(f.Chart->Cursors().y2, -5.0);
  EXPECT_TRUE(f.Chart->VerticalCursorActive());
  EXPECT_FALSE(f.Chart->VerticalCursorCross());
  EXPECT_FALSE(f.Chart->HorizontalCursorActive());
  EXPECT_FALSE(windows_->okBottomDlg->showY1);
  EXPECT_FALSE(windows_->okBottomDlg->showY2);
  EXPECT_EQ(f.Chart->LegendTitle().section(QLatin1Char('\n'), 0, 0), "垂直游标X: 2010-05-12 14:00:00");
  EXPECT_EQ(f.Chart->LineTitleShown(0), "通道01 12.500℃");
  EXPECT_EQ(f.Chart->LineTitleShown(1), "通道02  ---") << "its first sample is a second later";
  EXPECT_EQ(f.Chart->LineTitleShown(2), "通道03  ---") << "no samples";

  // A second load replaces the lines.
  f.OpenFromCommandLine(QString::fromStdString(WriteEightSecondFile()));
  EXPECT_EQ(f.Chart->LineCount(), 1u);
  EXPECT_EQ(f.seriesList.size(), 1u);
  EXPECT_EQ(f.Chart->legend->itemCount(), 2) << "the title line and the one line";
  EXPECT_EQ(f.Chart->plottableCount(), 1);
  EXPECT_EQ(f.Chart->LineTitleShown(0), "通道01 10.000℃");
}

TEST_F(ChartPageOfMainFormTest, ZoomingBelowTenSecondsFreezesTheWindowAndUndoOpensIt) {
  TMainForm& f = Start();
  Open(f, WriteHourFile());
  const ViewRanges home = f.Chart->Ranges();

  // 200 of some 1100 pixels of an hour: accepted; the cursor, left of the view, moves to its edge.
  ViewRanges asked = ZoomAcross(f, 300, 200);
  ASSERT_GT(asked.x1 - asked.x0, 10 * S);
  ViewRanges view = f.Chart->Ranges();
  ExpectRangesNear(view, asked, "first zoom");
  EXPECT_TRUE(f.zoomLimits.xZoomLimitOpen);
  EXPECT_TRUE(f.zoomLimits.yZoomLimitOpen);
  EXPECT_NEAR(f.Chart->BottomIncrement(), (view.x1 - view.x0) * 0.1, 1e-12);
  EXPECT_NEAR(f.Chart->LeftIncrement(), (view.y1 - view.y0) * 0.1, 1e-9);
  EXPECT_EQ(f.Chart->Cursors().x, view.x0);
  EXPECT_EQ(f.Chart->Cursors().y1, 100.0) << "inside the view";
  EXPECT_EQ(f.Chart->LegendTitle().section(QLatin1Char('\n'), 0, 0).toStdString(), CursorLegendTitle(view.x0));
  EXPECT_EQ(f.Chart->LineTitleShown(0).toStdString(), HourChannel1At(view.x0));

  asked = ZoomAcross(f, 100, 40);
  ASSERT_GT(asked.x1 - asked.x0, 10 * S);
  EXPECT_TRUE(f.zoomLimits.xZoomLimitOpen);

  // The first window narrower than 10 s is frozen as it is.
  asked = ZoomAcross(f, 100, 40);
  ASSERT_LT(asked.x1 - asked.x0, 10 * S);
  const ViewRanges frozen = f.Chart->Ranges();
  ExpectRangesNear(frozen, asked, "frozen zoom");
  EXPECT_FALSE(f.zoomLimits.xZoomLimitOpen);
  EXPECT_EQ(f.zoomLimits.xZoomLimitMin, frozen.x0);
  EXPECT_EQ(f.zoomLimits.xZoomLimitMax, frozen.x1);
  EXPECT_TRUE(f.zoomLimits.yZoomLimitOpen);

  // Narrower again: the time axis snaps back to the frozen window, the value axis zooms.
  asked = ZoomAcross(f, 100, 40);
  view = f.Chart->Ranges();
  EXPECT_NEAR(view.x0, frozen.x0, kDayTolerance);
  EXPECT_NEAR(view.x1, frozen.x1, kDayTolerance);
  EXPECT_NEAR(view.y0, asked.y0, kValueTolerance);
  EXPECT_NEAR(view.y1, asked.y1, kValueTolerance);
  EXPECT_EQ(f.zoomLimits.xZoomLimitMin, frozen.x0);
  EXPECT_EQ(f.zoomLimits.xZoomLimitMax, frozen.x1);
  EXPECT_NEAR(f.Chart->BottomIncrement(), (frozen.x1 - frozen.x0) * 0.1, 1e-12);

  // A drag to the left undoes every zoom and opens the limit.
  UndoByDrag(f);
  ExpectRangesNear(f.Chart->Ranges(), home, "after the undo");
  EXPECT_TRUE(f.zoomLimits.xZoomLimitOpen);
  EXPECT_TRUE(f.zoomLimits.yZoomLimitOpen);
  EXPECT_NEAR(f.Chart->BottomIncrement(), 360 * S, 1e-12);
  EXPECT_NEAR(f.Chart->LeftIncrement(), 12.5, 1e-9);
  EXPECT_EQ(f.Chart->Cursors().x, frozen.x0) << "inside the restored view, the cursor stays";
}

TEST_F(ChartPageOfMainFormTest, DragsOfSixteenPixelsOrLessChangeNothing) {
  TMainForm& f = Start();
  Open(f, WriteHourFile());
  const ViewRanges home = f.Chart->Ranges();
  const CursorPositions cursors = f.Chart->Cursors();
  const double step = f.Chart->BottomIncrement();
  const QPoint c = Plot(f).center();
  for (const QPoint by : {QPoint(16, 200), QPoint(200, 16), QPoint(-16, -200), QPoint(200, -16)}) {
    Drag(f.Chart, Qt::LeftButton, c, c + by);
    EXPECT_EQ(f.Chart->Ranges(), home) << by.x() << "," << by.y();
  }
  EXPECT_EQ(f.Chart->Cursors(), cursors);
  EXPECT_EQ(f.Chart->BottomIncrement(), step);
}

TEST_F(ChartPageOfMainFormTest, ScrollingMovesAFrozenWindowWithTheView) {
  TMainForm& f = Start();
  Open(f, WriteEightSecondFile());
  // Eight seconds: frozen at the load.
  ASSERT_FALSE(f.zoomLimits.xZoomLimitOpen);
  EXPECT_EQ(f.zoomLimits.xZoomLimitMin, HourStart);
  EXPECT_EQ(f.zoomLimits.xZoomLimitMax, HourStart + 8 * S);
  const double xStep = f.Chart->BottomIncrement();
  const double yStep = f.Chart->LeftIncrement();

  const QPoint from = Plot(f).center();
  const QPoint to = from + QPoint(-200, 50);
  const double keyUnderMouse = f.Chart->xAxis->pixelToCoord(from.x());
  const double valueUnderMouse = f.Chart->yAxis->pixelToCoord(from.y());
  Drag(f.Chart, Qt::RightButton, from, to);
  const ViewRanges view = f.Chart->Ranges();
  EXPECT_NEAR(f.Chart->xAxis->pixelToCoord(to.x()), keyUnderMouse, 1e-5);
  EXPECT_NEAR(f.Chart->yAxis->pixelToCoord(to.y()), valueUnderMouse, kValueTolerance);
  EXPECT_GT(view.x0, HourStart);
  EXPECT_EQ(f.zoomLimits.xZoomLimitMin, view.x0);
  EXPECT_EQ(f.zoomLimits.xZoomLimitMax, view.x1);
  EXPECT_TRUE(f.zoomLimits.yZoomLimitOpen);
  EXPECT_EQ(f.Chart->BottomIncrement(), xStep) << "a scroll keeps the label steps";
  EXPECT_EQ(f.Chart->LeftIncrement(), yStep);
  // The cursor, now left of the view, stands on its left edge with the values there.
  EXPECT_EQ(f.Chart->Cursors().x, view.x0);
  EXPECT_EQ(f.Chart->LegendTitle().section(QLatin1Char('\n'), 0, 0).toStdString(), CursorLegendTitle(view.x0));

  // A zoom into two seconds snaps back to the window as scrolled.
  ZoomAcross(f, 100, 200);
  const ViewRanges snapped = f.Chart->Ranges();
  EXPECT_NEAR(snapped.x0, view.x0, kDayTolerance);
  EXPECT_NEAR(snapped.x1, view.x1, kDayTolerance);
}

TEST_F(ChartPageOfMainFormTest, DraggingTheVerticalCursorMovesTheReadoutAndNotTheView) {
  TMainForm& f = Start();
  Open(f, WriteHourFile());
  const ViewRanges home = f.Chart->Ranges();
  const double step = f.Chart->BottomIncrement();
  const QRect p = Plot(f);
  // The cursor stands 0.1 s after the start: on the plot's left edge.
  const QPoint grab(p.left() + 6, p.center().y());
  const QPoint to(p.left() + 400, p.center().y() + 200);
  const DateTime target = TimeAt(f, to.x());
  Drag(f.Chart, Qt::LeftButton, grab, to);
  EXPECT_EQ(f.Chart->Cursors().x, target);
  EXPECT_EQ(f.Chart->Ranges(), home);
  EXPECT_EQ(f.Chart->BottomIncrement(), step);
  EXPECT_TRUE(f.zoomLimits.xZoomLimitOpen);
  EXPECT_EQ(f.Chart->LegendTitle().section(QLatin1Char('\n'), 0, 0).toStdString(), CursorLegendTitle(target));
  EXPECT_EQ(f.Chart->LineTitleShown(0).toStdString(), HourChannel1At(target));
  EXPECT_EQ(f.Chart->LineTitleShown(1), "通道02  ---");
}

TEST_F(ChartPageOfMainFormTest, OkInTheCursorDialogWithoutChangesKeepsTheCursorsExactly) {
  TMainForm& f = Start();
  Open(f, WriteHourFile());
  f.Chart->SetCursorX(HourStart + 1234.5678 * S);
  f.Chart->SetCursorY1(55.55);
  f.Chart->SetCursorY2(-3.25);
  const CursorPositions before = f.Chart->Cursors();
  const ViewRanges home = f.Chart->Ranges();

  bool zoomAllowedWhileOpen = true;
  WithCursorDialog(f, [&](TOKBottomDlg& dlg) {
    EXPECT_EQ(dlg.YValueEdit->text(), "55");
    EXPECT_EQ(dlg.Y2ValueEdit->text(), "-3");
    EXPECT_EQ(dlg.viewXMin, home.x0);
    EXPECT_EQ(dlg.viewYMax, home.y1);
    zoomAllowedWhileOpen = f.Chart->ZoomAllowed();
    // A rubber band on the chart does nothing while the dialog is open.
    const QPoint c = Plot(f).center();
    Drag(f.Chart, Qt::LeftButton, c, c + QPoint(150, 150));
    dlg.OKBtn->click();
  });
  EXPECT_FALSE(zoomAllowedWhileOpen);
  EXPECT_EQ(f.Chart->Ranges(), home);
  EXPECT_EQ(f.Chart->Cursors().x, before.x);
  EXPECT_EQ(f.Chart->Cursors().y1, before.y1);
  EXPECT_EQ(f.Chart->Cursors().y2, before.y2);
  EXPECT_TRUE(f.Chart->VerticalCursorActive());
  EXPECT_FALSE(f.Chart->VerticalCursorCross());
  EXPECT_FALSE(f.Chart->HorizontalCursorActive());

  // Zoom comes back 100 ms after the dialog has closed.
  EXPECT_FALSE(f.Chart->ZoomAllowed());
  EXPECT_TRUE(f.TimerForAllowZoom->isActive());
  EXPECT_TRUE(QTest::qWaitFor([&] { return f.Chart->ZoomAllowed(); }, 5000));
  EXPECT_FALSE(f.TimerForAllowZoom->isActive());
}

TEST_F(ChartPageOfMainFormTest, TheCursorDialogShowsTheHorizontalLinesAndMovesTheCursors) {
  TMainForm& f = Start();
  Open(f, WriteHourFile());
  WithCursorDialog(f, [&](TOKBottomDlg& dlg) {
    dlg.ShowY->setChecked(true);
    dlg.ShowY2->setChecked(true);
    dlg.YValueEdit->setText("50");
    dlg.Y2ValueEdit->setText("7");
    dlg.OKBtn->click();
  });
  EXPECT_TRUE(f.Chart->VerticalCursorActive());
  EXPECT_TRUE(f.Chart->VerticalCursorCross());
  EXPECT_TRUE(f.Chart->HorizontalCursorActive());
  EXPECT_EQ(f.Chart->Cursors().y1, 50.0);
  EXPECT_EQ(f.Chart->Cursors().y2, 7.0);
  f.OnAllowZoom();
  EXPECT_TRUE(f.Chart->ZoomAllowed());
  EXPECT_FALSE(f.TimerForAllowZoom->isActive());

  // Cancel keeps everything as it was.
  WithCursorDialog(f, [&](TOKBottomDlg& dlg) {
    dlg.ShowY->setChecked(false);
    dlg.YValueEdit->setText("60");
    dlg.CancelBtn->click();
  });
  EXPECT_TRUE(f.Chart->VerticalCursorCross());
  EXPECT_EQ(f.Chart->Cursors().y1, 50.0);
  EXPECT_TRUE(f.TimerForAllowZoom->isActive()) << "zoom comes back after a cancel too";
  f.OnAllowZoom();

  // The next load keeps the lines the dialog switched on, at the new data's range.
  Open(f, WriteHourFile());
  EXPECT_TRUE(f.Chart->VerticalCursorCross());
  EXPECT_TRUE(f.Chart->HorizontalCursorActive());
  EXPECT_EQ(f.Chart->Cursors().y1, 100.0);
  EXPECT_EQ(f.Chart->Cursors().y2, -5.0);
}

TEST_F(ChartPageOfMainFormTest, ARefusedOkInTheCursorDialogKeepsItOpen) {
  TMainForm& f = Start();
  Open(f, WriteHourFile());
  const CursorPositions before = f.Chart->Cursors();
  bool openAfterOk = false;
  QWidget* focus = nullptr;
  WithCursorDialog(f, [&](TOKBottomDlg& dlg) {
    dlg.YValueEdit->setText("12a");
    dlg.OKBtn->click();
    openAfterOk = dlg.isVisible();
    focus = dlg.focusWidget();
    dlg.CancelBtn->click();
  });
  EXPECT_TRUE(openAfterOk);
  EXPECT_EQ(focus, windows_->okBottomDlg->YValueEdit);
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].text, "请输入有效的整数。");
  EXPECT_EQ(prompts_.messages[0].icon, MessageIcon::Error);
  EXPECT_EQ(f.Chart->Cursors(), before);
}

TEST_F(ChartPageOfMainFormTest, InLiveModeTheViewGesturesChangeNothingOfTheHandlersState) {
  TMainForm& f = Start();
  Open(f, WriteHourFile());
  f.liveMode = true;
  const ZoomLimits limits = f.zoomLimits;
  const CursorPositions cursors = f.Chart->Cursors();
  const double xStep = f.Chart->BottomIncrement();
  const double yStep = f.Chart->LeftIncrement();
  auto expectUnchanged = [&](const char* what) {
    ExpectLimitsEqual(f.zoomLimits, limits, what);
    EXPECT_EQ(f.Chart->Cursors(), cursors) << what;
    EXPECT_EQ(f.Chart->BottomIncrement(), xStep) << what;
    EXPECT_EQ(f.Chart->LeftIncrement(), yStep) << what;
  };

  ZoomAcross(f, 300, 200);  // would move the cursor and the steps
  expectUnchanged("zoom");
  ZoomAcross(f, 100, 20);
  ZoomAcross(f, 100, 20);  // below 10 s: would freeze
  expectUnchanged("narrow zooms");
  const QPoint c = Plot(f).center();
  Drag(f.Chart, Qt::RightButton, c, c + QPoint(-300, 40));
  expectUnchanged("scroll");
  UndoByDrag(f);
  expectUnchanged("undo");

  EXPECT_EQ(ModalWindowAfter([&] { DoubleClick(f.Chart, Plot(f).center()); }), nullptr)
      << "no cursor dialog";
  EXPECT_TRUE(f.Chart->ZoomAllowed());
  EXPECT_FALSE(f.TimerForAllowZoom->isActive());
  expectUnchanged("double-click");
}

TEST_F(ChartPageOfMainFormTest, BeforeAnyLoadADoubleClickOpensNoDialog) {
  TMainForm& f = Start();
  f.Chart->replot();
  EXPECT_EQ(ModalWindowAfter([&] { DoubleClick(f.Chart, Plot(f).center()); }), nullptr);
  EXPECT_TRUE(f.Chart->ZoomAllowed());
  EXPECT_EQ(f.Chart->LineCount(), 0u);
}

TEST_F(ChartPageOfMainFormTest, ACsvNamedOnTheCommandLineDrawsBackwardTimesAsACurve) {
  TMainForm& f = Start();
  const fs::path csv = dir_.Path() / "samples.csv";
  std::ofstream(csv, std::ios::binary) << Utf8ToGbk(
      "序号,通道,数值,时间,单位\r\n"
      "1,3,25.5,2010年05月12日 10:11:12,℃\r\n"
      "2,1,1.25,2010-05-12 10:11:12,mA\r\n"
      "3,3,26,2010-05-12 10:11:10,℃\r\n"
      "4,1,1.5,2010-05-12 10:11:13,mA\r\n");
  f.OpenFromCommandLine(QString::fromStdString(csv));
  ASSERT_TRUE(prompts_.messages.empty());
  ASSERT_EQ(f.Chart->LineCount(), 2u);
  EXPECT_EQ(f.seriesList[0].title, "通道03");
  auto* curve = qobject_cast<QCPCurve*>(f.Chart->Plottable(0));
  ASSERT_NE(curve, nullptr);
  ASSERT_EQ(curve->data()->size(), 2);
  EXPECT_EQ(curve->data()->constBegin()->key, ChartKey(*EncodeDateTime(2010, 5, 12, 10, 11, 12)));
  EXPECT_EQ((curve->data()->constBegin() + 1)->key,
            ChartKey(*EncodeDateTime(2010, 5, 12, 10, 11, 10)));
  EXPECT_NE(qobject_cast<QCPGraph*>(f.Chart->Plottable(1)), nullptr);
}


// A recording long enough to be thinned (1.2 million samples: every second one drawn) whose one
// spike lies on a sample the thinning leaves out.
TEST_F(ChartPageOfMainFormTest, ThePeakEnvelopeSwitchDrawsTheSpikeThinningHidesAndIsRemembered) {
  const int count = 1'200'000;
  const int spike = 600'001;
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 27, 0, 0, 0}).Channels(0, 0).Range(0, 30000, 0, 4, 27);
  const std::int32_t t = RecorderSeconds(2010, 5, 12, 14, 0, 0);
  for (int at = 0; at < count; at += 5000) {
    std::vector<std::int16_t> samples(5000, 100);
    if (spike >= at && spike < at + 5000) samples[static_cast<std::size_t>(spike - at)] = 5000;
    file.Block(0).Chain({{t + at, 1, samples}});
  }
  const fs::path path = dir_.Path() / "long.bin";
  file.WriteTo(path);
  auto lineMax = [](const ChartLine& line) {
    double high = -1e300;
    for (const ChartPoint& p : line.points) high = std::max(high, p.y);
    return high;
  };

  TMainForm& f = Start();
  ASSERT_FALSE(f.EnvelopeMenuItem->isChecked());  // off by default: the thinning as it always was
  Open(f, path);
  ASSERT_EQ(f.Chart->LineCount(), 1u);
  const std::size_t thinnedPoints = f.Chart->Line(0).points.size();
  EXPECT_EQ(thinnedPoints, static_cast<std::size_t>(count / 2));
  EXPECT_EQ(lineMax(f.Chart->Line(0)), 100.0);  // the spike is not among the points drawn

  f.EnvelopeMenuItem->trigger();
  ASSERT_TRUE(f.EnvelopeMenuItem->isChecked());
  EXPECT_EQ(lineMax(f.Chart->Line(0)), 5000.0);
  EXPECT_LE(f.Chart->Line(0).points.size(), 4u * static_cast<std::size_t>(f.Chart->axisRect()->width()) + 2u);

  // Zoomed to an hour around the spike: that hour's envelope, its spike included.
  const DateTime at = HourStart + spike * S;
  f.Chart->SetBottomAxis(at - 1800 * S, at + 1800 * S);
  f.ChartZoom();
  EXPECT_EQ(lineMax(f.Chart->Line(0)), 5000.0);
  // (the samples just outside either edge kept, so that the line runs to it)
  EXPECT_GE(f.Chart->Line(0).minX, at - 1900 * S);
  EXPECT_LE(f.Chart->Line(0).maxX, at + 1900 * S);
  f.Chart->UndoZoom();

  // Off again: the thinned points exactly as before.
  f.EnvelopeMenuItem->trigger();
  EXPECT_EQ(f.Chart->Line(0).points.size(), thinnedPoints);
  EXPECT_EQ(lineMax(f.Chart->Line(0)), 100.0);

  // Remembered: the next start has it as it was left, and a load draws the envelope at once.
  f.EnvelopeMenuItem->trigger();
  TMainForm& again = Start();
  EXPECT_TRUE(again.EnvelopeMenuItem->isChecked());
  Open(again, path);
  EXPECT_EQ(lineMax(again.Chart->Line(0)), 5000.0);
}

}  // namespace
}  // namespace vantiro
