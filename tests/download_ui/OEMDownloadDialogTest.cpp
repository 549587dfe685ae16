// The OEM download dialog: its controls, the file choice, downloads run from its start button
// (against an in-process recorder behind a scripted serial library, and against the simulated
// recorder on a pseudo-terminal through the real termios layer), the outcome boxes, the refusal to
// close while a download runs, and the main window's command that opens it.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "instrument/CommSettings.h"
#include "instrument/FakeSerialLibrary.h"
#include "instrument/ModbusRtuImpl.h"
#include "instrument/ui/InstrumentDialogs.h"
#include "integration/SimulatedLine.h"
#include "recorder-sim/RecorderModel.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "app/AppWindows.h"
#include "app/TMainForm.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;
using testing::ScriptedPrompts;
using testing::SimulatedLine;

const QString kInProgress = QStringLiteral("下装正在进行，请稍等！");
const QString kSucceeded = QStringLiteral("下装成功!");
const QString kFailed = QStringLiteral("下装失败!");
const QString kReadFailed = QStringLiteral("读取文件失败!");
const QString kOpenFailed = QStringLiteral("串口初始化失败!");

Bytes Pattern(std::size_t size) {
  Bytes bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<std::uint8_t>((i * 37 + i / 512) & 0xFF);
  }
  return bytes;
}

// The picture as a source-code array, twelve constants a line.
std::string PictureText(const Bytes& bytes) {
  std::string text = "const unsigned char gImage_logo[] = { /* 0X7E */\n";
  static const char* digits = "0123456789ABCDEF";
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    text += "0X";
    text += digits[bytes[i] >> 4];
    text += digits[bytes[i] & 15];
    text += (i % 12 == 11) ? ",\n" : ",";
  }
  return text + "};\n";
}

// What the recorder should hold: the picture padded with zeros to whole blocks.
std::string Padded(const Bytes& picture, int blocks) {
  std::string expected(picture.begin(), picture.end());
  expected.resize(static_cast<std::size_t>(blocks) * 512, '\0');
  return expected;
}

// Runs the event loop until `done` holds; false when `ms` pass first.
template <typename Done>
bool WaitFor(Done done, int ms = 30000) {
  const QDeadlineTimer deadline(ms);
  while (!done()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(5);
  }
  return true;
}

bool WaitForEnd(TOEMDLDlg& dialog) {
  return WaitFor([&] { return dialog.StartBtn->isEnabled(); });
}

// The progress bar's positions as the download set them.
struct ProgressTrail {
  explicit ProgressTrail(QProgressBar* bar) {
    QObject::connect(bar, &QProgressBar::valueChanged, bar,
                     [this](int value) { values.push_back(value); });
  }
  std::vector<int> values;
};

std::vector<int> OneToN(int n) {
  std::vector<int> values;
  for (int i = 1; i <= n; ++i) values.push_back(i);
  return values;
}

// ---------------------------------------------------------------------------------------------
// The dialog as it opens, and the file choice.

