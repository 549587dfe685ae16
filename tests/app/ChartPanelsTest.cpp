// The chart page's additions in the window: the scale chosen in 视图 and remembered, the span
// panel between the two vertical cursors (its rows, copy and CSV), the limits typed for a channel
// (kept per file) with their bands and event list, and Save's CSV of the visible window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QTableWidget>
#include <QTest>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "app/AppWindows.h"
#include "app/TMainForm.h"
#include "chart/ChannelLimitsStore.h"
#include "chart/ChartScales.h"
#include "chart/SpanStatistics.h"
#include "chart/ui/ChartPanels.h"
#include "chart/ui/TrendChart.h"
#include "output/WindowExport.h"
#include "recorder/GbkText.h"
#include "recorder/RecorderFile.h"
#include "support/RecorderFileBuilder.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::RecorderFileBuilder;
using testing::RecorderSeconds;
using testing::ScriptedPrompts;

const double S = kOneSecond;
const DateTime HourStart = *EncodeDateTime(2010, 5, 12, 14, 0, 0);

std::string ReadBytes(const fs::path& path) { return testing::ReadText(path.string()); }

class ChartPanelsTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_CONFIG_HOME", (dir_.Path() / "config").c_str(), 1); }
  void TearDown() override { windows_.reset(); }

  TMainForm& Start() {
    windows_.reset();
    windows_ = std::make_unique<AppWindows>();
    TMainForm& f = *windows_->mainForm;
    f.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&f));
    f.ChartMenuItem->trigger();
    return f;
  }

  // 14:00 to 15:00: channel 1 (℃) a sample a minute from 12.5 rising by 0.5; channel 2 (%) from
  // 0 to 60 a minute, then falling back.
  fs::path WriteHourFile() {
    RecorderFileBuilder file;
    file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Channels(0, 1);
    file.Range(0, 1000, 0, 3, 19).Range(1, 100, 0, 4, 20);
    const std::int32_t t = RecorderSeconds(2010, 5, 12, 14, 0, 0);
    std::vector<std::int16_t> one, two;
    for (int i = 0; i <= 60; ++i) {
      one.push_back(static_cast<std::int16_t>(125 + 5 * i));
      two.push_back(static_cast<std::int16_t>(i <= 30 ? 2 * i : 120 - 2 * i));
    }
    file.Block(0).Chain({{t, 60, one}});
    file.Block(1).Chain({{t, 60, two}});
    const fs::path path = dir_.Path() / "hour.bin";
    file.WriteTo(path);
    return path;
  }

  TMainForm& StartWithHourFile() {
    TMainForm& f = Start();
    path_ = WriteHourFile();
    f.OpenFromCommandLine(QString::fromStdString(path_.string()));
    f.Chart->replot();
    EXPECT_TRUE(prompts_.messages.empty());
    return f;
  }

  ScriptedPrompts prompts_;
  testing::TempDir dir_;
  fs::path path_;
  std::unique_ptr<AppWindows> windows_;
};

TEST_F(ChartPanelsTest, TheSpanPanelMeasuresBetweenTheCursorsAndCopiesAndExports) {
  TMainForm& f = StartWithHourFile();
  EXPECT_FALSE(f.SpanView->isVisible());
  f.SpanPanelMenuItem->trigger();
  ASSERT_TRUE(f.SpanView->isVisible());
  f.Chart->SetCursorX(HourStart + 600 * S);
  f.Chart->SetCursorX2(HourStart + 1200 * S);
  QApplication::processEvents();

  // The rows are the statistics of the exact samples, with each channel's recorded decimals.
  std::vector<SpanStatistics> expected;
  const std::vector<RecorderChannelRange> ranges = ReadRecorderChannelRanges(path_.string());
  for (std::size_t c = 0; c < 2; ++c) {
    expected.push_back(ComputeSpanStatistics(f.channels[c], HourStart + 600 * S, HourStart + 1200 * S));
    expected.back().decimals = ranges[c].decimals;
  }
  EXPECT_EQ(f.SpanView->Text().toStdString(), SpanStatisticsTable(expected));
  ASSERT_EQ(f.SpanView->Table()->rowCount(), 2);
  EXPECT_EQ(f.SpanView->Table()->item(0, 0)->text(), "通道01");
  EXPECT_EQ(*expected[0].atStart, 17.5);
  EXPECT_EQ(*expected[0].atEnd, 22.5);
  EXPECT_TRUE(f.SpanView->Caption().contains(QStringLiteral("00:10:00")));

  // Dragging a cursor brings the panel up to date; a hidden line leaves it.
  f.Chart->SetCursorX2(HourStart + 1800 * S);
  QApplication::processEvents();
  EXPECT_EQ(f.SpanView->Rows()[0].atEnd, 27.5);
  f.Chart->SetLineVisible(1, false);
  f.Chart->SetCursorX2(HourStart + 1860 * S);
  QApplication::processEvents();
  EXPECT_EQ(f.SpanView->Table()->rowCount(), 1);

  // Copied as the table text; exported as CSV in GBK.
  f.SpanView->CopyButton()->click();
  EXPECT_EQ(QApplication::clipboard()->text(), f.SpanView->Text());
  const fs::path csv = dir_.Path() / "span.csv";
  prompts_.saveFiles.push_back(QString::fromStdString(csv.string()));
  f.SpanView->ExportButton()->click();
  EXPECT_EQ(ReadBytes(csv), Utf8ToGbk(SpanStatisticsCsv(f.SpanView->Rows())));
  EXPECT_EQ(GbkToUtf8(ReadBytes(csv)).substr(0, 6), "通道");
}

