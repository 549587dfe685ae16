// vantiro-convert pdf, run as the program it is (it starts Qt itself): the reports of the print
// command drawn to PDF, checked with pdfinfo and pdftotext.
#include <gtest/gtest.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <filesystem>
#include <string>
#include <vector>

#include "support/RecorderFileBuilder.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

using testing::RecorderFileBuilder;
using testing::RecorderSeconds;
using testing::TempDir;

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

Outcome Run(const QString& program, const QStringList& args) {
  QProcess process;
  process.start(program, args);
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
    ADD_FAILURE() << program.toStdString() << " did not end normally";
    process.kill();
    process.waitForFinished();
    return {};
  }
  return {process.exitCode(), process.readAllStandardOutput().toStdString(),
          process.readAllStandardError().toStdString()};
}

Outcome Convert(const QStringList& args) {
  return Run(QStringLiteral(VANTIRO_BIN_DIR "/vantiro-convert"), QStringList{QStringLiteral("pdf")} + args);
}

std::string PdfText(const std::string& path) {
  return Run(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), QString::fromStdString(path), QStringLiteral("-")}).out;
}

int PdfPages(const std::string& path) {
  const std::string info = Run(QStringLiteral("pdfinfo"), {QString::fromStdString(path)}).out;
  const std::size_t at = info.find("Pages:");
  return at == std::string::npos ? -1 : std::stoi(info.substr(at + 6));
}

// Two channels of `rows` samples a second apart from 2010-05-12 10:00:00.
std::string WriteFile(const TempDir& dir, int rows) {
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 0, 0, 0}, {10, 5, 13, 0, 0, 0}).Channels(0, 1);
  file.Range(0, 30000, 0, 3, 19).Range(1, 30000, 0, 3, 20);
  std::vector<std::int16_t> samples;
  for (int i = 0; i < rows; ++i) samples.push_back(static_cast<std::int16_t>(i % 1000));
  file.Block(0).Chain({{RecorderSeconds(2010, 5, 12, 10, 0, 0), 1, samples}});
  file.Block(1).Chain({{RecorderSeconds(2010, 5, 12, 10, 0, 0), 1, samples}});
  const std::string path = dir.File("rows.bin");
  file.WriteTo(path);
  return path;
}

TEST(PdfCommandTest, TheListReportOfATablePage) {
  TempDir dir;
  const QString input = QString::fromStdString(WriteFile(dir, 1200));
  const std::string out = dir.File("list.pdf");
  struct Case {
    QStringList options;
    std::string first, last;
    int pages;
  };
  const Case cases[] = {
      // 500 rows in portrait: 42 on the first page, 45 on the others.
      {{}, "1 ", "500 ", 12},
      {{"--page", "3"}, "1001 ", "1200 ", 5},
      {{"--page", "2", "--rows-per-page", "100"}, "101 ", "200 ", 3},
  };
  for (const Case& c : cases) {
    const Outcome run = Convert(QStringList{input, QStringLiteral("-o"), QString::fromStdString(out)} + c.options);
    ASSERT_EQ(run.status, 0) << run.err;
    const std::string text = PdfText(out);
    EXPECT_NE(text.find("数据打印"), std::string::npos);
    EXPECT_NE(text.find("\n" + c.first), std::string::npos) << c.first;
    EXPECT_NE(text.find("\n" + c.last), std::string::npos) << c.last;
    EXPECT_EQ(PdfPages(out), c.pages);
    EXPECT_NE(text.find("1 of " + std::to_string(c.pages)), std::string::npos);
  }
}

TEST(PdfCommandTest, TheChartReport) {
  TempDir dir;
  const std::string out = dir.File("chart.pdf");
  const Outcome run = Convert({QString::fromStdString(WriteFile(dir, 600)), QStringLiteral("--chart"),
                               QStringLiteral("-o"), QString::fromStdString(out)});
  ASSERT_EQ(run.status, 0) << run.err;
  const std::string text = PdfText(out);
  EXPECT_NE(text.find("趋势图打印"), std::string::npos);
  EXPECT_NE(text.find("打印范围：2010年05月12日 00时00分00秒 到 2010年05月13日 00时00分00秒"), std::string::npos)
      << text;
  EXPECT_EQ(PdfPages(out), 1);
}

