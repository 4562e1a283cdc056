#include "setup/u_saisie_zernike.h"

#include "core/image_surface.h"
#include "core/u_math.h"
#include "io/u_fichier.h"
#include "setup/u_prefs.h"

namespace caustica {

TSimulation Simulation;

std::array<std::string, 43> CoefficientTexts(const ZernikeCoefficients& coefficients) {
  ZernikeCoefficients copy = coefficients;
  if (Preferences.Valeurs.NormRMS == 1) ToNormalised(copy);
  std::array<std::string, 43> texts;
  for (int k = kFirstSimulationTerm; k <= kLastSimulationTerm; ++k)
    texts[k] = FormatFixed(copy[k], Preferences.Valeurs.NDecNano);
  return texts;
}

void StoreSimulation(const TSimulationEntries& entries, TSimulation& simulation) {
  simulation.CoefZern[1] = 0.0;
  simulation.SelZern[1] = false;
  for (int k = kFirstSimulationTerm; k <= kLastSimulationTerm; ++k) {
    simulation.CoefZern[k] = ParseFloatOrZero(entries.CoefficientTexts[k]);
    simulation.SelZern[k] = entries.Selected[k];
  }
  if (Preferences.Valeurs.NormRMS == 1) FromNormalised(simulation.CoefZern);
  if (entries.DimensionIndex >= 0 &&
      entries.DimensionIndex < static_cast<int>(kSimulationDimensions.size())) {
    simulation.Dimension = kSimulationDimensions[static_cast<std::size_t>(entries.DimensionIndex)];
    simulation.IndexDimension = entries.DimensionIndex;
  }
  simulation.RayonPupille = entries.Radius;
  simulation.ObstructionCentrale = entries.ObstructionPercent / 100.0;
  simulation.NiveauMin = entries.MinLevel;
  simulation.NiveauMax = entries.MaxLevel;
}

void StoreAlertValues(const std::array<std::string, 43>& texts, std::array<double, 43>& alerts) {
  ZernikeCoefficients values = alerts;
  values[1] = 0.0;
  for (int k = kFirstSimulationTerm; k <= kLastSimulationTerm; ++k) values[k] = ParseFloatOrZero(texts[k]);
  if (Preferences.Valeurs.NormRMS == 1) {
    // Only the terms read from the texts change form; the others stay as stored.
    ZernikeCoefficients converted = values;
    FromNormalised(converted);
    for (int k = kFirstSimulationTerm; k <= kLastSimulationTerm; ++k) values[k] = converted[k];
  }
  alerts = values;
}

std::array<TRaster, 43> DrawTermPreviews(double obstruction) {
  SetZernikeBasis(22, 0);
  constexpr int kSide = 80;
  std::array<TPupille, 21> grids;
  for (TPupille& g : grids) {
    g.Init(kSide, kSide);
    g.OriginColumn = g.OriginRow = 40;
    g.PupilRadius = 28;
    g.Obstruction = obstruction;
    g.PaletteIndex = 2;
    g.MaskActive = true;
  }
  TPupille& first = grids[0];
  first.SetPupilAxes();
  ZernikeValues z{};
  for (int r = 1; r <= kSide; ++r)
    for (int c = 1; c <= kSide; ++c) {
      const bool inside = EvaluateZernike(obstruction, first.YAxis[r], first.XAxis[c], z);
      for (int j = 0; j < 21; ++j) {
        grids[static_cast<std::size_t>(j)].Values[1][r][c] = inside ? z[j + 2] : 0.0;
        grids[static_cast<std::size_t>(j)].Mask[1][r][c] = inside ? 1 : 0;
      }
    }
  std::array<TRaster, 43> previews;
  for (int j = 0; j < 21; ++j) {
    TSoftwareSurface surface;
    grids[static_cast<std::size_t>(j)].Render(surface);
    previews[static_cast<std::size_t>(j + 2)] = std::move(surface.Picture);
  }
  return previews;
}

std::shared_ptr<TPupille> SimulatedWavefront(const TSimulation& simulation) {
  if (simulation.Dimension <= 0) return nullptr;
  auto w = std::make_shared<TPupille>();
  w->Init(simulation.Dimension, simulation.Dimension);
  w->OriginColumn = simulation.Dimension / 2.0;
  w->OriginRow = simulation.Dimension / 2.0;
  w->PupilRadius = simulation.RayonPupille;
  w->Obstruction = simulation.ObstructionCentrale;
  w->Coefficients = simulation.CoefZern;
  w->Selected = simulation.SelZern;
  w->SetPupilAxes();
  w->SynthesiseFromZernike();
  w->MaskActive = true;
  w->ComputeMaskedRange();
  w->Kind = kKindWavefront;
  return w;
}

}  // namespace caustica
