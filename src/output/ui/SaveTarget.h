#pragma once
// What every save of the window (the table page as CSV, the chart image, a report as PDF) does
// before and after writing: the name checked and the user asked, the failure reported.

#include <QString>

class QWidget;

namespace vantiro {

// Whether a save may go to `path`. A name taken by something that is not a regular file (a
// device, a FIFO, a socket, a folder; also through a symbolic link) is refused with the save's
// failure message and left as it is. An existing file is replaced only when the user answers Yes
// to "指定文件已经存在，是否覆盖？".
bool MayWriteTarget(QWidget* parent, const QString& path);

// "文件保存失败，请重试！" with the error icon.
void ShowSaveFailed(QWidget* parent);

}  // namespace vantiro
