// vantiro-archive and vantiro-convert on an archive, as processes: what is not an archive, a
// read-only archive, imports that meet a file-size limit, a kill, or each other.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/ChildProgram.h"
#include "support/PostgresServer.h"
#include "support/RecorderFileBuilder.h"
#include "support/NonRegularFiles.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using namespace vantiro::testing;

std::string Bin(const char* name) { return std::string(VANTIRO_BIN_DIR) + "/" + name; }

// A recorder file of `channels` channels, `blocks` full blocks each (8,186 samples a block, one a
// second from 2010-05-12 00:00:00 + `offsetSeconds`), noisy values.
std::string WriteLongRecording(const std::string& path, int channels, int blocks, std::int32_t offsetSeconds = 0) {
  constexpr std::size_t kPerBlock = (kBlock - 12) / 2;
  RecorderFileBuilder file;
  const std::int32_t start = RecorderSeconds(2010, 5, 12, 0, 0, 0) + offsetSeconds;
  const std::int32_t end = start + blocks * static_cast<std::int32_t>(kPerBlock) - 1;
  auto field = [](std::int32_t s) {
    const int day = s / 86400 - RecorderSeconds(2010, 5, 12, 0, 0, 0) / 86400;
    const int rest = s % 86400;
    return FieldTime{10, 5, 12 + day, rest / 3600, rest / 60 % 60, rest % 60};
  };
  file.Window(field(start), field(end)).Channels(0, channels - 1);
  std::mt19937 random(static_cast<unsigned>(channels * 1000 + blocks + offsetSeconds));
  std::normal_distribution<double> noise(0.0, 4.0);
  for (int c = 0; c < channels; ++c) {
    file.Range(c, 30000, 0, 2, 19);
    std::int32_t t = start;
    for (int b = 0; b < blocks; ++b) {
      RecordSpec record{t, 1, std::vector<std::int16_t>(kPerBlock)};
      for (std::size_t k = 0; k < kPerBlock; ++k) {
        record.samples[k] = static_cast<std::int16_t>(10000 + 100 * c + std::lround(noise(random)));
      }
      file.Block(c).Chain({record});
      t += static_cast<std::int32_t>(kPerBlock);
    }
  }
  file.WriteTo(path);
  return path;
}

struct Outcome {
  ChildExit exit;
  std::string out;
  std::string err;
};

class ArchiveProgramTest : public ::testing::Test {
 protected:
  Outcome Run(const char* program, const std::vector<std::string>& args, ChildOptions options = {}) {
    options.stdoutPath = dir_.File("out.txt");
    options.stderrPath = dir_.File("err.txt");
    const ChildExit exit = RunChild(Bin(program), args, options);
    return {exit, ReadText(dir_.File("out.txt")), ReadText(dir_.File("err.txt"))};
  }
  Outcome Archive(const std::string& archive, std::vector<std::string> args, ChildOptions options = {}) {
    args.insert(args.begin(), {"--archive", archive});
    return Run("vantiro-archive", args, options);
  }
  // The dump of a file and of the recorder holding it alone must be the same text.
  void ExpectSameDump(const std::string& archive, const std::string& recorder, const std::string& file) {
    const Outcome fromFile = Run("vantiro-convert", {"dump", file});
    const Outcome fromArchive = Run("vantiro-convert", {"dump", "--archive", archive, "--recorder", recorder});
    EXPECT_EQ(fromArchive.exit.code, 0) << fromArchive.err;
    EXPECT_EQ(fromArchive.out, fromFile.out);
  }

  TempDir dir_;
};

