#include "instrument/ui/TRealComSettingDlg.h"

#include <QCheckBox>
#include <QStyle>
#include <QColor>
#include <QComboBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

#include "instrument/CommSettings.h"
#include "instrument/Gateway.h"
#include "instrument/SerialDevices.h"
#include "platform/ui/Prompts.h"

namespace vantiro {
namespace {

constexpr int kAddressMaxLength = 255;

// A combo box that takes typed text; the entry whose text is typed becomes the selected one, any
// other text leaves no entry selected.
QComboBox* EntryComboBox(QWidget* parent, const char* name, const QStringList& entries) {
  auto* box = new QComboBox(parent);
  box->setObjectName(QLatin1String(name));
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->addItems(entries);
  QObject::connect(box, &QComboBox::editTextChanged, box, [box](const QString& text) {
    const int match = box->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (match == box->currentIndex()) return;
    QLineEdit* edit = box->lineEdit();
    const int cursor = edit->cursorPosition();
    box->setCurrentIndex(match);
    if (match < 0) {  // dropping the selection cleared the text: keep what was typed
      box->setEditText(text);
      edit->setCursorPosition(cursor);
    }
  });
  return box;
}

// Selects entry `index`, or none (empty text) when the index is outside the list; text typed
// earlier goes either way.
void SelectEntry(QComboBox* box, int index) {
  box->setCurrentIndex(index >= 0 && index < box->count() ? index : -1);
  box->setEditText(box->currentIndex() >= 0 ? box->itemText(box->currentIndex()) : QString());
}

// A list of channels first..first+7, one tick box each, shown whole without scrolling.
QListWidget* ChannelList(QWidget* parent, const char* name, int first) {
  auto* list = new QListWidget(parent);
  list->setObjectName(QLatin1String(name));
  for (int channel = first; channel < first + 8; ++channel) {
    auto* item =
        new QListWidgetItem(QStringLiteral("通道%1").arg(channel, 2, 10, QLatin1Char('0')), list);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
  list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  list->ensurePolished();
  const int frame = 2 * list->frameWidth();
  int height = frame;
  for (int row = 0; row < list->count(); ++row) height += list->sizeHintForRow(row);
  const int width = list->sizeHintForColumn(0) + frame + list->fontMetrics().averageCharWidth() * 2;
  list->setFixedSize(width, height);
  return list;
}

void SetAllTicks(QListWidget* list, bool ticked) {
  for (int row = 0; row < list->count(); ++row) {
    list->item(row)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
  }
}

// The longest recorder name typed (config.ini keeps what it is given).
constexpr int kRecorderNameMaxLength = 100;

}  // namespace

TRealComSettingDlg::TRealComSettingDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("RealComSettingDlg"));
  setWindowTitle(QStringLiteral("实时通信设置"));

  // Left: the serial line and the address.
  ComPortComboBox = EntryComboBox(this, "ComPortComboBox", [] {
    QStringList ports;
    for (int port = 1; port <= 16; ++port) ports << QStringLiteral("COM%1").arg(port);
    return ports;
  }());
  QStringList bauds;
  for (const std::int32_t baud : kBaudRates) bauds << QString::number(baud);
  BaudRateComboBox = EntryComboBox(this, "BaudRateComboBox", bauds);
  StopBitComboBox =
      EntryComboBox(this, "StopBitComboBox", {QStringLiteral("1"), QStringLiteral("2")});
  DataBitComboBox = EntryComboBox(
      this, "DataBitComboBox",
      {QStringLiteral("5"), QStringLiteral("6"), QStringLiteral("7"), QStringLiteral("8")});
  CheckComboBox =
      EntryComboBox(this, "CheckComboBox",
                    {QStringLiteral("无校验"), QStringLiteral("奇校验"), QStringLiteral("偶校验")});
  DeviceComboBox = new QComboBox(this);
  DeviceComboBox->setObjectName(QStringLiteral("DeviceComboBox"));
  DeviceComboBox->setEditable(true);
  DeviceComboBox->setInsertPolicy(QComboBox::NoInsert);
  DeviceComboBox->setMinimumContentsLength(24);
  DeviceComboBox->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  DeviceHintLabel = new QLabel(this);
  DeviceHintLabel->setObjectName(QStringLiteral("DeviceHintLabel"));
  DeviceHintLabel->setWordWrap(true);
  DeviceHintLabel->setStyleSheet(QStringLiteral("color: #b00000"));
  DeviceHintLabel->hide();
  connect(ComPortComboBox, &QComboBox::currentIndexChanged, this,
          &TRealComSettingDlg::ShowPortDevice);
  connect(DeviceComboBox, &QComboBox::editTextChanged, this, [this](const QString& text) {
    if (shownPort_ >= 0) devices_[static_cast<std::size_t>(shownPort_)] = text.trimmed().toStdString();
    ShowDeviceHint();
  });
  AddressEdit = new QLineEdit(this);
  AddressEdit->setObjectName(QStringLiteral("AddressEdit"));
  AddressEdit->setMaxLength(kAddressMaxLength);

