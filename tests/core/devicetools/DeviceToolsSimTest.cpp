// The three device tools' controllers against the virtual master board over a
// pseudo-terminal, with a scripted person.
#include <sys/stat.h>

#include "core/base/SettingsKeys.h"
#include "core/protocol/devicepacket/ToolPackets.h"
#include "core/tool/devicetools/CalibrationTransfer.h"
#include "core/tool/devicetools/ModemInit.h"
#include "core/tool/devicetools/PacketTester.h"
#include "sim/MasterBoardModel.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

using sim::MasterBoardModel;
using sim::MasterFrame;
using Bytes = std::vector<uint8_t>;

class DeviceToolsTest : public SimTest {
 protected:
  void SetUp() override {
    auto board = std::make_unique<MasterBoardModel>();
    board->serves_device_tools = true;
    StartDevice(std::move(board));
    ASSERT_TRUE(OpenPort());
  }
  template <typename F>
  auto Board(F&& f) {
    return WithModel<MasterBoardModel>(std::forward<F>(f));
  }
  std::vector<MasterFrame> Received() {
    return Board([](MasterBoardModel& m) { return m.received; });
  }
  std::vector<uint8_t> LastReceivedBytes() {
    return Board([](MasterBoardModel& m) { return sim::EncodeMasterFrame(m.received.back()); });
  }
};

// --- Send Packet Testing ---

TEST_F(DeviceToolsTest, PacketTestRewritesTheEditsAndShowsTheAnswer) {
  PacketTester tester(Env());
  tester.receiver_text = "300";
  tester.sender_text = "1";
  tester.type_text = "0x7c";
  tester.data_text = "1 2 3";
  ASSERT_EQ(tester.Send(), ToolOutcome::Failed);
  EXPECT_EQ(tester.receiver_text, "0x2C");
  EXPECT_EQ(tester.sender_text, "0x01");
  EXPECT_EQ(tester.type_text, "0x7C");
  EXPECT_EQ(tester.data_text, "0x01 0x02 0x03 ");
  // Receiver 0x2C is not the board: it stays silent.
  EXPECT_EQ(tester.Response(), kPacketNotReceived);
  EXPECT_EQ(LastReceivedBytes(), Bytes({0x2C, 0x01, 0x7C, 0x03, 0x01, 0x02, 0x03, 0xFF, 0x4E}));
  EXPECT_TRUE(ui.shown.empty());

  tester.receiver_text = "0";
  tester.data_text = "0x10 0X20 ff";
  ASSERT_EQ(tester.Send(), ToolOutcome::Done);
  EXPECT_EQ(tester.Response(),
            "Packet Contents:\r\nReceiver Address: 0x01\r\nSender Address: 0x00\r\nPacket Type: 0x7C\r\n"
            "Packet Data: \r\n0x10 0x20 ");
}

TEST_F(DeviceToolsTest, PacketTestKeepsAtMost255DataBytesAndReportsSilenceInTheResponse) {
  PacketTester tester(Env());
  tester.receiver_text = "";
  tester.sender_text = "abc";
  tester.type_text = "0x7C";
  std::string three_hundred;
  for (int i = 0; i < 300; ++i) three_hundred += std::to_string(i) + ",";
  tester.data_text = three_hundred;
  ASSERT_EQ(tester.Send(), ToolOutcome::Done);
  EXPECT_EQ(tester.receiver_text, "0x00");
  EXPECT_EQ(tester.sender_text, "0x00");
  const auto frame = Received().back();
  ASSERT_EQ(frame.data.size(), 255u);
  EXPECT_EQ(frame.data[254], 254);
  // 16 bytes to a line: 15 breaks for 255 bytes, the last line 15 bytes.
  std::size_t breaks = 0;
  for (std::size_t at = tester.data_text.find("\r\n"); at != std::string::npos;
       at = tester.data_text.find("\r\n", at + 1)) {
    ++breaks;
  }
  EXPECT_EQ(breaks, 15u);
  EXPECT_EQ(tester.data_text.substr(tester.data_text.size() - 5), "0xFE ");

  Board([](MasterBoardModel& m) { m.silent_replies = 1; });
  tester.data_text = "";
  EXPECT_EQ(tester.Send(), ToolOutcome::Failed);
  EXPECT_EQ(tester.Response(), kPacketNotReceived);
  EXPECT_TRUE(ui.shown.empty());
}

