// The virtual AVR answers golden frames over the pseudo-terminal, written
// out byte by byte here so that neither side's frame code checks itself.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim/VirtualAvr.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

using sim::VirtualAvr;
using Bytes = std::vector<uint8_t>;

class VirtualAvrTest : public SimTest {
 protected:
  void Start(VirtualAvr::Mode mode) {
    StartDevice(std::make_unique<VirtualAvr>(mode));
    ASSERT_TRUE(OpenPort());
  }
  // Writes the request and reads up to `count` reply bytes.
  Bytes Exchange(const Bytes& request, std::size_t count) {
    port.Purge();
    EXPECT_TRUE(port.Write(request.data(), static_cast<uint32_t>(request.size())));
    Bytes reply(count);
    uint32_t got = 0;
    port.Read(reply.data(), static_cast<uint32_t>(count), &got);
    reply.resize(got);
    return reply;
  }
  void SetBaud(uint32_t baud) {
    port.SetBaudRate(baud);
    ASSERT_TRUE(port.Open());
  }
  template <typename F>
  auto Avr(F&& f) {
    return WithModel<VirtualAvr>(std::forward<F>(f));
  }
};

const Bytes kWakeUp = {0x54, 0x4C, 0x4D, 0x4B, 0x3C, 0xC3, 0xA5, 0x5A};
const Bytes kVersionQuery = {0x74, 0xFF, 0x8C};
const Bytes kVersionReply = {0x74, 0x04, 0x03, 0x02, 0x01, 0xFF, 0x82};
const Bytes kEntryPacket = {0x00, 0x01, 0x7E, 0x08, 0x45, 0x4E, 0x54, 0x52, 0x42, 0x4C, 0x44, 0x52, 0xFD, 0x1C};

TEST_F(VirtualAvrTest, TheBootLoaderAnswersGoldenRequests) {
  Start(VirtualAvr::Mode::BootLoader);
  struct Case {
    const char* name;
    Bytes request;
    Bytes reply;
  };
  const Case cases[] = {
      {"greeting", kWakeUp, {0x42, 0x4C}},
      {"version", kVersionQuery, kVersionReply},
      // erase page 0x100: 79 00 01 00 00, sum 0x7A -> FF86; status reply
      {"erase", {0x79, 0x00, 0x01, 0x00, 0x00, 0xFF, 0x86}, {0x79, 0, 0, 0, 0, 0x01, 0xFF, 0x86}},
      // erase inside the boot loader section 0x1E000: refused
      {"erase boot", {0x79, 0x00, 0xE0, 0x01, 0x00, 0xFE, 0xA6}, {0x79, 0, 0, 0, 0, 0x00, 0xFF, 0x87}},
      // a request with a wrong checksum gets no answer
      {"bad checksum", {0x74, 0xFF, 0x8D}, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(Exchange(c.request, c.reply.size() + 1), c.reply) << c.name;
}

TEST_F(VirtualAvrTest, FlashPagesWriteAndReadBackAndTheBootSectionStays) {
  Start(VirtualAvr::Mode::BootLoader);
  Bytes write = {0x75, 0x00, 0x02, 0x00, 0x00};
  uint32_t sum = 0x75 + 0x02;
  for (int i = 0; i < 256; ++i) {
    write.push_back(static_cast<uint8_t>(i));
    sum += static_cast<uint8_t>(i);
  }
  const uint16_t cs = static_cast<uint16_t>(0x10000 - (sum & 0xFFFF));
  write.push_back(static_cast<uint8_t>(cs >> 8));
  write.push_back(static_cast<uint8_t>(cs));
  const Bytes status = Exchange(write, 8);
  ASSERT_EQ(status.size(), 8u);
  EXPECT_EQ(status[5], 1);
  // read flash 0x200: 76 00 02 00 00, sum 0x78 -> FF88
  const Bytes data = Exchange({0x76, 0x00, 0x02, 0x00, 0x00, 0xFF, 0x88}, 263);
  ASSERT_EQ(data.size(), 263u);
  EXPECT_EQ(Bytes(data.begin() + 5, data.begin() + 261), Bytes(write.begin() + 5, write.begin() + 261));
  Avr([](VirtualAvr& m) {
    EXPECT_EQ(m.flash[0x2FF], 0xFF);
    EXPECT_EQ(m.flash[0x1E000], VirtualAvr::BootSectionByte(0));
  });
}

TEST_F(VirtualAvrTest, TheApplicationHandsOverOnTheEntryPacketOnly) {
  Start(VirtualAvr::Mode::Application);
  EXPECT_TRUE(Exchange(kWakeUp, 2).empty());
  Bytes wrong_code = kEntryPacket;
  wrong_code[11] = 0x53;
  wrong_code[13] = 0x1B;  // checksum still valid
  EXPECT_TRUE(Exchange(wrong_code, 30).empty());
  const Bytes answer = Exchange(kEntryPacket, 30);
  ASSERT_EQ(answer.size(), 30u);
  EXPECT_EQ(Bytes(answer.begin(), answer.begin() + 4), (Bytes{0x01, 0x00, 0x7F, 0x18}));
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.mode; }), VirtualAvr::Mode::BootLoader);
  EXPECT_EQ(Exchange(kWakeUp, 2), (Bytes{0x42, 0x4C}));
}

TEST_F(VirtualAvrTest, TheSpeedChangeEchoesAtTheNewSpeedAndIgnoresTheOld) {
  Start(VirtualAvr::Mode::BootLoader);
  port.Purge();
  const Bytes up = {0x7B, 0xFF, 0x85};
  ASSERT_TRUE(port.Write(up.data(), 3));
  SetBaud(115200);
  Bytes echo(3);
  uint32_t got = 0;
  port.Read(echo.data(), 3, &got);
  EXPECT_EQ(echo, up);
  EXPECT_EQ(Exchange(kVersionQuery, 7), kVersionReply);
  SetBaud(19200);
  // A pseudo-terminal has no line time: let the host see the new speed before
  // the bytes go, or it credits them to the speed of its previous wake-up.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_TRUE(Exchange(kVersionQuery, 7).empty());  // the device is still at 115200
  EXPECT_EQ(Avr([](VirtualAvr& m) { return m.speed; }), 115200u);
}

TEST_F(VirtualAvrTest, AnAbandonedFrameDoesNotSwallowTheNextRequest) {
  Start(VirtualAvr::Mode::BootLoader);
  const Bytes half = {0x75, 0x00, 0x02, 0x00, 0x00, 0x11, 0x22};
  ASSERT_TRUE(port.Write(half.data(), static_cast<uint32_t>(half.size())));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(Exchange(kVersionQuery, 7), kVersionReply);
}

TEST_F(VirtualAvrTest, FaultsMisbehaveAsTold) {
  Start(VirtualAvr::Mode::BootLoader);
  Avr([](VirtualAvr& m) {
    m.faults.corrupt_reply_to = 0x74;
    m.faults.silent_wake_ups = 2;
  });
  Bytes corrupted = kVersionReply;
  corrupted.back() ^= 0x01;
  EXPECT_EQ(Exchange(kVersionQuery, 7), corrupted);
  EXPECT_EQ(Exchange(kVersionQuery, 7), kVersionReply);  // once only
  EXPECT_TRUE(Exchange(kWakeUp, 2).empty());
  EXPECT_TRUE(Exchange(kWakeUp, 2).empty());
  EXPECT_EQ(Exchange(kWakeUp, 2), (Bytes{0x42, 0x4C}));
}

}  // namespace
}  // namespace corvel::test
