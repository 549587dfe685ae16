#include "archive/ui/ArchiveTasks.h"

#include <QMetaObject>

#include "archive/Archive.h"

namespace vantiro {

ArchiveTasks::ArchiveTasks(QObject* parent) : QObject(parent) {}

ArchiveTasks::~ArchiveTasks() {
  if (worker_.joinable()) worker_.join();
  open_.reset();
}

void ArchiveTasks::SetLocation(std::string location) {
  location_ = std::move(location);
}

void ArchiveTasks::Run(std::function<std::string(Archive&)> work, std::function<void(const QString&)> done,
                       bool create) {
  Task task{std::move(work), std::move(done), create, ++nextId_};
  if (running_) {
    waiting_ = std::make_unique<Task>(std::move(task));
    return;
  }
  Start(std::move(task));
}

void ArchiveTasks::Cancel() {
  cancelledUpTo_ = nextId_;
  waiting_.reset();
}

void ArchiveTasks::Start(Task task) {
  if (worker_.joinable()) worker_.join();
  running_ = true;
  runningId_ = task.id;
  runningDone_ = std::move(task.done);
  emit busyChanged(true);
  worker_ = std::thread([this, location = location_, work = std::move(task.work), create = task.create,
                         id = task.id] {
    std::string error;
    // The archive stays open from one task to the next (tasks run one at a time): opening it, a
    // server's connection above all, costs more than a zoom's read. For another archive it is
    // opened anew; a task that fails on the connection kept (a server restarted since) runs once
    // more on a new one, and a failure leaves none kept.
    bool reused = open_ && openLocation_ == location && (!create || openCreated_);
    for (int attempt = 0; attempt < 2; ++attempt) {
      if (!reused) {
        open_.reset();
        error.clear();
        open_ = Archive::Open(location, create, error);
        openLocation_ = location;
        openCreated_ = create;
      }
      if (!open_) break;
      try {
        error = work(*open_);
      } catch (const std::exception& e) {
        error = e.what();
      }
      if (error.empty()) break;
      open_.reset();
      if (!reused) break;
      reused = false;
    }
    const QString text = QString::fromStdString(error);
    QMetaObject::invokeMethod(this, [this, id, text] { Finished(id, text); }, Qt::QueuedConnection);
  });
}

void ArchiveTasks::Finished(std::uint64_t id, const QString& error) {
  if (worker_.joinable()) worker_.join();
  running_ = false;
  std::function<void(const QString&)> done = std::move(runningDone_);
  runningDone_ = nullptr;
  const bool dropped = id <= cancelledUpTo_ || (waiting_ && waiting_->id > id);
  if (waiting_) {
    Task next = std::move(*waiting_);
    waiting_.reset();
    Start(std::move(next));
  } else {
    emit busyChanged(false);
  }
  if (!dropped && done) done(error);
}

}  // namespace vantiro
