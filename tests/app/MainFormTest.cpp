#include <gtest/gtest.h>

#include <unistd.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QToolBar>
#include <filesystem>
#include <fstream>
#include <memory>

#include "instrument/ui/TRealComSettingDlg.h"
#include "platform/Profile.h"
#include "platform/Registry.h"
#include "recorder/GbkText.h"
#include "support/RecorderFileBuilder.h"
#include "support/ScriptedPrompts.h"
#include "app/AppWindows.h"
#include "workbench/ui/DataListModel.h"
#include "app/AppDialogs.h"
#include "workbench/ui/TDataFilterDlg.h"
#include "app/TMainForm.h"
#include "platform/ui/TProcessDlg.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::RecorderFileBuilder;
using testing::RecorderSeconds;
using testing::ScriptedPrompts;

class MainFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::path(::testing::TempDir()) /
           ("mainform-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
  }
  void TearDown() override {
    windows_.reset();
    fs::remove_all(dir_);
  }

  TMainForm& Start() {
    windows_ = std::make_unique<AppWindows>();
    return *windows_->mainForm;
  }

  // Texts of list item `item`, as the table shows them.
  QStringList Item(int item) {
    QStringList texts;
    auto* model = windows_->mainForm->DataListViewModel;
    for (int c = 0; c < model->columnCount(); ++c) texts << model->index(item, c).data().toString();
    return texts;
  }
  QStringList Captions() {
    QStringList captions;
    auto* model = windows_->mainForm->DataListViewModel;
    for (int c = 0; c < model->columnCount(); ++c) {
      captions << model->headerData(c, Qt::Horizontal).toString();
    }
    return captions;
  }
  PageButtons Buttons() {
    TMainForm& f = *windows_->mainForm;
    return {f.FirstPageButton->isEnabled(), f.FrontPageButton->isEnabled(),
            f.NextPageButton->isEnabled(), f.EndPageButton->isEnabled()};
  }

  // One channel of `rows` samples, one a second.
  std::string WriteRowsFile(int rows) {
    RecorderFileBuilder file;
    file.Window({10, 5, 12, 0, 0, 0}, {10, 5, 13, 0, 0, 0}).Channels(0, 0).Range(0, 30000, 0, 4, 27);
    std::vector<std::int16_t> samples;
    for (int i = 0; i < rows; ++i) samples.push_back(static_cast<std::int16_t>(i));
    file.Block(0).Chain({{RecorderSeconds(2010, 5, 12, 10, 0, 0), 1, samples}});
    const fs::path path = dir_ / ("rows" + std::to_string(rows) + ".bin");
    file.WriteTo(path);
    return path;
  }

  // Channels 1 (mA) and 3 (℃): both at 10:00:00, only channel 3 at 10:00:01.
  std::string WriteTwoChannelFile() {
    RecorderFileBuilder file;
    file.Window({10, 5, 12, 0, 0, 0}, {10, 5, 13, 0, 0, 0}).Channels(0, 2);
    file.Range(0, 2000, 0, 3, 27).Range(1, 100, 0, 4, 20).Range(2, 2000, -2000, 2, 19);
    const std::int32_t t = RecorderSeconds(2010, 5, 12, 10, 0, 0);
    file.Block(0).Chain({{t, 1, {125}}});
    file.Block(2).Chain({{t, 1, {1234, -567}}});
    const fs::path path = dir_ / "two.bin";
    file.WriteTo(path);
    return path;
  }

  fs::path dir_;
  std::unique_ptr<AppWindows> windows_;
};

