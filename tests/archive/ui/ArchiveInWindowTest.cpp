// The archive in the main window: files dropped on it go into the archive; a period opens exact as a
// dataset or, above the limit, in overview (a chart of each column's lowest and highest value, the
// table a page at a time, the read-out from the archive, zooming in to the exact samples and back);
// a server that goes away while an overview is open.
#include <gtest/gtest.h>

#include <QAction>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <atomic>
#include <filesystem>
#include <iterator>
#include <thread>
#include <tuple>

#include "app/AppWindows.h"
#include "app/ArchiveCommands.h"
#include "support/ScopedEnvironment.h"
#include "app/Startup.h"
#include "app/TMainForm.h"
#include "archive/ArchiveTestSupport.h"
#include "archive/ui/SettleArchive.h"
#include "chart/ui/TrendChart.h"
#include "chart/ui/ChartPanels.h"
#include "view/ViewData.h"
#include "support/RecorderFileBuilder.h"
#include "support/ScriptedPrompts.h"
#include "workbench/ui/DataListModel.h"

namespace vantiro {
namespace {

using namespace vantiro::testing;

// One channel of `count` samples a second from 2010-05-12 00:00:00, all 100 but one spike of 5000 at `spike`.
std::string WriteSpikeRecording(const std::string& path, int count, int spike) {
  std::int32_t start = 0;
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 0, 0, 0}, {10, 5, 13, 0, 0, 0}).Channels(0, 0).Range(0, 30000, 0, 4, 27);
  // The header's window is the day of 2010-05-12.
  start = RecorderSeconds(2010, 5, 12, 0, 0, 0);
  std::vector<std::int16_t> samples(static_cast<std::size_t>(count), 100);
  samples[static_cast<std::size_t>(spike)] = 5000;
  // A block holds some 8,000 samples: one record of 5,000 a block.
  for (int at = 0; at < count; at += 5000) {
    const int n = std::min(5000, count - at);
    file.Block(0).Chain({{start + at, 1, std::vector<std::int16_t>(samples.begin() + at, samples.begin() + at + n)}});
  }
  file.WriteTo(path);
  return path;
}

// The highest value a line draws: its points', or an overview's band's.
double LineMax(const ChartLine& line) {
  double high = -1e300;
  for (std::size_t i = 0; i < line.points.size(); ++i) {
    if (line.IsGap(i)) continue;
    high = std::max(high, line.HasBand() ? static_cast<double>(line.bandHigh[i]) : line.points[i].y);
  }
  return high;
}

class ArchiveInWindowTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
    location_ = NewArchiveLocation(GetParam(), dir_);
    ASSERT_FALSE(location_.empty());
    windows_ = std::make_unique<AppWindows>();
  }
  TMainForm& Form() { return *windows_->mainForm; }
  ArchiveCommands& Commands() { return Form().ArchiveView(); }

  // The recorder's whole period, opened as the browser would hand it.
  void OpenAll(const std::string& recorder, std::vector<int> channels = {}) {
    ArchivePeriodChoice choice;
    choice.location = location_;
    choice.recorder = recorder;
    choice.fromMs = INT64_MIN / 4;
    choice.toMs = INT64_MAX / 4;
    choice.channels = std::move(channels);
    Commands().OpenPeriod(choice);
    ASSERT_TRUE(Settle(Commands()));
  }

  TempDir dir_;
  std::string location_;
  ScriptedPrompts prompts_;
  std::unique_ptr<AppWindows> windows_;
};

TEST_P(ArchiveInWindowTest, DroppedFilesGoIntoTheArchiveAndASmallPeriodOpensExact) {
  std::filesystem::create_directories(dir_.File("kiln"));
  WriteRecording(dir_.File("kiln/a.bin"), kMay13, 600, 3);
  WriteRecording(dir_.File("kiln/b.bin"), kMay13 + 7200, 600, 3);
  std::optional<testing::ScopedEnvironment> userArchive(std::in_place, "VANTIRO_ARCHIVE", location_);
  QString proposed;
  Commands().SetAskRecorder([&](const QStringList&, const QString& name) -> std::optional<QString> {
    proposed = name;
    return QStringLiteral("kiln");
  });
  Commands().ImportDropped({QString::fromStdString(dir_.File("kiln"))});
  userArchive.reset();
  EXPECT_EQ(proposed, "kiln");  // the folder's name
  ASSERT_FALSE(prompts_.messages.empty());
  EXPECT_TRUE(prompts_.messages.back().text.contains("2")) << prompts_.messages.back().text.toStdString();

  auto archive = OpenArchive(location_);
  const Period whole = ReadWhole(*archive, "kiln");
  ASSERT_EQ(whole.channels.size(), 3u);

  prompts_.messages.clear();
  OpenAll("kiln");
  EXPECT_TRUE(prompts_.messages.empty()) << prompts_.messages.front().text.toStdString();
  EXPECT_FALSE(Commands().OverviewShown());
  EXPECT_TRUE(Form().windowTitle().contains("档案 kiln")) << Form().windowTitle().toStdString();
  // The dataset the archive holds, the hole between the files a break: as a file's load shows it.
  ExpectSameChannels(Form().channels, whole.channels);
  EXPECT_EQ(Form().Chart->LineCount(), 3u);
  EXPECT_EQ(Form().tableRows.size(), BuildTableView(whole.channels, kDefaultRowsPerPage).rows.size());
  EXPECT_TRUE(Form().DataFilterButton->isEnabled());

  // A file opened next is a file again, the title naming it.
  Form().OpenFromCommandLine(QString::fromStdString(dir_.File("kiln/a.bin")));
  EXPECT_FALSE(Commands().OverviewShown());
  EXPECT_EQ(Form().windowTitle(), "a.bin - Vantiro");
}

