// vantiro-convert png, run as the program it is: the command starts Qt itself, which a test
// program with its own QApplication cannot host.
#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "support/QtPrinters.h"
#include "support/RecorderFileBuilder.h"
#include "archive/Archive.h"
#include "archive/ArchiveSources.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

using testing::RecorderFileBuilder;
using testing::RecorderSeconds;
using testing::TempDir;

const QString kConvert = QStringLiteral(VANTIRO_BIN_DIR "/vantiro-convert");

struct Outcome {
  int status = -1;
  QString err;
};

Outcome Convert(const QStringList& args, const QStringList& environment = {}) {
  QProcess process;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  for (const QString& setting : environment) env.insert(setting.section('=', 0, 0), setting.section('=', 1));
  process.setProcessEnvironment(env);
  process.start(kConvert, args);
  if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit) {
    ADD_FAILURE() << "vantiro-convert did not end normally: "
                  << process.errorString().toStdString();
    process.kill();
    process.waitForFinished();
    return {};
  }
  return {process.exitCode(), QString::fromUtf8(process.readAllStandardError())};
}

// An hour of two channels: channel 1 a sample a minute, channel 2 (red) a few seconds.
QString WriteHourFile(const TempDir& dir, const std::string& name, int blockCountOfChannel2 = -1) {
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 14, 0, 0}, {10, 5, 12, 15, 0, 0}).Channels(0, 1);
  file.Range(0, 1000, 0, 3, 19).Range(1, 100, 0, 4, 20);
  const std::int32_t t = RecorderSeconds(2010, 5, 12, 14, 0, 0);
  std::vector<std::int16_t> minutes;
  for (int i = 0; i <= 60; ++i) minutes.push_back(static_cast<std::int16_t>(100 + 10 * i));
  file.Block(0).Chain({{t, 60, minutes}});
  file.Block(1).Chain({{t, 120, {10, 90, 20, 80, 30, 70, 40, 60, 50, 50}}});
  if (blockCountOfChannel2 >= 0)
    file.BlockCount(1, static_cast<std::uint16_t>(blockCountOfChannel2));
  const std::string path = dir.File(name);
  file.WriteTo(path);
  return QString::fromStdString(path);
}

bool HasColour(const QImage& image, const QColor& colour) {
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      if (image.pixelColor(x, y) == colour) return true;
    }
  }
  return false;
}

TEST(PngCommandTest, DrawsTheChartPageAtItsSizeOrTheSizeAsked) {
  TempDir dir;
  const QString input = WriteHourFile(dir, "hour.bin");
  struct Case {
    const char* name;
    QStringList options;
    QSize size;
  };
  const Case cases[] = {
      {"default", {}, QSize(1282, 881)},
      {"--size", {"--size", "640x480"}, QSize(640, 480)},
      {"--at", {"--at", "2010-05-12 14:30:00"}, QSize(1282, 881)},
      {"--at and --size",
       {"--size", "800x600", "--at", "2010-05-12 14:45:00.500"},
       QSize(800, 600)},
  };
  QImage plain;
  for (const Case& c : cases) {
    const QString out = QString::fromStdString(dir.File(std::string(c.name) + ".png"));
    const Outcome run = Convert(QStringList({"png", input, "-o", out}) + c.options);
    EXPECT_EQ(run.status, 0) << c.name;
    EXPECT_FALSE(run.err.contains("error")) << run.err.toStdString();
    QImage image;
    ASSERT_TRUE(image.load(out, "PNG")) << c.name;
    EXPECT_EQ(image.size(), c.size) << c.name;
    const int w = image.width(), h = image.height();
    for (const QPoint at :
         {QPoint(0, 0), QPoint(w - 1, h / 2), QPoint(w / 2, h - 1), QPoint(w - 1, h - 1)}) {
      EXPECT_EQ(image.pixelColor(at), QColor(0, 60, 0))
          << c.name << ": outer frame at " << at.x() << "," << at.y();
    }
    EXPECT_EQ(image.pixelColor(w / 2, h - 3), QColor(Qt::black)) << c.name << ": background";
    EXPECT_TRUE(HasColour(image, QColor(255, 0, 0))) << c.name << ": channel 2's red line";
    if (std::string(c.name) == "default") plain = image;
    if (std::string(c.name) == "--at") {
      EXPECT_NE(image, plain) << "the cursor stands elsewhere";
    }
  }
}