TEST_F(ChartPanelsTest, ScaleAndPanelsAreRememberedForTheNextStart) {
  TMainForm& f = StartWithHourFile();
  EXPECT_TRUE(f.ScaleSingleMenuItem->isChecked());
  f.ScaleRangeMenuItem->trigger();
  EXPECT_EQ(f.Chart->Scale(), ChartScale::Range);
  // Each channel against its recorded range (0..100.0 for both), not the span of its values
  // (12.5..42.5 for channel 1).
  EXPECT_DOUBLE_EQ(f.Chart->SharedValue(0, 12.5), 12.5);
  EXPECT_DOUBLE_EQ(f.Chart->SharedValue(1, 50.0), 50.0);
  const ViewRanges view = f.Chart->Ranges();
  EXPECT_EQ(view.y0, kPercentAxisMin);
  EXPECT_EQ(view.y1, kPercentAxisMax);
  f.ScaleUnitMenuItem->trigger();
  f.SpanPanelMenuItem->trigger();
  f.AlarmListMenuItem->trigger();

  TMainForm& again = Start();
  EXPECT_TRUE(again.ScaleUnitMenuItem->isChecked());
  EXPECT_EQ(again.Chart->Scale(), ChartScale::Unit);
  EXPECT_TRUE(again.SpanView->isVisible());
  EXPECT_TRUE(again.AlarmView->isVisible());
  again.OpenFromCommandLine(QString::fromStdString(path_.string()));
  again.Chart->replot();
  EXPECT_EQ(again.Chart->ScaleAxes().size(), 2u);  // ℃ and %
  again.ScaleSingleMenuItem->trigger();
  EXPECT_EQ(again.Chart->Ranges().y0, -10.0);  // the recording's range with 10 to spare
}

TEST_F(ChartPanelsTest, TypedLimitsShadeBandsListEventsAndAreKeptForTheFile) {
  TMainForm& f = StartWithHourFile();
  f.AlarmListMenuItem->trigger();
  f.SetLineLimits(0, ChannelLimits{30.0, 15.0});
  // Above 30 from 14:36 (30.5) to the last sample; below 15 from 14:00 to 14:05 (15.0).
  ASSERT_EQ(f.AlarmView->Events().size(), 2u);
  const AlarmEvent below = f.AlarmView->Events()[0];
  const AlarmEvent above = f.AlarmView->Events()[1];
  EXPECT_FALSE(below.upper);
  EXPECT_DOUBLE_EQ(below.start, HourStart);
  EXPECT_NEAR(below.end, HourStart + 300 * S, 1e-9);
  EXPECT_TRUE(above.upper);
  EXPECT_NEAR(above.start, HourStart + 36 * 60 * S, 1e-9);
  EXPECT_EQ(above.extreme, 42.5);
  EXPECT_EQ(f.Chart->AlarmBands().size(), 2u);
  EXPECT_EQ(f.AlarmView->Table()->item(1, 1)->text(), QStringLiteral("上限 30.0"));  // as recorded: one decimal
  // The span panel counts the time beyond them.
  f.SpanPanelMenuItem->trigger();
  f.Chart->SetCursorX(HourStart);
  f.Chart->SetCursorX2(HourStart + 3600 * S);
  QApplication::processEvents();
  EXPECT_DOUBLE_EQ(*f.SpanView->Rows()[0].secondsAbove, 24 * 60.0);
  EXPECT_DOUBLE_EQ(*f.SpanView->Rows()[0].secondsBelow, 5 * 60.0);

  // A click on an event puts the cursors on its start and end.
  emit f.AlarmView->Table()->cellClicked(1, 0);
  EXPECT_EQ(f.Chart->Cursors().x, above.start);
  EXPECT_EQ(f.Chart->Cursors().x2, above.end);

  // Kept for this file: there again after a restart and a new load.
  TMainForm& again = Start();
  again.OpenFromCommandLine(QString::fromStdString(path_.string()));
  EXPECT_EQ(again.LineLimits(0).upper, 30.0);
  EXPECT_EQ(again.Chart->AlarmBands().size(), 2u);
  // Cleared, they go.
  again.SetLineLimits(0, {});
  EXPECT_TRUE(again.Chart->AlarmBands().empty());
  EXPECT_TRUE(LoadLimits(FileLimitsKey(path_.string())).empty());
}

