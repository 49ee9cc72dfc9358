// The definition library language: lines, tokens, symbols, options, names,
// line checks, the loader's messages, includes, queries and instantiation.
#include <filesystem>
#include <map>

#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/format/eeprom/EepromMessages.h"
#include "core/tool/eeprom/EepromLibraryReport.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

// A library read from files held in memory.
struct MemoryLibrary {
  std::map<std::string, std::string> files;
  ScriptedUserInterface ui;
  EepromDefinitionLibrary library{[this](const std::string& path) -> std::optional<std::string> {
                                    const auto found = files.find(path);
                                    if (found == files.end()) return std::nullopt;
                                    return found->second;
                                  }};
  bool Load(const std::string& text) {
    files["lib.txt"] = text;
    return LoadFile("lib.txt");
  }
  // Loads as the tools do: an error is shown to the person.
  bool LoadFile(const std::string& path) { return LoadLibraryReporting(library, path, ui); }
};

struct Member {
  std::string type_name;
  std::string instance_name;
  TypeCode code;
};

std::vector<Member> MembersOf(const EepromItem& item) {
  std::vector<Member> out;
  for (const auto& m : item.Members()) out.push_back({m->type_name, m->instance_name, m->type_code});
  return out;
}

bool operator==(const Member& a, const Member& b) {
  return a.type_name == b.type_name && a.instance_name == b.instance_name && a.code == b.code;
}
std::ostream& operator<<(std::ostream& os, const Member& m) {
  return os << m.type_name << ' ' << m.instance_name << " code " << static_cast<int>(m.code);
}

TEST(EepromLibraryFields, FieldLinesDeclareTheNamedMembers) {
  const Member b0{"BYTE", "", TypeCode::kByte};
  struct Case {
    std::string defines;
    std::string field_lines;
    std::vector<Member> expected;
  };
  auto byte = [&](const std::string& name) { return Member{"BYTE", name, TypeCode::kByte}; };
  const Case cases[] = {
      {"", "UINT8_T NAME -a4,1", {byte("NAME[1]"), byte("NAME[2]"), byte("NAME[3]"), byte("NAME[4]")}},
      {"", "UINT8_T NAME -a4", {byte("NAME[0]"), byte("NAME[1]"), byte("NAME[2]"), byte("NAME[3]")}},
      {"", "UINT8_T NAME[4]", {byte("NAME[0]"), byte("NAME[1]"), byte("NAME[2]"), byte("NAME[3]")}},
      {"", "UINT8_T NAME -a0", {}},
      {"", "B x", {byte("X")}},
      {"", "BYTE ok; // a trailing comment", {byte("OK")}},
      {"", "W cal[2:5]", {{"WORD", "CAL[5]", TypeCode::kWord}, {"WORD", "CAL[6]", TypeCode::kWord}}},
      {"", "W cal -a2, ", {{"WORD", "CAL[0]", TypeCode::kWord}, {"WORD", "CAL[1]", TypeCode::kWord}}},
      {"", "WORD NAME[]", {{"WORD", "NAME[]", TypeCode::kWord}}},
      {"", "F gain[x]", {{"FLOAT", "GAIN[X]", TypeCode::kFloat}}},
      {"", "int16_t t\nI u\nuint32_t d\nD e\nfloat f\nuint16_t w", {{"INT", "T", TypeCode::kInt},
                                                                  {"INT", "U", TypeCode::kInt},
                                                                  {"DWORD", "D", TypeCode::kDword},
                                                                  {"DWORD", "E", TypeCode::kDword},
                                                                  {"FLOAT", "F", TypeCode::kFloat},
                                                                  {"WORD", "W", TypeCode::kWord}}},
      {"", "BYTE", {b0}},
      // Symbols: whole tokens, and a replacement may hold several tokens.
      {"#define T word\n", "T x", {{"WORD", "X", TypeCode::kWord}}},
      {"#define LEN -a2\n", "BYTE A LEN", {byte("A[0]"), byte("A[1]")}},
      {"#define FIELD BYTE Q -hex\n", "FIELD", {byte("Q")}},
      {"#define one TWO\n#define two BYTE\n", "ONE z", {byte("Z")}},
      {"#define x X\n", "BYTE x", {byte("X")}},
      {"#define N 16\n", "BYTE N", {byte("16")}},
      // A continuation joins the next physical line.
      {"", "BYTE A \\\n-a2", {byte("A[0]"), byte("A[1]")}},
      {"", "BYTE A \\\n\\\n-a2", {byte("A[0]"), byte("A[1]")}},
      {"", "BYTE A\\", {byte("A\\")}},
      {"", "  // only a comment\n\n   \n\tBYTE x", {byte("X")}},
  };
  for (const auto& c : cases) {
    MemoryLibrary lib;
    ASSERT_TRUE(lib.Load(c.defines + "TYPE -start\n" + c.field_lines + "\nTYPE -end\n"))
        << c.field_lines << ": " << lib.ui.LastText();
    ASSERT_EQ(lib.library.DescriptionCount(), 1u);
    EXPECT_EQ(MembersOf(lib.library.Description(0)), c.expected) << c.field_lines;
    EXPECT_TRUE(lib.ui.shown.empty()) << c.field_lines;
  }
}

