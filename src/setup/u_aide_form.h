// The help window: the documentation pages in an HTML view, with back,
// forward and contents buttons. It hears the session's help requests only:
// the "Documentation" command, the preferences' "Help" button and any
// window that wants a page shown.
#pragma once

#include <QString>
#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace caustica {

class TFormAide : public QWidget {
  Q_OBJECT
 public:
  explicit TFormAide(QWidget* parent = nullptr);

  // The page of the help folder shown; an empty page loads nothing.
  void AfficherPageAide(const QString& page);

  void Button2Click();  // "<<"
  void Button3Click();  // ">>"
  void Button4Click();  // "Sommaire"

  QString Adresse;  // the address last asked for
  QTextBrowser* WebBrowser1 = nullptr;
  QPushButton *Button2 = nullptr, *Button3 = nullptr, *Button4 = nullptr;

 private:
  void Naviguer();
  void ShowOnTop();
};

}  // namespace caustica
