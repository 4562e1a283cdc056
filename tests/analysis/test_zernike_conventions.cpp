// Exports of a wavefront's coefficients in the system's, Noll, ANSI and
// Fringe orderings: indices worked out by hand, values and signs after a
// real fit, the terms an ordering cannot hold, and the header that states
// every convention.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "analysis/u_pupille.h"
#include "analysis/zernike_conventions.h"
#include "support/program_state_guard.h"

namespace caustica {
namespace {

using O = TZernikeOrdering;

// A 64 x 64 wavefront of radius 28 samples made from terms (system
// numbering, un-normalised nm) and fitted again with its own basis.
TPupille FittedWavefront(std::initializer_list<std::pair<int, double>> terms, int count = 22,
                         std::uint8_t type = kCirclePolynomials, double obstruction = 0.0) {
  TPupille w;
  w.Init(64, 64);
  w.OriginColumn = w.OriginRow = 32.0;
  w.PupilRadius = 28.0;
  w.Obstruction = obstruction;
  w.SetPupilAxes();
  w.Basis = MakeZernikeBasis(count, type);
  for (const auto& [k, v] : terms) w.Coefficients[k] = v;
  SelectAll(w.Selected);
  w.SynthesiseFromZernike();
  w.Coefficients = {};
  w.FitZernike(w.Basis);
  return w;
}

// The exported rows by index: (n, m, system term, nm).
struct Row {
  int N, M, System;
  bool Selected;
  double Nm;
};
std::map<int, Row> Rows(const TConvertedCoefficients& c) {
  std::map<int, Row> rows;
  for (const TConvertedTerm& t : c.Terms) rows[t.Index] = {t.N, t.M, t.SystemIndex, t.Selected, t.Nm};
  return rows;
}

std::map<std::string, std::string> Header(const std::string& text) {
  std::map<std::string, std::string> header;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("# ", 0) != 0) continue;
    const auto colon = line.find(": ");
    header[line.substr(2, colon - 2)] = line.substr(colon + 2);
  }
  return header;
}

TEST(ZernikeOrderings, NamedTermsTakeTheirHandWorkedIndices) {
  struct Case {
    int k;  // system term
    int noll, ansi, fringe;
  };
  const Case cases[] = {
      {1, 1, 0, 1},      // piston
      {2, 2, 2, 2},      // tilt, cosine
      {3, 3, 1, 3},      // tilt, sine
      {4, 4, 4, 4},      // defocus
      {5, 6, 5, 5},      // astigmatism, cosine
      {6, 5, 3, 6},      // astigmatism, sine
      {7, 8, 8, 7},      // coma, cosine
      {8, 7, 7, 8},      // coma, sine
      {9, 10, 9, 10},    // trefoil, cosine
      {10, 9, 6, 11},    // trefoil, sine
      {11, 11, 12, 9},   // spherical aberration
      {16, 16, 18, 14},  // secondary coma, cosine (n 5, m 1)
      {17, 17, 17, 15},  // secondary coma, sine
      {22, 22, 24, 16},  // secondary spherical aberration
      {37, 37, 40, 25},  // tertiary spherical aberration
  };
  for (const Case& c : cases) {
    const TZernikeTerm t = *SystemTerm(c.k);
    EXPECT_EQ(OrderingIndex(O::System, t.N, t.M), c.k);
    EXPECT_EQ(OrderingIndex(O::Noll, t.N, t.M), c.noll) << "term " << c.k;
    EXPECT_EQ(OrderingIndex(O::Ansi, t.N, t.M), c.ansi) << "term " << c.k;
    EXPECT_EQ(OrderingIndex(O::Fringe, t.N, t.M), c.fringe) << "term " << c.k;
  }
  EXPECT_EQ(OrderingIndex(O::Fringe, 10, 0), 36);
  EXPECT_EQ(OrderingIndex(O::Fringe, 12, 0), 37);  // not (6, 6), which the extended rule would put there
  EXPECT_EQ(OrderingIndex(O::Fringe, 6, 6), std::nullopt);
  EXPECT_EQ(OrderingIndex(O::Noll, 3, 2), std::nullopt);  // no such term
  EXPECT_EQ(SystemTerm(43), std::nullopt);
}

