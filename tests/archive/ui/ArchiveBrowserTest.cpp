// The archive browser against a real archive: its recorders, a recorder's coverage and channels,
// the periods, Open; an archive that cannot be read, and a server that goes away. The coverage
// strip's labels, whole and apart at any size.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontMetricsF>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>

#include "archive/ArchiveTestSupport.h"
#include "archive/ui/SettleArchive.h"
#include "archive/ui/ArchiveBrowser.h"
#include "archive/ui/CoverageStrip.h"
#include "support/ScriptedPrompts.h"

namespace vantiro {
namespace {

using namespace vantiro::testing;

class ArchiveBrowserTest : public ::testing::TestWithParam<Engine> {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
    location_ = NewArchiveLocation(GetParam(), dir_);
    ASSERT_FALSE(location_.empty());
    auto archive = OpenArchive(location_);
    ASSERT_TRUE(archive);
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir_.File("a.bin"), kMay13, 600, 3))).outcome,
              ImportResult::Outcome::Imported);
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir_.File("b.bin"), kMay13 + 7200, 600, 3))).outcome,
              ImportResult::Outcome::Imported);
    ASSERT_EQ(archive->Import("dryer", Load(WriteRecording(dir_.File("c.bin"), kMay13, 100, 1))).outcome,
              ImportResult::Outcome::Imported);
  }

  TempDir dir_;
  std::string location_;
  ScriptedPrompts prompts_;
};

TEST_P(ArchiveBrowserTest, ARecordersCoverageChannelsAndPeriodOpen) {
  ArchiveBrowser browser;
  browser.ShowArchive(location_);
  ASSERT_TRUE(Settle(browser));
  ASSERT_EQ(browser.RecorderList->count(), 2);
  EXPECT_EQ(browser.RecorderList->item(0)->text(), "dryer");
  ASSERT_TRUE(browser.SelectRecorder("kiln"));
  ASSERT_TRUE(Settle(browser));
  // Two stretches with a hole between; three channels, all ticked.
  ASSERT_EQ(browser.Strip->Coverage().size(), 2u);
  ASSERT_EQ(browser.ChannelList->count(), 3);
  EXPECT_EQ(browser.ChannelList->item(0)->text(), "通道01 (℃)");
  // The period starts as the last day that holds data.
  EXPECT_EQ(browser.Choice().toMs, browser.Strip->Coverage().back().lastMs);
  // All of it: 3 channels x 1200 samples.
  browser.PickQuickPeriod(QuickPeriod::All);
  ASSERT_TRUE(Settle(browser));
  EXPECT_EQ(browser.Choice().samples, 3600);
  EXPECT_TRUE(browser.OpenButton->isEnabled());
  EXPECT_TRUE(browser.Status->text().contains("3600")) << browser.Status->text().toStdString();
  // One channel of the first file's ten minutes, typed into the pickers.
  browser.AllChannels->setChecked(false);
  browser.ChannelList->item(1)->setCheckState(Qt::Checked);
  const std::int64_t start = ToArchiveMs(RecorderSecondsToDateTime(kMay13));
  browser.FromEdit->setDateTime(QDateTime::fromMSecsSinceEpoch(start, Qt::UTC));
  browser.ToEdit->setDateTime(QDateTime::fromMSecsSinceEpoch(start + 599000, Qt::UTC));
  ASSERT_TRUE(Settle(browser));
  EXPECT_EQ(browser.Choice().channels, std::vector<int>{2});
  EXPECT_EQ(browser.Choice().fromMs, start);
  EXPECT_EQ(browser.Choice().toMs, start + 599999);
  EXPECT_EQ(browser.Choice().samples, 600);
  QSignalSpy accepted(&browser, &QDialog::accepted);
  browser.OpenButton->click();
  EXPECT_EQ(accepted.count(), 1);
  EXPECT_EQ(browser.Choice().recorder, "kiln");
  // The archive is remembered for the next time.
  EXPECT_EQ(RememberedArchiveLocation(), location_);
}

