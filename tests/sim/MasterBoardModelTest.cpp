// The virtual master board on its own: raw bytes in, raw bytes out. Golden
// frames here pin the board's side of the wire independently of the host's.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "sim/MasterBoardModel.h"

namespace corvel::test {
namespace {

using sim::MasterBoardModel;
using Bytes = std::vector<uint8_t>;

class RecordingLink : public sim::DeviceLink {
 public:
  void Send(std::vector<uint8_t> bytes, uint32_t, uint32_t delay) override {
    sent.push_back(std::move(bytes));
    delays.push_back(delay);
  }
  uint32_t LineBaud() const override { return 19200; }
  std::vector<Bytes> sent;
  std::vector<uint32_t> delays;
};

void Feed(MasterBoardModel& board, RecordingLink& link, const Bytes& bytes) {
  board.OnReceive(bytes.data(), bytes.size(), 19200, link);
}

TEST(MasterBoardModel, GoldenFramesBothWays) {
  EXPECT_EQ(sim::EncodeMasterFrame({0, 1, 0x8E, {}}), Bytes({0x00, 0x01, 0x8E, 0x00, 0xFF, 0x71}));

  MasterBoardModel board;
  board.eeproms[2] = Bytes(256, 0);
  for (int i = 0; i < 8; ++i) board.eeproms[2][0x10 + i] = static_cast<uint8_t>(0xA0 + i);
  RecordingLink link;
  // EEPROM request for device 2 at 0x0010.
  Feed(board, link, {0x00, 0x01, 0x8C, 0x04, 0x01, 0x02, 0x10, 0x00, 0xFF, 0x5C});
  ASSERT_EQ(link.sent.size(), 1u);
  // 1+0+0x8C+12+5+2+0x10+0+(0xA0..0xA7 = 0x51C) = 0x5CC -> 0xFA34.
  EXPECT_EQ(link.sent[0], Bytes({0x01, 0x00, 0x8C, 0x0C, 0x05, 0x02, 0x10, 0x00, 0xA0, 0xA1, 0xA2, 0xA3, 0xA4,
                                 0xA5, 0xA6, 0xA7, 0xFA, 0x34}));
  // The reply waits for the request's line time: 10 bytes at 19200 baud.
  EXPECT_EQ(link.delays[0], 5u);

  // A relay fetch for a device with nothing to hand out: status 0.
  link.sent.clear();
  Feed(board, link, {0x00, 0x01, 0xFF, 0x03, 0x02, 0x02, 0x80, 0xFE, 0x79});
  ASSERT_EQ(link.sent.size(), 1u);
  EXPECT_EQ(link.sent[0], Bytes({0x01, 0x00, 0xFF, 0x03, 0x00, 0x02, 0x80, 0xFE, 0x7B}));
}

TEST(MasterBoardModel, FramesSplitAcrossReadsAndGarbledFrames) {
  MasterBoardModel board;
  board.reply_after_line_time = false;
  RecordingLink link;
  const Bytes frame = sim::EncodeMasterFrame({0, 1, 0x42, {1, 2, 3}});
  for (std::size_t i = 0; i < frame.size(); ++i) Feed(board, link, {frame[i]});
  ASSERT_EQ(link.sent.size(), 1u);
  EXPECT_EQ(link.sent[0], sim::EncodeMasterFrame({1, 0, 0x42, {1, 2, 3}}));

  Bytes bad = frame;
  bad[5] ^= 0x10;
  Feed(board, link, bad);
  EXPECT_EQ(board.bad_frames, 1);
  EXPECT_EQ(link.sent.size(), 1u);

  // A frame for another board is seen but not answered.
  Feed(board, link, sim::EncodeMasterFrame({9, 1, 0x42, {}}));
  EXPECT_EQ(link.sent.size(), 1u);
  EXPECT_EQ(board.received.size(), 2u);

  // Half a frame left lying is forgotten, so the next one is read cleanly.
  Feed(board, link, Bytes(frame.begin(), frame.begin() + 5));
  std::this_thread::sleep_for(std::chrono::milliseconds(MasterBoardModel::kStaleFrameMs + 20));
  board.OnIdle(link);
  Feed(board, link, frame);
  EXPECT_EQ(link.sent.size(), 2u);
}

TEST(MasterBoardModel, DefaultChainIsTheWholeSolvaneTransmitter) {
  MasterBoardModel board;
  const struct {
    uint8_t address;
    const char* name;
    std::size_t size;
  } expected[] = {
      {1, "QXCT_207", 4096},      {2, "EXT_IF", 256},         {3, "PA_MODULE_A", 256},
      {10, "PA_MODULE_H", 256},   {11, "IPA_MODULE_A", 256},  {12, "IPA_MODULE_B", 256},
      {13, "EXCITER_A_QXCT_207", 4096}, {14, "EXCITER_B_QXCT_207", 4096},
  };
  EXPECT_EQ(board.eeproms.size(), 14u);
  for (const auto& e : expected) {
    ASSERT_TRUE(board.eeproms.count(e.address)) << e.name;
    const Bytes& eeprom = board.eeproms.at(e.address);
    EXPECT_EQ(eeprom.size(), e.size) << e.name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(eeprom.data())), e.name);
  }
  // No two devices share contents past their names.
  for (uint8_t a = 1; a <= 14; ++a) {
    for (uint8_t b = a + 1; b <= 14; ++b) {
      EXPECT_NE(Bytes(board.eeproms[a].begin() + 32, board.eeproms[a].begin() + 256),
                Bytes(board.eeproms[b].begin() + 32, board.eeproms[b].begin() + 256))
          << int(a) << " and " << int(b);
    }
  }
}

