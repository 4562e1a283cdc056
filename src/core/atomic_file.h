// Writing files so that a failure never destroys the previous version: the
// bytes go to a temporary file in the same folder, which is then renamed
// over the target.
#pragma once

#include <string>
#include <string_view>

namespace caustica {

// True when the whole content reached the disk under fileName; otherwise
// the previous file (if any) is untouched and error says why.
bool WriteFileAtomically(const std::string& fileName, std::string_view content, std::string* error = nullptr);

}  // namespace caustica
