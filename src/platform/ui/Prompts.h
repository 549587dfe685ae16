#pragma once
// Every modal interaction of the program goes through one Prompts object: the Qt implementation
// shows real dialogs; tests install a scripted one so that nothing ever blocks on a window.

#include <QString>
#include <QStringList>
#include <functional>

#include "platform/UserMessage.h"

class QPageLayout;
class QPagedPaintDevice;
class QPrinter;
class QWidget;

namespace vantiro {

class Prompts {
 public:
  virtual ~Prompts() = default;
  // A message box captioned "Vantiro" with an OK button.
  virtual void Message(QWidget* parent, const QString& text, MessageIcon icon) = 0;
  // The same with `detail` behind the box's details button (why a port did not open, and what
  // to do about it).
  virtual void MessageWithDetail(QWidget* parent, const QString& text, const QString& detail,
                                 MessageIcon icon) {
    (void)detail;
    Message(parent, text, icon);
  }
  // A Yes/No question captioned "Vantiro"; true for Yes.
  virtual bool Question(QWidget* parent, const QString& text) = 0;
  // The open dialog; `filter` in the "caption|pattern|caption|pattern" form. Empty when cancelled.
  virtual QString OpenFileName(QWidget* parent, const QString& title, const QString& filter) = 0;
  // The open dialog for several files; empty when cancelled.
  virtual QStringList OpenFileNames(QWidget* parent, const QString& title, const QString& filter) = 0;
  // A folder; empty when cancelled.
  virtual QString ExistingFolder(QWidget* parent, const QString& title) = 0;
  // The save dialog; empty when cancelled.
  virtual QString SaveFileName(QWidget* parent, const QString& title, const QString& filter,
                               const QString& defaultSuffix, const QString& fileName) = 0;
  // Asks the desktop to open a document (the help file) with its own program.
  virtual void OpenDocument(const QString& path) = 0;
  // The modal print preview of a report: `paint` draws the report on the device it is given
  // (the preview's printer or a real one), whose page layout starts as `printer`'s. The preview's
  // "保存为PDF" calls `savePdf` with the preview window (over which its dialogs stand) and the page
  // layout in force then.
  using SavePdf = std::function<void(QWidget* preview, const QPageLayout& layout)>;
  virtual void ShowReport(QWidget* parent, QPrinter& printer,
                          const std::function<void(QPagedPaintDevice&)>& paint,
                          const SavePdf& savePdf) = 0;
};

// The prompts in force (the Qt ones unless a test installed others).
Prompts& CurrentPrompts();
// Installs `prompts` (not owned); nullptr restores the Qt ones.
void SetPrompts(Prompts* prompts);

// "二进制文件(*.bin)|*.bin|数据文件(*.dat)|*.dat" -> "二进制文件(*.bin);;数据文件(*.dat)"
QString QtFileFilter(const QString& pipeFilter);

}  // namespace vantiro
