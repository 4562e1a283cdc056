// caustica-batch run as a user runs it: on the bundled sample, and on bad
// input, where every refusal must be one line on stderr, a non-zero exit
// status and no file in the output folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "core/u_fonctionxy.h"
#include "io/frame_sequence.h"
#include "io/jpeg_file.h"
#include "setup/reconstruction_method.h"
#include "setup/u_prefs.h"
#include "support/batch_runner.h"
#include "support/fits_writer.h"
#include "support/test_files.h"

using caustica::test::ScratchDir;
namespace fs = std::filesystem;

namespace {

const std::string kSamples = CAUSTICA_SAMPLES_DIR;
const std::string kIntra = kSamples + "/newtonian200_intra.fits";
const std::string kExtra = kSamples + "/newtonian200_extra.fits";

using RunResult = caustica::test::BatchResult;

RunResult RunBatch(const ScratchDir& dir, const std::vector<std::string>& args) {
  return caustica::test::RunBatchTool(CAUSTICA_BATCH_EXE, dir, args);
}

std::vector<std::string> SampleArgs(const std::string& output) {
  return {"reconstruct", "--intra", kIntra,      "--extra", kExtra,     "--diameter", "200",
          "--focal",     "1200",    "--defocus", "3.6",     "--output", output};
}

// The number after "key": in a JSON text, NaN when absent.
double JsonValue(const std::string& json, const std::string& key) {
  const std::size_t at = json.find("\"" + key + "\": ");
  return at == std::string::npos ? std::nan("") : std::atof(json.c_str() + at + key.size() + 4);
}

// Term -> RMS-normalised value from a "k;name;value" file.
std::map<int, double> ReadCoefficients(const std::string& path) {
  std::map<int, double> terms;
  std::istringstream in(caustica::test::ReadBytes(path));
  std::string line;
  while (std::getline(in, line)) {
    const std::size_t a = line.find(';'), b = line.rfind(';');
    if (a == std::string::npos || a == b) continue;
    terms[std::stoi(line.substr(0, a))] = std::stod(line.substr(b + 1));
  }
  return terms;
}

// A 16-bit FITS frame with a bright disc, optionally of another size.
void WriteDiscFits(const std::string& path, int size, double radius) {
  caustica::test::FitsImage image;
  image.Width = image.Height = size;
  for (int r = 0; r < size; ++r)
    for (int c = 0; c < size; ++c)
      image.Raw.push_back(std::hypot(c - size / 2.0, r - size / 2.0) < radius ? 20000 : 100);
  caustica::test::WriteBytes(path, caustica::test::BuildFits(image));
}

bool FolderEmptyOrAbsent(const std::string& folder) {
  std::error_code ec;
  return !fs::exists(folder, ec) || fs::is_empty(folder, ec);
}

}  // namespace

class SampleRun : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new ScratchDir;
    std::vector<std::string> args = SampleArgs(dir_->File("out"));
    args.insert(args.end(), {"--products", "all", "--json", "--report", dir_->File("report/sample.html"),
                             "--instrument", "Newtonian 200 mm f/6"});
    result_ = new RunResult(RunBatch(*dir_, args));
  }
  static void TearDownTestSuite() {
    delete result_;
    delete dir_;
  }
  static std::string Out(const std::string& name) { return dir_->File("out/" + name); }
  static ScratchDir* dir_;
  static RunResult* result_;
};
ScratchDir* SampleRun::dir_ = nullptr;
RunResult* SampleRun::result_ = nullptr;

