// "Upload DSP Firmware" through its controller with a scripted person,
// against the virtual DSP loader over a pseudo-terminal.
#include <gtest/gtest.h>

#include "DspTestSupport.h"
#include "core/format/hex/IntelHex.h"
#include "core/tool/dsp/DspUploader.h"

namespace corvel::test {
namespace {

using sim::VirtualDsp;

// A small board so whole runs take moments: 0x2000-byte blocks and pages.
VirtualDsp::Map SmallMap(int sections = 5) {
  VirtualDsp::Map m;
  m.board_name = "SMALL";
  m.block_size = 0x2000;
  const std::vector<VirtualDsp::Section> all = {
      {"Firmware", "ldr", 0x10000, 0x4000, 1, 0, 0},
      {"LUT", "lut", 0x20000, 0x2000, 0, 0, 0},
      {"Calibration", "cal", 0x30000, 0x2000, 0, 1, 0},
      {"FPGA Config", "BIT", 0x40000, 0x4000, 0, 0, 0},
      {"FPGA Config 2", "rbt", 0x50000, 0x4000, 0, 0, 1},
  };
  m.sections.assign(all.begin(), all.begin() + sections);
  return m;
}

class DspUploaderTest : public DspTest {
 protected:
  void StartBoard(const std::function<void(VirtualDsp&)>& more = {}, int sections = 5) {
    StartDsp([&](VirtualDsp& m) {
      m.map = SmallMap(sections);
      if (more) more(m);
    });
  }
  std::string HexFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir.File(name);
    EXPECT_TRUE(SaveIntelHex(path, bytes.data(), static_cast<uint32_t>(bytes.size())));
    return path;
  }
  std::string BinFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir.File(name);
    WriteBytes(path, bytes);
    return path;
  }
  TempDir dir;
};

TEST_F(DspUploaderTest, RowsFollowTheMap) {
  StartBoard({}, 3);
  store.PutInt("SMALLDSPLoaderDlg_progFile3", 1);
  DspUploader u(Env());
  u.Open();
  EXPECT_EQ(u.Title(), "Upload DSP Firmware (SMALL)");
  EXPECT_TRUE(ui.Showed("Connected to DSP successfully!"));
  for (int k = 0; k < 5; ++k) EXPECT_EQ(u.GetRow(k).visible, k < 3) << k;
  EXPECT_FALSE(u.GetRow(3).program);
  EXPECT_TRUE(u.GetRow(3).label.empty());
  EXPECT_EQ(u.GetRow(1).label, "Please select a LUT File:");
  EXPECT_EQ(u.GetRow(1).program_caption, "Program LUT");
  EXPECT_EQ(u.GetRow(2).read_caption, "Read Calibration");
  EXPECT_TRUE(trace.Contains("DSP Uploader"));
  EXPECT_TRUE(trace.Contains("Connected to DSP on attempt #1"));
  // A row the board does not have cannot be ticked, so no run passes it by.
  EXPECT_FALSE(u.ProgramToggled(3, true));
  EXPECT_FALSE(u.GetRow(3).program);
  EXPECT_TRUE(u.ProgramToggled(2, true));
  EXPECT_TRUE(u.GetRow(2).selected);
}

TEST_F(DspUploaderTest, BinaryBoxFollowsExtensionAndFlags) {
  StartBoard();
  DspUploader u(Env());
  u.Open();
  const bool expected[] = {false, false, false, true, true};  // "BIT", then special flag bit 0
  for (int k = 0; k < 5; ++k) EXPECT_EQ(u.GetRow(k).binary, expected[k]) << k;
}

