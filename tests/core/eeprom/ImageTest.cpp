// The image model: byte layout, checksums, texts, the tree, edits and copies.
#include <cstring>
#include <map>

#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/format/eeprom/EepromImage.h"
#include "core/tool/eeprom/EepromLibraryReport.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

// A library from text and images of its types.
class Layouts {
 public:
  explicit Layouts(const std::string& text)
      : m_library([text](const std::string&) -> std::optional<std::string> { return text; }) {
    m_loaded = LoadLibraryReporting(m_library, "lib.txt", m_ui);
  }
  bool Loaded() const { return m_loaded; }
  std::string LastMessage() const { return m_ui.LastText(); }
  // An image of the type over the given bytes (the rest of size 0xFF), decoded.
  EepromImage Image(const std::string& type, const std::vector<uint8_t>& bytes, uint32_t size) {
    EepromImage image(m_library.Instantiate(type));
    image.Bytes().Allocate(size);
    image.Bytes().Write(bytes.data(), static_cast<uint32_t>(bytes.size()));
    image.Decode();
    return image;
  }
  EepromImage Blank(const std::string& type, uint32_t size) {
    EepromImage image(m_library.Instantiate(type));
    image.MakeBlank(size);
    return image;
  }

 private:
  ScriptedUserInterface m_ui;
  EepromDefinitionLibrary m_library;
  bool m_loaded = false;
};

std::vector<uint8_t> BytesOf(const EepromImage& image) {
  const HexImage& b = image.Bytes();
  return std::vector<uint8_t>(b.data(), b.data() + b.size());
}

std::vector<uint8_t> Ascii(const char* text) { return std::vector<uint8_t>(text, text + std::strlen(text)); }

TEST(EepromChecksums, AlgorithmsGiveTheirCheckValues) {
  const auto digits = Ascii("123456789");
  EXPECT_EQ(Crc16Update(kCrc16Start, digits), 0xE5CC);
  EXPECT_EQ(Crc32Update(kCrc32Start, digits), 0x373C5870u);
  EXPECT_EQ(Crc16Update(0x1234, {}), 0x1234);
}

TEST(EepromChecksums, FieldsFollowTheDataInTheirByteOrder) {
  struct Case {
    const char* library;
    std::vector<uint8_t> values;  // decoded first, then encoded again
    std::vector<uint8_t> stored;
    const char* label;
  };
  const Case cases[] = {
      {"T -start\nBYTE v -hex -chk\nT -end\n", {0x12}, {0x12, 0x12, 0x00}, "T"},
      {"T -start\nBYTE v -hex -chkmsb\nT -end\n", {0x12}, {0x12, 0x00, 0x12}, "T"},
      {"T -start -crc16\nBYTE a\nWORD b\nT -end\n", {0x01, 0x03, 0x02}, {0x01, 0x03, 0x02, 0x2D, 0x53},
       "T (CRC16: 0x532D)"},
      {"T -start -crc16msb\nBYTE a\nWORD b\nT -end\n", {0x01, 0x03, 0x02}, {0x01, 0x03, 0x02, 0x53, 0x2D},
       "T (CRC16MSB: 0x532D)"},
      {"T -start -crc32\nB a -a9\nT -end\n", Ascii("123456789"),
       {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x70, 0x58, 0x3C, 0x37}, "T (CRC32: 0x373C5870)"},
      {"T -start -crc32msb\nB a -a9\nT -end\n", Ascii("123456789"),
       {'1', '2', '3', '4', '5', '6', '7', '8', '9', 0x37, 0x3C, 0x58, 0x70}, "T (CRC32MSB: 0x373C5870)"},
      {"T -start -chk\nWORD w\nINT i\nT -end\n", {0xFF, 0xFF, 0xFF, 0x80}, {0xFF, 0xFF, 0xFF, 0x80, 0x7D, 0x03},
       "T (Chk: 0x037D)"},
      {"T -start -chkmsb\nDWORD d\nFLOAT f\nT -end\n", {1, 2, 3, 4, 0, 0, 0x80, 0x3F},
       {1, 2, 3, 4, 0, 0, 0x80, 0x3F, 0x00, 0xC9}, "T (ChkMSB: 0x00C9)"},
  };
  for (const auto& c : cases) {
    Layouts layouts(c.library);
    ASSERT_TRUE(layouts.Loaded()) << c.library << layouts.LastMessage();
    EepromImage image = layouts.Image("T", c.values, static_cast<uint32_t>(c.stored.size()));
    image.Encode();
    EXPECT_EQ(BytesOf(image), c.stored) << c.library;
    EXPECT_EQ(image.Root()->LabelText(), c.label) << c.library;
    EXPECT_EQ(image.Root()->ItemSize(), c.stored.size()) << c.library;
  }
}