TEST(ZernikeOrderings, FortyTwoTermsFillNollAndAnsiWithoutGapsButTheTwoAnsiLacks) {
  std::set<int> noll, ansi, fringe;
  std::set<int> notInFringe;
  for (int k = 1; k <= kZernikeTermCount; ++k) {
    const TZernikeTerm t = *SystemTerm(k);
    noll.insert(*OrderingIndex(O::Noll, t.N, t.M));
    ansi.insert(*OrderingIndex(O::Ansi, t.N, t.M));
    if (auto f = OrderingIndex(O::Fringe, t.N, t.M))
      fringe.insert(*f);
    else
      notInFringe.insert(k);
  }
  EXPECT_EQ(noll.size(), 42u);
  EXPECT_EQ(*noll.begin(), 1);
  EXPECT_EQ(*noll.rbegin(), 42);  // (8, 6) cosine is even: 42
  EXPECT_EQ(ansi.size(), 42u);
  EXPECT_EQ(*ansi.rbegin(), 43);
  EXPECT_FALSE(ansi.count(36) || ansi.count(37));  // (8, -8) and (8, -6)
  EXPECT_EQ(notInFringe, (std::set<int>{27, 28, 33, 34, 35, 36, 40, 41, 42}));
  EXPECT_EQ(fringe.size(), 33u);
}

TEST(ZernikeOrderings, KeysReadBackInAnyCase) {
  for (O o : {O::System, O::Noll, O::Ansi, O::Fringe}) EXPECT_EQ(ParseOrdering(OrderingKey(o)), o);
  EXPECT_EQ(ParseOrdering("NOLL"), O::Noll);
  EXPECT_EQ(ParseOrdering("osa"), std::nullopt);
}

TEST(ZernikeConversion, SingleTermsLandOnTheirIndexWithTheirValue) {
  test::ProgramStateGuard guard;
  const double s5 = std::sqrt(5.0), s8 = std::sqrt(8.0);
  {
    const TPupille w = FittedWavefront({{4, 50.0}});
    for (O o : {O::System, O::Noll, O::Ansi, O::Fringe}) {
      const auto rows = Rows(ConvertCoefficients(w, o, false));
      ASSERT_TRUE(rows.count(4)) << OrderingKey(o);
      EXPECT_NEAR(rows.at(4).Nm, 50.0, 1e-6) << OrderingKey(o);
      EXPECT_EQ(rows.at(4).System, 4);
    }
    EXPECT_NEAR(Rows(ConvertCoefficients(w, O::Noll, true)).at(4).Nm, 50.0 / std::sqrt(3.0), 1e-6);
  }
  {
    const TPupille w = FittedWavefront({{11, 100.0}});
    EXPECT_NEAR(Rows(ConvertCoefficients(w, O::Noll, true)).at(11).Nm, 100.0 / s5, 1e-6);
    EXPECT_NEAR(Rows(ConvertCoefficients(w, O::Ansi, true)).at(12).Nm, 100.0 / s5, 1e-6);
    EXPECT_NEAR(Rows(ConvertCoefficients(w, O::Fringe, false)).at(9).Nm, 100.0, 1e-6);
    EXPECT_NEAR(Rows(ConvertCoefficients(w, O::Ansi, true)).at(11).Nm, 0.0, 1e-6);
  }
  {
    // A sine partner keeps its sign: the same sin(m t) in every ordering.
    const TPupille w = FittedWavefront({{8, -30.0}, {6, 12.0}});
    const auto noll = Rows(ConvertCoefficients(w, O::Noll, true));
    EXPECT_NEAR(noll.at(7).Nm, -30.0 / s8, 1e-6);
    EXPECT_EQ(noll.at(7).M, -1);
    EXPECT_NEAR(noll.at(8).Nm, 0.0, 1e-6);
    EXPECT_NEAR(noll.at(5).Nm, 12.0 / std::sqrt(6.0), 1e-6);
    const auto ansi = Rows(ConvertCoefficients(w, O::Ansi, true));
    EXPECT_NEAR(ansi.at(7).Nm, -30.0 / s8, 1e-6);
    EXPECT_NEAR(ansi.at(3).Nm, 12.0 / std::sqrt(6.0), 1e-6);
    const auto fringe = Rows(ConvertCoefficients(w, O::Fringe, false));
    EXPECT_NEAR(fringe.at(8).Nm, -30.0, 1e-6);
    EXPECT_NEAR(fringe.at(6).Nm, 12.0, 1e-6);
  }
}

