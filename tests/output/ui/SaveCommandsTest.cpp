#include <gtest/gtest.h>

#include <unistd.h>

#include <QAction>
#include <QImage>
#include <QTabWidget>
#include <filesystem>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "chart/ui/TrendChart.h"
#include "output/ui/ChartImage.h"
#include "recorder/GbkText.h"
#include "support/FileSizeLimit.h"
#include "support/RecorderFileBuilder.h"
#include "support/ScriptedPrompts.h"
#include "support/NonRegularFiles.h"
#include "support/TempDir.h"
#include "app/AppWindows.h"
#include "workbench/ui/DataListModel.h"
#include "app/TMainForm.h"
#include "platform/ui/TProcessDlg.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::FileSizeLimit;
using testing::ReadText;
using testing::SplitLines;
using testing::RecorderFileBuilder;
using testing::RecorderSeconds;
using testing::ScriptedPrompts;
using testing::TempDir;
using testing::WriteText;

const QString kNothingToSave = QStringLiteral("没有需要保存的内容");
const QString kOverwrite = QStringLiteral("指定文件已经存在，是否覆盖？");
const QString kCsvFilter = QStringLiteral("CSV Files(*.csv)|*.csv");
// With a recording's samples on hand the chart page also offers those of the visible window.
const QString kChartFilter =
    QStringLiteral("Bitmap files(*.bmp)|*.bmp|JPEG files(*.jpg)|*.jpg|CSV Files - 可见范围数据(*.csv)|*.csv");

std::set<std::string> Names(const fs::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

class SaveCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", (dir_.Path() / "config").c_str(), 1);
    fs::create_directories(out_);
  }
  void TearDown() override { windows_.reset(); }

  TMainForm& Start() {
    windows_ = std::make_unique<AppWindows>();
    return *windows_->mainForm;
  }

  // One channel (1, mA) of `rows` samples, one a second from 10:00:00, valued 0, 1, 2, ...
  std::string WriteRowsFile(int rows) {
    RecorderFileBuilder file;
    file.Window({10, 5, 12, 0, 0, 0}, {10, 5, 13, 0, 0, 0}).Channels(0, 0).Range(0, 30000, 0, 4, 27);
    std::vector<std::int16_t> samples;
    for (int i = 0; i < rows; ++i) samples.push_back(static_cast<std::int16_t>(i));
    file.Block(0).Chain({{RecorderSeconds(2010, 5, 12, 10, 0, 0), 1, samples}});
    const fs::path path = dir_.Path() / ("rows" + std::to_string(rows) + ".bin");
    file.WriteTo(path);
    return path;
  }

  // A form with `rows` rows loaded, on the page on show after `nextPages` page turns.
  TMainForm& Loaded(ScriptedPrompts& prompts, int rows, int nextPages = 0) {
    TMainForm& f = Start();
    prompts.openFiles.push_back(QString::fromStdString(WriteRowsFile(rows)));
    f.OpenFileButtonClick();
    for (int i = 0; i < nextPages; ++i) f.NextPageButtonClick();
    prompts.messages.clear();
    return f;
  }

  QString Out(const char* name) const { return QString::fromStdString((out_ / name).string()); }

  TempDir dir_;
  fs::path out_ = dir_.Path() / "out";
  std::unique_ptr<AppWindows> windows_;
};

