#include "support/CliRun.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace corvel::test {

CliRun RunCorvelCli(const std::string& args) {
  const std::string command = std::string(CORVEL_BINARY_DIR) + "/src/cli/corvel-cli " + args + " 2>&1 </dev/null";
  CliRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe)) run.output += buffer.data();
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

CliRun RunCli(const TempDir& dir, const std::string& args) {
  return RunCorvelCli("--settings " + dir.File("corvel.ini") + " " + args);
}

}  // namespace corvel::test
