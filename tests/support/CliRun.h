#pragma once
// Runs the built corvel-cli program as a script would: arguments through the
// shell, no input, its exit status and everything it printed.
#include <string>

#include "support/TestSupport.h"

namespace corvel::test {

struct CliRun {
  int status = -1;     // -1: did not exit normally
  std::string output;  // stdout and stderr together
  bool timed_out = false;  // RunCorvelCliWithin: killed at its time limit
  long peak_rss_kb = 0;    // RunCorvelCliWithin: the largest resident set the run reached
  bool Has(const std::string& text) const { return output.find(text) != std::string::npos; }
};

CliRun RunCorvelCli(const std::string& args);
// corvel-cli with the settings file corvel.ini in dir.
CliRun RunCli(const TempDir& dir, const std::string& args);
// The same, killed after seconds so that a run that would hang fails its
// test instead of hanging the suite; reports the run's peak memory too.
CliRun RunCorvelCliWithin(const std::string& args, int seconds);

}  // namespace corvel::test