TEST_P(ArchiveInWindowTest, ALongPeriodOpensInOverviewWithEverySpikeAndZoomsIntoTheExactSamples) {
  {
    auto archive = OpenArchive(location_);
    SourceRecording recording = Load(WriteSpikeRecording(dir_.File("s.bin"), 20000, 17777));
    ASSERT_EQ(archive->Import("kiln", recording).outcome, ImportResult::Outcome::Imported);
  }
  // Above the limit whole; a window of ten minutes (within two chunks of the archive's) below it.
  Commands().SetExactLimit(9000);
  OpenAll("kiln");
  ASSERT_TRUE(Commands().OverviewShown()) << Form().windowTitle().toStdString() << Form().channels.size() << (prompts_.messages.empty() ? std::string()
                                                                        : prompts_.messages.back().text.toStdString());
  EXPECT_TRUE(Form().windowTitle().contains("概览")) << Form().windowTitle().toStdString();
  EXPECT_TRUE(Form().DataFilterButton->isEnabled());  // the filter opens a window of it exact
  ASSERT_EQ(Form().Chart->LineCount(), 1u);
  // The one-sample spike is drawn, whatever the width.
  EXPECT_DOUBLE_EQ(LineMax(Form().Chart->Line(0)), 5000.0);
  EXPECT_TRUE(Form().Chart->Line(0).HasBand());
  EXPECT_LE(Form().Chart->Line(0).points.size(), static_cast<std::size_t>(kEnvelopeColumns) + 2);
  // The cursor at the start, its read-out from the archive.
  EXPECT_EQ(Form().Chart->LegendTitle().section(QLatin1Char('\n'), 0, 0).toStdString(), "垂直游标X: 2010-05-12 00:00:00");
  EXPECT_TRUE(Form().Chart->LineTitleShown(0).startsWith("通道01 100.000")) << Form().Chart->LineTitleShown(0).toStdString();

  // The table: a page of rows read, numbered in the period; the next page goes on from there.
  const std::uint32_t perPage = kDefaultRowsPerPage;
  ASSERT_EQ(Form().DataListViewModel->rowCount(), static_cast<int>(perPage));
  EXPECT_EQ(Form().DataListViewModel->index(0, 0).data().toString(), "1");
  EXPECT_EQ(Form().DataListViewModel->index(0, 1).data().toString(), "2010-05-12 00:00:00");
  EXPECT_EQ(Form().DataListViewModel->index(0, 2).data().toString(), "100.000");
  Form().DataTableMenuItemClick();
  ASSERT_TRUE(Form().NextPageButton->isEnabled());
  Form().NextPageButtonClick();
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_EQ(Form().DataListViewModel->index(0, 0).data().toString(), QString::number(perPage + 1));
  EXPECT_EQ(Form().DataListViewModel->index(0, 1).data().toString(), "2010-05-12 00:08:20");
  Form().EndPageButtonClick();
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_EQ(Form().DataListViewModel->index(Form().DataListViewModel->rowCount() - 1, 1).data().toString(),
            "2010-05-12 05:33:19");
  EXPECT_FALSE(Form().NextPageButton->isEnabled());

  // The read-out: the exact sample at the cursor, read from the archive.
  Form().ChartMenuItemClick();
  Form().Chart->SetCursorX(Form().summary.startTime + 17777.0 / 86400.0);
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_TRUE(Form().Chart->LineTitleShown(0).startsWith("通道01 5000.000"))
      << Form().Chart->LineTitleShown(0).toStdString();
  Form().Chart->SetCursorX(Form().summary.startTime + 17778.0 / 86400.0);
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_TRUE(Form().Chart->LineTitleShown(0).startsWith("通道01 100.000"))
      << Form().Chart->LineTitleShown(0).toStdString();

  // Zoomed to ten minutes: that window's exact samples; the undo goes back to the overview.
  const DateTime start = Form().summary.startTime;
  Form().Chart->SetBottomAxis(start + 15000.0 / 86400.0, start + 15600.0 / 86400.0);
  Form().ChartZoom();
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_TRUE(Commands().ExactWindowOfOverview());
  EXPECT_TRUE(Form().windowTitle().contains("精确数据")) << Form().windowTitle().toStdString();
  ASSERT_EQ(Form().channels.size(), 1u);
  EXPECT_GE(Form().channels[0].times.size(), 600u);
  EXPECT_LE(Form().channels[0].times.size(), 602u);
  // The cursor at the window's start, read from its samples.
  EXPECT_TRUE(Form().Chart->LineTitleShown(0).startsWith("通道01 100.000")) << Form().Chart->LineTitleShown(0).toStdString();
  EXPECT_TRUE(Form().DataFilterButton->isEnabled());
  Form().ChartUndoZoom();
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_TRUE(Commands().OverviewShown());
  EXPECT_DOUBLE_EQ(LineMax(Form().Chart->Line(0)), 5000.0);

  // The filter on the overview: a window too long for the limit is refused with a message and the
  // overview stays; ten minutes of channel 1 open exact.
  FilterSettings settings;
  settings.channelSelected[0] = true;
  settings.filterStart = start;
  settings.filterEnd = start + 19000.0 / 86400.0;
  prompts_.messages.clear();
  Commands().FilterOverview(settings);
  ASSERT_TRUE(Settle(Commands()));
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_TRUE(prompts_.messages[0].text.contains("请缩小时间范围")) << prompts_.messages[0].text.toStdString();
  EXPECT_TRUE(Commands().OverviewShown());
  settings.filterStart = start + 17000.0 / 86400.0;
  settings.filterEnd = start + 17600.0 / 86400.0;
  Commands().FilterOverview(settings);
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_TRUE(Commands().ExactWindowOfOverview());
  ASSERT_EQ(Form().channels.size(), 1u);
  EXPECT_EQ(Form().channels[0].times.size(), 601u);
  EXPECT_EQ(Form().tableRows.size(), 601u);
  Form().ChartUndoZoom();
  ASSERT_TRUE(Settle(Commands()));
  ASSERT_TRUE(Commands().OverviewShown());

  // A scroll in the overview draws the window on show from the archive again.
  Form().Chart->SetBottomAxis(start, start + 18000.0 / 86400.0);
  Form().OnChartScroll();
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_TRUE(Commands().OverviewShown());
  EXPECT_DOUBLE_EQ(LineMax(Form().Chart->Line(0)), 5000.0);
  EXPECT_LE(Form().Chart->Line(0).maxX, start + 18001.0 / 86400.0);
}

