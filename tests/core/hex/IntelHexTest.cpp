// The Intel HEX and raw binary codecs and HexImage.
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <functional>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "core/format/hex/HexImage.h"
#include "core/format/hex/IntelHex.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

// A record line with its checksum computed here, independently of the writer.
std::string Record(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  uint8_t sum = static_cast<uint8_t>(data.size() + (address >> 8) + (address & 0xFF) + type);
  char head[16];
  std::snprintf(head, sizeof head, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
  std::string line = head;
  for (uint8_t b : data) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%02X", b);
    line += digits;
    sum = static_cast<uint8_t>(sum + b);
  }
  char tail[4];
  std::snprintf(tail, sizeof tail, "%02X", static_cast<uint8_t>(-sum));
  return line + tail + "\r\n";
}

std::vector<uint8_t> Erased(std::size_t size) { return std::vector<uint8_t>(size, 0xFF); }

struct LoadCase {
  const char* name;
  std::string text;
  uint32_t size;
  bool wrap;
  bool ok;
  // Expected bytes at offsets (checked only when the load succeeds).
  std::vector<std::pair<uint32_t, uint8_t>> bytes;
};

TEST(IntelHexLoad, RecordRulesTable) {
  const std::string eof = ":00000001FF\r\n";
  const std::vector<LoadCase> cases = {
      {"no end record is success", Record(0, 0, {1, 2, 3}), 16, false, true, {{0, 1}, {2, 3}, {3, 0xFF}}},
      {"end record stops reading", Record(0, 0, {1}) + eof + "garbage that would fail\r\n", 16, false, true, {{0, 1}}},
      {"lower-case digits", ":02000000abcd86\r\n" + eof, 4, false, true, {{0, 0xAB}, {1, 0xCD}}},
      {"leading text before colon", "xx  junk" + Record(0, 2, {0x5A}), 4, false, true, {{2, 0x5A}, {0, 0xFF}}},
      {"non-hex character reads as 0", ":01000000G0FF\r\n", 4, false, true, {{0, 0x00}}},
      {"blank and comment lines skipped", "\r\n; comment\n" + Record(0, 1, {7}) + "\n" + eof, 4, false, true,
       {{1, 7}}},
      {"LF-only line ends", ":0100000011EE\n:00000001FF\n", 2, false, true, {{0, 0x11}}},
      {"bad checksum", ":0100000011EF\r\n", 4, false, false, {}},
      {"record ending exactly at size", Record(0, 14, {1, 2}), 16, false, true, {{15, 2}}},
      {"record one byte past size", Record(0, 15, {1, 2}), 16, false, false, {}},
      {"overlap with non-0xFF data", Record(0, 0, {1, 2}) + Record(0, 1, {3}), 4, false, false, {}},
      {"0xFF leaves the byte writable", Record(0, 0, {0xFF, 2}) + Record(0, 0, {9}), 4, false, true,
       {{0, 9}, {1, 2}}},
      {"rewriting 0xFF over 0xFF", Record(0, 0, {0xFF}) + Record(0, 0, {0xFF}), 4, false, true, {{0, 0xFF}}},
      {"type 02 base", Record(2, 0, {0x10, 0x00}) + Record(0, 4, {0xAA}), 0x20000, false, true,
       {{0x10004, 0xAA}}},
      {"type 04 base", Record(4, 0, {0x00, 0x01}) + Record(0, 0x10, {0xBB}), 0x20000, false, true,
       {{0x10010, 0xBB}}},
      {"types 03 and 05 ignored", Record(3, 0, {0, 0, 1, 0}) + Record(5, 0, {0, 0, 1, 0}) + Record(0, 0, {4}), 4,
       false, true, {{0, 4}}},
      {"record type 06 fails", Record(6, 0, {}) + Record(0, 0, {4}), 4, false, false, {}},
      {"segment wrap 0xF000 then 0x0000", Record(2, 0, {0xF0, 0x00}) + Record(0, 0, {1}) + Record(2, 0, {0, 0}) +
                                              Record(0, 0, {2}),
       0x200000, true, true, {{0xF0000, 1}, {0x100000, 2}, {0, 0xFF}}},
      {"no wrap without the flag", Record(2, 0, {0xF0, 0x00}) + Record(0, 0, {1}) + Record(2, 0, {0, 0}) +
                                       Record(0, 0, {2}),
       0x200000, false, true, {{0xF0000, 1}, {0, 2}, {0x100000, 0xFF}}},
      {"no 32-bit wrap at base 0xFFFF0000", Record(4, 0, {0xFF, 0xFF}) + Record(0, 0xFFFF, {1, 2}), 16, false,
       false, {}},
      {"record shorter than its count", ":0400000001020304\r\n", 8, false, false, {}},
      {"line cut inside the header", ":0400\r\n", 8, false, false, {}},
      {"line cut inside the checksum", ":0100000011E\r\n", 8, false, false, {}},
      {"address record without its bytes", Record(4, 0, {0x01}), 8, false, false, {}},
      {"empty text", "", 8, false, false, {}},
      {"only blank lines", "\r\n\r\n", 8, false, false, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> image(c.size, 0);
    EXPECT_EQ(ParseIntelHex(c.text, image.data(), c.size, c.wrap), c.ok);
    if (!c.ok) continue;
    for (const auto& [offset, value] : c.bytes) EXPECT_EQ(image[offset], value) << "offset " << offset;
  }
}

TEST(IntelHexLoad, FileAndTextReadersAgree) {
  // The file reader works in blocks; lines that straddle a block edge must come
  // out whole.
  std::vector<uint8_t> image(0x30000);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);
  const std::string text = "; header line that shifts the block edges\n" + FormatIntelHex(image.data(), 0x30000);
  TempDir dir;
  WriteText(dir.File("big.hex"), text);
  std::vector<uint8_t> from_file(0x30000), from_text(0x30000);
  ASSERT_TRUE(LoadIntelHex(dir.File("big.hex"), from_file.data(), 0x30000));
  ASSERT_TRUE(ParseIntelHex(text, from_text.data(), 0x30000));
  EXPECT_EQ(from_file, image);
  EXPECT_EQ(from_text, image);
}

