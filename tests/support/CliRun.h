#pragma once
// Runs the built corvel-cli program as a script would: arguments through the
// shell, no input, its exit status and everything it printed.
#include <string>

#include "support/TestSupport.h"

namespace corvel::test {

struct CliRun {
  int status = -1;     // -1: did not exit normally
  std::string output;  // stdout and stderr together
  bool Has(const std::string& text) const { return output.find(text) != std::string::npos; }
};

CliRun RunCorvelCli(const std::string& args);
// corvel-cli with the settings file corvel.ini in dir.
CliRun RunCli(const TempDir& dir, const std::string& args);

}  // namespace corvel::test
