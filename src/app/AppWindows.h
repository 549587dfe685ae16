#pragma once

#include <memory>

namespace vantiro {

class TMainForm;
class TDataFilterDlg;
class TRealComSettingDlg;
class TProcessDlg;
class TAboutBox;
class TOKBottomDlg;
class TOEMDLDlg;
class TForm1;

// Every window of the program, created at start-up in a fixed order (the main window first, so
// that it is the application's main window) and living until the program ends.
class AppWindows {
 public:
  AppWindows();
  ~AppWindows();
  AppWindows(const AppWindows&) = delete;
  AppWindows& operator=(const AppWindows&) = delete;

  std::unique_ptr<TMainForm> mainForm;
  TDataFilterDlg* dataFilterDlg = nullptr;
  TRealComSettingDlg* realComSettingDlg = nullptr;
  TProcessDlg* processDlg = nullptr;
  TAboutBox* aboutBox = nullptr;
  TOKBottomDlg* okBottomDlg = nullptr;
  TOEMDLDlg* oemDlDlg = nullptr;
  std::unique_ptr<TForm1> form1;
};

}  // namespace vantiro