TEST_F(SampleRun, SucceedsAndWritesEveryFile) {
  ASSERT_EQ(result_->Status, 0) << result_->Err;
  for (const char* name : {"wavefront.jpg", "wavefront.opd", "zernike.txt", "residual.jpg",
                           "corrected_intra.jpg", "corrected_extra.jpg", "interferogram0.jpg",
                           "foucaultgram0.jpg", "psf_actual.jpg", "psf_theoretical.jpg", "spots.jpg",
                           "forward_intra.jpg", "forward_extra.jpg", "summary.txt", "summary.json"}) {
    EXPECT_TRUE(fs::is_regular_file(Out(name))) << name;
    EXPECT_GT(fs::file_size(Out(name)), 0u) << name;
  }
  // No temporary file is left behind.
  for (const auto& entry : fs::directory_iterator(dir_->File("out")))
    EXPECT_EQ(entry.path().string().find(".tmp"), std::string::npos) << entry.path();
  caustica::TRaster picture;
  ASSERT_TRUE(caustica::DecodeJpegFile(Out("wavefront.jpg"), picture));
  // The wavefront is cropped around the pupil (radius about 57.5 px).
  EXPECT_EQ(picture.Width, picture.Height);
  EXPECT_GE(picture.Width, 115);
  EXPECT_EQ(caustica::test::ReadBytes(Out("wavefront.opd")).rfind("555,", 0), 0u);
  // The progress bar ran to its end on stderr; the JSON summary went to stdout and its file.
  EXPECT_NE(result_->Err.find("Reconstruction of the wavefront"), std::string::npos);
  EXPECT_NE(result_->Err.find("100%"), std::string::npos);
  EXPECT_EQ(result_->Out, caustica::test::ReadBytes(Out("summary.json")));
  EXPECT_NE(result_->Out.find("\"method\": \"accurate\""), std::string::npos);  // the default
  EXPECT_NE(result_->Out.find("\"seidel\""), std::string::npos);
  // The forward model of the result explains the images to within their
  // noise and seeing, and finds the seeing they were made with (1").
  EXPECT_LT(JsonValue(result_->Out, "intra_rms_percent"), 6.5);
  EXPECT_LT(JsonValue(result_->Out, "extra_rms_percent"), 6.5);
  EXPECT_NE(caustica::test::ReadBytes(Out("summary.txt")).find("Forward model: measured minus modelled"),
            std::string::npos);
}

// True values: Z11 = -25, Z5 = +10 nm RMS, the rest 0. The default
// (accurate) method measured on this pair: Z11 -25.2, Z5 +10.7. The bounds
// allow 1 nm around the measured values and 1.5 nm around the truth.
TEST_F(SampleRun, RecoversTheSampleAberrations) {
  ASSERT_EQ(result_->Status, 0) << result_->Err;
  const std::map<int, double> z = ReadCoefficients(Out("zernike.txt"));
  ASSERT_EQ(z.size(), 22u);
  EXPECT_NEAR(z.at(11), -25.2, 1.0);
  EXPECT_NEAR(z.at(11), -25.0, 1.5);
  EXPECT_NEAR(z.at(5), 10.7, 1.0);
  EXPECT_NEAR(z.at(5), 10.0, 1.5);
  for (int k = 6; k <= 22; ++k) {
    if (k == 11) continue;
    EXPECT_NEAR(z.at(k), 0.0, 1.5) << "term " << k;
  }
}

// The report of the batch road: the desktop's sections, every picture it
// links written beside it, and the same figures as the run's own files.
TEST_F(SampleRun, WritesTheReportBesideItsPictures) {
  ASSERT_EQ(result_->Status, 0) << result_->Err;
  const std::string html = caustica::test::ReadBytes(dir_->File("report/sample.html"));
  for (const char* expected :
       {"1. Test parameters", "2. Reconstruction of the wavefront", "3. Zernike Aberrations",
        "4. Theoretical Diffraction image at focus", "5. Interferogram</b>", "6. Foucaultgram</b>",
        "7. Spot diagram</b>", "Report edited with Caustica 3.0", "Reconstruction method: Accurate",
        ">Newtonian 200 mm f/6<", ">Star at infinity<", ">200 mm<", ">1200 mm<"})
    EXPECT_NE(html.find(expected), std::string::npos) << expected;
  EXPECT_NE(html.find("\r\n"), std::string::npos);
  // Every picture linked exists and decodes.
  std::size_t at = 0;
  int pictures = 0;
  while ((at = html.find("<img src=", at)) != std::string::npos) {
    at += 9;
    std::string name = html.substr(at, html.find('>', at) - at);
    if (!name.empty() && name.front() == '"') name = name.substr(1, name.size() - 2);
    caustica::TRaster picture;
    EXPECT_TRUE(caustica::DecodeJpegFile(dir_->File("report/" + name), picture)) << name;
    ++pictures;
  }
  EXPECT_EQ(pictures, 8);
  // The term table holds the values of zernike.txt with two decimals.
  const std::map<int, double> z = ReadCoefficients(Out("zernike.txt"));
  char cell[64];
  std::snprintf(cell, sizeof cell, "<div align=\"right\">%.2f</div>", z.at(11));
  EXPECT_NE(html.find(cell), std::string::npos) << cell;
}

