#include "core/input_limits.h"

namespace caustica {

namespace {

std::string& Refusal() {
  static thread_local std::string reason;
  return reason;
}

}  // namespace

void NoteInputRefusal(const std::string& reason) { Refusal() = reason; }

const std::string& LastInputRefusal() { return Refusal(); }

}  // namespace caustica
