#include "analysis/star_finder.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/median.h"

namespace caustica {

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kMadToSigma = 1.4826;
// A binned frame about this many samples across is enough to find a donut.
constexpr int kDetectionSide = 512;
// Blobs smaller than this (binned samples) are specks, not stars.
constexpr long kMinBlobArea = 4;
// A second star with this share of the chosen one's flux makes the choice unsafe.
constexpr double kComparableFlux = 0.5;
constexpr double kNotedFlux = 0.05;

double QuantileOf(std::vector<double>& v, double q) {
  if (v.empty()) return 0.0;
  const auto at = v.begin() + static_cast<std::ptrdiff_t>(q * static_cast<double>(v.size() - 1));
  std::nth_element(v.begin(), at, v.end());
  return *at;
}

// Median of each sample's 3 x 3 neighbourhood, the edges clamped: hot
// pixels and thin cosmic-ray tracks vanish, edges stay where they are.
std::vector<double> Median3x3(const std::vector<double>& in, int w, int h) {
  std::vector<double> out(in.size());
  std::array<double, 9> n{};
  for (int y = 0; y < h; ++y) {
    const int ys[3] = {std::max(0, y - 1), y, std::min(h - 1, y + 1)};
    for (int x = 0; x < w; ++x) {
      const int xs[3] = {std::max(0, x - 1), x, std::min(w - 1, x + 1)};
      int k = 0;
      for (const int yy : ys)
        for (const int xx : xs) n[k++] = in[static_cast<std::size_t>(yy) * w + xx];
      std::nth_element(n.begin(), n.begin() + 4, n.end());
      out[static_cast<std::size_t>(y) * w + x] = n[4];
    }
  }
  return out;
}

// The sky as a plane over the frame, in full-resolution sample coordinates.
struct SkyPlane {
  double A = 0.0, Bc = 0.0, Br = 0.0;
  double At(double c, double r) const { return A + Bc * c + Br * r; }
};

struct TilePoint {
  double C, R, V;
};

SkyPlane FitPlane(const std::vector<TilePoint>& points, bool slopes) {
  SkyPlane p;
  if (points.empty()) return p;
  double mc = 0, mr = 0, mv = 0;
  for (const TilePoint& t : points) mc += t.C, mr += t.R, mv += t.V;
  const double n = static_cast<double>(points.size());
  mc /= n, mr /= n, mv /= n;
  p.A = mv;
  if (!slopes) return p;
  double scc = 0, srr = 0, scr = 0, scv = 0, srv = 0;
  for (const TilePoint& t : points) {
    const double dc = t.C - mc, dr = t.R - mr, dv = t.V - mv;
    scc += dc * dc, srr += dr * dr, scr += dc * dr, scv += dc * dv, srv += dr * dv;
  }
  const double det = scc * srr - scr * scr;
  if (!(std::fabs(det) > 1e-9 * (scc * srr + 1e-300))) return p;
  p.Bc = (scv * srr - srv * scr) / det;
  p.Br = (srv * scc - scv * scr) / det;
  p.A = mv - p.Bc * mc - p.Br * mr;
  return p;
}

struct Blob {
  long Area = 0;
  double Flux = 0, SumC = 0, SumR = 0;
  int X0 = 0, Y0 = 0, X1 = 0, Y1 = 0;  // bounding box, 0-based
};

// Connected parts of mask (8- or 4-connected), with the label of every sample
// (0 outside, 1.. the blobs) and the blobs' areas, weighted sums and boxes.
std::vector<Blob> Label(const std::vector<std::uint8_t>& mask, const std::vector<double>* weight, int w,
                        int h, bool eight, std::vector<int>& labels) {
  std::vector<Blob> blobs;
  labels.assign(mask.size(), 0);
  std::vector<int> stack;
  for (std::size_t start = 0; start < mask.size(); ++start) {
    if (!mask[start] || labels[start]) continue;
    Blob b;
    const int id = static_cast<int>(blobs.size()) + 1;
    b.X0 = b.X1 = static_cast<int>(start % w);
    b.Y0 = b.Y1 = static_cast<int>(start / w);
    labels[start] = id;
    stack.assign(1, static_cast<int>(start));
    while (!stack.empty()) {
      const int i = stack.back();
      stack.pop_back();
      const int x = i % w, y = i / w;
      const double v = weight ? std::max(0.0, (*weight)[i]) : 1.0;
      ++b.Area;
      b.Flux += v;
      b.SumC += v * x;
      b.SumR += v * y;
      b.X0 = std::min(b.X0, x), b.X1 = std::max(b.X1, x);
      b.Y0 = std::min(b.Y0, y), b.Y1 = std::max(b.Y1, y);
      for (int dy = -1; dy <= 1; ++dy)
        for (int dx = -1; dx <= 1; ++dx) {
          if ((dx == 0 && dy == 0) || (!eight && dx != 0 && dy != 0)) continue;
          const int xx = x + dx, yy = y + dy;
          if (xx < 0 || yy < 0 || xx >= w || yy >= h) continue;
          const int j = yy * w + xx;
          if (mask[j] && !labels[j]) {
            labels[j] = id;
            stack.push_back(j);
          }
        }
    }
    blobs.push_back(b);
  }
  return blobs;
}

std::size_t LargestBy(const std::vector<Blob>& blobs, bool byFlux) {
  std::size_t best = 0;
  for (std::size_t i = 1; i < blobs.size(); ++i)
    if (byFlux ? blobs[i].Flux > blobs[best].Flux : blobs[i].Area > blobs[best].Area) best = i;
  return best;
}

// Integer values a camera's converter stops at: 2^k - 1 for 8 to 16 bits.
bool IsCeiling(double v) {
  for (int bits = 8; bits <= 16; ++bits)
    if (v == static_cast<double>((1 << bits) - 1)) return true;
  return false;
}

std::string Coordinates(double c, double r) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "(%.0f, %.0f)", c, r);
  return buffer;
}

}  // namespace

