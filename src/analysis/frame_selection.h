// Choosing the frames of one side of a sequence that are taken together
// against seeing: frames without a usable star, frames unlike the others
// (flux, size, sharpness of the donut's edge), then the sharpest fraction.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "analysis/star_finder.h"
#include "core/u_fonctionxy.h"

namespace caustica {

class FrameSequence;

// The reasons a frame is left out, as counted and said in the summary.
inline constexpr const char* kNoStar = "no star";
inline constexpr const char* kAtBorder = "at the border";
inline constexpr const char* kSaturated = "saturated";
inline constexpr const char* kFluxOff = "flux off";
inline constexpr const char* kRadiusOff = "radius off";
inline constexpr const char* kBlurred = "blurred";
inline constexpr const char* kNotSharpest = "not among the sharpest";

struct TFrameVerdict {
  bool Kept = false;
  std::string Reason;  // one of the reasons above; empty when kept
};

struct TFrameSelection {
  std::vector<TFrameVerdict> Frames;      // one per frame, in sequence order
  std::map<std::string, int> RejectedBy;  // reason -> frames left out for it
  int KeptCount = 0;
  // "27 of 30 frames kept; rejected: 2 no star, 1 flux off"
  std::string Summary() const;
};

// How sharp the outer edge of the donut is: the RMS gradient magnitude over
// a band around the outer radius (half-width max(4 px, Radius / 10)), with the
// noise's own share taken out, over the donut's level. In 1/pixel; a step
// blurred over w pixels gives about 1 / sqrt(w * band width), so seeing that
// widens the edge lowers it while a change of brightness does not. Cheap:
// only the band's samples are read. 0 when the star was not found.
double DonutSharpness(const TFctXY& frame, const TStarFinding& star);

// The verdict on each frame. stars[i] and sharpness[i] belong to frame i
// (a missing sharpness counts as 0). Left out, with the first reason that
// applies: FindStar's problems; flux outside 0.5-2x the median, outer radius
// outside +-5 % of it, each only when also more than 5 MAD-sigmas off; then
// sharpness below 0.7x its median (a sharper frame is good seeing, kept).
// Medians over the frames with a usable star. keptFraction in (0, 1] (clamped) of
// the frames that pass every check is kept, the sharpest first, at least one.
TFrameSelection SelectFrames(const std::vector<TStarFinding>& stars, const std::vector<double>& sharpness,
                             double keptFraction);

struct TFrameMeasures {
  std::vector<TStarFinding> Stars;  // for frames 1..Count(), index 0 is frame 1
  std::vector<double> Sharpness;
  bool Cancelled = false;
  std::string Refusal;  // the reading failure; empty otherwise
  bool Complete() const { return !Cancelled && Refusal.empty(); }
};

// Finds the star of every frame of the sequence and measures its sharpness,
// holding one frame at a time. progress(done, total) after each frame;
// returning false stops the reading (Cancelled, the measures so far kept).
TFrameMeasures MeasureFrames(FrameSequence& sequence,
                             const std::function<bool(int done, int total)>& progress = {});

}  // namespace caustica
