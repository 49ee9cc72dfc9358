// corvel-cli eeprom: the built program against the shipped sample library.
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>

#include "core/format/eeprom/EepromCompare.h"
#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/tool/eeprom/EepromLibraryReport.h"
#include "core/format/eeprom/EepromImage.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

const std::string kCliFolder = std::string(CORVEL_BINARY_DIR) + "/src/cli/";
const std::string kSampleFolder = std::string(CORVEL_SOURCE_DIR) + "/data/eeprom/";

struct CliRun {
  int status = -1;
  std::string output;  // stdout and stderr
};

class EepromCommands : public ::testing::Test {
 protected:
  // Runs corvel-cli in its own folder, with settings in the scratch folder.
  CliRun Cli(const std::string& arguments) {
    const std::string command = "cd '" + kCliFolder + "' && ./corvel-cli --settings '" + dir.File("settings.ini") +
                                "' " + arguments + " 2>&1";
    CliRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, n);
    const int status = ::pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
  }

  // The sample image decoded in this process, as the utilities window would.
  EepromImage Sample(const std::string& type, const std::string& file, uint32_t size) {
    EXPECT_TRUE(library.Load(kSampleFolder + "EEPROM_library_definitions.txt")) << ui.LastText();
    EepromImage image(library.Instantiate(type));
    EXPECT_TRUE(image.Bytes().LoadHex(file, size)) << file;
    image.Decode();
    image.Encode();
    return image;
  }

  void SetUp() override {
    ASSERT_TRUE(std::filesystem::exists(kCliFolder + "corvel-cli")) << "build corvel-cli first";
  }

  TempDir dir;
  ScriptedUserInterface ui;
  EepromDefinitionLibrary library;
};

TEST_F(EepromCommands, TypesFindsTheLibraryInTheProgramFolder) {
  const std::string expected =
      "File types:\n"
      "  CONTROLLER_V1  4096 bytes\n"
      "  CONTROLLER_V2  4096 bytes\n"
      "  INTERFACE_BOARD  256 bytes  template interface_default.eep\n"
      "Equipment:\n"
      "  TX CONTROLLER\n"
      "    software versions: 1.0, 1.1, 2.0, 2.1\n"
      "  TX INTERFACE\n"
      "    software versions: 3.2\n";
  const CliRun plain = Cli("eeprom types");
  EXPECT_EQ(plain.status, 0);
  EXPECT_EQ(plain.output, expected);
  const CliRun named = Cli("eeprom types --library '" + kSampleFolder + "EEPROM_library_definitions.txt'");
  EXPECT_EQ(named.output, expected);
}

TEST_F(EepromCommands, LibraryErrorsPrintTheMessageAndFail) {
  WriteText(dir.File("bad.txt"), "T -start\nBYTE x -what\nT -end\n");
  WriteText(dir.File("empty.txt"), "// nothing here\n");
  struct Case {
    std::string arguments;
    std::string output;
  };
  const Case cases[] = {
      {"--library '" + dir.File("bad.txt") + "' eeprom types",
       "Incorrect formatting on line 2 of file " + dir.File("bad.txt") + " (Error: Unknown option: what)\n"},
      {"eeprom types --library '" + dir.File("missing.txt") + "'",
       "Cannot open the EEPROM definition library file " + dir.File("missing.txt") + "\n"},
      {"eeprom types --library '" + dir.File("empty.txt") + "'",
       "The EEPROM definition library " + dir.File("empty.txt") + " describes no type\n"},
      {"--library '" + dir.File("bad.txt") + "' eeprom blank --type T -o '" + dir.File("out.eep") + "'",
       "Incorrect formatting on line 2 of file " + dir.File("bad.txt") + " (Error: Unknown option: what)\n"},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli(c.arguments);
    EXPECT_EQ(run.status, 1) << c.arguments;
    EXPECT_EQ(run.output, c.output) << c.arguments;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("out.eep")));
}

