// The link against the virtual master board over a pseudo-terminal.
#include <chrono>
#include <thread>
#include <optional>

#include "core/protocol/devicepacket/DevicePacket.h"
#include "sim/MasterBoardModel.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

using sim::MasterBoardModel;
using sim::MasterFrame;
using Bytes = std::vector<uint8_t>;

Bytes Pattern(std::size_t n, uint8_t seed) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(seed + i * 13);
  return bytes;
}

class DevicePacketLinkTest : public SimTest {
 protected:
  void SetUp() override {
    StartDevice(std::make_unique<MasterBoardModel>());
    ASSERT_TRUE(OpenPort());
    SetLinkSleepObserver([this](uint32_t ms) { sleeps.push_back(ms); });
  }
  void TearDown() override {
    SetLinkSleepObserver(nullptr);
    SimTest::TearDown();
  }
  template <typename F>
  auto Board(F&& f) {
    return WithModel<MasterBoardModel>(std::forward<F>(f));
  }
  std::vector<MasterFrame> Received() {
    return Board([](MasterBoardModel& m) { return m.received; });
  }

  std::vector<uint32_t> sleeps;
};

TEST_F(DevicePacketLinkTest, DirectPacketsOfEverySizeGoOutWholeAndComeBack) {
  for (std::size_t n : {0u, 1u, 8u, 255u}) {
    const Bytes data = Pattern(n, static_cast<uint8_t>(n));
    const DevicePacket request(0, 1, 0x8E, static_cast<uint8_t>(n), data.data());
    ASSERT_TRUE(request.Send(port, 0));
    DevicePacket answer;
    ASSERT_TRUE(answer.Receive(port, 0)) << n;
    EXPECT_EQ(answer, DevicePacket(1, 0, 0x8E, static_cast<uint8_t>(n), data.data())) << n;
    const auto sizes = Board([](MasterBoardModel& m) { return m.received_sizes; });
    ASSERT_FALSE(sizes.empty());
    EXPECT_EQ(sizes.back(), n + 6) << n;
  }
  EXPECT_EQ(Board([](MasterBoardModel& m) { return m.bad_frames; }), 0);
}

TEST_F(DevicePacketLinkTest, RelayRefusesPacketsWhoseRequestWouldNotFit) {
  const struct {
    std::size_t length;
    bool sent;
  } cases[] = {{252, true}, {253, false}, {255, false}};
  for (const auto& c : cases) {
    Board([](MasterBoardModel& m) { m.delivered.clear(); m.received.clear(); });
    const Bytes data = Pattern(c.length, 3);
    const DevicePacket packet(0, 1, 0x81, static_cast<uint8_t>(c.length), data.data());
    EXPECT_EQ(SendSubPacket(port, packet, 0x05).ok(), c.sent) << c.length;
    if (!c.sent) std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const auto delivered = Board([](MasterBoardModel& m) { return m.delivered; });
    if (c.sent) {
      ASSERT_EQ(delivered.size(), 1u);
      EXPECT_EQ(delivered[0].receiver, 0x05);
      EXPECT_EQ(delivered[0].type, 0x81);
      EXPECT_EQ(delivered[0].data, data);
      EXPECT_EQ(Board([](MasterBoardModel& m) { return m.received_sizes.back(); }), 261u);
    } else {
      EXPECT_TRUE(Received().empty()) << c.length << " bytes went out";
    }
  }
}

TEST_F(DevicePacketLinkTest, ShortHeadersAndBadFramesAreRejectedWithTheirCounts) {
  const Bytes five = Pattern(5, 0x40);
  const struct {
    const char* name;
    int truncate_to;
    int corrupt;
    const char* trace;
    LinkErrorKind kind;
  } cases[] = {
      {"header of 3 bytes", 3, 0, "No packet header: only 3 bytes received", LinkErrorKind::ShortReply},
      {"nothing", 0, 0, "No packet header: only 0 bytes received", LinkErrorKind::Timeout},
      {"flipped data bit", -1, 1, "Checksum failure: 5 bytes in packet body", LinkErrorKind::BadChecksum},
      {"body cut short", 7, 0, "Checksum failure: 1 bytes in packet body", LinkErrorKind::ShortReply},
  };
  for (const auto& c : cases) {
    trace.Clear();
    Board([&](MasterBoardModel& m) {
      m.truncate_next_reply_to = c.truncate_to;
      m.corrupt_replies = c.corrupt;
      // Bytes that would spoil the next exchange unless the port is purged.
      if (c.corrupt) m.append_to_next_reply = {0x01, 0x00, 0x8E, 0x00};
    });
    ASSERT_TRUE(DevicePacket(0, 1, 0x8E, 5, five.data()).Send(port));
    DevicePacket answer;
    const LinkStatus received = answer.Receive(port);
    ASSERT_FALSE(received) << c.name;
    EXPECT_EQ(received.error().kind, c.kind) << c.name;
    EXPECT_TRUE(trace.Contains(c.trace)) << c.name;
    EXPECT_EQ(answer, DevicePacket()) << c.name << ": a failed receive leaves the packet alone";

    // The next exchange starts clean.
    ASSERT_TRUE(DevicePacket(0, 1, 0x8E, 5, five.data()).Send(port));
    ASSERT_TRUE(answer.Receive(port)) << c.name;
    EXPECT_EQ(answer.Length(), 5) << c.name;
  }
}

