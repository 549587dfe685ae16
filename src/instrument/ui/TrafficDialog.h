#pragma once
// "通讯记录": the last requests and replies on the recorder's line as hex, with time, direction and
// outcome (answered, no answer, a wrong CRC or address), for the technician whose recorder does
// not answer. It follows the line while open; 暂停 holds what it shows, 清除 empties it, 保存…
// writes it as a text file.

#include <QDialog>
#include <cstdint>

class QCheckBox;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace vantiro {

class TrafficLog;

class TrafficDialog : public QDialog {
  Q_OBJECT

 public:
  explicit TrafficDialog(TrafficLog& log, QWidget* parent = nullptr);

  // Takes what the log holds since the last look (the timer does this every 300 ms).
  void Refresh();
  void SaveClick();
  void ClearClick();

  QPlainTextEdit* Text = nullptr;
  QCheckBox* PauseBox = nullptr;
  QPushButton* ClearButton = nullptr;
  QPushButton* SaveButton = nullptr;
  QPushButton* CloseButton = nullptr;

 private:
  TrafficLog& log_;
  QTimer* timer_;
  std::uint64_t shown_ = 0;  // the last entry taken
};

}  // namespace vantiro
