#include "app/platform.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>

namespace caustica {

namespace {

TPlatform* installed = nullptr;

QWidget* OwnerWindow() { return QApplication::activeWindow(); }

QString Product() { return QApplication::applicationName(); }

}  // namespace

TPlatform& Platform() {
  static TQtPlatform qt;
  return installed ? *installed : qt;
}

void SetPlatform(TPlatform* platform) { installed = platform; }

QString QtNameFilter(const QString& filter) {
  const QStringList parts = filter.split('|');
  QStringList filters;
  for (int i = 0; i + 1 < parts.size(); i += 2) {
    QString patterns = parts[i + 1].trimmed();
    patterns.replace(';', ' ');
    filters << parts[i].trimmed() + " (" + patterns + ")";
  }
  return filters.join(";;");
}

void TQtPlatform::Warning(const QString& text) { QMessageBox::warning(OwnerWindow(), Product(), text); }

bool TQtPlatform::Confirm(const QString& text) {
  return QMessageBox::question(OwnerWindow(), Product(), text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

QString TQtPlatform::OpenFileName(const TFileRequest& request) {
  return QFileDialog::getOpenFileName(OwnerWindow(), request.Title, request.InitialFolder,
                                      QtNameFilter(request.Filter));
}

QString TQtPlatform::SaveFileName(const TFileRequest& request) {
  QFileDialog dialog(OwnerWindow(), request.Title, request.InitialFolder, QtNameFilter(request.Filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.AskOverwrite);
  if (!request.ProposedName.isEmpty()) dialog.selectFile(request.ProposedName);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return dialog.selectedFiles().constFirst();
}

bool TQtPlatform::BrowseForFolder(QString& path, const QString& title) {
  const QString chosen = QFileDialog::getExistingDirectory(OwnerWindow(), title, path);
  if (chosen.isEmpty()) return false;
  path = chosen;
  return true;
}

int TQtPlatform::ChooseItem(const QString& title, const QString& label, const QStringList& items,
                            int current) {
  bool ok = false;
  const QString chosen = QInputDialog::getItem(OwnerWindow(), title, label, items, current, false, &ok);
  return ok ? static_cast<int>(items.indexOf(chosen)) : -1;
}

bool TQtPlatform::PrintDialog(QPrinter& printer) {
  QPrintDialog dialog(&printer, OwnerWindow());
  return dialog.exec() == QDialog::Accepted;
}

void TQtPlatform::PushWaitCursor() { QApplication::setOverrideCursor(QCursor(Qt::WaitCursor)); }

void TQtPlatform::PopWaitCursor() { QApplication::restoreOverrideCursor(); }

}  // namespace caustica
