// The Checksum Generator, Merge Hex Files and the hex file dump, driven
// through the scripted person.
#include <filesystem>
#include <string>
#include <vector>

#include "core/base/SettingsKeys.h"
#include "core/tool/hex/ChecksumGenerator.h"
#include "core/format/hex/FlashLayout.h"
#include "core/tool/hex/HexTools.h"
#include "core/format/hex/IntelHex.h"
#include "core/tool/hex/MergeHexFiles.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

class HexToolTest : public ::testing::Test {
 protected:
  ToolEnv& Env() {
    if (!env) env = std::make_unique<ToolEnv>(ToolEnv{ui, port, app, store, "./"});
    return *env;
  }
  // Writes an image of the given size as Intel HEX and returns the path.
  std::string WriteImage(const std::string& name, const std::vector<uint8_t>& image) {
    const std::string path = dir.File(name);
    WriteText(path, FormatIntelHex(image.data(), static_cast<uint32_t>(image.size())));
    return path;
  }
  std::vector<uint8_t> LoadFlash(const std::string& path, uint32_t size = kFlashImageSize) {
    std::vector<uint8_t> image(size);
    EXPECT_TRUE(LoadIntelHex(path, image.data(), size));
    return image;
  }
  bool Exists(const std::string& name) const { return std::filesystem::exists(dir.File(name)); }

  ScriptedUserInterface ui;
  SerialPort port;
  MemorySettings store;
  AppSettings app;
  TraceCapture trace;
  TempDir dir;
  std::unique_ptr<ToolEnv> env;
};

// An application in the low area and nothing else.
std::vector<uint8_t> Application(uint32_t length, uint8_t seed = 1) {
  std::vector<uint8_t> image(kFlashImageSize, 0xFF);
  for (uint32_t i = 0; i < length; ++i) image[i] = static_cast<uint8_t>(i * 13 + seed);
  return image;
}

std::vector<uint8_t> BootLoaderOnly() {
  std::vector<uint8_t> image(kFlashImageSize, 0xFF);
  for (uint32_t i = kBootLoaderStart; i < kBootLoaderEnd; ++i) image[i] = static_cast<uint8_t>(i ^ 0x5A);
  return image;
}

// The sum computed here, with undefined bytes as 0xFF.
uint32_t SumOf(const std::vector<uint8_t>& image, uint32_t count) {
  uint64_t sum = 0;
  for (uint32_t i = 0; i < count; ++i) sum += image[i];
  return static_cast<uint32_t>(sum);
}

TEST_F(HexToolTest, ChecksumGeneratorKeepsItsStateAndTracesBanner) {
  keys::kLastChksumFile.Put(store, "/x/fw.hex");
  keys::kMergeBlChecked.Put(store, 1);
  keys::kLastBlFile.Put(store, "/x/bl.hex");
  {
    ChecksumGenerator tool(Env());
    EXPECT_EQ(tool.m_flash_file, "/x/fw.hex");
    EXPECT_TRUE(tool.m_merge_boot_loader);
    EXPECT_TRUE(tool.BootLoaderControlsEnabled());
    EXPECT_EQ(tool.m_boot_loader_file, "/x/bl.hex");
    tool.m_flash_file = "/y/new.hex";
    tool.m_merge_boot_loader = false;
    EXPECT_FALSE(tool.BootLoaderControlsEnabled());
  }
  EXPECT_EQ(trace.Lines(), (std::vector<std::string>{std::string(40, '-'), "Checksum Generator", std::string(40, '-')}));
  EXPECT_EQ(keys::kLastChksumFile.Get(store), "/y/new.hex");
  EXPECT_EQ(keys::kMergeBlChecked.Get(store), 0);
  EXPECT_EQ(keys::kLastBlFile.Get(store), "/x/bl.hex");
}

