// "caustica-batch simulate": a simulated defocused star pair as FITS files.
#pragma once

#include <string>
#include <vector>

namespace caustica::cli {

extern const char* const kSimulateHelp;

int RunSimulate(const std::vector<std::string>& args);

}  // namespace caustica::cli