TEST(ZernikeConversion, AMapRisingTowardsRowOneIsPositiveSineTilt) {
  // Made from row numbers alone: higher towards the top of the picture.
  TPupille w;
  w.Init(64, 64);
  w.OriginColumn = w.OriginRow = 32.0;
  w.PupilRadius = 28.0;
  w.SetPupilAxes();
  w.Basis = MakeZernikeBasis(22, kCirclePolynomials);
  SelectAll(w.Selected);
  w.SynthesiseFromZernike();  // the pupil's mask
  for (int r = 1; r <= w.Ny; ++r)
    for (int c = 1; c <= w.Nx; ++c) w.Values[1][r][c] = 40.0 * (w.OriginRow - r) / w.PupilRadius;
  w.FitZernike(w.Basis);
  const auto noll = Rows(ConvertCoefficients(w, O::Noll, false));
  EXPECT_NEAR(noll.at(3).Nm, 40.0, 1e-6);  // r sin(t): y upwards
  EXPECT_NEAR(noll.at(2).Nm, 0.0, 1e-6);
  EXPECT_NEAR(Rows(ConvertCoefficients(w, O::Ansi, false)).at(1).Nm, 40.0, 1e-6);
}

TEST(ZernikeConversion, TermsAnOrderingCannotHoldAreReported) {
  test::ProgramStateGuard guard;
  TPupille w;
  w.Basis = MakeZernikeBasis(42, kCirclePolynomials);
  for (int k = 1; k <= 42; ++k) w.Coefficients[k] = k;
  SelectAll(w.Selected);
  w.Selected[27] = false;

  const TConvertedCoefficients fringe = ConvertCoefficients(w, O::Fringe, false);
  std::vector<int> notHeld;
  for (const TConvertedTerm& t : fringe.NotHeld) notHeld.push_back(t.SystemIndex);
  EXPECT_EQ(notHeld, (std::vector<int>{27, 28, 33, 34, 35, 36, 40, 41, 42}));
  EXPECT_EQ(fringe.NotHeld[0].Nm, 27.0);
  EXPECT_FALSE(fringe.NotHeld[0].Selected);
  EXPECT_EQ(fringe.NotExported, (std::vector<int>{34, 35, 36, 37}));
  EXPECT_EQ(fringe.Terms.size(), 33u);

  const TConvertedCoefficients ansi = ConvertCoefficients(w, O::Ansi, false);
  EXPECT_TRUE(ansi.NotHeld.empty());
  EXPECT_EQ(ansi.NotExported, (std::vector<int>{36, 37}));

  const std::string text = ZernikeExportText(w, {O::Fringe, false, 0.0});
  const auto header = Header(text);
  EXPECT_NE(header.at("not held by this ordering").find("system 27 (n=6 m=6) 27.000000 nm"),
            std::string::npos);
  EXPECT_EQ(header.at("indices without a fitted term"), "34 35 36 37");

  // With 22 terms only the fitted ones go out; Noll has no gap.
  w.Basis = MakeZernikeBasis(22, kCirclePolynomials);
  const TConvertedCoefficients noll = ConvertCoefficients(w, O::Noll, false);
  EXPECT_EQ(noll.Terms.size(), 22u);
  EXPECT_TRUE(noll.NotHeld.empty() && noll.NotExported.empty());
  EXPECT_EQ(noll.Terms.back().Index, 22);
}

