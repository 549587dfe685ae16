// The built programs as processes, writing where writing goes wrong: past the file-size limit
// (ulimit -f), into a FIFO or a device named by -o. A write that fails is reported with status 1;
// nothing kills a program, nothing leaves a temporary file, nothing replaces a special file.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "support/RecorderFileBuilder.h"
#include "support/NonRegularFiles.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::FileNames;
using testing::NodeType;
using testing::ReadText;
using testing::RecorderFileBuilder;
using testing::RecorderSeconds;
using testing::TempDir;
using testing::WriteText;

struct Exit {
  bool signalled = false;
  int code = -1;  // the exit status, or the signal
};

// Runs `program` with `args` under a file-size limit of `limitBytes` (none when 0), standard output
// to `stdoutPath` (/dev/null when empty), standard error to `stderrPath`. The child starts with
// SIGXFSZ at its default disposition, as a shell would start it: the program must ignore it itself.
Exit RunProgram(const std::string& program, const std::vector<std::string>& args, rlim_t limitBytes,
                const std::string& stdoutPath, const std::string& stderrPath) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    std::signal(SIGXFSZ, SIG_DFL);
    const int out = ::open(stdoutPath.empty() ? "/dev/null" : stdoutPath.c_str(),
                           O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int err = ::open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0 || err < 0) ::_exit(120);
    ::dup2(out, 1);
    ::dup2(err, 2);
    if (limitBytes > 0) {
      rlimit limit{};
      ::getrlimit(RLIMIT_FSIZE, &limit);
      limit.rlim_cur = limitBytes;
      if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(121);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::execv(program.c_str(), argv.data());
    ::_exit(122);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (WIFSIGNALED(status)) return {true, WTERMSIG(status)};
  return {false, WEXITSTATUS(status)};
}

std::string Bin(const char* name) { return std::string(VANTIRO_BIN_DIR) + "/" + name; }

// Two channels of 3000 samples a second apart: a table of about 200 KB, a chart with lines.
std::string WriteRecording(const TempDir& dir) {
  RecorderFileBuilder file;
  file.Window({10, 5, 12, 0, 0, 0}, {10, 5, 13, 0, 0, 0}).Channels(0, 1);
  file.Range(0, 30000, 0, 3, 19).Range(1, 30000, 0, 3, 20);
  std::vector<std::int16_t> samples;
  for (int i = 0; i < 3000; ++i) samples.push_back(static_cast<std::int16_t>(i % 700));
  file.Block(0).Chain({{RecorderSeconds(2010, 5, 12, 10, 0, 0), 1, samples}});
  file.Block(1).Chain({{RecorderSeconds(2010, 5, 12, 10, 0, 0), 1, samples}});
  const std::string path = dir.File("rec.bin");
  file.WriteTo(path);
  return path;
}