TEST(EepromChecksums, MemberChecksumFieldsCountInTheParentsSums) {
  // The parent's CRC runs over every stored byte before its own field,
  // the members' fields included.
  Layouts layouts(
      "PAIR -start -crc16msb\nBYTE a\nBYTE b\nPAIR -end\n"
      "INNER -start -chk\nWORD w\nPAIR p\nINNER -end\n"
      "T -start -crc32\nINNER x\nDWORD d -crc16\nPAIR q -a2\nT -end\n");
  ASSERT_TRUE(layouts.Loaded()) << layouts.LastMessage();
  const std::vector<uint8_t> values = {0x10, 0x20, 0x30, 0x40, 0, 0, 0x55, 0x66, 0x77, 0x88, 0, 0, 1, 2, 0, 0, 3, 4};
  EepromImage image = layouts.Image("T", values, 40);
  image.Encode();
  const auto bytes = BytesOf(image);
  const uint32_t size = image.Root()->ItemSize();
  ASSERT_EQ(size, (2 + 4 + 2) + (4 + 2) + 2 * 4 + 4u);
  // INNER: W(2) + PAIR(2 + 2) + chk(2).
  const std::span<const uint8_t> all(bytes.data(), size);
  const uint32_t stored_crc32 = bytes[size - 4] | bytes[size - 3] << 8 | bytes[size - 2] << 16 |
                                static_cast<uint32_t>(bytes[size - 1]) << 24;
  EXPECT_EQ(stored_crc32, Crc32Update(kCrc32Start, all.first(size - 4)));
  // PAIR inside INNER: its MSB-first CRC over its two bytes.
  const uint16_t pair_crc = Crc16Update(kCrc16Start, all.subspan(2, 2));
  EXPECT_EQ(bytes[4], pair_crc >> 8);
  EXPECT_EQ(bytes[5], pair_crc & 0xFF);
  // INNER's byte sum over W, the pair and the pair's CRC.
  uint32_t sum = 0;
  for (int i = 0; i < 6; ++i) sum += bytes[i];
  EXPECT_EQ(bytes[6] | bytes[7] << 8, static_cast<int>(sum & 0xFFFF));
  // The bytes past the description stay 0xFF.
  for (uint32_t i = size; i < 40; ++i) EXPECT_EQ(bytes[i], 0xFF) << i;
  // A second encode of unchanged values changes nothing.
  image.Decode();
  image.Encode();
  EXPECT_EQ(BytesOf(image), bytes);
}

TEST(EepromChecksums, SkippedMembersStayOutOfTheSumsAndTheirBytesStay) {
  Layouts layouts(
      "T -start -chk\nBYTE a\nBYTE gap -skip3\nBYTE b\nT -end\n"
      "U -start -crc16\nBYTE a\nWORD gap -skip2 -crc16msb\nT x -skip\nBYTE b\nU -end\n");
  ASSERT_TRUE(layouts.Loaded()) << layouts.LastMessage();
  EepromImage t = layouts.Image("T", {0x01, 0xAA, 0xBB, 0xCC, 0x02}, 7);
  t.Encode();
  EXPECT_EQ(BytesOf(t), (std::vector<uint8_t>{0x01, 0xAA, 0xBB, 0xCC, 0x02, 0x03, 0x00}));
  EXPECT_EQ(t.Root()->Member(1).LabelText(), "Skipped 3 bytes");

  // A skipped member with a checksum kind still counts the checksum it would
  // carry: the CRC's start value, most significant byte first here.
  std::vector<uint8_t> filler(1 + 8 + 7 + 1, 0xEE);
  EepromImage u = layouts.Image("U", filler, 19);
  const std::vector<uint8_t> counted = {0xEE, 0x1D, 0x0F, 0x00, 0x00, 0xEE};
  const uint16_t crc = Crc16Update(kCrc16Start, counted);
  u.Encode();
  const auto bytes = BytesOf(u);
  EXPECT_EQ(u.Root()->ItemSize(), 19u);
  EXPECT_EQ(bytes[17] | bytes[18] << 8, crc);
  for (int i = 1; i < 16; ++i) EXPECT_EQ(bytes[i], 0xEE) << "skipped byte " << i << " was touched";
}

