// "caustica-batch reconstruct": from the defocused images and the test
// parameters to the wavefront, its files, the products and the summary.
#pragma once

#include <string>
#include <vector>

namespace caustica::cli {

extern const char* const kReconstructHelp;

// Exit status; throws BatchError for a bad command line or input.
int RunReconstruct(const std::vector<std::string>& args);

}  // namespace caustica::cli
