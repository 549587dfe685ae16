// The list report's column captions: each on one line inside its cell, read back from the PDF
// with the positions of its words (pdftotext -bbox).
#include <gtest/gtest.h>

#include <QPageLayout>
#include <QPrinter>
#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "output/Reports.h"
#include "output/ui/ReportPrinting.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

using testing::TempDir;
using testing::WriteText;

struct Word {
  double xMin, yMin, xMax, yMax;  // points from the page's top left corner
  std::string text;
};

std::vector<Word> PdfWords(const std::string& path) {
  std::string html;
  FILE* pipe = ::popen(("pdftotext -f 1 -l 1 -bbox '" + path + "' - 2>/dev/null").c_str(), "r");
  if (!pipe) return {};
  char buffer[4096];
  std::size_t n = 0;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) html.append(buffer, n);
  ::pclose(pipe);
  std::vector<Word> words;
  const std::regex word(
      R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="([0-9.]+)" yMax="([0-9.]+)">([^<]*)</word>)re");
  for (auto it = std::sregex_iterator(html.begin(), html.end(), word); it != std::sregex_iterator(); ++it) {
    const std::smatch& m = *it;
    words.push_back({std::stod(m[1]), std::stod(m[2]), std::stod(m[3]), std::stod(m[4]), m[5]});
  }
  return words;
}

double Points(double mm) { return mm * 72.0 / 25.4; }

TEST(ListReportTest, EveryCaptionStaysOnOneLineInsideItsCell) {
  struct Case {
    const char* caption;
    const char* cutAfter;  // null: shown whole; else what the cell shows before an ellipsis
  };
  const Case cases[] = {
      {"通道1(℃)", nullptr},               // fits at the report's size
      {"通道3(%O2)", nullptr},             // wrapped onto two lines before
      {"通道6(Mpa)", nullptr},
      {"通道4(单位)", nullptr},
      {"通道12(m3/h)", nullptr},
      {"通道16(Nm3/h)", "通道16("},        // too long even at 6 points: cut
      {"通道15(一个非常长的单位名称)", "通道15("},
  };
  ListReportData data;
  data.captions = {"序号", "时间"};
  std::vector<std::string> row = {"1", "2010-05-12 10:00:00"};
  for (const Case& c : cases) {
    data.captions.push_back(c.caption);
    row.push_back("-12345.678");
  }
  data.rows.push_back(row);
  data.printTime = PrintTimeText(0.0);

  QPrinter printer(QPrinter::HighResolution);
  SetUpListPrinter(printer, data);
  const QByteArray pdf =
      ReportPdf(printer.pageLayout(), [&data](QPagedPaintDevice& device) { PaintListReport(device, data); });
  ASSERT_FALSE(pdf.isEmpty());
  TempDir dir;
  const std::string path = dir.File("list.pdf");
  WriteText(path, pdf.toStdString());
  const std::vector<Word> words = PdfWords(path);
  ASSERT_FALSE(words.empty());

  // The header band: below the title band, one row high.
  const double top = Points(kListMargin + kListTitleHeight);
  const double bottom = Points(kListMargin + kListTitleHeight + kListRowHeight);
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(cases[i].caption);
    const double left = Points(kListMargin + 45.0 + 15.0 * i);
    const double right = left + Points(15.0);
    std::vector<Word> inCell;
    for (const Word& w : words) {
      const double centreX = (w.xMin + w.xMax) / 2;
      const double centreY = (w.yMin + w.yMax) / 2;
      // Anything of the header band (a wrapped caption's lines are both drawn inside it).
      if (centreX > left && centreX < right && centreY > top && centreY < bottom) {
        inCell.push_back(w);
      }
    }
    ASSERT_EQ(inCell.size(), 1u) << "the caption is in pieces";
    const Word& w = inCell[0];
    if (cases[i].cutAfter) {
      const std::string start = cases[i].cutAfter;
      const std::string ellipsis = "…";
      EXPECT_EQ(w.text.substr(0, start.size()), start);
      ASSERT_GT(w.text.size(), ellipsis.size());
      EXPECT_EQ(w.text.substr(w.text.size() - ellipsis.size()), ellipsis);
    } else {
      EXPECT_EQ(w.text, cases[i].caption);
    }
    EXPECT_GE(w.xMin, left);
    EXPECT_LE(w.xMax, right);
    EXPECT_GE(w.yMin, top);
    EXPECT_LE(w.yMax, bottom);
  }
}

}  // namespace
}  // namespace vantiro
