#include "archive/SqlConnection.h"

#include "archive/postgres/PostgresConnection.h"
#include "archive/sqlite/SqliteConnection.h"

namespace vantiro {

bool IsServerLocation(std::string_view location) {
  return location.starts_with("postgresql://") || location.starts_with("postgres://");
}

std::unique_ptr<SqlConnection> OpenSqlConnection(const std::string& location, bool create,
                                                 std::string& error) {
  if (IsServerLocation(location)) return OpenPostgresConnection(location, error);
  return OpenSqliteConnection(location, create, error);
}

}  // namespace vantiro
