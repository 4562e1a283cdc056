#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <random>

#include "analysis/u_zernike.h"
#include "core/u_math.h"
#include "setup/u_prefs.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"

using namespace caustica;
using caustica::test::ProgramStateGuard;
using caustica::test::ReadBytes;
using caustica::test::ScratchDir;
using caustica::test::WriteBytes;

namespace {

// The file written with the built-in defaults and an empty folder history,
// line by line as the format lays it out.
const char kDefaultFile[] =
    "PltSignal=0\r\nPltFront=1\r\nPltPSF=4\r\nPltInterfero=5\r\nFactMultDiff=2\r\nMasqueActif=1\r\n"
    "MemOptim=0\r\nNIter=3\r\nBreakCondition=0\r\nRMSFront=0\r\nExtractDim=16\r\nExtractSeuil=50\r\n"
    "ExtractAuto=1\r\nLambdaRef=555\r\nLambdaInterfero=555\r\nLambdaR=0\r\nLambdaV=0\r\nLambdaB=0\r\n"
    "OriginFoc=1\r\nAjustAuto=1\r\nSubTiltFocus=1\r\nSubComa=1\r\nNPolyZern=22\r\nModePoly=0\r\n"
    "NDecNano=2\r\nNDecMilli=0\r\nNDecLambda=0\r\nNDecPix=0\r\nNDecADU=0\r\nNDecStrehl=0\r\nNDecDeg=0\r\n"
    "NDecRed=0\r\nNormRMS=1\r\nDiametre=0\r\nFocale=0\r\nPixelCCD=0\r\nBinAcquisition=1\r\nBinLogiciel=1\r\n"
    "PoidsR=1\r\nPoidsV=1\r\nPoidsB=1\r\n"
    "Aide=\r\n"
    "Rapports=\r\n"
    "[Warnings]\r\n"
    "0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n"
    "0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n"
    "0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n0.000000\r\n";

// Every field away from its default.
TPreferences Unusual() {
  TPreferences p;
  p.Valeurs = TkwValue{.PltSignal = 3,
                       .PltFront = 2,
                       .PltPSF = 0,
                       .PltInterfero = 1,
                       .MemOptim = 1,
                       .MasqueActif = 0,
                       .FactMultDiff = 3,
                       .NIter = 20,
                       .ExtractDim = 64,
                       .ExtractSeuil = 85,
                       .ExtractAuto = 0,
                       .BreakCondition = 1,
                       .RMSFront = 0.25,
                       .LambdaRef = 632.8,
                       .LambdaInterfero = 333.333333333333,  // 15 digits: what the file keeps
                       .LambdaR = 656.3,
                       .LambdaV = 546.07,
                       .LambdaB = 435.8,
                       .PoidsR = 0.3,
                       .PoidsV = 0.59,
                       .PoidsB = 1.1e-7,
                       .OriginFoc = 2,
                       .Alertes = {},
                       .FichierAide = "/usr/share/doc/caustica/index.html",
                       .DossierImages = "/home/u/images/2024",
                       .DossierRapports = "/home/u/rapports à moi",
                       .AjustAuto = 0,
                       .SubTiltFocus = 0,
                       .SubComa = 0,
                       .NPolyZern = 30,
                       .ModePoly = 1,
                       .NDecNano = 4,
                       .NDecMilli = 3,
                       .NDecLambda = 2,
                       .NDecPix = 1,
                       .NDecStrehl = 3,
                       .NDecADU = 4,
                       .NDecDeg = 2,
                       .NDecRed = 1,
                       .NormRMS = 0,
                       .Diametre = 254,
                       .Focale = -1200,
                       .PixelCCD = 5400,
                       .BinAcquisition = 2,
                       .BinLogiciel = 3};
  for (int j = 1; j <= 30; ++j) p.Valeurs.Alertes[j] = 10.5 * j - 40;
  return p;
}

class PrefsFile : public ::testing::Test {
 protected:
  void SetUp() override { SetDecimalSeparator('.'); }

  ProgramStateGuard state_;

