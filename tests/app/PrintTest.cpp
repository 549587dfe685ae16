// The print command: what it prints from each page, drawn into a PDF file through the scripted
// preview and read back with pdftotext.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QPageLayout>
#include <QPdfWriter>
#include <QTabWidget>
#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>

#include "chart/ui/ChartPanels.h"
#include "output/Reports.h"
#include "output/ui/PrintCommands.h"
#include "output/ui/ReportPrinting.h"
#include "support/RecorderFileBuilder.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "app/AppWindows.h"
#include "workbench/ui/DataListModel.h"
#include "app/TMainForm.h"

namespace vantiro {
namespace {

using testing::RecorderFileBuilder;
using testing::RecorderSeconds;
using testing::ScriptedPrompts;

// The text of a PDF file, page breaks as form feeds.
std::string PdfText(const std::string& path) {
  std::string text;
  FILE* pipe = ::popen(("pdftotext -layout '" + path + "' - 2>/dev/null").c_str(), "r");
  if (!pipe) return text;
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
  ::pclose(pipe);
  return text;
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t count = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

class PrintTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("XDG_CONFIG_HOME", (dir_.Path() / "config").c_str(), 1);
    prompts_.reportPdf = QString::fromStdString(dir_.File("report.pdf"));
  }
  void TearDown() override { windows_.reset(); }

  TMainForm& Start() {
    windows_ = std::make_unique<AppWindows>();
    return *windows_->mainForm;
  }

  // `channels` channels of `rows` samples each, one a second from 2010-05-12 10:00:00.
  std::string WriteFile(int channels, int rows) {
    RecorderFileBuilder file;
    file.Window({10, 5, 12, 0, 0, 0}, {10, 5, 13, 0, 0, 0}).Channels(0, channels - 1);
    for (int c = 0; c < channels; ++c) {
      file.Range(c, 30000, 0, 3, 19);
      std::vector<std::int16_t> samples;
      for (int i = 0; i < rows; ++i) samples.push_back(static_cast<std::int16_t>(10 * c + i % 100));
      file.Block(c).Chain({{RecorderSeconds(2010, 5, 12, 10, 0, 0), 1, samples}});
    }
    const std::string path = dir_.File("c" + std::to_string(channels) + "r" + std::to_string(rows) + ".bin");
    file.WriteTo(path);
    return path;
  }

  std::string Report() const { return PdfText(prompts_.reportPdf.toStdString()); }