TEST_F(SaveCommandsTest, TheTablePageIsExportedBehindTheProgressDialog) {
  ScriptedPrompts prompts;
  TMainForm& f = Loaded(prompts, 1234, 1);
  ASSERT_EQ(f.pageStart, 500u);
  prompts.saveFiles.push_back(Out("page2.csv"));
  f.SaveFileButton->trigger();

  ASSERT_EQ(prompts.saveDialogs.size(), 1u);
  EXPECT_EQ(prompts.saveDialogs[0].title, "保存到Excel...");
  EXPECT_EQ(prompts.saveDialogs[0].filter, kCsvFilter);
  EXPECT_EQ(prompts.saveDialogs[0].defaultSuffix, "csv");
  EXPECT_EQ(prompts.saveDialogs[0].fileName, "");
  EXPECT_TRUE(prompts.questions.empty());
  EXPECT_TRUE(prompts.messages.empty());

  TProcessDlg& progress = *windows_->processDlg;
  EXPECT_EQ(progress.Text(), "数据正在导出，请稍等...");
  EXPECT_EQ(progress.Maximum(), 6);  // 500 / 100 + 1
  EXPECT_EQ(progress.Position(), 5);  // rows 0-100, then four chunks of 100 or fewer
  EXPECT_FALSE(progress.isVisible());

  const std::string bytes = ReadText((out_ / "page2.csv").string());
  EXPECT_EQ(bytes.find('\r'), std::string::npos);
  const std::vector<std::string> lines = SplitLines(GbkToUtf8(bytes));
  ASSERT_EQ(lines.size(), 501u);
  EXPECT_EQ(lines[0], "序号,时间,通道1(mA)");
  EXPECT_EQ(lines[1], "501,2010年05月12日 10:08:20,500.000");
  EXPECT_EQ(lines[500], "1000,2010年05月12日 10:16:39,999.000");
  EXPECT_EQ(Names(out_), std::set<std::string>{"page2.csv"});
}

TEST_F(SaveCommandsTest, AnExistingFileIsOverwrittenOnlyAfterYes) {
  struct Case {
    const char* name;
    std::deque<bool> answers;  // empty: the question is closed without an answer
    bool replaced;
  };
  const Case cases[] = {
      {"yes", {true}, true},
      {"no", {false}, false},
      {"closed", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPrompts prompts;
    TMainForm& f = Loaded(prompts, 3);
    const std::string path = (out_ / "existing.csv").string();
    WriteText(path, std::string(5000, 'o'));
    prompts.saveFiles.push_back(QString::fromStdString(path));
    prompts.answers = c.answers;
    f.SaveFileMenuItem->trigger();
    EXPECT_EQ(prompts.questions, std::vector<QString>{kOverwrite});
    EXPECT_TRUE(prompts.messages.empty());
    if (c.replaced) {
      EXPECT_EQ(GbkToUtf8(ReadText(path)),
                "序号,时间,通道1(mA)\n"
                "1,2010年05月12日 10:00:00,0.000\n"
                "2,2010年05月12日 10:00:01,1.000\n"
                "3,2010年05月12日 10:00:02,2.000\n");
    } else {
      EXPECT_EQ(ReadText(path), std::string(5000, 'o'));
      EXPECT_NE(windows_->processDlg->Text(), "数据正在导出，请稍等...");
    }
    EXPECT_EQ(Names(out_), std::set<std::string>{"existing.csv"});
    windows_.reset();
  }
}

TEST_F(SaveCommandsTest, CancellingTheDialogSavesNothing) {
  ScriptedPrompts prompts;
  TMainForm& f = Loaded(prompts, 3);
  prompts.saveFiles.push_back("");
  f.SaveFileButtonClick();
  f.ChartMenuItemClick();
  prompts.saveFiles.push_back("");
  f.SaveFileButtonClick();
  EXPECT_EQ(prompts.saveDialogs.size(), 2u);
  EXPECT_TRUE(prompts.questions.empty());
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_TRUE(Names(out_).empty());
  // A cancelled dialog keeps the name it offered.
  EXPECT_EQ(prompts.saveDialogs[1].fileName, "chart");
}

TEST_F(SaveCommandsTest, NothingToSaveIsANoticeWithoutADialog) {
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  for (QWidget* page : {f.DataTabSheet, f.ChartTabSheet}) {
    f.PageControl->setCurrentWidget(page);
    prompts.messages.clear();
    f.SaveFileButtonClick();
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kNothingToSave);
    EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Information);
  }
  // A load that read nothing leaves an empty table and chart.
  prompts.openFiles.push_back(QString::fromStdString((dir_.Path() / "missing.bin").string()));
  f.OpenFileButtonClick();
  f.PageControl->setCurrentWidget(f.DataTabSheet);
  prompts.messages.clear();
  f.SaveFileButtonClick();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, kNothingToSave);
  EXPECT_TRUE(prompts.saveDialogs.empty());
}

