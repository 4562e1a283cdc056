// What the windowing system gives the program: message boxes, file and
// folder choosers, the print dialog and the hourglass cursor. Every window
// reaches them through Platform(), so tests can answer for the user.
#pragma once

#include <QPointer>
#include <QProgressDialog>
#include <QString>
#include <QStringList>

class QPrinter;

namespace caustica {

struct TFileRequest {
  QString Title;
  QString Filter;  // "Description|*.a;*.b" as the system writes it
  QString InitialFolder;
  QString ProposedName;
  bool AskOverwrite = false;  // save dialogs only
};

class TPlatform {
 public:
  virtual ~TPlatform() = default;

  // Warning with an OK button.
  virtual void Warning(const QString& text) = 0;
  // Confirmation with Yes and No; true for Yes.
  virtual bool Confirm(const QString& text) = 0;
  // The chosen file, or an empty text when the user cancels.
  virtual QString OpenFileName(const TFileRequest& request) = 0;
  // Several files at once; empty when the user cancels.
  virtual QStringList OpenFileNames(const TFileRequest& request) = 0;
  virtual QString SaveFileName(const TFileRequest& request) = 0;
  // False when no folder was chosen; path is then unchanged.
  virtual bool BrowseForFolder(QString& path, const QString& title) = 0;
  // One of items picked from a list under label, current preselected; -1
  // when the user cancels.
  virtual int ChooseItem(const QString& title, const QString& label, const QStringList& items,
                         int current) = 0;
  // Lets the user set up the printer; false when cancelled.
  virtual bool PrintDialog(QPrinter& printer) = 0;
  virtual void PushWaitCursor() = 0;
  virtual void PopWaitCursor() = 0;
  // Long work over many items: the window shows caption and done of total
  // with a Cancel button, and stays until EndProgress. False once the user
  // has cancelled.
  virtual bool ShowProgress(const QString& caption, int done, int total) = 0;
  virtual void EndProgress() = 0;
};

// The platform in use: the Qt one unless a test installed another.
TPlatform& Platform();
// Installs platform (not owned); nullptr returns to the Qt one.
void SetPlatform(TPlatform* platform);

// Converts "Description|*.a;*.b" into a Qt name filter "Description (*.a *.b)".
QString QtNameFilter(const QString& filter);

// The hourglass for the life of a scope, restored also when the scope is
// left by an exception.
class THourglass {
 public:
  THourglass() { Platform().PushWaitCursor(); }
  ~THourglass() { Platform().PopWaitCursor(); }
  THourglass(const THourglass&) = delete;
  THourglass& operator=(const THourglass&) = delete;
};

class TQtPlatform : public TPlatform {
 public:
  void Warning(const QString& text) override;
  bool Confirm(const QString& text) override;
  QString OpenFileName(const TFileRequest& request) override;
  QStringList OpenFileNames(const TFileRequest& request) override;
  QString SaveFileName(const TFileRequest& request) override;
  bool BrowseForFolder(QString& path, const QString& title) override;
  int ChooseItem(const QString& title, const QString& label, const QStringList& items, int current) override;
  bool PrintDialog(QPrinter& printer) override;
  void PushWaitCursor() override;
  void PopWaitCursor() override;
  bool ShowProgress(const QString& caption, int done, int total) override;
  void EndProgress() override;

 private:
  QPointer<QProgressDialog> progress_;
};

}  // namespace caustica
