#pragma once
// Every text the Atmel uploader shows or traces, in one place. A text with a
// number in it is a function, so the compiler checks its format.
#include <cstdint>
#include <string>

namespace corvel::atmel::text {

// Connecting and versions.
inline constexpr const char* kEstablishedConnection = "Established connection!";
inline constexpr const char* kConnectionFailed =
    "Failed to establish communications. Please check your connections and try again.";
inline constexpr const char* kEnteringPowerOff = "Entering Power Off connection sequence";
inline constexpr const char* kNotFound = "Not found";

// The dialog.
inline constexpr const char* kToolName = "Atmel Corvel";
inline constexpr const char* kVersionNotFoundConnecting =
    "Version information not found, attempting to connect to Atmel";
inline constexpr const char* kExiting = "Exiting Atmel Uploader";
inline constexpr const char* kFlashFilter = "Flash Files (*.hex)|*.hex|All Files (*.*)|*.*||";
inline constexpr const char* kEepromFilter = "EEPROM Files (*.eep)|*.eep|All Files (*.*)|*.*||";
inline constexpr const char* kVerifiedFlashFile = "Verified Flash File Successfully!";
inline constexpr const char* kInvalidFlashFile = "Invalid Flash file!";
inline constexpr const char* kVerifiedEepromFile = "Verified EEPROM File Successfully!";
inline constexpr const char* kInvalidEepromFile = "Invalid EEPROM file!";

// Programming.
inline constexpr const char* kNotHexFile = "This is not a valid hex file. Do you still want to program EEPROM?";
inline constexpr const char* kDescriptionDiffers =
    "The firmware description is different, and may not be intended for this equipment. Do you wish to continue?";
std::string EraseFailedAt(uint32_t address);
std::string ProgramFlashFailedAt(uint32_t address);
std::string ReadFlashForVerifyFailedAt(uint32_t address);
std::string FixedStringsMismatchAt(uint32_t address);
std::string ApplicationMismatchAt(uint32_t address);
inline constexpr const char* kOverwriteEeprom =
    "Are you sure you wish to overwrite the EEPROM file? Doing so will overwrite factory settings. Reading and "
    "saving the existing EEPROM to disk is recommended first.";
inline constexpr const char* kNoValidEepromFile = "No valid EEPROM file selected!";
std::string ProgramEepromFailedAt(uint32_t address);
std::string ReadEepromForVerifyFailedAt(uint32_t address);
std::string EepromMismatchAt(uint32_t address);
// Why a file given to a run was left out, for the console, which must not
// let "Programming Successful!" pass for the whole job.
std::string FileCannotBeOpened(const char* memory, const std::string& path);
std::string FileIsInvalid(const char* memory, const std::string& path);
std::string FileIsOfTheWrongKind(const char* memory, const std::string& path);
std::string FileNotReached(const char* memory, const std::string& path);
inline constexpr const char* kProgrammingSuccessful = "Programming Successful!";
inline constexpr const char* kProgrammingUnsuccessful = "Programming Unsuccessful";

// Read-back.
inline constexpr const char* kReadingFlashFailed = "Reading Flash failed!";
inline constexpr const char* kReadingEepromFailed = "Reading EEPROM failed!";
inline constexpr const char* kInvalidFlashFileOnDisk = "Invalid Flash file on disk!";
inline constexpr const char* kInvalidEepromFileOnDisk = "Invalid EEPROM file on disk!";
inline constexpr const char* kEepromDoesNotMatch = "Device EEPROM does not match selected file on disk!";
inline constexpr const char* kBootLoaderSectionMismatch = "Bootloader section does not match";
inline constexpr const char* kFixedStringsSectionMismatch = "Fixed strings section does not match";
inline constexpr const char* kApplicationSectionMismatch = "Application section does not match selected file on disk!";
inline constexpr const char* kVerifiedFlashFromDevice = "Verified Flash File Successfully!";
inline constexpr const char* kVerifiedEepromFromDevice = "Verified EEPROM File Successfully!";

}  // namespace corvel::atmel::text
