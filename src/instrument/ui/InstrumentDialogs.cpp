#include "instrument/ui/InstrumentDialogs.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <algorithm>

#include "instrument/CommSettings.h"
#include "instrument/PictureDownload.h"
#include "platform/ui/Prompts.h"

namespace vantiro {
namespace {

constexpr int kDialogWidth = 401;
constexpr int kDialogHeight = 143;
constexpr int kMargin = 16;
constexpr int kFieldHeight = 24;
constexpr int kStartButtonWidth = 89;
constexpr int kCancelButtonWidth = 60;
constexpr int kPathButtonWidth = 29;

const QString kInProgressText = QStringLiteral("下装正在进行，请稍等！");
const QString kCancelledText = QStringLiteral("下装已取消");

QString Text(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size()));
}

}  // namespace

TOEMDLDlg::TOEMDLDlg(QWidget* parent, ModbusRtuImpl& instrument)
    : QDialog(parent), instrument_(instrument) {
  setObjectName(QStringLiteral("OEMDLDlg"));
  setWindowTitle(QStringLiteral("OEM下装"));
  setFixedSize(kDialogWidth, kDialogHeight);

  Label1 = new QLabel(QStringLiteral("下位机画面地址："), this);
  Label1->setObjectName(QStringLiteral("Label1"));
  DLAddress = new QComboBox(this);
  DLAddress->setObjectName(QStringLiteral("DLAddress"));
  for (int slot = 1; slot <= kPictureSlots; ++slot) DLAddress->addItem(QString::number(slot));
  DLAddress->setCurrentIndex(0);
  Label1->setBuddy(DLAddress);

  Label2 = new QLabel(QStringLiteral("下装图片路径："), this);
  Label2->setObjectName(QStringLiteral("Label2"));
  DLPicPath = new QLineEdit(this);
  DLPicPath->setObjectName(QStringLiteral("DLPicPath"));
  Label2->setBuddy(DLPicPath);
  PathSelectBtn = new QPushButton(QStringLiteral("..."), this);
  PathSelectBtn->setObjectName(QStringLiteral("PathSelectBtn"));

  StartBtn = new QPushButton(QStringLiteral("开始下装"), this);
  StartBtn->setObjectName(QStringLiteral("StartBtn"));
  StartBtn->setAutoDefault(false);
  PathSelectBtn->setAutoDefault(false);
  CancelBtn = new QPushButton(QStringLiteral("取消"), this);
  CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
  CancelBtn->setAutoDefault(false);
  CancelBtn->setEnabled(false);

  Label3 = new QLabel(QStringLiteral("下装前，请确保下位机已经进入下装下装页面。"), this);
  Label3->setObjectName(QStringLiteral("Label3"));

  DLProgressBar = new QProgressBar(this);
  DLProgressBar->setObjectName(QStringLiteral("DLProgressBar"));
  DLProgressBar->setRange(0, 100);
  DLProgressBar->setValue(0);

  // Four rows: the slot with the start button at its right, the path with its "..." button,
  // the notice, the progress bar across the dialog. The fields start after the wider label.
  const int labelWidth = std::max(Label1->sizeHint().width(), Label2->sizeHint().width());
  const int fieldLeft = kMargin + labelWidth + 4;
  const int right = kDialogWidth - kMargin;
  const int rowTop[4] = {12, 44, 78, 106};
  auto label = [&](QLabel* l, int top) {
    l->setGeometry(kMargin, top, labelWidth, kFieldHeight);
    l->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  };
  label(Label1, rowTop[0]);
  DLAddress->setGeometry(fieldLeft, rowTop[0], 80, kFieldHeight);
  StartBtn->setGeometry(right - kStartButtonWidth, rowTop[0] - 1, kStartButtonWidth,
                        kFieldHeight + 2);
  CancelBtn->setGeometry(right - kStartButtonWidth - 6 - kCancelButtonWidth, rowTop[0] - 1, kCancelButtonWidth,
                         kFieldHeight + 2);
  label(Label2, rowTop[1]);
  PathSelectBtn->setGeometry(right - kPathButtonWidth, rowTop[1], kPathButtonWidth, kFieldHeight);
  DLPicPath->setGeometry(fieldLeft, rowTop[1], right - kPathButtonWidth - 4 - fieldLeft,
                         kFieldHeight);
  Label3->setGeometry(kMargin, rowTop[2], right - kMargin, 20);
  DLProgressBar->setGeometry(kMargin, rowTop[3], right - kMargin, 20);

  connect(PathSelectBtn, &QPushButton::clicked, this, &TOEMDLDlg::PathSelectBtnClick);
  connect(StartBtn, &QPushButton::clicked, this, &TOEMDLDlg::StartBtnClick);
  connect(CancelBtn, &QPushButton::clicked, this, &TOEMDLDlg::CancelBtnClick);

  // Centred on the screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - rect().center());
  }
}

