// Opening a test image, the same for the desktop program and the batch
// tool: the file read into a grid, the pupil searched by the block-average
// threshold, measured, the axes set in pupil units and the display window
// opened on the whole range.
#pragma once

#include <array>
#include <memory>
#include <string>

#include "analysis/star_finder.h"
#include "analysis/u_pupille.h"
#include "core/raster.h"

namespace caustica {

// The threshold search of an opened image (the preferences ExtractDim and
// ExtractSeuil).
struct TPupilSearch {
  int BlockCount = 16;
  double Percentage = 50.0;
};

// The system's refusal of a file that gives no image of at least 3 x 3.
inline constexpr const char* kImageFormatIncompatible = "Image format incompatible";

// What became of an opened image.
struct TOpenOutcome {
  bool Opened = false;      // false: refused, the grid is to be discarded
  bool PupilFound = false;  // a frame without a pupil still opens
  std::string Reason;       // why it was refused, or why no pupil was found
  TStarFinding Star;        // the donut found in the frame, or why there is none
  bool Cut = false;         // the frame was cut out around its star
};

// The pupil search, measure, axes and display window of an image already
// in grid. PupilFound is false (with the reason) for a uniform frame or one
// where the threshold leaves no pupil; the grid is searched all the same.
TOpenOutcome SearchPupil(TPupille& grid, const TPupilSearch& search);

// "Open": the FITS file into grid, then SearchPupil. Refused with
// kImageFormatIncompatible when the file gives fewer than 3 columns or rows.
TOpenOutcome OpenTestImage(const std::string& fileName, const TPupilSearch& search, TPupille& grid);

// The first half of OpenTestImage: the file read and refused the same way,
// the star searched, no pupil search yet (a frame about to be cut out is
// searched once, after the cut).
TOpenOutcome LoadTestFrame(const std::string& fileName, TPupille& grid);

// Cutting out. The square holds the donut, its halo and room to spare; its
// side grows in steps of 16 so that two images of one test with nearly equal
// donuts get one size.
int CutOutSide(double radius);
// The side that fits both donuts of a pair.
int CutOutSide(const TStarFinding& intra, const TStarFinding& extra);
// A frame much larger than the square is cut out; one that is not (a
// prepared cut-out) is kept as it is.
bool NeedsCutOut(const TFctXY& frame, int side);
// Cuts grid to side x side around the star, the square moved inside the
// frame where the star lies near an edge, the sky's slope taken off; the
// offset in the frame and the frame's size go into Infos. The pupil is to be
// searched again.
void CutOut(TPupille& grid, const TStarFinding& star, int side);
// "Cut out" on one image: its star found, the image cut to the square its
// donut takes when it is much larger (Cut says so), the pupil searched again.
// Star tells why nothing was cut when no usable star was found.
TOpenOutcome CutOutTestImage(TPupille& grid, const TPupilSearch& search);
// "Open" with the cut-out on opening: LoadTestFrame, then CutOutTestImage
// when cutOut, SearchPupil otherwise.
TOpenOutcome OpenTestFrame(const std::string& fileName, const TPupilSearch& search, bool cutOut,
                           TPupille& grid);

// Both images of a pair cut to the one square that fits both donuts, when
// either frame is much larger than it and both can hold it; true when cut.
bool CutOutPair(TPupille& intra, const TStarFinding& intraStar, TPupille& extra,
                const TStarFinding& extraStar);
// "cut out 256 x 256 at (1201, 801) of the 4096 x 2800 frame", or empty.
std::string CutOutText(const TFctXY& grid);

// "Import a jpeg image": the picture split into its blue, green and red
// channels, in that order, each a grid of the picture's size with its
// wavelength, the monochrome palette and SearchPupil. Refused when the
// picture is smaller than 3 x 3.
struct TColourChannels {
  std::array<std::shared_ptr<TPupille>, 3> Grids;
  std::array<TOpenOutcome, 3> Outcomes;
};
TOpenOutcome SplitColourPicture(const TRaster& picture, const std::array<double, 3>& wavelengths,
                                const TPupilSearch& search, TColourChannels& channels);

}  // namespace caustica
