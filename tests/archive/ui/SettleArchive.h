#pragma once
// What the archive's window tests share: the day their recordings start, and the wait for the
// archive reads a dialog or the window runs on its workers.

#include <QCoreApplication>
#include <QTest>
#include <cstdint>

namespace vantiro::testing {

inline constexpr std::int32_t kMay13 = 327024000;  // 2010-05-13 00:00:00, seconds since 2000

// Waits (the event loop running) until `reader` (anything with Busy()) has no archive read running.
template <typename Reader>
bool Settle(Reader& reader) {
  for (int i = 0; i < 3000; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    if (!reader.Busy()) {
      QCoreApplication::processEvents();
      if (!reader.Busy()) return true;
    }
    QTest::qWait(5);
  }
  return false;
}

}  // namespace vantiro::testing
