#include "support/CliRun.h"

#include <sys/wait.h>

#include <array>
#include <cstdio>

namespace corvel::test {

CliRun RunCorvelCli(const std::string& args) {
  const std::string command = std::string(CORVEL_BINARY_DIR) + "/src/cli/corvel-cli " + args + " 2>&1";
  CliRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 512> buffer;
  while (std::fgets(buffer.data(), buffer.size(), pipe)) run.output += buffer.data();
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

}  // namespace corvel::test
