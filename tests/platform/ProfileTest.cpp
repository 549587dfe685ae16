#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "support/TempDir.h"
#include "platform/Profile.h"

namespace vantiro {
namespace {

using testing::FileNames;
using testing::ReadText;
using testing::TempDir;
using testing::WriteText;

// A settings file as a person edits it: comments, blanks, odd spacing and case, Windows line ends.
constexpr const char* kConfig =
    "; communication settings\r\n"
    "[COM]\r\n"
    "Port=3\r\n"
    "  Baud = 9600  \r\n"
    ";Parity=2\r\n"
    "Name=\"COM 3\"\r\n"
    "Single='x'\r\n"
    "Unbalanced=\"abc\r\n"
    "Expr=a=b\r\n"
    "\r\n"
    "[ Channel ]\r\n"
    "Count=16\r\n"
    "Port=7\r\n";

class ProfileTest : public ::testing::Test {
 protected:
  TempDir dir_;
  std::string path_ = dir_.File("config.ini");
};

TEST_F(ProfileTest, MissingFileSectionOrKeyReadsTheDefault) {
  const std::string missing = dir_.File("none.ini");
  EXPECT_EQ(ReadProfileString(missing, "COM", "Port", "dflt"), "dflt");
  EXPECT_EQ(ReadProfileInt(missing, "COM", "Port", 42), 42);
  EXPECT_FALSE(std::filesystem::exists(missing));  // reading creates nothing

  WriteText(path_, kConfig);
  EXPECT_EQ(ReadProfileString(path_, "DEVICE", "COM1", "dflt"), "dflt");
  EXPECT_EQ(ReadProfileInt(path_, "DEVICE", "COM1", -5), -5);
  EXPECT_EQ(ReadProfileString(path_, "COM", "StopBits", "dflt"), "dflt");
  EXPECT_EQ(ReadProfileInt(path_, "COM", "StopBits", 1), 1);
  EXPECT_EQ(ReadProfileInt(path_, "COM", "Count", 9), 9);      // a key of another section
  EXPECT_EQ(ReadProfileInt(path_, "COM", "Parity", 9), 9);     // commented out
  EXPECT_EQ(ReadProfileInt(path_, "COM", ";Parity", 9), 9);
}

TEST_F(ProfileTest, ReadsStringsTrimmedAndUnquoted) {
  WriteText(path_, kConfig);
  const ProfileFile profile = ProfileFile::Load(path_);
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  };
  const Case cases[] = {
      {"COM", "Port", "3"},          {"COM", "Baud", "9600"},
      {"COM", "Name", "COM 3"},      {"COM", "Single", "x"},
      {"COM", "Unbalanced", "\"abc"}, {"COM", "Expr", "a=b"},
      {"Channel", "Count", "16"},    {"Channel", "Port", "7"},
      {"com", "PORT", "3"},          {"CHANNEL", "count", "16"},
      {"cOm", "bAUD", "9600"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(profile.ReadString(c.section, c.key, "dflt"), c.expected);
    EXPECT_EQ(ReadProfileString(path_, c.section, c.key, "dflt"), c.expected);
    EXPECT_TRUE(profile.HasKey(c.section, c.key));
  }
  EXPECT_TRUE(profile.HasSection("channel"));
  EXPECT_FALSE(profile.HasSection("DEVICE"));
  EXPECT_FALSE(profile.HasKey("COM", "Count"));
}

TEST_F(ProfileTest, ReadIntTakesTheNumberAtTheStartOfTheValue) {
  struct Case {
    const char* value;
    int expected;
  };
  const Case cases[] = {
      {"12", 12},          {"12abc", 12},        {"-3", -3},
      {"+7", 7},           {"abc", 0},           {"-", 0},
      {" 42 ", 42},        {"\"5\"", 5},         {"'-6'", -6},
      {"007", 7},          {"1 2", 1},           {"3.9", 3},
      {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
      {"99999999999", INT_MAX}, {"-99999999999", INT_MIN},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    WriteText(path_, std::string("[COM]\nValue=") + c.value + "\n");
    EXPECT_EQ(ReadProfileInt(path_, "COM", "Value", 1234), c.expected);
    EXPECT_EQ(ReadProfileInt(path_, "com", "VALUE", 1234), c.expected);
  }
}

TEST_F(ProfileTest, WritingCreatesTheFile) {
  ASSERT_FALSE(std::filesystem::exists(path_));
  ASSERT_TRUE(WriteProfileString(path_, "COM", "Port", "4"));
  EXPECT_EQ(ReadText(path_), "[COM]\nPort=4\n");
  EXPECT_EQ(ReadProfileInt(path_, "COM", "Port", 0), 4);
  EXPECT_FALSE(std::filesystem::exists(path_ + ".tmp"));
}

TEST_F(ProfileTest, WritingKeepsEverythingElse) {
  WriteText(path_,
            "; settings\n"
            "[COM]\n"
            "Port=3\n"
            "; the line speed\n"
            "Baud=9600\n"
            "\n"
            "[CHANNEL]\n"
            "Count=16\n");
  struct Step {
    const char* section;
    const char* key;
    const char* value;
  };
  // A changed key keeps its place; a new key goes after the last line of its section, before the
  // blank line that separates it; a new section goes at the end. Names match without case.
  const Step steps[] = {
      {"com", "Baud", "19200"},
      {"COM", "Parity", "2"},
      {"Device", "COM1", "/dev/ttyUSB0"},
      {"channel", "Count", "8"},
  };
  for (const Step& s : steps) ASSERT_TRUE(WriteProfileString(path_, s.section, s.key, s.value));
  EXPECT_EQ(ReadText(path_),
            "; settings\n"
            "[COM]\n"
            "Port=3\n"
            "; the line speed\n"
            "Baud=19200\n"
            "Parity=2\n"
            "\n"
            "[CHANNEL]\n"
            "Count=8\n"
            "[Device]\n"
            "COM1=/dev/ttyUSB0\n");
  EXPECT_EQ(ReadProfileInt(path_, "COM", "Baud", 0), 19200);
  EXPECT_EQ(ReadProfileString(path_, "DEVICE", "com1", ""), "/dev/ttyUSB0");
}

// The in-memory form (Parse, WriteString, Text) behind the file functions, on what hand-edited and
// damaged files hold. Each case writes one key: the text written is exact, the key reads back,
// every listed reading is the same before and after, and the file functions give the same bytes.
TEST_F(ProfileTest, WritingAKeyInMemoryKeepsEveryOtherReading) {
  using namespace std::string_literals;
  struct Reading {
    const char* section;
    const char* key;
    const char* value;  // nullptr: missing
  };
  struct Case {
    const char* name;
    std::string text;
    const char* section;
    const char* key;
    const char* value;
    std::string written;
    std::vector<Reading> readings;
  };
  const std::string bom = "\xEF\xBB\xBF";
  const Case cases[] = {
      {"byte-order mark kept", bom + "[A]\r\nx=1\r\n", "A", "y", "2", bom + "[A]\r\nx=1\r\ny=2\r\n",
       {{"A", "x", "1"}}},
      // A second mark belongs to the first line: [A] is no section before or after.
      {"two byte-order marks", bom + bom + "[A]\nx=1\n[B]\ny=2\n", "A", "x", "5",
       bom + bom + "[A]\nx=1\n[B]\ny=2\n[A]\nx=5\n", {{"B", "y", "2"}, {"B", "x", nullptr}}},
      {"a mark alone", bom, "A", "x", "1", bom + "[A]\nx=1\n", {}},
      {"empty text", "", "A", "x", "1", "[A]\nx=1\n", {{"B", "x", nullptr}}},
      {"CRLF line ends", "[A]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n", "a", "Z", "3",
       "[A]\r\nx=1\r\nZ=3\r\n\r\n[B]\r\ny=2\r\n",
       {{"A", "x", "1"}, {"B", "y", "2"}, {"B", "z", nullptr}}},
      {"CRLF line ends, a changed key", "[A]\r\nx=1\r\ny=2\r\n", "A", "x", "5",
       "[A]\r\nx=5\r\ny=2\r\n", {{"A", "y", "2"}}},
      {"CRLF line ends, a new section", "[A]\r\nx=1\r\n", "B", "y", "2",
       "[A]\r\nx=1\r\n[B]\r\ny=2\r\n", {{"A", "x", "1"}}},
      // Each line keeps its own line end; a new line takes the one of the line it follows.
      {"mixed line ends", "[A]\r\nx=1\n\n[B]\r\ny=2\r\n", "A", "z", "3",
       "[A]\r\nx=1\nz=3\n\n[B]\r\ny=2\r\n", {{"A", "x", "1"}, {"B", "y", "2"}}},
      {"mixed line ends, after a CRLF line", "[A]\nx=1\r\n[B]\ny=2\n", "A", "z", "3",
       "[A]\nx=1\r\nz=3\r\n[B]\ny=2\n", {{"B", "y", "2"}}},
      // "\r\r\n": one CR goes with the line end, the other stays on the line (unseen by reads)
      // and is written back with it.
      {"two CRs before LF", "[A]\r\r\nx=1\r\r\n", "A", "y", "2", "[A]\r\r\nx=1\r\r\ny=2\r\n",
       {{"A", "x", "1"}}},
      // A CR alone ends no line: "x=1" is text after the header's ']'.
      {"CR alone", "[A]\rx=1\ny=2\n", "A", "x", "3", "[A]\rx=1\ny=2\nx=3\n",
       {{"A", "y", "2"}}},
      {"no line end after the last line", "[A]\nx=1", "A", "y", "2", "[A]\nx=1\ny=2\n",
       {{"A", "x", "1"}}},
      {"no line end after the last line, CRLF before", "[A]\r\nx=1", "A", "y", "2",
       "[A]\r\nx=1\r\ny=2\r\n", {{"A", "x", "1"}}},
      {"no line end, the last key changed", "[A]\nx=1", "A", "x", "2", "[A]\nx=2",
       {{"A", "y", nullptr}}},
      // Found by fuzzing: a CR that ends the text stays on its line, which is given a whole CR LF
      // (an LF alone would join the CR to it as a line end and take it off the line).
      {"a CR at the end of the text", "[A]\nx=1\r", "A", "y", "2", "[A]\nx=1\r\r\ny=2\n",
       {{"A", "x", "1"}}},
      {"no line end, new section", "[A]\nx=1", "B", "y", "2", "[A]\nx=1\n[B]\ny=2\n",
       {{"A", "x", "1"}, {"A", "y", nullptr}}},
      // The first of two sections of one name is the section; the second is never read.
      {"duplicate sections", "[A]\nx=1\n[B]\ny=2\n[a]\nx=9\nz=3\n", "A", "z", "4",
       "[A]\nx=1\nz=4\n[B]\ny=2\n[a]\nx=9\nz=3\n", {{"A", "x", "1"}, {"B", "y", "2"}}},
      {"duplicate keys", "[A]\nx=1\nx=2\ny=3\n", "A", "X", "7", "[A]\nX=7\nx=2\ny=3\n",
       {{"A", "y", "3"}}},
      {"keys before any section", "x=0\n[A]\nx=1\n", "A", "x", "2", "x=0\n[A]\nx=2\n", {}},
      {"keys before any section, new section", "x=0\n[A]\nx=1\n", "B", "x", "5",
       "x=0\n[A]\nx=1\n[B]\nx=5\n", {{"A", "x", "1"}}},
      {"a new key goes after the section's last line that is not blank",
       "[A]\nx=1\n\n; next\n\n[B]\n", "A", "y", "2", "[A]\nx=1\n\n; next\ny=2\n\n[B]\n", {{"A", "x", "1"}, {"B", "y", nullptr}}},
      {"commented key is not the key", "[A]\n;x=1\n", "A", "x", "2", "[A]\n;x=1\nx=2\n", {}},
      {"unclosed header is a line of the section before", "[A]\nx=1\n[B\ny=2\n", "A", "z", "3",
       "[A]\nx=1\n[B\ny=2\nz=3\n", {{"A", "y", "2"}, {"B", "y", nullptr}}},
      {"NUL bytes are text", "[A]\nx=1\0z\n[B]\ny=2\n"s, "B", "y", "3",
       "[A]\nx=1\0z\n[B]\ny=3\n"s, {{"A", "z", nullptr}}},
      {"section named with blanks", "[ A ]\nx=1\n", " a ", "y", "2", "[ A ]\nx=1\ny=2\n",
       {{"A", "x", "1"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ProfileFile before = ProfileFile::Parse(c.text);
    ProfileFile profile = before;
    profile.WriteString(c.section, c.key, c.value);
    EXPECT_EQ(profile.Text(), c.written);
    EXPECT_EQ(WriteProfileText(c.text, c.section, c.key, c.value), c.written);
    const ProfileFile after = ProfileFile::Parse(c.written);
    EXPECT_EQ(after.ReadString(c.section, c.key, "dflt"), c.value);
    EXPECT_EQ(after.Text(), c.written);  // a written text is written again unchanged
    EXPECT_EQ(after.Lines(), profile.Lines());
    for (const Reading& r : c.readings) {
      SCOPED_TRACE(std::string(r.section) + "/" + r.key);
      const std::string expected = r.value ? r.value : "dflt";
      EXPECT_EQ(before.ReadString(r.section, r.key, "dflt"), expected);
      EXPECT_EQ(after.ReadString(r.section, r.key, "dflt"), expected);
      EXPECT_EQ(after.HasKey(r.section, r.key), r.value != nullptr);
    }
    // The file functions are the same parse and text around a read and a write.
    WriteText(path_, c.text);
    EXPECT_EQ(ProfileFile::Load(path_).Text(), before.Text());
    ASSERT_TRUE(WriteProfileString(path_, c.section, c.key, c.value));
    EXPECT_EQ(ReadText(path_), c.written);
  }
}

// Found by fuzzing: loading takes one byte-order mark off, so "[A]" behind a second one is not a
// section. Saving without the mark made the next load take the second one off, and [A]'s keys
// appeared after any key was written.
TEST_F(ProfileTest, WritingKeepsAByteOrderMarkAndWhatStandsBehindIt) {
  const std::string text = "\xEF\xBB\xBF\xEF\xBB\xBF[A]\nx=1\n[B]\ny=2\n";
  WriteText(path_, text);
  ASSERT_FALSE(ProfileFile::Load(path_).HasSection("A"));
  ASSERT_EQ(ReadProfileString(path_, "A", "x", "dflt"), "dflt");
  ASSERT_EQ(ReadProfileString(path_, "B", "y", "dflt"), "2");

  ASSERT_TRUE(WriteProfileString(path_, "B", "z", "3"));
  EXPECT_EQ(ReadText(path_), "\xEF\xBB\xBF\xEF\xBB\xBF[A]\nx=1\n[B]\ny=2\nz=3\n");
  const ProfileFile after = ProfileFile::Load(path_);
  EXPECT_FALSE(after.HasSection("A"));
  EXPECT_EQ(after.ReadString("A", "x", "dflt"), "dflt");
  EXPECT_EQ(after.ReadString("B", "y", "dflt"), "2");
  EXPECT_EQ(after.ReadString("B", "z", "dflt"), "3");

  // One mark stays one mark.
  WriteText(path_, "\xEF\xBB\xBF[A]\nx=1\n");
  ASSERT_TRUE(WriteProfileString(path_, "A", "x", "4"));
  EXPECT_EQ(ReadText(path_), "\xEF\xBB\xBF[A]\nx=4\n");
}

TEST_F(ProfileTest, WritingAKeyNamedInOtherCaseReplacesIt) {
  WriteText(path_, "[COM]\nBaud=9600\nPort=1\n");
  ASSERT_TRUE(WriteProfileString(path_, "com", "BAUD", "19200"));
  const ProfileFile profile = ProfileFile::Load(path_);
  EXPECT_EQ(profile.Lines().size(), 3u);
  EXPECT_EQ(profile.ReadInt("COM", "Baud", 0), 19200);
  EXPECT_EQ(profile.ReadInt("COM", "Port", 0), 1);
}

TEST_F(ProfileTest, WritingAKeyOnlyTouchesItsOwnSection) {
  WriteText(path_, "[A]\nKey=1\n[B]\nKey=2\n[C]\nOther=3\n");
  ASSERT_TRUE(WriteProfileString(path_, "B", "Key", "20"));
  ASSERT_TRUE(WriteProfileString(path_, "C", "Key", "30"));
  EXPECT_EQ(ReadText(path_), "[A]\nKey=1\n[B]\nKey=20\n[C]\nOther=3\nKey=30\n");
}

TEST_F(ProfileTest, AnEmptyValueIsWrittenAndReadBack) {
  ASSERT_TRUE(WriteProfileString(path_, "COM", "Name", ""));
  EXPECT_TRUE(ProfileFile::Load(path_).HasKey("COM", "Name"));
  EXPECT_EQ(ReadProfileString(path_, "COM", "Name", "dflt"), "");
}

TEST_F(ProfileTest, WritingWhereNoFileCanBeMadeFails) {
  const std::string path = dir_.File("no/such/dir/config.ini");
  EXPECT_FALSE(WriteProfileString(path, "COM", "Port", "1"));
  EXPECT_FALSE(std::filesystem::exists(path));
}

// Whatever stands at a settings file's name is untrusted: anything but a regular file of at most
// 1 MB reads as a missing file, without blocking on a FIFO or reading a device without end, and is
// never replaced by a write.
TEST_F(ProfileTest, OnlyARegularFileOfAtMostAMegabyteIsSettings) {
  const std::string fifo = dir_.File("fifo.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string big = dir_.File("big.ini");
  WriteText(big, "[COM]\nPort=3\n" + std::string(kMaxSettingsFileBytes, ';'));
  const std::string full = dir_.File("full.ini");
  std::string exactly = "[COM]\nPort=3\n";
  exactly += std::string(kMaxSettingsFileBytes - exactly.size() - 1, ';') + "\n";
  WriteText(full, exactly);
  struct Case {
    std::string path;
    int port;  // what [COM] Port reads as
  };
  const Case cases[] = {{"/dev/zero", 9}, {fifo, 9}, {dir_.Path().string(), 9}, {big, 9}, {full, 3}};
  for (const Case& c : cases) {
    EXPECT_EQ(ProfileFile::Load(c.path).ReadInt("COM", "Port", 9), c.port) << c.path;
    EXPECT_EQ(ReadProfileInt(c.path, "COM", "Port", 9), c.port) << c.path;
  }
  // A write leaves them as they were.
  for (const std::string& path : {fifo, big}) {
    EXPECT_FALSE(WriteProfileString(path, "COM", "Port", "4")) << path;
  }
  EXPECT_TRUE(std::filesystem::is_fifo(fifo));
  EXPECT_EQ(std::filesystem::file_size(big), 13 + kMaxSettingsFileBytes);
  EXPECT_TRUE(WriteProfileString(full, "COM", "Port", "4"));
  EXPECT_EQ(ReadProfileInt(full, "COM", "Port", 9), 4);
}

// Runs `work` in a child process as a user without privileges: "nobody" when the test runs as
// root (whom no file's mode stops), else as the user the test runs as. Its result, or nothing
// when the child could not become that user.
std::optional<bool> AsUnprivilegedUser(const std::function<bool()>& work) {
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() == 0 && nobody == nullptr) return std::nullopt;
  const uid_t uid = nobody ? nobody->pw_uid : 0;
  const gid_t gid = nobody ? nobody->pw_gid : 0;
  const pid_t child = ::fork();
  if (child == 0) {
    if (::geteuid() == 0 &&
        (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0)) {
      ::_exit(3);
    }
    ::_exit(work() ? 0 : 1);
  }
  int status = 0;
  if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return std::nullopt;
  if (WEXITSTATUS(status) > 1) return std::nullopt;
  return WEXITSTATUS(status) == 0;
}

// Saving writes into the file the name leads to and keeps what is not the settings' own: a
// symbolic link stays a link and its file is the one updated, the mode stays, each line keeps
// its line end (CR LF, LF or a mix), and the file stays the same file. A file this user may not
// write is reported and left as it was, also when its folder would let it be replaced; a file
// that may be written is written also in a read-only folder. The read-only cases run as a user
// without privileges (nobody, when the test runs as root).
TEST_F(ProfileTest, SavingWritesIntoTheFileAndKeepsItsModeLinkAndLineEnds) {
  struct Case {
    const char* name;
    std::string text;
    mode_t mode;
    bool link;          // the settings name is a symbolic link to the file, in another folder
    bool unprivileged;  // saved by a user without privileges
    mode_t folderMode;  // of the file's folder, for the unprivileged user (0: left as it is)
    bool fileOfThatUser;  // the file belongs to the unprivileged user
    bool saved;
    std::string written;  // when saved
  };
  // Two keys written: COM/Port changed, DEVICE/COM1 new, in a section of its own.
  const Case cases[] = {
      {"LF line ends", "; settings\n[COM]\nPort=3\n\n[CHANNEL]\nCH01=1\n", 0644, false, false, 0,
       false, true, "; settings\n[COM]\nPort=4\n\n[CHANNEL]\nCH01=1\n[DEVICE]\nCOM1=/dev/ttyUSB0\n"},
      {"CR LF line ends", "; settings\r\n[COM]\r\nPort=3\r\n\r\n[CHANNEL]\r\nCH01=1\r\n", 0644,
       false, false, 0, false, true,
       "; settings\r\n[COM]\r\nPort=4\r\n\r\n[CHANNEL]\r\nCH01=1\r\n[DEVICE]\r\nCOM1=/dev/ttyUSB0\r\n"},
      {"mixed line ends", "; settings\n[COM]\r\nPort=3\n\n[CHANNEL]\nCH01=1\r\n", 0644, false,
       false, 0, false, true,
       "; settings\n[COM]\r\nPort=4\n\n[CHANNEL]\nCH01=1\r\n[DEVICE]\r\nCOM1=/dev/ttyUSB0\r\n"},
      {"a link to a file of mode 0600", "[COM]\r\nPort=3\r\n", 0600, true, false, 0, false, true,
       "[COM]\r\nPort=4\r\n[DEVICE]\r\nCOM1=/dev/ttyUSB0\r\n"},
      {"a read-only file", "[COM]\nPort=3\n", 0444, false, true, 0777, true, false, ""},
      {"another user's file, read-only for this one, in a folder anybody may write",
       "[COM]\nPort=3\n", 0644, false, true, 0777, false, false, ""},
      {"a writable file in a read-only folder", "[COM]\nPort=3\n", 0666, false, true, 0555, true,
       true, "[COM]\nPort=4\n[DEVICE]\nCOM1=/dev/ttyUSB0\n"},
  };
  const bool root = ::geteuid() == 0;
  const passwd* nobody = ::getpwnam("nobody");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    if (!root && c.unprivileged && !c.fileOfThatUser) {
      // Without privileges the test cannot give a file to another user; its own read-only file
      // is the same refusal.
      continue;
    }
    TempDir dir;
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);  // the unprivileged user may come in
    const std::filesystem::path folder = dir.Path() / "settings";
    std::filesystem::create_directory(folder);
    const std::string file = (folder / "config.ini").string();
    WriteText(file, c.text);
    ASSERT_EQ(::chmod(file.c_str(), c.mode), 0);
    std::string name = file;
    if (c.link) {
      std::filesystem::create_directory(dir.Path() / "program");
      name = (dir.Path() / "program" / "config.ini").string();
      std::filesystem::create_symlink(file, name);
    }
    if (c.unprivileged && root) {
      ASSERT_NE(nobody, nullptr);
      if (c.fileOfThatUser) {
        ASSERT_EQ(::chown(file.c_str(), nobody->pw_uid, nobody->pw_gid), 0);
      }
    }
    if (c.folderMode != 0) {
      ASSERT_EQ(::chmod(folder.c_str(), c.folderMode), 0);
    }
    struct stat before {};
    ASSERT_EQ(::stat(file.c_str(), &before), 0);

    const auto save = [&] {
      ProfileFile profile = ProfileFile::Load(name);
      profile.WriteString("COM", "Port", "4");
      profile.WriteString("DEVICE", "COM1", "/dev/ttyUSB0");
      return profile.Save(name);
    };
    std::optional<bool> saved = c.unprivileged ? AsUnprivilegedUser(save) : save();
    if (!saved) {
      GTEST_SKIP() << "no user without privileges to run as";
    }
    EXPECT_EQ(*saved, c.saved);
    EXPECT_EQ(ReadText(file), c.saved ? c.written : c.text);
    struct stat after {};
    ASSERT_EQ(::stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the file was replaced";
    EXPECT_EQ(after.st_mode & 07777, c.mode);
    EXPECT_EQ(after.st_uid, before.st_uid);
    if (c.link) {
      ASSERT_TRUE(std::filesystem::is_symlink(name)) << "the link was replaced";
      EXPECT_EQ(std::filesystem::read_symlink(name), file);
      EXPECT_EQ(FileNames(dir.Path() / "program"), std::set<std::string>{"config.ini"});
    }
    EXPECT_EQ(FileNames(folder), std::set<std::string>{"config.ini"});  // nothing left beside
    ::chmod(folder.c_str(), 0755);
  }
}

// A text read and saved unchanged is the same bytes: line ends, a missing last line end, CRs
// inside lines, a byte-order mark.
TEST_F(ProfileTest, ATextSavedUnchangedIsTheSameBytes) {
  using namespace std::string_literals;
  const std::string texts[] = {
      "",
      "[A]\nx=1\n",
      "[A]\r\nx=1\r\n",
      "[A]\r\nx=1\n\r\n[B]\ny=2",
      "[A]\r\r\nx=1\r",
      "\r\n\n\r\n",
      "\xEF\xBB\xBF[A]\r\nx=1\r\n",
      "[A]\rx=1\0\r\n"s,
  };
  for (const std::string& text : texts) {
    SCOPED_TRACE(::testing::PrintToString(text));
    EXPECT_EQ(ProfileFile::Parse(text).Text(), text);
    WriteText(path_, text);
    ASSERT_TRUE(ProfileFile::Load(path_).Save(path_));
    EXPECT_EQ(ReadText(path_), text);
  }
}

// A save that the file-size limit would cut short fails before a byte of the file changes.
TEST_F(ProfileTest, ASaveOverTheFileSizeLimitLeavesTheFileAsItWas) {
  const std::string text = "[COM]\r\nPort=3\r\n";
  WriteText(path_, text);
  const pid_t child = ::fork();
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit limit{};
    ::getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 32;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) ::_exit(3);
    ProfileFile profile = ProfileFile::Load(path_);
    profile.WriteString("DEVICE", "COM1", "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART-if00-port0");
    ::_exit(profile.Save(path_) ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
  EXPECT_EQ(ReadText(path_), text);
}

}  // namespace
}  // namespace vantiro
