// Reconstructing from sequences of frames, against seeing: the frames of
// each side measured and selected, then two estimates made and compared.
// (a) The kept frames registered on their donut centres and averaged per
// side, and the averaged pair reconstructed as any pair is.
// (b) Pairs of frames reconstructed one by one, the k-th kept intra-focal
// frame with the k-th kept extra-focal one, and a robust mean of their
// coefficients taken, pairs far from the others left out. The scatter of (b)
// gives each coefficient its standard error.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "analysis/channel_run.h"
#include "analysis/frame_selection.h"
#include "analysis/test_image.h"

namespace caustica {

class FrameSequence;

struct TSequenceSettings {
  double KeptFraction = 1.0;  // of the frames that pass every check, the sharpest first
  TPupilSearch Search;
  // A pair far from the robust centre of all pairs (its mean squared
  // distance over the terms, in robust standard deviations) is left out.
  double OutlierLimit = 3.0;
  // (a) and (b) agree on a term when they differ by at most this many standard errors.
  double AgreementLimit = 2.0;
};

// One row of the frame-by-frame table.
struct TSequencePair {
  int IntraFrame = 0;  // 1-based frame numbers in their sequences
  int ExtraFrame = 0;
  bool Reconstructed = false;
  bool Outlier = false;  // reconstructed, but left out of the mean
  std::string Reason;    // why it was not reconstructed
  ZernikeCoefficients Coefficients{};
  double Rms = 0.0;  // of the fitted wavefront, nm
};

// What each stage reports: stage is "Measuring the intra-focal frames",
// "Averaging the extra-focal frames", "Reconstructing the frame pairs", ...
// Returning false cancels the run.
using TSequenceProgress = std::function<bool(const std::string& stage, int done, int total)>;

// One side of the run: every frame's star, the frames chosen, and the
// kept ones registered and averaged.
struct TSequenceSide {
  TFrameMeasures Measures;
  TFrameSelection Selection;
  std::shared_ptr<TPupille> Average;    // searched, turned when extra-focal
  TStarFinding AverageStar;             // as found on the average before it was turned
  std::vector<int> KeptFrames() const;  // 1-based, in sequence order
  double MedianRadius() const;          // outer radius of the kept frames' donuts, pixels
};

struct TSequenceResult {
  bool Cancelled = false;
  std::string Refusal;  // why no result could be made; empty otherwise

  TSequenceSide Intra, Extra;
  int Terms = 0;  // coefficients 1..Terms are meaningful

  // (a) The reconstruction of the averages.
  TRoddier Averaged;

  // (b) Frame by frame.
  std::vector<TSequencePair> Pairs;
  int PairsUsed = 0;  // reconstructed and not outliers
  ZernikeCoefficients Mean{};
  ZernikeCoefficients StandardError{};  // 0 with fewer than 3 pairs used

  // Terms from 5 on, not switched off, where (a) and (b) differ by more
  // than the agreement limit.
  std::vector<int> Disagreements;
  double AgreementLimit = 0.0;  // in standard errors, as the settings gave it
  bool HasErrors() const { return PairsUsed >= 3; }
  bool Agree() const { return HasErrors() && Disagreements.empty(); }
  bool Complete() const { return !Cancelled && Refusal.empty(); }
};

// Every frame of one side measured and the frames chosen. False when
// cancelled (cancelled set) or refused (refusal says why, naming the side).
bool MeasureSide(FrameSequence& frames, bool extraFocal, const TSequenceSettings& sequence,
                 const TSequenceProgress& progress, TSequenceSide& side, std::string& refusal,
                 bool& cancelled);

// The kept frames of a measured side registered on their donut centres and
// averaged into a square of squareSide samples (0: the square its own donut
// takes), searched as an opened image is, and turned when extra-focal.
bool AverageSide(FrameSequence& frames, bool extraFocal, int squareSide, const TSequenceSettings& sequence,
                 const TSequenceProgress& progress, TSequenceSide& side, std::string& refusal,
                 bool& cancelled);

// Both sides measured, then averaged on the one square that fits both
// donuts. Both sequences must be open. False when cancelled or refused
// (result says which); the averages are then what a caller may look at
// before the test's parameters are settled (the defocus from their radii,
// the pair's checks).
bool AverageSequence(FrameSequence& intra, FrameSequence& extra, const TSequenceSettings& sequence,
                     const TSequenceProgress& progress, TSequenceResult& result);

// The second half, on two averaged sides (AverageSequence, or each side's
// MeasureSide and AverageSide): both estimates and their comparison. The settings are those of a single pair;
// the fit after each run is always made. A cancel keeps what was done and says so.
void ReconstructSequence(FrameSequence& intra, FrameSequence& extra, const TTestSetup& test,
                         const TRunSettings& settings, const TSequenceSettings& sequence,
                         const TSequenceProgress& progress, TSequenceResult& result);

// Both halves in one call. Progress is reported per frame.
TSequenceResult ReconstructSequence(FrameSequence& intra, FrameSequence& extra, const TTestSetup& test,
                                    const TRunSettings& settings, const TSequenceSettings& sequence,
                                    const TSequenceProgress& progress = {});

// The robust mean of (b) over the pairs reconstructed: with 5 pairs or
// more, those far from the median over terms 5 on are marked Outlier; the
// mean and standard error of the others are returned. Exposed for tests.
void RobustMean(std::vector<TSequencePair>& pairs, int terms, double outlierLimit, ZernikeCoefficients& mean,
                ZernikeCoefficients& standardError, int& used);

// The frame registered on its star: a side x side square centred on the
// donut's centre (sub-pixel, bilinear), the sky plane taken off. Samples
// beyond the frame count as sky. Exposed for tests.
void RegisteredSquare(const TFctXY& frame, const TStarFinding& star, int side, std::vector<double>& square);

// One coefficient of both estimates, RMS-normalised (nm) as the tables show
// them.
struct TSequenceTerm {
  int Term = 0;
  double Averaged = 0.0;       // (a)
  double Mean = 0.0;           // (b)
  double StandardError = 0.0;  // of (b); 0 with fewer than 3 pairs
  bool Agrees = true;
  bool Selected = true;  // false: switched off
};
std::vector<TSequenceTerm> SequenceTerms(const TSequenceResult& result);
// A pair's coefficients 1..Terms, RMS-normalised; empty when it was not reconstructed.
std::vector<double> NormalisedPairCoefficients(const TSequenceResult& result, const TSequencePair& pair);

// The lines of the summary: selection per side, both estimates, agreement.
std::vector<std::string> SequenceSummary(const TSequenceResult& result);

}  // namespace caustica
