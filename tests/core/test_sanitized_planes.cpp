// In the sanitized build, large planes come from the ordinary allocator:
// the bytes just past a plane are a red zone the address sanitizer checks,
// so an overrun of a camera-sized image is reported, not silently allowed.
#include <gtest/gtest.h>

#include "core/u_class.h"

#if defined(__SANITIZE_ADDRESS__)
#define CAUSTICA_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CAUSTICA_ASAN 1
#endif
#endif

#ifdef CAUSTICA_ASAN
#include <sanitizer/asan_interface.h>
#endif

namespace caustica {
namespace {

TEST(SanitizedPlanes, TheByteAfterALargePlaneIsWatched) {
#ifndef CAUSTICA_ASAN
  GTEST_SKIP() << "only meaningful in the sanitized build";
#else
  for (const bool zeroed : {true, false}) {
    DoublePlanes planes;
    if (zeroed)
      planes.Allocate(1024, 1024, 1);  // 8 MB, beyond the size once mapped directly
    else
      planes.AllocateForOverwrite(1024, 1024, 1);
    const double* end = planes.PlaneData(1) + planes.PlaneSize();
    EXPECT_TRUE(__asan_address_is_poisoned(end)) << zeroed;
    EXPECT_FALSE(__asan_address_is_poisoned(end - 1)) << zeroed;
  }
#endif
}

}  // namespace
}  // namespace caustica
