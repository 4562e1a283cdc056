// The physical ranges a run's parameters and preferences must lie in, so
// that an absurd value is refused by name instead of flowing as NaN or as a
// "perfect" result into every file of the run.
#pragma once

#include <string>

#include "setup/u_parametres_model.h"
#include "setup/u_prefs.h"

namespace caustica::cli {

// The test entries as the command line gave them (usage errors, status 2).
void CheckTestRanges(const TParamEntries& e);
// The entries once the pupil radii have given the defocus.
void CheckDefocusRange(const TParamEntries& e);
// The wavelengths of a preferences file, named by that file (status 1).
void CheckPreferenceRanges(const TkwValue& v, const std::string& prefsFile);

}  // namespace caustica::cli
