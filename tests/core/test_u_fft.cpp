#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdlib>
#include <random>
#include <thread>
#include <vector>

#include "core/u_fft.h"
#include "support/test_files.h"

using namespace caustica;

namespace {

using Cplx = std::complex<long double>;
const long double kPi = 3.141592653589793238462643383279502884L;

// The centred, 1/N^2-normalised DFT of the upper-left w x h part, straight from its definition.
std::vector<Cplx> NaiveForward(const DoublePlanes& src, int w, int h, int n, bool complexSource) {
  std::vector<Cplx> out(static_cast<std::size_t>(n) * n);
  for (int pr = 1; pr <= n; ++pr)
    for (int pc = 1; pc <= n; ++pc) {
      const int kr = pr - 1 - n / 2, kc = pc - 1 - n / 2;
      Cplx sum = 0;
      for (int r = 1; r <= h; ++r)
        for (int c = 1; c <= w; ++c) {
          const long double a = -2 * kPi * (kr * (r - 1) + kc * (c - 1)) / n;
          const Cplx f(src[1][r][c], complexSource ? src[2][r][c] : 0.0);
          sum += f * Cplx(std::cos(a), std::sin(a));
        }
      out[(pr - 1) * n + pc - 1] = sum / static_cast<long double>(n * n);
    }
  return out;
}

DoublePlanes RandomPlanes(int w, int h, int planes, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<double> dist(-1.0, 1.0);
  DoublePlanes a(w, h, planes);
  for (int p = 1; p <= planes; ++p)
    for (int r = 1; r <= h; ++r)
      for (int c = 1; c <= w; ++c) a[p][r][c] = dist(gen);
  return a;
}

void ExpectSpectrum(const DoublePlanes& got, const std::vector<Cplx>& want, int n, double tol) {
  ASSERT_EQ(got.Width(), n);
  ASSERT_EQ(got.Height(), n);
  ASSERT_EQ(got.PlaneCount(), 2);
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c) {
      const Cplx& w = want[(r - 1) * n + c - 1];
      EXPECT_NEAR(got[1][r][c], static_cast<double>(w.real()), tol) << r << "," << c;
      EXPECT_NEAR(got[2][r][c], static_cast<double>(w.imag()), tol) << r << "," << c;
    }
}

struct Shape {
  int w, h, n;
};
const Shape kShapes[] = {{1, 1, 2}, {2, 2, 2},    {3, 4, 4},   {4, 3, 4},  {8, 5, 8},
                         {6, 8, 8}, {16, 16, 16}, {9, 13, 16}, {16, 2, 16}};

}  // namespace

TEST(FourierForward, RealAndComplexSourcesMatchTheDefinition) {
  unsigned seed = 1;
  for (const Shape& s : kShapes) {
    SCOPED_TRACE(testing::Message() << s.w << "x" << s.h);
    const DoublePlanes src = RandomPlanes(s.w, s.h, 2, seed++);

    int w = s.w, h = s.h;
    DoublePlanes spectrum;
    FourierForwardReal(src, w, h, spectrum);
    EXPECT_EQ(w, s.n);
    EXPECT_EQ(h, s.n);
    ExpectSpectrum(spectrum, NaiveForward(src, s.w, s.h, s.n, false), s.n, 1e-15);

    w = s.w, h = s.h;
    FourierForwardComplex(src, w, h, spectrum);
    EXPECT_EQ(w, s.n);
    ExpectSpectrum(spectrum, NaiveForward(src, s.w, s.h, s.n, true), s.n, 1e-15);
  }
}

