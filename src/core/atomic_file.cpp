#include "core/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace caustica {

namespace {

void SetError(std::string* error, const std::string& what) {
  if (error) *error = what + ": " + std::strerror(errno);
}

}  // namespace

bool WriteFileAtomically(const std::string& fileName, std::string_view content, std::string* error) {
  if (fileName.empty()) {
    if (error) *error = "empty file name";
    return false;
  }
  const std::filesystem::path target(fileName);
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  std::string hidden(1, '.');
  hidden.append(target.filename().string()).append(".tmp-XXXXXX");
  std::string pattern = (folder / hidden).string();
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) {
    SetError(error, "cannot create a temporary file in " + folder.string());
    return false;
  }
  const char* p = content.data();
  std::size_t left = content.size();
  bool ok = true;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0) {
      if (errno == EINTR) continue;
      SetError(error, "cannot write " + pattern);
      ok = false;
      break;
    }
    p += n;
    left -= static_cast<std::size_t>(n);
  }
  if (ok && ::fsync(fd) != 0) {
    SetError(error, "cannot flush " + pattern);
    ok = false;
  }
  // New files get the usual permissions rather than mkstemp's 0600.
  if (ok) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
  }
  if (::close(fd) != 0 && ok) {
    SetError(error, "cannot close " + pattern);
    ok = false;
  }
  if (ok && std::rename(pattern.c_str(), fileName.c_str()) != 0) {
    SetError(error, "cannot replace " + fileName);
    ok = false;
  }
  if (!ok) ::unlink(pattern.c_str());
  return ok;
}

}  // namespace caustica
