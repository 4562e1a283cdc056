// Window test classes register themselves here; one main runs them all.
#pragma once

#include <QObject>
#include <functional>
#include <memory>
#include <vector>

namespace caustica::test {

using TestFactory = std::function<std::unique_ptr<QObject>()>;

inline std::vector<TestFactory>& UiTestClasses() {
  static std::vector<TestFactory> classes;
  return classes;
}

template <typename T>
struct RegisterUiTest {
  RegisterUiTest() {
    UiTestClasses().push_back([] { return std::make_unique<T>(); });
  }
};

}  // namespace caustica::test
