#pragma once
// A throwaway PostgreSQL server for the archive's tests: initdb into a temporary folder, pg_ctl
// listening on a Unix socket in that folder only (no TCP port), as the postgres user when the tests
// run as root (the server refuses root). Stopped and removed when the object goes. Each test takes
// a fresh database of its own from it. It does not wait for the disk (fsync off) but writes every
// commit out before answering, so that a killed server comes back with all it acknowledged.

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace vantiro::testing {

class PostgresServer {
 public:
  // Starts a server; Ok() tells whether it runs (why not in Error()).
  PostgresServer() { Start(); }
  ~PostgresServer() { Stop(true); }
  PostgresServer(const PostgresServer&) = delete;
  PostgresServer& operator=(const PostgresServer&) = delete;

  bool Ok() const { return running_; }
  const std::string& Error() const { return error_; }

  // A new empty database on the server; its URL.
  std::string NewDatabase() {
    const std::string name = "t" + std::to_string(++databases_);
    Psql("CREATE DATABASE " + name);
    return Url(name);
  }
  std::string Url(const std::string& database) const {
    return "postgresql:///" + database + "?host=" + folder_ + "&user=vantiro";
  }
  // Runs SQL with psql against `database`; false when psql failed.
  bool Psql(const std::string& sql, const std::string& database = "postgres") {
    return Run(Bin("psql") + " -X -q -v ON_ERROR_STOP=1 -h " + folder_ + " -U vantiro -d " + database +
               " -c \"" + sql + "\"");
  }
  // The server gone (a crash: no shutdown), and back.
  bool Kill() { return Stop(false); }
  bool Restart() { return StartServer(); }

 private:
  static std::string BinFolder() {
    std::error_code ec;
    std::string best;
    for (const auto& entry : std::filesystem::directory_iterator("/usr/lib/postgresql", ec)) {
      const std::string bin = (entry.path() / "bin").string();
      if (std::filesystem::exists(bin + "/initdb") && bin > best) best = bin;
    }
    return best;
  }
  std::string Bin(const char* name) const { return bin_ + "/" + name; }

  // Runs a shell command as the server's user.
  bool Run(const std::string& command) const {
    std::string line = command + " >>" + folder_ + "/commands.log 2>&1";
    if (::geteuid() == 0) line = "runuser -u postgres -- sh -c '" + line + "'";
    return std::system(line.c_str()) == 0;
  }

  void Start() {
    bin_ = BinFolder();
    if (bin_.empty()) {
      error_ = "no PostgreSQL server installed (package postgresql)";
      return;
    }
    char pattern[] = "/tmp/vantiro-pg-XXXXXX";
    if (!::mkdtemp(pattern)) {
      error_ = "no temporary folder";
      return;
    }
    folder_ = pattern;
    if (::geteuid() == 0) {
      const passwd* user = ::getpwnam("postgres");
      if (!user || ::chown(folder_.c_str(), user->pw_uid, user->pw_gid) != 0) {
        error_ = "cannot hand the folder to the postgres user";
        return;
      }
    }
    ::chmod(folder_.c_str(), 0755);
    if (!Run(Bin("initdb") + " -D " + folder_ + "/data -U vantiro --auth=trust -E UTF8 --no-sync")) {
      error_ = "initdb failed: see " + folder_ + "/commands.log";
      return;
    }
    StartServer();
  }

  bool StartServer() {
    running_ = Run(Bin("pg_ctl") + " -D " + folder_ + "/data -l " + folder_ +
                   "/server.log -w -t 60 -o \"-k " + folder_ +
                   " -c listen_addresses= -c fsync=off -c full_page_writes=off\" start");
    if (!running_) error_ = "the server did not start: see " + folder_ + "/server.log";
    return running_;
  }

  bool Stop(bool remove) {
    if (!folder_.empty() && running_) {
      Run(Bin("pg_ctl") + " -D " + folder_ + "/data -w -t 60 -m immediate stop");
      running_ = false;
    }
    if (remove && !folder_.empty()) {
      std::error_code ec;
      std::filesystem::remove_all(folder_, ec);
      folder_.clear();
    }
    return true;
  }

  std::string bin_;
  std::string folder_;
  std::string error_;
  bool running_ = false;
  int databases_ = 0;
};

// The one server of a test program, started at its first use.
inline PostgresServer& SharedPostgresServer() {
  static std::unique_ptr<PostgresServer> server = std::make_unique<PostgresServer>();
  return *server;
}

}  // namespace vantiro::testing