TEST(FourierForward, SixteenBitSourcesAreConvertedExactly) {
  Int16Planes src(5, 7, 2);
  DoublePlanes asDouble(5, 7, 2);
  for (int p = 1; p <= 2; ++p)
    for (int r = 1; r <= 7; ++r)
      for (int c = 1; c <= 5; ++c) {
        const int v = (r * 7919 + c * 104729 + p * 31) % 65536 - 32768;
        src[p][r][c] = static_cast<std::int16_t>(v);
        asDouble[p][r][c] = v;
      }
  int w = 5, h = 7;
  DoublePlanes spectrum;
  FourierForwardComplex(src, w, h, spectrum);
  ExpectSpectrum(spectrum, NaiveForward(asDouble, 5, 7, 8, true), 8, 1e-10);
  w = 5, h = 7;
  FourierForwardReal(src, w, h, spectrum);
  ExpectSpectrum(spectrum, NaiveForward(asDouble, 5, 7, 8, false), 8, 1e-10);
}

TEST(FourierForward, DeltaConstantAndPlacement) {
  DoublePlanes delta(4, 4, 1);
  delta[1][1][1] = 1.0;
  int w = 4, h = 4;
  DoublePlanes spectrum;
  FourierForwardReal(delta, w, h, spectrum);
  for (int r = 1; r <= 4; ++r)
    for (int c = 1; c <= 4; ++c) {
      EXPECT_DOUBLE_EQ(spectrum[1][r][c], 1.0 / 16);
      EXPECT_EQ(spectrum[2][r][c], 0.0);
    }

  DoublePlanes constant(8, 8, 1);
  constant.Fill(2.5);
  w = h = 8;
  FourierForwardReal(constant, w, h, spectrum);
  for (int r = 1; r <= 8; ++r)
    for (int c = 1; c <= 8; ++c) {
      const double want = (r == 5 && c == 5) ? 2.5 : 0.0;
      EXPECT_NEAR(spectrum[1][r][c], want, 1e-15);
      EXPECT_NEAR(spectrum[2][r][c], 0.0, 1e-15);
    }

  // A 100 x 60 source goes to N = 128 and back into the upper-left corner.
  const DoublePlanes src = RandomPlanes(100, 60, 1, 7);
  w = 100, h = 60;
  FourierForwardReal(src, w, h, spectrum);
  ASSERT_EQ(w, 128);
  ASSERT_EQ(h, 128);
  FourierInverse(spectrum, 128, 128);
  ASSERT_EQ(spectrum.PlaneCount(), 1);
  ASSERT_EQ(spectrum.Width(), 128);
  for (int r = 1; r <= 128; ++r)
    for (int c = 1; c <= 128; ++c) {
      const double want = (r <= 60 && c <= 100) ? src[1][r][c] : 0.0;
      ASSERT_NEAR(spectrum[1][r][c], want, 1e-14) << r << "," << c;
    }
}

TEST(FourierForward, RefusesSourcesNeedingAbsurdSizes) {
  DoublePlanes strip(1, kMaxFourierSize + 1, 1);
  int w = 1, h = kMaxFourierSize + 1;
  DoublePlanes spectrum;
  FourierForwardReal(strip, w, h, spectrum);
  EXPECT_TRUE(spectrum.Empty());
  EXPECT_EQ(h, kMaxFourierSize + 1);
}

TEST(FourierInverse, MatchesTheDefinitionAndUndoesTheForward) {
  for (int n : {2, 4, 8, 16}) {
    SCOPED_TRACE(n);
    const DoublePlanes spectrum = RandomPlanes(n, n, 2, 100 + n);
    DoublePlanes planes = RandomPlanes(n, n, 2, 100 + n);
    FourierInverse(planes, n, n);
    ASSERT_EQ(planes.PlaneCount(), 1);
    for (int x = 0; x < n; ++x)
      for (int y = 0; y < n; ++y) {
        long double sum = 0;
        for (int pr = 1; pr <= n; ++pr)
          for (int pc = 1; pc <= n; ++pc) {
            const long double a = 2 * kPi * ((pr - 1 - n / 2) * x + (pc - 1 - n / 2) * y) / n;
            sum += spectrum[1][pr][pc] * std::cos(a) - spectrum[2][pr][pc] * std::sin(a);
          }
        EXPECT_NEAR(planes[1][x + 1][y + 1], static_cast<double>(sum), 1e-13);
      }

    // Complex input: forward then inverse gives back the real part.
    const DoublePlanes src = RandomPlanes(n, n, 2, 200 + n);
    int w = n, h = n;
    DoublePlanes round;
    FourierForwardComplex(src, w, h, round);
    FourierInverse(round, n, n);
    for (int r = 1; r <= n; ++r)
      for (int c = 1; c <= n; ++c) EXPECT_NEAR(round[1][r][c], src[1][r][c], 1e-15);
  }
}

