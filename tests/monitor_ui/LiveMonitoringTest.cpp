// Live monitoring in the main window against the simulated recorder on a pseudo-terminal, through
// the real serial layer. Ticks are driven by the test; each poll is awaited on the event loop.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <QAction>
#include <QToolBar>
#include <QApplication>
#include <QFrame>
#include <QHeaderView>
#include <QGroupBox>
#include <QLabel>
#include <QTabWidget>
#include <QTest>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <string_view>
#include <memory>

#include "chart/ui/ChartPanels.h"
#include "chart/ui/TrendChart.h"
#include "instrument/CommSettings.h"
#include "instrument/ModbusRtuImpl.h"
#include "instrument/TrafficLog.h"
#include "instrument/ui/LiveMonitor.h"
#include "instrument/ui/TrafficDialog.h"
#include "instrument/ui/OverviewPage.h"
#include "integration/SimulatedLine.h"
#include "recorder/UnitNames.h"
#include "support/ScriptedPrompts.h"
#include "app/AppWindows.h"
#include "workbench/ui/DataListModel.h"
#include "app/TMainForm.h"
#include "archive/Archive.h"
#include "app/Startup.h"
#include "support/RecorderFileBuilder.h"
#include "support/ScopedEnvironment.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::ChannelSection;
using testing::ScriptedPrompts;
using testing::SimulatedLine;

class LiveMonitoringTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_CONFIG_HOME", (dir_.Path() / "config").c_str(), 1); }
  void TearDown() override {
    windows_.reset();
    instrument_.reset();
    library_.reset();
  }

  // The main window with its monitor on an instrument over the port mapping of `ini`.
  TMainForm& Start(const std::string& ini) {
    library_ = std::make_unique<TermiosSerialLibrary>(ini);
    instrument_ = std::make_unique<ModbusRtuImpl>(*library_);
    windows_ = std::make_unique<AppWindows>();
    TMainForm& form = *windows_->mainForm;
    delete form.Monitor;
    form.Monitor = new LiveMonitor(*instrument_, &form);
    form.Monitor->SetIniPath(ini);
    return form;
  }

  // Run, and the wait for its probe's end: monitoring started, or a message said why not. The
  // probe runs on a worker; Run returns at once.
  static void Run(TMainForm& form, const ScriptedPrompts& prompts) {
    const std::size_t shown = prompts.messages.size();
    form.RunButtonClick();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return form.Timer->isActive() || prompts.messages.size() > shown; }, 20000))
        << "the probe did not end";
  }

  // One tick, waited for until its poll has ended and its reading is applied.
  static void Tick(TMainForm& form) {
    form.OnTimer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Monitor->PollRunning(); }, 20000))
        << "the poll did not end";
  }

  static QStringList Item(TMainForm& form, int item) {
    QStringList texts;
    auto* model = form.DataListViewModel;
    for (int c = 0; c < model->columnCount(); ++c) texts << model->index(item, c).data().toString();
    return texts;
  }
  static QStringList Captions(TMainForm& form) {
    QStringList captions;
    auto* model = form.DataListViewModel;
    for (int c = 0; c < model->columnCount(); ++c) {
      captions << model->headerData(c, Qt::Horizontal).toString();
    }
    return captions;
  }

  testing::TempDir dir_;
  std::unique_ptr<TermiosSerialLibrary> library_;
  std::unique_ptr<ModbusRtuImpl> instrument_;
  std::unique_ptr<AppWindows> windows_;
};

// The second recorder of a shared line: address 2.
sim::SimOptions SecondRecorder() {
  sim::SimOptions second;
  second.address = 2;
  return second;
}

// config.ini for two recorders on `line`: the first with channel 1 monitored, the second (address 2)
// with channel 2.
std::string WriteTwoRecorderConfig(SimulatedLine& line) {
  const std::string ini = line.WriteConfig(1, ChannelSection({1}));
  testing::WriteText(ini, testing::ReadText(ini) + testing::RecorderSection(2, 2, {2}));
  return ini;
}

QString Unit(int channel) {
  return QString::fromStdString(std::string(ChannelUnitName(channelConfig[channel - 1])));
}

TEST_F(LiveMonitoringTest, TheOverviewPageIsLaidOutAndHiddenAtStart) {
  OverviewPage page;
  EXPECT_EQ(page.ScrollContent->size(), QSize(1600, 1200));
  EXPECT_EQ(page.TotalInfo->geometry(), QRect(112, 24, 1033, 25));
  EXPECT_EQ(page.TotalInfo->text(), QStringLiteral("系统总貌"));
  EXPECT_TRUE(page.TotalInfo->isHidden());
  EXPECT_EQ(page.Panels[0]->geometry(), QRect(110, 68, 161, 203));
  EXPECT_EQ(page.Panels[3]->geometry(), QRect(639, 68, 161, 203));
  EXPECT_EQ(page.Panels[11]->geometry(), QRect(990, 284, 161, 203));
  EXPECT_EQ(page.Panels[15]->geometry(), QRect(638, 500, 161, 203));
  for (int p = 0; p < OverviewPage::kPanels; ++p) {
    EXPECT_TRUE(page.Panels[p]->isHidden());
    EXPECT_EQ(page.ChildText(p, 1), QStringLiteral("通道00"));
    for (int lamp = 0; lamp < 4; ++lamp) EXPECT_EQ(page.LampColour(p, lamp), QColor(0, 255, 0));
    for (int f = 10; f < 14; ++f) EXPECT_EQ(page.ChildText(p, f), QString());
  }
  // The limit fields in child order: high-high, low, high, low-low.
  EXPECT_EQ(page.PanelChild(0, 10)->geometry().top(), 101);
  EXPECT_EQ(page.PanelChild(0, 11)->geometry().top(), 149);
  EXPECT_EQ(page.PanelChild(0, 12)->geometry().top(), 125);
  EXPECT_EQ(page.PanelChild(0, 13)->geometry().top(), 173);
  EXPECT_EQ(page.ChildText(0, 6), QStringLiteral("上上限："));
  EXPECT_EQ(page.ChildText(0, 7), QStringLiteral("下    限："));
}

