// Saves that keep what they do not own, and reads that refuse what is not a
// file.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <thread>

#include "support/TestSupport.h"
#include "core/base/FileUtil.h"
#include "core/base/AppSettings.h"
#include "core/base/Settings.h"

namespace corvel {
namespace {

namespace fs = std::filesystem;
using namespace test;

std::string ReadText(const std::string& path) {
  const auto bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Save, KeepsWhatTheTargetIs) {
  TempDir dir;
  // A link is followed: the link stays, its target gets the bytes.
  WriteText(dir.File("real.hex"), "old");
  fs::create_symlink("real.hex", dir.File("link.hex"));
  ASSERT_TRUE(WriteFileAtomically(dir.File("link.hex"), std::string("new")));
  EXPECT_TRUE(fs::is_symlink(dir.File("link.hex")));
  EXPECT_EQ(ReadText(dir.File("real.hex")), "new");

  // The mode survives.
  WriteText(dir.File("private.eep"), "old");
  ::chmod(dir.File("private.eep").c_str(), 0600);
  ASSERT_TRUE(WriteFileAtomically(dir.File("private.eep"), std::string("new")));
  struct stat info {};
  ASSERT_EQ(::stat(dir.File("private.eep").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 07777, 0600u);

  // A device is written through, never replaced by a file.
  ASSERT_TRUE(WriteFileAtomically("/dev/null", std::string("discarded")));
  EXPECT_TRUE(fs::is_character_file("/dev/null"));

  // A FIFO nobody reads is refused at once instead of hanging; a directory
  // is refused. Both stay what they were.
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  EXPECT_FALSE(WriteFileAtomically(dir.File("fifo"), std::string("x")));
  EXPECT_TRUE(fs::is_fifo(dir.File("fifo")));
  fs::create_directory(dir.File("folder"));
  EXPECT_FALSE(WriteFileAtomically(dir.File("folder"), std::string("x")));
  EXPECT_TRUE(fs::is_directory(dir.File("folder")));

  // A name near the file-name limit saves: the temporary name is short.
  const std::string long_name = dir.File(std::string(250, 'n'));
  ASSERT_TRUE(WriteFileAtomically(long_name, std::string("long")));
  EXPECT_EQ(ReadText(long_name), "long");

  // Nothing temporary is left behind by any of these.
  for (const auto& entry : fs::directory_iterator(dir.Path())) {
    EXPECT_EQ(entry.path().filename().string().rfind(".corvel-", 0), std::string::npos) << entry.path();
  }
}

TEST(Save, TemporaryFilesOfDeadRunsAreRemovedAndLiveOnesKept) {
  TempDir dir;
  // A PID that cannot be alive, and ours.
  WriteText(dir.File(".corvel-999999999-abcdef"), "stale");
  const std::string ours = dir.File(".corvel-" + std::to_string(::getpid()) + "-abcdef");
  WriteText(ours, "in progress");
  ASSERT_TRUE(WriteFileAtomically(dir.File("out.txt"), std::string("x")));
  EXPECT_FALSE(fs::exists(dir.File(".corvel-999999999-abcdef")));
  EXPECT_TRUE(fs::exists(ours));
}

TEST(Save, KilledAtAnyPointLeavesTheOldOrTheNewFileWhole) {
  TempDir dir;
  const std::string path = dir.File("image.hex");
  const std::string a(512 * 1024, 'a');
  const std::string b(768 * 1024, 'b');
  ASSERT_TRUE(WriteFileAtomically(path, a));
  std::mt19937 random(12345);
  for (int round = 0; round < 12; ++round) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 0;; ++i) (void)WriteFileAtomically(path, i % 2 ? a : b);
    }
    std::this_thread::sleep_for(std::chrono::microseconds(random() % 20000));
    ::kill(child, SIGKILL);
    ::waitpid(child, nullptr, 0);
    const std::string now = ReadText(path);
    EXPECT_TRUE(now == a || now == b) << "round " << round << ": " << now.size() << " bytes";
  }
}

TEST(Read, RefusesWhatIsNotARegularFileOrTooLarge) {
  TempDir dir;
  WriteText(dir.File("small"), "12345");
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  fs::create_directory(dir.File("folder"));
  struct Case {
    std::string path;
    std::size_t limit;
    std::optional<FileReadErrorKind> error;
  };
  const Case cases[] = {
      {dir.File("small"), 5, std::nullopt},
      {dir.File("small"), 4, FileReadErrorKind::TooLarge},
      {dir.File("fifo"), 100, FileReadErrorKind::NotRegular},
      {dir.File("folder"), 100, FileReadErrorKind::NotRegular},
      {"/dev/zero", 100, FileReadErrorKind::NotRegular},
      {dir.File("missing"), 100, FileReadErrorKind::Missing},
  };
  for (const auto& c : cases) {
    const auto result = ReadRegularFile(c.path, c.limit);
    if (c.error) {
      ASSERT_FALSE(result.ok()) << c.path;
      EXPECT_EQ(result.error().kind, *c.error) << c.path;
    } else {
      ASSERT_TRUE(result.ok()) << c.path;
      EXPECT_EQ(*result, "12345");
    }
  }
}

TEST(IniSettings, KeepsForeignSectionsAndValuesOtherRunsWrote) {
  TempDir dir;
  const std::string path = dir.File("shared.ini");
  WriteText(path,
            "; station settings\n[Other]\nkey=value\n[Serial Settings]\n# ours\nCom Port=COM1\n"
            "Timeout Setting=0\n[Tail]\nx=1\n");
  IniFileSettings first(path);
  IniFileSettings second(path);
  first.PutText("Com Port", "COM7");
  first.PutText("Timeout Setting", "0");  // unchanged: must not undo the other run
  second.PutText("Timeout Setting", "500");
  second.PutText("New Key", "n");
  ASSERT_TRUE(second.Flush());
  ASSERT_TRUE(first.Flush());
  EXPECT_EQ(ReadText(path),
            "; station settings\n[Other]\nkey=value\n[Serial Settings]\n# ours\nCom Port=COM7\n"
            "Timeout Setting=500\nNew Key=n\n[Tail]\nx=1\n");
}

TEST(IniSettings, StoredValuesOutsideThePagesRangeReadAsTheirDefaults) {
  TempDir dir;
  const std::string path = dir.File("edited.ini");
  WriteText(path,
            "[Serial Settings]\nTimeout Setting=2147483647\nUse Turbo Baud Rate=7\nKeep EEPROM=-1\n"
            "Use Debugging Window=1\nErase Atmel before Programming=0\n");
  IniFileSettings store(path);
  AppSettings app;
  app.Load(store);
  EXPECT_EQ(app.timeout_setting, 0);  // a silent device would otherwise hang the run for weeks
  EXPECT_EQ(app.use_turbo_baud_rate, 0);
  EXPECT_EQ(app.keep_eeprom, 1);
  EXPECT_EQ(app.use_debugging_window, 1);
  EXPECT_EQ(app.erase_atmel_before_programming, 0);
}

}  // namespace
}  // namespace corvel
