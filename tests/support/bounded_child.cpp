#include "support/bounded_child.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace caustica::test {

bool UnderAddressSanitizer() {
#if defined(__SANITIZE_ADDRESS__)
  return true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
  return true;
#else
  return false;
#endif
#else
  return false;
#endif
}

bool RunWithMemoryLimit(long megabytes, const std::function<bool()>& body) {
  const pid_t child = ::fork();
  if (child < 0) return false;
  if (child == 0) {
    if (!UnderAddressSanitizer()) {
      const rlim_t bytes = static_cast<rlim_t>(megabytes) << 20;
      rlimit limit{bytes, bytes};
      ::setrlimit(RLIMIT_DATA, &limit);
    }
    bool ok = false;
    try {
      ok = body();
    } catch (...) {
      ok = false;
    }
    ::_exit(ok ? 0 : 1);
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace caustica::test
