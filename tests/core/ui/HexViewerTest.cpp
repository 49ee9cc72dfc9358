// The "Hex File Contents" dump text.
#include <string>
#include <vector>

#include "core/ui/HexViewer.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

struct DumpCase {
  const char* name;
  std::vector<uint8_t> bytes;
  bool trim;
  std::string expected;
};

std::vector<uint8_t> Counting(std::size_t n) {
  std::vector<uint8_t> bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<uint8_t>(i);
  return bytes;
}

TEST(HexDumpText, LayoutTable) {
  std::vector<uint8_t> last_at_0x25(0x40, 0xFF);
  last_at_0x25[0x03] = 0x00;
  last_at_0x25[0x25] = 0xAB;
  const std::string full_line = "0x000000: 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ";
  const std::vector<DumpCase> cases = {
      {"one byte", {0x5A}, false, "0x000000: 5A "},
      {"exactly 16 bytes, one line", Counting(16), false, full_line},
      {"17 bytes give two lines", Counting(17), false, full_line + "\r\n0x000010: 10 "},
      {"trim ends at offset 0x25",
       last_at_0x25,
       true,
       "0x000000: FF FF FF 00 FF FF FF FF FF FF FF FF FF FF FF FF \r\n"
       "0x000010: FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF FF \r\n"
       "0x000020: FF FF FF FF FF AB "},
      {"all 0xFF trimmed is empty", std::vector<uint8_t>(100, 0xFF), true, ""},
      {"all 0xFF untrimmed is shown", std::vector<uint8_t>(2, 0xFF), false, "0x000000: FF FF "},
      {"trim keeps a full last line", Counting(16), true, full_line},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(HexDumpText(c.bytes.data(), c.bytes.size(), c.trim), c.expected);
  }
}

TEST(HexDumpText, LongImageOffsetsAndWidth) {
  const auto bytes = Counting(0x20000);
  const std::string text = HexDumpText(bytes.data(), bytes.size(), false);
  // 8192 lines, CR LF between them only.
  std::size_t lines = 1, longest = 0, start = 0;
  for (std::size_t p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n", start)) {
    longest = std::max(longest, p - start);
    start = p + 2;
    ++lines;
  }
  EXPECT_EQ(lines, 8192u);
  EXPECT_LE(longest, 61u);
  EXPECT_EQ(text.substr(start), "0x01FFF0: F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF ");
}

TEST(HexViewerShow, GoesThroughTheUserInterface) {
  ScriptedUserInterface ui;
  const std::vector<uint8_t> bytes = {0xFF, 0x01, 0xFF};
  ShowHexViewer(ui, bytes.data(), bytes.size(), true);
  ASSERT_EQ(ui.hex_views.size(), 1u);
  EXPECT_EQ(ui.hex_views[0], "0x000000: FF 01 ");
}

}  // namespace
}  // namespace corvel::test
