#pragma once
// "导入到档案…" and files dropped on the window: recorder files and CSV files (folders searched
// recursively) go into the archive under a recorder the user names in a small dialog (by default
// the name of the folder holding the first file), on a worker behind the progress dialog, one step a
// file; at the end a message says what became of each.

#include <QDialog>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/ProgressSink.h"

class QComboBox;
class QLabel;

namespace vantiro {

// The small dialog: which recorder the files go under.
class RecorderNameDialog : public QDialog {
  Q_OBJECT

 public:
  RecorderNameDialog(const QStringList& recorders, const QString& proposed, const QString& archive,
                     QWidget* parent = nullptr);
  QString Name() const;

  QComboBox* NameBox = nullptr;
};

// The outcome of importing several files, for the message at the end.
struct ArchiveImportReport {
  int imported = 0;
  int alreadyThere = 0;
  int failed = 0;
  std::vector<std::string> lines;  // one a file: what became of it
};

// Imports `files` (as collected) under `recorder` into the archive at `location`, one step of
// `progress` a file. Runs on a worker.
ArchiveImportReport ImportFilesToArchive(const std::string& location, const std::string& recorder,
                                         const std::vector<std::string>& files, ProgressSink* progress);

// The message the report shows: a summary line, the files' lines behind it.
QString ImportReportSummary(const ArchiveImportReport& report);

class ArchiveImportCommand {
 public:
  // Runs `work` behind the progress dialog with `text` (the window's long-command helper).
  using LongCommand = std::function<void(const QString& text, const std::function<void(ProgressSink&)>& work)>;
  // Asks for the recorder: the archive's recorders and the proposed name; nothing when cancelled.
  using AskRecorder = std::function<std::optional<QString>(const QStringList& recorders, const QString& proposed)>;

  ArchiveImportCommand(QWidget* parent, LongCommand runLongCommand);

  // Replaces the dialog (tests).
  void SetAskRecorder(AskRecorder ask) { askRecorder_ = std::move(ask); }

  // The menu commands: the file dialog (several files) or the folder dialog, then Import.
  void ChooseFilesAndImport();
  void ChooseFolderAndImport();
  // Imports what `names` (files and folders) hold; nothing when there is no recording among them
  // (said so) or the user cancels.
  void Import(const QStringList& names);

 private:
  QWidget* parent_;
  LongCommand runLongCommand_;
  AskRecorder askRecorder_;
};

}  // namespace vantiro
