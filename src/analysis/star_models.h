// The two image models of the star-test simulator (internal to it).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "analysis/star_wavefront.h"
#include "core/u_class.h"

namespace caustica {

// Everything in millimetres except the wavelengths (nanometres).
struct StarSetup {
  double Radius = 0.0;  // pupil radius
  double FocalLength = 0.0;
  double Obstruction = 0.0;  // fraction of the radius
  double PixelX = 0.0;       // binned pixel sides
  double PixelY = 0.0;
  int Width = 0;
  int Height = 0;
  std::vector<double> Wavelengths;
  int RaysPerPixel = 4;
  bool ExactGeometry = false;  // geometric model: no small-angle approximation
};

// Light of one image at distance z from focus (z < 0 inside focus), total 1
// over the whole plane: image (Width x Height, one plane) receives the part
// that falls on the detector.
void RenderGeometric(const StarSetup& setup, const StarWavefront& wavefront, double z, DoublePlanes& image,
                     long long& rayCount);

// Path differences added across the pupil, as turbulence adds them: each
// image is the average of Steps sub-exposures, and At gives the path (nm)
// of image 0 (intra) or 1 (extra) at sub-exposure step, pupil position
// (x, y) in pupil units, y upwards.
struct PupilPaths {
  std::function<double(int image, int step, double x, double y)> At;
  int Steps = 1;
  double MaxSlope = 0.0;  // bound of the paths' slopes, nm per pupil unit
};

// Both images with Fresnel diffraction, averaged over the wavelengths (and
// the sub-exposures of paths), each of total 1 over the plane. False, with
// the reason, when the sampling the set-up needs exceeds what can be
// transformed.
bool RenderFresnel(const StarSetup& setup, const StarWavefront& wavefront, double zIntra, double zExtra,
                   DoublePlanes& intra, DoublePlanes& extra, int& transformSize, int& pupilSamples,
                   std::string& why, const PupilPaths* paths = nullptr);

}  // namespace caustica