  // Reads the given file text into prefs and history.
  bool ReadText(const std::string& text, TPreferences& prefs, TImageFolderHistory& history) {
    WriteBytes(file_, text);
    return ReadPreferences(file_, prefs, history);
  }

  ScratchDir dir_;
  std::string file_ = dir_.File("Prefs.txt");
};

}  // namespace

TEST_F(PrefsFile, DefaultsGiveTheExactFileText) {
  ASSERT_TRUE(WritePreferences(file_, TPreferences{}, {}));
  EXPECT_EQ(ReadBytes(file_), kDefaultFile);
}

TEST_F(PrefsFile, NoFileKeepsTheDefaults) {
  TPreferences p;
  TImageFolderHistory h;
  EXPECT_FALSE(ReadPreferences(dir_.File("missing.txt"), p, h));
  EXPECT_EQ(p.Valeurs, TkwValue{});
  EXPECT_EQ(p.Valeurs.NPolyZern, 22);
  EXPECT_EQ(p.Valeurs.LambdaRef, 555.0);
  EXPECT_TRUE(h.empty());
}

TEST_F(PrefsFile, RoundTripWithEitherSeparator) {
  for (char separator : {'.', ','}) {
    SetDecimalSeparator(separator);
    const TPreferences out = Unusual();
    const TImageFolderHistory folders = {"/home/u/images/2024", "/mnt/ccd", "C:\\images"};
    ASSERT_TRUE(WritePreferences(file_, out, folders));
    const std::string first = ReadBytes(file_);
    EXPECT_NE(first.find(separator == ',' ? "LambdaRef=632,8\r\n" : "LambdaRef=632.8\r\n"),
              std::string::npos);

    TPreferences in;
    TImageFolderHistory history;
    ASSERT_TRUE(ReadPreferences(file_, in, history));
    EXPECT_EQ(in.Valeurs, out.Valeurs) << "separator " << separator;
    EXPECT_EQ(history, folders);

    // Writing what was read gives the same bytes again.
    ASSERT_TRUE(WritePreferences(file_, in, history));
    EXPECT_EQ(ReadBytes(file_), first);
  }
}

TEST_F(PrefsFile, CommaSeparatedValueReadsInCommaLocale) {
  SetDecimalSeparator(',');
  TPreferences p;
  TImageFolderHistory h;
  ASSERT_TRUE(ReadText("LambdaRef=632,8\r\nRMSFront=1,5E-3\r\n", p, h));
  EXPECT_DOUBLE_EQ(p.Valeurs.LambdaRef, 632.8);
  EXPECT_DOUBLE_EQ(p.Valeurs.RMSFront, 0.0015);
  // A file from a "." locale still reads after the user's locale changed.
  ASSERT_TRUE(ReadText("LambdaRef=589.3\r\n", p, h));
  EXPECT_DOUBLE_EQ(p.Valeurs.LambdaRef, 589.3);
}

TEST_F(PrefsFile, KeysMatchExactly) {
  TPreferences p;
  TImageFolderHistory h;
  ASSERT_TRUE(
      ReadText("niter=5\nNIterX=6\nNIter =7\n NIter=8\nLambdaRefX=1\nLambda=2\nAideX=/a\nImages2=/b\n"
               "rapports=/c\nNPolyZern=10\n",
               p, h));
  EXPECT_EQ(p.Valeurs.NIter, 3);
  EXPECT_EQ(p.Valeurs.LambdaRef, 555.0);
  EXPECT_EQ(p.Valeurs.FichierAide, "");
  EXPECT_EQ(p.Valeurs.DossierRapports, "");
  EXPECT_TRUE(h.empty());
  EXPECT_EQ(p.Valeurs.NPolyZern, 10);  // the exact key on the last line is taken
}

