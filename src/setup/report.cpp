#include "setup/report.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>

#include "analysis/u_Roddier.h"
#include "analysis/u_pupille.h"
#include "analysis/u_zernike.h"
#include "analysis/zernike_coefficients_file.h"
#include "core/atomic_file.h"
#include "core/u_math.h"
#include "io/jpeg_file.h"
#include "setup/reconstruction_method.h"

namespace caustica {

namespace {

constexpr const char* kCentred = "<div align= \"center\">";
constexpr const char* kNoImage = "(no image)";

class TReportBuilder {
 public:
  TReportBuilder(const TReportContent& content, std::vector<TReportFile>* pictures)
      : c_(content), f_(content.Format), pictures_(pictures) {}

  std::vector<std::string> Build() {
    Heading();
    Parameters();
    Images();
    Reconstruction();
    Terms();
    ProductSections();
    Titre("Report edited with Caustica 3.0", 1);
    return std::move(lines_);
  }

 private:
  void Line(std::string text) { lines_.push_back(std::move(text)); }
  void Titre(const std::string& text, int size) {
    Line("<p><font size= \"+" + std::to_string(size) + "\"> <b>" + text + "</b></font></p>");
  }
  void OuvrirTableau() {
    Line("<p>&nbsp;</p><table width=\"75%\" border=\"0\" align=\"center\">");
    Line("<tr>");
  }
  void OuvrirTableauCadre() {
    Line("<p>&nbsp;</p><table width=\"75%\" border=\"1\" cellspacing=\"0\" align=\"center\">");
    Line("<tr>");
  }
  void FermerTableau() {
    Line("</tr>");
    Line("</table>");
  }
  void NouvelleLigne() {
    Line("</tr>");
    Line("<tr>");
  }
  void Cellule(const std::string& text) {
    Line("<td>");
    Line("<div align=\"center\">" + text + "</div>");
    Line("</td>");
  }
  void CelluleImage(const std::string& source) {
    Line("<td>");
    Line("<div align=\"center\"><img src=" + source + "></div>");
    Line("</td>");
  }
  void Label(const std::string& label) { Cellule("<div align=left>" + label + "</div>"); }

  // The picture's cell, and the picture listed for writing; a text cell
  // when there is no window to take the picture from.
  void Picture(const std::string& name, const TRaster& picture, bool quoted) {
    if (picture.Empty()) {
      Cellule(kNoImage);
      return;
    }
    CelluleImage(quoted ? "\"" + name + "\"" : name);
    if (pictures_) pictures_->push_back({name, &picture});
  }

  std::string Millimetres(double nm) const { return FormatFixed(1e-6 * nm, f_.Millimetres) + " mm"; }
  std::string Nanometres(double nm) const { return FormatFixed(nm, f_.Nanometres) + " nm"; }
  std::string Lambda(double nm) const { return LambdaFractionText(nm, f_.LambdaRef, f_.Lambda); }
  std::string LambdaLine(double lambda) const {
    return std::string(kCentred) + "Lambda = " + FormatFixed(lambda, f_.Lambda) + " nm";
  }

  void Heading() {
    OuvrirTableauCadre();
    Cellule("<Font size= +3>Roddier Test</font>");
    FermerTableau();
  }

  void Parameters() {
    Titre(std::string(kCentred) + "1. Test parameters", 2);
    OuvrirTableauCadre();
    const auto row = [this](const std::string& label, const std::string& value, bool last = false) {
      Label(label);
      Cellule(value);
      if (!last) NouvelleLigne();
    };
    row("Instrument :", c_.Instrument);
    row("Diameter :", Millimetres(2 * c_.Rayon));
    row("Focal Length :", Millimetres(c_.Focale));
    row("Obstruction (diameter ratio after signal) :", FormatFixed(100 * c_.SignalObstruction, 0) + " %");
    row("Camera :", c_.Camera);
    row("Defocusing :", Millimetres(c_.Defocalisation));
    Label("Source :");
    switch (c_.Source) {
      case TSourceChoice::StarAtInfinity:
        Cellule("Star at infinity");
        break;
      case TSourceChoice::ArtificialStar:
        Cellule("Artificial star at " + FormatFixed(1e-9 * c_.DistanceSource, f_.Millimetres) + " m");
        break;
      case TSourceChoice::RadiusOfCurvature:
        Cellule("At the radius of curvature");
        break;
      case TSourceChoice::Autocollimation:
        break;
    }
    NouvelleLigne();
    row("Exposure time :", c_.ExposureIntra + " s / " + c_.ExposureExtra + " s", true);
    FermerTableau();
  }

