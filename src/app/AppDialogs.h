#pragma once
// The program's own small windows: the About box and the spare form.

#include <QDialog>
#include <QWidget>

namespace vantiro {

// The About box: the program's name and version.
class TAboutBox : public QDialog {
  Q_OBJECT

 public:
  explicit TAboutBox(QWidget* parent = nullptr);
};

// A spare form, created at start-up and never shown.
class TForm1 : public QWidget {
  Q_OBJECT

 public:
  explicit TForm1(QWidget* parent = nullptr);
};

inline constexpr const char* kProgramVersion = "1.3.5.4";

}  // namespace vantiro
