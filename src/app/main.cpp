#include <QApplication>

#include "workbench/ui/TMainForm.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Vantiro"));
  vantiro::TMainForm mainForm;
  mainForm.show();
  return QApplication::exec();
}
