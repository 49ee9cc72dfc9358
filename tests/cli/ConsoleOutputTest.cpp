// What corvel-cli prints must arrive: output that is lost (a full disk, a
// closed descriptor) is work not done, and file names cannot drive the terminal.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/ConsoleOutput.h"
#include "core/format/hex/FlashLayout.h"
#include "core/format/hex/IntelHex.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

struct ShellRun {
  int status = -1;
  std::string err;
};

// Runs corvel-cli through the shell with `redirect` for its standard output;
// its standard error is kept apart.
ShellRun RunWithStdout(const TempDir& dir, const std::string& args, const std::string& redirect) {
  const std::string err = dir.File("cli.err");
  const std::string command = std::string(CORVEL_BINARY_DIR) + "/src/cli/corvel-cli --settings " +
                              dir.File("settings.ini") + " " + args + " " + redirect + " 2>" + err + " </dev/null";
  const int raw = std::system(command.c_str());
  const auto bytes = ReadBytes(err);
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, std::string(bytes.begin(), bytes.end())};
}

TEST(ConsoleOutput, OutputThatCannotBeWrittenFailsTheRun) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full here";
  TempDir dir;
  std::vector<uint8_t> image(kFlashImageSize, 0xFF);
  image[0] = 0x42;
  const std::string fw = dir.File("fw.hex");
  WriteText(fw, FormatIntelHex(image.data(), static_cast<uint32_t>(image.size())));
  struct Case {
    std::string args;
    std::string redirect;
    int status;
    std::string err;
  };
  const Case cases[] = {
      {"hex dump " + fw, "> " + dir.File("dump.txt"), 0, ""},
      {"hex dump " + fw, ">/dev/full", 1, "the output could not be written"},
      {"hex dump --size 16 " + fw, ">/dev/full", 1, "the output could not be written"},
      {"hex checksum " + fw, ">/dev/full", 1, "the output could not be written"},
      {"--version", ">/dev/full", 1, "the output could not be written"},
      {"hex checksum " + fw, ">&-", 1, "the standard output is closed"},
  };
  for (const auto& c : cases) {
    const ShellRun run = RunWithStdout(dir, c.args, c.redirect);
    EXPECT_EQ(run.status, c.status) << c.args << " " << c.redirect << "\n" << run.err;
    EXPECT_NE(run.err.find(c.err), std::string::npos) << c.args << " " << c.redirect << "\n" << run.err;
  }
}

// A checksum of nothing is no checksum: a folder, a pipe and an empty file
// have no image to sum.
TEST(ConsoleOutput, ChecksumOfWhatIsNoImageFails) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder.hex"));
  ASSERT_EQ(::mkfifo(dir.File("pipe.hex").c_str(), 0600), 0);
  WriteText(dir.File("empty.hex"), "");
  WriteText(dir.File("blank.hex"), "\r\n\r\n");
  struct Case {
    const char* file;
    std::string message;
  };
  const Case cases[] = {
      {"folder.hex", "The input file format is invalid."},
      {"pipe.hex", "The input file format is invalid."},
      {"empty.hex", "The input file format is invalid."},
      {"blank.hex", "The input file format is invalid."},
      {"absent.hex", "could not be opened."},
  };
  for (const auto& c : cases) {
    const CliRun run = RunCli(dir, "hex checksum " + dir.File(c.file));
    EXPECT_EQ(run.status, 1) << c.file << "\n" << run.output;
    EXPECT_TRUE(run.Has(c.message)) << c.file << "\n" << run.output;
  }
}

TEST(ConsoleOutput, ControlCharactersAreEscapedForTheTerminal) {
  struct Case {
    std::string text;
    bool keep_line_breaks;
    std::string safe;
  };
  const Case cases[] = {
      {"plain/dir/file.eep", false, "plain/dir/file.eep"},
      {"evil\x1b[2Jname.eep", false, "evil\\x1B[2Jname.eep"},
      {"cr\rbell\a.hex", false, "cr\\x0Dbell\\x07.hex"},
      {"line\nbreak\ttab\x7f", false, "line\\x0Abreak\\x09tab\\x7F"},
      {"line\nbreak\ttab\x7f", true, "line\nbreak\ttab\\x7F"},
      {"a\r\nb\rc", true, "a\r\nb\\x0Dc"},
      {"caf\xc3\xa9.hex", false, "caf\xc3\xa9.hex"},  // UTF-8 stays as it is
  };
  for (const auto& c : cases) EXPECT_EQ(cli::TerminalSafe(c.text, c.keep_line_breaks), c.safe) << c.safe;
}

}  // namespace
}  // namespace corvel::test