  static std::string SizeText(const TReportGridFigures& g) {
    char text[96];
    std::snprintf(text, sizeof text, "[%dx%d] %d pix", g.Nx, g.Ny, g.MaskCount);
    return text;
  }

  void Images() {
    OuvrirTableau();
    Picture("intra.jpg", c_.IntraPicture, false);
    Picture("extra.jpg", c_.ExtraPicture, false);
    if (c_.HasSignal) Picture("Signal.jpg", c_.SignalPicture, false);
    NouvelleLigne();
    Cellule("Intra");
    Cellule("Extra");
    if (c_.HasSignal) Cellule("Signal");
    std::vector<const TReportGridFigures*> grids = {&c_.Intra, &c_.Extra};
    if (c_.HasSignal) grids.push_back(&c_.Signal);
    NouvelleLigne();
    for (const TReportGridFigures* g : grids) Cellule(SizeText(*g));
    NouvelleLigne();
    for (const TReportGridFigures* g : grids)
      Cellule("r = " + FormatFixed(g->PupilRadius, f_.Pixels) + " pix");
    FermerTableau();
  }

  void Reconstruction() {
    Titre(std::string(kCentred) + "2. Reconstruction of the wavefront", 2);
    OuvrirTableau();
    Picture("Front.jpg", c_.FrontPicture, false);
    if (c_.HasResidual) Picture("Residu.jpg", c_.ResidualPicture, false);
    std::vector<const TReportMapFigures*> maps = {&c_.Front};
    if (c_.HasResidual) maps.push_back(&c_.Residual);
    const auto row = [&](const auto& text) {
      NouvelleLigne();
      for (std::size_t i = 0; i < maps.size(); ++i) Cellule(text(*maps[i], i));
    };
    row([](const TReportMapFigures&, std::size_t i) { return i == 0 ? "Wavefront" : "Residual wavefront"; });
    row([this](const TReportMapFigures& m, std::size_t) {
      return "S = " + FormatFixed(m.Strehl, f_.Strehl);
    });
    row([this](const TReportMapFigures& m, std::size_t) { return "Ecart RMS = " + Nanometres(m.Rms); });
    row([this](const TReportMapFigures& m, std::size_t) { return Lambda(m.Rms); });
    row([this](const TReportMapFigures& m, std::size_t) { return "Ecart PTV = " + Nanometres(m.Ptv); });
    row([this](const TReportMapFigures& m, std::size_t) { return Lambda(m.Ptv); });
    FermerTableau();
    Titre(LambdaLine(f_.LambdaRef), 1);
    // Which method made the map, so results of the two can be told apart.
    if (!c_.Method.empty()) Titre(std::string(kCentred) + "Reconstruction method: " + c_.Method, 1);
  }

  void Terms() {
    Titre(std::string(kCentred) + "3. Zernike Aberrations", 2);
    OuvrirTableauCadre();
    Cellule("n&deg;");
    Cellule("Name");
    Cellule("RMS value (nm)");
    Cellule("");
    for (int i = 1; i <= c_.TermCount; ++i) {
      NouvelleLigne();
      Cellule(std::to_string(i));
      Cellule("<div align=\"left\">" + ZernikeTermName(i) + "</div>");
      const double value = i < static_cast<int>(c_.RmsCoefficients.size()) ? c_.RmsCoefficients[i] : 0.0;
      Cellule("<div align=\"right\">" + FormatFixed(value, f_.Nanometres) + "</div>");
      const bool off = i < static_cast<int>(c_.Selected.size()) && !c_.Selected[i];
      Cellule(off ? "[Soustrait]" : "");
    }
    FermerTableau();
  }

  static std::string KindTitle(int kind, bool plural) {
    const char* s = plural ? "s" : "";
    switch (kind) {
      case 6:
        return "Theoretical Diffraction image at focus";
      case 7:
        return std::string("Interferogram") + s;
      case 8:
        return std::string("Ronchigram") + s;
      case 9:
        return std::string("Foucaultgram") + s;
      default:
        return std::string("Spot diagram") + s;
    }
  }

  // The caption as a file name: characters a path or the quoted source
  // cannot hold are replaced, and a caption met twice gets a number, so two
  // windows never share one picture.
  std::string PictureName(const std::string& caption) {
    std::string base = caption;
    for (char& ch : base)
      if (ch == '/' || ch == '\\' || ch == '"' || ch == '<' || ch == '>' ||
          static_cast<unsigned char>(ch) < 32)
        ch = '_';
    if (base.empty()) base = "Picture";
    const int seen = ++captions_[base];
    if (seen > 1) base += " (" + std::to_string(seen) + ")";
    return base + ".jpg";
  }

