#include "instrument/ui/TRealComSettingDlg.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "instrument/CommSettings.h"
#include "platform/Profile.h"
#include "support/CommSettingsPrinter.h"
#include "support/ScriptedPrompts.h"
#include "support/TempDir.h"
#include "support/QtPrinters.h"

namespace vantiro {

namespace {

using testing::ReadText;
using testing::TempDir;
using testing::WriteText;

// What a confirmed dialog writes when it was opened without a file.
const char* const kDefaultFile =
    "[COM]\nport=0\nbaudRate=3\nstopBit=1\ndataBit=3\ncheckType=1\naddress=1\n"
    "[CHANNEL]\nCH01=1\nCH02=1\nCH03=1\nCH04=1\nCH05=1\nCH06=1\nCH07=1\nCH08=1\n"
    "CH09=1\nCH10=1\nCH11=1\nCH12=1\nCH13=1\nCH14=1\nCH15=1\nCH16=1\n";

class RealComSettingDlgTest : public ::testing::Test {
 protected:
  RealComSettingDlgTest() { dlg_.SetIniPath(Ini()); }

  std::string Ini() const { return dir_.File("config.ini"); }

  // The combo boxes' texts and the address, as the dialog shows them.
  QStringList Texts() const {
    return {dlg_.ComPortComboBox->currentText(), dlg_.BaudRateComboBox->currentText(),
            dlg_.StopBitComboBox->currentText(), dlg_.DataBitComboBox->currentText(),
            dlg_.CheckComboBox->currentText(),   dlg_.AddressEdit->text()};
  }
  // The combo boxes' selected indexes: port, baud rate, stop bits, data bits, parity.
  std::vector<int> Selected() const {
    return {dlg_.ComPortComboBox->currentIndex(), dlg_.BaudRateComboBox->currentIndex(),
            dlg_.StopBitComboBox->currentIndex(), dlg_.DataBitComboBox->currentIndex(),
            dlg_.CheckComboBox->currentIndex()};
  }
  QListWidgetItem* Channel(int channel) const {
    return channel <= 8 ? dlg_.CheckListBox1->item(channel - 1)
                        : dlg_.CheckListBox2->item(channel - 9);
  }
  // Channels 1..16 without a tick.
  std::vector<int> Unticked() const {
    std::vector<int> off;
    for (int channel = 1; channel <= 16; ++channel) {
      if (Channel(channel)->checkState() != Qt::Checked) off.push_back(channel);
    }
    return off;
  }
  static std::vector<int> TickedRows(const QListWidget* list) {
    std::vector<int> rows;
    for (int row = 0; row < list->count(); ++row) {
      if (list->item(row)->checkState() == Qt::Checked) rows.push_back(row);
    }
    return rows;
  }
  std::string Value(const char* section, const std::string& key) const {
    return ReadProfileString(Ini(), section, key, "(missing)");
  }

  // Shows the dialog modally, lets `act` work on it while it runs, and returns exec()'s result.
  int RunModal(const std::function<void()>& act) {
    bool ran = false;
    QTimer::singleShot(0, &dlg_, [&] {
      ran = true;
      EXPECT_TRUE(dlg_.isVisible());
      act();
      if (dlg_.isVisible()) dlg_.reject();  // never leave the loop running
    });
    const int result = dlg_.exec();
    EXPECT_TRUE(ran);
    return result;
  }