TEST(EepromLibraryFields, OptionsSetTheFieldAttributes) {
  // The same library, once with "-v" alone (an empty version) on line 9.
  auto library = [](const char* reference_options) {
    return std::string(
               "TYPE -start\n"
               "BYTE h -hex\n"
               "BYTE c -char\n"
               "WORD s -skip16 -chkmsb\n"
               "DWORD l -label\"two words\\nnext\\tin\\bout\" -crc32\n"
               "WORD k -SKIP -CRC16MSB -Hex\n"
               "TYPE -end\n"
               "REF -start\n"
               "TYPE t -crc16 -label\"x\"") +
           reference_options + "\nREF -end\n";
  };
  MemoryLibrary lib;
  ASSERT_TRUE(lib.Load(library(" -v")) == false);
  EXPECT_EQ(lib.ui.LastText(), "Incorrect formatting on line 9 of file lib.txt (Error: Version string must not be empty)");

  MemoryLibrary ok;
  ASSERT_TRUE(ok.Load(library(""))) << ok.ui.LastText();
  const EepromItem& type = ok.library.Description(0);
  ASSERT_EQ(type.MemberCount(), 5u);
  EXPECT_TRUE(type.Member(0).hex_display);
  EXPECT_FALSE(type.Member(0).char_display);
  EXPECT_TRUE(type.Member(1).char_display);
  EXPECT_EQ(type.Member(2).skip_count, 16u);
  EXPECT_EQ(type.Member(2).checksum_kind, ChecksumKind::kChkMsb);
  EXPECT_EQ(type.Member(3).label, "two words\nnext\tin\bout");
  EXPECT_EQ(type.Member(3).checksum_kind, ChecksumKind::kCrc32);
  EXPECT_EQ(type.Member(4).skip_count, 1u);
  EXPECT_EQ(type.Member(4).checksum_kind, ChecksumKind::kCrc16Msb);
  EXPECT_TRUE(type.Member(4).hex_display);
  const EepromItem& ref = ok.library.Description(1).Member(0);
  EXPECT_TRUE(ref.unresolved_reference);
  EXPECT_EQ(ref.type_code, TypeCode::kDescribed);
  EXPECT_EQ(ref.MemberCount(), 0u);
  EXPECT_EQ(ref.checksum_kind, ChecksumKind::kCrc16);
}

TEST(EepromLibraryFields, StartLinesCarryTheDescriptionAttributes) {
  MemoryLibrary lib;
  ASSERT_TRUE(lib.Load(
      "board -START -file\"default board.eep\" -equip\"tx one\" -swver\"1.0a\" -swver\"1.1\" -crc32msb "
      "-label\"Board\" -v3\n"
      "BYTE X\n"
      "BOARD -end -v3\n"
      "plain -start -file -skip2\n"
      "plain -end\n"))
      << lib.ui.LastText();
  const EepromItem* board = lib.library.FindType("board3");
  ASSERT_NE(board, nullptr);
  EXPECT_EQ(board->type_name, "BOARD3");
  EXPECT_EQ(board->version_text, "3");
  EXPECT_EQ(board->file_type_name, "default board.eep");
  EXPECT_EQ(board->equipment, "TX ONE");
  EXPECT_EQ(board->software_versions, (std::vector<std::string>{"1.0A", "1.1"}));
  EXPECT_EQ(board->checksum_kind, ChecksumKind::kCrc32Msb);
  EXPECT_EQ(board->label, "Board");
  EXPECT_TRUE(board->file_type);
  const EepromItem* plain = lib.library.FindType("PLAIN");
  ASSERT_NE(plain, nullptr);
  EXPECT_TRUE(plain->file_type);
  EXPECT_EQ(plain->file_type_name, "");
  EXPECT_EQ(plain->skip_count, 2u);
}