TEST_P(ArchiveInWindowTest, AnOverviewsLegendAndSpanPanelGiveTheExactSamplesFigures) {
  {
    auto archive = OpenArchive(location_);
    SourceRecording recording = Load(WriteSpikeRecording(dir_.File("s.bin"), 20000, 17777));
    ASSERT_EQ(archive->Import("kiln", recording).outcome, ImportResult::Outcome::Imported);
  }
  // What the same span gives from the samples in memory.
  auto archive = OpenArchive(location_);
  const Period whole = ReadWhole(*archive, "kiln");
  const DateTime start = whole.channels[0].times.front();
  const DateTime from = start + 100.5 / 86400.0, to = start + 19000.0 / 86400.0;
  std::string error;
  const auto recorded = archive->Channels(RecorderId(*archive, "kiln"), error);
  ASSERT_TRUE(recorded && recorded->size() == 1u) << error;
  DatasetViewData exact(whole.channels, {0}, -INFINITY, INFINITY, {{1, recorded->front().decimals}});
  std::vector<SpanStatistics> expected;
  ASSERT_TRUE(exact.Statistics(from, to, {}, expected, error));
  ASSERT_EQ(expected.size(), 1u);
  ASSERT_EQ(expected[0].max, 5000.0f);

  Commands().SetExactLimit(9000);
  OpenAll("kiln");
  ASSERT_TRUE(Commands().OverviewShown());
  Form().ChartMenuItemClick();
  // Labels on round instants and values.
  {
    const ViewRanges view = Form().Chart->Ranges();
    EXPECT_DOUBLE_EQ(Form().Chart->BottomIncrement(), RoundTimeStep(view.x1 - view.x0));
    EXPECT_DOUBLE_EQ(Form().Chart->LeftIncrement(), RoundValueStep(view.y1 - view.y0));
  }
  Form().SpanPanelMenuItem->trigger();
  Form().Chart->SetCursorX(from);
  Form().Chart->SetCursorX2(to);
  // Measured from the archive on a worker: "计算中…" until the figures come.
  QCoreApplication::processEvents();
  ASSERT_TRUE(Settle(Commands()));
  QCoreApplication::processEvents();
  EXPECT_FALSE(Form().SpanView->Calculating());
  EXPECT_EQ(Form().SpanView->Text().toStdString(), SpanStatisticsTable(expected));
  EXPECT_FALSE(Form().SpanView->Caption().contains(QStringLiteral("概览"))) << Form().SpanView->Caption().toStdString();
  // The legend: both cursors and the time between them, the value recorded at X1 (a sample holds
  // at 100.5 s: the nearer of those at 100 s and 101 s, the earlier on a tie).
  const QStringList title = Form().Chart->LegendTitle().split(QLatin1Char('\n'));
  ASSERT_EQ(title.size(), 3) << Form().Chart->LegendTitle().toStdString();
  EXPECT_TRUE(title[1].startsWith(QStringLiteral("垂直游标X2: 2010-05-12 05:16:40"))) << title[1].toStdString();
  EXPECT_TRUE(title[2].startsWith(QStringLiteral("Δt(X2-X1): "))) << title[2].toStdString();
  EXPECT_TRUE(Form().Chart->LineTitleShown(0).startsWith("通道01 100.000")) << Form().Chart->LineTitleShown(0).toStdString();
  // The print takes the rows the panel shows.
  EXPECT_EQ(SpanStatisticsTable(Form().SpanRows()), SpanStatisticsTable(expected));

  // The same recording opened exact reads the same at the same moment.
  Commands().SetExactLimit(kExactPeriodSamples);
  OpenAll("kiln");
  ASSERT_FALSE(Commands().OverviewShown());
  Form().Chart->SetCursorX(start + 17777.0 / 86400.0);
  QCoreApplication::processEvents();
  EXPECT_TRUE(Form().Chart->LineTitleShown(0).startsWith("通道01 5000.000")) << Form().Chart->LineTitleShown(0).toStdString();
}

