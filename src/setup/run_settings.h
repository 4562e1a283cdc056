// The edge between the program-wide records and the core: each command
// builds its settings here, once, from the test parameters, the
// preferences and the basis settings, and hands them to the core.
#pragma once

#include <string>
#include <vector>

#include "analysis/channel_run.h"
#include "analysis/products.h"
#include "analysis/test_image.h"
#include "analysis/zernike_coefficients_file.h"

namespace caustica {

struct TkwValue;
struct TParametres;

// Method, passes, stop rule, basis, fit and subtraction flags, wavelengths
// and palette from preference values, a method and a basis.
TRunSettings RunSettingsOf(const TkwValue& values, TReconstructionMethod method, const TZernikeBasis& basis);
// The test of a parameter record, without its images.
TTestSetup TestSetupOf(const TParametres& parametres);
// Wavelengths and palettes of the products.
TProductSettings ProductSettingsOf(const TkwValue& values);
// The pupil search of an opened image.
TPupilSearch PupilSearchOf(const TkwValue& values);

// The same from Preferences, ReconstructionMethod, ZernikeBasis and Parametres.
TRunSettings CurrentRunSettings();
TTestSetup CurrentTestSetup();
TProductSettings CurrentProductSettings();
TPupilSearch CurrentPupilSearch();

// The channel run on the pair Parametres.Intra / Parametres.Extra with the
// current settings.
bool PrepareChannel(TRoddier& slot, int channel, const TRunProgress& progress, std::string* error = nullptr);
bool ReconstructSingle(TRoddier& mono, const TRunProgress& progress, std::string* error = nullptr);
// The three colour pairs of Parametres with the current settings; as each
// colour is run its pair becomes Parametres.Intra / Extra, so they are left
// on the red pair.
bool ReconstructPolychromatic(TRoddier& blue, TRoddier& green, TRoddier& red, const TRunProgress& progress,
                              std::string* error = nullptr);

// The checks of the pairs Parametres names (the three colour pairs in a
// polychromatic test, each warning led by its colour), before a run.
std::vector<std::string> CurrentPairChecks();

// The coefficient file with the preference NPolyZern lines, normalised with
// the program-wide basis.
bool SaveZernikeCoefficients(const std::string& fileName, const ZernikeCoefficients& coefficients,
                             std::string* error = nullptr);

}  // namespace caustica