TEST_P(ArchiveBrowserTest, APeriodWithoutDataOrChannelsCannotBeOpened) {
  ArchiveBrowser browser;
  browser.ShowArchive(location_);
  ASSERT_TRUE(Settle(browser));
  ASSERT_TRUE(browser.SelectRecorder("dryer"));
  ASSERT_TRUE(Settle(browser));
  browser.PickQuickPeriod(QuickPeriod::Today);  // 2026: nothing recorded
  ASSERT_TRUE(Settle(browser));
  EXPECT_EQ(browser.Status->text(), "该时段没有数据。");
  browser.AllChannels->setChecked(false);
  ASSERT_TRUE(Settle(browser));
  EXPECT_FALSE(browser.OpenButton->isEnabled());
  EXPECT_EQ(browser.Status->text(), "请至少选择一个通道。");
}

// 全选 ticks and unticks every channel, the sixteenth too; what is ticked is what opens.
TEST_P(ArchiveBrowserTest, AllChannelsTicksAndUnticksEveryChannel) {
  {
    auto archive = OpenArchive(location_);
    ASSERT_EQ(archive->Import("plant", Load(WriteRecording(dir_.File("p.bin"), kMay13, 600, 16))).outcome,
              ImportResult::Outcome::Imported);
  }
  ArchiveBrowser browser;
  browser.ShowArchive(location_);
  ASSERT_TRUE(Settle(browser));
  ASSERT_TRUE(browser.SelectRecorder("plant"));
  ASSERT_TRUE(Settle(browser));
  ASSERT_EQ(browser.ChannelList->count(), 16);
  auto ticked = [&browser] {
    std::vector<int> numbers;
    for (int i = 0; i < browser.ChannelList->count(); ++i) {
      if (browser.ChannelList->item(i)->checkState() == Qt::Checked) numbers.push_back(i + 1);
    }
    return numbers;
  };
  std::vector<int> all(16);
  for (int i = 0; i < 16; ++i) all[static_cast<std::size_t>(i)] = i + 1;
  EXPECT_EQ(ticked(), all);
  EXPECT_EQ(browser.Choice().channels, all);

  // Unticked: none, and nothing to open.
  browser.AllChannels->click();
  ASSERT_TRUE(Settle(browser));
  EXPECT_EQ(ticked(), std::vector<int>{});
  EXPECT_FALSE(browser.OpenButton->isEnabled());
  EXPECT_EQ(browser.Status->text(), "请至少选择一个通道。");
  QSignalSpy accepted(&browser, &QDialog::accepted);
  browser.OpenButton->click();
  EXPECT_EQ(accepted.count(), 0);

  // One channel ticked by hand: that one opens, not the sixteenth.
  browser.ChannelList->item(0)->setCheckState(Qt::Checked);
  ASSERT_TRUE(Settle(browser));
  EXPECT_EQ(ticked(), std::vector<int>{1});
  EXPECT_EQ(browser.Choice().channels, std::vector<int>{1});
  EXPECT_EQ(browser.AllChannels->checkState(), Qt::Unchecked);
  browser.OpenButton->click();
  ASSERT_EQ(accepted.count(), 1);
  EXPECT_EQ(browser.Choice().channels, std::vector<int>{1});

  // Ticked again: all of them, from none and from some.
  for (const bool fromNone : {false, true}) {
    SCOPED_TRACE(fromNone ? "from none" : "from one");
    if (fromNone) {
      browser.AllChannels->click();
      ASSERT_TRUE(Settle(browser));
      ASSERT_EQ(ticked(), std::vector<int>{});
    }
    browser.AllChannels->click();
    ASSERT_TRUE(Settle(browser));
    EXPECT_EQ(ticked(), all);
    EXPECT_EQ(browser.Choice().channels, all);
    EXPECT_EQ(browser.AllChannels->checkState(), Qt::Checked);
    EXPECT_TRUE(browser.OpenButton->isEnabled());
  }
  // Every channel ticked one by one: 全选 shows it.
  browser.AllChannels->click();
  ASSERT_TRUE(Settle(browser));
  for (int i = 0; i < 16; ++i) browser.ChannelList->item(i)->setCheckState(Qt::Checked);
  ASSERT_TRUE(Settle(browser));
  EXPECT_EQ(browser.AllChannels->checkState(), Qt::Checked);
}

