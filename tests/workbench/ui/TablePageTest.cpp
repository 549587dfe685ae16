// The data table page's columns: the captions in the recorder's software's format ("通道4(单位)"),
// each whole in the table's face however long its unit, the usual values whole; a column narrowed
// by the user shows its cut caption and values whole in their tooltips.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QTableView>
#include <QTest>
#include <string>
#include <vector>

#include "recorder/DateTime.h"
#include "support/ChannelSamples.h"
#include "support/WholeTexts.h"
#include "workbench/ViewModel.h"
#include "workbench/ui/DataListModel.h"
#include "workbench/ui/TablePage.h"

namespace vantiro {
namespace {

using testing::Channel;
using testing::CutTexts;

const DateTime T0 = *EncodeDateTime(2025, 12, 31, 23, 59, 58);
const double S = kOneSecond;

struct Column {
  std::int16_t number;
  const char* unit;
  const char* caption;
};

// The longest units of the recorder's list and the unit called "单位", with the most digits a
// channel's number has.
const Column kColumns[] = {
    {4, "单位", "通道4(单位)"},        {16, "Kgf/cm2", "通道16(Kgf/cm2)"}, {12, "％LEL", "通道12(％LEL)"},
    {10, "mmH2O", "通道10(mmH2O)"},    {1, "℃", "通道1(℃)"},              {13, "％RH", "通道13(％RH)"},
    {15, "kNm3/h", "通道15(kNm3/h)"}, {9, "ppmO2", "通道9(ppmO2)"},       {2, "", "通道2()"},
};

class TablePageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Values as wide as the recorder's 16-bit samples get, in a row each.
    const float values[] = {-32768.0f, 32767.0f, -0.001f, 12.5f};
    for (const Column& c : kColumns) {
      std::vector<testing::Sample> samples;
      for (std::size_t i = 0; i < std::size(values); ++i) samples.push_back({T0 + static_cast<double>(i) * S, values[i]});
      channels_.push_back(Channel(c.number, c.unit, samples));
      columnChannels_.push_back(static_cast<std::int32_t>(channels_.size() - 1));
    }
    rows_ = BuildTableRows(channels_, columnChannels_);
  }

  std::vector<ChannelInfo> channels_;
  std::vector<std::int32_t> columnChannels_;
  TableRows rows_;
};

TEST_F(TablePageTest, CaptionsKeepTheirFormatAndAreWholeWithTheUsualValues) {
  TablePage page(channels_, rows_, columnChannels_);
  page.resize(1900, 400);
  page.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
  const std::vector<TableColumn> columns = TableColumns(channels_, columnChannels_);
  page.ShowColumns(columns);
  page.ShowPage(0, static_cast<std::uint32_t>(rows_.size()));
  QApplication::processEvents();

  QTableView& view = *page.View();
  ASSERT_EQ(view.model()->columnCount(), static_cast<int>(std::size(kColumns)) + 2);
  ASSERT_EQ(view.model()->rowCount(), 4);
  EXPECT_EQ(testing::CaptionOf(view, 0), "序号");
  EXPECT_EQ(testing::CaptionOf(view, 1), "时间");
  for (std::size_t i = 0; i < std::size(kColumns); ++i) {
    const int section = static_cast<int>(i) + 2;
    SCOPED_TRACE(kColumns[i].caption);
    EXPECT_EQ(testing::CaptionOf(view, section), QString::fromUtf8(kColumns[i].caption));
    // The laid-out width at least, wider where the caption or the values need it.
    EXPECT_GE(view.columnWidth(section), 70);
    EXPECT_EQ(view.columnWidth(section), page.ColumnPixelWidth(columns[i + 2], i + 2));
  }
  EXPECT_EQ(testing::CellOf(view, 0, 2), "-32768.000");
  EXPECT_EQ(testing::CellOf(view, 0, 1), "2025-12-31 23:59:58");
  EXPECT_EQ(CutTexts(view), std::vector<std::string>{});
  // Whole, they have no tooltip.
  EXPECT_EQ(testing::TipOverCaption(view, 2), QString());
  EXPECT_EQ(testing::TipOverCell(view, 0, 2), QString());
}

TEST_F(TablePageTest, AColumnNarrowedByTheUserShowsItsCutTextsInTooltips) {
  TablePage page(channels_, rows_, columnChannels_);
  page.resize(1900, 400);
  page.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&page));
  page.ShowColumns(TableColumns(channels_, columnChannels_));
  page.ShowPage(0, static_cast<std::uint32_t>(rows_.size()));
  QTableView& view = *page.View();
  view.setColumnWidth(2, 30);
  view.setColumnWidth(3, 50);
  QApplication::processEvents();
  EXPECT_EQ(testing::TipOverCaption(view, 2), "通道4(单位)");
  EXPECT_EQ(testing::TipOverCell(view, 0, 2), "-32768.000");
  EXPECT_EQ(testing::TipOverCell(view, 0, 3), "-32768.000");
  EXPECT_EQ(testing::TipOverCell(view, 3, 3), QString());  // 12.500 still whole at 50 pixels
  EXPECT_EQ(testing::TipOverCaption(view, 4), QString());
  EXPECT_EQ(testing::TipOverCell(view, 0, 4), QString());
  EXPECT_GT(testing::ExpectCutTextsInTips(view), 0);
}

}  // namespace
}  // namespace vantiro