TOEMDLDlg::~TOEMDLDlg() {
  // The download runs to its end and closes the port; what it posts for the dialog is dropped
  // with the dialog.
  if (downloadThread_.joinable()) downloadThread_.join();
}

void TOEMDLDlg::PathSelectBtnClick() {
  // Every file: "*" rather than "*.*", which on Linux would hide a picture saved without an
  // extension.
  const QString path =
      CurrentPrompts().OpenFileName(this, QString(), QStringLiteral("所有文件(*)|*"));
  if (!path.isEmpty()) DLPicPath->setText(path);
}

void TOEMDLDlg::StartBtnClick() {
  if (Downloading()) return;
  StartBtn->setEnabled(false);
  // A finished download's worker has posted its outcome as its last act: it ends at once.
  if (downloadThread_.joinable()) downloadThread_.join();
  DLProgressBar->setValue(0);
  const std::string path = QFile::encodeName(DLPicPath->text()).toStdString();
  const int picture = DLAddress->currentIndex();
  cancel_ = std::stop_source();
  CancelBtn->setEnabled(true);
  downloadThread_ = std::thread([this, ini = iniPath_, path, picture, stop = cancel_.get_token()] {
    DownloadThread(ini, path, picture, stop);
  });
}

void TOEMDLDlg::CancelBtnClick() {
  if (!Downloading()) return;
  CancelBtn->setEnabled(false);
  cancel_.request_stop();
}

int TOEMDLDlg::DownloadThread(const std::string& iniPath, const std::string& path, int picture,
                              std::stop_token stop) {
  LoadCommSettings(iniPath);
  DownloadOverInstrument port(instrument_);
  const DownloadOutcome outcome =
      DownloadPicture(port, path, picture, [this](int position, int maximum) {
        QMetaObject::invokeMethod(
            this,
            [this, position, maximum] {
              if (maximum > 0) DLProgressBar->setMaximum(maximum);
              DLProgressBar->setValue(position);
            },
            Qt::QueuedConnection);
      },
      stop);
  QMetaObject::invokeMethod(
      this, [this, outcome] { DownloadEnded(outcome); }, Qt::QueuedConnection);
  return outcome.succeeded ? 0 : -1;
}

void TOEMDLDlg::DownloadEnded(const DownloadOutcome& outcome) {
  StartBtn->setEnabled(true);
  CancelBtn->setEnabled(false);
  if (outcome.stopped) {
    CurrentPrompts().Message(this, kCancelledText, MessageIcon::Information);
    return;
  }
  // Success and failure alike are shown with the error icon.
  CurrentPrompts().Message(this, Text(outcome.text), MessageIcon::Error);
}

bool TOEMDLDlg::Downloading() const { return !StartBtn->isEnabled(); }

bool TOEMDLDlg::OnClose() {
  if (!Downloading()) return true;
  CurrentPrompts().Message(nullptr, kInProgressText, MessageIcon::Information);
  return false;
}

void TOEMDLDlg::closeEvent(QCloseEvent* event) {
  if (!OnClose()) {
    event->ignore();
    return;
  }
  QDialog::reject();  // ends a modal run
  event->accept();
}

void TOEMDLDlg::reject() {
  if (OnClose()) QDialog::reject();
}

}  // namespace vantiro