// --- Meridel Modem Init ---

TEST_F(DeviceToolsTest, ModemOpenRetrievesAndReportedStringsReplaceTheEdits) {
  store.PutText(keys::kMeridelDialUpInitString.name, "stored dial");
  store.PutText(keys::kMeridelLeasedLineInitString.name, "stored leased");
  store.PutText(keys::kMeridelDialUpCommandString.name, "ATD1");
  const std::string init121(121, 'I');
  Board([&](MasterBoardModel& m) {
    std::copy(init121.begin(), init121.end(), m.modem_settings.begin());
    const std::string command = "  ATDT5551234";  // 13 characters, blanks trimmed
    std::copy(command.begin(), command.end(), m.modem_settings.begin() + 242);
  });
  ModemInit modem(Env());
  ASSERT_EQ(modem.Open(), ToolOutcome::Done);
  EXPECT_EQ(LastReceivedBytes(), Bytes({0x00, 0x01, 0x8E, 0x00, 0xFF, 0x71}));
  EXPECT_EQ(modem.Report(), "Dial-up init:\r\n" + init121 +
                                "\r\n\r\nLeased line init:\r\n\r\n\r\nDial-up command:\r\nATDT5551234");
  EXPECT_EQ(modem.DialUpInit(), init121);
  EXPECT_EQ(modem.LeasedLineInit(), "stored leased");  // reported empty: the edit stays
  EXPECT_EQ(modem.DialUpCommand(), "ATDT5551234");
  modem.SetLeasedLineInit("AT&L1");
  modem.Close();
  EXPECT_EQ(store.GetText(keys::kMeridelDialUpInitString.name, ""), init121);
  EXPECT_EQ(store.GetText(keys::kMeridelLeasedLineInitString.name, ""), "AT&L1");
  EXPECT_EQ(store.GetText(keys::kMeridelDialUpCommandString.name, ""), "ATDT5551234");
}

TEST_F(DeviceToolsTest, ModemShortOrWrongAnswersShowNoDevice) {
  const struct {
    const char* name;
    std::function<void(MasterBoardModel&)> fault;
  } cases[] = {
      {"254 bytes", [](MasterBoardModel& m) { m.modem_short_answers = 1; }},
      {"wrong type", [](MasterBoardModel& m) { m.wrong_type_replies = 1; }},
      {"bad checksum", [](MasterBoardModel& m) { m.corrupt_replies = 1; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Board([](MasterBoardModel& m) { m.modem_settings.assign(255, 'x'); });
    Board(c.fault);
    ModemInit modem(Env());
    modem.SetDialUpInit("keep");
    EXPECT_EQ(modem.Retrieve(), ToolOutcome::Failed);
    EXPECT_EQ(modem.Report(), kModemNoDevice);
    EXPECT_EQ(modem.DialUpInit(), "keep");
    EXPECT_EQ(modem.Retrieve(), ToolOutcome::Done);  // the fault was for one answer
  }
}

TEST_F(DeviceToolsTest, ModemSendStoresTheLayoutAndRetriesWhenAsked) {
  ModemInit modem(Env());
  modem.SetDialUpInit("ATZ");
  modem.SetLeasedLineInit(std::string(130, 'L'));
  modem.SetDialUpCommand("ATDT0123456789");
  EXPECT_EQ(modem.LeasedLineInit().size(), 121u);
  EXPECT_EQ(modem.DialUpCommand(), "ATDT012345678");

  Board([](MasterBoardModel& m) { m.silent_replies = 2; });
  ui.answers = {Answer::Yes, Answer::Yes};
  ASSERT_EQ(modem.Send(), ToolOutcome::Done);
  ASSERT_EQ(ui.shown.size(), 3u);
  EXPECT_EQ(ui.shown[0].message.text, kModemSendRetry);
  EXPECT_EQ(ui.shown[0].message.buttons, MessageButtons::YesNo);
  EXPECT_EQ(ui.shown[0].message.icon, MessageIcon::Question);
  EXPECT_EQ(ui.shown[2].message.text, kModemSentOk);
  const Bytes held = Board([](MasterBoardModel& m) { return m.modem_settings; });
  Bytes expected(255, 0);
  expected[0] = 'A', expected[1] = 'T', expected[2] = 'Z';
  std::fill(expected.begin() + 121, expected.begin() + 242, 'L');
  const std::string command = "ATDT012345678";
  std::copy(command.begin(), command.end(), expected.begin() + 242);
  EXPECT_EQ(held, expected);
  // Retrieve ran after the success and reported what the board now holds.
  EXPECT_EQ(Received().back().type, 0x8E);
  EXPECT_NE(modem.Report().find("Dial-up command:\r\nATDT012345678"), std::string::npos);

  ui.shown.clear();
  Board([](MasterBoardModel& m) { m.wrong_type_replies = 1; });
  ui.answers = {Answer::No};
  EXPECT_EQ(modem.Send(), ToolOutcome::Failed);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].message.text, kModemSendRetry);
  EXPECT_EQ(Received().back().type, 0x8E);  // No still runs Retrieve
}

