// corvel-cli against inputs a careless or hostile user gives: pipes, folders,
// devices, sizes that a typing slip makes huge, libraries made to exhaust
// memory. Every run ends in bounded time with a message and a failure, and
// its memory follows what the input needs, not what it claims.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/OutOfMemory.h"
#include "support/CliRun.h"

namespace corvel::test {
namespace {

// No refused input takes more than a moment; a run that hangs is killed here.
constexpr int kSeconds = 60;

std::string Quoted(const std::string& path) { return "'" + path + "'"; }

class BoundedInput : public ::testing::Test {
 protected:
  // Named as the files they stand for, so that no command turns them away
  // by their name before it tries to read them.
  void SetUp() override {
    ASSERT_EQ(::mkfifo(Fifo().c_str(), 0600), 0);
    std::filesystem::create_directory(Folder());
    std::filesystem::create_symlink("/dev/zero", Device());
    WriteText(Library(), "T -start -file\nBYTE A\nWORD B -hex\nT -end\n");
    WriteText(dir.File("good.eep"), ":03000000010203F7\n:00000001FF\n");
  }

  std::string Fifo() const { return dir.File("fifo.eep"); }
  std::string Folder() const { return dir.File("folder.eep"); }
  std::string Device() const { return dir.File("zero.eep"); }
  std::string Library() const { return dir.File("lib.txt"); }
  CliRun Run(const std::string& args) {
    return RunCorvelCliWithin("--settings " + Quoted(dir.File("s.ini")) + " " + args, kSeconds);
  }

