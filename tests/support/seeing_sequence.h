// The simulated sequence the benchmarks and pictures of sequences share: a
// 200 mm f/8 with 25 % obstruction, 6 mm from focus, astigmatism, coma and
// spherical aberration, seen through 2" of Kolmogorov turbulence (5 ms
// exposures in an 8 m/s wind), with sky and noise.
#pragma once

#include <cstdint>

#include "analysis/star_simulator.h"

namespace caustica::test {

// frames pairs in 288 x 288 images; the noise and the air follow seed.
StarSimulationOptions SeeingSequence(int frames, std::uint64_t seed);

}  // namespace caustica::test