TEST_F(MainFormTest, StartsWithTheWindowsMenusAndStatesOfAFreshProgram) {
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  EXPECT_EQ(f.windowTitle(), "Vantiro");
  EXPECT_EQ(windows_->processDlg->windowTitle(), "Vantiro");
  EXPECT_EQ(windows_->form1->windowTitle(), "Form1");
  EXPECT_FALSE(windows_->form1->isVisible());

  // Pages: data table and trend chart shown, system overview hidden.
  ASSERT_EQ(f.PageControl->count(), 3);
  EXPECT_EQ(f.PageControl->tabText(0), "数据表");
  EXPECT_EQ(f.PageControl->tabText(1), "趋势图");
  EXPECT_EQ(f.PageControl->tabText(2), "系统总貌");
  EXPECT_TRUE(f.PageControl->isTabVisible(0));
  EXPECT_TRUE(f.PageControl->isTabVisible(1));
  EXPECT_FALSE(f.PageControl->isTabVisible(2));
  EXPECT_EQ(f.PageControl->currentWidget(), f.DataTabSheet);

  // Menus: texts, shortcuts, separators, visibility.
  auto entries = [](QMenu* menu) {
    QStringList list;
    for (QAction* a : menu->actions()) {
      if (a->isSeparator()) {
        list << "|";
      } else {
        QString entry = a->text();
        if (!a->shortcut().isEmpty()) entry += " " + a->shortcut().toString();
        if (!a->isVisible()) entry += " hidden";
        if (a->isVisible() && !a->isEnabled()) entry += " disabled";
        list << entry;
      }
    }
    return list.join(", ");
  };
  QStringList menus;
  for (QAction* a : f.menuBar()->actions()) menus << a->text();
  EXPECT_EQ(menus.join(", "), "文件(&F), 视图(&V), 实时监控(&R), 帮助(&H)");
  EXPECT_EQ(entries(f.FileOpenMenuItem),
            "打开(&O) Ctrl+O, 导入数据(&I) Ctrl+I hidden, |, 导入到档案, 打开档案…, |, 保存(&S) Ctrl+S, |, "
            "打印(&P) Ctrl+P, |, 退出(&E)");
  EXPECT_EQ(entries(f.ImportToArchiveMenu), "文件…, 文件夹…");
  EXPECT_EQ(entries(f.ViewMenuItem), "数据表(&D), 趋势图(&C), 系统总貌(&S) hidden, |, 峰值包络, |, 统一坐标, 按量程, 按单位分轴, |, 区间统计, 报警事件");
  EXPECT_TRUE(f.EnvelopeMenuItem->isCheckable());
  EXPECT_FALSE(f.EnvelopeMenuItem->isChecked());
  EXPECT_EQ(entries(f.RealMenuItem), "实时通信设置(&S), |, 启动(&R), 停止(&S) disabled, |, 通讯记录");
  EXPECT_EQ(entries(f.HelpMenuItem), "帮助(&H), OEM下装(&D) hidden, |, 关于(&A)");

  // Toolbar: order, hints, initial states.
  QStringList tools;
  for (QAction* a : f.ToolBar->actions()) {
    tools << (a->isSeparator() ? QString("|") : a->toolTip() + (a->isEnabled() ? "" : "-"));
  }
  EXPECT_EQ(tools.join(" "),
            "打开文件 打开档案 数据筛选条件设置 保存 | 打印 | 首页- 上一页- 下一页- 尾页- | 实时通信设置 运行 停止- | "
            "帮助");
  EXPECT_EQ(f.savedPageButtons, PageButtons{});
  EXPECT_FALSE(f.Timer->isActive());
  EXPECT_FALSE(f.TimerForAllowZoom->isActive());
  EXPECT_EQ(f.TimerForAllowZoom->interval(), 100);

  // The table: no columns, no items, read-only, whole rows, several at once, no header click.
  EXPECT_EQ(f.DataListViewModel->columnCount(), 0);
  EXPECT_EQ(f.DataListViewModel->rowCount(), 0);
  EXPECT_EQ(f.DataListView->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(f.DataListView->selectionMode(), QAbstractItemView::ExtendedSelection);
  EXPECT_EQ(f.DataListView->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_FALSE(f.DataListView->horizontalHeader()->sectionsClickable());
  EXPECT_TRUE(f.DataListView->showGrid());
}

TEST_F(MainFormTest, RegistrySwitchesShowTheImportAndDownloadItems) {
  struct Case {
    const char* importData;  // nullptr: value absent
    const char* oemdl;
    bool importShown;
    bool oemShown;
  };
  const Case cases[] = {
      {nullptr, nullptr, false, false}, {"1", "0", true, false}, {"0", "1", false, true},
      {"1", "1", true, true},           {"2", "x", false, false}, {" 1", "1 ", true, true},
  };
  for (const Case& c : cases) {
    fs::remove_all(dir_ / "config");
    if (c.importData) {
      ASSERT_TRUE(WriteRegistryInt(kVendorKey, "ImportData", 0));
      WriteProfileString(RegistryFilePath(), kVendorKey, "ImportData", c.importData);
    }
    if (c.oemdl) {
      fs::create_directories(fs::path(RegistryFilePath()).parent_path());
      WriteProfileString(RegistryFilePath(), kVendorKey, "OEMDL", c.oemdl);
    }
    ScriptedPrompts prompts;
    TMainForm& f = Start();
    EXPECT_EQ(f.ImportDataMenuItem->isVisible(), c.importShown) << c.importData;
    EXPECT_EQ(f.OEMDownLoad->isVisible(), c.oemShown) << c.oemdl;
    // The key exists afterwards, also when it was missing.
    EXPECT_TRUE(ProfileFile::Load(RegistryFilePath()).HasSection(kVendorKey));
    windows_.reset();
  }
}

TEST_F(MainFormTest, OpenLoadsTheFileBehindTheProgressDialogIntoTheTable) {
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  QAbstractItemModelTester tester(f.DataListViewModel,
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  prompts.openFiles.push_back(QString::fromStdString(WriteTwoChannelFile()));
  f.OpenFileButton->trigger();

  EXPECT_EQ(prompts.openFilters.back(), "二进制文件(*.bin)|*.bin|数据文件(*.dat)|*.dat");
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(windows_->processDlg->Text(), "数据正在加载，请稍等...");
  EXPECT_EQ(windows_->processDlg->Maximum(), 4);  // three channels + 1
  EXPECT_EQ(windows_->processDlg->Position(), 4);
  EXPECT_FALSE(windows_->processDlg->isVisible());

  EXPECT_EQ(Captions().join(","), "序号,时间,通道1(mA),通道2(%),通道3(℃)");
  // Laid-out widths; a wider desktop font may widen a column so that nothing is cut off.
  const int widths[] = {50, 120, 70, 70, 70};
  for (int c = 0; c < 5; ++c) {
    EXPECT_EQ(f.DataListViewModel->Columns()[static_cast<std::size_t>(c)].width, widths[c]) << c;
    EXPECT_GE(f.DataListView->columnWidth(c), widths[c]) << c;
  }
  ASSERT_EQ(f.DataListViewModel->rowCount(), 2);
  EXPECT_EQ(Item(0).join("|"), "1|2010-05-12 10:00:00|12.500|-|12.340");
  EXPECT_EQ(Item(1).join("|"), "2|2010-05-12 10:00:01|-|-|-5.670");
  EXPECT_EQ(Buttons(), PageButtons{});
  EXPECT_EQ(f.savedPageButtons, PageButtons{});
  EXPECT_TRUE(f.DataFilterButton->isEnabled());
  EXPECT_EQ(windows_->dataFilterDlg->filterStart, f.summary.startTime);
  EXPECT_EQ(windows_->dataFilterDlg->filterEnd, f.summary.endTime);
  EXPECT_EQ(f.summary.sampleCount, 3);
}

TEST_F(MainFormTest, CancellingTheOpenDialogChangesNothing) {
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  prompts.openFiles = {QString::fromStdString(WriteTwoChannelFile()), ""};
  f.OpenFileButtonClick();
  const DatasetSummary before = f.summary;
  f.OpenFileMenuItem->trigger();  // cancelled
  EXPECT_EQ(prompts.openFilters.size(), 2u);
  EXPECT_EQ(f.channels.size(), 3u);
  EXPECT_EQ(f.summary.sampleCount, before.sampleCount);
  EXPECT_EQ(f.DataListViewModel->rowCount(), 2);
}

TEST_F(MainFormTest, AReaderFailureIsShownWhileLoadingAndTheViewShowsWhatWasRead) {
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 0, 0, 0}, {10, 5, 13, 0, 0, 0}).Channels(0, 1);
  const std::int32_t t = RecorderSeconds(2010, 5, 12, 10, 0, 0);
  file.Block(0).Chain({{t, 1, {5, 6}}});
  file.Block(1).Chain({{t, 1, {7}}});
  file.BlockCount(1, 3);  // two blocks missing
  const fs::path path = dir_ / "short.bin";
  file.WriteTo(path);

  bool progressShown = false;
  prompts.onMessage = [&] { progressShown = windows_->processDlg->isVisible(); };
  prompts.openFiles.push_back(QString::fromStdString(path));
  f.OpenFileButtonClick();

  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "文件读取失败。");
  EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Error);
  EXPECT_TRUE(progressShown);
  // The box stands over the progress dialog, not behind it over the main window.
  EXPECT_EQ(prompts.messages[0].parent, windows_->processDlg);
  EXPECT_EQ(Captions().join(","), "序号,时间,通道1(m3/h)");
  EXPECT_EQ(f.DataListViewModel->rowCount(), 2);
}

