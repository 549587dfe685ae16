// Readable at any zoom: a line with few points in view shows them as marks, so that a channel with
// a single sample can be seen; a dense line is drawn as a line only, and zooming in on it brings the
// marks. Value labels take the decimals their step needs.
#include <gtest/gtest.h>

#include <QSet>

#include "chart/ChartLines.h"
#include "chart/ui/ChartParts.h"
#include "chart/ui/TrendChart.h"
#include "recorder/DateTime.h"

namespace vantiro {
namespace {

ChartLine Line(std::size_t points) {
  ChartLine line;
  line.title = "通道01";
  for (std::size_t i = 0; i < points; ++i) line.Append(45000.0 + static_cast<double>(i) * kOneSecond, static_cast<double>(i % 10));
  return line;
}

TEST(SparseLinesTest, FewPointsInViewAreMarked) {
  TrendChart chart;
  chart.setAttribute(Qt::WA_DontShowOnScreen);
  chart.resize(TrendChart::kPageWidth, TrendChart::kPageHeight);
  chart.show();
  std::vector<ChartLine> lines;
  lines.push_back(Line(1));
  lines.push_back(Line(20));
  lines.push_back(Line(5000));
  chart.AddLines(std::move(lines), -10.0);
  chart.SetBottomAxis(45000.0, 45000.0 + 5000 * kOneSecond);
  chart.replot();
  EXPECT_TRUE(chart.LineShowsMarks(0));   // a single sample
  EXPECT_TRUE(chart.LineShowsMarks(1));   // 20 points over a thousand pixels
  EXPECT_FALSE(chart.LineShowsMarks(2));  // 5000 points: a line
  // Zoomed in to 50 seconds: the dense line has few points in view now.
  chart.SetBottomAxis(45000.0, 45000.0 + 50 * kOneSecond);
  chart.replot();
  EXPECT_TRUE(chart.LineShowsMarks(2));
}

}  // namespace
}  // namespace vantiro

namespace vantiro {
namespace {

TEST(ValueLabelsTest, DecimalsFollowTheStep) {
  struct Case {
    double step;
    int decimals;
  };
  for (const Case& c : {Case{100.0, 0}, Case{1.0, 0}, Case{0.5, 1}, Case{0.1, 1}, Case{0.25, 2}, Case{0.05, 2},
                        Case{0.001, 3}, Case{1e-9, 6}, Case{0.0, 0}, Case{-1.0, 0}}) {
    EXPECT_EQ(ValueLabelDecimals(c.step), c.decimals) << c.step;
  }
}

TEST(ValueLabelsTest, ANarrowViewLabelsItsValuesWithDecimals) {
  TrendChart chart;
  chart.setAttribute(Qt::WA_DontShowOnScreen);
  chart.resize(TrendChart::kPageWidth, TrendChart::kPageHeight);
  chart.show();
  chart.SetLeftAxis(10.2, 10.8);
  chart.SetLeftIncrement(0.1);
  chart.replot();
  const QVector<QString> narrow = chart.yAxis->tickVectorLabels();
  ASSERT_FALSE(narrow.isEmpty());
  EXPECT_TRUE(narrow.contains(QStringLiteral("10.5"))) << narrow.join(' ').toStdString();
  // Labels that differ, every one.
  EXPECT_EQ(QSet<QString>(narrow.begin(), narrow.end()).size(), narrow.size());
  chart.SetLeftAxis(0.0, 1000.0);
  chart.SetLeftIncrement(100.0);
  chart.replot();
  EXPECT_TRUE(chart.yAxis->tickVectorLabels().contains(QStringLiteral("500")));
}

}  // namespace
}  // namespace vantiro
