#include "setup/help_folder.h"

#include <filesystem>
#include <system_error>
#include <vector>

namespace caustica {

namespace fs = std::filesystem;

namespace {

constexpr const char* kShippedHome = "index.html";
constexpr const char* kSampleProbe = "newtonian200_intra.fits";

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

// The first of <exe>/<name>, <exe>/../share/caustica/<name> and the source
// tree's folder that holds probe, or empty.
std::string ShippedData(const std::string& exeDir, const char* name, const char* probe,
                        const char* sourceFolder) {
  std::vector<fs::path> candidates;
  if (!exeDir.empty()) {
    candidates.push_back(fs::path(exeDir) / name);
    candidates.push_back(fs::path(exeDir) / ".." / "share" / "caustica" / name);
  }
  if (sourceFolder[0] != '\0') candidates.push_back(fs::path(sourceFolder));
  for (const fs::path& folder : candidates)
    if (IsFile(folder / probe)) return WithSeparator(folder);
  return std::string();
}

#ifndef CAUSTICA_SOURCE_HELP_DIR
#define CAUSTICA_SOURCE_HELP_DIR ""
#endif
#ifndef CAUSTICA_SOURCE_SAMPLES_DIR
#define CAUSTICA_SOURCE_SAMPLES_DIR ""
#endif

std::string ShippedFolder(const std::string& exeDir) {
  return ShippedData(exeDir, "help", kShippedHome, CAUSTICA_SOURCE_HELP_DIR);
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

std::string SampleFolder(const std::string& exeDir) {
  return ShippedData(exeDir, "samples", kSampleProbe, CAUSTICA_SOURCE_SAMPLES_DIR);
}

}  // namespace caustica