TEST(FourierInverse, LeavesUnusableInputAlone) {
  DoublePlanes oneplane(4, 4, 1);
  FourierInverse(oneplane, 4, 4);
  EXPECT_EQ(oneplane.Width(), 4);
  DoublePlanes odd(3, 3, 2);
  FourierInverse(odd, 3, 3);
  EXPECT_EQ(odd.PlaneCount(), 2);
  DoublePlanes mismatch(8, 8, 2);
  FourierInverse(mismatch, 16, 16);
  EXPECT_EQ(mismatch.PlaneCount(), 2);
}

TEST(PowerSpectrum, OfAnEvenRealFunctionIsTheSquaredRealPart) {
  // f(x, y) = f(-x, -y) periodically: its spectrum is real.
  const int n = 16;
  DoublePlanes f(n, n, 1);
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c) {
      const int x = std::min(r - 1, n - r + 1), y = std::min(c - 1, n - c + 1);
      f[1][r][c] = std::exp(-0.1 * (x * x + 2 * y * y));
    }
  int w = n, h = n;
  DoublePlanes spectrum;
  FourierForwardReal(f, w, h, spectrum);
  DoublePlanes power;
  PowerSpectrum(spectrum, power, n, n);
  ASSERT_EQ(power.PlaneCount(), 1);
  ASSERT_EQ(power.Width(), n);
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c) {
      EXPECT_NEAR(spectrum[2][r][c], 0.0, 1e-16);
      EXPECT_NEAR(power[1][r][c], spectrum[1][r][c] * spectrum[1][r][c], 1e-30);
    }

  DoublePlanes z(2, 1, 2);
  z[1][1][1] = 3, z[2][1][1] = 4, z[1][1][2] = -1, z[2][1][2] = 0.5;
  PowerSpectrum(z, power, 2, 1);
  EXPECT_EQ(power[1][1][1], 25.0);
  EXPECT_EQ(power[1][1][2], 1.25);
}

TEST(RowTransform, IsTheUnnormalisedDftOfEveryRow) {
  for (int w : {8, 6}) {
    const int h = 3;
    DoublePlanes a = RandomPlanes(w, h, 2, 300 + w);
    const DoublePlanes orig = RandomPlanes(w, h, 2, 300 + w);
    RowTransform(a, w, h);
    for (int r = 1; r <= h; ++r)
      for (int k = 0; k < w; ++k) {
        Cplx sum = 0;
        for (int c = 1; c <= w; ++c) {
          const long double ang = -2 * kPi * k * (c - 1) / w;
          sum += Cplx(orig[1][r][c], orig[2][r][c]) * Cplx(std::cos(ang), std::sin(ang));
        }
        EXPECT_NEAR(a[1][r][k + 1], static_cast<double>(sum.real()), 1e-13);
        EXPECT_NEAR(a[2][r][k + 1], static_cast<double>(sum.imag()), 1e-13);
      }
  }
}

