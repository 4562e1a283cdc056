#include "setup/reconstruction_method.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/atomic_file.h"
#include "setup/settings_file.h"
#include "setup/u_prefs.h"

namespace caustica {

TReconstructionMethod ReconstructionMethod = kDefaultReconstructionMethod;

namespace {

constexpr const char* kKey = "Reconstruction method";

}  // namespace

const char* ReconstructionMethodName(TReconstructionMethod method) {
  return method == TReconstructionMethod::Accurate ? "Accurate" : "Classic";
}

bool ParseReconstructionMethod(const std::string& text, TReconstructionMethod& method) {
  std::string lower = TrimmedSetting(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (lower == "classic") {
    method = TReconstructionMethod::Classic;
    return true;
  }
  if (lower == "accurate") {
    method = TReconstructionMethod::Accurate;
    return true;
  }
  return false;
}

std::string ReconstructionSettingsText(TReconstructionMethod method) {
  return std::string(kKey) + "=" + ReconstructionMethodName(method) + "\r\n";
}

bool ReadReconstructionSettings(const std::string& fileName, TReconstructionMethod& method) {
  std::vector<std::string> values;
  if (!ReadSettingValues(fileName, kKey, values) || values.empty()) return false;
  TReconstructionMethod read = method;
  for (const std::string& v : values)
    if (!ParseReconstructionMethod(v, read)) return false;
  method = read;
  return true;
}

bool WriteReconstructionSettings(const std::string& fileName, TReconstructionMethod method,
                                 std::string* error) {
  return WriteFileAtomically(fileName, ReconstructionSettingsText(method), error);
}

std::string ReconstructionSettingsFilePath(const std::string& preferencesFile) {
  return SettingsFileBesidePreferences(preferencesFile, "Reconstruction.txt");
}

std::string ReconstructionSettingsFilePath() { return ReconstructionSettingsFilePath(PreferencesFilePath()); }

bool ReadReconstructionSettings() {
  return ReadReconstructionSettings(ReconstructionSettingsFilePath(), ReconstructionMethod);
}

bool ReadOrCreateReconstructionSettings(const std::string& fileName, TReconstructionMethod& method,
                                        std::string* error) {
  std::error_code ec;
  if (std::filesystem::exists(fileName, ec) || ec) {
    if (!ReadReconstructionSettings(fileName, method)) method = kDefaultReconstructionMethod;
    return true;
  }
  method = kDefaultReconstructionMethod;
  return WriteReconstructionSettings(fileName, method, error);
}

bool ReadOrCreateReconstructionSettings(std::string* error) {
  return ReadOrCreateReconstructionSettings(ReconstructionSettingsFilePath(), ReconstructionMethod, error);
}

bool WriteReconstructionSettings(std::string* error) {
  return WriteReconstructionSettings(ReconstructionSettingsFilePath(), ReconstructionMethod, error);
}

}  // namespace caustica
