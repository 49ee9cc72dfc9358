#include "core/hex/FlashLayout.h"

#include <cstdio>

#include "core/app/FileUtil.h"

namespace corvel {

HexFileType HexFileTypeOf(const std::string& path) {
  // A name without "." is its own extension; it never matches either type.
  const std::string extension = FileExtension(path);
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
