#include <gtest/gtest.h>

#include "core/u_math.h"
#include "support/program_state_guard.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;

namespace {

bool SamePalette(const TPaletteDef& a, const TPaletteDef& b) {
  if (a.SegmentCount != b.SegmentCount) return false;
  for (std::size_t i = 0; i < a.Nodes.size(); ++i)
    if (a.Nodes[i].Red != b.Nodes[i].Red || a.Nodes[i].Green != b.Nodes[i].Green ||
        a.Nodes[i].Blue != b.Nodes[i].Blue)
      return false;
  return true;
}

}  // namespace

// Every record is changed inside the guard's scope and must come back as it
// was; a record the guard forgot would keep the change.
TEST(ProgramStateGuard, PutsEveryRecordBack) {
  ProgramStateGuard outer;  // this test leaves no trace either
  Parametres.Focale = 1.5e9;
  Preferences.Valeurs.LambdaRef = 600.0;
  ImageFolderHistory = {"/a"};
  Simulation.Dimension = 256;
  ZernikeBasis.PolynomialCount = 22;
  ReconstructionMethod = TReconstructionMethod::Classic;
  SelectPalette(1);
  MonochromeWavelength = 550.0;
  DisplayStart = 0.0;
  DisplayWidth = 1.0;
  SetDecimalSeparator(0);
  const TPaletteDef palette = CurrentPalette;
  {
    ProgramStateGuard guard;
    Parametres.Focale = 2.0;
    Preferences.Valeurs.LambdaRef = 700.0;
    ImageFolderHistory = {"/b", "/c"};
    Simulation.Dimension = 64;
    ZernikeBasis.PolynomialCount = 36;
    ReconstructionMethod = TReconstructionMethod::Accurate;
    SelectPalette(3);
    MonochromeWavelength = 650.0;
    DisplayStart = 0.25;
    DisplayWidth = 0.5;
    SetDecimalSeparator(',');
    ASSERT_FALSE(SamePalette(CurrentPalette, palette));
  }
  EXPECT_EQ(Parametres.Focale, 1.5e9);
  EXPECT_EQ(Preferences.Valeurs.LambdaRef, 600.0);
  EXPECT_EQ(ImageFolderHistory, (TImageFolderHistory{"/a"}));
  EXPECT_EQ(Simulation.Dimension, 256);
  EXPECT_EQ(ZernikeBasis.PolynomialCount, 22);
  EXPECT_EQ(ReconstructionMethod, TReconstructionMethod::Classic);
  EXPECT_TRUE(SamePalette(CurrentPalette, palette));
  EXPECT_EQ(MonochromeWavelength, 550.0);
  EXPECT_EQ(DisplayStart, 0.0);
  EXPECT_EQ(DisplayWidth, 1.0);
  // Back to following the locale, not to the locale's character set explicitly.
  EXPECT_EQ(DecimalSeparatorSetting(), 0);
}
