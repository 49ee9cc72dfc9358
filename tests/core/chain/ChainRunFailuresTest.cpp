// How a chain read ends when it cannot do its work: a dead line, a port that
// goes away, an output folder that cannot be used, a prefix that would lead
// out of the folder. None of these may close with "Completed reading ...".
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "core/tool/chain/DeviceChainReader.h"
#include "sim/MasterBoardModel.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

namespace fs = std::filesystem;

// A line with nobody on it (reads come back empty at once), or one whose
// port has gone (every write fails). Counts what the program sent.
class DeadLine : public SerialDevice {
 public:
  DeadLine(bool writes_fail, int* writes) : m_writes_fail(writes_fail), m_writes(writes) {}
  bool Configure(uint32_t) override { return true; }
  void SetTimeouts(const SerialTimeouts&) override {}
  bool Read(uint8_t*, uint32_t, uint32_t& received) override {
    received = 0;
    return !m_writes_fail;
  }
  bool Write(const uint8_t*, uint32_t count, uint32_t& written) override {
    ++*m_writes;
    written = m_writes_fail ? 0 : count;
    return !m_writes_fail;
  }
  bool Purge() override { return true; }
  bool Close() override { return true; }

 private:
  bool m_writes_fail;
  int* m_writes;
};

class ChainOnADeadLine : public ::testing::Test {
 protected:
  void Open(bool writes_fail) {
    port.SetPortName("/dev/ttyDEAD");
    ASSERT_TRUE(port.OpenDevice(std::make_unique<DeadLine>(writes_fail, &writes)));
    reader.Open();
    reader.SetOutputDirectory(out.Path());
  }
  ScriptedUserInterface ui;
  SerialPort port;
  AppSettings app;
  MemorySettings store;
  ToolEnv env{ui, port, app, store, "/"};
  DeviceChainReader reader{env};
  TempDir out;
  int writes = 0;
};

TEST_F(ChainOnADeadLine, ASilentMasterIsSaidSoNotCompleted) {
  Open(false);
  for (int i = 0; i < 14; ++i) ui.answers.push_back(Answer::Ignore);
  const ChainRunSummary summary = reader.GetEepromFiles();
  EXPECT_EQ(summary.devices_ignored.size(), 14u);
  EXPECT_EQ(summary.Result(), ToolOutcome::Failed);
  ASSERT_FALSE(ui.Texts().empty());
  EXPECT_EQ(ui.Texts().back(), kChainNoDeviceAnswered);
  EXPECT_EQ(ui.shown.back().message.icon, MessageIcon::Error);
  for (const auto& text : ui.Texts()) EXPECT_NE(text, kChainCompleted);
  EXPECT_TRUE(fs::is_empty(out.Path()));
}

TEST_F(ChainOnADeadLine, APortThatStopsWorkingEndsTheRunAtOnce) {
  Open(true);
  const ChainRunSummary summary = reader.GetEepromFiles();
  EXPECT_EQ(summary.outcome, ChainRunSummary::Outcome::PortLost);
  EXPECT_EQ(summary.Result(), ToolOutcome::Failed);
  // No Abort/Retry/Ignore per device: one message that says what happened.
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{ChainPortStopped("/dev/ttyDEAD")});
  EXPECT_EQ(ui.unexpected_questions, 0);
  EXPECT_EQ(writes, 3);  // the first section's three tries, then no more
}

