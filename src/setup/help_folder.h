// Where the help pages and the sample test are: the folder of the home page
// named in the preferences when that page exists, else what was shipped with
// the program (beside the executable, in the installed share folder, or in
// the source tree of a build that was never installed).
#pragma once

#include <string>

namespace caustica {

// The folder, ending with a separator, or empty when no help set is found.
// exeDir is the folder of the running executable (may be empty).
std::string HelpFolder(const std::string& homePage, const std::string& exeDir);

// The page the contents button opens: homePage when it exists, else the
// shipped set's "index.html"; empty when neither is there.
std::string HelpHomePage(const std::string& homePage, const std::string& exeDir);

// The folder of the bundled sample pair, ending with a separator, or empty.
std::string SampleFolder(const std::string& exeDir);

}  // namespace caustica
