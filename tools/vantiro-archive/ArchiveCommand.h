#pragma once
// vantiro-archive: the recording archive from the command line.
//
//   vantiro-archive [--archive A] import [--recorder NAME] FILE|DIR...
//   vantiro-archive [--archive A] list
//   vantiro-archive [--archive A] check
//   vantiro-archive [--archive A] forget SOURCE
//
// A is a SQLite file or a postgresql:// URL; without --archive, $VANTIRO_ARCHIVE or the user's
// own archive ($XDG_DATA_HOME/vantiro/archive.sqlite). --archive may also follow the command.
// Exit status: 0 all done, 1 something failed (said on standard error), 2 usage error, 130/143
// stopped by SIGINT/SIGTERM.

#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace vantiro {

inline constexpr const char* kArchiveUsage =
    "usage: vantiro-archive [--archive A] import [--recorder NAME] FILE|DIR... | list | check | forget SOURCE";

struct ArchiveCommandLine {
  std::string command;
  std::string archive;            // empty: the default archive
  std::vector<std::string> args;  // the command's own arguments
};

// The whole command line (without the program's name): the command and the archive picked out.
// False for a usage error.
bool ParseArchiveCommandLine(const std::vector<std::string>& args, ArchiveCommandLine& line);

// `stop` is set by SIGINT or SIGTERM; `stopSignal` tells which (0 while none).
int RunArchiveCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const std::atomic<bool>& stop, const std::atomic<int>& stopSignal);

int RunImport(const ArchiveCommandLine& line, std::ostream& out, std::ostream& err,
              const std::atomic<bool>& stop, const std::atomic<int>& stopSignal);
int RunList(const ArchiveCommandLine& line, std::ostream& out, std::ostream& err);
int RunCheck(const ArchiveCommandLine& line, std::ostream& out, std::ostream& err);
int RunForget(const ArchiveCommandLine& line, std::ostream& out, std::ostream& err);

// "2010-05-12 10:00:00" (".250" when the milliseconds are not 0) of an archive time.
std::string ArchiveTimeText(long long ms);

}  // namespace vantiro
