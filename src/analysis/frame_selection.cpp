#include "analysis/frame_selection.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <numeric>

#include "core/median.h"
#include "io/frame_sequence.h"

namespace caustica {

namespace {

// The median and the spread a Gaussian of the same MAD would have.
struct RobustSpread {
  double Median = 0.0;
  double Sigma = 0.0;
};

RobustSpread Spread(const std::vector<double>& values) {
  RobustSpread s;
  s.Median = Median(values);
  std::vector<double> deviations;
  deviations.reserve(values.size());
  for (const double v : values) deviations.push_back(std::fabs(v - s.Median));
  s.Sigma = 1.4826 * Median(std::move(deviations));
  return s;
}

// Far off only when beyond both the tolerance around the median and five
// times the spread: a tight sequence alone must not make ordinary frames
// outliers, nor a loose one hide a frame twice too bright.
bool FarOff(double value, const RobustSpread& s, double lowRatio, double highRatio) {
  if (!std::isfinite(value)) return true;
  const bool outside = value < lowRatio * s.Median || value > highRatio * s.Median;
  return outside && std::fabs(value - s.Median) > 5.0 * s.Sigma;
}

// Seeing varies widely from frame to frame, so the spread of sharpness says
// little; an edge much softer than the median one is what marks a bad frame.
bool TooSoft(double value, double median) { return !std::isfinite(value) || value < 0.7 * median; }

const char* const kReasonOrder[] = {kNoStar,    kAtBorder, kSaturated,  kFluxOff,
                                    kRadiusOff, kBlurred,  kNotSharpest};

}  // namespace

std::string TFrameSelection::Summary() const {
  const int total = static_cast<int>(Frames.size());
  std::string text = std::to_string(KeptCount) + " of " + std::to_string(total) +
                     (total == 1 ? " frame kept" : " frames kept");
  std::string rejected;
  for (const char* reason : kReasonOrder) {
    const auto it = RejectedBy.find(reason);
    if (it == RejectedBy.end() || it->second == 0) continue;
    if (!rejected.empty()) rejected += ", ";
    rejected += std::to_string(it->second) + " " + reason;
  }
  if (!rejected.empty()) text += "; rejected: " + rejected;
  return text;
}

double DonutSharpness(const TFctXY& frame, const TStarFinding& star) {
  if (!star.Found() || star.Level <= 0.0 || star.Radius <= 0.0 || frame.Nx < 3 || frame.Ny < 3) return 0.0;
  const double band = std::max(4.0, 0.1 * star.Radius);
  const double outer = star.Radius + band, inner = star.Radius - band;
  const int r1 = std::max(2, static_cast<int>(std::floor(star.Row - outer)));
  const int r2 = std::min(frame.Ny - 1, static_cast<int>(std::ceil(star.Row + outer)));
  const int c1 = std::max(2, static_cast<int>(std::floor(star.Column - outer)));
  const int c2 = std::min(frame.Nx - 1, static_cast<int>(std::ceil(star.Column + outer)));
  double sum = 0.0;
  long count = 0;
  for (int r = r1; r <= r2; ++r) {
    const double* above = frame.Values[1][r - 1];
    const double* row = frame.Values[1][r];
    const double* below = frame.Values[1][r + 1];
    const double dy = r - star.Row;
    for (int c = c1; c <= c2; ++c) {
      const double dx = c - star.Column;
      const double d2 = dx * dx + dy * dy;
      if (d2 > outer * outer || (inner > 0.0 && d2 < inner * inner)) continue;
      const double gx = 0.5 * (row[c + 1] - row[c - 1]);
      const double gy = 0.5 * (below[c] - above[c]);
      sum += gx * gx + gy * gy;
      ++count;
    }
  }
  if (count == 0) return 0.0;
  // A central difference of white noise has variance Noise^2 / 2 per axis.
  const double edge = sum / static_cast<double>(count) - star.Noise * star.Noise;
  return edge > 0.0 ? std::sqrt(edge) / star.Level : 0.0;
}

TFrameSelection SelectFrames(const std::vector<TStarFinding>& stars, const std::vector<double>& sharpness,
                             double keptFraction) {
  TFrameSelection selection;
  const std::size_t n = stars.size();
  selection.Frames.assign(n, TFrameVerdict{true, ""});
  auto sharpnessOf = [&](std::size_t i) {
    const double s = i < sharpness.size() ? sharpness[i] : 0.0;
    return std::isfinite(s) ? s : 0.0;
  };
  auto reject = [&](std::size_t i, const char* reason) {
    selection.Frames[i] = TFrameVerdict{false, reason};
    ++selection.RejectedBy[reason];
  };

  std::vector<std::size_t> candidates;
  for (std::size_t i = 0; i < n; ++i) {
    switch (stars[i].Problem) {
      case TStarProblem::None:
        candidates.push_back(i);
        break;
      case TStarProblem::TouchesBorder:
        reject(i, kAtBorder);
        break;
      case TStarProblem::Saturated:
        reject(i, kSaturated);
        break;
      default:
        reject(i, kNoStar);
        break;
    }
  }

  // Compared with the frames that have a usable star; medians, so the few
  // odd frames do not move the reference.
  std::vector<double> fluxes, radii, sharp;
  for (const std::size_t i : candidates) {
    fluxes.push_back(stars[i].Flux);
    radii.push_back(stars[i].Radius);
    sharp.push_back(sharpnessOf(i));
  }
  const RobustSpread flux = Spread(fluxes), radius = Spread(radii);
  const double edge = Median(sharp);
  std::vector<std::size_t> passed;
  for (const std::size_t i : candidates) {
    if (FarOff(stars[i].Flux, flux, 0.5, 2.0))
      reject(i, kFluxOff);
    else if (FarOff(stars[i].Radius, radius, 0.95, 1.05))
      reject(i, kRadiusOff);
    else if (TooSoft(sharpnessOf(i), edge))
      reject(i, kBlurred);
    else
      passed.push_back(i);
  }

  if (!(keptFraction > 0.0)) keptFraction = 1.0;  // also NaN
  keptFraction = std::min(keptFraction, 1.0);
  const int count = static_cast<int>(passed.size());
  const int keep =
      count == 0 ? 0 : std::clamp(static_cast<int>(std::floor(keptFraction * count + 1e-9)), 1, count);
  std::stable_sort(passed.begin(), passed.end(),
                   [&](std::size_t a, std::size_t b) { return sharpnessOf(a) > sharpnessOf(b); });
  for (std::size_t k = static_cast<std::size_t>(keep); k < passed.size(); ++k)
    reject(passed[k], kNotSharpest);
  selection.KeptCount = keep;
  return selection;
}

TFrameMeasures MeasureFrames(FrameSequence& sequence,
                             const std::function<bool(int done, int total)>& progress) {
  TFrameMeasures measures;
  const int total = sequence.Count();
  measures.Stars.reserve(static_cast<std::size_t>(std::max(total, 0)));
  measures.Sharpness.reserve(static_cast<std::size_t>(std::max(total, 0)));
  TFctXY grid;
  for (int i = 1; i <= total; ++i) {
    DoublePlanes plane;
    if (!sequence.ReadFrame(i, plane)) {
      measures.Refusal = sequence.Refusal();
      break;
    }
    if (grid.Nx != plane.Width() || grid.Ny != plane.Height()) grid.Init(plane.Width(), plane.Height());
    grid.Values = std::move(plane);  // the previous frame goes here
    const TStarFinding star = FindStar(grid);
    measures.Stars.push_back(star);
    measures.Sharpness.push_back(DonutSharpness(grid, star));
    if (progress && !progress(i, total)) {
      measures.Cancelled = true;
      break;
    }
  }
  return measures;
}

}  // namespace caustica