TEST(EepromImageModel, SizesCountChecksumFieldsAndSkipCountsAndNeverWrap) {
  struct Case {
    const char* library;
    uint32_t size;
  };
  const Case cases[] = {
      {"T -start\nBYTE a\nWORD b\nINT c\nDWORD d\nFLOAT e\nT -end\n", 13},
      {"T -start -crc32msb\nBYTE a -chk\nWORD b -crc16msb\nT -end\n", 3 + 4 + 4},
      {"T -start -skip3 -crc16\nWORD a\nT -end\n", 3 * (2 + 2)},
      {"T -start\nT -end\n", 0},
      // Four gaps of 2^31 bytes, the whole repeated 2^31 times: far beyond
      // 32 bits (2^64 exactly, which a 64-bit product would wrap to 0).
      {"T -start -skip2147483648\nBYTE a -skip2147483648 -a4\nT -end\n", 0xFFFFFFFFu},
      {"T -start\nDWORD a -skip4294967295\nDWORD b -skip4294967295\nT -end\n", 0xFFFFFFFFu},
  };
  for (const auto& c : cases) {
    Layouts layouts(c.library);
    ASSERT_TRUE(layouts.Loaded()) << c.library << layouts.LastMessage();
    EXPECT_EQ(layouts.Blank("T", 0).Root()->ItemSize(), c.size) << c.library;
  }
}

TEST(EepromImageModel, ASkippedFieldIsNeverDecodedEncodedOrEdited) {
  Layouts layouts("T -start\nBYTE first\nBYTE reserved -skip16\nBYTE last\nT -end\n");
  ASSERT_TRUE(layouts.Loaded());
  std::vector<uint8_t> bytes(18);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i + 1);
  EepromImage image = layouts.Image("T", bytes, 18);
  EepromItem& reserved = image.Root()->Member(1);
  EXPECT_EQ(reserved.LabelText(), "Skipped 16 bytes");
  EXPECT_EQ(reserved.ItemSize(), 16u);
  EXPECT_EQ(reserved.byte_value, 0);
  EXPECT_EQ(image.Root()->Member(2).byte_value, 18);
  EXPECT_FALSE(image.EditValue(reserved, "5").parsed);
  image.Root()->Member(0).byte_value = 0x77;
  image.Encode();
  bytes[0] = 0x77;
  EXPECT_EQ(BytesOf(image), bytes);
}

TEST(EepromImageModel, AnImageShorterThanTheDescriptionKeepsWhatDoesNotFit) {
  Layouts layouts("T -start\nBYTE a\nWORD w\nDWORD d -chk\nT -end\n");
  ASSERT_TRUE(layouts.Loaded());
  {
    EepromImage decoded = layouts.Image("T", {0x11, 0x22}, 2);
    EepromItem& root = *decoded.Root();
    EXPECT_EQ(root.Member(0).byte_value, 0x11);
    EXPECT_EQ(root.Member(1).word_value, 0x0022);  // only the low byte existed
    EXPECT_EQ(root.Member(2).dword_value, 0u);
    root.Member(1).word_value = 0xABCD;
    root.Member(2).dword_value = 0x01020304;
    decoded.Encode();
    EXPECT_EQ(BytesOf(decoded), (std::vector<uint8_t>{0x11, 0xCD}));
    EXPECT_EQ(root.Member(2).LabelText(), "DWORD D: 16909060 (Chk: 0x000A)");
  }
}