TEST_F(MainFormTest, AMissingFileLeavesAnEmptyTable) {
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  prompts.openFiles.push_back(QString::fromStdString(dir_ / "missing.bin"));
  f.OpenFileButtonClick();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "打开文件失败。");
  EXPECT_FALSE(fs::exists(dir_ / "missing.bin"));
  EXPECT_EQ(Captions().join(","), "序号,时间");
  EXPECT_EQ(f.DataListViewModel->rowCount(), 0);
  EXPECT_EQ(Buttons(), PageButtons{});
}

TEST_F(MainFormTest, PagingWalksThePagesWithRowNumbersAcrossPages) {
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  QAbstractItemModelTester tester(f.DataListViewModel,
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  prompts.openFiles.push_back(QString::fromStdString(WriteRowsFile(1234)));
  f.OpenFileButtonClick();
  auto* m = f.DataListViewModel;

  EXPECT_EQ(m->rowCount(), 500);
  EXPECT_EQ(Buttons(), (PageButtons{false, false, true, true}));
  const QStringList firstPage = Item(0);
  EXPECT_EQ(firstPage.join("|"), "1|2010-05-12 10:00:00|0.000");

  f.NextPageButton->trigger();
  EXPECT_EQ(Item(0)[0], "501");
  EXPECT_EQ(Buttons(), (PageButtons{true, true, true, true}));
  f.NextPageButton->trigger();
  EXPECT_EQ(m->rowCount(), 234);
  EXPECT_EQ(Item(233)[0], "1234");
  EXPECT_EQ(Buttons(), (PageButtons{true, true, false, false}));
  f.FrontPageButton->trigger();
  EXPECT_EQ(m->rowCount(), 500);
  EXPECT_EQ(Item(0)[0], "501");
  EXPECT_EQ(Item(499)[0], "1000");
  EXPECT_EQ(Buttons(), (PageButtons{true, true, true, true}));
  f.FrontPageButton->trigger();
  EXPECT_EQ(Item(0)[0], "1");
  EXPECT_EQ(Buttons(), (PageButtons{false, false, true, true}));

  f.EndPageButton->trigger();
  EXPECT_EQ(m->rowCount(), 234);
  EXPECT_EQ(Item(0)[0], "1001");
  f.FirstPageButton->trigger();
  EXPECT_EQ(Item(0), firstPage);
  EXPECT_EQ(f.pageStart, 0u);
  EXPECT_EQ(f.pageEnd, 500u);
}

TEST_F(MainFormTest, PageButtonsAreRememberedWhileAnotherPageIsShown) {
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  prompts.openFiles.push_back(QString::fromStdString(WriteRowsFile(1234)));
  f.OpenFileButtonClick();
  f.NextPageButtonClick();
  const PageButtons middle{true, true, true, true};
  ASSERT_EQ(Buttons(), middle);

  f.ChartMenuItem->trigger();
  EXPECT_EQ(f.activeTab, 1);
  EXPECT_EQ(Buttons(), PageButtons{});
  EXPECT_TRUE(f.SaveFileButton->isEnabled());
  f.DataTableMenuItem->trigger();
  EXPECT_EQ(f.activeTab, 0);
  EXPECT_EQ(Buttons(), middle);
  f.DataTableMenuItem->trigger();  // already on show: nothing changes
  EXPECT_EQ(Buttons(), middle);

  // Chart, then system overview, then the table: the states of the table page come back.
  f.ChartTabSheetShow();
  f.SystemCaseTabSheetShow();
  EXPECT_EQ(f.activeTab, 2);
  EXPECT_FALSE(f.DataFilterButton->isEnabled());
  EXPECT_FALSE(f.SaveFileButton->isEnabled());
  EXPECT_FALSE(f.PrintMenuItem->isEnabled());
  f.DataTabSheetShow();
  EXPECT_EQ(Buttons(), middle);
  EXPECT_TRUE(f.SaveFileMenuItem->isEnabled());
}

TEST_F(MainFormTest, LoadingWhileTheChartIsShownKeepsNextAndLastForTheTablePage) {
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  f.PageControl->setCurrentWidget(f.ChartTabSheet);
  prompts.openFiles.push_back(QString::fromStdString(WriteRowsFile(501)));
  f.OpenFileButtonClick();
  EXPECT_EQ(Buttons(), PageButtons{});
  EXPECT_EQ(f.savedPageButtons, (PageButtons{false, false, true, true}));
  f.PageControl->setCurrentWidget(f.DataTabSheet);
  EXPECT_EQ(Buttons(), (PageButtons{false, false, true, true}));

  prompts.openFiles.push_back(QString::fromStdString(WriteRowsFile(500)));
  f.OpenFileButtonClick();
  EXPECT_EQ(f.DataListViewModel->rowCount(), 500);
  EXPECT_EQ(Buttons(), PageButtons{});
}

TEST_F(MainFormTest, OnlyTheRowsAskedForAreFormatted) {
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  prompts.openFiles.push_back(QString::fromStdString(WriteRowsFile(1234)));
  f.OpenFileButtonClick();
  EXPECT_EQ(f.DataListViewModel->FormattedRows(), 0u);
  f.EndPageButtonClick();
  Item(7);
  Item(7);
  EXPECT_EQ(f.DataListViewModel->FormattedRows(), 1u);
  EXPECT_EQ(Item(7)[0], "1008");
}

TEST_F(MainFormTest, ImportReadsACsvFileThroughTheSamePipeline) {
  WriteRegistryInt(kVendorKey, "ImportData", 1);
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  ASSERT_TRUE(f.ImportDataMenuItem->isVisible());
  const fs::path csv = dir_ / "samples.csv";
  {
    std::ofstream out(csv, std::ios::binary);
    out << Utf8ToGbk("序号,通道,数值,时间,单位\r\n"
                     "1,3,25.5,2010年05月12日 10:11:12,℃\r\n"
                     "2,1,1.25,2010-05-12 10:11:12,mA\r\n"
                     "3,3,26,2010-05-12 10:11:13,%\r\n");
  }
  prompts.openFiles.push_back(QString::fromStdString(csv));
  f.ImportDataMenuItem->trigger();
  EXPECT_EQ(prompts.openFilters.back(), "CSV文件(*.csv)|*.csv");
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(Captions().join(","), "序号,时间,通道3(℃),通道1(mA)");
  ASSERT_EQ(f.DataListViewModel->rowCount(), 2);
  EXPECT_EQ(Item(0).join("|"), "1|2010-05-12 10:11:12|25.500|1.250");
  EXPECT_EQ(Item(1).join("|"), "2|2010-05-12 10:11:13|26.000|-");
  EXPECT_EQ(f.summary.sampleCount, 3);

  // An import that accepts nothing keeps the previous span and shows an empty table.
  const fs::path empty = dir_ / "header-only.csv";
  std::ofstream(empty) << "a,b,c,d,e\n";
  const DatasetSummary before = f.summary;
  prompts.openFiles.push_back(QString::fromStdString(empty));
  f.ImportData();
  EXPECT_EQ(f.summary.sampleCount, 0);
  EXPECT_EQ(f.summary.startTime, before.startTime);
  EXPECT_EQ(f.summary.endTime, before.endTime);
  EXPECT_EQ(f.DataListViewModel->rowCount(), 0);

  prompts.openFiles.push_back(QString::fromStdString(dir_ / "none.csv"));
  f.ImportData();
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, "导入文件失败。");
}