// The value label shows the value and all of its unit, for every unit of the recorder's table and
// the longest values a channel can have: where the label's own face would cut it ("1234.000 Nm3"
// for Nm3/h), the face is made smaller. A short text afterwards has the label's face again.
TEST_F(LiveMonitoringTest, EveryUnitWithALongValueFitsItsValueLabel) {
  OverviewPage page;
  auto* label = qobject_cast<QLabel*>(page.PanelChild(0, OverviewPage::kValueText));
  ASSERT_NE(label, nullptr);
  const QFont own = label->font();
  for (const std::string_view unit : UnitNames()) {
    for (const char* value : {"-32768.000", "1234.000", "86.500", "100.000", "0.000"}) {
      const QString text = QString::fromUtf8(value) + " " +
                           QString::fromUtf8(unit.data(), static_cast<int>(unit.size()));
      page.SetChildText(0, OverviewPage::kValueText, text);
      EXPECT_EQ(label->text(), text);
      EXPECT_LE(label->fontMetrics().horizontalAdvance(text), label->contentsRect().width())
          << text.toStdString() << " at " << label->font().pointSizeF() << " pt";
    }
  }
  page.SetChildText(0, OverviewPage::kValueText, QStringLiteral("1.000 ℃"));
  EXPECT_EQ(label->font(), own);
  EXPECT_EQ(label->geometry(), QRect(8, 56, 89, 13));
}

TEST_F(LiveMonitoringTest, TheSummaryLineShowsAddressParityAndClock) {
  CommSettings s{1, 9600, 1, 8, 1, 1};
  EXPECT_EQ(TotalInfoText(s, {24, 5, 6, 12, 30, 0}),
            QStringLiteral("系统总貌  仪表地址(0x01) 通讯参数(串口:1 波特率:9600 停止位:1 数据位:8 "
                           "奇校验)  仪表时间(2024-05-06 12:30:00)"));
  s.address = 200;
  s.parity = 2;
  EXPECT_TRUE(TotalInfoText(s, {24, 5, 6, 12, 30, 0}).contains(QStringLiteral("仪表地址(0xc8)")));
  EXPECT_TRUE(TotalInfoText(s, {24, 5, 6, 12, 30, 0}).contains(QStringLiteral("偶校验")));
  EXPECT_EQ(ParityText(0), QStringLiteral("无校验"));
  EXPECT_EQ(ParityText(7), QStringLiteral("偶校验"));
}

TEST_F(LiveMonitoringTest, TheLineCapIsShareOfOneMillionTwoHundredThousand) {
  EXPECT_EQ(LiveLineCap(16), 75000u);
  EXPECT_EQ(LiveLineCap(3), 400000u);
  EXPECT_EQ(LiveLineCap(1), 1200000u);
}

TEST_F(LiveMonitoringTest, RunShowsChannelsTwoFiveAndNine) {
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({2, 5, 9})));
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  EXPECT_TRUE(linkOpen);
  EXPECT_TRUE(form.liveMode);
  EXPECT_TRUE(form.Timer->isActive());
  form.Timer->stop();  // the test drives the ticks
  EXPECT_EQ(form.liveChannels, (std::vector<std::int16_t>{2, 5, 9}));
  EXPECT_TRUE(form.StopButton->isEnabled());
  EXPECT_FALSE(form.RunButton->isEnabled());
  EXPECT_FALSE(form.ComSettingButton->isEnabled());
  EXPECT_FALSE(form.OpenFileButton->isEnabled());
  EXPECT_FALSE(form.OEMDownLoad->isEnabled());
  EXPECT_FALSE(form.OpenArchiveButton->isEnabled());  // the archive waits while the view is live
  EXPECT_FALSE(form.ImportFilesToArchiveMenuItem->isEnabled());
  EXPECT_TRUE(form.PageControl->isTabVisible(form.PageControl->indexOf(form.SystemCaseTabSheet)));
  EXPECT_FALSE(form.Chart->ZoomAllowed());
  EXPECT_FALSE(form.Chart->ScrollAllowed());
  EXPECT_FALSE(form.Chart->VerticalCursorActive());
  EXPECT_FALSE(form.Chart->HorizontalCursorActive());
  EXPECT_FALSE(form.Overview->TotalInfo->isHidden());
  for (int p = 0; p < 16; ++p) EXPECT_EQ(form.Overview->Panels[p]->isHidden(), p >= 3) << p;
  EXPECT_EQ(Captions(form), (QStringList{QStringLiteral("序号"), QStringLiteral("时间"),
                                         QStringLiteral("通道2(") + Unit(2) + ")",
                                         QStringLiteral("通道5(") + Unit(5) + ")",
                                         QStringLiteral("通道9(") + Unit(9) + ")"}));
  ASSERT_EQ(form.Chart->LineCount(), 3u);
  EXPECT_EQ(form.Chart->Line(0).title, "通道02");
  EXPECT_EQ(form.Chart->Line(2).title, "通道09");
  EXPECT_EQ(form.Chart->Line(2).palettePosition, 2u);

  for (int tick = 0; tick < 3; ++tick) Tick(form);
  for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(form.Chart->Line(k).points.size(), 3u);
  // The automatic bottom axis follows the points.
  const ViewRanges view = form.Chart->Ranges();
  EXPECT_LE(view.x0, form.Chart->Line(0).minX + kOneMillisecond);
  EXPECT_GE(view.x1, form.Chart->Line(0).maxX - kOneMillisecond);
  EXPECT_TRUE(form.Overview->TotalInfo->text().startsWith(
      QStringLiteral("系统总貌  仪表地址(0x01) 通讯参数(串口:1 波特率:9600 停止位:1 数据位:8 "
                     "无校验)  仪表时间(20")));
  const int channels[3] = {2, 5, 9};
  for (int k = 0; k < 3; ++k) {
    const int n = channels[k];
    EXPECT_EQ(form.Overview->ChildText(k, 1), QString::asprintf("通道%02d", n));
    const QString value = QString::asprintf("%0.3f", static_cast<double>(liveValues[n - 1]));
    EXPECT_EQ(form.Overview->ChildText(k, 0), value + " " + Unit(n));
    EXPECT_EQ(form.Chart->LineTitleShown(k), QString::asprintf("通道%02d ", n) + value + Unit(n));
    EXPECT_EQ(form.Overview->ChildText(k, 10),
              QString::asprintf("%0.3f", static_cast<double>(channelConfig[n - 1].limitHH)));
    EXPECT_EQ(form.Overview->ChildText(k, 11),
              QString::asprintf("%0.3f", static_cast<double>(channelConfig[n - 1].limitL)));
    EXPECT_EQ(form.Overview->ChildText(k, 12),
              QString::asprintf("%0.3f", static_cast<double>(channelConfig[n - 1].limitH)));
    const bool hh = alarmHH[n - 1] != 0;
    EXPECT_EQ(form.Overview->LampColour(k, 0), hh ? QColor(255, 0, 0) : QColor(0, 255, 0));
  }
  EXPECT_TRUE(form.Chart->LegendTitle().startsWith(QStringLiteral("时间:20")));
  ASSERT_EQ(form.DataListViewModel->rowCount(), 1);
  const QStringList row = Item(form, 0);
  ASSERT_EQ(row.size(), 5);
  EXPECT_EQ(row[4], QString::asprintf("%0.3f", static_cast<double>(liveValues[8])).left(row[4].size()));
  EXPECT_EQ(form.tableRows.size(), 1u);
  EXPECT_EQ(form.channels.size(), 3u);

  form.StopButtonClick();
  EXPECT_FALSE(linkOpen);
  EXPECT_TRUE(form.RunButton->isEnabled());
  EXPECT_FALSE(form.StopButton->isEnabled());
  EXPECT_TRUE(form.OpenArchiveButton->isEnabled());
  EXPECT_TRUE(form.ImportFilesToArchiveMenuItem->isEnabled());
  EXPECT_TRUE(form.Chart->ScrollAllowed());
  EXPECT_TRUE(form.Overview->TotalInfo->isHidden());
  EXPECT_FALSE(form.PageControl->isTabVisible(form.PageControl->indexOf(form.SystemCaseTabSheet)));
  // The last readings stay on show.
  EXPECT_EQ(form.Chart->Line(0).points.size(), 3u);
  EXPECT_EQ(form.DataListViewModel->rowCount(), 1);
  EXPECT_TRUE(form.liveMode);
}