// The classic method on the same pair, kept as it always was for
// comparison: it recovers about 80 % of the spherical aberration and half
// of the astigmatism (Z11 -19.7, Z5 +4.9, every other term of 5..22 within
// 1 nm of 0), and the summary says which method made the result. A method
// saved beside the preferences file is used when --method is not given.
TEST(BatchRun, ClassicMethodOnTheSample) {
  ScratchDir dir;
  std::vector<std::string> args = SampleArgs(dir.File("out"));
  args.insert(args.end(), {"--method", "classic", "--quiet"});
  RunResult r = RunBatch(dir, args);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("Method: classic"), std::string::npos) << r.Out;
  EXPECT_NE(caustica::test::ReadBytes(dir.File("out/summary.json")).find("\"method\": \"classic\""),
            std::string::npos);
  const std::map<int, double> z = ReadCoefficients(dir.File("out/zernike.txt"));
  ASSERT_EQ(z.size(), 22u);
  EXPECT_NEAR(z.at(11), -19.7, 1.5);
  EXPECT_NEAR(z.at(5), 4.9, 1.5);
  for (int k = 6; k <= 22; ++k) {
    if (k == 11) continue;
    EXPECT_NEAR(z.at(k), 0.0, 1.5) << "term " << k;
  }
  // Its result explains the images clearly worse: the forward check shows it.
  const std::string json = caustica::test::ReadBytes(dir.File("out/summary.json"));
  EXPECT_GT(JsonValue(json, "intra_rms_percent"), 9.0);
  EXPECT_GT(JsonValue(json, "extra_rms_percent"), 9.0);

  ASSERT_TRUE(caustica::WritePreferences(dir.File("Prefs.txt"), caustica::TPreferences{},
                                         caustica::TImageFolderHistory{}));
  ASSERT_TRUE(caustica::WriteReconstructionSettings(dir.File("Reconstruction.txt"),
                                                    caustica::TReconstructionMethod::Classic));
  args = SampleArgs(dir.File("out2"));
  args.insert(args.end(), {"--prefs", dir.File("Prefs.txt"), "--quiet"});
  r = RunBatch(dir, args);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("Method: classic"), std::string::npos) << r.Out;
}

