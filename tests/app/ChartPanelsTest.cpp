// The chart page's additions in the window: the scale chosen in 视图 and remembered, the span
// panel between the two vertical cursors (its rows, copy and CSV), the limits typed for a channel
// (kept per file) with their bands and event list, the deadband and shortest duration that keep a
// chattering channel's list readable, and Save's CSV of the visible window.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
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
#include "support/WholeTexts.h"

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

// In the window at a laptop's 1366 x 768, with limits on a channel: the span panel and the event
// list show every caption and text whole, the span's as the cursors move.
TEST_F(ChartPanelsTest, ThePanelsInTheWindowShowEveryTextWholeAsTheCursorsMove) {
  TMainForm& f = StartWithHourFile();
  f.resize(1366, 768);
  f.SpanPanelMenuItem->trigger();
  f.AlarmListMenuItem->trigger();
  f.SetLineLimits(0, ChannelLimits{30.0, 15.0});
  QApplication::processEvents();
  const std::vector<std::string> nothingCut;
  for (const int seconds : {1, 60, 599, 1800, 3600}) {
    SCOPED_TRACE(seconds);
    f.Chart->SetCursorX(HourStart + 30 * S);
    f.Chart->SetCursorX2(HourStart + seconds * S);
    QApplication::processEvents();
    ASSERT_EQ(f.SpanView->Table()->rowCount(), 2);
    EXPECT_EQ(testing::CutTexts(*f.SpanView->Table()), nothingCut);
  }
  ASSERT_EQ(f.AlarmView->Table()->rowCount(), 2);
  EXPECT_EQ(testing::CutTexts(*f.AlarmView->Table()), nothingCut);
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
  // Above 30 from 14:36 (30.5) to the last sample; below 15 from 14:00 until 14:07 (16.0): back
  // past the limit by the default deadband, 1 % of the channel's range 0..100.0.
  ASSERT_EQ(f.AlarmView->Events().size(), 2u);
  const AlarmEvent below = f.AlarmView->Events()[0];
  const AlarmEvent above = f.AlarmView->Events()[1];
  EXPECT_FALSE(below.upper);
  EXPECT_DOUBLE_EQ(below.start, HourStart);
  EXPECT_NEAR(below.end, HourStart + 420 * S, 1e-9);
  EXPECT_TRUE(above.upper);
  EXPECT_NEAR(above.start, HourStart + 36 * 60 * S, 1e-9);
  EXPECT_EQ(above.extreme, 42.5);
  EXPECT_EQ(f.Chart->AlarmBands().size(), 2u);
  EXPECT_EQ(f.AlarmView->Table()->item(1, 1)->text(), QStringLiteral("上限 30.0"));  // as recorded: one decimal
  // The span panel counts the time beyond them, without a deadband (to 14:05).
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

// The refusals of the two event rules and what each field reads as.
TEST_F(ChartPanelsTest, TheLimitsDialogRefusesABadDeadbandOrDuration) {
  ChannelLimitsDialog dialog(nullptr, QStringLiteral("通道01"), AlarmLimits(ChannelLimits{80.0, 20.0}, 0.5, 30.0),
                             [](const ChannelLimits& l) { return l.upper && l.lower ? 0.01 * (*l.upper - *l.lower) : 0.0; });
  // Filled from the typed rules; the hint gives the default for the limits in the fields.
  EXPECT_EQ(dialog.DeadbandEdit()->text(), "0.5");
  EXPECT_EQ(dialog.MinDurationEdit()->text(), "30");
  EXPECT_EQ(dialog.DeadbandEdit()->placeholderText(), QStringLiteral("默认 0.6"));
  dialog.LowerEdit()->setText("60");
  EXPECT_EQ(dialog.DeadbandEdit()->placeholderText(), QStringLiteral("默认 0.2"));
  dialog.LowerBox()->setChecked(false);
  EXPECT_EQ(dialog.DeadbandEdit()->placeholderText(), QStringLiteral("默认 0"));
  dialog.LowerBox()->setChecked(true);
  dialog.LowerEdit()->setText("20");

  struct Case {
    const char* deadband;
    const char* minimum;
    const char* message;  // empty: accepted
    std::optional<double> readDeadband;
    double readMinimum;
  };
  const std::vector<Case> cases = {
      {"abc", "", "请输入有效的回差。", {}, 0},
      {"-1", "", "请输入有效的回差。", {}, 0},
      {"inf", "", "请输入有效的回差。", {}, 0},
      {"nan", "", "请输入有效的回差。", {}, 0},
      {"1e999", "", "请输入有效的回差。", {}, 0},
      {"0,5", "", "请输入有效的回差。", {}, 0},
      {"", "x", "请输入有效的最短持续时间。", {}, 0},
      {"", "-5", "请输入有效的最短持续时间。", {}, 0},
      {"", "1e999", "请输入有效的最短持续时间。", {}, 0},
      {"", "", "", std::nullopt, 0.0},  // the default deadband, no minimum
      {" 0.25 ", "  ", "", 0.25, 0.0},
      {"0", "0", "", 0.0, 0.0},
      {"-0", "90.5", "", 0.0, 90.5},
      {"200", "3600", "", 200.0, 3600.0},  // wider than the limits' distance: allowed
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.deadband) + " / " + c.minimum);
    prompts_.messages.clear();
    dialog.setResult(QDialog::Rejected);
    dialog.DeadbandEdit()->setText(QString::fromUtf8(c.deadband));
    dialog.MinDurationEdit()->setText(QString::fromUtf8(c.minimum));
    dialog.accept();
    if (*c.message) {
      ASSERT_EQ(prompts_.messages.size(), 1u);
      EXPECT_EQ(prompts_.messages[0].text, QString::fromUtf8(c.message));
      EXPECT_EQ(dialog.result(), QDialog::Rejected);
      continue;
    }
    EXPECT_TRUE(prompts_.messages.empty());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Limits().deadband, c.readDeadband);
    if (c.readDeadband) EXPECT_FALSE(std::signbit(*dialog.Limits().deadband));
    EXPECT_EQ(dialog.Limits().minSeconds, c.readMinimum);
    EXPECT_EQ(dialog.Limits().upper, 80.0);
  }
  // A refused rule commits nothing: the last accepted one stays.
  dialog.DeadbandEdit()->setText("x");
  dialog.accept();
  EXPECT_EQ(dialog.Limits().deadband, 200.0);
}

