// The HTML report: its lines for the sample test against a golden file, the
// edge cases of its sections, and how its files are written.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "analysis/u_pupille.h"
#include "core/u_math.h"
#include "io/jpeg_file.h"
#include "setup/report.h"
#include "support/test_files.h"

using namespace caustica;
using caustica::test::ReadBytes;
using caustica::test::ScratchDir;
using caustica::test::WriteBytes;

namespace fs = std::filesystem;

namespace {

const std::string kGolden = std::string(CAUSTICA_TEST_SOURCE_DIR) + "/setup/golden/report_sample.html";

TRaster Picture(int width, int height, std::uint8_t level) {
  TRaster r;
  r.Resize(width, height);
  std::fill(r.Rgb.begin(), r.Rgb.end(), level);
  return r;
}

// The bundled sample as the desktop reports it after "Reconstruct the
// wavefront", "Residual front" and one interferogram, the figures as the
// classic method gives them.
TReportContent SampleContent() {
  TReportContent c;
  c.Instrument = "Newtonian 200 mm f/6";
  c.Camera = "Mono camera, 5 um pixels";
  c.Rayon = 100e6;
  c.Focale = 1200e6;
  c.Defocalisation = 3.6e6;
  c.ExposureIntra = "2";
  c.ExposureExtra = "2.5";
  c.SignalObstruction = 0.2936;
  c.IntraPicture = Picture(16, 16, 40);
  c.ExtraPicture = Picture(16, 16, 80);
  c.Intra = {134, 134, 9479, 57.46};
  c.Extra = {134, 134, 9399, 57.38};
  c.FrontPicture = Picture(12, 12, 120);
  c.Front = {0.9479, 20.2467, 84.0921};
  c.HasResidual = true;
  c.ResidualPicture = Picture(12, 12, 160);
  c.Residual = {0.99985, 1.0843, 46.1712};
  c.Method = "Classic";
  c.TermCount = 22;
  c.RmsCoefficients.assign(kZernikeTermCount + 1, 0.0);
  c.Selected.assign(kZernikeTermCount + 1, true);
  const std::pair<int, double> terms[] = {{1, 164.7812}, {2, -0.0149}, {3, -1.0078},   {4, 2.4551},
                                          {5, 4.8733},   {6, -0.4402}, {11, -19.6611}, {22, -0.9138}};
  for (const auto& [k, v] : terms) c.RmsCoefficients[k] = v;
  for (int k : {1, 2, 3, 4, 7, 8, 16, 17}) c.Selected[k] = false;
  c.Products.push_back({kKindInterferogram, "Interferogram0", Picture(12, 12, 200)});
  c.Format = ReportFormatOf(TkwValue{});
  return c;
}

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

}  // namespace

// The golden file is the report of the sample with the default decimals; set
// CAUSTICA_UPDATE_GOLDEN=1 to write it again after a deliberate change.
TEST(Report, SampleTestMatchesTheGoldenFile) {
  const std::string text = ReportText(SampleContent());
  if (std::getenv("CAUSTICA_UPDATE_GOLDEN")) WriteBytes(kGolden, text);
  EXPECT_EQ(text, ReadBytes(kGolden));
}