TEST_F(DevicePacketLinkTest, EepromReadWaitsOutUpToTwentyNotReadyAnswers) {
  const Bytes eeprom = Board([](MasterBoardModel& m) { return m.eeproms.at(3); });
  const Bytes expected(eeprom.begin() + 0x18, eeprom.begin() + 0x20);
  const struct {
    int not_ready;
    std::optional<LinkErrorKind> failure;
    const char* last_trace;
  } cases[] = {
      {0, std::nullopt, nullptr},
      {20, std::nullopt, "Found device not ready on iteration 20 (Code 4)"},
      {21, LinkErrorKind::Timeout, "21 attempts made to retrieve data"},
  };
  for (const auto& c : cases) {
    trace.Clear();
    sleeps.clear();
    Board([&](MasterBoardModel& m) {
      m.eeprom_not_ready_polls = c.not_ready;
      m.eeprom_requests = m.eeprom_polls = 0;
    });
    uint8_t block[8] = {};
    const LinkStatus read = ReadDeviceEepromBlock(port, 3, 0x18, 8, block);
    EXPECT_EQ(read.ok(), !c.failure) << c.not_ready;
    if (!read) {
      EXPECT_EQ(read.error().kind, *c.failure) << c.not_ready;
    }
    if (read) {
      EXPECT_EQ(Bytes(block, block + 8), expected) << c.not_ready;
    }
    if (c.last_trace) {
      EXPECT_TRUE(trace.Contains(c.last_trace)) << c.not_ready;
    }
    if (c.not_ready > 0) {
      EXPECT_TRUE(trace.Contains("Found device not ready on iteration 1 (Code 3)"));
    }
    EXPECT_FALSE(trace.ContainsSubstring("Found device not ready on iteration 21"));

    // 2 ms before the request, then 2 * i + 2 after the i-th not-ready answer.
    std::vector<uint32_t> waits = {2};
    for (int i = 1; i <= std::min(c.not_ready, 20); ++i) waits.push_back(static_cast<uint32_t>(2 * i + 2));
    EXPECT_EQ(sleeps, waits) << c.not_ready;
    EXPECT_EQ(Board([](MasterBoardModel& m) { return m.eeprom_requests; }), 1);
    EXPECT_EQ(Board([](MasterBoardModel& m) { return m.eeprom_polls; }), std::min(c.not_ready, 20));
  }
}

TEST_F(DevicePacketLinkTest, EepromReadDeliversAtMostEightBytesAndReportsAbsentDevices) {
  const Bytes eeprom = Board([](MasterBoardModel& m) { return m.eeproms.at(1); });
  uint8_t block[16];
  std::fill(std::begin(block), std::end(block), 0xAA);
  ASSERT_TRUE(ReadDeviceEepromBlock(port, 1, 0x0FF8, 12, block));
  EXPECT_EQ(Bytes(block, block + 8), Bytes(eeprom.begin() + 0xFF8, eeprom.end()));
  EXPECT_EQ(Bytes(block + 8, block + 16), Bytes(8, 0xAA));

  // A short last section takes only what it asked for.
  const Bytes interface_eeprom = Board([](MasterBoardModel& m) { return m.eeproms.at(2); });
  std::fill(std::begin(block), std::end(block), 0xAA);
  ASSERT_TRUE(ReadDeviceEepromBlock(port, 2, 0x0010, 3, block));
  EXPECT_EQ(Bytes(block, block + 4),
            Bytes({interface_eeprom[0x10], interface_eeprom[0x11], interface_eeprom[0x12], 0xAA}));

  // The request carries the address little-endian.
  const MasterFrame request = Received().at(0);
  EXPECT_EQ(request.type, 0x8C);
  EXPECT_EQ(request.data, Bytes({1, 1, 0xF8, 0x0F}));

  trace.Clear();
  const LinkStatus absent = ReadDeviceEepromBlock(port, 40, 0, 8, block);
  ASSERT_FALSE(absent);
  EXPECT_EQ(absent.error().kind, LinkErrorKind::NoDevice);
  EXPECT_TRUE(trace.Contains("Device indicated as not present (code 7)"));
}

