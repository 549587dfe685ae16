#pragma once
// The main window on the desktop: its title and the size it starts with.

#include <QMargins>
#include <QRect>
#include <QSize>
#include <QString>

class QWidget;

namespace vantiro {

// The window's title for what it shows (a file's name, or a recorder of the archive and its period;
// empty when it shows nothing of either) with the program's name once, at its end: "a.bin - Vantiro",
// or "Vantiro" alone. Ending with the application's display name, it is shown as it is: the desktop's
// title bar appends that name only to a title that does not end with it.
QString MainWindowTitle(const QString& shown);

// The frame a desktop puts around a window (title bar and borders) as far as it can be known before
// the window is shown: a usual one.
inline constexpr QMargins kUsualWindowFrame{4, 32, 4, 4};

// The size a window starts with: `wanted` where it fits the screen's `available` area (the screen
// less its panels) with `frame` around it, else each side cut to what fits (never below one pixel).
QSize InitialWindowSize(QSize wanted, QSize available, QMargins frame = kUsualWindowFrame);

// Sizes `window` (not yet shown) to InitialWindowSize(wanted, available.size()). Where its content's
// minimum size would not fit, the window's minimum is lowered to that size, so that it cannot force
// the window past the screen again.
void FitWindowToScreen(QWidget& window, QSize wanted, const QRect& available);

}  // namespace vantiro
