// corvel-cli's global options and foundation commands: exit status and output.
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace corvel::test {
namespace {

struct CliResult {
  int status;
  std::string out;
};

CliResult RunCli(const TempDir& dir, const std::string& args) {
  const std::string out = dir.File("cli.out");
  const std::string command = std::string(CORVEL_BINARY_DIR) + "/src/cli/corvel-cli " + args + " > " + out +
                              " 2>&1 < /dev/null";
  const int raw = std::system(command.c_str());
  const auto bytes = ReadBytes(out);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(bytes.begin(), bytes.end())};
}

TEST(FoundationCommands, ExitStatusAndRefusalTexts) {
  TempDir dir;
  const std::string settings = "--settings " + dir.File("s.ini") + " ";
  const struct {
    std::string args;
    int status;
    std::string output;  // expected somewhere in the output; "" for none
  } cases[] = {
      {"--version", 0, "1.8.0"},
      {settings + "settings serial --additional-timeout 30000", 0, ""},
      {settings + "settings serial --additional-timeout 30001", 1,
       "Please enter an integer between 0 and 30000.\n"},
      {settings + "settings serial --additional-timeout 12a", 1, "Please enter an integer.\n"},
      {settings + "--timeout 30001 settings show", 2, ""},
      {settings + "--simulate no-such-device settings show", 2, "no-such-device"},
      {settings + "--port COM9 port open", 1, "Failed to open COM9!\n"},
      {settings + "no-such-command", 2, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliResult run = RunCli(dir, c.args);
    EXPECT_EQ(run.status, c.status) << run.out;
    EXPECT_NE(run.out.find(c.output), std::string::npos) << run.out;
  }
  // Only the accepted page reached the store.
  const auto stored = ReadBytes(dir.File("s.ini"));
  EXPECT_NE(std::string(stored.begin(), stored.end()).find("Timeout Setting=30000\n"), std::string::npos);
}

TEST(FoundationCommands, StoredHighSpeedHoldsUnlessAFlagOverridesIt) {
  TempDir dir;
  const std::string settings = "--settings " + dir.File("s.ini") + " ";
  // Each step runs in order against one store.
  const struct {
    std::string args;
    const char* shown;  // "Use Turbo Baud Rate=..." line of settings show
    const char* stored;
  } steps[] = {
      {settings + "settings serial --high-speed-programming 1", nullptr, "Use Turbo Baud Rate=1\n"},
      {settings + "settings show", "Use Turbo Baud Rate=1\n", "Use Turbo Baud Rate=1\n"},
      // A flag counts for its run only.
      {settings + "--no-high-speed settings show", "Use Turbo Baud Rate=0\n", "Use Turbo Baud Rate=1\n"},
      {settings + "settings serial --high-speed-programming 0", nullptr, "Use Turbo Baud Rate=0\n"},
      {settings + "--high-speed settings show", "Use Turbo Baud Rate=1\n", "Use Turbo Baud Rate=0\n"},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.args);
    const CliResult run = RunCli(dir, step.args);
    EXPECT_EQ(run.status, 0) << run.out;
    if (step.shown) {
      EXPECT_NE(run.out.find(step.shown), std::string::npos) << run.out;
    }
    const auto stored = ReadBytes(dir.File("s.ini"));
    EXPECT_NE(std::string(stored.begin(), stored.end()).find(step.stored), std::string::npos);
  }
}

}  // namespace
}  // namespace corvel::test