TEST_F(DevicePacketLinkTest, EepromReadFailsOnUnknownCodesAndShortDataAnswers) {
  const struct {
    const char* name;
    Bytes answer;
    const char* trace;
    LinkErrorKind kind;
  } cases[] = {
      {"unknown code", {9, 1, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8}, "Unknown command code (9): FAIL", LinkErrorKind::WrongType},
      {"data answer without its bytes", {5, 1, 0, 0, 1, 2}, "EEPROM answer too short: 6 data bytes",
       LinkErrorKind::ShortReply},
  };
  for (const auto& c : cases) {
    trace.Clear();
    Board([&](MasterBoardModel& m) {
      m.direct_handlers[0x8C] = [answer = c.answer](const MasterFrame&) {
        return MasterFrame{1, 0, 0x8C, answer};
      };
    });
    uint8_t block[8] = {};
    const LinkStatus read = ReadDeviceEepromBlock(port, 1, 0, 8, block);
    ASSERT_FALSE(read) << c.name;
    EXPECT_EQ(read.error().kind, c.kind) << c.name;
    EXPECT_TRUE(trace.Contains(c.trace)) << c.name;
  }
}

TEST_F(DevicePacketLinkTest, SlowEepromReadOfASilentDeviceFails) {
  Board([](MasterBoardModel& m) { m.silent_devices[4] = -1; });
  uint8_t block[8] = {};
  const LinkStatus read = ReadDeviceEepromBlock(port, 4, 0, 8, block);
  ASSERT_FALSE(read);
  EXPECT_EQ(read.error().kind, LinkErrorKind::Timeout);
  EXPECT_TRUE(trace.Contains("No packet header: only 0 bytes received"));
  EXPECT_TRUE(trace.Contains("Packet not received"));
}

TEST_F(DevicePacketLinkTest, RelayedExchangeDeliversPollsAndFillsTheAnswer) {
  const Bytes data = Pattern(6, 0x21);
  Board([](MasterBoardModel& m) { m.fetch_not_ready_polls = 3; });
  const DevicePacket request(0, 1, 0x80, 6, data.data());
  ASSERT_TRUE(request.Send(port, 0x0D));
  DevicePacket answer = request;
  ASSERT_TRUE(answer.Receive(port, 0x0D));
  EXPECT_EQ(answer, DevicePacket(1, 0x0D, 0x80, 6, data.data()));
  EXPECT_EQ(sleeps, std::vector<uint32_t>({10, 12, 14}));

  const auto received = Received();
  ASSERT_EQ(received.size(), 5u);
  EXPECT_EQ(received[0].type, 0xFF);
  Bytes deliver = {1, 0x0D, 0x80};
  deliver.insert(deliver.end(), data.begin(), data.end());
  EXPECT_EQ(received[0].data, deliver);
  for (std::size_t i = 1; i < received.size(); ++i) EXPECT_EQ(received[i].data, Bytes({2, 0x0D, 0x80}));
  EXPECT_TRUE(trace.Contains("SendSubPacket: DestAddress is 0xD, OpType of 0x80"));
  EXPECT_TRUE(trace.Contains("ReceiveSubPacket: DestAddress is 0xD, OpType of 0x80"));
  EXPECT_TRUE(trace.Contains("Received valid data"));
}