TEST_F(PrefsFile, FolderLinesTakeEverythingAfterTheFirstEquals) {
  TPreferences p;
  TImageFolderHistory h;
  ASSERT_TRUE(ReadText("Aide=/doc/a=b.htm\r\nRapports=\r\nImages=/x=1\r\nImages=/y\r\n", p, h));
  EXPECT_EQ(p.Valeurs.FichierAide, "/doc/a=b.htm");
  EXPECT_EQ(p.Valeurs.DossierRapports, "");
  EXPECT_EQ(h, (TImageFolderHistory{"/x=1", "/y"}));
  EXPECT_EQ(p.Valeurs.DossierImages, "/x=1");
}

TEST_F(PrefsFile, WarningLinesFillTheFirstNPolyZernAlerts) {
  TPreferences p;
  for (int j = 1; j <= 42; ++j) p.Valeurs.Alertes[j] = 7.0;
  TImageFolderHistory h;
  ASSERT_TRUE(ReadText("NPolyZern=4\r\n[Warnings]\r\n1.5\r\n-2,25\r\n3\r\n4e1\r\n99\r\n", p, h));
  EXPECT_EQ(p.Valeurs.Alertes[1], 1.5);
  EXPECT_EQ(p.Valeurs.Alertes[2], -2.25);
  EXPECT_EQ(p.Valeurs.Alertes[3], 3.0);
  EXPECT_EQ(p.Valeurs.Alertes[4], 40.0);
  for (int j = 5; j <= 42; ++j) EXPECT_EQ(p.Valeurs.Alertes[j], 7.0) << j;

  // The marker may come before the count; the count in force at the end applies.
  ASSERT_TRUE(ReadText("[Warnings]\r\n11\r\n12\r\n13\r\nNPolyZern=2\r\n", p, h));
  EXPECT_EQ(p.Valeurs.Alertes[1], 11.0);
  EXPECT_EQ(p.Valeurs.Alertes[2], 12.0);
  EXPECT_EQ(p.Valeurs.Alertes[3], 3.0);
}

TEST_F(PrefsFile, ShortOrBrokenWarningSectionKeepsOtherAlerts) {
  TPreferences p;
  for (int j = 1; j <= 42; ++j) p.Valeurs.Alertes[j] = 7.0;
  TImageFolderHistory h;
  ASSERT_TRUE(ReadText("NPolyZern=5\r\n[Warnings]\r\n1\r\nabc\r\n\r\n4", p, h));
  EXPECT_EQ(p.Valeurs.Alertes[1], 1.0);
  EXPECT_EQ(p.Valeurs.Alertes[2], 7.0);  // not a number
  EXPECT_EQ(p.Valeurs.Alertes[3], 7.0);  // empty
  EXPECT_EQ(p.Valeurs.Alertes[4], 4.0);  // last line without a line end
  EXPECT_EQ(p.Valeurs.Alertes[5], 7.0);  // missing

  // No marker: the alert values are left alone.
  ASSERT_TRUE(ReadText("NPolyZern=3\r\n1\r\n2\r\n3\r\n", p, h));
  EXPECT_EQ(p.Valeurs.Alertes[1], 1.0);
  EXPECT_EQ(p.Valeurs.Alertes[2], 7.0);
}

TEST_F(PrefsFile, MalformedValuesKeepThePreviousValueAndReadingGoesOn) {
  TPreferences p = Unusual();
  const TkwValue before = p.Valeurs;
  TImageFolderHistory h;
  ASSERT_TRUE(
      ReadText("NIter=abc\r\nNIter=\r\nNIter=4.5\r\nLambdaRef=6OO\r\nLambdaRef=nan\r\nLambdaRef=inf\r\n"
               "LambdaRef=1e999\r\nLambdaRef=1,2,3\r\nLambdaRef=.\r\nDiametre=99999999999\r\nFocale=12ab\r\n"
               "PltFront=6\r\nFactMultDiff=4\r\nOriginFoc=3\r\nNPolyZern=43\r\nNPolyZern=200\r\nPltPSF=-1\r\n"
               "PoidsR=2.5\r\n",
               p, h));
  TkwValue expected = before;
  expected.PoidsR = 2.5;
  EXPECT_EQ(p.Valeurs, expected);
}

