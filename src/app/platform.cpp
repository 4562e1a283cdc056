#include "app/platform.h"

#include <QApplication>
#include <QCursor>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPrintDialog>
#include <QPrinter>
#include <algorithm>

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

QStringList TQtPlatform::OpenFileNames(const TFileRequest& request) {
  return QFileDialog::getOpenFileNames(OwnerWindow(), request.Title, request.InitialFolder,
                                       QtNameFilter(request.Filter));
}

bool TQtPlatform::ShowProgress(const QString& caption, int done, int total) {
  if (!progress_) {
    progress_ = new QProgressDialog(OwnerWindow());
    progress_->setWindowTitle(QApplication::applicationName());
    progress_->setWindowModality(Qt::WindowModal);
    progress_->setMinimumDuration(0);
    progress_->setAutoReset(false);
    progress_->setAutoClose(false);
    progress_->setMinimumWidth(420);
  }
  progress_->setLabelText(QString("%1: %2 of %3").arg(caption).arg(done).arg(total));
  progress_->setMaximum(std::max(total, 1));
  progress_->setValue(std::clamp(done, 0, std::max(total, 1)));  // also lets the Cancel button be clicked
  QCoreApplication::processEvents();
  return !progress_->wasCanceled();
}

void TQtPlatform::EndProgress() {
  if (progress_) progress_->deleteLater();
  progress_ = nullptr;
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
