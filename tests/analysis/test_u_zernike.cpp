#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

#include "analysis/u_zernike.h"
#include "zernike_test_support.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;
using caustica::testing::TermOrder;

namespace {

const char* const kNames[43] = {"",
                                "1",
                                "r Cos(t)",
                                "r Sin(t)",
                                "2r^2-1",
                                "r^2 Cos(2t)",
                                "r^2 Sin(2t)",
                                "(3r^3-2r) Cos(t)",
                                "(3r^3-2r) Sin(t)",
                                "r^3 Cos(3t)",
                                "r^3 Sin(3t)",
                                "6r^4-6r^2+1",
                                "(4r^4-3r^2) Cos(2t)",
                                "(4r^4-3r^2) Sin(2t)",
                                "r^4 Cos(4t)",
                                "r^4 Sin(4t)",
                                "(10r^5-12r^3+3r) Cos(t)",
                                "(10r^5-12r^3+3r) Sin(t)",
                                "(5r^5-4r^3) Cos(3t)",
                                "(5r^5-4r^3) Sin(3t)",
                                "r^5 Cos(5t)",
                                "r^5 Sin(5t)",
                                "20r^6-30r^4+12r^2-1",
                                "(15r^6-20r^4+6r^2) Cos(2t)",
                                "(15r^6-20r^4+6r^2) Sin(2t)",
                                "(6r^6-5r^4) Cos(4t)",
                                "(6r^6-5r^4) Sin(4t)",
                                "r^6 Cos(6t)",
                                "r^6 Sin(6t)",
                                "(35r^7-60r^5+30r^3-4r) Cos(t)",
                                "(35r^7-60r^5+30r^3-4r) Sin(t)",
                                "(21r^7-30r^5+10r^3) Cos(3t)",
                                "(21r^7-30r^5+10r^3) Sin(3t)",
                                "(7r^7-6r^5) Cos(5t)",
                                "(7r^7-6r^5) Sin(5t)",
                                "r^7 Cos(7t)",
                                "r^7 Sin(7t)",
                                "70r^8-140r^6+90r^4-20r^2+1",
                                "(56r^8-105r^6+60r^4-10r^2) Cos(2t)",
                                "(56r^8-105r^6+60r^4-10r^2) Sin(2t)",
                                "(28r^8-42r^6+15r^4) Cos(4t)",
                                "(28r^8-42r^6+15r^4) Sin(4t)",
                                "(8r^8-7r^6) Cos(6t)"};

// Classical radial polynomial from its explicit sum.
double ClassicalRadial(int n, int m, double r) {
  auto fact = [](int v) {
    double f = 1;
    for (int i = 2; i <= v; ++i) f *= i;
    return f;
  };
  double sum = 0;
  for (int s = 0; s <= (n - m) / 2; ++s) {
    sum += (s % 2 ? -1 : 1) * fact(n - s) / (fact(s) * fact((n + m) / 2 - s) * fact((n - m) / 2 - s)) *
           std::pow(r, n - 2 * s);
  }
  return sum;
}

// Gauss-Legendre nodes and weights on [a, b].
void GaussLegendre(int count, double a, double b, std::vector<double>& nodes, std::vector<double>& weights) {
  nodes.assign(count, 0);
  weights.assign(count, 0);
  for (int i = 0; i < count; ++i) {
    double z = std::cos(std::numbers::pi * (i + 0.75) / (count + 0.5));
    double dp = 0;
    for (int iter = 0; iter < 100; ++iter) {
      double p0 = 1, p1 = z;
      for (int j = 2; j <= count; ++j) {
        const double p2 = ((2 * j - 1) * z * p1 - (j - 1) * p0) / j;
        p0 = p1;
        p1 = p2;
      }
      dp = count * (z * p1 - p0) / (z * z - 1);
      const double step = p1 / dp;
      z -= step;
      if (std::abs(step) < 1e-16) break;
    }
    nodes[i] = (a + b) / 2 + (b - a) / 2 * z;
    weights[i] = (b - a) / ((1 - z * z) * dp * dp);
  }
}

// Gram matrix of the normalised terms over the pupil e <= r <= 1, divided by
// its area; exact for polynomials of these degrees.
std::vector<std::vector<double>> NormalisedGram(double e) {
  std::vector<double> rNodes, rWeights;
  GaussLegendre(16, e, 1.0, rNodes, rWeights);
  const int angles = 64;
  std::vector<std::vector<double>> gram(43, std::vector<double>(43, 0.0));
  ZernikeValues v;
  for (std::size_t i = 0; i < rNodes.size(); ++i) {
    for (int t = 0; t < angles; ++t) {
      const double theta = 2 * std::numbers::pi * (t + 0.25) / angles;
      const double r = rNodes[i];
      EXPECT_TRUE(EvaluateZernike(e, r * std::sin(theta), r * std::cos(theta), v));
      const double w = rWeights[i] * r * (2 * std::numbers::pi / angles) / (std::numbers::pi * (1 - e * e));
      for (int a = 1; a <= 42; ++a) {
        for (int b = 1; b <= 42; ++b) {
          gram[a][b] += w * v[a] * ZernikeBasis.NormFactors[a] * v[b] * ZernikeBasis.NormFactors[b];
        }
      }
    }
  }
  return gram;
}

}  // namespace

