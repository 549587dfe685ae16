#pragma once
// Lets GoogleTest print communication settings readably in failure messages.

#include <ostream>

#include "instrument/CommSettings.h"

namespace vantiro {

inline void PrintTo(const CommSettings& s, std::ostream* os) {
  *os << "{port " << s.port << ", " << s.baudRate << " bit/s, " << s.stopBits << " stop, "
      << s.dataBits << " data, parity " << s.parity << ", address " << s.address << "}";
}

}  // namespace vantiro
