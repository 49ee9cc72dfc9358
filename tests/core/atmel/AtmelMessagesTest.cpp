// The uploader's texts with an address in them, byte for byte as the person
// sees them.
#include <gtest/gtest.h>

#include "core/tool/atmel/AtmelMessages.h"

namespace corvel::test {
namespace {

using namespace atmel::text;

TEST(AtmelMessages, AddressedTextsShowTheAddressInHex) {
  struct Case {
    std::string (*text)(uint32_t);
    uint32_t address;
    const char* expected;
  };
  const Case cases[] = {
      {EraseFailedAt, 0x300, "Erasing Flash failed at memory location 0x300!"},
      {ProgramFlashFailedAt, 0x12300, "Programming Flash failed at memory location 0x12300!"},
      {ReadFlashForVerifyFailedAt, 0, "Reading flash for verification failed at memory location 0x0!"},
      {FixedStringsMismatchAt, 0x1DF08,
       "Verification failed: Fixed strings section does not match at memory location 0x1DF08!"},
      {ApplicationMismatchAt, 0x10,
       "Verification failed: Application section does not match at memory location 0x10!"},
      {ProgramEepromFailedAt, 0xFF0, "Programming EEPROM failed at memory location 0xFF0!"},
      {ReadEepromForVerifyFailedAt, 0x230, "Reading EEPROM for verification failed at memory location 0x230!"},
      {EepromMismatchAt, 0xFFFFFFFF, "Verification failed: EEPROM does not match at memory location 0xFFFFFFFF!"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text(c.address), c.expected);
}

}  // namespace
}  // namespace corvel::test
