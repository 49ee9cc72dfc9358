// corvel-sim as the scripts use it: started, its port read, stopped by a
// signal, which must end it cleanly whichever stop signal it is.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <string>

#include "support/CliProcess.h"

namespace corvel::test {
namespace {

using namespace std::chrono_literals;

TEST(SimProgram, EveryStopSignalEndsItCleanly) {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
    SCOPED_TRACE(signal_number);
    CliProcess sim("avr", "src/sim/corvel-sim");
    ASSERT_TRUE(WaitFor(
        [&] {
          sim.Wait(0ms);
          return sim.Output().find("/dev/pts/") != std::string::npos;
        },
        20s))
        << sim.Output();
    sim.Signal(signal_number);
    EXPECT_EQ(sim.Wait(20s), 0) << sim.Output();
  }
}

}  // namespace
}  // namespace corvel::test
