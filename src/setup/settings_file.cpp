#include "setup/settings_file.h"

#include <filesystem>
#include <fstream>

namespace caustica {

namespace {

// A settings file is a handful of bytes; anything much larger is not ours.
constexpr std::uintmax_t kMaxFileBytes = 4096;

}  // namespace

std::string TrimmedSetting(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

bool ReadSettingValues(const std::string& fileName, const std::string& key,
                       std::vector<std::string>& values) {
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(fileName, ec);
  if (ec || size > kMaxFileBytes) return false;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  std::string line;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq != std::string::npos && TrimmedSetting(line.substr(0, eq)) == key)
      values.push_back(TrimmedSetting(line.substr(eq + 1)));
  }
  return true;
}

std::string SettingsFileBesidePreferences(const std::string& preferencesFile, const std::string& name) {
  return (std::filesystem::path(preferencesFile).parent_path() / name).string();
}

}  // namespace caustica