// Coefficients for other tools: one CSV per ordering asked for, its header
// stating the conventions, its values the same fit as zernike.txt.
TEST(BatchRun, ZernikeFormatsWriteOneFileEachWithItsConventions) {
  ScratchDir dir;
  std::vector<std::string> args = SampleArgs(dir.File("out"));
  args.insert(args.end(), {"--zernike-format", "noll,fringe", "--quiet", "--json"});
  const RunResult r = RunBatch(dir, args);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_FALSE(fs::exists(dir.File("out/zernike_ansi.csv")));
  EXPECT_FALSE(fs::exists(dir.File("out/zernike_system.csv")));
  EXPECT_NE(r.Out.find("zernike_noll.csv"), std::string::npos);

  // index -> nm, and the header lines.
  auto read = [](const std::string& path, std::string& header) {
    std::map<int, double> values;
    std::istringstream in(caustica::test::ReadBytes(path));
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("# ", 0) == 0) {
        header += line + "\n";
      } else if (!line.empty() && std::isdigit(static_cast<unsigned char>(line[0]))) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, ',');) cells.push_back(cell);
        values[std::stoi(cells.at(0))] = std::stod(cells.at(5));
      }
    }
    return values;
  };
  std::string nollHeader, fringeHeader;
  const std::map<int, double> noll = read(dir.File("out/zernike_noll.csv"), nollHeader);
  const std::map<int, double> fringe = read(dir.File("out/zernike_fringe.csv"), fringeHeader);
  for (const char* line : {"# ordering: noll", "# normalisation: RMS-normalised",
                           "# annular ratio: ", "# wavelength: 555.000 nm", "# units: nm",
                           "# sign: wavefront error", "# image orientation: image row 1 is drawn at the top"})
    EXPECT_NE(nollHeader.find(line), std::string::npos) << line;
  EXPECT_NE(fringeHeader.find("# ordering: fringe"), std::string::npos);
  EXPECT_NE(fringeHeader.find("# normalisation: not normalised"), std::string::npos);

  const std::map<int, double> z = ReadCoefficients(dir.File("out/zernike.txt"));
  ASSERT_EQ(noll.size(), 22u);
  EXPECT_NEAR(noll.at(11), z.at(11), 1e-4);  // spherical aberration
  EXPECT_NEAR(noll.at(6), z.at(5), 1e-4);    // astigmatism, cosine
  EXPECT_NEAR(noll.at(5), z.at(6), 1e-4);    // astigmatism, sine
  EXPECT_NEAR(fringe.at(9), z.at(11) * std::sqrt(5.0), 1e-3);

  args = SampleArgs(dir.File("out2"));
  args.insert(args.end(), {"--zernike-format", "osa", "--quiet"});
  const RunResult bad = RunBatch(dir, args);
  EXPECT_EQ(bad.Status, 2);
  EXPECT_NE(bad.Err.find("unknown Zernike format 'osa'"), std::string::npos) << bad.Err;
}

TEST(BatchRun, TextSummaryAndDefocusFromThePupilRadii) {
  ScratchDir dir;
  std::vector<std::string> args = {"reconstruct", "--intra", kIntra,     "--extra",      kExtra,
                                   "--diameter",  "200",     "--focal",  "1200",         "--pixel-size",
                                   "5",           "--quiet", "--output", dir.File("out")};
  const RunResult r = RunBatch(dir, args);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_TRUE(r.Err.empty()) << r.Err;
  for (const char* text : {"PTV", "RMS", "S/Smax", "Seidel", "Zernike coefficients", "Results in"})
    EXPECT_NE(r.Out.find(text), std::string::npos) << text;
  // The measured radii (57.5 px of 60) give 3.449 mm to first order, 3.437 mm
  // with the rim ray's tangent the accurate method uses; shown and read back to
  // the micrometre.
  EXPECT_NE(r.Out.find("defocus 3.437 mm"), std::string::npos) << r.Out;
}

