#pragma once
// The windows of instrument communication: the picture download dialog (the communication
// settings dialog has its own file, TRealComSettingDlg.h).

#include <QDialog>
#include <string>
#include <stop_token>
#include <thread>

#include "instrument/ModbusRtuImpl.h"

class QCloseEvent;
class QComboBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace vantiro {

struct DownloadOutcome;

// The OEM download dialog ("OEM下装"): a picture file sent into one of the recorder's six picture
// slots. Fixed size, centred on the screen, created for each use.
//
// Start disables StartBtn and runs DownloadThread on a worker. The worker never touches a widget:
// the progress bar, StartBtn and the outcome message are set on the GUI thread through queued
// calls. While StartBtn is disabled (a download runs) the dialog refuses to close. Destroying the
// dialog waits for a running download to end (its port closed); its outcome is then not shown.
class TOEMDLDlg : public QDialog {
  Q_OBJECT

 public:
  explicit TOEMDLDlg(QWidget* parent = nullptr, ModbusRtuImpl& instrument = theInstrument);
  ~TOEMDLDlg() override;

  // The settings file; ConfigIniPath() while empty.
  void SetIniPath(std::string path) { iniPath_ = std::move(path); }

  // The open dialog (every file shown); the chosen path into DLPicPath, nothing when cancelled.
  void PathSelectBtnClick();
  // Disables StartBtn and starts DownloadThread with the path and slot shown; returns at once.
  void StartBtnClick();
  // While a download runs: it stops after the frame in progress (the recorder is left to time out,
  // as after a failure), the port is let go and the outcome is "下装已取消".
  void CancelBtnClick();
  // True when the dialog may close; while a download runs, shows "下装正在进行，请稍等！" and
  // refuses.
  bool OnClose();
  // A download runs (from the press of StartBtn until its outcome is on show).
  bool Downloading() const;

  // Controls, by their names.
  QLabel* Label1 = nullptr;  // "下位机画面地址："
  QComboBox* DLAddress = nullptr;
  QLabel* Label2 = nullptr;  // "下装图片路径："
  QLineEdit* DLPicPath = nullptr;
  QPushButton* PathSelectBtn = nullptr;
  QPushButton* StartBtn = nullptr;
  QPushButton* CancelBtn = nullptr;  // "取消", enabled while a download runs
  QLabel* Label3 = nullptr;  // "下装前，请确保下位机已经进入下装下装页面。"
  QProgressBar* DLProgressBar = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void reject() override;  // Escape closes too, under the same rule

 private:
  // The worker: settings, port, picture, frames, port closed; the outcome handed to the GUI
  // thread. 0 on success, -1 on failure.
  int DownloadThread(const std::string& iniPath, const std::string& path, int picture, std::stop_token stop);
  // On the GUI thread, the worker's last act: StartBtn enabled, the outcome shown.
  void DownloadEnded(const DownloadOutcome& outcome);

  ModbusRtuImpl& instrument_;
  std::string iniPath_;
  std::thread downloadThread_;
  std::stop_source cancel_;  // the running download's
};

}  // namespace vantiro