TEST(RotateQuarterTurn, TurnsEveryPlaneAndTurnsBack) {
  // 2 rows x 3 columns, two planes; sizes beyond one tile exercise the tiling.
  for (auto [rows0, cols0] : {std::pair{2, 3}, std::pair{37, 70}}) {
    DoublePlanes a(cols0, rows0, 2);
    Int16Planes b(cols0, rows0, 1);
    for (int p = 1; p <= 2; ++p)
      for (int r = 1; r <= rows0; ++r)
        for (int c = 1; c <= cols0; ++c) a[p][r][c] = p * 10000 + r * 100 + c;
    for (int r = 1; r <= rows0; ++r)
      for (int c = 1; c <= cols0; ++c) b[1][r][c] = static_cast<std::int16_t>(r * 100 + c);

    int rows = rows0, cols = cols0;
    RotateQuarterTurn(a, rows, cols);
    EXPECT_EQ(rows, cols0);
    EXPECT_EQ(cols, rows0);
    ASSERT_EQ(a.Height(), cols0);
    ASSERT_EQ(a.Width(), rows0);
    for (int p = 1; p <= 2; ++p)
      for (int r = 1; r <= rows0; ++r)
        for (int c = 1; c <= cols0; ++c) ASSERT_EQ(a[p][cols0 - c + 1][r], p * 10000 + r * 100 + c);
    RotateQuarterTurnBack(a, rows, cols);
    EXPECT_EQ(rows, rows0);
    for (int p = 1; p <= 2; ++p)
      for (int r = 1; r <= rows0; ++r)
        for (int c = 1; c <= cols0; ++c) ASSERT_EQ(a[p][r][c], p * 10000 + r * 100 + c);

    rows = rows0, cols = cols0;
    RotateQuarterTurnBack(b, rows, cols);
    for (int r = 1; r <= rows0; ++r)
      for (int c = 1; c <= cols0; ++c) ASSERT_EQ(b[1][c][rows0 - r + 1], r * 100 + c);
    RotateQuarterTurn(b, rows, cols);
    for (int r = 1; r <= rows0; ++r)
      for (int c = 1; c <= cols0; ++c) ASSERT_EQ(b[1][r][c], r * 100 + c);
  }
}

TEST(SwapQuadrants, ExchangesDiagonallyAndTwiceRestores) {
  DoublePlanes a(4, 6, 2);
  Int16Planes b(4, 6, 1);
  for (int p = 1; p <= 2; ++p)
    for (int r = 1; r <= 6; ++r)
      for (int c = 1; c <= 4; ++c) a[p][r][c] = p * 100 + r * 10 + c;
  for (int r = 1; r <= 6; ++r)
    for (int c = 1; c <= 4; ++c) b[1][r][c] = static_cast<std::int16_t>(r * 10 + c);
  SwapQuadrants(a, 4, 6);
  SwapQuadrants(b, 4, 6);
  EXPECT_EQ(a[1][1][1], 100 + 40 + 3);  // upper-left <- lower-right
  EXPECT_EQ(a[2][4][3], 200 + 10 + 1);  // lower-right <- upper-left
  EXPECT_EQ(a[1][1][3], 100 + 40 + 1);  // upper-right <- lower-left
  EXPECT_EQ(a[1][6][2], 100 + 30 + 4);  // lower-left <- upper-right
  EXPECT_EQ(b[1][2][2], 50 + 4);
  SwapQuadrants(a, 4, 6);
  SwapQuadrants(b, 4, 6);
  for (int p = 1; p <= 2; ++p)
    for (int r = 1; r <= 6; ++r)
      for (int c = 1; c <= 4; ++c) EXPECT_EQ(a[p][r][c], p * 100 + r * 10 + c);
  for (int r = 1; r <= 6; ++r)
    for (int c = 1; c <= 4; ++c) EXPECT_EQ(b[1][r][c], r * 10 + c);
}

