// corvel-cli hex ...: run as a person would, checking output and exit status.
#include <sys/wait.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/format/hex/FlashLayout.h"
#include "core/format/hex/IntelHex.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

struct CliRun {
  int status;
  std::string out;
};

CliRun RunCli(const TempDir& dir, const std::string& args) {
  const std::string out = dir.File("cli.out");
  const std::string command = std::string(CORVEL_BINARY_DIR) + "/src/cli/corvel-cli --settings " +
                              dir.File("settings.ini") + " " + args + " > " + out + " 2>&1";
  const int raw = std::system(command.c_str());
  const auto bytes = ReadBytes(out);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(bytes.begin(), bytes.end())};
}

std::string WriteImage(const TempDir& dir, const std::string& name, const std::vector<uint8_t>& image) {
  WriteText(dir.File(name), FormatIntelHex(image.data(), static_cast<uint32_t>(image.size())));
  return dir.File(name);
}

TEST(HexCommands, ChecksumInsertMergeDump) {
  TempDir dir;
  std::vector<uint8_t> image(kFlashImageSize, 0xFF);
  image[0] = 0x01;
  image[0x100] = 0x42;
  const std::string fw = WriteImage(dir, "fw.hex", image);
  std::vector<uint8_t> boot_loader(kFlashImageSize, 0xFF);
  boot_loader[kBootLoaderStart] = 0x0C;
  const std::string bl = WriteImage(dir, "bl.hex", boot_loader);
  WriteImage(dir, "FW.HEX", image);
  const uint32_t sum = 0x01 + 0x42 + 0xFFu * (kApplicationAreaSize - 2);
  char expected[16];
  std::snprintf(expected, sizeof expected, "0x%.8X\n", sum);

  struct CommandCase {
    std::string args;
    int status;
    std::string out;
  };
  const std::vector<CommandCase> cases = {
      {"hex checksum " + fw, 0, expected},
      {"hex checksum " + dir.File("FW.HEX"), 1, "This file type is not recognized\n"},
      {"hex insert-checksum " + fw + " -o " + dir.File("out.hex") + " --bootloader " + bl, 0, expected},
      {"hex merge " + fw + " " + dir.File("FW.HEX") + " -o " + dir.File("m.hex"), 1,
       "These are different file types and cannot be merged!\n"},
      {"hex merge " + fw + " " + bl + " -o " + dir.File("m.hex"), 0, ""},
      {"hex dump " + dir.File("out.hex") + " --size 32 --trim", 1, "The input file format is invalid.\n"},
      {"hex dump " + dir.File("small.eep") + " --trim", 0,
       "0x000000: 01 FF 02 \n"},
  };
  WriteText(dir.File("small.eep"), ":03000000" "01FF02" "FB\r\n");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args);
    const CliRun run = RunCli(dir, c.args);
    EXPECT_EQ(run.status, c.status);
    EXPECT_EQ(run.out, c.out);
  }
  std::vector<uint8_t> out(kFlashImageSize);
  ASSERT_TRUE(LoadIntelHex(dir.File("out.hex"), out.data(), kFlashImageSize));
  EXPECT_EQ(StoredFlashChecksum(out.data()), sum);
  EXPECT_EQ(out[kBootLoaderStart], 0x0C);
  std::vector<uint8_t> merged(kFlashImageSize);
  ASSERT_TRUE(LoadIntelHex(dir.File("m.hex"), merged.data(), kFlashImageSize));
  EXPECT_EQ(merged[0x100], 0x42);
  EXPECT_EQ(merged[kBootLoaderStart], 0x0C);
  // The default dump of an EEPROM file covers 4096 bytes: 256 lines.
  const CliRun full = RunCli(dir, "hex dump " + dir.File("small.eep"));
  EXPECT_EQ(full.status, 0);
  EXPECT_EQ(full.out.size(), 256u * 60 - 2 + 1);
}

}  // namespace
}  // namespace corvel::test