TEST(BatchRun, ThreeColourPairsAndAColourJpegPair) {
  ScratchDir dir;
  std::vector<std::string> args = {"reconstruct", "--quiet",   "--diameter", "200",      "--focal",
                                   "1200",        "--defocus", "3.6",        "--output", dir.File("fits")};
  for (int i = 0; i < 3; ++i) args.insert(args.end(), {"--intra", kIntra, "--extra", kExtra});
  // The built-in preferences give the channels no wavelength: refused before any work.
  RunResult r = RunBatch(dir, args);
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("needs the wavelengths of its channels, and LambdaB, LambdaV, LambdaR is 0"),
            std::string::npos)
      << r.Err;
  EXPECT_TRUE(FolderEmptyOrAbsent(dir.File("fits")));
  const std::vector<std::string> wavelengths = {"--set",       "LambdaB=460", "--set",
                                                "LambdaV=530", "--set",       "LambdaR=640"};
  args.insert(args.end(), wavelengths.begin(), wavelengths.end());
  r = RunBatch(dir, args);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(caustica::test::ReadBytes(dir.File("fits/summary.txt")).find("at 530.0 nm"), std::string::npos);
  for (const char* colour : {"blue", "green", "red"})
    EXPECT_TRUE(fs::is_regular_file(dir.File(std::string("fits/wavefront_") + colour + ".jpg"))) << colour;

  // The sample as grey JPEG pictures: each channel is the same pair.
  for (const auto& [fits, jpeg] :
       {std::pair{kIntra, dir.File("intra.jpg")}, std::pair{kExtra, dir.File("extra.jpg")}}) {
    caustica::TFctXY g;
    g.LoadFromFits(fits);
    g.ComputeRange();
    caustica::TRaster picture;
    picture.Resize(g.Nx, g.Ny);
    for (int row = 1; row <= g.Ny; ++row)
      for (int c = 1; c <= g.Nx; ++c) {
        const auto v =
            static_cast<std::uint8_t>(255.0 * (g.Values[1][row][c] - g.MinValue) / (g.MaxValue - g.MinValue));
        std::uint8_t* p = picture.Pixel(c - 1, row - 1);
        p[0] = p[1] = p[2] = v;
      }
    ASSERT_TRUE(caustica::EncodeJpegFile(jpeg, picture, 95));
  }
  std::vector<std::string> jpegArgs = {"reconstruct",
                                       "--quiet",
                                       "--json",
                                       "--jpeg-intra",
                                       dir.File("intra.jpg"),
                                       "--jpeg-extra",
                                       dir.File("extra.jpg"),
                                       "--diameter",
                                       "200",
                                       "--focal",
                                       "1200",
                                       "--defocus",
                                       "3.6",
                                       "--output",
                                       dir.File("jpeg")};
  jpegArgs.insert(jpegArgs.end(), wavelengths.begin(), wavelengths.end());
  r = RunBatch(dir, jpegArgs);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("\"mode\": \"polychromatic\""), std::string::npos);
  const std::map<int, double> z = ReadCoefficients(dir.File("jpeg/zernike_green.txt"));
  ASSERT_TRUE(z.count(11));
  EXPECT_LT(z.at(11), -10.0);  // 8-bit pictures: the sign and rough size survive
}

TEST(BatchRun, HelpForEveryCommand) {
  ScratchDir dir;
  for (const std::vector<std::string>& args : {std::vector<std::string>{"--help"},
                                               {"reconstruct", "--help"},
                                               {"simulate", "--help"},
                                               {"help", "simulate"}}) {
    const RunResult r = RunBatch(dir, args);
    EXPECT_EQ(r.Status, 0);
    EXPECT_EQ(r.Out.rfind("Usage: caustica-batch", 0), 0u) << args[0];
  }
}

TEST(BatchRun, BadInputGivesOneLineAndNoFiles) {
  ScratchDir dir;
  caustica::test::WriteBytes(dir.File("garbage.fits"), std::string(5000, 'x'));
  WriteDiscFits(dir.File("small.fits"), 128, 30);
  WriteDiscFits(dir.File("blank.fits"), 64, 0);
  const std::string out = dir.File("out");
  auto with = [&](std::vector<std::pair<std::string, std::string>> changes) {
    std::vector<std::string> args = SampleArgs(out);
    for (const auto& [option, value] : changes) {
      bool replaced = false;
      for (std::size_t i = 0; i + 1 < args.size(); ++i)
        if (args[i] == option) {
          args[i + 1] = value;
          replaced = true;
        }
      if (!replaced) args.insert(args.end(), {option, value});
    }
    return args;
  };
  const struct {
    std::vector<std::string> Args;
    std::string Message;
  } cases[] = {
      {with({{"--intra", dir.File("missing.fits")}}), "no such file"},
      {with({{"--extra", dir.File("garbage.fits")}}), "Image format incompatible"},
      {with({{"--extra", dir.File("small.fits")}}), "images of different sizes"},
      {with({{"--intra", dir.File("blank.fits")}}), "no star found in blank.fits"},
      {with({{"--focal", "0"}}), "focal length must be greater than zero"},
      {with({{"--defocus", "0"}}), "defocus must be greater than zero"},
      {with({{"--diameter", "0"}}), "diameter must be greater than zero"},
      {with({{"--focal", "12o0"}}), "expects a number"},
      {with({{"--defocus", "nan"}}), "expects a number"},
      {with({{"--method", "exact"}}), "unknown method"},
      {with({{"--source", "moon"}}), "unknown source"},
      {with({{"--products", "psf,hologram"}}), "unknown product"},
      {with({{"--prefs", dir.File("missing.txt")}}), "no such file"},
      {with({{"--colour", "red"}}), "unknown option"},
      {with({{"--set", "NoSuchKey=1"}}), "--set expects KEY=VALUE"},
      {with({{"--set", "NIter=lots"}}), "--set expects KEY=VALUE"},
      {{"reconstruct", "--intra", kIntra, "--extra", kExtra, "--diameter", "200", "--focal", "1200",
        "--defocus", "3.6"},
       "no output folder"},
      {{"transmogrify"}, "unknown command"},
  };
  for (const auto& c : cases) {
    const RunResult r = RunBatch(dir, c.Args);
    EXPECT_NE(r.Status, 0) << c.Message;
    EXPECT_NE(r.Err.find(c.Message), std::string::npos) << r.Err;
    EXPECT_EQ(r.Err.rfind("caustica-batch: ", 0), 0u) << r.Err;
    EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << r.Err;
    EXPECT_TRUE(FolderEmptyOrAbsent(out)) << c.Message;
  }
}