TEST(ZernikeBasis, NamesAndFactorsFollowTheTable) {
  ProgramStateGuard guard;
  SetZernikeBasis(42, kAnnularPolynomials);
  for (int k = 1; k <= 42; ++k) {
    int n, m;
    TermOrder(k, n, m);
    EXPECT_EQ(ZernikeName(n, m), kNames[k]) << "term " << k;
    const double expected = std::sqrt((m == 0 ? 1.0 : 2.0) * (n + 1));
    EXPECT_DOUBLE_EQ(ZernikeBasis.NormFactors[k], expected) << "term " << k;
  }
  // Not Zernike shapes: no text rather than a crash or an overflowed factorial.
  EXPECT_EQ(ZernikeName(3, 2), "");
  EXPECT_EQ(ZernikeName(2, 4), "");
  EXPECT_EQ(ZernikeName(40, 0), "");
}

TEST(ZernikeBasis, SetBasisOrdersAndType) {
  ProgramStateGuard guard;
  // Before any preference (every test restores the basis): 22 annular
  // terms, with every factor already known.
  EXPECT_EQ(ZernikeBasis.PolynomialCount, 22);
  EXPECT_EQ(ZernikeBasis.PolynomialType, kAnnularPolynomials);
  EXPECT_EQ(ZernikeBasis.MaxOrder, 5);
  EXPECT_DOUBLE_EQ(ZernikeBasis.NormFactors[42], std::sqrt(18.0));
  SetZernikeBasis(42, kCirclePolynomials);
  EXPECT_EQ(ZernikeBasis.MaxOrder, 7);
  EXPECT_EQ(ZernikeBasis.PolynomialType, kCirclePolynomials);
  SetZernikeBasis(22, kKeepPolynomialType);
  EXPECT_EQ(ZernikeBasis.MaxOrder, 5);
  EXPECT_EQ(ZernikeBasis.PolynomialCount, 22);
  EXPECT_EQ(ZernikeBasis.PolynomialType, kCirclePolynomials);
  SetZernikeBasis(0, kAnnularPolynomials);
  EXPECT_EQ(ZernikeBasis.MaxOrder, 0);
  EXPECT_EQ(ZernikeBasis.PolynomialType, kAnnularPolynomials);
  SetZernikeBasis(200, kKeepPolynomialType);  // out of range: clamped
  EXPECT_EQ(ZernikeBasis.PolynomialCount, 42);
  SetZernikeBasis(-3, kKeepPolynomialType);
  EXPECT_EQ(ZernikeBasis.PolynomialCount, 0);

  // Every count gets terms up to itself evaluated.
  ZernikeValues v;
  for (int count = 1; count <= 42; ++count) {
    SetZernikeBasis(count, kCirclePolynomials);
    ASSERT_TRUE(EvaluateZernike(0, 0.3, 0.8, v));
    EXPECT_NE(v[count], 0.0) << count;
  }
}

TEST(ZernikeBasis, ClassicalValuesWithoutObstruction) {
  ProgramStateGuard guard;
  SetZernikeBasis(42, kAnnularPolynomials);
  ZernikeValues v;
  ASSERT_TRUE(EvaluateZernike(0.0, 0.0, 0.5, v));
  EXPECT_NEAR(v[4], -0.5, 1e-14);
  EXPECT_NEAR(v[7], -0.625, 1e-14);
  EXPECT_NEAR(v[11], -0.125, 1e-14);

  // Circle polynomials ignore the obstruction and match the explicit sums.
  SetZernikeBasis(42, kCirclePolynomials);
  const double points[][2] = {{0.5, 0.0}, {0.3, -0.2}, {-0.61, 0.7}, {0.0, -1.0}, {0.05, 0.02}};
  for (const auto& p : points) {
    ASSERT_TRUE(EvaluateZernike(0.6, p[1], p[0], v));
    const double r = std::hypot(p[0], p[1]);
    const double t = std::atan2(p[1], p[0]);
    for (int k = 1; k <= 42; ++k) {
      int n, m;
      TermOrder(k, n, m);
      const int a = std::abs(m);
      const double angular = m == 0 ? 1.0 : (m > 0 ? std::cos(a * t) : std::sin(a * t));
      EXPECT_NEAR(v[k], ClassicalRadial(n, a, r) * angular, 1e-12) << "term " << k << " r " << r;
    }
  }
}

