#pragma once
// The embedded engine: one SQLite file in WAL mode (a viewer reads while an importer writes),
// foreign keys on, a writer waiting up to a minute for another's transaction to end.

#include <memory>
#include <string>

#include "archive/SqlConnection.h"

namespace vantiro {

// Opens the SQLite database at `path` (see OpenSqlConnection for what is refused). Null with
// `error` set when it cannot.
std::unique_ptr<SqlConnection> OpenSqliteConnection(const std::string& path, bool create,
                                                    std::string& error);

}  // namespace vantiro
