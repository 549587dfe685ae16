#pragma once
// What the program does before its windows: the command line and Qt's own texts in Chinese.

#include <QString>
#include <QStringList>

class QCoreApplication;
class QTranslator;

namespace vantiro {

class AppWindows;

struct StartupOptions {
  QString file;          // a recording to open at start
  bool monitor = false;  // start real-time monitoring at start
  QString config;        // --config FILE: the settings file instead of config.ini
  // --recorder NAME [--archive A] [--from T] [--to T]: a period of the archive to open at start
  QString archive;
  QString recorder;
  QString from;
  QString to;
  bool help = false;
  bool version = false;
  QString error;         // an option the program does not know; empty when all is well
};

// Reads the arguments after the program's name. Options Qt itself takes (-platform, -style...)
// are gone from the list by the time it is read.
StartupOptions ParseStartupOptions(const QStringList& arguments);

// Whether the command line asks anything of the windows once they are up: a recording to open, a
// period of the archive to open, monitoring to start.
bool StartupHasWork(const StartupOptions& options);

// What main does with that: when StartupHasWork, StartFromCommandLine once the event loop runs
// (the window shown first, so that the progress and the messages have it for their parent).
void ScheduleStartFromCommandLine(AppWindows& windows, const StartupOptions& options);

// What the command line asks of the windows once they are up: the recording named opened (as the
// open or import command would) or the period of the archive named (as the browser opens one: a
// recorder or an archive that is not there, or a period without data, says why in a message box),
// then with --monitor monitoring started as the Run command starts
// it after a load (Run clears the view first, so the live lines never mix with the file's). Each
// step ends before the next begins.
void StartFromCommandLine(AppWindows& windows, const StartupOptions& options);

// "vantiro --help": what it prints.
QString StartupHelpText();
// "vantiro --version": "Vantiro 1.3.5.4".
QString StartupVersionText();

// Loads Qt's Simplified Chinese translation of its own texts (standard buttons, file and print
// dialogs) from Qt's translations folder and installs it in `app`, which owns it; nullptr when
// the translation is not there (Qt's texts then stay English).
QTranslator* InstallQtChineseTranslation(QCoreApplication& app);

}  // namespace vantiro