// The live columns of the data list are as wide as their captions need, the unit whole
// ("通道3(mmH2O)" was cut at 80 pixels); never narrower than 80.
TEST_F(LiveMonitoringTest, AFileAndMonitorOnTheCommandLineOpenTheFileThenMonitorAlone) {
  // A recording of channels 1 and 3; monitoring of channels 2, 5 and 9.
  testing::RecorderFileBuilder file;
  file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Channels(0, 2);
  const std::int32_t t = testing::RecorderSeconds(2010, 5, 12, 14, 30, 0);
  file.Block(0).Chain({{t, 1, {1, 2, 3}}});
  file.Block(2).Chain({{t, 1, {4, 5, 6}}});
  const std::string recording = (dir_.Path() / "rec.bin").string();
  file.WriteTo(recording);
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({2, 5, 9})));
  StartupOptions options;
  options.file = QString::fromStdString(recording);
  options.monitor = true;
  StartFromCommandLine(*windows_, options);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Timer->isActive() || !prompts.messages.empty(); }, 20000));
  ASSERT_TRUE(prompts.messages.empty());
  form.Timer->stop();
  Tick(form);
  // Only the live lines and columns: the file's view was cleared by Run, as after any load.
  ASSERT_EQ(form.Chart->LineCount(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    EXPECT_TRUE(form.Chart->LineTitleShown(k).startsWith(QStringLiteral("通道%1").arg(std::vector<int>{2, 5, 9}[k], 2, 10,
                                                                                   QLatin1Char('0'))))
        << form.Chart->LineTitleShown(k).toStdString();
  }
  EXPECT_EQ(form.channels.size(), 3u);
  EXPECT_EQ(Captions(form).size(), 5);
  EXPECT_FALSE(form.Chart->ZoomAllowed());
  EXPECT_FALSE(form.Chart->ScrollAllowed());
  EXPECT_TRUE(form.liveMode);
}

TEST_F(LiveMonitoringTest, TheLiveColumnsFitTheirCaptions) {
  const char* const longUnits[16] = {"Kgf/cm2", "kNm3/h", "m3/min", "Kg/min", "Kgf/m2", "mmH2O",
                                     "％LEL",   "ppmO2",  "ppmH2",  "％/m3",  "mm/s",   "cm/s",
                                     "m/min",   "km3/h",  "Nm3/h",  "L/min"};
  sim::ChannelTable table = sim::DefaultChannels();
  for (int k = 0; k < 16; ++k) {
    const auto& names = UnitNames();
    const auto found = std::find(names.begin(), names.end(), std::string_view(longUnits[k]));
    ASSERT_NE(found, names.end()) << longUnits[k];
    table[k].unitCode = static_cast<std::int16_t>(found - names.begin());
  }
  SimulatedLine line({}, table);
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({}), 1));
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  form.Timer->stop();
  QHeaderView* header = form.DataListView->horizontalHeader();
  ASSERT_EQ(form.DataListViewModel->columnCount(), 18);
  for (int c = 2; c < 18; ++c) {
    const QString caption = form.DataListViewModel->headerData(c, Qt::Horizontal).toString();
    SCOPED_TRACE(caption.toStdString());
    EXPECT_TRUE(caption.endsWith(QString::fromUtf8(longUnits[c - 2]) + ")"));
    EXPECT_GE(header->sectionSize(c), 80);
    EXPECT_GE(header->sectionSize(c), header->sectionSizeHint(c));
    EXPECT_GT(header->sectionSize(c), header->fontMetrics().horizontalAdvance(caption));
  }
  form.StopButtonClick();
}

TEST_F(LiveMonitoringTest, StopAndRunAgainWithOtherChannels) {
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({1, 16}), 1));
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  form.Timer->stop();
  Tick(form);
  EXPECT_TRUE(form.Overview->TotalInfo->text().contains(QStringLiteral("奇校验")));
  form.OnTimer();  // a poll left running when Stop comes
  form.StopButtonClick();
  EXPECT_FALSE(form.Monitor->PollRunning());
  EXPECT_FALSE(linkOpen);

  line.WriteConfig(1, ChannelSection({3, 4, 7, 8}), 1);
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  form.Timer->stop();
  EXPECT_EQ(form.liveChannels, (std::vector<std::int16_t>{3, 4, 7, 8}));
  ASSERT_EQ(form.Chart->LineCount(), 4u);
  EXPECT_EQ(form.Chart->Line(3).title, "通道08");
  EXPECT_EQ(form.DataListViewModel->columnCount(), 6);
  Tick(form);
  Tick(form);
  EXPECT_EQ(form.Chart->Line(0).points.size(), 2u);
  for (int p = 0; p < 16; ++p) EXPECT_EQ(form.Overview->Panels[p]->isHidden(), p >= 4) << p;
  form.StopButtonClick();
}

