// The virtual master board's calibration and modem packets on their own:
// golden frames in and out, independent of the host's code.
#include <gtest/gtest.h>

#include "sim/MasterBoardModel.h"

namespace corvel::test {
namespace {

using sim::MasterBoardModel;
using Bytes = std::vector<uint8_t>;

class CollectingLink : public sim::DeviceLink {
 public:
  void Send(std::vector<uint8_t> bytes, uint32_t, uint32_t) override { sent.push_back(std::move(bytes)); }
  uint32_t LineBaud() const override { return 19200; }
  std::vector<Bytes> sent;
};

Bytes Ask(MasterBoardModel& board, const Bytes& frame) {
  CollectingLink link;
  board.OnReceive(frame.data(), frame.size(), 19200, link);
  return link.sent.empty() ? Bytes{} : link.sent.back();
}

TEST(MasterBoardDeviceTools, CalibrationGoldenFramesAndWrites) {
  MasterBoardModel board;
  board.serves_device_tools = true;
  board.reply_after_line_time = false;
  board.calibrations[0] = {{1.5f, -0.25f}, {}};
  // read 1 of the board on the cable
  EXPECT_EQ(Ask(board, {0x00, 0x01, 0x80, 0x01, 0x01, 0xFF, 0x7D}),
            Bytes({0x01, 0x00, 0x80, 0x0A, 0x01, 0x02, 0x00, 0x00, 0xC0, 0x3F, 0x00, 0x00, 0x80, 0xBE, 0xFD, 0x35}));
  // write 2: thresholds 300 and 65535
  EXPECT_EQ(Ask(board, {0x00, 0x01, 0x81, 0x06, 0x02, 0x02, 0x2C, 0x01, 0xFF, 0xFF, 0xFD, 0x49}),
            Bytes({0x01, 0x00, 0x81, 0x01, 0x02, 0xFF, 0x7B}));
  EXPECT_EQ(board.calibrations[0].thresholds, std::vector<uint16_t>({300, 65535}));
  EXPECT_EQ(Ask(board, {0x00, 0x01, 0x80, 0x01, 0x02, 0xFF, 0x7C}),
            Bytes({0x01, 0x00, 0x80, 0x06, 0x02, 0x02, 0x2C, 0x01, 0xFF, 0xFF, 0xFD, 0x4A}));

  // Faults, one answer each.
  const struct {
    const char* name;
    int MasterBoardModel::*counter;
    Bytes data;
    uint8_t type;
  } faults[] = {
      {"wrong type", &MasterBoardModel::cal_wrong_type_answers, {2, 2, 0x2C, 1, 0xFF, 0xFF}, 0x81},
      {"wrong step", &MasterBoardModel::cal_wrong_step_answers, {3, 2, 0x2C, 1, 0xFF, 0xFF}, 0x80},
      {"short", &MasterBoardModel::cal_short_answers, {2, 2, 0x2C, 1, 0xFF}, 0x80},
      {"silent", &MasterBoardModel::cal_silent_answers, {}, 0},
  };
  for (const auto& f : faults) {
    board.*f.counter = 1;
    const Bytes answer = Ask(board, {0x00, 0x01, 0x80, 0x01, 0x02, 0xFF, 0x7C});
    if (f.data.empty()) {
      EXPECT_TRUE(answer.empty()) << f.name;
    } else {
      ASSERT_EQ(answer.size(), f.data.size() + 6) << f.name;
      EXPECT_EQ(answer[2], f.type) << f.name;
      EXPECT_EQ(Bytes(answer.begin() + 4, answer.end() - 2), f.data) << f.name;
    }
    EXPECT_EQ(board.*f.counter, 0) << f.name;
  }

  // Without the device tools the board echoes these types, as the link's tests want.
  MasterBoardModel echo;
  echo.reply_after_line_time = false;
  EXPECT_EQ(Ask(echo, {0x00, 0x01, 0x80, 0x01, 0x02, 0xFF, 0x7C}), Bytes({0x01, 0x00, 0x80, 0x01, 0x02, 0xFF, 0x7C}));
}

TEST(MasterBoardDeviceTools, ModemSettingsAreHeldAndReported) {
  MasterBoardModel board;
  board.serves_device_tools = true;
  board.reply_after_line_time = false;
  Bytes settings(255, 0);
  settings[0] = 'A';
  settings[254] = 'Z';
  Bytes frame = {0x00, 0x01, 0x8F, 0xFF};
  frame.insert(frame.end(), settings.begin(), settings.end());
  uint32_t sum = 0;
  for (uint8_t b : frame) sum += b;
  const uint16_t check = static_cast<uint16_t>(0x10000 - (sum & 0xFFFF));
  frame.push_back(static_cast<uint8_t>(check >> 8));
  frame.push_back(static_cast<uint8_t>(check));
  const Bytes ack = Ask(board, frame);
  ASSERT_GE(ack.size(), 6u);
  EXPECT_EQ(ack[2], 0x8F);
  EXPECT_EQ(board.modem_settings, settings);

  Bytes answer = Ask(board, {0x00, 0x01, 0x8E, 0x00, 0xFF, 0x71});
  ASSERT_EQ(answer.size(), 261u);
  EXPECT_EQ(Bytes(answer.begin() + 4, answer.end() - 2), settings);
  board.modem_short_answers = 1;
  answer = Ask(board, {0x00, 0x01, 0x8E, 0x00, 0xFF, 0x71});
  EXPECT_EQ(answer.size(), 260u);
  EXPECT_EQ(answer[3], 254);
}

}  // namespace
}  // namespace corvel::test
