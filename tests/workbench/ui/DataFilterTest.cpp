// The data filter: its dialog (controls, checks, what OK commits and Cancel keeps) and the filter
// command of the main window (table, chart, page buttons, the context menu of the table).
#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTimeEdit>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <memory>

#include "chart/ui/TrendChart.h"
#include "support/RecorderFileBuilder.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "workbench/FilterInput.h"
#include "app/AppWindows.h"
#include "workbench/ui/DataListModel.h"
#include "workbench/ui/TDataFilterDlg.h"
#include "app/TMainForm.h"
#include "platform/ui/TProcessDlg.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::RecorderFileBuilder;
using testing::RecorderSeconds;
using testing::ScriptedPrompts;

const DateTime T0 = *EncodeDateTime(2010, 8, 5, 10, 0, 0);
const QString kTimeMessage = QStringLiteral("开始-结束时间输入不正确。");
const QString kRowsMessage = QStringLiteral("请输入100-10000的整数。");

// Shows `dlg` modally through `open` (a command that calls exec(), or exec() itself) and lets
// `act` work on it while it is shown; a dialog left open is cancelled. True when it was shown.
bool WhileShown(QDialog& dlg, const std::function<void()>& act, const std::function<void()>& open) {
  bool shown = false;
  QTimer::singleShot(0, &dlg, [&] {
    if (!dlg.isVisible()) return;  // the command did not open it
    shown = true;
    act();
    if (dlg.isVisible()) dlg.reject();  // never leave the loop running
  });
  open();
  QCoreApplication::processEvents();  // a timer the command left unused fires here, harmlessly
  return shown;
}

void Tick(QListWidget* list, int item, bool ticked) {
  list->item(item)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
}

std::vector<bool> Ticks(const QListWidget* list) {
  std::vector<bool> ticks;
  for (int i = 0; i < list->count(); ++i) ticks.push_back(list->item(i)->checkState() == Qt::Checked);
  return ticks;
}

// ---------------------------------------------------------------------------------------------
// The dialog on its own

class DataFilterDlgTest : public ::testing::Test {
 protected:
  // exec() with `act` while shown; exec()'s result.
  int RunModal(const std::function<void()>& act) {
    int result = -1;
    EXPECT_TRUE(WhileShown(dlg_, act, [&] { result = dlg_.exec(); }));
    return result;
  }

  ScriptedPrompts prompts_;
  TDataFilterDlg dlg_;
};

