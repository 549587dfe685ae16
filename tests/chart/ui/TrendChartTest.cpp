#include <gtest/gtest.h>

#include <array>
#include <functional>

#include <QImage>
#include <QSignalSpy>
#include <QWheelEvent>
#include <cmath>
#include <string>
#include <vector>

#include "chart/ChartLines.h"
#include "chart/Cursors.h"
#include "chart/ui/ChartPage.h"
#include "chart/ui/ChartParts.h"
#include "chart/ui/TrendChart.h"
#include "support/MouseGestures.h"
#include "support/QtPrinters.h"

namespace vantiro {
namespace {

using testing::Click;
using testing::DoubleClick;
using testing::Drag;
using testing::SendMouse;

const DateTime T0 = *EncodeDateTime(2010, 8, 7, 12, 0, 0);
const double S = kOneSecond;
const float G = GapValue;
// Ranges pass through the plot's keys (seconds since 1970) and back: good to some 1e-11 of a day.
const double kDayTolerance = 1e-10;
const double kValueTolerance = 1e-9;

ChannelInfo Channel(std::int16_t number, const std::string& unit,
                    const std::vector<double>& seconds, const std::vector<float>& values) {
  ChannelInfo channel;
  channel.number = number;
  channel.unit = unit;
  for (double s : seconds) channel.times.push_back(T0 + s * S);
  channel.values = values;
  return channel;
}

DatasetSummary Summary(float rangeMin, float rangeMax, DateTime start, DateTime end, int samples) {
  DatasetSummary summary;
  summary.rangeMin = rangeMin;
  summary.rangeMax = rangeMax;
  summary.startTime = start;
  summary.endTime = end;
  summary.sampleCount = samples;
  return summary;
}

void ExpectRangesNear(const ViewRanges& actual, const ViewRanges& expected,
                      const std::string& what) {
  EXPECT_NEAR(actual.x0, expected.x0, kDayTolerance) << what;
  EXPECT_NEAR(actual.x1, expected.x1, kDayTolerance) << what;
  EXPECT_NEAR(actual.y0, expected.y0, kValueTolerance) << what;
  EXPECT_NEAR(actual.y1, expected.y1, kValueTolerance) << what;
}

// A chart of 1000 x 700 pixels on screen, drawing through the chart page as the program does.
class TrendChartTest : public ::testing::Test {
 protected:
  TrendChartTest() : page_(chart_, seriesList_, summary_) {
    chart_.setAttribute(Qt::WA_DontShowOnScreen);
    chart_.resize(1000, 700);
    chart_.show();
    QObject::connect(&chart_, &TrendChart::cursorMoved,
                     [this](DateTime x) { page_.ChartCursorToolChange(x); });
  }

  void Fill(std::vector<ChannelInfo> channels, const DatasetSummary& summary) {
    channels_ = std::move(channels);
    summary_ = summary;
    ZoomLimits limits{0.0, 0.0, true, 0.0, 0.0, true};
    page_.ShowFill(FillChart(channels_, summary_), limits);
    page_.PlaceCursorsAfterLoad(summary_.startTime, false, false);
    chart_.replot();
  }

  // One hour from T0: channel 1 every 10 s, channel 2 with a gap at 20 s; values 0 to 100.
  void FillHour() {
    std::vector<double> seconds;
    std::vector<float> values;
    for (int i = 0; i <= 360; ++i) {
      seconds.push_back(10.0 * i);
      values.push_back(static_cast<float>(20 + i % 50));
    }
    Fill({Channel(1, "℃", seconds, values), Channel(2, "%", {0, 10, 20, 30}, {5, 6, G, 7})},
         Summary(0, 100, T0, T0 + 3600 * S, 364));
  }

  QRect Plot() const { return chart_.axisRect()->rect(); }
  DateTime TimeAt(int x) const { return ChartDays(chart_.xAxis->pixelToCoord(x)); }
  double ValueAt(int y) const { return chart_.yAxis->pixelToCoord(y); }
  double XPixel(DateTime x) const { return chart_.xAxis->coordToPixel(ChartKey(x)); }
  double YPixel(double y) const { return chart_.yAxis->coordToPixel(y); }
  // The view a rubber band from `a` to `b` asks for.
  ViewRanges RectangleView(QPoint a, QPoint b) const {
    const QRect r = QRect(a, b).normalized();
    return ViewRanges{TimeAt(r.left()), TimeAt(r.right()), ValueAt(r.bottom()), ValueAt(r.top())};
  }