// Records without their line break, so each case chooses how lines end.
std::string Bare(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
  std::string line = Record(type, address, data);
  return line.substr(0, line.size() - 2);
}

// CR, LF and CR LF all end lines; anything but white space after a record's
// checksum is a broken record, in the file reader and the text reader alike.
TEST(IntelHexLoad, LineEndsAndTextAfterTheChecksum) {
  const std::string a = Bare(0, 0, {0x11, 0x22});
  const std::string b = Bare(0, 0x10, {0x33});
  const std::string end = Bare(1, 0, {});
  struct Case {
    const char* name;
    std::string text;
    std::optional<HexErrorKind> error;  // nullopt: loads both records
    unsigned line = 0;
  };
  const Case cases[] = {
      {"CR only", a + "\r" + b + "\r" + end + "\r", std::nullopt},
      {"LF only", a + "\n" + b + "\n" + end + "\n", std::nullopt},
      {"CR LF", a + "\r\n" + b + "\r\n" + end + "\r\n", std::nullopt},
      {"mixed, no end record, no final break", a + "\r" + b, std::nullopt},
      {"trailing spaces and tabs", a + "  \t\r\n" + b + " \r\n", std::nullopt},
      {"a DOS end-of-file mark", a + "\r\n" + b + "\r\n" + end + "\x1a", std::nullopt},
      {"two records on one line", a + b + "\r\n", HexErrorKind::TextAfterRecord, 1},
      {"two records on a CR-only line two", a + "\r" + b + " " + a + "\r", HexErrorKind::TextAfterRecord, 2},
      {"a comment after the checksum", a + " ; boot\r\n", HexErrorKind::TextAfterRecord, 1},
      {"a CR LF counts as one line", a + "\r\n\r\n" + b + "x\r\n", HexErrorKind::TextAfterRecord, 3},
  };
  TempDir dir;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WriteText(dir.File("case.hex"), c.text);
    std::vector<uint8_t> from_file(0x20), from_text(0x20);
    const HexLoad file = ReadIntelHexFile(dir.File("case.hex"), from_file.data(), 0x20);
    const HexLoad text = ReadIntelHexText(c.text, from_text.data(), 0x20);
    for (const HexLoad* load : {&file, &text}) {
      if (!c.error) {
        EXPECT_TRUE(load->ok()) << HexErrorKindName(load->error().kind) << " line " << load->error().line;
      } else {
        ASSERT_FALSE(load->ok());
        EXPECT_EQ(load->error().kind, *c.error);
        EXPECT_EQ(load->error().line, c.line);
      }
    }
    if (!c.error) {
      std::vector<uint8_t> expected(0x20, 0xFF);
      expected[0] = 0x11;
      expected[1] = 0x22;
      expected[0x10] = 0x33;
      EXPECT_EQ(from_file, expected);
      EXPECT_EQ(from_text, expected);
    }
  }
}

