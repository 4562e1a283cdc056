// The grid function: a function sampled on a regular rectangular grid, the
// one data object behind every image, signal, wavefront and spectrum.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/image_info.h"
#include "core/image_surface.h"
#include "core/u_class.h"

namespace caustica {

// Overlay record drawn over a grid's picture: a segment or a circle, in axis units.
struct TShape {
  bool Visible = false;
  std::uint8_t ShapeKind = 0;  // 0 line segment, 1 circle
  double X1 = 0.0, Y1 = 0.0, X2 = 0.0, Y2 = 0.0;
  double Radius = 0.0;
};

class TFctXY {
 public:
  DoublePlanes Values;        // [p][r][c]; plane 2 the imaginary part when IsComplex
  Int16Planes Mask;           // [1][r][c]; 1 inside the pupil
  std::vector<double> XAxis;  // [1..Nx]
  std::vector<double> YAxis;  // [1..Ny]
  double Dx = 0.0;
  double Dy = 0.0;
  std::uint8_t IsComplex = 0;
  std::int32_t Nx = 0;
  std::int32_t Ny = 0;
  double OriginColumn = 0.0;
  double OriginRow = 0.0;
  std::int32_t MaskCount = 0;
  double MinValue = 0.0;
  double MaxValue = 0.0;
  double MeanValue = 0.0;
  double PtvValue = 0.0;
  double RmsValue = 0.0;
  double Scale = 0.0;
  double Threshold = 0.0;
  double DisplayLow = 0.0;
  double DisplayHigh = 0.0;
  std::uint8_t PaletteIndex = 0;
  bool Relief = false;
  bool MaskActive = false;
  double Zoom = 0.0;
  double RangeFactor = 0.0;
  std::array<TShape, 4> Shapes;  // [1..3]
  TImgInfos Infos;

  // Creation and storage.
  void Init(int nx, int ny);
  void Release();  // also sets Nx = Ny = 0
  // Copies src's samples, mask, axes and display fields onto this grid of
  // the same size and kind. False, and this grid untouched, when Nx, Ny or
  // the complex flag (hence the planes) differ: use CloneFrom to resize.
  bool Assign(const TFctXY& src);
  // Makes this grid a full, independent copy of src whatever its previous
  // size: arrays, axes and every field.
  void CloneFrom(const TFctXY& src);
  // Defined beside the FITS reader (io/u_fonctionxy_load.cpp).
  void LoadFromFits(const std::string& fileName);

  // Axes and coordinates.
  void SetAxes(int i1, int j1, double x1, double y1, int i2, int j2, double x2, double y2);
  // Nearest index, half-to-even; 0 when the spacing is 0.
  int ColumnOf(double x) const;
  int RowOf(double y) const;

  // Arithmetic on plane 1.
  void MultiplyBy(double factor);
  void Combine(const TFctXY& f1, const TFctXY& f2, double a, double b);
  void Sum(const TFctXY& f1, const TFctXY& f2);
  void Add(const TFctXY& other);
  double Distance(const TFctXY& other) const;

  // Mask operations.
  void CopyMask(const TFctXY& src);
  void CopyValuesWhereMask(const TFctXY& src, int code);
  void SetValuesWhere(int code, bool match, double value);
  void ThresholdMask();

  // Statistics. With no sample to look at, the range is 0..0.
  void ComputeRange();
  // The range of plane 1 without storing it.
  void Range(double& low, double& high) const;
  void ComputeMaskedRange();
  void ComputeMaskedStatistics();

  // Derivatives.
  void DerivativeX(const TFctXY& src);
  void DerivativeY(const TFctXY& src);
  void MaskedDerivativeX(const TFctXY& src);
  void MaskedDerivativeY(const TFctXY& src);
  void DirectionalDerivative(const TFctXY& src, double angle);

  // Resizing and moving.
  void PadToPowerOfTwo();
  void Crop(int columnOffset, int rowOffset, int newNx, int newNy);
  void Rotate180();
  void ShiftBy(double columnShift, double rowShift);

  // Sampling at fractional 1-based indices.
  bool Sample(double column, double row, double& value) const;

  // Fourier transforms (u_fft).
  void ForwardTransformOf(const TFctXY& src);
  void InverseTransformOf(TFctXY& src);
  void DivideByFrequencySquared();

  // Paints the grid in false colour with its palette, display window,
  // relief, mask and overlay shapes (u_fonctionxy_render). Drawing changes
  // neither the grid nor the program-wide palette state; a display window
  // of 0..0 draws the whole range. The monochrome palette takes the
  // program-wide tint unless one is given.
  void Render(TImageSurface& image) const;
  void Render(TImageSurface& image, double monochromeWavelength) const;

  bool HasArrays() const { return !Values.Empty(); }

 private:
  void CopyStatisticsAndDisplay(const TFctXY& src);
};

}  // namespace caustica
