// caustica-batch: the whole test road without a display.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/batch_args.h"
#include "cli/batch_reconstruct.h"
#include "cli/batch_simulate.h"

namespace {

const char* const kMainHelp =
    R"(Usage: caustica-batch COMMAND [options]

Commands:
  reconstruct   the wavefront, its files and products from a defocused pair
  simulate      a simulated defocused star pair as FITS files
  help COMMAND  the options of a command (or COMMAND --help)

Options:
  -h, --help    this text
  --version     the version of caustica-batch

Exit status: 0 on success, 1 when the run fails, 2 for a bad command line.
)";

bool WantsHelp(const std::vector<std::string>& args) {
  for (const std::string& a : args)
    if (a == "--help" || a == "-h") return true;
  return false;
}

int RunCommand(const std::string& command, const std::vector<std::string>& args) {
  using namespace caustica::cli;
  if (command == "--help" || command == "-h" || (command == "help" && args.empty())) {
    std::fputs(kMainHelp, stdout);
    return 0;
  }
  if (command == "--version") {
    std::puts("caustica-batch " CAUSTICA_VERSION);
    return 0;
  }
  if (command == "help") return RunCommand(args.front(), {"--help"});
  if (command == "reconstruct") {
    if (WantsHelp(args)) {
      std::fputs(kReconstructHelp, stdout);
      return 0;
    }
    return RunReconstruct(args);
  }
  if (command == "simulate") {
    if (WantsHelp(args)) {
      std::fputs(kSimulateHelp, stdout);
      return 0;
    }
    return RunSimulate(args);
  }
  throw BatchError("unknown command '" + command + "' (see caustica-batch --help)", 2);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace caustica::cli;
  const std::vector<std::string> all(argv + 1, argv + argc);
  if (all.empty()) {
    std::fputs(kMainHelp, stderr);
    return 2;
  }
  try {
    return RunCommand(all.front(), std::vector<std::string>(all.begin() + 1, all.end()));
  } catch (const BatchError& error) {
    std::fprintf(stderr, "caustica-batch: %s\n", error.what());
    return error.Status;
  } catch (const std::bad_alloc&) {
    std::fputs("caustica-batch: not enough memory for this run\n", stderr);
    return 1;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "caustica-batch: %s\n", error.what());
    return 1;
  }
}
