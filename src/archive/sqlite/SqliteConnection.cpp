#include "archive/sqlite/SqliteConnection.h"

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <random>

#include "platform/InputFile.h"

namespace vantiro {
namespace {

constexpr int kBusyTimeoutMs = 60000;

class SqliteStatement final : public SqlStatement {
 public:
  SqliteStatement(sqlite3* db, sqlite3_stmt* statement) : db_(db), statement_(statement) {}
  ~SqliteStatement() override { sqlite3_finalize(statement_); }

  void BindNull(int index) override { Check(sqlite3_bind_null(statement_, index)); }
  void BindInt(int index, std::int64_t value) override {
    Check(sqlite3_bind_int64(statement_, index, value));
  }
  void BindDouble(int index, double value) override {
    Check(sqlite3_bind_double(statement_, index, value));
  }
  void BindText(int index, std::string_view value) override {
    Check(sqlite3_bind_text64(statement_, index, value.data(), value.size(), SQLITE_TRANSIENT,
                              SQLITE_UTF8));
  }
  void BindBlob(int index, std::string_view value) override {
    // An empty blob is still a blob, not NULL.
    static const char kEmpty = 0;
    Check(sqlite3_bind_blob64(statement_, index, value.empty() ? &kEmpty : value.data(), value.size(),
                              SQLITE_TRANSIENT));
  }
  bool Step() override {
    const int rc = sqlite3_step(statement_);
    if (rc == SQLITE_ROW) return true;
    if (rc == SQLITE_DONE) return false;
    throw SqlError(sqlite3_errmsg(db_));
  }
  bool IsNull(int column) const override {
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
  }
  std::int64_t Int(int column) const override { return sqlite3_column_int64(statement_, column); }
  double Double(int column) const override { return sqlite3_column_double(statement_, column); }
  std::string Text(int column) const override {
    const auto* text = sqlite3_column_text(statement_, column);
    const int n = sqlite3_column_bytes(statement_, column);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(n)) : std::string();
  }
  std::string Blob(int column) const override {
    const void* blob = sqlite3_column_blob(statement_, column);
    const int n = sqlite3_column_bytes(statement_, column);
    return blob ? std::string(static_cast<const char*>(blob), static_cast<std::size_t>(n)) : std::string();
  }
  void Reset() override { sqlite3_reset(statement_); }

 private:
  void Check(int rc) {
    if (rc != SQLITE_OK) throw SqlError(sqlite3_errmsg(db_));
  }
  sqlite3* db_;
  sqlite3_stmt* statement_;
};

class SqliteConnection final : public SqlConnection {
 public:
  SqliteConnection(sqlite3* db, std::string path, bool readOnly)
      : db_(db), path_(std::move(path)), readOnly_(readOnly) {}
  ~SqliteConnection() override {
    Rollback();
    sqlite3_close_v2(db_);
  }

  SqlDialect Dialect() const override { return SqlDialect::Sqlite; }
  std::string Describe() const override { return path_; }
  bool ReadOnly() const override { return readOnly_; }

  void Execute(std::string_view sql) override {
    const std::string text(sql);
    char* message = nullptr;
    if (sqlite3_exec(db_, text.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
      const std::string what = message ? message : sqlite3_errmsg(db_);
      sqlite3_free(message);
      throw SqlError(what);
    }
  }
  std::unique_ptr<SqlStatement> Prepare(std::string_view sql) override {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db_, sql.data(), static_cast<int>(sql.size()), &statement, nullptr) !=
        SQLITE_OK) {
      throw SqlError(sqlite3_errmsg(db_));
    }
    return std::make_unique<SqliteStatement>(db_, statement);
  }
  void BeginWrite() override {
    if (readOnly_) throw SqlError("the archive is read-only");
    Execute("BEGIN IMMEDIATE");
  }
  void BeginRead() override { Execute("BEGIN"); }
  void Commit() override { Execute("COMMIT"); }
  void Rollback() noexcept override {
    if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
  }

 private:
  sqlite3* db_;
  std::string path_;
  bool readOnly_;
};

