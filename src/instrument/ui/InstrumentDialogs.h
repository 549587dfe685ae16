#pragma once
// The windows of instrument communication: the picture download dialog (the communication
// settings dialog has its own file, TRealComSettingDlg.h).

#include <QDialog>

namespace vantiro {

class TOEMDLDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TOEMDLDlg(QWidget* parent = nullptr);
};

}  // namespace vantiro