TEST(OEMDownloadDialogTest, OpensFixedCentredWithEveryControlInItsRow) {
  TOEMDLDlg dialog;
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("OEM下装"));
  EXPECT_EQ(dialog.size(), QSize(401, 143));
  EXPECT_EQ(dialog.minimumSize(), QSize(401, 143));
  EXPECT_EQ(dialog.maximumSize(), QSize(401, 143));
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    const QPoint offset = dialog.geometry().center() - screen->geometry().center();
    EXPECT_LE(offset.manhattanLength(), 2) << offset.x() << "," << offset.y();
  }

  EXPECT_EQ(dialog.Label1->text(), QStringLiteral("下位机画面地址："));
  EXPECT_EQ(dialog.Label2->text(), QStringLiteral("下装图片路径："));
  EXPECT_EQ(dialog.Label3->text(), QStringLiteral("下装前，请确保下位机已经进入下装下装页面。"));
  EXPECT_EQ(dialog.PathSelectBtn->text(), QStringLiteral("..."));
  EXPECT_EQ(dialog.StartBtn->text(), QStringLiteral("开始下装"));
  EXPECT_EQ(dialog.CancelBtn->text(), QStringLiteral("取消"));
  EXPECT_FALSE(dialog.CancelBtn->isEnabled());  // nothing to cancel yet
  EXPECT_EQ(dialog.Label1->buddy(), dialog.DLAddress);
  EXPECT_EQ(dialog.Label2->buddy(), dialog.DLPicPath);

  ASSERT_EQ(dialog.DLAddress->count(), 6);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(dialog.DLAddress->itemText(i), QString::number(i + 1));
  EXPECT_EQ(dialog.DLAddress->currentIndex(), 0);
  EXPECT_FALSE(dialog.DLAddress->isEditable());
  EXPECT_EQ(dialog.DLPicPath->text(), QString());
  EXPECT_TRUE(dialog.StartBtn->isEnabled());
  EXPECT_FALSE(dialog.Downloading());
  EXPECT_EQ(dialog.DLProgressBar->minimum(), 0);
  EXPECT_EQ(dialog.DLProgressBar->maximum(), 100);
  EXPECT_EQ(dialog.DLProgressBar->value(), 0);

  // Rows from top to bottom; in a row, the label, its field and the row's button left to right;
  // nothing leaves the dialog and nothing overlaps.
  const std::vector<std::vector<QWidget*>> rows = {
      {dialog.Label1, dialog.DLAddress, dialog.CancelBtn, dialog.StartBtn},
      {dialog.Label2, dialog.DLPicPath, dialog.PathSelectBtn},
      {dialog.Label3},
      {dialog.DLProgressBar}};
  std::vector<QWidget*> all;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) {
      QWidget* w = rows[r][c];
      SCOPED_TRACE(w->objectName().toStdString());
      EXPECT_TRUE(dialog.rect().contains(w->geometry()))
          << w->geometry().x() << "," << w->geometry().y();
      EXPECT_TRUE(w->isVisibleTo(&dialog));
      if (c > 0) {
        EXPECT_LT(rows[r][c - 1]->geometry().right(), w->geometry().left());
      }
      if (r > 0) {
        EXPECT_LT(rows[r - 1][0]->geometry().bottom(), w->geometry().top());
      }
      all.push_back(w);
    }
  }
  for (std::size_t i = 0; i < all.size(); ++i) {
    for (std::size_t j = i + 1; j < all.size(); ++j) {
      EXPECT_FALSE(all[i]->geometry().intersects(all[j]->geometry()))
          << all[i]->objectName().toStdString() << " / " << all[j]->objectName().toStdString();
    }
  }
  // Each caption is shown whole.
  for (QLabel* label : {dialog.Label1, dialog.Label2, dialog.Label3}) {
    EXPECT_GE(label->width(), label->sizeHint().width()) << label->objectName().toStdString();
  }
  for (QPushButton* button : {dialog.StartBtn, dialog.CancelBtn}) {
    EXPECT_GE(button->width(), button->fontMetrics().horizontalAdvance(button->text()));
  }
}

