// The library loader and the image against inputs made to exhaust memory or
// time: shared labels, the size of all files of a load, what is not a file,
// and the cap on an image's size.
#include <sys/stat.h>

#include <filesystem>
#include <map>

#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/format/eeprom/EepromImage.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

TEST(EepromLibraryMemory, ArrayElementsAndImagesShareTheirLabel) {
  const std::string label(30000, 'L');
  const std::string text = "CELLS -start -label\"" + label + "\"\nBYTE CELL -a32768 -label\"" + label +
                           "\"\nCELLS -end\nTOP -start -file\nCELLS block\nTOP -end\n";
  EepromDefinitionLibrary library([&](const std::string&) -> std::optional<std::string> { return text; });
  ASSERT_TRUE(library.Load("lib.txt"));
  const EepromItem& cells = *library.FindType("CELLS");
  ASSERT_EQ(cells.MemberCount(), 32768u);
  EXPECT_EQ(cells.Member(32767).label, label);
  for (const auto& member : cells.Members()) ASSERT_TRUE(member->label.SharesStorageWith(cells.Member(0).label));

  // The image's copy holds the library's texts, and a reference takes its
  // description's label without copying it.
  const auto top = library.Instantiate("TOP");
  ASSERT_NE(top, nullptr);
  const EepromItem& block = top->Member(0);
  EXPECT_TRUE(block.label.SharesStorageWith(cells.label));
  EXPECT_TRUE(block.Member(100).label.SharesStorageWith(cells.Member(0).label));

  // Changing one item's label leaves the others' alone.
  EepromItem& first = top->Member(0).Member(0);
  first.label = "own";
  EXPECT_EQ(first.label, "own");
  EXPECT_EQ(block.Member(1).label, label);
  EXPECT_TRUE(SharedText().empty());
  EXPECT_FALSE(SharedText().SharesStorageWith(SharedText()));
}

TEST(EepromLibraryMemory, AllFilesOfALoadShareOneSizeBudget) {
  // Each file is under the cap; a chain of includes of them is not.
  std::string part;
  for (int i = 0; i < 6 * 1024; ++i) part += std::string(1023, ' ') + '\n';
  std::map<std::string, std::string> files = {
      {"top.txt", "#include part.txt\n#include part.txt\n#include part.txt\nT -start -file\nBYTE A\nT -end\n"},
      {"two.txt", "#include part.txt\n#include part.txt\nT -start -file\nBYTE A\nT -end\n"},
      {"part.txt", part},
  };
  std::size_t bytes_opened = 0;
  EepromDefinitionLibrary library([&](const std::string& path) -> std::optional<std::string> {
    bytes_opened += files.at(path).size();
    return files.at(path);
  });
  const LibraryLoad loaded = library.Load("top.txt");
  ASSERT_FALSE(loaded);
  EXPECT_EQ(loaded.error().kind, LibraryErrorKind::Bounds);
  EXPECT_EQ(loaded.error().text,
            "The EEPROM definition library files are larger than 16777216 bytes together (at part.txt)");
  // The load stops at the file that goes over the budget.
  EXPECT_LE(bytes_opened, kMaxLibraryBytes + part.size());
  // A second load starts with the whole budget again.
  EXPECT_TRUE(library.Load("two.txt"));
}

TEST(EepromLibraryMemory, BlankLinesAndContinuationsKeepTheirLineNumbers) {
  const struct {
    std::string text;
    unsigned line;  // of the error; 0: loads
  } cases[] = {
      {std::string(100000, '\n') + "T -start -file\nBYTE A\nT -end\n", 0},
      {std::string(100000, '\n') + "T -start -what\n", 100001},
      {std::string(5000, ' ') + "\r\n\t\r\nT -start -file \\\n -label\"x\"\nBYTE A\nT -end\n", 0},
      // A long continued line, joined piece by piece.
      {"T -start -file \\\n" + [] {
         std::string pieces;
         for (int i = 0; i < 20000; ++i) pieces += "-hex \\\n";
         return pieces;
       }() + "\nBYTE A\nT -end\n", 20002},
      // A comment inside a joined line ends it there.
      {"T -start -file \\\n// -what\nBYTE A\nT -end\n", 0},
      {"T -start -file \\\n-char // -what\nBYTE A\nT -end\n", 2},
  };
  for (const auto& c : cases) {
    EepromDefinitionLibrary library([&](const std::string&) -> std::optional<std::string> { return c.text; });
    const LibraryLoad loaded = library.Load("lib.txt");
    if (c.line == 0) {
      EXPECT_TRUE(loaded) << loaded.error().text;
      continue;
    }
    ASSERT_FALSE(loaded) << c.line;
    EXPECT_EQ(loaded.error().line, c.line) << loaded.error().text;
  }
}

TEST(EepromLibraryMemory, WhatIsNotARegularFileOrTooLargeIsRefusedWithItsReason) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("fifo.txt").c_str(), 0600), 0);
  std::filesystem::create_directory(dir.File("folder.txt"));
  WriteText(dir.File("big.txt"), std::string(kMaxLibraryBytes + 1, '\n'));
  WriteText(dir.File("includes.txt"), "#include fifo.txt\nT -start -file\nBYTE A\nT -end\n");
  const struct {
    std::string path;
    std::string text;
  } cases[] = {
      {dir.File("fifo.txt"), "The EEPROM definition library file " + dir.File("fifo.txt") +
                                 " is not a regular file (a folder, pipe or device)"},
      {dir.File("folder.txt"), "The EEPROM definition library file " + dir.File("folder.txt") +
                                   " is not a regular file (a folder, pipe or device)"},
      {"/dev/zero", "The EEPROM definition library file /dev/zero is not a regular file (a folder, pipe or device)"},
      {dir.File("big.txt"), "The EEPROM definition library file " + dir.File("big.txt") +
                                " is larger than 16777216 bytes"},
      {dir.File("missing.txt"), "Cannot open the EEPROM definition library file " + dir.File("missing.txt")},
      // An include is refused as the top file would be.
      {dir.File("includes.txt"), "The EEPROM definition library file " + dir.File("fifo.txt") +
                                     " is not a regular file (a folder, pipe or device)"},
  };
  for (const auto& c : cases) {
    EepromDefinitionLibrary library;
    const LibraryLoad loaded = library.Load(c.path);
    ASSERT_FALSE(loaded) << c.path;
    EXPECT_EQ(loaded.error().kind, LibraryErrorKind::CannotOpen) << c.path;
    EXPECT_EQ(loaded.error().text, c.text);
  }
}

TEST(EepromImageSize, SizesAboveTheCapAreRefusedWithTheirReason) {
  const struct {
    uint64_t size;
    bool given;
    const char* refusal;  // nullptr: allowed
  } cases[] = {
      {32768, false, nullptr},
      {kMaxEepromImageBytes, true, nullptr},
      {kMaxEepromImageBytes + 1ull, true, "An EEPROM image of 16777217 bytes is larger than the limit of 16777216 bytes"},
      {4000000001ull, false, "HUGE describes 4000000001 bytes, more than the limit of 16777216 bytes for an EEPROM image"},
      {0xFFFFFFFFull, true, "An EEPROM image of 4294967295 bytes is larger than the limit of 16777216 bytes"},
  };
  for (const auto& c : cases) {
    const auto refusal = EepromImageSizeRefusal("HUGE", c.size, c.given);
    if (!c.refusal) {
      EXPECT_FALSE(refusal) << c.size;
    } else {
      ASSERT_TRUE(refusal) << c.size;
      EXPECT_EQ(*refusal, c.refusal);
    }
  }
}

}  // namespace
}  // namespace corvel::test