TEST_F(ArchiveProgramTest, WhatIsNotAnArchiveIsRefusedAndLeftUntouched) {
  const std::string recording = WriteLongRecording(dir_.File("rec.bin"), 1, 1);
  WriteText(dir_.File("text.txt"), "not a database\n");
  WriteText(dir_.File("empty.sqlite"), "");
  fs::create_directory(dir_.Path() / "folder");
  ASSERT_TRUE(MakeFifo(dir_.File("fifo")));
  for (const std::string& path :
       {dir_.File("text.txt"), recording, dir_.File("empty.sqlite"), dir_.File("folder"), dir_.File("fifo")}) {
    SCOPED_TRACE(path);
    const mode_t type = NodeType(path);
    const std::string before = type == S_IFREG ? ReadText(path) : std::string();
    for (const std::vector<std::string>& command :
         {std::vector<std::string>{"list"}, {"check"}, {"import", recording}, {"forget", "1"}}) {
      const Outcome o = Archive(path, command);
      EXPECT_FALSE(o.exit.signalled);
      EXPECT_EQ(o.exit.code, 1) << command[0];
      EXPECT_EQ(std::count(o.err.begin(), o.err.end(), '\n'), 1) << o.err;
      EXPECT_EQ(o.err.rfind("error: ", 0), 0u) << o.err;
    }
    const Outcome dump = Run("vantiro-convert", {"dump", "--archive", path, "--recorder", "r"});
    EXPECT_EQ(dump.exit.code, 1);
    EXPECT_EQ(NodeType(path), type);
    if (type == S_IFREG) {
      EXPECT_EQ(ReadText(path), before);
    }
  }
  EXPECT_TRUE(fs::is_empty(dir_.Path() / "folder"));
}

TEST_F(ArchiveProgramTest, ImportSaysWhatBecameOfEachSourceAndItsStatusTellsTheWorst) {
  const std::string archive = dir_.File("a.sqlite");
  fs::create_directories(dir_.Path() / "kiln" / "may");
  const std::string a = WriteLongRecording((dir_.Path() / "kiln" / "a.bin").string(), 2, 1);
  const std::string b = WriteLongRecording((dir_.Path() / "kiln" / "may" / "b.DAT").string(), 2, 1, 8186);
  WriteText((dir_.Path() / "kiln" / "notes.txt").string(), "not a recording");
  WriteText((dir_.Path() / "kiln" / "broken.bin").string(), std::string(100, 'x'));
  Outcome o = Archive(archive, {"import", (dir_.Path() / "kiln").string()});
  EXPECT_EQ(o.exit.code, 1) << o.err;  // broken.bin could not be read
  EXPECT_NE(o.out.find("imported " + a + " into kiln: 16372 samples, 16372 new"), std::string::npos) << o.out;
  EXPECT_NE(o.out.find("imported " + b + " into may:"), std::string::npos) << o.out;  // its own folder
  EXPECT_NE(o.out.find("skipped " + (dir_.Path() / "kiln" / "broken.bin").string() + ": "), std::string::npos);
  EXPECT_EQ(o.out.find("notes.txt"), std::string::npos);
  // Everything there already: status 0. Into a recorder named on the command line: new.
  o = Archive(archive, {"import", a});
  EXPECT_EQ(o.exit.code, 0);
  EXPECT_NE(o.out.find("skipped " + a + ": already imported into kiln"), std::string::npos) << o.out;
  o = Archive(archive, {"import", "--recorder", "line 2", a, b});
  EXPECT_EQ(o.exit.code, 0) << o.err;
  o = Archive(archive, {"list"});
  EXPECT_EQ(o.exit.code, 0);
  for (const char* recorder : {"recorder kiln\n", "recorder may\n", "recorder line 2\n"}) {
    EXPECT_NE(o.out.find(recorder), std::string::npos) << o.out;
  }
  ExpectSameDump(archive, "kiln", a);
  o = Archive(archive, {"check"});
  EXPECT_EQ(o.exit.code, 0) << o.out;
  o = Archive(archive, {"import", dir_.File("missing.bin")});
  EXPECT_EQ(o.exit.code, 1);
  EXPECT_EQ(Archive(archive, {"import"}).exit.code, 2);
  EXPECT_EQ(Archive(archive, {"forget", "x"}).exit.code, 2);
}