struct ErrorCase {
  const char* library;
  const char* message;
};

void ExpectLoadFails(const ErrorCase& c) {
  MemoryLibrary lib;
  EXPECT_FALSE(lib.Load(c.library)) << c.library;
  ASSERT_EQ(lib.ui.shown.size(), 1u) << c.library;
  EXPECT_EQ(lib.ui.shown[0].message.text, c.message) << c.library;
  EXPECT_EQ(lib.ui.shown[0].message.buttons, MessageButtons::Ok);
  EXPECT_FALSE(lib.library.Loaded());
}

TEST(EepromLibraryErrors, LineErrorsNameTheLineAndTheFirstError) {
  const ErrorCase cases[] = {
      {"T -start\n,\nT -end\n", "Incorrect formatting on line 2 of file lib.txt"},
      {"T -start\n-hex\nT -end\n", "Incorrect formatting on line 2 of file lib.txt"},
      {"#define MAX 16\nT -start\nBYTE a -aMAX\nT -end\n",
       "Incorrect formatting on line 3 of file lib.txt (Error: Array format incorrect)"},
      {"T -start\nBYTE a -a\nT -end\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Must include an array length)"},
      {"T -start\nBYTE a -a, 1\nT -end\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Must include an array length)"},
      {"T -start\nBYTE a -ax\nT -end\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Array format incorrect)"},
      {"T -start\nBYTE X -hex -char\nT -end\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Character display not valid with the other options or "
       "type chosen)"},
      {"T -start\nWORD X -char\nT -end\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Character display not valid with the other options or "
       "type chosen)"},
      {"T -start\nINT X -hex\nT -end\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Type selected cannot be displayed in hex format)"},
      {"T -start\nFLOAT X -hex\nT -end\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Type selected cannot be displayed in hex format)"},
      {"T -start -equip\"TX\"\nT -end\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Equipment type and software versions can only be "
       "specified at the start of a file type description)"},
      {"T -start -file\nBYTE x -swver\"1\"\nT -end\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Equipment type and software versions can only be "
       "specified at the start of a file type description)"},
      {"T -start\nBYTE x -file\nT -end\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: File type can only be specified at the start of a "
       "description)"},
      {"T -start -end\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Options selected are not valid with a description "
       "start/end)"},
      {"-start BYTE\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Options selected are not valid with a description "
       "start/end)"},
      {"T -start -a2\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Options selected are not valid with a description "
       "start/end)"},
      {"T x -start\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Options selected are not valid with a description "
       "start/end)"},
      {"T -start\nT -end -skip2\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Skipping sections is only allowed at the beginning of "
       "a description)"},
      {"T -start\n#\n", "Incorrect formatting on line 2 of file lib.txt (Error: Empty directive)"},
      {"#pragma once\n", "Incorrect formatting on line 1 of file lib.txt (Error: Unrecognized directive: pragma)"},
      {"T -start\nBYTE x -\n", "Incorrect formatting on line 2 of file lib.txt (Error: Empty option specified)"},
      {"T -start\nBYTE x -bold\n", "Incorrect formatting on line 2 of file lib.txt (Error: Unknown option: bold)"},
      {"T -start\nBYTE x -label\n", "Incorrect formatting on line 2 of file lib.txt (Error: Unknown option: label)"},
      {"T -start\nBYTE x y\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Too many names found: missing '-'?)"},
      {"T -start\nBYTE x -skipX\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Incorrect formatting on length for the skipped section)"},
      {"T -start\n-v2 BYTE x\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Version string must not be empty)"},
      {"T -start -fileX\n", "Incorrect formatting on line 1 of file lib.txt (Error: Missing quotes around file name)"},
      {"T -start -file\"x\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Missing second quote from file name)"},
      {"T -start -file -swver\n", "Incorrect formatting on line 1 of file lib.txt (Error: Empty software version)"},
      {"T -start -file -swver\"\"\n", "Incorrect formatting on line 1 of file lib.txt (Error: Empty software version)"},
      {"T -start -file -swverX\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Missing quotes from software version)"},
      {"T -start -file -swver\"1\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Missing second quote from software version)"},
      {"T -start -file -equip\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Equipment option must include a string)"},
      {"T -start -file -equip \"A\"\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Equipment option must include a string)"},
      // A blank after -file leaves the quoted text as a second name.
      {"T -start -file \"x.eep\"\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Options selected are not valid with a description "
       "start/end)"},
      {"T -start -file -equipX\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Missing quotes on equipment type)"},
      {"T -start -file -equip\"A\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Missing second quote on equipment type)"},
      {"T -start -file -equip\"\"\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Equipment type string must not be empty)"},
      {"T -start -file -equip\"A\" -equip\"B\"\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: More than one equipment type specified)"},
      {"T -start -label\"abc\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Missing second quote on label)"},
      // "//" cuts the line even inside quotes.
      {"T -start -label\"see http://x\"\n",
       "Incorrect formatting on line 1 of file lib.txt (Error: Missing second quote on label)"},
      {"T -start\nBYTE a -a40000\nT -end\n",
       "Incorrect formatting on line 2 of file lib.txt (Error: Array longer than 32768 elements)"},
  };
  for (const auto& c : cases) ExpectLoadFails(c);
}