TEST_F(HexToolTest, FileTypeRefusals) {
  const auto image = Application(64);
  for (const char* name : {"FW.HEX", "fw.Hex", "fw.bin", "hexfile", "fw.hex.txt"}) WriteImage(name, image);
  for (const char* name : {"FW.HEX", "fw.Hex", "fw.bin", "hexfile", "fw.hex.txt"}) {
    SCOPED_TRACE(name);
    ui.shown.clear();
    ChecksumGenerator tool(Env());
    tool.m_flash_file = dir.File(name);
    EXPECT_FALSE(tool.Generate());
    EXPECT_FALSE(tool.Apply());
    EXPECT_EQ(ui.Texts(), (std::vector<std::string>{"This file type is not recognized",
                                                    "This file type is not recognized"}));
    EXPECT_TRUE(tool.m_generated_checksum.empty());
  }
  struct MergeCase {
    const char* first;
    const char* second;
    std::string message;
  };
  const std::vector<MergeCase> cases = {
      {"FW.HEX", "FW.HEX", "These are unrecognized file types and cannot be merged!"},
      {"a.hex", "b.eep", "These are different file types and cannot be merged!"},
      {"a.hex", "FW.HEX", "These are different file types and cannot be merged!"},
      {"hexfile", "hexfile", "These are unrecognized file types and cannot be merged!"},
      // The type is the text from the name's last "." on (the whole name
      // without one), so two different unknown types are different types.
      {"fw.bin", "fw.txt", "These are different file types and cannot be merged!"},
      {"FW.HEX", "fw.Hex", "These are different file types and cannot be merged!"},
      {"fw.bin", "hexfile", "These are different file types and cannot be merged!"},
      {"hexfile", "hexfile2", "These are different file types and cannot be merged!"},
      {"fw.bin", "other.bin", "These are unrecognized file types and cannot be merged!"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.first) + " + " + c.second);
    ui.shown.clear();
    MergeHexFiles tool(Env());
    tool.m_first_file = dir.File(c.first);
    tool.m_second_file = dir.File(c.second);
    EXPECT_FALSE(tool.Merge());
    ASSERT_EQ(ui.shown.size(), 1u);
    EXPECT_EQ(ui.shown[0].message.text, c.message);
    EXPECT_EQ(ui.shown[0].message.icon, MessageIcon::Error);
    EXPECT_TRUE(ui.file_requests.empty());
    EXPECT_TRUE(app.last_merge_file1.empty());
  }
}

