#include "cli/batch_reconstruct.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

#include "analysis/channel_run.h"
#include "analysis/pair_checks.h"
#include "analysis/test_image.h"
#include "analysis/zernike_conventions.h"
#include "cli/batch_args.h"
#include "cli/batch_checks.h"
#include "cli/batch_outputs.h"
#include "cli/batch_sequence.h"
#include "cli/batch_summary.h"
#include "cli/run_folder.h"
#include "core/atomic_file.h"
#include "core/grid_picture.h"
#include "core/input_limits.h"
#include "core/u_Palettes.h"
#include "core/u_math.h"
#include "io/jpeg_file.h"
#include "setup/reconstruction_method.h"
#include "setup/report.h"
#include "setup/run_settings.h"
#include "setup/u_parametres.h"
#include "setup/u_parametres_model.h"
#include "setup/u_prefs.h"

namespace caustica::cli {

const char* const kReconstructHelp =
    R"(Usage: caustica-batch reconstruct [options] --output FOLDER

Reconstructs the wavefront from an intra-focal and an extra-focal image and
writes the wavefront, its files, the products asked for and a summary.

Images (as the camera recorded them; each extra-focal image is turned by
180 degrees on reading):
  --intra FILE --extra FILE   one FITS pair (simple mode); give three pairs,
                              blue, green, red in that order, for a
                              polychromatic test
  --jpeg-intra FILE --jpeg-extra FILE
                              one colour JPEG pair split into its blue, green
                              and red channels (polychromatic test)
  --intra-sequence FILE --extra-sequence FILE
                              a sequence of frames for each side, against
                              seeing: several FITS files (repeat the option),
                              one FITS cube or one SER video. Each frame's
                              star is found and poor frames are left out;
                              the kept frames are registered and averaged
                              into the pair whose wavefront is written, and
                              frame pairs (the k-th kept of each side) are
                              reconstructed one by one for a robust mean and
                              a standard error of each coefficient
  --keep-fraction F           of the frames that pass every check, the
                              sharpest fraction F (0 < F <= 1, default 1)

Test parameters:
  --diameter MM               pupil diameter, whole millimetres (> 0)
  --focal MM                  focal length, whole millimetres (> 0)
  --defocus MM                distance of each image from focus, or:
  --pixel-size UM             pixel size in micrometres; the defocus is then
                              computed from the two pupil radii
  --binning N                 binning used at acquisition (default 1)
  --logical-binning N         binning applied afterwards (default 1)
  --source KIND               infinity (default), artificial, curvature,
                              autocollimation
  --distance D                source distance of an artificial star
  --distance-unit U           mm (default), m, km
  --angle A                   angle of incidence (default 0)
  --angle-unit U              deg (default), rad
  --orientation O             x or y: the axis the set-up astigmatism and coma
                              are subtracted along (default: none subtracted)
  --obstruction F             central obstruction, fraction of the pupil
                              radius (0 < F < 1), when known: used instead of
                              the one measured on the images

Run:
  --prefs FILE                preferences file ("Prefs.txt" format); the
                              built-in defaults otherwise
  --set KEY=VALUE             one preference for this run, by its "Prefs.txt"
                              key (SubComa=0, LambdaB=460, NIter=5, ...);
                              repeatable, applied over --prefs
  --method M                  reconstruction method: accurate (default) or
                              classic (the classic algorithm, to compare
                              with earlier results); without it, the setting
                              saved in "Reconstruction.txt" beside the
                              --prefs file
  --output FOLDER             where the results go (created if needed)
  --no-cutout                 keep whole frames; by default a frame much
                              larger than its donut is cut to a square
                              around it (the same size for both images)
  --json                      print the summary as JSON instead of text
  --report FILE               also write the HTML test report to FILE, its
                              JPEG pictures beside it (intra.jpg, extra.jpg,
                              Front.jpg, Residu.jpg and the products)
  --instrument TEXT, --camera TEXT, --exposure-intra S, --exposure-extra S
                              what the report prints of the instrument, the
                              camera and the exposure times
  --quiet                     no progress bar

Products (all made from each reconstructed wavefront):
  --products LIST             comma-separated: interferogram, foucaultgram,
                              psf, spots, or all
  --product-angle DEG         fringe direction and knife-edge angle (default 0)
  --fringes N                 tilt fringes of the interferogram, also the
                              sampling step of the spot diagram (1..24,
                              default 8)
  --series STEP               make the series of interferograms and
                              Foucaultgrams from the angle, STEP degrees apart
  --psf-size F                enlargement of the PSF: 1, 2, 4 or 8 (default:
                              the preference FactMultDiff)
  --zernike-format LIST       comma-separated: system, noll, ansi, fringe;
                              writes zernike_<F>.csv, RMS-normalised except
                              fringe (not normalised, as is usual for it), its
                              header stating ordering, normalisation, annular
                              ratio, wavelength, units, sign and axes

Files written in the output folder (with _blue, _green, _red before the
extension in a polychromatic test): wavefront.jpg, wavefront.opd,
zernike.txt, zernike_<F>.csv, residual.jpg, corrected_intra.jpg, corrected_extra.jpg, the
products (interferogramA.jpg, foucaultgramA.jpg, psf_actual.jpg,
psf_theoretical.jpg, spots.jpg), forward_intra.jpg and forward_extra.jpg (the
measured images minus those the optics found would give: the forward-model
check, whose RMS the summary states), summary.txt and summary.json.
)";

