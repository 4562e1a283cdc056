// Window test classes register themselves here; one main runs them all, or
// the one named on its command line.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace caustica::test {

struct UiTestClass {
  std::string Name;  // the class name without its namespace
  std::function<std::unique_ptr<QObject>()> Make;
};

inline std::vector<UiTestClass>& UiTestClasses() {
  static std::vector<UiTestClass> classes;
  return classes;
}

// Registered as `static RegisterUiTest<Class> ...;` on one line: the build
// reads that line to give each class its own test entry.
template <typename T>
struct RegisterUiTest {
  RegisterUiTest() {
    std::string name = T::staticMetaObject.className();
    if (const auto colons = name.rfind("::"); colons != std::string::npos) name.erase(0, colons + 2);
    UiTestClasses().push_back({name, [] { return std::make_unique<T>(); }});
  }
};

}  // namespace caustica::test
