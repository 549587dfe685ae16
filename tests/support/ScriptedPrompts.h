#pragma once
// Prompts for GUI tests: answers come from a script, messages are recorded, nothing blocks.

#include <QApplication>
#include <QPrinter>
#include <QString>
#include <deque>
#include <functional>
#include <vector>

#include "support/QtPrinters.h"
#include "platform/ui/Prompts.h"

namespace vantiro::testing {

class ScriptedPrompts : public Prompts {
 public:
  struct Shown {
    QString text;
    MessageIcon icon;
    QWidget* parent = nullptr;  // the window the box stands over
  };

  ScriptedPrompts() { SetPrompts(this); }
  ~ScriptedPrompts() override { SetPrompts(nullptr); }

  void Message(QWidget* parent, const QString& text, MessageIcon icon) override {
    messages.push_back({text, icon, parent});
    if (onMessage) onMessage();
  }
  void MessageWithDetail(QWidget* parent, const QString& text, const QString& detail,
                         MessageIcon icon) override {
    details.push_back(detail);
    Message(parent, text, icon);
  }
  bool Question(QWidget*, const QString& text) override {
    questions.push_back(text);
    if (answers.empty()) return false;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  QString OpenFileName(QWidget*, const QString& title, const QString& filter) override {
    openFilters.push_back(filter);
    openTitles.push_back(title);
    if (openFiles.empty()) return {};
    QString file = openFiles.front();
    openFiles.pop_front();
    return file;
  }
  QStringList OpenFileNames(QWidget*, const QString& title, const QString& filter) override {
    openFilters.push_back(filter);
    openTitles.push_back(title);
    if (openFileLists.empty()) return {};
    QStringList files = openFileLists.front();
    openFileLists.pop_front();
    return files;
  }
  QString ExistingFolder(QWidget*, const QString& title) override {
    openTitles.push_back(title);
    if (folders.empty()) return {};
    QString folder = folders.front();
    folders.pop_front();
    return folder;
  }
  QString SaveFileName(QWidget*, const QString& title, const QString& filter,
                       const QString& defaultSuffix, const QString& fileName) override {
    saveFilters.push_back(filter);
    saveDialogs.push_back({title, filter, defaultSuffix, fileName});
    if (saveFiles.empty()) return {};
    QString file = saveFiles.front();
    saveFiles.pop_front();
    return file;
  }
  void OpenDocument(const QString& path) override { documents.push_back(path); }
  // A report's preview: counted, drawn into `reportPdf` when a test names one, and its
  // "保存为PDF" pressed once when `pressSavePdf` is set.
  void ShowReport(QWidget*, QPrinter& printer, const std::function<void(QPagedPaintDevice&)>& paint,
                  const SavePdf& savePdf) override {
    ++reports;
    reportLayouts.push_back(printer.pageLayout());
    if (!reportPdf.isEmpty()) {
      QPrinter pdf(QPrinter::HighResolution);
      pdf.setOutputFormat(QPrinter::PdfFormat);
      pdf.setOutputFileName(reportPdf);
      pdf.setPageLayout(printer.pageLayout());
      paint(pdf);
    }
    if (pressSavePdf && savePdf) savePdf(nullptr, printer.pageLayout());
  }

  std::deque<QString> openFiles;   // "" answers Cancel
  std::deque<QStringList> openFileLists;  // the several-files dialog's answers
  std::deque<QString> folders;            // the folder dialog's answers
  std::deque<QString> saveFiles;
  std::deque<bool> answers;
  std::vector<Shown> messages;
  std::vector<QString> details;  // of the messages shown with a detail
  std::vector<QString> questions;
  std::vector<QString> openFilters;
  std::vector<QString> openTitles;
  std::vector<QString> saveFilters;
  struct SaveDialog {
    QString title;
    QString filter;
    QString defaultSuffix;
    QString fileName;
  };
  std::vector<SaveDialog> saveDialogs;  // every save dialog shown, as it was set
  std::vector<QString> documents;
  std::function<void()> onMessage;  // runs while a message is on screen
  int reports = 0;
  std::vector<QPageLayout> reportLayouts;
  QString reportPdf;
  bool pressSavePdf = false;
};

}  // namespace vantiro::testing
