#include "core/vector_state.h"

namespace caustica {

void ClearUpperVectorState() {
#if defined(__x86_64__) && defined(__GNUC__)
  static const bool avx = __builtin_cpu_supports("avx");
  // The registers' upper halves are scratch for every caller, so clearing
  // them on entry loses nothing.
  if (avx) asm volatile("vzeroupper" ::: "memory");
#endif
}

}  // namespace caustica
