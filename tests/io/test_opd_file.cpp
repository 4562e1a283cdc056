#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "core/u_math.h"
#include "io/opd_file.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;
using caustica::test::ReadBytes;
using caustica::test::ScratchDir;
using caustica::test::WriteBytes;

namespace {

// A 3 x 3 wavefront of a 200 mm pupil: axes -1, 0, 1 (y upwards), Scale the
// pupil radius in nanometres.
TFctXY SmallWavefront() {
  TFctXY g;
  g.Init(3, 3);
  for (int i = 1; i <= 3; ++i) {
    g.XAxis[i] = i - 2.0;
    g.YAxis[i] = 2.0 - i;
  }
  g.Scale = 100e6;
  return g;
}

}  // namespace

TEST(OpdFile, HeaderAndOneLinePerPupilSampleRowByRow) {
  TFctXY g = SmallWavefront();
  g.Values[1][2][2] = 277.5;  // centre: half a wave at 555 nm
  g.Mask[1][2][2] = 1;
  g.Values[1][1][3] = -55.5;
  g.Mask[1][1][3] = 1;
  g.Values[1][3][1] = 555 * 0.000012;
  g.Mask[1][3][1] = 1;
  g.Values[1][3][3] = 999.0;  // outside the mask: no line
  EXPECT_EQ(OpdText(g, 555),
            "555,200\r\n"
            "100,100,-0.1\r\n"
            "0,0,0.5\r\n"
            "-100,-100,1.2E-5\r\n");
}

TEST(OpdFile, PointWhateverTheLocaleAndSmallMagnitudes) {
  ProgramStateGuard state;
  SetDecimalSeparator(',');
  TFctXY g = SmallWavefront();
  g.Scale = 0.12e3;  // 0.00012 mm radius
  g.Mask[1][2][3] = 1;
  g.Values[1][2][3] = 632.8 / 3;
  EXPECT_EQ(OpdText(g, 632.8), "632.8,0.00024\r\n0.00012,0,0.333333333333333\r\n");
}

TEST(OpdFile, EmptyMaskGivesOneLine) {
  TFctXY g = SmallWavefront();
  EXPECT_EQ(OpdText(g, 555), "555,200\r\n");
}

TEST(OpdFile, WrittenAtomicallyAndRefusedWithoutWavelength) {
  ScratchDir dir;
  const std::string file = dir.File("front.opd");
  TFctXY g = SmallWavefront();
  g.Mask[1][2][2] = 1;
  g.Values[1][2][2] = 277.5;
  std::string error;
  ASSERT_TRUE(WriteOpdFile(file, g, 555, &error)) << error;
  EXPECT_EQ(ReadBytes(file), "555,200\r\n0,0,0.5\r\n");

  WriteBytes(file, "previous");
  EXPECT_FALSE(WriteOpdFile(file, g, 0, &error));
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadBytes(file), "previous");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);
}

TEST(OpdFile, ANonFiniteValueOrWavelengthIsNeverWritten) {
  ScratchDir dir;
  const std::string file = dir.File("front.opd");
  WriteBytes(file, "previous");
  TFctXY g = SmallWavefront();
  g.Mask[1][2][2] = 1;
  g.Values[1][2][2] = std::nan("");
  std::string error;
  EXPECT_FALSE(WriteOpdFile(file, g, 555, &error));
  EXPECT_NE(error.find("not finite"), std::string::npos) << error;
  g.Values[1][2][2] = 1.0;
  // A negative wavelength is reported as it is, not as 0.
  EXPECT_FALSE(WriteOpdFile(file, g, -555, &error));
  EXPECT_NE(error.find("-555"), std::string::npos) << error;
  EXPECT_EQ(ReadBytes(file), "previous");
}
