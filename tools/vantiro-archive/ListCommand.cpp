// vantiro-archive list: recorders, their channels, coverage and holes, sources.
#include <cstdio>
#include <memory>
#include <ostream>

#include "archive/Archive.h"
#include "vantiro-archive/ArchiveCommand.h"

namespace vantiro {
namespace {

std::string Number(double v, int decimals) {
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  return text;
}

}  // namespace

int RunList(const ArchiveCommandLine& line, std::ostream& out, std::ostream& err) {
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
  const auto recorders = archive->Recorders(error);
  if (!recorders) {
    err << "error: " << error << '\n';
    return 1;
  }
  out << "archive " << archive->Describe() << (archive->ReadOnly() ? " (read-only)" : "") << '\n';
  for (const RecorderInfo& recorder : *recorders) {
    const auto channels = archive->Channels(recorder.id, error);
    const auto coverage = channels ? archive->Coverage(recorder.id, error) : std::nullopt;
    const auto sources = coverage ? archive->Sources(recorder.id, error) : std::nullopt;
    if (!sources) {
      err << "error: " << error << '\n';
      return 1;
    }
    out << "recorder " << recorder.name << '\n';
    for (const ChannelSummaryInfo& c : *channels) {
      out << "  channel " << c.number << " unit " << (c.unit.empty() ? "-" : c.unit);
      if (c.hasRange) out << " range " << Number(c.rangeLow, c.decimals) << ".." << Number(c.rangeHigh, c.decimals);
      if (!c.earlierUnits.empty()) {
        out << " (earlier";
        for (const std::string& unit : c.earlierUnits) out << ' ' << unit;
        out << ')';
      }
      if (c.samples > 0) {
        out << ", " << c.samples << " samples " << ArchiveTimeText(c.firstMs) << " .. "
            << ArchiveTimeText(c.lastMs);
      }
      out << '\n';
    }
    for (std::size_t i = 0; i < coverage->size(); ++i) {
      const ArchiveSpan& span = (*coverage)[i];
      if (i > 0) {
        out << "  hole " << ArchiveTimeText((*coverage)[i - 1].lastMs) << " .. " << ArchiveTimeText(span.firstMs)
            << '\n';
      }
      out << "  covers " << ArchiveTimeText(span.firstMs) << " .. " << ArchiveTimeText(span.lastMs) << '\n';
    }
    for (const SourceInfo& s : *sources) {
      out << "  source " << s.id << ' ' << s.kind << ' ' << s.path << ", " << s.size << " bytes, "
          << ArchiveTimeText(s.firstMs) << " .. " << ArchiveTimeText(s.lastMs) << ", " << s.samples
          << " samples, " << s.added << " new, " << s.conflicts << " conflicts, imported "
          << ArchiveTimeText(s.importedMs) << " UTC\n";
    }
  }
  out.flush();
  return out ? 0 : 1;
}

}  // namespace vantiro
