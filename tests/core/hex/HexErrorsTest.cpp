// Why an Intel HEX load failed, and what the hex tools say about it.
#include <sys/stat.h>

#include <string>
#include <vector>

#include "core/format/hex/IntelHex.h"
#include "core/tool/hex/HexTools.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

TEST(IntelHexDecode, GoldenRecordWithoutAnImage) {
  // The second window's address record of a 128 KiB image, as the writer
  // makes it.
  HexRecord record;
  const auto decoded = DecodeHexLine(":020000021000EC\r", record);
  ASSERT_TRUE(decoded.ok());
  EXPECT_EQ(*decoded, HexLine::Record);
  EXPECT_EQ(record.count, 2);
  EXPECT_EQ(record.address, 0x0000);
  EXPECT_EQ(record.type, kRecordExtendedSegmentAddress);
  EXPECT_EQ(record.data[0], 0x10);
  EXPECT_EQ(record.data[1], 0x00);

  const auto data = DecodeHexLine("junk:0400100001020304E2", record);
  ASSERT_TRUE(data.ok());
  EXPECT_EQ(record.address, 0x0010);
  EXPECT_EQ(std::vector<uint8_t>(record.data, record.data + record.count), (std::vector<uint8_t>{1, 2, 3, 4}));

  const auto blank = DecodeHexLine("; no record here", record);
  ASSERT_TRUE(blank.ok());
  EXPECT_EQ(*blank, HexLine::Blank);
}

TEST(IntelHexDecode, ApplyPlacesTheRecordOnlyAfterDecoding) {
  std::vector<uint8_t> image(0x20000, 0xFF);
  IntelHexParser parser(image.data(), 0x20000, false);
  HexRecord segment;
  ASSERT_TRUE(DecodeHexLine(":020000021000EC", segment).ok());
  ASSERT_TRUE(parser.Apply(segment).ok());
  EXPECT_EQ(parser.Base(), 0x10000u);
  HexRecord data;
  ASSERT_TRUE(DecodeHexLine(":0400100001020304E2", data).ok());
  ASSERT_TRUE(parser.Apply(data).ok());
  EXPECT_EQ(image[0x10010], 1);
  EXPECT_EQ(image[0x10013], 4);
  const auto again = parser.Apply(data);
  ASSERT_FALSE(again.ok());
  EXPECT_EQ(again.error(), HexErrorKind::Overlap);
}

struct KindCase {
  const char* name;
  std::string text;
  uint32_t size;
  HexErrorKind kind;
  uint32_t line;
};

