// The DSP loader's connect makes no map request after its deadline, so a
// whole connect attempt on a dead line stays bounded.
#include <gtest/gtest.h>

#include <chrono>

#include "DspTestSupport.h"

namespace corvel::test {
namespace {

using sim::VirtualDsp;
using Clock = std::chrono::steady_clock;

class DspConnectBudgetTest : public DspTest {};

TEST_F(DspConnectBudgetTest, NoMapRequestStartsAfterTheDeadline) {
  struct Case {
    const char* name;
    bool deadline_passed;
    bool connected;
    int map_requests;
  };
  const Case cases[] = {
      {"no deadline", false, true, 1},
      // The wake-up goes unanswered; the map would answer, but its time is up.
      {"deadline passed", true, false, 0},
  };
  for (const auto& c : cases) {
    StartDsp([](VirtualDsp& m) { m.faults.ignore_wake_up = true; });
    CDSPLoader dsp(port);
    const auto deadline = c.deadline_passed ? Clock::now() : CDSPLoader::Deadline::max();
    EXPECT_EQ(dsp.Connect(deadline).ok(), c.connected) << c.name;
    EXPECT_EQ(dsp.Connected(), c.connected) << c.name;
    EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.counters.map_requests; }), c.map_requests) << c.name;
  }
}

}  // namespace
}  // namespace corvel::test
