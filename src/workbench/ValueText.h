#pragma once
// The text of a sample value as the data table shows it; the CSV export writes the same.

#include <string>

namespace vantiro {

// "%0.3f" of a sample value (three decimals, rounded as the C library rounds them).
void AppendValueText(std::string& out, float value);

}  // namespace vantiro
