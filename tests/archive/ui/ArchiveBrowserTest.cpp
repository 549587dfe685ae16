// The archive browser against a real archive: its recorders, a recorder's coverage and channels,
// the periods, Open; an archive that cannot be read, and a server that goes away.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

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

INSTANTIATE_TEST_SUITE_P(Engines, ArchiveBrowserTest, ::testing::Values(Engine::Sqlite, Engine::Postgres), EngineName);

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