  void ProductSections() {
    int section = 4;
    for (const int kind : {6, 7, 8, 9, 10}) {
      std::vector<const TReportProduct*> shown;
      for (const TReportProduct& p : c_.Products)
        if (p.Kind == kind) shown.push_back(&p);
      if (shown.empty()) continue;
      Titre(std::string(kCentred) + std::to_string(section) + ". " + KindTitle(kind, shown.size() > 1), 2);
      if (kind == 7) Titre(LambdaLine(f_.LambdaInterfero), 1);
      OuvrirTableau();
      int n = 0;
      for (const TReportProduct* p : shown) {
        Picture(PictureName(p->Caption), p->Picture, true);
        if (++n % 2 == 0) NouvelleLigne();
      }
      FermerTableau();
      ++section;
    }
  }

  const TReportContent& c_;
  const TReportFormat& f_;
  std::vector<TReportFile>* pictures_;
  std::vector<std::string> lines_;
  std::map<std::string, int> captions_;
};

}  // namespace

TReportFormat ReportFormatOf(const TkwValue& v) {
  TReportFormat f;
  f.Millimetres = v.NDecMilli;
  f.Pixels = v.NDecPix;
  f.Nanometres = v.NDecNano;
  f.Strehl = v.NDecStrehl;
  f.Lambda = v.NDecLambda;
  f.LambdaRef = v.LambdaRef;
  f.LambdaInterfero = v.LambdaInterfero;
  return f;
}

void FillReportParameters(const TParametres& p, TReportContent& c) {
  c.Rayon = p.Rayon;
  c.Focale = p.Focale;
  c.Defocalisation = p.Defocalisation;
  c.DistanceSource = p.DistanceSource;
}

// The samples inside the pupil are counted afresh: the stored count is only
// as recent as the grid's last statistics.
TReportGridFigures GridFiguresOf(const TPupille& g) {
  int inside = 0;
  if (g.HasArrays()) {
    const std::int16_t* m = g.Mask.PlaneData(1);
    const std::size_t n =
        static_cast<std::size_t>(std::max(g.Nx, 0)) * static_cast<std::size_t>(std::max(g.Ny, 0));
    for (std::size_t i = 0; i < n; ++i) inside += m[i] == 1;
  }
  return {g.Nx, g.Ny, inside, g.PupilRadius};
}

TReportMapFigures MapFiguresOf(const TPupille& g) { return {g.Strehl, g.RmsValue, g.PtvValue}; }

void FillReportReconstruction(const TRoddier& slot, int termCount, TReportContent& c) {
  if (slot.IntraImage) c.Intra = GridFiguresOf(*slot.IntraImage);
  if (slot.ExtraImage) c.Extra = GridFiguresOf(*slot.ExtraImage);
  if (slot.Signal) {
    c.Signal = GridFiguresOf(*slot.Signal);
    c.SignalObstruction = slot.Signal->Obstruction;
  }
  if (slot.Residual) c.Residual = MapFiguresOf(*slot.Residual);
  c.Method = ReconstructionMethodName(slot.Accurate ? TReconstructionMethod::Accurate
                                                    : TReconstructionMethod::Classic);
  c.TermCount = std::clamp(termCount, 0, kZernikeTermCount);
  if (!slot.Wavefront) return;
  const TPupille& w = *slot.Wavefront;
  c.Front = MapFiguresOf(w);
  ZernikeCoefficients rms = w.Coefficients;
  ToNormalised(w.Basis, rms);
  c.RmsCoefficients.assign(rms.begin(), rms.end());
  c.Selected.assign(w.Selected.begin(), w.Selected.end());
}

std::vector<std::string> ReportLines(const TReportContent& content, std::vector<TReportFile>* pictures) {
  if (pictures) pictures->clear();
  return TReportBuilder(content, pictures).Build();
}

namespace {

std::string Joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

}  // namespace

std::string ReportText(const TReportContent& content) { return Joined(ReportLines(content)); }

bool WriteReport(const std::string& htmlFile, const TReportContent& content, std::string* error) {
  std::vector<TReportFile> pictures;
  const std::string text = Joined(ReportLines(content, &pictures));
  const std::filesystem::path folder = std::filesystem::path(htmlFile).parent_path();
  std::string why;
  for (const TReportFile& p : pictures) {
    const std::string path = (folder / p.Name).string();
    if (!EncodeJpegFile(path, *p.Picture, 90, &why)) {
      if (error) *error = "Cannot write " + path + ": " + why;
      return false;
    }
  }
  if (!WriteFileAtomically(htmlFile, text, &why)) {
    if (error) *error = "Cannot write " + htmlFile + ": " + why;
    return false;
  }
  return true;
}

}  // namespace caustica
