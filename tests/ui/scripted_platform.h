// A platform layer that answers for the user: queued answers to questions,
// queued file names, a PDF printer, and a record of every text shown.
#pragma once

#include <QPrinter>
#include <QString>
#include <QStringList>
#include <deque>

#include "app/platform.h"

namespace caustica::test {

class TScriptedPlatform : public TPlatform {
 public:
  TScriptedPlatform() { SetPlatform(this); }
  ~TScriptedPlatform() override { SetPlatform(nullptr); }

  // Answers, used in order; with none left a question is answered No and a
  // file dialog is cancelled.
  std::deque<bool> Answers;
  std::deque<QString> Files;
  std::deque<QStringList> FileLists;  // for dialogs that choose several files
  int CancelAfter = -1;               // the progress window is cancelled after this many reports
  std::deque<int> Choices;            // list choices, used in order; none left cancels
  QString PdfFile;                    // empty: the print dialog is cancelled

  QStringList Warnings;
  QStringList ProgressCaptions;  // each stage once, in order
  int ProgressCalls = 0;
  int ProgressEnds = 0;
  QString LastProgress;
  QStringList Questions;
  QList<TFileRequest> FileRequests;
  QStringList ChoiceLabels;
  int CursorDepth = 0;
  int CursorPushes = 0;

  int WarningsUnderHourglass = 0;

  void Warning(const QString& text) override {
    Warnings << text;
    if (CursorDepth > 0) ++WarningsUnderHourglass;
  }
  bool Confirm(const QString& text) override {
    Questions << text;
    if (Answers.empty()) return false;
    const bool answer = Answers.front();
    Answers.pop_front();
    return answer;
  }
  QString OpenFileName(const TFileRequest& request) override { return Next(request); }
  QStringList OpenFileNames(const TFileRequest& request) override {
    FileRequests << request;
    if (FileLists.empty()) return {};
    const QStringList f = FileLists.front();
    FileLists.pop_front();
    return f;
  }
  bool ShowProgress(const QString& caption, int done, int total) override {
    if (ProgressCaptions.isEmpty() || ProgressCaptions.back() != caption) ProgressCaptions << caption;
    ++ProgressCalls;
    LastProgress = QString("%1 of %2").arg(done).arg(total);
    return CancelAfter < 0 || ProgressCalls <= CancelAfter;
  }
  void EndProgress() override { ++ProgressEnds; }
  QString SaveFileName(const TFileRequest& request) override { return Next(request); }
  bool BrowseForFolder(QString& path, const QString& title) override {
    const QString chosen = Next({title, {}, path, {}, false});
    if (chosen.isEmpty()) return false;
    path = chosen;
    return true;
  }
  int ChooseItem(const QString&, const QString& label, const QStringList& items, int current) override {
    ChoiceLabels << QString("%1 %2 [%3]").arg(label, items.join('/')).arg(current);
    if (Choices.empty()) return -1;
    const int choice = Choices.front();
    Choices.pop_front();
    return choice;
  }
  bool PrintDialog(QPrinter& printer) override {
    if (PdfFile.isEmpty()) return false;
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(PdfFile);
    return true;
  }
  void PushWaitCursor() override {
    ++CursorDepth;
    ++CursorPushes;
  }
  void PopWaitCursor() override { --CursorDepth; }

 private:
  QString Next(const TFileRequest& request) {
    FileRequests << request;
    if (Files.empty()) return {};
    const QString f = Files.front();
    Files.pop_front();
    return f;
  }
};

}  // namespace caustica::test