TEST(OEMDownloadDialogTest, ThePathButtonPutsTheChosenFileIntoThePath) {
  struct Case {
    const char* name;
    QString before;
    QString chosen;  // "" cancels
    QString after;
  };
  const Case cases[] = {
      {"a file chosen", QString(), QStringLiteral("/pictures/画面1.c"),
       QStringLiteral("/pictures/画面1.c")},
      {"another file replaces the path", QStringLiteral("old.c"), QStringLiteral("new.c"),
       QStringLiteral("new.c")},
      {"cancelled: the path stays", QStringLiteral("old.c"), QString(), QStringLiteral("old.c")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedPrompts prompts;
    prompts.openFiles.push_back(c.chosen);
    TOEMDLDlg dialog;
    dialog.DLPicPath->setText(c.before);
    dialog.PathSelectBtn->click();
    EXPECT_EQ(dialog.DLPicPath->text(), c.after);
    ASSERT_EQ(prompts.openFilters.size(), 1u);
    EXPECT_TRUE(prompts.messages.empty());
  }
}

// The file dialog lists every file, those without an extension too (a picture saved as "logo"):
// the patterns Qt's own file dialog takes from the filter match such names.
TEST(OEMDownloadDialogTest, TheFileChoiceShowsFilesWithoutAnExtension) {
  ScriptedPrompts prompts;
  TOEMDLDlg dialog;
  dialog.PathSelectBtn->click();
  ASSERT_EQ(prompts.openFilters.size(), 1u);
  QFileDialog files;
  files.setOption(QFileDialog::DontUseNativeDialog);
  files.setNameFilter(QtFileFilter(prompts.openFilters[0]));
  auto* model = files.findChild<QFileSystemModel*>();
  ASSERT_NE(model, nullptr);
  const QStringList patterns = model->nameFilters();
  for (const char* name : {"logo", "logo.c", "画面1.txt", "LOGO.BIN", "a.b.c"}) {
    EXPECT_TRUE(QDir::match(patterns, QString::fromUtf8(name)))
        << name << " hidden by " << patterns.join(QLatin1Char(' ')).toStdString();
  }
}

// ---------------------------------------------------------------------------------------------
// Downloads against an in-process recorder: the serial library is scripted, and whatever the
// program writes goes to recorder-sim's recorder model, whose reply is what the next reads get.

// Frames of `function` (0x41, 0x42, 0x43) go unanswered; for blocks, only those with
// `silentSequence` as their sequence byte (any when it is negative).
struct Silence {
  int function = 0;
  int silentSequence = -1;
};

class InProcessRecorder {
 public:
  explicit InProcessRecorder(Silence silence = {})
      : model_(sim::SimOptions{}, sim::DefaultChannels()), silence_(silence),
        instrument_(library_, [](std::chrono::milliseconds) {}) {
    library_.onWrite = [this](std::span<const std::uint8_t> frame) {
      frames.emplace_back(frame.begin(), frame.end());
      if (frame.size() >= 3 && frame[1] == silence_.function &&
          (silence_.silentSequence < 0 || frame[2] == silence_.silentSequence)) {
        return;
      }
      library_.Send(model_.Answer(frame, sim::Moment{}));
    };
  }

  ModbusRtuImpl& Instrument() { return instrument_; }
  const Bytes& Picture() const { return model_.Picture(); }
  int Closes() const { return library_.CountOf(testing::FakeSerialLibrary::Op::Close); }

  std::vector<Bytes> frames;  // every frame written, in order

 private:
  testing::FakeSerialLibrary library_;
  sim::RecorderModel model_;
  Silence silence_;
  ModbusRtuImpl instrument_;
};

TEST(OEMDownloadDialogTest, TheStartButtonSendsThePictureIntoTheSlotChosen) {
  struct Case {
    const char* name;
    std::size_t size;
    int slot;
    int blocks;
    const char* fileName;
  };
  const Case cases[] = {
      {"1000 bytes into slot 3: two blocks, the second padded", 1000, 3, 2, "logo.c"},
      {"exactly 512 bytes into slot 1: one block", 512, 1, 1, "logo.c"},
      {"slot 6, a file name with blanks and Chinese", 513, 6, 2, "开机 画面.txt"},
      {"slot 2", 7, 2, 1, "logo"},
      {"258 blocks into slot 5: the sequence byte wraps", 258 * 512, 5, 258, "logo.c"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string path = dir.File(c.fileName);
    const Bytes picture = Pattern(c.size);
    testing::WriteText(path, PictureText(picture));
    ScriptedPrompts prompts;
    InProcessRecorder recorder;
    TOEMDLDlg dialog(nullptr, recorder.Instrument());
    dialog.SetIniPath(dir.File("config.ini"));  // none: the defaults
    ProgressTrail trail(dialog.DLProgressBar);
    dialog.DLPicPath->setText(QString::fromStdString(path));
    dialog.DLAddress->setCurrentIndex(c.slot - 1);

    dialog.StartBtn->click();
    EXPECT_FALSE(dialog.StartBtn->isEnabled());
    ASSERT_TRUE(WaitForEnd(dialog));

    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kSucceeded);
    EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(dialog.DLProgressBar->maximum(), c.blocks + 2);
    EXPECT_EQ(trail.values, OneToN(c.blocks + 2));
    EXPECT_FALSE(linkOpen);
    EXPECT_EQ(recorder.Closes(), 1);

    // Start frame with the slot's picture number, the blocks in order, the end frame.
    ASSERT_EQ(recorder.frames.size(), static_cast<std::size_t>(c.blocks) + 2);
    EXPECT_EQ(recorder.frames.front()[1], 0x41);
    EXPECT_EQ(recorder.frames.front()[2], c.slot - 1);
    for (int j = 0; j < c.blocks; ++j) {
      const Bytes& frame = recorder.frames[static_cast<std::size_t>(j) + 1];
      EXPECT_EQ(frame[1], 0x42);
      EXPECT_EQ(frame[2], j & 0xFF);
      EXPECT_EQ(frame.size(), 517u);
    }
    EXPECT_EQ(recorder.frames.back()[1], 0x43);
    const Bytes& got = recorder.Picture();
    EXPECT_TRUE(std::string(got.begin(), got.end()) == Padded(picture, c.blocks));
  }
}

TEST(OEMDownloadDialogTest, AFrameNotAcknowledgedEndsTheDownloadThere) {
  struct Case {
    const char* name;
    Silence silence;
    std::size_t framesSent;  // 3 blocks of picture
    int position;            // where the bar stops; its maximum is 5
  };
  const Case cases[] = {
      {"start frame", {0x41}, 1, 0},
      {"first block, ten attempts", {0x42, 0}, 1 + 10, 1},
      {"last block, ten attempts", {0x42, 2}, 1 + 2 + 10, 3},
      {"end frame", {0x43}, 5, 4},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string path = dir.File("logo.c");
    testing::WriteText(path, PictureText(Pattern(3 * 512)));
    ScriptedPrompts prompts;
    InProcessRecorder recorder(c.silence);
    TOEMDLDlg dialog(nullptr, recorder.Instrument());
    dialog.SetIniPath(dir.File("config.ini"));
    dialog.DLPicPath->setText(QString::fromStdString(path));

    dialog.StartBtnClick();
    ASSERT_TRUE(WaitForEnd(dialog));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kFailed);
    EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(recorder.frames.size(), c.framesSent);  // nothing after the failure, no end frame
    EXPECT_EQ(dialog.DLProgressBar->maximum(), 5);
    EXPECT_EQ(dialog.DLProgressBar->value(), c.position);
    EXPECT_EQ(recorder.Closes(), 1);
    EXPECT_FALSE(linkOpen);

    // The button is back: a second press downloads again (into a recorder still refusing).
    dialog.StartBtnClick();
    ASSERT_TRUE(WaitForEnd(dialog));
    ASSERT_EQ(prompts.messages.size(), 2u);
    EXPECT_EQ(prompts.messages[1].text, kFailed);
    EXPECT_EQ(recorder.frames.size(), 2 * c.framesSent);
  }
}