TEST(Report, FiguresFollowThePreferencesDecimals) {
  TReportContent c = SampleContent();
  c.Format.Millimetres = 2;
  c.Format.Pixels = 1;
  c.Format.Nanometres = 3;
  c.Format.Strehl = 3;
  c.Format.Lambda = 1;
  const std::string text = ReportText(c);
  for (const char* expected :
       {">200.00 mm<", ">1200.00 mm<", ">3.60 mm<", "r = 57.5 pix", "r = 57.4 pix", "S = 0.948", "S = 1.000",
        "Ecart RMS = 20.247 nm", "Ecart PTV = 84.092 nm", "Lambda/27.4", "Lambda = 555.0 nm",
        "<div align=\"right\">-19.661</div>", ">29 %<"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected;
}

TEST(Report, SourceTextsAndLambdaFractions) {
  TReportContent c = SampleContent();
  c.Source = TSourceChoice::ArtificialStar;
  c.DistanceSource = 20e9;
  EXPECT_NE(ReportText(c).find(">Artificial star at 20 m<"), std::string::npos);
  c.Source = TSourceChoice::RadiusOfCurvature;
  EXPECT_NE(ReportText(c).find(">At the radius of curvature<"), std::string::npos);
  // Autocollimation: the label and no value cell before the next row.
  c.Source = TSourceChoice::Autocollimation;
  const std::string text = ReportText(c);
  EXPECT_NE(text.find("Source :</div></div>\r\n</td>\r\n</tr>\r\n<tr>"), std::string::npos);

  EXPECT_EQ(LambdaFractionText(50, 555, 0), "Lambda/11");
  EXPECT_EQ(LambdaFractionText(1110, 555, 0), "2 lambda");
}

TEST(Report, ProductSectionsAreNumberedOnlyForKindsWithWindows) {
  TReportContent c = SampleContent();
  c.Products.clear();
  std::string text = ReportText(c);
  EXPECT_EQ(Count(text, "<div align= \"center\">4. "), 0);
  EXPECT_NE(text.find("Report edited with Caustica 3.0"), std::string::npos);

  c.Products = {{kKindFoucault, "Foucaultgram0", Picture(4, 4, 1)},
                {kKindInterferogram, "Interferogram0", Picture(4, 4, 2)},
                {kKindInterferogram, "Interferogram45", Picture(4, 4, 3)}};
  c.Format.LambdaInterfero = 632.8;
  text = ReportText(c);
  const std::size_t four = text.find("<div align= \"center\">4. Interferograms</b>");
  const std::size_t lambda = text.find("Lambda = 633 nm");
  const std::size_t five = text.find("<div align= \"center\">5. Foucaultgram</b>");
  ASSERT_NE(four, std::string::npos);
  ASSERT_NE(five, std::string::npos);
  EXPECT_LT(four, lambda);
  EXPECT_LT(lambda, five);
  // Both interferograms on one row: no row break between their cells.
  const std::string section = text.substr(four, five - four);
  const std::size_t first = section.find("\"Interferogram0.jpg\""),
                    second = section.find("\"Interferogram45.jpg\"");
  ASSERT_NE(second, std::string::npos);
  EXPECT_EQ(section.substr(first, second - first).find("<tr>"), std::string::npos);
}

TEST(Report, TermTableHeaderOnlyWithoutTermsAndSubtractedMarks) {
  TReportContent c = SampleContent();
  std::string text = ReportText(c);
  EXPECT_EQ(Count(text, "[Soustrait]"), 8);
  EXPECT_NE(text.find("<div align=\"left\">Sph"), std::string::npos);
  c.TermCount = 0;
  text = ReportText(c);
  EXPECT_NE(text.find("RMS value (nm)"), std::string::npos);
  EXPECT_EQ(Count(text, "[Soustrait]"), 0);
  EXPECT_EQ(text.find("<div align=\"left\">Piston"), std::string::npos);
}

TEST(Report, OptionalCellsAndMissingPictures) {
  TReportContent c = SampleContent();
  c.HasResidual = false;
  c.IntraPicture = TRaster();
  std::vector<TReportFile> pictures;
  const std::vector<std::string> lines = ReportLines(c, &pictures);
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  EXPECT_EQ(text.find("Residu.jpg"), std::string::npos);
  EXPECT_EQ(text.find("Residual wavefront"), std::string::npos);
  EXPECT_EQ(text.find("Signal"), std::string::npos);
  EXPECT_NE(text.find("(no image)"), std::string::npos);
  std::vector<std::string> names;
  for (const TReportFile& p : pictures) names.push_back(p.Name);
  EXPECT_EQ(names, (std::vector<std::string>{"extra.jpg", "Front.jpg", "Interferogram0.jpg"}));

  c.HasSignal = true;
  c.SignalPicture = Picture(8, 8, 9);
  c.Signal = {128, 128, 10000, 56.0};
  text = ReportText(c);
  EXPECT_NE(text.find("<img src=Signal.jpg>"), std::string::npos);
  EXPECT_NE(text.find("[128x128] 10000 pix"), std::string::npos);
}

TEST(Report, CaptionsMadeSafeAndDistinctAsFileNames) {
  TReportContent c = SampleContent();
  c.Products = {{kKindSpotDiagram, "Spots", Picture(4, 4, 1)},
                {kKindSpotDiagram, "Spots", Picture(4, 4, 2)},
                {kKindSpotDiagram, "a/b\"c", Picture(4, 4, 3)}};
  std::vector<TReportFile> pictures;
  ReportLines(c, &pictures);
  std::vector<std::string> names;
  for (const TReportFile& p : pictures) names.push_back(p.Name);
  EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()),
            (std::vector<std::string>{"Spots.jpg", "Spots (2).jpg", "a_b_c.jpg"}));
}

TEST(Report, EveryLinkedPictureIsWrittenAndDecodes) {
  ScratchDir dir;
  const std::string html = dir.File("test.html");
  std::string error;
  ASSERT_TRUE(WriteReport(html, SampleContent(), &error)) << error;
  const std::string text = ReadBytes(html);
  const std::regex source("<img src=\"?([^\">]+)\"?>");
  int linked = 0;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), source); it != std::sregex_iterator(); ++it) {
    TRaster decoded;
    EXPECT_TRUE(DecodeJpegFile(dir.File((*it)[1]), decoded)) << (*it)[1];
    EXPECT_GT(decoded.Width, 0);
    ++linked;
  }
  EXPECT_EQ(linked, 5);
  for (const auto& entry : fs::directory_iterator(dir.Path()))
    EXPECT_NE(entry.path().filename().string()[0], '.') << "temporary file left: " << entry.path();
}

TEST(Report, AFailedPictureKeepsThePreviousReport) {
  ScratchDir dir;
  const std::string html = dir.File("test.html");
  ASSERT_TRUE(WriteReport(html, SampleContent()));
  const std::string before = ReadBytes(html);

  // The residual's picture cannot be written: a folder holds its name.
  fs::remove(dir.File("Residu.jpg"));
  fs::create_directory(dir.File("Residu.jpg"));
  TReportContent changed = SampleContent();
  changed.Instrument = "Another telescope";
  std::string error;
  EXPECT_FALSE(WriteReport(html, changed, &error));
  EXPECT_NE(error.find("Residu.jpg"), std::string::npos) << error;
  EXPECT_EQ(ReadBytes(html), before);

  // An HTML file that cannot be written is a failure too.
  EXPECT_FALSE(WriteReport(dir.File("missing-folder/test.html"), SampleContent(), &error));
}
