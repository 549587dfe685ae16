#include "archive/ArchiveSources.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>

#include "archive/ContentHash.h"
#include "recorder/CsvImport.h"
#include "recorder/RecorderFile.h"
#include "recorder/UnitNames.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;

std::string LowerExtension(const std::string& path) {
  std::string ext = fs::path(path).extension().string();
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

}  // namespace

bool IsRecordingName(const std::string& path) {
  const std::string ext = LowerExtension(path);
  return ext == ".bin" || ext == ".dat" || ext == ".csv";
}

std::optional<UserMessage> LoadRecordingFile(const std::string& path, SourceRecording& recording) {
  recording = SourceRecording{};
  recording.kind = "file";
  std::error_code ec;
  const fs::path absolute = fs::absolute(path, ec);
  recording.path = ec ? path : absolute.lexically_normal().string();
  const bool csv = LowerExtension(path) == ".csv";
  std::optional<UserMessage> failed;
  if (csv) {
    failed = ImportCsvFile(path, recording.summary, recording.channels);
  } else {
    RecorderLogOptions noLog;
    noLog.mode = RecorderLogOptions::Mode::Off;
    failed = ReadRecorderFile(path, recording.summary, recording.channels, noLog);
  }
  if (failed) return failed;
  recording.contentHash = HashFile(path);
  const std::uintmax_t size = fs::file_size(path, ec);
  if (recording.contentHash.empty() || ec) {
    return UserMessage{std::string(kReadFailedText), MessageIcon::Error};
  }
  recording.size = size;
  if (!csv) {
    for (const RecorderChannelRange& range : ReadRecorderChannelRanges(path)) {
      ChannelHeader header;
      header.number = range.number;
      header.unit = std::string(UnitName(range.unitCode));
      header.hasRange = true;
      header.rangeLow = range.lower;
      header.rangeHigh = range.upper;
      header.decimals = range.decimals;
      recording.headers.push_back(std::move(header));
    }
  }
  return std::nullopt;
}

std::vector<std::string> CollectRecordingFiles(const std::vector<std::string>& names,
                                               std::vector<std::string>& missing) {
  std::vector<std::string> files;
  for (const std::string& name : names) {
    std::error_code ec;
    const fs::file_status status = fs::status(name, ec);
    if (!ec && fs::is_directory(status)) {
      std::vector<std::string> found;
      for (fs::recursive_directory_iterator it(name, fs::directory_options::skip_permission_denied, ec), end;
           !ec && it != end; it.increment(ec)) {
        std::error_code entryError;
        if (it->is_regular_file(entryError) && IsRecordingName(it->path().string())) {
          found.push_back(it->path().string());
        }
      }
      std::sort(found.begin(), found.end());
      files.insert(files.end(), found.begin(), found.end());
    } else if (!ec && fs::exists(status)) {
      files.push_back(name);
    } else {
      missing.push_back(name);
    }
  }
  return files;
}

std::string DefaultRecorderName(const std::string& path) {
  std::error_code ec;
  fs::path absolute = fs::absolute(path, ec);
  if (ec) absolute = path;
  const fs::path folder = absolute.lexically_normal().parent_path();
  std::string name = folder.filename().string();
  return name.empty() ? std::string("recorder") : name;
}

}  // namespace vantiro