TEST_F(DevicePacketLinkTest, RelayChecksFailInOrderWithTheirTraceLines) {
  const Bytes data = {0x01};
  const struct {
    const char* name;
    std::function<void(MasterBoardModel&)> setup_deliver;
    std::function<void(MasterBoardModel&)> setup_fetch;  // null: the delivery fails
    uint8_t address;
    const char* trace;
    LinkErrorKind kind;
  } cases[] = {
      {"absent device", nullptr, nullptr, 0x30, "ERROR: Device does not exist", LinkErrorKind::NoDevice},
      {"delivery answered for another device", [](MasterBoardModel& m) { m.wrong_address_replies = 1; }, nullptr, 5,
       "ERROR: Sub device address of 0x6", LinkErrorKind::WrongType},
      {"delivery answered with another type", [](MasterBoardModel& m) { m.wrong_type_replies = 1; }, nullptr, 5,
       "ERROR: Reply type was 0x0", LinkErrorKind::WrongType},
      {"delivery with a garbled answer", [](MasterBoardModel& m) { m.corrupt_replies = 1; }, nullptr, 5,
       "ERROR: Did not receive response from master", LinkErrorKind::BadChecksum},
      {"delivery reported as another operation",
       [](MasterBoardModel& m) {
         m.direct_handlers[0xFF] = [](const MasterFrame& f) { return MasterFrame{1, 0, 0xFF, {1, f.data[1], 0x42}}; };
       },
       nullptr, 5, "ERROR: Reported operation type of 0x42", LinkErrorKind::WrongType},
      {"delivery answer too short",
       [](MasterBoardModel& m) {
         m.direct_handlers[0xFF] = [](const MasterFrame&) { return MasterFrame{1, 0, 0xFF, {1, 5}}; };
       },
       nullptr, 5, "ERROR: Packet length of 2", LinkErrorKind::ShortReply},
      {"fetch for another device", nullptr, [](MasterBoardModel& m) { m.wrong_address_replies = 1; }, 5,
       "ERROR: Returned sub device address of 0x6", LinkErrorKind::WrongType},
      {"fetch answered with another type", nullptr, [](MasterBoardModel& m) { m.wrong_type_replies = 1; }, 5,
       "ERROR: Wrong reply type from master (0x0)", LinkErrorKind::WrongType},
      {"fetch read failed", nullptr, [](MasterBoardModel& m) { m.read_failed_devices.insert(5); }, 5,
       "ERROR: Read failed", LinkErrorKind::Refused},
      {"fetch with a garbled answer", nullptr, [](MasterBoardModel& m) { m.corrupt_replies = 1; }, 5,
       "ERROR: Did not receive reply from master", LinkErrorKind::BadChecksum},
      // Answers that fail more than one check: the first check in order speaks.
      {"delivery answer of another type and too short",
       [](MasterBoardModel& m) { m.direct_handlers[0xFF] = [](const MasterFrame&) { return MasterFrame{1, 0, 0x8C, {1}}; }; },
       nullptr, 5, "ERROR: Reply type was 0x8C", LinkErrorKind::WrongType},
      {"delivery read failed for another device",
       [](MasterBoardModel& m) {
         m.direct_handlers[0xFF] = [](const MasterFrame&) { return MasterFrame{1, 0, 0xFF, {6, 9, 0x42}}; };
       },
       nullptr, 5, "ERROR: Read failed", LinkErrorKind::Refused},
      {"delivery to no device, another address",
       [](MasterBoardModel& m) {
         m.direct_handlers[0xFF] = [](const MasterFrame&) { return MasterFrame{1, 0, 0xFF, {7, 9, 0x42}}; };
       },
       nullptr, 5, "ERROR: Device does not exist", LinkErrorKind::NoDevice},
      {"delivery for another device reported as another operation",
       [](MasterBoardModel& m) {
         m.direct_handlers[0xFF] = [](const MasterFrame&) { return MasterFrame{1, 0, 0xFF, {1, 9, 0x42}}; };
       },
       nullptr, 5, "ERROR: Sub device address of 0x9", LinkErrorKind::WrongType},
      {"fetch short answer of another type", nullptr,
       [](MasterBoardModel& m) { m.direct_handlers[0xFF] = [](const MasterFrame&) { return MasterFrame{1, 0, 0x80, {5}}; }; },
       5, "ERROR: Wrong reply type from master (0x80)", LinkErrorKind::WrongType},
      {"fetch answer too short", nullptr,
       [](MasterBoardModel& m) { m.direct_handlers[0xFF] = [](const MasterFrame&) { return MasterFrame{1, 0, 0xFF, {5, 5}}; }; },
       5, "ERROR: Packet length of 2", LinkErrorKind::ShortReply},
      {"fetch of no device, another address", nullptr,
       [](MasterBoardModel& m) { m.direct_handlers[0xFF] = [](const MasterFrame&) { return MasterFrame{1, 0, 0xFF, {7, 9, 0}}; }; },
       5, "ERROR: Device does not exist", LinkErrorKind::NoDevice},
      {"fetch read failed, another address", nullptr,
       [](MasterBoardModel& m) { m.direct_handlers[0xFF] = [](const MasterFrame&) { return MasterFrame{1, 0, 0xFF, {6, 9, 0}}; }; },
       5, "ERROR: Read failed", LinkErrorKind::Refused},
      {"fetch with valid data for another device", nullptr,
       [](MasterBoardModel& m) {
         m.direct_handlers[0xFF] = [](const MasterFrame&) { return MasterFrame{1, 0, 0xFF, {5, 9, 0, 0x80, 1, 0xAB}}; };
       },
       5, "ERROR: Returned sub device address of 0x9", LinkErrorKind::WrongType},
  };
  for (const auto& c : cases) {
    trace.Clear();
    Board([&](MasterBoardModel& m) {
      m.read_failed_devices.clear();
      m.direct_handlers.clear();
      if (c.setup_deliver) c.setup_deliver(m);
    });
    const DevicePacket request(0, 1, 0x80, 1, data.data());
    const LinkStatus delivered = SendSubPacket(port, request, c.address);
    if (!c.setup_fetch) {
      ASSERT_FALSE(delivered) << c.name;
      EXPECT_EQ(delivered.error().kind, c.kind) << c.name;
    } else {
      ASSERT_TRUE(delivered) << c.name;
      Board([&](MasterBoardModel& m) { c.setup_fetch(m); });
      DevicePacket answer = request;
      const LinkStatus fetched = ReceiveSubPacket(port, answer, c.address);
      ASSERT_FALSE(fetched) << c.name;
      EXPECT_EQ(fetched.error().kind, c.kind) << c.name;
      EXPECT_EQ(answer, request) << c.name << ": a failed fetch leaves the packet alone";
    }
    EXPECT_TRUE(trace.Contains(c.trace)) << c.name;
    EXPECT_FALSE(trace.Contains("Received valid data")) << c.name;
    int errors = 0;
    for (const auto& line : trace.Lines()) errors += line.rfind("ERROR: ", 0) == 0;
    EXPECT_EQ(errors, 1) << c.name << ": one failed check ends the exchange";
  }
}

