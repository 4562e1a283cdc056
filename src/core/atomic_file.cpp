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

// Writes all of content, at offset when it is not negative, else at the end;
// an interrupted call goes on where it stopped.
bool WriteAll(int fd, std::string_view content, off_t offset) {
  const char* p = content.data();
  std::size_t left = content.size();
  while (left > 0) {
    const ssize_t n = offset < 0 ? ::write(fd, p, left) : ::pwrite(fd, p, left, offset);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    p += n;
    if (offset >= 0) offset += n;
    left -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

bool WriteFileAtomically(const std::string& fileName, std::string_view content, std::string* error) {
  AtomicFileWriter writer;
  return writer.Open(fileName, error) && writer.Append(content, error) && writer.Commit(error);
}

AtomicFileWriter::~AtomicFileWriter() { Abandon(); }

void AtomicFileWriter::Abandon() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(temporary_.c_str());
  fd_ = -1;
}

bool AtomicFileWriter::Open(const std::string& fileName, std::string* error) {
  Abandon();
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
  fd_ = fd;
  size_ = 0;
  target_ = fileName;
  temporary_ = pattern;
  return true;
}

bool AtomicFileWriter::Append(std::string_view content, std::string* error) {
  if (fd_ < 0) {
    if (error) *error = "no file open";
    return false;
  }
  if (!WriteAll(fd_, content, -1)) {
    SetError(error, "cannot write " + temporary_);
    Abandon();
    return false;
  }
  size_ += content.size();
  return true;
}

bool AtomicFileWriter::WriteAt(std::size_t offset, std::string_view content, std::string* error) {
  if (fd_ < 0 || offset + content.size() > size_) {
    if (error) *error = "nothing written there";
    return false;
  }
  if (!WriteAll(fd_, content, static_cast<off_t>(offset))) {
    SetError(error, "cannot write " + temporary_);
    Abandon();
    return false;
  }
  return true;
}

bool AtomicFileWriter::Commit(std::string* error) {
  if (fd_ < 0) {
    if (error) *error = "no file open";
    return false;
  }
  bool ok = true;
  if (::fsync(fd_) != 0) {
    SetError(error, "cannot flush " + temporary_);
    ok = false;
  }
  // New files get the usual permissions rather than mkstemp's 0600.
  if (ok) {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd_, 0666 & ~mask);
  }
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && ok) {
    SetError(error, "cannot close " + temporary_);
    ok = false;
  }
  if (ok && std::rename(temporary_.c_str(), target_.c_str()) != 0) {
    SetError(error, "cannot replace " + target_);
    ok = false;
  }
  if (!ok) ::unlink(temporary_.c_str());
  return ok;
}

}  // namespace caustica