TEST_F(DataFilterDlgTest, ControlsCarryTheirCaptionsAndStartStates) {
  EXPECT_EQ(dlg_.windowTitle(), "数据筛选条件设置");
  EXPECT_EQ(dlg_.size(), QSize(470, 460));
  EXPECT_EQ(dlg_.minimumSize(), dlg_.maximumSize()) << "a fixed dialog";
  EXPECT_EQ(dlg_.FilterGroupBox->title(), "筛选条件");
  EXPECT_EQ(dlg_.ChannelGroupBox->title(), "通道选择");
  EXPECT_EQ(dlg_.findChild<QLabel*>("StartLabel")->text(), "开始时间：");
  EXPECT_EQ(dlg_.findChild<QLabel*>("EndLabel")->text(), "结束时间：");
  EXPECT_EQ(dlg_.findChild<QLabel*>("ItemCountLabel")->text(), "每页显示数据条数：");
  EXPECT_EQ(dlg_.ItemCountPerPageEdit->text(), "500");
  for (QDateEdit* date : {dlg_.StartDate, dlg_.EndDate}) {
    EXPECT_FALSE(date->calendarPopup()) << "up-down buttons";
    EXPECT_EQ(date->buttonSymbols(), QAbstractSpinBox::UpDownArrows);
  }
  EXPECT_EQ(dlg_.OKBtn->text(), "确定");
  EXPECT_TRUE(dlg_.OKBtn->isDefault());
  EXPECT_EQ(dlg_.CancelBtn->text(), "取消");

  struct Group {
    QGroupBox* box;
    QCheckBox* selectAll;
    QListWidget* list;
    const char* title;
    int first;
    bool enabled;
  };
  const Group groups[] = {
      {dlg_.GroupBox1, dlg_.SlectAllCheckBox1, dlg_.CheckListBox1, "1-8", 1, true},
      {dlg_.GroupBox2, dlg_.SlectAllCheckBox2, dlg_.CheckListBox2, "9-16", 9, true},
      {dlg_.GroupBox3, dlg_.SlectAllCheckBox3, dlg_.CheckListBox3, "17-24", 17, false},
      {dlg_.GroupBox4, dlg_.SlectAllCheckBox4, dlg_.CheckListBox4, "25-32", 25, false},
  };
  for (const Group& g : groups) {
    SCOPED_TRACE(g.title);
    EXPECT_EQ(g.box->title(), g.title);
    EXPECT_EQ(g.selectAll->text(), "全选");
    EXPECT_EQ(g.box->isEnabled(), g.enabled);
    EXPECT_EQ(g.selectAll->isEnabled(), g.enabled);
    EXPECT_EQ(g.list->isEnabled(), g.enabled);
    ASSERT_EQ(g.list->count(), 8);
    for (int i = 0; i < 8; ++i) {
      EXPECT_EQ(g.list->item(i)->text(), QStringLiteral("通道%1").arg(g.first + i, 2, 10, QLatin1Char('0')));
    }
  }

  // The committed settings of a fresh program.
  EXPECT_EQ(dlg_.rowsPerPage, 500u);
  EXPECT_EQ(dlg_.filterStart, 0.0);
  EXPECT_EQ(dlg_.filterEnd, 0.0);
  EXPECT_EQ(dlg_.startPickerBase, 0.0);
  EXPECT_EQ(dlg_.endPickerBase, 0.0);
  for (bool selected : dlg_.channelSelected) EXPECT_TRUE(selected);
  EXPECT_TRUE(dlg_.selectAllGroup1);
  EXPECT_TRUE(dlg_.selectAllGroup2);
}

TEST_F(DataFilterDlgTest, InitFromDatasetSetsThePickersTheEditAndTheTicks) {
  dlg_.rowsPerPage = 2500;
  dlg_.channelSelected[3] = false;
  dlg_.channelSelected[12] = false;
  dlg_.selectAllGroup2 = false;
  dlg_.InitFromDataset(T0, T0 + 1.5);
  EXPECT_EQ(dlg_.filterStart, T0);
  EXPECT_EQ(dlg_.startPickerBase, T0);
  EXPECT_EQ(dlg_.filterEnd, T0 + 1.5);
  EXPECT_EQ(dlg_.endPickerBase, T0 + 1.5);
  EXPECT_EQ(dlg_.StartDate->date(), QDate(2010, 8, 5));
  EXPECT_EQ(dlg_.StartTime->time(), QTime(10, 0, 0));
  EXPECT_EQ(dlg_.EndDate->date(), QDate(2010, 8, 6));
  EXPECT_EQ(dlg_.EndTime->time(), QTime(22, 0, 0));
  EXPECT_EQ(dlg_.StartDate->text(), "2010-08-05");
  EXPECT_EQ(dlg_.EndTime->text(), "22:00:00");
  EXPECT_EQ(dlg_.ItemCountPerPageEdit->text(), "2500");
  EXPECT_EQ(Ticks(dlg_.CheckListBox1),
            (std::vector<bool>{true, true, true, false, true, true, true, true}));
  EXPECT_EQ(Ticks(dlg_.CheckListBox2),
            (std::vector<bool>{true, true, true, true, false, true, true, true}));
  EXPECT_TRUE(dlg_.SlectAllCheckBox1->isChecked());
  EXPECT_FALSE(dlg_.SlectAllCheckBox2->isChecked());

  // The view reset selects every channel again; the boxes follow at the next InitFromDataset,
  // the page size and the window stay.
  dlg_.ResetChannelSelection();
  for (bool selected : dlg_.channelSelected) EXPECT_TRUE(selected);
  EXPECT_TRUE(dlg_.selectAllGroup2);
  EXPECT_FALSE(Ticks(dlg_.CheckListBox1)[3]);
  EXPECT_EQ(dlg_.rowsPerPage, 2500u);
  EXPECT_EQ(dlg_.filterEnd, T0 + 1.5);
  dlg_.InitFromDataset(T0, T0 + 1);
  EXPECT_TRUE(Ticks(dlg_.CheckListBox1)[3]);
  EXPECT_TRUE(dlg_.SlectAllCheckBox2->isChecked());
}

