// Running the caustica-batch tool as a user runs it, from a shell, with its
// output and messages caught in files of a scratch folder.
#pragma once

#include <string>
#include <vector>

#include "support/test_files.h"

namespace caustica::test {

struct BatchResult {
  int Status = -1;  // the exit status, -1 when it did not exit normally
  std::string Out;
  std::string Err;
};

// exe with args; shellPrefix runs first in the same shell (a ulimit, say).
BatchResult RunBatchTool(const std::string& exe, const ScratchDir& dir, const std::vector<std::string>& args,
                         const std::string& shellPrefix = "");

}  // namespace caustica::test
