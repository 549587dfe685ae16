#pragma once

#include <string>

namespace vantiro {

// The directory of the running executable, without a trailing slash; "." when it cannot be told.
std::string ProgramDirectory();

// The program's folder in the user's configuration directory: $XDG_CONFIG_HOME/vantiro, or
// ~/.config/vantiro when that variable is unset or not an absolute path.
std::string UserConfigDirectory();

}  // namespace vantiro
