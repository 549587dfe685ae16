#pragma once

#include <QDialog>

namespace vantiro {

// The cursor positioning dialog of the trend chart.
class TOKBottomDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TOKBottomDlg(QWidget* parent = nullptr);
};

}  // namespace vantiro
