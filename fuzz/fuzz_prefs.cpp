// "Prefs.txt": whatever is read is written and reads back the same.
#include "fuzz_common.h"
#include "setup/u_prefs.h"

using namespace caustica;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = fuzz::WriteScratch(data, size, ".prefs");
  TPreferences first;
  TImageFolderHistory history;
  if (!ReadPreferences(path, first, history)) return 0;
  const std::string again = path + ".again";
  fuzz::Require(WritePreferences(again, first, history), "written");
  TPreferences second;
  TImageFolderHistory history2;
  fuzz::Require(ReadPreferences(again, second, history2), "read back");
  fuzz::Require(first.Valeurs == second.Valeurs, "values read back unchanged");
  fuzz::Require(history == history2, "folders read back unchanged");
  fuzz::Require(PreferencesText(first, history) == PreferencesText(second, history2), "same text");
  return 0;
}