TEST_F(DataFilterDlgTest, OkChecksTheTimesFirstThenThePageSize) {
  struct Case {
    const char* name;
    QDateTime start;
    QDateTime end;
    const char* rows;
    const QString* message;  // nullptr: accepted
  };
  const QDateTime at10(QDate(2010, 8, 5), QTime(10, 0, 0));
  const QDateTime at10s1(QDate(2010, 8, 5), QTime(10, 0, 1));
  const Case cases[] = {
      {"start equal to the end", at10, at10, "500", &kTimeMessage},
      {"start after the end", at10s1, at10, "500", &kTimeMessage},
      {"end a second later", at10, at10s1, "500", nullptr},
      {"end a day later", at10, at10.addDays(1), "500", nullptr},
      {"99 rows", at10, at10s1, "99", &kRowsMessage},
      {"10001 rows", at10, at10s1, "10001", &kRowsMessage},
      {"negative rows", at10, at10s1, "-5", &kRowsMessage},
      {"no number", at10, at10s1, "abc", &kRowsMessage},
      {"empty", at10, at10s1, "", &kRowsMessage},
      {"a fraction", at10, at10s1, "100.5", &kRowsMessage},
      {"beyond 32 bits", at10, at10s1, "4294967796", &kRowsMessage},
      {"100 rows", at10, at10s1, "100", nullptr},
      {"10000 rows", at10, at10s1, "10000", nullptr},
      {"both wrong: only the time is reported", at10, at10, "abc", &kTimeMessage},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPrompts prompts;
    TDataFilterDlg dlg;
    dlg.InitFromDataset(T0 - 1, T0 + 1);
    dlg.CheckListBox1->item(1)->setCheckState(Qt::Unchecked);
    QWidget* focusWhenShown = nullptr;
    prompts.onMessage = [&] { focusWhenShown = dlg.focusWidget(); };
    int result = -1;
    ASSERT_TRUE(WhileShown(
        dlg,
        [&] {
          dlg.StartDate->setDate(c.start.date());
          dlg.StartTime->setTime(c.start.time());
          dlg.EndDate->setDate(c.end.date());
          dlg.EndTime->setTime(c.end.time());
          dlg.ItemCountPerPageEdit->setText(QString::fromUtf8(c.rows));
          dlg.StartDate->setFocus();
          dlg.OKBtn->click();
          EXPECT_EQ(dlg.isVisible(), c.message != nullptr) << "a refused OK keeps the dialog open";
        },
        [&] { result = dlg.exec(); }));
    if (c.message) {
      EXPECT_EQ(result, QDialog::Rejected);
      ASSERT_EQ(prompts.messages.size(), 1u);
      EXPECT_EQ(prompts.messages[0].text, *c.message);
      EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Error);
      EXPECT_EQ(focusWhenShown,
                c.message == &kRowsMessage ? static_cast<QWidget*>(dlg.ItemCountPerPageEdit)
                                           : static_cast<QWidget*>(dlg.StartDate));
      // Nothing committed.
      EXPECT_EQ(dlg.filterStart, T0 - 1);
      EXPECT_EQ(dlg.filterEnd, T0 + 1);
      EXPECT_EQ(dlg.rowsPerPage, 500u);
      EXPECT_TRUE(dlg.channelSelected[1]);
    } else {
      EXPECT_EQ(result, QDialog::Accepted);
      EXPECT_TRUE(prompts.messages.empty());
      auto instant = [](const QDateTime& t) {
        return *EncodeDateTime(t.date().year(), t.date().month(), t.date().day(), t.time().hour(),
                               t.time().minute(), t.time().second());
      };
      EXPECT_EQ(CompareTimes(dlg.filterStart, instant(c.start)), 0);
      EXPECT_EQ(CompareTimes(dlg.filterEnd, instant(c.end)), 0);
      EXPECT_EQ(dlg.rowsPerPage, QString::fromUtf8(c.rows).toUInt());
      EXPECT_FALSE(dlg.channelSelected[1]);
      EXPECT_TRUE(dlg.channelSelected[0]);
    }
  }
}

