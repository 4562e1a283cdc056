#include "setup/reconstruction_method.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "core/atomic_file.h"
#include "setup/u_prefs.h"

namespace caustica {

TReconstructionMethod ReconstructionMethod = TReconstructionMethod::Classic;

namespace {

constexpr const char* kKey = "Reconstruction method";
// The file is a handful of bytes; anything much larger is not ours.
constexpr std::uintmax_t kMaxFileBytes = 4096;

std::string Trimmed(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::string();
  const auto last = s.find_last_not_of(" \t\r\n");
  return s.substr(first, last - first + 1);
}

}  // namespace

const char* ReconstructionMethodName(TReconstructionMethod method) {
  return method == TReconstructionMethod::Accurate ? "Accurate" : "Classic";
}

bool ParseReconstructionMethod(const std::string& text, TReconstructionMethod& method) {
  std::string lower = Trimmed(text);
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
  std::error_code ec;
  const std::uintmax_t size = std::filesystem::file_size(fileName, ec);
  if (ec || size > kMaxFileBytes) return false;
  std::ifstream in(fileName, std::ios::binary);
  if (!in) return false;
  std::string line;
  bool found = false;
  TReconstructionMethod read = method;
  while (std::getline(in, line)) {
    const auto eq = line.find('=');
    if (eq == std::string::npos || Trimmed(line.substr(0, eq)) != kKey) continue;
    TReconstructionMethod value;
    if (!ParseReconstructionMethod(line.substr(eq + 1), value)) return false;
    read = value;
    found = true;
  }
  if (found) method = read;
  return found;
}

bool WriteReconstructionSettings(const std::string& fileName, TReconstructionMethod method,
                                 std::string* error) {
  return WriteFileAtomically(fileName, ReconstructionSettingsText(method), error);
}

std::string ReconstructionSettingsFilePath(const std::string& preferencesFile) {
  return (std::filesystem::path(preferencesFile).parent_path() / "Reconstruction.txt").string();
}

std::string ReconstructionSettingsFilePath() { return ReconstructionSettingsFilePath(PreferencesFilePath()); }

bool ReadReconstructionSettings() {
  return ReadReconstructionSettings(ReconstructionSettingsFilePath(), ReconstructionMethod);
}

bool WriteReconstructionSettings(std::string* error) {
  return WriteReconstructionSettings(ReconstructionSettingsFilePath(), ReconstructionMethod, error);
}

}  // namespace caustica
