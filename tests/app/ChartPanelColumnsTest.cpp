// The columns of the panels under the chart (the span's statistics, the alarm events): each as
// wide as its caption and its widest text, following the texts as the rows change; too narrow a
// panel cuts the widest columns alike and shows a cut text whole in its tooltip.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <string>
#include <vector>

#include "chart/AlarmEvents.h"
#include "chart/SpanStatistics.h"
#include "chart/ui/ChartPanels.h"
#include "recorder/DateTime.h"
#include "support/WholeTexts.h"

namespace vantiro {
namespace {

using testing::CutTexts;
using testing::ExpectCutTextsInTips;

const DateTime T0 = *EncodeDateTime(2025, 1, 2, 19, 10, 21);
const std::vector<std::string> kNothingCut;

// A row whose figures grow with `value` (the unit and decimals as the channel records them).
SpanStatistics Row(int number, const std::string& unit, int decimals, double value) {
  SpanStatistics s;
  s.number = number;
  s.unit = unit;
  s.decimals = decimals;
  s.atStart = value;
  s.atEnd = value * 1.5;
  s.delta = value * 0.5;
  s.min = value / 2;
  s.max = value * 2;
  s.minTime = T0 + 0.25;
  s.maxTime = T0 + 1.75;
  s.mean = value * 1.25;
  if (number % 2 == 0) {
    s.secondsAbove = 86400.0 * 2 + 3725.5;
    s.secondsBelow = 0.0;
  }
  return s;
}

std::vector<int> Widths(const QTableView& view) {
  std::vector<int> widths;
  for (int c = 0; c < view.model()->columnCount(); ++c) widths.push_back(view.columnWidth(c));
  return widths;
}

void ShowAndSettle(QWidget& widget, int width, int height) {
  widget.resize(width, height);
  if (!widget.isVisible()) {
    widget.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&widget));
  }
  QApplication::processEvents();
}

TEST(ChartPanelColumnsTest, TheSpanPanelsColumnsFitTheirTextsAndFollowThemAsTheRowsChange) {
  SpanPanel panel;
  ShowAndSettle(panel, 1500, 320);
  QTableWidget& table = *panel.Table();
  // The captions alone, before any row.
  EXPECT_EQ(CutTexts(table), kNothingCut);

  const std::vector<SpanStatistics> first = {Row(1, "℃", 1, 12.5), Row(12, "Kgf/cm2", 3, 44192.125),
                                             Row(3, "％LEL", 0, -7.0)};
  panel.ShowStatistics(first, T0, T0 + 2.5);
  ASSERT_EQ(table.rowCount(), 3);
  EXPECT_EQ(CutTexts(table), kNothingCut);
  const std::vector<int> fitted = Widths(table);

  // The cursors move: as many rows, longer figures. The columns widen with them.
  std::vector<SpanStatistics> longer = first;
  longer[1] = Row(12, "Kgf/cm2", 3, 174419212.125);
  longer[2] = Row(3, "％LEL", 0, -70000000.0);
  panel.ShowStatistics(longer, T0, T0 + 2.5);
  EXPECT_EQ(CutTexts(table), kNothingCut);
  EXPECT_GT(table.columnWidth(2), fitted[2]);  // 起点值
  EXPECT_GT(table.columnWidth(7), fitted[7]);  // 最大值
  EXPECT_EQ(table.columnWidth(6), fitted[6]);  // the times are as long as before

  // Back to the shorter ones: the columns narrow again.
  panel.ShowStatistics(first, T0, T0 + 2.5);
  EXPECT_EQ(Widths(table), fitted);

  // Fewer rows and other channels: fitted to those.
  panel.ShowStatistics({Row(16, "mmH2O", 2, 0.5)}, T0, T0 + 0.001);
  EXPECT_EQ(CutTexts(table), kNothingCut);
  // While a long span is worked out the rows shown stay, and so do their widths.
  const std::vector<int> single = Widths(table);
  panel.ShowCalculating(T0, T0 + 300);
  EXPECT_EQ(Widths(table), single);
  // No column takes the room that is left over.
  int total = 0;
  for (const int w : single) total += w;
  EXPECT_LT(total, table.viewport()->width());
  EXPECT_EQ(single.back(), table.horizontalHeader()->sectionSize(table.columnCount() - 1));
}