// Two lists of alarm events the same, field for field.
void ExpectSameEvents(const std::vector<AlarmEvent>& actual, const std::vector<AlarmEvent>& expected) {
  ASSERT_EQ(actual.size(), expected.size());
  for (std::size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("event " + std::to_string(i));
    EXPECT_EQ(actual[i].number, expected[i].number);
    EXPECT_EQ(actual[i].upper, expected[i].upper);
    EXPECT_EQ(actual[i].limit, expected[i].limit);
    EXPECT_EQ(ToArchiveMs(actual[i].start), ToArchiveMs(expected[i].start));
    EXPECT_EQ(ToArchiveMs(actual[i].end), ToArchiveMs(expected[i].end));
    EXPECT_EQ(actual[i].seconds, expected[i].seconds);
    EXPECT_EQ(actual[i].extreme, expected[i].extreme);
    EXPECT_EQ(ToArchiveMs(actual[i].extremeTime), ToArchiveMs(expected[i].extremeTime));
  }
}

std::vector<AlarmEvent> BandEvents(const TrendChart& chart, std::size_t line) {
  std::vector<AlarmEvent> events;
  for (const TrendChart::AlarmBand& band : chart.AlarmBands()) {
    if (band.line == line) events.push_back(band.event);
  }
  std::stable_sort(events.begin(), events.end(), [](const AlarmEvent& a, const AlarmEvent& b) { return a.start < b.start; });
  return events;
}

// The alarm bands and the event list of an overview are those of the same period opened exact (not
// of the drawn columns): found in the archive's chunks on a worker, "计算中…" meanwhile, periods
// ended by a recorded gap, by the hole between the files and by the last sample.
TEST_P(ArchiveInWindowTest, AnOverviewsAlarmEventsAreThoseOfThePeriodOpenedExact) {
  {
    auto archive = OpenArchive(location_);
    for (const auto& [name, start, interrupted] :
         {std::tuple{"a.bin", kMay13, true}, std::tuple{"b.bin", kMay13 + 9000, false}}) {
      ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir_.File(name), start, 3000, 3, 1, interrupted))).outcome,
                ImportResult::Outcome::Imported);
    }
  }
  if (!Form().AlarmListMenuItem->isChecked()) Form().AlarmListMenuItem->trigger();
  ASSERT_TRUE(Form().AlarmListMenuItem->isChecked());
  OpenAll("kiln");
  ASSERT_FALSE(Commands().OverviewShown());
  ASSERT_EQ(Form().Chart->LineCount(), 3u);
  // Limits placed within each channel's values: an upper one with the default deadband (1 % of the
  // recorded range, wider than the channel's swing: its periods end only at a gap, the hole or the
  // last sample), a lower one with its own rules, and both limits without a deadband.
  std::vector<AlarmLimits> limits;
  for (std::size_t c = 0; c < 3; ++c) {
    const ChannelInfo& channel = Form().channels[c];
    ValueSpan span;
    for (const float v : channel.values) span.Add(v);
    ASSERT_TRUE(span.any);
    const double low = span.low, width = span.high - span.low;
    ASSERT_GT(width, 0.0);
    limits.push_back(c == 0   ? AlarmLimits(low + 0.8 * width, std::nullopt)
                     : c == 1 ? AlarmLimits(std::nullopt, low + 0.3 * width, 0.1 * width, 3.0)
                              : AlarmLimits(low + 0.7 * width, low + 0.2 * width, 0.0));
    Form().SetLineLimits(c, limits.back());
  }
  const std::vector<AlarmEvent> exact = Form().AlarmView->Events();
  const QString caption = Form().AlarmView->Caption();
  ASSERT_GT(exact.size(), 100u);
  EXPECT_EQ(caption, QStringLiteral("报警事件  共%1条").arg(exact.size()));
  std::vector<std::vector<AlarmEvent>> exactBands;
  for (std::size_t line = 0; line < 3; ++line) exactBands.push_back(BandEvents(*Form().Chart, line));
  const ChannelInfo none;  // an overview's lines are not the samples: its deadbands never read them
  const double exactDeadband = Form().LineDefaultDeadband(0, limits[0], Form().channels[0]);
  // The hole and the gap end periods of the first channel.
  std::size_t endedAtAGap = 0;
  for (const AlarmEvent& e : exactBands[0]) {
    const ChannelInfo& channel = Form().channels[0];
    for (std::size_t i = 0; i < channel.times.size(); ++i) {
      if (IsGapValue(channel.values[i]) && ToArchiveMs(channel.times[i]) == ToArchiveMs(e.end)) ++endedAtAGap;
    }
  }
  EXPECT_GE(endedAtAGap, 2u);

  Commands().SetExactLimit(5000);
  OpenAll("kiln");
  ASSERT_TRUE(Commands().OverviewShown());
  EXPECT_FALSE(Form().AlarmView->Calculating());
  EXPECT_EQ(Form().AlarmView->Caption(), caption);
  ExpectSameEvents(Form().AlarmView->Events(), exact);
  for (std::size_t line = 0; line < 3; ++line) {
    SCOPED_TRACE("band of line " + std::to_string(line));
    ExpectSameEvents(BandEvents(*Form().Chart, line), exactBands[line]);
  }
  EXPECT_EQ(Form().LineDefaultDeadband(0, limits[0], none), exactDeadband);

  // New limits: the list says it is finding them, and then shows them; back to the old ones, the
  // events as before.
  Form().SetLineLimits(0, AlarmLimits(limits[0].upper, std::nullopt, 0.0));
  EXPECT_TRUE(Form().AlarmView->Calculating());
  EXPECT_TRUE(Form().AlarmView->Caption().contains(QStringLiteral("计算中…"))) << Form().AlarmView->Caption().toStdString();
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_FALSE(Form().AlarmView->Calculating());
  EXPECT_GT(Form().AlarmView->Events().size(), exact.size());  // without a deadband every swing
  // Two changes in a row: only the last one's events are shown.
  Form().SetLineLimits(2, AlarmLimits());
  Form().SetLineLimits(0, limits[0]);
  Form().SetLineLimits(2, limits[2]);
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_EQ(Form().AlarmView->Caption(), caption);
  ExpectSameEvents(Form().AlarmView->Events(), exact);
  // All limits cleared: nothing, at once and after.
  for (std::size_t line = 0; line < 3; ++line) Form().SetLineLimits(line, AlarmLimits());
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_TRUE(Form().AlarmView->Events().empty());
  EXPECT_TRUE(Form().Chart->AlarmBands().empty());
  EXPECT_EQ(Form().AlarmView->Caption(), QStringLiteral("报警事件  共0条"));
}

