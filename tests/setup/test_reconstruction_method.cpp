#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "setup/reconstruction_method.h"
#include "support/test_files.h"

using namespace caustica;
using caustica::test::ReadBytes;
using caustica::test::ScratchDir;
using caustica::test::WriteBytes;

TEST(ReconstructionMethodSetting, AccurateIsTheDefault) {
  EXPECT_EQ(ReconstructionMethod, TReconstructionMethod::Accurate);
  EXPECT_EQ(kDefaultReconstructionMethod, TReconstructionMethod::Accurate);
}

TEST(ReconstructionMethodSetting, NamesParseBackInAnyCase) {
  TReconstructionMethod m = TReconstructionMethod::Classic;
  EXPECT_TRUE(ParseReconstructionMethod(" ACCURATE\r", m));
  EXPECT_EQ(m, TReconstructionMethod::Accurate);
  EXPECT_TRUE(ParseReconstructionMethod(ReconstructionMethodName(TReconstructionMethod::Classic), m));
  EXPECT_EQ(m, TReconstructionMethod::Classic);
  for (const char* bad : {"", "exact", "accurate2", "0"}) {
    m = TReconstructionMethod::Accurate;
    EXPECT_FALSE(ParseReconstructionMethod(bad, m)) << bad;
    EXPECT_EQ(m, TReconstructionMethod::Accurate) << bad;
  }
}

TEST(ReconstructionMethodSetting, FileRoundTripAndPlace) {
  ScratchDir dir;
  const std::string file = ReconstructionSettingsFilePath(dir.File("Prefs.txt"));
  EXPECT_EQ(std::filesystem::path(file).filename(), "Reconstruction.txt");
  EXPECT_EQ(std::filesystem::path(file).parent_path(), dir.Path());
  ASSERT_TRUE(WriteReconstructionSettings(file, TReconstructionMethod::Accurate));
  EXPECT_EQ(ReadBytes(file), "Reconstruction method=Accurate\r\n");
  TReconstructionMethod m = TReconstructionMethod::Classic;
  ASSERT_TRUE(ReadReconstructionSettings(file, m));
  EXPECT_EQ(m, TReconstructionMethod::Accurate);
  // Rewriting replaces the file whole, with no temporary left behind.
  ASSERT_TRUE(WriteReconstructionSettings(file, TReconstructionMethod::Classic));
  ASSERT_TRUE(ReadReconstructionSettings(file, m));
  EXPECT_EQ(m, TReconstructionMethod::Classic);
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);
}

TEST(ReconstructionMethodSetting, MissingOrDamagedFilesLeaveTheMethodAlone) {
  ScratchDir dir;
  TReconstructionMethod m = TReconstructionMethod::Accurate;
  EXPECT_FALSE(ReadReconstructionSettings(dir.File("none.txt"), m));
  EXPECT_EQ(m, TReconstructionMethod::Accurate);
  const struct {
    const char* Name;
    std::string Bytes;
  } cases[] = {
      {"empty", ""},
      {"other keys", "NIter=3\r\nPltFront=2\r\n"},
      {"bad value", "Reconstruction method=Fast\r\n"},
      {"binary", std::string("\0\xff\x01Reconstruction", 15)},
      {"huge", std::string(100000, 'x')},
  };
  for (const auto& c : cases) {
    WriteBytes(dir.File("r.txt"), c.Bytes);
    m = TReconstructionMethod::Accurate;
    EXPECT_FALSE(ReadReconstructionSettings(dir.File("r.txt"), m)) << c.Name;
    EXPECT_EQ(m, TReconstructionMethod::Accurate) << c.Name;
  }
  // Unix line ends and spaces around the key are accepted.
  WriteBytes(dir.File("r.txt"), "# comment\n Reconstruction method = classic\n");
  EXPECT_TRUE(ReadReconstructionSettings(dir.File("r.txt"), m));
  EXPECT_EQ(m, TReconstructionMethod::Classic);
}

TEST(ReconstructionMethodSetting, AFailedWriteKeepsThePreviousFile) {
  ScratchDir dir;
  const std::string file = dir.File("Reconstruction.txt");
  ASSERT_TRUE(WriteReconstructionSettings(file, TReconstructionMethod::Accurate));
  std::string error;
  EXPECT_FALSE(WriteReconstructionSettings(dir.File("no/such/folder/Reconstruction.txt"),
                                           TReconstructionMethod::Classic, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadBytes(file), "Reconstruction method=Accurate\r\n");
}

// A new installation gets the file written with the default; a chosen
// method is kept, a damaged file is neither trusted nor overwritten.
TEST(ReconstructionMethodSetting, StartUpWritesTheDefaultOnlyWhenTheFileIsMissing) {
  ScratchDir dir;
  const std::string file = ReconstructionSettingsFilePath(dir.File("Prefs.txt"));
  TReconstructionMethod m = TReconstructionMethod::Classic;
  ASSERT_TRUE(ReadOrCreateReconstructionSettings(file, m));
  EXPECT_EQ(m, TReconstructionMethod::Accurate);
  EXPECT_EQ(ReadBytes(file), "Reconstruction method=Accurate\r\n");

  WriteBytes(file, "Reconstruction method=Classic\r\n");
  ASSERT_TRUE(ReadOrCreateReconstructionSettings(file, m));
  EXPECT_EQ(m, TReconstructionMethod::Classic);

  WriteBytes(file, "Reconstruction method=exact\r\n");
  ASSERT_TRUE(ReadOrCreateReconstructionSettings(file, m));
  EXPECT_EQ(m, TReconstructionMethod::Accurate);
  EXPECT_EQ(ReadBytes(file), "Reconstruction method=exact\r\n");

  std::string error;
  EXPECT_FALSE(ReadOrCreateReconstructionSettings(dir.File("no/such/Reconstruction.txt"), m, &error));
  EXPECT_FALSE(error.empty());
}
