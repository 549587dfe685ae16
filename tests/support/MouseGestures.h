#pragma once
// Mouse gestures for widget tests, sent as events straight to the widget (the offscreen platform
// has no pointer to move): presses, moves with the buttons held, releases and double-clicks.

#include <QApplication>
#include <QMouseEvent>
#include <QPoint>
#include <QWidget>

namespace vantiro::testing {

inline void SendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons) {
  QMouseEvent event(type, QPointF(pos), QPointF(widget->mapToGlobal(pos)), button, buttons,
                    Qt::NoModifier);
  QApplication::sendEvent(widget, &event);
}

// Press at `from`, move halfway and on to `to` with the button held, release there.
inline void Drag(QWidget* widget, Qt::MouseButton button, QPoint from, QPoint to) {
  SendMouse(widget, QEvent::MouseButtonPress, from, button, button);
  SendMouse(widget, QEvent::MouseMove, from + (to - from) / 2, Qt::NoButton, button);
  SendMouse(widget, QEvent::MouseMove, to, Qt::NoButton, button);
  SendMouse(widget, QEvent::MouseButtonRelease, to, button, Qt::NoButton);
}

inline void Click(QWidget* widget, QPoint pos, Qt::MouseButton button = Qt::LeftButton) {
  SendMouse(widget, QEvent::MouseButtonPress, pos, button, button);
  SendMouse(widget, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

// The events a double-click with the left button delivers: press, release, double-click, release.
inline void DoubleClick(QWidget* widget, QPoint pos) {
  Click(widget, pos);
  SendMouse(widget, QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::LeftButton);
  SendMouse(widget, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}

}  // namespace vantiro::testing