TEST(EepromLibraryErrors, ProcessingErrorsNameTheLineAndTheDescription) {
  const ErrorCase cases[] = {
      {"T -start -v2\nBYTE x\nT -end\n",
       "Incorrect formatting on line 3 of file lib.txt (description does not match: expecting T2, found T)"},
      {"T -start -v2\nBYTE x\nT -end -v3\n",
       "Incorrect formatting on line 3 of file lib.txt (description does not match: expecting T2, found T3)"},
      {"T -start\nBYTE x\nU -end\n",
       "Incorrect formatting on line 3 of file lib.txt (description does not match: expecting T, found U)"},
      {"T -start\nBYTE x\n#include \"other.txt\"\nT -end\n",
       "Incorrect formatting on line 3 of file lib.txt (included file other.txt in the middle of describing T)"},
      {"T -start\nBYTE x\n#define A 1\nT -end\n",
       "Incorrect formatting on line 3 of file lib.txt (defined symbol A in the middle of describing T)"},
      {"T -start\nBYTE x\n\n// the end\n\n",
       "Incorrect formatting on line 5 of file lib.txt (unmatched description terminator)"},
      {"T -start\nBYTE x\nT -end\nBYTE y\n",
       "Incorrect formatting on line 4 of file lib.txt (looking for start of description)"},
      {"T -start\nT -end\nt -start\n", "Incorrect formatting on line 3 of file lib.txt (redefinition of type T)"},
      {"T -start\nU x\nT -end\n",
       "Incorrect formatting on line 2 of file lib.txt (cannot find type U: was not defined)"},
      // A start line missing its end makes the next start a field.
      {"T -start\nBYTE x\nU -start\nU -end\n",
       "Incorrect formatting on line 3 of file lib.txt (cannot find type U: was not defined)"},
      // An error in a joined line carries the last physical line read.
      {"T -start\nBYTE x \\\n  -hex \\\n  -char\nT -end\n",
       "Incorrect formatting on line 4 of file lib.txt (Error: Character display not valid with the other options or "
       "type chosen)"},
      // Guards: nothing of these may hang or overflow the stack.
      {"T -start\nT self\nT -end\n",
       "Incorrect formatting on line 2 of file lib.txt (type T cannot contain a field of its own type)"},
      {"#define A B\n#define B A\nT -start\nA x\n",
       "Incorrect formatting on line 4 of file lib.txt (Error: Symbol substitution does not end: a #define refers to "
       "itself through other symbols)"},
      {"#define A A A\nT -start\nA\n",
       "Incorrect formatting on line 3 of file lib.txt (Error: Symbol substitution does not end: a #define refers to "
       "itself through other symbols)"},
      {"#include \"lib.txt\"\n",
       "Incorrect formatting on line 1 of file lib.txt (included file lib.txt is nested more than 16 files deep)"},
      {"#include missing.txt\n", "Cannot open the EEPROM definition library file missing.txt"},
  };
  for (const auto& c : cases) ExpectLoadFails(c);
}