TEST_F(DataFilterDlgTest, TheChosenDateAndTheChosenTimeOfDayCombineAlsoOnASecondOpening) {
  dlg_.InitFromDataset(T0, T0 + 3);  // 2010-08-05 10:00:00 to 2010-08-08 10:00:00
  // Only the date in the date picker, only the time in the time picker.
  EXPECT_EQ(RunModal([&] {
              dlg_.StartDate->setDate(QDate(2010, 8, 6));
              dlg_.StartTime->setTime(QTime(12, 30, 15));
              dlg_.EndTime->setTime(QTime(8, 5, 0));
              dlg_.OKBtn->click();
            }),
            QDialog::Accepted);
  EXPECT_EQ(CompareTimes(dlg_.filterStart, *EncodeDateTime(2010, 8, 6, 12, 30, 15)), 0);
  EXPECT_EQ(CompareTimes(dlg_.filterEnd, *EncodeDateTime(2010, 8, 8, 8, 5, 0)), 0);

  // No load in between: the pickers still show the last entries, and the same rule holds.
  EXPECT_EQ(dlg_.StartDate->date(), QDate(2010, 8, 6));
  EXPECT_EQ(RunModal([&] {
              dlg_.StartTime->setTime(QTime(9, 0, 0));
              dlg_.EndDate->setDate(QDate(2010, 8, 7));
              dlg_.OKBtn->click();
            }),
            QDialog::Accepted);
  EXPECT_EQ(CompareTimes(dlg_.filterStart, *EncodeDateTime(2010, 8, 6, 9, 0, 0)), 0);
  EXPECT_EQ(CompareTimes(dlg_.filterEnd, *EncodeDateTime(2010, 8, 7, 8, 5, 0)), 0);

  // Unchanged pickers give the instants they were set to, to the last bit.
  const DateTime odd = T0 + 0.123456789;
  dlg_.InitFromDataset(odd, odd + 1);
  EXPECT_EQ(RunModal([&] { dlg_.OKBtn->click(); }), QDialog::Accepted);
  EXPECT_EQ(dlg_.filterStart, odd);
  EXPECT_EQ(dlg_.filterEnd, odd + 1);
}

TEST_F(DataFilterDlgTest, CancelCommitsNothingAndTheNextOpeningShowsWhatWasEntered) {
  dlg_.InitFromDataset(T0, T0 + 1);
  EXPECT_EQ(RunModal([&] {
              dlg_.StartDate->setDate(QDate(2010, 8, 5).addDays(-3));
              dlg_.EndTime->setTime(QTime(11, 11, 11));
              dlg_.ItemCountPerPageEdit->setText(QStringLiteral("abc"));
              Tick(dlg_.CheckListBox2, 4, false);
              dlg_.SlectAllCheckBox1->click();  // all of 1-8 unticked
              dlg_.CancelBtn->click();
            }),
            QDialog::Rejected);
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_EQ(dlg_.filterStart, T0);
  EXPECT_EQ(dlg_.filterEnd, T0 + 1);
  EXPECT_EQ(dlg_.rowsPerPage, 500u);
  for (bool selected : dlg_.channelSelected) EXPECT_TRUE(selected);
  EXPECT_TRUE(dlg_.selectAllGroup1);

  // Shown again: the entries are still there.
  RunModal([&] {
    EXPECT_EQ(dlg_.StartDate->date(), QDate(2010, 8, 2));
    EXPECT_EQ(dlg_.EndTime->time(), QTime(11, 11, 11));
    EXPECT_EQ(dlg_.ItemCountPerPageEdit->text(), "abc");
    EXPECT_FALSE(Ticks(dlg_.CheckListBox2)[4]);
    EXPECT_EQ(Ticks(dlg_.CheckListBox1), std::vector<bool>(8, false));
    EXPECT_FALSE(dlg_.SlectAllCheckBox1->isChecked());
    // Escape cancels as well.
    dlg_.reject();
  });
}

