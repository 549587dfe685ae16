#pragma once
// Archive reads and writes off the GUI thread: each task runs on a worker thread of its own (a server
// that does not answer holds the worker, never the window), with the archive the previous task left
// open (opened anew after a failure), and hands its outcome to the GUI thread. A newer task supersedes an older one still waiting; the outcome of a task that
// was superseded or cancelled is dropped.

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <thread>

namespace vantiro {

class Archive;

class ArchiveTasks : public QObject {
  Q_OBJECT

 public:
  explicit ArchiveTasks(QObject* parent = nullptr);
  ~ArchiveTasks() override;  // waits for a running task

  // The archive the tasks open (a SQLite file or a postgresql:// URL; empty: the user's own).
  void SetLocation(std::string location);
  const std::string& Location() const { return location_; }

  // `work` runs on the worker with the archive open (made when `create`); its return is the error
  // to report, empty when all went well. `done` then runs on the GUI thread with that error, or
  // with the reason the archive could not be opened.
  void Run(std::function<std::string(Archive&)> work, std::function<void(const QString& error)> done,
           bool create = false);
  bool Busy() const { return running_; }
  // Drops the outcome of the task running or waiting.
  void Cancel();

 signals:
  void busyChanged(bool busy);

 private:
  struct Task {
    std::function<std::string(Archive&)> work;
    std::function<void(const QString&)> done;
    bool create = false;
    std::uint64_t id = 0;
  };
  void Start(Task task);
  void Finished(std::uint64_t id, const QString& error);

  std::string location_;
  std::thread worker_;
  // The archive the last task had open, kept for the next; touched only by the worker (one at a
  // time) and by the destructor after it.
  std::unique_ptr<Archive> open_;
  std::string openLocation_;
  bool openCreated_ = false;
  bool running_ = false;
  std::unique_ptr<Task> waiting_;
  std::function<void(const QString&)> runningDone_;
  std::uint64_t nextId_ = 0;
  std::uint64_t runningId_ = 0;
  std::uint64_t cancelledUpTo_ = 0;
};

}  // namespace vantiro