namespace {

using Grid = std::shared_ptr<TPupille>;

struct TChannelImages {
  Grid Intra;
  Grid Extra;
  TStarFinding IntraStar, ExtraStar;  // as found in the frames, before any cut-out
};

bool FileReadable(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec) && ::access(path.c_str(), R_OK) == 0;
}

void RequireFile(const std::string& path) {
  std::error_code ec;
  if (!std::filesystem::exists(path, ec)) throw BatchError("no such file: " + path);
  if (!FileReadable(path)) throw BatchError("cannot read file: " + path);
}

std::string FileName(const std::string& path) { return std::filesystem::path(path).filename().string(); }

// The file read and its star found; a frame without a usable star is refused
// with the reason, naming the image.
Grid LoadFits(const std::string& path, const std::string& role, TStarFinding& star) {
  RequireFile(path);
  auto g = std::make_shared<TPupille>();
  const TOpenOutcome outcome = LoadTestFrame(path, *g);
  if (!outcome.Opened)
    throw BatchError(outcome.Reason + ": " + path + " (" +
                     (LastInputRefusal().empty() ? "not a readable FITS image" : LastInputRefusal()) + ")");
  // Refused here, before the other image is read and anything is padded.
  if (const std::string why = FrameShapeRefusal(g->Nx, g->Ny); !why.empty())
    throw BatchError(std::string(kImageFormatIncompatible) + ": " + path + " (" + why + ")");
  if (!outcome.Star.Found()) throw BatchError(StarRefusal(outcome.Star, role, FileName(path)));
  star = outcome.Star;
  return g;
}

// The rest of "Open" and "Open as extra-focal": the pupil search, and the
// extra-focal image turned.
void FinishOpening(TPupille& g, bool extraFocal, const TPupilSearch& search, const std::string& path) {
  const TOpenOutcome outcome = SearchPupil(g, search);
  if (!outcome.PupilFound) throw BatchError(outcome.Reason + " in " + path);
  if (extraFocal) {
    g.Rotate180();
    g.Kind = kKindExtra;
  } else {
    g.Kind = kKindIntra;
  }
}

// A FITS pair, cut out around its donuts when the frames are much larger.
TChannelImages OpenFitsPair(const std::string& intraPath, const std::string& extraPath,
                            const TPupilSearch& search, bool cutOut, std::vector<std::string>& notes) {
  TChannelImages pair;
  TStarFinding& intraStar = pair.IntraStar;
  TStarFinding& extraStar = pair.ExtraStar;
  pair.Intra = LoadFits(intraPath, "intra-focal", intraStar);
  pair.Extra = LoadFits(extraPath, "extra-focal", extraStar);
  for (const auto& [star, path] : {std::pair{&intraStar, &intraPath}, std::pair{&extraStar, &extraPath}}) {
    const std::string note = StarNote(*star, FileName(*path));
    if (!note.empty()) notes.push_back(note);
  }
  if (cutOut && CutOutPair(*pair.Intra, intraStar, *pair.Extra, extraStar)) {
    notes.push_back(FileName(intraPath) + ": " + CutOutText(*pair.Intra));
    notes.push_back(FileName(extraPath) + ": " + CutOutText(*pair.Extra));
  }
  FinishOpening(*pair.Intra, false, search, intraPath);
  FinishOpening(*pair.Extra, true, search, extraPath);
  return pair;
}

