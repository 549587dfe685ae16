#include "recorder/UnitNames.h"

namespace vantiro {

const std::array<std::string_view, kUnitCount>& UnitNames() {
  // "mmH2O" (16) has the letter O, "mH20" (49) the digit zero; 59, 60, 74 and 78 start with the
  // full-width percent sign, 20 is the ASCII one.
  static constexpr std::array<std::string_view, kUnitCount> kNames = {
      "m3/h",  "m3/min", "m3/s",  "Kg/h",   "Kg/min",  "Kg/s",   "L/h",    "L/min", "L/s",
      "t/h",   "t/min",  "t/s",   "Mpa",    "Kpa",     "Pa",     "Kgf/cm2", "mmH2O", "mmHg",
      "Bar",   "℃",      "%",     "ppm",    "pH",      "r/min",  "mm",     "Hz",    "KHz",
      "mA",    "A",      "KA",    "mV",     "V",       "KV",     "VA",     "KVA",   "W",
      "KW",    "MW",     "J",     "KJ",     "Kg",      "Kwh",    "km3/h",  "kNm3/h", "Nm3/h",
      "K",     "mmBar",  "mBar",  "mHg",    "mH20",    "Kgf/m2", "uA",     "uV",    "Wh",
      "Nm",    "MHz",    "‰",     "ppmO2",  "ppmH2",   "％O2",   "％LEL",  "um",    "cm",
      "m",     "MJ",     "GJ",    "g",      "t",       "RH",     "rpm",    "m/s",   "m/min",
      "℉",     "°",      "％RH",  "cm/s",   "mm/s",    "mm/h",   "％/m3",  "KLUX",  "LUX",
      "min",   "单位",
  };
  return kNames;
}

std::string_view UnitName(int code) {
  const auto& names = UnitNames();
  if (code < 0 || code >= kUnitCount) return names[kUnitCount - 1];
  return names[static_cast<std::size_t>(code)];
}

}  // namespace vantiro