TEST(IntelHexLoad, ACrLfAcrossTheReadersBlockEdgeIsOneLineEnd) {
  // The file reader reads 64 KiB blocks: a CR as the last byte of the first
  // block and its LF as the first of the next end one line, not two.
  const std::string comment(65535, 'x');
  const std::string text = comment + "\r\n" + Record(0, 0, {1}) + Bare(0, 1, {2}) + "!\r\n";
  ASSERT_EQ(text[65535], '\r');
  TempDir dir;
  WriteText(dir.File("edge.hex"), text);
  std::vector<uint8_t> image(16);
  const HexLoad load = ReadIntelHexFile(dir.File("edge.hex"), image.data(), 16);
  ASSERT_FALSE(load.ok());
  EXPECT_EQ(load.error().kind, HexErrorKind::TextAfterRecord);
  EXPECT_EQ(load.error().line, 3u);
  EXPECT_EQ(image[0], 1);
}

TEST(IntelHexLoad, FailedLoadKeepsWhatCameBefore) {
  std::vector<uint8_t> image(8, 0);
  EXPECT_FALSE(ParseIntelHex(Record(0, 0, {1, 2}) + Record(0, 7, {3, 4}) + Record(0, 4, {5}), image.data(), 8));
  EXPECT_EQ(image, (std::vector<uint8_t>{1, 2, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}));
}

