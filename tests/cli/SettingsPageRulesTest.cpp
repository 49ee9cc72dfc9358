// settings serial takes only what the Serial Settings page can hold: its
// check boxes are on or off, nothing else.
#include <gtest/gtest.h>

#include <string>

#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

TEST(SettingsPageRules, CheckBoxesTakeOnlyZeroOrOne) {
  TempDir dir;
  struct Case {
    std::string args;
    int status;
  };
  const Case cases[] = {
      {"--debug-window -7", 2},           {"--debug-window 2", 2},
      {"--debug-window x", 2},            {"--high-speed-programming -1", 2},
      {"--high-speed-programming 7", 2},  {"--debug-window 1 --high-speed-programming 0", 0},
  };
  for (const auto& c : cases) {
    const CliRun run = RunCli(dir, "settings serial " + c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
  }
  // Only the accepted page reached the store.
  const auto stored = ReadBytes(dir.File("corvel.ini"));
  const std::string text(stored.begin(), stored.end());
  EXPECT_NE(text.find("Use Debugging Window=1\n"), std::string::npos) << text;
  EXPECT_NE(text.find("Use Turbo Baud Rate=0\n"), std::string::npos) << text;
}

}  // namespace
}  // namespace corvel::test