TStarFinding FindStar(const TFctXY& frame) {
  TStarFinding star;
  const int nx = frame.Nx, ny = frame.Ny;
  if (!frame.HasArrays() || nx < 3 || ny < 3) return star;

  // 1. One pass over the frame: binned means, and the range of the samples.
  const int b = std::max(1, std::min(nx, ny) / kDetectionSide);
  const int bw = nx / b, bh = ny / b;
  std::vector<double> binned(static_cast<std::size_t>(bw) * bh, 0.0);
  double lowest = frame.Values[1][1][1], highest = lowest;
  for (int r = 1; r <= ny; ++r) {
    const double* row = frame.Values[1][r];
    for (int c = 1; c <= nx; ++c) lowest = std::min(lowest, row[c]), highest = std::max(highest, row[c]);
    if (r > bh * b) continue;
    double* out = binned.data() + static_cast<std::size_t>((r - 1) / b) * bw;
    for (int i = 0; i < bw; ++i) {
      double s = 0.0;
      for (int c = i * b + 1; c <= i * b + b; ++c) s += row[c];
      out[i] += s;
    }
  }
  if (!std::isfinite(lowest) || !std::isfinite(highest)) return star;
  if (!(highest > lowest)) {
    star.Uniform = true;
    return star;
  }
  for (double& v : binned) v /= static_cast<double>(b) * b;
  const std::vector<double> smooth = Median3x3(binned, bw, bh);
  // Full-resolution coordinate of a binned sample's centre.
  auto fullC = [b](double x) { return x * b + (b + 1) / 2.0; };

  // 2. The sky: tile medians, a plane through the lower half of them, then
  // through every tile that agrees with it (the star's tiles stand above).
  const int tx = std::min(8, bw), ty = std::min(8, bh);
  std::vector<TilePoint> tiles;
  std::vector<std::array<int, 4>> tileBox;
  std::vector<double> work;
  for (int j = 0; j < ty; ++j)
    for (int i = 0; i < tx; ++i) {
      const int x0 = i * bw / tx, x1 = (i + 1) * bw / tx, y0 = j * bh / ty, y1 = (j + 1) * bh / ty;
      work.clear();
      for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) work.push_back(smooth[static_cast<std::size_t>(y) * bw + x]);
      tiles.push_back({fullC(0.5 * (x0 + x1 - 1)), fullC(0.5 * (y0 + y1 - 1)), UpperMedian(work)});
      tileBox.push_back({x0, y0, x1, y1});
    }
  const bool slopes = tx >= 3 && ty >= 3;
  std::vector<double> levels;
  for (const TilePoint& t : tiles) levels.push_back(t.V);
  const double middle = UpperMedian(levels);
  std::vector<char> accepted(tiles.size());
  std::vector<TilePoint> chosen;
  for (std::size_t t = 0; t < tiles.size(); ++t)
    if ((accepted[t] = tiles[t].V <= middle)) chosen.push_back(tiles[t]);
  SkyPlane sky = FitPlane(chosen, slopes);
  for (int pass = 0; pass < 3; ++pass) {
    work.clear();
    for (std::size_t t = 0; t < tiles.size(); ++t)
      if (accepted[t]) work.push_back(std::fabs(tiles[t].V - sky.At(tiles[t].C, tiles[t].R)));
    const double spread = std::max(kMadToSigma * UpperMedian(work), 1e-9 * (1.0 + std::fabs(middle)));
    chosen.clear();
    for (std::size_t t = 0; t < tiles.size(); ++t)
      if ((accepted[t] = tiles[t].V - sky.At(tiles[t].C, tiles[t].R) <= 3.0 * spread))
        chosen.push_back(tiles[t]);
    sky = FitPlane(chosen, slopes);
  }

  // 3. Noise: of the binned, smoothed frame for finding, of one sample for
  // measuring, both from the sky tiles (sample-to-sample differences do
  // not see a gradient).
  std::vector<double> detect(smooth.size());
  for (int y = 0; y < bh; ++y)
    for (int x = 0; x < bw; ++x) {
      const std::size_t i = static_cast<std::size_t>(y) * bw + x;
      detect[i] = smooth[i] - sky.At(fullC(x), fullC(y));
    }
  work.clear();
  std::vector<double> differences;
  for (std::size_t t = 0; t < tiles.size(); ++t) {
    if (!accepted[t]) continue;
    const auto& [x0, y0, x1, y1] = tileBox[t];
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) work.push_back(std::fabs(detect[static_cast<std::size_t>(y) * bw + x]));
    const int r0 = y0 * b + 1, r1 = y1 * b, c0 = x0 * b + 1, c1 = x1 * b;
    const int rowStep = std::max(1, (r1 - r0) / 32), columnStep = std::max(1, (c1 - c0) / 256);
    for (int r = r0; r <= r1; r += rowStep) {
      const double* row = frame.Values[1][r];
      for (int c = c0; c < c1; c += columnStep) differences.push_back(std::fabs(row[c + 1] - row[c]));
    }
  }
  const double tiny = 1e-9 * (std::fabs(highest) + std::fabs(lowest) + 1.0);
  const double detectNoise = std::max(kMadToSigma * UpperMedian(work), tiny);
  star.Noise = kMadToSigma * UpperMedian(differences) / std::sqrt(2.0);

  // 4. The blobs well above the sky; the donut is the one with most light.
  work.clear();
  for (const double v : detect)
    if (v > 5.0 * detectNoise) work.push_back(v);
  if (work.empty()) return star;
  const double peak = QuantileOf(work, 0.9);
  if (!(peak > 8.0 * detectNoise)) return star;
  // Low enough to see a star a few times fainter than the donut.
  const double threshold = std::max(5.0 * detectNoise, 0.08 * peak);
  std::vector<std::uint8_t> mask(detect.size());
  for (std::size_t i = 0; i < detect.size(); ++i) mask[i] = detect[i] > threshold;
  std::vector<int> labels;
  std::vector<Blob> blobs = Label(mask, &detect, bw, bh, true, labels);
  blobs.erase(
      std::remove_if(blobs.begin(), blobs.end(), [](const Blob& bl) { return bl.Area < kMinBlobArea; }),
      blobs.end());
  if (blobs.empty()) return star;
  const std::size_t best = LargestBy(blobs, true);
  const Blob donut = blobs[best];
  for (std::size_t i = 0; i < blobs.size(); ++i) {
    if (i == best) continue;
    const double ratio = blobs[i].Flux / donut.Flux;
    if (ratio > star.OtherFluxRatio) {
      star.OtherFluxRatio = ratio;
      star.OtherColumn = fullC(blobs[i].SumC / blobs[i].Flux);
      star.OtherRow = fullC(blobs[i].SumR / blobs[i].Flux);
    }
  }
  if (star.OtherFluxRatio < kNotedFlux) star.OtherFluxRatio = star.OtherColumn = star.OtherRow = 0.0;

  // 5. A box around that blob at full resolution, the sky taken off and the
  // samples smoothed by their 3 x 3 median.
  const int size = std::max(donut.X1 - donut.X0 + 1, donut.Y1 - donut.Y0 + 1) * b;
  const int pad = std::max(16, size / 2 + 8);
  const int c0 = std::max(1, donut.X0 * b + 1 - pad), c1 = std::min(nx, donut.X1 * b + b + pad);
  const int r0 = std::max(1, donut.Y0 * b + 1 - pad), r1 = std::min(ny, donut.Y1 * b + b + pad);
  const int ww = c1 - c0 + 1, wh = r1 - r0 + 1;
  std::vector<double> box(static_cast<std::size_t>(ww) * wh);
  double boxHighest = frame.Values[1][r0][c0];
  for (int r = r0; r <= r1; ++r) {
    const double* row = frame.Values[1][r];
    for (int c = c0; c <= c1; ++c) {
      box[static_cast<std::size_t>(r - r0) * ww + (c - c0)] = row[c] - sky.At(c, r);
      boxHighest = std::max(boxHighest, row[c]);
    }
  }
  const std::vector<double> level = Median3x3(box, ww, wh);
  const double floor = std::max(5.0 * star.Noise, tiny);
  work.clear();
  for (const double v : level)
    if (v > floor) work.push_back(v);
  if (work.empty()) return star;
  const double boxPeak = QuantileOf(work, 0.9);
  const double bright = std::max(floor, 0.25 * boxPeak);
  work.clear();
  for (const double v : level)
    if (v > bright) work.push_back(v);
  star.Level = UpperMedian(work);
  const double half = 0.5 * star.Level;

  // 6. The donut at half its level; what the sky cannot reach from the box's
  // edge is the filled disc, the largest dark part inside it the hole.
  std::vector<std::uint8_t> lit(level.size());
  for (std::size_t i = 0; i < level.size(); ++i) lit[i] = level[i] > half;
  std::vector<int> litLabels;
  const std::vector<Blob> litBlobs = Label(lit, nullptr, ww, wh, true, litLabels);
  if (litBlobs.empty()) return star;
  const int ring = static_cast<int>(LargestBy(litBlobs, false)) + 1;
  work.clear();
  for (std::size_t i = 0; i < level.size(); ++i)
    if (litLabels[i] == ring) work.push_back(level[i]);
  star.Brightest = QuantileOf(work, 0.98) / star.Level;
  std::vector<std::uint8_t> dark(level.size());
  for (std::size_t i = 0; i < level.size(); ++i) dark[i] = litLabels[i] != ring;
  std::vector<int> darkLabels;
  const std::vector<Blob> darkBlobs = Label(dark, nullptr, ww, wh, false, darkLabels);
  std::vector<char> outside(darkBlobs.size() + 1, 0);
  for (int x = 0; x < ww; ++x) {
    outside[darkLabels[x]] = 1;
    outside[darkLabels[static_cast<std::size_t>(wh - 1) * ww + x]] = 1;
  }
  for (int y = 0; y < wh; ++y) {
    outside[darkLabels[static_cast<std::size_t>(y) * ww]] = 1;
    outside[darkLabels[static_cast<std::size_t>(y) * ww + ww - 1]] = 1;
  }
  long filled = 0, hole = 0;
  double sumC = 0, sumR = 0;
  int holeLabel = 0;
  for (std::size_t k = 1; k <= darkBlobs.size(); ++k)
    if (!outside[k] && (!holeLabel || darkBlobs[k - 1].Area > darkBlobs[holeLabel - 1].Area))
      holeLabel = static_cast<int>(k);
  if (holeLabel) hole = darkBlobs[holeLabel - 1].Area;
  for (int y = 0; y < wh; ++y)
    for (int x = 0; x < ww; ++x) {
      const int d = darkLabels[static_cast<std::size_t>(y) * ww + x];
      if (d && outside[d]) continue;
      ++filled;
      sumC += x;
      sumR += y;
    }
  // The centre of the filled disc; the radius from the light: diffraction
  // and seeing move light across the edge but keep it, so the donut's light
  // over its level is the annulus's area, and the light missing in the middle
  // the hole's.
  const double cx = sumC / filled, cy = sumR / filled;
  double radius = std::sqrt(filled / kPi);
  double obstruction = hole >= 3 ? std::sqrt(static_cast<double>(hole) / filled) : 0.0;
  for (int pass = 0; pass < 3; ++pass) {
    const double inner = obstruction < 0.05 ? 0.0 : obstruction;
    const double lo = (inner + 0.3 * (1 - inner)) * radius, hi = 0.7 * radius;
    const double mid = 0.5 * (inner + 1.0) * radius, fluxRadius = 1.4 * radius + 12.0;
    work.clear();
    double light = 0, missing = 0;
    for (int y = 0; y < wh; ++y)
      for (int x = 0; x < ww; ++x) {
        const double d = std::hypot(x - cx, y - cy);
        const double v = level[static_cast<std::size_t>(y) * ww + x];
        if (d <= fluxRadius) light += v;
        if (d >= lo && d <= hi) work.push_back(v);
      }
    double plateau = 0;
    for (const double v : work) plateau += v;
    plateau /= std::max<std::size_t>(1, work.size());
    if (!(plateau > 0)) break;
    if (inner > 0)
      for (int y = 0; y < wh; ++y)
        for (int x = 0; x < ww; ++x)
          if (std::hypot(x - cx, y - cy) < mid)
            missing += 1.0 - level[static_cast<std::size_t>(y) * ww + x] / plateau;
    missing = std::max(0.0, missing);
    star.Level = plateau;
    star.Flux = light;
    radius = std::sqrt((light / plateau + missing) / kPi);
    obstruction = inner > 0 ? std::sqrt(missing / kPi) / radius : 0.0;
  }
  star.Column = c0 + cx;
  star.Row = r0 + cy;
  star.Radius = radius;
  star.Obstruction = obstruction;
  star.Background = sky.At(star.Column, star.Row);
  star.SkySlopeColumn = sky.Bc;
  star.SkySlopeRow = sky.Br;
  long saturated = 0;
  for (int y = 0; y < wh; ++y)
    for (int x = 0; x < ww; ++x)
      if (frame.Values[1][r0 + y][c0 + x] == boxHighest) ++saturated;

  // 7. Refusals, the first that applies.
  // The donut's light reaching the frame's last samples: a fifth of its
  // level there is the edge itself (diffraction softens it), not the halo.
  const double edgeLight = std::max(0.2 * star.Level, floor);
  auto lit2 = [&](int x, int y) { return level[static_cast<std::size_t>(y) * ww + x] > edgeLight; };
  auto litLine = [&](bool column, int at) {
    int count = 0;
    for (int i = 0; i < (column ? wh : ww); ++i) count += column ? lit2(at, i) : lit2(i, at);
    return count >= 3;
  };
  std::vector<std::string> sides;
  if (c0 == 1 && litLine(true, 0)) sides.push_back("left");
  if (c1 == nx && litLine(true, ww - 1)) sides.push_back("right");
  if (r0 == 1 && litLine(false, 0)) sides.push_back("top");
  if (r1 == ny && litLine(false, wh - 1)) sides.push_back("bottom");
  for (std::size_t i = 0; i < sides.size(); ++i)
    star.Sides += (i == 0 ? "" : i + 1 == sides.size() ? " and " : ", ") + sides[i];
  if (!sides.empty()) {
    star.Problem = TStarProblem::TouchesBorder;
  } else if (star.OtherFluxRatio >= kComparableFlux) {
    star.Problem = TStarProblem::TwoStars;
  } else if (saturated >= std::max(10.0, 0.002 * kPi * star.Radius * star.Radius) && IsCeiling(boxHighest)) {
    star.Problem = TStarProblem::Saturated;
    star.SaturatedCount = saturated;
    star.Ceiling = boxHighest;
  } else {
    star.Problem = TStarProblem::None;
  }
  return star;
}

