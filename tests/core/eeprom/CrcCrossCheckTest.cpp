// The two CRCs against an independent implementation: Debian's python3-crcmod,
// driven through tests/data/eeprom/crcmod_reference.py at test time.
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>

#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/tool/eeprom/EepromLibraryReport.h"
#include "core/format/eeprom/EepromImage.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

std::string Hex(std::span<const uint8_t> bytes) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  std::string out;
  for (uint8_t b : bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

// "crc16 crc32" per input, from the reference; empty when it could not run.
std::vector<std::pair<uint16_t, uint32_t>> ReferenceCrcs(const std::vector<std::vector<uint8_t>>& inputs) {
  TempDir dir;
  const std::string in_path = dir.File("inputs.txt");
  {
    std::ofstream in(in_path);
    for (const auto& input : inputs) in << Hex(input) << '\n';
  }
  const std::string script = TestDataPath("eeprom/crcmod_reference.py");
  // The Debian interpreter carries python3-crcmod; a user's own python3 may not.
  const std::string python = std::ifstream("/usr/bin/python3") ? "/usr/bin/python3" : "python3";
  const std::string command = python + " '" + script + "' < '" + in_path + "'";
  std::vector<std::pair<uint16_t, uint32_t>> out;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return out;
  unsigned crc16 = 0, crc32 = 0;
  while (std::fscanf(pipe, "%x %x", &crc16, &crc32) == 2) out.emplace_back(crc16, crc32);
  ::pclose(pipe);
  return out;
}

TEST(EepromCrcCrossCheck, RandomInputsAgreeWithCrcmod) {
  std::mt19937 random(20261208);
  std::vector<std::vector<uint8_t>> inputs = {{}, {0x00}, {0xFF}, {'1', '2', '3', '4', '5', '6', '7', '8', '9'}};
  for (int i = 0; i < 300; ++i) {
    std::vector<uint8_t> input(random() % 600);
    for (auto& b : input) b = static_cast<uint8_t>(random());
    inputs.push_back(std::move(input));
  }
  const auto reference = ReferenceCrcs(inputs);
  ASSERT_EQ(reference.size(), inputs.size()) << "python3 with crcmod (Debian python3-crcmod) did not answer";
  for (std::size_t i = 0; i < inputs.size(); ++i) {
    EXPECT_EQ(Crc16Update(kCrc16Start, inputs[i]), reference[i].first) << "input " << i;
    EXPECT_EQ(Crc32Update(kCrc32Start, inputs[i]), reference[i].second) << "input " << i;
  }
}

TEST(EepromCrcCrossCheck, StoredImageFieldsAgreeWithCrcmodOverTheStoredBytes) {
  // Random values in a layout whose members carry their own CRCs: each field
  // must be the reference CRC of the bytes stored before it, from the item's start.
  const std::string text =
      "INNER -start -crc16msb\nWORD w\nFLOAT f\nINNER -end\n"
      "T -start -crc32\nBYTE b -a5\nINNER in -a3\nDWORD d -crc32msb\nINT i -crc16\nT -end\n";
  ScriptedUserInterface ui;
  EepromDefinitionLibrary library([&](const std::string&) -> std::optional<std::string> { return text; });
  ASSERT_TRUE(LoadLibraryReporting(library, "lib.txt", ui)) << ui.LastText();
  std::mt19937 random(7);
  std::vector<std::vector<uint8_t>> inputs;
  std::vector<std::vector<uint8_t>> images;
  for (int round = 0; round < 40; ++round) {
    EepromImage image(library.Instantiate("T"));
    const uint32_t size = image.Root()->ItemSize();
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = static_cast<uint8_t>(random());
    image.Bytes().Allocate(size);
    image.Bytes().Write(bytes.data(), size);
    image.Decode();
    image.Encode();
    const uint8_t* stored = image.Bytes().data();
    images.emplace_back(stored, stored + size);
    // Inputs per image: each INNER's 6 bytes, D's 4, I's 2, the whole body.
    for (int k = 0; k < 3; ++k) inputs.emplace_back(stored + 5 + 8 * k, stored + 5 + 8 * k + 6);
    inputs.emplace_back(stored + 29, stored + 33);
    inputs.emplace_back(stored + 37, stored + 39);
    inputs.emplace_back(stored, stored + size - 4);
  }
  const auto reference = ReferenceCrcs(inputs);
  ASSERT_EQ(reference.size(), inputs.size()) << "python3 with crcmod (Debian python3-crcmod) did not answer";
  for (std::size_t round = 0; round < images.size(); ++round) {
    const auto& s = images[round];
    const auto* r = &reference[round * 6];
    for (int k = 0; k < 3; ++k) {
      EXPECT_EQ(s[11 + 8 * k] << 8 | s[12 + 8 * k], r[k].first) << "INNER " << k << " of round " << round;
    }
    const uint32_t d_field = static_cast<uint32_t>(s[33]) << 24 | s[34] << 16 | s[35] << 8 | s[36];
    EXPECT_EQ(d_field, r[3].second) << "round " << round;
    EXPECT_EQ(s[39] | s[40] << 8, r[4].first) << "round " << round;
    const std::size_t n = s.size();
    const uint32_t root = s[n - 4] | s[n - 3] << 8 | s[n - 2] << 16 | static_cast<uint32_t>(s[n - 1]) << 24;
    EXPECT_EQ(root, r[5].second) << "round " << round;
  }
}

}  // namespace
}  // namespace corvel::test
