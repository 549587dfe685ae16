#include "workbench/ValueText.h"

#include <charconv>

namespace vantiro {

void AppendValueText(std::string& out, float value) {
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, static_cast<double>(value),
                                    std::chars_format::fixed, 3);
  out.append(buffer, result.ptr);
}

}  // namespace vantiro
