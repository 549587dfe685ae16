#include "app/AppWindows.h"

#include "chart/ui/TOKBottomDlg.h"
#include "instrument/ui/InstrumentDialogs.h"
#include "instrument/ui/TRealComSettingDlg.h"
#include "app/AppDialogs.h"
#include "workbench/ui/TDataFilterDlg.h"
#include "app/TMainForm.h"
#include "platform/ui/TProcessDlg.h"

namespace vantiro {

AppWindows::AppWindows() {
  mainForm = std::make_unique<TMainForm>();
  // The dialogs belong to the main window (centred on it, destroyed with it).
  dataFilterDlg = new TDataFilterDlg(mainForm.get());
  realComSettingDlg = new TRealComSettingDlg(mainForm.get());
  processDlg = new TProcessDlg(mainForm.get());
  aboutBox = new TAboutBox(mainForm.get());
  okBottomDlg = new TOKBottomDlg(mainForm.get());
  oemDlDlg = new TOEMDLDlg(mainForm.get());
  form1 = std::make_unique<TForm1>();
  mainForm->SetDialogs(TMainForm::Dialogs{dataFilterDlg, realComSettingDlg, processDlg, aboutBox,
                                          okBottomDlg, oemDlDlg});
}

AppWindows::~AppWindows() {
  form1.reset();
  mainForm.reset();
}

}  // namespace vantiro