// A channel chattering across its limit (as a CSV import: no recorded range): an overview keeps
// only the periods the list shows, says how many there are, and shades the rest; a channel with one
// limit takes its default deadband from its values in the archive, as the exact period does.
TEST_P(ArchiveInWindowTest, AnOverviewOfANoisyChannelKeepsTheListedEventsAndCountsTheRest) {
  const std::int64_t startMs = ToArchiveMs(RecorderSecondsToDateTime(kMay13));
  {
    SourceRecording r;
    r.path = "/recordings/press.csv";
    r.contentHash = "hash-press";
    r.size = 1000;
    for (const int number : {1, 2}) {
      ChannelInfo c;
      c.number = static_cast<std::int16_t>(number);
      c.unit = "MPa";
      for (std::int64_t i = 0; i < 12000; ++i) {
        c.times.push_back(FromArchiveMs(startMs + i * 1000));
        c.values.push_back(number == 1 ? (i % 2 ? 100.0f : 0.0f) : static_cast<float>(i) / 100.0f);
      }
      r.channels.push_back(std::move(c));
    }
    r.summary.startTime = FromArchiveMs(startMs);
    r.summary.endTime = FromArchiveMs(startMs + 11999 * 1000);
    auto archive = OpenArchive(location_);
    ASSERT_EQ(archive->Import("press", r).outcome, ImportResult::Outcome::Imported);
  }
  if (!Form().AlarmListMenuItem->isChecked()) Form().AlarmListMenuItem->trigger();
  OpenAll("press");
  ASSERT_FALSE(Commands().OverviewShown());
  ASSERT_EQ(Form().Chart->LineCount(), 2u);
  const AlarmLimits chatter(50.0, std::nullopt, 0.0);
  const AlarmLimits ramp(100.0, std::nullopt);
  Form().SetLineLimits(0, chatter);
  Form().SetLineLimits(1, ramp);
  const std::vector<AlarmEvent> exact = Form().AlarmView->Events();
  ASSERT_EQ(exact.size(), 6001u);
  const QString caption = QStringLiteral("报警事件  共6001条，列出前5000条");
  EXPECT_EQ(Form().AlarmView->Caption(), caption);
  const double rampDeadband = Form().LineDefaultDeadband(1, ramp, Form().channels[1]);
  EXPECT_DOUBLE_EQ(rampDeadband, 0.01 * 119.99f);

  Commands().SetExactLimit(9000);
  OpenAll("press");
  ASSERT_TRUE(Commands().OverviewShown());
  EXPECT_EQ(Form().AlarmView->Caption(), caption);
  // The list's rows: the first 5000 across both channels, as the exact period lists them.
  ExpectSameEvents(Form().AlarmView->Events(), std::vector<AlarmEvent>(exact.begin(), exact.begin() + 5000));
  // Every period shaded: in full or within a stretch of the same side; far fewer bands than periods.
  const std::vector<AlarmEvent> bands = BandEvents(*Form().Chart, 0);
  EXPECT_LT(bands.size(), 6000u);
  for (const AlarmEvent& e : exact) {
    if (e.number != 1) continue;
    const bool shaded = std::any_of(bands.begin(), bands.end(), [&e](const AlarmEvent& b) {
      return b.upper == e.upper && b.start <= e.start && e.end <= b.end;
    });
    ASSERT_TRUE(shaded) << "a period at " << SpanTimeText(e.start) << " not shaded";
  }
  // The ramp's one period (past the listed rows: after the first 5000 swings) shaded in full.
  std::vector<AlarmEvent> rampEvents;
  std::copy_if(exact.begin(), exact.end(), std::back_inserter(rampEvents), [](const AlarmEvent& e) { return e.number == 2; });
  ASSERT_EQ(rampEvents.size(), 1u);
  ExpectSameEvents(BandEvents(*Form().Chart, 1), rampEvents);
  // The ramp's default deadband from its values in the archive, as the exact period gave it; the
  // chattering channel's values were never read (its deadband is typed): not known.
  const ChannelInfo none;  // an overview's lines are not the samples: its deadbands never read them
  EXPECT_EQ(Form().LineDefaultDeadband(1, ramp, none), rampDeadband);
  EXPECT_TRUE(std::isnan(Form().LineDefaultDeadband(0, ChannelLimits{50.0, std::nullopt}, none)));
  EXPECT_DOUBLE_EQ(Form().LineDefaultDeadband(0, ChannelLimits{50.0, 40.0}, none), 0.1);
}

