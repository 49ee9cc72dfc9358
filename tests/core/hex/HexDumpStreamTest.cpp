// The hex dump printed piece by piece: the same text as the whole dump, in
// pieces no larger than one chunk's lines.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/format/hex/HexDump.h"

namespace corvel {
namespace {

TEST(HexDumpStream, PiecesMakeTheWholeTextAndStayBounded) {
  // Longest piece: the lines of one chunk, each "0x000000: " plus 16 entries
  // plus the line break before it.
  const std::size_t max_piece = kHexDumpChunkBytes / kHexDumpBytesPerLine * (10 + 2) + kHexDumpChunkBytes * 3;
  const std::size_t lengths[] = {0, 1, 15, 16, 17, kHexDumpChunkBytes - 1, kHexDumpChunkBytes,
                                 kHexDumpChunkBytes + 1, 3 * kHexDumpChunkBytes + 5};
  for (const std::size_t length : lengths) {
    std::vector<uint8_t> bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<uint8_t>(i * 7);
    // Erased bytes at the end, for the trimmed dump.
    if (length > 20) std::fill(bytes.end() - 20, bytes.end(), 0xFF);
    for (const bool trim : {false, true}) {
      std::string joined;
      std::size_t pieces = 0;
      const bool written = WriteHexDump(bytes.data(), bytes.size(), trim, [&](std::string_view piece) {
        EXPECT_LE(piece.size(), max_piece);
        joined += piece;
        ++pieces;
        return true;
      });
      EXPECT_TRUE(written);
      EXPECT_EQ(joined, HexDumpText(bytes.data(), bytes.size(), trim)) << length << (trim ? " trimmed" : "");
      const std::size_t shown = trim && length > 20 ? length - 20 : length;
      EXPECT_EQ(pieces, (shown + kHexDumpChunkBytes - 1) / kHexDumpChunkBytes) << length;
    }
  }
}

TEST(HexDumpStream, AFailedOutputStopsTheDump) {
  const std::vector<uint8_t> bytes(4 * kHexDumpChunkBytes, 0x12);
  int pieces = 0;
  EXPECT_FALSE(WriteHexDump(bytes.data(), bytes.size(), false, [&](std::string_view) { return ++pieces < 2; }));
  EXPECT_EQ(pieces, 2);
}

}  // namespace
}  // namespace corvel
