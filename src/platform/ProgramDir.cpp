#include "platform/ProgramDir.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace vantiro {

std::string ProgramDirectory() {
  char buffer[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return ".";
  std::string path(buffer, static_cast<std::size_t>(n));
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::string UserConfigDirectory() {
  std::string base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    base = std::string(home) + "/.config";
  } else {
    base = ".config";
  }
  return base + "/vantiro";
}

std::string HelpDocumentPath(const std::string& programDir) {
  namespace fs = std::filesystem;
  const std::string chm = programDir + "/help.chm";
  std::error_code ec;
  if (fs::is_regular_file(chm, ec)) return chm;
  const fs::path guide = fs::path(programDir) / ".." / "share" / "vantiro" / "guide" / "index.html";
  if (fs::is_regular_file(guide, ec)) return guide.lexically_normal().string();
  return chm;
}

}  // namespace vantiro
