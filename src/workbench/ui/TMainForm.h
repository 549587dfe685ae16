#pragma once

#include <QMainWindow>

namespace vantiro {

// The main window of the program.
class TMainForm : public QMainWindow {
  Q_OBJECT

 public:
  explicit TMainForm(QWidget* parent = nullptr);
};

}  // namespace vantiro