TEST(EepromLibraryErrors, DirectiveAndDefineLinesMustBeWellFormed) {
  const ErrorCase cases[] = {
      {"#include\n", "Incorrect formatting on line 1 of file lib.txt"},
      {"T #include x.txt\n", "Incorrect formatting on line 1 of file lib.txt"},
      {"#define\n", "Incorrect formatting on line 1 of file lib.txt"},
      {"T #define A 1\n", "Incorrect formatting on line 1 of file lib.txt"},
      {"#define -hex A 1\n", "Incorrect formatting on line 1 of file lib.txt"},
  };
  for (const auto& c : cases) ExpectLoadFails(c);
}

TEST(EepromLibraryLoad, ALibraryWithoutDescriptionsFailsSilently) {
  for (const char* text : {"", "// nothing\n\n", "#define A 1\n"}) {
    MemoryLibrary lib;
    EXPECT_FALSE(lib.Load(text));
    EXPECT_TRUE(lib.ui.shown.empty()) << text;
    EXPECT_FALSE(lib.library.Loaded());
  }
}

TEST(EepromLibraryLoad, DescriptionsBeforeAnErrorStayButTheLibraryIsNotLoaded) {
  MemoryLibrary good;
  ASSERT_TRUE(good.Load("A -start\nA -end\n"));
  EXPECT_TRUE(good.library.Loaded());
  MemoryLibrary bad;
  EXPECT_FALSE(bad.Load("A -start\nA -end\nB -start\nBYTE x -y\n"));
  EXPECT_EQ(bad.library.DescriptionCount(), 2u);
  EXPECT_FALSE(bad.library.Loaded());
  EXPECT_TRUE(good.library.Loaded());
  good.library.Clear();
  EXPECT_FALSE(good.library.Loaded());
  EXPECT_EQ(good.library.DescriptionCount(), 0u);
}

TEST(EepromLibraryLoad, IncludesSeeTheIncludersSymbolsButNotTheOtherWayRound) {
  MemoryLibrary lib;
  lib.files["sub/inner.txt"] =
      "#define INNER WORD\n"
      "IN -start\n"
      "OUTER x\n"
      "IN -end\n";
  lib.files["sub/other.txt"] = "OTHER -start\nBYTE o\nOTHER -end\n";
  lib.files["sub/two.txt"] = "#include other.txt\n";
  lib.files["lib.txt"] =
      "#define OUTER BYTE\n"
      "#include \"sub/inner.txt\"\n"
      "#include sub/two.txt\n"
      "T -start\n"
      "INNER y\n"
      "T -end\n";
  EXPECT_FALSE(lib.LoadFile("lib.txt"));
  // INNER was defined in the included file only, so it names a type here.
  EXPECT_EQ(lib.ui.LastText(), "Incorrect formatting on line 5 of file lib.txt (cannot find type INNER: was not defined)");
  ASSERT_EQ(lib.library.DescriptionCount(), 3u);
  EXPECT_EQ(lib.library.Description(0).Member(0).type_name, "BYTE");
  EXPECT_EQ(lib.library.Description(1).type_name, "OTHER");
  EXPECT_EQ(lib.library.Description(2).type_name, "T");
}

TEST(EepromLibraryLoad, ErrorsInIncludedFilesNameThatFileAndEndTheWholeLoad) {
  MemoryLibrary lib;
  lib.files["dir/inc.txt"] = "A -start\nBYTE x -oops\nA -end\n";
  lib.files["dir/lib.txt"] = "#include inc.txt\nB -start\nB -end\n";
  EXPECT_FALSE(lib.LoadFile("dir/lib.txt"));
  ASSERT_EQ(lib.ui.shown.size(), 1u);
  EXPECT_EQ(lib.ui.LastText(), "Incorrect formatting on line 2 of file dir/inc.txt (Error: Unknown option: oops)");
  EXPECT_FALSE(lib.library.HasType("B"));
}

