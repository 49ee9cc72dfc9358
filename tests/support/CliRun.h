#pragma once
// Runs the built corvel-cli program with arguments (passed through the shell)
// and collects its exit status and everything it printed.
#include <string>

namespace corvel::test {

struct CliRun {
  int status = -1;  // -1: did not exit normally
  std::string output;  // stdout and stderr together
};

CliRun RunCorvelCli(const std::string& args);

}  // namespace corvel::test
