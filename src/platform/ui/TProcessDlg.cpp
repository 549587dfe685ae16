#include "platform/ui/TProcessDlg.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

namespace vantiro {

TProcessDlg::TProcessDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint),
      text_(new QLabel(this)),
      bar_(new QProgressBar(this)) {
  setObjectName(QStringLiteral("ProcessDlg"));
  setWindowTitle(QStringLiteral("Vantiro"));
  setModal(true);
  setFixedSize(282, 88);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  bar_->setTextVisible(false);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_);
  layout->addWidget(bar_);
}

void TProcessDlg::SetText(const QString& text) { text_->setText(text); }
void TProcessDlg::SetMax(int max) { bar_->setMaximum(max); }
void TProcessDlg::StepBy(int steps) { bar_->setValue(std::min(bar_->maximum(), bar_->value() + steps)); }
void TProcessDlg::ResetPosition() { bar_->setValue(0); }
QString TProcessDlg::Text() const { return text_->text(); }
int TProcessDlg::Maximum() const { return bar_->maximum(); }
int TProcessDlg::Position() const { return bar_->value(); }

void TProcessDlg::RunModal() {
  if (closeRequested_) {
    closeRequested_ = false;
    return;
  }
  // Centred on the screen.
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->geometry().center() - rect().center());
  }
  running_ = true;
  exec();
  running_ = false;
  closeRequested_ = false;
}

void TProcessDlg::RequestClose() {
  QMetaObject::invokeMethod(this, [this] { CloseRequested(); }, Qt::QueuedConnection);
}

void TProcessDlg::CloseRequested() {
  closeRequested_ = true;
  if (running_) done(QDialog::Accepted);
}

void TProcessDlg::closeEvent(QCloseEvent* event) {
  // Only the worker closes the dialog.
  if (closeRequested_) {
    QDialog::closeEvent(event);
  } else {
    event->ignore();
  }
}

void TProcessDlg::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->ignore();
    return;
  }
  QDialog::keyPressEvent(event);
}

void TProcessDlg::Sink::SetMax(int max) {
  QMetaObject::invokeMethod(&dialog_, [this, max] { dialog_.SetMax(max); }, Qt::QueuedConnection);
}

void TProcessDlg::Sink::StepBy(int steps) {
  QMetaObject::invokeMethod(&dialog_, [this, steps] { dialog_.StepBy(steps); },
                            Qt::QueuedConnection);
}

}  // namespace vantiro
