// Paced replies: they take the line time of their bytes, and the host sleeps
// while it waits to send them instead of keeping a core busy.
#include <sys/resource.h>

#include <chrono>

#include "sim/ScriptedPeer.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

double CpuSeconds() {
  struct rusage usage {};
  ::getrusage(RUSAGE_SELF, &usage);
  auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

class PacedHostTest : public SimTest {};

TEST_F(PacedHostTest, PacedReplyTakesItsLineTimeWithoutSpinning) {
  StartDevice(std::make_unique<sim::ScriptedPeer>());
  host->SetPacing(true);
  ASSERT_TRUE(OpenPort());
  std::vector<uint8_t> reply(320);
  for (std::size_t i = 0; i < reply.size(); ++i) reply[i] = static_cast<uint8_t>(i);
  WithModel<sim::ScriptedPeer>([&](sim::ScriptedPeer& p) { p.script.push_back({{reply, 0}}); });

  const uint8_t poke = 0x01;
  ASSERT_TRUE(port.Write(&poke, 1));
  const double cpu_before = CpuSeconds();
  const auto start = std::chrono::steady_clock::now();
  std::vector<uint8_t> got(reply.size());
  uint32_t received = 0;
  port.Read(got.data(), static_cast<uint32_t>(got.size()), &received);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double cpu = CpuSeconds() - cpu_before;

  ASSERT_EQ(received, reply.size());
  EXPECT_EQ(got, reply);
  // 320 bytes at 19200 baud, 10 bits each: 166.7 ms, less the poke's own line time.
  EXPECT_GE(wall, 0.160);
  // A host polling in a loop while the chunks wait burns half the time or more.
  EXPECT_LT(cpu, 0.2 * wall) << "cpu " << cpu << " s in " << wall << " s";
}

}  // namespace
}  // namespace corvel::test
