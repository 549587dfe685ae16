#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/AtomicFile.h"
#include "support/FileSizeLimit.h"
#include "support/NonRegularFiles.h"
#include "support/TempDir.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::FileNames;
using testing::FileSizeLimit;
using testing::MakeFifo;
using testing::MakeFullDevice;
using testing::MakeNullDevice;
using testing::MakeSocketNode;
using testing::NodeType;
using testing::ReadText;
using testing::TempDir;
using testing::WriteText;

std::string Text(std::size_t bytes) {
  std::string text;
  for (std::size_t i = 0; i < bytes; ++i) text += static_cast<char>('a' + i % 26);
  return text;
}

TEST(AtomicFileTest, CommitPutsTheWholeContentInPlace) {
  struct Case {
    const char* name;
    bool existing;             // a file of that name is there before
    std::size_t chunks;        // written in this many pieces
    std::size_t chunkBytes;
  };
  const Case cases[] = {
      {"new file, one write", false, 1, 100},
      {"new file, many writes", false, 1000, 37},
      {"replaces a longer file", true, 1, 5},
      {"replaces a file, many writes", true, 300, 1000},
      {"empty content", true, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const std::string target = dir.File("out.csv");
    if (c.existing) WriteText(target, Text(100000) + "old");
    AtomicFile file(target);
    ASSERT_TRUE(file.IsOpen());
    std::string expected;
    for (std::size_t i = 0; i < c.chunks; ++i) {
      const std::string piece = Text(c.chunkBytes) + std::to_string(i);
      expected += piece;
      ASSERT_TRUE(file.Write(piece));
    }
    // Nothing shows at the target's name before the commit.
    if (c.existing) {
      EXPECT_EQ(ReadText(target), Text(100000) + "old");
    } else {
      EXPECT_FALSE(fs::exists(target));
    }
    ASSERT_TRUE(file.Commit());
    EXPECT_EQ(file.Error(), 0);
    EXPECT_EQ(ReadText(target), expected);
    EXPECT_EQ(FileNames(dir.Path()), std::set<std::string>{"out.csv"});
  }
}

TEST(AtomicFileTest, AReplacedFileKeepsItsPermissions) {
  TempDir dir;
  const std::string target = dir.File("kept.csv");
  WriteText(target, "old");
  ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
  ASSERT_TRUE(WriteFileAtomically(target, "new"));
  struct stat info {};
  ASSERT_EQ(::stat(target.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0640u);
  EXPECT_EQ(ReadText(target), "new");
}

TEST(AtomicFileTest, AWriteFailingMidwayKeepsThePreviousFileAndLeavesNoTemporary) {
  for (const bool existing : {true, false}) {
    SCOPED_TRACE(existing ? "over an existing file" : "a new file");
    TempDir dir;
    const std::string target = dir.File("out.csv");
    if (existing) WriteText(target, "the previous content\n");
    {
      FileSizeLimit limit(4096);
      AtomicFile file(target);
      ASSERT_TRUE(file.IsOpen());
      bool failed = false;
      int writes = 0;
      for (; writes < 100 && !failed; ++writes) failed = !file.Write(Text(1000));
      EXPECT_TRUE(failed);
      EXPECT_EQ(writes, 5);  // 4,000 bytes fit, the fifth thousand does not
      EXPECT_EQ(file.Error(), EFBIG);
      EXPECT_FALSE(file.Write("more"));
      EXPECT_FALSE(file.Commit());
      EXPECT_FALSE(file.IsOpen());
    }
    if (existing) {
      EXPECT_EQ(ReadText(target), "the previous content\n");
      EXPECT_EQ(FileNames(dir.Path()), std::set<std::string>{"out.csv"});
    } else {
      EXPECT_TRUE(FileNames(dir.Path()).empty());
    }
    // The same through the one-call form.
    FileSizeLimit limit(10);
    EXPECT_FALSE(WriteFileAtomically(target, Text(11)));
    EXPECT_EQ(fs::exists(target), existing);
    EXPECT_LE(FileNames(dir.Path()).size(), 1u);
  }
}

TEST(AtomicFileTest, NoCommitMeansNoChange) {
  TempDir dir;
  const std::string target = dir.File("out.csv");
  WriteText(target, "old");
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.Write("new content"));
  }  // gone without a commit
  {
    AtomicFile file(target);
    ASSERT_TRUE(file.Write("new content"));
    file.Discard();
    EXPECT_FALSE(file.Commit());
  }
  EXPECT_EQ(ReadText(target), "old");
  EXPECT_EQ(FileNames(dir.Path()), std::set<std::string>{"out.csv"});
}

