// A port that will not open says why on the console, after the window's
// own "Failed to open PORT!".
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

// A pseudo-terminal whose line end another program holds locked.
struct HeldTerminal {
  HeldTerminal() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) return;
    path = ::ptsname(master);
    slave = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (slave >= 0 && ::flock(slave, LOCK_EX | LOCK_NB) != 0) path.clear();
  }
  ~HeldTerminal() {
    if (slave >= 0) ::close(slave);
    if (master >= 0) ::close(master);
  }
  int master = -1;
  int slave = -1;
  std::string path;
};

TEST(PortOpenFailure, TheReasonFollowsTheMessage) {
  TempDir dir;
  HeldTerminal held;
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

}  // namespace
}  // namespace corvel::test