// ---------------------------------------------------------------------------------------------
// Downloads to the simulated recorder on a pseudo-terminal.

// A port of the program's own that no other holder keeps: the download let it go.
bool PortIsFree(const std::string& ini) {
  TermiosSerialLibrary otherProgram(ini);
  if (otherProgram.Open(1) != kSerialOk) return false;
  otherProgram.Close(1);
  return true;
}

// The dialog on an instrument over the port mapping of `ini`.
struct DialogOnLine {
  explicit DialogOnLine(const std::string& ini)
      : library(ini),
        instrument(library),
        dialog(std::make_unique<TOEMDLDlg>(nullptr, instrument)) {
    dialog->SetIniPath(ini);
  }
  TermiosSerialLibrary library;
  ModbusRtuImpl instrument;
  std::unique_ptr<TOEMDLDlg> dialog;
};

// config.ini with only the port and its device: 1200 bits per second, 2 stop bits, odd parity
// (which a pseudo-terminal cannot take).
std::string WriteDefaultConfig(SimulatedLine& line) {
  const std::string ini = line.Dir().File("config.ini");
  testing::WriteText(ini, "[COM]\nport=0\n[DEVICE]\nCOM1=" + line.DevicePath() + "\n");
  return ini;
}

TEST(OEMDownloadDialogTest, ThePictureArrivesByteForByteOverTheLine) {
  struct Case {
    const char* name;
    std::size_t size;
    int slot;
    int blocks;
    bool defaultSettings;
    int stallAt;  // the reply that waits 1.5 s
    int refuseBlock;
  };
  const Case cases[] = {
      {"1000 bytes into slot 3, no parity", 1000, 3, 2, false, 0, 0},
      {"512 bytes under the default settings: odd parity, 1200, 2 stop bits", 512, 1, 1, true, 0,
       0},
      {"a recorder that stalls before acknowledging block 1", 3000, 4, 6, false, 3, 0},
      {"block 3 refused once, acknowledged on the next attempt", 2048, 2, 4, false, 0, 3},
      {"300 blocks: the sequence byte wraps", 300 * 512 - 100, 6, 300, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    const std::string received = dir.File("received.bin");
    SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) {
      o.pictureOut = received;
      o.refuseBlock = c.refuseBlock;
      if (c.stallAt > 0) {
        o.stallAt = c.stallAt;
        o.delayMs = 1500;
      }
    }));
    ASSERT_TRUE(line.Started());
    const std::string ini = c.defaultSettings ? WriteDefaultConfig(line) : line.WriteConfig();
    const std::string path = dir.File("logo.c");
    const Bytes picture = Pattern(c.size);
    testing::WriteText(path, PictureText(picture));
    ScriptedPrompts prompts;
    DialogOnLine on(ini);
    TOEMDLDlg& dialog = *on.dialog;
    dialog.DLPicPath->setText(QString::fromStdString(path));
    dialog.DLAddress->setCurrentIndex(c.slot - 1);

    dialog.StartBtn->click();
    ASSERT_TRUE(WaitForEnd(dialog));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, kSucceeded);
    EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(dialog.DLProgressBar->maximum(), c.blocks + 2);
    EXPECT_EQ(dialog.DLProgressBar->value(), c.blocks + 2);
    EXPECT_FALSE(linkOpen);
    EXPECT_TRUE(PortIsFree(ini));
    const std::string got = testing::ReadText(received);
    EXPECT_EQ(got.size(), static_cast<std::size_t>(c.blocks) * 512);
    EXPECT_TRUE(got == Padded(picture, c.blocks));
    line.Simulator().Stop();
    EXPECT_EQ(line.Simulator().Model().Requests(), c.blocks + 2 + (c.refuseBlock > 0 ? 1 : 0));
  }
}

