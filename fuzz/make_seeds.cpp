// The seed corpora of the fuzz targets, made by the project's own writers:
//   make_seeds FOLDER   writes FOLDER/<target>/<seed> for every target.
#include <cmath>
#include <filesystem>
#include <fstream>
#include <string>

#include "core/number_format.h"
#include "core/u_class.h"
#include "io/fits_writer.h"
#include "io/jpeg_file.h"
#include "io/ser_file.h"
#include "setup/reconstruction_method.h"
#include "setup/u_prefs.h"
#include "support/fits_writer.h"
#include "support/ser_writer.h"

using namespace caustica;
namespace fs = std::filesystem;

namespace {

void Text(const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; }

// A defocused star: a bright ring on a dark background.
double Star(int c, int r, int n) {
  const double x = c - n / 2.0, y = r - n / 2.0, d = std::sqrt(x * x + y * y);
  return d < n * 0.35 && d > n * 0.1 ? 3000.0 + 7.0 * c : 40.0 + (c * 31 + r * 17) % 9;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  const fs::path root(argv[1]);
  for (const char* t : {"fuzz_fits", "fuzz_fits_gzip", "fuzz_jpeg", "fuzz_prefs", "fuzz_settings",
                        "fuzz_numbers", "fuzz_ser"})
    fs::create_directories(root / t);

  // FITS: a 16-bit frame as the simulator writes it, and tile-compressed copies.
  const int n = 48;
  DoublePlanes frame(n, n, 1);
  std::vector<std::int16_t> raw;
  for (int r = 1; r <= n; ++r)
    for (int c = 1; c <= n; ++c) {
      frame[1][r][c] = Star(c, r, n);
      raw.push_back(static_cast<std::int16_t>(Star(c, r, n) - 32768.0));
    }
  TImgInfos infos;
  infos.Observer = "seed";
  infos.FocalLength = 1200;
  if (!WriteFits16((root / "fuzz_fits/plain.fits").string(), frame, n, n, infos)) return 1;
  fs::copy_file(root / "fuzz_fits/plain.fits", root / "fuzz_fits_gzip/plain.fits");
  if (!test::WriteTileCompressed16((root / "fuzz_fits/rice.fits").string(), n, n, raw, 32768.0, "R") ||
      !test::WriteTileCompressed16((root / "fuzz_fits/gzip_tiles.fits").string(), n, n, raw, 32768.0, "G"))
    return 1;

  // JPEG: a colour picture as "Save" writes it.
  TRaster picture;
  picture.Width = 40;
  picture.Height = 32;
  picture.Rgb.resize(40 * 32 * 3);
  for (int y = 0; y < 32; ++y)
    for (int x = 0; x < 40; ++x)
      for (int k = 0; k < 3; ++k)
        picture.Rgb[(y * 40 + x) * 3 + k] =
            static_cast<std::uint8_t>(std::fmod(Star(x, y, 32) / 16 + 40 * k, 256.0));
  if (!EncodeJpegFile((root / "fuzz_jpeg/picture.jpg").string(), picture, 90)) return 1;

  // Preferences: the defaults, and a file with folders and alert values.
  TPreferences prefs;
  if (!WritePreferences((root / "fuzz_prefs/defaults.txt").string(), prefs, {})) return 1;
  prefs.Valeurs.LambdaRef = 632.8;
  prefs.Valeurs.NPolyZern = 42;
  for (int j = 1; j <= 42; ++j) prefs.Valeurs.Alertes[j] = j * 12.5;
  if (!WritePreferences((root / "fuzz_prefs/full.txt").string(), prefs,
                        {"/data/star tests", "/home/user/images"}))
    return 1;

  // Settings: both methods.
  if (!WriteReconstructionSettings((root / "fuzz_settings/classic.txt").string(),
                                   TReconstructionMethod::Classic) ||
      !WriteReconstructionSettings((root / "fuzz_settings/accurate.txt").string(),
                                   TReconstructionMethod::Accurate))
    return 1;

  // Numbers as the program writes them, and as users type them.
  int k = 0;
  for (const double v : {0.0, 632.8, -1.5e-7, 1e15, 1.0 / 3.0, 2.5e300})
    Text(root / "fuzz_numbers" / ("n" + std::to_string(k++)), FormatGeneral(v, '.'));
  for (const char* typed : {"1,5", "-2e3", "+7", "12o0", "0.000"})
    Text(root / "fuzz_numbers" / ("n" + std::to_string(k++)), typed);

  // SER: small videos of every layout, the last ones with a trailer.
  struct Layout {
    const char* name;
    std::int32_t colour, depth;
    bool big, stamps;
  };
  for (const Layout& l :
       {Layout{"mono8", kSerMono, 8, false, false}, Layout{"mono12le", kSerMono, 12, false, false},
        Layout{"mono16be", kSerMono, 16, true, true}, Layout{"rggb8", kSerBayerRggb, 8, false, true},
        Layout{"gbrg16", kSerBayerGbrg, 16, true, false}, Layout{"rgb8", kSerRgb, 8, false, true},
        Layout{"bgr16", kSerBgr, 16, false, false}}) {
    test::SerVideo v;
    v.ColorId = l.colour;
    v.Depth = l.depth;
    v.BigEndian = l.big;
    v.Width = 6;
    v.Height = 4;
    const int samples = 24 * (l.colour >= kSerRgb ? 3 : 1);
    for (int f = 0; f < 3; ++f) {
      std::vector<std::uint16_t> frame;
      for (int i = 0; i < samples; ++i)
        frame.push_back(
            static_cast<std::uint16_t>(static_cast<int>(Star(i % 6, i / 6, 6) * (f + 1)) % (1 << l.depth)));
      v.Frames.push_back(frame);
      if (l.stamps) v.Stamps.push_back(638000000000000000 + 100000 * f);
    }
    Text(root / "fuzz_ser" / (std::string(l.name) + ".ser"), test::BuildSer(v));
  }
  return 0;
}
