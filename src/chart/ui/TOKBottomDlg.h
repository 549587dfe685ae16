#pragma once
// The cursor dialog of the trend chart: the vertical cursor's time, the two horizontal lines'
// values and whether they show, and below them the second vertical cursor's time.

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

  // Fills the dialog before it is shown (without a second cursor).
  void LoadCursors(DateTime x, double y1, double y2, DateTime xMin, DateTime xMax, double yMin,
                   double yMax);
  // The second vertical cursor's time (0: there is none, its pickers disabled), after LoadCursors.
  void LoadSecondCursor(DateTime x2);
  // OK: commits the fields or, refused, keeps the dialog open with a message.
  void OKBtnClick();

  // The date-times of the two pickers: the time opened with, moved by what the user changed.
  DateTime DatePickerValue() const;
  DateTime TimePickerValue() const;
  DateTime SecondDatePickerValue() const;
  DateTime SecondTimePickerValue() const;

  // As the dialog was opened.
  DateTime cursorX = 0.0;
  double cursorY1 = 0.0;
  double cursorY2 = 0.0;
  DateTime cursorX2 = 0.0;
  DateTime viewXMin = 0.0, viewXMax = 0.0;
  double viewYMin = 0.0, viewYMax = 0.0;
  // Accepted by OK.
  DateTime newX = 0.0;
  double newY1 = 0.0;
  double newY2 = 0.0;
  DateTime newX2 = 0.0;  // 0 when there is no second cursor
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
  // The second vertical cursor, below the first frame.
  QFrame* Bevel2 = nullptr;
  QLabel* Label4 = nullptr;
  QDateEdit* X2ValueDate = nullptr;
  QTimeEdit* X2ValueTime = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

 private:
  QDate openedDate_;
  QTime openedTime_;
  QDate openedDate2_;
  QTime openedTime2_;
};

}  // namespace vantiro