TEST(PngCommandTest, DrawsTheChartAfterAFilterRun) {
  TempDir dir;
  const QString input = WriteHourFile(dir, "hour.bin");
  struct Case {
    const char* name;
    QStringList options;
    bool red;  // channel 2's line is drawn
  };
  const Case cases[] = {
      {"all", {}, true},
      {"channel 1", {"--channels", "1"}, false},
      {"channel 2", {"--channels", "2"}, true},
      {"window", {"--from", "2010-05-12 14:10:00", "--to", "2010-05-12 14:20:00"}, true},
      {"window and channel 1", {"--channels", "1", "--to", "2010-05-12 14:20:00"}, false},
  };
  std::vector<QImage> images;
  for (const Case& c : cases) {
    const QString out = QString::fromStdString(dir.File(std::string(c.name) + ".png"));
    const Outcome run = Convert(QStringList({"png", input, "-o", out}) + c.options);
    EXPECT_EQ(run.status, 0) << c.name << ": " << run.err.toStdString();
    QImage image;
    ASSERT_TRUE(image.load(out, "PNG")) << c.name;
    EXPECT_EQ(image.size(), QSize(1282, 881)) << c.name;
    EXPECT_EQ(HasColour(image, QColor(255, 0, 0)), c.red) << c.name;
    for (std::size_t k = 0; k < images.size(); ++k) {
      EXPECT_NE(image, images[k]) << c.name << " drawn as " << cases[k].name;
    }
    images.push_back(image);
  }
  // The cursor stands where the filter puts it: 0.1 s after the window's start.
  const QStringList window = {"--from", "2010-05-12 14:10:00", "--to", "2010-05-12 14:20:00"};
  const QString placed = QString::fromStdString(dir.File("placed.png"));
  const QString elsewhere = QString::fromStdString(dir.File("elsewhere.png"));
  ASSERT_EQ(Convert(QStringList({"png", input, "-o", placed, "--at", "2010-05-12 14:10:00.100"}) + window).status, 0);
  ASSERT_EQ(Convert(QStringList({"png", input, "-o", elsewhere, "--at", "2010-05-12 14:15:00"}) + window).status, 0);
  EXPECT_EQ(QImage(placed, "PNG"), images[3]);
  EXPECT_NE(QImage(elsewhere, "PNG"), images[3]);
}

TEST(PngCommandTest, BadFilterOptionsAreUsageErrorsWithTheirMessage) {
  TempDir dir;
  const QString input = WriteHourFile(dir, "hour.bin");
  const QString out = QString::fromStdString(dir.File("out.png"));
  struct Case {
    QStringList options;
    const char* message;
  };
  const Case cases[] = {
      {{"--channels", "17"}, "error: --channels: there is no channel 17; channels are numbered 1 to 16\n"},
      {{"--from", "2010-05-12 14:30:00", "--to", "2010-05-12 14:10:00"},
       "error: --from must be earlier than --to (by 1 ms at least)\n"},
      {{"--to", "noon"}, "error: --to takes a time as yyyy-mm-dd HH:MM:SS[.fff], not 'noon'\n"},
      {{"--from", "2010-05-12 16:00:00"},
       "error: the window from 2010-05-12 16:00:00.000 to 2010-05-12 15:00:00.000 is empty: its start "
       "must be earlier than its end (the recording runs from 2010-05-12 14:00:00.000 to "
       "2010-05-12 15:00:00.000)\n"},
      {{"--page", "1"}, "usage: vantiro-convert"},  // no table pages in a picture
  };
  for (const Case& c : cases) {
    const Outcome run = Convert(QStringList({"png", input, "-o", out}) + c.options);
    const std::string args = c.options.join(' ').toStdString();
    EXPECT_EQ(run.status, 2) << args;
    EXPECT_TRUE(run.err.startsWith(QString::fromUtf8(c.message))) << args << ": " << run.err.toStdString();
    EXPECT_TRUE(run.err.endsWith("[--channels LIST]\n")) << args << ": " << run.err.toStdString();
    EXPECT_EQ(run.err.count('\n'), std::string(c.message).starts_with("error") ? 2 : 1) << args;
    EXPECT_FALSE(std::filesystem::exists(out.toStdString())) << args;
  }
}

