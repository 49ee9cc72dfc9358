// The codec against files that tools nobody here wrote produce and read:
// srec_cat (srecord) and avr-gcc/avr-objcopy.
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "core/tool/hex/ChecksumGenerator.h"
#include "core/format/hex/FlashLayout.h"
#include "core/format/hex/IntelHex.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

// Runs srec_cat with the arguments; the test fails when it cannot.
void SrecCat(const std::string& args) {
  const std::string command = "srec_cat " + args + " > /dev/null 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command << " (srec_cat comes with Debian's srecord)";
}

// What srec_cat makes of a hex file as raw bytes 0..size-1, gaps 0xFF.
std::vector<uint8_t> SrecCatImage(const TempDir& dir, const std::string& hex, uint32_t size) {
  const std::string bin = dir.File("srec-image.bin");
  SrecCat(hex + " -intel -crop 0 " + std::to_string(size) + " -fill 0xFF 0 " + std::to_string(size) + " -o " + bin +
          " -binary");
  return ReadBytes(bin);
}

std::vector<uint8_t> Noise(std::size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

TEST(ForeignFiles, SrecCatFilesLoadToTheSameBytes) {
  struct SrecCase {
    const char* name;
    int address_length;  // 3: type 02 records, 4: type 04 records
    uint32_t size;
    std::string crops;   // the areas the file defines
  };
  const std::vector<SrecCase> cases = {
      {"type 02 with holes", 3, 0x30000, "0 0x1000 0x8000 0x1DF08 0x1E000 0x2FFFF"},
      {"type 02 whole 1 MiB", 3, 0x100000, "0 0x100000"},
      {"type 04 above 1 MiB", 4, 0x180000, "0x10 0x20 0xFFF0 0x10010 0x100000 0x17FFFF"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    WriteBytes(dir.File("noise.bin"), Noise(c.size, c.size));
    const std::string hex = dir.File("srec.hex");
    SrecCat(dir.File("noise.bin") + " -binary -crop " + c.crops + " -o " + hex + " -intel --address-length=" +
            std::to_string(c.address_length));
    const std::string record = c.address_length == 3 ? ":02000002" : ":02000004";
    const auto text = ReadBytes(hex);
    ASSERT_NE(std::string(text.begin(), text.end()).find(record), std::string::npos) << "no " << record << " record";

    std::vector<uint8_t> ours(c.size);
    ASSERT_TRUE(LoadIntelHex(hex, ours.data(), c.size));
    EXPECT_TRUE(ours == SrecCatImage(dir, hex, c.size));
  }
}

TEST(ForeignFiles, SrecCatReadsBackWhatWeSave) {
  for (uint32_t size : {0x20000u, 0x100000u, 0x180000u}) {
    SCOPED_TRACE(size);
    TempDir dir;
    auto image = Noise(size, size + 1);
    std::fill(image.begin() + size / 3, image.begin() + size / 2, 0xFF);
    ASSERT_TRUE(SaveIntelHex(dir.File("ours.hex"), image.data(), size));
    SrecCat(dir.File("ours.hex") + " -intel -o " + dir.File("back.bin") + " -binary");
    EXPECT_TRUE(ReadBytes(dir.File("back.bin")) == image);
  }
}

class AvrSample : public ::testing::Test {
 protected:
  ToolEnv& Env() {
    if (!env) env = std::make_unique<ToolEnv>(ToolEnv{ui, port, app, store, "./"});
    return *env;
  }
  ScriptedUserInterface ui;
  SerialPort port;
  MemorySettings store;
  AppSettings app;
  TempDir dir;
  std::unique_ptr<ToolEnv> env;
};

uint32_t Sum(const std::vector<uint8_t>& bytes, std::size_t count) {
  uint32_t sum = 0;
  for (std::size_t i = 0; i < count; ++i) sum += bytes[i];
  return sum;
}

TEST_F(AvrSample, FlashImageChecksumAndDescription) {
  const std::string fw = TestDataPath("avr-sample.hex");
  const auto reference = SrecCatImage(dir, fw, kFlashImageSize);
  std::vector<uint8_t> ours(kFlashImageSize);
  ASSERT_TRUE(LoadIntelHex(fw, ours.data(), kFlashImageSize));
  ASSERT_TRUE(ours == reference);
  EXPECT_EQ(FlashDescription(ours.data()), "TX Exciter v2.14 R7");
  EXPECT_EQ(StoredFlashChecksum(ours.data()), 0xFFFFFFFFu);

  const uint32_t expected = Sum(reference, kApplicationAreaSize);
  ChecksumGenerator tool(Env());
  tool.m_flash_file = fw;
  ASSERT_TRUE(tool.Generate());
  EXPECT_EQ(tool.m_generated_checksum, FormatChecksum(expected));

  // Apply with the boot loader, then read the result with srec_cat.
  tool.m_merge_boot_loader = true;
  tool.m_boot_loader_file = TestDataPath("avr-bootloader.hex");
  ui.files.push_back(dir.File("programmed.hex"));
  ASSERT_TRUE(tool.Apply());
  EXPECT_TRUE(ui.shown.empty());
  const auto result = SrecCatImage(dir, dir.File("programmed.hex"), kFlashImageSize);
  const auto boot_loader = SrecCatImage(dir, TestDataPath("avr-bootloader.hex"), kFlashImageSize);
  EXPECT_EQ(StoredFlashChecksum(result.data()), expected);
  EXPECT_EQ(FlashDescription(result.data()), "TX Exciter v2.14 R7");
  EXPECT_TRUE(std::equal(result.begin(), result.begin() + kFlashChecksumOffset, reference.begin()));
  EXPECT_TRUE(std::equal(result.begin() + kBootLoaderStart, result.end(), boot_loader.begin() + kBootLoaderStart));

  // Generate on the programmed file (ascending, with checksum and boot loader)
  // still gives the application checksum.
  tool.m_flash_file = dir.File("programmed.hex");
  tool.m_generated_checksum.clear();
  ASSERT_TRUE(tool.Generate());
  EXPECT_EQ(tool.m_generated_checksum, FormatChecksum(expected));
  // Its boot loader area is taken now: a second merge is refused.
  ui.files.push_back(dir.File("twice.hex"));
  EXPECT_FALSE(tool.Apply());
  EXPECT_EQ(ui.LastText(), "The destination file already has code in the bootloader area.");
}

TEST_F(AvrSample, EepromImage) {
  const std::string eep = TestDataPath("avr-sample.eep");
  const auto reference = SrecCatImage(dir, eep, kEepromImageSize);
  std::vector<uint8_t> ours(kEepromImageSize);
  ASSERT_TRUE(LoadIntelHex(eep, ours.data(), kEepromImageSize));
  ASSERT_TRUE(ours == reference);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(ours.data())), "RELAY-NORTH");

  ChecksumGenerator tool(Env());
  tool.m_flash_file = eep;
  ASSERT_TRUE(tool.Generate());
  EXPECT_EQ(tool.m_generated_checksum, FormatChecksum(Sum(reference, kEepromImageSize)));
  EXPECT_FALSE(tool.Apply());
  EXPECT_EQ(ui.LastText(), "This option is not supported for EEPROM files");
}

}  // namespace
}  // namespace corvel::test
