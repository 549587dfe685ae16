#pragma once
// The cursor dialog of the trend chart: the vertical cursor's time, the two horizontal lines'
// values and whether they show.

#include <QDate>
#include <QDialog>
#include <QTime>

#include "chart/Cursors.h"

class QCheckBox;
class QDateEdit;
class QFrame;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimeEdit;

namespace vantiro {

class TOKBottomDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TOKBottomDlg(QWidget* parent = nullptr);

  // Fills the dialog before it is shown.
  void LoadCursors(DateTime x, double y1, double y2, DateTime xMin, DateTime xMax, double yMin,
                   double yMax);
  // OK: commits the fields or, refused, keeps the dialog open with a message.
  void OKBtnClick();

  // The date-times of the two pickers: the time opened with, moved by what the user changed.
  DateTime DatePickerValue() const;
  DateTime TimePickerValue() const;

  // As the dialog was opened.
  DateTime cursorX = 0.0;
  double cursorY1 = 0.0;
  double cursorY2 = 0.0;
  DateTime viewXMin = 0.0, viewXMax = 0.0;
  double viewYMin = 0.0, viewYMax = 0.0;
  // Accepted by OK.
  DateTime newX = 0.0;
  double newY1 = 0.0;
  double newY2 = 0.0;
  bool showY1 = false;
  bool showY2 = false;

  QFrame* Bevel = nullptr;
  QLabel* Label1 = nullptr;
  QDateEdit* XValueDate = nullptr;
  QTimeEdit* XValueTime = nullptr;
  QCheckBox* ShowY = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* YValueEdit = nullptr;
  QCheckBox* ShowY2 = nullptr;
  QLabel* Label3 = nullptr;
  QLineEdit* Y2ValueEdit = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 private:
  QDate openedDate_;
  QTime openedTime_;
};

}  // namespace vantiro