TEST_F(DataFilterDlgTest, ASelectAllBoxCarriesItsTickToItsList) {
  Tick(dlg_.CheckListBox1, 2, false);
  dlg_.SlectAllCheckBox1->click();  // unticked
  EXPECT_EQ(Ticks(dlg_.CheckListBox1), std::vector<bool>(8, false));
  EXPECT_EQ(Ticks(dlg_.CheckListBox2), std::vector<bool>(8, true)) << "the other list stays";
  dlg_.SlectAllCheckBox1->click();  // ticked
  EXPECT_EQ(Ticks(dlg_.CheckListBox1), std::vector<bool>(8, true));
  dlg_.SlectAllCheckBox2->click();
  EXPECT_EQ(Ticks(dlg_.CheckListBox2), std::vector<bool>(8, false));

  // OK commits the ticks and the boxes.
  dlg_.InitFromDataset(T0, T0 + 1);
  RunModal([&] {
    dlg_.SlectAllCheckBox2->click();
    Tick(dlg_.CheckListBox1, 0, false);
    dlg_.OKBtn->click();
  });
  EXPECT_FALSE(dlg_.selectAllGroup2);
  EXPECT_TRUE(dlg_.selectAllGroup1);
  for (int n = 1; n <= 16; ++n) {
    EXPECT_EQ(dlg_.channelSelected[static_cast<std::size_t>(n - 1)], n >= 2 && n <= 8) << n;
  }
}

TEST(FilterInputTest, PageSizesAndTheOrderOfTheChecks) {
  struct Case {
    const char* text;
    std::optional<std::uint32_t> rows;
  };
  const Case cases[] = {
      {"100", 100},   {"10000", 10000}, {"500", 500},   {" 250 ", 250}, {"+300", 300},
      {"99", {}},     {"10001", {}},    {"-5", {}},     {"abc", {}},    {"", {}},
      {"12a", {}},    {"0x100", {}},    {"1e3", {}},    {"++300", {}},  {"-0", {}},
      {"99999999999999999999", {}},
  };
  for (const Case& c : cases) EXPECT_EQ(ParseRowsPerPage(c.text), c.rows) << c.text;

  EXPECT_EQ(CheckFilterInput(T0, T0 + kOneSecond, "500"), FilterInputFault::None);
  EXPECT_EQ(CheckFilterInput(T0, T0 + 2 * kOneMillisecond, "500"), FilterInputFault::None);
  EXPECT_EQ(CheckFilterInput(T0, T0 + 0.5 * kOneMillisecond, "500"), FilterInputFault::Time);
  EXPECT_EQ(CheckFilterInput(T0, T0, "abc"), FilterInputFault::Time);
  EXPECT_EQ(CheckFilterInput(T0, T0 + kOneSecond, "abc"), FilterInputFault::RowsPerPage);
}

// ---------------------------------------------------------------------------------------------
// The filter command of the main window

class FilterCommandTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_CONFIG_HOME", (dir_.Path() / "config").c_str(), 1); }
  void TearDown() override { windows_.reset(); }

  TMainForm& Start() {
    windows_ = std::make_unique<AppWindows>();
    return *windows_->mainForm;
  }
  TDataFilterDlg& Dlg() { return *windows_->dataFilterDlg; }

  void Open(TMainForm& f, const fs::path& path) {
    prompts_.openFiles.push_back(QString::fromStdString(path));
    f.OpenFileButtonClick();
  }

  // Runs `command` (which may open the filter dialog) with `act` on the dialog while shown.
  bool WithDialog(const std::function<void(TDataFilterDlg&)>& act,
                  const std::function<void()>& command) {
    return WhileShown(Dlg(), [&] { act(Dlg()); }, command);
  }
  // The filter button with `act` on the dialog, ended by OK.
  void Filter(TMainForm& f, const std::function<void(TDataFilterDlg&)>& act) {
    ASSERT_TRUE(WithDialog(
        [&](TDataFilterDlg& d) {
          act(d);
          d.OKBtn->click();
        },
        [&] { f.DataFilterButton->trigger(); }));
  }

  QStringList Captions() {
    QStringList captions;
    auto* model = windows_->mainForm->DataListViewModel;
    for (int c = 0; c < model->columnCount(); ++c) {
      captions << model->headerData(c, Qt::Horizontal).toString();
    }
    return captions;
  }
  QString Item(int item) {
    QStringList texts;
    auto* model = windows_->mainForm->DataListViewModel;
    for (int c = 0; c < model->columnCount(); ++c) texts << model->index(item, c).data().toString();
    return texts.join("|");
  }
  PageButtons Buttons() {
    TMainForm& f = *windows_->mainForm;
    return {f.FirstPageButton->isEnabled(), f.FrontPageButton->isEnabled(),
            f.NextPageButton->isEnabled(), f.EndPageButton->isEnabled()};
  }

  // 2010-05-12 10:00:00 on, channels 1..5 (mA) with a sample a second each: channel n holds
  // n * 100 + i at second i, `seconds` samples.
  fs::path WriteFiveChannelFile(int seconds = 10) {
    RecorderFileBuilder file;
    file.Window({10, 5, 12, 10, 0, 0}, {10, 5, 12, 11, 0, 0}).Channels(0, 4);
    const std::int32_t t = RecorderSeconds(2010, 5, 12, 10, 0, 0);
    for (int c = 0; c < 5; ++c) {
      file.Range(c, 30000, 0, 0, 27);
      std::vector<std::int16_t> samples;
      for (int i = 0; i < seconds; ++i) samples.push_back(static_cast<std::int16_t>((c + 1) * 100 + i));
      file.Block(c).Chain({{t, 1, samples}});
    }
    const fs::path path = dir_.Path() / ("five" + std::to_string(seconds) + ".bin");
    file.WriteTo(path);
    return path;
  }

  testing::TempDir dir_;
  ScriptedPrompts prompts_;
  std::unique_ptr<AppWindows> windows_;
};

const DateTime At10 = *EncodeDateTime(2010, 5, 12, 10, 0, 0);

TEST_F(FilterCommandTest, FilteringChannelsNarrowsTheTableAndKeepsTheLinesColours) {
  TMainForm& f = Start();
  QAbstractItemModelTester tester(f.DataListViewModel,
                                  QAbstractItemModelTester::FailureReportingMode::Fatal);
  Open(f, WriteFiveChannelFile());
  ASSERT_EQ(f.channels.size(), 5u);
  ASSERT_EQ(f.Chart->LineCount(), 5u);

  // Only channels 2 and 5.
  Filter(f, [](TDataFilterDlg& d) {
    for (int i : {0, 2, 3}) Tick(d.CheckListBox1, i, false);
  });
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_EQ(windows_->processDlg->Text(), "数据正在筛选，请稍等...");
  EXPECT_EQ(windows_->processDlg->Maximum(), 6);  // five channels + 1
  EXPECT_EQ(windows_->processDlg->Position(), 6);
  EXPECT_FALSE(windows_->processDlg->isVisible());

  EXPECT_EQ(Captions().join(","), "序号,时间,通道2(mA),通道5(mA)");
  EXPECT_EQ(f.columnChannels, (decltype(f.columnChannels){1, 4}));
  ASSERT_EQ(f.DataListViewModel->rowCount(), 10);
  EXPECT_EQ(Item(0), "1|2010-05-12 10:00:00|200.000|500.000");
  EXPECT_EQ(Item(9), "10|2010-05-12 10:00:09|209.000|509.000");
  for (int c = 0; c < 4; ++c) EXPECT_GE(f.DataListView->columnWidth(c), c == 0 ? 50 : c == 1 ? 120 : 70);

  // The chart: the lines of channels 2 and 5, red and blue as in the full view.
  ASSERT_EQ(f.Chart->LineCount(), 2u);
  ASSERT_EQ(f.seriesList.size(), 2u);
  EXPECT_EQ(f.seriesList[0].title, "通道02");
  EXPECT_EQ(f.seriesList[1].title, "通道05");
  EXPECT_EQ(f.Chart->Plottable(0)->pen().color(), QColor(255, 0, 0));
  EXPECT_EQ(f.Chart->Plottable(1)->pen().color(), QColor(0, 0, 255));
  EXPECT_EQ(f.Chart->Line(0).points.size(), 10u);

  // The dataset itself is untouched: ticking everything again brings the rest back.
  EXPECT_EQ(f.channels.size(), 5u);
  Filter(f, [](TDataFilterDlg& d) { d.SlectAllCheckBox1->click(); d.SlectAllCheckBox1->click(); });
  EXPECT_EQ(Captions().size(), 7);
  EXPECT_EQ(f.Chart->LineCount(), 5u);
}