// The recorder goes quiet: once its last reading is older than two poll intervals the summary line
// says 通讯中断 with the time of that reading, each panel is greyed with its reading's age, and each
// chart line breaks after its last point; a reading that arrives again brings the panels back and
// the line goes on after the break.
TEST_F(LiveMonitoringTest, AQuietRecorderShowsTheLinkLostAndAReadingBringsItBack) {
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({2, 5}), 1));
  Run(form, prompts);
  ASSERT_TRUE(form.liveMode);
  form.Timer->stop();  // the test drives the ticks
  for (int tick = 0; tick < 2; ++tick) Tick(form);
  ASSERT_EQ(form.Chart->Line(0).points.size(), 2u);
  const DateTime lastTime = form.Chart->Line(0).points.back().x;
  const LiveReading kept = SnapshotReading();
  EXPECT_FALSE(form.LinkLost());

  line.Simulator().Stop();  // no more replies
  form.OnTimer();           // within two intervals: nothing said yet
  EXPECT_FALSE(form.LinkLost());
  EXPECT_FALSE(form.Overview->PanelStale(0));
  QTest::qWait(2300);
  form.OnTimer();
  ASSERT_TRUE(form.LinkLost());
  EXPECT_TRUE(form.Overview->TotalInfo->text().startsWith(QStringLiteral("通讯中断  最后数据(20")))
      << form.Overview->TotalInfo->text().toStdString();
  for (int k = 0; k < 2; ++k) {
    EXPECT_TRUE(form.Overview->PanelStale(k)) << k;
    EXPECT_TRUE(form.Overview->ChildText(k, 1).endsWith(QStringLiteral("秒前"))) << form.Overview->ChildText(k, 1).toStdString();
    const ChartLine& drawn = form.Chart->Line(static_cast<std::size_t>(k));
    ASSERT_EQ(drawn.points.size(), 3u);
    EXPECT_TRUE(drawn.IsGap(2));
    EXPECT_NEAR(drawn.points[2].x, lastTime + kOneSecond, kOneMillisecond);
  }
  // Later ticks age the panels but break the lines only once.
  QTest::qWait(1100);
  form.OnTimer();
  EXPECT_EQ(form.Chart->Line(0).points.size(), 3u);

  // A reading again (as a poll that is answered hands it over): the panels come back.
  LiveReading again = kept;
  again.time = lastTime + 5 * kOneSecond;
  form.ApplyLiveReading(again);
  EXPECT_FALSE(form.LinkLost());
  EXPECT_FALSE(form.Overview->PanelStale(0));
  EXPECT_EQ(form.Overview->ChildText(0, 1), QStringLiteral("通道02"));
  EXPECT_TRUE(form.Overview->TotalInfo->text().startsWith(QStringLiteral("系统总貌")));
  ASSERT_EQ(form.Chart->Line(0).points.size(), 4u);
  EXPECT_FALSE(form.Chart->Line(0).IsGap(3));
  form.StopButtonClick();
  EXPECT_FALSE(form.Overview->PanelStale(0));
}

// 实时监控 → 通讯记录 opens the traffic window beside the monitoring, with the probe's and the
// polls' exchanges in it.
TEST_F(LiveMonitoringTest, TheTrafficWindowShowsTheLinesExchanges) {
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({2}), 1));
  InstrumentTraffic().Clear();
  Run(form, prompts);
  ASSERT_TRUE(form.liveMode);
  form.Timer->stop();
  Tick(form);
  form.TrafficMenuItem->trigger();
  auto* window = form.findChild<TrafficDialog*>();
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->isModal());
  window->Refresh();
  const QString text = window->Text->toPlainText();
  EXPECT_TRUE(text.contains(QStringLiteral("→ 01 ")));
  EXPECT_TRUE(text.contains(QStringLiteral("(应答)")));
  form.StopButtonClick();
  form.TrafficMenuItem->trigger();  // the same window again
  EXPECT_EQ(form.findChildren<TrafficDialog*>().size(), 1);
}

// The commands Run disables, and Stop.
struct CommandStates {
  std::vector<bool> enabled;
  friend bool operator==(const CommandStates&, const CommandStates&) = default;
};
std::vector<QAction*> HeldCommands(TMainForm& form) {
  return {form.ComSettingButton, form.ComSettingMenuItem, form.RunButton,       form.RunMenuItem,
          form.OpenFileButton,   form.OpenFileMenuItem,   form.DataFilterButton, form.ImportDataMenuItem,
          form.OEMDownLoad,      form.OpenArchiveButton,  form.OpenArchiveMenuItem,
          form.ImportFilesToArchiveMenuItem, form.ImportFolderToArchiveMenuItem};
}
CommandStates States(TMainForm& form) {
  CommandStates states;
  for (QAction* action : HeldCommands(form)) states.enabled.push_back(action->isEnabled());
  for (QAction* action : {form.StopButton, form.StopMenuItem, form.SaveFileButton, form.PrintButton,
                          form.FirstPageButton, form.NextPageButton}) {
    states.enabled.push_back(action->isEnabled());
  }
  return states;
}

// While the probe at Run runs (replies 0.15 s late, three channels), the window takes input: Run
// has returned, the commands Run would disable are disabled and Stop is enabled. A click on a held
// command does nothing, then or later; a click on another one (help) acts at once, and only once.
// When the probe has answered, monitoring starts as it always did.
TEST_F(LiveMonitoringTest, DuringTheProbeTheWindowTakesInputWithTheCommandsHeld) {
  SimulatedLine line(testing::SimOptionsWith([](sim::SimOptions& o) { o.delayMs = 150; }));
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({1, 2, 3}), 1));
  form.RunButtonClick();
  EXPECT_FALSE(form.liveMode) << "Run returned only after the probe";
  EXPECT_FALSE(form.Timer->isActive());
  for (QAction* action : HeldCommands(form)) {
    EXPECT_FALSE(action->isEnabled()) << action->objectName().toStdString();
  }
  EXPECT_TRUE(form.StopButton->isEnabled());
  EXPECT_TRUE(form.StopMenuItem->isEnabled());

  QTest::mouseClick(form.ToolBar->widgetForAction(form.OpenFileButton), Qt::LeftButton);
  form.OpenFileMenuItem->trigger();
  QTest::mouseClick(form.ToolBar->widgetForAction(form.HelpButton), Qt::LeftButton);
  EXPECT_EQ(prompts.documents.size(), 1u);  // help, at once

  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Timer->isActive(); }, 20000));
  form.Timer->stop();
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_TRUE(prompts.openFilters.empty()) << "the open dialog came";
  EXPECT_EQ(prompts.documents.size(), 1u);
  EXPECT_TRUE(form.liveMode);
  EXPECT_TRUE(linkOpen);
  EXPECT_EQ(form.liveChannels, (std::vector<std::int16_t>{1, 2, 3}));
  EXPECT_FALSE(form.RunButton->isEnabled());
  EXPECT_FALSE(form.OpenFileButton->isEnabled());
  EXPECT_TRUE(form.StopButton->isEnabled());
  Tick(form);
  EXPECT_EQ(form.Chart->Line(0).points.size(), 1u);
  form.StopButtonClick();
}

