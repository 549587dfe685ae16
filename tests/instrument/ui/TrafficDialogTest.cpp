// 通讯记录: the line's exchanges as they come, held while paused, cleared, and saved as text (a
// save that fails says so).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QCheckBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <filesystem>

#include "instrument/TrafficLog.h"
#include "instrument/ui/TrafficDialog.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

TrafficEntry Exchange(std::uint8_t address, const char* outcome) {
  TrafficEntry entry;
  entry.time = *EncodeDateTime(2024, 5, 6, 12, 30, 5);
  entry.request = {address, 0x03, 0x00, 0x00, 0x00, 0x10};
  entry.reply = {address, 0x03};
  entry.outcome = outcome;
  return entry;
}

TEST(TrafficDialogTest, ShowsTheExchangesAsTheyComeUnlessPausedAndSavesThem) {
  testing::ScriptedPrompts prompts;
  testing::TempDir dir;
  TrafficLog log;
  log.Add(Exchange(1, "应答"));
  TrafficDialog dialog(log);
  EXPECT_EQ(dialog.windowTitle(), "通讯记录");
  EXPECT_EQ(dialog.Text->toPlainText().toStdString(),
            "12:30:05.000 → 01 03 00 00 00 10\n             ← 01 03 (应答)");

  log.Add(Exchange(2, "读写超时"));
  dialog.PauseBox->setChecked(true);
  dialog.Refresh();
  EXPECT_EQ(dialog.Text->blockCount(), 2);  // held while paused
  dialog.PauseBox->setChecked(false);
  dialog.Refresh();
  EXPECT_EQ(dialog.Text->blockCount(), 4);
  EXPECT_TRUE(dialog.Text->toPlainText().endsWith("← 02 03 (读写超时)"));

  // Saved as UTF-8 text, one line a line.
  const std::string saved = dir.File("trace.txt");
  prompts.saveFiles.push_back(QString::fromStdString(saved));
  dialog.SaveButton->click();
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(testing::ReadText(saved), dialog.Text->toPlainText().toStdString() + "\n");
  // A save that cannot be made: the export's message, nothing left behind.
  std::filesystem::create_directory(dir.File("locked"));
  ::chmod(dir.File("locked").c_str(), 0500);
  const bool root = ::geteuid() == 0;
  prompts.saveFiles.push_back(QString::fromStdString(dir.File("locked/trace.txt")));
  dialog.SaveButton->click();
  if (!root) {
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "文件保存失败，请重试！");
    EXPECT_FALSE(std::filesystem::exists(dir.File("locked/trace.txt")));
  }
  ::chmod(dir.File("locked").c_str(), 0700);
  prompts.messages.clear();
  prompts.saveFiles.push_back(QString::fromStdString(dir.File("locked")));  // a folder
  dialog.SaveButton->click();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "文件保存失败，请重试！");

  dialog.ClearButton->click();
  EXPECT_TRUE(dialog.Text->toPlainText().isEmpty());
  log.Add(Exchange(3, "应答"));
  dialog.Refresh();
  EXPECT_EQ(dialog.Text->blockCount(), 2);  // only what came after
}

}  // namespace
}  // namespace vantiro
