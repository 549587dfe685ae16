#include "archive/ArchiveSchema.h"

#include "archive/SqlConnection.h"

namespace vantiro {
namespace {

// Any number, the same for every archive: the lock PostgreSQL openers take while they make tables.
constexpr long long kSchemaLock = 0x76616e7469726f;

// What a chunk's row says beside its blob, in an index of its own: counting a period's samples,
// and finding its chunks, then reads the index alone and never the pages that hold the blobs (a
// SQLite row keeps its blob beside its columns).
constexpr const char* kChunkSpanIndex =
    "CREATE INDEX IF NOT EXISTS chunk_span ON chunk (recorder_id, channel, first_ms, last_ms, count, gap_count)";
// The summaries in the order an envelope reads them with every figure it takes: the chart's
// columns come from the index alone, without a lookup of each row in the table.
constexpr const char* kSummaryEnvelopeIndex =
    "CREATE INDEX IF NOT EXISTS summary_envelope ON summary (recorder_id, channel, level_ms, bucket_ms, count, "
    "min_value, max_value, sum_value)";

// An archive made before the index came gets it when first opened by one who may write it; one
// that cannot (read-only, locked, full) is read without it, only slower.
void AddMissingIndexes(SqlConnection& connection) {
  if (connection.ReadOnly()) return;
  try {
    auto statement = connection.Prepare(
        connection.Dialect() == SqlDialect::Postgres
            ? "SELECT count(*) FROM pg_indexes WHERE schemaname = current_schema() AND "
              "indexname IN ('chunk_span', 'summary_envelope')"
            : "SELECT count(*) FROM sqlite_master WHERE type = 'index' AND name IN ('chunk_span', 'summary_envelope')");
    const bool there = statement->Step() && statement->Int(0) == 2;
    statement.reset();
    if (there) return;
    connection.BeginWrite();
    connection.Execute(kChunkSpanIndex);
    connection.Execute(kSummaryEnvelopeIndex);
    connection.Commit();
  } catch (const SqlError&) {
    connection.Rollback();
  }
}

std::string Ddl(SqlDialect dialect) {
  const bool pg = dialect == SqlDialect::Postgres;
  const std::string id = pg ? "id BIGSERIAL PRIMARY KEY" : "id INTEGER PRIMARY KEY";
  const std::string blob = pg ? "BYTEA" : "BLOB";
  std::string ddl =
      "CREATE TABLE IF NOT EXISTS archive_meta (key TEXT PRIMARY KEY, value TEXT NOT NULL);"
      "CREATE TABLE IF NOT EXISTS recorder (" + id + ", name TEXT NOT NULL UNIQUE, "
      "created_ms BIGINT NOT NULL);"
      "CREATE TABLE IF NOT EXISTS source (" + id + ", "
      "recorder_id BIGINT NOT NULL REFERENCES recorder(id), kind TEXT NOT NULL, path TEXT NOT NULL, "
      "size BIGINT NOT NULL, content_hash TEXT NOT NULL, first_ms BIGINT NOT NULL, "
      "last_ms BIGINT NOT NULL, range_min DOUBLE PRECISION, range_max DOUBLE PRECISION, "
      "start_ms BIGINT, end_ms BIGINT, sample_count BIGINT, imported_ms BIGINT NOT NULL, "
      "samples BIGINT NOT NULL, added BIGINT NOT NULL, duplicates BIGINT NOT NULL, "
      "conflicts BIGINT NOT NULL, step_ms BIGINT NOT NULL, UNIQUE (recorder_id, content_hash));"
      "CREATE TABLE IF NOT EXISTS source_channel ("
      "source_id BIGINT NOT NULL REFERENCES source(id) ON DELETE CASCADE, number INTEGER NOT NULL, "
      "position INTEGER NOT NULL, unit TEXT NOT NULL, has_range INTEGER NOT NULL, "
      "range_low DOUBLE PRECISION, range_high DOUBLE PRECISION, decimals INTEGER, first_ms BIGINT, "
      "last_ms BIGINT, samples BIGINT NOT NULL, added BIGINT NOT NULL, chunk_span_ms BIGINT NOT NULL, "
      "PRIMARY KEY (source_id, number));"
      "CREATE TABLE IF NOT EXISTS chunk (" + id + ", "
      "recorder_id BIGINT NOT NULL REFERENCES recorder(id), channel INTEGER NOT NULL, "
      "source_id BIGINT NOT NULL REFERENCES source(id) ON DELETE CASCADE, "
      "first_ms BIGINT NOT NULL, last_ms BIGINT NOT NULL, count INTEGER NOT NULL, "
      "gap_count INTEGER NOT NULL, min_value DOUBLE PRECISION, max_value DOUBLE PRECISION, "
      "sum_value DOUBLE PRECISION, data " + blob + " NOT NULL);"
      "CREATE INDEX IF NOT EXISTS chunk_time ON chunk (recorder_id, channel, first_ms);" + std::string(kChunkSpanIndex) + ";"
      "CREATE INDEX IF NOT EXISTS chunk_source ON chunk (source_id);"
      "CREATE TABLE IF NOT EXISTS summary (recorder_id BIGINT NOT NULL, channel INTEGER NOT NULL, "
      "level_ms BIGINT NOT NULL, bucket_ms BIGINT NOT NULL, "
      "source_id BIGINT NOT NULL REFERENCES source(id) ON DELETE CASCADE, count BIGINT NOT NULL, "
      "min_value DOUBLE PRECISION, max_value DOUBLE PRECISION, sum_value DOUBLE PRECISION, "
      "PRIMARY KEY (recorder_id, channel, level_ms, bucket_ms, source_id));"
      "CREATE INDEX IF NOT EXISTS summary_source ON summary (source_id);" + std::string(kSummaryEnvelopeIndex) + ";"
      "CREATE INDEX IF NOT EXISTS source_recorder ON source (recorder_id);";
  const std::string view =
      " VIEW trend AS SELECT r.name AS recorder, s.channel AS channel, s.level_ms AS level_ms, "
      "s.bucket_ms AS bucket_ms, SUM(s.count) AS samples, MIN(s.min_value) AS min_value, "
      "MAX(s.max_value) AS max_value, SUM(s.sum_value) / SUM(s.count) AS mean_value "
      "FROM summary s JOIN recorder r ON r.id = s.recorder_id WHERE s.count > 0 "
      "GROUP BY r.name, s.channel, s.level_ms, s.bucket_ms;";
  ddl += (pg ? "CREATE OR REPLACE" : "CREATE VIEW IF NOT EXISTS") + std::string(pg ? view : view.substr(5));
  return ddl;
}

bool TableExists(SqlConnection& connection, const char* table) {
  auto statement = connection.Prepare(
      connection.Dialect() == SqlDialect::Postgres
          ? "SELECT 1 FROM information_schema.tables WHERE table_schema = current_schema() AND table_name = ?"
          : "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?");
  statement->BindText(1, table);
  return statement->Step();
}

// The schema version the archive says it has; 0 when it says none.
int StoredVersion(SqlConnection& connection) {
  auto statement = connection.Prepare("SELECT value FROM archive_meta WHERE key = 'schema'");
  if (!statement->Step()) return 0;
  return std::atoi(statement->Text(0).c_str());
}

bool EmptyDatabase(SqlConnection& connection) {
  if (connection.Dialect() == SqlDialect::Postgres) {
    // A server database may hold other things beside an archive: it is ours when ours are there.
    return !TableExists(connection, "archive_meta");
  }
  auto statement = connection.Prepare("SELECT count(*) FROM sqlite_master");
  return statement->Step() && statement->Int(0) == 0;
}

}  // namespace

bool PrepareArchiveSchema(SqlConnection& connection, bool create, std::string& error) {
  auto checkVersion = [&] {
    const int version = StoredVersion(connection);
    if (version == kArchiveSchemaVersion) return true;
    error = "档案的版本不符（第 " + std::to_string(version) + " 版）：" + connection.Describe();
    return false;
  };
  try {
    if (TableExists(connection, "archive_meta")) {
      if (!checkVersion()) return false;
      AddMissingIndexes(connection);
      return true;
    }
    // A server's empty database reads as an empty archive; a SQLite file is made only to import.
    if (!create && !(connection.Dialect() == SqlDialect::Postgres && !connection.ReadOnly())) {
      error = (EmptyDatabase(connection) ? "不是档案（空数据库）：" : "不是档案：") + connection.Describe();
      return false;
    }
    if (connection.ReadOnly()) {
      error = connection.Describe() + " cannot be written";
      return false;
    }
    // Another opener may be making the tables this moment: look again once the lock is ours.
    connection.BeginWrite();
    if (connection.Dialect() == SqlDialect::Postgres) {
      connection.Execute("SELECT pg_advisory_xact_lock(" + std::to_string(kSchemaLock) + ")");
    }
    if (TableExists(connection, "archive_meta")) {
      const bool ok = checkVersion();
      connection.Rollback();
      return ok;
    }
    if (!EmptyDatabase(connection)) {
      connection.Rollback();
      error = "不是档案：" + connection.Describe();
      return false;
    }
    connection.Execute(Ddl(connection.Dialect()));
    connection.Execute("INSERT INTO archive_meta (key, value) VALUES ('schema', '" +
                       std::to_string(kArchiveSchemaVersion) + "') ON CONFLICT (key) DO NOTHING");
    connection.Commit();
    return true;
  } catch (const SqlError& e) {
    connection.Rollback();
    error = "无法读取档案：" + connection.Describe() + "（" + e.what() + "）";
    return false;
  }
}

std::int64_t TakeRecorder(SqlConnection& db, const std::string& name, std::int64_t nowMs) {
  auto insert = db.Prepare("INSERT INTO recorder (name, created_ms) VALUES (?, ?) ON CONFLICT (name) DO NOTHING");
  insert->BindText(1, name);
  insert->BindInt(2, nowMs);
  insert->Step();
  auto select = db.Prepare(db.Dialect() == SqlDialect::Postgres ? "SELECT id FROM recorder WHERE name = ? FOR UPDATE"
                                                                : "SELECT id FROM recorder WHERE name = ?");
  select->BindText(1, name);
  if (!select->Step()) throw SqlError("the recorder could not be made");
  return select->Int(0);
}

}  // namespace vantiro
