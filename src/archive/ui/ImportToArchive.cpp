#include "archive/ui/ImportToArchive.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>
#include <memory>

#include "archive/Archive.h"
#include "archive/ArchiveSources.h"
#include "archive/ui/ArchiveBrowser.h"
#include "platform/ui/Prompts.h"

namespace vantiro {

RecorderNameDialog::RecorderNameDialog(const QStringList& recorders, const QString& proposed, const QString& archive,
                                       QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("RecorderNameDialog"));
  setWindowTitle(QStringLiteral("导入到档案"));
  NameBox = new QComboBox(this);
  NameBox->setEditable(true);
  NameBox->addItems(recorders);
  NameBox->setCurrentText(proposed);
  NameBox->setMinimumWidth(260);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (!Name().isEmpty()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  auto* where = new QLabel(QStringLiteral("档案：%1").arg(archive), this);
  where->setWordWrap(true);
  layout->addWidget(where);
  layout->addWidget(new QLabel(QStringLiteral("导入到记录仪（新名称即新建）："), this));
  layout->addWidget(NameBox);
  layout->addWidget(buttons);
}

QString RecorderNameDialog::Name() const { return NameBox->currentText().trimmed(); }

ArchiveImportReport ImportFilesToArchive(const std::string& location, const std::string& recorder,
                                         const std::vector<std::string>& files, ProgressSink* progress) {
  ArchiveImportReport report;
  if (progress) progress->SetMax(static_cast<int>(files.size()));
  std::string error;
  std::unique_ptr<Archive> archive = Archive::Open(location, true, error);
  if (archive && archive->ReadOnly()) {
    error = archive->Describe() + " cannot be written";
    archive.reset();
  }
  for (const std::string& path : files) {
    if (!archive) {
      ++report.failed;
      report.lines.push_back("失败 " + path + "：" + error);
      continue;
    }
    SourceRecording recording;
    if (const std::optional<UserMessage> unreadable = LoadRecordingFile(path, recording)) {
      ++report.failed;
      report.lines.push_back("跳过 " + path + "：" + unreadable->text);
    } else {
      const ImportResult result = archive->Import(recorder, recording);
      switch (result.outcome) {
        case ImportResult::Outcome::Imported:
          ++report.imported;
          report.lines.push_back("已导入 " + path + "：" + std::to_string(result.samples) + " 个采样，新增 " +
                                 std::to_string(result.added) + "，已有 " + std::to_string(result.duplicates) +
                                 "，冲突 " + std::to_string(result.conflicts));
          break;
        case ImportResult::Outcome::AlreadyThere:
          ++report.alreadyThere;
          report.lines.push_back("跳过 " + path + "：已导入过");
          break;
        case ImportResult::Outcome::Failed:
          ++report.failed;
          report.lines.push_back("失败 " + path + "：" + result.message);
          break;
      }
    }
    if (progress) progress->StepBy(1);
  }
  return report;
}

QString ImportReportSummary(const ArchiveImportReport& report) {
  return QStringLiteral("导入完成：%1 个文件已导入，%2 个已在档案中，%3 个失败。")
      .arg(report.imported)
      .arg(report.alreadyThere)
      .arg(report.failed);
}

ArchiveImportCommand::ArchiveImportCommand(QWidget* parent, LongCommand runLongCommand)
    : parent_(parent), runLongCommand_(std::move(runLongCommand)) {
  askRecorder_ = [this](const QStringList& recorders, const QString& proposed) -> std::optional<QString> {
    const std::string location = RememberedArchiveLocation();
    RecorderNameDialog dialog(recorders, proposed,
                              QString::fromStdString(location.empty() ? DefaultArchiveLocation() : location), parent_);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Name();
  };
}

void ArchiveImportCommand::ChooseFilesAndImport() {
  const QStringList files = CurrentPrompts().OpenFileNames(
      parent_, QStringLiteral("导入到档案"), QStringLiteral("记录文件(*.bin *.dat *.csv)|*.bin *.dat *.csv|所有文件(*)|*"));
  if (!files.isEmpty()) Import(files);
}

void ArchiveImportCommand::ChooseFolderAndImport() {
  const QString folder = CurrentPrompts().ExistingFolder(parent_, QStringLiteral("导入文件夹到档案"));
  if (!folder.isEmpty()) Import(QStringList{folder});
}

void ArchiveImportCommand::Import(const QStringList& names) {
  std::vector<std::string> given;
  for (const QString& name : names) given.push_back(name.toStdString());
  std::vector<std::string> missing;
  std::vector<std::string> files;
  for (const std::string& file : CollectRecordingFiles(given, missing)) {
    if (IsRecordingName(file)) files.push_back(file);
  }
  if (files.empty()) {
    CurrentPrompts().Message(parent_, QStringLiteral("没有可导入的数据文件（.bin、.dat、.csv）。"), MessageIcon::Information);
    return;
  }
  const std::string location = RememberedArchiveLocation();
  // The recorders the archive holds, for the dialog's list: read behind the progress dialog.
  QStringList recorders;
  runLongCommand_(QStringLiteral("正在读取档案，请稍等..."), [&](ProgressSink&) {
    std::string error;
    if (auto archive = Archive::Open(location, false, error)) {
      if (auto list = archive->Recorders(error)) {
        for (const RecorderInfo& r : *list) recorders << QString::fromStdString(r.name);
      }
    }
  });
  const std::optional<QString> recorder =
      askRecorder_(recorders, QString::fromStdString(DefaultRecorderName(files.front())));
  if (!recorder || recorder->isEmpty()) return;
  ArchiveImportReport report;
  runLongCommand_(QStringLiteral("数据正在导入档案，请稍等..."), [&](ProgressSink& progress) {
    report = ImportFilesToArchive(location, recorder->toStdString(), files, &progress);
  });
  QString detail;
  for (const std::string& line : report.lines) detail += QString::fromStdString(line) + QLatin1Char('\n');
  CurrentPrompts().MessageWithDetail(parent_, ImportReportSummary(report), detail,
                                     report.failed > 0 ? MessageIcon::Warning : MessageIcon::Information);
}

}  // namespace vantiro
