#pragma once
// The two database engines behind one small interface: the archive's code is written once against
// it, with '?' placeholders and the handful of SQL both engines share (INSERT ... ON CONFLICT DO
// NOTHING, RETURNING, CREATE ... IF NOT EXISTS). Errors are SqlError exceptions inside the archive
// library only; its public interface turns them into messages.

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace vantiro {

class SqlError : public std::runtime_error {
 public:
  explicit SqlError(const std::string& what, bool lostConnection = false)
      : std::runtime_error(what), lostConnection_(lostConnection) {}
  // The server went away (or the connection broke): reconnecting may help.
  bool LostConnection() const { return lostConnection_; }

 private:
  bool lostConnection_;
};

class SqlStatement {
 public:
  virtual ~SqlStatement() = default;
  // Parameters by position, 1-based, one per '?' of the statement's text.
  virtual void BindNull(int index) = 0;
  virtual void BindInt(int index, std::int64_t value) = 0;
  virtual void BindDouble(int index, double value) = 0;
  virtual void BindText(int index, std::string_view value) = 0;
  virtual void BindBlob(int index, std::string_view value) = 0;
  // The first call runs the statement; each call moves to the next row of its result. False when
  // there is no (further) row.
  virtual bool Step() = 0;
  // The current row's columns, 0-based. Int reads any integer column (and a real as its integer
  // part), Double any number column.
  virtual bool IsNull(int column) const = 0;
  virtual std::int64_t Int(int column) const = 0;
  virtual double Double(int column) const = 0;
  virtual std::string Text(int column) const = 0;
  virtual std::string Blob(int column) const = 0;
  // Ready to run again; the bindings stay until bound anew.
  virtual void Reset() = 0;
};

enum class SqlDialect { Sqlite, Postgres };

class SqlConnection {
 public:
  virtual ~SqlConnection() = default;
  virtual SqlDialect Dialect() const = 0;
  // What the user knows the database by: the SQLite file's path, or the server's URL without its
  // password.
  virtual std::string Describe() const = 0;
  // True when the database may only be read (a SQLite file this user may not write).
  virtual bool ReadOnly() const = 0;
  // Statements without parameters, several separated by ';'.
  virtual void Execute(std::string_view sql) = 0;
  virtual std::unique_ptr<SqlStatement> Prepare(std::string_view sql) = 0;
  // A transaction that will write: SQLite takes its write lock at once (two writers never both
  // read-then-write), PostgreSQL at its default isolation with row locks taken by the caller.
  virtual void BeginWrite() = 0;
  // A transaction that only reads and sees one consistent state of the database throughout.
  virtual void BeginRead() = 0;
  virtual void Commit() = 0;
  // Never throws; nothing when no transaction is open.
  virtual void Rollback() noexcept = 0;
};

// Where an archive lives: a postgresql:// (or postgres://) URL names a server, anything else a
// SQLite file.
bool IsServerLocation(std::string_view location);

// Opens the database at `location`. A SQLite file is created only when `create` is true and
// nothing is at its path (its folder is created too); an existing path must be a SQLite database
// (a text file, a recorder file, an empty file, a folder or a FIFO is refused untouched). Null, with
// `error` a one-line reason, when it cannot be opened.
std::unique_ptr<SqlConnection> OpenSqlConnection(const std::string& location, bool create,
                                                 std::string& error);

}  // namespace vantiro
