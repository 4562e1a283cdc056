#include "analysis/test_image.h"

#include <cstdint>

namespace caustica {

TOpenOutcome SearchPupil(TPupille& g, const TPupilSearch& search) {
  TOpenOutcome outcome;
  outcome.Opened = true;
  g.ComputeRange();
  // A uniform frame passes the threshold everywhere and would pass for a pupil.
  const bool uniform = !(g.MaxValue > g.MinValue);
  g.ExtractThreshold(search.BlockCount, search.Percentage);
  g.MeasurePupil();
  g.SetPupilAxes();
  g.ComputeRange();
  g.DisplayLow = g.MinValue;
  g.DisplayHigh = g.MaxValue;
  g.RangeFactor = 1.0;
  if (uniform) {
    outcome.Reason = "no pupil found (the image is uniform)";
  } else if (!(g.PupilRadius > 0)) {
    outcome.Reason = "no pupil found";
  } else {
    outcome.PupilFound = true;
  }
  return outcome;
}

TOpenOutcome OpenTestImage(const std::string& fileName, const TPupilSearch& search, TPupille& grid) {
  grid.LoadFromFits(fileName);
  if (!grid.HasArrays() || grid.Nx < 3 || grid.Ny < 3) {
    grid.Release();
    TOpenOutcome refused;
    refused.Reason = kImageFormatIncompatible;
    return refused;
  }
  return SearchPupil(grid, search);
}

TOpenOutcome SplitColourPicture(const TRaster& picture, const std::array<double, 3>& wavelengths,
                                const TPupilSearch& search, TColourChannels& channels) {
  TOpenOutcome outcome;
  if (picture.Empty() || picture.Width < 3 || picture.Height < 3) {
    outcome.Reason = kImageFormatIncompatible;
    return outcome;
  }
  for (int channel = 0; channel < 3; ++channel) {
    auto g = std::make_shared<TPupille>();
    g->Init(picture.Width, picture.Height);
    const int component = 2 - channel;  // blue, green, red of an RGB pixel
    for (int r = 1; r <= picture.Height; ++r) {
      const std::uint8_t* in = picture.Pixel(0, r - 1);
      double* out = g->Values[1][r];
      for (int c = 1; c <= picture.Width; ++c) out[c] = in[(c - 1) * 3 + component];
    }
    g->PaletteIndex = 5;
    g->Wavelength = wavelengths[static_cast<std::size_t>(channel)];
    channels.Outcomes[static_cast<std::size_t>(channel)] = SearchPupil(*g, search);
    g->Kind = kKindIntra;
    channels.Grids[static_cast<std::size_t>(channel)] = std::move(g);
  }
  outcome.Opened = true;
  outcome.PupilFound = true;
  for (const TOpenOutcome& o : channels.Outcomes) outcome.PupilFound = outcome.PupilFound && o.PupilFound;
  return outcome;
}

}  // namespace caustica
