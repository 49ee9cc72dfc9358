// corvel-cli eeprom export-csv, import-csv, diff and check against the
// shipped samples.
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/format/eeprom/EepromImage.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

const std::string kCli = std::string(CORVEL_BINARY_DIR) + "/src/cli/corvel-cli";
const std::string kSamples = std::string(CORVEL_SOURCE_DIR) + "/data/eeprom/";

struct CliResult {
  int status = -1;
  std::string output;
};

class EepromCsvCommands : public ::testing::Test {
 protected:
  CliResult Cli(const std::string& arguments) {
    const std::string command = "'" + kCli + "' --settings '" + dir.File("settings.ini") + "' --library '" +
                                kSamples + "EEPROM_library_definitions.txt' " + arguments + " 2>&1";
    CliResult run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }
  std::string Sample(const char* name) { return "'" + kSamples + name + "'"; }
  std::string Q(const std::string& path) { return "'" + path + "'"; }
  TempDir dir;
};

TEST_F(EepromCsvCommands, ExportThenImportGivesTheSameImage) {
  const std::string csv = dir.File("v1.csv"), out = dir.File("v1.eep");
  const CliResult exported = Cli("eeprom export-csv " + Sample("controller_v1.eep") +
                           " --type CONTROLLER_V1 --item . -o " + Q(csv));
  ASSERT_EQ(exported.status, 0) << exported.output;
  const std::vector<uint8_t> bytes = ReadBytes(csv);
  const std::string text(bytes.begin(), bytes.end());
  EXPECT_EQ(text.rfind("IDENTITY,ID,\nDWORD,SERIAL,", 0), 0u) << text.substr(0, 80);
  const CliResult imported = Cli("eeprom import-csv " + Sample("controller_v1.eep") + " --type CONTROLLER_V1 --item '' " +
                           Q(csv) + " -o " + Q(out));
  ASSERT_EQ(imported.status, 0) << imported.output;
  const CliResult diff = Cli("eeprom diff " + Sample("controller_v1.eep") + " " + Q(out) + " --type CONTROLLER_V1");
  // Only the char display BYTEs differ: an import takes them as blanks.
  EXPECT_EQ(diff.status, 1) << diff.output;
  std::size_t lines = 0;
  for (std::size_t at = 0; at < diff.output.size(); at = diff.output.find('\n', at) + 1, ++lines) {
    const std::string line = diff.output.substr(at, diff.output.find('\n', at) - at);
    EXPECT_EQ(line.rfind("ID.BUILD_CODE[", 0), 0u) << line;
    EXPECT_EQ(line.substr(line.size() - 4), " |  ") << line;
  }
  EXPECT_EQ(lines, 8u) << diff.output;
}

TEST_F(EepromCsvCommands, AnImportErrorStillWritesTheValuesBeforeIt) {
  const std::string csv = dir.File("bad.csv"), out = dir.File("out.eep");
  WriteText(csv, "BYTE,CONFIG_VERSION,9\nWORD,WRONG,1\n");
  const CliResult run = Cli("eeprom import-csv " + Sample("controller_v1.eep") + " --type CONTROLLER_V1 --item CONFIG_VERSION " +
                      Q(csv) + " -o " + Q(out));
  EXPECT_EQ(run.status, 0) << "one item, one line: the rest is ignored\n" << run.output;
  const CliResult whole = Cli("eeprom import-csv " + Sample("controller_v1.eep") +
                        " --type CONTROLLER_V1 --item ID " + Q(csv) + " -o " + Q(out));
  EXPECT_EQ(whole.status, 1);
  EXPECT_EQ(whole.output, "Import error on line 1: Expected  SERIAL, found CONFIG_VERSION\n");
  EXPECT_TRUE(std::filesystem::exists(out));
}

TEST_F(EepromCsvCommands, DiffListsDifferingItemsAndOneSidedOnesAcrossVersions) {
  const std::string edited = dir.File("edited.eep");
  ASSERT_EQ(Cli("eeprom set " + Sample("controller_v1.eep") + " --type CONTROLLER_V1 RUN_HOURS=77 -o " + Q(edited))
                .status,
            0);
  const CliResult same_type = Cli("eeprom diff " + Sample("controller_v1.eep") + " " + Q(edited) + " --type CONTROLLER_V1");
  EXPECT_EQ(same_type.status, 1);
  EXPECT_NE(same_type.output.find("RUN_HOURS: "), std::string::npos) << same_type.output;
  EXPECT_NE(same_type.output.find(" | 77\n"), std::string::npos) << same_type.output;

  const CliResult versions = Cli("eeprom diff " + Sample("controller_v1.eep") + " " + Sample("controller_v2.eep") +
                           " --type CONTROLLER_V1 --type-b CONTROLLER_V2");
  EXPECT_EQ(versions.status, 1);
  EXPECT_NE(versions.output.find("PA_CURRENT: only in B\n"), std::string::npos) << versions.output;
}

TEST_F(EepromCsvCommands, CheckReportsACorruptedCrcAndFails) {
  HexImage bytes;
  ASSERT_TRUE(bytes.LoadHex(kSamples + "interface.eep", 256));
  const CliResult good = Cli("eeprom check " + Sample("interface.eep") + " --type INTERFACE_BOARD");
  EXPECT_EQ(good.status, 0) << good.output;
  EXPECT_NE(good.output.find("Checksums: all 2 good\n"), std::string::npos) << good.output;
  bytes.data()[15] ^= 0xFF;  // the identity block's CRC-16, low byte
  ASSERT_TRUE(bytes.SaveHex(dir.File("bad.eep")));
  const CliResult bad = Cli("eeprom check " + Q(dir.File("bad.eep")) + " --type INTERFACE_BOARD");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.output.find("ID at 0x000F: stored 0x"), std::string::npos) << bad.output;
  EXPECT_NE(bad.output.find("BAD\n"), std::string::npos) << bad.output;
  const CliResult show = Cli("eeprom show " + Q(dir.File("bad.eep")) + " --type INTERFACE_BOARD");
  EXPECT_EQ(show.status, 0);
  EXPECT_EQ(show.output.rfind("Checksums: 1 of 2 bad: ID (stored 0x", 0), 0u) << show.output;
}

TEST_F(EepromCsvCommands, BadInputsFailWithAMessage) {
  const struct {
    std::string arguments;
    std::string output_start;
  } cases[] = {
      {"export-csv " + Sample("interface.eep") + " --type INTERFACE_BOARD --item NOPE -o " + Q(dir.File("x.csv")),
       "No item NOPE in INTERFACE_BOARD"},
      {"export-csv " + Sample("interface.eep") + " --type INTERFACE_BOARD --item . -o " +
           Q(dir.File("no/such/dir/x.csv")),
       "The file "},
      {"import-csv " + Sample("interface.eep") + " --type INTERFACE_BOARD --item . " + Q(dir.Path()) + " -o " +
           Q(dir.File("x.eep")),
       "The CSV file "},
      {"diff " + Sample("interface.eep") + " " + Sample("controller_v1.eep") + " --type INTERFACE_BOARD",
       "Invalid file!"},
  };
  for (const auto& c : cases) {
    const CliResult run = Cli("eeprom " + c.arguments);
    EXPECT_EQ(run.status, 1) << c.arguments;
    EXPECT_EQ(run.output.rfind(c.output_start, 0), 0u) << c.arguments << "\n" << run.output;
  }
}

}  // namespace
}  // namespace corvel::test
