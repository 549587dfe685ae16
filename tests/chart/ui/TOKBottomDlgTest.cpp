#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>
#include <QTimer>
#include <functional>

#include "chart/ui/TOKBottomDlg.h"
#include "support/QtPrinters.h"
#include "support/ScriptedPrompts.h"

namespace vantiro {
namespace {

using testing::ScriptedPrompts;

const double S = kOneSecond;
// 2010-08-07 15:25:45.678, a view of that day's afternoon and -30.5 to 115.2.
const DateTime X = *EncodeDateTime(2010, 8, 7, 15, 25, 45, 678);
const DateTime ViewStart = *EncodeDateTime(2010, 8, 7, 12, 0, 0, 400);
const DateTime ViewEnd = *EncodeDateTime(2010, 8, 7, 18, 10, 0, 600);

class CursorDialogTest : public ::testing::Test {
 protected:
  void Load(DateTime x = X, double y1 = 99.9, double y2 = -5.7) {
    dlg_.LoadCursors(x, y1, y2, ViewStart, ViewEnd, -30.5, 115.2);
  }

  // Shows the dialog modally, lets `act` work on it while it runs, and returns exec()'s result.
  int RunModal(const std::function<void()>& act) {
    bool ran = false;
    QTimer::singleShot(0, &dlg_, [&] {
      ran = true;
      EXPECT_EQ(QApplication::activeModalWidget(), &dlg_);
      act();
      if (dlg_.isVisible()) dlg_.reject();  // never leave the loop running
    });
    const int result = dlg_.exec();
    EXPECT_TRUE(ran);
    return result;
  }