// --- Send or Receive Calibration Data ---

TEST_F(DeviceToolsTest, CalibrationOpensUnknownDirectAndRetrievesTheBoardOnTheCable) {
  Board([](MasterBoardModel& m) { m.calibrations[0] = {{1.5f, 0.25f}, {}}; });
  CalibrationTransfer cal(Env());
  cal.Open();
  EXPECT_TRUE(trace.Contains(std::string(40, '-')));
  EXPECT_TRUE(trace.Contains(kCalToolName));
  EXPECT_EQ(cal.Equipment(), 0);
  EXPECT_FALSE(cal.Relay());
  EXPECT_EQ(cal.ScaleFactorBox(), kCalNoData);
  ASSERT_EQ(cal.RetrieveFromDevice(), ToolOutcome::Done);
  const auto frames = Received();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(sim::EncodeMasterFrame(frames[0]), Bytes({0x00, 0x01, 0x80, 0x01, 0x01, 0xFF, 0x7D}));
  EXPECT_EQ(frames[1].data, Bytes({2}));
  EXPECT_EQ(cal.ScaleFactorBox(), "   0: 1.500000\r\n   1: 0.250000");
  EXPECT_EQ(cal.ThresholdBox(), kCalNoData);  // a count of 0 counts as absent
}

TEST_F(DeviceToolsTest, CalibrationRelaysThroughTheMasterFrameByFrame) {
  Board([](MasterBoardModel& m) { m.calibrations[0x0F] = {{2.0f}, {300, 400}}; });
  CalibrationTransfer cal(Env());
  cal.Open();
  cal.SetEquipment(kCalEquipmentK35);
  EXPECT_TRUE(cal.Relay());
  EXPECT_EQ(cal.SubAddress(), 0x0D);
  cal.SetPosition(2);
  EXPECT_EQ(cal.SubAddress(), 0x0F);
  ASSERT_EQ(cal.RetrieveFromDevice(), ToolOutcome::Done);
  const auto frames = Received();
  ASSERT_EQ(frames.size(), 4u);
  EXPECT_EQ(sim::EncodeMasterFrame(frames[0]), Bytes({0x00, 0x01, 0xFF, 0x04, 0x01, 0x0F, 0x80, 0x01, 0xFE, 0x6B}));
  // The fetch asks for the request's type.
  EXPECT_EQ(sim::EncodeMasterFrame(frames[1]), Bytes({0x00, 0x01, 0xFF, 0x03, 0x02, 0x0F, 0x80, 0xFE, 0x6C}));
  EXPECT_EQ(frames[2].data, Bytes({1, 0x0F, 0x80, 2}));
  EXPECT_EQ(frames[3].data, Bytes({2, 0x0F, 0x80}));
  EXPECT_EQ(cal.Data().scale_factors, std::vector<float>({2.0f}));
  EXPECT_EQ(cal.Data().thresholds, std::vector<uint16_t>({300, 400}));
  EXPECT_EQ(cal.ThresholdBox(), "        SWR Shutback    0:      300\r\n      Contrast Level    1:      400");

  // Another entry clears relaying and goes back to position A.
  cal.SetEquipment(7);
  EXPECT_FALSE(cal.Relay());
  EXPECT_EQ(cal.Position(), 0);
  cal.SetRelay(true);
  cal.SetPosition(7);
  EXPECT_EQ(cal.SubAddress(), 0x27);

  // Send writes the sub-device's own calibration, not the master's.
  const auto master_before = Board([](MasterBoardModel& m) { return m.calibrations[0]; });
  ASSERT_EQ(cal.SendToDevice(), ToolOutcome::Done);
  const auto written = Board([](MasterBoardModel& m) { return m.calibrations[0x27]; });
  EXPECT_EQ(written.scale_factors, std::vector<float>({2.0f}));
  EXPECT_EQ(written.thresholds, std::vector<uint16_t>({300, 400}));
  EXPECT_EQ(Board([](MasterBoardModel& m) { return m.calibrations[0]; }), master_before);
}

