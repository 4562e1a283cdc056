// The help window: created hidden, the contents page by "Documentation"
// (F1) and by "Sommaire", back and forward with their buttons' states, a
// page asked for by the preferences' "Help" button above that modal dialog,
// an empty page loading nothing, the home page of the preferences and its
// folder; and the shipped help set itself: every page there, every local
// link, anchor and picture of every page resolving inside the set.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QRegularExpression>
#include <QSet>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <optional>

#include "app/Main.h"
#include "app/program_state.h"
#include "app/session.h"
#include "scripted_platform.h"
#include "setup/help_folder.h"
#include "setup/prefs_form.h"
#include "setup/u_aide_form.h"
#include "setup/u_prefs.h"
#include "support/program_state_guard.h"
#include "support/test_files.h"
#include "ui_test_registry.h"

namespace caustica::test {
namespace {

// The shipped set, as the program finds it from the build tree.
QString ShippedFolder() { return QString::fromStdString(HelpFolder("", "")); }

QString Shown(const TFormAide* w) { return QFileInfo(w->WebBrowser1->source().toLocalFile()).fileName(); }

QString ReadText(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(f.readAll());
}

// Every href and src value of a page.
QStringList References(const QString& html) {
  static const QRegularExpression re("(?:href|src)\\s*=\\s*\"([^\"]*)\"",
                                     QRegularExpression::CaseInsensitiveOption);
  QStringList refs;
  for (auto it = re.globalMatch(html); it.hasNext();) refs << it.next().captured(1);
  return refs;
}

bool HasAnchor(const QString& html, const QString& name) {
  return html.contains(QString("id=\"%1\"").arg(name)) || html.contains(QString("name=\"%1\"").arg(name));
}

}  // namespace

class HelpWindowTest : public QObject {
  Q_OBJECT
  std::optional<test::ProgramStateGuard> state;
  std::unique_ptr<TScriptedPlatform> platform;
  std::unique_ptr<TMainForm> main;
  TFormAide* help = nullptr;

 private slots:
  void init() {
    state.emplace();
    platform = std::make_unique<TScriptedPlatform>();
    main = CreateApplicationWindows();
    Preferences.Valeurs = TkwValue{};  // no home page of one's own
    ResetProgramState();
    help = main->FormAide;
  }
  void cleanup() {
    main.reset();
    ResetProgramState();
    platform.reset();
    state.reset();
  }

  void createdHiddenWithCaptionAndButtons() {
    QVERIFY(help);
    QVERIFY(!help->isVisible());
    QCOMPARE(help->windowTitle(), QString("Caustica Help"));
    QCOMPARE(help->Button4->text(), QString("Sommaire"));
    QCOMPARE(help->Button2->text(), QString("<<"));
    QCOMPARE(help->Button3->text(), QString(">>"));
    QVERIFY(!help->Button2->isEnabled());
    QVERIFY(!help->Button3->isEnabled());
    QVERIFY(help->WebBrowser1->source().isEmpty());
  }

  void documentationOpensTheContents() {
    QVERIFY(main->Documentation1->isEnabled());
    QCOMPARE(main->Documentation1->shortcut(), QKeySequence(Qt::Key_F1));
    main->Documentation1->trigger();
    QVERIFY(help->isVisible());
    QCOMPARE(help->Adresse, ShippedFolder() + "index.html");
    QCOMPARE(Shown(help), QString("index.html"));
    QVERIFY(help->WebBrowser1->toPlainText().contains("Contents"));
    QVERIFY(!help->Button2->isEnabled());

    // The key itself, on the active main window.
    help->hide();
    main->show();
    QApplication::setActiveWindow(main.get());
    QVERIFY(QTest::qWaitForWindowActive(main.get()));
    QTest::keyClick(main.get(), Qt::Key_F1);
    QVERIFY(help->isVisible());
    QCOMPARE(Shown(help), QString("index.html"));
  }

  void backAndForwardFollowTheHistory() {
    main->Documentation1->trigger();
    help->AfficherPageAide("preferences.htm");
    QCOMPARE(Shown(help), QString("preferences.htm"));
    QVERIFY(help->Button2->isEnabled());
    QVERIFY(!help->Button3->isEnabled());
    help->AfficherPageAide("astigmatisme.html");
    QCOMPARE(Shown(help), QString("astigmatisme.html"));

    help->Button2->click();
    QCOMPARE(Shown(help), QString("preferences.htm"));
    QVERIFY(help->Button2->isEnabled());
    QVERIFY(help->Button3->isEnabled());
    help->Button2->click();
    QCOMPARE(Shown(help), QString("index.html"));
    QVERIFY(!help->Button2->isEnabled());
    QVERIFY(help->Button3->isEnabled());

    help->Button3->click();
    QCOMPARE(Shown(help), QString("preferences.htm"));
    help->Button3->click();
    QCOMPARE(Shown(help), QString("astigmatisme.html"));
    QVERIFY(help->Button2->isEnabled());
    QVERIFY(!help->Button3->isEnabled());

    // "Sommaire" goes back to the contents as a new step of the history.
    help->Button4->click();
    QCOMPARE(Shown(help), QString("index.html"));
    QVERIFY(help->Button2->isEnabled());
    QVERIFY(!help->Button3->isEnabled());
  }