// Stop during the probe (a slow recorder: replies 1 s late, sixteen channels, over half a minute
// of probe) ends it within moments: the exchange is aborted, the port closed and free for another
// program, no message, and the window is as it was before Run, commands and all. Run again then
// works (on a recorder that answers at once).
TEST_F(LiveMonitoringTest, StopDuringTheProbeEndsItAndLeavesTheWindowAsBeforeRun) {
  SimulatedLine slow(testing::SimOptionsWith([](sim::SimOptions& o) { o.delayMs = 1000; }));
  ASSERT_TRUE(slow.Started());
  ScriptedPrompts prompts;
  const std::string ini = slow.WriteConfig(1, ChannelSection({}), 1);
  TMainForm& form = Start(ini);
  form.DataTableMenuItemClick();
  const CommandStates before = States(form);

  bool clickedDuringTheProbe = false;
  QTimer::singleShot(300, &form, [&] {
    clickedDuringTheProbe = form.StopButton->isEnabled() && !form.liveMode;
    QTest::mouseClick(form.ToolBar->widgetForAction(form.StopButton), Qt::LeftButton);
  });
  form.RunButtonClick();
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return clickedDuringTheProbe && !form.StopButton->isEnabled(); }, 10000))
      << "Stop did not end the probe";
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_FALSE(form.liveMode);
  EXPECT_FALSE(form.Timer->isActive());
  EXPECT_FALSE(linkOpen);
  EXPECT_EQ(States(form), before);
  EXPECT_FALSE(form.PageControl->isTabVisible(form.PageControl->indexOf(form.SystemCaseTabSheet)));
  {
    TermiosSerialLibrary otherProgram(ini);
    EXPECT_EQ(otherProgram.Open(1), kSerialOk) << "the port is still held";
    otherProgram.Close(1);
  }
  // Nothing of the stopped probe turns up later.
  QTest::qWait(200);
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_FALSE(form.Timer->isActive());

  SimulatedLine prompt;
  ASSERT_TRUE(prompt.Started());
  testing::WriteText(ini, testing::ComSection(1, 1) + ChannelSection({2}) + "[DEVICE]\nCOM1=" +
                              prompt.DevicePath() + "\n");
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  form.Timer->stop();
  EXPECT_EQ(form.liveChannels, (std::vector<std::int16_t>{2}));
  Tick(form);
  EXPECT_EQ(form.Chart->Line(0).points.size(), 1u);
  form.StopButtonClick();
  EXPECT_FALSE(linkOpen);
}

// A modal window opened during the probe (the About box) runs its own loop: the probe's answer
// waits until it is closed, so that nothing under the window changes while it is up; then Run goes
// on.
TEST_F(LiveMonitoringTest, TheProbesAnswerWaitsForAModalWindowToClose) {
  SimulatedLine line(testing::SimOptionsWith([](sim::SimOptions& o) { o.delayMs = 100; }));
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({1}), 1));
  bool answeredWhileOpen = true;
  bool checked = false;
  QTimer::singleShot(0, &form, [&] {
    QTimer::singleShot(0, &form, [&] {
      // The probe's three replies, and time for its answer to arrive.
      const bool replied = QTest::qWaitFor([&] { return line.Simulator().RepliesSent() >= 3; }, 20000);
      QTest::qWait(300);
      answeredWhileOpen = !replied || form.liveMode;
      checked = true;
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
    form.AboutButtonClick();
  });
  form.RunButtonClick();
  ASSERT_TRUE(QTest::qWaitFor([&] { return checked; }, 30000));
  EXPECT_FALSE(answeredWhileOpen);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Timer->isActive(); }, 20000));
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(form.liveChannels, (std::vector<std::int16_t>{1}));
  form.StopButtonClick();
}

TEST_F(LiveMonitoringTest, TheAddressInTheSummaryLineIsHex) {
  SimulatedLine line(testing::SimOptionsWith([](sim::SimOptions& o) { o.address = 200; }));
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(200, ChannelSection({1})));
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  form.Timer->stop();
  Tick(form);
  EXPECT_TRUE(form.Overview->TotalInfo->text().contains(QStringLiteral("仪表地址(0xc8)")));
  form.StopButtonClick();
}

TEST_F(LiveMonitoringTest, NoChannelEnabledGivesARowWithATimeOnly) {
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  std::string channels = "[CHANNEL]\n";
  for (int n = 1; n <= 16; ++n) channels += QString::asprintf("CH%02d=0\n", n).toStdString();
  TMainForm& form = Start(line.WriteConfig(1, channels));
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  form.Timer->stop();
  Tick(form);
  EXPECT_TRUE(form.liveChannels.empty());
  for (int p = 0; p < 16; ++p) EXPECT_TRUE(form.Overview->Panels[p]->isHidden());
  EXPECT_TRUE(form.Overview->TotalInfo->text().contains(QStringLiteral("仪表时间(20")));
  ASSERT_EQ(form.DataListViewModel->rowCount(), 1);
  EXPECT_EQ(Item(form, 0).size(), 2);
  form.StopButtonClick();
}

// A recorder that does not answer at Run is waited for: no message box, the loss said on the
// overview and beside the page tabs, the link retried; Stop leaves the window as before Run.
TEST_F(LiveMonitoringTest, ASilentRecorderAtRunIsWaitedForUntilStop) {
  SimulatedLine line(testing::SimOptionsWith([](sim::SimOptions& o) { o.silent = true; }));
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(7, ChannelSection({1})));
  bool loopRan = false;
  QTimer::singleShot(0, [&loopRan] { loopRan = true; });
  Run(form, prompts);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Reconnecting(); }, 20000));
  EXPECT_TRUE(loopRan);  // the event loop kept running during the probe
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(form.Overview->TotalInfo->text(), QStringLiteral("通讯中断  下位机无响应，下位机地址:7"));
  const auto* status = form.findChild<QLabel*>(QStringLiteral("LinkStatus"));
  ASSERT_NE(status, nullptr);
  EXPECT_FALSE(status->isHidden());
  EXPECT_TRUE(status->text().startsWith(QStringLiteral("通讯中断("))) << status->text().toStdString();
  EXPECT_TRUE(form.StopButton->isEnabled());
  EXPECT_FALSE(form.RunButton->isEnabled());
  EXPECT_FALSE(form.OpenFileButton->isEnabled());
  EXPECT_FALSE(form.liveMode);

  form.StopButtonClick();
  EXPECT_FALSE(form.Reconnecting());
  EXPECT_TRUE(status->isHidden());
  EXPECT_FALSE(linkOpen);
  EXPECT_FALSE(form.Timer->isActive());
  EXPECT_TRUE(form.RunButton->isEnabled());
  EXPECT_TRUE(form.OpenFileButton->isEnabled());
  EXPECT_FALSE(form.StopButton->isEnabled());
  EXPECT_FALSE(form.liveMode);
  // No retry comes after Stop.
  QTest::qWait(1500);
  EXPECT_FALSE(form.Monitor->ProbeRunning());
  EXPECT_FALSE(linkOpen);
}

