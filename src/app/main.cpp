#include <QApplication>
#include <QMessageBox>
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
    return QApplication::exec();
  } catch (const std::exception& e) {
    QMessageBox::critical(nullptr, QStringLiteral("Vantiro"), QString::fromLocal8Bit(e.what()));
    return 1;
  }
}
