// "Create a report": what is open gathered into the report's content, which
// the Qt-free report writer turns into the HTML file and its pictures.
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QStatusBar>
#include <QString>

#include "analysis/u_resultats_form.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/platform.h"
#include "app/program_state.h"
#include "app/session.h"
#include "setup/parametres_form.h"
#include "setup/report.h"
#include "setup/u_prefs.h"

namespace caustica {

namespace {

std::string S(const QString& text) { return text.toStdString(); }

TRaster PictureOf(const TForm1* window) { return window ? window->Surface.BurntPicture() : TRaster(); }

TRaster FirstEntryPicture(const QList<TImageListEntry>& list) {
  return list.isEmpty() ? TRaster() : PictureOf(list.first().Window.data());
}

std::string ValueListEntry(const QListWidget* list, int row) {
  const QListWidgetItem* item = list ? list->item(row) : nullptr;
  return item ? S(item->text()) : std::string();
}

}  // namespace

// The reconstruction the report describes: the single one, or in a
// polychromatic test the colour the focus is aligned on.
TRoddier* TMainForm::ReportedReconstruction() const {
  if (Parametres.ModeTraitement == 0 || Parametres.ModeTraitement == 255) return RoddierMono.get();
  const int colour = Preferences.Valeurs.OriginFoc;
  if (Parametres.ModeTraitement != 1 || colour > 2) return nullptr;
  return Session().Slot(kChannelBlue + colour).get();
}

void TMainForm::Gnrerunrapport1Click() {
  TRoddier* slot = ReportedReconstruction();
  if (!slot || !slot->Wavefront || !ActiveImage) return;
  const TkwValue& values = Preferences.Valeurs;
  TFileRequest request;
  request.Title = "Generate and save a report";
  request.Filter = "Html files|*.htm;*.html";
  request.InitialFolder = QString::fromStdString(values.DossierRapports);
  request.AskOverwrite = true;
  const QString chosen = Platform().SaveFileName(request);
  if (chosen.isEmpty()) return;
  FichierRapport = chosen;

  TReportContent c;
  FillReportParameters(Parametres, c);
  c.Instrument = ValueListEntry(FormParam->ValueList, 2);
  c.Camera = ValueListEntry(FormParam->ValueList, 3);
  c.Source = FormParam->Source();
  c.ExposureIntra = S(FormParam->EditExposureIntra->text());
  c.ExposureExtra = S(FormParam->EditExposureExtra->text());
  c.IntraPicture = FirstEntryPicture(ListBoxIntra);
  c.ExtraPicture = FirstEntryPicture(ListBoxExtra);
  FillReportReconstruction(*slot, values.NPolyZern, c);
  c.FrontPicture = PictureOf(Form3->ShownWindow());
  // The last signal and residual windows; products in window order.
  for (TForm1* w : ImageWindows()) {
    if (!w->Grid) continue;
    const int kind = w->Grid->Kind;
    if (kind == kKindSignal) {
      c.HasSignal = true;
      c.SignalPicture = PictureOf(w);
    } else if (kind == kKindResidual) {
      c.HasResidual = true;
      c.ResidualPicture = PictureOf(w);
    } else if (kind >= kKindTheoreticalPsf && kind <= kKindSpotDiagram) {
      c.Products.push_back({kind, S(w->windowTitle()), PictureOf(w)});
    }
  }
  c.Format = ReportFormatOf(values);

  std::string error;
  bool written = false;
  {
    THourglass hourglass;
    written = WriteReport(S(FichierRapport), c, &error);
  }
  if (!written) {
    Platform().Warning(QString::fromStdString(error));
    return;
  }
  statusBar()->showMessage(QString("Report written: %1").arg(QFileInfo(FichierRapport).absoluteFilePath()));
}

}  // namespace caustica
