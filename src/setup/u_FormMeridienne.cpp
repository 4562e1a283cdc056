#include "setup/u_FormMeridienne.h"

#include <cmath>

#include "analysis/u_pupille.h"
#include "core/u_math.h"

namespace caustica {

namespace {

const char* VerticalTitleOf(int kind) {
  switch (kind) {
    case kKindIntra:
    case kKindExtra:
      return "Intensity (ADU)";
    case kKindSignal:
      return "Signal (I1-I2)/(I1+I2)";
    case kKindWavefront:
    case kKindResidual:
      return "Path difference (nm)";
    case kKindActualPsf:
    case kKindTheoreticalPsf:
    case kKindInterferogram:
      return "Normalized intensity";
    default:
      return "";
  }
}

bool InSamples(int kind) { return kind == kKindActualPsf || kind == kKindTheoreticalPsf; }

// Axis coordinate of a column or row index, the inverse of ColumnOf/RowOf.
double AxisOf(double index, double origin, double spacing) { return (index - origin) * spacing; }

}  // namespace

TMidLineProfile MidLineProfile(TPupille& grid, int zoom) {
  TMidLineProfile p;
  grid.ComputeRange();
  const double r = grid.PupilRadius / (zoom > 0 ? zoom : 1);
  const int n = RoundToInt(2 * r);
  const double theta = grid.Angle;
  const double cx = grid.OriginColumn, cy = grid.OriginRow;
  const double c = std::cos(theta), s = std::sin(theta);
  p.Column1 = RoundToInt(cx - r * c);
  p.Row1 = RoundToInt(cy + r * s);
  p.Column2 = RoundToInt(cx + (n - r) * c);
  p.Row2 = RoundToInt(cy - (n - r) * s);
  p.VerticalTitle = VerticalTitleOf(grid.Kind);
  const bool samples = InSamples(grid.Kind);
  p.HorizontalTitle = samples ? "Coordonnée radiale (pix.)" : "Coordonnée radiale (mm)";

  // Without a pupil there is no diameter to follow.
  if (!(grid.PupilRadius > 0)) return p;
  const double hole = 1.1 * grid.Obstruction * grid.PupilRadius;
  p.Points.reserve(n + 1);
  for (int i = 0; i <= n; ++i) {
    const double t = i - r;
    const double x = samples ? t : t * grid.Scale * 1e-6 / grid.PupilRadius;
    double value = 0.0;
    if (grid.Sample(cx + t * c, cy - t * s, value))
      p.Points.push_back({x, value, false});
    else if (std::abs(t) <= hole)
      p.Points.push_back({x, 0.0, true});
  }
  p.Low = grid.MinValue;
  p.High = grid.MaxValue;
  return p;
}

double AzimuthToRadians(int degrees) { return degrees * 3.141592653589793 / 180; }

int RadiansToAzimuth(double angle) { return RoundToInt(angle * 180 / 3.141592653589793); }

void MarkMidLine(const TPupille& grid, const TMidLineProfile& profile, TShape& shape) {
  shape.Visible = true;
  shape.ShapeKind = 0;
  shape.X1 = AxisOf(profile.Column1, grid.OriginColumn, grid.Dx);
  shape.Y1 = AxisOf(profile.Row1, grid.OriginRow, grid.Dy);
  shape.X2 = AxisOf(profile.Column2, grid.OriginColumn, grid.Dx);
  shape.Y2 = AxisOf(profile.Row2, grid.OriginRow, grid.Dy);
  shape.Radius = 0.0;
}

}  // namespace caustica
