// The desktop program. No argument or environment variable changes what it does.
#include "app/Main.h"

#include "app/command_guard.h"

int main(int, char** argv) {
  // Only the program name reaches Qt: the arguments are not read.
  int qtArgc = 1;
  caustica::TGuardedApplication app(qtArgc, argv);
  const std::unique_ptr<caustica::TMainForm> main = caustica::CreateApplicationWindows();
  main->show();
  return app.exec();
}