TEST(OEMDownloadDialogTest, EachFailureIsReportedWithItsTextAndThePortLetGo) {
  struct Case {
    const char* name;
    const char* fileText;  // nullptr: no file at the path
    bool silent;
    bool noDevice;
    QString message;
    int maximum;
  };
  const Case cases[] = {
      {"a path to no file: nothing is created", nullptr, false, false, kReadFailed, 100},
      {"a malformed constant", "header\n0X12,0XG1,\n", false, false, kReadFailed, 100},
      {"constants only in the header and in lower case", "0X12,0X34\n0x56,0x78\n", false, false,
       kReadFailed, 100},
      {"a port that does not open", "header\n0X12\n", false, true, kOpenFailed, 100},
      {"a silent recorder: the start frame is not acknowledged", "header\n0X12\n", true, false,
       kFailed, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::TempDir dir;
    SimulatedLine line(testing::SimOptionsWith([&](sim::SimOptions& o) { o.silent = c.silent; }));
    ASSERT_TRUE(line.Started());
    std::string ini = line.WriteConfig();
    if (c.noDevice) {
      ini = dir.File("no-device.ini");
      testing::WriteText(ini, testing::ComSection(1) + "[DEVICE]\nCOM1=" + dir.File("gone") + "\n");
    }
    const std::string path = dir.File("picture.c");
    if (c.fileText != nullptr) testing::WriteText(path, c.fileText);
    ScriptedPrompts prompts;
    DialogOnLine on(ini);
    TOEMDLDlg& dialog = *on.dialog;
    dialog.DLPicPath->setText(QString::fromStdString(path));

    dialog.StartBtn->click();
    ASSERT_TRUE(WaitForEnd(dialog));
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, c.message);
    EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(dialog.DLProgressBar->maximum(), c.maximum);
    EXPECT_EQ(dialog.DLProgressBar->value(), 0);
    EXPECT_FALSE(linkOpen);
    EXPECT_TRUE(PortIsFree(line.WriteConfig()));
    EXPECT_EQ(fs::exists(path), c.fileText != nullptr);
    line.Simulator().Stop();
    if (!c.silent) {
      EXPECT_EQ(line.Simulator().Model().Requests(), 0);  // not a frame sent
    }
  }
}

