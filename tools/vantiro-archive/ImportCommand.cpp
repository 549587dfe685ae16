// vantiro-archive import [--recorder NAME] FILE|DIR...
#include <unistd.h>

#include <iostream>
#include <memory>
#include <ostream>

#include "archive/Archive.h"
#include "archive/ArchiveSources.h"
#include "vantiro-archive/ArchiveCommand.h"

namespace vantiro {
namespace {

// The bar on a terminal, one line per file otherwise; on standard error.
class ImportProgress {
 public:
  ImportProgress(std::ostream& err, bool terminal, std::size_t files)
      : err_(err), terminal_(terminal), files_(files) {}
  void File(std::size_t index, const std::string& path) {
    if (terminal_) {
      constexpr std::size_t kWidth = 30;
      const std::size_t filled = files_ == 0 ? 0 : index * kWidth / files_;
      std::string name = path;
      if (name.size() > 40) name = "..." + name.substr(name.size() - 37);
      err_ << "\r[" << std::string(filled, '#') << std::string(kWidth - filled, ' ') << "] " << index + 1
           << '/' << files_ << ' ' << name << "\x1b[K" << std::flush;
    } else {
      err_ << "importing " << index + 1 << '/' << files_ << ' ' << path << '\n' << std::flush;
    }
  }
  void Done() {
    if (terminal_) err_ << "\r\x1b[K" << std::flush;
  }

 private:
  std::ostream& err_;
  bool terminal_;
  std::size_t files_;
};

}  // namespace

int RunImport(const ArchiveCommandLine& line, std::ostream& out, std::ostream& err,
              const std::atomic<bool>& stop, const std::atomic<int>& stopSignal) {
  std::string recorder;
  std::vector<std::string> names;
  for (std::size_t i = 0; i < line.args.size(); ++i) {
    const std::string& arg = line.args[i];
    if (arg == "--recorder") {
      if (i + 1 >= line.args.size() || line.args[i + 1].empty() || !recorder.empty()) {
        err << kArchiveUsage << '\n';
        return 2;
      }
      recorder = line.args[++i];
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      err << kArchiveUsage << '\n';
      return 2;
    } else {
      names.push_back(arg);
    }
  }
  if (names.empty()) {
    err << kArchiveUsage << '\n';
    return 2;
  }
  std::vector<std::string> missing;
  const std::vector<std::string> files = CollectRecordingFiles(names, missing);
  bool failed = false;
  for (const std::string& name : missing) {
    err << "error: " << name << ": no such file or folder\n";
    failed = true;
  }

  std::string error;
  std::unique_ptr<Archive> archive = Archive::Open(line.archive, true, error);
  if (!archive) {
    err << "error: " << error << '\n';
    return 1;
  }
  if (archive->ReadOnly()) {
    err << "error: " << archive->Describe() << " cannot be written\n";
    return 1;
  }

  const bool terminal = &err == &std::cerr && ::isatty(2) == 1;
  ImportProgress progress(err, terminal, files.size());
  std::vector<std::string> report;
  for (std::size_t i = 0; i < files.size() && !stop; ++i) {
    const std::string& path = files[i];
    progress.File(i, path);
    SourceRecording recording;
    if (const std::optional<UserMessage> unreadable = LoadRecordingFile(path, recording)) {
      report.push_back("skipped " + path + ": " + unreadable->text);
      failed = true;
      continue;
    }
    const std::string name = recorder.empty() ? DefaultRecorderName(path) : recorder;
    const ImportResult result = archive->Import(name, recording, nullptr, &stop);
    switch (result.outcome) {
      case ImportResult::Outcome::Imported:
        report.push_back("imported " + path + " into " + name + ": " + std::to_string(result.samples) +
                         " samples, " + std::to_string(result.added) + " new, " +
                         std::to_string(result.duplicates) + " already there, " +
                         std::to_string(result.conflicts) + " conflicts");
        break;
      case ImportResult::Outcome::AlreadyThere:
        report.push_back("skipped " + path + ": already imported into " + name + " (source " +
                         std::to_string(result.sourceId) + ")");
        break;
      case ImportResult::Outcome::Failed:
        if (stop) break;
        report.push_back("failed " + path + ": " + result.message);
        failed = true;
        break;
    }
  }
  progress.Done();
  for (const std::string& text : report) out << text << '\n';
  out.flush();
  if (stop) {
    err << "stopped: the file being imported was left out\n";
    return 128 + stopSignal.load();
  }
  if (!out) return 1;
  return failed ? 1 : 0;
}

}  // namespace vantiro
