#include "analysis/sequence_run.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "core/median.h"
#include "io/frame_sequence.h"

namespace caustica {

namespace {

constexpr const char* kIntraName = "intra-focal";
constexpr const char* kExtraName = "extra-focal";
constexpr std::size_t kFewestToJudge = 5;

// One frame of a sequence as a test image grid of its own size.
bool ReadGrid(FrameSequence& sequence, int frame, TPupille& grid) {
  DoublePlanes plane;
  if (!sequence.ReadFrame(frame, plane)) return false;
  grid.Init(plane.Width(), plane.Height());
  grid.Values = std::move(plane);
  return true;
}

// The pupil searched and the extra-focal image turned, as "Open" and "Open
// as extra-focal" leave an image.
bool FinishImage(TPupille& grid, bool extraFocal, const TPupilSearch& search, std::string& why,
                 TStarFinding* star = nullptr) {
  const TOpenOutcome outcome = SearchPupil(grid, search);
  if (star) *star = outcome.Star;
  if (!outcome.PupilFound) {
    why = outcome.Reason;
    return false;
  }
  if (extraFocal) grid.Rotate180();
  grid.Kind = extraFocal ? kKindExtra : kKindIntra;
  return true;
}

}  // namespace

void RegisteredSquare(const TFctXY& frame, const TStarFinding& star, int side, std::vector<double>& square) {
  square.assign(static_cast<std::size_t>(side) * side, 0.0);
  // Square sample (i, j), 0-based, lies at frame column star.Column + i - (side - 1) / 2, likewise rows:
  // the donut's centre falls on the square's centre, (side + 1) / 2 in 1-based samples.
  const double half = 0.5 * (side - 1);
  const double c0 = star.Column - half, r0 = star.Row - half;
  const int w = frame.Nx, h = frame.Ny;
  const double* data = frame.Values.PlaneData(1);
  const auto sky = [&](double c, double r) {
    return star.Background + star.SkySlopeColumn * (c - star.Column) + star.SkySlopeRow * (r - star.Row);
  };
  const auto at = [&](int c, int r, double skyHere) {  // 1-based; sky beyond the frame
    if (c < 1 || r < 1 || c > w || r > h) return skyHere;
    return data[static_cast<std::size_t>(r - 1) * w + (c - 1)];
  };
  for (int j = 0; j < side; ++j) {
    const double r = r0 + j;
    const int ri = static_cast<int>(std::floor(r));
    const double tr = r - ri;
    double* out = square.data() + static_cast<std::size_t>(j) * side;
    for (int i = 0; i < side; ++i) {
      const double c = c0 + i;
      const int ci = static_cast<int>(std::floor(c));
      const double tc = c - ci;
      const double s = sky(c, r);
      const double v = (1 - tr) * ((1 - tc) * at(ci, ri, s) + tc * at(ci + 1, ri, s)) +
                       tr * ((1 - tc) * at(ci, ri + 1, s) + tc * at(ci + 1, ri + 1, s));
      out[i] = v - s;
    }
  }
}

void RobustMean(std::vector<TSequencePair>& pairs, int terms, double outlierLimit, ZernikeCoefficients& mean,
                ZernikeCoefficients& standardError, int& used) {
  mean.fill(0.0);
  standardError.fill(0.0);
  used = 0;
  std::vector<TSequencePair*> done;
  for (TSequencePair& p : pairs) {
    p.Outlier = false;
    if (p.Reconstructed) done.push_back(&p);
  }
  if (done.empty()) return;
  terms = std::clamp(terms, 1, kZernikeTermCount);

  // The robust centre and spread of each term, then each pair's mean squared
  // distance from it in those spreads: about 1 for a pair like the others.
  // Piston, tilt and focus follow the pointing and the focuser, not the
  // optics, and are not judged. Too few pairs give no centre worth the name.
  if (done.size() >= kFewestToJudge) {
    ZernikeCoefficients centre{}, spread{};
    std::vector<double> v(done.size());
    for (int k = 5; k <= terms; ++k) {
      for (std::size_t i = 0; i < done.size(); ++i) v[i] = done[i]->Coefficients[k];
      centre[k] = Median(v);
      for (std::size_t i = 0; i < done.size(); ++i) v[i] = std::abs(done[i]->Coefficients[k] - centre[k]);
      spread[k] = 1.4826 * Median(v);
    }
    const double limit2 = outlierLimit * outlierLimit;
    for (TSequencePair* p : done) {
      double d2 = 0.0;
      int counted = 0;
      for (int k = 5; k <= terms; ++k) {
        if (!(spread[k] > 0)) continue;
        const double d = (p->Coefficients[k] - centre[k]) / spread[k];
        d2 += d * d;
        ++counted;
      }
      if (counted > 0 && d2 / counted > limit2) p->Outlier = true;
    }
  }
  std::vector<TSequencePair*> kept;
  for (TSequencePair* p : done)
    if (!p->Outlier) kept.push_back(p);
  if (kept.empty()) kept = done;  // no consensus: everything counts
  used = static_cast<int>(kept.size());
  for (int k = 1; k <= terms; ++k) {
    double sum = 0.0;
    for (const TSequencePair* p : kept) sum += p->Coefficients[k];
    mean[k] = sum / used;
    if (used >= 3) {
      double ss = 0.0;
      for (const TSequencePair* p : kept)
        ss += (p->Coefficients[k] - mean[k]) * (p->Coefficients[k] - mean[k]);
      standardError[k] = std::sqrt(ss / (used - 1) / used);
    }
  }
}

std::vector<int> TSequenceSide::KeptFrames() const {
  std::vector<int> kept;
  for (std::size_t i = 0; i < Selection.Frames.size(); ++i)
    if (Selection.Frames[i].Kept) kept.push_back(static_cast<int>(i) + 1);
  return kept;
}

double TSequenceSide::MedianRadius() const {
  std::vector<double> radii;
  for (int f : KeptFrames()) radii.push_back(Measures.Stars[static_cast<std::size_t>(f) - 1].Radius);
  return Median(radii);
}

bool MeasureSide(FrameSequence& frames, bool extraFocal, const TSequenceSettings& sequence,
                 const TSequenceProgress& progress, TSequenceSide& side, std::string& refusal,
                 bool& cancelled) {
  side = TSequenceSide{};
  const char* name = extraFocal ? kExtraName : kIntraName;
  if (frames.Count() <= 0) {
    refusal = std::string("no ") + name + " sequence is open";
    return false;
  }
  const std::string stage = std::string("Measuring the ") + name + " frames";
  side.Measures = MeasureFrames(frames, [&](int done, int total) {
    if (progress && !progress(stage, done, total)) cancelled = true;
    return !cancelled;
  });
  if (side.Measures.Cancelled) {
    cancelled = true;
    return false;
  }
  if (!side.Measures.Refusal.empty()) {
    refusal = std::string("the ") + name + " sequence: " + side.Measures.Refusal;
    return false;
  }
  side.Selection = SelectFrames(side.Measures.Stars, side.Measures.Sharpness, sequence.KeptFraction);
  if (side.Selection.KeptCount == 0) {
    refusal = std::string("no usable frame in the ") + name + " sequence (" + side.Selection.Summary() + ")";
    return false;
  }
  return true;
}

bool AverageSide(FrameSequence& frames, bool extraFocal, int squareSide, const TSequenceSettings& sequence,
                 const TSequenceProgress& progress, TSequenceSide& side, std::string& refusal,
                 bool& cancelled) {
  const char* name = extraFocal ? kExtraName : kIntraName;
  const std::vector<int> kept = side.KeptFrames();
  if (kept.empty()) {
    refusal = std::string("no usable frame in the ") + name + " sequence";
    return false;
  }
  if (squareSide <= 0) squareSide = CutOutSide(side.MedianRadius());
  squareSide = std::min({squareSide, frames.FrameWidth(), frames.FrameHeight()});
  const std::string stage = std::string("Averaging the ") + name + " frames";
  std::vector<double> sum(static_cast<std::size_t>(squareSide) * squareSide, 0.0), square;
  TPupille frame;
  for (std::size_t k = 0; k < kept.size(); ++k) {
    if (!ReadGrid(frames, kept[k], frame)) {
      refusal = std::string("the ") + name + " sequence: " + frames.Refusal();
      return false;
    }
    RegisteredSquare(frame, side.Measures.Stars[static_cast<std::size_t>(kept[k]) - 1], squareSide, square);
    for (std::size_t i = 0; i < sum.size(); ++i) sum[i] += square[i];
    if (progress && !progress(stage, static_cast<int>(k) + 1, static_cast<int>(kept.size()))) {
      cancelled = true;
      return false;
    }
  }
  auto grid = std::make_shared<TPupille>();
  grid->Init(squareSide, squareSide);
  double* out = grid->Values.PlaneData(1);
  const double scale = 1.0 / static_cast<double>(kept.size());
  for (std::size_t i = 0; i < sum.size(); ++i) out[i] = sum[i] * scale;
  std::string why;
  if (!FinishImage(*grid, extraFocal, sequence.Search, why, &side.AverageStar)) {
    refusal = std::string("the averaged ") + name + " image: " + why;
    return false;
  }
  side.Average = grid;
  return true;
}

bool AverageSequence(FrameSequence& intra, FrameSequence& extra, const TSequenceSettings& sequence,
                     const TSequenceProgress& progress, TSequenceResult& result) {
  result = TSequenceResult{};
  if (!MeasureSide(intra, false, sequence, progress, result.Intra, result.Refusal, result.Cancelled) ||
      !MeasureSide(extra, true, sequence, progress, result.Extra, result.Refusal, result.Cancelled))
    return false;
  // One square for both averages, holding the larger donut.
  const int square = CutOutSide(std::max(result.Intra.MedianRadius(), result.Extra.MedianRadius()));
  return AverageSide(intra, false, square, sequence, progress, result.Intra, result.Refusal,
                     result.Cancelled) &&
         AverageSide(extra, true, square, sequence, progress, result.Extra, result.Refusal, result.Cancelled);
}

void ReconstructSequence(FrameSequence& intra, FrameSequence& extra, const TTestSetup& test,
                         const TRunSettings& settings, const TSequenceSettings& sequence,
                         const TSequenceProgress& progress, TSequenceResult& result) {
  if (!result.Complete() || !result.Intra.Average || !result.Extra.Average) return;
  const auto report = [&](const std::string& stage, int done, int total) {
    if (progress && !progress(stage, done, total)) result.Cancelled = true;
    return !result.Cancelled;
  };
  TRunSettings run = settings;
  run.AutoFit = true;  // the coefficients are what is averaged
  result.Terms = std::clamp<int>(run.Basis.PolynomialCount, 1, kZernikeTermCount);
  const std::vector<int> keptIntra = result.Intra.KeptFrames();
  const std::vector<int> keptExtra = result.Extra.KeptFrames();

  // Averages made side by side may have taken squares of different sizes;
  // a pair needs one, so both are made again on the square that fits both.
  if (result.Intra.Average->Nx != result.Extra.Average->Nx ||
      result.Intra.Average->Ny != result.Extra.Average->Ny) {
    const int square = CutOutSide(std::max(result.Intra.MedianRadius(), result.Extra.MedianRadius()));
    if (!AverageSide(intra, false, square, sequence, progress, result.Intra, result.Refusal,
                     result.Cancelled) ||
        !AverageSide(extra, true, square, sequence, progress, result.Extra, result.Refusal, result.Cancelled))
      return;
  }
  if (!report("Reconstructing the averaged pair", 0, 1)) return;
  {
    std::string why;
    if (!ReconstructSingle(result.Averaged, {result.Intra.Average, result.Extra.Average}, test, run, {},
                           &why)) {
      result.Refusal = "the averaged pair: " + why;
      return;
    }
  }
  if (!report("Reconstructing the averaged pair", 1, 1)) return;

  // (b) Pair by pair, each pair cut out as a single pair is.
  const std::size_t pairCount = std::min(keptIntra.size(), keptExtra.size());
  result.Pairs.resize(pairCount);
  const std::string stage = "Reconstructing the frame pairs";
  for (std::size_t k = 0; k < pairCount; ++k) {
    TSequencePair& pair = result.Pairs[k];
    pair.IntraFrame = keptIntra[k];
    pair.ExtraFrame = keptExtra[k];
    auto i = std::make_shared<TPupille>(), e = std::make_shared<TPupille>();
    if (!ReadGrid(intra, pair.IntraFrame, *i) || !ReadGrid(extra, pair.ExtraFrame, *e)) {
      result.Refusal = "reading frame pair " + std::to_string(k + 1) + ": " +
                       (intra.Refusal().empty() ? extra.Refusal() : intra.Refusal());
      return;
    }
    const TStarFinding& si = result.Intra.Measures.Stars[static_cast<std::size_t>(pair.IntraFrame) - 1];
    const TStarFinding& se = result.Extra.Measures.Stars[static_cast<std::size_t>(pair.ExtraFrame) - 1];
    CutOutPair(*i, si, *e, se);
    std::string why;
    TRoddier slot;
    if (!FinishImage(*i, false, sequence.Search, why) || !FinishImage(*e, true, sequence.Search, why) ||
        !ReconstructSingle(slot, {i, e}, test, run, {}, &why)) {
      pair.Reason = why;
    } else {
      pair.Reconstructed = true;
      pair.Coefficients = slot.Wavefront->Coefficients;
      slot.Wavefront->ComputeMaskedStatistics();
      pair.Rms = slot.Wavefront->RmsValue;
    }
    if (!report(stage, static_cast<int>(k) + 1, static_cast<int>(pairCount))) break;
  }
  RobustMean(result.Pairs, result.Terms, sequence.OutlierLimit, result.Mean, result.StandardError,
             result.PairsUsed);

  result.AgreementLimit = sequence.AgreementLimit;
  if (result.HasErrors() && result.Averaged.Wavefront)
    for (int k = 5; k <= result.Terms; ++k) {
      const double se = result.StandardError[k];
      const double d = std::abs(result.Averaged.Wavefront->Coefficients[k] - result.Mean[k]);
      const bool shown = result.Averaged.Wavefront->Selected[k];
      if (shown && se > 0 && d > sequence.AgreementLimit * se) result.Disagreements.push_back(k);
    }
}

TSequenceResult ReconstructSequence(FrameSequence& intra, FrameSequence& extra, const TTestSetup& test,
                                    const TRunSettings& settings, const TSequenceSettings& sequence,
                                    const TSequenceProgress& progress) {
  TSequenceResult result;
  if (AverageSequence(intra, extra, sequence, progress, result))
    ReconstructSequence(intra, extra, test, settings, sequence, progress, result);
  return result;
}

namespace {

const TZernikeBasis& BasisOf(const TSequenceResult& r) {
  return r.Averaged.Wavefront ? r.Averaged.Wavefront->Basis : ZernikeBasis;
}

ZernikeCoefficients Normalised(const TZernikeBasis& basis, ZernikeCoefficients c) {
  ToNormalised(basis, c);
  return c;
}

}  // namespace

std::vector<TSequenceTerm> SequenceTerms(const TSequenceResult& r) {
  const TZernikeBasis& basis = BasisOf(r);
  const ZernikeCoefficients averaged =
      Normalised(basis, r.Averaged.Wavefront ? r.Averaged.Wavefront->Coefficients : ZernikeCoefficients{});
  // Normalising scales each term by its own factor, so the errors scale by its size.
  const ZernikeCoefficients mean = Normalised(basis, r.Mean), error = Normalised(basis, r.StandardError);
  std::vector<TSequenceTerm> terms;
  for (int k = 1; k <= r.Terms; ++k) {
    TSequenceTerm t;
    t.Term = k;
    t.Averaged = averaged[k];
    t.Mean = mean[k];
    t.StandardError = std::abs(error[k]);
    t.Agrees = std::find(r.Disagreements.begin(), r.Disagreements.end(), k) == r.Disagreements.end();
    t.Selected = !r.Averaged.Wavefront || r.Averaged.Wavefront->Selected[k];
    terms.push_back(t);
  }
  return terms;
}

std::vector<double> NormalisedPairCoefficients(const TSequenceResult& r, const TSequencePair& pair) {
  if (!pair.Reconstructed) return {};
  const ZernikeCoefficients c = Normalised(BasisOf(r), pair.Coefficients);
  return std::vector<double>(c.begin() + 1, c.begin() + 1 + r.Terms);
}

std::vector<std::string> SequenceSummary(const TSequenceResult& r) {
  std::vector<std::string> lines;
  lines.push_back("Intra-focal frames: " + r.Intra.Selection.Summary());
  lines.push_back("Extra-focal frames: " + r.Extra.Selection.Summary());
  int reconstructed = 0, outliers = 0;
  for (const TSequencePair& p : r.Pairs) {
    reconstructed += p.Reconstructed ? 1 : 0;
    outliers += p.Outlier ? 1 : 0;
  }
  char line[200];
  std::snprintf(line, sizeof line, "Frame pairs: %d reconstructed of %zu, %d left out as far from the others",
                reconstructed, r.Pairs.size(), outliers);
  lines.push_back(line);
  if (!r.HasErrors()) {
    lines.push_back("Too few frame pairs for standard errors (at least 3 are needed)");
  } else {
    std::snprintf(line, sizeof line, "%g standard errors", r.AgreementLimit);
    if (r.Agree()) {
      lines.push_back(std::string("The averaged pair and the frame-by-frame mean agree within ") + line +
                      " on every term");
    } else {
      std::string terms;
      for (int k : r.Disagreements) terms += (terms.empty() ? "Z" : ", Z") + std::to_string(k);
      lines.push_back(std::string("The averaged pair and the frame-by-frame mean differ by more than ") +
                      line + " on " + terms);
    }
  }
  return lines;
}

}  // namespace caustica
