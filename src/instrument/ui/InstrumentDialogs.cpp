#include "instrument/ui/InstrumentDialogs.h"

namespace vantiro {

TOEMDLDlg::TOEMDLDlg(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("OEMDLDlg"));
  setWindowTitle(QStringLiteral("OEM下装"));
}

}  // namespace vantiro
