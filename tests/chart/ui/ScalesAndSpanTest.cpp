// The chart's value scales, its second vertical cursor and its alarm bands: a recording of mixed
// units (temperatures in hundreds of degrees, pressures in MPa, a flow) and where each line lands
// under each scale; the read-out keeps real values; zoom and live points follow the scale; a band
// shades only the part of the plot beyond its limit, on its line's own axis.
#include <gtest/gtest.h>

#include <QMouseEvent>
#include <QSignalSpy>
#include <cmath>

#include "chart/Cursors.h"
#include "chart/ui/ChartPage.h"
#include "chart/ui/TrendChart.h"
#include "recorder/DateTime.h"

namespace vantiro {
namespace {

constexpr DateTime T0 = 45000.0;

struct Channel {
  const char* unit;
  double low, high;  // its range
  double from, to;   // the values it runs through
};

// Lines of 100 points running linearly from `from` to `to`.
std::vector<ChartLine> MixedLines(const std::vector<Channel>& channels) {
  std::vector<ChartLine> lines;
  for (std::size_t k = 0; k < channels.size(); ++k) {
    ChartLine line;
    line.title = LineTitle(static_cast<int>(k + 1));
    line.unit = channels[k].unit;
    line.palettePosition = k;
    for (int i = 0; i < 100; ++i) {
      line.Append(T0 + i * kOneSecond, channels[k].from + (channels[k].to - channels[k].from) * i / 99.0);
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

class ScalesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    chart_.setAttribute(Qt::WA_DontShowOnScreen);
    chart_.resize(TrendChart::kPageWidth, TrendChart::kPageHeight);
    chart_.show();
  }
  void Load(const std::vector<Channel>& channels) {
    channels_ = channels;
    chart_.AddLines(MixedLines(channels), -10.0);
    for (std::size_t k = 0; k < channels.size(); ++k) chart_.SetLineRange(k, channels[k].low, channels[k].high);
    chart_.SetBottomAxis(T0, T0 + 99 * kOneSecond);
    chart_.replot();
  }
  // The pixel row a value of a line lands on.
  double Row(std::size_t line, double value) const { return chart_.Plottable(line)->valueAxis()->coordToPixel(value); }

  TrendChart chart_;
  std::vector<Channel> channels_;
};

const std::vector<Channel> kMixed = {
    {"℃", 0, 1000, 200, 800},   // a furnace
    {"MPa", 0, 1.6, 0.4, 1.2},  // a pressure
    {"℃", 0, 200, 20, 60},      // a second temperature of another range
    {"m3/h", 0, 50, 10, 40},    // a flow
};

TEST_F(ScalesTest, WhereEachLineLandsUnderEachScale) {
  Load(kMixed);
  chart_.SetLeftAxis(-10, 1010);
  chart_.replot();
  // One shared axis: every line against the left axis, a pressure flat along the bottom.
  for (std::size_t k = 0; k < kMixed.size(); ++k) EXPECT_EQ(chart_.Plottable(k)->valueAxis(), chart_.yAxis);
  EXPECT_NEAR(Row(1, 1.2), chart_.yAxis->coordToPixel(1.2), 1e-9);
  EXPECT_LT(std::abs(Row(1, 1.2) - Row(1, 0.4)), 2.0);  // the pressure's swing is under two pixels

  // By range: each line's range spans the shared 0-100 axis: its range's middle lands on 50 %.
  chart_.SetScale(ChartScale::Range);
  chart_.SetLeftAxis(kPercentAxisMin, kPercentAxisMax);
  chart_.replot();
  const double half = chart_.yAxis->coordToPixel(50.0);
  const double top = chart_.yAxis->coordToPixel(100.0);
  for (std::size_t k = 0; k < kMixed.size(); ++k) {
    SCOPED_TRACE(kMixed[k].unit);
    EXPECT_NEAR(Row(k, (kMixed[k].low + kMixed[k].high) / 2), half, 0.5);
    EXPECT_NEAR(Row(k, kMixed[k].high), top, 0.5);
    EXPECT_DOUBLE_EQ(chart_.SharedValue(k, kMixed[k].high), 100.0);
    EXPECT_FALSE(chart_.Plottable(k)->valueAxis()->visible());
  }
  EXPECT_EQ(chart_.yAxis->label(), "%");

  // By unit: one axis per unit, labelled with it, each fitted to its lines: the highest value of a
  // unit's lines at 100 % and the lowest at 0 %.
  chart_.SetScale(ChartScale::Unit);
  chart_.replot();
  ASSERT_EQ(chart_.ScaleAxes().size(), 3u);
  EXPECT_EQ(chart_.ScaleAxes()[0]->label(), "℃");
  EXPECT_EQ(chart_.ScaleAxes()[1]->label(), "MPa");
  EXPECT_EQ(chart_.ScaleAxes()[2]->label(), "m3/h");
  EXPECT_EQ(chart_.Plottable(0)->valueAxis(), chart_.Plottable(2)->valueAxis());
  EXPECT_NEAR(Row(0, 800), top, 0.5);                                 // the highest ℃
  EXPECT_NEAR(Row(2, 20), chart_.yAxis->coordToPixel(0.0), 0.5);     // the lowest ℃
  EXPECT_NEAR(Row(1, 1.2), top, 0.5);
  EXPECT_NEAR(Row(3, 10), chart_.yAxis->coordToPixel(0.0), 0.5);
  for (QCPAxis* axis : chart_.ScaleAxes()) EXPECT_TRUE(axis->visible());
  EXPECT_FALSE(chart_.yAxis->tickLabels());
  // A unit whose lines are all hidden hides its axis; the grid moves to the next one on show.
  chart_.SetLineVisible(0, false);
  chart_.SetLineVisible(2, false);
  EXPECT_FALSE(chart_.ScaleAxes()[0]->visible());
  EXPECT_TRUE(chart_.ScaleAxes()[1]->grid()->visible());
  chart_.SetLineVisible(2, true);
  EXPECT_TRUE(chart_.ScaleAxes()[0]->visible());
  EXPECT_TRUE(chart_.ScaleAxes()[0]->grid()->visible());
  EXPECT_FALSE(chart_.ScaleAxes()[1]->grid()->visible());
  chart_.SetLineVisible(0, true);

  // Back to one axis: the lines on the left axis again, the unit axes gone.
  chart_.SetScale(ChartScale::Single);
  chart_.replot();
  EXPECT_TRUE(chart_.ScaleAxes().empty());
  for (std::size_t k = 0; k < kMixed.size(); ++k) EXPECT_EQ(chart_.Plottable(k)->valueAxis(), chart_.yAxis);
  EXPECT_EQ(chart_.axisRect()->axisCount(QCPAxis::atLeft), 1);
}

TEST_F(ScalesTest, ZoomAndLivePointsFollowTheScaleAndTheReadoutStaysReal) {
  Load(kMixed);
  chart_.SetScale(ChartScale::Unit);
  chart_.SetLeftAxis(kPercentAxisMin, kPercentAxisMax);
  chart_.replot();
  // A zoom on the shared axis zooms every unit axis with it.
  chart_.SetLeftAxis(25.0, 75.0);
  chart_.replot();
  const double middle = chart_.yAxis->coordToPixel(50.0);
  EXPECT_NEAR(Row(1, 0.8), middle, 0.5);  // the pressures' middle
  EXPECT_NEAR(Row(0, 410), middle, 0.5);  // 20..800 ℃: its middle is 410 ℃
  // The read-out reads the line's own values.
  EXPECT_EQ(CursorReadout("通道02", "MPa", chart_.Line(1), T0 + 50 * kOneSecond, -10.0), "通道02 0.804MPa");
  // A live point beyond a unit's values widens its axis, not the others'.
  chart_.SetLeftAxis(kPercentAxisMin, kPercentAxisMax);
  const QCPRange flowBefore = chart_.ScaleAxes()[2]->range();
  chart_.AppendPoint(1, T0 + 100 * kOneSecond, 3.2, false);
  chart_.RescaleAutomaticAxes();
  chart_.replot();
  EXPECT_NEAR(Row(1, 3.2), chart_.yAxis->coordToPixel(100.0), 0.5);
  EXPECT_EQ(chart_.ScaleAxes()[2]->range(), flowBefore);
}

TEST_F(ScalesTest, ManyLinesOfOneRangeShareOneHiddenAxis) {
  std::vector<Channel> same(40, Channel{"℃", 0, 100, 10, 90});
  Load(same);
  chart_.SetScale(ChartScale::Range);
  chart_.replot();
  EXPECT_EQ(chart_.ScaleAxes().size(), 1u);
  // A line without a known range uses the span of its values.
  TrendChart other;
  other.AddLines(MixedLines({{"V", 0, 0, 2.0, 4.0}}), -10.0);
  other.SetScale(ChartScale::Range);
  EXPECT_DOUBLE_EQ(other.SharedValue(0, 4.0), 100.0);
  EXPECT_DOUBLE_EQ(other.SharedValue(0, 2.0), 0.0);
}

// A CSV import of hundreds of channels: its lines past the axes a scale makes share one fitted
// to them all, and every line is drawn where its map puts it.
TEST_F(ScalesTest, HundredsOfLinesStayWhereTheirMapsPutThem) {
  std::vector<Channel> many;
  for (int k = 0; k < 300; ++k) {
    many.push_back(Channel{k < 20 ? "u" : "v", 0, 0, 1.0 * k, 2.0 * k + 10});
  }
  chart_.AddLines(MixedLines(many), -10.0);  // no ranges: each line's span
  chart_.SetBottomAxis(T0, T0 + 99 * kOneSecond);
  for (const ChartScale scale : {ChartScale::Range, ChartScale::Unit}) {
    chart_.SetScale(scale);
    chart_.SetLeftAxis(kPercentAxisMin, kPercentAxisMax);
    chart_.replot();
    EXPECT_LE(chart_.axisRect()->axisCount(QCPAxis::atLeft), 257);
    for (const std::size_t k : {0u, 19u, 254u, 255u, 299u}) {
      const double top = 2.0 * static_cast<double>(k) + 10;
      EXPECT_NEAR(Row(k, top), chart_.yAxis->coordToPixel(chart_.SharedValue(k, top)), 0.5) << k;
      EXPECT_LE(chart_.SharedValue(k, top), 100.0 + 1e-9) << k;
    }
  }
  // Twenty units: sixteen axes, the last for the rest.
  std::vector<std::string> units;
  TrendChart chart;
  std::vector<Channel> twenty;
  static const char* kUnits[] = {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j",
                                 "k", "l", "m", "n", "o", "p", "q", "r", "s", "t"};
  for (const char* unit : kUnits) twenty.push_back(Channel{unit, 0, 0, 0.0, 1.0});
  chart.AddLines(MixedLines(twenty), -10.0);
  chart.SetScale(ChartScale::Unit);
  ASSERT_EQ(chart.ScaleAxes().size(), 16u);
  EXPECT_EQ(chart.ScaleAxes().back()->label(), "其他");
  EXPECT_EQ(chart.Plottable(19)->valueAxis(), chart.ScaleAxes().back());
}

// A right click on a legend entry asks for that line's menu (the limits dialog); elsewhere in the
// legend it asks for nothing.
TEST_F(ScalesTest, ARightClickOnALegendEntryAsksForItsMenu) {
  Load(kMixed);
  QSignalSpy asked(&chart_, &TrendChart::legendMenuRequested);
  ASSERT_TRUE(chart_.LegendItem(2));
  const QPoint entry = chart_.LegendItem(2)->rect().center();
  QMouseEvent press(QEvent::MouseButtonPress, entry, chart_.mapToGlobal(entry), Qt::RightButton, Qt::RightButton,
                    Qt::NoModifier);
  QApplication::sendEvent(&chart_, &press);
  ASSERT_EQ(asked.count(), 1);
  EXPECT_EQ(asked.front().front().value<std::size_t>(), 2u);
  EXPECT_TRUE(chart_.LineVisible(2));  // a right click does not toggle the line
  const QPoint title = chart_.legend->outerRect().topLeft() + QPoint(4, 4);
  QMouseEvent onTitle(QEvent::MouseButtonPress, title, chart_.mapToGlobal(title), Qt::RightButton, Qt::RightButton,
                      Qt::NoModifier);
  QApplication::sendEvent(&chart_, &onTitle);
  EXPECT_EQ(asked.count(), 1);
}

// Under every scale a band covers only the part of the plot beyond its limit, where that line's
// own axis puts the limit (its value on the shared left axis: SharedValue), and the limit shows
// dashed in the line's colour across the period: an upper limit's band above it up to the top, a
// lower limit's below it down to the bottom. Each picture is compared with the same picture
// without bands, so that lines and grid count for nothing.
TEST_F(ScalesTest, AlarmBandsShadeOnlyBeyondTheLimitOnTheLinesOwnAxis) {
  Load(kMixed);
  struct Band {
    std::size_t line;
    bool upper;
    double limit;
    int from, to;  // seconds; the line stays on the near side of the limit meanwhile
    double low, high;  // the left axis on the one shared scale
  };
  const std::vector<Band> bands = {{0, true, 700.0, 60, 80, -10, 1010}, {1, false, 0.6, 30, 45, 0, 2}};
  const auto brightness = [](const QColor& c) { return c.red() + c.green() + c.blue(); };
  for (const ChartScale scale : {ChartScale::Single, ChartScale::Range, ChartScale::Unit}) {
    chart_.SetScale(scale);
    for (const Band& band : bands) {
      SCOPED_TRACE(std::string(ChartScaleName(scale)) + (band.upper ? " upper" : " lower"));
      if (scale == ChartScale::Single) {
        chart_.SetLeftAxis(band.low, band.high);
      } else {
        chart_.SetLeftAxis(kPercentAxisMin, kPercentAxisMax);
      }
      for (std::size_t k = 0; k < kMixed.size(); ++k) chart_.SetLineVisible(k, k == band.line);
      AlarmEvent e;
      e.upper = band.upper;
      e.limit = band.limit;
      e.start = T0 + band.from * kOneSecond;
      e.end = T0 + band.to * kOneSecond;
      chart_.SetAlarmBands({});
      chart_.replot();
      const QImage plain = chart_.Render(chart_.width(), chart_.height());
      chart_.SetAlarmBands({{band.line, e}});
      chart_.replot();
      const QImage banded = chart_.Render(chart_.width(), chart_.height());
      const QRect plot = chart_.axisRect()->rect();
      const int row = static_cast<int>(std::lround(chart_.yAxis->coordToPixel(chart_.SharedValue(band.line, band.limit))));
      ASSERT_GT(row, plot.top() + 6);
      ASSERT_LT(row, plot.bottom() - 6);
      const int column = static_cast<int>(chart_.xAxis->coordToPixel(ChartKey(T0 + (band.from + band.to) / 2.0 * kOneSecond)));
      const int direction = band.upper ? -1 : 1;  // towards the plot's edge beyond the limit
      const int edge = band.upper ? plot.top() : plot.bottom();
      // Beyond the limit: shaded from next to the limit to the edge.
      for (const int y : {row + 2 * direction, (row + edge) / 2, edge - direction}) {
        EXPECT_GT(brightness(banded.pixelColor(column, y)), brightness(plain.pixelColor(column, y)) + 40)
            << "row " << y << " limit at " << row;
      }
      // On the near side: untouched.
      for (const int y : {row - 2 * direction, row - 20 * direction, row - 100 * direction}) {
        if (y <= plot.top() || y >= plot.bottom()) continue;
        EXPECT_EQ(banded.pixelColor(column, y), plain.pixelColor(column, y)) << "row " << y << " limit at " << row;
      }
      // Outside the period: untouched.
      const int before = static_cast<int>(chart_.xAxis->coordToPixel(ChartKey(T0 + (band.from - 10) * kOneSecond)));
      EXPECT_EQ(banded.pixelColor(before, (row + edge) / 2), plain.pixelColor(before, (row + edge) / 2));
      // The limit itself dashed in the line's colour over the shade, across the period.
      const Rgb rgb = PaletteColour(chart_.Line(band.line).palettePosition);
      const QColor lineColour(rgb.r, rgb.g, rgb.b);
      const int left = static_cast<int>(chart_.xAxis->coordToPixel(ChartKey(e.start))) + 1;
      const int right = static_cast<int>(chart_.xAxis->coordToPixel(ChartKey(e.end))) - 1;
      int dashed = 0;
      for (int x = left; x <= right; ++x) dashed += banded.pixelColor(x, row) == lineColour ? 1 : 0;
      EXPECT_GT(dashed, (right - left + 1) / 3) << "of " << right - left + 1 << " columns at row " << row;
    }
  }
  for (std::size_t k = 0; k < kMixed.size(); ++k) chart_.SetLineVisible(k, true);
}

// A limit outside the plot on the side of its period leaves a thin strip along that edge: the
// period is still seen to be there; with the limit outside on the other side the whole height is
// beyond it.
TEST_F(ScalesTest, AnAlarmBandWhoseLimitIsOutOfViewKeepsAStripOrTheWholeHeight) {
  Load(kMixed);
  for (std::size_t k = 0; k < kMixed.size(); ++k) chart_.SetLineVisible(k, k == 0);
  AlarmEvent e;
  e.upper = true;
  e.limit = 700.0;
  e.start = T0 + 40 * kOneSecond;
  e.end = T0 + 60 * kOneSecond;
  const auto brightness = [](const QColor& c) { return c.red() + c.green() + c.blue(); };
  struct Case {
    const char* name;
    double low, high;  // the left axis
    bool strip;        // else the whole height
  };
  for (const Case& c : {Case{"limit above the plot", 0.0, 300.0, true}, Case{"limit below the plot", 750.0, 1000.0, false}}) {
    SCOPED_TRACE(c.name);
    chart_.SetLeftAxis(c.low, c.high);
    chart_.SetAlarmBands({});
    chart_.replot();
    const QImage plain = chart_.Render(chart_.width(), chart_.height());
    chart_.SetAlarmBands({{0, e}});
    chart_.replot();
    const QImage banded = chart_.Render(chart_.width(), chart_.height());
    const QRect plot = chart_.axisRect()->rect();
    const int column = static_cast<int>(chart_.xAxis->coordToPixel(ChartKey(T0 + 50 * kOneSecond)));
    EXPECT_GT(brightness(banded.pixelColor(column, plot.top() + 1)), brightness(plain.pixelColor(column, plot.top() + 1)) + 40);
    const int lower = plot.top() + plot.height() * 3 / 4;
    if (c.strip) {
      EXPECT_EQ(banded.pixelColor(column, plot.top() + 10), plain.pixelColor(column, plot.top() + 10));
      EXPECT_EQ(banded.pixelColor(column, lower), plain.pixelColor(column, lower));
    } else {
      EXPECT_GT(brightness(banded.pixelColor(column, lower)), brightness(plain.pixelColor(column, lower)) + 40);
    }
  }
}

class SecondCursorTest : public ScalesTest {};

TEST_F(SecondCursorTest, PlacedAtTheRightQuarterShownInTheLegendAndDragged) {
  Load(kMixed);
  std::vector<ChartSeriesInfo> series;
  DatasetSummary summary;
  summary.startTime = T0;
  summary.endTime = T0 + 99 * kOneSecond;
  ChartPage page(chart_, series, summary);
  QObject::connect(&chart_, &TrendChart::cursorMoved, [&](DateTime x) { page.ChartCursorToolChange(x); });
  QObject::connect(&chart_, &TrendChart::cursor2Moved, [&](DateTime) { page.ChartCursorToolChange(chart_.Cursors().x); });
  page.PlaceCursorsAfterLoad(T0, false, false);
  const ViewRanges view = chart_.Ranges();
  EXPECT_DOUBLE_EQ(chart_.Cursors().x2, view.x0 + 0.75 * (view.x1 - view.x0));
  const QStringList title = chart_.LegendTitle().split(QLatin1Char('\n'));
  ASSERT_EQ(title.size(), 3);
  EXPECT_EQ(title[0].toStdString(), CursorLegendTitle(T0 + kCursorStartOffset));
  EXPECT_TRUE(title[1].startsWith(QStringLiteral("垂直游标X2: ")));
  EXPECT_EQ(title[2].toStdString(), "Δt(X2-X1): " + DurationText((chart_.Cursors().x2 - chart_.Cursors().x) * 86400.0));

  // Dragged as the first one is; the legend keeps its width meanwhile.
  chart_.replot();
  const int legendWidth = chart_.legend->outerRect().width();
  QSignalSpy moved2(&chart_, &TrendChart::cursor2Moved);
  const QRect plot = chart_.axisRect()->rect();
  const int grab = static_cast<int>(std::lround(chart_.xAxis->coordToPixel(ChartKey(chart_.Cursors().x2))));
  const QPoint from(grab, plot.center().y());
  const QPoint to(plot.left() + plot.width() / 2, plot.center().y());
  QMouseEvent press(QEvent::MouseButtonPress, from, chart_.mapToGlobal(from), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&chart_, &press);
  QMouseEvent move(QEvent::MouseMove, to, chart_.mapToGlobal(to), Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&chart_, &move);
  QMouseEvent release(QEvent::MouseButtonRelease, to, chart_.mapToGlobal(to), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&chart_, &release);
  EXPECT_GE(moved2.count(), 1);
  EXPECT_DOUBLE_EQ(chart_.Cursors().x2, ChartDays(chart_.xAxis->pixelToCoord(to.x())));
  EXPECT_DOUBLE_EQ(chart_.Cursors().x, T0 + kCursorStartOffset);  // the first stays
  chart_.replot();
  EXPECT_EQ(chart_.legend->outerRect().width(), legendWidth);
}

TEST_F(ScalesTest, AlarmBandsShadeTheirPeriodsInTheLinesColour) {
  Load({{"℃", 0, 1000, 0, 990}});
  chart_.SetLeftAxis(-10, 1010);
  AlarmEvent e;
  e.upper = true;
  e.limit = 900;
  e.start = T0 + 60 * kOneSecond;
  e.end = T0 + 80 * kOneSecond;
  chart_.SetAlarmBands({{0, e}});
  chart_.replot();
  const QImage image = chart_.Render(chart_.width(), chart_.height());
  const int inside = static_cast<int>(chart_.xAxis->coordToPixel(ChartKey(T0 + 70 * kOneSecond)));
  const int outside = static_cast<int>(chart_.xAxis->coordToPixel(ChartKey(T0 + 30 * kOneSecond)));
  // Above the limit (where the band lies now), away from the line and the grid.
  const int y = static_cast<int>(chart_.yAxis->coordToPixel(950.0));
  const QColor shaded = image.pixelColor(inside, y);
  const QColor plain = image.pixelColor(outside, y);
  EXPECT_GT(shaded.red() + shaded.green() + shaded.blue(), plain.red() + plain.green() + plain.blue() + 60)
      << shaded.name().toStdString() << " " << plain.name().toStdString();
  // Many short periods within the same columns shade them once, as one period does.
  std::vector<TrendChart::AlarmBand> chatter;
  for (int k = 0; k < 50; ++k) {
    AlarmEvent c = e;
    c.start = T0 + (60 + k * 0.4) * kOneSecond;
    c.end = c.start + 0.2 * kOneSecond;
    chatter.push_back({0, c});
  }
  chatter.push_back({0, e});
  chart_.SetAlarmBands(chatter);
  chart_.replot();
  const QImage many = chart_.Render(chart_.width(), chart_.height());
  EXPECT_EQ(many.pixelColor(inside, y), shaded);
  chart_.SetAlarmBands({{0, e}});
  // A hidden line hides its bands.
  chart_.SetLineVisible(0, false);
  chart_.replot();
  const QImage hidden = chart_.Render(chart_.width(), chart_.height());
  const QColor unshaded = hidden.pixelColor(inside, y);
  EXPECT_LT(unshaded.red() + unshaded.green() + unshaded.blue(), shaded.red() + shaded.green() + shaded.blue() - 60);
}

}  // namespace
}  // namespace vantiro
