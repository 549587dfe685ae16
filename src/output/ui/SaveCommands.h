#pragma once
// The Save command of the main window: the rows of the table page on show as a CSV file, or the
// trend chart as a bitmap. Both go through the window's one save dialog, whose settings stay from
// one save to the next except those each case sets.

#include <QImage>
#include <QString>
#include <cstdint>
#include <functional>
#include <vector>

#include "recorder/Dataset.h"
#include "platform/UserMessage.h"
#include "workbench/TableRows.h"
#include "workbench/ViewModel.h"

class QWidget;

namespace vantiro {

// What the save dialog keeps between saves.
struct SaveDialogSettings {
  QString defaultSuffix;
  QString filter;     // "caption|pattern|..."
  QString title;      // empty: the dialog's own default title
  QString fileName;   // the name chosen last, or the one a case set
};

class SaveCommands {
 public:
  // Runs `work` on a worker behind the progress dialog showing `text` and returns after the
  // worker has ended (the main window's long-command helper).
  using LongCommand =
      std::function<void(const QString& text, const std::function<void(ProgressSink&)>& work)>;
  // Shows a message from the worker thread and waits until it is closed.
  using WorkerMessage = std::function<void(const UserMessage&)>;

  SaveCommands(QWidget* parent, LongCommand runLongCommand, WorkerMessage showFromWorker);

  // The data table page: the `itemCount` rows from `pageStart` on as a CSV file, written on a
  // worker behind the progress dialog.
  void SaveTable(const std::vector<ChannelInfo>& channels, const TableRows& rows,
                 const std::vector<std::int32_t>& columnChannels, std::uint32_t pageStart,
                 std::uint32_t itemCount);
  // The trend chart page: the chart as a bitmap, on the GUI thread, of the picture `render` makes
  // of it as shown (nothing to save without lines); a picture that could not be written is
  // reported with the export's failure message.
  // With `saveCsv` the dialog also offers a CSV file (named by `csvFilter`, e.g. "CSV Files - 可见范围
  // (*.csv)|*.csv"); a name ending in .csv goes to `saveCsv` instead of the picture.
  void SaveChart(bool hasLines, const std::function<QImage()>& render,
                 const std::function<void(const QString&)>& saveCsv = {}, const QString& csvFilter = {});

  const SaveDialogSettings& Dialog() const { return dialog_; }

 private:
  // Runs the save dialog; the chosen name, empty when cancelled.
  QString RunDialog();
  // True unless the name is taken by a special file (refused with the failure message) or by a
  // file the user does not want overwritten.
  bool MayWrite(const QString& path);

  QWidget* parent_;
  LongCommand runLongCommand_;
  WorkerMessage showFromWorker_;
  SaveDialogSettings dialog_;
};

}  // namespace vantiro