namespace {

// A simulated pair written by the tool itself: a 200 mm f/8 star (radius
// 75 px) in a 256 px image, placed in a larger frame when asked.
RunResult Simulate(const ScratchDir& dir, const std::string& base, std::vector<std::string> extra) {
  std::vector<std::string> args = {"simulate", "--focal",
                                   "1600",     "--obstruction",
                                   "0.3",      "--zernike",
                                   "5=40",     "--zernike",
                                   "11=30",    "--normalised",
                                   "--intra",  dir.File(base + "_intra.fits"),
                                   "--extra",  dir.File(base + "_extra.fits")};
  args.insert(args.end(), extra.begin(), extra.end());
  return RunBatch(dir, args);
}

std::vector<std::string> Reconstruct(const ScratchDir& dir, const std::string& intra,
                                     const std::string& extra, const std::string& output) {
  return {"reconstruct",
          "--quiet",
          "--json",
          "--intra",
          dir.File(intra + "_intra.fits"),
          "--extra",
          dir.File(extra + "_extra.fits"),
          "--diameter",
          "200",
          "--focal",
          "1600",
          "--defocus",
          "6",
          "--output",
          dir.File(output)};
}

const std::vector<std::string> kDirtyFrame = {"--frame-width",
                                              "1600",
                                              "--frame-height",
                                              "1200",
                                              "--frame-column",
                                              "1100",
                                              "--frame-row",
                                              "200",
                                              "--sky",
                                              "180",
                                              "--gradient-x",
                                              "0.02",
                                              "--photon-noise",
                                              "--read-noise",
                                              "8",
                                              "--level",
                                              "5e6",
                                              "--hot-pixels",
                                              "200",
                                              "--cosmic-rays",
                                              "30",
                                              "--seeing",
                                              "1.5"};

}  // namespace