TEST_F(ArchiveProgramTest, AReadOnlyArchiveIsReadButNotWritten) {
  const std::string recording = WriteLongRecording(dir_.File("rec.bin"), 2, 1);
  fs::create_directory(dir_.Path() / "ro");
  const std::string archive = (dir_.Path() / "ro" / "a.sqlite").string();
  ASSERT_EQ(Archive(archive, {"import", "--recorder", "r", recording}).exit.code, 0);
  // Readable by everyone, writable by its owner only; the test runs as root, so the reader is
  // another user.
  fs::permissions(dir_.Path(), fs::perms::owner_all | fs::perms::group_exec | fs::perms::others_exec |
                                   fs::perms::group_read | fs::perms::others_read);
  fs::permissions(dir_.Path() / "ro", fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                          fs::perms::others_read | fs::perms::others_exec);
  fs::permissions(archive, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                               fs::perms::others_read);
  fs::permissions(recording, fs::perms::owner_read | fs::perms::owner_write | fs::perms::others_read);
  ChildOptions asNobody;
  if (::geteuid() == 0) {
    asNobody.user = "nobody";
  } else {
    fs::permissions(archive, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  }
  const std::string before = ReadText(archive);
  Outcome o = Archive(archive, {"list"}, asNobody);
  EXPECT_EQ(o.exit.code, 0) << o.err;
  EXPECT_NE(o.out.find("(read-only)"), std::string::npos) << o.out;
  o = Run("vantiro-convert", {"dump", "--archive", archive, "--recorder", "r"}, asNobody);
  EXPECT_EQ(o.exit.code, 0) << o.err;
  EXPECT_EQ(o.out, Run("vantiro-convert", {"dump", recording}).out);
  o = Run("vantiro-convert", {"csv", "--archive", archive, "--recorder", "r", "--utf8"}, asNobody);
  EXPECT_EQ(o.exit.code, 0) << o.err;
  o = Archive(archive, {"import", "--recorder", "r2", recording}, asNobody);
  EXPECT_EQ(o.exit.code, 1);
  EXPECT_NE(o.err.find("cannot be written"), std::string::npos) << o.err;
  EXPECT_EQ(ReadText(archive), before);
}

TEST_F(ArchiveProgramTest, AFileSizeLimitDuringImportFailsAloudAndChangesNothing) {
  const std::string archive = dir_.File("a.sqlite");
  ASSERT_EQ(Archive(archive, {"import", "--recorder", "r", WriteLongRecording(dir_.File("small.bin"), 1, 1)}).exit.code, 0);
  const std::string big = WriteLongRecording(dir_.File("big.bin"), 16, 4, 8186);
  ChildOptions limited;
  limited.fileSizeLimit = fs::file_size(archive) + 64 * 1024;
  const Outcome o = Archive(archive, {"import", "--recorder", "r", big}, limited);
  EXPECT_FALSE(o.exit.signalled) << "killed by signal " << o.exit.code;
  EXPECT_EQ(o.exit.code, 1);
  EXPECT_NE(o.out.find("failed " + big + ": "), std::string::npos) << o.out << o.err;
  EXPECT_EQ(Archive(archive, {"check"}).exit.code, 0);
  const Outcome list = Archive(archive, {"list"});
  EXPECT_EQ(list.out.find("big.bin"), std::string::npos) << list.out;
  // Without the limit it goes in.
  EXPECT_EQ(Archive(archive, {"import", "--recorder", "r", big}).exit.code, 0);
}

// The archives the process tests run on: a SQLite file, and a database on the tests' own server.
std::vector<std::string> Archives(const TempDir& dir) {
  std::vector<std::string> archives = {dir.File("a.sqlite")};
  PostgresServer& server = SharedPostgresServer();
  if (server.Ok()) {
    archives.push_back(server.NewDatabase());
  } else {
    ADD_FAILURE() << "the test server did not start: " << server.Error();
  }
  return archives;
}

TEST_F(ArchiveProgramTest, AnImportKilledMidFileLeavesTheArchiveWholeAndIsCompletedLater) {
  const std::string first = WriteLongRecording(dir_.File("first.bin"), 16, 1);
  const std::string killed = WriteLongRecording(dir_.File("killed.bin"), 16, 6, 8186);
  for (const std::string& archive : Archives(dir_)) {
    SCOPED_TRACE(archive);
    ASSERT_EQ(Archive(archive, {"import", "--recorder", "r", first}).exit.code, 0);
    for (const int ms : {50, 150, 400, 800}) {
      ChildProgram child(Bin("vantiro-archive"), {"--archive", archive, "import", "--recorder", "r", killed});
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      child.Signal(SIGKILL);
      child.Wait();
      const Outcome check = Archive(archive, {"check"});
      EXPECT_EQ(check.exit.code, 0) << check.out << check.err;
      const Outcome list = Archive(archive, {"list"});
      if (list.out.find("killed.bin") != std::string::npos) break;  // it had finished
    }
    const Outcome again = Archive(archive, {"import", "--recorder", "r", killed});
    EXPECT_EQ(again.exit.code, 0) << again.err;
    EXPECT_EQ(Archive(archive, {"check"}).exit.code, 0);
    // The period of the killed file, as its own table gives it (the first file ends before).
    const Outcome fromFile = Run("vantiro-convert", {"csv", killed, "--utf8"});
    const Outcome fromArchive = Run("vantiro-convert", {"csv", "--archive", archive, "--recorder", "r", "--utf8",
                                                        "--from", "2010-05-12 02:16:26", "--to", "2010-05-12 15:55:01"});
    EXPECT_EQ(fromArchive.exit.code, 0) << fromArchive.err;
    EXPECT_EQ(fromArchive.out, fromFile.out);
  }
}

TEST_F(ArchiveProgramTest, AnImportStoppedBySigintOrSigtermSaysSoAndLeavesTheFileOut) {
  const std::string archive = dir_.File("a.sqlite");
  const std::string big = WriteLongRecording(dir_.File("big.bin"), 16, 8);
  ASSERT_EQ(Archive(archive, {"import", "--recorder", "r", WriteLongRecording(dir_.File("small.bin"), 1, 1)}).exit.code, 0);
  for (const int signal : {SIGINT, SIGTERM}) {
    SCOPED_TRACE(signal);
    ChildOptions options;
    options.stderrPath = dir_.File("stopped.txt");
    ChildProgram child(Bin("vantiro-archive"), {"--archive", archive, "import", "--recorder", "r", big}, options);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    child.Signal(signal);
    const ChildExit exit = child.Wait();
    EXPECT_FALSE(exit.signalled);
    EXPECT_EQ(exit.code, 128 + signal);
    EXPECT_NE(ReadText(dir_.File("stopped.txt")).find("stopped"), std::string::npos);
    EXPECT_EQ(Archive(archive, {"check"}).exit.code, 0);
    EXPECT_EQ(Archive(archive, {"list"}).out.find("big.bin"), std::string::npos);
  }
}

TEST_F(ArchiveProgramTest, TwoImportersAtOnceGiveTheUnionOnce) {
  std::vector<std::string> files;
  for (int i = 0; i < 4; ++i) {
    files.push_back(WriteLongRecording(dir_.File("f" + std::to_string(i) + ".bin"), 4, 2, i * 8186));
  }
  for (const std::string& archive : Archives(dir_)) {
    SCOPED_TRACE(archive);
    std::vector<std::string> forwards = {"--archive", archive, "import", "--recorder", "r"};
    std::vector<std::string> backwards = forwards;
    forwards.insert(forwards.end(), files.begin(), files.end());
    backwards.insert(backwards.end(), files.rbegin(), files.rend());
    ChildProgram a(Bin("vantiro-archive"), forwards);
    ChildProgram b(Bin("vantiro-archive"), backwards);
    EXPECT_EQ(a.Wait().code, 0);
    EXPECT_EQ(b.Wait().code, 0);
    EXPECT_EQ(Archive(archive, {"check"}).exit.code, 0);
    const Outcome list = Archive(archive, {"list"});
    // Five blocks' worth of seconds for each of 4 channels, every one once.
    EXPECT_NE(list.out.find("channel 1 unit ℃ range 0.00..300.00, 40930 samples"), std::string::npos) << list.out;
    std::size_t sources = 0;
    for (std::size_t at = list.out.find("  source "); at != std::string::npos; at = list.out.find("  source ", at + 1)) ++sources;
    EXPECT_EQ(sources, files.size());
  }
}

}  // namespace
}  // namespace vantiro
