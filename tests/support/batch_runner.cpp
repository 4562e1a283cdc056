#include "support/batch_runner.h"

#include <sys/wait.h>

#include <cstdlib>

namespace caustica::test {

namespace {

std::string Quoted(const std::string& s) {
  std::string q(1, '\'');
  for (char c : s) {
    if (c == '\'')
      q.append("'\\''");
    else
      q.push_back(c);
  }
  q.push_back('\'');
  return q;
}

}  // namespace

BatchResult RunBatchTool(const std::string& exe, const ScratchDir& dir, const std::vector<std::string>& args,
                         const std::string& shellPrefix) {
  std::string command = shellPrefix;
  command.append(Quoted(exe));
  for (const std::string& a : args) command.append(" ").append(Quoted(a));
  command.append(" >").append(Quoted(dir.File("stdout.txt")));
  command.append(" 2>").append(Quoted(dir.File("stderr.txt")));
  const int raw = std::system(command.c_str());
  BatchResult r;
  r.Status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.Out = ReadBytes(dir.File("stdout.txt"));
  r.Err = ReadBytes(dir.File("stderr.txt"));
  return r;
}

}  // namespace caustica::test