TEST_F(SaveCommandsTest, TheSystemOverviewPageSavesNothing) {
  ScriptedPrompts prompts;
  TMainForm& f = Loaded(prompts, 3);
  f.SystemCaseTabSheetShow();
  ASSERT_EQ(f.activeTab, 2);
  prompts.saveFiles.push_back(Out("overview.csv"));
  f.SaveFileButtonClick();
  EXPECT_TRUE(prompts.saveDialogs.empty());
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_TRUE(Names(out_).empty());
}

TEST_F(SaveCommandsTest, TheChartIsSavedAsABitmapWhateverTheExtension) {
  ScriptedPrompts prompts;
  TMainForm& f = Loaded(prompts, 100);
  f.ChartMenuItem->trigger();
  ASSERT_EQ(f.activeTab, 1);
  const QString before = windows_->processDlg->Text();
  for (const char* name : {"chart.jpg", "chart.bmp", "picture"}) {
    SCOPED_TRACE(name);
    prompts.saveFiles.push_back(Out(name));
    f.SaveFileButtonClick();
    const std::string bytes = ReadText((out_ / name).string());
    ASSERT_GE(bytes.size(), 54u);
    EXPECT_EQ(bytes.substr(0, 2), "BM");
    QImage image;
    ASSERT_TRUE(image.loadFromData(reinterpret_cast<const uchar*>(bytes.data()),
                                   static_cast<int>(bytes.size()), "BMP"));
    // The chart as displayed: its size on screen and what it draws.
    EXPECT_EQ(image.size(), f.Chart->size());
    const QImage shown = f.Chart->Render(f.Chart->width(), f.Chart->height())
                             .convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(image.convertToFormat(QImage::Format_RGB32), shown);
  }
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_TRUE(prompts.questions.empty());
  EXPECT_EQ(windows_->processDlg->Text(), before);  // no progress dialog
  for (const auto& dialog : prompts.saveDialogs) {
    EXPECT_EQ(dialog.filter, kChartFilter);
    EXPECT_EQ(dialog.defaultSuffix, "bmp");
    EXPECT_EQ(dialog.fileName, "chart");
    EXPECT_EQ(dialog.title, "");  // the dialog's own title until a table save sets one
  }

  // Over an existing file only after Yes.
  prompts.saveFiles = {Out("chart.jpg"), Out("chart.jpg")};
  WriteText((out_ / "chart.jpg").string(), "old");
  prompts.answers = {false};
  f.SaveFileButtonClick();
  EXPECT_EQ(ReadText((out_ / "chart.jpg").string()), "old");
  prompts.answers = {true};
  f.SaveFileButtonClick();
  EXPECT_EQ(ReadText((out_ / "chart.jpg").string()).substr(0, 2), "BM");
  EXPECT_EQ(prompts.questions, (std::vector<QString>{kOverwrite, kOverwrite}));
}

TEST_F(SaveCommandsTest, TheSaveDialogKeepsWhatNoCaseSets) {
  ScriptedPrompts prompts;
  TMainForm& f = Loaded(prompts, 3);
  prompts.saveFiles = {Out("table.csv"), Out("picture.bmp"), Out("again.csv"), Out("chart2.bmp")};
  f.SaveFileButtonClick();   // table
  f.ChartMenuItemClick();
  f.SaveFileButtonClick();   // chart
  f.DataTableMenuItemClick();
  f.SaveFileButtonClick();   // table
  f.ChartMenuItemClick();
  f.SaveFileButtonClick();   // chart
  ASSERT_EQ(prompts.saveDialogs.size(), 4u);
  struct Expected {
    const char* title;
    const QString& filter;
    const char* suffix;
    QString fileName;
  };
  const Expected expected[] = {
      {"保存到Excel...", kCsvFilter, "csv", ""},
      {"保存到Excel...", kChartFilter, "bmp", "chart"},     // title kept from the table save
      {"保存到Excel...", kCsvFilter, "csv", Out("picture.bmp")},  // the name chosen last
      {"保存到Excel...", kChartFilter, "bmp", "chart"},
  };
  for (std::size_t i = 0; i < 4; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(prompts.saveDialogs[i].title, expected[i].title);
    EXPECT_EQ(prompts.saveDialogs[i].filter, expected[i].filter);
    EXPECT_EQ(prompts.saveDialogs[i].defaultSuffix, expected[i].suffix);
    EXPECT_EQ(prompts.saveDialogs[i].fileName, expected[i].fileName);
  }
  EXPECT_EQ(Names(out_),
            (std::set<std::string>{"again.csv", "chart2.bmp", "picture.bmp", "table.csv"}));
}