TEST(EepromLibraryLoad, IncludesOnDiskAcceptBothFolderSeparators) {
  TempDir dir;
  std::filesystem::create_directories(dir.File("parts"));
  // a.txt as a Windows editor saves it: byte-order mark and CR LF.
  WriteText(dir.File("parts/a.txt"), "\xEF\xBB\xBF" "A -start\r\nBYTE x\r\nA -end\r\n");
  WriteText(dir.File("parts/b.txt"), "BB -start\nWORD y\nBB -end");
  WriteText(dir.File("lib.txt"), "#include parts\\a.txt\n#include \"parts/b.txt\"\n");
  ScriptedUserInterface ui;
  EepromDefinitionLibrary library;
  ASSERT_TRUE(LoadLibraryReporting(library, dir.File("lib.txt"), ui)) << ui.LastText();
  EXPECT_TRUE(library.HasType("a"));
  EXPECT_TRUE(library.HasType("bb"));
  EXPECT_EQ(library.Description(0).Member(0).instance_name, "X");

  EXPECT_FALSE(LoadLibraryReporting(library, dir.File("absent.txt"), ui));
  EXPECT_EQ(ui.LastText(), "Cannot open the EEPROM definition library file " + dir.File("absent.txt"));
  EXPECT_EQ(ui.shown.back().message.icon, MessageIcon::Error);
  EXPECT_EQ(library.DescriptionCount(), 0u);
}

TEST(EepromLibraryQueries, ListsFollowLibraryOrder) {
  MemoryLibrary lib;
  ASSERT_TRUE(lib.Load(
      "PART -start\nBYTE p\nPART -end\n"
      "CTRL1 -start -file -equip\"tx\" -swver\"1.0\" -swver\"1.1\"\nBYTE a\nCTRL1 -end\n"
      "IFACE -start -file -equip\"rx\" -swver\"2\"\nBYTE b\nIFACE -end\n"
      "CTRL2 -start -file -equip\"TX\" -swver\"1.1\" -swver\"2.0\"\nBYTE c\nCTRL2 -end\n"
      "LOOSE -start -file\nBYTE d\nLOOSE -end\n"));
  EXPECT_EQ(lib.library.ListFileTypes(), (std::vector<std::string>{"CTRL1", "IFACE", "CTRL2", "LOOSE"}));
  EXPECT_EQ(lib.library.ListEquipment(), (std::vector<std::string>{"TX", "RX", ""}));
  EXPECT_EQ(lib.library.ListSoftwareVersions("TX"), (std::vector<std::string>{"1.0", "1.1", "1.1", "2.0"}));
  EXPECT_TRUE(lib.library.ListSoftwareVersions("tx").empty());
  EXPECT_EQ(lib.library.TypeFor("TX", "1.1"), "CTRL1");
  EXPECT_EQ(lib.library.TypeFor("TX", "2.0"), "CTRL2");
  EXPECT_EQ(lib.library.TypeFor("RX", "1.1"), "");
  EXPECT_EQ(lib.library.FindType("ctrl2"), &lib.library.Description(3));
  EXPECT_FALSE(lib.library.HasType("CTRL"));
}