  void anEmptyPageLoadsNothing() {
    help->AfficherPageAide("");
    QVERIFY(help->isVisible());
    QVERIFY(help->Adresse.isEmpty());
    QVERIFY(help->WebBrowser1->source().isEmpty());

    help->AfficherPageAide("preferences.htm");
    help->AfficherPageAide("");
    QVERIFY(help->Adresse.isEmpty());
    QCOMPARE(Shown(help), QString("preferences.htm"));  // the last page stays
    QVERIFY(!help->Button2->isEnabled());               // and nothing joined the history
  }

  void preferencesHelpButtonShowsItsPage() {
    main->Prefs->ButtonHelp->click();
    QVERIFY(help->isVisible());
    QCOMPARE(help->Adresse, ShippedFolder() + "preferences.htm");
    QCOMPARE(Shown(help), QString("preferences.htm"));
    QVERIFY(!help->isModal());

    // From the open dialog the window takes input above it, and it no
    // longer blocks the main window once asked from there.
    help->hide();
    bool modalAboveDialog = false;
    QTimer::singleShot(0, [this, &modalAboveDialog] {
      auto* dialog = qobject_cast<TPrefs*>(QApplication::activeModalWidget());
      QVERIFY(dialog);
      dialog->ButtonHelp->click();
      modalAboveDialog = help->isVisible() && QApplication::activeModalWidget() == help;
      help->close();
      dialog->ButtonCancel->click();
    });
    main->Prfrences1->trigger();
    QVERIFY(modalAboveDialog);
    main->Documentation1->trigger();
    QVERIFY(help->isVisible());
    QVERIFY(!help->isModal());
  }

  void theHomePageOfThePreferencesAndItsFolder() {
    ScratchDir dir;
    WriteBytes(dir.File("start.html"), "<html><body>Own contents</body></html>");
    WriteBytes(dir.File("preferences.htm"), "<html><body>Own preferences</body></html>");
    Preferences.Valeurs.FichierAide = dir.File("start.html");
    help->Button4Click();
    QCOMPARE(help->Adresse, QString::fromStdString(dir.File("start.html")));
    QVERIFY(help->WebBrowser1->toPlainText().contains("Own contents"));
    main->Prefs->ButtonHelp->click();
    QCOMPARE(help->Adresse, QString::fromStdString(dir.File("preferences.htm")));
    QVERIFY(help->WebBrowser1->toPlainText().contains("Own preferences"));

    // A home page that is gone: the shipped set instead.
    Preferences.Valeurs.FichierAide = dir.File("gone.html");
    Session().ShowHelp(QString());
    QCOMPARE(help->Adresse, ShippedFolder() + "index.html");
  }

  void everyPageAndLinkOfTheSetResolves() {
    const QString folder = ShippedFolder();
    QVERIFY(!folder.isEmpty());
    const QDir set(folder);
    for (const char* page : {"index.html", "preferences.htm", "astigmatisme.html"})
      QVERIFY2(set.exists(page), page);

    const QStringList pages = set.entryList({"*.html", "*.htm"}, QDir::Files);
    QVERIFY(pages.size() >= 10);
    QSet<QString> reached{"index.html"};
    int checked = 0;
    for (const QString& page : pages) {
      const QString html = ReadText(set.filePath(page));
      QVERIFY2(html.contains("href=\"caustica.css\""), qPrintable(page));
      QVERIFY2(html.contains("<title>"), qPrintable(page));
      for (const QString& ref : References(html)) {
        if (ref.startsWith("http:") || ref.startsWith("https:") || ref.startsWith("mailto:")) continue;
        const QString where = QString("%1: %2").arg(page, ref);
        QVERIFY2(!ref.isEmpty() && !ref.contains('\\') && !QDir::isAbsolutePath(ref), qPrintable(where));
        const qsizetype hash = ref.indexOf('#');
        const QString file = hash < 0 ? ref : ref.left(hash);
        const QString target = file.isEmpty() ? page : file;
        const QFileInfo info(set.filePath(target));
        QVERIFY2(info.isFile(), qPrintable(where));
        QVERIFY2(info.canonicalFilePath().startsWith(QFileInfo(folder).canonicalFilePath() + "/"),
                 qPrintable(where));  // never outside the set
        if (hash >= 0) QVERIFY2(HasAnchor(ReadText(info.filePath()), ref.mid(hash + 1)), qPrintable(where));
        reached.insert(target);
        ++checked;
      }
    }
    QVERIFY(checked > 50);
    for (const QString& page : pages)
      QVERIFY2(reached.contains(page), qPrintable(page + " is linked from nowhere"));
  }

  void theCheckerSeesABrokenLink() {
    const QStringList refs = References("<a href=\"gone.html#x\">a</a> <img src=\"images/none.png\">");
    QCOMPARE(refs, QStringList({"gone.html#x", "images/none.png"}));
    QVERIFY(!QFileInfo(QDir(ShippedFolder()).filePath("gone.html")).isFile());
    QVERIFY(HasAnchor("<h2 id=\"x\">", "x"));
    QVERIFY(!HasAnchor("<h2 id=\"xy\">", "x"));
  }
};

static RegisterUiTest<HelpWindowTest> registerHelpWindowTest;

}  // namespace caustica::test

#include "test_help_window.moc"
