#include "chart/ui/TOKBottomDlg.h"

namespace vantiro {

TOKBottomDlg::TOKBottomDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("OKBottomDlg"));
  setWindowTitle(QStringLiteral("游标设置"));
}

}  // namespace vantiro
