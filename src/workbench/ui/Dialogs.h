#pragma once
// The small windows of the workbench: the data filter dialog, the About box and the spare form.

#include <QDialog>
#include <QWidget>
#include <array>
#include <cstdint>

#include "recorder/DateTime.h"
#include "workbench/ViewModel.h"

namespace vantiro {

// The data filter dialog: owns the committed filter settings and the table's page size.
class TDataFilterDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TDataFilterDlg(QWidget* parent = nullptr);

  // All 16 channels selected again; the page size stays.
  void ResetChannelSelection();
  // The filter window becomes the dataset's whole span.
  void InitFromDataset(DateTime start, DateTime end);

  std::uint32_t rowsPerPage = kDefaultRowsPerPage;  // 100..10000
  DateTime filterStart = 0.0;
  DateTime filterEnd = 0.0;
  std::array<bool, 16> channelSelected{};
};

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