TEST(PngCommandTest, UsageErrorsGiveStatusTwoAndNoPicture) {
  TempDir dir;
  const QString input = WriteHourFile(dir, "hour.bin");
  const QString out = QString::fromStdString(dir.File("out.png"));
  const std::vector<QStringList> cases = {
      {"png", input, "-o", out, "--size", "640"},
      {"png", input, "-o", out, "--size", "640x"},
      {"png", input, "-o", out, "--size", "x480"},
      {"png", input, "-o", out, "--size", "0x480"},
      {"png", input, "-o", out, "--size", "15x480"},
      {"png", input, "-o", out, "--size", "640x480x2"},
      {"png", input, "-o", out, "--size", "abcx480"},
      {"png", input, "-o", out, "--size"},
      {"png", input, "-o", out, "--at", "yesterday"},
      {"png", input, "-o", out, "--at"},
      {"png", input},
      {"png", "-o", out},
      {"png", input, "-o", out, "--bogus"},
  };
  for (const QStringList& args : cases) {
    const Outcome run = Convert(args);
    EXPECT_EQ(run.status, 2) << args.join(' ').toStdString();
    EXPECT_TRUE(run.err.startsWith("usage: vantiro-convert")) << run.err.toStdString();
    EXPECT_FALSE(std::filesystem::exists(out.toStdString())) << args.join(' ').toStdString();
  }
}

TEST(PngCommandTest, AnUnwritablePictureGivesStatusOneAndNoFile) {
  TempDir dir;
  const QString input = WriteHourFile(dir, "hour.bin");
  const std::string out = dir.File("missing/out.png");
  const Outcome run = Convert({"png", input, "-o", QString::fromStdString(out)});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.contains("cannot write")) << run.err.toStdString();
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_FALSE(std::filesystem::exists(dir.File("missing")));
}

TEST(PngCommandTest, AReaderFailureGivesStatusOneAndStillDrawsWhatWasRead) {
  TempDir dir;
  const QString input = WriteHourFile(dir, "short.bin", 3);  // two blocks of channel 2 missing
  const QString out = QString::fromStdString(dir.File("short.png"));
  const Outcome run = Convert({"png", input, "-o", out});
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.err.contains("文件读取失败。")) << run.err.toStdString();
  QImage image;
  ASSERT_TRUE(image.load(out, "PNG"));
  EXPECT_EQ(image.size(), QSize(1282, 881));
}


// Channel 2 (drawn red) of `count` samples a second from 2010-05-12 00:00:00, all 100 but one
// spike of 5000 at `spike`; records of 5,000 samples a block.
// The header's window ends at `end` (its samples then fill the chart's width).
QString WriteSpikeFile(const TempDir& dir, const std::string& name, int count, int spike, const testing::FieldTime& end) {
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 0, 0, 0}, end).Channels(0, 1).Range(0, 30000, 0, 4, 27);
  file.Range(1, 30000, 0, 4, 27);
  const std::int32_t t = RecorderSeconds(2010, 5, 12, 0, 0, 0);
  file.Block(0).Chain({{t, 1, {100}}});
  for (int at = 0; at < count; at += 5000) {
    std::vector<std::int16_t> samples(static_cast<std::size_t>(std::min(5000, count - at)), 100);
    if (spike >= at && spike < at + 5000) samples[static_cast<std::size_t>(spike - at)] = 5000;
    file.Block(1).Chain({{t + at, 1, samples}});
  }
  const std::string path = dir.File(name);
  file.WriteTo(path);
  return QString::fromStdString(path);
}

// The rows of the plot area holding a pixel of the red line (or of an overview's band around it,
// drawn in a darker red): one or two for a flat line, many more where a spike rises from it.
int RedRows(const QImage& image) {
  int rows = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 80; x < image.width() * 2 / 3; ++x) {
      const QColor c = image.pixelColor(x, y);
      if (c.red() > 120 && c.green() < 40 && c.blue() < 40) {
        ++rows;
        break;
      }
    }
  }
  return rows;
}

