// Checks of a defocused pair before and after its reconstruction: what a
// user would want to hear before trusting the result. Each failed check is
// one sentence; an empty list means the pair looks sound.
#pragma once

#include <string>
#include <vector>

#include "analysis/channel_run.h"
#include "analysis/star_finder.h"
#include "analysis/u_pupille.h"

namespace caustica {

// What the pair's checks need besides the two donuts.
struct TPairFacts {
  double PixelSize = 0.0;           // nm per sample as binned, 0 when unknown
  double EnteredObstruction = 0.0;  // from the test parameters, 0 when not entered
};

// Before the run: flux ratio, the two radii against each other and (with a
// pixel size) against the defocus, a donut far from uniform (near a caustic),
// samples across the pupil, obstruction measured against entered.
std::vector<std::string> CheckPair(const TStarFinding& intra, const TStarFinding& extra,
                                   const TTestSetup& test, const TPairFacts& facts);

// With the result: the wavefront's slopes against the defocus, the image
// then near a caustic.
std::vector<std::string> CheckResult(const TPupille& wavefront, const TTestSetup& test);

}  // namespace caustica
