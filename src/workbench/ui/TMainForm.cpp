#include "workbench/ui/TMainForm.h"

namespace vantiro {

TMainForm::TMainForm(QWidget* parent) : QMainWindow(parent) {
  setWindowTitle(QStringLiteral("Vantiro"));
  resize(1024, 700);
}

}  // namespace vantiro