TEST_F(EepromCommands, ShowPrintsTheSaveAsTextListing) {
  const struct {
    const char* type;
    const char* file;
    uint32_t size;
  } cases[] = {
      {"INTERFACE_BOARD", "interface.eep", 256},
      {"controller_v2", "controller_v2.eep", 4096},
      {"CONTROLLER_V1", "controller_v1.eep", 4096},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli(std::string("eeprom show ") + kSampleFolder + c.file + " --type " + c.type);
    EXPECT_EQ(run.status, 0) << c.file;
    const EepromImage image = Sample(c.type, kSampleFolder + c.file, c.size);
    // The samples hold fresh checksum fields: the health line says so first.
    const auto health = CheckChecksums(*image.Root(), image.Bytes());
    EXPECT_EQ(run.output, ChecksumHealthLine(health) + "\n" + image.Text()) << c.file;
    EXPECT_EQ(run.output.rfind("Checksums: all ", 0), 0u) << run.output;
  }
  // A larger EEPROM size reads the same values.
  const CliRun larger = Cli("eeprom show " + kSampleFolder + "interface.eep --type INTERFACE_BOARD --size 512");
  const EepromImage interface = Sample("INTERFACE_BOARD", kSampleFolder + "interface.eep", 256);
  EXPECT_EQ(larger.output, ChecksumHealthLine(CheckChecksums(*interface.Root(), interface.Bytes())) + "\n" +
                               interface.Text());
}

TEST_F(EepromCommands, ShowRefusesTypesAndFilesThatDoNotFit) {
  const CliRun unknown = Cli("eeprom show " + kSampleFolder + "interface.eep --type NO_SUCH_BOARD");
  EXPECT_EQ(unknown.status, 1);
  EXPECT_EQ(unknown.output, "Type not found!\n");
  const CliRun too_big = Cli("eeprom show " + kSampleFolder + "controller_v1.eep --type INTERFACE_BOARD");
  EXPECT_EQ(too_big.status, 1);
  EXPECT_EQ(too_big.output, "Invalid file!\n");
}

TEST_F(EepromCommands, BlankWritesZeroValuesValidChecksumsAndFFElsewhere) {
  const std::string out = dir.File("blank.eep");
  const CliRun run = Cli("eeprom blank --type INTERFACE_BOARD --size 300 -o '" + out + "'");
  ASSERT_EQ(run.status, 0) << run.output;
  EXPECT_EQ(run.output, "");
  HexImage bytes;
  ASSERT_TRUE(bytes.LoadHex(out, 300));
  const uint8_t* b = bytes.data();
  // IDENTITY: 15 zero bytes, then the CRC-16 of them.
  const uint16_t identity_crc = Crc16Update(kCrc16Start, std::vector<uint8_t>(15, 0));
  EXPECT_EQ(b[15] | b[16] << 8, identity_crc);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(b[i], 0) << i;
  for (int i = 17; i < 46; ++i) EXPECT_EQ(b[i], 0) << i;
  for (int i = 46; i < 254; ++i) EXPECT_EQ(b[i], 0xFF) << "skipped byte " << i;
  // The board's byte sum counts the identity's CRC field and nothing skipped.
  EXPECT_EQ(b[254] | b[255] << 8, ((identity_crc & 0xFF) + (identity_crc >> 8)) & 0xFFFF);
  for (int i = 256; i < 300; ++i) EXPECT_EQ(b[i], 0xFF) << "beyond the description " << i;
}

TEST_F(EepromCommands, SetEditsValuesByPathAndReencodes) {
  const std::string out = dir.File("edited.eep");
  const CliRun run = Cli("eeprom set " + kSampleFolder +
                      "controller_v1.eep --type CONTROLLER_V1 CONTROLLER_V1.ID.SERIAL=1234 "
                      "forward_power.gain[7]=2.5 OPERATING_MODE=0x1ffff -o '" + out + "'");
  ASSERT_EQ(run.status, 0) << run.output;
  EepromImage edited = Sample("CONTROLLER_V1", out, 4096);
  EXPECT_EQ(FindItemByPath(*edited.Root(), "ID.SERIAL")->dword_value, 1234u);
  EXPECT_EQ(FindItemByPath(*edited.Root(), "FORWARD_POWER.GAIN[7]")->float_value, 2.5f);
  EXPECT_EQ(FindItemByPath(*edited.Root(), "OPERATING_MODE")->word_value, 0xFFFF);
  // The same three edits made here on the sample give the saved bytes exactly:
  // nothing else changed and every checksum field was computed afresh.
  EepromImage expected = Sample("CONTROLLER_V1", kSampleFolder + "controller_v1.eep", 4096);
  EepromItem& root = *expected.Root();
  EXPECT_TRUE(expected.EditValue(*FindItemByPath(root, "ID.SERIAL"), "1234").changed);
  EXPECT_TRUE(expected.EditValue(*FindItemByPath(root, "FORWARD_POWER.GAIN[7]"), "2.5").changed);
  EXPECT_TRUE(expected.EditValue(*FindItemByPath(root, "OPERATING_MODE"), "0xFFFF").changed);
  HexImage saved;
  ASSERT_TRUE(saved.LoadHex(out, 4096));
  const std::vector<uint8_t> want(expected.Bytes().data(), expected.Bytes().data() + 4096);
  const std::vector<uint8_t> got(saved.data(), saved.data() + 4096);
  EXPECT_EQ(got, want);
}