// A port that is not there at Run (the recorder and its adapter boot after the PC): the reason is
// on show, and when the device appears monitoring starts by itself.
TEST_F(LiveMonitoringTest, ARecorderThatAppearsAfterRunIsMonitored) {
  ScriptedPrompts prompts;
  const std::string device = (dir_.Path() / "ttyRECORDER").string();
  const std::string ini = (dir_.Path() / "config.ini").string();
  testing::WriteText(ini, testing::ComSection(1) + ChannelSection({2}) + "[DEVICE]\nCOM1=" + device + "\n");
  TMainForm& form = Start(ini);
  form.RunButtonClick();
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_TRUE(form.Reconnecting());
  EXPECT_TRUE(form.Overview->TotalInfo->text().startsWith(QStringLiteral("通讯中断  串口初始化失败! ")));
  EXPECT_TRUE(form.Overview->TotalInfo->text().contains(QStringLiteral("ttyRECORDER")));
  QTest::qWait(1200);  // a retry or two find nothing
  EXPECT_FALSE(form.liveMode);

  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  fs::create_symlink(line.DevicePath(), device);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.liveMode && !form.Reconnecting(); }, 15000))
      << form.Overview->TotalInfo->text().toStdString();
  EXPECT_EQ(form.liveChannels, std::vector<std::int16_t>{2});
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Overview->TotalInfo->text().contains(QStringLiteral("仪表时间(20")); },
                              5000));
  form.StopButtonClick();
  EXPECT_TRUE(form.RunButton->isEnabled());
}

// The recorder stops answering for half a minute and comes back: the link is shown lost, found
// again by itself, and the archive holds the session with one hole where the silence was and no
// reading twice.
TEST_F(LiveMonitoringTest, ARecorderSilentForHalfAMinuteIsFoundAgainWithAHoleInTheArchive) {
  const std::string archive = (dir_.Path() / "archive.sqlite").string();
  std::optional<testing::ScopedEnvironment> userArchive(std::in_place, "VANTIRO_ARCHIVE", archive);
  SimulatedLine line(testing::SimOptionsWith([](sim::SimOptions& o) {
    o.muteFrom = 4.0;
    o.muteFor = 30.0;
  }));
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({1, 2})));
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Reconnecting(); }, 15000));
  EXPECT_TRUE(form.LinkLost());
  EXPECT_TRUE(form.Overview->TotalInfo->text().startsWith(QStringLiteral("通讯中断  最后数据(")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Reconnecting() && !form.LinkLost(); }, 60000))
      << "the recorder was not found again";
  QTest::qWait(2500);  // a few readings after the silence
  form.StopButtonClick();
  form.SettleLiveArchive();
  userArchive.reset();

  std::string error;
  std::unique_ptr<Archive> kept = Archive::Open(archive, false, error);
  ASSERT_TRUE(kept) << error;
  const auto recorder = kept->FindRecorder("COM1 地址1", error);
  ASSERT_TRUE(recorder) << error;
  DatasetSummary summary;
  std::vector<ChannelInfo> channels;
  ASSERT_TRUE(kept->ReadPeriod(recorder->id, INT64_MIN / 4, INT64_MAX / 4, {}, true, summary, channels, error));
  ASSERT_EQ(channels.size(), 2u);
  const ChannelInfo& c = channels[1];
  std::vector<std::size_t> gaps;
  for (std::size_t i = 0; i < c.values.size(); ++i) {
    if (IsGapValue(c.values[i])) gaps.push_back(i);
    if (i > 0) {
      ASSERT_LT(ToArchiveMs(c.times[i - 1]), ToArchiveMs(c.times[i])) << "a reading twice at " << i;
    }
  }
  ASSERT_EQ(gaps.size(), 1u);
  ASSERT_GT(gaps[0], 0u);
  ASSERT_LT(gaps[0] + 1, c.values.size());
  const std::int64_t silence = ToArchiveMs(c.times[gaps[0] + 1]) - ToArchiveMs(c.times[gaps[0] - 1]);
  EXPECT_GE(silence, 28000);
  EXPECT_LE(silence, 50000);
  const auto problems = kept->Check(error);
  ASSERT_TRUE(problems);
  EXPECT_TRUE(problems->empty());
}

// The simulator's terminal goes away (its process ends) and a new one appears under the same
// name: found again, readings resume.
TEST_F(LiveMonitoringTest, ATerminalThatGoesAndComesBackUnderItsNameIsFoundAgain) {
  const std::string device = (dir_.Path() / "ttyUSB-by-id").string();
  const std::string ini = (dir_.Path() / "config.ini").string();
  testing::WriteText(ini, testing::ComSection(1) + ChannelSection({3}) + "[DEVICE]\nCOM1=" + device + "\n");
  auto first = std::make_unique<SimulatedLine>();
  ASSERT_TRUE(first->Started());
  fs::create_symlink(first->DevicePath(), device);
  ScriptedPrompts prompts;
  TMainForm& form = Start(ini);
  Run(form, prompts);
  ASSERT_TRUE(form.liveMode);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Overview->TotalInfo->text().contains(QStringLiteral("仪表时间(20")); },
                              5000));
  first.reset();
  fs::remove(device);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Reconnecting(); }, 15000));
  QTest::qWait(1500);
  SimulatedLine second;
  ASSERT_TRUE(second.Started());
  fs::create_symlink(second.DevicePath(), device);
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Reconnecting() && !form.LinkLost(); }, 30000))
      << form.findChild<QLabel*>(QStringLiteral("LinkStatus"))->text().toStdString();
  EXPECT_GT(second.Simulator().RepliesSent(), 0);
  form.StopButtonClick();
}

// A recorder behind a gateway: monitored through it, the window never waiting for it; when the
// gateway goes away the link is retried, and a gateway back on the same port is found again.
TEST_F(LiveMonitoringTest, AGatewayThatGoesAwayAndComesBackIsFoundAgain) {
  for (const bool modbusTcp : {false, true}) {
    SCOPED_TRACE(modbusTcp ? "Modbus TCP" : "RTU over TCP");
    auto options = testing::SimOptionsWith([&](sim::SimOptions& o) {
      o.tcpPort = 0;
      o.modbusTcp = modbusTcp;
    });
    auto first = std::make_unique<SimulatedLine>(options);
    ASSERT_TRUE(first->Started());
    const std::string url = first->DevicePath();
    const std::string ini = (dir_.Path() / "config.ini").string();
    testing::WriteText(ini, testing::ComSection(1) + ChannelSection({5}) + "[DEVICE]\nCOM1=" + url + "\n");
    ScriptedPrompts prompts;
    TMainForm& form = Start(ini);
    Run(form, prompts);
    ASSERT_TRUE(form.liveMode);
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.Overview->TotalInfo->text().contains(QStringLiteral("仪表时间(20")); },
                                5000));
    first.reset();  // the gateway goes away
    bool loopRan = false;
    QTimer::singleShot(50, [&loopRan] { loopRan = true; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return form.Reconnecting(); }, 15000));
    EXPECT_TRUE(loopRan);
    options.tcpPort = std::stoi(url.substr(url.rfind(':') + 1));
    SimulatedLine second(options);
    ASSERT_TRUE(second.Started());
    ASSERT_EQ(second.DevicePath(), url);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Reconnecting() && !form.LinkLost(); }, 30000));
    form.StopButtonClick();
    TearDown();  // the next kind gets a window and a link of its own
  }
}

