// chain read on a line where nothing answers: the run says so and exits 1,
// never closing with "Completed reading EEPROM files for all devices present".
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

// A pseudo-terminal with nobody behind it: the master end stays open and
// silent.
struct SilentLine {
  SilentLine() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) path = ::ptsname(master);
  }
  ~SilentLine() {
    if (master >= 0) ::close(master);
  }
  int master = -1;
  std::string path;
};

TEST(ChainDeadLine, SlowSilentMasterIsReportedAndFails) {
  TempDir dir;
  SilentLine line;
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