TEST(AtomicFileTest, ATargetThatCannotBeWrittenIsAnOpenFailure) {
  TempDir dir;
  fs::create_directory(dir.Path() / "folder");
  struct Case {
    const char* name;
    std::string target;
    int error;
  };
  const Case cases[] = {
      {"a missing folder", dir.File("missing/out.csv"), ENOENT},
      {"a folder", dir.File("folder"), EISDIR},
      {"a name ending in a slash", dir.File("out.csv/"), EISDIR},
      {"no name", "", EISDIR},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    AtomicFile file(c.target);
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Error(), c.error);
    EXPECT_FALSE(file.Write("x"));
    EXPECT_FALSE(file.Commit());
    EXPECT_FALSE(WriteFileAtomically(c.target, "x"));
  }
  EXPECT_EQ(FileNames(dir.Path()), std::set<std::string>{"folder"});
  EXPECT_TRUE(fs::is_empty(dir.Path() / "folder"));
}

TEST(AtomicFileTest, ASymbolicLinkStaysALinkToTheNewContent) {
  TempDir dir;
  fs::create_directory(dir.Path() / "real");
  const fs::path real = dir.Path() / "real" / "data.csv";
  WriteText(real.string(), "old");
  const fs::path link = dir.Path() / "link.csv";
  fs::create_symlink(real, link);
  ASSERT_TRUE(WriteFileAtomically(link.string(), "new"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadText(real.string()), "new");
  EXPECT_EQ(FileNames(dir.Path()), (std::set<std::string>{"link.csv", "real"}));
  EXPECT_EQ(FileNames(dir.Path() / "real"), std::set<std::string>{"data.csv"});
}

TEST(AtomicFileTest, TheWindowsSavesRefuseASpecialFileAndLeaveItAsItWas) {
  TempDir dir;
  const std::string fifo = dir.File("pipe.csv");
  ASSERT_TRUE(MakeFifo(fifo));
  const std::string socket = dir.File("sock.csv");
  ASSERT_TRUE(MakeSocketNode(socket));
  const std::string device = dir.File("null.csv");
  const bool haveDevice = MakeNullDevice(device);
  const fs::path linkToFifo = dir.Path() / "link.csv";
  fs::create_symlink(fifo, linkToFifo);
  struct Case {
    const char* name;
    std::string target;
    std::string node;  // what must stay as it was
    mode_t type;
  };
  std::vector<Case> cases = {
      {"a FIFO", fifo, fifo, S_IFIFO},
      {"a socket", socket, socket, S_IFSOCK},
      {"a link to a FIFO", linkToFifo.string(), fifo, S_IFIFO},
  };
  if (haveDevice) cases.push_back({"a character device", device, device, S_IFCHR});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(IsSpecialTarget(c.target));
    AtomicFile file(c.target);  // the window's way
    EXPECT_FALSE(file.IsOpen());
    EXPECT_EQ(file.Error(), ENOTSUP);
    EXPECT_FALSE(file.Write("x"));
    EXPECT_FALSE(file.Commit());
    EXPECT_FALSE(WriteFileAtomically(c.target, "x"));
    EXPECT_EQ(NodeType(c.node), c.type);
  }
  EXPECT_EQ(NodeType(linkToFifo.string()), static_cast<mode_t>(S_IFLNK));
  std::set<std::string> names = {"pipe.csv", "sock.csv", "link.csv"};
  if (haveDevice) names.insert("null.csv");
  EXPECT_EQ(FileNames(dir.Path()), names);
  EXPECT_FALSE(IsSpecialTarget(dir.File("missing.csv")));
  WriteText(dir.File("plain.csv"), "x");
  EXPECT_FALSE(IsSpecialTarget(dir.File("plain.csv")));
}

