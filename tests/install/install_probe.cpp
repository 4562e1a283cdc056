// Installed beside caustica-batch by the install tests: prints where a
// program in that folder finds its preferences, help pages and sample, and
// with "write" stores the default preferences where they belong.
#include <cstdio>
#include <cstring>
#include <string>

#include "setup/help_folder.h"
#include "setup/u_prefs.h"

int main(int argc, char** argv) {
  using namespace caustica;
  const std::string exeDir = ExecutableFolder();
  std::printf("prefs=%s\n", PreferencesFilePath().c_str());
  std::printf("help=%s\n", HelpFolder("", exeDir).c_str());
  std::printf("samples=%s\n", SampleFolder(exeDir).c_str());
  if (argc > 1 && std::strcmp(argv[1], "write") == 0) {
    std::string error;
    if (!WritePreferences(&error)) {
      std::fprintf(stderr, "install_probe: %s\n", error.c_str());
      return 1;
    }
  }
  return 0;
}
