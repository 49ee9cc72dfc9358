#include "core/tool/atmel/AtmelMessages.h"

#include "core/base/Text.h"

namespace corvel::atmel::text {

std::string EraseFailedAt(uint32_t address) {
  return Format("Erasing Flash failed at memory location 0x%X!", address);
}

std::string ProgramFlashFailedAt(uint32_t address) {
  return Format("Programming Flash failed at memory location 0x%X!", address);
}

std::string ReadFlashForVerifyFailedAt(uint32_t address) {
  return Format("Reading flash for verification failed at memory location 0x%X!", address);
}

std::string FixedStringsMismatchAt(uint32_t address) {
  return Format("Verification failed: Fixed strings section does not match at memory location 0x%X!", address);
}

std::string ApplicationMismatchAt(uint32_t address) {
  return Format("Verification failed: Application section does not match at memory location 0x%X!", address);
}

std::string ProgramEepromFailedAt(uint32_t address) {
  return Format("Programming EEPROM failed at memory location 0x%X!", address);
}

std::string ReadEepromForVerifyFailedAt(uint32_t address) {
  return Format("Reading EEPROM for verification failed at memory location 0x%X!", address);
}

std::string EepromMismatchAt(uint32_t address) {
  return Format("Verification failed: EEPROM does not match at memory location 0x%X!", address);
}

std::string FileCannotBeOpened(const char* memory, const std::string& path) {
  return Format("The %s file %s cannot be opened; it was not programmed.", memory, path.c_str());
}

std::string FileIsInvalid(const char* memory, const std::string& path) {
  return Format("The %s file %s is not a valid Intel HEX file for this memory; it was not programmed.", memory,
                path.c_str());
}

std::string FileIsOfTheWrongKind(const char* memory, const std::string& path) {
  return Format("The %s file %s does not have the file type of this memory; it was not programmed.", memory,
                path.c_str());
}

std::string FileNotReached(const char* memory, const std::string& path) {
  return Format("The %s file %s was not programmed.", memory, path.c_str());
}

}  // namespace corvel::atmel::text