  auto* line = new QGridLayout;
  line->setColumnStretch(1, 1);
  const std::pair<const char*, QWidget*> rows[] = {
      {"通信口：", ComPortComboBox},     {"设备：", DeviceComboBox},
      {"波特率：", BaudRateComboBox},
      {"停  止  位：", StopBitComboBox}, {"数据位：", DataBitComboBox},
      {"校    验：", CheckComboBox},     {"仪表地址：", AddressEdit},
  };
  ArchiveCheckBox = new QCheckBox(QStringLiteral("记录到档案"), this);
  ArchiveCheckBox->setObjectName(QStringLiteral("ArchiveCheckBox"));
  ArchiveCheckBox->setToolTip(QStringLiteral("监控时每个读数都存入档案，停止后可在“打开档案”中查看"));
  RecorderNameEdit = new QLineEdit(this);
  RecorderNameEdit->setObjectName(QStringLiteral("RecorderNameEdit"));
  RecorderNameEdit->setMaxLength(kRecorderNameMaxLength);
  ArchiveLabel = new QLabel(this);
  ArchiveLabel->setObjectName(QStringLiteral("ArchiveLabel"));
  ArchiveLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  connect(ArchiveCheckBox, &QCheckBox::toggled, RecorderNameEdit, &QWidget::setEnabled);
  connect(ComPortComboBox, &QComboBox::currentIndexChanged, this, &TRealComSettingDlg::ShowRecorderPlaceholder);
  connect(AddressEdit, &QLineEdit::textChanged, this, &TRealComSettingDlg::ShowRecorderPlaceholder);
  int row = 0;
  for (const auto& [caption, field] : rows) {
    auto* label = new QLabel(QString::fromUtf8(caption), this);
    label->setObjectName(field->objectName() + QStringLiteral("Label"));
    label->setBuddy(field);
    line->addWidget(label, row, 0, Qt::AlignRight | Qt::AlignVCenter);
    line->addWidget(field, row, 1);
    ++row;
    if (field == DeviceComboBox) line->addWidget(DeviceHintLabel, row++, 0, 1, 2);
  }
  line->addWidget(ArchiveCheckBox, row++, 1);
  auto* nameLabel = new QLabel(QStringLiteral("档案名称："), this);
  nameLabel->setObjectName(QStringLiteral("RecorderNameEditLabel"));
  nameLabel->setBuddy(RecorderNameEdit);
  line->addWidget(nameLabel, row, 0, Qt::AlignRight | Qt::AlignVCenter);
  line->addWidget(RecorderNameEdit, row++, 1);
  line->addWidget(ArchiveLabel, row++, 0, 1, 2);
  line->setRowStretch(row, 1);