// A download slowed by a recorder that waits 1.5 s before acknowledging block 0; `ready` once the
// start frame is acknowledged.
struct SlowDownload {
  SlowDownload()
      : line(testing::SimOptionsWith([this](sim::SimOptions& o) {
          o.pictureOut = received;
          o.stallAt = 2;
          o.delayMs = 1500;
        })) {}
  bool Start(TOEMDLDlg& dialog) {
    testing::WriteText(path, PictureText(picture));
    dialog.DLPicPath->setText(QString::fromStdString(path));
    dialog.StartBtn->click();
    return WaitFor([&] { return dialog.DLProgressBar->value() >= 1; });
  }

  testing::TempDir dir;
  std::string received = dir.File("received.bin");
  std::string path = dir.File("logo.c");
  Bytes picture = Pattern(2000);  // 4 blocks
  SimulatedLine line;
};

TEST(OEMDownloadDialogTest, ClosingDuringADownloadIsRefusedAndTheDownloadGoesOn) {
  SlowDownload slow;
  ASSERT_TRUE(slow.line.Started());
  const std::string ini = slow.line.WriteConfig();
  ScriptedPrompts prompts;
  DialogOnLine on(ini);
  TOEMDLDlg& dialog = *on.dialog;
  dialog.show();
  ASSERT_TRUE(slow.Start(dialog));
  EXPECT_EQ(dialog.DLProgressBar->maximum(), 6);
  EXPECT_TRUE(dialog.Downloading());

  // The close box, then Escape: both refused with the notice, the dialog stays.
  EXPECT_FALSE(dialog.close());
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible());
  ASSERT_EQ(prompts.messages.size(), 2u);
  for (const auto& shown : prompts.messages) {
    EXPECT_EQ(shown.text, kInProgress);
    EXPECT_EQ(shown.icon, MessageIcon::Information);
  }

  ASSERT_TRUE(WaitForEnd(dialog));
  ASSERT_EQ(prompts.messages.size(), 3u);
  EXPECT_EQ(prompts.messages[2].text, kSucceeded);
  EXPECT_EQ(dialog.DLProgressBar->value(), 6);
  EXPECT_TRUE(testing::ReadText(slow.received) == Padded(slow.picture, 4));

  // Idle again: it closes, without a word.
  EXPECT_TRUE(dialog.close());
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(prompts.messages.size(), 3u);
}

