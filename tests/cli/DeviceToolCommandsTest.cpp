// corvel-cli packet, modem and cal, run as a program against the virtual
// master board.
#include <filesystem>

#include "core/tool/devicetools/CalibrationData.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

TEST(DeviceToolCommands, PacketAndModemCommandsExitFromTheirOutcome) {
  TempDir dir;
  const std::string sim = "--settings " + dir.File("s.ini") + " --simulate master ";
  const struct {
    std::string args;
    int status;
    std::vector<std::string> output;
  } cases[] = {
      {"packet send --receiver 0 --sender 1 --type 0x7c --data '1 2 3'", 0,
       {"Response:\nPacket Contents:\nReceiver Address: 0x01\nSender Address: 0x00\nPacket Type: 0x7C\n"
        "Packet Data: \n0x01 0x02 0x03 \n"}},
      {"packet send --receiver 5 --sender 1 --type 0x7c", 1, {"Response:\nPacket not received: Check connections\n"}},
      {"packet send --receiver 0 --sender 1", 2, {}},
      {"modem set --dial-init ATZ --dial-command ATDT1", 0,
       {"Settings sent successfully!", "Dial-up init:\nATZ\n\nLeased line init:\n\n\nDial-up command:\nATDT1\n"}},
      {"modem get", 0, {"Current reported settings:\nDial-up init:\n"}},
  };
  for (const auto& c : cases) {
    const CliRun run = RunCorvelCli(sim + c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
    for (const auto& text : c.output) EXPECT_NE(run.output.find(text), std::string::npos) << c.args << "\n" << run.output;
  }
  // What set sent is stored as the window stores its edits.
  const auto ini = ReadBytes(dir.File("s.ini"));
  const std::string settings(ini.begin(), ini.end());
  EXPECT_NE(settings.find("MeridelModemInit_dial_up_command_string=ATDT1"), std::string::npos) << settings;
}

TEST(DeviceToolCommands, CalibrationRoundTripThroughFilesAndTheDevice) {
  TempDir dir;
  const std::string sim = "--settings " + dir.File("s.ini") + " --simulate master ";
  const std::string data = TestDataPath("cal/two-of-each.cal");
  const struct {
    std::string args;
    int status;
    std::string output;
  } cases[] = {
      {"cal show " + data + " --equipment 2", 0,
       "Meter Scale Factors:\n  PA Current    0: 1.500000\n FM2 Fwd Pwr    1: -0.250000\n"
       "Analog Threshold Values:\n        SWR Shutback    0:      300\n      Contrast Level    1:    65535\n"},
      {"cal text " + data + " -o " + dir.File("t.txt"), 0, ""},
      {"cal send " + data + " --equipment 2 --position c", 0, "Sent 2 scale factors and 2 threshold values\n"},
      {"cal retrieve -o " + dir.File("back.cal") + " --equipment 2 --position C --text " + dir.File("back.txt"), 0,
       "Wrote " + dir.File("back.cal") + "\n"},
      {"cal retrieve -o " + dir.File("none.cal") + " --equipment 3 --relay --position B", 1, "nothing written"},
      {"cal retrieve -o " + dir.File("none.cal") + " --position J", 2, ""},
      {"cal show " + dir.File("missing.cal"), 1, "could not be read."},
  };
  for (const auto& c : cases) {
    const CliRun run = RunCorvelCli(sim + c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
    EXPECT_NE(run.output.find(c.output), std::string::npos) << c.args << "\n" << run.output;
  }
  // Each run starts a fresh virtual board: the K35 at position C holds its own
  // values (15.25, 15.5, 15.75; 1500, 1501).
  CalibrationData k35;
  k35.thresholds = {1500, 1501};
  k35.scale_factors = {15.25f, 15.5f, 15.75f};
  EXPECT_EQ(ReadBytes(dir.File("back.cal")), k35.Serialize());
  EXPECT_FALSE(std::filesystem::exists(dir.File("none.cal")));
  const auto text = ReadBytes(dir.File("t.txt"));
  EXPECT_EQ(std::string(text.begin(), text.end()),
            "Unknown NewScaleFacts:\r\n   0: 1.500000\r\n   1: -0.250000\r\n\r\n"
            "Unknown Analog Thresholds:\r\n   0:      300\r\n   1:    65535\r\n\r\n");
  const auto back_text = ReadBytes(dir.File("back.txt"));
  EXPECT_EQ(std::string(back_text.begin(), back_text.begin() + 29), "K35 FM Exciter NewScaleFacts:");
}

}  // namespace
}  // namespace corvel::test