TEST_P(ArchiveInWindowTest, APeriodWithoutDataSaysSoAndOneSampleOpensAsOneRow) {
  {
    auto archive = OpenArchive(location_);
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir_.File("one.bin"), kMay13, 1, 1))).outcome,
              ImportResult::Outcome::Imported);
  }
  // A day before the recorder's only sample.
  ArchivePeriodChoice choice;
  choice.location = location_;
  choice.recorder = "kiln";
  choice.fromMs = ToArchiveMs(RecorderSecondsToDateTime(kMay13 - 86400));
  choice.toMs = choice.fromMs + 3600000;
  Commands().OpenPeriod(choice);
  ASSERT_TRUE(Settle(Commands()));
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].text, "所选时段没有数据。");
  EXPECT_TRUE(Form().channels.empty());
  EXPECT_EQ(Form().Chart->LineCount(), 0u);

  prompts_.messages.clear();
  OpenAll("kiln");
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_EQ(Form().tableRows.size(), 1u);
  EXPECT_EQ(Form().Chart->LineCount(), 1u);
  // Nor does a recorder the archive does not hold open anything.
  OpenAll("dryer");
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_TRUE(prompts_.messages[0].text.startsWith("档案读取失败：")) << prompts_.messages[0].text.toStdString();
}

// A hole across the whole window zoomed into: no line and no failure; back out, the overview again.
TEST_P(ArchiveInWindowTest, AWindowInsideAHoleOfAnOverviewShowsNothingAndNoFailure) {
  {
    auto archive = OpenArchive(location_);
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir_.File("a.bin"), kMay13, 3600, 2))).outcome,
              ImportResult::Outcome::Imported);
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir_.File("b.bin"), kMay13 + 86400, 3600, 2))).outcome,
              ImportResult::Outcome::Imported);
  }
  Commands().SetExactLimit(9000);
  OpenAll("kiln");
  ASSERT_TRUE(Commands().OverviewShown());
  const DateTime start = Form().summary.startTime;
  Form().Chart->SetBottomAxis(start + 0.3, start + 0.4);  // within the night between the files
  Form().ChartZoom();
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_TRUE(prompts_.messages.empty()) << prompts_.messages.front().text.toStdString();
  EXPECT_TRUE(Commands().ExactWindowOfOverview());
  std::size_t points = 0;
  for (std::size_t i = 0; i < Form().Chart->LineCount(); ++i) {
    for (std::size_t k = 0; k < Form().Chart->Line(i).points.size(); ++k) {
      if (!Form().Chart->Line(i).IsGap(k)) ++points;
    }
  }
  EXPECT_EQ(points, 0u);
  Form().ChartUndoZoom();
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_TRUE(Commands().OverviewShown());
}

// An importer writing while the window opens the period again and again: each opening shows the
// archive before that import or after it, never a part of it.
TEST_P(ArchiveInWindowTest, APeriodOpenedWhileAnImportRunsIsTheArchiveBeforeOrAfterIt) {
  const std::string second = WriteRecording(dir_.File("b.bin"), kMay13 + 7200, 8000, 3);
  std::size_t before = 0;
  {
    auto archive = OpenArchive(location_);
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir_.File("a.bin"), kMay13, 3600, 3))).outcome,
              ImportResult::Outcome::Imported);
    for (const ChannelInfo& c : ReadWhole(*archive, "kiln").channels) before += c.times.size();
  }
  std::atomic<bool> done{false};
  std::thread importer([&] {
    auto archive = OpenArchive(location_, false);
    if (archive) archive->Import("kiln", Load(second));
    done = true;
  });
  ArchivePeriodChoice choice;
  choice.location = location_;
  choice.recorder = "kiln";
  choice.fromMs = ToArchiveMs(RecorderSecondsToDateTime(kMay13));
  choice.toMs = ToArchiveMs(RecorderSecondsToDateTime(kMay13 + 7200 + 8000));
  std::vector<std::size_t> seen;
  for (int round = 0; round < 200 && (!done || seen.empty()); ++round) {
    Commands().OpenPeriod(choice);
    ASSERT_TRUE(Settle(Commands()));
    std::size_t samples = 0;
    for (const ChannelInfo& c : Form().channels) samples += c.times.size();
    seen.push_back(samples);
  }
  importer.join();
  Commands().OpenPeriod(choice);
  ASSERT_TRUE(Settle(Commands()));
  std::size_t after = 0;
  for (const ChannelInfo& c : Form().channels) after += c.times.size();
  ASSERT_GE(after, before + 3u * 8000u);
  for (const std::size_t samples : seen) {
    EXPECT_TRUE(samples == before || samples == after) << samples << " of " << before << " or " << after;
  }
}