// An hour of a pressure held at its limit by a controller: the reading swings a step either side
// of 100.0 every second.
TEST_F(ChartPanelsTest, AChannelChatteringAtItsLimitListsOneEvent) {
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Channels(0, 0);
  file.Range(0, 2000, 0, 3, 19);  // 0..200.0
  std::vector<std::int16_t> chatter;
  for (int i = 0; i <= 3600; ++i) chatter.push_back(static_cast<std::int16_t>(i % 2 ? 1001 : 999));
  file.Block(0).Chain({{RecorderSeconds(2010, 5, 12, 14, 0, 0), 1, chatter}});
  path_ = dir_.Path() / "chatter.bin";
  file.WriteTo(path_);
  TMainForm& f = Start();
  f.OpenFromCommandLine(QString::fromStdString(path_.string()));
  ASSERT_TRUE(prompts_.messages.empty());
  f.AlarmListMenuItem->trigger();
  f.SpanPanelMenuItem->trigger();
  f.Chart->SetCursorX(HourStart);
  f.Chart->SetCursorX2(HourStart + 3600 * S);
  const auto total = [&] {
    double seconds = 0.0;
    for (const AlarmEvent& e : f.AlarmView->Events()) seconds += e.seconds;
    return seconds;
  };

  // The default deadband (2.0, 1 % of the range): one event from the first swing above to the end.
  f.SetLineLimits(0, ChannelLimits{100.0, std::nullopt});
  QApplication::processEvents();
  ASSERT_EQ(f.AlarmView->Events().size(), 1u);
  EXPECT_EQ(f.Chart->AlarmBands().size(), 1u);
  EXPECT_EQ(f.AlarmView->Caption(), QStringLiteral("报警事件  共1条"));
  EXPECT_DOUBLE_EQ(f.AlarmView->Events()[0].start, HourStart + S);
  EXPECT_NEAR(f.AlarmView->Events()[0].end, HourStart + 3600 * S, 1e-9);
  // The statistics still count the time actually above: every other second.
  EXPECT_DOUBLE_EQ(*f.SpanView->Rows()[0].secondsAbove, 1800.0);
  EXPECT_GE(total(), 1800.0);

  // Deadband 0: every swing, as without the rules; their durations add up to the statistics'.
  f.SetLineLimits(0, AlarmLimits(ChannelLimits{100.0, std::nullopt}, 0.0));
  EXPECT_EQ(f.AlarmView->Events().size(), 1800u);
  EXPECT_EQ(f.Chart->AlarmBands().size(), 1800u);
  EXPECT_DOUBLE_EQ(total(), 1800.0);
  // A shortest duration of 2 s leaves nothing to list or shade.
  f.SetLineLimits(0, AlarmLimits(ChannelLimits{100.0, std::nullopt}, 0.0, 2.0));
  EXPECT_TRUE(f.AlarmView->Events().empty());
  EXPECT_TRUE(f.Chart->AlarmBands().empty());
  QApplication::processEvents();
  EXPECT_DOUBLE_EQ(*f.SpanView->Rows()[0].secondsAbove, 1800.0);

  // Kept with the limits for the file.
  TMainForm& again = Start();
  again.OpenFromCommandLine(QString::fromStdString(path_.string()));
  EXPECT_EQ(again.LineLimits(0).deadband, 0.0);
  EXPECT_EQ(again.LineLimits(0).minSeconds, 2.0);
  EXPECT_TRUE(again.Chart->AlarmBands().empty());
  const AlarmLimitsByChannel kept = LoadAlarmLimits(FileLimitsKey(path_.string()));
  ASSERT_EQ(kept.count(1), 1u);
  EXPECT_EQ(kept.at(1).minSeconds, 2.0);
}

