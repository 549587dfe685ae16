// Importing from the window: files and folders into the archive under the recorder the user names,
// behind the progress dialog, with a message at the end.
#include <gtest/gtest.h>

#include <filesystem>

#include "archive/ArchiveTestSupport.h"
#include "archive/ui/ArchiveBrowser.h"
#include "archive/ui/ImportToArchive.h"
#include "support/ScriptedPrompts.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using namespace vantiro::testing;

constexpr std::int32_t kMay12 = 327024000;

class ImportToArchiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1);
    RememberArchiveLocation(dir_.File("a.sqlite"));
    fs::create_directories(dir_.Path() / "kiln" / "may");
    WriteRecording((dir_.Path() / "kiln" / "1.bin").string(), kMay12, 300, 2);
    WriteRecording((dir_.Path() / "kiln" / "may" / "2.DAT").string(), kMay12 + 600, 300, 2);
    WriteText((dir_.Path() / "kiln" / "may" / "broken.bin").string(), "broken");
    WriteText((dir_.Path() / "kiln" / "notes.txt").string(), "not a recording");
  }
  // The command with its long commands run at once, and its recorder question answered.
  ArchiveImportCommand Command(std::optional<QString> answer) {
    ArchiveImportCommand command(nullptr, [this](const QString& text, const std::function<void(ProgressSink&)>& work) {
      texts_.push_back(text);
      struct Sink final : ProgressSink {
        void SetMax(int m) override { max = m; }
        void StepBy(int s) override { steps += s; }
        int max = 0, steps = 0;
      } sink;
      work(sink);
      steps_.push_back(sink.steps);
    });
    command.SetAskRecorder([this, answer](const QStringList& recorders, const QString& proposed) {
      asked_.push_back({recorders, proposed});
      return answer;
    });
    return command;
  }

  TempDir dir_;
  ScriptedPrompts prompts_;
  std::vector<QString> texts_;
  std::vector<int> steps_;
  std::vector<std::pair<QStringList, QString>> asked_;
};

TEST_F(ImportToArchiveTest, AFolderGoesInUnderTheNamedRecorderAndTheMessageTellsEachFile) {
  ArchiveImportCommand command = Command(QStringLiteral("kiln line 1"));
  command.Import({QString::fromStdString((dir_.Path() / "kiln").string())});
  ASSERT_EQ(asked_.size(), 1u);
  EXPECT_EQ(asked_[0].second, "kiln");  // the folder holding the first file
  EXPECT_TRUE(asked_[0].first.isEmpty());
  EXPECT_EQ(texts_.back(), "数据正在导入档案，请稍等...");
  EXPECT_EQ(steps_.back(), 3);  // a step a file
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].text, "导入完成：2 个文件已导入，0 个已在档案中，1 个失败。");
  EXPECT_EQ(prompts_.messages[0].icon, MessageIcon::Warning);
  EXPECT_TRUE(prompts_.details[0].contains("跳过 ")) << prompts_.details[0].toStdString();
  EXPECT_FALSE(prompts_.details[0].contains("notes.txt"));
  auto archive = OpenArchive(dir_.File("a.sqlite"));
  const Period p = ReadWhole(*archive, "kiln line 1");
  ASSERT_EQ(p.channels.size(), 2u);
  EXPECT_EQ(p.channels[0].times.size(), 600u + 1);  // both files, a break between
  // Again: nothing new, and the recorder is offered in the list.
  prompts_.messages.clear();
  Command(QStringLiteral("kiln line 1")).Import({QString::fromStdString((dir_.Path() / "kiln" / "1.bin").string())});
  EXPECT_EQ(asked_.back().first, QStringList{"kiln line 1"});
  EXPECT_EQ(prompts_.messages[0].text, "导入完成：0 个文件已导入，1 个已在档案中，0 个失败。");
  EXPECT_EQ(prompts_.messages[0].icon, MessageIcon::Information);
}

TEST_F(ImportToArchiveTest, NothingToImportOrACancelLeavesTheArchiveAlone) {
  Command(QStringLiteral("x")).Import({QString::fromStdString((dir_.Path() / "kiln" / "notes.txt").string())});
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].text, "没有可导入的数据文件（.bin、.dat、.csv）。");
  EXPECT_TRUE(asked_.empty());
  Command(std::nullopt).Import({QString::fromStdString((dir_.Path() / "kiln").string())});
  EXPECT_EQ(asked_.size(), 1u);
  EXPECT_FALSE(fs::exists(dir_.File("a.sqlite")));
  // The menu's dialogs: cancelled, nothing happens.
  ArchiveImportCommand command = Command(QStringLiteral("x"));
  command.ChooseFilesAndImport();
  command.ChooseFolderAndImport();
  EXPECT_EQ(asked_.size(), 1u);
  prompts_.folders.push_back(QString::fromStdString((dir_.Path() / "kiln" / "may").string()));
  command.ChooseFolderAndImport();
  EXPECT_EQ(asked_.back().second, "may");
}

}  // namespace
}  // namespace vantiro