TEST(PdfCommandTest, TheReportsAfterAFilterRun) {
  TempDir dir;
  const QString input = QString::fromStdString(WriteFile(dir, 1200));
  const std::string out = dir.File("filtered.pdf");
  struct Case {
    QStringList options;
    std::vector<std::string> found, absent;
  };
  const Case cases[] = {
      // The rows from 10:05:00 on, page 2 of 100 rows: numbered 101 to 200, from 10:06:40.
      {{"--from", "2010-05-12 10:05:00", "--page", "2", "--rows-per-page", "100", "--channels", "2"},
       {"\n101   2010-05-12 10:06:40", "\n200 ", "通道2("},
       {"\n100 ", "\n201 ", "通道1("}},
      // The window's end included: 101 rows, the second page holds the last.
      {{"--to", "2010-05-12 10:01:40", "--page", "2", "--rows-per-page", "100"},
       {"\n101   2010-05-12 10:01:40", "通道1(", "通道2("},
       {"\n100 ", "\n102 "}},
      // The chart report prints the window's span.
      {{"--chart", "--from", "2010-05-12 10:05:00", "--to", "2010-05-12 10:10:00"},
       {"打印范围：2010年05月12日 10时05分00秒 到 2010年05月12日 10时10分00秒"},
       {}},
  };
  for (const Case& c : cases) {
    const std::string args = c.options.join(' ').toStdString();
    const Outcome run =
        Convert(QStringList{input, QStringLiteral("-o"), QString::fromStdString(out)} + c.options);
    ASSERT_EQ(run.status, 0) << args << ": " << run.err;
    const std::string text = PdfText(out);
    for (const std::string& found : c.found) {
      EXPECT_NE(text.find(found), std::string::npos) << args << ": " << found << "\n" << text;
    }
    for (const std::string& absent : c.absent) {
      EXPECT_EQ(text.find(absent), std::string::npos) << args << ": " << absent;
    }
  }
}

TEST(PdfCommandTest, BadArgumentsAndNothingToPrint) {
  TempDir dir;
  const QString input = QString::fromStdString(WriteFile(dir, 1200));
  const QString out = QString::fromStdString(dir.File("out.pdf"));
  struct Case {
    QStringList args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{input, "-o", out, "--page", "4"}, 2, "there is no page 4"},
      {{input, "-o", out, "--page", "0"}, 2, "usage"},
      {{input, "-o", out, "--rows-per-page", "99"}, 2, "from 100 to 10000"},
      {{input, "-o", out, "--page", "2", "--from", "2010-05-12 10:15:00"}, 2,
       "the table has 1 page of 500 rows; there is no page 2"},
      {{input, "-o", out, "--chart", "--channels", "0"}, 2, "there is no channel 0"},
      {{input, "-o", out, "--from", "2010-05-12 10:10:00", "--to", "2010-05-12 10:05:00"}, 2,
       "--from must be earlier than --to"},
      {{input, "-o", out, "--channels", "2", "--to", "2010-05-11 23:00:00"}, 2, "is empty"},
      {{input, "-o", out, "--channels", "3"}, 1, "没有需要打印的内容"},
      {{input}, 2, "usage"},
      {{QString::fromStdString(dir.File("missing.bin")), "-o", out}, 1, "没有需要打印的内容"},
      {{input, "-o", QString::fromStdString(dir.File("no/such/folder/out.pdf"))}, 1, "cannot write"},
  };
  for (const Case& c : cases) {
    const Outcome run = Convert(c.args);
    EXPECT_EQ(run.status, c.status) << c.args.join(' ').toStdString();
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(out.toStdString())) << c.args.join(' ').toStdString();
  }
}

}  // namespace
}  // namespace vantiro