  TempDir dir_;
  TRealComSettingDlg dlg_;
};

TEST_F(RealComSettingDlgTest, ControlsCarryTheirNamesCaptionsAndEntries) {
  EXPECT_EQ(dlg_.windowTitle(), "实时通信设置");

  struct Field {
    const char* name;
    const char* label;
    QStringList entries;
  };
  const Field fields[] = {
      {"ComPortComboBox", "通信口：",
       {"COM1", "COM2", "COM3", "COM4", "COM5", "COM6", "COM7", "COM8", "COM9", "COM10", "COM11",
        "COM12", "COM13", "COM14", "COM15", "COM16"}},
      {"BaudRateComboBox", "波特率：", {"1200", "2400", "9600", "19200", "38400", "57600", "115200"}},
      {"StopBitComboBox", "停  止  位：", {"1", "2"}},
      {"DataBitComboBox", "数据位：", {"5", "6", "7", "8"}},
      {"CheckComboBox", "校    验：", {"无校验", "奇校验", "偶校验"}},
      {"AddressEdit", "仪表地址：", {}},
  };
  const QList<QLabel*> labels = dlg_.findChildren<QLabel*>();
  for (const Field& f : fields) {
    SCOPED_TRACE(f.name);
    QWidget* field = dlg_.findChild<QWidget*>(QLatin1String(f.name));
    ASSERT_NE(field, nullptr);
    QString caption;
    for (const QLabel* label : labels) {
      if (label->buddy() == field) caption = label->text();
    }
    EXPECT_EQ(caption, QString::fromUtf8(f.label));
    if (auto* box = qobject_cast<QComboBox*>(field)) {
      QStringList entries;
      for (int i = 0; i < box->count(); ++i) entries << box->itemText(i);
      EXPECT_EQ(entries, f.entries);
      EXPECT_TRUE(box->isEditable());
    }
  }
  EXPECT_EQ(dlg_.AddressEdit->maxLength(), 255);

  struct Group {
    QGroupBox* box;
    const char* title;
    QCheckBox* selectAll;
    QListWidget* list;
    int firstChannel;
    bool enabled;
  };
  const Group groups[] = {
      {dlg_.GroupBox1, "1-8", dlg_.SlectAllCheckBox1, dlg_.CheckListBox1, 1, true},
      {dlg_.GroupBox2, "9-16", dlg_.SlectAllCheckBox2, dlg_.CheckListBox2, 9, true},
      {dlg_.GroupBox3, "17-24", dlg_.SlectAllCheckBox3, dlg_.CheckListBox3, 17, false},
      {dlg_.GroupBox4, "25-32", dlg_.SlectAllCheckBox4, dlg_.CheckListBox4, 25, false},
  };
  int n = 0;
  for (const Group& g : groups) {
    ++n;
    SCOPED_TRACE(g.title);
    EXPECT_EQ(g.box->title(), g.title);
    EXPECT_EQ(g.selectAll->objectName(), QStringLiteral("SlectAllCheckBox%1").arg(n));
    EXPECT_EQ(g.list->objectName(), QStringLiteral("CheckListBox%1").arg(n));
    EXPECT_EQ(g.selectAll->text(), "全选");
    EXPECT_EQ(g.selectAll->isEnabled(), g.enabled);
    EXPECT_EQ(g.list->isEnabled(), g.enabled);
    ASSERT_EQ(g.list->count(), 8);
    for (int row = 0; row < 8; ++row) {
      EXPECT_EQ(g.list->item(row)->text(),
                QStringLiteral("通道%1").arg(g.firstChannel + row, 2, 10, QChar('0')));
      EXPECT_TRUE(g.list->item(row)->flags() & Qt::ItemIsUserCheckable);
    }
  }
  EXPECT_EQ(dlg_.OKBtn->text(), "确定");
  EXPECT_EQ(dlg_.CancelBtn->text(), "取消");
}

TEST_F(RealComSettingDlgTest, EveryChannelAndTextIsShownWhole) {
  dlg_.show();
  for (QListWidget* list :
       {dlg_.CheckListBox1, dlg_.CheckListBox2, dlg_.CheckListBox3, dlg_.CheckListBox4}) {
    SCOPED_TRACE(list->objectName().toStdString());
    for (int row = 0; row < list->count(); ++row) {
      const QRect item = list->visualItemRect(list->item(row));
      EXPECT_TRUE(list->viewport()->rect().contains(item)) << "row " << row;
    }
    EXPECT_LE(list->sizeHintForColumn(0), list->viewport()->width());
  }
  for (QWidget* w : dlg_.findChildren<QWidget*>()) {
    if (qobject_cast<QLabel*>(w) || qobject_cast<QCheckBox*>(w) || qobject_cast<QPushButton*>(w) ||
        qobject_cast<QComboBox*>(w)) {
      EXPECT_GE(w->width(), w->sizeHint().width()) << w->objectName().toStdString();
      EXPECT_GE(w->height(), w->sizeHint().height()) << w->objectName().toStdString();
    }
  }
  dlg_.hide();
}

TEST_F(RealComSettingDlgTest, OpeningShowsTheFileWithTheDialogsOwnDefaultsAndLimits) {
  struct Case {
    const char* name;
    const char* text;  // nullptr: no file
    QStringList texts;
    std::vector<int> selected;
    std::vector<int> unticked;
  };
  const QStringList defaults = {"COM1", "19200", "2", "8", "奇校验", "1"};
  const Case cases[] = {
      {"no file", nullptr, defaults, {0, 3, 1, 3, 1}, {}},
      {"every key at the start of its list",
       "[COM]\nport=0\nbaudRate=0\nstopBit=0\ndataBit=0\ncheckType=0\naddress=0\n",
       {"COM1", "1200", "1", "5", "无校验", "0"}, {0, 0, 0, 0, 0}, {}},
      {"every key at the end of its list",
       "[COM]\nport=15\nbaudRate=6\nstopBit=1\ndataBit=3\ncheckType=2\naddress=255\n",
       {"COM16", "115200", "2", "8", "偶校验", "255"}, {15, 6, 1, 3, 2}, {}},
      {"indexes just beyond their lists", "[COM]\nbaudRate=7\nstopBit=2\ndataBit=4\ncheckType=3\n",
       defaults, {0, 3, 1, 3, 1}, {}},
      {"negative indexes", "[COM]\nbaudRate=-1\nstopBit=-1\ndataBit=-1\ncheckType=-1\n", defaults,
       {0, 3, 1, 3, 1}, {}},
      {"baud rate index 9", "[COM]\nbaudRate=9\n", defaults, {0, 3, 1, 3, 1}, {}},
      {"port 16 is beyond the list", "[COM]\nport=16\n", {"", "19200", "2", "8", "奇校验", "1"},
       {-1, 3, 1, 3, 1}, {}},
      {"port 20", "[COM]\nport=20\n", {"", "19200", "2", "8", "奇校验", "1"}, {-1, 3, 1, 3, 1}, {}},
      {"port -1", "[COM]\nport=-1\n", {"", "19200", "2", "8", "奇校验", "1"}, {-1, 3, 1, 3, 1}, {}},
      {"address of letters", "[COM]\naddress=abc\n", {"COM1", "19200", "2", "8", "奇校验", "abc"},
       {0, 3, 1, 3, 1}, {}},
      {"empty address", "[COM]\naddress=\n", {"COM1", "19200", "2", "8", "奇校验", ""},
       {0, 3, 1, 3, 1}, {}},
      {"any channel value but 0 ticks", "[CHANNEL]\nCH05=2\nCH06=-1\nCH09=01\n", defaults,
       {0, 3, 1, 3, 1}, {}},
      {"0 and text that is no number untick", "[CHANNEL]\nCH01=0\nCH08=x\nCH09=\nCH16=0\n",
       defaults, {0, 3, 1, 3, 1}, {1, 8, 9, 16}},
      {"keys beyond channel 16 are not read", "[CHANNEL]\nCH17=0\nCH32=0\n", defaults,
       {0, 3, 1, 3, 1}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.text != nullptr) {
      WriteText(Ini(), c.text);
    } else {
      std::filesystem::remove(Ini());
    }
    dlg_.LoadDialogFromIni();
    EXPECT_EQ(Texts(), c.texts);
    EXPECT_EQ(Selected(), c.selected);
    EXPECT_EQ(Unticked(), c.unticked);
    EXPECT_EQ(TickedRows(dlg_.CheckListBox3), std::vector<int>{});
    EXPECT_EQ(TickedRows(dlg_.CheckListBox4), std::vector<int>{});
    // Opening only reads.
    if (c.text != nullptr) {
      EXPECT_EQ(ReadText(Ini()), c.text);
    } else {
      EXPECT_FALSE(std::filesystem::exists(Ini()));
    }
  }
}

TEST_F(RealComSettingDlgTest, AnAddressLongerThanTheEditTakesIsCut) {
  WriteText(Ini(), "[COM]\naddress=" + std::string(300, '7') + "\n");
  dlg_.LoadDialogFromIni();
  EXPECT_EQ(dlg_.AddressEdit->text(), QString(255, QChar('7')));
}

TEST_F(RealComSettingDlgTest, ConfirmingWithoutAFileWritesTheDefaults) {
  dlg_.LoadDialogFromIni();
  dlg_.OKBtnClick();
  EXPECT_EQ(ReadText(Ini()), kDefaultFile);

  LoadCommSettings(Ini());
  EXPECT_EQ(commSettings.port, 1);
  EXPECT_EQ(commSettings.baudRate, 19200);  // the dialog's default, not the loader's 1200
  EXPECT_EQ(commSettings.stopBits, 2);
  EXPECT_EQ(commSettings.dataBits, 8);
  EXPECT_EQ(commSettings.parity, 1);
  EXPECT_EQ(commSettings.address, 1);
}

TEST_F(RealComSettingDlgTest, ConfirmingWritesWhatTheControlsHold) {
  struct Case {
    const char* name;
    const char* before;  // the file the dialog opens
    std::function<void(TRealComSettingDlg&)> edit;
    std::vector<std::pair<std::string, std::string>> written;  // "COM" keys, "CH.." in CHANNEL
    CommSettings loaded;  // what monitoring then reads
    std::vector<int> notMonitored;
  };
  auto none = [](TRealComSettingDlg&) {};
  const Case cases[] = {
      {"port 20 is written as no selection and loads as port 0", "[COM]\nport=20\n", none,
       {{"port", "-1"}}, {0, 19200, 2, 8, 1, 1}, {}},
      {"baud rate index 9 is written as 19200", "[COM]\nbaudRate=9\n", none, {{"baudRate", "3"}},
       {1, 19200, 2, 8, 1, 1}, {}},
      {"channel 5 of value 2 is ticked, so written as monitored", "[CHANNEL]\nCH05=2\n", none,
       {{"CH05", "1"}}, {1, 19200, 2, 8, 1, 1}, {}},
      {"an address of letters is written unchanged and loads as 0", nullptr,
       [](TRealComSettingDlg& d) {
         d.AddressEdit->clear();
         QTest::keyClicks(d.AddressEdit, "abc");
       },
       {{"address", "abc"}}, {1, 19200, 2, 8, 1, 0}, {}},
      {"address text is kept as typed", nullptr,
       [](TRealComSettingDlg& d) { d.AddressEdit->setText("0012"); },
       {{"address", "0012"}}, {1, 19200, 2, 8, 1, 12}, {}},
      {"chosen entries are written as their indexes", nullptr,
       [](TRealComSettingDlg& d) {
         d.ComPortComboBox->setCurrentIndex(15);
         d.BaudRateComboBox->setCurrentIndex(6);
         d.StopBitComboBox->setCurrentIndex(0);
         d.DataBitComboBox->setCurrentIndex(1);
         d.CheckComboBox->setCurrentIndex(2);
         d.AddressEdit->setText("32");
       },
       {{"port", "15"}, {"baudRate", "6"}, {"stopBit", "0"}, {"dataBit", "1"}, {"checkType", "2"},
        {"address", "32"}},
       {16, 115200, 1, 6, 2, 32}, {}},
      {"typing an entry's text selects it", nullptr,
       [](TRealComSettingDlg& d) {
         for (QComboBox* box : {d.ComPortComboBox, d.BaudRateComboBox, d.StopBitComboBox,
                                d.DataBitComboBox, d.CheckComboBox}) {
           box->clearEditText();
         }
         QTest::keyClicks(d.ComPortComboBox->lineEdit(), "COM3");
         QTest::keyClicks(d.BaudRateComboBox->lineEdit(), "9600");
         QTest::keyClicks(d.StopBitComboBox->lineEdit(), "1");
         QTest::keyClicks(d.DataBitComboBox->lineEdit(), "7");
         d.CheckComboBox->setEditText("无校验");
       },
       {{"port", "2"}, {"baudRate", "2"}, {"stopBit", "0"}, {"dataBit", "2"}, {"checkType", "0"}},
       {3, 9600, 1, 7, 0, 1}, {}},
      {"typed text that names no entry selects none", nullptr,
       [](TRealComSettingDlg& d) {
         for (QComboBox* box : {d.ComPortComboBox, d.BaudRateComboBox, d.StopBitComboBox,
                                d.DataBitComboBox, d.CheckComboBox}) {
           box->clearEditText();
           QTest::keyClicks(box->lineEdit(), "300");
         }
       },
       {{"port", "-1"}, {"baudRate", "-1"}, {"stopBit", "-1"}, {"dataBit", "-1"},
        {"checkType", "-1"}},
       {0, 19200, 2, 8, 1, 1}, {}},
      {"unticked channels are written as 0", nullptr,
       [](TRealComSettingDlg& d) {
         d.CheckListBox1->item(0)->setCheckState(Qt::Unchecked);
         d.CheckListBox2->item(7)->setCheckState(Qt::Unchecked);
         d.CheckListBox2->item(2)->setCheckState(Qt::Unchecked);
       },
       {{"CH01", "0"}, {"CH02", "1"}, {"CH11", "0"}, {"CH16", "0"}}, {1, 19200, 2, 8, 1, 1},
       {1, 11, 16}},
      {"channels 17 to 32 are never written", "[CHANNEL]\nCH17=5\n",
       [](TRealComSettingDlg& d) {
         for (QListWidget* list : {d.CheckListBox3, d.CheckListBox4}) {
           for (int row = 0; row < list->count(); ++row) {
             list->item(row)->setCheckState(Qt::Checked);
           }
         }
       },
       {{"CH17", "5"}, {"CH18", "(missing)"}, {"CH32", "(missing)"}}, {1, 19200, 2, 8, 1, 1}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.before != nullptr) {
      WriteText(Ini(), c.before);
    } else {
      std::filesystem::remove(Ini());
    }
    dlg_.LoadDialogFromIni();
    c.edit(dlg_);
    dlg_.OKBtnClick();
    for (const auto& [key, value] : c.written) {
      const char* section = key.starts_with("CH") ? "CHANNEL" : "COM";
      EXPECT_EQ(Value(section, key), value) << key;
    }
    LoadCommSettings(Ini());
    EXPECT_EQ(commSettings, c.loaded);
    std::vector<int> off;
    for (int channel = 1; channel <= 16; ++channel) {
      if (!channelEnabled[static_cast<std::size_t>(channel - 1)]) off.push_back(channel);
    }
    EXPECT_EQ(off, c.notMonitored);
  }
}

TEST_F(RealComSettingDlgTest, ConfirmingKeepsTheRestOfTheFile) {
  WriteText(Ini(), "; serial line\n[DEVICE]\nCOM1=/dev/ttyUSB0\n\n[COM]\nport=1\nremark=desk\n"
                   "[OTHER]\nx=1\n");
  dlg_.LoadDialogFromIni();
  dlg_.OKBtnClick();
  EXPECT_EQ(ReadText(Ini()),
            "; serial line\n[DEVICE]\nCOM1=/dev/ttyUSB0\n\n[COM]\nport=1\nremark=desk\nbaudRate=3\n"
            "stopBit=1\ndataBit=3\ncheckType=1\naddress=1\n[OTHER]\nx=1\n"
            "[CHANNEL]\nCH01=1\nCH02=1\nCH03=1\nCH04=1\nCH05=1\nCH06=1\nCH07=1\nCH08=1\n"
            "CH09=1\nCH10=1\nCH11=1\nCH12=1\nCH13=1\nCH14=1\nCH15=1\nCH16=1\n");
}

// The archive's switch and the recorder's name: on and named after the port and address by
// default, written only once they differ from what the file gives, and the archive on show.
TEST_F(RealComSettingDlgTest, TheArchiveSwitchAndNameAreShownAndWrittenOnlyWhenChanged) {
  dlg_.LoadDialogFromIni();
  EXPECT_TRUE(dlg_.ArchiveCheckBox->isChecked());
  EXPECT_EQ(dlg_.ArchiveCheckBox->text(), QStringLiteral("记录到档案"));
  EXPECT_TRUE(dlg_.RecorderNameEdit->text().isEmpty());
  EXPECT_EQ(dlg_.RecorderNameEdit->placeholderText(), QStringLiteral("COM1 地址1"));
  dlg_.ComPortComboBox->setCurrentIndex(2);
  dlg_.AddressEdit->setText(QStringLiteral("12"));
  EXPECT_EQ(dlg_.RecorderNameEdit->placeholderText(), QStringLiteral("COM3 地址12"));
  dlg_.SetArchiveShown(QStringLiteral("/srv/plant/archive.sqlite"));
  EXPECT_EQ(dlg_.ArchiveLabel->text(), QStringLiteral("档案：/srv/plant/archive.sqlite"));
  // A long one keeps its file's name, the whole path in the tip.
  const QString deep = QStringLiteral("/home/user/") + QString(300, QLatin1Char('x')) + QStringLiteral("/archive.sqlite");
  dlg_.SetArchiveShown(deep);
  EXPECT_TRUE(dlg_.ArchiveLabel->text().endsWith(QStringLiteral("/archive.sqlite"))) << dlg_.ArchiveLabel->text().toStdString();
  EXPECT_LT(dlg_.ArchiveLabel->text().size(), deep.size());
  EXPECT_EQ(dlg_.ArchiveLabel->toolTip(), deep);

  // Untouched: the file gets no archive keys.
  dlg_.LoadDialogFromIni();
  ASSERT_TRUE(dlg_.OKBtnClick());
  EXPECT_EQ(ReadText(Ini()), kDefaultFile);

  // Turned off and named: both written, and read back.
  dlg_.ArchiveCheckBox->setChecked(false);
  EXPECT_FALSE(dlg_.RecorderNameEdit->isEnabled());
  dlg_.RecorderNameEdit->setText(QStringLiteral("  一号炉 "));
  ASSERT_TRUE(dlg_.OKBtnClick());
  EXPECT_EQ(Value("ARCHIVE", "record"), "0");
  EXPECT_EQ(Value("ARCHIVE", "recorder"), "一号炉");
  const CommSettingsFields fields = ReadCommSettingsFields(Ini());
  EXPECT_FALSE(fields.recordToArchive);
  EXPECT_EQ(fields.recorderName, "一号炉");
  dlg_.LoadDialogFromIni();
  EXPECT_FALSE(dlg_.ArchiveCheckBox->isChecked());
  EXPECT_EQ(dlg_.RecorderNameEdit->text(), QStringLiteral("一号炉"));

  // On again, the name emptied: back to the defaults.
  dlg_.ArchiveCheckBox->setChecked(true);
  dlg_.RecorderNameEdit->clear();
  ASSERT_TRUE(dlg_.OKBtnClick());
  EXPECT_TRUE(ReadCommSettingsFields(Ini()).recordToArchive);
  EXPECT_EQ(ReadCommSettingsFields(Ini()).recorderName, "");
}

// Further recorders: rows added and removed, refused with a message when a row cannot be one,
// written as [RECORDER2] ... and shown again.
TEST_F(RealComSettingDlgTest, FurtherRecordersAreListedCheckedAndWritten) {
  testing::ScriptedPrompts prompts;
  dlg_.LoadDialogFromIni();
  EXPECT_EQ(dlg_.RecordersTable->rowCount(), 0);
  dlg_.AddRecorderBtn->click();
  dlg_.AddRecorderBtn->click();
  ASSERT_EQ(dlg_.RecordersTable->rowCount(), 2);
  EXPECT_EQ(dlg_.RecordersTable->item(0, 1)->text(), "2");
  EXPECT_EQ(dlg_.RecordersTable->item(0, 3)->text(), "1-16");
  dlg_.RecordersTable->item(0, 2)->setText("二号炉");
  dlg_.RecordersTable->item(0, 3)->setText("1-4, 9");

  struct Bad {
    const char* address;
    const char* channels;
    const char* message;
  };
  const Bad bad[] = {
      {"0", "1", "第2行：仪表地址应为 1 至 247。"},
      {"x", "1", "第2行：仪表地址应为 1 至 247。"},
      {"5", "1-17", "第2行：通道应写作 1-16 或 1,3,5-8。"},
      {"1", "1", "第2行：COM1 地址1 已有仪表。"},  // the first recorder's own
      {"2", "1", "第2行：COM1 地址2 已有仪表。"},  // the row above's
  };
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.message);
    dlg_.RecordersTable->item(1, 1)->setText(b.address);
    dlg_.RecordersTable->item(1, 3)->setText(b.channels);
    const std::size_t before = prompts.messages.size();
    EXPECT_FALSE(dlg_.OKBtnClick());
    ASSERT_EQ(prompts.messages.size(), before + 1);
    EXPECT_EQ(prompts.messages.back().text, QString::fromUtf8(b.message));
  }
  dlg_.RecordersTable->item(1, 1)->setText("7");
  dlg_.RecordersTable->item(1, 3)->setText("16");
  ASSERT_TRUE(dlg_.OKBtnClick());
  const CommSettingsFields fields = ReadCommSettingsFields(Ini());
  ASSERT_EQ(fields.further.size(), 2u);
  EXPECT_EQ(fields.further[0].name, "二号炉");
  EXPECT_EQ(fields.further[0].address, 2);
  EXPECT_EQ(ChannelListText(fields.further[0].channels), "1-4,9");
  EXPECT_EQ(fields.further[1].address, 7);