std::string StarRefusal(const TStarFinding& star, const std::string& role, const std::string& imageName) {
  switch (star.Problem) {
    case TStarProblem::None:
      return "";
    case TStarProblem::NoStar:
      return "no star found in " + imageName + (star.Uniform ? " (the image is uniform)" : "");
    case TStarProblem::TouchesBorder:
      return "the " + role + " donut touches the " + star.Sides + " border" +
             (star.Sides.find(' ') != std::string::npos ? "s" : "") + " (" + imageName + ")";
    case TStarProblem::TwoStars:
      return "two comparable stars in " + imageName + ", at " + Coordinates(star.Column, star.Row) + " and " +
             Coordinates(star.OtherColumn, star.OtherRow) + ": cut one of them out first";
    case TStarProblem::Saturated: {
      char buffer[64];
      std::snprintf(buffer, sizeof buffer, "%ld samples", star.SaturatedCount);
      char ceiling[32];
      std::snprintf(ceiling, sizeof ceiling, "%.0f", star.Ceiling);
      return std::string(buffer) + " of the " + role + " donut in " + imageName + " are saturated (at " +
             ceiling + ")";
    }
  }
  return "";
}

std::string StarNote(const TStarFinding& star, const std::string& imageName) {
  if (!star.Found() || star.OtherFluxRatio <= 0) return "";
  char buffer[48];
  std::snprintf(buffer, sizeof buffer, "%.0f %%", 100.0 * star.OtherFluxRatio);
  return imageName + ": a fainter star at " + Coordinates(star.OtherColumn, star.OtherRow) + " (" + buffer +
         " of the light) is left aside; the donut at " + Coordinates(star.Column, star.Row) + " is taken";
}

}  // namespace caustica