TEST_F(ChainOnADeadLine, AnOutputFolderIsMadeOrRefusedBeforeTheFirstRead) {
  Open(false);
  WriteText(out.File("a-file"), "x");
  struct Case {
    const char* name;
    std::string folder;
    bool usable;
  } cases[] = {
      {"missing folders are made", out.File("new/deeper"), true},
      {"a folder under a file", out.File("a-file/sub"), false},
      {"a file named as the folder", out.File("a-file"), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    reader.SetOutputDirectory(c.folder);
    EXPECT_EQ(reader.PrepareOutputFolder(), c.usable);
    EXPECT_EQ(fs::is_directory(c.folder), c.usable);
    if (c.usable) {
      EXPECT_TRUE(fs::is_empty(c.folder));  // the write check leaves nothing behind
      continue;
    }
    ui.shown.clear();
    writes = 0;
    const ChainRunSummary summary = reader.GetEepromFiles();
    EXPECT_EQ(summary.outcome, ChainRunSummary::Outcome::FolderUnusable);
    EXPECT_EQ(summary.Result(), ToolOutcome::Failed);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>{ChainOutputFolderUnusable(c.folder)});
    EXPECT_EQ(writes, 0);  // not one device was read
  }
  if (::geteuid() != 0) {
    fs::create_directory(out.File("locked"));
    ::chmod(out.File("locked").c_str(), 0500);
    reader.SetOutputDirectory(out.File("locked"));
    EXPECT_FALSE(reader.PrepareOutputFolder());
    ::chmod(out.File("locked").c_str(), 0700);
  }
}

TEST(ChainFileNames, PrefixAndSuffixFollowTheSerialNumbersRule) {
  ScriptedUserInterface ui;
  SerialPort port;
  AppSettings app;
  MemorySettings store;
  ToolEnv env{ui, port, app, store, "/"};
  DeviceChainReader reader(env);
  struct Case {
    std::string prefix;
    std::string suffix;
    std::string name;  // of device index 1
  } cases[] = {
      {"TX1", "old", "TX1_EXT_IF_old.eep"},
      {"../../x", "", "____x_EXT_IF.eep"},
      {"", "../../../tmp/y", "EXT_IF_______tmp_y.eep"},
      {"/abs", "a\\b", "_abs_EXT_IF_a_b.eep"},
      {"\x1b[31m", "\n", "_[31m_EXT_IF__.eep"},
  };
  for (const auto& c : cases) {
    reader.SetPrefix(c.prefix);
    reader.SetSuffix(c.suffix);
    EXPECT_EQ(reader.BuildFileName(1), c.name) << c.prefix << " " << c.suffix;
  }
}

// A real run against the virtual master: with a prefix and suffix that try
// to climb out, every file still lands in the output folder and nothing
// appears above it.
class ChainRunInFolder : public SimTest {};

TEST_F(ChainRunInFolder, NothingIsWrittenOutsideTheOutputFolder) {
  auto model = std::make_unique<sim::MasterBoardModel>();
  for (uint8_t a = 1; a <= 14; ++a) {
    if (a != 2 && a != 3) model->eeproms.erase(a);  // EXT_IF and PA_MODULE_A only
  }
  StartDevice(std::move(model));
  port.SetBaudRate(SerialPort::kHighBaud);
  ASSERT_TRUE(OpenPort());
  TempDir root;
  const std::string out = root.File("a/b/out");
  DeviceChainReader reader(Env());
  reader.Open();
  reader.SetOutputDirectory(out);
  reader.SetPrefix("../../x");
  reader.SetSuffix("../../../y");
  const ChainRunSummary summary = reader.GetEepromFiles();
  EXPECT_EQ(summary.Result(), ToolOutcome::Done);
  ASSERT_EQ(summary.files_written.size(), 2u);
  for (const auto& path : summary.files_written) EXPECT_EQ(fs::path(path).parent_path(), fs::path(out));
  std::set<std::string> everything;
  for (const auto& entry : fs::recursive_directory_iterator(root.Path())) {
    everything.insert(fs::relative(entry.path(), root.Path()).generic_string());
  }
  EXPECT_EQ(everything, (std::set<std::string>{"a", "a/b", "a/b/out", "a/b/out/____x_EXT_IF_______y.eep",
                                               "a/b/out/____x_PA_MODULE_A_______y.eep"}));
}

}  // namespace
}  // namespace corvel::test
