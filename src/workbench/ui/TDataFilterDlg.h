#pragma once
// The data filter dialog.

#include <QDialog>
#include <QWidget>
#include <array>
#include <cstdint>

#include "recorder/DateTime.h"
#include "workbench/ViewModel.h"

class QCheckBox;
class QDateEdit;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QShowEvent;
class QTimeEdit;

namespace vantiro {

// The data filter dialog: owns the committed filter settings and the table's page size, from
// start-up to exit. The pickers, the edit and the ticks keep what the user entered until the next
// load sets them again (InitFromDataset), also when the dialog is cancelled.
class TDataFilterDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TDataFilterDlg(QWidget* parent = nullptr);

  // All 16 channels selected again; the page size and the time window stay. The ticks follow at
  // the next InitFromDataset.
  void ResetChannelSelection();
  // The filter window becomes the dataset's whole span; the pickers, the edit and the ticks show
  // the committed settings.
  void InitFromDataset(DateTime start, DateTime end);
  // OK pressed: checks the input and commits it, or shows why not and keeps the dialog open.
  void OKBtnClick();
  void SlectAllCheckBox1Click();
  void SlectAllCheckBox2Click();
  void SlectAllCheckBox3Click();
  void SlectAllCheckBox4Click();

  // The committed settings a filter rebuild works from.
  FilterSettings Settings() const;

  // Committed settings.
  DateTime filterStart = 0.0;
  DateTime filterEnd = 0.0;
  std::uint32_t rowsPerPage = kDefaultRowsPerPage;  // 100..10000
  std::array<bool, 16> channelSelected{};
  DateTime startPickerBase = 0.0;  // what both start pickers were last set to
  DateTime endPickerBase = 0.0;
  bool selectAllGroup1 = true;
  bool selectAllGroup2 = true;

  QGroupBox* FilterGroupBox = nullptr;
  QDateEdit* StartDate = nullptr;
  QTimeEdit* StartTime = nullptr;
  QDateEdit* EndDate = nullptr;
  QTimeEdit* EndTime = nullptr;
  QLineEdit* ItemCountPerPageEdit = nullptr;
  QGroupBox* ChannelGroupBox = nullptr;
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
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Sets a date and a time picker to `time`; what they show then is the base of their change.
  void SetPickers(QDateEdit* date, QTimeEdit* timeOfDay, DateTime time);
  // The value of a date picker (its date at the base's time of day) and of a time picker (the
  // base's date at its time of day).
  DateTime DatePickerValue(const QDateEdit* date, DateTime base) const;
  DateTime TimePickerValue(const QTimeEdit* timeOfDay, DateTime base) const;
};

}  // namespace vantiro
