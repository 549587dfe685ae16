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

}  // namespace

TOKBottomDlg::TOKBottomDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("OKBottomDlg"));
  setWindowTitle(QStringLiteral("Vantiro"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                 Qt::WindowCloseButtonHint);
  setFixedSize(274, 219);

  Bevel = Place(new QFrame(this), "Bevel", 8, 8, 257, 169);
  Bevel->setFrameShape(QFrame::Box);
  Bevel->setFrameShadow(QFrame::Sunken);
  Label1 = Place(new QLabel(QStringLiteral("垂直方向游标X："), this), "Label1", 17, 36);
  XValueDate = Place(new QDateEdit(this), "XValueDate", 127, 24, 128, 21);
  XValueDate->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
  XValueDate->setCalendarPopup(false);
  XValueDate->setMinimumDate(QDate(100, 1, 1));
  XValueDate->setMaximumDate(QDate(9999, 12, 31));
  XValueTime = Place(new QTimeEdit(this), "XValueTime", 127, 48, 128, 21);
  XValueTime->setDisplayFormat(QStringLiteral("HH:mm:ss"));
  ShowY = Place(new QCheckBox(QStringLiteral("显示"), this), "ShowY", 17, 78, 56, 17);
  Label2 = Place(new QLabel(QStringLiteral("横向游标Y1："), this), "Label2", 17, 98);
  YValueEdit = Place(new QLineEdit(this), "YValueEdit", 128, 90, 128, 21);
  ShowY2 = Place(new QCheckBox(QStringLiteral("显示"), this), "ShowY2", 17, 122, 48, 17);
  Label3 = Place(new QLabel(QStringLiteral("横向游标Y2："), this), "Label3", 16, 146);
  Y2ValueEdit = Place(new QLineEdit(this), "Y2ValueEdit", 128, 139, 128, 21);
  OKBtn = Place(new QPushButton(QStringLiteral("确定"), this), "OKBtn", 39, 188, 75, 25);
  OKBtn->setDefault(true);
  OKBtn->setAutoDefault(true);
  CancelBtn = Place(new QPushButton(QStringLiteral("取消"), this), "CancelBtn", 159, 188, 75, 25);
  CancelBtn->setAutoDefault(false);

  setTabOrder(OKBtn, CancelBtn);
  setTabOrder(CancelBtn, YValueEdit);
  setTabOrder(YValueEdit, XValueDate);
  setTabOrder(XValueDate, XValueTime);
  setTabOrder(XValueTime, Y2ValueEdit);
  setTabOrder(Y2ValueEdit, ShowY);
  setTabOrder(ShowY, ShowY2);

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
  OKBtn->setFocus();
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
  newX = result.x;
  newY1 = result.y1;
  newY2 = result.y2;
  showY1 = ShowY->isChecked();
  showY2 = ShowY2->isChecked();
  accept();
}

}  // namespace vantiro