// Three recorders on one line: the first, a second that answers and a third that is silent. The
// silent one shows its loss in its group and does not keep the others from a reading each second;
// the answering one has its group, its chart lines and its own recorder in the archive.
TEST_F(LiveMonitoringTest, RecordersSharingALineArePolledEachSecondWhileOneIsSilent) {
  const std::string archive = (dir_.Path() / "archive.sqlite").string();
  std::optional<testing::ScopedEnvironment> userArchive(std::in_place, "VANTIRO_ARCHIVE", archive);
  sim::SimOptions first;
  sim::SimOptions second;
  second.address = 2;
  sim::SimOptions third;
  third.address = 3;
  third.silent = true;
  SimulatedLine line({{first, sim::DefaultChannels()}, {second, sim::DefaultChannels()}, {third, sim::DefaultChannels()}});
  ASSERT_TRUE(line.Started());
  const std::string ini = line.WriteConfig(1, ChannelSection({1, 2}));
  testing::WriteText(ini, testing::ReadText(ini) +
                              testing::RecorderSection(2, 2, {3, 4}, "二号炉") + testing::RecorderSection(3, 3));
  ScriptedPrompts prompts;
  TMainForm& form = Start(ini);
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  ASSERT_TRUE(form.liveMode);
  ASSERT_EQ(form.Overview->StationCount(), 2);
  EXPECT_EQ(form.Overview->StationGroup(0)->title(), QStringLiteral("二号炉"));
  EXPECT_EQ(form.Overview->StationGroup(1)->title(), QStringLiteral("COM1 地址3"));
  EXPECT_EQ(form.Chart->LineCount(), 2u + 2u + 16u);
  EXPECT_EQ(form.Chart->Line(2).title, "二号炉 通道03");

  // Readings of the first for five seconds: one each second, the silent one notwithstanding.
  const std::size_t before = form.Chart->Line(0).points.size();
  QTest::qWait(5200);
  const std::size_t readings = form.Chart->Line(0).points.size() - before;
  EXPECT_GE(readings, 4u);
  EXPECT_FALSE(form.Reconnecting());
  EXPECT_TRUE(form.Overview->StationState(0).startsWith(QStringLiteral("仪表时间(20")));
  // Channel 3 of the simulated recorder is in %; the first recorder does not monitor it.
  EXPECT_TRUE(form.Overview->StationValue(0, 0).endsWith(QStringLiteral(" %"))) << form.Overview->StationValue(0, 0).toStdString();
  EXPECT_TRUE(form.Overview->StationState(1).startsWith(QStringLiteral("通讯中断"))) << form.Overview->StationState(1).toStdString();
  EXPECT_GE(form.Chart->Line(2).points.size(), 4u);
  EXPECT_TRUE(form.Chart->Line(4).points.empty());
  form.StopButtonClick();
  form.SettleLiveArchive();
  userArchive.reset();

  std::string error;
  std::unique_ptr<Archive> kept = Archive::Open(archive, false, error);
  ASSERT_TRUE(kept) << error;
  const auto recorders = kept->Recorders(error);
  ASSERT_TRUE(recorders);
  std::vector<std::string> names;
  for (const RecorderInfo& r : *recorders) names.push_back(r.name);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"COM1 地址1", "二号炉"}));
  const auto channels = kept->Channels(kept->FindRecorder("二号炉", error)->id, error);
  ASSERT_TRUE(channels);
  ASSERT_EQ(channels->size(), 2u);
  EXPECT_EQ((*channels)[0].number, 3);
}

// The first recorder of a shared line falls silent for a while: its link is shown lost and
// retried, and the second goes on being read each second meanwhile; then the first is back.
TEST_F(LiveMonitoringTest, TheOthersGoOnWhileTheFirstRecorderIsRetried) {
  sim::SimOptions first;
  first.muteFrom = 3.0;
  first.muteFor = 9.0;
  SimulatedLine line({{first, sim::DefaultChannels()}, {SecondRecorder(), sim::DefaultChannels()}});
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(WriteTwoRecorderConfig(line));
  Run(form, prompts);
  ASSERT_TRUE(form.liveMode);
  ASSERT_EQ(form.Chart->LineCount(), 2u);
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.Reconnecting(); }, 15000));
  const auto readings = [&](std::size_t line) { return form.Chart->Line(line).points.size() - form.Chart->Line(line).gaps.size(); };
  const std::size_t firstBefore = readings(0);
  const std::size_t secondBefore = form.Chart->Line(1).points.size();
  QTest::qWait(3000);
  EXPECT_TRUE(form.Reconnecting());
  EXPECT_EQ(readings(0), firstBefore);  // nothing from the first
  EXPECT_GE(form.Chart->Line(1).points.size(), secondBefore + 2);  // the second goes on
  EXPECT_TRUE(form.Overview->StationState(0).startsWith(QStringLiteral("仪表时间(20")));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Reconnecting() && !form.LinkLost(); }, 30000));
  form.StopButtonClick();
}

// At Run the first recorder is silent but a further one answers: monitoring starts with the first
// shown lost and retried, and the further one read each second.
TEST_F(LiveMonitoringTest, ASilentFirstRecorderDoesNotKeepTheOthersFromRun) {
  sim::SimOptions first;
  first.silent = true;
  SimulatedLine line({{first, sim::DefaultChannels()}, {SecondRecorder(), sim::DefaultChannels()}});
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(WriteTwoRecorderConfig(line));
  Run(form, prompts);
  EXPECT_TRUE(prompts.messages.empty());
  ASSERT_TRUE(QTest::qWaitFor([&] { return form.liveMode; }, 10000));
  EXPECT_TRUE(form.Reconnecting());
  EXPECT_TRUE(form.LinkLost());
  QTest::qWait(3000);
  EXPECT_GE(form.Chart->Line(1).points.size(), 2u);
  EXPECT_TRUE(form.Overview->StationState(0).startsWith(QStringLiteral("仪表时间(20")));
  form.StopButtonClick();
  EXPECT_TRUE(form.RunButton->isEnabled());
  EXPECT_FALSE(form.Reconnecting());
}

