#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <exception>

#include "platform/MallocTuning.h"
#include "recorder/UnitNames.h"
#include "workbench/ui/AppWindows.h"
#include "workbench/ui/TMainForm.h"

int main(int argc, char* argv[]) {
  vantiro::RestartWithHugePageMalloc(argv);
  // Process-wide state before the first window: the unit table.
  vantiro::UnitNames();

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantiro"));
  QApplication::setApplicationDisplayName(QStringLiteral("Vantiro"));
  try {
    vantiro::AppWindows windows;
    windows.mainForm->show();
    // A recording named on the command line (a file manager's "open with") is opened as the open
    // or import command would, once the window is up.
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() > 1 && !arguments.at(1).startsWith(QLatin1Char('-'))) {
      const QString path = arguments.at(1);
      QTimer::singleShot(0, windows.mainForm.get(),
                         [&windows, path] { windows.mainForm->OpenFromCommandLine(path); });
    }
    // --monitor: monitoring starts as the Run command starts it (a control-room display comes
    // back by itself after a power cut).
    if (arguments.contains(QStringLiteral("--monitor"))) {
      QTimer::singleShot(0, windows.mainForm.get(),
                         [&windows] { windows.mainForm->RunButtonClick(); });
    }
    return QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QStringLiteral("Vantiro"), QString::fromLocal8Bit(e.what()));
    return 1;
  }
}
