// What caustica-batch reconstruct writes of each channel: the wavefront's
// files, the products asked for and the report, with the pictures the
// report shows.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analysis/channel_run.h"
#include "analysis/products.h"
#include "analysis/zernike_conventions.h"
#include "cli/batch_summary.h"
#include "setup/report.h"

namespace caustica::cli {

class ArgList;

struct TProductRequest {
  bool Interferogram = false;
  bool Foucaultgram = false;
  bool Psf = false;
  bool Spots = false;
  int Angle = 0;
  int Fringes = 8;
  int SeriesStep = 0;  // 0: a single product
  int PsfFactor = 0;
  std::vector<TZernikeOrdering> ZernikeFormats;
};

// --products, --product-angle, --fringes, --series, --psf-size and
// --zernike-format, checked.
TProductRequest ProductsOf(const ArgList& args);

// The pictures a report shows of a channel, with the captions the
// desktop's windows give them.
struct TChannelPictures {
  TRaster Front;
  TRaster Residual;
  std::vector<TReportProduct> Products;
};

// What the files of a channel take of the preferences besides the products.
struct TOutputSettings {
  TProductSettings Products;
  double LambdaRef = 555.0;
  int TermCount = 22;
  std::uint8_t WavefrontPalette = 1;
  std::uint8_t ImagePalette = 0;
};

// The channel's files in folder, base names followed by suffix; the
// pictures the report may show are kept in pictures.
TChannelSummary WriteChannel(TRoddier& slot, const std::string& channelName, const std::string& suffix,
                             const std::string& folder, const TProductRequest& req, const TTestSetup& test,
                             const TOutputSettings& settings, TChannelPictures& pictures);

// The forward-model check of the channel into its summary, and its two
// difference images (forward_intra.jpg, forward_extra.jpg) when there is one.
void WriteForwardCheck(const TForwardCheck& check, const std::string& folder, const std::string& suffix,
                       const TOutputSettings& settings, TChannelSummary& summary);

// The report asked for: its file, and the content gathered before the run
// (the test's texts and the two images as they were opened).
struct TReportRequest {
  std::string File;
  TReportContent Content;
};

// The report of one reconstruction, completed from the run.
void WriteBatchReport(const TReportRequest& request, const TRoddier& slot, const TChannelPictures& pictures,
                      const TParametres& parametres, TSourceChoice source, const TkwValue& values);

}  // namespace caustica::cli
