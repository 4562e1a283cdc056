// The information a FITS header gives about an image. It lives in the core
// because every grid carries the record of the image it came from.
#pragma once

#include <array>
#include <cstdint>
#include <string>

namespace caustica {

// Header information of an image, in the order the reader fills it.
struct TImgInfos {
  std::int32_t Naxis1 = 0;
  std::int32_t Naxis2 = 0;
  std::uint8_t Naxis3 = 0;
  std::uint8_t Naxis = 0;
  std::int32_t Bitpix = 0;
  std::string Extra1, Extra2, Extra3;
  std::string DateObs;
  std::array<double, 101> LowLevel{};   // [1..100], per plane
  std::array<double, 101> HighLevel{};  // [1..100], per plane
  std::int32_t Exposure = 0;
  std::int16_t BinX = 0;
  std::int16_t BinY = 0;
  bool MirrorX = false;
  bool MirrorY = false;
  std::string Telescope;        // at most 80 characters
  std::string Observer;         // at most 80 characters
  std::string Instrument;       // at most 80 characters
  std::string Filters;          // at most 80 characters
  std::string Observatory;      // at most 80 characters
  double FocalLength = 0.0;     // mm
  double RightAscension = 0.0;  // hours
  double Declination = 0.0;     // degrees
  double PixelSizeX = 0.0;      // micrometres
  double PixelSizeY = 0.0;      // micrometres
  std::int32_t WindowX1 = 0, WindowY1 = 0, WindowX2 = 0, WindowY2 = 0;
  std::array<std::string, 5> Comments;  // [1..4]
  double Diameter = 0.0;
  double Temperature = 0.0;
  double Orientation = 0.0;
  double Seeing = 0.0;
  double BZero = 0.0;
  double BScale = 0.0;
  // A cut-out of a larger frame: where it starts in that frame (samples
  // left out before its first column and row) and the frame's size; the
  // frame size is 0 for an image that was not cut out.
  std::int32_t CutOutColumn = 0, CutOutRow = 0;
  std::int32_t FrameWidth = 0, FrameHeight = 0;
};

}  // namespace caustica