TEST(EepromImageModel, ABlankImageHasZeroValuesValidChecksumsAndFFElsewhere) {
  Layouts layouts("T -start -crc16\nBYTE a\nBYTE gap -skip2\nWORD b -chk\nT -end\n");
  ASSERT_TRUE(layouts.Loaded());
  EepromImage image = layouts.Blank("T", 12);
  const uint16_t crc = Crc16Update(kCrc16Start, std::vector<uint8_t>{0, 0, 0, 0, 0});
  EXPECT_EQ(BytesOf(image), (std::vector<uint8_t>{0x00, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00,
                                                  static_cast<uint8_t>(crc), static_cast<uint8_t>(crc >> 8), 0xFF,
                                                  0xFF, 0xFF}));
}

TEST(EepromTexts, ValueTextsFollowTypeAndDisplay) {
  struct Case {
    const char* field;
    std::vector<uint8_t> bytes;
    const char* label;
  };
  const Case cases[] = {
      {"BYTE v -hex", {0x0A}, "BYTE V: 0x0A"},
      {"BYTE v", {0xFE}, "BYTE V: 254"},
      {"BYTE v -char", {'Q'}, "BYTE V: Q"},
      {"BYTE v -char", {0x07}, "BYTE V: ."},
      {"BYTE v -char", {0xFF}, "BYTE V: ."},
      {"WORD v -hex", {0xEF, 0xBE}, "WORD V: 0xBEEF"},
      {"WORD v", {0xFF, 0xFF}, "WORD V: 65535"},
      {"INT v", {0x00, 0x80}, "INT V: -32768"},
      {"DWORD v -hex", {0x78, 0x56, 0x34, 0x12}, "DWORD V: 0x12345678"},
      {"DWORD v", {0xFF, 0xFF, 0xFF, 0xFF}, "DWORD V: -1"},
      {"DWORD v", {0x00, 0x00, 0x00, 0x80}, "DWORD V: -2147483648"},
      {"FLOAT v", {0x00, 0x00, 0xC0, 0x3F}, "FLOAT V: 1.500000"},
      {"FLOAT v", {0x00, 0x00, 0x80, 0xBF}, "FLOAT V: -1.000000"},
      {"WORD v -chk", {0x01, 0x02}, "WORD V: 513 (Chk: 0x0003)"},
      {"BYTE", {0x01}, "BYTE: 1"},
  };
  for (const auto& c : cases) {
    Layouts layouts(std::string("T -start\n") + c.field + "\nT -end\n");
    ASSERT_TRUE(layouts.Loaded()) << c.field;
    EepromImage image = layouts.Image("T", c.bytes, 8);
    EXPECT_EQ(image.Root()->Member(0).LabelText(), c.label) << c.field;
  }
}

const char* kListingLibrary =
    "PART -start -chk -label\"part label\"\n"
    "WORD w -hex\n"
    "PART -end\n"
    "BOARD -start -file -crc16 -label\"top\\tinner\\tdeeper\\bback\\nsame\\b\\b\\bup\"\n"
    "BYTE mode -label\"line one\\nline two\"\n"
    "PART p\n"
    "BYTE gap -skip4 -label\"never listed\"\n"
    "BYTE tag -char\n"
    "BOARD -end\n";

TEST(EepromTexts, TheListingIndentsLevelsAndLabelLines) {
  Layouts layouts(kListingLibrary);
  ASSERT_TRUE(layouts.Loaded()) << layouts.LastMessage();
  EepromImage image = layouts.Image("BOARD", {3, 0x34, 0x12, 0, 0, 0, 0, 0, 0, 'Z'}, 16);
  image.Encode();
  const uint16_t crc = image.Root()->ComputeCrc16(kCrc16Start);
  char suffix[32];
  std::snprintf(suffix, sizeof suffix, " (CRC16: 0x%04X)", crc);
  const std::string expected = std::string("BOARD:") + suffix +
                               "\n"
                               "\ttop\n"
                               "\t\tinner\n"
                               "\t\t\tdeeper\n"
                               "\t\tback\n"
                               "\t\tsame\n"
                               "up\n"
                               "\tBYTE MODE: 3\n"
                               "\t\tline one\n"
                               "\t\tline two\n"
                               "\tPART P: (Chk: 0x0046)\n"
                               "\t\tpart label\n"
                               "\t\tWORD W: 0x1234\n"
                               "\tSkipped 4 bytes\n"
                               "\tBYTE TAG: Z\n";
  EXPECT_EQ(image.Text(), expected);
}