// "Import a jpeg image": blue, green, red grids of the picture's size.
std::vector<Grid> OpenJpeg(const std::string& path, bool extraFocal, const TPupilSearch& search,
                           const std::array<double, 3>& wavelengths, std::vector<TStarFinding>* stars) {
  RequireFile(path);
  TRaster picture;
  std::string why;
  if (!DecodeJpegFile(path, picture, &why))
    throw BatchError("not a readable JPEG picture: " + path + " (" + why + ")");
  TColourChannels channels;
  const TOpenOutcome outcome = SplitColourPicture(picture, wavelengths, search, channels);
  if (!outcome.Opened) throw BatchError(outcome.Reason + ": " + path + " (smaller than 3 x 3)");
  if (const std::string why = FrameShapeRefusal(picture.Width, picture.Height); !why.empty())
    throw BatchError(std::string(kImageFormatIncompatible) + ": " + path + " (" + why + ")");
  std::vector<Grid> grids;
  for (std::size_t channel = 0; channel < 3; ++channel) {
    const TOpenOutcome& found = channels.Outcomes[channel];
    const std::string image = FileName(path) + " (" + ChannelNames[channel + 1] + ")";
    if (!found.Star.Found())
      throw BatchError(StarRefusal(found.Star, extraFocal ? "extra-focal" : "intra-focal", image));
    if (!found.PupilFound)
      throw BatchError(found.Reason + " in " + path + " (" + ChannelNames[channel + 1] + ")");
    Grid g = channels.Grids[channel];
    if (stars) stars->push_back(found.Star);
    // Moved to the extra-focal list: turned by 180 degrees like any extra-focal image.
    if (extraFocal) g->Rotate180();
    g->Kind = extraFocal ? kKindExtra : kKindIntra;
    grids.push_back(g);
  }
  return grids;
}

void RequireSameSize(const TChannelImages& pair, const std::string& intraName, const std::string& extraName) {
  if (pair.Intra->Nx != pair.Extra->Nx || pair.Intra->Ny != pair.Extra->Ny)
    throw BatchError("images of different sizes: " + intraName + " is " + std::to_string(pair.Intra->Nx) +
                     " x " + std::to_string(pair.Intra->Ny) + ", " + extraName + " is " +
                     std::to_string(pair.Extra->Nx) + " x " + std::to_string(pair.Extra->Ny));
}

TSourceChoice SourceOf(const std::string& text) {
  if (text == "infinity") return TSourceChoice::StarAtInfinity;
  if (text == "artificial") return TSourceChoice::ArtificialStar;
  if (text == "curvature") return TSourceChoice::RadiusOfCurvature;
  if (text == "autocollimation") return TSourceChoice::Autocollimation;
  throw BatchError("unknown source '" + text + "' (infinity, artificial, curvature or autocollimation)", 2);
}

// A bar of 100 on stderr, advanced in whole steps as the progress window is.
class ProgressBar {
 public:
  explicit ProgressBar(bool enabled) : enabled_(enabled) {}
  TRunProgress Callbacks() {
    TRunProgress p;
    if (!enabled_) return p;
    p.Start = [this](const std::string& caption, int iterations, double stepsPerIteration) {
      caption_ = caption;
      position_ = 0;
      const double steps = iterations * stepsPerIteration;
      step_ = steps > 0 ? static_cast<int>(RoundHalfEven(100.0 / steps)) : 100;
      Draw();
    };
    // The solve may run more passes than the bar counts: it then stays at 100.
    p.Step = [this] {
      const int next = std::min(100, position_ + step_);
      if (next != position_) {
        position_ = next;
        Draw();
      }
    };
    p.Finish = [this] {
      if (position_ != 100) {
        position_ = 100;
        Draw();
      }
    };
    p.Hide = [] { std::fputc('\n', stderr); };
    return p;
  }