TEST_F(FilterCommandTest, TheTimeWindowNarrowsRowsAndLinesAndPlacesTheCursorAtItsStart) {
  TMainForm& f = Start();
  Open(f, WriteFiveChannelFile());
  Filter(f, [](TDataFilterDlg& d) {
    d.StartTime->setTime(QTime(10, 0, 3));
    d.EndTime->setTime(QTime(10, 0, 5));
    d.EndDate->setDate(QDate(2010, 5, 12));
  });
  EXPECT_EQ(Dlg().filterStart, At10 + 3 * kOneSecond);
  ASSERT_EQ(f.DataListViewModel->rowCount(), 3) << "both ends are inside";
  EXPECT_EQ(Item(0), "1|2010-05-12 10:00:03|103.000|203.000|303.000|403.000|503.000");
  EXPECT_EQ(Item(2), "3|2010-05-12 10:00:05|105.000|205.000|305.000|405.000|505.000");
  ASSERT_EQ(f.Chart->LineCount(), 5u);
  EXPECT_EQ(f.Chart->Line(0).points.size(), 3u);
  EXPECT_EQ(f.Chart->Cursors().x, Dlg().filterStart + 1.1574074074074074e-6);
  EXPECT_NEAR(f.Chart->Ranges().x0, Dlg().filterStart, 1e-10);
  EXPECT_NEAR(f.Chart->Ranges().x1, Dlg().filterEnd, 1e-10);
}

TEST_F(FilterCommandTest, NothingMatchingLeavesTheColumnsNoRowsAndEmptyLines) {
  TMainForm& f = Start();
  Open(f, WriteFiveChannelFile(700));
  ASSERT_TRUE(f.NextPageButton->isEnabled());

  // A window after every sample: all columns, no rows, one empty line per channel.
  Filter(f, [](TDataFilterDlg& d) {
    d.StartDate->setDate(QDate(2010, 5, 13));
    d.EndDate->setDate(QDate(2010, 5, 14));
  });
  EXPECT_EQ(Captions().size(), 7);
  EXPECT_EQ(f.DataListViewModel->rowCount(), 0);
  EXPECT_TRUE(f.tableRows.empty());
  EXPECT_EQ(Buttons(), PageButtons{});
  ASSERT_EQ(f.Chart->LineCount(), 5u);
  for (std::size_t i = 0; i < 5; ++i) EXPECT_TRUE(f.Chart->Line(i).points.empty()) << i;

  // No channel ticked: the two fixed columns and no line.
  Filter(f, [](TDataFilterDlg& d) {
    d.SlectAllCheckBox1->click();
    d.SlectAllCheckBox2->click();
  });
  EXPECT_EQ(Captions().join(","), "序号,时间");
  EXPECT_EQ(f.DataListViewModel->rowCount(), 0);
  EXPECT_EQ(f.Chart->LineCount(), 0u);
  EXPECT_EQ(Buttons(), PageButtons{});
}

TEST_F(FilterCommandTest, TheRightButtonOnTheTableRunsTheFilterExceptInLiveMode) {
  TMainForm& f = Start();
  // Nothing loaded: no dialog, no message.
  EXPECT_FALSE(WithDialog([](TDataFilterDlg&) {}, [&] { f.DataFilterButtonClick(); }));
  EXPECT_FALSE(WithDialog([](TDataFilterDlg&) {},
                          [&] { emit f.DataListView->customContextMenuRequested(QPoint(5, 5)); }));
  EXPECT_TRUE(prompts_.messages.empty());

  Open(f, WriteFiveChannelFile());
  EXPECT_EQ(f.DataListView->contextMenuPolicy(), Qt::CustomContextMenu);
  const bool shown = WithDialog(
      [](TDataFilterDlg& d) {
        Tick(d.CheckListBox1, 0, false);
        d.OKBtn->click();
      },
      [&] { emit f.DataListView->customContextMenuRequested(QPoint(5, 5)); });
  EXPECT_TRUE(shown);
  EXPECT_EQ(Captions().size(), 6) << "the filter ran";
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr) << "no menu";

  // Cancel: nothing changes.
  EXPECT_TRUE(WithDialog([](TDataFilterDlg& d) { d.CancelBtn->click(); },
                         [&] { f.DataListViewContextPopup(); }));
  EXPECT_EQ(Captions().size(), 6);

  f.liveMode = true;
  EXPECT_FALSE(WithDialog([](TDataFilterDlg&) {},
                          [&] { emit f.DataListView->customContextMenuRequested(QPoint(5, 5)); }));
  EXPECT_EQ(Captions().size(), 6);
}

