// corvel-cli dsp ... against the virtual DSP loader started by --simulate.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <string>

#include "core/format/hex/IntelHex.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

CliRun DspCli(const TempDir& dir, const std::string& args) { return RunCli(dir, "--simulate dsp " + args); }

TEST(DspCommands, ExitStatusFollowsTheOutcome) {
  TempDir dir;
  std::vector<uint8_t> lut(0x20000, 0xFF);
  for (std::size_t i = 0; i < 0x800; ++i) lut[i] = static_cast<uint8_t>(i % 7);
  ASSERT_TRUE(SaveIntelHex(dir.File("lut.hex"), lut.data(), 0x20000));
  ASSERT_TRUE(SaveIntelHex(dir.File("blank.hex"), std::vector<uint8_t>(0x20000, 0xFF).data(), 0x20000));
  WriteBytes(dir.File("cal.bin"), {1, 2, 3, 4});
  struct Case {
    std::string args;
    int status;
    std::string text;
  };
  const Case cases[] = {
      {"dsp connect", 0, "Section 3: FPGA Config (.bit) start 0x00140000 size 0x00060000"},
      {"dsp connect", 0, "Connected to DSP successfully!"},
      {"dsp program --file 1=" + dir.File("lut.hex"), 0, "Programmed successfully!"},
      {"--high-speed dsp program --file 2=" + dir.File("cal.bin"), 0, "Loaded Calibration as a binary file"},
      {"dsp program --file 1=" + dir.File("missing.hex"), 1,
       "The file " + dir.File("missing.hex") + " for row 1 cannot be opened; it was not programmed."},
      {"dsp program --file 1=" + dir.Path(), 1,
       "The file " + dir.Path() + " for row 1 is not a regular file; it was not programmed."},
      {"dsp program --binary 2 --file 2=" + dir.File("lut.hex"), 1, "Invalid Calibration File!"},
      {"dsp read 1 --verify " + dir.File("blank.hex"), 0, "Verified file successfully!"},
      {"dsp read 1 --verify " + dir.File("lut.hex"), 1, "Device flash does not match selected file on disk!"},
      {"dsp read 1 -o " + dir.File("out.hex"), 0, "Saved"},
      {"dsp read 2 --view", 0, "0x001FF0: FF"},
      {"dsp start", 0, "The DSP should now be running."},
      {"dsp read 1", 2, "required"},
      {"dsp program --file 7=x.hex", 2, "K=PATH"},
  };
  for (const auto& c : cases) {
    const CliRun run = DspCli(dir, c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
    EXPECT_NE(run.output.find(c.text), std::string::npos) << c.args << "\n" << run.output;
  }
  std::vector<uint8_t> saved(0x20000, 0);
  ASSERT_TRUE(LoadIntelHex(dir.File("out.hex"), saved.data(), 0x20000));
  EXPECT_EQ(saved, std::vector<uint8_t>(0x20000, 0xFF));
}

}  // namespace
}  // namespace corvel::test