 private:
  void Draw() const {
    const int width = 30;
    const int filled = position_ * width / 100;
    std::fprintf(stderr, "\r%s [%s%s] %3d%%", caption_.c_str(), std::string(filled, '#').c_str(),
                 std::string(width - filled, ' ').c_str(), position_);
    std::fflush(stderr);
  }
  bool enabled_;
  std::string caption_;
  int position_ = 0;
  int step_ = 0;
};

// The images of the run, as the command line named them.
std::string InputNames(const ArgList& args) {
  std::string names;
  for (const char* option :
       {"--intra", "--extra", "--jpeg-intra", "--jpeg-extra", "--intra-sequence", "--extra-sequence"})
    for (const std::string& f : args.All(option)) names += (names.empty() ? "" : ", ") + f;
  return names;
}

}  // namespace

int RunReconstruct(const std::vector<std::string>& arguments) {
  const ArgList args(arguments, {"--intra",           "--extra",          "--jpeg-intra",
                                 "--jpeg-extra",      "--diameter",       "--focal",
                                 "--defocus",         "--pixel-size",     "--binning",
                                 "--logical-binning", "--source",         "--distance",
                                 "--distance-unit",   "--angle",          "--angle-unit",
                                 "--orientation",     "--prefs",          "--method",
                                 "--output",          "--products",       "--product-angle",
                                 "--fringes",         "--series",         "--psf-size",
                                 "--zernike-format",  "--obstruction",    "--set",
                                 "--report",          "--instrument",     "--camera",
                                 "--exposure-intra",  "--exposure-extra", "--intra-sequence",
                                 "--extra-sequence",  "--keep-fraction"},
                     {"--json", "--quiet", "--no-cutout"});

  // Everything on the command line is checked before any image is read.
  TReconstructionMethod method = kDefaultReconstructionMethod;
  if (args.Has("--method") && !ParseReconstructionMethod(args.Text("--method"), method))
    throw BatchError("unknown method '" + args.Text("--method") + "' (classic or accurate)", 2);
  const std::string folder = args.Text("--output");
  if (folder.empty()) throw BatchError("no output folder (--output FOLDER)", 2);

  const auto& intraFiles = args.All("--intra");
  const auto& extraFiles = args.All("--extra");
  const bool jpeg = args.Has("--jpeg-intra") || args.Has("--jpeg-extra");
  const bool sequences = args.Has("--intra-sequence") || args.Has("--extra-sequence");
  TSequenceSettings sequenceSettings;
  if (sequences) {
    if (jpeg || !intraFiles.empty() || !extraFiles.empty())
      throw BatchError("give either sequences (--intra-sequence/--extra-sequence) or one pair, not both", 2);
    for (const char* option : {"--intra-sequence", "--extra-sequence"})
      if (!args.Has(option))
        throw BatchError(std::string("a sequence run needs both sides (") + option + " FILE)", 2);
    sequenceSettings.KeptFraction = args.Number("--keep-fraction", 1.0);
    if (!(sequenceSettings.KeptFraction > 0 && sequenceSettings.KeptFraction <= 1))
      throw BatchError("the kept fraction must lie in (0, 1] (--keep-fraction F)", 2);
  } else if (args.Has("--keep-fraction")) {
    throw BatchError("--keep-fraction applies to sequences only (--intra-sequence/--extra-sequence)", 2);
  } else if (jpeg) {
    if (!intraFiles.empty() || !extraFiles.empty())
      throw BatchError("give either FITS pairs (--intra/--extra) or a JPEG pair, not both", 2);
    if (args.All("--jpeg-intra").size() != 1 || args.All("--jpeg-extra").size() != 1)
      throw BatchError("a JPEG test needs one --jpeg-intra and one --jpeg-extra", 2);
  } else {
    if (intraFiles.empty() || extraFiles.empty())
      throw BatchError("no image pair (--intra FILE --extra FILE)", 2);
    if (intraFiles.size() != extraFiles.size() || (intraFiles.size() != 1 && intraFiles.size() != 3))
      throw BatchError("give one FITS pair, or three pairs (blue, green, red) for a polychromatic test", 2);
  }
  const bool polychromatic = !sequences && (jpeg || intraFiles.size() == 3);

  TParamEntries e;
  e.Diameter = args.Integer("--diameter", 0);
  e.FocalLength = args.Integer("--focal", 0);
  if (e.Diameter <= 0) throw BatchError("the diameter must be greater than zero (--diameter MM)", 2);
  if (e.FocalLength <= 0) throw BatchError("the focal length must be greater than zero (--focal MM)", 2);
  const bool fromRadii = args.Has("--pixel-size");
  if (fromRadii == args.Has("--defocus"))
    throw BatchError("give either the defocus (--defocus MM) or the pixel size (--pixel-size UM)", 2);
  if (fromRadii) {
    e.PixelSize = args.Number("--pixel-size", 0);
    if (e.PixelSize <= 0) throw BatchError("the pixel size must be greater than zero", 2);
    e.BinningUsed = args.Integer("--binning", 1);
    e.LogicalBinning = args.Integer("--logical-binning", 1);
    if (e.BinningUsed < 1 || e.BinningUsed > 255 || e.LogicalBinning < 1 || e.LogicalBinning > 255)
      throw BatchError("the binnings (--binning, --logical-binning) must lie in 1..255", 2);
  } else {
    e.Defocus = args.Number("--defocus", 0);
    if (e.Defocus <= 0) throw BatchError("the defocus must be greater than zero (--defocus MM)", 2);
  }
  e.Source = SourceOf(args.Text("--source", "infinity"));
  const std::string distanceUnit = args.Text("--distance-unit", "mm");
  if (distanceUnit == "mm")
    e.DistanceUnit = TDistanceUnit::Millimetres;
  else if (distanceUnit == "m")
    e.DistanceUnit = TDistanceUnit::Metres;
  else if (distanceUnit == "km")
    e.DistanceUnit = TDistanceUnit::Kilometres;
  else
    throw BatchError("unknown distance unit '" + distanceUnit + "' (mm, m or km)", 2);
  e.SourceDistance = args.Number("--distance", 0);
  if (e.Source == TSourceChoice::ArtificialStar && e.SourceDistance <= 0)
    throw BatchError("an artificial star needs its distance (--distance D, greater than zero)", 2);
  if (e.Source != TSourceChoice::ArtificialStar && args.Has("--distance"))
    throw BatchError("--distance applies to an artificial star only (--source artificial)", 2);
  e.Angle = args.Number("--angle", 0);
  const std::string angleUnit = args.Text("--angle-unit", "deg");
  if (angleUnit == "deg")
    e.AngleUnit = TAngleUnit::Degrees;
  else if (angleUnit == "rad")
    e.AngleUnit = TAngleUnit::Radians;
  else
    throw BatchError("unknown angle unit '" + angleUnit + "' (deg or rad)", 2);
  const std::string orientation = args.Text("--orientation", "");
  if (orientation == "x")
    e.Orientation = TOrientation::ByX;
  else if (orientation == "y")
    e.Orientation = TOrientation::ByY;
  else if (!orientation.empty())
    throw BatchError("unknown orientation '" + orientation + "' (x or y)", 2);
  e.Mode = polychromatic ? 1 : 0;
  CheckTestRanges(e);
  const double knownObstruction = args.Number("--obstruction", 0.0);
  if (args.Has("--obstruction") && !(knownObstruction > 0 && knownObstruction < 1))
    throw BatchError("the obstruction must lie between 0 and 1, as a fraction of the pupil radius", 2);

  if (args.Has("--prefs")) {
    const std::string prefs = args.Text("--prefs");
    RequireFile(prefs);
    TPreferences read;
    TImageFolderHistory history;
    if (!ReadPreferences(prefs, read, history)) throw BatchError("cannot read the preferences file " + prefs);
    CheckPreferenceRanges(read.Valeurs, prefs);
    InitPreferences(prefs);
    // Without --method, the method setting saved beside that preferences file.
    if (!args.Has("--method")) ReadReconstructionSettings(ReconstructionSettingsFilePath(prefs), method);
  } else {
    Preferences.Valeurs = TkwValue{};
  }
  // Preferences for this run only, over the file's or the defaults.
  for (const std::string& setting : args.All("--set")) {
    const std::size_t eq = setting.find('=');
    if (eq == std::string::npos ||
        !SetPreference(setting.substr(0, eq), setting.substr(eq + 1), Preferences.Valeurs))
      throw BatchError("--set expects KEY=VALUE with a key and value of \"Prefs.txt\", not '" + setting + "'",
                       2);
  }
  if (args.Has("--set") || !args.Has("--prefs"))
    SetZernikeBasis(Preferences.Valeurs.NPolyZern, Preferences.Valeurs.ModePoly);
  if (polychromatic) {
    const TkwValue& v = Preferences.Valeurs;
    std::string missing;
    for (const auto& [name, value] :
         {std::pair{"LambdaB", v.LambdaB}, {"LambdaV", v.LambdaV}, {"LambdaR", v.LambdaR}})
      if (!(value > 0)) missing += std::string(missing.empty() ? "" : ", ") + name;
    if (!missing.empty())
      throw BatchError("a three-colour test needs the wavelengths of its channels, and " + missing +
                           " is 0 (give them in the preferences or with --set LambdaB=460 --set LambdaV=530 "
                           "--set LambdaR=640)",
                       2);
  }
  const TProductRequest products = ProductsOf(args);
  // Everything the run and its files take of the preferences, once.
  const TkwValue& values = Preferences.Valeurs;
  const TRunSettings runSettings = RunSettingsOf(values, method, ZernikeBasis);
  const TPupilSearch search = PupilSearchOf(values);
  TOutputSettings output;
  output.Products = ProductSettingsOf(values);
  output.LambdaRef = values.LambdaRef;
  output.TermCount = values.NPolyZern;
  output.WavefrontPalette = values.PltFront;
  output.ImagePalette = values.PltSignal;

  // The files go to a staging folder swapped in once they are all written;
  // what an interrupted run left is cleared first.
  TRunFolder runFolder(folder);
  const std::string& staging = runFolder.Staging();

  // The images, read and searched as "Open" and "Open as extra-focal" do.
  TRunSummary run;
  std::vector<TChannelImages> pairs;
  FrameSequence intraSequence, extraSequence;
  TSequenceResult sequence;
  const TSequenceProgress sequenceProgress = SequenceProgressLine(!args.Flag("--quiet"));
  if (sequences) {
    OpenSequences(args, intraSequence, extraSequence);
    sequenceSettings.Search = search;
    if (!AverageSequence(intraSequence, extraSequence, sequenceSettings, sequenceProgress, sequence))
      throw BatchError("sequence refused: " + sequence.Refusal);
    pairs.push_back({sequence.Intra.Average, sequence.Extra.Average, sequence.Intra.AverageStar,
                     sequence.Extra.AverageStar});
    run.Notes.push_back("intra-focal sequence: " + intraSequence.Description());
    run.Notes.push_back("extra-focal sequence: " + extraSequence.Description());
  } else if (jpeg) {
    const std::array<double, 3> wavelengths = runSettings.ChannelWavelengths;
    std::vector<TStarFinding> intraStars, extraStars;
    const std::vector<Grid> intra =
        OpenJpeg(args.Text("--jpeg-intra"), false, search, wavelengths, &intraStars);
    const std::vector<Grid> extra =
        OpenJpeg(args.Text("--jpeg-extra"), true, search, wavelengths, &extraStars);
    for (std::size_t i = 0; i < 3; ++i) {
      pairs.push_back({intra[i], extra[i], intraStars[i], extraStars[i]});
      RequireSameSize(pairs.back(), args.Text("--jpeg-intra"), args.Text("--jpeg-extra"));
    }
  } else {
    for (std::size_t i = 0; i < intraFiles.size(); ++i) {
      pairs.push_back(
          OpenFitsPair(intraFiles[i], extraFiles[i], search, !args.Flag("--no-cutout"), run.Notes));
      RequireSameSize(pairs.back(), intraFiles[i], extraFiles[i]);
    }
  }

  // The defocus from the radii of the pair the dialog shows: the first, or
  // in a polychromatic test the colour the focus is aligned on. The dialog
  // shows it in millimetres with three decimals and reads that text back.
  if (fromRadii) {
    const std::size_t c = polychromatic ? std::min<std::size_t>(values.OriginFoc, 2) : 0;
    e.IntraRadius = pairs[c].Intra->PupilRadius;
    e.ExtraRadius = pairs[c].Extra->PupilRadius;
    double defocus = 0.0;
    DefocusFromRadii(e, defocus, method == TReconstructionMethod::Accurate);
    e.Defocus = std::strtod(DefocusText(defocus).c_str(), nullptr);
    if (e.Defocus <= 0) throw BatchError("the defocus computed from the pupil radii is zero", 2);
    CheckDefocusRange(e);
  }

  ApplySourceChoice(e);
  // The source distance counts as stored, as after an "Ok".
  const TSetupAberrations aberrations = SetupAberrations(e, DistanceObjet(e.SourceDistance, e.DistanceUnit));
  TParametres parametres;
  StoreEntries(e, aberrations, parametres);
  if (!ParametersComplete(parametres)) throw BatchError("The parameters are incomplete.", 2);
  TTestSetup test = TestSetupOf(parametres);
  test.Obstruction = knownObstruction;

  // The pair's checks, said before any work and kept in the summary.
  for (std::size_t i = 0; i < pairs.size(); ++i) {
    TPairFacts facts;
    facts.EnteredObstruction = knownObstruction;
    // A pixel size from the header checks the defocus entered; one given
    // on the command line made the defocus from the radii already.
    const TImgInfos& infos = pairs[i].Intra->Infos;
    if (!fromRadii && infos.PixelSizeX > 0)
      facts.PixelSize = infos.PixelSizeX * std::max<int>(1, infos.BinX) * 1e3;
    for (const std::string& w : CheckPair(pairs[i].IntraStar, pairs[i].ExtraStar, test, facts))
      run.Warnings.push_back((polychromatic ? ChannelNames[i + 1] + ": " : std::string()) + w);
  }
  if (!args.Flag("--quiet"))
    for (const std::string& w : run.Warnings) std::fprintf(stderr, "warning: %s\n", w.c_str());

  TReportRequest report;
  report.File = args.Text("--report");
  if (!report.File.empty()) {
    std::error_code ec;
    const std::filesystem::path reportFolder = std::filesystem::path(report.File).parent_path();
    if (!reportFolder.empty()) std::filesystem::create_directories(reportFolder, ec);
    if (!reportFolder.empty() && !std::filesystem::is_directory(reportFolder, ec))
      throw BatchError("cannot create the report's folder " + reportFolder.string());
    report.Content.Instrument = args.Text("--instrument");
    report.Content.Camera = args.Text("--camera");
    report.Content.ExposureIntra = args.Text("--exposure-intra");
    report.Content.ExposureExtra = args.Text("--exposure-extra");
    // The first pair as its windows would show it, before the run works on it.
    report.Content.IntraPicture = GridPicture(*pairs[0].Intra, 1.0, std::nullopt);
    report.Content.ExtraPicture = GridPicture(*pairs[0].Extra, 1.0, std::nullopt);
  }

  ProgressBar bar(!args.Flag("--quiet"));
  std::string why;
  run.Method = method == TReconstructionMethod::Accurate ? "accurate" : "classic";
  run.Mode = polychromatic ? "polychromatic" : "simple";
  run.OutputFolder = folder;
  run.Focale = parametres.Focale;
  run.Rayon = parametres.Rayon;
  run.Defocalisation = parametres.Defocalisation;
  run.DistanceSource = parametres.DistanceSource;
  run.Incidence = parametres.Incidence;
  run.AstigX = parametres.AstigX;
  run.AstigY = parametres.AstigY;
  run.ComaX = parametres.ComaX;
  run.ComaY = parametres.ComaY;
  run.Spherique = parametres.Spherique;
  run.Autocollimation = parametres.Autocollimation;

  if (polychromatic) {
    TRoddier blue, green, red;
    const std::array<TImagePair, 3> images = {TImagePair{pairs[0].Intra, pairs[0].Extra},
                                              TImagePair{pairs[1].Intra, pairs[1].Extra},
                                              TImagePair{pairs[2].Intra, pairs[2].Extra}};
    if (!ReconstructPolychromatic(blue, green, red, images, test, runSettings, bar.Callbacks(), &why))
      throw BatchError("reconstruction failed: " + why + " (" + InputNames(args) + ")");
    for (TRoddier* slot : {&blue, &green, &red}) {
      for (const std::string& w : CheckResult(*slot->Wavefront, test))
        run.Warnings.push_back(ChannelNames[slot->Wavefront->Channel & 3] + ": " + w);
      if (const std::string w = AccurateConvergenceWarning(*slot); !w.empty())
        run.Warnings.push_back(ChannelNames[slot->Wavefront->Channel & 3] + ": " + w);
    }
    std::array<TChannelPictures, 3> pictures;
    run.Channels.push_back(WriteChannel(blue, "Blue", "_blue", staging, products, test, output, pictures[0]));
    run.Channels.push_back(
        WriteChannel(green, "Green", "_green", staging, products, test, output, pictures[1]));
    run.Channels.push_back(WriteChannel(red, "Red", "_red", staging, products, test, output, pictures[2]));
    const char* suffixes[] = {"_blue", "_green", "_red"};
    for (std::size_t i = 0; i < 3; ++i) {
      TRoddier* slot = i == 0 ? &blue : i == 1 ? &green : &red;
      WriteForwardCheck(CheckChannelForwardModel(*slot, {pairs[i].Intra, pairs[i].Extra}, runSettings),
                        staging, suffixes[i], output, run.Channels[i]);
    }
    // The colour the focus is aligned on, as "Create a report" takes it.
    const std::size_t c = std::min<std::size_t>(values.OriginFoc, 2);
    const TRoddier* slots[] = {&blue, &green, &red};
    if (!report.File.empty()) WriteBatchReport(report, *slots[c], pictures[c], parametres, e.Source, values);
  } else {
    TRoddier mono;
    if (sequences) {
      ReconstructSequence(intraSequence, extraSequence, test, runSettings, sequenceSettings, sequenceProgress,
                          sequence);
      if (!sequence.Refusal.empty())
        throw BatchError("reconstruction failed: " + sequence.Refusal + " (" + InputNames(args) + ")");
      mono = sequence.Averaged;
      run.HasSequence = true;
      run.Sequence = SequenceReportOf(sequence, intraSequence, extraSequence);
    } else if (!ReconstructSingle(mono, {pairs[0].Intra, pairs[0].Extra}, test, runSettings, bar.Callbacks(),
                                  &why)) {
      throw BatchError("reconstruction failed: " + why + " (" + InputNames(args) + ")");
    }
    for (const std::string& w : CheckResult(*mono.Wavefront, test)) run.Warnings.push_back(w);
    if (const std::string w = AccurateConvergenceWarning(mono); !w.empty()) run.Warnings.push_back(w);
    TChannelPictures pictures;
    run.Channels.push_back(WriteChannel(mono, "single", "", staging, products, test, output, pictures));
    WriteForwardCheck(CheckChannelForwardModel(mono, {pairs[0].Intra, pairs[0].Extra}, runSettings), staging,
                      "", output, run.Channels.back());
    if (!report.File.empty()) WriteBatchReport(report, mono, pictures, parametres, e.Source, values);
  }

  run.Files = {"summary.txt", "summary.json"};
  const std::string text = SummaryText(run);
  const std::string json = SummaryJson(run);
  const std::filesystem::path dir(staging);
  if (!WriteFileAtomically((dir / "summary.txt").string(), text, &why))
    throw BatchError("cannot write summary.txt: " + why);
  if (!WriteFileAtomically((dir / "summary.json").string(), json, &why))
    throw BatchError("cannot write summary.json: " + why);
  runFolder.Commit();
  std::fputs(args.Flag("--json") ? json.c_str() : text.c_str(), stdout);
  return 0;
}

}  // namespace caustica::cli
