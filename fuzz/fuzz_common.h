// Shared by the fuzz targets: the readers take file names, so each input is
// written to one scratch file per process first.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace caustica::fuzz {

inline const std::string& ScratchFile(const char* extension) {
  static const std::string path = [extension] {
    const char* dir = std::getenv("TMPDIR");
    return std::string(dir && *dir ? dir : "/tmp") + "/caustica-fuzz-" + std::to_string(::getpid()) +
           extension;
  }();
  return path;
}

inline const std::string& WriteScratch(const std::uint8_t* data, std::size_t size, const char* extension) {
  const std::string& path = ScratchFile(extension);
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return path;
}

// A broken invariant is a finding: libFuzzer reports the abort with the input.
inline void Require(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "invariant broken: %s\n", what);
    std::abort();
  }
}

}  // namespace caustica::fuzz