TEST(EepromTexts, TheTreeNestsLabelLinesAsTheirControlCharactersSay) {
  Layouts layouts(kListingLibrary);
  ASSERT_TRUE(layouts.Loaded());
  EepromImage image = layouts.Blank("BOARD", 16);
  const auto top = BuildEepromTree(*image.Root());
  // The final backspaces climb to the top level, beside the root's node.
  ASSERT_EQ(top->children.size(), 2u);
  const EepromTreeNode& board = *top->children[0];
  EXPECT_EQ(board.item, image.Root());
  EXPECT_EQ(top->children[1]->text, "up");
  EXPECT_EQ(top->children[1]->item, nullptr);
  // The label's first line, then the four items.
  ASSERT_EQ(board.children.size(), 5u);
  const EepromTreeNode& first = *board.children[0];
  EXPECT_EQ(first.text, "top");
  ASSERT_EQ(first.children.size(), 3u);
  EXPECT_EQ(first.children[0]->text, "inner");
  ASSERT_EQ(first.children[0]->children.size(), 1u);
  EXPECT_EQ(first.children[0]->children[0]->text, "deeper");
  EXPECT_EQ(first.children[1]->text, "back");
  EXPECT_EQ(first.children[2]->text, "same");
  EXPECT_EQ(board.children[1]->text, "BYTE MODE: 0");
  EXPECT_EQ(board.children[1]->children.size(), 2u);
  EXPECT_EQ(board.children[2]->item, &image.Root()->Member(1));
  ASSERT_EQ(board.children[2]->children.size(), 2u);  // label line, then W
  EXPECT_EQ(board.children[2]->children[1]->text, "WORD W: 0x0000");
  const EepromTreeNode& gap = *board.children[3];
  EXPECT_EQ(gap.text, "Skipped 4 bytes");
  ASSERT_EQ(gap.children.size(), 1u);
  EXPECT_EQ(gap.children[0]->text, "never listed");
}

TEST(EepromTexts, PathAndEditTextsNameTheAncestors) {
  Layouts layouts(kListingLibrary);
  ASSERT_TRUE(layouts.Loaded());
  EepromImage image = layouts.Blank("BOARD", 16);
  const EepromItem& w = image.Root()->Member(1).Member(0);
  EXPECT_EQ(w.PathText(), "BOARD::\r\nPART P::\r\nWORD W: 0x0000");
  EXPECT_EQ(EditDialogTitle(w), "Editing WORD W");
  EXPECT_EQ(EditDialogPrompt(&w), "Please enter the new value for\r\nBOARD::\r\nPART P::\r\nWORD W: 0x0000");
  EXPECT_TRUE(EditDialogHasEntry(w));
  const EepromItem& part = image.Root()->Member(1);
  EXPECT_EQ(EditDialogPrompt(&part),
            "Please edit the sub items instead.\r\nCannot directly edit\r\nBOARD::\r\nPART P (Chk: 0x0000)");
  EXPECT_FALSE(EditDialogHasEntry(part));
  EXPECT_EQ(EditDialogPrompt(nullptr), "Please enter the new value for\r\nUnknown Item");
}

