// Runs every registered window test class on one application object.
#include <QApplication>
#include <QTest>

#include "ui_test_registry.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failures = 0;
  for (const auto& make : caustica::test::UiTestClasses()) {
    const std::unique_ptr<QObject> tests = make();
    failures += QTest::qExec(tests.get(), argc, argv);
  }
  return failures == 0 ? 0 : 1;
}
