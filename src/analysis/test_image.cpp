#include "analysis/test_image.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace caustica {

TOpenOutcome SearchPupil(TPupille& g, const TPupilSearch& search) {
  TOpenOutcome outcome;
  outcome.Opened = true;
  outcome.Star = FindStar(g);
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

namespace {

bool ReadTestFrame(const std::string& fileName, TPupille& grid, TOpenOutcome& refused) {
  grid.LoadFromFits(fileName);
  if (grid.HasArrays() && grid.Nx >= 3 && grid.Ny >= 3) return true;
  grid.Release();
  refused = TOpenOutcome{};
  refused.Reason = kImageFormatIncompatible;
  return false;
}

}  // namespace

TOpenOutcome OpenTestImage(const std::string& fileName, const TPupilSearch& search, TPupille& grid) {
  TOpenOutcome outcome;
  if (!ReadTestFrame(fileName, grid, outcome)) return outcome;
  return SearchPupil(grid, search);
}

TOpenOutcome LoadTestFrame(const std::string& fileName, TPupille& grid) {
  TOpenOutcome outcome;
  if (!ReadTestFrame(fileName, grid, outcome)) return outcome;
  outcome.Opened = true;
  outcome.Star = FindStar(grid);
  return outcome;
}

int CutOutSide(double radius) {
  // Half a radius of sky beyond the edge, for the seeing halo and the background.
  const int side = static_cast<int>(std::ceil(2.0 * (1.5 * radius + 8.0)));
  return (side + 15) / 16 * 16;
}

int CutOutSide(const TStarFinding& intra, const TStarFinding& extra) {
  return CutOutSide(std::max(intra.Radius, extra.Radius));
}

bool NeedsCutOut(const TFctXY& frame, int side) {
  return side > 0 && frame.Nx >= side && frame.Ny >= side && std::max(frame.Nx, frame.Ny) >= 2 * side;
}

void CutOut(TPupille& grid, const TStarFinding& star, int side) {
  const int frameWidth = grid.Infos.FrameWidth > 0 ? grid.Infos.FrameWidth : grid.Nx;
  const int frameHeight = grid.Infos.FrameHeight > 0 ? grid.Infos.FrameHeight : grid.Ny;
  auto offset = [side](double centre, int n) {
    const int o = static_cast<int>(std::lround(centre - 0.5 - side / 2.0));
    return std::clamp(o, 0, std::max(0, n - side));
  };
  const int columnOffset = offset(star.Column, grid.Nx);
  const int rowOffset = offset(star.Row, grid.Ny);
  grid.Crop(columnOffset, rowOffset, std::min(side, grid.Nx), std::min(side, grid.Ny));
  // The sky's slope is taken off, its level at the star kept: once the
  // extra-focal image is turned, a slope would read as an aberration.
  const double cx = star.Column - columnOffset, cy = star.Row - rowOffset;
  if (star.SkySlopeColumn != 0 || star.SkySlopeRow != 0)
    for (int r = 1; r <= grid.Ny; ++r) {
      double* v = grid.Values[1][r];
      const double rowPart = star.SkySlopeRow * (r - cy);
      for (int c = 1; c <= grid.Nx; ++c) v[c] -= rowPart + star.SkySlopeColumn * (c - cx);
    }
  grid.Infos.CutOutColumn += columnOffset;
  grid.Infos.CutOutRow += rowOffset;
  grid.Infos.FrameWidth = frameWidth;
  grid.Infos.FrameHeight = frameHeight;
}

TOpenOutcome CutOutTestImage(TPupille& grid, const TPupilSearch& search) {
  const TStarFinding star = FindStar(grid);
  const int side = CutOutSide(star.Radius);
  const bool cut = star.Found() && NeedsCutOut(grid, side);
  if (cut) CutOut(grid, star, side);
  TOpenOutcome outcome = SearchPupil(grid, search);
  outcome.Cut = cut;
  if (!cut) outcome.Star = star;  // as found in the whole frame
  return outcome;
}

TOpenOutcome OpenTestFrame(const std::string& fileName, const TPupilSearch& search, bool cutOut,
                           TPupille& grid) {
  TOpenOutcome outcome;
  if (!ReadTestFrame(fileName, grid, outcome)) return outcome;
  return cutOut ? CutOutTestImage(grid, search) : SearchPupil(grid, search);
}

bool CutOutPair(TPupille& intra, const TStarFinding& intraStar, TPupille& extra,
                const TStarFinding& extraStar) {
  const int side = CutOutSide(intraStar, extraStar);
  const auto holds = [side](const TFctXY& g) { return g.Nx >= side && g.Ny >= side; };
  if (!holds(intra) || !holds(extra) || !(NeedsCutOut(intra, side) || NeedsCutOut(extra, side))) return false;
  CutOut(intra, intraStar, side);
  CutOut(extra, extraStar, side);
  return true;
}

std::string CutOutText(const TFctXY& grid) {
  const TImgInfos& i = grid.Infos;
  if (i.FrameWidth <= 0) return "";
  char buffer[160];
  std::snprintf(buffer, sizeof buffer, "cut out %d x %d at (%d, %d) of the %d x %d frame", grid.Nx, grid.Ny,
                i.CutOutColumn + 1, i.CutOutRow + 1, i.FrameWidth, i.FrameHeight);
  return buffer;
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
