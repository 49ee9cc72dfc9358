#include "core/format/hex/HexDump.h"

#include <cstdio>

namespace corvel {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::size_t kOffsetLength = 10;  // "0x000010: "
constexpr std::size_t kEntryLength = 3;    // "FF "
constexpr uint8_t kErased = 0xFF;
}  // namespace

std::string HexDumpText(const uint8_t* bytes, std::size_t length, bool trim) {
  std::size_t end = length;
  if (trim) {
    while (end > 0 && bytes[end - 1] == kErased) --end;
  }
  std::string text;
  if (end == 0) return text;
  const std::size_t lines = (end - 1) / kHexDumpBytesPerLine + 1;
  text.reserve(lines * (kOffsetLength + 2) + end * kEntryLength);
  for (std::size_t i = 0; i < end; ++i) {
    if (i % kHexDumpBytesPerLine == 0) {
      if (i > 0) text += "\r\n";
      char offset[32];  // wider than six digits only past 16 MiB
      std::snprintf(offset, sizeof offset, "0x%.6zX: ", i);
      text += offset;
    }
    text += kHexDigits[bytes[i] >> 4];
    text += kHexDigits[bytes[i] & 0x0F];
    text += ' ';
  }
  return text;
}

}  // namespace corvel