TEST(ZernikeExportText, HeaderStatesEveryConventionAndRowsFollow) {
  test::ProgramStateGuard guard;
  const TPupille w = FittedWavefront({{11, 110.0}, {3, -22.0}}, 22, kAnnularPolynomials, 0.3);
  const std::string text = ZernikeExportText(w, {O::Noll, true, 550.0});
  const auto header = Header(text);
  for (const char* key : {"ordering", "normalisation", "annular ratio", "terms fitted", "wavelength", "units",
                          "sign", "angle", "image orientation", "columns"})
    EXPECT_TRUE(header.count(key)) << key;
  EXPECT_EQ(header.at("ordering").rfind("noll", 0), 0u);
  EXPECT_EQ(header.at("normalisation").rfind("RMS-normalised", 0), 0u);
  EXPECT_EQ(header.at("annular ratio").rfind("0.3000 (annular", 0), 0u);
  EXPECT_EQ(header.at("wavelength"), "550.000 nm");
  EXPECT_NE(header.at("units").find("waves"), std::string::npos);
  EXPECT_NE(header.at("sign").find("positive = the wavefront is ahead"), std::string::npos);
  EXPECT_NE(header.at("image orientation").find("row 1 is drawn at the top"), std::string::npos);
  EXPECT_NE(header.at("image orientation").find("y upwards"), std::string::npos);

  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line) && line.rfind("# ", 0) == 0) {
  }
  EXPECT_EQ(line, "index,n,m,system,selected,nm,waves,name");
  std::getline(in, line);
  EXPECT_EQ(line.rfind("1,0,0,1,1,", 0), 0u);
  std::string eleven;
  while (std::getline(in, line))
    if (line.rfind("11,", 0) == 0) eleven = line;
  const double nm = 110.0 / std::sqrt(5.0);
  char expected[96];
  std::snprintf(expected, sizeof expected, "11,4,0,11,1,%.6f,%.8f,6r^4-6r^2+1", nm, nm / 550.0);
  EXPECT_EQ(eleven, expected);

  const auto plain = Header(ZernikeExportText(w, {O::Fringe, false, 0.0}));
  EXPECT_EQ(plain.at("normalisation").rfind("not normalised", 0), 0u);
  EXPECT_EQ(plain.at("wavelength").rfind("not known", 0), 0u);
  const auto circle = Header(ZernikeExportText(FittedWavefront({{4, 1.0}}), {O::Ansi, true, 600.0}));
  EXPECT_NE(circle.at("annular ratio").find("circle polynomials"), std::string::npos);
}

TEST(ZernikeExportFile, WritesTheTextAndKeepsTheOldFileOnFailure) {
  test::ProgramStateGuard guard;
  const TPupille w = FittedWavefront({{5, 20.0}});
  const auto dir = std::filesystem::temp_directory_path() / "caustica_zernike_export_test";
  std::filesystem::create_directories(dir);
  const std::string file = (dir / "zernike_ansi.csv").string();
  std::string error;
  ASSERT_TRUE(WriteZernikeExport(file, w, {O::Ansi, true, 550.0}, &error)) << error;
  std::ifstream in(file, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(content, ZernikeExportText(w, {O::Ansi, true, 550.0}));
  EXPECT_FALSE(WriteZernikeExport((dir / "missing" / "z.csv").string(), w, {O::Ansi, true, 550.0}, &error));
  EXPECT_FALSE(error.empty());
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace caustica
