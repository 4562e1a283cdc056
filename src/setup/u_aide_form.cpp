#include "setup/u_aide_form.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

#include "app/session.h"
#include "setup/help_folder.h"
#include "setup/u_prefs.h"

namespace caustica {

namespace {

std::string ExeDir() { return QCoreApplication::applicationDirPath().toStdString(); }

}  // namespace

TFormAide::TFormAide(QWidget* parent) : QWidget(parent, Qt::Tool) {
  setWindowTitle("Caustica Help");
  Button4 = new QPushButton("Sommaire", this);
  Button2 = new QPushButton("<<", this);
  Button3 = new QPushButton(">>", this);
  Button2->setEnabled(false);
  Button3->setEnabled(false);
  WebBrowser1 = new QTextBrowser(this);
  WebBrowser1->setOpenExternalLinks(true);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(Button4);
  buttons->addWidget(Button2);
  buttons->addWidget(Button3);
  buttons->addStretch();
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(buttons);
  layout->addWidget(WebBrowser1);
  resize(720, 600);

  connect(Button2, &QPushButton::clicked, this, &TFormAide::Button2Click);
  connect(Button3, &QPushButton::clicked, this, &TFormAide::Button3Click);
  connect(Button4, &QPushButton::clicked, this, &TFormAide::Button4Click);
  connect(WebBrowser1, &QTextBrowser::backwardAvailable, Button2, &QPushButton::setEnabled);
  connect(WebBrowser1, &QTextBrowser::forwardAvailable, Button3, &QPushButton::setEnabled);
  connect(&Session(), &TSession::HelpRequested, this, [this](const QString& page) {
    if (page.isEmpty()) {
      ShowOnTop();
      Button4Click();
    } else {
      AfficherPageAide(page);
    }
  });
}

void TFormAide::Button2Click() { WebBrowser1->backward(); }
void TFormAide::Button3Click() { WebBrowser1->forward(); }

void TFormAide::Button4Click() {
  Adresse = QString::fromStdString(HelpHomePage(Preferences.Valeurs.FichierAide, ExeDir()));
  Naviguer();
}

void TFormAide::AfficherPageAide(const QString& page) {
  if (page.isEmpty()) {
    Adresse.clear();
  } else {
    const std::string folder = HelpFolder(Preferences.Valeurs.FichierAide, ExeDir());
    Adresse = folder.empty() ? QString() : QString::fromStdString(folder) + page;
  }
  Naviguer();
  ShowOnTop();
}

// An empty address leaves the view as it is.
void TFormAide::Naviguer() {
  if (Adresse.isEmpty()) return;
  // "page.html#part": the file, then the part within it.
  const qsizetype hash = Adresse.indexOf('#');
  QUrl url = QUrl::fromLocalFile(QFileInfo(hash < 0 ? Adresse : Adresse.left(hash)).absoluteFilePath());
  if (hash >= 0) url.setFragment(Adresse.mid(hash + 1));
  WebBrowser1->setSource(url);
}

// Asked from a modal dialog (the preferences), the window must take input
// above it; asked from the main window it must not block it.
void TFormAide::ShowOnTop() {
  const QWidget* modal = QApplication::activeModalWidget();
  const Qt::WindowModality wanted = modal && modal != this ? Qt::ApplicationModal : Qt::NonModal;
  if (windowModality() != wanted) {
    hide();
    setWindowModality(wanted);
  }
  show();
  raise();
  activateWindow();
}

}  // namespace caustica
