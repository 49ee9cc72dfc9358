// The port against a pseudo-terminal whose far end the test drives.
#include <algorithm>
#include <chrono>
#include <thread>

#include "sim/ScriptedPeer.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

using Clock = std::chrono::steady_clock;
using sim::ScriptedPeer;

int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// A noisy machine may be late by tens of milliseconds; never early.
constexpr int64_t kLate = 60;

class SerialPortTest : public SimTest {
 protected:
  void SetUp() override {
    auto peer = std::make_unique<ScriptedPeer>();
    StartDevice(std::move(peer));
    ASSERT_TRUE(OpenPort());
  }
  void Script(std::vector<ScriptedPeer::Reply> replies) {
    WithModel<ScriptedPeer>([&](ScriptedPeer& p) { p.script.push_back(std::move(replies)); });
  }
  std::vector<uint8_t> Received() {
    return WithModel<ScriptedPeer>([](ScriptedPeer& p) { return p.received; });
  }
};

TEST(SerialChecksum, WorkedExamplesAndEveryCorruptionRejected) {
  uint8_t one[3] = {0x73, 0, 0};
  AppendChecksum16(one, 1);
  EXPECT_EQ(one[1], 0xFF);
  EXPECT_EQ(one[2], 0x8D);
  uint8_t empty[2] = {0xAA, 0xAA};
  AppendChecksum16(empty, 0);
  EXPECT_EQ(empty[0], 0x00);
  EXPECT_EQ(empty[1], 0x00);

  // Sums past 16 bits wrap; every single-byte change is caught.
  std::vector<uint8_t> block(300);
  for (std::size_t i = 0; i < 298; ++i) block[i] = static_cast<uint8_t>(i * 37 + 11);
  AppendChecksum16(block.data(), 298);
  ASSERT_TRUE(CheckChecksum16(block.data(), 298));
  for (std::size_t i = 0; i < block.size(); ++i) {
    for (uint8_t delta : {1, 0x80, 0xFF}) {
      block[i] = static_cast<uint8_t>(block[i] + delta);
      EXPECT_FALSE(CheckChecksum16(block.data(), 298)) << "byte " << i << " +" << int(delta);
      block[i] = static_cast<uint8_t>(block[i] - delta);
    }
  }
}

// A device that hands out what the test queued and counts purges.
class FakeDevice : public SerialDevice {
 public:
  struct Log {
    int purges = 0;
    SerialTimeouts timeouts;
    uint32_t baud = 0;
  };
  FakeDevice(Log& log, std::vector<uint8_t> pending) : m_log(log), m_pending(std::move(pending)) {}
  bool Configure(uint32_t baud) override {
    m_log.baud = baud;
    return true;
  }
  void SetTimeouts(const SerialTimeouts& t) override { m_log.timeouts = t; }
  bool Read(uint8_t* buffer, uint32_t count, uint32_t& received) override {
    received = std::min<uint32_t>(count, static_cast<uint32_t>(m_pending.size()));
    std::copy_n(m_pending.begin(), received, buffer);
    m_pending.erase(m_pending.begin(), m_pending.begin() + received);
    return true;
  }
  bool Write(const uint8_t*, uint32_t count, uint32_t& written) override {
    written = count;
    return true;
  }
  bool Purge() override {
    ++m_log.purges;
    return true;
  }
  bool Close() override { return true; }

 private:
  Log& m_log;
  std::vector<uint8_t> m_pending;
};

TEST(SerialPortRead, OnlyAShortReadPurges) {
  const struct {
    std::size_t available;
    uint32_t asked;
    int purges;
  } cases[] = {{27, 27, 0}, {5, 27, 1}, {0, 27, 1}, {30, 27, 0}};
  for (const auto& c : cases) {
    FakeDevice::Log log;
    SerialPort port;
    port.SetBaudRate(115200);
    ASSERT_TRUE(port.OpenDevice(std::make_unique<FakeDevice>(log, std::vector<uint8_t>(c.available, 0x11))));
    EXPECT_EQ(log.baud, 115200u);
    EXPECT_EQ(log.timeouts.read_constant_ms, 200u);
    std::vector<uint8_t> buffer(c.asked);
    uint32_t got = 0;
    EXPECT_TRUE(port.Read(buffer.data(), c.asked, &got));
    EXPECT_EQ(got, std::min<uint32_t>(c.asked, static_cast<uint32_t>(c.available)));
    EXPECT_EQ(log.purges, c.purges) << c.available << " of " << c.asked;
  }
}

