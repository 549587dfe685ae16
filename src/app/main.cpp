#include <QApplication>
#include <QMessageBox>
#include <cstdio>
#include <exception>

#include "instrument/CommSettings.h"
#include "platform/MallocTuning.h"
#include "platform/ProcessSignals.h"
#include "recorder/UnitNames.h"
#include "app/AppWindows.h"
#include "app/Startup.h"
#include "app/TMainForm.h"

namespace {

// Writes `text` to `stream`; false when it could not be written whole (a closed pipe, a full
// disk).
bool Print(std::FILE* stream, const QString& text) {
  const QByteArray bytes = text.toLocal8Bit();
  return std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stream) ==
             static_cast<std::size_t>(bytes.size()) &&
         std::fflush(stream) == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
  // A write past the file-size limit fails (and is reported) instead of killing the program.
  vantiro::IgnoreFileSizeSignal();
  // --help and --version answer without a display.
  {
    QStringList arguments;
    for (int i = 1; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
    const vantiro::StartupOptions early = vantiro::ParseStartupOptions(arguments);
    if (early.help) return Print(stdout, vantiro::StartupHelpText()) ? 0 : 1;
    if (early.version) return Print(stdout, vantiro::StartupVersionText()) ? 0 : 1;
  }

  vantiro::RestartWithHugePageMalloc(argv);
  // Process-wide state before the first window: the unit table.
  vantiro::UnitNames();

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantiro"));
  QApplication::setApplicationDisplayName(QStringLiteral("Vantiro"));
  QApplication::setApplicationVersion(vantiro::StartupVersionText().trimmed().section(' ', 1));
  QApplication::setDesktopFileName(QStringLiteral("vantiro"));

  // Arguments Qt took for itself (-platform, -style...) are gone from this list.
  const vantiro::StartupOptions options =
      vantiro::ParseStartupOptions(QApplication::arguments().mid(1));
  if (!options.error.isEmpty()) {
    Print(stderr, QStringLiteral("vantiro: unknown argument %1\n").arg(options.error) +
                      vantiro::StartupHelpText());
    return 2;
  }
  if (!options.config.isEmpty()) vantiro::UseConfigIni(options.config.toStdString());
  // Qt's own texts (standard buttons, file and print dialogs) in Chinese like the program's.
  vantiro::InstallQtChineseTranslation(app);

  try {
    vantiro::AppWindows windows;
    windows.mainForm->show();
    // A recording named on the command line (a file manager's "open with") or a period of the
    // archive is opened, and with --monitor monitoring then starts as the Run command starts it (a
    // control-room display comes back by itself after a power cut), once the window is up.
    vantiro::ScheduleStartFromCommandLine(windows, options);
    return QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QStringLiteral("Vantiro"), QString::fromLocal8Bit(e.what()));
    return 1;
  }
}
