#include "instrument/ui/TrafficDialog.h"

#include <QCheckBox>
#include <QFile>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "instrument/TrafficLog.h"
#include "platform/AtomicFile.h"
#include "platform/ui/Prompts.h"

namespace vantiro {

TrafficDialog::TrafficDialog(TrafficLog& log, QWidget* parent) : QDialog(parent), log_(log) {
  setObjectName(QStringLiteral("TrafficDialog"));
  setWindowTitle(QStringLiteral("通讯记录"));
  resize(720, 480);
  Text = new QPlainTextEdit(this);
  Text->setObjectName(QStringLiteral("TrafficText"));
  Text->setReadOnly(true);
  Text->setLineWrapMode(QPlainTextEdit::NoWrap);
  Text->setMaximumBlockCount(static_cast<int>(2 * kTrafficEntries) + 1);  // two lines an exchange
  Text->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  PauseBox = new QCheckBox(QStringLiteral("暂停"), this);
  ClearButton = new QPushButton(QStringLiteral("清除"), this);
  SaveButton = new QPushButton(QStringLiteral("保存…"), this);
  CloseButton = new QPushButton(QStringLiteral("关闭"), this);
  for (QPushButton* b : {ClearButton, SaveButton, CloseButton}) b->setAutoDefault(false);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(PauseBox);
  buttons->addStretch(1);
  buttons->addWidget(ClearButton);
  buttons->addWidget(SaveButton);
  buttons->addWidget(CloseButton);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(Text, 1);
  layout->addLayout(buttons);
  connect(ClearButton, &QPushButton::clicked, this, &TrafficDialog::ClearClick);
  connect(SaveButton, &QPushButton::clicked, this, &TrafficDialog::SaveClick);
  connect(CloseButton, &QPushButton::clicked, this, &QDialog::close);
  timer_ = new QTimer(this);
  timer_->setInterval(300);
  connect(timer_, &QTimer::timeout, this, &TrafficDialog::Refresh);
  timer_->start();
  Refresh();
}

void TrafficDialog::Refresh() {
  if (PauseBox->isChecked()) return;
  const std::vector<TrafficEntry> entries = log_.Since(shown_);
  if (entries.empty()) return;
  std::string text;
  for (const TrafficEntry& entry : entries) {
    text += TrafficText(entry);
    shown_ = entry.number;
  }
  if (!text.empty() && text.back() == '\n') text.pop_back();
  Text->appendPlainText(QString::fromStdString(text));
}

void TrafficDialog::ClearClick() { Text->clear(); }

void TrafficDialog::SaveClick() {
  const QString path = CurrentPrompts().SaveFileName(this, QStringLiteral("保存通讯记录"),
                                                     QStringLiteral("文本文件(*.txt)|*.txt"), QStringLiteral("txt"),
                                                     QStringLiteral("通讯记录.txt"));
  if (path.isEmpty()) return;
  const QByteArray bytes = (Text->toPlainText() + QLatin1Char('\n')).toUtf8();
  if (!WriteFileAtomically(QFile::encodeName(path).toStdString(), std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())))) {
    CurrentPrompts().Message(this, QStringLiteral("文件保存失败，请重试！"), MessageIcon::Error);
  }
}

}  // namespace vantiro