TEST(BatchFrames, AWholeFrameIsCutOutAndGivesTheCoefficientsOfItsCutOut) {
  ScratchDir dir;
  // Hot pixels and cosmic rays left out: the prepared pair has none.
  std::vector<std::string> frame(kDirtyFrame.begin(), kDirtyFrame.end() - 6);
  frame.insert(frame.end(), {"--seeing", "1.5"});
  ASSERT_EQ(Simulate(dir, "frame", frame).Status, 0);
  // The same star without the frame.
  const std::vector<std::string> prepared = {"--sky",   "180", "--photon-noise", "--read-noise", "8",
                                             "--level", "5e6", "--seeing",       "1.5"};
  ASSERT_EQ(Simulate(dir, "prepared", prepared).Status, 0);

  RunResult r = RunBatch(dir, Reconstruct(dir, "frame", "frame", "cut"));
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("frame_intra.fits: cut out 256 x 256 at ("), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("of the 1600 x 1200 frame"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("\"warnings\": []"), std::string::npos) << r.Out;
  ASSERT_EQ(RunBatch(dir, Reconstruct(dir, "prepared", "prepared", "prepared")).Status, 0);
  const std::map<int, double> cut = ReadCoefficients(dir.File("cut/zernike.txt"));
  const std::map<int, double> ref = ReadCoefficients(dir.File("prepared/zernike.txt"));
  for (const int k : {5, 6, 7, 8, 11}) EXPECT_NEAR(cut.at(k), ref.at(k), 5.0) << "term " << k;

  // Kept whole, nothing is said about a cut-out.
  std::vector<std::string> whole = Reconstruct(dir, "frame", "frame", "whole");
  whole.push_back("--no-cutout");
  r = RunBatch(dir, whole);
  EXPECT_EQ(r.Out.find("cut out"), std::string::npos) << r.Out;
}

TEST(BatchFrames, RefusalsNameTheImageAndWarningsReachTheSummary) {
  ScratchDir dir;
  std::vector<std::string> dark = kDirtyFrame;
  *(std::find(dark.begin(), dark.end(), "--level") + 1) = "0";
  ASSERT_EQ(Simulate(dir, "dark", dark).Status, 0);
  // The ring fills its 150 px image, placed at the frame's right edge.
  ASSERT_EQ(Simulate(dir, "edge",
                     {"--width", "150", "--height", "150", "--frame-width", "600", "--frame-height", "400",
                      "--frame-column", "450", "--frame-row", "100"})
                .Status,
            0);
  ASSERT_EQ(Simulate(dir, "faint", {"--level", "6e5"}).Status, 0);
  ASSERT_EQ(Simulate(dir, "bright", {}).Status, 0);

  RunResult r = RunBatch(dir, Reconstruct(dir, "dark", "bright", "out"));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("no star found in dark_intra.fits"), std::string::npos) << r.Err;
  r = RunBatch(dir, Reconstruct(dir, "bright", "edge", "out"));
  EXPECT_EQ(r.Status, 1);
  EXPECT_NE(r.Err.find("the extra-focal donut touches the right border (edge_extra.fits)"), std::string::npos)
      << r.Err;

  std::vector<std::string> args = Reconstruct(dir, "bright", "faint", "warned");
  args.insert(args.end(), {"--obstruction", "0.42"});
  r = RunBatch(dir, args);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("times the light of the extra-focal one"), std::string::npos) << r.Out;
  EXPECT_NE(r.Out.find("entered 0.42: the entered value is used"), std::string::npos) << r.Out;
  const std::string text = caustica::test::ReadBytes(dir.File("warned/summary.txt"));
  EXPECT_NE(text.find("Warning: the two images differ in light"), std::string::npos) << text;
  EXPECT_NE(text.find(", obstruction 0.420"), std::string::npos) << text;  // the entered one wins
}

// 250 nm RMS on a 250 mm f/4 mirror 1.2 mm from focus: the light folds, the
// accurate method cannot compensate it and the summary says so.
TEST(BatchRun, AccurateRunTooNearFocusIsWarned) {
  ScratchDir dir;
  const std::vector<std::string> geometry = {"--diameter", "250", "--focal", "1000", "--defocus", "1.2"};
  std::vector<std::string> simulate = {"simulate",
                                       "--pixel-size",
                                       "5",
                                       "--model",
                                       "geometric",
                                       "--normalised",
                                       "--annular",
                                       "--zernike",
                                       "5=100",
                                       "--zernike",
                                       "6=60",
                                       "--zernike",
                                       "7=120",
                                       "--zernike",
                                       "8=150",
                                       "--zernike",
                                       "9=50",
                                       "--zernike",
                                       "10=45",
                                       "--zernike",
                                       "11=80",
                                       "--intra",
                                       dir.File("f_intra.fits"),
                                       "--extra",
                                       dir.File("f_extra.fits")};
  simulate.insert(simulate.end(), geometry.begin(), geometry.end());
  ASSERT_EQ(RunBatch(dir, simulate).Status, 0);
  std::vector<std::string> args = {
      "reconstruct", "--quiet",      "--intra", dir.File("f_intra.fits"), "--extra", dir.File("f_extra.fits"),
      "--output",    dir.File("out")};
  args.insert(args.end(), geometry.begin(), geometry.end());
  const RunResult r = RunBatch(dir, args);
  ASSERT_EQ(r.Status, 0) << r.Err;
  const std::string text = caustica::test::ReadBytes(dir.File("out/summary.txt"));
  EXPECT_NE(text.find("Warning: the accurate method did not converge: "), std::string::npos) << text;
  EXPECT_NE(
      caustica::test::ReadBytes(dir.File("out/summary.json")).find("the accurate method did not converge"),
      std::string::npos);
}