TEST_F(PrefsFile, ByteFieldsKeepTheLow8Bits) {
  TPreferences p;
  TImageFolderHistory h;
  ASSERT_TRUE(ReadText("NIter=259\nMemOptim=-1\nNDecNano= 3 \nBinLogiciel=+4\nPixelCCD=-7\n", p, h));
  EXPECT_EQ(p.Valeurs.NIter, 3);
  EXPECT_EQ(p.Valeurs.MemOptim, 255);
  EXPECT_EQ(p.Valeurs.NDecNano, 3);
  EXPECT_EQ(p.Valeurs.BinLogiciel, 4);
  EXPECT_EQ(p.Valeurs.PixelCCD, -7);
}

TEST_F(PrefsFile, JunkFilesNeverCrash) {
  std::mt19937 rng(12345);
  TImageFolderHistory h;
  for (int trial = 0; trial < 200; ++trial) {
    std::string junk(rng() % 4096, '\0');
    for (char& c : junk) c = static_cast<char>(rng());
    // Sprinkle real keys so that the parser reaches its value paths.
    if (trial % 2) junk += "\r\nNPolyZern=42\r\n[Warnings]\r\n" + junk.substr(0, 300);
    TPreferences p;
    ReadText(junk, p, h);
    EXPECT_LE(p.Valeurs.NPolyZern, 42);
    EXPECT_LE(p.Valeurs.PltFront, 5);
  }

  TPreferences p;
  EXPECT_TRUE(ReadText("", p, h));
  EXPECT_EQ(p.Valeurs, TkwValue{});

  // A huge line is just one more malformed value.
  h.clear();
  ASSERT_TRUE(ReadText(
      "NIter=" + std::string(1 << 20, '9') + "\r\nAide=" + std::string(1 << 20, 'a') + "\r\nNPolyZern=5\r\n",
      p, h));
  EXPECT_EQ(p.Valeurs.NIter, 3);
  EXPECT_EQ(p.Valeurs.FichierAide.size(), std::size_t{1} << 20);
  EXPECT_EQ(p.Valeurs.NPolyZern, 5);
}

TEST_F(PrefsFile, OversizedOrUnreadableFileChangesNothing) {
  TPreferences p = Unusual();
  TImageFolderHistory h = {"/a"};
  EXPECT_FALSE(ReadText("NIter=5\r\n" + std::string(5 << 20, 'x'), p, h));
  EXPECT_EQ(p.Valeurs, Unusual().Valeurs);
  EXPECT_EQ(h, TImageFolderHistory{"/a"});
  // A folder where the file should be.
  EXPECT_FALSE(ReadPreferences(dir_.Path().string(), p, h));
  EXPECT_EQ(p.Valeurs, Unusual().Valeurs);
}

TEST_F(PrefsFile, ImageFoldersNeverPileUp) {
  TPreferences p;
  TImageFolderHistory h = {"/b", "/a", "/b", "/c"};  // a duplicate made by browsing
  ASSERT_TRUE(WritePreferences(file_, p, h));
  const std::string text = ReadBytes(file_);
  EXPECT_NE(text.find("Aide=\r\nImages=/b\r\nImages=/a\r\nImages=/c\r\nRapports=\r\n"), std::string::npos);

  // Reading the file again into the live history ("Load default settings"),
  // then writing, gives the same file.
  for (int round = 0; round < 3; ++round) {
    ASSERT_TRUE(ReadPreferences(file_, p, h));
    ASSERT_TRUE(WritePreferences(file_, p, h));
    EXPECT_EQ(ReadBytes(file_), text);
  }
  EXPECT_EQ(p.Valeurs.DossierImages, "/b");
}

TEST_F(PrefsFile, LineBreaksInFolderNamesCannotInjectLines) {
  TPreferences p;
  p.Valeurs.DossierRapports = "/r\r\nNIter=9";
  ASSERT_TRUE(WritePreferences(file_, p, {"/i\nNPolyZern=1"}));
  TPreferences in;
  TImageFolderHistory h;
  ASSERT_TRUE(ReadPreferences(file_, in, h));
  EXPECT_EQ(in.Valeurs.NIter, 3);
  EXPECT_EQ(in.Valeurs.NPolyZern, 22);
  EXPECT_EQ(in.Valeurs.DossierRapports, "/rNIter=9");
}

