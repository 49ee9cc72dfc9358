#pragma once
// Runs the corvel-cli program as a script would.
#include <string>

#include "support/TestSupport.h"

namespace corvel::test {

struct CliRun {
  int status = -1;
  std::string output;  // stdout and stderr together
  bool Has(const std::string& text) const { return output.find(text) != std::string::npos; }
};

// corvel-cli with the settings file corvel.ini in dir and no input.
CliRun RunCli(const TempDir& dir, const std::string& args);

}  // namespace corvel::test
