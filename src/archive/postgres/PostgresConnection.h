#pragma once
// The shared engine: a PostgreSQL server named by a postgresql:// URL, for a plant whose PCs
// import and view one archive. Statements are prepared on the server with their '?' placeholders
// turned into $1, $2...; values travel in binary.

#include <memory>
#include <string>

#include "archive/SqlConnection.h"

namespace vantiro {

// Connects to the server at `url` (connect time-out 10 s unless the URL sets one). Null with
// `error` a one-line reason (no password in it) when it cannot.
std::unique_ptr<SqlConnection> OpenPostgresConnection(const std::string& url, std::string& error);

// The URL with its password, if any, replaced by "***".
std::string UrlWithoutPassword(const std::string& url);

}  // namespace vantiro