TEST(EepromLibraryInstantiate, ReferencesTakeWhatTheFieldLeftOpen) {
  MemoryLibrary lib;
  ASSERT_TRUE(lib.Load(
      "CAL -start -crc16 -label\"calibration\" -file\"cal.eep\"\n"
      "FLOAT gain\n"
      "CAL -end\n"
      "GAP -start -skip4\nBYTE g\nGAP -end\n"
      "BOARD -start -file -equip\"TX\" -swver\"1\" -chk\n"
      "CAL first -chk\n"
      "CAL second -label\"own\"\n"
      "GAP spare\n"
      "BYTE tail -a2\n"
      "BOARD -end\n"));
  auto board = lib.library.Instantiate("board");
  ASSERT_NE(board, nullptr);
  EXPECT_EQ(board->type_name, "BOARD");
  EXPECT_EQ(board->software_versions, (std::vector<std::string>{"1"}));
  ASSERT_EQ(board->MemberCount(), 5u);
  const EepromItem& first = board->Member(0);
  EXPECT_FALSE(first.unresolved_reference);
  EXPECT_EQ(first.checksum_kind, ChecksumKind::kCrc16);  // the field's -chk has no effect
  EXPECT_EQ(first.label, "calibration");
  EXPECT_TRUE(first.file_type);
  EXPECT_EQ(first.file_type_name, "cal.eep");
  EXPECT_EQ(first.instance_name, "FIRST");
  ASSERT_EQ(first.MemberCount(), 1u);
  EXPECT_EQ(first.Member(0).instance_name, "GAIN");
  EXPECT_EQ(first.Member(0).Parent(), &first);
  EXPECT_EQ(board->Member(1).label, "own");
  EXPECT_EQ(board->Member(2).skip_count, 4u);
  EXPECT_EQ(board->Member(2).ItemSize(), 4u);
  EXPECT_EQ(board->ItemSize(), 4u + 2 + 4 + 2 + 4 + 1 + 1 + 2);
  // The description in the library stays a reference.
  EXPECT_TRUE(lib.library.FindType("BOARD")->Member(0).unresolved_reference);
  EXPECT_EQ(lib.library.Instantiate("NOPE"), nullptr);

  // Without a current library references stay unresolved and empty.
  EXPECT_FALSE(lib.LoadFile("missing.txt"));
  MemoryLibrary other;
  other.files["lib.txt"] = "CAL -start\nBYTE c\nCAL -end\nBOARD -start\nCAL x\nBOARD -end\nBAD\n";
  EXPECT_FALSE(other.LoadFile("lib.txt"));
  auto unresolved = other.library.Instantiate("BOARD");
  ASSERT_NE(unresolved, nullptr);
  EXPECT_TRUE(unresolved->Member(0).unresolved_reference);
  EXPECT_EQ(unresolved->Member(0).MemberCount(), 0u);
}

TEST(EepromLibraryInstantiate, CopiesThatWouldNotFitEndWithAReason) {
  // Each level doubles the one below: 2^30 items if nothing stopped it.
  std::string text = "L0 -start\nBYTE b\nL0 -end\n";
  for (int i = 1; i <= 30; ++i) {
    const std::string name = "L" + std::to_string(i);
    const std::string below = "L" + std::to_string(i - 1);
    text += name + " -start\n" + below + " a\n" + below + " b\n" + name + " -end\n";
  }
  MemoryLibrary lib;
  ASSERT_TRUE(lib.Load(text)) << lib.ui.LastText();
  std::string why;
  EXPECT_EQ(lib.library.Instantiate("L30", &why), nullptr);
  EXPECT_EQ(why, "L30 would hold more than 262144 items");
  EXPECT_NE(lib.library.Instantiate("L10"), nullptr);

  std::string chain = "C0 -start\nBYTE b\nC0 -end\n";
  for (int i = 1; i <= 70; ++i) {
    chain += "C" + std::to_string(i) + " -start\nC" + std::to_string(i - 1) + " x\nC" + std::to_string(i) + " -end\n";
  }
  MemoryLibrary deep;
  ASSERT_TRUE(deep.Load(chain));
  EXPECT_EQ(deep.library.Instantiate("C70", &why), nullptr);
  EXPECT_EQ(why, "C70 nests described types more than 64 deep");
  EXPECT_NE(deep.library.Instantiate("C60"), nullptr);
}

TEST(EepromLibrarySymbols, LookupSearchesTheParentsWithoutRegardToCase) {
  SymbolTable top;
  top.Define("width", "8");
  top.Define("Name", "first");
  SymbolTable inner(&top);
  inner.Define("NAME", "second");
  inner.Define("name", "third");  // replaces
  EXPECT_EQ(inner.Size(), 1u);
  EXPECT_EQ(inner.Lookup("Width"), "8");
  EXPECT_EQ(inner.Lookup("name"), "third");
  EXPECT_EQ(top.Lookup("NAME"), "first");
  EXPECT_EQ(inner.Lookup("other"), "other");
}

}  // namespace
}  // namespace corvel::test

