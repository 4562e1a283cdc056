// The simulation parameters: a synthetic wavefront described by its size,
// pupil and Zernike coefficients, and what its entry window computes
// (without the window itself).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "analysis/u_pupille.h"
#include "analysis/u_zernike.h"
#include "core/raster.h"

namespace caustica {

struct TSimulation {
  std::int32_t Dimension = 0;  // 64..1024; 0 = never confirmed
  std::int32_t IndexDimension = 0;
  std::int32_t RayonPupille = 0;     // pixels
  double ObstructionCentrale = 0.0;  // ratio of diameters
  double NiveauMin = 0.0;
  double NiveauMax = 0.0;
  ZernikeCoefficients CoefZern{};  // nm, un-normalised, [1..42]
  ZernikeSelection SelZern{};      // [1..42]
};

extern TSimulation Simulation;

// The entries of the dimension list, by index.
inline const std::array<int, 5> kSimulationDimensions = {64, 128, 256, 512, 1024};

// The first and last terms the window shows.
inline constexpr int kFirstSimulationTerm = 2;
inline constexpr int kLastSimulationTerm = 22;

// The texts of the coefficient fields 2..22 for a coefficient set: RMS-
// normalised when NormRMS is 1, NDecNano decimals, the user's separator.
std::array<std::string, 43> CoefficientTexts(const ZernikeCoefficients& coefficients);

// What OK stores: the texts and boxes of terms 2..22 (others untouched, term
// 1 cleared), converted from the RMS-normalised form when NormRMS is 1.
// A dimension index outside the list keeps the previous dimension.
struct TSimulationEntries {
  std::array<std::string, 43> CoefficientTexts;  // [2..22]
  std::array<bool, 43> Selected{};               // [2..22]
  int DimensionIndex = 0;
  int Radius = 0;
  int ObstructionPercent = 0;
  double MinLevel = 0.0;
  double MaxLevel = 0.0;
};
void StoreSimulation(const TSimulationEntries& entries, TSimulation& simulation);

// What the alert editor's OK stores: term 1 cleared, terms 2..22 from the
// texts (not a number reads 0), converted back from the RMS-normalised form
// when NormRMS is 1; terms 23..42 keep theirs.
void StoreAlertValues(const std::array<std::string, 43>& texts, std::array<double, 43>& alerts);

// The 21 previews of terms 2..22 on an 80 x 80 pupil of radius 28 with the
// given obstruction, in "False colours 2.". Sets the Zernike basis to 22
// annular terms, as the window does.
std::array<TRaster, 43> DrawTermPreviews(double obstruction);

// The wavefront of the "Wavefront" simulation command; null while the
// dimension was never confirmed.
std::shared_ptr<TPupille> SimulatedWavefront(const TSimulation& simulation);

}  // namespace caustica