TEST(OutputLimitsTest, EveryWriterPastTheFileSizeLimitFailsAloudAndKeepsThePreviousFile) {
  TempDir dir;
  const std::string recording = WriteRecording(dir);
  fs::create_directory(dir.Path() / "out");
  const std::string out = (dir.Path() / "out" / "result").string();
  const std::string err = dir.File("err.txt");
  struct Case {
    const char* name;
    std::string program;
    std::vector<std::string> args;
    bool toStdout;  // the output is the program's standard output, redirected to `out`
    const char* message;
    rlim_t limit = 600;  // bytes; every output here is larger
  };
  const Case cases[] = {
      {"convert csv -o", Bin("vantiro-convert"), {"csv", recording, "-o", out}, false,
       "文件保存失败，请重试！"},
      {"convert csv to standard output", Bin("vantiro-convert"), {"csv", recording}, true,
       "cannot write the output"},
      {"convert dump", Bin("vantiro-convert"), {"dump", recording}, true, "cannot write the output"},
      {"convert --log", Bin("vantiro-convert"), {"dump", recording, "--log", out}, false,
       "cannot write", 20},
      {"convert png", Bin("vantiro-convert"), {"png", recording, "-o", out}, false, "cannot write"},
      {"convert pdf", Bin("vantiro-convert"), {"pdf", recording, "-o", out}, false, "cannot write"},
      {"convert pdf --chart", Bin("vantiro-convert"), {"pdf", recording, "--chart", "-o", out},
       false, "cannot write"},
      {"vantiro --help", Bin("vantiro"), {"--help"}, true, "", 10},
      {"vantiro-monitor --help", Bin("vantiro-monitor"), {"--help"}, true, "", 10},
      {"vantiro-archive --help", Bin("vantiro-archive"), {"--help"}, true, "", 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!fs::exists(c.program)) GTEST_SKIP() << c.program << " is not built";
    if (!c.toStdout) WriteText(out, "the previous file\n");
    const Exit exit = RunProgram(c.program, c.args, c.limit, c.toStdout ? out : std::string(), err);
    EXPECT_FALSE(exit.signalled) << "killed by signal " << exit.code;
    EXPECT_EQ(exit.code, 1);
    EXPECT_NE(ReadText(err).find(c.message), std::string::npos) << ReadText(err);
    if (!c.toStdout) {
      EXPECT_EQ(ReadText(out), "the previous file\n");
    }
    EXPECT_EQ(FileNames(dir.Path() / "out"), std::set<std::string>{"result"});
  }
}

TEST(OutputLimitsTest, TheCommandLineWritesIntoAFifoOrADeviceAndNeverReplacesIt) {
  TempDir dir;
  const std::string recording = WriteRecording(dir);
  const std::string err = dir.File("err.txt");
  const std::string fifo = dir.File("pipe");
  ASSERT_TRUE(testing::MakeFifo(fifo));
  const std::vector<std::vector<std::string>> commands = {
      {"csv", recording, "-o", fifo},
      {"dump", recording, "--log", fifo},
      {"png", recording, "-o", fifo},
      {"pdf", recording, "-o", fifo},
  };
  for (const std::vector<std::string>& args : commands) {
    SCOPED_TRACE(args[0] + " " + args[2]);
    testing::FifoReader reader(fifo);
    const Exit exit = RunProgram(Bin("vantiro-convert"), args, 0, std::string(), err);
    const std::string received = reader.Finish();
    EXPECT_FALSE(exit.signalled);
    EXPECT_EQ(exit.code, 0) << ReadText(err);
    EXPECT_GT(received.size(), 50u);
    EXPECT_EQ(NodeType(fifo), static_cast<mode_t>(S_IFIFO));
  }
  // Devices: one that takes everything, one that refuses every byte (status 1, said so).
  const std::string null = dir.File("null");
  const std::string full = dir.File("full");
  if (!testing::MakeNullDevice(null) || !testing::MakeFullDevice(full)) {
    GTEST_SKIP() << "devices cannot be made here";
  }
  for (const char* command : {"csv", "png", "pdf"}) {
    SCOPED_TRACE(command);
    Exit exit = RunProgram(Bin("vantiro-convert"), {command, recording, "-o", null}, 0, {}, err);
    EXPECT_EQ(exit.code, 0) << ReadText(err);
    exit = RunProgram(Bin("vantiro-convert"), {command, recording, "-o", full}, 0, {}, err);
    EXPECT_FALSE(exit.signalled);
    EXPECT_EQ(exit.code, 1);
    EXPECT_NE(ReadText(err).find(full), std::string::npos) << ReadText(err);
    EXPECT_EQ(NodeType(null), static_cast<mode_t>(S_IFCHR));
    EXPECT_EQ(NodeType(full), static_cast<mode_t>(S_IFCHR));
  }
  std::set<std::string> expected = {"rec.bin", "err.txt", "pipe", "null", "full"};
  EXPECT_EQ(FileNames(dir.Path()), expected);
}

}  // namespace
}  // namespace vantiro
