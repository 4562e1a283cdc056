#include "support/seeing_sequence.h"

namespace caustica::test {

StarSimulationOptions SeeingSequence(int frames, std::uint64_t seed) {
  StarSimulationOptions o;
  o.Diameter = 200;
  o.FocalLength = 1600;
  o.Defocus = 6;
  o.Obstruction = 0.25;
  o.PolynomialType = kAnnularPolynomials;
  o.Width = o.Height = 288;
  o.Coefficients[5] = 40.0;
  o.Coefficients[8] = -30.0;
  o.Coefficients[11] = 25.0;
  o.SkyLevel = 120.0;
  o.SourceLevel = 3e6;
  o.PhotonNoise = true;
  o.ReadNoise = 6.0;
  o.Seed = seed;
  o.Atmosphere.Enabled = true;
  o.Atmosphere.R0 = 0.98 * 500e-9 / (2.0 / 206265.0);  // 2" at 500 nm
  o.Atmosphere.Exposure = 0.005;
  o.Atmosphere.WindSpeed = 8.0;
  o.Atmosphere.WindDirection = 30.0;
  o.Atmosphere.Seed = seed * 7919;
  o.Frames = frames;
  return o;
}

}  // namespace caustica::test