TEST(IntelHexSave, GoldenRecords) {
  struct SaveCase {
    const char* name;
    std::vector<uint8_t> image;
    std::string expected;
  };
  std::vector<uint8_t> seventeen(17);
  std::iota(seventeen.begin(), seventeen.end(), 0);
  const std::vector<SaveCase> cases = {
      {"1-byte image", {0x42}, ":0100000042BD\r\n:00000001FF\r\n"},
      {"empty image", {}, ":00000001FF\r\n"},
      {"17 bytes", seventeen,
       ":10000000000102030405060708090A0B0C0D0E0F78\r\n:0100100010DF\r\n:00000001FF\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(FormatIntelHex(c.image.data(), static_cast<uint32_t>(c.image.size())), c.expected);
  }
}

// The lines of a formatted image that are not data records.
std::vector<std::string> AddressRecords(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    const std::string line = text.substr(start, end - start);
    if (line.substr(7, 2) != "00") lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

TEST(IntelHexSave, AddressRecordKindAndWindows) {
  struct WindowCase {
    uint32_t size;
    std::vector<std::string> address_records;
  };
  const std::vector<WindowCase> cases = {
      {0x20000, {":020000021000EC", ":00000001FF"}},
      {0x10000, {":00000001FF"}},
      {0x100000, {":020000021000EC", ":020000022000DC", ":020000023000CC", ":020000024000BC", ":020000025000AC",
                  ":0200000260009C", ":0200000270008C", ":0200000280007C", ":0200000290006C", ":02000002A0005C",
                  ":02000002B0004C", ":02000002C0003C", ":02000002D0002C", ":02000002E0001C", ":02000002F0000C",
                  ":00000001FF"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.size);
    const auto image = Erased(c.size);
    EXPECT_EQ(AddressRecords(FormatIntelHex(image.data(), c.size)), c.address_records);
  }
  // One byte more than 1 MiB switches to linear records throughout.
  const auto big = Erased(0x100001);
  const auto linear = AddressRecords(FormatIntelHex(big.data(), 0x100001));
  ASSERT_EQ(linear.size(), 17u);
  EXPECT_EQ(linear[0], ":020000040001F9");
  EXPECT_EQ(linear[15], ":020000040010EA");
  EXPECT_EQ(linear[16], ":00000001FF");
}

TEST(IntelHexSave, EveryByteWrittenAndReadBack) {
  // 0xFF areas are written too: the file has a record for every 16 bytes.
  for (uint32_t size : {1u, 16u, 4096u, 0x20001u, 0x100001u}) {
    SCOPED_TRACE(size);
    std::vector<uint8_t> image = Erased(size);
    for (uint32_t i = 0; i < size; i += 97) image[i] = static_cast<uint8_t>(i >> 3);
    const std::string text = FormatIntelHex(image.data(), size);
    const std::size_t data_records = (size + 15) / 16;
    std::size_t lines = 0;
    for (std::size_t p = text.find(":"); p != std::string::npos; p = text.find(":", p + 1)) ++lines;
    EXPECT_EQ(lines, data_records + (size - 1) / 0x10000 + 1);
    std::vector<uint8_t> back(size, 0);
    ASSERT_TRUE(ParseIntelHex(text, back.data(), size, false));
    EXPECT_EQ(back, image);
  }
}

TEST(IntelHexSave, WritesThroughTemporaryAndReportsRefusal) {
  TempDir dir;
  const std::vector<uint8_t> image = {1, 2, 3};
  ASSERT_TRUE(SaveIntelHex(dir.File("out.hex"), image.data(), 3));
  EXPECT_EQ(ReadBytes(dir.File("out.hex")).size(), FormatIntelHex(image.data(), 3).size());
  EXPECT_FALSE(SaveIntelHex(dir.File("missing-folder/out.hex"), image.data(), 3));
  EXPECT_FALSE(SaveBinaryFile(dir.File("missing-folder/out.bin"), image.data(), 3));
  // A folder the user may not write: the old file stays, the save fails.
  if (::geteuid() != 0) {
    std::filesystem::create_directory(dir.File("locked"));
    WriteText(dir.File("locked/old.hex"), "old");
    ::chmod(dir.File("locked").c_str(), 0555);
    EXPECT_FALSE(SaveIntelHex(dir.File("locked/old.hex"), image.data(), 3));
    EXPECT_EQ(ReadBytes(dir.File("locked/old.hex")), (std::vector<uint8_t>{'o', 'l', 'd'}));
    ::chmod(dir.File("locked").c_str(), 0755);
  }
  // Nothing but the target is left behind.
  std::size_t entries = 0;
  for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, ::geteuid() != 0 ? 2u : 1u);
}

TEST(BinaryFile, LengthRules) {
  TempDir dir;
  WriteBytes(dir.File("four.bin"), {1, 2, 3, 4});
  WriteBytes(dir.File("empty.bin"), {});
  struct BinaryCase {
    const char* file;
    std::size_t capacity;
    bool ok;
  };
  const std::vector<BinaryCase> cases = {
      {"four.bin", 4, true}, {"four.bin", 100, true}, {"four.bin", 3, false},
      {"empty.bin", 10, false}, {"absent.bin", 10, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.file) + " capacity " + std::to_string(c.capacity));
    std::vector<uint8_t> buffer(c.capacity, 0xEE);
    std::size_t length = 0;
    EXPECT_EQ(LoadBinaryFile(dir.File(c.file), buffer.data(), c.capacity, &length), c.ok);
    if (c.ok) {
      EXPECT_EQ(length, 4u);
      EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + 4), (std::vector<uint8_t>{1, 2, 3, 4}));
      if (c.capacity > 4) {
        EXPECT_EQ(buffer[4], 0xEE);
      }
    }
  }
  const std::vector<uint8_t> out = {9, 8, 7};
  ASSERT_TRUE(SaveBinaryFile(dir.File("out.bin"), out.data(), out.size()));
  EXPECT_EQ(ReadBytes(dir.File("out.bin")), out);
}