  dlg_.LoadDialogFromIni();
  ASSERT_EQ(dlg_.RecordersTable->rowCount(), 2);
  EXPECT_EQ(dlg_.RecordersTable->item(0, 3)->text(), "1-4,9");
  dlg_.RecordersTable->setCurrentCell(0, 1);
  dlg_.RemoveRecorderBtn->click();
  ASSERT_TRUE(dlg_.OKBtnClick());
  ASSERT_EQ(ReadCommSettingsFields(Ini()).further.size(), 1u);
  EXPECT_EQ(ReadCommSettingsFields(Ini()).further[0].address, 7);
}

TEST_F(RealComSettingDlgTest, TheOkButtonWritesAndClosesAndCancelWritesNothing) {
  auto edit = [this] {
    dlg_.BaudRateComboBox->setCurrentIndex(1);
    dlg_.AddressEdit->setText("7");
    dlg_.CheckListBox1->item(2)->setCheckState(Qt::Unchecked);
  };

  // Cancel without a file: none appears.
  dlg_.LoadDialogFromIni();
  EXPECT_EQ(RunModal([&] {
              edit();
              QTest::mouseClick(dlg_.CancelBtn, Qt::LeftButton);
            }),
            QDialog::Rejected);
  EXPECT_FALSE(std::filesystem::exists(Ini()));

  // Cancel with a file: it stays as it was, and the next opening shows it again.
  const std::string before = "[COM]\nport=4\naddress=9\n";
  WriteText(Ini(), before);
  dlg_.LoadDialogFromIni();
  EXPECT_EQ(RunModal([&] {
              edit();
              QTest::mouseClick(dlg_.CancelBtn, Qt::LeftButton);
            }),
            QDialog::Rejected);
  EXPECT_EQ(ReadText(Ini()), before);
  dlg_.LoadDialogFromIni();
  EXPECT_EQ(Texts(), (QStringList{"COM5", "19200", "2", "8", "奇校验", "9"}));
  EXPECT_EQ(Unticked(), std::vector<int>{});

  // Escape is Cancel too.
  EXPECT_EQ(RunModal([&] {
              edit();
              QTest::keyClick(&dlg_, Qt::Key_Escape);
            }),
            QDialog::Rejected);
  EXPECT_EQ(ReadText(Ini()), before);

  // OK writes, then closes.
  dlg_.LoadDialogFromIni();
  EXPECT_EQ(RunModal([&] {
              edit();
              QTest::mouseClick(dlg_.OKBtn, Qt::LeftButton);
            }),
            QDialog::Accepted);
  EXPECT_FALSE(dlg_.isVisible());
  EXPECT_EQ(Value("COM", "port"), "4");
  EXPECT_EQ(Value("COM", "baudRate"), "1");
  EXPECT_EQ(Value("COM", "address"), "7");
  EXPECT_EQ(Value("CHANNEL", "CH03"), "0");
}

