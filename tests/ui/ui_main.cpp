// Runs the registered window test classes on one application object:
//   ui_tests                      every class
//   ui_tests <Class> [options]    that class only, with QtTest's options
//   ui_tests --list               the class names, one a line
#include <QApplication>
#include <QTest>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "app/command_guard.h"
#include "ui_test_registry.h"

using caustica::test::UiTestClasses;

int main(int argc, char** argv) {
  // The program's own application object, so its command guard is tested too.
  caustica::TGuardedApplication app(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "--list") == 0) {
    for (const auto& c : UiTestClasses()) std::printf("%s\n", c.Name.c_str());
    return 0;
  }
  // A first argument naming a class runs that class only; everything else
  // goes to QtTest as before (test functions, output options).
  const char* only = nullptr;
  if (argc > 1)
    for (const auto& c : UiTestClasses())
      if (c.Name == argv[1]) only = argv[1];
  std::vector<char*> args(argv, argv + argc);
  if (only) args.erase(args.begin() + 1);
  int failures = 0;
  for (const auto& c : UiTestClasses()) {
    if (only && c.Name != only) continue;
    const std::unique_ptr<QObject> tests = c.Make();
    failures += QTest::qExec(tests.get(), static_cast<int>(args.size()), args.data());
  }
  return failures == 0 ? 0 : 1;
}