TEST_F(HexToolTest, GenerateMatchesApplyOnAscendingFileWithBootLoader) {
  auto image = Application(0x1DF00);
  const auto boot_loader = BootLoaderOnly();
  std::copy(boot_loader.begin() + kBootLoaderStart, boot_loader.end(), image.begin() + kBootLoaderStart);
  image[0x1DF04] = 0x12;  // an older checksum already inserted
  const std::string fw = WriteImage("fw.hex", image);
  ChecksumGenerator tool(Env());
  tool.m_flash_file = fw;
  ASSERT_TRUE(tool.Generate());
  EXPECT_EQ(tool.m_generated_checksum, FormatChecksum(SumOf(image, 0x1DF00)));
  const std::string generated = tool.m_generated_checksum;
  tool.m_generated_checksum.clear();
  ui.files.push_back(std::nullopt);  // the save dialog is cancelled
  EXPECT_FALSE(tool.Apply());
  EXPECT_EQ(tool.m_generated_checksum, generated);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(HexToolTest, GenerateCountsWhatCameBeforeAFailingRecord) {
  // Records out of order: the one past the application area stops the read,
  // so bytes after it in the file count as 0xFF.
  auto rec = [](uint16_t address, std::vector<uint8_t> data, uint8_t type = 0) {
    uint8_t sum = static_cast<uint8_t>(data.size() + (address >> 8) + (address & 0xFF) + type);
    char buf[600];
    int n = std::snprintf(buf, sizeof buf, ":%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    for (uint8_t b : data) {
      n += std::snprintf(buf + n, sizeof buf - n, "%02X", b);
      sum = static_cast<uint8_t>(sum + b);
    }
    std::snprintf(buf + n, sizeof buf - n, "%02X\r\n", static_cast<uint8_t>(-sum));
    return std::string(buf);
  };
  const std::string text = rec(0, {0x10, 0x20}) + rec(0, {0x10, 0x00}, 4) + rec(0xDF00, {0x01}) + rec(0x0000, {0x05}, 0) + rec(0xE000, {0x77});
  // The second data record sits at 0x1DF00 (base 0x10000 + 0xDF00): outside the area.
  WriteText(dir.File("mixed.hex"), text);
  ChecksumGenerator tool(Env());
  tool.m_flash_file = dir.File("mixed.hex");
  ASSERT_TRUE(tool.Generate());
  EXPECT_EQ(tool.m_generated_checksum, FormatChecksum(0x10 + 0x20 + 0xFFu * (0x1DF00 - 2)));
}

TEST_F(HexToolTest, ApplyInsertsChecksumAndMergesBootLoader) {
  const auto image = Application(0x4000, 7);
  const std::string fw = WriteImage("fw.hex", image);
  const std::string bl = WriteImage("bl.hex", BootLoaderOnly());
  ChecksumGenerator tool(Env());
  tool.m_flash_file = fw;
  tool.m_merge_boot_loader = true;
  tool.m_boot_loader_file = bl;
  ui.files.push_back(dir.File("out.hex"));
  ASSERT_TRUE(tool.Apply());
  EXPECT_TRUE(ui.shown.empty());

  ASSERT_EQ(ui.file_requests.size(), 1u);
  const FileDialogRequest& save = ui.file_requests[0];
  EXPECT_FALSE(save.open);
  EXPECT_EQ(save.default_extension, "hex");
  EXPECT_EQ(save.initial_name, fw);
  EXPECT_TRUE(save.overwrite_prompt);
  EXPECT_EQ(save.filter, "Flash Files (*.hex)|*.hex|All Files (*.*)|*.*||");

  const uint32_t sum = SumOf(image, 0x1DF00);
  EXPECT_EQ(tool.m_generated_checksum, FormatChecksum(sum));
  const auto out = LoadFlash(dir.File("out.hex"));
  const std::vector<uint8_t> stored(out.begin() + 0x1DF04, out.begin() + 0x1DF08);
  EXPECT_EQ(stored, (std::vector<uint8_t>{static_cast<uint8_t>(sum), static_cast<uint8_t>(sum >> 8),
                                          static_cast<uint8_t>(sum >> 16), static_cast<uint8_t>(sum >> 24)}));
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 0x1DF04, image.begin()));
  const auto boot_loader = BootLoaderOnly();
  EXPECT_TRUE(std::equal(out.begin() + kBootLoaderStart, out.end(), boot_loader.begin() + kBootLoaderStart));
  // Every byte has a record, 0xFF areas included.
  EXPECT_EQ(ReadBytes(dir.File("out.hex")).size(), FormatIntelHex(out.data(), kFlashImageSize).size());
}