TEST_F(DspUploaderTest, LoadingFiles) {
  StartBoard();
  DspUploader u(Env());
  u.Open();
  ui.shown.clear();
  const std::vector<uint8_t> short_raw = {'n', 'o', 't', ' ', 'h', 'e', 'x'};
  const std::string text = BinFile("notes.txt", short_raw);
  const std::string too_long = BinFile("long.txt", std::vector<uint8_t>(0x2001, 'x'));
  const std::string hex = HexFile("lut.hex", std::vector<uint8_t>(0x2000, 0x42));

  // Not Intel HEX but short enough: raw bytes, the rest of the buffer blank.
  EXPECT_TRUE(u.LoadRowFile(1, text, true, false));
  EXPECT_EQ(ui.LastText(), "Loaded LUT as a binary file");
  std::vector<uint8_t> expected(0x2000, 0xFF);
  std::copy(short_raw.begin(), short_raw.end(), expected.begin());
  EXPECT_EQ(u.GetRow(1).buffer, expected);
  EXPECT_TRUE(u.GetRow(1).view_enabled);

  // A longer file after it leaves nothing of the first behind.
  EXPECT_TRUE(u.LoadRowFile(1, hex, true, false));
  EXPECT_EQ(ui.LastText(), "Verified LUT File Successfully!");
  EXPECT_EQ(u.GetRow(1).buffer, std::vector<uint8_t>(0x2000, 0x42));
  EXPECT_TRUE(u.LoadRowFile(1, text, true, false));
  EXPECT_EQ(u.GetRow(1).buffer, expected);

  // Too long and not hex: the recovery question, No ends it.
  ui.answers = {Answer::No};
  EXPECT_FALSE(u.LoadRowFile(1, too_long, true, false));
  EXPECT_EQ(ui.LastText(), "The LUT File is improperly formatted. Do you want to try to recover it?");
  EXPECT_FALSE(u.GetRow(1).loaded);
  EXPECT_TRUE(u.GetRow(1).buffer.empty());
  // Yes tries again with recovery and then says it is invalid.
  ui.answers = {Answer::Yes};
  EXPECT_FALSE(u.LoadRowFile(1, too_long, true, false));
  EXPECT_EQ(ui.LastText(), "Invalid LUT File!");
  // With Binary File set there is no question.
  u.SetBinary(1, true);
  EXPECT_FALSE(u.LoadRowFile(1, too_long, true, false));
  EXPECT_EQ(ui.LastText(), "Invalid LUT File!");
  // A missing file and a directory are refused the same way.
  EXPECT_FALSE(u.LoadRowFile(1, dir.File("missing.hex"), true, false));
  EXPECT_FALSE(u.LoadRowFile(1, dir.Path(), true, false));
  EXPECT_EQ(ui.unexpected_questions, 0);
}

TEST_F(DspUploaderTest, EachBoardKeepsItsOwnFiles) {
  StartBoard();
  store.PutText("XDSPLoaderDlg_lastFile1", "/x/lut.lut");
  store.PutInt("XDSPLoaderDlg_progFile1", 1);
  DspUploader u(Env());
  u.Open();
  u.SetPath(0, "/y/fw.ldr");
  u.ProgramToggled(2, true);
  Dsp([](VirtualDsp& m) { m.map.board_name = "X"; });
  ASSERT_EQ(u.Connect(), ToolOutcome::Done);
  EXPECT_EQ(store.GetText("SMALLDSPLoaderDlg_lastFile0", "?"), "/y/fw.ldr");
  EXPECT_EQ(store.GetInt("SMALLDSPLoaderDlg_progFile2", -1), 1);
  EXPECT_EQ(u.GetRow(1).path, "/x/lut.lut");
  EXPECT_TRUE(u.GetRow(1).program);
  EXPECT_EQ(u.GetRow(0).path, "");
  EXPECT_TRUE(u.GetRow(0).program);  // row 0's box defaults to checked
  EXPECT_FALSE(u.GetRow(2).program);
  EXPECT_EQ(u.Title(), "Upload DSP Firmware (X)");
}

TEST_F(DspUploaderTest, ProgramButtonNeedsAConnectionAndACheckedRow) {
  StartBoard([](VirtualDsp& m) { m.faults.silent = true; });
  store.PutInt("UnknownDSPLoaderDlg_progFile0", 1);
  DspUploader u(Env());
  u.ProgramToggled(0, true);
  EXPECT_FALSE(u.ProgramEnabled());  // not connected
  Dsp([](VirtualDsp& m) { m.faults.silent = false; });
  ASSERT_EQ(u.Connect(), ToolOutcome::Done);
  u.ProgramToggled(0, false);
  EXPECT_FALSE(u.ProgramEnabled());
  u.ProgramToggled(0, true);
  EXPECT_TRUE(u.ProgramEnabled());
}

