#include "output/ui/SaveTarget.h"

#include <QFile>
#include <QFileInfo>
#include <string>

#include "output/CsvExport.h"
#include "platform/AtomicFile.h"
#include "platform/ui/Prompts.h"

namespace vantiro {

bool MayWriteTarget(QWidget* parent, const QString& path) {
  if (IsSpecialTarget(QFile::encodeName(path).toStdString())) {
    ShowSaveFailed(parent);
    return false;
  }
  // A dangling symbolic link counts as taken too: the save would write where it points.
  if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink()) return true;
  return CurrentPrompts().Question(parent, QStringLiteral("指定文件已经存在，是否覆盖？"));
}

void ShowSaveFailed(QWidget* parent) {
  CurrentPrompts().Message(parent, QString::fromUtf8(kSaveFailedText.data(),
                                                     static_cast<qsizetype>(kSaveFailedText.size())),
                           MessageIcon::Error);
}

}  // namespace vantiro
