// The pupil grid: a sampled function with the pupil's geometry, its optical
// context and the Zernike description of a wavefront.
#pragma once

#include <cstdint>
#include <memory>

#include "analysis/u_zernike.h"
#include "core/u_fonctionxy.h"

namespace caustica {

// Content kinds.
enum : std::uint8_t {
  kKindIntra = 0,
  kKindExtra = 1,
  kKindSignal = 2,
  kKindWavefront = 3,
  kKindResidual = 4,
  kKindActualPsf = 5,
  kKindTheoreticalPsf = 6,
  kKindInterferogram = 7,
  kKindFoucault = 9,
  kKindSpotDiagram = 10,
};

class TPupille : public TFctXY {
 public:
  std::uint8_t Kind = 0;
  double PupilRadius = 0.0;  // pixels
  double Obstruction = 0.0;  // fraction of the pupil radius
  double Wavelength = 0.0;   // nanometres
  std::uint8_t Channel = 0;  // 0 single, 1 blue, 2 green, 3 red
  double Angle = 0.0;        // radians
  std::int32_t FringeCount = 0;
  double Strehl = 0.0;
  double ObstructionFactor = 0.0;
  double StrehlObstructed = 0.0;
  ZernikeCoefficients Coefficients{};  // nanometres, [1..42]
  ZernikeSelection Selected{};         // [1..42]
  bool HigherOrders = false;
  // The basis the coefficients belong to: a new grid takes the program-wide
  // one, a fit stamps the basis it used. Switching terms, adding a term and
  // the figures derived from the coefficients use this one, so a later
  // change of the basis settings never reinterprets an older fit.
  TZernikeBasis Basis = ZernikeBasis;

  // Assign plus the pupil's kind, geometry and Zernike description; false,
  // and this grid untouched, when the sizes or kinds differ.
  bool AssignPupil(const TPupille& src);
  // Makes this pupil a full, independent copy of src whatever its previous
  // size: the grid (see TFctXY::CloneFrom) and every pupil field. Hides the
  // grid's form on purpose: a plain grid has no pupil fields to give.
  void CloneFrom(const TPupille& src);

  // Pupil geometry.
  void ExtractThreshold(int blockCount, double percentage);
  void MeasurePupil();
  void MeasureObstruction();
  void SetPupilAxes();
  void CentrePupil();
  void TrimToAnnulus();
  void CropAroundPupil(double margin);

  // Zernike description of the map.
  void SynthesiseFromZernike();
  void ApplySelection(const ZernikeSelection& selection);
  void AddZernikeTerm(int k, double amount);
  // Fits the selected terms of basis, which becomes the grid's basis.
  void FitZernike(const TZernikeBasis& basis);
  // The same with the program-wide basis settings ("Adjust").
  void FitZernike();

  // Diffraction products.
  void SetTiltPlane(double a, double b);
  void MakeInterferogram(const TPupille& wavefront, const TPupille& tilt);
  // Fills actual (kind 5) and theoretical (kind 6) with the PSFs of this
  // wavefront enlarged factor times by zero padding.
  void ComputePSF(int factor, TPupille& actual, TPupille& theoretical) const;
  void ComputeStrehl();
};

// The pupil's position and size on its grid: origin, radius and obstruction.
void CopyPupilGeometry(const TPupille& src, TPupille& dst);

// A new real grid of the image's size filled with AssignPupil, as the
// reconstruction copies its images before padding and correcting them;
// empty for a complex grid, which is no camera image.
std::shared_ptr<TPupille> ImageCopy(const TPupille& image);

}  // namespace caustica
