// The "Cut out frames on opening" setting: whether "Open" cuts a camera
// frame much larger than its donut down to a square around it. It lives in
// its own small file beside "Prefs.txt", so that file keeps its format.
#pragma once

#include <string>

namespace caustica {

// The program-wide setting; on in a new installation.
extern bool CutOutOnOpening;

// The file text: one line "Cut out frames on opening=Yes" or "=No" (CR LF).
std::string FrameSettingsText(bool cutOut);

// Reads the setting; false (and cutOut untouched) without a readable file
// or a valid setting in it.
bool ReadFrameSettings(const std::string& fileName, bool& cutOut);
// Writes it atomically; on failure the previous file is untouched.
bool WriteFrameSettings(const std::string& fileName, bool cutOut, std::string* error = nullptr);

// "Frames.txt" in the folder of the preferences file in use.
std::string FrameSettingsFilePath();

// The argument-less forms on CutOutOnOpening and the file in use.
bool ReadFrameSettings();
bool WriteFrameSettings(std::string* error = nullptr);

}  // namespace caustica