namespace corvel::test {
namespace {

TEST(EepromLibraryLines, DirectiveLinesKeepTheirNamesAndValues) {
  struct Case {
    const char* line;
    LineKind kind;
    const char* first_name;
    const char* second_name;
  };
  const Case cases[] = {
      {" \t ", LineKind::Blank, "", ""},
      {"#define NAME \"Hello World\"", LineKind::Define, "NAME", "Hello World"},
      {"#define lower  value with  blanks ", LineKind::Define, "LOWER", "value with  blanks"},
      {"#define EMPTY", LineKind::Define, "EMPTY", ""},
      {"#DEFINE x; 5", LineKind::Define, "X", "5"},
      {"#include \"dir\\x.txt\" ", LineKind::Include, "dir\\x.txt", ""},
      {"#Include  a b.txt", LineKind::Include, "a b.txt", ""},
      {"T -start -file", LineKind::Start, "T", ""},
      {"T -end", LineKind::End, "T", ""},
      {"BYTE x -a2", LineKind::Field, "BYTE", "X"},
      {"T -start -end", LineKind::Error, "T", ""},
  };
  for (const auto& c : cases) {
    const DefinitionLine d = ParseDefinitionLine(c.line, nullptr);
    EXPECT_EQ(d.kind, c.kind) << c.line;
    EXPECT_EQ(d.first_name, c.first_name) << c.line;
    EXPECT_EQ(d.second_name, c.second_name) << c.line;
  }
}

TEST(EepromLibraryLoad, ErrorsComeBackWithTheirKindFileAndLine) {
  struct Case {
    const char* text;
    LibraryErrorKind kind;
    uint32_t line;
  };
  const Case cases[] = {
      {"A -start\nBYTE x -oops\nA -end\n", LibraryErrorKind::LineFormat, 2},
      {"BYTE x\n", LibraryErrorKind::MisplacedLine, 1},
      {"A -start\n#define X 1\nA -end\n", LibraryErrorKind::MisplacedLine, 2},
      {"A -start\nA -end\nA -start\n", LibraryErrorKind::Redefinition, 3},
      {"A -start\nB -end\n", LibraryErrorKind::DescriptionMismatch, 2},
      {"A -start\nNOPE n\nA -end\n", LibraryErrorKind::UndefinedType, 2},
      {"A -start\nBYTE x\n\n", LibraryErrorKind::UnmatchedTerminator, 3},
      {"// nothing\n", LibraryErrorKind::NoDescriptions, 0},
  };
  for (const auto& c : cases) {
    EepromDefinitionLibrary library([&](const std::string&) -> std::optional<std::string> { return c.text; });
    const LibraryLoad loaded = library.Load("x.txt");
    ASSERT_FALSE(loaded) << c.text;
    EXPECT_EQ(loaded.error().kind, c.kind) << c.text;
    EXPECT_EQ(loaded.error().line, c.line) << c.text;
    EXPECT_EQ(loaded.error().file, "x.txt") << c.text;
    EXPECT_EQ(loaded.error().text.empty(), c.kind == LibraryErrorKind::NoDescriptions) << c.text;
  }
  EepromDefinitionLibrary absent([](const std::string&) -> std::optional<std::string> { return std::nullopt; });
  const LibraryLoad loaded = absent.Load("gone.txt");
  ASSERT_FALSE(loaded);
  EXPECT_EQ(loaded.error().kind, LibraryErrorKind::CannotOpen);
}

TEST(EepromLibraryInstantiate, TwoLibrariesResolveThroughTheirOwnDescriptions) {
  // Both describe INNER, differently; each image takes its own library's.
  auto make = [](const char* inner_field) {
    return std::string("INNER -start\n") + inner_field + "\nINNER -end\nTOP -start -file\nINNER in\nTOP -end\n";
  };
  const std::string left_text = make("BYTE a"), right_text = make("DWORD b");
  EepromDefinitionLibrary left([&](const std::string&) -> std::optional<std::string> { return left_text; });
  EepromDefinitionLibrary right([&](const std::string&) -> std::optional<std::string> { return right_text; });
  ASSERT_TRUE(left.Load("l.txt"));
  ASSERT_TRUE(right.Load("r.txt"));  // loaded last
  const auto from_left = left.Instantiate("TOP");
  ASSERT_NE(from_left, nullptr);
  ASSERT_EQ(from_left->Member(0).MemberCount(), 1u);
  EXPECT_EQ(from_left->Member(0).Member(0).instance_name, "A");
  EXPECT_EQ(from_left->ItemSize(), 1u);
  EXPECT_EQ(right.Instantiate("TOP")->ItemSize(), 4u);
  right.Clear();
  EXPECT_EQ(left.Instantiate("TOP")->ItemSize(), 1u);
}

}  // namespace
}  // namespace corvel::test