TEST_F(HexToolTest, ApplyRefusalsSaveNothing) {
  auto occupied = Application(0x100);
  occupied[0x1FFFF] = 0x00;
  WriteImage("occupied.hex", occupied);
  WriteImage("fw.hex", Application(0x100));
  WriteImage("bl.hex", BootLoaderOnly());
  WriteText(dir.File("bad.hex"), ":0100000011EF\r\n");
  WriteImage("data.eep", std::vector<uint8_t>(4096, 0x01));
  struct ApplyCase {
    const char* name;
    const char* flash;
    bool merge;
    const char* boot_loader;
    std::string message;
    bool checksum_shown;
  };
  const std::vector<ApplyCase> cases = {
      {"boot loader area in use", "occupied.hex", true, "bl.hex",
       "The destination file already has code in the bootloader area.", true},
      {"bad input file", "bad.hex", false, "", "The input file format is invalid.", false},
      {"bad boot loader file", "fw.hex", true, "bad.hex", "The bootloader file format is invalid.", true},
      {"EEPROM file", "data.eep", false, "", "This option is not supported for EEPROM files", true},
      {"missing input file", "absent.hex", false, "", "The file " + dir.File("absent.hex") + " could not be opened.",
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ui.shown.clear();
    ui.file_requests.clear();
    ui.files.assign(1, dir.File("out.hex"));
    ChecksumGenerator tool(Env());
    tool.m_flash_file = dir.File(c.flash);
    tool.m_merge_boot_loader = c.merge;
    tool.m_boot_loader_file = dir.File(c.boot_loader);
    EXPECT_FALSE(tool.Apply());
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{c.message});
    EXPECT_EQ(tool.m_generated_checksum.empty(), !c.checksum_shown);
    EXPECT_TRUE(ui.file_requests.empty());
    EXPECT_FALSE(Exists("out.hex"));
  }
  // The EEPROM sum covers all 4096 bytes.
  ChecksumGenerator tool(Env());
  tool.m_flash_file = dir.File("data.eep");
  ASSERT_TRUE(tool.Generate());
  EXPECT_EQ(tool.m_generated_checksum, "0x00001000");
}

TEST_F(HexToolTest, ApplyReportsARefusedDisk) {
  WriteImage("fw.hex", Application(0x10));
  ChecksumGenerator tool(Env());
  tool.m_flash_file = dir.File("fw.hex");
  ui.files.push_back(dir.File("no-such-folder/out.hex"));
  EXPECT_FALSE(tool.Apply());
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{"The file " + dir.File("no-such-folder/out.hex") +
                                                 " could not be written."});
}

TEST_F(HexToolTest, BrowseUsesTheHexOpenDialog) {
  ChecksumGenerator tool(Env());
  tool.m_flash_file = "/old/fw.hex";
  ui.files.push_back(std::string("/new/fw.hex"));
  ui.files.push_back(std::nullopt);
  tool.BrowseFlashFile();
  tool.BrowseBootLoaderFile();
  EXPECT_EQ(tool.m_flash_file, "/new/fw.hex");
  EXPECT_EQ(tool.m_boot_loader_file, "");
  ASSERT_EQ(ui.file_requests.size(), 2u);
  const FileDialogRequest open = ui.file_requests[0];
  EXPECT_TRUE(open.open);
  EXPECT_TRUE(open.must_exist);
  EXPECT_EQ(open.initial_name, "/old/fw.hex");
  EXPECT_EQ(open.default_extension, "hex");
  EXPECT_EQ(open.filter, "Flash Files (*.hex)|*.hex|EEPROM Files (*.eep)|*.eep|All Files (*.*)|*.*||");

  app.last_merge_file1 = "/m/one.hex";
  MergeHexFiles merge(Env());
  ui.files.push_back(std::string("/m/two.hex"));
  merge.BrowseSecondFile();
  EXPECT_EQ(merge.m_first_file, "/m/one.hex");
  EXPECT_EQ(merge.m_second_file, "/m/two.hex");
  EXPECT_EQ(ui.file_requests.back().filter, open.filter);
}

