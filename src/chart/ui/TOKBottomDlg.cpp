#include "chart/ui/TOKBottomDlg.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimeEdit>

#include "platform/ui/Prompts.h"

namespace vantiro {
namespace {

template <typename Widget>
Widget* Place(Widget* widget, const char* name, int left, int top, int width = -1, int height = -1) {
  widget->setObjectName(QLatin1String(name));
  if (width < 0) {
    widget->adjustSize();
    widget->move(left, top);
  } else {
    widget->setGeometry(left, top, width, height);
  }
  return widget;
}

QFrame* Frame(QWidget* parent, const char* name, int left, int top, int width, int height) {
  QFrame* frame = Place(new QFrame(parent), name, left, top, width, height);
  frame->setFrameShape(QFrame::Box);
  frame->setFrameShadow(QFrame::Sunken);
  return frame;
}

// A cursor's date picker (spin buttons, any date the recorder can hold) and its time picker, at the
// dialog's right column.
QDateEdit* DatePicker(QWidget* parent, const char* name, int top) {
  QDateEdit* date = Place(new QDateEdit(parent), name, 127, top, 128, 21);
  date->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  date->setCalendarPopup(false);
  date->setMinimumDate(QDate(100, 1, 1));
  date->setMaximumDate(QDate(9999, 12, 31));
  return date;
}

QTimeEdit* TimePicker(QWidget* parent, const char* name, int top) {
  QTimeEdit* time = Place(new QTimeEdit(parent), name, 127, top, 128, 21);
  time->setDisplayFormat(QStringLiteral("HH:mm:ss"));
  return time;
}

}  // namespace

TOKBottomDlg::TOKBottomDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("OKBottomDlg"));
  setWindowTitle(QStringLiteral("Vantiro"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  // The recorder's dialog, 274 x 219, with a frame for the second vertical cursor added below.
  setFixedSize(274, 283);

  Bevel = Frame(this, "Bevel", 8, 8, 257, 169);
  Label1 = Place(new QLabel(QStringLiteral("垂直方向游标X："), this), "Label1", 17, 36);
  XValueDate = DatePicker(this, "XValueDate", 24);
  XValueTime = TimePicker(this, "XValueTime", 48);
  ShowY = Place(new QCheckBox(QStringLiteral("显示"), this), "ShowY", 17, 78, 56, 17);
  Label2 = Place(new QLabel(QStringLiteral("横向游标Y1："), this), "Label2", 17, 98);
  YValueEdit = Place(new QLineEdit(this), "YValueEdit", 128, 90, 128, 21);
  ShowY2 = Place(new QCheckBox(QStringLiteral("显示"), this), "ShowY2", 17, 122, 48, 17);
  Label3 = Place(new QLabel(QStringLiteral("横向游标Y2："), this), "Label3", 16, 146);
  Y2ValueEdit = Place(new QLineEdit(this), "Y2ValueEdit", 128, 139, 128, 21);
  Bevel2 = Frame(this, "Bevel2", 8, 183, 257, 61);
  Label4 = Place(new QLabel(QStringLiteral("垂直方向游标X2："), this), "Label4", 17, 207);
  X2ValueDate = DatePicker(this, "X2ValueDate", 192);
  X2ValueTime = TimePicker(this, "X2ValueTime", 216);
  OKBtn = Place(new QPushButton(QStringLiteral("确定"), this), "OKBtn", 39, 252, 75, 25);
  OKBtn->setDefault(true);
  OKBtn->setAutoDefault(true);
  CancelBtn = Place(new QPushButton(QStringLiteral("取消"), this), "CancelBtn", 159, 252, 75, 25);
  CancelBtn->setAutoDefault(false);

  setTabOrder(OKBtn, CancelBtn);
  setTabOrder(CancelBtn, YValueEdit);
  setTabOrder(YValueEdit, XValueDate);
  setTabOrder(XValueDate, XValueTime);
  setTabOrder(XValueTime, Y2ValueEdit);
  setTabOrder(Y2ValueEdit, ShowY);
  setTabOrder(ShowY, ShowY2);
  setTabOrder(ShowY2, X2ValueDate);
  setTabOrder(X2ValueDate, X2ValueTime);

  connect(OKBtn, &QPushButton::clicked, this, &TOKBottomDlg::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TOKBottomDlg::LoadCursors(DateTime x, double y1, double y2, DateTime xMin, DateTime xMax,
                               double yMin, double yMax) {
  cursorX = x;
  cursorY1 = y1;
  cursorY2 = y2;
  viewXMin = xMin;
  viewXMax = xMax;
  viewYMin = yMin;
  viewYMax = yMax;
  const DateTimeFields f = DecodeDateTime(x);
  openedDate_ = QDate(f.year, f.month, f.day);
  openedTime_ = QTime(f.hour, f.minute, f.second, f.millisecond);
  XValueDate->setDate(openedDate_);
  XValueTime->setTime(openedTime_);
  YValueEdit->setText(QString::fromStdString(WholeNumberText(y1)));
  Y2ValueEdit->setText(QString::fromStdString(WholeNumberText(y2)));
  ShowY->setChecked(showY1);
  ShowY2->setChecked(showY2);
  LoadSecondCursor(0.0);  // until told where the second one stands
  OKBtn->setFocus();
}

void TOKBottomDlg::LoadSecondCursor(DateTime x2) {
  cursorX2 = x2;
  const bool shown = x2 != 0.0;
  const DateTimeFields f = DecodeDateTime(shown ? x2 : cursorX);
  openedDate2_ = QDate(f.year, f.month, f.day);
  openedTime2_ = QTime(f.hour, f.minute, f.second, f.millisecond);
  X2ValueDate->setDate(openedDate2_);
  X2ValueTime->setTime(openedTime2_);
  X2ValueDate->setEnabled(shown);
  X2ValueTime->setEnabled(shown);
}

DateTime TOKBottomDlg::SecondDatePickerValue() const {
  return cursorX2 + static_cast<double>(openedDate2_.daysTo(X2ValueDate->date()));
}

DateTime TOKBottomDlg::SecondTimePickerValue() const {
  return cursorX2 + openedTime2_.msecsTo(X2ValueTime->time()) * kOneMillisecond;
}

DateTime TOKBottomDlg::DatePickerValue() const {
  return cursorX + static_cast<double>(openedDate_.daysTo(XValueDate->date()));
}

DateTime TOKBottomDlg::TimePickerValue() const {
  return cursorX + openedTime_.msecsTo(XValueTime->time()) * kOneMillisecond;
}

void TOKBottomDlg::OKBtnClick() {
  CursorDialogStart start{cursorX, cursorY1, cursorY2, viewXMin, viewXMax, viewYMin, viewYMax};
  const CursorDialogResult result =
      CheckCursorDialog(start, DatePickerValue(), TimePickerValue(), YValueEdit->text().toStdString(),
                        Y2ValueEdit->text().toStdString());
  if (!result.accepted) {
    if (result.focus == CursorDialogFocus::Y1) YValueEdit->setFocus();
    if (result.focus == CursorDialogFocus::Y2) Y2ValueEdit->setFocus();
    CurrentPrompts().Message(this, QString::fromStdString(result.message), MessageIcon::Error);
    return;
  }
  // The second cursor by the first one's rule.
  std::optional<DateTime> x2;
  if (cursorX2 != 0.0) {
    x2 = CheckCursorTime(cursorX2, SecondDatePickerValue(), SecondTimePickerValue(), viewXMin, viewXMax);
    if (!x2) {
      X2ValueTime->setFocus();
      CurrentPrompts().Message(this, QString::fromUtf8(kTimeOutsideView.data(), static_cast<int>(kTimeOutsideView.size())),
                               MessageIcon::Error);
      return;
    }
  }
  newX2 = x2.value_or(0.0);
  newX = result.x;
  newY1 = result.y1;
  newY2 = result.y2;
  showY1 = ShowY->isChecked();
  showY2 = ShowY2->isChecked();
  accept();
}

}  // namespace vantiro
