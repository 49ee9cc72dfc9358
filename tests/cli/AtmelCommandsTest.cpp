// corvel-cli atmel ... against the virtual AVR started by --simulate.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <string>

#include "core/format/hex/IntelHex.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

struct CliRun {
  int status = -1;
  std::string output;
};

// Runs corvel-cli with its own settings file; stdout and stderr together.
CliRun Cli(const TempDir& dir, const std::string& args) {
  const std::string command = std::string(CORVEL_BINARY_DIR) + "/src/cli/corvel-cli --settings " +
                              dir.File("corvel.ini") + " " + args + " 2>&1 </dev/null";
  CliRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe)) run.output += buffer.data();
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

bool Has(const CliRun& run, const std::string& text) { return run.output.find(text) != std::string::npos; }

TEST(AtmelCommands, ExitStatusFollowsTheVerdict) {
  TempDir dir;
  const std::string flash = TestDataPath("atmel-sample.hex");
  const std::string eeprom = TestDataPath("atmel-sample.eep");
  struct Case {
    std::string args;
    int status;
    std::string text;
  };
  const Case cases[] = {
      {"atmel versions", 0, "Current Boot Loader Version: 1 2 3 4"},
      {"--high-speed --yes atmel program --flash " + flash + " --eeprom " + eeprom, 0, "Programming Successful!"},
      // The EEPROM question goes unanswered without --yes: no verdict.
      {"--high-speed atmel program --flash " + flash + " --eeprom " + eeprom, 1, "Answer: No"},
      {"--high-speed atmel program --keep-eeprom --no-verify --no-erase --flash " + flash, 0,
       "Programming Successful!"},
      {"atmel program --keep-eeprom --flash " + dir.File("missing.hex"), 1, "Invalid Flash file!"},
      {"atmel start", 0, "Starting application... OK"},
      {"--high-speed atmel read-eeprom --view", 0, "0x000FF0: FF"},
      {"atmel read-eeprom", 2, "required"},
      {"atmel program --eeprom x.eep --keep-eeprom", 2, "excludes"},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli(dir, "--simulate avr " + c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
    EXPECT_TRUE(Has(run, c.text)) << c.args << "\n" << run.output;
  }
}

TEST(AtmelCommands, EachButtonsOutcomeGivesTheExitStatus) {
  TempDir dir;
  struct Case {
    std::string args;
    int status;
    std::string text;
  };
  const Case cases[] = {
      {"atmel connect", 0, "Established connection!"},
      // A disk that refuses the file: read, but not saved.
      {"atmel read-eeprom -o " + dir.File("no-such-folder/e.eep"), 1, "could not be written."},
      // A file on disk that is not Intel HEX: nothing to compare with.
      {"atmel read-eeprom --verify " + dir.File("missing.eep"), 1, "Invalid EEPROM file on disk!"},
      // Programming with nothing to program: no verdict, no success.
      {"--yes atmel program --keep-eeprom --flash " + dir.File("app.bin"), 1, "Answer: Yes"},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli(dir, "--simulate avr " + c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
    EXPECT_TRUE(Has(run, c.text)) << c.args << "\n" << run.output;
    EXPECT_FALSE(Has(run, "Saved ")) << c.args << "\n" << run.output;
  }
}

// The window goes on without a file that does not load; a console run that
// was given the file exits 1 and says why, even when the other file was
// programmed and the device says "Programming Successful!".
TEST(AtmelCommands, AGivenFileThatWasNotProgrammedFailsTheRun) {
  TempDir dir;
  const std::string flash = TestDataPath("atmel-sample.hex");
  const std::string eeprom = TestDataPath("atmel-sample.eep");
  const std::string missing_hex = dir.File("MISSING.hex");
  const std::string missing_eep = dir.File("MISSING.eep");
  const std::string broken_hex = dir.File("broken.hex");
  const std::string broken_eep = dir.File("broken.eep");
  WriteText(broken_hex, ":10000000\r\n");
  WriteText(broken_eep, "not intel hex at all\r\n");
  struct Case {
    std::string files;
    std::string text;
  };
  const Case cases[] = {
      {"--flash " + missing_hex + " --eeprom " + eeprom, "The flash file " + missing_hex + " cannot be opened"},
      {"--flash " + broken_hex + " --eeprom " + eeprom, "The flash file " + broken_hex + " is not a valid"},
      {"--flash " + flash + " --eeprom " + missing_eep, "The EEPROM file " + missing_eep + " cannot be opened"},
      {"--flash " + flash + " --eeprom " + broken_eep, "The EEPROM file " + broken_eep + " is not a valid"},
      {"--flash " + dir.File("app.bin") + " --eeprom " + eeprom, "does not have the file type"},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli(dir, "--simulate avr --yes atmel program --no-erase --no-verify " + c.files);
    EXPECT_EQ(run.status, 1) << c.files << "\n" << run.output;
    EXPECT_TRUE(Has(run, c.text)) << c.files << "\n" << run.output;
  }
  // Both files good: done.
  const CliRun run = Cli(dir, "--simulate avr --yes atmel program --no-erase --no-verify --flash " + flash +
                                  " --eeprom " + eeprom);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_FALSE(Has(run, "not programmed")) << run.output;
}

TEST(AtmelCommands, SlowEquipmentThatIsNoBootLoaderExitsOne) {
  TempDir dir;
  struct Case {
    std::string args;
    std::string text;
  };
  const Case cases[] = {
      {"atmel connect", "Failed to establish communications."},
      {"atmel start", "Starting application... FAIL"},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli(dir, "--simulate echo " + c.args);
    EXPECT_EQ(run.status, 1) << c.args << "\n" << run.output;
    EXPECT_TRUE(Has(run, c.text)) << c.args << "\n" << run.output;
  }
}

TEST(AtmelCommands, ReadBackSavesAndVerifies) {
  TempDir dir;
  const std::string out = dir.File("device.hex");
  CliRun run = Cli(dir, "--simulate avr --high-speed atmel read-flash -o " + out);
  ASSERT_EQ(run.status, 0) << run.output;
  std::vector<uint8_t> saved(0x20000);
  ASSERT_TRUE(LoadIntelHex(out, saved.data(), 0x20000, false));
  EXPECT_EQ(saved[0x1DEFF], 0xFF);
  EXPECT_NE(saved[0x1E000], 0xFF);  // the boot loader is read too

  run = Cli(dir, "--simulate avr --high-speed atmel read-flash --verify " + out);
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(Has(run, "Verified Flash File Successfully!"));
  run = Cli(dir, "--simulate avr --high-speed atmel read-flash --verify " + TestDataPath("atmel-sample.hex"));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(Has(run, "Application section does not match selected file on disk!"));
}

}  // namespace
}  // namespace corvel::test