TEST_F(EepromCommands, SetRefusesWhatItCannotEdit) {
  const std::string out = dir.File("never.eep");
  const std::string file = kSampleFolder + "controller_v1.eep --type CONTROLLER_V1 ";
  struct Case {
    std::string assignment;
    std::string output;
  };
  const std::string identity =
      Sample("CONTROLLER_V1", kSampleFolder + "controller_v1.eep", 4096).Root()->Member(0).LabelText();
  const Case cases[] = {
      {"ID.NOPE=1", "No item ID.NOPE in CONTROLLER_V1\n"},
      {"ID.SERIAL=12z", "Cannot read \"12z\" as the value of DWORD SERIAL\n"},
      {"RESERVED=1", "Skipped space cannot be edited: RESERVED\n"},
      {"ID=1",
       "Please edit the sub items instead. Cannot directly edit CONTROLLER_V1:: " + identity + "\n"},
      {"SERIAL", "Expected PATH=VALUE, found SERIAL\n"},
  };
  for (const auto& c : cases) {
    const CliRun run = Cli("eeprom set " + file + c.assignment + " -o '" + out + "'");
    EXPECT_EQ(run.status, 1) << c.assignment;
    EXPECT_EQ(run.output, c.output) << c.assignment;
    EXPECT_FALSE(std::filesystem::exists(out)) << c.assignment;
  }
}

TEST(EepromSampleLibrary, TheShippedLibraryLoadsAndItsTypesFillTheirEeproms) {
  ScriptedUserInterface ui;
  EepromDefinitionLibrary library;
  ASSERT_TRUE(LoadLibraryReporting(library, kSampleFolder + "EEPROM_library_definitions.txt", ui)) << ui.LastText();
  EXPECT_EQ(library.TypeFor("TX CONTROLLER", "2.1"), "CONTROLLER_V2");
  EXPECT_EQ(library.TypeFor("TX INTERFACE", "3.2"), "INTERFACE_BOARD");
  EXPECT_EQ(library.Instantiate("CONTROLLER_V1")->ItemSize(), 4096u);
  EXPECT_EQ(library.Instantiate("CONTROLLER_V2")->ItemSize(), 4096u);
  EXPECT_EQ(library.Instantiate("INTERFACE_BOARD")->ItemSize(), 256u);
  // The two controller versions share their fields by name, the identity
  // block across its two issues (IDENTITY and IDENTITY_V2) too.
  auto v1 = library.Instantiate("CONTROLLER_V1");
  auto v2 = library.Instantiate("CONTROLLER_V2");
  ASSERT_EQ(FindItemByPath(*v1, "ID")->type_name, "IDENTITY");
  ASSERT_EQ(FindItemByPath(*v2, "ID")->type_name, "IDENTITY_V2");
  FindItemByPath(*v1, "ID.SERIAL")->dword_value = 77;
  FindItemByPath(*v1, "ID.BUILD_CODE[7]")->byte_value = 'Q';
  FindItemByPath(*v1, "REFLECTED_POWER.OFFSET[3]")->float_value = -1.5f;
  FindItemByPath(*v2, "ID.ASSEMBLY_SITE[0]")->byte_value = 'L';
  v2->CopyValuesFrom(*v1);
  EXPECT_EQ(FindItemByPath(*v2, "ID.SERIAL")->dword_value, 77u);
  EXPECT_EQ(FindItemByPath(*v2, "ID.BUILD_CODE[7]")->byte_value, 'Q');
  EXPECT_EQ(FindItemByPath(*v2, "ID.ASSEMBLY_SITE[0]")->byte_value, 'L');
  EXPECT_EQ(FindItemByPath(*v2, "REFLECTED_POWER.OFFSET[3]")->float_value, -1.5f);
}

}  // namespace
}  // namespace corvel::test