// The fault options of corvel-sim master, judged by what the board then does
// with an EEPROM read of each device.
TEST(MasterBoardModel, CommandLineFaultsChangeTheAnswers) {
  MasterBoardModel board;
  board.reply_after_line_time = false;
  const struct {
    const char* option;
    const char* value;
  } taken[] = {
      {"--silent-device", "3"}, {"--absent-device", "0x4"}, {"--not-ready", "2"}, {"--read-failed", "5"},
      {"--fetch-not-ready", "0"},
  };
  for (const auto& t : taken) EXPECT_EQ(sim::ApplyMasterBoardOption(board, t.option, t.value), "") << t.option;

  const struct {
    uint8_t device;
    int replies;    // to the request and one poll
    uint8_t code;   // of the last reply
  } reads[] = {
      {3, 0, 0},  // silent
      {4, 2, 4},  // absent, but "not ready" (codes 3 then 4) comes first
      {6, 2, 4},  // present: "not ready" twice ...
  };
  for (const auto& r : reads) {
    RecordingLink link;
    for (uint8_t operation : {1, 2}) {
      Feed(board, link, sim::EncodeMasterFrame({0, 1, 0x8C, {operation, r.device, 0, 0}}));
    }
    ASSERT_EQ(link.sent.size(), static_cast<std::size_t>(r.replies)) << int(r.device);
    if (r.replies) {
      EXPECT_EQ(link.sent.back()[4], r.code) << int(r.device);
    }
  }
  // ... then the data, or the absent device's code 7.
  RecordingLink link;
  Feed(board, link, sim::EncodeMasterFrame({0, 1, 0x8C, {2, 6, 0, 0}}));
  Feed(board, link, sim::EncodeMasterFrame({0, 1, 0x8C, {1, 4, 0, 0}}));
  for (int i = 0; i < 2; ++i) Feed(board, link, sim::EncodeMasterFrame({0, 1, 0x8C, {2, 4, 0, 0}}));
  ASSERT_EQ(link.sent.size(), 4u);
  EXPECT_EQ(link.sent[0][4], 5);
  EXPECT_EQ(link.sent[3][4], 7);
  // A relayed fetch for the read-failed device: status 6.
  Feed(board, link, sim::EncodeMasterFrame({0, 1, 0xFF, {2, 5, 0x80}}));
  ASSERT_EQ(link.sent.size(), 5u);
  EXPECT_EQ(link.sent[4][4], 6);

  const struct {
    const char* option;
    const char* value;
  } refused[] = {
      {"--silent-device", "0"},   {"--silent-device", "256"}, {"--absent-device", "x"}, {"--read-failed", ""},
      {"--not-ready", "-1"},      {"--not-ready", "2x"},      {"--fetch-not-ready", "99999999999"},
      {"--pace", "1"},
  };
  for (const auto& r : refused) {
    EXPECT_NE(sim::ApplyMasterBoardOption(board, r.option, r.value), "") << r.option << " " << r.value;
  }
  EXPECT_TRUE(sim::IsMasterBoardOption("--not-ready"));
  EXPECT_FALSE(sim::IsMasterBoardOption("--pace"));
}

}  // namespace
}  // namespace corvel::test
