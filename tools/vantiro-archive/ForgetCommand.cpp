// vantiro-archive forget SOURCE: one source's samples removed (a file imported under the wrong
// recorder). SOURCE is the number `list` shows.
#include <charconv>
#include <memory>
#include <ostream>

#include "archive/Archive.h"
#include "vantiro-archive/ArchiveCommand.h"

namespace vantiro {

int RunForget(const ArchiveCommandLine& line, std::ostream& out, std::ostream& err) {
  std::int64_t id = 0;
  const std::string text = line.args.size() == 1 ? line.args[0] : std::string();
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), id);
  if (line.args.size() != 1 || text.empty() || ec != std::errc() || end != text.data() + text.size() || id <= 0) {
    err << kArchiveUsage << '\n';
    return 2;
  }
  std::string error;
  std::unique_ptr<Archive> archive = Archive::Open(line.archive, false, error);
  if (!archive) {
    err << "error: " << error << '\n';
    return 1;
  }
  if (!archive->Forget(id, error)) {
    err << "error: " << error << '\n';
    return 1;
  }
  out << "forgot source " << id << '\n' << std::flush;
  return out ? 0 : 1;
}

}  // namespace vantiro