TEST_F(DspUploaderTest, ProgramsTheCheckedRows) {
  struct Case {
    const char* name;
    bool turbo;
  };
  for (const Case c : {Case{"low speed", false}, Case{"high speed", true}}) {
    SCOPED_TRACE(c.name);
    StartBoard();
    app.use_turbo_baud_rate = c.turbo;
    const auto firmware = Compressible(0x4000, 1);
    const auto calibration = Compressible(0x1000, 2);  // raw, shorter than its section
    DspUploader u(Env());
    u.Open();
    u.SetPath(0, HexFile("fw.hex", firmware));
    u.SetPath(2, BinFile("cal.bin", calibration));
    u.ProgramToggled(0, true);
    u.ProgramToggled(2, true);
    EXPECT_EQ(u.ProgramNewFirmware(), ToolOutcome::Done);
    EXPECT_EQ(ui.LastText(), "Programmed successfully!");
    EXPECT_EQ(Flash(0x10000, 0x4000), firmware);
    auto cal = calibration;
    cal.resize(0x2000, 0xFF);
    EXPECT_EQ(Flash(0x30000, 0x2000), cal);
    EXPECT_EQ(Flash(0x32000, 0x2000), cal);  // the copy behind the section
    EXPECT_EQ(Flash(0x20000, 0x2000), std::vector<uint8_t>(0x2000, 0xFF));  // row 1 not checked
    EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.counters.composes; }), 1);
    EXPECT_EQ(port.BaudRate(), 19200u);
    EXPECT_EQ(Dsp([](VirtualDsp& m) { return m.speed; }), 19200u);
    EXPECT_EQ(trace.Contains("Got the proper reply at new baud rate (115200)"), c.turbo);
    EXPECT_TRUE(trace.Contains("Programming Calibration successful"));
    host.reset();
    port.Close();
    ui.shown.clear();
    trace.Clear();
  }
}

TEST_F(DspUploaderTest, FailedRowAsksToRetry) {
  StartBoard([](VirtualDsp& m) { m.faults.ack_commit_at_once = 3; });
  DspUploader u(Env());
  u.Open();
  const auto firmware = Compressible(0x4000, 4);
  u.SetPath(0, HexFile("fw.hex", firmware));
  u.ProgramToggled(0, true);
  ui.answers = {Answer::Yes};
  EXPECT_EQ(u.ProgramNewFirmware(), ToolOutcome::Done);
  EXPECT_TRUE(trace.Contains("Failure in section 0"));
  EXPECT_TRUE(ui.Showed("Programming Failed! Retry?"));
  EXPECT_EQ(ui.LastText(), "Programmed successfully!");
  EXPECT_EQ(Flash(0x10000, 0x4000), firmware);

  Dsp([](VirtualDsp& m) { m.faults.ack_commit_at_once = 3; });
  ui.answers = {Answer::No};
  EXPECT_EQ(u.ProgramNewFirmware(), ToolOutcome::Failed);
  EXPECT_EQ(ui.LastText(), "Programming Failed! Retry?");
}

TEST_F(DspUploaderTest, CheckedRowWithABadFileIsNotASuccess) {
  StartBoard();
  DspUploader u(Env());
  u.Open();
  u.SetPath(1, dir.File("missing.lut"));
  u.ProgramToggled(0, false);
  u.ProgramToggled(1, true);
  ui.answers = {Answer::No, Answer::No};  // no recovery, no retry
  EXPECT_EQ(u.ProgramNewFirmware(), ToolOutcome::Failed);
  EXPECT_FALSE(ui.Showed("Programmed successfully!"));
  EXPECT_TRUE(trace.Contains("Failure in section 1"));
}

