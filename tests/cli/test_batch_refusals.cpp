// caustica-batch on the inputs that once gave false successes, blow-ups
// and crashes: each run is refused with one line naming the input, or
// succeeds with finite results, inside 200 MB.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "support/batch_runner.h"
#include "support/bounded_child.h"
#include "support/fits_writer.h"
#include "support/test_files.h"

namespace {

namespace fs = std::filesystem;
using caustica::test::ScratchDir;

const std::string kSamples = CAUSTICA_SAMPLES_DIR;
const std::string kIntra = kSamples + "/newtonian200_intra.fits";
const std::string kExtra = kSamples + "/newtonian200_extra.fits";
const std::string kFindings = std::string(CAUSTICA_TEST_DATA_DIR) + "/fuzz_regressions/e2e";

using BatchRun = caustica::test::BatchResult;

// The tool in a shell whose data segment is limited to 200 MB.
BatchRun Batch(const ScratchDir& dir, const std::vector<std::string>& args) {
  return caustica::test::RunBatchTool(CAUSTICA_BATCH_EXE, dir, args,
                                      caustica::test::UnderAddressSanitizer() ? "" : "ulimit -d 204800; ");
}

std::vector<std::string> Reconstruct(const std::string& intra, const std::string& extra,
                                     const std::string& out) {
  return {"reconstruct", "--intra", intra,       "--extra", extra,      "--diameter", "200",
          "--focal",     "1200",    "--defocus", "3.6",     "--output", out,          "--quiet"};
}

bool HoldsNonFinite(const std::string& text) {
  std::string lower;
  for (char c : text) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower.find("nan") != std::string::npos || lower.find("inf") != std::string::npos;
}

// A refusal: one line naming what was refused, and no result written.
void ExpectRefusal(const BatchRun& r, const std::string& named, const std::string& folder,
                   const std::string& what) {
  EXPECT_TRUE(r.Status == 1 || r.Status == 2) << what << ": " << r.Status << " " << r.Err;
  EXPECT_NE(r.Err.find(named), std::string::npos) << what << ": " << r.Err;
  EXPECT_EQ(std::count(r.Err.begin(), r.Err.end(), '\n'), 1) << what << ": " << r.Err;
  EXPECT_FALSE(fs::exists(fs::path(folder) / "summary.txt")) << what;
}

TEST(BatchRefusals, EveryWholeRunFindingIsRefusedNamingItsFileOrGivesAFiniteResult) {
  int refused = 0, succeeded = 0;
  for (const auto& entry : fs::directory_iterator(kFindings)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".fits" || name.find("-extra") != std::string::npos) continue;
    ScratchDir dir;
    const std::string out = dir.File("out");
    std::string extra = kExtra;
    const std::string own = kFindings + "/" + entry.path().stem().string() + "-extra.fits";
    if (fs::exists(own)) extra = own;
    const BatchRun r = Batch(dir, Reconstruct(entry.path(), extra, out));
    if (r.Status == 0) {
      ++succeeded;
      const std::string summary = caustica::test::ReadBytes(out + "/summary.txt");
      EXPECT_FALSE(HoldsNonFinite(summary)) << name << ": " << summary;
      EXPECT_EQ(summary.find("PTV 0.00"), std::string::npos) << name;
    } else {
      ++refused;
      ExpectRefusal(r, name, out, name);
    }
  }
  EXPECT_EQ(refused + succeeded, 7);
  EXPECT_EQ(refused, 6);  // only the gzip file holds a real frame
}

TEST(BatchRefusals, AbsurdParametersAreRefusedByName) {
  struct Case {
    std::vector<std::string> Extra;
    const char* Named;
  };
  const std::vector<Case> cases = {
      {{"--angle", "1e308"}, "--angle"},
      {{"--angle", "90"}, "--angle"},
      {{"--source", "artificial", "--distance", "1e-300"}, "--distance"},
      {{"--source", "artificial", "--distance", "1e300", "--distance-unit", "km"}, "--distance"},
  };
  for (const Case& c : cases) {
    ScratchDir dir;
    std::vector<std::string> args = Reconstruct(kIntra, kExtra, dir.File("out"));
    args.insert(args.end(), c.Extra.begin(), c.Extra.end());
    const BatchRun r = Batch(dir, args);
    EXPECT_EQ(r.Status, 2) << c.Named << ": " << r.Err;
    ExpectRefusal(r, c.Named, dir.File("out"), c.Named);
  }
  for (const char* defocus : {"1e-300", "0.0001", "700"}) {
    ScratchDir dir;
    std::vector<std::string> args = Reconstruct(kIntra, kExtra, dir.File("out"));
    args[args.size() - 4] = defocus;  // the value after --defocus
    const BatchRun r = Batch(dir, args);
    EXPECT_EQ(r.Status, 2) << defocus;
    ExpectRefusal(r, "--defocus", dir.File("out"), defocus);
  }
}

TEST(BatchRefusals, AnOptionNeedingAValueRefusesTheNextOption) {
  ScratchDir dir;
  const BatchRun r = Batch(dir, {"reconstruct", "--intra", kIntra, "--extra", kExtra, "--diameter", "200",
                                 "--focal", "1200", "--defocus", "--output", dir.File("out")});
  EXPECT_EQ(r.Status, 2);
  EXPECT_NE(r.Err.find("option --defocus needs a value"), std::string::npos) << r.Err;
  EXPECT_FALSE(fs::exists(dir.File("out")));
}

TEST(BatchRefusals, WavelengthsOfThePreferencesAreRefusedWithTheirValueAndFile) {
  struct Case {
    const char* Line;
    const char* Key;
    const char* Shown;
  };
  for (const Case& c :
       {Case{"LambdaRef=-555", "LambdaRef", "-555"}, Case{"LambdaRef=1e300", "LambdaRef", "1e+300"},
        Case{"LambdaInterfero=0", "LambdaInterfero", "0"}, Case{"LambdaV=1e-9", "LambdaV", "1e-09"}}) {
    ScratchDir dir;
    const std::string prefs = dir.File("Prefs.txt");
    caustica::test::WriteBytes(prefs, std::string(c.Line) + "\r\n");
    std::vector<std::string> args = Reconstruct(kIntra, kExtra, dir.File("out"));
    args.insert(args.end(), {"--prefs", prefs, "--products", "all"});
    const BatchRun r = Batch(dir, args);
    ExpectRefusal(r, std::string(c.Key) + " in " + prefs + " is " + c.Shown + ",", dir.File("out"), c.Line);
  }
}

TEST(BatchRefusals, SamplesOutsideTheRangeOfAFrameAreRefusedNamingTheFile) {
  // BSCALE 1e-300 turns every sample into a denormal-sized value.
  ScratchDir dir;
  caustica::test::FitsImage img;
  img.Width = img.Height = 64;
  img.Raw.assign(64 * 64, 100.0);
  img.Raw[64 * 32 + 32] = 1000.0;
  img.Cards = {caustica::test::Card("BSCALE", "1e-300")};
  const std::string tiny = dir.File("tiny.fits");
  caustica::test::WriteBytes(tiny, caustica::test::BuildFits(img));
  const BatchRun r = Batch(dir, Reconstruct(tiny, kExtra, dir.File("out")));
  ExpectRefusal(r, "tiny.fits", dir.File("out"), "BSCALE 1e-300");
  EXPECT_NE(r.Err.find("not a finite number between"), std::string::npos) << r.Err;
}

}  // namespace