TEST(HexImageTest, CursorReadWriteAndSave) {
  HexImage image;
  uint8_t buffer[8] = {};
  EXPECT_FALSE(image.HasData());
  EXPECT_EQ(image.Read(buffer, 4), 0u);
  EXPECT_EQ(image.Write(buffer, 4), 0u);
  TempDir dir;
  EXPECT_FALSE(image.SaveHex(dir.File("none.hex")));

  image.Allocate(10);
  EXPECT_EQ(image.size(), 10u);
  EXPECT_EQ(std::vector<uint8_t>(image.data(), image.data() + 10), Erased(10));
  struct CursorCase {
    const char* name;
    std::function<uint32_t()> step;
    uint32_t result;
  };
  const uint8_t source[] = {1, 2, 3, 4, 5, 6};
  const std::vector<CursorCase> cases = {
      {"seek inside", [&] { return image.Seek(3); }, 3},
      {"seek past end clamps", [&] { return image.Seek(50); }, 10},
      {"skip back below 0 clamps", [&] { return image.Skip(-20); }, 0},
      {"skip forward", [&] { return image.Skip(6); }, 6},
      {"write stops at end", [&] { return image.Write(source, 6); }, 4},
      {"position after write", [&] { return image.position(); }, 10},
      {"read at end gives 0", [&] { return image.Read(buffer, 4); }, 0},
      {"skip back", [&] { return image.Skip(-5); }, 5},
      {"read stops at end", [&] { return image.Read(buffer, 8); }, 5},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.step(), c.result);
  }
  EXPECT_EQ(std::vector<uint8_t>(buffer, buffer + 5), (std::vector<uint8_t>{0xFF, 1, 2, 3, 4}));

  ASSERT_TRUE(image.SaveHex(dir.File("image.hex")));
  HexImage back;
  ASSERT_TRUE(back.LoadHex(dir.File("image.hex"), 16));
  EXPECT_EQ(back.position(), 0u);
  EXPECT_EQ(std::vector<uint8_t>(back.data(), back.data() + 10), std::vector<uint8_t>(image.data(), image.data() + 10));
  EXPECT_EQ(back.data()[15], 0xFF);
  EXPECT_FALSE(back.LoadHex(dir.File("image.hex"), 8));  // records beyond a smaller image

  EXPECT_EQ(image.View(), "0x000000: FF FF FF FF FF FF 01 02 03 04 ");
  HexImage empty;
  EXPECT_EQ(empty.View(), "");
  // A zero-byte image takes a file with nothing but the end record.
  WriteText(dir.File("end-only.hex"), ":00000001FF\r\n");
  EXPECT_TRUE(empty.LoadHex(dir.File("end-only.hex"), 0));
  EXPECT_TRUE(empty.HasData());
  EXPECT_FALSE(empty.LoadHex(dir.File("image.hex"), 0));
}

}  // namespace
}  // namespace corvel::test
