#pragma once

#include <string>

namespace vantiro {

// The directory of the running executable, without a trailing slash; "." when it cannot be told.
std::string ProgramDirectory();

}  // namespace vantiro
