#include "setup/frame_settings.h"

#include <vector>

#include "core/atomic_file.h"
#include "setup/settings_file.h"
#include "setup/u_prefs.h"

namespace caustica {

bool CutOutOnOpening = true;

namespace {

constexpr const char* kKey = "Cut out frames on opening";

}  // namespace

std::string FrameSettingsText(bool cutOut) {
  return std::string(kKey) + "=" + (cutOut ? "Yes" : "No") + "\r\n";
}

bool ReadFrameSettings(const std::string& fileName, bool& cutOut) {
  std::vector<std::string> values;
  if (!ReadSettingValues(fileName, kKey, values) || values.empty()) return false;
  bool read = cutOut;
  for (const std::string& v : values) {
    if (v == "Yes")
      read = true;
    else if (v == "No")
      read = false;
    else
      return false;
  }
  cutOut = read;
  return true;
}

bool WriteFrameSettings(const std::string& fileName, bool cutOut, std::string* error) {
  return WriteFileAtomically(fileName, FrameSettingsText(cutOut), error);
}

std::string FrameSettingsFilePath() {
  return SettingsFileBesidePreferences(PreferencesFilePath(), "Frames.txt");
}

bool ReadFrameSettings() { return ReadFrameSettings(FrameSettingsFilePath(), CutOutOnOpening); }

bool WriteFrameSettings(std::string* error) {
  return WriteFrameSettings(FrameSettingsFilePath(), CutOutOnOpening, error);
}

}  // namespace caustica