TEST(EepromEdits, EntriesAreParsedAndClampedByType) {
  struct Case {
    const char* field;
    const char* entry;
    bool parsed;
    const char* label_after;
  };
  const Case cases[] = {
      {"BYTE v -hex", "0x1f", true, "BYTE V: 0x1F"},
      {"BYTE v -hex", "300", true, "BYTE V: 0xFF"},
      {"BYTE v -hex", "abc", false, "BYTE V: 0x05"},
      {"BYTE v", "  42 ", true, "BYTE V: 42"},
      {"BYTE v", "12x", false, "BYTE V: 5"},
      {"BYTE v", "0X", false, "BYTE V: 5"},
      {"BYTE v", "-1", false, "BYTE V: 5"},
      {"BYTE v", "", false, "BYTE V: 5"},
      {"BYTE v", "99999999999999999999999", true, "BYTE V: 255"},
      {"BYTE v -char", "Hello", true, "BYTE V: H"},
      {"BYTE v -char", " x", true, "BYTE V:  "},
      {"BYTE v -char", "", false, "BYTE V: ."},
      {"WORD v", "70000", true, "WORD V: 65535"},
      {"WORD v -hex", "abcx12", true, "WORD V: 0x0012"},
      {"DWORD v -hex", "0xFFFFFFFF", true, "DWORD V: 0xFFFFFFFF"},
      {"DWORD v -hex", "0x1FFFFFFFF", true, "DWORD V: 0xFFFFFFFF"},
      {"DWORD v", "4294967295", true, "DWORD V: -1"},
      {"INT v", "-40000", true, "INT V: -32768"},
      {"INT v", "40000", true, "INT V: 32767"},
      {"INT v", "  -12abc", true, "INT V: -12"},
      {"INT v", "abc", false, "INT V: 5"},
      {"INT v", "- 3", false, "INT V: 5"},
      {"FLOAT v", " 2.25", true, "FLOAT V: 2.250000"},
      {"FLOAT v", "-1e3x", true, "FLOAT V: -1000.000000"},
      {"FLOAT v", "x1", false, "FLOAT V: 5.000000"},
  };
  for (const auto& c : cases) {
    Layouts layouts(std::string("T -start -chk\n") + c.field + "\nT -end\n");
    ASSERT_TRUE(layouts.Loaded()) << c.field;
    EepromImage image = layouts.Blank("T", 8);
    EepromItem& v = image.Root()->Member(0);
    // Start every case from the value 5.
    v.byte_value = v.char_display ? 7 : 5;
    v.word_value = 5;
    v.int_value = 5;
    v.dword_value = 5;
    v.float_value = 5.0f;
    image.Encode();
    const auto before = BytesOf(image);
    const EditResult result = image.EditValue(v, c.entry);
    EXPECT_EQ(result.parsed, c.parsed) << c.field << " <- " << c.entry;
    EXPECT_EQ(v.LabelText(), c.label_after) << c.field << " <- " << c.entry;
    if (result.changed) {
      // The bytes follow the edit at once, checksum included.
      const auto after = BytesOf(image);
      EXPECT_NE(after, before) << c.field << " <- " << c.entry;
      const uint32_t n = image.Root()->ItemSize() - 2;
      uint32_t sum = 0;
      for (uint32_t i = 0; i < n; ++i) sum += after[i];
      EXPECT_EQ(after[n] | after[n + 1] << 8, static_cast<int>(sum & 0xFFFF)) << c.field;
    } else {
      EXPECT_EQ(BytesOf(image), before) << c.field << " <- " << c.entry;
    }
  }
}

TEST(EepromEdits, ChangedIsReportedOnlyForADifferentValueExceptFloats) {
  Layouts layouts("T -start\nWORD w\nFLOAT f\nT -end\n");
  ASSERT_TRUE(layouts.Loaded());
  EepromImage image = layouts.Blank("T", 6);
  EXPECT_TRUE(image.EditValue(image.Root()->Member(0), "7").changed);
  EXPECT_FALSE(image.EditValue(image.Root()->Member(0), "0x7").changed);
  EXPECT_TRUE(image.EditValue(image.Root()->Member(1), "0").changed);
  EXPECT_FALSE(image.EditValue(*image.Root(), "1").parsed);
}

