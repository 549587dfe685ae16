#include "platform/ui/LongCommand.h"

#include <QApplication>
#include <QWidget>
#include <memory>

#include "platform/ui/Prompts.h"
#include "platform/ui/TProcessDlg.h"

namespace vantiro {

void RunLongCommand(QWidget* owner, TProcessDlg* progress, std::thread& worker, const QString& text,
                    const std::function<void(ProgressSink&)>& work) {
  std::unique_ptr<TProcessDlg> ownProgress;  // only when started without the shared dialog
  if (!progress) {
    ownProgress = std::make_unique<TProcessDlg>(owner);
    progress = ownProgress.get();
  }
  progress->SetText(text);
  progress->ResetPosition();
  worker = std::thread([&work, progress] {
    try {
      work(progress->WorkerSink());
    } catch (...) {
      // The work reports its own failures; one it did not foresee must still end the wait.
    }
    progress->RequestClose();  // the worker's last act, whatever happened before
  });
  progress->RunModal();
  worker.join();
}

void ShowMessageFromWorker(QWidget* owner, const UserMessage& message) {
  QMetaObject::invokeMethod(
      owner,
      [owner, &message] {
        // The progress dialog is up while a worker runs: the box stands over it, not behind it.
        QWidget* over = QApplication::activeModalWidget();
        CurrentPrompts().Message(over ? over : owner, QString::fromStdString(message.text),
                                 message.icon);
      },
      Qt::BlockingQueuedConnection);
}

}  // namespace vantiro
