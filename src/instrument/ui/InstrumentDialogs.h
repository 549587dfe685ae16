#pragma once
// The windows of instrument communication: the communication settings dialog and the picture
// download dialog.

#include <QDialog>

namespace vantiro {

class TRealComSettingDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TRealComSettingDlg(QWidget* parent = nullptr);
};

class TOEMDLDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TOEMDLDlg(QWidget* parent = nullptr);
};

}  // namespace vantiro
