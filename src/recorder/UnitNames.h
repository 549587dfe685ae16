#pragma once
// The recorder's unit table, indexed by unit code. Texts are UTF-8.

#include <array>
#include <string_view>

namespace vantiro {

inline constexpr int kUnitCount = 83;

// The whole table, entry 82 being the generic "单位".
const std::array<std::string_view, kUnitCount>& UnitNames();

// Entry `code` for 0..82, "单位" for any other code.
std::string_view UnitName(int code);

}  // namespace vantiro
