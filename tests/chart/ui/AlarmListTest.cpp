// The alarm event list on its own: its caption with the periods kept and the periods there are,
// the state while they are being found (a long period of the archive), a note after the count;
// and the limits dialog's hint when the default deadband is not known yet.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <limits>

#include "chart/ui/ChartPanels.h"

namespace vantiro {
namespace {

constexpr DateTime T0 = 45000.0;

std::vector<AlarmEvent> Events(std::size_t count) {
  std::vector<AlarmEvent> events(count);
  for (std::size_t i = 0; i < count; ++i) {
    events[i].number = 1;
    events[i].limit = 80.0;
    events[i].start = T0 + static_cast<double>(2 * i) * kOneSecond;
    events[i].end = events[i].start + kOneSecond;
    events[i].seconds = 1.0;
    events[i].extreme = 81.0;
  }
  return events;
}

TEST(AlarmList, TheCaptionCountsThePeriodsThereAreAndTheRowsListed) {
  struct Case {
    const char* name;
    std::size_t given, total;
    const char* caption;
    int rows;
  };
  const std::vector<Case> cases = {
      {"none", 0, 0, "报警事件  共0条", 0},
      {"as many as given", 3, 0, "报警事件  共3条", 3},
      {"a total below what is given counts what is given", 3, 1, "报警事件  共3条", 3},
      {"more there than kept", 3, 12345, "报警事件  共12345条，列出前3条", 3},
      {"more given than listed", AlarmList::kMostRows + 2, 0, "报警事件  共5002条，列出前5000条", 5000},
      {"kept to the rows listed, a million there", AlarmList::kMostRows, 1000000,
       "报警事件  共1000000条，列出前5000条", 5000},
  };
  AlarmList list;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    list.ShowEvents(Events(c.given), std::vector<int>(c.given, 1), c.total);
    EXPECT_EQ(list.Caption(), QString::fromUtf8(c.caption));
    EXPECT_EQ(list.Table()->rowCount(), c.rows);
    EXPECT_EQ(list.Events().size(), c.given);
  }
}

TEST(AlarmList, WhileThePeriodsAreFoundTheListSaysSoAndKeepsWhatItShowedGreyed) {
  AlarmList list;
  list.ShowEvents(Events(4), std::vector<int>(4, 1), 4);
  EXPECT_FALSE(list.Calculating());
  list.ShowCalculating();
  EXPECT_TRUE(list.Calculating());
  EXPECT_EQ(list.Caption(), QStringLiteral("报警事件  计算中…"));
  EXPECT_FALSE(list.Table()->isEnabled());
  EXPECT_EQ(list.Table()->rowCount(), 4);
  // The same periods again: the count comes back, the table usable.
  list.ShowEvents(Events(4), std::vector<int>(4, 1), 4);
  EXPECT_FALSE(list.Calculating());
  EXPECT_TRUE(list.Table()->isEnabled());
  EXPECT_EQ(list.Caption(), QStringLiteral("报警事件  共4条"));
  // A failure said after the count; the periods gone.
  list.ShowCalculating();
  list.ShowEvents({}, {}, 0, QStringLiteral("  读取档案失败：x"));
  EXPECT_EQ(list.Caption(), QStringLiteral("报警事件  共0条  读取档案失败：x"));
  EXPECT_EQ(list.Table()->rowCount(), 0);
  EXPECT_TRUE(list.Table()->isEnabled());
}

TEST(AlarmList, TheLimitsDialogGivesNoFigureForADefaultNotKnownYet) {
  const auto unknownWithOneLimit = [](const ChannelLimits& l) {
    return l.upper && l.lower ? 0.01 * (*l.upper - *l.lower) : std::numeric_limits<double>::quiet_NaN();
  };
  ChannelLimitsDialog dialog(nullptr, QStringLiteral("通道01"), AlarmLimits(ChannelLimits{80.0, std::nullopt}),
                             unknownWithOneLimit);
  EXPECT_EQ(dialog.DeadbandEdit()->placeholderText(), QStringLiteral("默认"));
  dialog.LowerBox()->setChecked(true);
  dialog.LowerEdit()->setText("20");
  EXPECT_EQ(dialog.DeadbandEdit()->placeholderText(), QStringLiteral("默认 0.6"));
  dialog.LowerEdit()->setText("x");  // not a figure yet: one limit again
  EXPECT_EQ(dialog.DeadbandEdit()->placeholderText(), QStringLiteral("默认"));
}

}  // namespace
}  // namespace vantiro