// Limits that cannot be kept (the configuration folder cannot be made) still apply to the view,
// and the user is told they were not saved.
TEST_F(ChartPanelsTest, LimitsThatCannotBeSavedApplyAndSaySo) {
  TMainForm& f = StartWithHourFile();
  const fs::path blocker = dir_.Path() / "not-a-folder";
  testing::WriteText(blocker.string(), "x");
  setenv("XDG_CONFIG_HOME", blocker.c_str(), 1);
  f.SetLineLimits(0, ChannelLimits{30.0, std::nullopt});
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_TRUE(prompts_.messages[0].text.startsWith(QStringLiteral("报警限值未能保存")));
  EXPECT_EQ(prompts_.messages[0].icon, MessageIcon::Warning);
  EXPECT_EQ(f.LineLimits(0).upper, 30.0);
  EXPECT_FALSE(f.Chart->AlarmBands().empty());
}

TEST_F(ChartPanelsTest, TheLimitsDialogRefusesWhatIsNotALimit) {
  ChannelLimitsDialog dialog(nullptr, QStringLiteral("通道01"), ChannelLimits{80.0, std::nullopt});
  EXPECT_TRUE(dialog.UpperBox()->isChecked());
  EXPECT_FALSE(dialog.LowerBox()->isChecked());
  EXPECT_EQ(dialog.UpperEdit()->text(), "80");
  struct Case {
    const char* upper;
    const char* lower;
    const char* message;
  };
  for (const Case& c : {Case{"abc", "", "请输入有效的上限。"}, Case{"80", "x", "请输入有效的下限。"},
                        Case{"10", "20", "上限必须大于下限。"}, Case{"inf", "", "请输入有效的上限。"}}) {
    prompts_.messages.clear();
    dialog.LowerBox()->setChecked(std::string(c.lower).size() > 0);
    dialog.UpperEdit()->setText(QString::fromUtf8(c.upper));
    dialog.LowerEdit()->setText(QString::fromUtf8(c.lower));
    dialog.accept();
    ASSERT_EQ(prompts_.messages.size(), 1u) << c.upper;
    EXPECT_EQ(prompts_.messages[0].text, QString::fromUtf8(c.message));
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
  }
  dialog.LowerBox()->setChecked(true);
  dialog.UpperEdit()->setText("90.5");
  dialog.LowerEdit()->setText("-3");
  dialog.accept();
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.Limits().upper, 90.5);
  EXPECT_EQ(dialog.Limits().lower, -3.0);
}

TEST_F(ChartPanelsTest, SaveOnTheChartPageWritesTheVisibleWindowOrTheSpanAsCsv) {
  TMainForm& f = StartWithHourFile();
  f.Chart->SetBottomAxis(HourStart + 600 * S, HourStart + 900 * S);
  f.Chart->SetLineVisible(1, false);
  const fs::path visible = dir_.Path() / "visible.csv";
  prompts_.saveFiles.push_back(QString::fromStdString(visible.string()));
  f.SaveFileButtonClick();
  ASSERT_TRUE(prompts_.messages.empty());
  // The filter's export of channel 1 over that window.
  const fs::path filtered = dir_.Path() / "filtered.csv";
  std::array<bool, 16> one{};
  one[0] = true;
  ASSERT_FALSE(ExportWindowCsv(filtered.string(), f.channels, one, HourStart + 600 * S, HourStart + 900 * S));
  EXPECT_EQ(ReadBytes(visible), ReadBytes(filtered));
  const std::string rows = ReadBytes(visible);
  EXPECT_EQ(std::count(rows.begin(), rows.end(), '\n'), 1 + 6);  // 14:10 .. 14:15

  // With the span panel on, between the cursors instead.
  f.SpanPanelMenuItem->trigger();
  f.Chart->SetCursorX(HourStart + 840 * S);
  f.Chart->SetCursorX2(HourStart + 720 * S);  // either order
  const fs::path span = dir_.Path() / "span.csv";
  prompts_.saveFiles.push_back(QString::fromStdString(span.string()));
  f.SaveFileButtonClick();
  ASSERT_FALSE(ExportWindowCsv(filtered.string(), f.channels, one, HourStart + 720 * S, HourStart + 840 * S));
  EXPECT_EQ(ReadBytes(span), ReadBytes(filtered));
  EXPECT_TRUE(prompts_.saveDialogs.back().filter.contains(QStringLiteral("游标之间数据")));
  // A picture still goes where a picture's name is given.
  const fs::path picture = dir_.Path() / "chart.bmp";
  prompts_.saveFiles.push_back(QString::fromStdString(picture.string()));
  f.SaveFileButtonClick();
  EXPECT_EQ(ReadBytes(picture).substr(0, 2), "BM");
}

}  // namespace
}  // namespace vantiro
