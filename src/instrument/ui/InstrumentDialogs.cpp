#include "instrument/ui/InstrumentDialogs.h"

namespace vantiro {

TRealComSettingDlg::TRealComSettingDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("RealComSettingDlg"));
  setWindowTitle(QStringLiteral("实时通信设置"));
}

TOEMDLDlg::TOEMDLDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("OEMDLDlg"));
  setWindowTitle(QStringLiteral("OEM下装"));
}

}  // namespace vantiro