// 取消 while the recorder holds back its acknowledgement of block 0 (1.5 s): the download ends at
// once without sending more, the port is let go, and the dialog says it was cancelled.
TEST(OEMDownloadDialogTest, CancelEndsTheDownloadAfterTheFrameInProgressAndSaysSo) {
  SlowDownload slow;
  ASSERT_TRUE(slow.line.Started());
  const std::string ini = slow.line.WriteConfig();
  ScriptedPrompts prompts;
  DialogOnLine on(ini);
  TOEMDLDlg& dialog = *on.dialog;
  dialog.show();
  ASSERT_TRUE(slow.Start(dialog));
  EXPECT_TRUE(dialog.CancelBtn->isEnabled());
  QElapsedTimer clock;
  clock.start();
  dialog.CancelBtn->click();
  EXPECT_FALSE(dialog.CancelBtn->isEnabled());
  ASSERT_TRUE(WaitForEnd(dialog));
  EXPECT_LT(clock.elapsed(), 1200);  // not held for the acknowledgement, nor for the retries
  ASSERT_EQ(prompts.messages.size(), 1u);
  EXPECT_EQ(prompts.messages[0].text, QStringLiteral("下装已取消"));
  EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Information);
  EXPECT_FALSE(dialog.CancelBtn->isEnabled());
  EXPECT_FALSE(linkOpen);
  EXPECT_TRUE(PortIsFree(ini));
  slow.line.Simulator().Stop();
  EXPECT_LE(slow.line.Simulator().Model().Requests(), 2);  // the start frame and block 0, no more
  // Idle again: it closes without a word.
  EXPECT_TRUE(dialog.close());
  EXPECT_EQ(prompts.messages.size(), 1u);
}

TEST(OEMDownloadDialogTest, DestroyingTheDialogWaitsForItsDownloadToEnd) {
  SlowDownload slow;
  ASSERT_TRUE(slow.line.Started());
  const std::string ini = slow.line.WriteConfig();
  ScriptedPrompts prompts;
  DialogOnLine on(ini);
  ASSERT_TRUE(slow.Start(*on.dialog));

  on.dialog.reset();
  // The download ran to its end and let the port go before the dialog was gone.
  EXPECT_FALSE(linkOpen);
  EXPECT_TRUE(PortIsFree(ini));
  EXPECT_TRUE(testing::ReadText(slow.received) == Padded(slow.picture, 4));
  slow.line.Simulator().Stop();
  EXPECT_EQ(slow.line.Simulator().Model().Requests(), 6);
  // What the download posted for the dialog went with it.
  QTest::qWait(20);
  EXPECT_TRUE(prompts.messages.empty());
}

// ---------------------------------------------------------------------------------------------
// The main window's command.

TEST(OEMDownloadDialogTest, TheCommandShowsAFreshDialogModallyAndDestroysItWhenClosed) {
  testing::TempDir dir;
  setenv("XDG_CONFIG_HOME", (dir.Path() / "config").c_str(), 1);
  ScriptedPrompts prompts;
  AppWindows windows;
  TMainForm& form = *windows.mainForm;

  std::vector<QPointer<TOEMDLDlg>> shown;
  std::vector<QString> pathsAtStart;
  std::vector<bool> modal;
  for (int use = 0; use < 2; ++use) {
    QTimer::singleShot(0, &form, [&] {
      auto* dialog = qobject_cast<TOEMDLDlg*>(QApplication::activeModalWidget());
      shown.emplace_back(dialog);
      if (dialog == nullptr) return;
      modal.push_back(dialog->isModal() && dialog->isVisible());
      pathsAtStart.push_back(dialog->DLPicPath->text());
      dialog->DLPicPath->setText(QStringLiteral("typed.c"));
      dialog->DLAddress->setCurrentIndex(4);
      dialog->close();
    });
    form.OnOEMDLClick();
  }
  ASSERT_EQ(shown.size(), 2u);
  for (int use = 0; use < 2; ++use) {
    SCOPED_TRACE(use);
    EXPECT_TRUE(shown[use].isNull());  // destroyed once closed
    EXPECT_TRUE(modal[use]);
    EXPECT_EQ(pathsAtStart[use], QString());  // nothing kept from the use before
  }
  // The dialog made at start-up is not the one used.
  EXPECT_TRUE(windows.oemDlDlg->DLPicPath->text().isEmpty());
  EXPECT_EQ(windows.oemDlDlg->DLAddress->currentIndex(), 0);
  EXPECT_TRUE(prompts.messages.empty());
}

}  // namespace
}  // namespace vantiro