TEST_F(FilterCommandTest, ThePageSizeSurvivesALoadAndARefusedEntry) {
  TMainForm& f = Start();
  Open(f, WriteFiveChannelFile(250));
  EXPECT_EQ(f.DataListViewModel->rowCount(), 250);
  Filter(f, [](TDataFilterDlg& d) { d.ItemCountPerPageEdit->setText(QStringLiteral("100")); });
  EXPECT_EQ(Dlg().rowsPerPage, 100u);
  EXPECT_EQ(f.DataListViewModel->rowCount(), 100);
  EXPECT_EQ(Buttons(), (PageButtons{false, false, true, true}));

  // A refused entry, then Cancel: paging keeps 100 rows a page.
  EXPECT_TRUE(WithDialog(
      [&](TDataFilterDlg& d) {
        d.ItemCountPerPageEdit->setText(QStringLiteral("99"));
        d.OKBtn->click();
        EXPECT_TRUE(d.isVisible());
        d.CancelBtn->click();
      },
      [&] { f.DataFilterButton->trigger(); }));
  ASSERT_EQ(prompts_.messages.size(), 1u);
  EXPECT_EQ(prompts_.messages[0].text, kRowsMessage);
  f.NextPageButton->trigger();
  EXPECT_EQ(f.pageStart, 100u);
  EXPECT_EQ(Item(0).section('|', 0, 0), "101");

  // A new load: the whole span and every channel again, the page size stays.
  Filter(f, [](TDataFilterDlg& d) {
    EXPECT_EQ(d.ItemCountPerPageEdit->text(), "99") << "what was entered stays";
    d.ItemCountPerPageEdit->setText(QStringLiteral("100"));
    Tick(d.CheckListBox1, 1, false);
  });
  Open(f, WriteFiveChannelFile(260));
  EXPECT_EQ(Dlg().rowsPerPage, 100u);
  EXPECT_EQ(Dlg().ItemCountPerPageEdit->text(), "100");
  EXPECT_EQ(f.DataListViewModel->rowCount(), 100);
  EXPECT_EQ(Dlg().filterStart, f.summary.startTime);
  EXPECT_EQ(Dlg().filterEnd, f.summary.endTime);
  for (bool selected : Dlg().channelSelected) EXPECT_TRUE(selected);
  EXPECT_TRUE(Ticks(Dlg().CheckListBox1)[1]);
  f.EndPageButton->trigger();
  EXPECT_EQ(f.DataListViewModel->rowCount(), 60);
}

TEST_F(FilterCommandTest, FilteringWhileTheChartIsShownKeepsNextAndLastForTheTablePage) {
  TMainForm& f = Start();
  Open(f, WriteFiveChannelFile(700));
  f.ChartMenuItem->trigger();
  EXPECT_EQ(Buttons(), PageButtons{});
  Filter(f, [](TDataFilterDlg& d) { Tick(d.CheckListBox1, 4, false); });
  EXPECT_EQ(Buttons(), PageButtons{}) << "next and last stay off while the chart is shown";
  EXPECT_EQ(f.savedPageButtons, (PageButtons{false, false, true, true}));
  f.DataTableMenuItem->trigger();
  EXPECT_EQ(Buttons(), (PageButtons{false, false, true, true}));
  EXPECT_EQ(f.DataListViewModel->rowCount(), 500);
}

}  // namespace
}  // namespace vantiro
