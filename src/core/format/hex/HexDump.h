#pragma once
// A memory image as the "Hex File Contents" text shows it:
//
//   0x000000: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F \r\n
//   0x000010: 10 \r\n ...
//   |________|__ one "%.2X " entry per byte, 16 to a line
//   "0x%.6X: " offset of the line's first byte
//
// Lines are separated by CR LF, with none after the last.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace corvel {

inline constexpr std::size_t kHexDumpBytesPerLine = 16;

// The dump of length bytes. With trim the text ends right after the last byte
// that is not 0xFF, and is empty when there is none.
std::string HexDumpText(const uint8_t* bytes, std::size_t length, bool trim);

// The same text handed to sink piece by piece, each piece the lines of
// kHexDumpChunkBytes bytes (a multiple of a line), so that a large image is
// printed without its whole text in memory: 256 MiB of image are 1 GiB of
// text. The sink returns false when its output failed; the dump then stops
// and returns false.
inline constexpr std::size_t kHexDumpChunkBytes = 4096 * kHexDumpBytesPerLine;
using HexDumpSink = std::function<bool(std::string_view piece)>;
bool WriteHexDump(const uint8_t* bytes, std::size_t length, bool trim, const HexDumpSink& sink);

}  // namespace corvel
