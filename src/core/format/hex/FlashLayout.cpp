#include "core/format/hex/FlashLayout.h"

#include <cstdio>


namespace corvel {

std::string HexFileTypeText(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const auto dot = name.find_last_of('.');
  return dot == std::string::npos ? name : name.substr(dot);
}

HexFileType HexFileTypeOf(const std::string& path) {
  // A name without "." is its own type; it never matches either one.
  const std::string extension = HexFileTypeText(path);
  if (extension == kFlashExtension) return HexFileType::Flash;
  if (extension == kEepromExtension) return HexFileType::Eeprom;
  return HexFileType::Unknown;
}

uint32_t ImageSizeFor(HexFileType type) {
  switch (type) {
    case HexFileType::Flash:
      return kFlashImageSize;
    case HexFileType::Eeprom:
      return kEepromImageSize;
    case HexFileType::Unknown:
      break;
  }
  return 0;
}

uint32_t ByteSum(const uint8_t* bytes, uint32_t count) {
  uint32_t sum = 0;
  for (uint32_t i = 0; i < count; ++i) sum += bytes[i];
  return sum;
}

uint32_t InsertFlashChecksum(uint8_t* flash_image) {
  const uint32_t sum = FlashChecksum(flash_image);
  for (int i = 0; i < 4; ++i) flash_image[kFlashChecksumOffset + i] = static_cast<uint8_t>(sum >> (8 * i));
  return sum;
}

uint32_t StoredFlashChecksum(const uint8_t* flash_image) {
  uint32_t sum = 0;
  for (int i = 3; i >= 0; --i) sum = sum << 8 | flash_image[kFlashChecksumOffset + i];
  return sum;
}

std::string FormatChecksum(uint32_t checksum) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%.8X", checksum);
  return text;
}

std::string FlashDescription(const uint8_t* flash_image) {
  std::string description;
  for (uint32_t i = 0; i < kFlashDescriptionLength; ++i) {
    const char c = static_cast<char>(flash_image[kFlashDescriptionOffset + i]);
    if (c == '\0') break;
    description += c;
  }
  return description;
}

}  // namespace corvel