TEST(IntelHexErrors, EachFailureCarriesItsKindAndLine) {
  const std::string good = ":0100000011EE\r\n";
  const std::vector<KindCase> cases = {
      {"bad checksum", good + ":0100010011EF\r\n", 16, HexErrorKind::BadChecksum, 2},
      {"cut inside the header", "\r\n; comment\r\n:0400\r\n", 16, HexErrorKind::RecordCutShort, 3},
      {"shorter than its count", ":0400000001020304\r\n", 16, HexErrorKind::ShorterThanCount, 1},
      {"beyond the image", good + ":0100100011DE\r\n", 16, HexErrorKind::BeyondImage, 2},
      {"overlap", good + good, 16, HexErrorKind::Overlap, 2},
      {"address record short", ":0100000400FB\r\n", 16, HexErrorKind::AddressRecordShort, 1},
      {"unknown type", good + ":00000006FA\r\n", 16, HexErrorKind::UnknownType, 2},
      {"no records", "\r\n\r\n", 16, HexErrorKind::NoRecords, 0},
      {"line too long", good + ":" + std::string(kMaxLineLength, '0') + "\n", 16, HexErrorKind::LineTooLong, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> image(c.size);
    const HexLoad load = ReadIntelHexText(c.text, image.data(), c.size);
    ASSERT_FALSE(load.ok());
    EXPECT_EQ(load.error().kind, c.kind);
    EXPECT_EQ(load.error().line, c.line);
    EXPECT_EQ(load.error().text, HexErrorKindName(c.kind));
    EXPECT_EQ(HexLoadResultOf(load), HexLoadResult::Invalid);

    // The file reader says the same, and names the file.
    TempDir dir;
    WriteText(dir.File("case.hex"), c.text);
    const HexLoad from_file = ReadIntelHexFile(dir.File("case.hex"), image.data(), c.size);
    ASSERT_FALSE(from_file.ok());
    EXPECT_EQ(from_file.error().kind, c.kind);
    EXPECT_EQ(from_file.error().line, c.line);
    EXPECT_EQ(from_file.error().file, dir.File("case.hex"));
  }
}

TEST(IntelHexErrors, OnlyRegularFilesAreRead) {
  // A pipe would keep the reader waiting for a writer forever; a folder or a
  // device holds no image. Each is refused at once.
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("pipe.hex").c_str(), 0600), 0);
  ASSERT_EQ(::mkdir(dir.File("folder.hex").c_str(), 0700), 0);
  struct Case {
    std::string path;
    HexErrorKind kind;
    HexLoadResult coarse;
  };
  const std::vector<Case> cases = {
      {dir.File("pipe.hex"), HexErrorKind::NotAFile, HexLoadResult::Invalid},
      {dir.File("folder.hex"), HexErrorKind::NotAFile, HexLoadResult::Invalid},
      {"/dev/null", HexErrorKind::NotAFile, HexLoadResult::Invalid},
      {dir.File("absent.hex"), HexErrorKind::CannotOpen, HexLoadResult::CannotOpen},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    std::vector<uint8_t> image(16);
    const HexLoad load = ReadIntelHexFile(c.path, image.data(), 16);
    ASSERT_FALSE(load.ok());
    EXPECT_EQ(load.error().kind, c.kind);
    EXPECT_EQ(load.error().line, 0u);
    EXPECT_EQ(LoadIntelHexFile(c.path, image.data(), 16), c.coarse);
    EXPECT_EQ(image, std::vector<uint8_t>(16, 0xFF));
    EXPECT_FALSE(LoadBinaryFile(c.path, image.data(), 16));
  }
}

TEST(HexToolLoad, EachFailureGetsTheMessageItsToolChose) {
  TempDir dir;
  WriteText(dir.File("good.hex"), ":0100000011EE\r\n");
  WriteText(dir.File("bad.hex"), ":0100000011EE\r\n:0100010011EF\r\n");
  const std::string cannot_open = "The file " + dir.File("absent.hex") + " could not be opened.";
  struct Case {
    const char* name;
    std::string file;
    InvalidHexMessage invalid;
    bool loaded;
    std::string text;  // empty: nothing shown
    MessageIcon icon;
    uint8_t first_byte;
  };
  const std::vector<Case> cases = {
      {"valid", "good.hex", {"Invalid!", MessageIcon::Exclamation}, true, "", MessageIcon::None, 0x11},
      {"invalid, warning", "bad.hex", {"Invalid!", MessageIcon::Exclamation}, false, "Invalid!",
       MessageIcon::Exclamation, 0x11},
      {"invalid, error icon", "bad.hex", {"Invalid!", MessageIcon::Error}, false, "Invalid!", MessageIcon::Error,
       0x11},
      {"invalid, partial load counts", "bad.hex", kPartialLoadCounts, true, "", MessageIcon::None, 0x11},
      {"absent", "absent.hex", {"Invalid!", MessageIcon::Exclamation}, false, cannot_open, MessageIcon::Error, 0xFF},
      {"absent, partial load counts", "absent.hex", kPartialLoadCounts, false, cannot_open, MessageIcon::Error,
       0xFF},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ScriptedUserInterface ui;
    std::vector<uint8_t> image(16, 0);
    EXPECT_EQ(LoadHexFileOrSay(ui, dir.File(c.file), image.data(), 16, c.invalid), c.loaded);
    EXPECT_EQ(image[0], c.first_byte);
    if (c.text.empty()) {
      EXPECT_TRUE(ui.shown.empty());
      continue;
    }
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].message.text, c.text);
    EXPECT_EQ(ui.shown[0].message.icon, c.icon);
  }
}

}  // namespace
}  // namespace corvel::test
