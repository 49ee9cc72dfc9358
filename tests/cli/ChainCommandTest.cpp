// corvel-cli chain read, run as a program against the virtual master board.
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <filesystem>

#include "support/TestSupport.h"

namespace corvel::test {
namespace {

struct CliRun {
  int status = -1;
  std::string output;
};

CliRun RunCli(const std::string& args) {
  const std::string command = std::string(CORVEL_BINARY_DIR) + "/src/cli/corvel-cli " + args + " 2>&1";
  CliRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 512> buffer;
  while (std::fgets(buffer.data(), buffer.size(), pipe)) run.output += buffer.data();
  const int status = ::pclose(pipe);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(ChainCommand, OptionsAreCheckedAndOtherEquipmentClosesAtOnce) {
  TempDir dir;
  const std::string common = "--settings " + dir.File("s.ini") + " --simulate master chain read ";
  const struct {
    std::string args;
    int status;
    const char* output;
  } cases[] = {
      {"--equipment 2 --out " + dir.File("k35"), 0, "Completed reading EEPROM files for all devices present\n"},
      {"--equipment 7 --out " + dir.Path(), 2, nullptr},
      {"--equipment 1", 2, nullptr},
      {"--equipment 1 --out " + dir.Path() + " --serial-position 3", 2, nullptr},
      {"--equipment 1 --out " + dir.Path() + " --serials " + dir.File("none.txt"), 2, nullptr},
  };
  for (const auto& c : cases) {
    const CliRun run = RunCli(common + c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.output;
    if (c.output) {
      EXPECT_EQ(run.output, c.output) << c.args;
    }
  }
  // The folder is made, and nothing lands in it.
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("k35")));
  EXPECT_TRUE(std::filesystem::is_empty(dir.File("k35")));
}

TEST(ChainCommand, SlowWholeChainWritesEveryFileAndStoresTheFields) {
  TempDir dir;
  WriteText(dir.File("serials.txt"), "A1\nB2\n");
  const CliRun run = RunCli("--settings " + dir.File("s.ini") + " --simulate master chain read --equipment 1 --out " +
                         dir.File("out") + " --prefix TX1 --suffix v2 --serials " + dir.File("serials.txt") +
                         " --serial-position 2");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_NE(run.output.find("Wrote " + dir.File("out/TX1_QXCT_207_v2_A1.eep")), std::string::npos) << run.output;
  EXPECT_NE(run.output.find("Wrote " + dir.File("out/TX1_EXT_IF_v2_B2.eep")), std::string::npos);
  EXPECT_NE(run.output.find("Wrote " + dir.File("out/TX1_EXCITER_B_QXCT_207_v2_UNKNOWN_SERIAL.eep")),
            std::string::npos);
  int files = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.File("out"))) ++files;
  EXPECT_EQ(files, 14);
  const std::string settings = [&] {
    std::vector<uint8_t> bytes = ReadBytes(dir.File("s.ini"));
    return std::string(bytes.begin(), bytes.end());
  }();
  EXPECT_NE(settings.find("Last EEP File Prefix=TX1"), std::string::npos) << settings;
  EXPECT_NE(settings.find("Serial Number Position=2"), std::string::npos) << settings;
}

}  // namespace
}  // namespace corvel::test