// A short turbulent sequence: two cubes of four frames that read back as
// frame sequences, their first frame the pair a single run makes.
TEST(BatchSimulate, FramesThroughTurbulenceAreWrittenAsCubes) {
  ScratchDir dir;
  const std::vector<std::string> turbulence = {"--width", "200",        "--height", "200",    "--r0",
                                               "0.05",    "--exposure", "0.01",     "--wind", "8"};
  std::vector<std::string> sequence = turbulence;
  sequence.insert(sequence.end(), {"--frames", "4"});
  RunResult r = Simulate(dir, "seq", sequence);
  ASSERT_EQ(r.Status, 0) << r.Err;
  EXPECT_NE(r.Out.find("4 frames of 200 x 200"), std::string::npos) << r.Out;
  r = Simulate(dir, "one", turbulence);
  ASSERT_EQ(r.Status, 0) << r.Err;

  for (const std::string side : {"_intra.fits", "_extra.fits"}) {
    caustica::FrameSequence cube;
    ASSERT_TRUE(cube.Open({dir.File("seq" + side)})) << cube.Refusal();
    ASSERT_EQ(cube.Count(), 4);
    ASSERT_EQ(cube.FrameWidth(), 200);
    caustica::TFctXY single;
    single.LoadFromFits(dir.File("one" + side));
    ASSERT_EQ(single.Nx, 200);
    caustica::DoublePlanes frames[3];
    for (int k = 0; k < 3; ++k) ASSERT_TRUE(cube.ReadFrame(k + 1, frames[k]));
    long same = 0, differ = 0;
    for (int row = 1; row <= 200; ++row)
      for (int c = 1; c <= 200; ++c) {
        same += frames[0][1][row][c] == single.Values[1][row][c];
        differ += frames[1][1][row][c] != frames[0][1][row][c];
      }
    EXPECT_EQ(same, 200L * 200) << side;
    EXPECT_GT(differ, 1000) << side;  // another moment, another screen
  }

  // Absurd turbulence is refused in one line, and nothing is written.
  const struct {
    std::vector<std::string> Args;
    std::string Message;
  } cases[] = {
      {{"--r0", "0"}, "Fried parameter r0"},
      {{"--r0", "nan"}, "expects a number"},
      {{"--r0", "0.05", "--exposure", "-1"}, "Exposure"},
      {{"--r0", "0.05", "--wind", "-2"}, "Wind speed"},
      {{"--frames", "0"}, "Number of frames"},
      {{"--frames", "3"}, "colour"},
      {{"--frames", "10001"}, "Number of frames"},
      {{"--wind", "5"}, "needs --r0"},
  };
  for (const auto& c : cases) {
    const RunResult bad = Simulate(dir, "bad", c.Args);
    EXPECT_NE(bad.Status, 0) << c.Message;
    EXPECT_NE(bad.Err.find(c.Message), std::string::npos) << bad.Err;
    EXPECT_EQ(std::count(bad.Err.begin(), bad.Err.end(), '\n'), 1) << bad.Err;
    EXPECT_FALSE(fs::exists(dir.File("bad_intra.fits")));
  }
}
