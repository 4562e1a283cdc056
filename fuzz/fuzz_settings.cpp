// The settings file beside "Prefs.txt" (the reconstruction method):
// read, written, read back the same.
#include "fuzz_common.h"
#include "setup/reconstruction_method.h"

using namespace caustica;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = fuzz::WriteScratch(data, size, ".settings");
  TReconstructionMethod method = TReconstructionMethod::Classic;
  if (!ReadReconstructionSettings(path, method)) return 0;
  const std::string again = path + ".again";
  fuzz::Require(WriteReconstructionSettings(again, method), "written");
  TReconstructionMethod back = method == TReconstructionMethod::Classic ? TReconstructionMethod::Accurate
                                                                        : TReconstructionMethod::Classic;
  fuzz::Require(ReadReconstructionSettings(again, back) && back == method, "read back unchanged");
  return 0;
}
