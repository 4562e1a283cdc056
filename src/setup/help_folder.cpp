#include "setup/help_folder.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace caustica {

namespace fs = std::filesystem;

namespace {

constexpr const char* kShippedHome = "index.html";

bool IsFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

std::string WithSeparator(const fs::path& folder) {
  std::string text = folder.lexically_normal().string();
  if (text.empty()) return "./";  // a home page named without a folder
  if (text.back() != '/') text += '/';
  return text;
}

// The shipped set's folder, or empty.
std::string ShippedFolder(const std::string& exeDir) {
  std::vector<fs::path> candidates;
  if (!exeDir.empty()) {
    candidates.push_back(fs::path(exeDir) / "help");
    candidates.push_back(fs::path(exeDir) / ".." / "share" / "caustica" / "help");
  }
#ifdef CAUSTICA_SOURCE_HELP_DIR
  candidates.push_back(fs::path(CAUSTICA_SOURCE_HELP_DIR));
#endif
  for (const fs::path& folder : candidates)
    if (IsFile(folder / kShippedHome)) return WithSeparator(folder);
  return std::string();
}

}  // namespace

std::string HelpFolder(const std::string& homePage, const std::string& exeDir) {
  if (!homePage.empty() && IsFile(homePage)) return WithSeparator(fs::path(homePage).parent_path());
  return ShippedFolder(exeDir);
}

std::string HelpHomePage(const std::string& homePage, const std::string& exeDir) {
  if (!homePage.empty() && IsFile(homePage)) return homePage;
  const std::string folder = ShippedFolder(exeDir);
  return folder.empty() ? std::string() : folder + kShippedHome;
}

}  // namespace caustica