TEST_F(PrefsFile, FailedWriteKeepsTheOldFile) {
  ASSERT_TRUE(WritePreferences(file_, Unusual(), {"/old"}));
  const std::string old = ReadBytes(file_);

  // Let the disk "fill up" after 64 bytes: the temporary file cannot be written.
  rlimit saved{};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
  rlimit small = saved;
  small.rlim_cur = 64;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  std::string error;
  const bool ok = WritePreferences(file_, TPreferences{}, {}, &error);
  ::setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previousHandler);

  EXPECT_FALSE(ok);
  EXPECT_FALSE(error.empty());
  EXPECT_EQ(ReadBytes(file_), old);
  int entries = 0;
  for (const auto& e : std::filesystem::directory_iterator(dir_.Path())) {
    (void)e;
    ++entries;
  }
  EXPECT_EQ(entries, 1);  // no temporary file left behind
}

namespace {

// Sets or unsets an environment variable for the lifetime of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedEnv() {
    if (old_)
      ::setenv(name_, old_->c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

}  // namespace

TEST_F(PrefsFile, FileBesideAWritableProgramFolder) {
  EXPECT_EQ(PreferencesFilePath(dir_.Path().string()), dir_.File("Prefs.txt"));
  const std::string exe = ExecutableFolder();
  ASSERT_FALSE(exe.empty());
  EXPECT_TRUE(std::filesystem::exists(exe));
}

TEST_F(PrefsFile, UserConfigurationFolderWhenProgramFolderIsNotWritable) {
  ScratchDir config;
  ScratchDir home;
  const std::string installed = (dir_.Path() / "no-such-folder").string();
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", config.Path().c_str());
    const std::string path = PreferencesFilePath(installed);
    EXPECT_EQ(path, (config.Path() / "Caustica" / "Prefs.txt").string());
    // The first write creates the folder; the file then reads back.
    TPreferences out = Unusual();
    ASSERT_TRUE(WritePreferences(path, out, {"/x"}));
    TPreferences in;
    TImageFolderHistory h;
    ASSERT_TRUE(ReadPreferences(path, in, h));
    EXPECT_EQ(in.Valeurs.LambdaRef, 632.8);
  }
  {
    ScopedEnv xdg("XDG_CONFIG_HOME", "relative/ignored");
    ScopedEnv homeEnv("HOME", home.Path().c_str());
    EXPECT_EQ(PreferencesFilePath(installed), (home.Path() / ".config" / "Caustica" / "Prefs.txt").string());
  }
  if (::geteuid() != 0) {  // permissions do not bind the superuser
    const std::filesystem::path ro = dir_.Path() / "ro";
    std::filesystem::create_directory(ro);
    std::filesystem::permissions(ro, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    ScopedEnv xdg("XDG_CONFIG_HOME", config.Path().c_str());
    EXPECT_EQ(PreferencesFilePath(ro.string()), (config.Path() / "Caustica" / "Prefs.txt").string());
    std::filesystem::permissions(ro, std::filesystem::perms::owner_all);
  }
}

TEST(PreferencesStartUp, TheZernikeBasisFollowsThePreferences) {
  ProgramStateGuard state;
  ScratchDir dir;
  WriteBytes(dir.File("Prefs.txt"), "NPolyZern=36\r\nModePoly=1\r\n");
  InitPreferences(dir.File("Prefs.txt"));
  EXPECT_EQ(Preferences.Valeurs.NPolyZern, 36);
  EXPECT_EQ(ZernikeBasis.PolynomialCount, 36);
  EXPECT_EQ(ZernikeBasis.PolynomialType, 1);
  // A missing file leaves the built-in defaults, and the basis with them.
  InitPreferences(dir.File("none.txt"));
  EXPECT_EQ(ZernikeBasis.PolynomialCount, 22);
  EXPECT_EQ(ZernikeBasis.PolynomialType, 0);
}
