#pragma once
// Recordings on disk made ready for the archive: a recorder file (.bin, .dat) or a CSV file of
// single samples (.csv, any case) read exactly as the program reads it, with its size, content hash
// and what its header says of each channel.

#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "platform/UserMessage.h"

namespace vantiro {

// True for the names the archive imports: .bin, .dat, .csv in any case.
bool IsRecordingName(const std::string& path);

// Reads the file at `path` into `recording` (kind "file", its absolute path). The reader's failure
// when it could not be read whole: a recording read only in part is not imported.
std::optional<UserMessage> LoadRecordingFile(const std::string& path, SourceRecording& recording);

// The recordings a command line names: files as given, folders searched recursively for recording
// names (in name order). `missing` gets the names that are neither.
std::vector<std::string> CollectRecordingFiles(const std::vector<std::string>& names,
                                               std::vector<std::string>& missing);

// The recorder a file goes under when the user names none: the name of the folder holding it.
std::string DefaultRecorderName(const std::string& path);

}  // namespace vantiro