TEST_F(DeviceToolsTest, CalibrationRetrievalFailuresClearTheDataAndStopAtTheFailingStep) {
  const struct {
    const char* name;
    bool relayed;
    std::function<void(MasterBoardModel&)> fault;
    std::size_t cal_requests;  // 0x80 requests the board saw (direct) or delivered (relayed)
  } cases[] = {
      {"wrong type", false, [](MasterBoardModel& m) { m.cal_wrong_type_answers = 1; }, 1},
      {"wrong step", false, [](MasterBoardModel& m) { m.cal_wrong_step_answers = 1; }, 1},
      {"short answer", false, [](MasterBoardModel& m) { m.cal_short_answers = 1; }, 1},
      {"second step short", false,
       [](MasterBoardModel& m) {
         m.cal_short_answers = 0;
         m.cal_wrong_step_answers = 0;
         m.direct_handlers[0x80] = [](const MasterFrame& r) -> std::optional<MasterFrame> {
           if (r.data[0] == 1) return MasterFrame{1, 0, 0x80, {1, 1, 0, 0, 0xC0, 0x3F}};
           return MasterFrame{1, 0, 0x80, {2, 3, 1, 0, 2, 0}};
         };
       },
       2},
      {"relayed wrong step", true, [](MasterBoardModel& m) { m.cal_wrong_step_answers = 1; }, 1},
      {"relayed wrong type", true, [](MasterBoardModel& m) { m.cal_wrong_type_answers = 1; }, 1},
      {"relayed absent", true, [](MasterBoardModel& m) { m.calibrations.erase(0x0D); m.eeproms.erase(0x0D); }, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Board([](MasterBoardModel& m) {
      m.received.clear();
      m.delivered.clear();
      m.direct_handlers.clear();
    });
    CalibrationTransfer cal(Env());
    cal.Open();
    ASSERT_EQ(cal.LoadFile(TestDataPath("cal/two-of-each.cal")), ToolOutcome::Done);
    ASSERT_NE(cal.ScaleFactorBox(), kCalNoData);
    if (c.relayed) cal.SetEquipment(kCalEquipmentK35);
    Board(c.fault);
    EXPECT_EQ(cal.RetrieveFromDevice(), ToolOutcome::Failed);
    EXPECT_EQ(cal.Data(), CalibrationData{});
    EXPECT_EQ(cal.ScaleFactorBox(), kCalNoData);
    EXPECT_EQ(cal.ThresholdBox(), kCalNoData);
    EXPECT_TRUE(ui.shown.empty());
    const auto requests = Board([&](MasterBoardModel& m) {
      std::size_t n = 0;
      for (const auto& f : c.relayed ? m.delivered : m.received) n += f.type == 0x80;
      return n;
    });
    EXPECT_EQ(requests, c.cal_requests);
  }
}

TEST_F(DeviceToolsTest, CalibrationSendOfNothingSendsZeroCountsAndOversizedListsAreRefused) {
  CalibrationTransfer cal(Env());
  cal.Open();
  ASSERT_EQ(cal.SendToDevice(), ToolOutcome::Done);
  auto frames = Received();
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(sim::EncodeMasterFrame(frames[0]), Bytes({0x00, 0x01, 0x81, 0x02, 0x01, 0x00, 0xFF, 0x7B}));
  EXPECT_EQ(frames[1].data, Bytes({0x02, 0x00}));

  TempDir dir;
  const struct {
    std::size_t factors;
    std::size_t thresholds;
    bool relayed;
    bool refused;
  } cases[] = {
      {63, 126, false, false}, {64, 0, false, true}, {0, 127, false, true},
      {62, 125, true, false},  {63, 0, true, true},  {0, 126, true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.factors) + " " + std::to_string(c.thresholds) + " " + std::to_string(c.relayed));
    CalibrationData data;
    data.scale_factors.assign(c.factors, 1.0f);
    data.thresholds.assign(c.thresholds, 9);
    WriteBytes(dir.File("big.cal"), data.Serialize());
    ASSERT_EQ(cal.LoadFile(dir.File("big.cal")), ToolOutcome::Done);
    cal.SetEquipment(c.relayed ? kCalEquipmentK35 : 0);
    ui.shown.clear();
    Board([](MasterBoardModel& m) { m.received.clear(); });
    const ToolOutcome outcome = cal.SendToDevice();
    if (c.refused) {
      EXPECT_EQ(outcome, ToolOutcome::NothingDone);
      ASSERT_EQ(ui.shown.size(), 1u);
      EXPECT_EQ(ui.shown[0].message.icon, MessageIcon::Error);
      EXPECT_TRUE(Received().empty());
    } else {
      EXPECT_EQ(outcome, ToolOutcome::Done);
      EXPECT_TRUE(ui.shown.empty());
      const auto cal_held = Board([&](MasterBoardModel& m) { return m.calibrations[c.relayed ? 0x0D : 0]; });
      EXPECT_EQ(cal_held.scale_factors.size(), c.factors);
      EXPECT_EQ(cal_held.thresholds.size(), c.thresholds);
    }
  }
}