TEST(FourierTransforms, ConcurrentCallsStayCorrect) {
  const DoublePlanes src8 = RandomPlanes(8, 8, 2, 11);
  const DoublePlanes src32 = RandomPlanes(32, 20, 2, 12);
  const auto want8 = NaiveForward(src8, 8, 8, 8, true);
  std::vector<std::thread> threads;
  std::vector<int> failures(4, 0);
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        if (t % 2 == 0) {
          int w = 8, h = 8;
          DoublePlanes s;
          FourierForwardComplex(src8, w, h, s);
          for (int r = 1; r <= 8; ++r)
            for (int c = 1; c <= 8; ++c)
              if (std::abs(s[1][r][c] - static_cast<double>(want8[(r - 1) * 8 + c - 1].real())) > 1e-14)
                ++failures[t];
        } else {
          int w = 32, h = 20;
          DoublePlanes s;
          FourierForwardReal(src32, w, h, s);
          FourierInverse(s, 32, 32);
          if (std::abs(s[1][20][32] - src32[1][20][32]) > 1e-14 || s[1][21][1] > 1e-14) ++failures[t];
        }
      }
    });
  for (auto& th : threads) th.join();
  for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << t;
}

TEST(FftWisdom, KeptInTheUserCacheFolder) {
  const char* oldXdg = std::getenv("XDG_CACHE_HOME");
  const std::string saved = oldXdg ? oldXdg : "";
  test::ScratchDir dir;
  setenv("XDG_CACHE_HOME", dir.Path().c_str(), 1);
  const std::string file = FftWisdomFile();
  EXPECT_EQ(file, (dir.Path() / "Caustica" / "fftw-wisdom").string());
  // A size planned nowhere else makes a new plan, which is saved at once.
  DoublePlanes rows = RandomPlanes(7, 5, 2, 13);
  RowTransform(rows, 7, 5);
  EXPECT_FALSE(test::ReadBytes(file).empty());

  setenv("XDG_CACHE_HOME", "relative/path", 1);
  const char* home = std::getenv("HOME");
  if (home != nullptr && *home != '\0') {
    EXPECT_EQ(FftWisdomFile(),
              (std::filesystem::path(home) / ".cache" / "Caustica" / "fftw-wisdom").string());
  }
  if (oldXdg)
    setenv("XDG_CACHE_HOME", saved.c_str(), 1);
  else
    unsetenv("XDG_CACHE_HOME");
}

TEST(FourierForward, LargeTransformsMatchTheDefinitionAndRoundTrip) {
  // Large enough for the copies around the transform to be split between threads.
  for (bool complexSource : {false, true}) {
    SCOPED_TRACE(complexSource);
    const int w = 40, h = 1024, n = 1024;
    const DoublePlanes src = RandomPlanes(w, h, 2, complexSource ? 21 : 22);
    int ww = w, hh = h;
    DoublePlanes spectrum;
    if (complexSource)
      FourierForwardComplex(src, ww, hh, spectrum);
    else
      FourierForwardReal(src, ww, hh, spectrum);
    ASSERT_EQ(ww, n);
    const std::pair<int, int> probes[] = {{1, 1}, {513, 513}, {3, 1000}, {1000, 3}, {300, 700}, {1024, 513}};
    for (auto [pr, pc] : probes) {
      const int kr = pr - 1 - n / 2, kc = pc - 1 - n / 2;
      Cplx sum = 0;
      for (int r = 1; r <= h; ++r)
        for (int c = 1; c <= w; ++c) {
          const long double a = -2 * kPi * ((kr * (r - 1) + kc * (c - 1)) % n) / n;
          sum += Cplx(src[1][r][c], complexSource ? src[2][r][c] : 0.0) * Cplx(std::cos(a), std::sin(a));
        }
      sum /= static_cast<long double>(n) * n;
      EXPECT_NEAR(spectrum[1][pr][pc], static_cast<double>(sum.real()), 1e-15) << pr << "," << pc;
      EXPECT_NEAR(spectrum[2][pr][pc], static_cast<double>(sum.imag()), 1e-15) << pr << "," << pc;
    }
    FourierInverse(spectrum, n, n);
    double worst = 0;
    for (int r = 1; r <= n; ++r)
      for (int c = 1; c <= n; ++c)
        worst = std::max(worst, std::abs(spectrum[1][r][c] - (c <= w ? src[1][r][c] : 0.0)));
    EXPECT_LT(worst, 1e-13);
  }
}
