#include "app/MainWindowFrame.h"

#include <QWidget>
#include <algorithm>

namespace vantiro {

QString MainWindowTitle(const QString& shown) {
  const QString program = QStringLiteral("Vantiro");
  return shown.isEmpty() ? program : shown + QStringLiteral(" - ") + program;
}

QSize InitialWindowSize(QSize wanted, QSize available, QMargins frame) {
  const int width = available.width() - frame.left() - frame.right();
  const int height = available.height() - frame.top() - frame.bottom();
  return QSize(std::max(1, std::min(wanted.width(), width)), std::max(1, std::min(wanted.height(), height)));
}

void FitWindowToScreen(QWidget& window, QSize wanted, const QRect& available) {
  const QSize size = available.isValid() ? InitialWindowSize(wanted, available.size()) : wanted;
  const QSize minimum = window.minimumSizeHint().expandedTo(window.minimumSize());
  if (minimum.width() > size.width() || minimum.height() > size.height()) {
    window.setMinimumSize(minimum.boundedTo(size));
  }
  window.resize(size);
}

}  // namespace vantiro
