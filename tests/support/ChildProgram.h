#pragma once
// A built program run as a child process the way a shell would start it, with the unfriendly
// settings a test needs: a file-size limit, another user, a kill at a moment of the test's choice.

#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace vantiro::testing {

struct ChildExit {
  bool signalled = false;
  int code = -1;  // the exit status, or the signal
};

struct ChildOptions {
  rlim_t fileSizeLimit = 0;     // bytes; 0: none
  std::string stdoutPath;       // empty: /dev/null
  std::string stderrPath;       // empty: /dev/null
  std::string user;             // run as this user (the test runs as root); empty: as the test
  std::vector<std::pair<std::string, std::string>> environment;  // set in the child
};

class ChildProgram {
 public:
  ChildProgram(const std::string& program, const std::vector<std::string>& args, const ChildOptions& options = {}) {
    pid_ = ::fork();
    if (pid_ != 0) return;
    // The child: SIGXFSZ and the stop signals at their defaults, as a shell leaves them.
    std::signal(SIGXFSZ, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    std::signal(SIGTERM, SIG_DFL);
    const int out = ::open(options.stdoutPath.empty() ? "/dev/null" : options.stdoutPath.c_str(),
                           O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(options.stderrPath.empty() ? "/dev/null" : options.stderrPath.c_str(),
                           O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) ::_exit(120);
    ::dup2(out, 1);
    ::dup2(err, 2);
    for (const auto& [name, value] : options.environment) ::setenv(name.c_str(), value.c_str(), 1);
    if (options.fileSizeLimit > 0) {
      rlimit limit{};
      ::getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = options.fileSizeLimit;
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(121);
    }
    if (!options.user.empty()) {
      const passwd* user = ::getpwnam(options.user.c_str());
      if (!user || ::setgid(user->pw_gid) != 0 || ::setuid(user->pw_uid) != 0) ::_exit(123);
      ::setenv("HOME", "/nonexistent", 1);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::execv(program.c_str(), argv.data());
    ::_exit(122);
  }
  ~ChildProgram() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      Wait();
    }
  }
  ChildProgram(const ChildProgram&) = delete;
  ChildProgram& operator=(const ChildProgram&) = delete;

  void Signal(int signal) { ::kill(pid_, signal); }
  ChildExit Wait() {
    int status = 0;
    ::waitpid(pid_, &status, 0);
    waited_ = true;
    if (WIFSIGNALED(status)) return {true, WTERMSIG(status)};
    return {false, WEXITSTATUS(status)};
  }

 private:
  pid_t pid_ = -1;
  bool waited_ = false;
};

inline ChildExit RunChild(const std::string& program, const std::vector<std::string>& args,
                          const ChildOptions& options = {}) {
  ChildProgram child(program, args, options);
  return child.Wait();
}

}  // namespace vantiro::testing