TEST_F(HexToolTest, MergeOverlapRule) {
  struct MergeCase {
    const char* name;
    uint8_t first_at_0x100;
    uint8_t second_at_0x100;
    bool ok;
  };
  const std::vector<MergeCase> cases = {
      {"equal bytes merge", 0x42, 0x42, true},
      {"different bytes overlap", 0x42, 0x43, false},
      {"second fills an empty byte", 0xFF, 0x43, true},
      {"0xFF in the second never overlaps", 0x42, 0xFF, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> first(kFlashImageSize, 0xFF), second(kFlashImageSize, 0xFF);
    first[0x10] = 0x01;
    second[0x1FFF0] = 0x02;
    first[0x100] = c.first_at_0x100;
    second[0x100] = c.second_at_0x100;
    ui.shown.clear();
    ui.files.assign(1, dir.File("merged.hex"));
    std::filesystem::remove(dir.File("merged.hex"));
    MergeHexFiles tool(Env());
    tool.m_first_file = WriteImage("first.hex", first);
    tool.m_second_file = WriteImage("second.hex", second);
    EXPECT_EQ(tool.Merge(), c.ok);
    EXPECT_EQ(app.last_merge_file1, dir.File("first.hex"));
    EXPECT_EQ(app.last_merge_file2, dir.File("second.hex"));
    if (!c.ok) {
      EXPECT_EQ(ui.Texts(), std::vector<std::string>{"Merge failed, since these files overlap!"});
      EXPECT_EQ(ui.shown[0].message.icon, MessageIcon::Error);
      EXPECT_FALSE(Exists("merged.hex"));
      continue;
    }
    EXPECT_TRUE(ui.shown.empty());
    const auto merged = LoadFlash(dir.File("merged.hex"));
    EXPECT_EQ(merged[0x10], 0x01);
    EXPECT_EQ(merged[0x1FFF0], 0x02);
    EXPECT_EQ(merged[0x100], c.first_at_0x100 != 0xFF ? c.first_at_0x100 : c.second_at_0x100);
    const FileDialogRequest& save = ui.file_requests.back();
    EXPECT_FALSE(save.open);
    EXPECT_EQ(save.initial_name, "");
    EXPECT_TRUE(save.overwrite_prompt);
  }
}

TEST_F(HexToolTest, MergeOfEepromFilesWritesA4096ByteHex) {
  std::vector<uint8_t> first(4096, 0xFF), second(4096, 0xFF);
  first[0] = 1;
  second[4095] = 2;
  MergeHexFiles tool(Env());
  tool.m_first_file = WriteImage("a.eep", first);
  tool.m_second_file = WriteImage("b.eep", second);
  ui.files.push_back(dir.File("merged.hex"));
  ASSERT_TRUE(tool.Merge());
  std::vector<uint8_t> expected(4096, 0xFF);
  expected[0] = 1;
  expected[4095] = 2;
  EXPECT_EQ(ReadBytes(dir.File("merged.hex")).size(), FormatIntelHex(expected.data(), 4096).size());
  EXPECT_EQ(LoadFlash(dir.File("merged.hex"), 4096), expected);
  EXPECT_TRUE(trace.Contains("Merge Hex Files"));
}

TEST_F(HexToolTest, MergeRefusesAFileThatDoesNotLoadWholeAndStopsOnUnopenableFile) {
  // A file whose second record is corrupt would contribute only its first
  // record: the merge is refused and nothing is written.
  WriteText(dir.File("broken.hex"), ":0100000011EE\r\n:0100010022FF\r\n");
  std::vector<uint8_t> other(kFlashImageSize, 0xFF);
  other[5] = 0x55;
  MergeHexFiles tool(Env());
  tool.m_first_file = WriteImage("other.hex", other);
  tool.m_second_file = dir.File("broken.hex");
  ui.files.push_back(dir.File("merged.hex"));
  EXPECT_FALSE(tool.Merge());
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{"The input file format is invalid."});
  EXPECT_EQ(ui.shown[0].message.icon, MessageIcon::Error);
  EXPECT_FALSE(Exists("merged.hex"));
  std::swap(tool.m_first_file, tool.m_second_file);
  ui.shown.clear();
  EXPECT_FALSE(tool.Merge());
  EXPECT_FALSE(Exists("merged.hex"));

  ui.shown.clear();
  tool.m_first_file = dir.File("other.hex");
  tool.m_second_file = dir.File("absent.hex");
  EXPECT_FALSE(tool.Merge());
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{"The file " + dir.File("absent.hex") + " could not be opened."});
}

