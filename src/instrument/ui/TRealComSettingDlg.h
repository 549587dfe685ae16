#pragma once
// The communication settings dialog ("实时通信设置").

#include <QDialog>
#include <array>
#include <string>

#include "instrument/CommSettings.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTableWidget;

namespace vantiro {

// The communication settings of config.ini: serial line, instrument address and the monitored
// channels. Created once and reused; LoadDialogFromIni refills every control before it is shown,
// and OK writes them back (Cancel writes nothing); a file that cannot be written keeps the dialog
// open.
class TRealComSettingDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TRealComSettingDlg(QWidget* parent = nullptr);

  // The settings file; ConfigIniPath() while empty.
  void SetIniPath(std::string path) { iniPath_ = std::move(path); }
  const std::string& IniPath() const { return iniPath_; }

  // The file's content into the controls; the device list is filled afresh.
  void LoadDialogFromIni();
  // The folder whose serial devices the list offers: "/dev" but for tests.
  void SetDeviceRoot(std::string root) { deviceRoot_ = std::move(root); }
  // The controls into the file. A file that cannot be written is reported ("文件保存失败，请重试！")
  // and false returned; the OK button closes the dialog only when the file was written.
  bool OKBtnClick();
  // The archive monitoring records into, as the dialog shows it.
  void SetArchiveShown(const QString& location);

  // Every tick of the matching list follows its select-all box.
  void SlectAllCheckBox1Click();
  void SlectAllCheckBox2Click();
  void SlectAllCheckBox3Click();
  void SlectAllCheckBox4Click();

  // Controls, by their names. The combo boxes take typed text, but only the selected entry
  // counts (-1 when the text names none). Lists 3 and 4 (channels 17..32) stay disabled.
  QComboBox* ComPortComboBox = nullptr;
  // Beside the port: the device it opens, picked from the serial devices found or typed, and
  // the hint when this user may not open the device.
  QComboBox* DeviceComboBox = nullptr;
  QLabel* DeviceHintLabel = nullptr;
  QComboBox* BaudRateComboBox = nullptr;
  QComboBox* StopBitComboBox = nullptr;
  QComboBox* DataBitComboBox = nullptr;
  QComboBox* CheckComboBox = nullptr;
  QLineEdit* AddressEdit = nullptr;
  QGroupBox* GroupBox1 = nullptr;
  QGroupBox* GroupBox2 = nullptr;
  QGroupBox* GroupBox3 = nullptr;
  QGroupBox* GroupBox4 = nullptr;
  QListWidget* CheckListBox1 = nullptr;
  QListWidget* CheckListBox2 = nullptr;
  QListWidget* CheckListBox3 = nullptr;
  QListWidget* CheckListBox4 = nullptr;
  QCheckBox* SlectAllCheckBox1 = nullptr;
  QCheckBox* SlectAllCheckBox2 = nullptr;
  QCheckBox* SlectAllCheckBox3 = nullptr;
  QCheckBox* SlectAllCheckBox4 = nullptr;
  // The live readings kept in the archive: the switch, the recorder they go under (empty: named
  // after the port and address, as the placeholder shows) and which archive.
  QCheckBox* ArchiveCheckBox = nullptr;
  QLineEdit* RecorderNameEdit = nullptr;
  QLabel* ArchiveLabel = nullptr;
  // The further recorders: a row each (通信口, 地址, 名称, 通道 as "1-16"), added and removed with
  // the buttons; written to [RECORDER2] ... on OK.
  QGroupBox* RecordersBox = nullptr;
  QTableWidget* RecordersTable = nullptr;
  QPushButton* AddRecorderBtn = nullptr;
  QPushButton* RemoveRecorderBtn = nullptr;
  // A row for a further recorder (the table's own controls filled in).
  void AddRecorderRow(const RecorderEntry& entry);
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 private:
  void ShowPortDevice();
  void ShowDeviceHint();
  void ShowRecorderPlaceholder();

  std::string iniPath_;
  std::string deviceRoot_ = "/dev";
  std::array<std::string, 16> devices_;  // the device of each port, as edited
  int shownPort_ = -1;                   // whose device DeviceComboBox shows
};

}  // namespace vantiro