TEST(ZernikeBasis, NormalisedTermsAreOrthonormalOverDiskAndAnnulus) {
  ProgramStateGuard guard;
  for (int type : {kCirclePolynomials, kAnnularPolynomials}) {
    SetZernikeBasis(42, type);
    const double e = type == kAnnularPolynomials ? 0.3 : 0.0;
    const auto gram = NormalisedGram(e);
    for (int a = 1; a <= 42; ++a) {
      EXPECT_NEAR(gram[a][a], 1.0, 1e-11) << "type " << type << " term " << a;
      for (int b = a + 1; b <= 42; ++b) EXPECT_NEAR(gram[a][b], 0.0, 1e-11) << a << "," << b;
    }
  }
}

TEST(ZernikeBasis, AnnularTermsAtTheEdges) {
  ProgramStateGuard guard;
  SetZernikeBasis(42, kAnnularPolynomials);
  ZernikeValues v;
  // Both rims belong to the pupil.
  EXPECT_TRUE(EvaluateZernike(0.3, 0.0, 1.0, v));
  EXPECT_NEAR(v[4], 1.0, 1e-14);  // radial m = 0 terms are 1 on the outer rim
  EXPECT_NEAR(v[37], 1.0, 1e-12);
  EXPECT_TRUE(EvaluateZernike(0.3, -1.0, 0.0, v));
  EXPECT_TRUE(EvaluateZernike(0.3, 0.0, -0.3, v));
  EXPECT_TRUE(EvaluateZernike(0.3, 0.3, 0.0, v));
  // Just beyond either rim, the centre and undefined points are outside, with no values.
  EXPECT_FALSE(EvaluateZernike(0.3, 0.0, 0.2999999, v));
  EXPECT_FALSE(EvaluateZernike(0.3, 0.0, 0.0, v));
  EXPECT_FALSE(EvaluateZernike(0.3, 0.0, 1.0000001, v));
  EXPECT_FALSE(EvaluateZernike(0.3, std::numeric_limits<double>::quiet_NaN(), 0.5, v));
  for (int k = 1; k <= 42; ++k) EXPECT_EQ(v[k], 0.0);
  // No annulus is left at an obstruction of 1 or more.
  EXPECT_FALSE(EvaluateZernike(1.0, 0.0, 1.0, v));
  EXPECT_FALSE(EvaluateZernike(1.5, 0.0, 1.0, v));
  // A negative ratio means no hole.
  EXPECT_TRUE(EvaluateZernike(-0.2, 0.0, 0.0, v));

  // The circle type ignores the obstruction: the centre is inside.
  SetZernikeBasis(42, kCirclePolynomials);
  EXPECT_TRUE(EvaluateZernike(0.3, 0.0, 0.0, v));
  EXPECT_DOUBLE_EQ(v[4], -1.0);
}

TEST(ZernikeBasis, NormalisationAndSelections) {
  ProgramStateGuard guard;
  SetZernikeBasis(11, kAnnularPolynomials);
  ZernikeCoefficients c;
  for (int k = 0; k <= 42; ++k) c[k] = 10.0 + k;
  ZernikeCoefficients n = c;
  ToNormalised(n);
  EXPECT_DOUBLE_EQ(n[4], 14.0 / std::sqrt(3.0));
  EXPECT_DOUBLE_EQ(n[12], 22.0);  // beyond the count: untouched
  FromNormalised(n);
  EXPECT_EQ(n[1], 0.0);  // piston always dropped
  for (int k = 2; k <= 42; ++k) EXPECT_NEAR(n[k], c[k], 1e-12) << k;
  ClearCoefficients(n);
  for (double value : n) EXPECT_EQ(value, 0.0);

  ZernikeSelection all;
  SelectAll(all);
  for (int k = 1; k <= 42; ++k) EXPECT_TRUE(all[k]);
  const ZernikeSelection noTilt = SelectionWithoutTilt(all);
  const ZernikeSelection noFocus = SelectionWithout(all, true, false);
  const ZernikeSelection noComa = SelectionWithout(all, false, true);
  for (int k = 1; k <= 42; ++k) {
    EXPECT_EQ(noTilt[k], k > 3) << k;
    EXPECT_EQ(noFocus[k], k > 4) << k;
    EXPECT_EQ(noComa[k], k != 7 && k != 8 && k != 16 && k != 17) << k;
  }
  EXPECT_EQ(SelectionWithout(all, false, false), all);
}
