// The "Reconstruction method" setting: which reconstruction "Reconstruct the
// wavefront" and the batch tool run. It lives in its own small file beside
// "Prefs.txt", so that file keeps its format.
#pragma once

#include <string>

#include "analysis/channel_run.h"

namespace caustica {

// The method of a new installation: the accurate one. The classic method
// stays selectable, to compare with results it made.
inline constexpr TReconstructionMethod kDefaultReconstructionMethod = TReconstructionMethod::Accurate;

// The program-wide setting; each command hands it to the run it starts.
extern TReconstructionMethod ReconstructionMethod;

// "Classic" or "Accurate", as the settings file and the dialog show them.
const char* ReconstructionMethodName(TReconstructionMethod method);
// Reads "Classic" / "Accurate" (any letter case, also "classic" from the
// command line). False for anything else; method is then untouched.
bool ParseReconstructionMethod(const std::string& text, TReconstructionMethod& method);

// The file text: one line "Reconstruction method=<name>" (CR LF).
std::string ReconstructionSettingsText(TReconstructionMethod method);

// Reads the setting from a file. False when there is no readable file or
// no valid setting in it; method is then untouched (a damaged file never
// switches the method).
bool ReadReconstructionSettings(const std::string& fileName, TReconstructionMethod& method);
// Writes it atomically; on failure the previous file is untouched and error says why.
bool WriteReconstructionSettings(const std::string& fileName, TReconstructionMethod method,
                                 std::string* error = nullptr);

// "Reconstruction.txt" in the folder of the preferences file in use.
std::string ReconstructionSettingsFilePath();
std::string ReconstructionSettingsFilePath(const std::string& preferencesFile);

// The argument-less forms on ReconstructionMethod and the file in use.
bool ReadReconstructionSettings();
// At start-up: the setting read; a missing file (a new installation) is
// written with the default so the choice is visible and kept. A damaged
// file is left as it is and the default used. False (error says why) only
// when the missing file could not be written.
bool ReadOrCreateReconstructionSettings(const std::string& fileName, TReconstructionMethod& method,
                                        std::string* error = nullptr);
bool ReadOrCreateReconstructionSettings(std::string* error = nullptr);
bool WriteReconstructionSettings(std::string* error = nullptr);

}  // namespace caustica
