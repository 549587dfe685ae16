#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "support/TempDir.h"
#include "platform/Profile.h"
#include "platform/Registry.h"

namespace vantiro {
namespace {

using testing::ReadText;
using testing::TempDir;
using testing::WriteText;

// Restores an environment variable to what it was.
class SavedEnv {
 public:
  explicit SavedEnv(const char* name) : name_(name) {
    if (const char* value = std::getenv(name)) old_ = value;
  }
  ~SavedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  SavedEnv(const SavedEnv&) = delete;
  SavedEnv& operator=(const SavedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", dir_.Path().c_str(), 1);
    ::setenv("HOME", (dir_.Path() / "home").c_str(), 1);
  }

  std::string File() const { return (dir_.Path() / "vantiro" / "registry.ini").string(); }

  SavedEnv xdg_{"XDG_CONFIG_HOME"};
  SavedEnv home_{"HOME"};
  TempDir dir_;
};

TEST_F(RegistryTest, FileLivesInTheUserConfigDirectory) {
  EXPECT_EQ(RegistryFilePath(), File());
  // A relative or empty XDG_CONFIG_HOME is not a base directory: ~/.config is.
  const std::string underHome = (dir_.Path() / "home" / ".config" / "vantiro" / "registry.ini").string();
  ::setenv("XDG_CONFIG_HOME", "relative/dir", 1);
  EXPECT_EQ(RegistryFilePath(), underHome);
  ::setenv("XDG_CONFIG_HOME", "", 1);
  EXPECT_EQ(RegistryFilePath(), underHome);
  ::unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(RegistryFilePath(), underHome);
}

TEST_F(RegistryTest, OpeningAMissingKeyCreatesFileAndKeyOnce) {
  ASSERT_FALSE(std::filesystem::exists(File()));
  EXPECT_EQ(ReadRegistryInt(kVendorKey, "OpenLog"), std::nullopt);
  EXPECT_FALSE(std::filesystem::exists(File()));  // reading creates nothing

  ASSERT_TRUE(OpenOrCreateRegistryKey(kVendorKey));
  EXPECT_EQ(ReadText(File()), "[Software\\Brisawen]\n");
  ASSERT_TRUE(OpenOrCreateRegistryKey(kVendorKey));
  ASSERT_TRUE(OpenOrCreateRegistryKey("software\\brisawen"));
  EXPECT_EQ(ReadText(File()), "[Software\\Brisawen]\n");
  EXPECT_EQ(ReadRegistryInt(kVendorKey, "OpenLog"), std::nullopt);
}

TEST_F(RegistryTest, OpeningAKeyKeepsWhatTheFileHolds) {
  std::filesystem::create_directories(dir_.Path() / "vantiro");
  WriteText(File(), "; per-user switches\n[Other]\nX=1\n");
  ASSERT_TRUE(OpenOrCreateRegistryKey(kVendorKey));
  EXPECT_EQ(ReadText(File()), "; per-user switches\n[Other]\nX=1\n[Software\\Brisawen]\n");
}

TEST_F(RegistryTest, ValuesAreReadOnlyWhenTheyAreWholeNumbers) {
  struct Case {
    const char* text;
    std::optional<int> expected;
  };
  const Case cases[] = {
      {"1", 1},          {"0", 0},           {"-1", -1},          {"+1", 1},
      {"  1  ", 1},      {"\"1\"", 1},       {"2147483647", 2147483647},
      {"1x", std::nullopt},  {"", std::nullopt},      {"x1", std::nullopt},
      {"abc", std::nullopt}, {"1.5", std::nullopt},   {"0x10", std::nullopt},
      {"1 2", std::nullopt}, {"+", std::nullopt},     {"-", std::nullopt},
      {"+-1", std::nullopt}, {"--1", std::nullopt},   {"++1", std::nullopt},
      {"2147483648", std::nullopt}, {"99999999999", std::nullopt},
  };
  std::filesystem::create_directories(dir_.Path() / "vantiro");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    WriteText(File(), std::string("[Software\\Brisawen]\nOpenLog=") + c.text + "\n");
    EXPECT_EQ(ReadRegistryInt(kVendorKey, "OpenLog"), c.expected);
    EXPECT_EQ(ReadRegistryInt("SOFTWARE\\BRISAWEN", "openlog"), c.expected);
  }
}

TEST_F(RegistryTest, WrittenValuesReadBackAndKeepTheOthers) {
  ASSERT_TRUE(WriteRegistryInt(kVendorKey, "ImportData", 1));
  ASSERT_TRUE(WriteRegistryInt(kVendorKey, "OEMDL", 0));
  ASSERT_TRUE(WriteRegistryInt(kVendorKey, "OpenLog", -7));
  ASSERT_TRUE(WriteRegistryInt(kVendorKey, "ImportData", 5));
  EXPECT_EQ(ReadRegistryInt(kVendorKey, "ImportData"), 5);
  EXPECT_EQ(ReadRegistryInt(kVendorKey, "OEMDL"), 0);
  EXPECT_EQ(ReadRegistryInt(kVendorKey, "OpenLog"), -7);
  EXPECT_EQ(ReadRegistryInt("Software\\Other", "OEMDL"), std::nullopt);
  EXPECT_EQ(ReadText(File()), "[Software\\Brisawen]\nImportData=5\nOEMDL=0\nOpenLog=-7\n");
}


// The registry's rules on the profile in memory, which the file functions load and save around:
// the same readings and the same bytes written, whatever else the file holds.
TEST_F(RegistryTest, InMemoryFormAgreesWithTheFile) {
  struct Case {
    const char* name;
    std::string text;
    std::string written;  // after ImportData=-3 is set
  };
  const Case cases[] = {
      {"empty", "", "[Software\\Brisawen]\nImportData=-3\n"},
      {"CRLF and a mark", "\xEF\xBB\xBF[Software\\Brisawen]\r\nOpenLog=1\r\nImportData=x\r\n",
       "\xEF\xBB\xBF[Software\\Brisawen]\r\nOpenLog=1\r\nImportData=-3\r\n"},
      {"key twice, other case", "[software\\brisawen]\nOEMDL=0\n[Software\\Brisawen]\nOpenLog=2\n",
       "[software\\brisawen]\nOEMDL=0\nImportData=-3\n[Software\\Brisawen]\nOpenLog=2\n"},
  };
  const char* names[] = {"OpenLog", "ImportData", "OEMDL"};
  std::filesystem::create_directories(dir_.Path() / "vantiro");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(File(), c.text);
    ProfileFile registry = ProfileFile::Parse(c.text);
    std::optional<int> before[3];
    for (int i = 0; i < 3; ++i) {
      before[i] = RegistryInt(registry, kVendorKey, names[i]);
      EXPECT_EQ(before[i], ReadRegistryInt(kVendorKey, names[i])) << names[i];
    }
    SetRegistryInt(registry, kVendorKey, "ImportData", -3);
    EXPECT_EQ(registry.Text(), c.written);
    ASSERT_TRUE(WriteRegistryInt(kVendorKey, "ImportData", -3));
    EXPECT_EQ(ReadText(File()), c.written);
    const ProfileFile after = ProfileFile::Parse(c.written);
    EXPECT_EQ(RegistryInt(after, kVendorKey, "ImportData"), -3);
    EXPECT_EQ(RegistryInt(after, kVendorKey, "OpenLog"), before[0]);
    EXPECT_EQ(RegistryInt(after, kVendorKey, "OEMDL"), before[2]);
  }
}

}  // namespace
}  // namespace vantiro
