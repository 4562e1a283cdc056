#include <gtest/gtest.h>

#include <filesystem>

#include "core/atomic_file.h"
#include "support/test_files.h"

using namespace caustica;
using caustica::test::ReadBytes;
using caustica::test::ScratchDir;
using caustica::test::WriteBytes;

TEST(AtomicFile, FailedWriteKeepsThePreviousFile) {
  ScratchDir dir;
  const std::string path = dir.File("prefs.txt");
  ASSERT_TRUE(WriteFileAtomically(path, "first"));
  ASSERT_TRUE(WriteFileAtomically(path, "second version"));
  EXPECT_EQ(ReadBytes(path), "second version");
  // A folder that does not exist: nothing written, error explained.
  std::string error;
  EXPECT_FALSE(WriteFileAtomically(dir.File("no/such/folder/x.txt"), "data", &error));
  EXPECT_FALSE(error.empty());
  // A target that is a folder cannot be replaced; the folder survives.
  std::filesystem::create_directory(dir.File("sub"));
  WriteBytes(dir.File("sub/inside.txt"), "keep");
  EXPECT_FALSE(WriteFileAtomically(dir.File("sub"), "data"));
  EXPECT_EQ(ReadBytes(dir.File("sub/inside.txt")), "keep");
  int leftovers = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    leftovers += e.path().filename().string().find(".tmp-") != std::string::npos;
  EXPECT_EQ(leftovers, 0);
}
