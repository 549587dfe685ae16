#pragma once

#include <string>

namespace vantiro {

// The directory of the running executable, without a trailing slash; "." when it cannot be told.
std::string ProgramDirectory();

// The program's folder in the user's configuration directory: $XDG_CONFIG_HOME/vantiro, or
// ~/.config/vantiro when that variable is unset or not an absolute path.
std::string UserConfigDirectory();

// What Help opens for a program in `programDir`: help.chm beside it when there is one, else the
// bundled user guide (share/vantiro/guide/index.html beside the program's bin folder, installed
// or in the build tree), else the help.chm path all the same.
std::string HelpDocumentPath(const std::string& programDir);

}  // namespace vantiro
