// Running a piece of a test in a child process whose memory is limited, so
// that an input which would take gigabytes fails the test instead of the
// machine.
#pragma once

#include <functional>

namespace caustica::test {

// Runs body in a forked child whose data segment is limited to megabytes
// (no limit under the address sanitizer, whose shadow memory would count).
// True when the child ended normally and body returned true.
bool RunWithMemoryLimit(long megabytes, const std::function<bool()>& body);

// True in a build with the address sanitizer.
bool UnderAddressSanitizer();

}  // namespace caustica::test