TEST_F(DspUploaderTest, ReadBack) {
  StartBoard();
  const auto lut = Compressible(0x2000, 8);
  Dsp([&](VirtualDsp& m) { std::copy(lut.begin(), lut.end(), m.flash.begin() + 0x20000); });
  DspUploader u(Env());
  u.Open();
  const std::string same = HexFile("same.hex", lut);
  auto other_bytes = lut;
  other_bytes[0x1FFF] ^= 1;
  const std::string other = HexFile("other.hex", other_bytes);
  struct Case {
    ReadBackOption option;
    std::optional<std::string> file;
    ToolOutcome outcome;
    const char* last;
  };
  const Case cases[] = {
      {ReadBackOption::Verify, same, ToolOutcome::Done, "Verified file successfully!"},
      {ReadBackOption::Verify, other, ToolOutcome::Failed, "Device flash does not match selected file on disk!"},
      {ReadBackOption::Verify, dir.File("none.hex"), ToolOutcome::Failed, "Invalid file on disk!"},
      {ReadBackOption::Save, dir.File("saved.hex"), ToolOutcome::Done, ""},
      {ReadBackOption::Save, dir.File("no/such/folder.hex"), ToolOutcome::Failed, ""},
      {ReadBackOption::View, std::nullopt, ToolOutcome::Done, ""},
      {ReadBackOption::Cancel, std::nullopt, ToolOutcome::Cancelled, ""},
  };
  for (const auto& c : cases) {
    ui.shown.clear();
    ui.read_back_options = {c.option};
    if (c.file) ui.files = {c.file};
    EXPECT_EQ(u.Read(1), c.outcome) << static_cast<int>(c.option);
    if (*c.last) {
      EXPECT_EQ(ui.LastText(), c.last);
    }
  }
  std::vector<uint8_t> saved(0x2000, 0);
  ASSERT_TRUE(LoadIntelHex(dir.File("saved.hex"), saved.data(), 0x2000));
  EXPECT_EQ(saved, lut);
  EXPECT_EQ(ui.hex_views.size(), 1u);
  EXPECT_EQ(ui.progress.back().caption_id, kCaptionReadingDataFromDevice);
}

TEST_F(DspUploaderTest, ReadWhoseSpeedSwitchFailsGoesOnAtLowSpeed) {
  StartBoard([](VirtualDsp& m) { m.faults.ignore_speed_up = true; });
  app.use_turbo_baud_rate = 1;
  const auto fpga = Compressible(0x4000, 12);
  Dsp([&](VirtualDsp& m) { std::copy(fpga.begin(), fpga.end(), m.flash.begin() + 0x40000); });
  DspUploader u(Env());
  u.Open();
  ui.read_back_options = {ReadBackOption::Save};
  ui.files = {dir.File("fpga.bit")};
  EXPECT_EQ(u.Read(3), ToolOutcome::Done);
  EXPECT_EQ(ReadBytes(dir.File("fpga.bit")), fpga);  // the row is binary: raw bytes
  EXPECT_EQ(port.BaudRate(), 19200u);
}

TEST_F(DspUploaderTest, StartApplication) {
  StartBoard();
  DspUploader u(Env());
  u.Open();
  EXPECT_EQ(u.StartApplication(), ToolOutcome::Done);
  EXPECT_EQ(ui.LastText(), "The DSP should now be running.");
  EXPECT_FALSE(u.Connected());
  EXPECT_EQ(u.StartApplication(), ToolOutcome::Failed);  // the loader is gone now
  EXPECT_EQ(ui.LastText(), "The DSP is not responding. Cycle power and try again.");
}

TEST_F(DspUploaderTest, SlowNoLoaderCannotConnect) {
  StartBoard([](VirtualDsp& m) { m.faults.silent = true; });
  DspUploader u(Env());
  EXPECT_EQ(u.Connect(), ToolOutcome::Failed);
  EXPECT_EQ(ui.LastText(), "Cannot connect to DSP!");
  EXPECT_EQ(u.Title(), "Upload DSP Firmware (Unknown)");
}

}  // namespace
}  // namespace corvel::test
