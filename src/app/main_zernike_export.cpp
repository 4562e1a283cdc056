// "Export Zernike coefficients...": the active wavefront's coefficients in the
// ordering and normalisation the user picks, for another tool to read.
#include <QString>
#include <QStringList>
#include <array>
#include <string>

#include "analysis/products.h"
#include "analysis/zernike_conventions.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/platform.h"
#include "app/program_state.h"
#include "setup/u_prefs.h"

namespace caustica {

void TMainForm::ExporterZernike1Click() {
  const std::shared_ptr<TPupille> grid = ActiveImage ? ActiveImage->Grid : nullptr;
  if (!grid || grid->Kind != kKindWavefront) {
    Platform().Warning(QString("Action impossible. %1").arg(kSelectWavefrontText));
    return;
  }
  const QString title = "Export Zernike coefficients";
  constexpr std::array kOrderings = {TZernikeOrdering::System, TZernikeOrdering::Noll, TZernikeOrdering::Ansi,
                                     TZernikeOrdering::Fringe};
  const int o = Platform().ChooseItem(
      title, "Ordering", {"System (1..42)", "Noll", "ANSI / OSA", "Fringe (University of Arizona)"}, 1);
  if (o < 0 || o >= static_cast<int>(kOrderings.size())) return;
  const TZernikeOrdering ordering = kOrderings[o];
  // Fringe coefficients are usually exchanged as they are, the others RMS-normalised.
  const int n = Platform().ChooseItem(title, "Normalisation", {"RMS-normalised", "Not normalised"},
                                      ordering == TZernikeOrdering::Fringe ? 1 : 0);
  if (n < 0) return;

  TFileRequest request;
  request.Title = title;
  request.Filter = "CSV files (*.csv)|*.csv";
  request.ProposedName =
      QString("zernike_%1.csv")
          .arg(QString::fromUtf8(OrderingKey(ordering).data(), OrderingKey(ordering).size()));
  request.AskOverwrite = true;
  QString fileName = Platform().SaveFileName(request);
  if (fileName.isEmpty()) return;
  if (!fileName.endsWith(".csv", Qt::CaseInsensitive)) fileName += ".csv";

  // Waves need a wavelength; a wavefront without its own takes the reference one.
  const double wavelength = grid->Wavelength > 0 ? grid->Wavelength : Preferences.Valeurs.LambdaRef;
  std::string error;
  if (!WriteZernikeExport(fileName.toStdString(), *grid, {ordering, n == 0, wavelength}, &error))
    Platform().Warning(QString::fromStdString(error));
}

}  // namespace caustica
