// The main window on the desktop: the size it starts with on screens large and small, and its title
// naming what it shows once.
#include "app/MainWindowFrame.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMenuBar>
#include <QScreen>
#include <QTest>
#include <memory>

#include "app/AppWindows.h"
#include "app/TMainForm.h"
#include "chart/ui/TrendChart.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

TEST(MainWindowFrameTest, TheWindowStartsAtItsDesignSizeWhereItFitsAndNoLargerThanTheScreen) {
  const QSize design(1282, 962);
  const QMargins frame(4, 32, 4, 4);
  struct Case {
    const char* what;
    QSize available;
    QSize expected;
  };
  const Case cases[] = {
      {"a full-HD desktop less its panel", {1920, 1040}, design},
      {"just room enough", {1290, 998}, design},
      {"a pixel short each way", {1289, 997}, {1281, 961}},
      {"1366 x 768 less a panel of 28", {1366, 740}, {1282, 704}},
      {"a netbook's 1024 x 600", {1024, 600}, {1016, 564}},
      {"a portrait screen", {1080, 1880}, {1072, 962}},
      {"no area at all", {0, 0}, {1, 1}},
      {"an area smaller than the frame", {5, 20}, {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(InitialWindowSize(design, c.available, frame), c.expected);
  }
}

TEST(MainWindowFrameTest, TheTitleNamesWhatIsShownAndTheProgramOnce) {
  QGuiApplication::setApplicationDisplayName(QStringLiteral("Vantiro"));  // as the program sets it
  struct Case {
    QString shown;
    QString title;
  };
  const Case cases[] = {
      {"", "Vantiro"},
      {"a.bin", "a.bin - Vantiro"},
      {"档案 kiln: 2010-05-13 00:01:00 至 2010-05-13 00:02:00",
       "档案 kiln: 2010-05-13 00:01:00 至 2010-05-13 00:02:00 - Vantiro"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.shown.toStdString());
    const QString title = MainWindowTitle(c.shown);
    EXPECT_EQ(title, c.title);
    // The desktop appends the display name to a title that does not end with it: this one does.
    EXPECT_TRUE(title.endsWith(QGuiApplication::applicationDisplayName()));
    EXPECT_EQ(title.count(QStringLiteral("Vantiro")), 1);
  }
}

class MainWindowOnScreenTest : public ::testing::Test {
 protected:
  void SetUp() override { setenv("XDG_CONFIG_HOME", dir_.File("config").c_str(), 1); }
  testing::TempDir dir_;
  testing::ScriptedPrompts prompts_;
};

// On the tests' full-HD screen the window starts at its design size: the chart page at the
// picture's size.
TEST_F(MainWindowOnScreenTest, OnALargeScreenTheWindowHasItsDesignSize) {
  AppWindows windows;
  TMainForm& form = *windows.mainForm;
  ASSERT_GE(form.screen()->availableGeometry().height(), 1000);
  EXPECT_EQ(form.size(), QSize(1282, 942 + form.menuBar()->sizeHint().height()));
}

// On a 1366 x 768 screen (less its panel), on a netbook's and on one smaller than the content's own
// minimum the whole window, the chart's time axis at its foot, is on the screen, and stays so once
// shown: the content's minimum does not push it out.
TEST_F(MainWindowOnScreenTest, OnASmallScreenTheWholeWindowIsOnIt) {
  for (const QSize available : {QSize(1366, 740), QSize(1024, 600), QSize(320, 300)}) {
    SCOPED_TRACE(available.width());
    AppWindows windows;
    TMainForm& form = *windows.mainForm;
    const QSize design(1282, 942 + form.menuBar()->sizeHint().height());
    FitWindowToScreen(form, design, QRect(QPoint(0, 0), available));
    const QSize fitted = InitialWindowSize(design, available);
    EXPECT_EQ(form.size(), fitted);
    if (available.height() == 300) ASSERT_GT(form.minimumSizeHint().height(), fitted.height());  // the case meant
    form.show();
    form.PageControl->setCurrentWidget(form.ChartTabSheet);
    QApplication::processEvents();
    EXPECT_LE(form.width() + kUsualWindowFrame.left() + kUsualWindowFrame.right(), available.width());
    EXPECT_LE(form.height() + kUsualWindowFrame.top() + kUsualWindowFrame.bottom(), available.height());
    EXPECT_LE(form.minimumWidth(), fitted.width());
    EXPECT_LE(form.minimumHeight(), fitted.height());
    EXPECT_EQ(form.size(), fitted);
    // The chart's foot inside the window.
    const QPoint foot = form.Chart->mapTo(&form, QPoint(0, form.Chart->height()));
    EXPECT_LE(foot.y(), form.height());
    form.hide();
  }
}

}  // namespace
}  // namespace vantiro
