#include "platform/ProgramDir.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace vantiro {
namespace {

namespace fs = std::filesystem;
using testing::TempDir;
using testing::WriteText;

TEST(ProgramDirTest, HelpOpensHelpChmBesideTheProgramElseTheBundledGuide) {
  TempDir root;
  const fs::path bin = root.Path() / "bin";
  const fs::path guide = root.Path() / "share/vantiro/guide/index.html";
  fs::create_directories(bin);
  const std::string chm = (bin / "help.chm").string();

  // Neither: the help file's path all the same (opening it then fails as it would without one).
  EXPECT_EQ(HelpDocumentPath(bin.string()), chm);
  // Installed, or in the build tree: the guide, as a plain path.
  fs::create_directories(guide.parent_path());
  WriteText(guide.string(), "<html></html>");
  EXPECT_EQ(HelpDocumentPath(bin.string()), guide.string());
  // A help file put beside the program wins.
  WriteText(chm, "");
  EXPECT_EQ(HelpDocumentPath(bin.string()), chm);
  // A folder of that name is no help file.
  fs::remove(chm);
  fs::create_directories(chm);
  EXPECT_EQ(HelpDocumentPath(bin.string()), guide.string());
}

TEST(ProgramDirTest, TheUserConfigFolderFollowsXdgConfigHome) {
  const char* savedXdg = std::getenv("XDG_CONFIG_HOME");
  const std::string restoreXdg = savedXdg ? savedXdg : "";
  const char* savedHome = std::getenv("HOME");
  const std::string restoreHome = savedHome ? savedHome : "";

  setenv("HOME", "/home/u", 1);
  setenv("XDG_CONFIG_HOME", "/cfg", 1);
  EXPECT_EQ(UserConfigDirectory(), "/cfg/vantiro");
  setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored, as the convention says
  EXPECT_EQ(UserConfigDirectory(), "/home/u/.config/vantiro");
  unsetenv("XDG_CONFIG_HOME");
  EXPECT_EQ(UserConfigDirectory(), "/home/u/.config/vantiro");

  if (savedXdg) setenv("XDG_CONFIG_HOME", restoreXdg.c_str(), 1);
  if (savedHome) setenv("HOME", restoreHome.c_str(), 1);
}

}  // namespace
}  // namespace vantiro