TEST_F(LiveMonitoringTest, ATickDuringARunningPollIsSkippedAndTheWindowKeepsRunning) {
  // Every reply comes half a second late: a poll is still running when the next tick comes.
  SimulatedLine line(testing::SimOptionsWith([](sim::SimOptions& o) { o.delayMs = 500; }));
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({4})));
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  form.Timer->stop();
  form.OnTimer();
  ASSERT_TRUE(form.Monitor->PollRunning());
  form.OnTimer();  // skipped
  bool loopRan = false;
  QTimer::singleShot(0, [&loopRan] { loopRan = true; });
  ASSERT_TRUE(QTest::qWaitFor([&] { return loopRan; }, 20000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !form.Monitor->PollRunning(); }, 20000));
  QApplication::processEvents();
  EXPECT_EQ(form.Chart->Line(0).points.size(), 1u);
  EXPECT_EQ(form.DataListViewModel->rowCount(), 1);

  // Stop during a poll ends it and closes the port; its reading is never applied.
  form.OnTimer();
  ASSERT_TRUE(form.Monitor->PollRunning());
  form.StopButtonClick();
  EXPECT_FALSE(form.Monitor->PollRunning());
  EXPECT_FALSE(linkOpen);
  QApplication::processEvents();
  EXPECT_EQ(form.Chart->Line(0).points.size(), 1u);
}

TEST_F(LiveMonitoringTest, AValueExactlyAtTheHighLimitKeepsTheHighLampGreen) {
  // Channel 1 held at the middle of its motion, 50.0, which is also its high limit.
  sim::ChannelTable table = sim::DefaultChannels();
  table[0] = sim::ChannelSetup{3, 19, 500, 500, 100, 500};
  SimulatedLine line(testing::SimOptionsWith([](sim::SimOptions& o) { o.freezeSeconds = 0.0; }),
                     table);
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({1})));
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  form.Timer->stop();
  Tick(form);
  EXPECT_EQ(form.Overview->ChildText(0, OverviewPage::kValueText), "50.000 " + Unit(1));
  EXPECT_EQ(form.Overview->ChildText(0, OverviewPage::kLimitH), QStringLiteral("50.000"));
  EXPECT_EQ(form.Overview->ChildText(0, OverviewPage::kLimitHH), QStringLiteral("50.000"));
  EXPECT_EQ(form.Overview->LampColour(0, 0), QColor(0, 255, 0));  // high-high
  EXPECT_EQ(form.Overview->LampColour(0, 1), QColor(0, 255, 0));  // high
  form.StopButtonClick();
}

// The span panel measures the session while monitoring and follows each reading; the recorder's
// own high and low limits count the time beyond them and give the alarm bands.
TEST_F(LiveMonitoringTest, TheSpanPanelFollowsEachReadingWithTheRecordersLimits) {
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({2, 5, 9})));
  if (!form.SpanPanelMenuItem->isChecked()) form.SpanPanelMenuItem->trigger();
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  form.Timer->stop();
  for (int tick = 1; tick <= 3; ++tick) {
    Tick(form);
    QApplication::processEvents();
    const std::vector<SpanStatistics>& rows = form.SpanView->Rows();
    ASSERT_EQ(rows.size(), 3u) << tick;
    const int channels[3] = {2, 5, 9};
    for (std::size_t k = 0; k < 3; ++k) {
      const ChartLine& drawn = form.Chart->Line(k);
      EXPECT_EQ(rows[k].number, channels[k]);
      EXPECT_EQ(QString::fromStdString(rows[k].unit), Unit(channels[k]));
      ASSERT_TRUE(rows[k].atEnd) << tick;
      EXPECT_FLOAT_EQ(static_cast<float>(*rows[k].atEnd), static_cast<float>(drawn.points.back().y));
      // The value holding at the session's start: the last reading of its first second (the test
      // ticks faster than the recorder's clock).
      std::size_t first = 0;
      while (first + 1 < drawn.points.size() && drawn.points[first + 1].x == drawn.points.front().x) ++first;
      EXPECT_FLOAT_EQ(static_cast<float>(*rows[k].atStart), static_cast<float>(drawn.points[first].y));
      const ChannelConfig& config = channelConfig[static_cast<std::size_t>(channels[k] - 1)];
      if (config.limitH > config.limitL) {
        EXPECT_EQ(form.LineLimits(k).upper, static_cast<double>(config.limitH));
        EXPECT_TRUE(rows[k].secondsAbove.has_value());
      }
    }
    EXPECT_TRUE(form.SpanView->Caption().contains(QStringLiteral("本次监控")));
  }
  form.StopButtonClick();
}

// A line past its cap is not emptied: its older part becomes an overview (columns with their
// lowest and highest as a band), the newest half stays exact, and the whole session stays on the
// chart however long it runs.
TEST_F(LiveMonitoringTest, ALineOverItsCapKeepsTheWholeSessionAsAnOverview) {
  SimulatedLine line;
  ASSERT_TRUE(line.Started());
  ScriptedPrompts prompts;
  TMainForm& form = Start(line.WriteConfig(1, ChannelSection({})));
  Run(form, prompts);
  ASSERT_TRUE(prompts.messages.empty());
  form.Timer->stop();
  ASSERT_EQ(form.Chart->LineCount(), 16u);
  constexpr std::size_t kCap = 75000;
  // Line 0 one point short of the cap after the next tick: a day of readings, one with a spike.
  for (std::size_t i = 0; i < kCap - 1; ++i) {
    form.Chart->AppendPoint(0, 45000.0 + static_cast<double>(i) * kOneSecond, i == 1000 ? 99.0 : 1.0, false);
  }
  Tick(form);
  EXPECT_EQ(form.Chart->Line(0).points.size(), kCap);
  Tick(form);
  const ChartLine& compact = form.Chart->Line(0);
  EXPECT_LE(compact.points.size(), kCap / 2 + kCap / 4);
  EXPECT_GE(compact.points.size(), kCap / 2);
  EXPECT_EQ(compact.minX, 45000.0);  // the session's start still on the chart
  EXPECT_TRUE(compact.HasBand());
  EXPECT_EQ(*std::max_element(compact.bandHigh.begin(), compact.bandHigh.end()), 99.0f);  // the spike kept
  const std::size_t size = compact.points.size();
  Tick(form);
  EXPECT_EQ(form.Chart->Line(0).points.size(), size + 1);  // the next reading goes on the line
  EXPECT_EQ(form.Chart->Line(1).points.size(), 3u);
  form.StopButtonClick();
}

}  // namespace
}  // namespace vantiro
