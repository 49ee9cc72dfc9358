#pragma once
// The Atmel flash image layout and the file types of the hex tools.
//
//   0x00000..0x1DEFF  application, covered by the checksum
//   0x1DF00..0x1DF03  not covered, left as loaded
//   0x1DF04..0x1DF07  application checksum, 32-bit, least significant byte first
//   0x1DF08..0x1DFFF  firmware description (19 characters at most) and spare
//   0x1E000..0x1FFFF  boot loader
#include <cstdint>
#include <string>

namespace corvel {

inline constexpr uint32_t kFlashImageSize = 0x20000;
inline constexpr uint32_t kEepromImageSize = 0x1000;
inline constexpr uint32_t kApplicationAreaSize = 0x1DF00;
inline constexpr uint32_t kFlashChecksumOffset = 0x1DF04;
inline constexpr uint32_t kFlashDescriptionOffset = 0x1DF08;
inline constexpr uint32_t kFlashDescriptionLength = 19;
inline constexpr uint32_t kBootLoaderStart = 0x1E000;
inline constexpr uint32_t kBootLoaderEnd = 0x20000;  // one past the last byte

inline constexpr const char* kFlashExtension = ".hex";
inline constexpr const char* kEepromExtension = ".eep";

enum class HexFileType { Flash, Eeprom, Unknown };
// The file type as the tools compare it: the file name's text from its last
// "." to the end (".hex"), case kept; a name without "." is its own type.
std::string HexFileTypeText(const std::string& path);
// By HexFileTypeText, compared with case.
HexFileType HexFileTypeOf(const std::string& path);
// 131072 for flash, 4096 for EEPROM, 0 otherwise.
uint32_t ImageSizeFor(HexFileType type);

// The 32-bit sum, wrapping, of count bytes.
uint32_t ByteSum(const uint8_t* bytes, uint32_t count);
// The application checksum of a flash image (bytes 0x00000..0x1DEFF).
inline uint32_t FlashChecksum(const uint8_t* flash_image) { return ByteSum(flash_image, kApplicationAreaSize); }
// Computes the application checksum and stores it at 0x1DF04; returns it.
uint32_t InsertFlashChecksum(uint8_t* flash_image);
// The checksum stored at 0x1DF04.
uint32_t StoredFlashChecksum(const uint8_t* flash_image);
// "0x%.8X", as the checksum field shows it.
std::string FormatChecksum(uint32_t checksum);
// The firmware description at 0x1DF08: up to the first NUL, at most 19 characters.
std::string FlashDescription(const uint8_t* flash_image);

}  // namespace corvel
