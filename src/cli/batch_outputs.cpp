#include "cli/batch_outputs.h"

#include <algorithm>
#include <filesystem>
#include <optional>

#include "analysis/zernike_coefficients_file.h"
#include "cli/batch_args.h"
#include "core/grid_picture.h"
#include "io/jpeg_file.h"
#include "io/opd_file.h"
#include "setup/u_prefs.h"

namespace caustica::cli {

namespace {

// Writes the grid's picture as the image window draws it at 100 %; the
// picture is given back for the report.
TRaster SavePicture(TPupille& g, const std::string& path, bool useGridWavelength) {
  TRaster picture =
      GridPicture(g, 1.0, useGridWavelength ? std::optional<double>(g.Wavelength) : std::nullopt);
  std::string why;
  if (!EncodeJpegFile(path, picture, 90, &why)) throw BatchError("cannot write " + path + ": " + why);
  return picture;
}

// Display range of a map: its values inside the pupil.
void MaskedDisplayRange(TPupille& g) {
  g.ComputeMaskedRange();
  g.DisplayLow = g.MinValue;
  g.DisplayHigh = g.MaxValue;
  g.RangeFactor = 1.0;
}

// The items of a comma-separated list, empty ones left out.
std::vector<std::string> ListItems(const std::string& list) {
  std::vector<std::string> items;
  std::size_t start = 0;
  while (start <= list.size()) {
    const std::size_t comma = list.find(',', start);
    std::string item = list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (!item.empty()) items.push_back(std::move(item));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return items;
}

class OutputFolder {
 public:
  OutputFolder(std::string folder, std::string suffix)
      : folder_(std::move(folder)), suffix_(std::move(suffix)) {}
  // base + suffix + extension inside the folder; remembered as written.
  std::string Path(const std::string& base, const std::string& extension,
                   std::vector<std::string>& written) const {
    const std::string name = base + suffix_ + extension;
    written.push_back(name);
    return (std::filesystem::path(folder_) / name).string();
  }

 private:
  std::string folder_;
  std::string suffix_;
};

void Require(bool ok, const std::string& what, const std::string& why) {
  if (!ok) throw BatchError(what + ": " + why);
}

void WriteProducts(TPupille& wavefront, const TProductRequest& req, const TTestSetup& test,
                   const TProductSettings& settings, const OutputFolder& out,
                   std::vector<std::string>& written, TChannelPictures& pictures) {
  const auto keep = [&pictures](int kind, std::string caption, TRaster picture) {
    pictures.Products.push_back({kind, std::move(caption), std::move(picture)});
  };
  const std::vector<int> angles =
      req.SeriesStep > 0 ? SeriesAngles(req.Angle, req.SeriesStep) : std::vector<int>{req.Angle};
  std::string why;
  if (req.Interferogram)
    for (const int a : angles) {
      TPupille t;
      Require(ComputeInterferogram(wavefront, a, req.Fringes, settings, t, &why), "interferogram", why);
      keep(kKindInterferogram, "Interferogram" + std::to_string(a),
           SavePicture(t, out.Path("interferogram" + std::to_string(a), ".jpg", written), true));
    }
  if (req.Foucaultgram)
    for (const int a : angles) {
      TPupille t;
      Require(ComputeFoucaultgram(wavefront, a, t, &why), "Foucaultgram", why);
      MaskedDisplayRange(t);
      keep(kKindFoucault, "Foucaultgram" + std::to_string(a),
           SavePicture(t, out.Path("foucaultgram" + std::to_string(a), ".jpg", written), false));
    }
  if (req.Psf) {
    TPupille actual, theoretical;
    Require(ComputePsfPair(wavefront, req.PsfFactor, settings, actual, theoretical, &why), "PSF", why);
    SavePicture(actual, out.Path("psf_actual", ".jpg", written), false);
    keep(kKindTheoreticalPsf, "Theoretical PSF",
         SavePicture(theoretical, out.Path("psf_theoretical", ".jpg", written), false));
  }
  if (req.Spots) {
    TPupille d;
    Require(ComputeSpotDiagram(wavefront, test.Focale, test.Rayon, req.Fringes, settings, d, &why),
            "spot diagram", why);
    keep(kKindSpotDiagram, "Spots", SavePicture(d, out.Path("spots", ".jpg", written), false));
  }
}

}  // namespace

TProductRequest ProductsOf(const ArgList& args) {
  TProductRequest p;
  std::string list = args.Text("--products");
  std::size_t start = 0;
  while (!list.empty() && start <= list.size()) {
    const std::size_t comma = list.find(',', start);
    const std::string item =
        list.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
    if (item == "all") {
      p.Interferogram = p.Foucaultgram = p.Psf = p.Spots = true;
    } else if (item == "interferogram") {
      p.Interferogram = true;
    } else if (item == "foucaultgram") {
      p.Foucaultgram = true;
    } else if (item == "psf") {
      p.Psf = true;
    } else if (item == "spots") {
      p.Spots = true;
    } else {
      throw BatchError("unknown product '" + item + "' (interferogram, foucaultgram, psf, spots or all)", 2);
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  p.Angle = args.Integer("--product-angle", 0);
  if (p.Angle < -360 || p.Angle > 360) throw BatchError("--product-angle must lie in -360..360", 2);
  p.Fringes = args.Integer("--fringes", 8);
  if (p.Fringes < 1 || p.Fringes > 24) throw BatchError("--fringes must lie in 1..24", 2);
  if (args.Has("--series")) {
    p.SeriesStep = args.Integer("--series", 45);
    if (p.SeriesStep < 1 || p.SeriesStep > 180) throw BatchError("--series must lie in 1..180", 2);
  }
  if (args.Has("--psf-size")) {
    const int f = args.Integer("--psf-size", 1);
    if (f != 1 && f != 2 && f != 4 && f != 8) throw BatchError("--psf-size must be 1, 2, 4 or 8", 2);
    p.PsfFactor = f;
  } else {
    p.PsfFactor = PsfFactor(Preferences.Valeurs.FactMultDiff);
  }
  for (const std::string& item : ListItems(args.Text("--zernike-format"))) {
    const std::optional<TZernikeOrdering> o = ParseOrdering(item);
    if (!o) throw BatchError("unknown Zernike format '" + item + "' (system, noll, ansi or fringe)", 2);
    if (std::find(p.ZernikeFormats.begin(), p.ZernikeFormats.end(), *o) == p.ZernikeFormats.end())
      p.ZernikeFormats.push_back(*o);
  }
  return p;
}

TChannelSummary WriteChannel(TRoddier& slot, const std::string& channelName, const std::string& suffix,
                             const std::string& folder, const TProductRequest& req, const TTestSetup& test,
                             const TOutputSettings& settings, TChannelPictures& pictures) {
  TPupille& w = *slot.Wavefront;
  TChannelSummary s = SummariseWavefront(w, channelName);
  s.OuterPasses = slot.OuterPasses;
  s.InnerPasses = slot.InnerPasses;
  const OutputFolder out(folder, suffix);
  std::string why;

  // The export needs waves; a channel without a wavelength of its own uses the reference one.
  const double opdWavelength = w.Wavelength > 0 ? w.Wavelength : settings.LambdaRef;
  Require(WriteOpdFile(out.Path("wavefront", ".opd", s.Files), w, opdWavelength, &why), "wavefront export",
          why);
  Require(SaveZernikeCoefficients(out.Path("zernike", ".txt", s.Files), w.Basis, w.Coefficients,
                                  settings.TermCount, &why),
          "Zernike coefficients", why);
  for (const TZernikeOrdering o : req.ZernikeFormats) {
    // Fringe coefficients are usually exchanged as they are; the others RMS-normalised.
    const TZernikeExportOptions options{o, o != TZernikeOrdering::Fringe, opdWavelength};
    Require(WriteZernikeExport(out.Path("zernike_" + std::string(OrderingKey(o)), ".csv", s.Files), w,
                               options, &why),
            "Zernike export", why);
  }

  WriteProducts(w, req, test, settings.Products, out, s.Files, pictures);

  MaskedDisplayRange(w);
  pictures.Front = SavePicture(w, out.Path("wavefront", ".jpg", s.Files), false);
  if (slot.Residual) {
    TPupille& r = *slot.Residual;
    r.Kind = kKindResidual;
    r.PaletteIndex = settings.WavefrontPalette;
    MaskedDisplayRange(r);
    r.ComputeMaskedStatistics();
    if (r.Wavelength == 0) r.Wavelength = w.Wavelength;
    r.ComputeStrehl();
    pictures.Residual = SavePicture(r, out.Path("residual", ".jpg", s.Files), false);
  }
  const std::pair<std::shared_ptr<TPupille>, const char*> corrected[] = {
      {slot.IntraImage, "corrected_intra"}, {slot.ExtraImage, "corrected_extra"}};
  for (const auto& [image, base] : corrected) {
    if (!image) continue;
    image->PaletteIndex = settings.ImagePalette;
    image->DisplayLow = image->DisplayHigh = 0.0;
    image->RangeFactor = 1.0;
    image->MaskActive = false;
    SavePicture(*image, out.Path(base, ".jpg", s.Files), false);
  }
  return s;
}

void WriteForwardCheck(const TForwardCheck& check, const std::string& folder, const std::string& suffix,
                       const TOutputSettings& settings, TChannelSummary& summary) {
  summary.ForwardText = ForwardCheckText(check);
  summary.HasForwardCheck = check.Done();
  if (!check.Done()) return;
  summary.ForwardIntraRms = check.IntraRms;
  summary.ForwardExtraRms = check.ExtraRms;
  const OutputFolder out(folder, suffix);
  for (const auto& [image, base] :
       {std::pair{check.Intra, "forward_intra"}, std::pair{check.Extra, "forward_extra"}}) {
    image->PaletteIndex = settings.ImagePalette;
    image->DisplayLow = image->DisplayHigh = 0.0;
    image->RangeFactor = 1.0;
    image->MaskActive = false;
    SavePicture(*image, out.Path(base, ".jpg", summary.Files), false);
  }
}

void WriteBatchReport(const TReportRequest& request, const TRoddier& slot, const TChannelPictures& pictures,
                      const TParametres& parametres, TSourceChoice source, const TkwValue& values) {
  TReportContent c = request.Content;
  FillReportParameters(parametres, c);
  c.Source = source;
  FillReportReconstruction(slot, values.NPolyZern, c);
  c.FrontPicture = pictures.Front;
  c.HasResidual = slot.Residual != nullptr;
  c.ResidualPicture = pictures.Residual;
  c.Products = pictures.Products;
  c.Format = ReportFormatOf(values);
  std::string why;
  if (!WriteReport(request.File, c, &why)) throw BatchError("cannot write the report: " + why);
}

}  // namespace caustica::cli
