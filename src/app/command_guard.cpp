#include "app/command_guard.h"

#include <new>

#include "app/platform.h"

namespace caustica {

QString UnexpectedFailureReason(std::exception_ptr failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::bad_alloc&) {
    return "Not enough memory for this action.";
  } catch (const std::exception& e) {
    return QString::fromLocal8Bit(e.what());
  } catch (...) {
  }
  return "An unexpected failure occurred.";
}

bool RunGuarded(const std::function<bool()>& deliver) {
  try {
    return deliver();
  } catch (...) {
    const QString reason = UnexpectedFailureReason(std::current_exception());
    while (QApplication::overrideCursor()) QApplication::restoreOverrideCursor();
    Platform().Warning(QString("Action impossible. %1").arg(reason));
    return false;
  }
}

bool TGuardedApplication::notify(QObject* receiver, QEvent* event) {
  return RunGuarded([&] { return QApplication::notify(receiver, event); });
}

}  // namespace caustica