// The 报警限值 dialog from a legend entry: its hint shows the channel's default deadband, and what
// is typed there applies and is kept.
TEST_F(ChartPanelsTest, TheLimitsDialogOfALineTakesTheEventRules) {
  TMainForm& f = StartWithHourFile();
  f.AlarmListMenuItem->trigger();
  bool ran = false;
  QString hint;
  QTimer::singleShot(0, [&] {
    ran = true;
    auto* dialog = qobject_cast<ChannelLimitsDialog*>(QApplication::activeModalWidget());
    if (!dialog) {
      if (QWidget* other = QApplication::activeModalWidget()) other->close();
      return;
    }
    hint = dialog->DeadbandEdit()->placeholderText();
    dialog->UpperBox()->setChecked(true);
    dialog->UpperEdit()->setText("30");
    dialog->LowerBox()->setChecked(true);
    dialog->LowerEdit()->setText("15");
    dialog->DeadbandEdit()->setText("0");
    dialog->MinDurationEdit()->setText("600");
    dialog->accept();
  });
  f.EditLineLimits(0);
  ASSERT_TRUE(ran);
  EXPECT_EQ(hint, QStringLiteral("默认 1"));  // 1 % of 0..100.0
  EXPECT_EQ(f.LineLimits(0).deadband, 0.0);
  EXPECT_EQ(f.LineLimits(0).minSeconds, 600.0);
  // Below 15 for 5 minutes: too short; above 30 for 24 minutes: listed.
  ASSERT_EQ(f.AlarmView->Events().size(), 1u);
  EXPECT_TRUE(f.AlarmView->Events()[0].upper);
  EXPECT_DOUBLE_EQ(f.AlarmView->Events()[0].seconds, 24 * 60.0);
  EXPECT_EQ(LoadAlarmLimits(FileLimitsKey(path_.string())).at(1).minSeconds, 600.0);
  EXPECT_EQ(LoadLimits(FileLimitsKey(path_.string())).at(1).lower, 15.0);
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
