// The HTML test report: its lines built from what a test holds (figures,
// texts and pictures), and the set of files written beside each other.
// The desktop program and caustica-batch gather the content each from
// their own state and both hand it here, so the two reports read the same.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "core/raster.h"
#include "setup/u_parametres.h"
#include "setup/u_parametres_model.h"
#include "setup/u_prefs.h"

namespace caustica {

// Size, pupil samples and pupil radius of an image grid.
struct TReportGridFigures {
  int Nx = 0;
  int Ny = 0;
  int MaskCount = 0;
  double PupilRadius = 0.0;  // pixels
};

// Strehl ratio, RMS and PTV (nm) of a wavefront map.
struct TReportMapFigures {
  double Strehl = 0.0;
  double Rms = 0.0;
  double Ptv = 0.0;
};

// A product picture and the caption its window (or file) carries.
struct TReportProduct {
  int Kind = 0;
  std::string Caption;
  TRaster Picture;
};

// The decimals and wavelengths the report formats its figures with.
struct TReportFormat {
  int Millimetres = 0;  // NDecMilli
  int Pixels = 0;       // NDecPix
  int Nanometres = 2;   // NDecNano
  int Strehl = 0;       // NDecStrehl
  int Lambda = 0;       // NDecLambda
  double LambdaRef = 555.0;
  double LambdaInterfero = 555.0;
};

struct TReportContent {
  // Test parameters, as stored (nm) and as typed in the dialog.
  std::string Instrument;
  std::string Camera;
  double Rayon = 0.0;
  double Focale = 0.0;
  double Defocalisation = 0.0;
  double DistanceSource = 0.0;
  TSourceChoice Source = TSourceChoice::StarAtInfinity;
  std::string ExposureIntra;
  std::string ExposureExtra;
  double SignalObstruction = 0.0;  // fraction of the pupil diameter

  // Section 1: the images shown and the reconstruction's own grids. A
  // picture left empty has no window to take it from.
  TRaster IntraPicture;
  TRaster ExtraPicture;
  TReportGridFigures Intra;
  TReportGridFigures Extra;
  bool HasSignal = false;  // a signal window is open
  TRaster SignalPicture;
  TReportGridFigures Signal;

  // Section 2.
  TRaster FrontPicture;
  TReportMapFigures Front;
  bool HasResidual = false;  // a residual window is open
  TRaster ResidualPicture;
  TReportMapFigures Residual;
  std::string Method;  // "Classic" or "Accurate"

  // Section 3: coefficients in RMS form, index 1..count; Selected false marks
  // a term switched off.
  int TermCount = 0;
  std::vector<double> RmsCoefficients;
  std::vector<bool> Selected;

  // Product pictures in window order.
  std::vector<TReportProduct> Products;

  TReportFormat Format;
};

class TPupille;
class TRoddier;

// The decimals and wavelengths of the preferences.
TReportFormat ReportFormatOf(const TkwValue& values);
// Diameter, focal length, defocus and source distance as stored; the source
// choice and the descriptive texts are the caller's.
void FillReportParameters(const TParametres& parametres, TReportContent& content);
// The figures of a grid as they stand.
TReportGridFigures GridFiguresOf(const TPupille& grid);
TReportMapFigures MapFiguresOf(const TPupille& grid);
// From the reconstruction: the figures of its corrected images and signal,
// the obstruction after the signal, the wavefront's and residual's figures,
// the coefficients in RMS form with the wavefront's selection, and the
// method that made it.
void FillReportReconstruction(const TRoddier& slot, int termCount, TReportContent& content);

// One picture the report links, by its file name in the report's folder.
struct TReportFile {
  std::string Name;
  const TRaster* Picture = nullptr;
};

// The HTML lines of the report and, in pictures, the files they link, in the
// order they are written.
std::vector<std::string> ReportLines(const TReportContent& content,
                                     std::vector<TReportFile>* pictures = nullptr);

// The lines joined with CR LF.
std::string ReportText(const TReportContent& content);

// Writes every picture, then the HTML file, each atomically. A failure stops
// before the HTML file, so an earlier report never links a picture that is
// missing; false with the reason in error.
bool WriteReport(const std::string& htmlFile, const TReportContent& content, std::string* error = nullptr);

}  // namespace caustica