// True when the first bytes of the file are SQLite's own.
bool HasSqliteHeader(const std::string& path) {
  InputFile file(path);
  if (!file.IsOpen()) return false;
  char header[16] = {};
  std::size_t done = 0;
  while (done < sizeof header) {
    const long n = file.Read(header + done, sizeof header - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  return done == sizeof header && std::memcmp(header, "SQLite format 3", 16) == 0;
}

sqlite3* OpenDatabase(const std::string& uri, int flags, std::string& error) {
  sqlite3* db = nullptr;
  if (sqlite3_open_v2(uri.c_str(), &db, flags | SQLITE_OPEN_URI | SQLITE_OPEN_NOMUTEX, nullptr) !=
      SQLITE_OK) {
    error = db ? sqlite3_errmsg(db) : "out of memory";
    sqlite3_close_v2(db);
    return nullptr;
  }
  sqlite3_busy_timeout(db, kBusyTimeoutMs);
  sqlite3_extended_result_codes(db, 1);
  return db;
}

// "file:" URI of a path, with the characters a URI gives meaning to escaped.
std::string FileUri(const std::string& path, const char* query) {
  std::string uri = "file:";
  for (const char c : path) {
    if (c == '%' || c == '?' || c == '#') {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", static_cast<unsigned char>(c));
      uri += escaped;
    } else {
      uri += c;
    }
  }
  if (query) {
    uri += '?';
    uri += query;
  }
  return uri;
}

// Makes an empty database at `path` unless something is there by then: large pages (chunks are
// blobs of a few kilobytes) and WAL mode (readers never wait for a writer, a writer never for
// readers), both kept in the file. True when `path` then names a database, made here or by
// someone else meanwhile.
bool MakeDatabase(const std::string& path, std::string& error) {
  char suffix[64];
  std::snprintf(suffix, sizeof suffix, ".new-%ld-%08x", static_cast<long>(::getpid()),
                static_cast<unsigned>(std::random_device{}()));
  const std::string temporary = path + suffix;
  sqlite3* db = OpenDatabase(FileUri(temporary, nullptr), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error);
  if (!db) {
    error = "无法建立档案：" + path + "（" + error + "）";
    return false;
  }
  const char* setup = "PRAGMA page_size=16384; PRAGMA journal_mode=WAL; CREATE TABLE archive_new (x); DROP TABLE archive_new;";
  char* message = nullptr;
  const bool made = sqlite3_exec(db, setup, nullptr, nullptr, &message) == SQLITE_OK;
  if (!made) error = "无法建立档案：" + path + "（" + (message ? message : "cannot make the database") + "）";
  sqlite3_free(message);
  sqlite3_close_v2(db);  // the WAL is folded in and removed
  if (made && ::link(temporary.c_str(), path.c_str()) != 0 && errno != EEXIST) {
    error = "无法建立档案：" + path + "（" + std::strerror(errno) + "）";
    ::unlink(temporary.c_str());
    return false;
  }
  ::unlink(temporary.c_str());
  for (const char* extra : {"-wal", "-shm", "-journal"}) ::unlink((temporary + extra).c_str());
  return made;
}

}  // namespace

std::unique_ptr<SqlConnection> OpenSqliteConnection(const std::string& path, bool create,
                                                    std::string& error) {
  if (path.empty()) {
    error = "未指定档案。";
    return nullptr;
  }
  struct stat info {};
  const bool exists = ::stat(path.c_str(), &info) == 0;
  if (exists) {
    if (!S_ISREG(info.st_mode)) {
      error = "不是档案（不是普通文件）：" + path;
      return nullptr;
    }
    if (!HasSqliteHeader(path)) {
      error = "不是档案：" + path;
      return nullptr;
    }
  } else {
    if (errno != ENOENT) {
      error = "无法读取档案：" + path + "（" + std::strerror(errno) + "）";
      return nullptr;
    }
    if (!create) {
      error = "找不到档案：" + path;
      return nullptr;
    }
    std::error_code ec;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    // The new database is made under another name and linked into place whole, so that a second
    // opener never meets a half-made file (which it would have to refuse as not an archive).
    if (!MakeDatabase(path, error)) return nullptr;
  }

  const bool writable = ::access(path.c_str(), W_OK) == 0;
  sqlite3* db = nullptr;
  if (writable) {
    const int flags = SQLITE_OPEN_READWRITE | (exists ? 0 : SQLITE_OPEN_CREATE);
    db = OpenDatabase(FileUri(path, nullptr), flags, error);
  } else {
    db = OpenDatabase(FileUri(path, nullptr), SQLITE_OPEN_READONLY, error);
  }
  if (!db) {
    error = "无法打开档案：" + path + "（" + error + "）";
    return nullptr;
  }
  auto connection = std::make_unique<SqliteConnection>(db, path, !writable);
  try {
    if (writable) {
      // An import's pages stay in memory until its commit.
      connection->Execute("PRAGMA cache_size=-32768");
      connection->Execute("PRAGMA synchronous=NORMAL");
    }
    connection->Execute("PRAGMA foreign_keys=ON");
    // Touch the database: a file that only looks like one fails here.
    connection->Execute("SELECT count(*) FROM sqlite_master");
  } catch (const SqlError& e) {
    if (writable) {
      error = "无法读取档案：" + path + "（" + e.what() + "）";
      return nullptr;
    }
    // A read-only file in a read-only folder cannot have its WAL index made: read it as it stands.
    connection.reset();
    db = OpenDatabase(FileUri(path, "immutable=1"), SQLITE_OPEN_READONLY, error);
    if (!db) {
      error = "无法打开档案：" + path + "（" + error + "）";
      return nullptr;
    }
    connection = std::make_unique<SqliteConnection>(db, path, true);
    try {
      connection->Execute("SELECT count(*) FROM sqlite_master");
    } catch (const SqlError& again) {
      error = "无法读取档案：" + path + "（" + again.what() + "）";
      return nullptr;
    }
  }
  return connection;
}

}  // namespace vantiro
