// "Create a report" in the desktop program: what is open goes into the
// report, nothing is written when there is nothing to report or the user
// cancels; and "Help for this aberration" opens the help window on its page.
#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMdiArea>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTextBrowser>

#include "analysis/u_resultats_form.h"
#include "app/Main.h"
#include "app/Unit1.h"
#include "app/session.h"
#include "io/jpeg_file.h"
#include "setup/parametres_form.h"
#include "setup/u_aide_form.h"
#include "star_pair.h"
#include "ui_test_registry.h"

namespace caustica::test {

class ReportCommandTest : public QObject {
  Q_OBJECT
  TDesktopTestBed bed;

  TMainForm& Main() { return *bed.Main; }
  QString Html(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
  }
  void Activate(TForm1* w) {
    Main().MdiArea->setActiveSubWindow(w);
    Session().SetActiveImage(w);
  }

 private slots:
  void init() { bed.Start(); }
  void cleanup() { bed.Stop(); }

  void reportsWhatIsOpen() {
    QVERIFY(OpenSimulatedStarPair(Main(), *bed.Platform, *bed.Dir));
    Main().FormParam->ValueList->clear();
    Main().FormParam->ValueList->addItems({"2026-12-09", "Observatory", "Dobson 250", "Mono camera"});
    Main().FormParam->EditExposureIntra->setText("1.5");
    Main().FormParam->EditExposureExtra->setText("2");
    ReconstructionMethod = TReconstructionMethod::Classic;  // the report names it
    Main().Reconstruire->trigger();
    TForm1* front = Main().ImageWindows().constLast();
    QCOMPARE(static_cast<int>(front->Grid->Kind), 3);
    Session().ShowZernikeResults();
    // Two interferograms, then one Foucaultgram.
    Session().SetProductControls({0, 90, 8, true, -1});
    Main().Interferogramme1->trigger();
    Activate(front);
    Session().SetProductControls({0, 90, 8, false, -1});
    Main().Foucault1->trigger();
    QVERIFY2(bed.Platform->Warnings.isEmpty(), qPrintable(bed.Platform->Warnings.join("; ")));

    const QString file = QString::fromStdString(bed.Dir->File("mirror.html"));
    bed.Platform->Files = {file};
    Main().Gnrerunrapport1->trigger();
    QVERIFY2(bed.Platform->Warnings.isEmpty(), qPrintable(bed.Platform->Warnings.join("; ")));
    const TFileRequest& asked = bed.Platform->FileRequests.constLast();
    QCOMPARE(asked.Title, QString("Generate and save a report"));
    QCOMPARE(asked.Filter, QString("Html files|*.htm;*.html"));
    QVERIFY(asked.AskOverwrite);
    QCOMPARE(Main().FichierRapport, file);

    const QString html = Html(file);
    for (const char* expected : {">Dobson 250<", ">Mono camera<", ">1.5 s / 2 s<", "4. Interferograms</b>",
                                 "5. Foucaultgram</b>", "Reconstruction method: Classic",
                                 "<img src=\"Interferogram90.jpg\">", "<img src=\"Foucaultgram0.jpg\">"})
      QVERIFY2(html.contains(expected), expected);
    QVERIFY(!html.contains("Residu.jpg"));  // no residual window open
    for (const char* picture :
         {"intra.jpg", "extra.jpg", "Front.jpg", "Interferogram0.jpg", "Foucaultgram0.jpg"}) {
      TRaster decoded;
      QVERIFY2(DecodeJpegFile(bed.Dir->File(picture), decoded), picture);
    }
    QVERIFY(Main().statusBar()->currentMessage().startsWith("Report written: "));
  }

  void nothingToReportOrCancelledWritesNothing() {
    QVERIFY(OpenSimulatedStarPair(Main(), *bed.Platform, *bed.Dir));
    // No reconstruction yet: not even a question.
    int asked = bed.Platform->FileRequests.size();
    Main().Gnrerunrapport1->trigger();
    QCOMPARE(bed.Platform->FileRequests.size(), asked);

    Main().Reconstruire->trigger();
    asked = bed.Platform->FileRequests.size();
    Main().Gnrerunrapport1->trigger();  // no file queued: cancelled
    QCOMPARE(bed.Platform->FileRequests.size(), asked + 1);
    QVERIFY(!QFileInfo::exists(QString::fromStdString(bed.Dir->File("Front.jpg"))));
    QVERIFY(Main().FichierRapport.isEmpty());
  }

  void aFailedWriteIsSaidAndKeepsThePreviousReport() {
    QVERIFY(OpenSimulatedStarPair(Main(), *bed.Platform, *bed.Dir));
    Main().Reconstruire->trigger();
    Session().ShowZernikeResults();
    const QString file = QString::fromStdString(bed.Dir->File("mirror.html"));
    bed.Platform->Files = {file};
    Main().Gnrerunrapport1->trigger();
    const QString before = Html(file);
    QVERIFY(!before.isEmpty());
    QFile::remove(QString::fromStdString(bed.Dir->File("Front.jpg")));
    QVERIFY(QDir().mkdir(QString::fromStdString(bed.Dir->File("Front.jpg"))));
    Main().FormParam->EditExposureIntra->setText("99");
    bed.Platform->Files = {file};
    Main().Gnrerunrapport1->trigger();
    QCOMPARE(bed.Platform->Warnings.size(), 1);
    QVERIFY(bed.Platform->Warnings.constFirst().contains("Front.jpg"));
    QCOMPARE(Html(file), before);
  }

  void helpForThisAberrationOpensItsPage() {
    QVERIFY(OpenSimulatedStarPair(Main(), *bed.Platform, *bed.Dir));
    Main().Reconstruire->trigger();
    Session().ShowZernikeResults();
    TForm3* results = Main().Form3;
    QTableView* list = results->CheckListBox1;
    TFormAide* help = Main().FormAide;
    list->setCurrentIndex(list->model()->index(4, 0));  // term 5
    results->HelpAction->trigger();
    QVERIFY(help->isVisible());
    QCOMPARE(QFileInfo(help->WebBrowser1->source().toLocalFile()).fileName(), QString("astigmatisme.html"));
    list->setCurrentIndex(list->model()->index(10, 0));  // term 11: the terms explained
    results->HelpAction->trigger();
    QCOMPARE(QFileInfo(help->WebBrowser1->source().toLocalFile()).fileName(),
             QString("reading-results.html"));
    QCOMPARE(help->WebBrowser1->source().fragment(), QString("terms"));
  }
};

static RegisterUiTest<ReportCommandTest> registerReportCommandTest;

}  // namespace caustica::test

#include "setup/reconstruction_method.h"
#include "test_report_command.moc"