TEST_F(HexToolTest, ViewHexFileSizesByType) {
  std::vector<uint8_t> eep(4096, 0xFF);
  eep[0x25] = 0xAB;
  const std::string eep_path = WriteImage("data.eep", eep);
  const std::string small = dir.File("small.hex");
  WriteText(small, ":01002500AB2F\r\n");
  struct ViewCase {
    std::string path;
    std::optional<uint32_t> size;
    bool trim;
    bool ok;
    std::size_t length;  // of the text shown
  };
  const std::size_t line = 10 + 16 * 3;
  const std::vector<ViewCase> cases = {
      {eep_path, std::nullopt, false, true, 256 * (line + 2) - 2},
      {eep_path, std::nullopt, true, true, 2 * (line + 2) + 10 + 6 * 3},
      {WriteImage("fw.hex", eep), std::nullopt, false, true, 8192 * (line + 2) - 2},
      {small, 0x30u, false, true, 3 * (line + 2) - 2},
      {small, 0x25u, false, false, 0},  // the data does not fit
      {WriteImage("fw.bin", eep), std::nullopt, false, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    ui.hex_views.clear();
    EXPECT_EQ(ViewHexFile(ui, c.path, c.size, c.trim), c.ok);
    if (c.ok) {
      ASSERT_EQ(ui.hex_views.size(), 1u);
      EXPECT_EQ(ui.hex_views[0].size(), c.length);
    } else {
      EXPECT_TRUE(ui.hex_views.empty());
    }
  }
}

}  // namespace
}  // namespace corvel::test

namespace corvel::test {
namespace {

TEST(FlashLayoutRules, DescriptionAndStoredChecksum) {
  struct DescriptionCase {
    std::string stored;  // bytes from 0x1DF08 on, then 0xFF
    std::string description;
  };
  const std::vector<DescriptionCase> cases = {
      {std::string("Exciter 3", 10), "Exciter 3"},                          // ended by NUL
      {"ABCDEFGHIJKLMNOPQRS", "ABCDEFGHIJKLMNOPQRS"},                       // exactly 19
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ABCDEFGHIJKLMNOPQRS"},                // cut at 19
      {std::string("\0abc", 4), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.description);
    std::vector<uint8_t> image(kFlashImageSize, 0xFF);
    std::copy(c.stored.begin(), c.stored.end(), image.begin() + kFlashDescriptionOffset);
    EXPECT_EQ(FlashDescription(image.data()), c.description);
  }
  // The sum lands least significant byte first: 0xFF * 0x1DF00 = 0x01DD2100.
  std::vector<uint8_t> image(kFlashImageSize, 0xFF);
  EXPECT_EQ(InsertFlashChecksum(image.data()), 0x01DD2100u);
  EXPECT_EQ(std::vector<uint8_t>(image.begin() + 0x1DF04, image.begin() + 0x1DF08),
            (std::vector<uint8_t>{0x00, 0x21, 0xDD, 0x01}));
  EXPECT_EQ(StoredFlashChecksum(image.data()), 0xFFu * kApplicationAreaSize);
  EXPECT_EQ(image[0x1DF03], 0xFF);
  EXPECT_EQ(image[0x1DF08], 0xFF);
  EXPECT_EQ(FormatChecksum(0xABCDEF), "0x00ABCDEF");
}

}  // namespace
}  // namespace corvel::test

namespace corvel::test {
namespace {

TEST(FlashLayoutRules, FileTypeIsTheNameFromItsLastDot) {
  const struct {
    const char* path;
    const char* type;
    HexFileType kind;
  } cases[] = {
      {"/fw/main.hex", ".hex", HexFileType::Flash},
      {"C:\\fw\\data.eep", ".eep", HexFileType::Eeprom},
      {"fw.hex.txt", ".txt", HexFileType::Unknown},
      {"/fw.d/bootloader", "bootloader", HexFileType::Unknown},  // a dot in a folder does not count
      {"C:\\fw.d\\FW", "FW", HexFileType::Unknown},
      {"/fw/.hex", ".hex", HexFileType::Flash},
      {"", "", HexFileType::Unknown},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(HexFileTypeText(c.path), c.type) << c.path;
    EXPECT_EQ(HexFileTypeOf(c.path), c.kind) << c.path;
  }
}

}  // namespace
}  // namespace corvel::test