TEST(AtomicFileTest, TheCommandLineWritesStraightIntoASpecialFileAndNeverRenamesOverIt) {
  TempDir dir;
  // A FIFO with a reader: every byte arrives, the FIFO stays a FIFO, nothing else appears.
  {
    const std::string fifo = dir.File("out.csv");
    ASSERT_TRUE(MakeFifo(fifo));
    testing::FifoReader reader(fifo);
    AtomicFile file(fifo, SpecialTarget::WriteInto);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_TRUE(file.WritesInto());
    const std::string text = Text(200000);  // more than a pipe holds at once
    EXPECT_TRUE(file.Write(text));
    EXPECT_TRUE(file.Commit());
    EXPECT_EQ(reader.Finish(), text);
    EXPECT_EQ(NodeType(fifo), static_cast<mode_t>(S_IFIFO));
    EXPECT_EQ(FileNames(dir.Path()), std::set<std::string>{"out.csv"});
  }
  // A device that takes everything stays the device; one that refuses the bytes is a failed
  // write, not a success.
  const std::string null = dir.File("null");
  const std::string full = dir.File("full");
  if (MakeNullDevice(null) && MakeFullDevice(full)) {
    EXPECT_TRUE(WriteFileAtomically(null, Text(5000), SpecialTarget::WriteInto));
    EXPECT_EQ(NodeType(null), static_cast<mode_t>(S_IFCHR));
    AtomicFile file(full, SpecialTarget::WriteInto);
    ASSERT_TRUE(file.IsOpen());
    EXPECT_FALSE(file.Write("x"));
    EXPECT_EQ(file.Error(), ENOSPC);
    EXPECT_FALSE(file.Commit());
    EXPECT_EQ(NodeType(full), static_cast<mode_t>(S_IFCHR));
    fs::remove(null);
    fs::remove(full);
  }
  // A socket cannot be opened for writing: an open failure, the node left.
  const std::string socket = dir.File("sock.csv");
  ASSERT_TRUE(MakeSocketNode(socket));
  AtomicFile file(socket, SpecialTarget::WriteInto);
  EXPECT_FALSE(file.IsOpen());
  EXPECT_NE(file.Error(), 0);
  EXPECT_EQ(NodeType(socket), static_cast<mode_t>(S_IFSOCK));
  // A regular file is still replaced as a whole.
  const std::string regular = dir.File("plain.csv");
  WriteText(regular, "old");
  AtomicFile plain(regular, SpecialTarget::WriteInto);
  ASSERT_TRUE(plain.IsOpen());
  EXPECT_FALSE(plain.WritesInto());
  ASSERT_TRUE(plain.Write("new"));
  EXPECT_EQ(ReadText(regular), "old");
  ASSERT_TRUE(plain.Commit());
  EXPECT_EQ(ReadText(regular), "new");
}

TEST(AtomicFileTest, ANameWithoutAFolderIsInTheWorkingDirectory) {
  TempDir dir;
  const fs::path before = fs::current_path();
  fs::current_path(dir.Path());
  const bool written = WriteFileAtomically("here.csv", "text");
  fs::current_path(before);
  EXPECT_TRUE(written);
  EXPECT_EQ(ReadText(dir.File("here.csv")), "text");
  EXPECT_EQ(FileNames(dir.Path()), std::set<std::string>{"here.csv"});
}

}  // namespace
}  // namespace vantiro
