#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "setup/help_folder.h"
#include "support/test_files.h"

using namespace caustica;
using caustica::test::ScratchDir;
using caustica::test::WriteBytes;

namespace fs = std::filesystem;

namespace {

std::string Slash(const fs::path& p) { return p.lexically_normal().string() + "/"; }

// A folder holding a help set's home page.
fs::path MakeSet(const fs::path& folder) {
  fs::create_directories(folder);
  WriteBytes((folder / "index.html").string(), "<html></html>");
  return folder;
}

}  // namespace

TEST(HelpFolder, TheHomePageOfThePreferencesComesFirst) {
  ScratchDir dir;
  fs::create_directories(dir.Path() / "own");
  const std::string home = (dir.Path() / "own" / "start.htm").string();
  WriteBytes(home, "<html></html>");
  MakeSet(dir.Path() / "bin" / "help");  // a shipped set that must not win
  const std::string exe = (dir.Path() / "bin").string();
  EXPECT_EQ(HelpFolder(home, exe), Slash(dir.Path() / "own"));
  EXPECT_EQ(HelpHomePage(home, exe), home);
}

TEST(HelpFolder, EmptyOrMissingHomePageFallsBackToTheShippedSet) {
  ScratchDir dir;
  const fs::path beside = MakeSet(dir.Path() / "bin" / "help");
  const std::string exe = (dir.Path() / "bin").string();
  for (const std::string& home : {std::string(), (dir.Path() / "gone.html").string()}) {
    EXPECT_EQ(HelpFolder(home, exe), Slash(beside)) << home;
    EXPECT_EQ(HelpHomePage(home, exe), Slash(beside) + "index.html") << home;
  }
}

TEST(HelpFolder, BesideTheExecutableBeforeTheShareFolder) {
  ScratchDir dir;
  const fs::path share = MakeSet(dir.Path() / "share" / "caustica" / "help");
  const std::string exe = (dir.Path() / "bin").string();
  fs::create_directories(exe);
  EXPECT_EQ(HelpFolder("", exe), Slash(share));
  const fs::path beside = MakeSet(dir.Path() / "bin" / "help");
  EXPECT_EQ(HelpFolder("", exe), Slash(beside));
}

TEST(HelpFolder, AFolderWithoutHomePageIsSkipped) {
  ScratchDir dir;
  fs::create_directories(dir.Path() / "bin" / "help");  // empty: not a help set
  const fs::path share = MakeSet(dir.Path() / "share" / "caustica" / "help");
  EXPECT_EQ(HelpFolder("", (dir.Path() / "bin").string()), Slash(share));
}

TEST(HelpFolder, TheSourceTreeSetIsTheLastResort) {
  ScratchDir dir;  // no set anywhere near this executable folder
  const std::string folder = HelpFolder("", (dir.Path() / "bin").string());
  ASSERT_FALSE(folder.empty());
  EXPECT_TRUE(fs::is_regular_file(folder + "index.html"));
  EXPECT_TRUE(fs::is_regular_file(folder + "preferences.htm"));
  EXPECT_EQ(HelpHomePage("", ""), folder + "index.html");
}

TEST(HelpFolder, AHomePageWithoutFolderIsTakenFromTheCurrentFolder) {
  ScratchDir dir;
  const fs::path before = fs::current_path();
  fs::current_path(dir.Path());
  WriteBytes("home.html", "<html></html>");
  const std::string folder = HelpFolder("home.html", "");
  fs::current_path(before);
  EXPECT_EQ(folder, "./");  // never the root folder
}

// The installed layout (<prefix>/bin and <prefix>/share/caustica/samples)
// wins over the source tree; a folder without the pair does not count.
TEST(SampleFolder, InstalledShareFolderBeforeTheSourceTree) {
  ScratchDir dir;
  const std::string exe = (dir.Path() / "bin").string();
  fs::create_directories(exe);
  const std::string source = SampleFolder(exe);
  ASSERT_FALSE(source.empty());  // the source tree's pair, last resort
  EXPECT_TRUE(fs::is_regular_file(source + "newtonian200_extra.fits"));

  const fs::path share = dir.Path() / "share" / "caustica" / "samples";
  fs::create_directories(share);
  WriteBytes((share / "notes.txt").string(), "no pair here");
  EXPECT_EQ(SampleFolder(exe), source);
  WriteBytes((share / "newtonian200_intra.fits").string(), "SIMPLE");
  EXPECT_EQ(SampleFolder(exe), Slash(share));
}