TEST_F(DeviceToolsTest, CalibrationSendStopsAtAFailedFirstStep) {
  CalibrationTransfer cal(Env());
  cal.Open();
  Board([](MasterBoardModel& m) { m.cal_wrong_step_answers = 1; });
  EXPECT_EQ(cal.SendToDevice(), ToolOutcome::Failed);
  EXPECT_EQ(Received().size(), 1u);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(DeviceToolsTest, CalibrationFilesRefusedChangeNothingAndSavesGoThroughTheDialogs) {
  TempDir dir;
  CalibrationTransfer cal(Env());
  cal.Open();
  ASSERT_EQ(cal.LoadFile(TestDataPath("cal/two-of-each.cal")), ToolOutcome::Done);
  const CalibrationData loaded = cal.Data();

  WriteBytes(dir.File("cut.cal"), {2, 0, 1, 0});
  WriteBytes(dir.File("long.cal"), {0, 0, 0, 0, 0});
  ASSERT_EQ(::mkfifo(dir.File("fifo.cal").c_str(), 0600), 0);
  const struct {
    std::string path;
    std::string message;
  } cases[] = {
      {dir.File("cut.cal"), "The file " + dir.File("cut.cal") + " is not a calibration file: it ends before all its values."},
      {dir.File("long.cal"),
       "The file " + dir.File("long.cal") + " is not a calibration file: it holds more bytes than its values."},
      {dir.File("fifo.cal"), "The file " + dir.File("fifo.cal") + " could not be read."},
      {dir.Path(), "The file " + dir.Path() + " could not be read."},
      {dir.File("missing.cal"), "The file " + dir.File("missing.cal") + " could not be read."},
  };
  for (const auto& c : cases) {
    ui.shown.clear();
    EXPECT_EQ(cal.LoadFile(c.path), ToolOutcome::Failed) << c.path;
    EXPECT_EQ(ui.LastText(), c.message);
    EXPECT_EQ(cal.Data(), loaded) << c.path;
  }

  ui.files = {dir.File("out.cal"), dir.File("out.txt"), std::nullopt};
  EXPECT_EQ(cal.SaveToFile(), ToolOutcome::Done);
  EXPECT_EQ(ReadBytes(dir.File("out.cal")), ReadBytes(TestDataPath("cal/two-of-each.cal")));
  EXPECT_EQ(cal.SaveAsTextFile(), ToolOutcome::Done);
  EXPECT_EQ(cal.SaveToFile(), ToolOutcome::NothingDone);
  ASSERT_EQ(ui.file_requests.size(), 3u);
  EXPECT_FALSE(ui.file_requests[0].open);
  EXPECT_EQ(ui.file_requests[0].filter, kCalFileFilter);
  EXPECT_EQ(ui.file_requests[0].default_extension, "cal");
  EXPECT_TRUE(ui.file_requests[0].overwrite_prompt);
  EXPECT_EQ(ui.file_requests[1].filter, kCalTextFilter);
  EXPECT_EQ(ui.file_requests[1].default_extension, "txt");

  // A save the disk refuses says so.
  ui.shown.clear();
  EXPECT_EQ(cal.SaveFile(dir.File("no/such/folder.cal")), ToolOutcome::Failed);
  EXPECT_EQ(ui.LastText(), "The file " + dir.File("no/such/folder.cal") + " could not be written.");

  ui.files = {dir.File("out.cal")};
  CalibrationTransfer other(Env());
  other.Open();
  EXPECT_EQ(other.LoadFromFile(), ToolOutcome::Done);
  EXPECT_EQ(other.Data(), loaded);
  EXPECT_TRUE(ui.file_requests.back().open);
  EXPECT_TRUE(ui.file_requests.back().must_exist);
}

// A failed exchange keeps the link's own reason, so a missing sub-device or a
// read the board refused is not reported as silence.
TEST_F(DeviceToolsTest, AFailedCalibrationStepKeepsTheRelaysReason) {
  static constexpr uint8_t kSub = 0x20;
  struct Case {
    const char* name;
    std::function<void(MasterBoardModel&)> fault;
    LinkErrorKind want;
  };
  const Case cases[] = {
      {"device not in the chain",
       [](MasterBoardModel& m) {
         m.eeproms.erase(kSub);
         m.calibrations.erase(kSub);
       },
       LinkErrorKind::NoDevice},
      {"read failed", [](MasterBoardModel& m) { m.read_failed_devices.insert(kSub); }, LinkErrorKind::Refused},
      {"wrong relay address", [](MasterBoardModel& m) { m.wrong_address_replies = 1; }, LinkErrorKind::WrongType},
  };
  for (const auto& c : cases) {
    Board([&](MasterBoardModel& m) {
      m.eeproms[kSub] = std::vector<uint8_t>(64, 0);
      m.read_failed_devices.clear();
      m.wrong_address_replies = 0;
      m.calibrations[kSub] = {{1.0f}, {2}};
      c.fault(m);
    });
    const auto read = devicepacket::ReadCalibrationStep(port, kSub, 1, sizeof(float));
    EXPECT_FALSE(read.ok()) << c.name;
    if (!read.ok()) {
      EXPECT_EQ(read.error().kind, c.want) << c.name;
    }
  }
}

TEST_F(DeviceToolsTest, SlowCalibrationRetrievalFromASilentSubDeviceFails) {
  Board([](MasterBoardModel& m) { m.cal_silent_answers = 1; });
  CalibrationTransfer cal(Env());
  cal.Open();
  cal.SetEquipment(kCalEquipmentK35);
  EXPECT_EQ(cal.RetrieveFromDevice(), ToolOutcome::Failed);
  EXPECT_EQ(cal.ScaleFactorBox(), kCalNoData);
}

}  // namespace
}  // namespace corvel::test
