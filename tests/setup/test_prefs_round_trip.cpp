// Every value the preferences file holds reads back as written, over the
// whole range of each field: the general format of the real values, the
// "%.6f" of the alert values (up to the largest double) and the integers.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <vector>

#include "setup/u_prefs.h"
#include "support/test_files.h"

namespace caustica {
namespace {

TkwValue WrittenAndReadBack(const TkwValue& v, test::ScratchDir& dir) {
  TPreferences prefs;
  prefs.Valeurs = v;
  const std::string file = dir.File("Prefs.txt");
  EXPECT_TRUE(WritePreferences(file, prefs, {}));
  TPreferences read;
  TImageFolderHistory history;
  EXPECT_TRUE(ReadPreferences(file, read, history));
  return read.Valeurs;
}

// Magnitudes from the smallest normal double to the largest, both signs.
std::vector<double> WholeRange() {
  std::vector<double> values = {DBL_MIN, DBL_MAX, 1.0 / 3.0, 632.8, 0.1, 1e15, 999999999999999.9, 1.5e-7};
  for (int e = -307; e <= 308; e += 7) values.push_back(1.2345678901234567 * std::pow(10.0, e));
  const std::size_t n = values.size();
  for (std::size_t i = 0; i < n; ++i) values.push_back(-values[i]);
  return values;
}

TEST(PrefsRoundTrip, RealValuesReadBackAsTheirFifteenDigitsOverTheWholeRange) {
  test::ScratchDir dir;
  for (const double x : WholeRange()) {
    TkwValue v;
    v.RMSFront = v.LambdaRef = v.LambdaInterfero = v.LambdaR = v.LambdaV = v.LambdaB = x;
    v.PoidsR = v.PoidsV = v.PoidsB = x;
    char digits[64];
    std::snprintf(digits, sizeof digits, "%.14e", x);
    // Fifteen digits of the largest double round past it: it stays itself.
    const double expected = std::isinf(std::strtod(digits, nullptr)) ? x : std::strtod(digits, nullptr);
    const TkwValue once = WrittenAndReadBack(v, dir);
    for (const double got : {once.RMSFront, once.LambdaRef, once.LambdaInterfero, once.LambdaR, once.LambdaV,
                             once.LambdaB, once.PoidsR, once.PoidsV, once.PoidsB})
      ASSERT_EQ(got, expected) << x;
    // What was read is written and read back unchanged.
    ASSERT_TRUE(WrittenAndReadBack(once, dir) == once) << x;
  }
}

TEST(PrefsRoundTrip, AlertValuesReadBackUpToTheLargestDouble) {
  test::ScratchDir dir;
  TkwValue v;
  v.NPolyZern = 42;
  std::vector<double> values = WholeRange();
  values.insert(values.end(), {1e58, -1e58, 1e300, 2.5, 0.000001, 123456.789012});
  for (std::size_t start = 0; start < values.size(); start += 42) {
    for (int j = 1; j <= 42; ++j) v.Alertes[j] = values[(start + j - 1) % values.size()];
    const TkwValue once = WrittenAndReadBack(v, dir);
    for (int j = 1; j <= 42; ++j) {
      char text[400];
      std::snprintf(text, sizeof text, "%.6f", v.Alertes[j]);
      ASSERT_EQ(once.Alertes[j], std::strtod(text, nullptr)) << v.Alertes[j];
    }
    ASSERT_TRUE(WrittenAndReadBack(once, dir) == once);
  }
  // Large values are whole numbers: written in full, they come back exactly.
  v.Alertes[1] = 1e58;
  v.Alertes[2] = -DBL_MAX;
  const TkwValue big = WrittenAndReadBack(v, dir);
  EXPECT_EQ(big.Alertes[1], 1e58);
  EXPECT_EQ(big.Alertes[2], -DBL_MAX);
}

TEST(PrefsRoundTrip, IntegersAndBytesReadBackOverTheirRanges) {
  test::ScratchDir dir;
  for (const std::int32_t x : {std::numeric_limits<std::int32_t>::min(), -1, 0, 1, 200, 123456789,
                               std::numeric_limits<std::int32_t>::max()}) {
    TkwValue v;
    v.Diametre = v.Focale = v.PixelCCD = x;
    const TkwValue got = WrittenAndReadBack(v, dir);
    EXPECT_EQ(got.Diametre, x);
    EXPECT_EQ(got.Focale, x);
    EXPECT_EQ(got.PixelCCD, x);
  }
  for (int b = 0; b <= 255; ++b) {
    TkwValue v;
    v.MasqueActif = v.BinLogiciel = v.NDecNano = static_cast<std::uint8_t>(b);
    v.PltPSF = static_cast<std::uint8_t>(b % 6);
    v.OriginFoc = static_cast<std::uint8_t>(b % 3);
    v.NPolyZern = static_cast<std::uint8_t>(b % 43);
    EXPECT_TRUE(WrittenAndReadBack(v, dir) == v) << b;
  }
}

}  // namespace
}  // namespace caustica

namespace caustica {
namespace {

TEST(PrefsRoundTrip, ValuesFinerThanTheFormatAreReadAsTheFileCanHoldThem) {
  test::ScratchDir dir;
  const std::string file = dir.File("Prefs.txt");
  test::WriteBytes(file, "RMSFront=0.12345678901234567\r\n[Warnings]\r\n0.0000001\r\n2.5000004\r\n");
  TPreferences read;
  TImageFolderHistory history;
  ASSERT_TRUE(ReadPreferences(file, read, history));
  EXPECT_EQ(read.Valeurs.RMSFront, 0.123456789012346);
  EXPECT_EQ(read.Valeurs.Alertes[1], 0.0);
  EXPECT_EQ(read.Valeurs.Alertes[2], 2.5);
  EXPECT_TRUE(WrittenAndReadBack(read.Valeurs, dir) == read.Valeurs);
}

}  // namespace
}  // namespace caustica