  TrendChart chart_;
  std::vector<ChartSeriesInfo> seriesList_;
  DatasetSummary summary_;
  std::vector<ChannelInfo> channels_;
  ChartPage page_;
};

TEST_F(TrendChartTest, AscendingLinesAreGraphsBackwardOnesCurvesInStoredOrderAndGapsBreakThem) {
  Fill({Channel(1, "℃", {0, 1, 2, 3}, {10, 20, G, 30}),
        Channel(2, "mA", {3, 1, 2, 0}, {1, 2, G, 4})},
       Summary(0, 40, T0, T0 + 3 * S, 6));
  ASSERT_EQ(chart_.LineCount(), 2u);

  auto* graph = qobject_cast<QCPGraph*>(chart_.Plottable(0));
  ASSERT_NE(graph, nullptr);
  const double ascendingSeconds[] = {0, 1, 2, 3};
  const double ascendingValues[] = {10, 20, NAN, 30};
  ASSERT_EQ(graph->data()->size(), 4);
  for (int i = 0; i < 4; ++i) {
    const QCPGraphData& point = *(graph->data()->constBegin() + i);
    EXPECT_EQ(point.key, ChartKey(T0 + ascendingSeconds[i] * S)) << i;
    if (std::isnan(ascendingValues[i])) {
      EXPECT_TRUE(std::isnan(point.value)) << "the gap sample breaks the line, " << point.value;
    } else {
      EXPECT_EQ(point.value, ascendingValues[i]) << i;
    }
  }

  auto* curve = qobject_cast<QCPCurve*>(chart_.Plottable(1));
  ASSERT_NE(curve, nullptr) << "a line going back in time is drawn in stored order";
  const double storedSeconds[] = {3, 1, 2, 0};
  const double storedValues[] = {1, 2, NAN, 4};
  ASSERT_EQ(curve->data()->size(), 4);
  for (int i = 0; i < 4; ++i) {
    const QCPCurveData& point = *(curve->data()->constBegin() + i);
    EXPECT_EQ(point.key, ChartKey(T0 + storedSeconds[i] * S)) << i;
    if (std::isnan(storedValues[i])) {
      EXPECT_TRUE(std::isnan(point.value)) << "the gap sample breaks the line, " << point.value;
    } else {
      EXPECT_EQ(point.value, storedValues[i]) << i;
    }
  }

  // Pens of the palette by position; four points over the plot's width are few enough to be
  // marked as well (SparseLinesTest has the rule).
  EXPECT_EQ(graph->pen().color(), QColor(255, 255, 255));
  EXPECT_EQ(curve->pen().color(), QColor(255, 0, 0));
  chart_.replot();
  EXPECT_EQ(graph->scatterStyle().shape(), QCPScatterStyle::ssDisc);
  EXPECT_EQ(curve->scatterStyle().shape(), QCPScatterStyle::ssDisc);
  EXPECT_EQ(chart_.Line(0).title, "通道01");
  EXPECT_EQ(chart_.Line(1).title, "通道02");
}

TEST_F(TrendChartTest, AppendedPointsExtendALineAndAnAppendedGapBreaksIt) {
  Fill({Channel(1, "℃", {0, 1}, {10, 20})}, Summary(0, 40, T0, T0 + 4 * S, 2));
  chart_.AppendPoint(0, T0 + 2 * S, 30);
  chart_.AppendGap(0, T0 + 3 * S);
  chart_.AppendPoint(0, T0 + 4 * S, -10);  // a value at the gap height is a value
  auto* graph = qobject_cast<QCPGraph*>(chart_.Plottable(0));
  ASSERT_NE(graph, nullptr);
  ASSERT_EQ(graph->data()->size(), 5);
  EXPECT_EQ((graph->data()->constBegin() + 2)->value, 30);
  EXPECT_TRUE(std::isnan((graph->data()->constBegin() + 3)->value));
  EXPECT_EQ((graph->data()->constBegin() + 4)->value, -10);
  EXPECT_EQ(chart_.Line(0).points.size(), 5u);
  EXPECT_EQ(chart_.Line(0).points[3].y, -10.0) << "the gap point stands at the gap height";
  EXPECT_EQ(chart_.Line(0).gaps, std::vector<std::size_t>{3});
  EXPECT_EQ(chart_.Line(0).maxX, T0 + 4 * S);
}

TEST(TrendChartAxesTest, TheAutomaticLeftAxisSpansWhatQCustomPlotWouldFindInEveryPoint) {
  // The chart keeps each line's value span as points come; after every step the left axis must be
  // what QCPAxis::rescale finds by looking at all points (gap points, hidden and emptied lines,
  // a line whose times go back, a span of no height).
  TrendChart chart;
  chart.resize(800, 600);
  const double gap = -10.0;
  std::vector<ChartLine> lines(3);
  for (double y : {1.0, gap, 3.0, 2.0}) {
    const DateTime x = T0 + lines[0].points.size() * S;
    if (y == gap) {
      lines[0].AppendGap(x, y);
    } else {
      lines[0].Append(x, y);
    }
  }
  lines[2].Append(T0 + 5 * S, 5.0);
  lines[2].Append(T0 + 1 * S, 50.0);  // backwards: a curve
  chart.AddLines(std::move(lines), gap);

  const std::vector<std::pair<const char*, std::function<void()>>> steps = {
      {"the lines as added", [] {}},
      {"a point on the empty line", [&] { chart.AppendPoint(1, T0 + 9 * S, 70.0); }},
      {"a gap point", [&] { chart.AppendGap(0, T0 + 10 * S); }},
      {"a point at the gap height", [&] { chart.AppendPoint(2, T0 + 10 * S, gap); }},
      {"a lower point", [&] { chart.AppendPoint(0, T0 + 11 * S, -3.5); }},
      {"a hidden line still counts", [&] { chart.SetLineVisible(1, false); }},
      {"an emptied line no longer counts", [&] { chart.EmptyLine(1); }},
      {"one value left: the axis keeps its height around it",
       [&] {
         chart.EmptyLine(0);
         chart.EmptyLine(2);
         chart.AppendPoint(2, T0 + 12 * S, 42.0);
       }},
      {"no values at all: the axis stays", [&] { chart.EmptyLine(2); }},
      {"values again", [&] {
         chart.AppendPoint(0, T0 + 13 * S, 8.0);
         chart.AppendPoint(2, T0 + 14 * S, -8.0);
       }},
  };
  for (const auto& [name, step] : steps) {
    step();
    chart.RescaleAutomaticAxes();
    const QCPRange kept = chart.yAxis->range();
    chart.yAxis->rescale();
    EXPECT_EQ(kept.lower, chart.yAxis->range().lower) << name;
    EXPECT_EQ(kept.upper, chart.yAxis->range().upper) << name;
  }
}

TEST_F(TrendChartTest, ALeftDragZoomsOrUndoesOnlyWhenWiderAndTallerThanSixteenPixels) {
  FillHour();
  QSignalSpy zoomed(&chart_, &TrendChart::zoomed);
  QSignalSpy undone(&chart_, &TrendChart::zoomUndone);
  enum Outcome { Nothing, Zoom, Undo };
  struct Case {
    int across, down;
    Outcome outcome;
  };
  const Case cases[] = {
      {17, 17, Zoom},      {200, 150, Zoom},   {200, -17, Zoom},    {17, -200, Zoom},
      {16, 200, Nothing},  {200, 16, Nothing}, {200, -16, Nothing}, {0, 0, Nothing},
      {-16, 200, Nothing}, {-17, 17, Undo},    {-200, -200, Undo},  {-200, 16, Nothing},
  };
  const ViewRanges home = chart_.Ranges();
  for (const Case& c : cases) {
    const std::string name = std::to_string(c.across) + "," + std::to_string(c.down);
    zoomed.clear();
    undone.clear();
    const QPoint from = Plot().center();
    const QPoint to = from + QPoint(c.across, c.down);
    const ViewRanges asked = RectangleView(from, to);
    Drag(&chart_, Qt::LeftButton, from, to);
    EXPECT_EQ(zoomed.count(), c.outcome == Zoom ? 1 : 0) << name;
    EXPECT_EQ(undone.count(), c.outcome == Undo ? 1 : 0) << name;
    EXPECT_FALSE(chart_.selectionRect()->isActive()) << name;
    if (c.outcome == Zoom) {
      ExpectRangesNear(chart_.Ranges(), asked, name);
      chart_.UndoZoom();
      chart_.replot();
    }
    ExpectRangesNear(chart_.Ranges(), home, name);
  }
}

TEST_F(TrendChartTest, UndoReturnsToTheViewBeforeTheFirstZoom) {
  FillHour();
  const ViewRanges home = chart_.Ranges();
  const QPoint c = Plot().center();
  Drag(&chart_, Qt::LeftButton, c - QPoint(200, 150), c + QPoint(200, 150));
  ASSERT_TRUE(chart_.Zoomed());
  chart_.replot();
  Drag(&chart_, Qt::LeftButton, c - QPoint(100, 100), c + QPoint(50, 60));
  chart_.replot();
  ASSERT_LT(chart_.Ranges().x1 - chart_.Ranges().x0, (home.x1 - home.x0) / 4);

  QSignalSpy undone(&chart_, &TrendChart::zoomUndone);
  Drag(&chart_, Qt::LeftButton, c + QPoint(100, 100), c - QPoint(100, 100));
  EXPECT_EQ(undone.count(), 1);
  ExpectRangesNear(chart_.Ranges(), home, "after the undo");
  EXPECT_FALSE(chart_.Zoomed());

  // A second undo has nothing saved: the view stays, the event still comes.
  chart_.replot();
  Drag(&chart_, Qt::LeftButton, c + QPoint(100, 100), c - QPoint(100, 100));
  EXPECT_EQ(undone.count(), 2);
  ExpectRangesNear(chart_.Ranges(), home, "after a second undo");
}

TEST_F(TrendChartTest, ZoomForbiddenLeavesLeftDragsWithoutEffect) {
  FillHour();
  QSignalSpy zoomed(&chart_, &TrendChart::zoomed);
  QSignalSpy undone(&chart_, &TrendChart::zoomUndone);
  const ViewRanges home = chart_.Ranges();
  const QPoint c = Plot().center();
  chart_.SetZoomAllowed(false);
  Drag(&chart_, Qt::LeftButton, c, c + QPoint(100, 100));
  Drag(&chart_, Qt::LeftButton, c, c - QPoint(100, 100));
  EXPECT_EQ(zoomed.count(), 0);
  EXPECT_EQ(undone.count(), 0);
  EXPECT_EQ(chart_.Ranges(), home);

  chart_.SetZoomAllowed(true);
  Drag(&chart_, Qt::LeftButton, c, c + QPoint(100, 100));
  EXPECT_EQ(zoomed.count(), 1);
}

TEST_F(TrendChartTest, ARightDragScrollsBothAxesWithTheContentFollowingTheMouse) {
  FillHour();
  QSignalSpy scrolled(&chart_, &TrendChart::scrolled);
  QSignalSpy zoomed(&chart_, &TrendChart::zoomed);
  const ViewRanges home = chart_.Ranges();
  const QPoint from = Plot().center();
  const QPoint to = from + QPoint(-150, 80);
  const double keyUnderMouse = chart_.xAxis->pixelToCoord(from.x());
  const double valueUnderMouse = chart_.yAxis->pixelToCoord(from.y());

  Drag(&chart_, Qt::RightButton, from, to);
  EXPECT_GE(scrolled.count(), 1);
  EXPECT_EQ(zoomed.count(), 0);
  EXPECT_NEAR(chart_.xAxis->pixelToCoord(to.x()), keyUnderMouse, 1e-5);
  EXPECT_NEAR(chart_.yAxis->pixelToCoord(to.y()), valueUnderMouse, kValueTolerance);
  const ViewRanges now = chart_.Ranges();
  EXPECT_GT(now.x0, home.x0) << "dragged left: later times come into view";
  EXPECT_GT(now.y0, home.y0) << "dragged down: higher values come into view";
  EXPECT_NEAR(now.x1 - now.x0, home.x1 - home.x0, kDayTolerance);
  EXPECT_NEAR(now.y1 - now.y0, home.y1 - home.y0, kValueTolerance);

  // Forbidden, or started outside the plot area, a right drag does nothing.
  chart_.replot();
  scrolled.clear();
  chart_.SetScrollAllowed(false);
  Drag(&chart_, Qt::RightButton, from, from + QPoint(100, 100));
  chart_.SetScrollAllowed(true);
  Drag(&chart_, Qt::RightButton, QPoint(Plot().left() - 20, from.y()), from);
  EXPECT_EQ(scrolled.count(), 0);
  EXPECT_EQ(chart_.Ranges(), now);
}

TEST_F(TrendChartTest, TheVerticalCursorIsGrabbedWithinTenPixelsAndNeverStartsARubberBand) {
  FillHour();
  QSignalSpy zoomed(&chart_, &TrendChart::zoomed);
  QSignalSpy moved(&chart_, &TrendChart::cursorMoved);
  const ViewRanges home = chart_.Ranges();
  const DateTime middle = TimeAt(Plot().center().x());
  chart_.SetCursorX(middle);
  const double at = XPixel(middle);
  struct Case {
    const char* name;
    int pressX;
    bool grabbed;
  };
  const Case cases[] = {
      {"on the line", static_cast<int>(std::lround(at)), true},
      {"10 px right", static_cast<int>(std::floor(at)) + 10, true},
      {"10 px left", static_cast<int>(std::ceil(at)) - 10, true},
      {"11 px right", static_cast<int>(std::ceil(at)) + 11, false},
      {"11 px left", static_cast<int>(std::floor(at)) - 11, false},
  };
  for (const Case& c : cases) {
    chart_.SetCursorX(middle);
    zoomed.clear();
    moved.clear();
    const QPoint from(c.pressX, Plot().center().y());
    const QPoint to = from + QPoint(150, 120);
    const DateTime target = TimeAt(to.x());
    Drag(&chart_, Qt::LeftButton, from, to);
    if (c.grabbed) {
      EXPECT_EQ(chart_.Cursors().x, target) << c.name;
      EXPECT_GE(moved.count(), 1) << c.name;
      EXPECT_EQ(zoomed.count(), 0) << c.name;
      EXPECT_EQ(chart_.Ranges(), home) << c.name;
      EXPECT_EQ(chart_.LegendTitle().section(QLatin1Char('\n'), 0, 0).toStdString(), CursorLegendTitle(target)) << c.name;
    } else {
      EXPECT_EQ(chart_.Cursors().x, middle) << c.name;
      EXPECT_EQ(zoomed.count(), 1) << c.name;
      chart_.UndoZoom();
      chart_.replot();
    }
  }

  // Dragged beyond the plot area, the cursor stops at its edge.
  chart_.SetCursorX(middle);
  const QPoint grab(static_cast<int>(std::lround(at)), Plot().center().y());
  Drag(&chart_, Qt::LeftButton, grab, QPoint(Plot().right() + 300, grab.y()));
  EXPECT_EQ(chart_.Cursors().x, TimeAt(Plot().right()));

  // An inactive cursor cannot be grabbed.
  chart_.SetCursorX(middle);
  chart_.SetVerticalCursor(false, false);
  zoomed.clear();
  Drag(&chart_, Qt::LeftButton, grab, grab + QPoint(150, 120));
  EXPECT_EQ(chart_.Cursors().x, middle);
  EXPECT_EQ(zoomed.count(), 1);
}

TEST_F(TrendChartTest, HorizontalLinesAreGrabbedOnlyWhileShown) {
  FillHour();
  QSignalSpy zoomed(&chart_, &TrendChart::zoomed);
  const int left = Plot().left() + 200;  // far from the vertical cursor at the left edge
  const double y1 = ValueAt(Plot().top() + 150);
  const double y2 = ValueAt(Plot().bottom() - 150);
  struct Case {
    const char* name;
    bool cross;
    bool horizontal;
    double pressOn;
    bool y1Moves;
    bool y2Moves;
  };
  const Case cases[] = {
      {"Y1 of the cross", true, false, y1, true, false},
      {"Y1 while the cursor is a plain vertical line", false, false, y1, false, false},
      {"Y2 shown", false, true, y2, false, true},
      {"Y2 hidden", true, false, y2, false, false},
  };
  for (const Case& c : cases) {
    chart_.SetVerticalCursor(true, c.cross);
    chart_.SetHorizontalCursorActive(c.horizontal);
    chart_.SetCursorY1(y1);
    chart_.SetCursorY2(y2);
    zoomed.clear();
    const QPoint from(left, static_cast<int>(std::lround(YPixel(c.pressOn))) + 4);
    const QPoint to = from + QPoint(120, 60);
    const double target = ValueAt(to.y());
    Drag(&chart_, Qt::LeftButton, from, to);
    EXPECT_EQ(chart_.Cursors().y1, c.y1Moves ? target : y1) << c.name;
    EXPECT_EQ(chart_.Cursors().y2, c.y2Moves ? target : y2) << c.name;
    const bool grabbed = c.y1Moves || c.y2Moves;
    EXPECT_EQ(zoomed.count(), grabbed ? 0 : 1) << c.name;
    if (!grabbed) {
      chart_.UndoZoom();
      chart_.replot();
    }
  }
}

TEST_F(TrendChartTest, TheReadoutFollowsTheVerticalCursor) {
  FillHour();
  // After the fill: 0.1 s after the start.
  EXPECT_EQ(chart_.LegendTitle().section(QLatin1Char('\n'), 0, 0), "垂直游标X: 2010-08-07 12:00:00");
  EXPECT_EQ(chart_.LineTitleShown(0), "通道01 20.000℃");
  EXPECT_EQ(chart_.LineTitleShown(1), "通道02 5.000%");
  struct Case {
    double seconds;
    const char* title;
    const char* line1;
    const char* line2;
  };
  const Case cases[] = {
      {24, "垂直游标X: 2010-08-07 12:00:24", "通道01 22.000℃", "通道02  ---"},
      {14, "垂直游标X: 2010-08-07 12:00:14", "通道01 21.000℃", "通道02 6.000%"},
      {29.5, "垂直游标X: 2010-08-07 12:00:29", "通道01 23.000℃", "通道02 7.000%"},
      {31, "垂直游标X: 2010-08-07 12:00:31", "通道01 23.000℃", "通道02  ---"},
      {45, "垂直游标X: 2010-08-07 12:00:45", "通道01 24.000℃", "通道02  ---"},
      {3599, "垂直游标X: 2010-08-07 12:59:59", "通道01 30.000℃", "通道02  ---"},
  };
  for (const Case& c : cases) {
    chart_.SetCursorX(T0 + c.seconds * S);
    EXPECT_EQ(chart_.LegendTitle().section(QLatin1Char('\n'), 0, 0), c.title) << c.seconds;
    EXPECT_EQ(chart_.LineTitleShown(0), c.line1) << c.seconds;
    EXPECT_EQ(chart_.LineTitleShown(1), c.line2) << c.seconds;
  }
}

TEST_F(TrendChartTest, ALegendCheckBoxHidesItsLineAndShowsItAgain) {
  FillHour();
  QSignalSpy zoomed(&chart_, &TrendChart::zoomed);
  const ViewRanges home = chart_.Ranges();
  for (std::size_t line : {1u, 0u}) {
    chart_.replot();
    const QRect box = chart_.LegendItem(line)->CheckBoxRect();
    ASSERT_TRUE(box.isValid());
    ASSERT_TRUE(chart_.LegendItem(line)->rect().contains(box.center()));
    Click(&chart_, box.center());
    EXPECT_FALSE(chart_.LineVisible(line)) << line;
    EXPECT_FALSE(chart_.Plottable(line)->visible()) << line;
    EXPECT_TRUE(chart_.LineVisible(1 - line)) << "only the entry clicked changes";
    chart_.replot();
    Click(&chart_, chart_.LegendItem(line)->CheckBoxRect().center());
    EXPECT_TRUE(chart_.LineVisible(line)) << line;
  }
  // A press on the legend never starts a rubber band.
  const QRect legend = chart_.legend->outerRect();
  Drag(&chart_, Qt::LeftButton, legend.topLeft() + QPoint(2, 2), Plot().center());
  EXPECT_EQ(zoomed.count(), 0);
  EXPECT_EQ(chart_.Ranges(), home);
}

TEST_F(TrendChartTest, ADoubleClickIsReportedAndEndsARubberBandInProgress) {
  FillHour();
  QSignalSpy zoomed(&chart_, &TrendChart::zoomed);
  QSignalSpy doubleClicked(&chart_, &TrendChart::doubleClicked);
  const ViewRanges home = chart_.Ranges();
  const QPoint c = Plot().center();
  DoubleClick(&chart_, c);
  EXPECT_EQ(doubleClicked.count(), 1);

  SendMouse(&chart_, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
  SendMouse(&chart_, QEvent::MouseMove, c + QPoint(100, 100), Qt::NoButton, Qt::LeftButton);
  ASSERT_TRUE(chart_.selectionRect()->isActive());
  SendMouse(&chart_, QEvent::MouseButtonDblClick, c + QPoint(100, 100), Qt::LeftButton,
            Qt::LeftButton);
  EXPECT_FALSE(chart_.selectionRect()->isActive());
  SendMouse(&chart_, QEvent::MouseButtonRelease, c + QPoint(100, 100), Qt::LeftButton,
            Qt::NoButton);
  EXPECT_EQ(doubleClicked.count(), 2);
  EXPECT_EQ(zoomed.count(), 0);
  EXPECT_EQ(chart_.Ranges(), home);
}

TEST_F(TrendChartTest, TheLegendStandsRightOfThePlotWithItsTopAtFourPercentOfTheHeight) {
  FillHour();
  for (const QSize size : {QSize(1000, 700), QSize(1282, 881), QSize(700, 400)}) {
    chart_.resize(size);
    chart_.replot();
    const QRect legend = chart_.legend->outerRect();
    EXPECT_EQ(legend.top(), static_cast<int>(std::lround(size.height() * 0.04))) << size.height();
    EXPECT_GT(legend.left(), Plot().right()) << size.width();
    EXPECT_LE(legend.right(), size.width()) << size.width();
    // The title line and both lines, none paged away.
    EXPECT_EQ(chart_.legend->itemCount(), 3);
    EXPECT_GE(legend.height(), 3 * QFontMetrics(chart_.legend->font()).height());
  }
}

TEST_F(TrendChartTest, APictureTakesTheAskedSizeAndLeavesTheShownLayoutAlone) {
  FillHour();
  const QRect shown = Plot();
  for (const QSize size :
       {QSize(640, 480), QSize(TrendChart::kPageWidth, TrendChart::kPageHeight)}) {
    const QImage image = chart_.Render(size.width(), size.height());
    EXPECT_EQ(image.size(), size);
    // The outer frame, 2 px on every side.
    const int w = size.width(), h = size.height();
    for (const QPoint at :
         {QPoint(0, h / 2), QPoint(1, h / 2), QPoint(w - 2, h / 2), QPoint(w - 1, h / 2),
          QPoint(w / 2, 0), QPoint(w / 2, 1), QPoint(w / 2, h - 2), QPoint(w / 2, h - 1)}) {
      EXPECT_EQ(image.pixelColor(at), QColor(0, 60, 0))
          << at.x() << "," << at.y() << " of " << w << "x" << h;
    }
    EXPECT_EQ(image.pixelColor(2, h / 2), QColor(Qt::black)) << "background";
    EXPECT_EQ(image.pixelColor(w / 2, h - 3), QColor(Qt::black)) << "background";
  }
  chart_.replot();
  EXPECT_EQ(Plot(), shown);
}

// ---- Gap points ----

TEST(TrendChartGapTest, ARealValueAtTheGapHeightIsDrawnAndOnlyGapSamplesBreakTheLine) {
  // A CSV import whose first value is 200000: 199990 compares equal to it (within 0.0001 of the
  // smaller), so the range stays at 200000 and the real samples of 199990 lie at the gap height.
  const float low = 199990.0f;
  DatasetSummary summary = Summary(200000.0f, 200020.0f, T0, T0 + 11 * S, 24);
  ASSERT_EQ(GapHeight(summary), low);
  // The value of the sample at second s (of both channels): the gap height at even seconds, gap
  // samples at 5 and 6.
  auto isGap = [](long s) { return s == 5 || s == 6; };
  auto valueAt = [&](long s) { return isGap(s) ? G : s % 2 == 0 ? low : 200000.0f + s; };
  ChannelInfo ascending;
  ascending.number = 1;
  ChannelInfo backwards;  // the same samples stored from the last to the first: drawn as a curve
  backwards.number = 2;
  for (long s = 0; s < 12; ++s) {
    ascending.times.push_back(T0 + s * S);
    ascending.values.push_back(valueAt(s));
    backwards.times.push_back(T0 + (11 - s) * S);
    backwards.values.push_back(valueAt(11 - s));
  }
  const std::vector<ChannelInfo> channels = {ascending, backwards};
  std::array<bool, 16> both{};
  both[0] = both[1] = true;
  DatasetSummary thinned = summary;
  thinned.sampleCount = 3000000;  // every 4th sample
  struct Case {
    const char* name;
    std::function<ChartFill()> fill;
    long k;  // the thinning it must show
  };
  const Case cases[] = {
      {"the whole dataset", [&] { return FillChart(channels, summary); }, 1},
      {"the whole dataset, thinned", [&] { return FillChart(channels, thinned); }, 4},
      {"a scope", [&] { return FillChart(channels, summary, ChartScope{both, T0, T0 + 11 * S, 24}); }, 1},
      {"a scope, thinned",
       [&] { return FillChart(channels, summary, ChartScope{both, T0, T0 + 11 * S, 2500000}); }, 3},
      {"the filter's window", [&] { return FillChartInWindow(channels, summary, both, T0, T0 + 11 * S); }, 1},
      {"the filter's bisected window",
       [&] { return FillChartInBisectedWindow({ascending}, summary, both, T0, T0 + 11 * S); }, 1},
  };
  for (const Case& c : cases) {
    ChartFill fill = c.fill();
    ASSERT_EQ(fill.thinning, c.k) << c.name;
    const double gapHeight = fill.gapHeight;
    TrendChart chart;
    const std::size_t lines = fill.lines.size();
    chart.AddLines(std::move(fill.lines), gapHeight);
    for (std::size_t l = 0; l < lines; ++l) {
      std::vector<std::pair<double, double>> drawn;  // key, value in stored order
      if (auto* graph = qobject_cast<QCPGraph*>(chart.Plottable(l))) {
        for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
          drawn.emplace_back(it->key, it->value);
        }
      } else if (auto* curve = qobject_cast<QCPCurve*>(chart.Plottable(l))) {
        for (auto it = curve->data()->constBegin(); it != curve->data()->constEnd(); ++it) {
          drawn.emplace_back(it->key, it->value);
        }
      }
      // Every gap sample and every k-th sample (by its index within the channel), nothing else.
      std::size_t expected = 0;
      for (long i = 0; i < 12; ++i) expected += isGap(l == 0 ? i : 11 - i) || i % c.k == 0 ? 1 : 0;
      EXPECT_EQ(drawn.size(), expected) << c.name << ", line " << l;
      for (const auto& [key, value] : drawn) {
        const long s = std::lround((ChartDays(key) - T0) / S);
        if (isGap(s)) {
          EXPECT_TRUE(std::isnan(value)) << c.name << ", line " << l << ": the gap sample at " << s
                                         << " breaks the line, drawn as " << value;
        } else {
          EXPECT_EQ(value, valueAt(s)) << c.name << ", line " << l << ": the sample at " << s;
        }
      }
    }
  }
}

// ---- The zoom rectangle ----

int YellowPixels(QWidget& widget) {
  QCoreApplication::processEvents();
  const QImage image = widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
  int yellow = 0;
  for (int y = 0; y < image.height(); ++y) {
    const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
    for (int x = 0; x < image.width(); ++x) yellow += row[x] == qRgb(255, 255, 0) ? 1 : 0;
  }
  return yellow;
}

TEST_F(TrendChartTest, AFinishedDragLeavesNoRectangleOnTheChart) {
  FillHour();
  ASSERT_EQ(YellowPixels(chart_), 0) << "nothing yellow before a drag";
  const QPoint c = Plot().center();
  struct Case {
    const char* name;
    QPoint to;
    bool doubleClick;  // a double-click ends the drag instead of the release
  };
  const Case cases[] = {
      {"200 px across and 10 down: no zoom", c + QPoint(200, 10), false},
      {"10 px across and 200 down: no zoom", c + QPoint(10, 200), false},
      {"200 px to the left and 10 up: no undo", c + QPoint(-200, -10), false},
      {"a zoom", c + QPoint(200, 150), false},
      {"an undo", c + QPoint(-200, -150), false},
      {"ended by a double-click", c + QPoint(200, 150), true},
  };
  for (const Case& k : cases) {
    SendMouse(&chart_, QEvent::MouseButtonPress, c, Qt::LeftButton, Qt::LeftButton);
    SendMouse(&chart_, QEvent::MouseMove, (c + k.to) / 2, Qt::NoButton, Qt::LeftButton);
    SendMouse(&chart_, QEvent::MouseMove, k.to, Qt::NoButton, Qt::LeftButton);
    EXPECT_GT(YellowPixels(chart_), 0) << k.name << ": the rectangle shows while dragging";
    if (k.doubleClick) {
      SendMouse(&chart_, QEvent::MouseButtonDblClick, k.to, Qt::LeftButton, Qt::LeftButton);
    }
    SendMouse(&chart_, QEvent::MouseButtonRelease, k.to, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(YellowPixels(chart_), 0) << k.name;
    chart_.UndoZoom();
    chart_.replot();
  }
}

// ---- A legend of many lines ----

std::vector<ChartLine> NumberedLines(std::size_t n) {
  std::vector<ChartLine> lines(n);
  for (std::size_t i = 0; i < n; ++i) {
    lines[i].title = LineTitle(static_cast<int>(i + 1));
    lines[i].unit = "V";
    lines[i].palettePosition = i;
    lines[i].Append(T0, static_cast<double>(i));
    lines[i].Append(T0 + 60 * S, static_cast<double>(i) + 0.5);
  }
  return lines;
}

void Wheel(QWidget* widget, QPoint pos, int notches) {
  QWheelEvent event(QPointF(pos), QPointF(widget->mapToGlobal(pos)), QPoint(), QPoint(0, 120 * notches),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(widget, &event);
}

// An entry is on show when it is drawn inside the legend and the legend inside the chart.
bool EntryOnShow(const TrendChart& chart, std::size_t line) {
  const CheckableLegendItem* item = chart.LegendItem(line);
  if (item == nullptr) return false;  // not on show
  const QRect legend = chart.legend->outerRect();
  return item->realVisibility() && chart.rect().contains(legend) && legend.contains(item->rect()) &&
         !item->rect().isEmpty();
}

TEST(TrendChartLegendTest, TheSizeHintsAndTheLegendsRoomDoNotGrowWithTheLines) {
  for (const std::size_t n : {16u, 100u, 3000u}) {
    TrendChart chart;
    chart.setAttribute(Qt::WA_DontShowOnScreen);
    chart.resize(1000, 700);
    chart.show();
    const QWidget& widget = chart;  // the hints as a layout asks for them
    const QSize minimum = widget.minimumSizeHint();
    const QSize hint = widget.sizeHint();
    chart.AddLines(NumberedLines(n), -10.0);
    chart.SetLegendTitle(QString::fromStdString(CursorLegendTitle(T0)));
    chart.replot();
    EXPECT_EQ(widget.minimumSizeHint(), minimum) << n << " lines";
    EXPECT_EQ(widget.sizeHint(), hint) << n << " lines";
    EXPECT_LE(widget.minimumSizeHint().height(), 700) << n << " lines";
    EXPECT_TRUE(chart.rect().contains(chart.legend->outerRect())) << n << " lines";
    std::size_t shown = 0;
    for (std::size_t i = 0; i < n; ++i) shown += EntryOnShow(chart, i) ? 1 : 0;
    EXPECT_GE(shown, std::min<std::size_t>(n, 20)) << n << " lines: entries on show";
    EXPECT_TRUE(EntryOnShow(chart, 0)) << n << " lines";
    // A smaller picture pages the legend to its own height and leaves the shown one as it was.
    const std::size_t page = chart.LegendEntriesShown();
    EXPECT_EQ(chart.Render(640, 300).size(), QSize(640, 300));
    chart.replot();
    EXPECT_EQ(chart.LegendEntriesShown(), page) << n << " lines";
    EXPECT_TRUE(chart.rect().contains(chart.legend->outerRect())) << n << " lines";
  }
}

TEST(TrendChartLegendTest, TheWheelOverTheLegendScrollsItsEntriesWhoseBoxesStillWork) {
  TrendChart chart;
  chart.setAttribute(Qt::WA_DontShowOnScreen);
  chart.resize(1000, 700);
  chart.show();
  chart.AddLines(NumberedLines(100), -10.0);
  chart.replot();
  const ViewRanges home = chart.Ranges();
  ASSERT_TRUE(EntryOnShow(chart, 0));
  ASSERT_FALSE(EntryOnShow(chart, 99)) << "100 entries do not fit in 700 px";
  // The rows around the entries say there are more below, and how many.
  const std::size_t page = chart.LegendEntriesShown();
  ASSERT_GE(page, 20u);
  ASSERT_LT(page, 100u);
  for (std::size_t i = 0; i < 100; ++i) EXPECT_EQ(EntryOnShow(chart, i), i < page) << i;
  EXPECT_EQ(chart.LegendAboveText(), "△");
  EXPECT_EQ(chart.LegendBelowText(), QStringLiteral("▼ 1-%1/100").arg(page));

  // A click on the row below the entries shows the next page, one on the row above the previous.
  const QRect last = chart.LegendItem(page - 1)->rect();
  Click(&chart, QPoint(last.center().x(), last.bottom() + last.height() / 2));
  chart.replot();
  EXPECT_EQ(chart.LegendFirstShown(), page);
  EXPECT_TRUE(EntryOnShow(chart, page));
  EXPECT_EQ(chart.LegendAboveText(), "▲");
  const QRect first = chart.LegendItem(page)->rect();
  Click(&chart, QPoint(first.center().x(), first.top() - first.height() / 2));
  chart.replot();
  EXPECT_EQ(chart.LegendFirstShown(), 0u);
  for (std::size_t i = 0; i < 100; ++i) ASSERT_TRUE(chart.LineVisible(i)) << "no box changed, " << i;

  for (int notch = 0; notch < 100 && !EntryOnShow(chart, 99); ++notch) {
    Wheel(&chart, chart.legend->outerRect().center(), -1);
    chart.replot();
  }
  ASSERT_TRUE(EntryOnShow(chart, 99)) << "the wheel brings the last entry into view";
  EXPECT_FALSE(EntryOnShow(chart, 0));
  EXPECT_EQ(chart.LegendBelowText(), QStringLiteral("▽ %1-100/100").arg(101 - page));
  Wheel(&chart, chart.legend->outerRect().center(), -1);
  EXPECT_EQ(chart.LegendFirstShown(), 100 - page) << "no further than the last entry";
  Click(&chart, chart.LegendItem(99)->CheckBoxRect().center());
  EXPECT_FALSE(chart.LineVisible(99));
  for (std::size_t i = 0; i < 99; ++i) ASSERT_TRUE(chart.LineVisible(i)) << i;
  chart.replot();
  Click(&chart, chart.LegendItem(99)->CheckBoxRect().center());
  EXPECT_TRUE(chart.LineVisible(99));

  for (int notch = 0; notch < 100 && !EntryOnShow(chart, 0); ++notch) {
    Wheel(&chart, chart.legend->outerRect().center(), 1);
    chart.replot();
  }
  EXPECT_TRUE(EntryOnShow(chart, 0)) << "and back up to the first";
  // The wheel outside the legend, and over it, leaves the view alone.
  Wheel(&chart, chart.axisRect()->rect().center(), -3);
  EXPECT_EQ(chart.Ranges(), home);
}

}  // namespace
}  // namespace vantiro
