// The bottom axis' grid lines and labels stand on exact multiples of the label step, however far the
// window lies from the day numbers' origin and whatever rounding the step carries.
#include <gtest/gtest.h>

#include <QDateTime>
#include <QTimeZone>
#include <cstdint>
#include <string>
#include <vector>

#include "chart/ChartLines.h"
#include "chart/ui/TrendChart.h"
#include "recorder/DateTime.h"

namespace vantiro {
namespace {

struct Moment {
  int year, month, day, hour, minute, second, millisecond;
};

DateTime Days(const Moment& m) {
  return *EncodeDateTime(m.year, m.month, m.day, m.hour, m.minute, m.second, m.millisecond);
}

// The wall-clock time as milliseconds since 1970, worked out by the calendar rather than from days.
std::int64_t Milliseconds(const Moment& m) {
  return QDateTime(QDate(m.year, m.month, m.day), QTime(m.hour, m.minute, m.second, m.millisecond),
                   QTimeZone::utc())
      .toMSecsSinceEpoch();
}

// A step of whole seconds labels seconds; any other step milliseconds too.
std::string Label(std::int64_t ms, std::int64_t stepMs) {
  return QDateTime::fromMSecsSinceEpoch(ms, QTimeZone::utc())
      .toString(stepMs % 1000 == 0 ? QStringLiteral("yy-MM-dd\nHH:mm:ss") : QStringLiteral("yy-MM-dd\nHH:mm:ss.zzz"))
      .toStdString();
}

TEST(TimeGridTest, TicksStandOnExactMultiplesOfTheStepAndTheirLabelsSayThem) {
  struct Case {
    const char* name;
    Moment from, to;
    std::int64_t stepMs;  // 0: a tenth of the window, as a fill sets it
  };
  const Case cases[] = {
      {"two hours in the morning", {2010, 5, 12, 8, 0, 0, 0}, {2010, 5, 12, 10, 0, 0, 0}, 0},
      {"five minutes", {2010, 5, 12, 10, 0, 0, 0}, {2010, 5, 12, 10, 5, 0, 0}, 0},
      {"a window off the step", {2010, 5, 12, 10, 0, 7, 250}, {2010, 5, 12, 10, 5, 7, 250}, 30000},
      {"one hour over midnight", {2019, 12, 31, 23, 30, 0, 0}, {2020, 1, 1, 0, 30, 0, 0}, 0},
      {"a step of a second and a half", {2010, 5, 12, 10, 0, 0, 0}, {2010, 5, 12, 10, 0, 15, 0}, 1500},
      {"a step of a quarter second", {2010, 5, 12, 10, 0, 0, 0}, {2010, 5, 12, 10, 0, 2, 500}, 250},
      {"a tenth of a second", {2010, 5, 12, 10, 0, 0, 0}, {2010, 5, 12, 10, 0, 1, 0}, 0},
      {"ten seconds at a tenth", {2010, 5, 12, 10, 0, 0, 0}, {2010, 5, 12, 10, 0, 10, 0}, 0},
      {"before 1970", {1965, 3, 1, 8, 0, 0, 0}, {1965, 3, 1, 10, 0, 0, 0}, 0},
      {"near the day numbers' origin", {1900, 1, 1, 0, 0, 0, 0}, {1900, 1, 1, 0, 5, 0, 0}, 0},
      {"a century ahead", {2110, 7, 4, 8, 0, 0, 0}, {2110, 7, 4, 10, 0, 0, 0}, 0},
      {"the last day of the calendar", {9999, 12, 31, 22, 0, 0, 0}, {9999, 12, 31, 23, 0, 0, 0}, 0},
  };
  TrendChart chart;
  chart.setAttribute(Qt::WA_DontShowOnScreen);
  chart.resize(TrendChart::kPageWidth, TrendChart::kPageHeight);
  chart.show();
  for (const Case& c : cases) {
    const DateTime from = Days(c.from);
    const DateTime to = Days(c.to);
    const std::int64_t fromMs = Milliseconds(c.from);
    const std::int64_t toMs = Milliseconds(c.to);
    // A fill's step is a tenth of the window in days, which carries the days' rounding.
    const std::int64_t stepMs = c.stepMs != 0 ? c.stepMs : (toMs - fromMs) / 10;
    chart.SetBottomAxis(from, to);
    chart.SetBottomIncrement(c.stepMs != 0 ? c.stepMs * kOneMillisecond : (to - from) * kLabelStepFactor);
    chart.replot();

    // Every multiple of the step from the window's start to its end (both included), counted from
    // the day numbers' origin (a whole number of days before 1970).
    std::vector<std::string> expected;
    const std::int64_t originMs = -25569LL * 86400000LL;
    ASSERT_GE(fromMs, originMs) << c.name;
    const std::int64_t firstMs = (fromMs - originMs + stepMs - 1) / stepMs * stepMs + originMs;
    for (std::int64_t ms = firstMs; ms <= toMs; ms += stepMs) expected.push_back(Label(ms, stepMs));

    const QVector<QString> labels = chart.xAxis->tickVectorLabels();
    std::vector<std::string> shown;
    for (const QString& label : labels) shown.push_back(label.toStdString());
    EXPECT_EQ(shown, expected) << c.name;
    const QVector<double> ticks = chart.xAxis->tickVector();
    ASSERT_EQ(ticks.size(), labels.size()) << c.name;
    for (int i = 0; i < ticks.size(); ++i) {
      // Keys near the year 9999 hold a millisecond to some 0.03 ms.
      EXPECT_NEAR(ticks[i] * 1000.0, static_cast<double>(firstMs + i * stepMs), 0.05)
          << c.name << ", tick " << i;
    }
  }
}

}  // namespace
}  // namespace vantiro
