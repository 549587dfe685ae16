#pragma once
// The long commands' helper (load, import, filter rebuild, CSV export): the progress text set and
// the bar reset on the GUI thread, the work on a worker thread driving the bar, the progress dialog
// shown modally until the worker's last act closes it, then the join. Widgets are touched only
// after it returns; a message from the worker goes through ShowMessageFromWorker.

#include <QString>
#include <functional>
#include <thread>

#include "platform/ProgressSink.h"
#include "platform/UserMessage.h"

class QWidget;

namespace vantiro {

class TProcessDlg;

// `progress` is the shared progress dialog; without one, a dialog of its own over `owner` is used.
// `worker` holds the worker thread while it runs and is joined before the return.
void RunLongCommand(QWidget* owner, TProcessDlg* progress, std::thread& worker, const QString& text,
                    const std::function<void(ProgressSink&)>& work);

// From a worker thread: shows the message on the GUI thread (over the modal window that is up,
// the progress dialog, or else over `owner`) and waits until it is closed.
void ShowMessageFromWorker(QWidget* owner, const UserMessage& message);

}  // namespace vantiro