TEST(EepromCopies, ValuesFollowNamesAcrossVersions) {
  Layouts layouts(
      "CAL -start -v1\nWORD gain\nWORD offset\nCAL -end -v1\n"
      "CAL -start -v2\nWORD offset\nINT gain\nWORD extra\nCAL -end -v2\n"
      "OLD -start -v1 -file\nBYTE serial\nCAL cal -v1\nDWORD moved\nOLD -end -v1\n"
      "OLD -start -v2 -file\nCAL cal -v2\nBYTE serial\nWORD moved\nBYTE added\nOLD -end -v2\n");
  ASSERT_TRUE(layouts.Loaded()) << layouts.LastMessage();
  EepromImage v1 = layouts.Image("OLD1", {9, 0x34, 0x12, 0x78, 0x56, 1, 2, 3, 4}, 16);
  EepromImage v2 = layouts.Image("OLD2", {0xAA, 0xAA, 0xBB, 0xBB, 0xCC, 0xCC, 0xDD, 0xEE, 0xEE, 0x11}, 16);
  v2.Root()->CopyValuesFrom(*v1.Root());
  const EepromItem& root = *v2.Root();
  EXPECT_EQ(root.Member(1).byte_value, 9);                     // serial: same name and type
  EXPECT_EQ(root.Member(0).Member(0).word_value, 0x5678);       // CAL2 offset from CAL1 offset
  EXPECT_EQ(root.Member(0).Member(1).int_value, static_cast<int16_t>(0xBBBB));  // gain: WORD is not INT
  EXPECT_EQ(root.Member(0).Member(2).word_value, 0xCCCC);       // extra: the source lacks it
  EXPECT_EQ(root.Member(2).word_value, 0xEEEE);                 // moved: DWORD does not fit a WORD
  EXPECT_EQ(root.Member(3).byte_value, 0x11);                   // added: kept
}

TEST(EepromCopies, ThePrimitiveSlotsTravelEvenBetweenDifferentTypes) {
  Layouts layouts("T -start\nWORD w\nINT i\nWORD same\nT -end\nU -start\nINT w\nINT i\nINT same\nU -end\n");
  ASSERT_TRUE(layouts.Loaded());
  EepromImage t = layouts.Image("T", {1, 0, 2, 0, 3, 0}, 6);
  EepromImage u = layouts.Image("U", {9, 0, 9, 0, 9, 0}, 6);
  // Only exact type names match between two unversioned types, so the
  // members stay; the roots' own slots are all that travel.
  u.Root()->CopyValuesFrom(*t.Root());
  EXPECT_EQ(u.Root()->Member(0).int_value, 9);
  EXPECT_EQ(u.Root()->Member(1).int_value, 2);
  // Directly between a WORD and an INT item the INT takes the WORD's INT slot (0).
  u.Root()->Member(2).CopyValuesFrom(t.Root()->Member(2));
  EXPECT_EQ(u.Root()->Member(2).int_value, 0);
}

TEST(EepromPaths, ItemsAreFoundByInstanceNames) {
  Layouts layouts(kListingLibrary);
  ASSERT_TRUE(layouts.Loaded());
  EepromImage image = layouts.Blank("BOARD", 16);
  EepromItem& root = *image.Root();
  EXPECT_EQ(FindItemByPath(root, "MODE"), &root.Member(0));
  EXPECT_EQ(FindItemByPath(root, "board.mode"), &root.Member(0));
  EXPECT_EQ(FindItemByPath(root, "BOARD.P.W"), &root.Member(1).Member(0));
  EXPECT_EQ(FindItemByPath(root, "BOARD"), &root);
  EXPECT_EQ(FindItemByPath(root, "P.X"), nullptr);
  EXPECT_EQ(FindItemByPath(root, ""), nullptr);
}

TEST(EepromImageModel, DeepChecksummedNestingEncodesInLinearTime) {
  // Forty levels, each with its own CRC: walking every member's checksum
  // afresh at each level would take 2^40 steps.
  std::string text = "L0 -start -crc16\nBYTE b\nL0 -end\n";
  const auto LevelName = [](int level) {
    std::string name = "L";
    name += std::to_string(level);
    return name;
  };
  for (int i = 1; i <= 40; ++i) {
    const std::string level = LevelName(i);
    const std::string below = LevelName(i - 1);
    text.append(level).append(" -start -crc32\n").append(below).append(" x\nBYTE b\n");
    text.append(level).append(" -end\n");
  }
  Layouts layouts(text);
  ASSERT_TRUE(layouts.Loaded()) << layouts.LastMessage();
  EepromImage image = layouts.Blank("L40", 512);
  EXPECT_EQ(image.Root()->ItemSize(), 3u + 40 * 5);
  EXPECT_FALSE(image.Text().empty());
  const auto bytes = BytesOf(image);
  EXPECT_EQ(bytes[199] | bytes[200] << 8 | bytes[201] << 16 | static_cast<uint32_t>(bytes[202]) << 24,
            Crc32Update(kCrc32Start, std::span<const uint8_t>(bytes.data(), 199)));
}

}  // namespace
}  // namespace corvel::test
