// Files that are not Intel HEX: each load fails cleanly, the tool says why,
// and nothing is written.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/tool/hex/ChecksumGenerator.h"
#include "core/format/hex/FlashLayout.h"
#include "core/tool/hex/HexTools.h"
#include "core/format/hex/IntelHex.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

// A single line of about 100 MB: a record start and then digits without end.
void WriteEndlessLine(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  ASSERT_NE(file, nullptr);
  const std::string block(1 << 20, '0');
  std::fputs(":10000000", file);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(std::fwrite(block.data(), 1, block.size(), file), block.size());
  std::fclose(file);
}

std::vector<uint8_t> Garbage(std::size_t size) {
  std::mt19937 random(1234);
  std::vector<uint8_t> bytes(size);
  for (auto& b : bytes) b = static_cast<uint8_t>(random());
  return bytes;
}

TEST(BadInput, EachFailsCleanlyWithTheCallersMessage) {
  TempDir dir;
  WriteBytes(dir.File("empty.hex"), {});
  WriteBytes(dir.File("garbage.hex"), Garbage(256 * 1024));
  WriteEndlessLine(dir.File("endless.hex"));
  WriteText(dir.File("type06.hex"), ":0100000011EE\r\n:00000006FA\r\n:00000001FF\r\n");
  WriteText(dir.File("overlap.hex"), ":0200000011223B\r\n:0100010033CB\r\n:00000001FF\r\n");
  WriteText(dir.File("beyond.hex"), ":020000021000EC\r\n:01000000FFFF\r\n:020000022000DC\r\n:0100000011EE\r\n");
  std::filesystem::create_directory(dir.File("folder.hex"));
  const std::string invalid = "The input file format is invalid.";
  struct BadCase {
    const char* file;
    std::string message;
  };
  const std::vector<BadCase> cases = {
      {"empty.hex", invalid},
      {"garbage.hex", invalid},
      {"endless.hex", invalid},
      {"type06.hex", invalid},
      {"overlap.hex", invalid},
      {"beyond.hex", invalid},  // 0x20000 lies past a flash image
      {"folder.hex", invalid},
      {"absent.hex", "The file " + dir.File("absent.hex") + " could not be opened."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    std::vector<uint8_t> image(kFlashImageSize);
    EXPECT_FALSE(LoadIntelHex(dir.File(c.file), image.data(), kFlashImageSize));

    ScriptedUserInterface ui;
    SerialPort port;
    MemorySettings store;
    AppSettings app;
    ToolEnv env{ui, port, app, store, "./"};
    ChecksumGenerator tool(env);
    tool.m_flash_file = dir.File(c.file);
    ui.files.push_back(dir.File("out.hex"));
    EXPECT_FALSE(tool.Apply());
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{c.message});
    EXPECT_TRUE(ui.file_requests.empty());
    EXPECT_FALSE(std::filesystem::exists(dir.File("out.hex")));

    ui.shown.clear();
    EXPECT_FALSE(ViewHexFile(ui, dir.File(c.file), std::nullopt, false));
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{c.message});
    EXPECT_TRUE(ui.hex_views.empty());
  }
}

TEST(BadInput, UnreadableFile) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every file";
  TempDir dir;
  WriteText(dir.File("locked.hex"), ":0100000011EE\r\n");
  ::chmod(dir.File("locked.hex").c_str(), 0);
  std::vector<uint8_t> image(16);
  EXPECT_EQ(LoadIntelHexFile(dir.File("locked.hex"), image.data(), 16), HexLoadResult::CannotOpen);
  EXPECT_FALSE(LoadBinaryFile(dir.File("locked.hex"), image.data(), 16));
}

TEST(BadInput, EveryTruncatedPrefixOfAValidFileFailsOrLoadsWhatItHolds) {
  // Cutting a file anywhere must never read past its end: a cut inside a
  // record fails, a cut between records loads the records before it.
  const std::string text = ":020000021000EC\r\n:0400100001020304E2\r\n:00000001FF\r\n";
  for (std::size_t cut = 0; cut <= text.size(); ++cut) {
    SCOPED_TRACE(cut);
    const std::string prefix = text.substr(0, cut);
    std::vector<uint8_t> image(0x20000, 0);
    const bool ok = ParseIntelHex(prefix, image.data(), 0x20000);
    // The three lines end (before CR LF) at 15, 36 and 49.
    const bool whole = (cut >= 15 && cut <= 17) || (cut >= 36 && cut <= 38) || cut >= 49;
    EXPECT_EQ(ok, whole);
    if (ok) {
      EXPECT_EQ(image[0x10012], cut >= 36 ? 0x03 : 0xFF);
    }
  }
}

}  // namespace
}  // namespace corvel::test
