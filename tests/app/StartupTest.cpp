#include "app/Startup.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTranslator>

namespace vantiro {
namespace {

TEST(StartupTest, APeriodOfTheArchiveAtStart) {
  struct Case {
    QStringList arguments;
    QString recorder, archive, from, to, error;
  };
  const Case cases[] = {
      {{"--recorder", "kiln"}, "kiln", "", "", "", ""},
      {{"--archive", "postgresql://plant/archive", "--recorder", "kiln", "--from", "2025-03-14 18:00:00", "--to",
        "2025-03-15 06:00:00", "--monitor"},
       "kiln", "postgresql://plant/archive", "2025-03-14 18:00:00", "2025-03-15 06:00:00", ""},
      {{"--archive", "a.sqlite"}, "", "a.sqlite", "", "", "--recorder"},          // no recorder
      {{"--from", "2025-03-14 18:00:00"}, "", "", "2025-03-14 18:00:00", "", "--recorder"},
      {{"--recorder"}, "", "", "", "", "--recorder"},                                 // no name
      {{"--recorder", "a", "--recorder", "b"}, "a", "", "", "", "--recorder"},        // twice
      {{"rec.bin", "--recorder", "kiln"}, "kiln", "", "", "", "rec.bin"},              // a file besides
      {{"--recorder", "kiln", "--from", "2025-02-30"}, "kiln", "", "2025-02-30", "", "--from"},  // no such day
      {{"--recorder", "kiln", "--to", "yesterday"}, "kiln", "", "", "yesterday", "--to"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const StartupOptions o = ParseStartupOptions(c.arguments);
    EXPECT_EQ(o.recorder, c.recorder);
    EXPECT_EQ(o.archive, c.archive);
    EXPECT_EQ(o.from, c.from);
    EXPECT_EQ(o.to, c.to);
    EXPECT_EQ(o.error, c.error);
  }
}

TEST(StartupTest, TheCommandLine) {
  struct Case {
    QStringList arguments;
    QString file;
    bool monitor;
    bool help;
    bool version;
    QString error;
    QString config = {};
  };
  const Case cases[] = {
      {{"--config", "/tmp/c.ini", "--monitor"}, "", true, false, false, "", "/tmp/c.ini"},
      {{"rec.bin", "--config"}, "rec.bin", false, false, false, "--config"},  // no file given
      {{}, "", false, false, false, ""},
      {{"rec.bin"}, "rec.bin", false, false, false, ""},
      {{"--monitor"}, "", true, false, false, ""},
      {{"rec.bin", "--monitor"}, "rec.bin", true, false, false, ""},
      {{"--help"}, "", false, true, false, ""},
      {{"-h"}, "", false, true, false, ""},
      {{"--version"}, "", false, false, true, ""},
      {{"--", "-starts-with-dash.csv"}, "", false, false, false, "-starts-with-dash.csv"},
      {{"--bogus", "rec.bin"}, "rec.bin", false, false, false, "--bogus"},
      {{"a.bin", "b.bin"}, "a.bin", false, false, false, "b.bin"},  // one recording at a time
      {{"-"}, "-", false, false, false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const StartupOptions o = ParseStartupOptions(c.arguments);
    EXPECT_EQ(o.file, c.file);
    EXPECT_EQ(o.monitor, c.monitor);
    EXPECT_EQ(o.help, c.help);
    EXPECT_EQ(o.version, c.version);
    EXPECT_EQ(o.error, c.error);
    EXPECT_EQ(o.config, c.config);
  }
  EXPECT_TRUE(StartupVersionText().startsWith("Vantiro 1."));
  EXPECT_TRUE(StartupHelpText().startsWith(
      "usage: vantiro [FILE | --recorder NAME [--archive A] [--from T] [--to T]] [--monitor] [--config FILE]\n"));
}

// Whether anything is left for the windows once they are up: a recording, a period of the archive,
// monitoring; not the settings file alone.
TEST(StartupTest, WhatIsLeftToDoOnceTheWindowIsUp) {
  struct Case {
    QStringList arguments;
    bool work;
  };
  const Case cases[] = {
      {{}, false},
      {{"--config", "c.ini"}, false},
      {{"rec.bin"}, true},
      {{"rec.csv", "--config", "c.ini"}, true},
      {{"--monitor"}, true},
      {{"--recorder", "kiln"}, true},
      {{"--archive", "postgresql://plant/archive", "--recorder", "kiln", "--from", "2025-03-14 18:00:00"}, true},
      {{"--recorder", "kiln", "--monitor"}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.join(' ').toStdString());
    const StartupOptions o = ParseStartupOptions(c.arguments);
    ASSERT_TRUE(o.error.isEmpty()) << o.error.toStdString();
    EXPECT_EQ(StartupHasWork(o), c.work);
  }
}

TEST(StartupTest, QtsOwnTextsReadInChinese) {
  QTranslator* translation = InstallQtChineseTranslation(*QCoreApplication::instance());
  ASSERT_NE(translation, nullptr) << "Qt's zh_CN translation is not installed";

  QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  EXPECT_EQ(buttons.button(QDialogButtonBox::Ok)->text(), "确定");
  EXPECT_EQ(buttons.button(QDialogButtonBox::Cancel)->text(), "取消");
  QMessageBox box(QMessageBox::Question, "Vantiro", "?", QMessageBox::Yes | QMessageBox::No);
  EXPECT_EQ(box.button(QMessageBox::Yes)->text(), "是(&Y)");

  // The file dialog Qt draws itself (no desktop's own on this platform).
  QFileDialog dialog;
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  QStringList labels;
  for (const QLabel* label : dialog.findChildren<QLabel*>()) labels << label->text();
  EXPECT_TRUE(labels.contains("查找范围：")) << labels.join('|').toStdString();
  EXPECT_TRUE(labels.contains("文件名称(&N)：")) << labels.join('|').toStdString();

  QCoreApplication::removeTranslator(translation);
  delete translation;
  QDialogButtonBox english(QDialogButtonBox::Cancel);
  EXPECT_EQ(english.button(QDialogButtonBox::Cancel)->text(), "Cancel");
}

}  // namespace
}  // namespace vantiro
