// Lines that fail the console: a port that will not open says why after
// the window's own "Failed to open PORT!", and a chain read on a line where
// nothing answers says so and exits 1, never "Completed reading ...".
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

// A pseudo-terminal with nobody answering behind it; held, another program
// keeps its line end locked.
struct Terminal {
  explicit Terminal(bool held) {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
    path = ::ptsname(master);
    if (!held) return;
    slave = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (slave >= 0 && ::flock(slave, LOCK_EX | LOCK_NB) != 0) path.clear();
  }
  ~Terminal() {
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
  }
  int master = -1;
  int slave = -1;
  std::string path;
};

TEST(PortOpenFailure, TheReasonFollowsTheMessage) {
  TempDir dir;
  Terminal held(true);
  ASSERT_FALSE(held.path.empty());
  WriteText(dir.File("plain-file"), "");
  WriteText(dir.File("locked"), "");
  ::chmod(dir.File("locked").c_str(), 0);
  struct Case {
    std::string port;
    std::string reason;
  };
  std::vector<Case> cases = {
      {dir.File("no-such-tty"), "no such port"},
      {held.path, "in use by another program"},
      {dir.File("plain-file"), "not a serial port"},
  };
  if (::geteuid() != 0) cases.push_back({dir.File("locked"), "no permission to open it"});
  for (const auto& c : cases) {
    const CliRun run = RunCli(dir, "--port " + c.port + " port open");
    EXPECT_EQ(run.status, 1) << c.port << "\n" << run.output;
    // The window's text first and whole, then the reason on its own line.
    EXPECT_TRUE(run.Has("Failed to open " + c.port + "!\nReason: " + c.reason + "\n")) << c.port << "\n"
                                                                                        << run.output;
  }
}

TEST(ChainDeadLine, SlowSilentMasterIsReportedAndFails) {
  TempDir dir;
  Terminal line(false);
  ASSERT_FALSE(line.path.empty());
  const CliRun run =
      RunCli(dir, "--port " + line.path + " --yes chain read --equipment 1 --out " + dir.File("out"));
  EXPECT_EQ(run.status, 1) << run.output;
  EXPECT_TRUE(run.Has("No device of the chain answered")) << run.output;
  EXPECT_FALSE(run.Has("Completed reading EEPROM files")) << run.output;
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("out")));
}

}  // namespace
}  // namespace corvel::test