// A settings file that cannot be written is reported with the save failure's message and the
// dialog stays open with what was entered, for another try or Cancel; nothing is written.
TEST_F(RealComSettingDlgTest, ASettingsFileThatCannotBeWrittenIsReportedAndTheDialogStaysOpen) {
  WriteText(dir_.File("plain"), "not a folder");
  std::filesystem::create_directory(dir_.Path() / "folder.ini");
  struct Case {
    const char* name;
    std::string ini;
  };
  const Case cases[] = {
      {"a folder of the path is a file", dir_.File("plain") + "/config.ini"},
      {"a folder at the file's name", dir_.File("folder.ini")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testing::ScriptedPrompts prompts;
    dlg_.SetIniPath(c.ini);
    dlg_.LoadDialogFromIni();
    bool stayedOpen = false;
    EXPECT_EQ(RunModal([&] {
                dlg_.AddressEdit->setText("7");
                QTest::mouseClick(dlg_.OKBtn, Qt::LeftButton);
                stayedOpen = dlg_.isVisible();
                EXPECT_EQ(dlg_.AddressEdit->text(), "7");
              }),
              QDialog::Rejected);
    EXPECT_TRUE(stayedOpen);
    ASSERT_EQ(prompts.messages.size(), 1u);
    EXPECT_EQ(prompts.messages[0].text, "文件保存失败，请重试！");
    EXPECT_EQ(prompts.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(prompts.messages[0].parent, &dlg_);
    EXPECT_FALSE(dlg_.OKBtnClick());
  }
  EXPECT_EQ(ReadText(dir_.File("plain")), "not a folder");
  EXPECT_TRUE(std::filesystem::is_empty(dir_.Path() / "folder.ini"));

  // Where it can be written, OK writes and closes without a message.
  testing::ScriptedPrompts prompts;
  dlg_.SetIniPath(Ini());
  dlg_.LoadDialogFromIni();
  EXPECT_EQ(RunModal([&] { QTest::mouseClick(dlg_.OKBtn, Qt::LeftButton); }), QDialog::Accepted);
  EXPECT_TRUE(prompts.messages.empty());
  EXPECT_EQ(ReadText(Ini()), kDefaultFile);
}

TEST_F(RealComSettingDlgTest, EachPortShowsItsDeviceAndConfirmingWritesTheMapping) {
  // A machine with two adapters (one under its stable name) and two built-in ports.
  TempDir dev;
  for (const char* name : {"ttyUSB0", "ttyS0", "ttyS1"}) {
    WriteText((dev.Path() / name).string(), "");
  }
  std::filesystem::create_directories(dev.Path() / "serial/by-id");
  std::filesystem::create_symlink("../../ttyUSB0", dev.Path() / "serial/by-id/usb-FTDI-if00-port0");
  dlg_.SetDeviceRoot(dev.Path().string());
  const std::string byId = (dev.Path() / "serial/by-id/usb-FTDI-if00-port0").string();
  const std::string usb0 = (dev.Path() / "ttyUSB0").string();

  WriteText(Ini(), "; bench\n[DEVICE]\nCOM2=" + usb0 + "\nCOM9=/dev/ttyACM3\n[COM]\nport=1\n"
                   "[OTHER]\nx=1\n");
  dlg_.LoadDialogFromIni();
  QStringList offered;
  for (int i = 0; i < dlg_.DeviceComboBox->count(); ++i) offered << dlg_.DeviceComboBox->itemText(i);
  EXPECT_EQ(offered, (QStringList{QString::fromStdString(byId), QString::fromStdString(usb0),
                                  QString::fromStdString((dev.Path() / "ttyS0").string()),
                                  QString::fromStdString((dev.Path() / "ttyS1").string())}));
  EXPECT_TRUE(dlg_.DeviceComboBox->itemData(0, Qt::ToolTipRole).toString().contains(
      QString::fromStdString(usb0)));  // a stable name tells what it points to

  // COM2 (the file's port) shows its mapping; a port without one its built-in device.
  EXPECT_EQ(dlg_.DeviceComboBox->currentText().toStdString(), usb0);
  EXPECT_TRUE(dlg_.DeviceHintLabel->isHidden());
  dlg_.ComPortComboBox->setCurrentIndex(0);
  EXPECT_EQ(dlg_.DeviceComboBox->currentText(), "/dev/ttyS0");
  // COM9 names a device that is not plugged in: the hint says so.
  dlg_.ComPortComboBox->setCurrentIndex(8);
  EXPECT_EQ(dlg_.DeviceComboBox->currentText(), "/dev/ttyACM3");
  EXPECT_FALSE(dlg_.DeviceHintLabel->isHidden());
  EXPECT_EQ(dlg_.DeviceHintLabel->text(), "未找到 /dev/ttyACM3：请检查串口适配器是否已插好。");
  // A gateway has no device here: a good address gives no hint, a bad one says how to write it.
  dlg_.DeviceComboBox->setEditText("modbus-tcp://192.168.1.50:502");
  EXPECT_TRUE(dlg_.DeviceHintLabel->isHidden());
  dlg_.DeviceComboBox->setEditText("tcp://192.168.1.50");
  EXPECT_FALSE(dlg_.DeviceHintLabel->isHidden());
  EXPECT_TRUE(dlg_.DeviceHintLabel->text().startsWith("网关地址应为 tcp://主机:端口"));
  dlg_.DeviceComboBox->setEditText("/dev/ttyACM3");

  // COM3 picks the adapter by its stable name; COM1 gets a typed device; back on COM2, which is
  // confirmed. Every port's change is written, nothing else of the file changes.
  dlg_.ComPortComboBox->setCurrentIndex(2);
  dlg_.DeviceComboBox->setCurrentIndex(0);
  dlg_.ComPortComboBox->setCurrentIndex(0);
  dlg_.DeviceComboBox->setEditText(" /tmp/recorder ");
  dlg_.ComPortComboBox->setCurrentIndex(1);
  EXPECT_EQ(dlg_.DeviceComboBox->currentText().toStdString(), usb0);
  dlg_.OKBtnClick();
  EXPECT_EQ(Value("DEVICE", "COM1"), "/tmp/recorder");
  EXPECT_EQ(Value("DEVICE", "COM2"), usb0);
  EXPECT_EQ(Value("DEVICE", "COM3"), byId);
  EXPECT_EQ(Value("DEVICE", "COM4"), "(missing)");
  EXPECT_EQ(Value("DEVICE", "COM9"), "/dev/ttyACM3");
  EXPECT_EQ(Value("COM", "port"), "1");
  EXPECT_EQ(Value("OTHER", "x"), "1");
  EXPECT_EQ(ReadText(Ini()).substr(0, 8), "; bench\n");

  // The next opening shows what was written.
  dlg_.LoadDialogFromIni();
  dlg_.ComPortComboBox->setCurrentIndex(2);
  EXPECT_EQ(dlg_.DeviceComboBox->currentText().toStdString(), byId);

  // A port outside the list has no device to show.
  WriteText(Ini(), "[COM]\nport=20\n");
  dlg_.LoadDialogFromIni();
  EXPECT_FALSE(dlg_.DeviceComboBox->isEnabled());
  EXPECT_EQ(dlg_.DeviceComboBox->currentText(), "");
}

TEST_F(RealComSettingDlgTest, SelectAllSetsEveryTickOfItsOwnList) {
  WriteText(Ini(), "[CHANNEL]\nCH02=0\nCH10=0\nCH11=0\n");
  dlg_.LoadDialogFromIni();
  dlg_.show();  // clicks land where the boxes are laid out
  const std::vector<int> all = {0, 1, 2, 3, 4, 5, 6, 7};

  struct Step {
    const char* name;
    QCheckBox* box;
    std::vector<int> list1;  // ticked rows afterwards
    std::vector<int> list2;
  };
  const Step steps[] = {
      {"tick box 1", dlg_.SlectAllCheckBox1, all, {0, 3, 4, 5, 6, 7}},
      {"tick box 2", dlg_.SlectAllCheckBox2, all, all},
      {"untick box 1", dlg_.SlectAllCheckBox1, {}, all},
      {"untick box 2", dlg_.SlectAllCheckBox2, {}, {}},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.name);
    QTest::mouseClick(s.box, Qt::LeftButton, {}, s.box->rect().center());
    EXPECT_EQ(TickedRows(dlg_.CheckListBox1), s.list1);
    EXPECT_EQ(TickedRows(dlg_.CheckListBox2), s.list2);
  }

  // Opening refills the lists but leaves the select-all boxes as they are.
  dlg_.SlectAllCheckBox1->setChecked(true);
  dlg_.CheckListBox1->item(4)->setCheckState(Qt::Unchecked);
  dlg_.LoadDialogFromIni();
  EXPECT_TRUE(dlg_.SlectAllCheckBox1->isChecked());
  EXPECT_EQ(TickedRows(dlg_.CheckListBox1), (std::vector<int>{0, 2, 3, 4, 5, 6, 7}));

  // The boxes of channels 17..32 are disabled; their handlers still follow the box.
  QTest::mouseClick(dlg_.SlectAllCheckBox3, Qt::LeftButton, {},
                    dlg_.SlectAllCheckBox3->rect().center());
  EXPECT_FALSE(dlg_.SlectAllCheckBox3->isChecked());
  dlg_.SlectAllCheckBox4->setChecked(true);
  EXPECT_EQ(TickedRows(dlg_.CheckListBox4), all);
  EXPECT_EQ(TickedRows(dlg_.CheckListBox3), std::vector<int>{});
  EXPECT_EQ(TickedRows(dlg_.CheckListBox2), (std::vector<int>{0, 3, 4, 5, 6, 7}));
}

}  // namespace
}  // namespace vantiro