TEST_F(SaveCommandsTest, AFailedExportShowsTheMessageAndKeepsThePreviousFile) {
  ScriptedPrompts prompts;
  TMainForm& f = Loaded(prompts, 1234);
  const std::string path = (out_ / "page1.csv").string();
  WriteText(path, "the previous export\n");
  bool progressShown = false;
  prompts.onMessage = [&] { progressShown = windows_->processDlg->isVisible(); };
  prompts.saveFiles.push_back(QString::fromStdString(path));
  prompts.answers = {true};
  {
    FileSizeLimit limit(8000);  // the page needs about 20,000 bytes
    f.SaveFileButtonClick();
  }
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "文件保存失败，请重试！");
  EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Error);
  EXPECT_TRUE(progressShown);
  EXPECT_FALSE(windows_->processDlg->isVisible());
  EXPECT_EQ(ReadText(path), "the previous export\n");
  EXPECT_EQ(Names(out_), std::set<std::string>{"page1.csv"});

  // A file that cannot be created.
  prompts.messages.clear();
  prompts.saveFiles.push_back(Out("missing/page1.csv"));
  f.SaveFileButtonClick();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "文件保存失败，请重试！");
  EXPECT_EQ(Names(out_), std::set<std::string>{"page1.csv"});

  // Afterwards the same save succeeds.
  prompts.messages.clear();
  prompts.saveFiles.push_back(QString::fromStdString(path));
  prompts.answers = {true};
  f.SaveFileButtonClick();
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(SplitLines(GbkToUtf8(ReadText(path))).size(), 501u);
}

// The window's four saves, each reached as a user reaches it.
enum class Save { Table, Chart, ListPdf, ChartPdf };
const char* SaveName(Save save) {
  switch (save) {
    case Save::Table: return "table page as CSV";
    case Save::Chart: return "chart image";
    case Save::ListPdf: return "list report as PDF";
    case Save::ChartPdf: return "chart report as PDF";
  }
  return "";
}
constexpr Save kEverySave[] = {Save::Table, Save::Chart, Save::ListPdf, Save::ChartPdf};

// Runs one save of the loaded form `f` to `path` (the name the save dialog answers).
void RunSave(TMainForm& f, ScriptedPrompts& prompts, Save save, const QString& path) {
  prompts.saveFiles.push_back(path);
  const bool chartPage = save == Save::Chart || save == Save::ChartPdf;
  if (chartPage) {
    f.ChartMenuItemClick();
  } else {
    f.DataTableMenuItemClick();
  }
  if (save == Save::Table || save == Save::Chart) {
    f.SaveFileButtonClick();
  } else {
    prompts.pressSavePdf = true;  // the preview's "保存为PDF"
    f.PrintButtonClick();
    prompts.pressSavePdf = false;
  }
}

// Whether `bytes` are the whole of what `save` writes for the 300-row recording.
void ExpectWhole(Save save, const std::string& bytes) {
  switch (save) {
    case Save::Table:
      EXPECT_EQ(SplitLines(GbkToUtf8(bytes)).size(), 301u);  // the title line and every row
      return;
    case Save::Chart:
      EXPECT_EQ(bytes.substr(0, 2), "BM");
      return;
    case Save::ListPdf:
    case Save::ChartPdf:
      EXPECT_EQ(bytes.substr(0, 5), "%PDF-");
      EXPECT_NE(bytes.find("%%EOF", bytes.size() > 64 ? bytes.size() - 64 : 0), std::string::npos);
      return;
  }
}

