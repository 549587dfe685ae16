#include "platform/ui/Prompts.h"

#include <QAction>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>
#include <QScreen>
#include <QStringList>
#include <QToolBar>
#include <QUrl>

namespace vantiro {
namespace {

class QtPrompts final : public Prompts {
 public:
  void Message(QWidget* parent, const QString& text, MessageIcon icon) override {
    QMessageBox box(ToQt(icon), QStringLiteral("Vantiro"), text, QMessageBox::Ok, parent);
    box.exec();
  }
  void MessageWithDetail(QWidget* parent, const QString& text, const QString& detail,
                         MessageIcon icon) override {
    QMessageBox box(ToQt(icon), QStringLiteral("Vantiro"), text, QMessageBox::Ok, parent);
    if (!detail.isEmpty()) box.setDetailedText(detail);
    box.exec();
  }
  bool Question(QWidget* parent, const QString& text) override {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Vantiro"), text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    return box.exec() == QMessageBox::Yes;
  }
  QString OpenFileName(QWidget* parent, const QString& title, const QString& filter) override {
    return QFileDialog::getOpenFileName(parent, title, QString(), QtFileFilter(filter));
  }
  QStringList OpenFileNames(QWidget* parent, const QString& title, const QString& filter) override {
    return QFileDialog::getOpenFileNames(parent, title, QString(), QtFileFilter(filter));
  }
  QString ExistingFolder(QWidget* parent, const QString& title) override {
    return QFileDialog::getExistingDirectory(parent, title);
  }
  QString SaveFileName(QWidget* parent, const QString& title, const QString& filter,
                       const QString& defaultSuffix, const QString& fileName) override {
    QFileDialog dialog(parent, title, fileName, QtFileFilter(filter));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);  // the program asks itself
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
  }
  void OpenDocument(const QString& path) override {
    QDesktopServices::openUrl(QUrl::fromLocalFile(path));
  }
  void ShowReport(QWidget* parent, QPrinter& printer,
                  const std::function<void(QPagedPaintDevice&)>& paint,
                  const SavePdf& savePdf) override {
    QPrintPreviewDialog dialog(&printer, parent);
    dialog.setWindowTitle(QStringLiteral("Vantiro"));
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested,
                     [&paint](QPrinter* target) { paint(*target); });
    if (auto* preview = dialog.findChild<QPrintPreviewWidget*>()) {
      preview->setZoomMode(QPrintPreviewWidget::CustomZoom);
      preview->setZoomFactor(1.0);
    }
    // Beside printing, the report can be kept as a PDF file, drawn by the same code.
    if (auto* toolBar = dialog.findChild<QToolBar*>(); toolBar && savePdf) {
      QAction* action = toolBar->addAction(QStringLiteral("保存为PDF"));
      action->setObjectName(QStringLiteral("SavePdfAction"));
      QObject::connect(action, &QAction::triggered, &dialog,
                       [&dialog, &printer, &savePdf] { savePdf(&dialog, printer.pageLayout()); });
    }
    // Maximized; the size of the screen too, for desktops without a window manager to ask.
    if (const QScreen* screen = dialog.screen()) dialog.resize(screen->availableGeometry().size());
    dialog.setWindowState(Qt::WindowMaximized);
    dialog.exec();
  }

 private:
  static QMessageBox::Icon ToQt(MessageIcon icon) {
    switch (icon) {
      case MessageIcon::Error: return QMessageBox::Critical;
      case MessageIcon::Information: return QMessageBox::Information;
      case MessageIcon::Question: return QMessageBox::Question;
      case MessageIcon::Warning: return QMessageBox::Warning;
    }
    return QMessageBox::NoIcon;
  }
};

Prompts* installed = nullptr;

}  // namespace

Prompts& CurrentPrompts() {
  static QtPrompts qtPrompts;
  return installed ? *installed : qtPrompts;
}

void SetPrompts(Prompts* prompts) { installed = prompts; }

QString QtFileFilter(const QString& pipeFilter) {
  const QStringList parts = pipeFilter.split(QLatin1Char('|'));
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString caption = parts[i];
    const QString pattern = parts[i + 1];
    // Qt takes the patterns from the parentheses of the caption; add them when the caption has none.
    if (!caption.contains(QLatin1Char('('))) caption += QStringLiteral(" (%1)").arg(pattern);
    filters << caption.replace(QLatin1Char(';'), QLatin1Char(' '));
  }
  return filters.join(QStringLiteral(";;"));
}

}  // namespace vantiro
