// The number parsers: the dialogs' (locale rules, header rules) and the
// command line's. None may crash or give a value that is not finite, and
// what the general format writes must read back.
#include <cmath>
#include <string>

#include "cli/batch_args.h"
#include "core/number_format.h"
#include "fuzz_common.h"
#include "io/u_fichier.h"

using namespace caustica;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const double zero = ParseFloatOrZero(text);
  fuzz::Require(std::isfinite(zero), "dialog number finite");
  try {
    const double any = ParseFloatAnySeparator(text);
    fuzz::Require(std::isfinite(any), "header number finite");
    const std::string written = FormatGeneral(any, '.');
    const double back = ParseFloatAnySeparator(written);
    fuzz::Require(FormatGeneral(back, '.') == written, "general format reads back");
  } catch (const std::invalid_argument&) {
  }
  try {
    fuzz::Require(std::isfinite(cli::ParseNumber("--x", text)), "command-line number finite");
  } catch (const cli::BatchError& e) {
    fuzz::Require(e.Status == 2, "a usage error");
  }
  try {
    cli::ParseInteger("--n", text);
  } catch (const cli::BatchError& e) {
    fuzz::Require(e.Status == 2, "a usage error");
  }
  try {
    // A value-taking option never takes the next option for its value.
    cli::ArgList args({"--a", text}, {"--a"}, {"--b"});
    fuzz::Require(text.rfind("--", 0) != 0, "an option is not a value");
  } catch (const cli::BatchError&) {
  }
  return 0;
}