TEST(SerialPortNames, ComNamesPathsAndBareNames) {
  const struct {
    const char* name;
    const char* path;
  } cases[] = {
      {"COM1", "/dev/ttyS0"},       {"COM12", "/dev/ttyS11"},           {"/dev/pts/7", "/dev/pts/7"},
      {"ttyUSB0", "/dev/ttyUSB0"},  {"COMX", "/dev/COMX"},              {"serial/by-id/x", "serial/by-id/x"},
  };
  for (const auto& c : cases) EXPECT_EQ(SerialDevicePath(c.name), c.path) << c.name;
}

TEST(SerialPortClosed, OperationsFailWithZeroBytes) {
  SerialPort port;
  uint8_t buffer[4] = {1, 2, 3, 4};
  uint32_t count = 99;
  EXPECT_FALSE(port.Read(buffer, 4, &count));
  EXPECT_EQ(count, 0u);
  count = 99;
  EXPECT_FALSE(port.Write(buffer, 4, &count));
  EXPECT_EQ(count, 0u);
  EXPECT_FALSE(port.Purge());
  EXPECT_FALSE(port.Close());
  EXPECT_FALSE(port.ApplyDefaultTimeouts());
  EXPECT_FALSE(port.SetExtraReadTimeout(100));
}

TEST(SerialPortOpen, MissingDeviceFailsAndStaysClosed) {
  TraceCapture trace;
  SerialPort port;
  port.SetPortName("/dev/corvel-no-such-port");
  EXPECT_FALSE(port.Open());
  EXPECT_FALSE(port.IsOpen());
  EXPECT_TRUE(trace.ContainsSubstring("/dev/corvel-no-such-port"));
}

TEST_F(SerialPortTest, SecondOpenOfAHeldPortFailsAndHoldsNothing) {
  SerialPort other;
  other.SetPortName(host->PortPath());
  EXPECT_FALSE(other.Open());
  EXPECT_FALSE(other.IsOpen());
  // Once released, the port can be taken.
  ASSERT_TRUE(port.Close());
  EXPECT_TRUE(other.Open());
  other.Close();
}

TEST_F(SerialPortTest, ReopenChangesSpeedAndRestoresDefaultTimeouts) {
  ASSERT_TRUE(port.SetExtraReadTimeout(3000));
  port.SetBaudRate(115200);
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(host->LineBaud(), 115200u);
  EXPECT_EQ(port.Timeouts().read_constant_ms, 200u);
  EXPECT_EQ(port.Timeouts().read_interval_ms, 100u);
  app.timeout_setting = 250;
  port.SetBaudRate(9600);
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(host->LineBaud(), 9600u);
  EXPECT_EQ(port.Timeouts().read_constant_ms, 450u);
  EXPECT_EQ(port.Timeouts().read_per_byte_ms, 1u);
}

