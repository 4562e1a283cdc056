// The one guard every desktop command runs in: menu entries, buttons and
// shortcuts all reach their handlers through the application's event
// delivery, so a failure a handler did not expect (an allocation failure
// included) is caught there, shown as "Action impossible. <reason>" and the
// program goes on.
#pragma once

#include <QApplication>
#include <QString>
#include <exception>
#include <functional>

namespace caustica {

// The reason shown for a failure that escaped a command.
QString UnexpectedFailureReason(std::exception_ptr failure);

// Runs deliver; a failure escaping it is shown and gives false. The
// hourglass a command left behind is taken off.
bool RunGuarded(const std::function<bool()>& deliver);

class TGuardedApplication : public QApplication {
 public:
  TGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}
  bool notify(QObject* receiver, QEvent* event) override;
};

}  // namespace caustica