  // Right: the channels, eight to a group; only channels 1..16 take part.
  auto* channels = new QHBoxLayout;
  auto group = [this, channels](const char* name, const QString& title, int first,
                                QCheckBox*& selectAll, const char* selectAllName,
                                QListWidget*& list, const char* listName) {
    auto* box = new QGroupBox(title, this);
    box->setObjectName(QLatin1String(name));
    selectAll = new QCheckBox(QStringLiteral("全选"), box);
    selectAll->setObjectName(QLatin1String(selectAllName));
    list = ChannelList(box, listName, first);
    auto* layout = new QVBoxLayout(box);
    layout->addWidget(selectAll);
    layout->addWidget(list);
    layout->addStretch(1);
    channels->addWidget(box);
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
  connect(SlectAllCheckBox1, &QCheckBox::toggled, this,
          &TRealComSettingDlg::SlectAllCheckBox1Click);
  connect(SlectAllCheckBox2, &QCheckBox::toggled, this,
          &TRealComSettingDlg::SlectAllCheckBox2Click);
  connect(SlectAllCheckBox3, &QCheckBox::toggled, this,
          &TRealComSettingDlg::SlectAllCheckBox3Click);
  connect(SlectAllCheckBox4, &QCheckBox::toggled, this,
          &TRealComSettingDlg::SlectAllCheckBox4Click);

  // Below: the further recorders.
  RecordersBox = new QGroupBox(QStringLiteral("更多仪表（同一总线或其他通信口）"), this);
  RecordersBox->setObjectName(QStringLiteral("RecordersBox"));
  RecordersTable = new QTableWidget(0, 4, RecordersBox);
  RecordersTable->setObjectName(QStringLiteral("RecordersTable"));
  RecordersTable->setHorizontalHeaderLabels(
      {QStringLiteral("通信口"), QStringLiteral("仪表地址"), QStringLiteral("名称"), QStringLiteral("通道")});
  RecordersTable->verticalHeader()->hide();
  RecordersTable->horizontalHeader()->setStretchLastSection(true);
  RecordersTable->setColumnWidth(0, 90);
  RecordersTable->setColumnWidth(1, 70);
  RecordersTable->setColumnWidth(2, 160);
  RecordersTable->setMinimumHeight(RecordersTable->verticalHeader()->defaultSectionSize() * 3 +
                                   RecordersTable->horizontalHeader()->sizeHint().height() + 4);
  AddRecorderBtn = new QPushButton(QStringLiteral("添加"), RecordersBox);
  AddRecorderBtn->setObjectName(QStringLiteral("AddRecorderBtn"));
  RemoveRecorderBtn = new QPushButton(QStringLiteral("删除"), RecordersBox);
  RemoveRecorderBtn->setObjectName(QStringLiteral("RemoveRecorderBtn"));
  connect(AddRecorderBtn, &QPushButton::clicked, this, [this] {
    if (RecordersTable->rowCount() >= kMostRecorders - 1) return;
    RecorderEntry entry;
    entry.port = std::max(0, ComPortComboBox->currentIndex());
    entry.address = RecordersTable->rowCount() + 2;
    AddRecorderRow(entry);
  });
  connect(RemoveRecorderBtn, &QPushButton::clicked, this, [this] {
    const int row = RecordersTable->currentRow();
    if (row >= 0) RecordersTable->removeRow(row);
  });
  auto* recorderButtons = new QVBoxLayout;
  recorderButtons->addWidget(AddRecorderBtn);
  recorderButtons->addWidget(RemoveRecorderBtn);
  recorderButtons->addStretch(1);
  auto* recorders = new QHBoxLayout(RecordersBox);
  recorders->addWidget(RecordersTable, 1);
  recorders->addLayout(recorderButtons);

  // Bottom: the buttons.
  OKBtn = new QPushButton(QStringLiteral("确定"), this);
  OKBtn->setObjectName(QStringLiteral("OKBtn"));
  OKBtn->setDefault(true);
  CancelBtn = new QPushButton(QStringLiteral("取消"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  connect(OKBtn, &QPushButton::clicked, this, [this] {
    if (OKBtnClick()) accept();
  });
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(OKBtn);
  buttons->addWidget(CancelBtn);

  auto* body = new QHBoxLayout;
  body->addLayout(line);
  body->addSpacing(fontMetrics().averageCharWidth() * 2);
  body->addLayout(channels);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(body);
  layout->addWidget(RecordersBox);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TRealComSettingDlg::LoadDialogFromIni() {
  const CommSettingsFields fields = ReadCommSettingsFields(iniPath_);
  devices_ = fields.devices;
  shownPort_ = -1;
  DeviceComboBox->clear();
  for (const SerialDevice& device : ListSerialDevices(deviceRoot_)) {
    QString tip = QString::fromStdString(device.target.empty() ? device.path
                                                               : device.path + " → " + device.target);
    if (!device.usable) {
      tip += QLatin1Char('\n') + QString::fromStdString(DevicePermissionHint(device));
    }
    DeviceComboBox->addItem(QString::fromStdString(device.path), device.usable);
    const int item = DeviceComboBox->count() - 1;
    DeviceComboBox->setItemData(item, tip, Qt::ToolTipRole);
    if (!device.usable) {
      DeviceComboBox->setItemIcon(item, style()->standardIcon(QStyle::SP_MessageBoxWarning));
      DeviceComboBox->setItemData(item, QColor(0x90, 0x90, 0x90), Qt::ForegroundRole);
    }
  }
  SelectEntry(ComPortComboBox, fields.port);
  ShowPortDevice();
  SelectEntry(BaudRateComboBox, fields.baudRate);
  SelectEntry(StopBitComboBox, fields.stopBit);
  SelectEntry(DataBitComboBox, fields.dataBit);
  SelectEntry(CheckComboBox, fields.checkType);
  AddressEdit->setText(QString::fromStdString(fields.address));
  ArchiveCheckBox->setChecked(fields.recordToArchive);
  RecorderNameEdit->setEnabled(fields.recordToArchive);
  RecorderNameEdit->setText(QString::fromStdString(fields.recorderName));
  ShowRecorderPlaceholder();
  RecordersTable->setRowCount(0);
  for (const RecorderEntry& entry : fields.further) AddRecorderRow(entry);
  for (int channel = 1; channel <= 16; ++channel) {
    QListWidget* list = channel <= 8 ? CheckListBox1 : CheckListBox2;
    const int item = channel <= 8 ? channel - 1 : channel - 9;
    const bool ticked = fields.channelTicked[static_cast<std::size_t>(channel - 1)];
    list->item(item)->setCheckState(ticked ? Qt::Checked : Qt::Unchecked);
  }
}

void TRealComSettingDlg::ShowPortDevice() {
  const int port = ComPortComboBox->currentIndex();
  shownPort_ = -1;  // the text set below is not an edit
  if (port < 0 || port >= 16) {
    DeviceComboBox->setEditText(QString());
    DeviceComboBox->setEnabled(false);
  } else {
    DeviceComboBox->setEnabled(true);
    const QString device = QString::fromStdString(devices_[static_cast<std::size_t>(port)]);
    DeviceComboBox->setCurrentIndex(DeviceComboBox->findText(device, Qt::MatchExactly));
    DeviceComboBox->setEditText(device);
    shownPort_ = port;
  }
  ShowDeviceHint();
}

void TRealComSettingDlg::ShowDeviceHint() {
  const QString text = DeviceComboBox->currentText().trimmed();
  QString hint;
  if (DeviceComboBox->isEnabled() && IsGatewayDevice(text.toStdString())) {
    // A gateway: nothing to look at on this machine, only its address to check.
    if (!ParseGateway(text.toStdString())) {
      hint = QStringLiteral("网关地址应为 tcp://主机:端口 或 modbus-tcp://主机:端口（例如 tcp://192.168.1.50:4001）。");
    }
  } else if (DeviceComboBox->isEnabled() && !text.isEmpty()) {
    hint = QString::fromStdString(DevicePermissionHint(DescribeSerialDevice(text.toStdString())));
  }
  DeviceHintLabel->setText(hint);
  DeviceHintLabel->setVisible(!hint.isEmpty());
}

bool TRealComSettingDlg::OKBtnClick() {
  CommSettingsFields fields;
  fields.devices = devices_;
  fields.port = ComPortComboBox->currentIndex();
  fields.baudRate = BaudRateComboBox->currentIndex();
  fields.stopBit = StopBitComboBox->currentIndex();
  fields.dataBit = DataBitComboBox->currentIndex();
  fields.checkType = CheckComboBox->currentIndex();
  fields.address = AddressEdit->text().toStdString();
  fields.recordToArchive = ArchiveCheckBox->isChecked();
  fields.recorderName = RecorderNameEdit->text().trimmed().toStdString();
  // The further recorders: each with an address and channels, none twice on one port.
  std::vector<std::pair<int, int>> seen = {{fields.port, std::atoi(fields.address.c_str())}};
  for (int row = 0; row < RecordersTable->rowCount(); ++row) {
    RecorderEntry entry;
    const auto* port = qobject_cast<QComboBox*>(RecordersTable->cellWidget(row, 0));
    entry.port = port ? port->currentIndex() : 0;
    const auto text = [&](int column) {
      const QTableWidgetItem* item = RecordersTable->item(row, column);
      return item ? item->text().trimmed() : QString();
    };
    bool ok = false;
    entry.address = text(1).toInt(&ok);
    const std::optional<std::array<bool, 16>> channels = ParseChannelList(text(3).toStdString());
    QString problem;
    if (!ok || entry.address < 1 || entry.address > 247) {
      problem = QStringLiteral("第%1行：仪表地址应为 1 至 247。").arg(row + 1);
    } else if (!channels) {
      problem = QStringLiteral("第%1行：通道应写作 1-16 或 1,3,5-8。").arg(row + 1);
    } else if (std::find(seen.begin(), seen.end(), std::pair(entry.port, entry.address)) != seen.end()) {
      problem = QStringLiteral("第%1行：%2 已有仪表。")
                    .arg(row + 1)
                    .arg(QString::fromStdString(RecorderLinkName(entry.port + 1, entry.address)));
    }
    if (!problem.isEmpty()) {
      CurrentPrompts().Message(this, problem, MessageIcon::Error);
      RecordersTable->setCurrentCell(row, 1);
      return false;
    }
    seen.emplace_back(entry.port, entry.address);
    entry.name = text(2).toStdString();
    entry.channels = *channels;
    fields.further.push_back(std::move(entry));
  }
  for (int channel = 1; channel <= 16; ++channel) {
    QListWidget* list = channel <= 8 ? CheckListBox1 : CheckListBox2;
    const int item = channel <= 8 ? channel - 1 : channel - 9;
    fields.channelTicked[static_cast<std::size_t>(channel - 1)] =
        list->item(item)->checkState() == Qt::Checked;
  }
  if (WriteCommSettingsFields(fields, iniPath_)) return true;
  CurrentPrompts().Message(this, QString::fromUtf8(kSettingsSaveFailedText), MessageIcon::Error);
  return false;
}

void TRealComSettingDlg::AddRecorderRow(const RecorderEntry& entry) {
  const int row = RecordersTable->rowCount();
  RecordersTable->insertRow(row);
  auto* port = new QComboBox(RecordersTable);
  for (int n = 1; n <= 16; ++n) port->addItem(QStringLiteral("COM%1").arg(n));
  port->setCurrentIndex(std::clamp(entry.port, 0, 15));
  RecordersTable->setCellWidget(row, 0, port);
  RecordersTable->setItem(row, 1, new QTableWidgetItem(QString::number(entry.address)));
  RecordersTable->setItem(row, 2, new QTableWidgetItem(QString::fromStdString(entry.name)));
  RecordersTable->setItem(row, 3, new QTableWidgetItem(QString::fromStdString(ChannelListText(entry.channels))));
}

void TRealComSettingDlg::SetArchiveShown(const QString& location) {
  // A long path shortened in its middle, so that the file's name shows; the whole of it in the tip.
  const int room = fontMetrics().averageCharWidth() * 48;
  const qsizetype slash = location.lastIndexOf(QLatin1Char('/'));
  const QString name = location.mid(slash + 1);
  const QString folder = location.left(slash + 1);
  const int left = std::max(fontMetrics().averageCharWidth() * 8, room - fontMetrics().horizontalAdvance(name));
  ArchiveLabel->setText(QStringLiteral("档案：") + fontMetrics().elidedText(folder, Qt::ElideMiddle, left) + name);
  ArchiveLabel->setToolTip(location);
}

void TRealComSettingDlg::ShowRecorderPlaceholder() {
  // The name the readings go under while none is typed: the port and the address as monitoring
  // will use them.
  const int port = ComPortComboBox->currentIndex();
  bool ok = false;
  const int address = AddressEdit->text().trimmed().toInt(&ok);
  if (port < 0 || !ok) {
    RecorderNameEdit->setPlaceholderText(QString());
    return;
  }
  RecorderNameEdit->setPlaceholderText(QString::fromStdString(RecorderLinkName(port + 1, address)));
}

void TRealComSettingDlg::SlectAllCheckBox1Click() {
  SetAllTicks(CheckListBox1, SlectAllCheckBox1->isChecked());
}
void TRealComSettingDlg::SlectAllCheckBox2Click() {
  SetAllTicks(CheckListBox2, SlectAllCheckBox2->isChecked());
}
void TRealComSettingDlg::SlectAllCheckBox3Click() {
  SetAllTicks(CheckListBox3, SlectAllCheckBox3->isChecked());
}
void TRealComSettingDlg::SlectAllCheckBox4Click() {
  SetAllTicks(CheckListBox4, SlectAllCheckBox4->isChecked());
}

}  // namespace vantiro