TEST_F(MainFormTest, HelpOpensTheGuideWithoutAHelpFileAndAboutShowsTheVersion) {
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  f.HelpButton->trigger();
  f.H1->trigger();
  ASSERT_EQ(prompts.documents.size(), 2u);
  // No help.chm beside the test program: the bundled guide, which the build puts beside bin/.
  EXPECT_TRUE(prompts.documents[0].endsWith("/share/vantiro/guide/index.html"))
      << prompts.documents[0].toStdString();
  EXPECT_TRUE(fs::is_regular_file(prompts.documents[0].toStdString()));
  EXPECT_EQ(prompts.documents[1], prompts.documents[0]);

  bool shown = false;
  QString text;
  QTimer::singleShot(0, [&] {
    shown = windows_->aboutBox->isVisible();
    for (auto* label : windows_->aboutBox->findChildren<QLabel*>()) text += label->text() + " ";
    windows_->aboutBox->accept();
  });
  f.AboutIMenuItem->trigger();
  EXPECT_TRUE(shown);
  EXPECT_TRUE(text.contains("Vantiro"));
  EXPECT_TRUE(text.contains("1.3.5.4"));
}

TEST_F(MainFormTest, CommunicationSettingsOpenModallyFilledFromTheFile) {
  ScriptedPrompts prompts;
  TMainForm& f = Start();
  TRealComSettingDlg* dlg = windows_->realComSettingDlg;
  const std::string ini = dir_ / "config.ini";
  dlg->SetIniPath(ini);

  struct Seen {
    bool modal = false;
    QString port;
    QString baudRate;
    bool channel3Ticked = true;
  };
  // Opens the dialog through `command`, notes what it shows, edits the port and leaves it with
  // `close`.
  auto open = [&](QAction* command, QPushButton* close) {
    Seen seen;
    QTimer::singleShot(0, dlg, [&] {
      seen.modal = QApplication::activeModalWidget() == dlg;
      seen.port = dlg->ComPortComboBox->currentText();
      seen.baudRate = dlg->BaudRateComboBox->currentText();
      seen.channel3Ticked = dlg->CheckListBox1->item(2)->checkState() == Qt::Checked;
      dlg->ComPortComboBox->setCurrentIndex(9);
      close->click();
    });
    command->trigger();
    return seen;
  };

  std::ofstream(ini) << "[COM]\nport=2\nbaudRate=5\n[CHANNEL]\nCH03=0\n";
  Seen seen = open(f.ComSettingButton, dlg->CancelBtn);
  EXPECT_TRUE(seen.modal);
  EXPECT_EQ(seen.port, "COM3");
  EXPECT_EQ(seen.baudRate, "57600");
  EXPECT_FALSE(seen.channel3Ticked);
  EXPECT_EQ(ReadProfileInt(ini, "COM", "port", -99), 2);  // cancelled

  // Each opening reads the file again; OK writes the edit.
  std::ofstream(ini) << "[COM]\nport=7\n";
  seen = open(f.ComSettingMenuItem, dlg->OKBtn);
  EXPECT_TRUE(seen.modal);
  EXPECT_EQ(seen.port, "COM8");
  EXPECT_EQ(seen.baudRate, "19200");
  EXPECT_TRUE(seen.channel3Ticked);
  EXPECT_EQ(ReadProfileInt(ini, "COM", "port", -99), 9);
  EXPECT_FALSE(dlg->isVisible());
}

TEST(ProcessDlgTest, ACloseRequestMadeBeforeTheShowIsNotLost) {
  TProcessDlg dialog;
  dialog.RequestClose();
  dialog.RunModal();  // returns at once instead of waiting forever
  EXPECT_FALSE(dialog.isVisible());
  dialog.SetMax(10);
  dialog.StepBy(3);
  EXPECT_EQ(dialog.Position(), 3);
  dialog.ResetPosition();
  EXPECT_EQ(dialog.Position(), 0);
  EXPECT_EQ(dialog.size(), QSize(282, 88));
  EXPECT_FALSE(dialog.windowFlags() & Qt::WindowCloseButtonHint);
}

}  // namespace
}  // namespace vantiro