TEST_F(DevicePacketLinkTest, RelayedAnswerIsBoundedByTheBytesItCarries) {
  const Bytes data = Pattern(10, 0x11);
  Board([](MasterBoardModel& m) { m.overstated_length_replies = 1; });
  const DevicePacket request(0, 1, 0x80, 10, data.data());
  ASSERT_TRUE(SendSubPacket(port, request, 3));
  DevicePacket answer = request;
  ASSERT_TRUE(ReceiveSubPacket(port, answer, 3));
  EXPECT_EQ(answer, DevicePacket(1, 3, 0x80, 10, data.data()));
  EXPECT_TRUE(trace.Contains("Relayed answer announces 14 data bytes but carries 10"));
}

TEST_F(DevicePacketLinkTest, SlowRelayedFetchGivesUpSilentlyAfterTwentyCycles) {
  Board([](MasterBoardModel& m) { m.silent_devices[7] = -1; });
  const DevicePacket request(0, 1, 0x80, 0, nullptr);
  ASSERT_TRUE(SendSubPacket(port, request, 7));
  trace.Clear();
  DevicePacket answer = request;
  const auto start = std::chrono::steady_clock::now();
  const LinkStatus fetched = ReceiveSubPacket(port, answer, 7);
  const auto elapsed = std::chrono::steady_clock::now() - start;

  std::vector<uint32_t> waits;
  for (uint32_t w = 10; w <= 48; w += 2) waits.push_back(w);
  EXPECT_EQ(sleeps, waits);
  EXPECT_GE(elapsed, std::chrono::milliseconds(580));
  ASSERT_FALSE(fetched);
  EXPECT_EQ(fetched.error().kind, LinkErrorKind::Timeout);
  // Only the opening line: the give-up is silent.
  EXPECT_EQ(trace.Lines(), std::vector<std::string>({"ReceiveSubPacket: DestAddress is 0x7, OpType of 0x80"}));
  EXPECT_EQ(Received().size(), 21u);  // the delivery and 20 polls
}

}  // namespace
}  // namespace corvel::test