// A channel whose unit changed between two files: the read-out (of an overview or of the exact
// samples) gives each time's unit as that file recorded it.
TEST_P(ArchiveInWindowTest, TheReadOutGivesTheUnitAsRecordedAtTheCursor) {
  {
    auto archive = OpenArchive(location_);
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir_.File("a.bin"), kMay13, 3600, 1))).outcome,
              ImportResult::Outcome::Imported);
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir_.File("b.bin"), kMay13 + 7200, 3600, 1, 1, false, 20)))
                  .outcome,
              ImportResult::Outcome::Imported);
  }
  Commands().SetExactLimit(1000);
  OpenAll("kiln");
  ASSERT_TRUE(Commands().OverviewShown());
  const DateTime start = Form().summary.startTime;
  Form().Chart->SetCursorX(start + 100.0 / 86400.0);
  ASSERT_TRUE(Settle(Commands()));
  const QString first = Form().Chart->LineTitleShown(0);
  Form().Chart->SetCursorX(start + 7300.0 / 86400.0);
  ASSERT_TRUE(Settle(Commands()));
  const QString second = Form().Chart->LineTitleShown(0);
  EXPECT_TRUE(first.endsWith("℃")) << first.toStdString();
  EXPECT_FALSE(second.endsWith("℃")) << second.toStdString();
  EXPECT_FALSE(second.endsWith("---")) << second.toStdString();

  // The same period opened exact: its read-out gives each time's unit too.
  Commands().SetExactLimit(kExactPeriodSamples);
  OpenAll("kiln");
  ASSERT_FALSE(Commands().OverviewShown());
  Form().Chart->SetCursorX(start + 100.0 / 86400.0);
  EXPECT_EQ(Form().Chart->LineTitleShown(0), first);
  Form().Chart->SetCursorX(start + 7300.0 / 86400.0);
  EXPECT_EQ(Form().Chart->LineTitleShown(0), second);
  // And with the switch 峰值包络 on.
  Form().EnvelopeMenuItem->trigger();
  Form().Chart->SetCursorX(start + 101.0 / 86400.0);
  EXPECT_TRUE(Form().Chart->LineTitleShown(0).endsWith("℃")) << Form().Chart->LineTitleShown(0).toStdString();
  Form().EnvelopeMenuItem->trigger();
}

// vantiro --archive A --recorder NAME --from T --to T: that period on show at start.
TEST_P(ArchiveInWindowTest, APeriodNamedOnTheCommandLineOpensAtStart) {
  {
    auto archive = OpenArchive(location_);
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir_.File("a.bin"), kMay13, 600, 2))).outcome,
              ImportResult::Outcome::Imported);
  }
  const StartupOptions options = ParseStartupOptions(
      {"--archive", QString::fromStdString(location_), "--recorder", "kiln", "--from", "2010-05-13 00:01:00", "--to",
       "2010-05-13 00:02:00"});
  ASSERT_TRUE(options.error.isEmpty()) << options.error.toStdString();
  StartFromCommandLine(*windows_, options);
  ASSERT_TRUE(Settle(Commands()));
  EXPECT_TRUE(prompts_.messages.empty()) << prompts_.messages.front().text.toStdString();
  ASSERT_EQ(Form().channels.size(), 2u);
  EXPECT_EQ(Form().channels[0].times.size(), 61u);  // 00:01:00 to 00:02:00, both ends
  EXPECT_EQ(Form().tableRows.size(), 61u);
  EXPECT_TRUE(Form().windowTitle().contains("档案 kiln")) << Form().windowTitle().toStdString();
}

