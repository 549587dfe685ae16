#include "app/Startup.h"

#include <cstdint>

#include "app/ArchiveCommands.h"
#include "archive/ArchivePeriods.h"
#include "recorder/DateTime.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include "app/AppWindows.h"
#include "app/TMainForm.h"

#ifndef VANTIRO_VERSION
#define VANTIRO_VERSION "0"
#endif

namespace vantiro {

StartupOptions ParseStartupOptions(const QStringList& arguments) {
  StartupOptions options;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments.at(i);
    QString* valued = argument == QLatin1String("--config")     ? &options.config
                      : argument == QLatin1String("--archive")  ? &options.archive
                      : argument == QLatin1String("--recorder") ? &options.recorder
                      : argument == QLatin1String("--from")     ? &options.from
                      : argument == QLatin1String("--to")       ? &options.to
                                                                : nullptr;
    if (valued) {
      if (i + 1 < arguments.size() && !arguments.at(i + 1).isEmpty() && valued->isEmpty()) {
        *valued = arguments.at(++i);
      } else if (options.error.isEmpty()) {
        options.error = argument;  // without its value, or given twice
      }
    } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
      options.help = true;
    } else if (argument == QLatin1String("--version")) {
      options.version = true;
    } else if (argument == QLatin1String("--monitor")) {
      options.monitor = true;
    } else if (argument == QLatin1String("--")) {
      continue;
    } else if (argument.startsWith(QLatin1Char('-')) && argument.size() > 1) {
      if (options.error.isEmpty()) options.error = argument;
    } else if (options.file.isEmpty()) {
      options.file = argument;
    } else if (options.error.isEmpty()) {
      options.error = argument;  // one recording at a time
    }
  }
  // A period of the archive is named by its recorder; the archive, --from and --to only with it,
  // and not beside a file.
  if (options.error.isEmpty() && options.recorder.isEmpty() &&
      (!options.archive.isEmpty() || !options.from.isEmpty() || !options.to.isEmpty())) {
    options.error = QStringLiteral("--recorder");
  }
  if (options.error.isEmpty() && !options.recorder.isEmpty() && !options.file.isEmpty()) {
    options.error = options.file;
  }
  // The period's ends as a person writes a date and time.
  for (const QString* end : {&options.from, &options.to}) {
    if (options.error.isEmpty() && !end->isEmpty() && !ParseDateTime(end->toStdString())) {
      options.error = end == &options.from ? QStringLiteral("--from") : QStringLiteral("--to");
    }
  }
  return options;
}

bool StartupHasWork(const StartupOptions& options) {
  return !options.file.isEmpty() || !options.recorder.isEmpty() || options.monitor;
}

void ScheduleStartFromCommandLine(AppWindows& windows, const StartupOptions& options) {
  if (!StartupHasWork(options)) return;
  QTimer::singleShot(0, windows.mainForm.get(), [&windows, options] { StartFromCommandLine(windows, options); });
}

void StartFromCommandLine(AppWindows& windows, const StartupOptions& options) {
  // The open runs to its end behind its progress dialog before monitoring starts.
  if (!options.file.isEmpty()) windows.mainForm->OpenFromCommandLine(options.file);
  if (!options.recorder.isEmpty()) {
    ArchivePeriodChoice period;
    period.location = options.archive.isEmpty() ? RememberedArchiveLocation() : options.archive.toStdString();
    period.recorder = options.recorder.toStdString();
    period.fromMs = options.from.isEmpty() ? kPeriodOpenStart : ToArchiveMs(*ParseDateTime(options.from.toStdString()));
    period.toMs = options.to.isEmpty() ? kPeriodOpenEnd : ToArchiveMs(*ParseDateTime(options.to.toStdString()));
    windows.mainForm->ArchiveView().OpenPeriod(period);
  }
  if (options.monitor) windows.mainForm->RunButtonClick();
}

QString StartupHelpText() {
  return QStringLiteral(
      "usage: vantiro [FILE | --recorder NAME [--archive A] [--from T] [--to T]] [--monitor] [--config FILE]\n"
      "The desktop companion of the paperless recorder: review recordings, export and print them,\n"
      "watch the recorder live over a serial line, download a picture into it.\n"
      "\n"
      "  FILE        open a recording at start: a recorder file (.bin, .dat) or a CSV file of\n"
      "              single samples (.csv)\n"
      "  --recorder NAME  open a period of the recorder NAME in the archive at start: --from and\n"
      "              --to (yyyy-mm-dd HH:MM:SS) say which, all of it without them\n"
      "  --archive A the archive: a SQLite file or a postgresql:// URL (default: the one last\n"
      "              opened, else $XDG_DATA_HOME/vantiro/archive.sqlite)\n"
      "  --monitor   start real-time monitoring at start, as the Run command does\n"
      "  --config FILE  the settings file (serial line, address, channels, [DEVICE]) instead of\n"
      "              config.ini\n"
      "  --help      print this help and exit\n"
      "  --version   print the version and exit\n"
      "\n"
      "Settings: config.ini beside the program, or $XDG_CONFIG_HOME/vantiro/config.ini when the\n"
      "program's folder is read-only (an installed program); per-user switches in\n"
      "$XDG_CONFIG_HOME/vantiro/registry.ini.\n"
      "Command-line tools: vantiro-convert, vantiro-monitor, vantiro-archive, recorder-sim.\n");
}

QString StartupVersionText() { return QStringLiteral("Vantiro " VANTIRO_VERSION "\n"); }

QTranslator* InstallQtChineseTranslation(QCoreApplication& app) {
  auto* translator = new QTranslator(&app);
  // qt_zh_CN gathers the translations of Qt's modules (qtbase among them).
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const char* name : {"qt_zh_CN", "qtbase_zh_CN"}) {
    if (translator->load(QLatin1String(name), folder)) {
      QCoreApplication::installTranslator(translator);
      return translator;
    }
  }
  delete translator;
  return nullptr;
}

}  // namespace vantiro