  ScriptedPrompts prompts_;
  TOKBottomDlg dlg_;
};

TEST_F(CursorDialogTest, ControlsCarryTheirNamesPlacesAndTexts) {
  EXPECT_EQ(dlg_.windowTitle(), "Vantiro");
  // The recorder's 274 x 219 with the second vertical cursor's frame added below.
  EXPECT_EQ(dlg_.size(), QSize(274, 283));
  EXPECT_EQ(dlg_.minimumSize(), dlg_.maximumSize()) << "a fixed border";
  struct Placed {
    QWidget* widget;
    const char* name;
    QRect geometry;  // an empty size: only the place is fixed
  };
  const Placed placed[] = {
      {dlg_.Bevel, "Bevel", {8, 8, 257, 169}},
      {dlg_.Label1, "Label1", {17, 36, 0, 0}},
      {dlg_.XValueDate, "XValueDate", {127, 24, 128, 21}},
      {dlg_.XValueTime, "XValueTime", {127, 48, 128, 21}},
      {dlg_.ShowY, "ShowY", {17, 78, 56, 17}},
      {dlg_.Label2, "Label2", {17, 98, 0, 0}},
      {dlg_.YValueEdit, "YValueEdit", {128, 90, 128, 21}},
      {dlg_.ShowY2, "ShowY2", {17, 122, 48, 17}},
      {dlg_.Label3, "Label3", {16, 146, 0, 0}},
      {dlg_.Y2ValueEdit, "Y2ValueEdit", {128, 139, 128, 21}},
      {dlg_.Bevel2, "Bevel2", {8, 183, 257, 61}},
      {dlg_.Label4, "Label4", {17, 207, 0, 0}},
      {dlg_.X2ValueDate, "X2ValueDate", {127, 192, 128, 21}},
      {dlg_.X2ValueTime, "X2ValueTime", {127, 216, 128, 21}},
      {dlg_.OKBtn, "OKBtn", {39, 252, 75, 25}},
      {dlg_.CancelBtn, "CancelBtn", {159, 252, 75, 25}},
  };
  for (const Placed& p : placed) {
    ASSERT_NE(p.widget, nullptr) << p.name;
    EXPECT_EQ(p.widget->objectName(), p.name);
    EXPECT_EQ(p.widget->parentWidget(), &dlg_) << p.name;
    if (p.geometry.isEmpty()) {
      EXPECT_EQ(p.widget->pos(), p.geometry.topLeft()) << p.name;
    } else {
      EXPECT_EQ(p.widget->geometry(), p.geometry) << p.name;
    }
  }
  EXPECT_EQ(dlg_.Label1->text(), "垂直方向游标X：");
  EXPECT_EQ(dlg_.Label2->text(), "横向游标Y1：");
  EXPECT_EQ(dlg_.Label3->text(), "横向游标Y2：");
  EXPECT_EQ(dlg_.Label4->text(), "垂直方向游标X2：");
  EXPECT_EQ(dlg_.ShowY->text(), "显示");
  EXPECT_EQ(dlg_.ShowY2->text(), "显示");
  EXPECT_EQ(dlg_.OKBtn->text(), "确定");
  EXPECT_EQ(dlg_.CancelBtn->text(), "取消");
  EXPECT_TRUE(dlg_.OKBtn->isDefault());
  EXPECT_FALSE(dlg_.showY1);
  EXPECT_FALSE(dlg_.showY2);
}

TEST_F(CursorDialogTest, TabGoesFromTheButtonsThroughTheFieldsToTheCheckBoxes) {
  const QStringList controls = {"OKBtn",      "CancelBtn",   "YValueEdit", "XValueDate",
                                "XValueTime", "Y2ValueEdit", "ShowY",      "ShowY2",
                                "X2ValueDate", "X2ValueTime"};
  QStringList order;
  QWidget* w = dlg_.OKBtn;
  for (int steps = 0; steps < 200; ++steps) {
    if (controls.contains(w->objectName()) && !order.contains(w->objectName()))
      order << w->objectName();
    w = w->nextInFocusChain();
    if (w == dlg_.OKBtn) break;
  }
  EXPECT_EQ(order, controls);
}

TEST_F(CursorDialogTest, LoadingFillsTheFieldsFromTheCursorsAndTheCommittedTicks) {
  Load();
  EXPECT_EQ(dlg_.XValueDate->date(), QDate(2010, 8, 7));
  EXPECT_EQ(dlg_.XValueTime->time().toString("HH:mm:ss"), "15:25:45");
  EXPECT_EQ(dlg_.YValueEdit->text(), "99");
  EXPECT_EQ(dlg_.Y2ValueEdit->text(), "-5") << "truncated toward zero";
  EXPECT_FALSE(dlg_.ShowY->isChecked());
  EXPECT_FALSE(dlg_.ShowY2->isChecked());
  EXPECT_EQ(dlg_.cursorX, X);
  EXPECT_EQ(dlg_.viewXMin, ViewStart);
  EXPECT_EQ(dlg_.viewYMax, 115.2);

  dlg_.showY1 = true;
  dlg_.showY2 = true;
  Load(X, -0.5, 0.99);
  EXPECT_TRUE(dlg_.ShowY->isChecked());
  EXPECT_TRUE(dlg_.ShowY2->isChecked());
  EXPECT_EQ(dlg_.YValueEdit->text(), "0");
  EXPECT_EQ(dlg_.Y2ValueEdit->text(), "0");
}

TEST_F(CursorDialogTest, OkWithoutChangesCommitsTheOpeningPositionsExactly) {
  const DateTime x = X + 0.123456789 * kOneMillisecond;  // a fraction below the millisecond
  Load(x, 12.3456789, -4.0000001);
  dlg_.ShowY->setChecked(true);
  const int result = RunModal([&] { dlg_.OKBtn->click(); });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_TRUE(prompts_.messages.empty());
  EXPECT_EQ(dlg_.newX, x);
  EXPECT_EQ(dlg_.newY1, 12.3456789);
  EXPECT_EQ(dlg_.newY2, -4.0000001);
  EXPECT_TRUE(dlg_.showY1);
  EXPECT_FALSE(dlg_.showY2);
}

TEST_F(CursorDialogTest, ThePickersAndFieldsGiveTheNewPositions) {
  Load();
  const int result = RunModal([&] {
    dlg_.XValueTime->setTime(dlg_.XValueTime->time().addSecs(-3600));
    dlg_.YValueEdit->setText("-30");
    dlg_.Y2ValueEdit->setText(" 115 ");
    dlg_.ShowY2->setChecked(true);
    dlg_.OKBtn->click();
  });
  EXPECT_EQ(result, QDialog::Accepted);
  EXPECT_NEAR(dlg_.newX, X - 3600 * S, 1e-10);
  EXPECT_EQ(dlg_.newY1, -30);
  EXPECT_EQ(dlg_.newY2, 115);
  EXPECT_FALSE(dlg_.showY1);
  EXPECT_TRUE(dlg_.showY2);
}

TEST_F(CursorDialogTest, ARefusedOkNamesTheFaultAndKeepsTheDialogOpen) {
  struct Case {
    const char* name;
    std::function<void()> edit;
    const char* message;
    QWidget* focus;  // nullptr: where it was
  };
  const Case cases[] = {
      {"letters in Y1", [&] { dlg_.YValueEdit->setText("abc"); }, "请输入有效的整数。",
       dlg_.YValueEdit},
      {"Y1 outside the view", [&] { dlg_.YValueEdit->setText("116"); }, "请输入视图范围内的Y值。",
       dlg_.YValueEdit},
      {"a good Y1 and an empty Y2", [&] { dlg_.Y2ValueEdit->setText(""); }, "请输入有效的整数。",
       dlg_.Y2ValueEdit},
      {"Y2 outside the view", [&] { dlg_.Y2ValueEdit->setText("-31"); }, "请输入视图范围内的Y值。",
       dlg_.Y2ValueEdit},
      {"the next day", [&] { dlg_.XValueDate->setDate(dlg_.XValueDate->date().addDays(1)); },
       "请选择视图范围内的时间点。", nullptr},
  };
  for (const Case& c : cases) {
    prompts_.messages.clear();
    Load();
    bool openAfterOk = false;
    QWidget* focusAfterOk = nullptr;
    const int result = RunModal([&] {
      c.edit();
      dlg_.OKBtn->setFocus();
      dlg_.OKBtn->click();
      openAfterOk = dlg_.isVisible();
      focusAfterOk = dlg_.focusWidget();
    });
    EXPECT_EQ(result, QDialog::Rejected) << c.name;
    EXPECT_TRUE(openAfterOk) << c.name;
    ASSERT_EQ(prompts_.messages.size(), 1u) << c.name;
    EXPECT_EQ(prompts_.messages[0].text, c.message) << c.name;
    EXPECT_EQ(prompts_.messages[0].icon, MessageIcon::Error) << c.name;
    EXPECT_EQ(focusAfterOk, c.focus ? c.focus : dlg_.OKBtn) << c.name;
    EXPECT_EQ(dlg_.newX, 0.0) << c.name << ": nothing committed";
    EXPECT_FALSE(dlg_.showY1) << c.name;
  }
}

TEST_F(CursorDialogTest, TheSecondVerticalCursorIsTypedByTheFirstOnesRules) {
  const DateTime x2 = *EncodeDateTime(2010, 8, 7, 17, 0, 0, 250);
  struct Case {
    const char* name;
    DateTime loaded;  // 0: no second cursor
    std::function<void()> edit;
    bool accepted;
    DateTime expected;
  };
  const Case cases[] = {
      {"unchanged, kept to the millisecond", x2, [] {}, true, x2},
      {"an hour earlier", x2, [&] { dlg_.X2ValueTime->setTime(dlg_.X2ValueTime->time().addSecs(-3600)); }, true,
       x2 - 3600 * S},
      {"past the view's end, refused", x2, [&] { dlg_.X2ValueTime->setTime(dlg_.X2ValueTime->time().addSecs(7200)); },
       false, 0.0},
      {"the view's last second, clamped to its end", x2, [&] { dlg_.X2ValueTime->setTime(QTime(18, 10, 0, 900)); },
       true, ViewEnd},
      {"no second cursor: its pickers off, nothing set", 0.0, [] {}, true, 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    prompts_.messages.clear();
    Load();
    dlg_.LoadSecondCursor(c.loaded);
    EXPECT_EQ(dlg_.X2ValueTime->isEnabled(), c.loaded != 0.0);
    const int result = RunModal([&] {
      c.edit();
      dlg_.OKBtn->click();
    });
    EXPECT_EQ(result == QDialog::Accepted, c.accepted);
    if (c.accepted) {
      EXPECT_NEAR(dlg_.newX2, c.expected, 1e-10);
      EXPECT_EQ(dlg_.newX, X) << "the first cursor as it was";
    } else {
      ASSERT_EQ(prompts_.messages.size(), 1u);
      EXPECT_EQ(prompts_.messages[0].text, "请选择视图范围内的时间点。");
    }
  }
}

TEST_F(CursorDialogTest, CancelCommitsNothing) {
  Load();
  const int result = RunModal([&] {
    dlg_.ShowY->setChecked(true);
    dlg_.YValueEdit->setText("7");
    dlg_.CancelBtn->click();
  });
  EXPECT_EQ(result, QDialog::Rejected);
  EXPECT_FALSE(dlg_.showY1);
  EXPECT_EQ(dlg_.newY1, 0.0);
  // The next opening shows the committed state again.
  Load();
  EXPECT_FALSE(dlg_.ShowY->isChecked());
  EXPECT_EQ(dlg_.YValueEdit->text(), "99");
}

}  // namespace
}  // namespace vantiro