TEST_F(SaveCommandsTest, EverySaveWritesItsFileAndAsksBeforeReplacingOne) {
  ScriptedPrompts prompts;
  TMainForm& f = Loaded(prompts, 300);
  for (Save save : kEverySave) {
    SCOPED_TRACE(SaveName(save));
    const std::string path = (out_ / "saved").string();
    fs::remove(path);
    prompts.questions.clear();
    RunSave(f, prompts, save, QString::fromStdString(path));
    EXPECT_TRUE(prompts.questions.empty());
    ExpectWhole(save, ReadText(path));
    // Over an existing file: No keeps it, Yes replaces it.
    WriteText(path, "old");
    prompts.answers = {false};
    RunSave(f, prompts, save, QString::fromStdString(path));
    EXPECT_EQ(ReadText(path), "old");
    prompts.answers = {true};
    RunSave(f, prompts, save, QString::fromStdString(path));
    ExpectWhole(save, ReadText(path));
    EXPECT_EQ(prompts.questions, (std::vector<QString>{kOverwrite, kOverwrite}));
    EXPECT_TRUE(prompts.messages.empty());
    EXPECT_EQ(Names(out_), std::set<std::string>{"saved"});
  }
}

TEST_F(SaveCommandsTest, EverySaveThatCannotBeWrittenSaysSoAndKeepsThePreviousFile) {
  ScriptedPrompts prompts;
  TMainForm& f = Loaded(prompts, 1234);
  struct Failure {
    const char* name;
    const char* file;
    bool sizeLimit;  // the file-size limit (a full disk fails the same writes)
  };
  const Failure failures[] = {
      {"file-size limit", "previous", true},
      {"folder missing", "missing/previous", false},
  };
  for (Save save : kEverySave) {
    for (const Failure& failure : failures) {
      SCOPED_TRACE(std::string(SaveName(save)) + ", " + failure.name);
      const std::string previous = (out_ / "previous").string();
      WriteText(previous, "the previous file\n");
      prompts.messages.clear();
      prompts.answers = {true};
      {
        std::unique_ptr<FileSizeLimit> limit;
        if (failure.sizeLimit) limit = std::make_unique<FileSizeLimit>(1000);
        RunSave(f, prompts, save, QString::fromStdString((out_ / failure.file).string()));
      }
      ASSERT_EQ(prompts.messages.size(), 1u);
      EXPECT_EQ(prompts.messages[0].text, "文件保存失败，请重试！");
      EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Error);
      EXPECT_EQ(ReadText(previous), "the previous file\n");
      EXPECT_EQ(Names(out_), std::set<std::string>{"previous"});  // no temporary file left
    }
  }
}

TEST_F(SaveCommandsTest, EverySaveRefusesASpecialFileAndLeavesItAsItWas) {
  ScriptedPrompts prompts;
  TMainForm& f = Loaded(prompts, 300);
  const std::string fifo = (out_ / "pipe").string();
  ASSERT_TRUE(testing::MakeFifo(fifo));
  const std::string socket = (out_ / "sock").string();
  ASSERT_TRUE(testing::MakeSocketNode(socket));
  const std::string device = (out_ / "null").string();
  const bool haveDevice = testing::MakeNullDevice(device);
  fs::create_symlink(fifo, out_ / "link");
  std::vector<std::pair<std::string, mode_t>> nodes = {{fifo, S_IFIFO}, {socket, S_IFSOCK}};
  if (haveDevice) nodes.push_back({device, S_IFCHR});
  const std::set<std::string> before = Names(out_);
  for (Save save : kEverySave) {
    for (const std::string& target : {fifo, socket, device, (out_ / "link").string()}) {
      if (target == device && !haveDevice) continue;
      SCOPED_TRACE(std::string(SaveName(save)) + " to " + target);
      prompts.messages.clear();
      prompts.questions.clear();
      prompts.answers = {true};
      RunSave(f, prompts, save, QString::fromStdString(target));
      ASSERT_EQ(prompts.messages.size(), 1u);
      EXPECT_EQ(prompts.messages[0].text, "文件保存失败，请重试！");
      EXPECT_TRUE(prompts.questions.empty());  // nothing to ask: it is refused at once
      for (const auto& [node, type] : nodes) EXPECT_EQ(testing::NodeType(node), type) << node;
      EXPECT_EQ(testing::NodeType((out_ / "link").string()), static_cast<mode_t>(S_IFLNK));
      EXPECT_EQ(Names(out_), before);
    }
  }
}

}  // namespace
}  // namespace vantiro
