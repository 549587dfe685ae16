// A CSV import may hold far more channels than a recorder's 16: the main window keeps its size
// with the chart page on show, and the legend's entries scroll within it.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWheelEvent>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "app/AppWindows.h"
#include "app/TMainForm.h"
#include "chart/ui/ChartParts.h"
#include "chart/ui/TrendChart.h"
#include "support/MouseGestures.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::Click;
using testing::ScriptedPrompts;

class ManyChannelsTest : public ::testing::Test {
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
    QApplication::processEvents();
    return f;
  }

  // `channels` channels of two samples each, a minute apart, one line a sample.
  fs::path WriteCsv(int channels) {
    const fs::path path = dir_.Path() / ("channels" + std::to_string(channels) + ".csv");
    std::ofstream out(path, std::ios::binary);
    int row = 0;
    for (int minute = 0; minute < 2; ++minute) {
      for (int n = 1; n <= channels; ++n) {
        char line[128];
        std::snprintf(line, sizeof line, "%d,%d,%d.5,2010-05-12 10:%02d:00,V\r\n", ++row, n, n, minute);
        out << line;
      }
    }
    return path;
  }

  static void Wheel(QWidget* widget, QPoint pos, int notches) {
    QWheelEvent event(QPointF(pos), QPointF(widget->mapToGlobal(pos)), QPoint(), QPoint(0, 120 * notches),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
  }

  // Drawn inside the legend, and the legend inside the chart.
  static bool EntryOnShow(const TrendChart& chart, std::size_t line) {
    const CheckableLegendItem* item = chart.LegendItem(line);
    if (item == nullptr) return false;  // not on show
    const QRect legend = chart.legend->outerRect();
    return item->realVisibility() && chart.rect().contains(legend) && legend.contains(item->rect()) &&
           !item->rect().isEmpty();
  }

  testing::TempDir dir_;
  ScriptedPrompts prompts_;
  std::unique_ptr<AppWindows> windows_;
};

TEST_F(ManyChannelsTest, TheWindowKeepsItsSizeWhateverTheNumberOfChannels) {
  struct Case {
    int channels;
    bool beforeShown;  // named on the command line: imported before the window shows
  };
  for (const Case& c : {Case{100, false}, Case{3000, false}, Case{100, true}, Case{3000, true}}) {
    const std::string name = std::to_string(c.channels) + (c.beforeShown ? " channels at start" : " channels");
    windows_ = std::make_unique<AppWindows>();
    TMainForm& f = *windows_->mainForm;
    const QSize size = f.size();
    if (c.beforeShown) f.OpenFromCommandLine(QString::fromStdString(WriteCsv(c.channels)));
    f.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&f)) << name;
    f.ChartMenuItem->trigger();
    QApplication::processEvents();
    if (!c.beforeShown) f.OpenFromCommandLine(QString::fromStdString(WriteCsv(c.channels)));
    ASSERT_TRUE(prompts_.messages.empty()) << name;
    ASSERT_EQ(f.Chart->LineCount(), static_cast<std::size_t>(c.channels)) << name;
    QApplication::processEvents();
    EXPECT_EQ(f.size(), size) << name;
    EXPECT_LE(f.minimumSizeHint().height(), size.height()) << name;
    // The user makes it smaller, and as large again: the layout asks the chart for its room then.
    f.resize(size.width(), size.height() - 200);
    QApplication::processEvents();
    EXPECT_EQ(f.size(), QSize(size.width(), size.height() - 200)) << name << ": shrunk";
    f.resize(size);
    QApplication::processEvents();
    EXPECT_EQ(f.size(), size) << name << ": as before";
    EXPECT_LE(f.minimumSize().height(), size.height()) << name;
    // The first entries are there to read, inside the chart.
    f.Chart->replot();
    EXPECT_TRUE(EntryOnShow(*f.Chart, 0)) << name;
    EXPECT_TRUE(EntryOnShow(*f.Chart, 20)) << name;
    EXPECT_EQ(f.Chart->LineTitleShown(0), "通道01 1.500V") << name;
    windows_.reset();
  }
}

TEST_F(ManyChannelsTest, TheLegendScrollsToLaterChannelsWhoseBoxesHideTheirLines) {
  TMainForm& f = Start();
  const QSize size = f.size();
  f.OpenFromCommandLine(QString::fromStdString(WriteCsv(100)));
  ASSERT_EQ(f.Chart->LineCount(), 100u);
  QApplication::processEvents();
  f.Chart->replot();
  TrendChart& chart = *f.Chart;
  ASSERT_EQ(f.size(), size);
  ASSERT_FALSE(EntryOnShow(chart, 90)) << "not on show before the legend is scrolled";
  for (int notch = 0; notch < 100 && !EntryOnShow(chart, 90); ++notch) {
    Wheel(&chart, chart.legend->outerRect().center(), -1);
    chart.replot();
  }
  ASSERT_TRUE(EntryOnShow(chart, 90)) << "the wheel over the legend brings channel 91 into view";
  EXPECT_EQ(chart.LineTitleShown(90), "通道91 91.500V") << "the read-out of a later entry";
  Click(&chart, chart.LegendItem(90)->CheckBoxRect().center());
  EXPECT_FALSE(chart.LineVisible(90));
  EXPECT_TRUE(chart.LineVisible(0));
  EXPECT_TRUE(chart.LineVisible(89));
}

}  // namespace
}  // namespace vantiro
