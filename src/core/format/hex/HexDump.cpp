#include "core/format/hex/HexDump.h"

#include <cstdio>

namespace corvel {

namespace {
constexpr char kHexDigits[] = "0123456789ABCDEF";
constexpr std::size_t kOffsetLength = 10;  // "0x000010: "
constexpr std::size_t kEntryLength = 3;    // "FF "
constexpr std::size_t kLineBreakLength = 2;
constexpr uint8_t kErased = 0xFF;

// Where the dump ends: after the last byte that is not 0xFF when trimmed.
std::size_t DumpEnd(const uint8_t* bytes, std::size_t length, bool trim) {
  std::size_t end = length;
  if (trim) {
    while (end > 0 && bytes[end - 1] == kErased) --end;
  }
  return end;
}

// Appends the lines of bytes [first, last); first is the start of a line.
void AppendLines(const uint8_t* bytes, std::size_t first, std::size_t last, std::string& text) {
  for (std::size_t i = first; i < last; ++i) {
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
}

std::size_t TextLength(std::size_t bytes) {
  const std::size_t lines = bytes == 0 ? 0 : (bytes - 1) / kHexDumpBytesPerLine + 1;
  return lines * (kOffsetLength + kLineBreakLength) + bytes * kEntryLength;
}

}  // namespace

std::string HexDumpText(const uint8_t* bytes, std::size_t length, bool trim) {
  const std::size_t end = DumpEnd(bytes, length, trim);
  std::string text;
  text.reserve(TextLength(end));
  AppendLines(bytes, 0, end, text);
  return text;
}

bool WriteHexDump(const uint8_t* bytes, std::size_t length, bool trim, const HexDumpSink& sink) {
  const std::size_t end = DumpEnd(bytes, length, trim);
  std::string chunk;
  chunk.reserve(TextLength(kHexDumpChunkBytes));
  for (std::size_t first = 0; first < end; first += kHexDumpChunkBytes) {
    const std::size_t last = first + kHexDumpChunkBytes < end ? first + kHexDumpChunkBytes : end;
    chunk.clear();
    AppendLines(bytes, first, last, chunk);
    if (!sink(chunk)) return false;
  }
  return true;
}

}  // namespace corvel
