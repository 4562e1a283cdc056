// The small settings files kept beside "Prefs.txt" (so that file keeps its
// format): lines "<key>=<value>", CR LF, written atomically.
#pragma once

#include <string>
#include <vector>

namespace caustica {

// Every value given for key, in file order, surrounding spaces removed.
// False when there is no readable file of settings size.
bool ReadSettingValues(const std::string& fileName, const std::string& key, std::vector<std::string>& values);

// The text without surrounding spaces and line ends.
std::string TrimmedSetting(const std::string& text);

// A file of that name in the folder of the preferences file.
std::string SettingsFileBesidePreferences(const std::string& preferencesFile, const std::string& name);

}  // namespace caustica