// The command line through what main does with it: the period named on show once the window's
// event loop runs, the title naming the recorder and the period once; a recorder or an archive that
// is not there, or a period without data, a message box saying why and nothing on show.
TEST_P(ArchiveInWindowTest, APeriodNamedOnTheCommandLineOpensOnceTheWindowRunsOrSaysWhyNot) {
  {
    auto archive = OpenArchive(location_);
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir_.File("a.bin"), kMay13, 600, 2))).outcome,
              ImportResult::Outcome::Imported);
  }
  WriteText(dir_.File("notes.txt"), "not an archive");
  const QString archive = QString::fromStdString(location_);
  const QString missing = QString::fromStdString(dir_.File("missing.sqlite"));
  const QString notes = QString::fromStdString(dir_.File("notes.txt"));
  struct Case {
    const char* what;
    QStringList arguments;
    QString message;      // empty: the period opens
    std::size_t samples;  // of each channel
    QString title;
  };
  const Case cases[] = {
      {"a period",
       {"--archive", archive, "--recorder", "kiln", "--from", "2010-05-13 00:01:00", "--to", "2010-05-13 00:02:00"},
       "", 61, "档案 kiln: 2010-05-13 00:01:00 至 2010-05-13 00:02:00 - Vantiro"},
      {"all of it", {"--archive", archive, "--recorder", "kiln"}, "", 600,
       "档案 kiln: 2010-05-13 00:00:00 至 2010-05-13 00:09:59 - Vantiro"},
      {"a recorder the archive does not hold", {"--archive", archive, "--recorder", "dryer"},
       "档案读取失败：档案中找不到记录仪：dryer", 0, "Vantiro"},
      {"no archive there", {"--archive", missing, "--recorder", "kiln"}, "档案读取失败：找不到档案：" + missing, 0,
       "Vantiro"},
      {"not an archive", {"--archive", notes, "--recorder", "kiln"}, "档案读取失败：不是档案：" + notes, 0, "Vantiro"},
      {"a period without data",
       {"--archive", archive, "--recorder", "kiln", "--from", "2010-05-14 00:00:00", "--to", "2010-05-14 01:00:00"},
       "所选时段没有数据。", 0, "Vantiro"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    windows_.reset();  // a program started afresh
    windows_ = std::make_unique<AppWindows>();
    prompts_.messages.clear();
    const StartupOptions options = ParseStartupOptions(c.arguments);
    ASSERT_TRUE(options.error.isEmpty()) << options.error.toStdString();
    ASSERT_TRUE(StartupHasWork(options));
    ScheduleStartFromCommandLine(*windows_, options);
    EXPECT_TRUE(Form().channels.empty());  // nothing before the window's loop runs
    // The loop runs until the period is read or a message has said why not.
    for (int i = 0; i < 1000 && Form().channels.empty() && prompts_.messages.empty(); ++i) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    ASSERT_TRUE(Settle(Commands()));
    EXPECT_EQ(Form().windowTitle(), c.title);
    if (c.message.isEmpty()) {
      EXPECT_TRUE(prompts_.messages.empty()) << prompts_.messages.front().text.toStdString();
      ASSERT_EQ(Form().channels.size(), 2u);
      EXPECT_EQ(Form().channels[0].times.size(), c.samples);
      EXPECT_EQ(Form().Chart->LineCount(), 2u);
    } else {
      ASSERT_EQ(prompts_.messages.size(), 1u);
      EXPECT_EQ(prompts_.messages[0].text, c.message);
      EXPECT_TRUE(Form().channels.empty());
      EXPECT_EQ(Form().Chart->LineCount(), 0u);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, ArchiveInWindowTest, ::testing::Values(Engine::Sqlite, Engine::Postgres),
                         EngineName);

TEST(ArchiveInWindowFailureTest, TheServerGoingAwayUnderAnOverviewIsAMessageAndTheChartStays) {
  TempDir dir;
  setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
  PostgresServer server;
  ASSERT_TRUE(server.Ok()) << server.Error();
  const std::string location = server.NewDatabase();
  {
    auto archive = OpenArchive(location);
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir.File("a.bin"), kMay13, 3600, 2))).outcome,
              ImportResult::Outcome::Imported);
  }
  ScriptedPrompts prompts;
  AppWindows windows;
  TMainForm& form = *windows.mainForm;
  ArchiveCommands& commands = form.ArchiveView();
  commands.SetExactLimit(1000);
  ArchivePeriodChoice choice;
  choice.location = location;
  choice.recorder = "kiln";
  choice.fromMs = INT64_MIN / 4;
  choice.toMs = INT64_MAX / 4;
  commands.OpenPeriod(choice);
  ASSERT_TRUE(Settle(commands));
  ASSERT_TRUE(commands.OverviewShown());
  ASSERT_EQ(form.Chart->LineCount(), 2u);
  const std::size_t points = form.Chart->Line(0).points.size();
  ASSERT_GT(points, 0u);
  const DateTime start = form.Chart->Line(0).minX;

  server.Kill();
  prompts.messages.clear();
  form.Chart->SetBottomAxis(start, start + 3000.0 / 86400.0);
  form.ChartZoom();
  ASSERT_TRUE(Settle(commands));  // no hang
  ASSERT_FALSE(prompts.messages.empty());
  EXPECT_TRUE(prompts.messages.back().text.startsWith("档案读取失败：")) << prompts.messages.back().text.toStdString();
  EXPECT_TRUE(commands.OverviewShown());
  EXPECT_EQ(form.Chart->LineCount(), 2u);
  EXPECT_EQ(form.Chart->Line(0).points.size(), points);  // what it showed stays
  form.NextPageButtonClick();
  ASSERT_TRUE(Settle(commands));
  EXPECT_GT(form.DataListViewModel->rowCount(), 0);  // the page it showed stays
  // The span panel asked with the server gone: it says so instead of calculating for ever.
  form.ChartMenuItemClick();
  form.SpanPanelMenuItem->trigger();
  form.Chart->SetCursorX(start + 10.0 / 86400.0);
  form.Chart->SetCursorX2(start + 2000.0 / 86400.0);
  QCoreApplication::processEvents();
  ASSERT_TRUE(Settle(commands));
  QCoreApplication::processEvents();
  EXPECT_FALSE(form.SpanView->Calculating());
  EXPECT_TRUE(form.SpanView->Caption().contains(QStringLiteral("读取档案失败"))) << form.SpanView->Caption().toStdString();
  EXPECT_TRUE(form.SpanView->Rows().empty());
  form.SpanPanelMenuItem->trigger();

  ASSERT_TRUE(server.Restart());
  prompts.messages.clear();
  form.Chart->SetBottomAxis(start, start + 3300.0 / 86400.0);
  form.OnChartScroll();
  ASSERT_TRUE(Settle(commands));
  EXPECT_TRUE(prompts.messages.empty()) << prompts.messages.front().text.toStdString();
  EXPECT_TRUE(commands.OverviewShown());
  EXPECT_LE(form.Chart->Line(0).maxX, start + 3301.0 / 86400.0);
}

}  // namespace
}  // namespace vantiro
