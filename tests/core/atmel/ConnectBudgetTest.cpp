// A whole connect attempt against a dead line is bounded by its budget,
// however long the read time-out is.
#include <gtest/gtest.h>

#include <chrono>

#include "AtmelTestSupport.h"
#include "core/tool/atmel/AtmelConnect.h"
#include "core/tool/atmel/AtmelMessages.h"

namespace corvel::test {
namespace {

using sim::VirtualAvr;
using Clock = std::chrono::steady_clock;

class ConnectBudgetTest : public AvrTest {};

TEST_F(ConnectBudgetTest, SlowConnectingToNothingStopsWhenTheBudgetIsSpent) {
  // 300 ms of additional time-out: each exchange waits about half a second,
  // so the 26 exchanges of either sequence would take well over 10 s.
  app.timeout_setting = 300;
  struct Case {
    const char* name;
    bool (*connect)(AtmelBootLoader&, UserInterface&, DeviceVersions&, std::chrono::milliseconds);
  };
  const Case cases[] = {
      {"ordinary", ConnectToBootLoader},
      {"power cycle", ConnectByPowerCycle},
  };
  for (const auto& c : cases) {
    StartAvr(Mode::BootLoader, [](VirtualAvr& m) { m.faults.silent = true; });
    ui.shown.clear();
    DeviceVersions versions;
    const auto started = Clock::now();
    EXPECT_FALSE(c.connect(loader, ui, versions, std::chrono::milliseconds(1000))) << c.name;
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - started);
    // The budget, plus at most one step under way (two exchanges).
    EXPECT_LT(took.count(), 1000 + 2 * 600 + 500) << c.name;
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{atmel::text::kConnectionFailed}) << c.name;
    EXPECT_EQ(versions.description, "Not found") << c.name;
  }
}

}  // namespace
}  // namespace corvel::test
