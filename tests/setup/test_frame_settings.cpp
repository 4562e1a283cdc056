// The cut-out setting's own file beside "Prefs.txt": a round trip, and a
// damaged or missing file that never changes the setting.
#include <gtest/gtest.h>

#include "setup/frame_settings.h"
#include "support/test_files.h"

using namespace caustica;
using caustica::test::ScratchDir;

TEST(FrameSettings, RoundTripAndDamagedFilesKeepTheSetting) {
  ScratchDir dir;
  const std::string file = dir.File("Frames.txt");
  EXPECT_EQ(FrameSettingsText(false), "Cut out frames on opening=No\r\n");
  bool cutOut = true;
  ASSERT_TRUE(WriteFrameSettings(file, false));
  ASSERT_TRUE(ReadFrameSettings(file, cutOut));
  EXPECT_FALSE(cutOut);
  ASSERT_TRUE(WriteFrameSettings(file, true));
  ASSERT_TRUE(ReadFrameSettings(file, cutOut));
  EXPECT_TRUE(cutOut);

  EXPECT_FALSE(ReadFrameSettings(dir.File("none.txt"), cutOut));
  for (const char* text : {"Cut out frames on opening=maybe\r\n", "Other=No\r\n", ""}) {
    caustica::test::WriteBytes(file, text);
    cutOut = true;
    EXPECT_FALSE(ReadFrameSettings(file, cutOut)) << text;
    EXPECT_TRUE(cutOut) << text;
  }
}
