#include "cli/run_folder.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/batch_args.h"

namespace caustica::cli {

namespace fs = std::filesystem;

namespace {

// Hidden siblings of a run: ".<folder>.caustica-new-<pid>" while it writes,
// ".<folder>.caustica-old-<pid>" for the earlier set while it is swapped out.
std::string HiddenPrefix(const fs::path& target) {
  std::string prefix(1, '.');
  prefix.append(target.filename().string()).append(".caustica-");
  return prefix;
}

std::string Sibling(const fs::path& target, const char* role, long pid) {
  std::string name = HiddenPrefix(target);
  name.append(role).append("-").append(std::to_string(pid));
  return (target.parent_path() / name).string();
}

// The pid in a sibling's name, or 0 when the name is not one of ours.
long SiblingPid(const std::string& name, const std::string& prefix) {
  if (name.rfind(prefix, 0) != 0) return 0;
  const std::string rest = name.substr(prefix.size());
  if (rest.empty() || rest.find_first_not_of("0123456789") != std::string::npos || rest.size() > 9) return 0;
  return std::stol(rest);
}

bool Alive(long pid) { return pid > 0 && (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM); }

// What runs stopped midway left: a set swapped out but not put back is the
// complete earlier one and returns when the folder is missing; everything
// else of a dead run goes.
void ClearStale(const fs::path& target) {
  std::error_code ec;
  const std::string base = HiddenPrefix(target);
  for (const auto& entry : fs::directory_iterator(target.parent_path(), ec)) {
    const std::string name = entry.path().filename().string();
    const long oldPid = SiblingPid(name, base + "old-");
    const long newPid = SiblingPid(name, base + "new-");
    const long pid = oldPid ? oldPid : newPid;
    if (!pid || Alive(pid)) continue;
    std::error_code ignored;
    if (oldPid && !fs::exists(target, ignored))
      fs::rename(entry.path(), target, ignored);
    else
      fs::remove_all(entry.path(), ignored);
  }
}

[[noreturn]] void Failed(const std::string& what) { throw BatchError(what + ": " + std::strerror(errno)); }

}  // namespace

bool IsRunFileName(const std::string& name) {
  for (const char* prefix : {"wavefront", "zernike", "residual", "corrected_intra", "corrected_extra",
                             "interferogram", "foucaultgram", "psf_actual", "psf_theoretical", "spots",
                             "forward_intra", "forward_extra", "summary."})
    if (name.rfind(prefix, 0) == 0) return true;
  return false;
}

TRunFolder::TRunFolder(const std::string& folder) {
  fs::path target = fs::absolute(fs::path(folder)).lexically_normal();
  if (target.filename().empty()) target = target.parent_path();  // a trailing "/"
  target_ = target.string();
  std::error_code ec;
  fs::create_directories(target.parent_path(), ec);
  if (!fs::is_directory(target.parent_path(), ec))
    throw BatchError("cannot create the output folder " + folder);
  ClearStale(target);
  if (fs::exists(target, ec)) {
    if (!fs::is_directory(target, ec)) throw BatchError("the output path " + folder + " is not a folder");
    // Swapping the folder out would take the user's own files with it.
    for (const auto& entry : fs::directory_iterator(target, ec))
      if (!entry.is_regular_file() || !IsRunFileName(entry.path().filename().string()))
        throw BatchError("the output folder " + folder + " holds " + entry.path().filename().string() +
                         ", which is not a result of a run: give an empty folder or an earlier run's");
  }
  staging_ = Sibling(target, "new", ::getpid());
  fs::remove_all(staging_, ec);
  if (!fs::create_directory(staging_, ec)) throw BatchError("cannot create a folder beside " + folder);
}

TRunFolder::~TRunFolder() {
  if (committed_) return;
  std::error_code ec;
  fs::remove_all(staging_, ec);
}

void TRunFolder::Commit() {
  const fs::path target(target_);
  // The folder's files reach the disk before the folder takes the name.
  if (const int fd = ::open(staging_.c_str(), O_RDONLY | O_DIRECTORY); fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  std::error_code ec;
  if (!fs::exists(target, ec)) {
    if (::rename(staging_.c_str(), target_.c_str()) != 0) Failed("cannot put the results in " + target_);
  } else if (::renameat2(AT_FDCWD, staging_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) == 0) {
    // One step: the folder held the earlier set until now, the new set from now.
    fs::remove_all(staging_, ec);  // the earlier set, under the staging name
  } else {
    // A file system without an exchange: the earlier set is moved aside, and
    // put back by the next run should this one stop in between.
    const std::string old = Sibling(target, "old", ::getpid());
    if (::rename(target_.c_str(), old.c_str()) != 0) Failed("cannot replace " + target_);
    if (::rename(staging_.c_str(), target_.c_str()) != 0) {
      const int saved = errno;
      ::rename(old.c_str(), target_.c_str());
      errno = saved;
      Failed("cannot put the results in " + target_);
    }
    fs::remove_all(old, ec);
  }
  committed_ = true;
  if (const int fd = ::open(target.parent_path().c_str(), O_RDONLY | O_DIRECTORY); fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

}  // namespace caustica::cli
