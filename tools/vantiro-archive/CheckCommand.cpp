// vantiro-archive check: every chunk, every summary, every source.
#include <memory>
#include <ostream>

#include "archive/Archive.h"
#include "vantiro-archive/ArchiveCommand.h"

namespace vantiro {

int RunCheck(const ArchiveCommandLine& line, std::ostream& out, std::ostream& err) {
  if (!line.args.empty()) {
    err << kArchiveUsage << '\n';
    return 2;
  }
  std::string error;
  std::unique_ptr<Archive> archive = Archive::Open(line.archive, false, error);
  if (!archive) {
    err << "error: " << error << '\n';
    return 1;
  }
  const auto problems = archive->Check(error);
  if (!problems) {
    err << "error: " << error << '\n';
    return 1;
  }
  for (const std::string& problem : *problems) out << problem << '\n';
  if (problems->empty()) out << "check: " << archive->Describe() << " is sound\n";
  out.flush();
  return problems->empty() && out ? 0 : 1;
}

}  // namespace vantiro
