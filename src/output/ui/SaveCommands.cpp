#include "output/ui/SaveCommands.h"

#include <QFile>
#include <utility>

#include "output/CsvExport.h"
#include "output/ui/ChartImage.h"
#include "output/ui/SaveTarget.h"
#include "platform/ui/Prompts.h"

namespace vantiro {
namespace {

const QString kNothingToSave = QStringLiteral("没有需要保存的内容");
const QString kExportingText = QStringLiteral("数据正在导出，请稍等...");

}  // namespace

SaveCommands::SaveCommands(QWidget* parent, LongCommand runLongCommand,
                           WorkerMessage showFromWorker)
    : parent_(parent),
      runLongCommand_(std::move(runLongCommand)),
      showFromWorker_(std::move(showFromWorker)) {}

QString SaveCommands::RunDialog() {
  const QString path = CurrentPrompts().SaveFileName(parent_, dialog_.title, dialog_.filter,
                                                     dialog_.defaultSuffix, dialog_.fileName);
  if (!path.isEmpty()) dialog_.fileName = path;
  return path;
}

bool SaveCommands::MayWrite(const QString& path) { return MayWriteTarget(parent_, path); }

void SaveCommands::SaveTable(const std::vector<ChannelInfo>& channels, const TableRows& rows,
                             const std::vector<std::int32_t>& columnChannels,
                             std::uint32_t pageStart, std::uint32_t itemCount) {
  if (itemCount == 0 || rows.empty()) {
    CurrentPrompts().Message(parent_, kNothingToSave, MessageIcon::Information);
    return;
  }
  dialog_.defaultSuffix = QStringLiteral("csv");
  dialog_.filter = QStringLiteral("CSV Files(*.csv)|*.csv");
  dialog_.title = QStringLiteral("保存到Excel...");
  const QString path = RunDialog();
  if (path.isEmpty() || !MayWrite(path)) return;

  const std::string file = QFile::encodeName(path).toStdString();
  const CsvRows page{channels, rows, columnChannels, pageStart, itemCount};
  runLongCommand_(kExportingText, [this, &file, &page](ProgressSink& progress) {
    if (std::optional<UserMessage> failed = ExportCsvFile(file, page, &progress)) {
      showFromWorker_(*failed);
    }
  });
}

void SaveCommands::SaveChart(bool hasLines, const std::function<QImage()>& render,
                             const std::function<void(const QString&)>& saveCsv, const QString& csvFilter) {
  if (!hasLines) {
    CurrentPrompts().Message(parent_, kNothingToSave, MessageIcon::Information);
    return;
  }
  dialog_.defaultSuffix = QStringLiteral("bmp");
  dialog_.filter = QStringLiteral("Bitmap files(*.bmp)|*.bmp|JPEG files(*.jpg)|*.jpg");
  if (saveCsv) dialog_.filter += QStringLiteral("|") + csvFilter;
  dialog_.fileName = QStringLiteral("chart");
  const QString path = RunDialog();
  if (path.isEmpty() || !MayWrite(path)) return;
  if (saveCsv && path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive)) {
    saveCsv(path);
    return;
  }
  // A picture that could not be written (a full disk, a read-only folder) is reported like a
  // table that could not be; the file that had the name stays as it was.
  if (!SaveChartBitmap(render(), path)) ShowSaveFailed(parent_);
}

}  // namespace vantiro
