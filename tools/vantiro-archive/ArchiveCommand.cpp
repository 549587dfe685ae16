#include "vantiro-archive/ArchiveCommand.h"

#include <ostream>

#include "archive/Archive.h"
#include "recorder/DateTime.h"

namespace vantiro {

bool ParseArchiveCommandLine(const std::vector<std::string>& args, ArchiveCommandLine& line) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--archive") {
      if (i + 1 >= args.size() || args[i + 1].empty() || !line.archive.empty()) return false;
      line.archive = args[++i];
    } else if (line.command.empty()) {
      if (!arg.empty() && arg[0] == '-') return false;
      line.command = arg;
    } else {
      line.args.push_back(arg);
    }
  }
  return line.command == "import" || line.command == "list" || line.command == "check" ||
         line.command == "forget";
}

int RunArchiveCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const std::atomic<bool>& stop, const std::atomic<int>& stopSignal) {
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
    out << kArchiveUsage << '\n' << std::flush;
    return out ? 0 : 1;
  }
  ArchiveCommandLine line;
  if (!ParseArchiveCommandLine(args, line)) {
    err << kArchiveUsage << '\n';
    return 2;
  }
  if (line.command == "import") return RunImport(line, out, err, stop, stopSignal);
  if (line.command == "list") return RunList(line, out, err);
  if (line.command == "check") return RunCheck(line, out, err);
  return RunForget(line, out, err);
}

std::string ArchiveTimeText(long long ms) {
  const DateTime t = FromArchiveMs(ms);
  std::string text = FormatDateTime(t, DatePattern::Millisecond);
  if (text.size() > 4 && text.ends_with(".000")) text.resize(text.size() - 4);
  return text;
}

}  // namespace vantiro