  testing::TempDir dir_;
  ScriptedPrompts prompts_;
  std::unique_ptr<AppWindows> windows_;
};

TEST_F(PrintTest, NothingToPrintOnAnEmptyTableOrChart) {
  TMainForm& f = Start();
  f.PrintButtonClick();
  f.ChartMenuItemClick();
  f.PrintButtonClick();
  ASSERT_EQ(prompts_.messages.size(), 2u);
  for (const auto& shown : prompts_.messages) {
    EXPECT_EQ(shown.text, "没有需要打印的内容");
    EXPECT_EQ(shown.icon, MessageIcon::Information);
  }
  EXPECT_EQ(prompts_.reports, 0);
}

TEST_F(PrintTest, TheListReportHoldsTheTablePageOnShowNumberedAsTheTable) {
  TMainForm& f = Start();
  f.OpenFromCommandLine(QString::fromStdString(WriteFile(3, 1200)));
  f.NextPageButtonClick();
  f.NextPageButtonClick();  // rows 1001..1200
  ASSERT_EQ(f.pageStart, 1000u);
  f.PrintButtonClick();
  ASSERT_EQ(prompts_.reports, 1);
  EXPECT_EQ(prompts_.reportLayouts[0].orientation(), QPageLayout::Portrait);
  const std::string text = Report();
  EXPECT_NE(text.find("数据打印"), std::string::npos);
  EXPECT_NE(text.find("打印时间："), std::string::npos);
  EXPECT_NE(text.find("制表人："), std::string::npos);
  EXPECT_NE(text.find("1001"), std::string::npos);
  EXPECT_NE(text.find("1200"), std::string::npos);
  EXPECT_EQ(text.find("1000 "), std::string::npos);  // the page before is not printed
  EXPECT_NE(text.find("通道1(℃)"), std::string::npos);
  // 200 rows: 42 on the first page, 45 on the next three, 23 on the last.
  EXPECT_NE(text.find("1 of 5"), std::string::npos);
  EXPECT_NE(text.find("5 of 5"), std::string::npos);
  EXPECT_EQ(Count(text, "序号"), 5u);  // the header on every page
  EXPECT_EQ(Count(text, "数据打印"), 1u);  // the title on the first only
}

TEST_F(PrintTest, ElevenChannelsPrintInLandscape) {
  for (int channels : {10, 11}) {
    prompts_.reportLayouts.clear();
    TMainForm& f = Start();
    f.OpenFromCommandLine(QString::fromStdString(WriteFile(channels, 3)));
    f.PrintButtonClick();
    ASSERT_EQ(prompts_.reportLayouts.size(), 1u) << channels;
    EXPECT_EQ(prompts_.reportLayouts[0].orientation(),
              channels > 10 ? QPageLayout::Landscape : QPageLayout::Portrait)
        << channels;
    // The last channel column is printed (its caption wraps inside the 15 mm box).
    EXPECT_NE(Report().find(std::to_string(channels) + "(℃)"), std::string::npos) << channels;
  }
}

TEST_F(PrintTest, TheChartReportNamesTheVisibleRange) {
  TMainForm& f = Start();
  f.OpenFromCommandLine(QString::fromStdString(WriteFile(2, 600)));
  f.ChartMenuItemClick();
  f.PrintButtonClick();
  ASSERT_EQ(prompts_.reports, 1);
  EXPECT_EQ(prompts_.reportLayouts[0].orientation(), QPageLayout::Landscape);
  const std::string text = Report();
  EXPECT_NE(text.find("趋势图打印"), std::string::npos);
  EXPECT_NE(text.find("打印时间："), std::string::npos);
  EXPECT_NE(text.find("打印范围：" + FormatDateTime(f.summary.startTime, DatePattern::Report) + " 到 " +
                      FormatDateTime(f.summary.endTime, DatePattern::Report)),
            std::string::npos);
}

// With the span panel on, its table prints under the picture: a row per channel, and the rows a
// page does not hold go on the next with the header again.
TEST_F(PrintTest, TheChartReportPrintsTheSpanTableWhileThePanelShows) {
  TMainForm& f = Start();
  f.OpenFromCommandLine(QString::fromStdString(WriteFile(16, 300)));
  f.ChartMenuItemClick();
  f.PrintButtonClick();
  EXPECT_EQ(Report().find("最小值时间"), std::string::npos);  // the panel is off
  f.SpanPanelMenuItem->trigger();
  f.PrintButtonClick();
  ASSERT_EQ(prompts_.reports, 2);
  const std::string text = Report();
  EXPECT_NE(text.find("最小值时间"), std::string::npos);
  EXPECT_NE(text.find("超下限时间"), std::string::npos);
  for (const char* channel : {"通道01", "通道09", "通道16"}) EXPECT_NE(text.find(channel), std::string::npos) << channel;
  QApplication::processEvents();  // the panel's own refresh
  ASSERT_EQ(StatisticsReportRows(f.SpanView->Rows()).size(), 17u);

  // Rows beyond the first page: each page's header repeated.
  std::vector<SpanStatistics> many(60, f.SpanView->Rows().front());
  ChartReportData data;
  data.picture = QImage(1282, 881, QImage::Format_RGB888);
  data.picture.fill(Qt::white);
  data.statistics = StatisticsReportRows(many);
  const QString pdf = QString::fromStdString(dir_.File("many.pdf"));
  {
    QPdfWriter writer(pdf);
    SetUpChartPrinter(writer);
    PaintChartReport(writer, data);
  }
  const std::string pages = PdfText(pdf.toStdString());
  EXPECT_GE(std::count(pages.begin(), pages.end(), '\f'), 2);
  std::size_t headers = 0;
  for (std::size_t at = pages.find("最大值时间"); at != std::string::npos; at = pages.find("最大值时间", at + 1)) ++headers;
  EXPECT_GE(headers, 2u);
}

}  // namespace
}  // namespace vantiro
