#include <gtest/gtest.h>

#include "setup/u_parametres.h"

using namespace caustica;

TEST(TestParameters, StartRecordIsAllZeroAndEmpty) {
  const TParametres p = Parametres;
  for (double v : {p.Focale, p.Rayon, p.Defocalisation, p.DistanceSource, p.AstigX, p.AstigY, p.ComaX,
                   p.ComaY, p.Spherique, p.Incidence})
    EXPECT_EQ(v, 0.0);
  EXPECT_FALSE(p.Autocollimation);
  EXPECT_FALSE(p.ParamValides);
  EXPECT_EQ(p.ModeTraitement, 0);
  for (const TImageRef* r : {&p.Intra, &p.Extra, &p.IntraBleu, &p.ExtraBleu, &p.IntraVert, &p.ExtraVert,
                             &p.IntraRouge, &p.ExtraRouge})
    EXPECT_EQ(r->lock(), nullptr);
}