  TempDir dir;
};

TEST_F(BoundedInput, PipesFoldersAndDevicesAreRefusedWithAMessage) {
  // Each command names the input under test as {}.
  const struct {
    const char* what;
    std::string args;
  } commands[] = {
      {"hex checksum", "hex checksum {}"},
      {"hex insert-checksum", "hex insert-checksum {} -o " + Quoted(dir.File("out.hex"))},
      {"hex merge", "hex merge {} " + Quoted(dir.File("good.eep")) + " -o " + Quoted(dir.File("out.eep"))},
      {"hex dump", "hex dump {} --size 4096"},
      {"eeprom library", "eeprom types --library {}"},
      {"eeprom show", "eeprom show {} --type T --library " + Quoted(Library())},
      {"eeprom diff", "eeprom diff " + Quoted(dir.File("good.eep")) + " {} --type T --library " + Quoted(Library())},
      {"eeprom import-csv", "eeprom import-csv " + Quoted(dir.File("good.eep")) + " {} --type T --item . --library " +
                                Quoted(Library()) + " -o " + Quoted(dir.File("out.eep"))},
      {"cal show", "cal show {}"},
      {"cal text", "cal text {} -o " + Quoted(dir.File("out.txt"))},
      {"kernel program", "--simulate ppc kernel program {} --address 0x1000"},
      {"dsp program", "--simulate dsp --yes dsp program --file 0={}"},
      {"chain serial list", "--simulate master chain read --equipment 1 --out " + Quoted(dir.File("chain")) +
                                " --serial-position 1 --serials {}"},
  };
  const struct {
    const char* kind;
    std::string path;
  } inputs[] = {{"FIFO", Fifo()}, {"folder", Folder()}, {"device", Device()}};
  for (const auto& c : commands) {
    for (const auto& input : inputs) {
      std::string args = c.args;
      args.replace(args.find("{}"), 2, Quoted(input.path));
      const CliRun run = Run(args);
      const std::string name = std::string(c.what) + " on a " + input.kind;
      EXPECT_FALSE(run.timed_out) << name;
      // The serial list option itself refuses a folder as a usage error.
      const bool usage_check = std::string(c.what) == "chain serial list" && std::string(input.kind) == "folder";
      EXPECT_EQ(run.status, usage_check ? 2 : 1) << name << "\n" << run.output;
      EXPECT_FALSE(run.output.empty()) << name << ": no message";
    }
  }
}

TEST_F(BoundedInput, RememberedSerialListThatIsAPipeOrDeviceHangsNoRun) {
  for (const std::string& stored : {Fifo(), std::string("/dev/zero")}) {
    WriteText(dir.File("s.ini"), "[Serial Settings]\nLast Serial Number File=" + stored +
                                     "\nSerial Number Position=1\n");
    // A run without a list does not touch the remembered one (equipment
    // without a chain: the run ends at once with its closing message).
    CliRun run = Run("--simulate master chain read --equipment 2 --out " + Quoted(dir.File("out")));
    EXPECT_FALSE(run.timed_out) << stored;
    EXPECT_EQ(run.status, 0) << stored << "\n" << run.output;
    EXPECT_TRUE(run.Has("Completed reading EEPROM files for all devices present")) << run.output;
    // Named as the list, it is refused before any device is read.
    run = Run("--simulate master chain read --equipment 1 --out " + Quoted(dir.File("named")) + " --serials " +
              Quoted(stored) + " --serial-position 2");
    EXPECT_FALSE(run.timed_out) << stored;
    EXPECT_EQ(run.status, 1) << stored;
    EXPECT_TRUE(run.Has("The serial number list " + stored + " is not a regular file")) << run.output;
    EXPECT_FALSE(std::filesystem::exists(dir.File("named/QXCT_207_.eep"))) << stored;
  }
}

TEST_F(BoundedInput, SerialListLargerThanAnyChainNeedsIsRefused) {
  {
    std::ofstream big(dir.File("serials.txt"));
    const std::string line(1023, 'S');
    for (int i = 0; i < 1100; ++i) big << line << '\n';
  }
  const CliRun run = Run("--simulate master chain read --equipment 1 --out " + Quoted(dir.File("out")) +
                         " --serials " + Quoted(dir.File("serials.txt")));
  EXPECT_EQ(run.status, 1);
  EXPECT_TRUE(run.Has("is larger than 1048576 bytes")) << run.output;
}

TEST_F(BoundedInput, ImageSizesBeyondTheCapAreRefusedNotAllocated) {
  WriteText(dir.File("skip.txt"), "HUGE -start -file\nBYTE X\nBYTE GAP -skip4000000000\nHUGE -end\n");
  const std::string huge = " --library " + Quoted(dir.File("skip.txt"));
  const std::string described = "HUGE describes 4000000001 bytes, more than the limit of 16777216 bytes";
  const std::string asked = "An EEPROM image of 4000000000 bytes is larger than the limit of 16777216 bytes";
  const struct {
    std::string args;
    std::string message;
  } cases[] = {
      {"eeprom show " + Quoted(dir.File("good.eep")) + " --type HUGE" + huge, described},
      {"eeprom blank --type HUGE -o " + Quoted(dir.File("blank.eep")) + huge, described},
      {"eeprom check " + Quoted(dir.File("good.eep")) + " --type HUGE" + huge, described},
      {"eeprom blank --type T --size 4000000000 -o " + Quoted(dir.File("blank.eep")) + " --library " +
           Quoted(Library()),
       asked},
      {"eeprom show " + Quoted(dir.File("good.eep")) + " --type T --size 4000000000 --library " + Quoted(Library()),
       asked},
  };
  for (const auto& c : cases) {
    const CliRun run = Run(c.args);
    EXPECT_EQ(run.status, 1) << c.args << "\n" << run.output;
    EXPECT_TRUE(run.Has(c.message)) << c.args << "\n" << run.output;
    // Far below the 4 GB the size names.
    EXPECT_LT(run.peak_rss_kb, 1024 * 1024) << c.args;
  }
  EXPECT_FALSE(std::filesystem::exists(dir.File("blank.eep")));
  // A size within the cap still overrides a skip that reaches beyond it.
  const CliRun run = Run("eeprom blank --type HUGE --size 4096 -o " + Quoted(dir.File("small.eep")) + huge);
  EXPECT_EQ(run.status, 0) << run.output;
}

// The peak memory of a run above what the program takes for the sample
// library: what the input made it hold.
class BoundedMemory : public BoundedInput {
 protected:
  long BaselineKb() {
    const CliRun run = Run("eeprom types --library " + Quoted(Library()));
    EXPECT_EQ(run.status, 0) << run.output;
    return run.peak_rss_kb;
  }
};

TEST_F(BoundedMemory, LongLabelOnALargeArrayIsStoredOnce) {
  // 30 KB of library: each of 32768 elements copying the label would take 1 GB.
  const std::string label(30000, 'L');
  WriteText(dir.File("label.txt"), "BIG -start -file\nBYTE CELL -a32768 -label\"" + label + "\"\nBIG -end\n");
  const long baseline = BaselineKb();
  const CliRun run = Run("eeprom types --library " + Quoted(dir.File("label.txt")));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_TRUE(run.Has("BIG  32768 bytes")) << run.output;
  // 32768 items of a few hundred bytes each, with the sanitizer's share.
  EXPECT_LT(run.peak_rss_kb - baseline, 96 * 1024) << "peak " << run.peak_rss_kb << " kB";
}

TEST_F(BoundedMemory, BlankLinesCostNoMoreThanTheirBytes) {
  // 8 MiB of empty lines: held as one string each, they took 32 bytes a line.
  const std::size_t lines = 8u * 1024 * 1024;
  WriteText(dir.File("blank.txt"), std::string(lines, '\n') + "T -start -file\nBYTE A\nT -end\n");
  const long baseline = BaselineKb();
  const CliRun run = Run("eeprom types --library " + Quoted(dir.File("blank.txt")));
  EXPECT_EQ(run.status, 0) << run.output;
  EXPECT_LT(run.peak_rss_kb - baseline, 64 * 1024) << "peak " << run.peak_rss_kb << " kB";
  // The line numbers still count every one of them.
  WriteText(dir.File("blank-bad.txt"), std::string(lines, '\n') + "T -start -what\n");
  const CliRun bad = Run("eeprom types --library " + Quoted(dir.File("blank-bad.txt")));
  EXPECT_EQ(bad.status, 1);
  EXPECT_TRUE(bad.Has("Incorrect formatting on line 8388609 of file ")) << bad.output;
}

TEST_F(BoundedMemory, LibrariesLargerThanTheCapAreRefusedAloneOrThroughIncludes) {
  // Each file under the cap, together above it: a chain of includes of one
  // large file is refused as the large file itself is.
  const std::string filler(6u * 1024 * 1024, '\n');
  WriteText(dir.File("part.txt"), filler);
  WriteText(dir.File("chain.txt"),
            "#include part.txt\n#include part.txt\n#include part.txt\nT -start -file\nBYTE A\nT -end\n");
  WriteText(dir.File("whole.txt"), std::string(17u * 1024 * 1024, '\n'));
  const struct {
    const char* library;
    const char* message;
  } cases[] = {
      {"chain.txt", "are larger than 16777216 bytes together"},
      {"whole.txt", "is larger than 16777216 bytes"},
  };
  for (const auto& c : cases) {
    const CliRun run = Run(std::string("eeprom types --library ") + Quoted(dir.File(c.library)));
    EXPECT_FALSE(run.timed_out) << c.library;
    EXPECT_EQ(run.status, 1) << c.library;
    EXPECT_TRUE(run.Has(c.message)) << c.library << "\n" << run.output;
  }
}

TEST_F(BoundedMemory, HexDumpPrintsAsItGoes) {
  // 16 MiB of image are 64 MiB of text; printed whole it would sit in memory.
  const auto dump = [this](const std::string& size) {
    const CliRun run = Run("hex dump " + Quoted(dir.File("good.eep")) + " --size " + size + " >/dev/null");
    EXPECT_EQ(run.status, 0) << run.output;
    return run.peak_rss_kb;
  };
  const long small = dump("4096");
  const long large = dump("16777216");
  // The image itself (16 MiB) and the sanitizer's shadow of it, not its text.
  EXPECT_LT(large - small, 40 * 1024) << small << " kB, then " << large << " kB";
}

TEST(OutOfMemory, BecomesAMessageAndAFailureNotAnAbort) {
  std::ostringstream err;
  const int status = cli::RunOrReportOutOfMemory(err, 1, []() -> int { throw std::bad_alloc(); });
  EXPECT_EQ(status, 1);
  EXPECT_EQ(err.str(), std::string(cli::kOutOfMemory) + "\n");
  // A run that finishes keeps its own status and says nothing.
  std::ostringstream quiet;
  EXPECT_EQ(cli::RunOrReportOutOfMemory(quiet, 1, [] { return 0; }), 0);
  EXPECT_TRUE(quiet.str().empty());
}

}  // namespace
}  // namespace corvel::test
