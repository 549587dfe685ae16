#pragma once

#include <QDialog>

#include "platform/ProgressSink.h"

class QLabel;
class QProgressBar;

namespace vantiro {

// The progress dialog every long operation shares: a fixed box captioned "Vantiro" with a text
// line and a bar, which the user cannot close. Its worker drives the bar and asks it to close.
class TProcessDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TProcessDlg(QWidget* parent = nullptr);

  // GUI thread.
  void SetText(const QString& text);
  void SetMax(int max);
  void StepBy(int steps);
  void ResetPosition();
  // Shows the dialog modally until a close request arrives (at once when one came already).
  void RunModal();

  // Any thread: ends the modal show. A request made before the show has started is kept.
  void RequestClose();

  // A progress sink for a worker thread; every call is queued to the GUI thread.
  ProgressSink& WorkerSink() { return sink_; }

  QString Text() const;
  int Maximum() const;
  int Position() const;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void CloseRequested();

  class Sink final : public ProgressSink {
   public:
    explicit Sink(TProcessDlg& dialog) : dialog_(dialog) {}
    void SetMax(int max) override;
    void StepBy(int steps) override;

   private:
    TProcessDlg& dialog_;
  };

  QLabel* text_;
  QProgressBar* bar_;
  Sink sink_{*this};
  bool closeRequested_ = false;
  bool running_ = false;
};

}  // namespace vantiro