TEST(ChartPanelColumnsTest, ANarrowSpanPanelCutsTheWideColumnsAndTellsTheTextsInTooltips) {
  SpanPanel panel;
  ShowAndSettle(panel, 1500, 320);
  panel.ShowStatistics({Row(1, "℃", 1, 12.5), Row(12, "Kgf/cm2", 3, 174419212.125)}, T0, T0 + 2.5);
  QTableWidget& table = *panel.Table();
  const std::vector<int> fitted = Widths(table);
  ASSERT_EQ(CutTexts(table), kNothingCut);

  // Three quarters of the width the columns need.
  int total = 0;
  for (const int w : fitted) total += w;
  const int chrome = panel.width() - table.viewport()->width();
  ShowAndSettle(panel, total * 3 / 4 + chrome, 320);
  ASSERT_LT(table.viewport()->width(), total);
  EXPECT_GT(ExpectCutTextsInTips(table), 0);
  // The narrow columns keep their widths; the cut ones are narrowed alike, none below one that
  // kept its width.
  int kept = 0;
  for (int c = 0; c < table.columnCount(); ++c) {
    if (table.columnWidth(c) == fitted[c]) {
      ++kept;
      continue;
    }
    for (int other = 0; other < table.columnCount(); ++other) {
      if (fitted[other] < table.columnWidth(c)) EXPECT_EQ(table.columnWidth(other), fitted[other]) << c << " " << other;
    }
  }
  EXPECT_GT(kept, 0);
  EXPECT_LT(kept, table.columnCount());
  EXPECT_EQ(table.horizontalScrollBar()->maximum(), 0);

  // New rows while narrow are fitted as far as the width goes; widened, all is whole again.
  panel.ShowStatistics({Row(2, "mA", 3, 19.25), Row(12, "Kgf/cm2", 3, 174419212.125)}, T0, T0 + 2.5);
  EXPECT_GT(ExpectCutTextsInTips(table), 0);
  ShowAndSettle(panel, 1500, 320);
  EXPECT_EQ(CutTexts(table), kNothingCut);
  EXPECT_EQ(testing::TipOverCell(table, 1, 7), QString());
}

AlarmEvent Event(int number, bool upper, double limit, double startSeconds, double seconds, double extreme) {
  AlarmEvent e;
  e.number = number;
  e.upper = upper;
  e.limit = limit;
  e.start = T0 + startSeconds * kOneSecond;
  e.end = e.start + seconds * kOneSecond;
  e.seconds = seconds;
  e.extreme = extreme;
  e.extremeTime = e.start;
  return e;
}

TEST(ChartPanelColumnsTest, TheAlarmListsColumnsFitTheirCaptionsAndTexts) {
  AlarmList list;
  ShowAndSettle(list, 1200, 260);
  QTableWidget& table = *list.Table();
  // No event yet: the captions whole all the same.
  EXPECT_EQ(CutTexts(table), kNothingCut);
  for (int c = 0; c < table.columnCount(); ++c) {
    EXPECT_GE(table.columnWidth(c), table.horizontalHeader()->sectionSizeHint(c)) << c;
  }

  list.ShowEvents({Event(3, true, 30.0, 0, 125.5, 42.5), Event(12, false, -1250.125, 3600, 86400.0 * 3 + 7, -44192.875),
                   Event(16, true, 99999.5, 90000, 0.001, 1744192.25)},
                  {1, 3, 2});
  ASSERT_EQ(table.rowCount(), 3);
  EXPECT_EQ(CutTexts(table), kNothingCut);
  const std::vector<int> fitted = Widths(table);

  // Another list: fitted to it.
  list.ShowEvents({Event(1, true, 5.0, 0, 1.0, 5.5)}, {1});
  EXPECT_EQ(CutTexts(table), kNothingCut);
  EXPECT_LT(table.columnWidth(5), fitted[5]);

  // Narrowed below what the columns need: cut texts in their tooltips.
  list.ShowEvents({Event(3, true, 30.0, 0, 125.5, 42.5), Event(12, false, -1250.125, 3600, 86400.0 * 3 + 7, -44192.875)},
                  {1, 3});
  ShowAndSettle(list, 300, 260);
  EXPECT_GT(ExpectCutTextsInTips(table), 0);
  ShowAndSettle(list, 1200, 260);
  EXPECT_EQ(CutTexts(table), kNothingCut);
}

}  // namespace
}  // namespace vantiro