TEST(PngCommandTest, EnvelopeDrawsTheSpikeTheThinningHides) {
  TempDir dir;
  // 1.2 million samples: every second one drawn; the spike on one left out.
  const QString input = WriteSpikeFile(dir, "long.bin", 1'200'000, 600'001, {10, 5, 25, 21, 20, 0});
  const QString thinned = QString::fromStdString(dir.File("thinned.png"));
  const QString envelope = QString::fromStdString(dir.File("envelope.png"));
  ASSERT_EQ(Convert({"png", input, "-o", thinned}).status, 0);
  ASSERT_EQ(Convert({"png", input, "-o", envelope, "--envelope"}).status, 0);
  EXPECT_LE(RedRows(QImage(thinned)), 3);
  EXPECT_GE(RedRows(QImage(envelope)), 20);
  EXPECT_EQ(Convert({"png", input, "-o", envelope, "--envelope", "--envelope"}).status, 2);
}

TEST(PngCommandTest, AnArchivePeriodAboveTheLimitIsDrawnFromTheSummariesWithItsSpike) {
  TempDir dir;
  const std::string location = dir.File("archive.sqlite");
  {
    std::string error;
    auto archive = Archive::Open(location, true, error);
    ASSERT_TRUE(archive) << error;
    SourceRecording recording;
    ASSERT_FALSE(LoadRecordingFile(WriteSpikeFile(dir, "day.bin", 20000, 12345, {10, 5, 12, 5, 33, 20}).toStdString(), recording));
    ASSERT_EQ(archive->Import("kiln", recording).outcome, ImportResult::Outcome::Imported);
  }
  const QString overview = QString::fromStdString(dir.File("overview.png"));
  const QString exact = QString::fromStdString(dir.File("exact.png"));
  const QStringList args = {"png", "--archive", QString::fromStdString(location), "--recorder", "kiln", "-o"};
  const Outcome drawn = Convert(args + QStringList{overview}, {"VANTIRO_OVERVIEW_ABOVE=1000"});
  ASSERT_EQ(drawn.status, 0) << drawn.err.toStdString();
  ASSERT_EQ(Convert(args + QStringList{exact}).status, 0);
  const QImage a(overview);
  const QImage b(exact);
  ASSERT_EQ(a.size(), QSize(1282, 881));
  EXPECT_GE(RedRows(a), 20);
  EXPECT_GE(RedRows(b), 20);
}

}  // namespace
}  // namespace vantiro

namespace vantiro {
namespace {

// --scale draws the chart on the scale the window's 视图 offers; single is the default picture.
TEST(PngCommandTest, TheScaleOptionDrawsEachScale) {
  TempDir dir;
  const QString input = WriteHourFile(dir, "hour.bin");
  std::vector<QImage> images;
  for (const char* scale : {"", "single", "range", "unit"}) {
    const QString out = QString::fromStdString(dir.File(std::string("scale-") + scale + ".png"));
    QStringList args = {"png", input, "-o", out};
    if (*scale) args << "--scale" << scale;
    const Outcome run = Convert(args);
    ASSERT_EQ(run.status, 0) << scale << ": " << run.err.toStdString();
    QImage image;
    ASSERT_TRUE(image.load(out, "PNG")) << scale;
    EXPECT_TRUE(HasColour(image, QColor(255, 0, 0))) << scale << ": channel 2's red line";
    images.push_back(image);
  }
  EXPECT_EQ(images[0], images[1]);  // the single axis is the default
  EXPECT_NE(images[1], images[2]);
  EXPECT_NE(images[1], images[3]);
  EXPECT_NE(images[2], images[3]);
  // The chart report takes it too.
  const QString pdf = QString::fromStdString(dir.File("unit.pdf"));
  EXPECT_EQ(Convert({"pdf", input, "-o", pdf, "--chart", "--scale", "unit"}).status, 0);
  // A scale it does not know is a usage error that names the choices.
  const Outcome bad = Convert({"png", input, "-o", QString::fromStdString(dir.File("bad.png")), "--scale", "log"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_TRUE(bad.err.contains("single, range or unit")) << bad.err.toStdString();
}

}  // namespace
}  // namespace vantiro
