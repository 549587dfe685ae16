#include "workbench/ui/TDataFilterDlg.h"

#include <QCheckBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QFont>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScreen>
#include <QTimeEdit>
#include <QVBoxLayout>
#include <string>

#include "workbench/FilterInput.h"
#include "platform/ui/Prompts.h"

namespace vantiro {

namespace {

constexpr int kFilterDialogWidth = 470;
constexpr int kFilterDialogHeight = 460;

QDate QtDate(const DateTimeFields& f) { return QDate(f.year, f.month, f.day); }
QTime QtTime(const DateTimeFields& f) { return QTime(f.hour, f.minute, f.second, f.millisecond); }

// A list of the eight channels first..first+7, "通道01" ..., one tick box each.
QListWidget* FilterChannelList(QWidget* parent, const char* name, int first) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QLatin1String(name));
  for (int channel = first; channel < first + 8; ++channel) {
    auto* item =
        new QListWidgetItem(QStringLiteral("通道%1").arg(channel, 2, 10, QLatin1Char('0')), list);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Checked);
  }
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  return list;
}

void SetAllTicks(QListWidget* list, bool ticked) {
  for (int row = 0; row < list->count(); ++row) {
    list->item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
  }
}

}  // namespace

TDataFilterDlg::TDataFilterDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint) {
  setObjectName(QStringLiteral("DataFilterDlg"));
  setWindowTitle(QStringLiteral("数据筛选条件设置"));
  setModal(true);
  setFixedSize(kFilterDialogWidth, kFilterDialogHeight);

  // The filter conditions: start, end, rows per page.
  FilterGroupBox = new QGroupBox(QStringLiteral("筛选条件"), this);
  FilterGroupBox->setObjectName(QStringLiteral("FilterGroupBox"));
  auto picker = [this](auto* edit, const char* name, const QString& format) {
    edit->setObjectName(QLatin1String(name));
    edit->setDisplayFormat(format);
    edit->setCalendarPopup(false);  // up-down buttons
    edit->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    return edit;
  };
  StartDate = picker(new QDateEdit(FilterGroupBox), "StartDate", QStringLiteral("yyyy-MM-dd"));
  StartTime = picker(new QTimeEdit(FilterGroupBox), "StartTime", QStringLiteral("HH:mm:ss"));
  EndDate = picker(new QDateEdit(FilterGroupBox), "EndDate", QStringLiteral("yyyy-MM-dd"));
  EndTime = picker(new QTimeEdit(FilterGroupBox), "EndTime", QStringLiteral("HH:mm:ss"));
  for (QDateEdit* date : {StartDate, EndDate}) {
    date->setMinimumDate(QDate(100, 1, 1));
    date->setMaximumDate(QDate(9999, 12, 31));
  }
  ItemCountPerPageEdit = new QLineEdit(QStringLiteral("500"), FilterGroupBox);
  ItemCountPerPageEdit->setObjectName(QStringLiteral("ItemCountPerPageEdit"));
  auto* conditions = new QGridLayout(FilterGroupBox);
  auto label = [this](const QString& text, const char* name, QWidget* buddy) {
    auto* l = new QLabel(text, FilterGroupBox);
    l->setObjectName(QLatin1String(name));
    l->setBuddy(buddy);
    return l;
  };
  conditions->addWidget(label(QStringLiteral("开始时间："), "StartLabel", StartDate), 0, 0);
  conditions->addWidget(StartDate, 0, 1);
  conditions->addWidget(StartTime, 0, 2);
  conditions->addWidget(label(QStringLiteral("结束时间："), "EndLabel", EndDate), 1, 0);
  conditions->addWidget(EndDate, 1, 1);
  conditions->addWidget(EndTime, 1, 2);
  conditions->addWidget(
      label(QStringLiteral("每页显示数据条数："), "ItemCountLabel", ItemCountPerPageEdit), 2, 0);
  conditions->addWidget(ItemCountPerPageEdit, 2, 1);
  conditions->setColumnStretch(1, 1);
  conditions->setColumnStretch(2, 1);

  // The channels, eight to a group; only channels 1..16 can be filtered.
  ChannelGroupBox = new QGroupBox(QStringLiteral("通道选择"), this);
  ChannelGroupBox->setObjectName(QStringLiteral("ChannelGroupBox"));
  auto* groups = new QHBoxLayout(ChannelGroupBox);
  auto group = [this, groups](const char* name, const QString& title, int first,
                              QCheckBox*& selectAll, const char* selectAllName, QListWidget*& list,
                              const char* listName) {
    auto* box = new QGroupBox(title, ChannelGroupBox);
    box->setObjectName(QLatin1String(name));
    selectAll = new QCheckBox(QStringLiteral("全选"), box);
    selectAll->setObjectName(QLatin1String(selectAllName));
    selectAll->setChecked(true);
    list = FilterChannelList(box, listName, first);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(selectAll);
    layout->addWidget(list, 1);
    groups->addWidget(box);
    return box;
  };
  GroupBox1 = group("GroupBox1", QStringLiteral("1-8"), 1, SlectAllCheckBox1, "SlectAllCheckBox1",
                    CheckListBox1, "CheckListBox1");
  GroupBox2 = group("GroupBox2", QStringLiteral("9-16"), 9, SlectAllCheckBox2, "SlectAllCheckBox2",
                    CheckListBox2, "CheckListBox2");
  GroupBox3 = group("GroupBox3", QStringLiteral("17-24"), 17, SlectAllCheckBox3,
                    "SlectAllCheckBox3", CheckListBox3, "CheckListBox3");
  GroupBox4 = group("GroupBox4", QStringLiteral("25-32"), 25, SlectAllCheckBox4,
                    "SlectAllCheckBox4", CheckListBox4, "CheckListBox4");
  GroupBox3->setEnabled(false);
  GroupBox4->setEnabled(false);
  // A click (not a tick set by the program) carries the box's new state to its list.
  connect(SlectAllCheckBox1, &QCheckBox::clicked, this, &TDataFilterDlg::SlectAllCheckBox1Click);
  connect(SlectAllCheckBox2, &QCheckBox::clicked, this, &TDataFilterDlg::SlectAllCheckBox2Click);
  connect(SlectAllCheckBox3, &QCheckBox::clicked, this, &TDataFilterDlg::SlectAllCheckBox3Click);
  connect(SlectAllCheckBox4, &QCheckBox::clicked, this, &TDataFilterDlg::SlectAllCheckBox4Click);

  OKBtn = new QPushButton(QStringLiteral("确定"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("取消"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  connect(OKBtn, &QPushButton::clicked, this, &TDataFilterDlg::OKBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);  // Esc too
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(FilterGroupBox);
  layout->addWidget(ChannelGroupBox, 1);
  layout->addLayout(buttons);

  ResetChannelSelection();
  SetPickers(StartDate, StartTime, startPickerBase);
  SetPickers(EndDate, EndTime, endPickerBase);
}

void TDataFilterDlg::showEvent(QShowEvent* event) {
  // Centred on the screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - rect().center());
  }
  QDialog::showEvent(event);
}

void TDataFilterDlg::ResetChannelSelection() {
  channelSelected.fill(true);
  selectAllGroup1 = true;
  selectAllGroup2 = true;
}

void TDataFilterDlg::SetPickers(QDateEdit* date, QTimeEdit* timeOfDay, DateTime time) {
  const DateTimeFields fields = DecodeDateTime(time);
  date->setDate(QtDate(fields));
  timeOfDay->setTime(QtTime(fields));
  // What the pickers hold now is the base of a change: read it back as they keep it.
  date->setProperty("baseDate", date->date());
  timeOfDay->setProperty("baseTime", timeOfDay->time());
}

DateTime TDataFilterDlg::DatePickerValue(const QDateEdit* date, DateTime base) const {
  const QDate shown = date->property("baseDate").toDate();
  return base + static_cast<double>(shown.daysTo(date->date()));
}

DateTime TDataFilterDlg::TimePickerValue(const QTimeEdit* timeOfDay, DateTime base) const {
  const QTime shown = timeOfDay->property("baseTime").toTime();
  const int moved = timeOfDay->time().msecsSinceStartOfDay() - shown.msecsSinceStartOfDay();
  return base + moved * kOneMillisecond;
}

void TDataFilterDlg::InitFromDataset(DateTime start, DateTime end) {
  filterStart = startPickerBase = start;
  filterEnd = endPickerBase = end;
  SetPickers(StartDate, StartTime, start);
  SetPickers(EndDate, EndTime, end);
  ItemCountPerPageEdit->setText(QString::number(rowsPerPage));
  for (int i = 0; i < 8; ++i) {
    CheckListBox1->item(i)->setCheckState(channelSelected[static_cast<std::size_t>(i)] ? Qt::Checked
                                                                                       : Qt::Unchecked);
    CheckListBox2->item(i)->setCheckState(
        channelSelected[static_cast<std::size_t>(i + 8)] ? Qt::Checked : Qt::Unchecked);
  }
  SlectAllCheckBox1->setChecked(selectAllGroup1);
  SlectAllCheckBox2->setChecked(selectAllGroup2);
}

void TDataFilterDlg::OKBtnClick() {
  const DateTime start = CombinePickers(DatePickerValue(StartDate, startPickerBase),
                                        TimePickerValue(StartTime, startPickerBase), startPickerBase);
  const DateTime end = CombinePickers(DatePickerValue(EndDate, endPickerBase),
                                      TimePickerValue(EndTime, endPickerBase), endPickerBase);
  const std::string rowsText = ItemCountPerPageEdit->text().toStdString();
  switch (CheckFilterInput(start, end, rowsText)) {
    case FilterInputFault::Time:
      CurrentPrompts().Message(this, QString::fromUtf8(kFilterTimeMessage), MessageIcon::Error);
      return;
    case FilterInputFault::RowsPerPage:
      ItemCountPerPageEdit->setFocus();
      CurrentPrompts().Message(this, QString::fromUtf8(kRowsPerPageMessage), MessageIcon::Error);
      return;
    case FilterInputFault::None:
      break;
  }
  filterStart = start;
  filterEnd = end;
  rowsPerPage = *ParseRowsPerPage(rowsText);
  for (int i = 0; i < 8; ++i) {
    channelSelected[static_cast<std::size_t>(i)] = CheckListBox1->item(i)->checkState() == Qt::Checked;
    channelSelected[static_cast<std::size_t>(i + 8)] =
        CheckListBox2->item(i)->checkState() == Qt::Checked;
  }
  selectAllGroup1 = SlectAllCheckBox1->isChecked();
  selectAllGroup2 = SlectAllCheckBox2->isChecked();
  accept();
}

void TDataFilterDlg::SlectAllCheckBox1Click() {
  SetAllTicks(CheckListBox1, SlectAllCheckBox1->isChecked());
}
void TDataFilterDlg::SlectAllCheckBox2Click() {
  SetAllTicks(CheckListBox2, SlectAllCheckBox2->isChecked());
}
void TDataFilterDlg::SlectAllCheckBox3Click() {
  SetAllTicks(CheckListBox3, SlectAllCheckBox3->isChecked());
}
void TDataFilterDlg::SlectAllCheckBox4Click() {
  SetAllTicks(CheckListBox4, SlectAllCheckBox4->isChecked());
}

FilterSettings TDataFilterDlg::Settings() const {
  return FilterSettings{channelSelected, filterStart, filterEnd, rowsPerPage};
}

}  // namespace vantiro
