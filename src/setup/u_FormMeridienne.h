// The mid-line profile: the values of a grid along a diameter at the grid's
// own azimuth, with the segment to mark on its picture and the axis titles
// that suit its kind of content.
#pragma once

#include <string>
#include <vector>

namespace caustica {

class TPupille;
struct TShape;

struct TProfilePoint {
  double X = 0.0;
  double Y = 0.0;
  bool Gap = false;  // the curve is broken here (the central hole)
};

struct TMidLineProfile {
  std::vector<TProfilePoint> Points;
  // The diameter on the picture, in rounded column and row indices.
  int Column1 = 0, Row1 = 0, Column2 = 0, Row2 = 0;
  // Empty: the title stays as it was.
  std::string VerticalTitle;
  std::string HorizontalTitle;
  // The grid's range, where the vertical axis is fixed.
  double Low = 0.0;
  double High = 0.0;
};

inline constexpr const char* kMidLineInitialVerticalTitle = "Path difference (nm)";
inline constexpr const char* kMidLineInitialHorizontalTitle = "Radial coordinate (mm)";

// Profile of grid at zoom (1..10) along its Angle. Stores the grid's range
// (ComputeRange) and nothing else.
TMidLineProfile MidLineProfile(TPupille& grid, int zoom);

// The azimuth control in degrees against the grid's Angle in radians.
double AzimuthToRadians(int degrees);
int RadiansToAzimuth(double angle);

// The profile's diameter as a visible line overlay of grid, in its axis
// coordinates, so the grid's own rendering draws it.
void MarkMidLine(const TPupille& grid, const TMidLineProfile& profile, TShape& shape);

}  // namespace caustica