TEST_F(SerialPortTest, WriteReachesTheFarEnd) {
  const uint8_t request[] = {0x00, 0x01, 0x8E, 0x00, 0xFF, 0x71};
  uint32_t written = 0;
  ASSERT_TRUE(port.Write(request, sizeof request, &written));
  EXPECT_EQ(written, sizeof request);
  for (int i = 0; i < 100 && Received().size() < sizeof request; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  EXPECT_EQ(Received(), std::vector<uint8_t>(request, request + sizeof request));
}

TEST_F(SerialPortTest, ShortReadEndsAtTheTotalTimeoutWhileGapsStayUnderTheLimit) {
  // 5 of 27 bytes, 50 ms apart (under the 100 ms gap limit), then 2 more
  // bytes long after the read has given up.
  Script({{{1}, 0}, {{2}, 50}, {{3}, 100}, {{4}, 150}, {{5}, 200}, {{9, 9}, 400}});
  const uint8_t go = 0x55;
  ASSERT_TRUE(port.Write(&go, 1));
  uint8_t buffer[27] = {};
  uint32_t got = 0;
  const auto start = Clock::now();
  EXPECT_TRUE(port.Read(buffer, 27, &got));  // a short read is not a failed call
  const int64_t waited = MsSince(start);
  EXPECT_EQ(got, 5u);
  EXPECT_GE(waited, 27 + 200 - 5);
  EXPECT_LE(waited, 27 + 200 + kLate);
  // Late bytes of the broken reply never reach the next exchange, which
  // purges before it writes.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(port.Purge());
  EXPECT_TRUE(port.Read(buffer, 1, &got));
  EXPECT_EQ(got, 0u);
}

TEST_F(SerialPortTest, GapOfOneHundredFiftyMillisecondsEndsTheRead) {
  app.timeout_setting = 2000;  // the total is far away; only the gap can end it
  ASSERT_TRUE(port.Open());
  Script({{{1}, 0}, {{2}, 60}, {{3}, 120}, {{4}, 270}});
  const uint8_t go = 0x55;
  ASSERT_TRUE(port.Write(&go, 1));
  uint8_t buffer[27] = {};
  uint32_t got = 0;
  const auto start = Clock::now();
  EXPECT_TRUE(port.Read(buffer, 27, &got));
  EXPECT_EQ(got, 3u);
  const int64_t waited = MsSince(start);
  EXPECT_GE(waited, 120 + 100 - 5);
  EXPECT_LE(waited, 120 + 100 + kLate);
}

TEST_F(SerialPortTest, SlowExtraReadTimeoutWaitsLongerAndSurvivesGaps) {
  ASSERT_TRUE(port.SetExtraReadTimeout(3000));
  Script({{{1}, 0}, {{2}, 1000}});
  const uint8_t go = 0x55;
  ASSERT_TRUE(port.Write(&go, 1));
  uint8_t buffer[4] = {};
  uint32_t got = 0;
  const auto start = Clock::now();
  EXPECT_TRUE(port.Read(buffer, 4, &got));
  EXPECT_EQ(got, 2u);  // the 1 s gap did not end it
  const int64_t waited = MsSince(start);
  EXPECT_GE(waited, 3204 - 5);
  EXPECT_LE(waited, 3204 + kLate);

  // Back to the 200 ms constant and the 100 ms gap.
  ASSERT_TRUE(port.SetExtraReadTimeout(0));
  Script({{{1}, 0}, {{2}, 150}});
  ASSERT_TRUE(port.Write(&go, 1));
  const auto again = Clock::now();
  EXPECT_TRUE(port.Read(buffer, 4, &got));
  EXPECT_EQ(got, 1u);
  EXPECT_LE(MsSince(again), 100 + kLate);
}

TEST_F(SerialPortTest, FullReadReturnsAsSoonAsTheCountArrives) {
  Script({{{1, 2, 3, 4, 5, 6}, 10}});
  const uint8_t go = 0x55;
  ASSERT_TRUE(port.Write(&go, 1));
  uint8_t buffer[6] = {};
  uint32_t got = 0;
  const auto start = Clock::now();
  EXPECT_TRUE(port.Read(buffer, 6, &got));
  EXPECT_EQ(got, 6u);
  EXPECT_LT(MsSince(start), 80);
  EXPECT_EQ(buffer[5], 6);
}

TEST_F(SerialPortTest, VanishedDeviceFailsWithoutHanging) {
  host->Disconnect();
  uint8_t buffer[8] = {};
  uint32_t got = 0;
  const auto start = Clock::now();
  EXPECT_FALSE(port.Read(buffer, 8, &got));
  EXPECT_EQ(got, 0u);
  EXPECT_LE(MsSince(start), 208 + kLate);
  EXPECT_TRUE(trace.ContainsSubstring("stopped answering"));
  EXPECT_FALSE(port.Write(buffer, 8, &got));
}

}  // namespace
}  // namespace corvel::test
