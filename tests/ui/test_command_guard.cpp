// A failure a command did not expect, an allocation failure included, is
// shown as "Action impossible. <reason>" and the program goes on.
#include <QAction>
#include <QApplication>
#include <QMdiArea>
#include <QTest>
#include <QTimer>
#include <new>
#include <stdexcept>

#include "app/Main.h"
#include "app/command_guard.h"
#include "scripted_platform.h"
#include "star_pair.h"
#include "ui_test_registry.h"

namespace caustica::test {

class CommandGuardTest : public QObject {
  Q_OBJECT
 private:
  TDesktopTestBed bed;

 private slots:
  void init() { bed.Start(); }
  void cleanup() { bed.Stop(); }

  void failuresEscapingACommandAreShownAndTheProgramGoesOn() {
    QVERIFY(dynamic_cast<TGuardedApplication*>(QCoreApplication::instance()));
    TMainForm& main = *bed.Main;
    main.show();
    QVERIFY(QTest::qWaitForWindowExposed(&main));
    int calls = 0;
    QAction* failing = main.addAction("Failing");
    failing->setShortcut(QKeySequence("Ctrl+Shift+F12"));
    connect(failing, &QAction::triggered, &main, [&calls] {
      ++calls;
      if (calls == 1) throw std::bad_alloc();
      throw std::runtime_error("the disk went away");
    });
    // Through the keyboard, as the user reaches a command.
    QTest::keyClick(&main, Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(&main, Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier);
    QCOMPARE(calls, 2);
    QCOMPARE(bed.Platform->Warnings, QStringList({"Action impossible. Not enough memory for this action.",
                                                  "Action impossible. the disk went away"}));
    // A timer's command goes through the same guard.
    QTimer::singleShot(0, &main, [] { throw std::logic_error("late failure"); });
    QTest::qWait(20);
    QCOMPARE(bed.Platform->Warnings.size(), 3);
    // The program still runs its commands.
    QVERIFY(OpenSimulatedStarPair(main, *bed.Platform, *bed.Dir));
    main.Reconstruire->trigger();
    QVERIFY(main.ImageWindows().size() >= 3);
  }
};

static RegisterUiTest<CommandGuardTest> registerCommandGuardTest;

}  // namespace caustica::test

#include "test_command_guard.moc"