// A date and time typed into a picker, the year among them, is the period chosen and counted; a
// start typed past the end opens nothing, even while the count before it is still running.
TEST_P(ArchiveBrowserTest, ADateTypedIntoAPickerIsThePeriodChosen) {
  ArchiveBrowser browser;
  browser.ShowArchive(location_);
  ASSERT_TRUE(Settle(browser));
  ASSERT_TRUE(browser.SelectRecorder("kiln"));
  ASSERT_TRUE(Settle(browser));
  browser.PickQuickPeriod(QuickPeriod::All);
  ASSERT_TRUE(Settle(browser));
  // The section clicked into, then the digits typed over it.
  auto type = [](QDateTimeEdit* edit, QDateTimeEdit::Section section, const QString& text) {
    edit->setFocus();
    edit->setSelectedSection(section);
    QTest::keyClicks(edit, text);
  };
  constexpr std::int64_t kDay = 86400000;
  const std::int64_t start = ToArchiveMs(RecorderSecondsToDateTime(kMay13));  // 2010-05-13 00:00:00
  struct Case {
    const char* what;
    bool from;  // typed into the start's picker, else the end's
    QDateTimeEdit::Section section;
    QString text;
    bool settle;             // the count waited for before the next case
    std::int64_t fromMs, toMs;  // the period then chosen
    std::int64_t samples;       // -1: it cannot be opened
  };
  const std::int64_t end = start + 7200000 + 599999;  // the second file's last second, all of it
  const std::int64_t from2009 = start - 365 * kDay + 300000;
  const Case cases[] = {
      {"the start a year earlier", true, QDateTimeEdit::YearSection, "2009", true, start - 365 * kDay, end, 3600},
      {"the start's minute", true, QDateTimeEdit::MinuteSection, "05", true, from2009, end, 3600},
      // Counted, and before that count is in, the start typed past the end.
      {"the end's hour", false, QDateTimeEdit::HourSection, "01", false, from2009, start + 3600000 + 599999, 3600},
      {"the start past the end", true, QDateTimeEdit::YearSection, "2012", true, start + (365 + 366) * kDay + 300000,
       start + 3600000 + 599999, -1},
      {"the start back to 2010", true, QDateTimeEdit::YearSection, "2010", true, start + 300000,
       start + 3600000 + 599999, 3 * 300},
      {"the end a year later", false, QDateTimeEdit::YearSection, "2011", true, start + 300000,
       start + 365 * kDay + 3600000 + 599999, 3 * (300 + 600)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    type(c.from ? browser.FromEdit : browser.ToEdit, c.section, c.text);
    if (!c.settle) continue;
    ASSERT_TRUE(Settle(browser));
    EXPECT_EQ(browser.Choice().fromMs, c.fromMs);
    EXPECT_EQ(browser.Choice().toMs, c.toMs);
    EXPECT_EQ(browser.OpenButton->isEnabled(), c.samples >= 0);
    if (c.samples >= 0) {
      EXPECT_EQ(browser.Choice().samples, c.samples);
      EXPECT_EQ(browser.Status->text(), QStringLiteral("该时段有 %1 个数据，将打开精确数据。").arg(c.samples));
    } else {
      EXPECT_EQ(browser.Status->text(), "起始时间必须早于结束时间。");
    }
  }
  // What is typed is what opens.
  QSignalSpy accepted(&browser, &QDialog::accepted);
  browser.OpenButton->click();
  ASSERT_EQ(accepted.count(), 1);
  EXPECT_EQ(browser.Choice().fromMs, start + 300000);
  EXPECT_EQ(browser.Choice().toMs, start + 365 * kDay + 3600000 + 599999);
}

// The browser says how many samples the period holds of the channels ticked, exactly, and whether
// the window will open them exact or in overview, by the window's own limit.
TEST_P(ArchiveBrowserTest, TheCountIsExactAndSaysHowThePeriodWillOpen) {
  ArchiveBrowser browser;
  browser.SetExactLimit(1000);
  browser.ShowArchive(location_);
  ASSERT_TRUE(Settle(browser));
  ASSERT_TRUE(browser.SelectRecorder("kiln"));
  ASSERT_TRUE(Settle(browser));
  const std::int64_t start = ToArchiveMs(RecorderSecondsToDateTime(kMay13));
  struct Case {
    const char* what;
    std::int64_t fromMs, toMs;
    std::vector<int> channels;
    std::int64_t samples;
  };
  const Case cases[] = {
      // 00:01:40 to 00:08:19 of the first file: within its chunks at both ends.
      {"a period inside a file", start + 100000, start + 499999, {1, 2, 3}, 3 * 400},
      {"one channel of it", start + 100000, start + 499999, {2}, 400},
      // Channel 1 from 00:03:20 (00:03:19) to the end of the second file.
      {"the limit itself", start + 200000, start + 7200000 + 599999, {1}, 400 + 600},
      {"one sample over the limit", start + 199000, start + 7200000 + 599999, {1}, 401 + 600},
      {"across the hole between the files", start + 300000, start + 7500000, {1, 3}, 2 * (300 + 301)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    for (int i = 0; i < browser.ChannelList->count(); ++i) {
      const int number = browser.ChannelList->item(i)->data(Qt::UserRole).toInt();
      const bool on = std::find(c.channels.begin(), c.channels.end(), number) != c.channels.end();
      browser.ChannelList->item(i)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
    browser.SetPeriod(c.fromMs, c.toMs);
    ASSERT_TRUE(Settle(browser));
    EXPECT_EQ(browser.Choice().channels, c.channels);
    EXPECT_EQ(browser.Choice().samples, c.samples);
    EXPECT_EQ(browser.Status->text(), c.samples > 1000
                                          ? QStringLiteral("该时段有 %1 个数据，将以概览显示（超过 1000 个数据）。").arg(c.samples)
                                          : QStringLiteral("该时段有 %1 个数据，将打开精确数据。").arg(c.samples));
    EXPECT_TRUE(browser.OpenButton->isEnabled());
  }
}

INSTANTIATE_TEST_SUITE_P(Engines, ArchiveBrowserTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), EngineName);

// The strip's time labels at many widths, heights, windows and faces: each whole inside the strip
// and clear of the others.
TEST(CoverageStripTest, LabelsAreWholeInsideTheStripAndApart) {
  const std::int64_t hour = 3600000;
  const std::int64_t day = 24 * hour;
  const std::int64_t may13 = 1747094400000;  // 2025-05-13 00:00
  struct Window {
    const char* name;
    std::int64_t from;
    std::int64_t to;
  };
  const Window windows[] = {
      {"an hour", may13, may13 + hour},
      {"an hour from an odd minute", may13 + 17 * 60000, may13 + 77 * 60000},
      {"six hours", may13 + 5 * hour, may13 + 11 * hour},
      {"two days", may13 - day, may13 + day},
      {"three weeks", may13 - 10 * day, may13 + 11 * day},
      {"seven months", may13 - 200 * day, may13 + 13 * day},
      {"four years", may13 - 1400 * day, may13 + 60 * day},
      {"thirty years", may13 - StripView::kWidestMs + day, may13 + day},
  };
  QFont large = CoverageStrip().font();
  large.setPixelSize(22);
  large.setBold(true);
  for (const bool largeFace : {false, true}) {
    CoverageStrip strip;
    if (largeFace) strip.setFont(large);
    const QFontMetricsF metrics(strip.font());
    for (const Window& window : windows) {
      for (const int width : {200, 257, 600, 1023, 1366}) {
        for (const int height : {strip.minimumSizeHint().height(), 64, 90}) {
          SCOPED_TRACE(std::string(window.name) + " " + std::to_string(width) + "x" + std::to_string(height) +
                       (largeFace ? " large" : ""));
          strip.resize(width, height);
          strip.View().SetWindow(window.from, window.to);
          const std::vector<StripLabel> labels = strip.Labels();
          if (!largeFace) EXPECT_FALSE(labels.empty());
          for (std::size_t i = 0; i < labels.size(); ++i) {
            const QRectF& r = labels[i].rect;
            SCOPED_TRACE(labels[i].text.toStdString());
            EXPECT_FALSE(labels[i].text.isEmpty());
            EXPECT_GE(r.left(), 0.0);
            EXPECT_LE(r.right(), width);
            EXPECT_GE(r.top(), 0.0);
            EXPECT_LE(r.bottom(), height);
            EXPECT_GE(r.width(), metrics.horizontalAdvance(labels[i].text));
            EXPECT_GE(r.height(), metrics.height());
            if (i > 0) EXPECT_LT(labels[i - 1].rect.right(), r.left());
          }
          (void)strip.grab();  // and drawn
        }
      }
    }
  }
}

// A tick too near the strip's end for its label: the label is left out, not cut.
TEST(CoverageStripTest, ALabelThatWouldReachPastTheEndIsLeftOut) {
  const std::int64_t may13 = 1747094400000;
  const std::int64_t hour = 3600000;
  CoverageStrip strip;
  strip.resize(600, 64);
  // Ticks at 00:00 (the left end) and at 01:00, ten pixels before the right end.
  strip.View().SetWindow(may13, may13 + hour * 600 / 590);
  std::vector<QString> texts;
  for (const StripLabel& label : strip.Labels()) texts.push_back(label.text);
  EXPECT_EQ(texts, std::vector<QString>{QStringLiteral("05-13")});
  // Wider, there is room for it.
  strip.resize(800, 64);
  strip.View().SetWindow(may13, may13 + hour * 800 / 700);
  texts.clear();
  for (const StripLabel& label : strip.Labels()) texts.push_back(label.text);
  EXPECT_EQ(texts, (std::vector<QString>{QStringLiteral("05-13"), QStringLiteral("01:00")}));
}

TEST(ArchiveBrowserFailureTest, AnArchiveThatCannotBeReadSaysSoAndTheDialogStays) {
  TempDir dir;
  setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
  WriteText(dir.File("notes.txt"), "not an archive");
  ArchiveBrowser browser;
  for (const std::string& location : {dir.File("notes.txt"), dir.File("missing.sqlite"),
                                      std::string("postgresql:///none?host=") + dir.File("no-server")}) {
    SCOPED_TRACE(location);
    browser.ShowArchive(location);
    ASSERT_TRUE(Settle(browser));
    EXPECT_TRUE(browser.Status->text().startsWith("读取档案失败：")) << browser.Status->text().toStdString();
    EXPECT_EQ(browser.RecorderList->count(), 0);
    EXPECT_FALSE(browser.OpenButton->isEnabled());
  }
  EXPECT_TRUE(RememberedArchiveLocation().empty());  // only an archive that opened is remembered
}

TEST(ArchiveBrowserFailureTest, TheServerGoingAwayIsAMessageNotAHangAndReopeningWorks) {
  TempDir dir;
  setenv("XDG_CONFIG_HOME", dir.File("config").c_str(), 1);
  PostgresServer server;
  ASSERT_TRUE(server.Ok()) << server.Error();
  const std::string location = server.NewDatabase();
  {
    auto archive = OpenArchive(location);
    ASSERT_EQ(archive->Import("kiln", Load(WriteRecording(dir.File("a.bin"), kMay13, 600, 2))).outcome,
              ImportResult::Outcome::Imported);
  }
  ArchiveBrowser browser;
  browser.ShowArchive(location);
  ASSERT_TRUE(Settle(browser));
  ASSERT_EQ(browser.RecorderList->count(), 1);
  ASSERT_TRUE(Settle(browser));
  const int channels = browser.ChannelList->count();
  ASSERT_EQ(channels, 2);
  server.Kill();
  browser.PickQuickPeriod(QuickPeriod::All);
  ASSERT_TRUE(Settle(browser));
  EXPECT_TRUE(browser.Status->text().startsWith("读取档案失败：")) << browser.Status->text().toStdString();
  EXPECT_EQ(browser.RecorderList->count(), 1);  // what it showed stays
  EXPECT_EQ(browser.ChannelList->count(), channels);
  ASSERT_TRUE(server.Restart());
  browser.ShowArchive(location);
  ASSERT_TRUE(Settle(browser));
  EXPECT_EQ(browser.RecorderList->count(), 1);
  EXPECT_FALSE(browser.Status->text().startsWith("读取档案失败：")) << browser.Status->text().toStdString();
}

}  // namespace
}  // namespace vantiro
