// The device chain reader: file names, the window's fields and settings, and
// whole runs against the virtual master board.
#include <filesystem>
#include <set>

#include <sstream>

#include "core/tool/chain/DeviceChainReader.h"
#include "cli/ConsoleUserInterface.h"
#include "core/format/hex/IntelHex.h"
#include "sim/MasterBoardModel.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

using sim::MasterBoardModel;
using Bytes = std::vector<uint8_t>;
namespace fs = std::filesystem;

std::set<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename().string());
  return names;
}

Bytes LoadEep(const std::string& path, std::size_t size) {
  Bytes bytes(size);
  if (!LoadIntelHex(path, bytes.data(), static_cast<uint32_t>(size))) return {};
  return bytes;
}

TEST(DeviceChainTable, NamesAddressesAndSizes) {
  const struct {
    int index;
    const char* name;
    int address;
    uint32_t size;
  } cases[] = {
      {0, "QXCT_207", 1, 4096},       {1, "EXT_IF", 2, 256},          {2, "PA_MODULE_A", 3, 256},
      {9, "PA_MODULE_H", 10, 256},    {10, "IPA_MODULE_A", 11, 256},  {11, "IPA_MODULE_B", 12, 256},
      {12, "EXCITER_A_QXCT_207", 13, 4096}, {13, "EXCITER_B_QXCT_207", 14, 4096},
      {14, "INVALID_DEVICE_15", 0, 0}, {-1, "INVALID_DEVICE_0", 0, 0},
  };
  for (const auto& c : cases) {
    const auto device = DescribeChainDevice(c.index);
    EXPECT_EQ(device.name, c.name) << c.index;
    EXPECT_EQ(device.address, c.address) << c.index;
    EXPECT_EQ(device.eeprom_size, c.size) << c.index;
  }
  ASSERT_EQ(ChainEquipmentList().size(), 7u);
  EXPECT_EQ(ChainEquipmentList()[1], "Solvane Series FM Transmitter");
  for (int e = 0; e < 7; ++e) EXPECT_EQ(ChainDeviceCount(e), e == 1 ? 14 : 0) << e;
}

TEST(DeviceChainSerials, SerialNumbersNeverLeaveTheOutputFolder) {
  const struct {
    const char* serial;
    const char* safe;
  } cases[] = {
      {"SN1234", "SN1234"},
      {"1.2.3", "1.2.3"},
      {"..", "_"},
      {"...", "_."},
      {"../../etc/passwd", "____etc_passwd"},
      {"a\\b", "a_b"},
      {"tab\there\x01\x7f", "tab_here__"},
  };
  for (const auto& c : cases) EXPECT_EQ(SanitiseSerialNumber(c.serial), c.safe) << c.serial;
}

class DeviceChainNames : public ::testing::Test {
 protected:
  ScriptedUserInterface ui;
  SerialPort port;
  AppSettings app;
  MemorySettings store;
  ToolEnv env{ui, port, app, store, "/"};
  TempDir dir;
};

TEST_F(DeviceChainNames, BuildFileNameFromPrefixSuffixAndSerialPosition) {
  const std::string serials = dir.File("serials.txt");
  WriteText(serials, "  A100 \r\nB200\r\n\tC300\t\r\n");
  const struct {
    const char* prefix;
    const char* suffix;
    std::string serial_file;
    int position;
    int index;
    const char* name;
  } cases[] = {
      {"TX1", "", "", 0, 3, "TX1_PA_MODULE_B.eep"},
      {"", "", "", 0, 0, "QXCT_207.eep"},
      {"", "rev2", "", 0, 1, "EXT_IF_rev2.eep"},
      {"TX1", "rev2", serials, 0, 1, "TX1_EXT_IF_rev2.eep"},       // position 0: no serial
      {"TX1", "rev2", serials, 1, 0, "A100_TX1_QXCT_207_rev2.eep"},
      {"", "", serials, 1, 2, "C300_PA_MODULE_A.eep"},             // line 3, trimmed
      {"", "", serials, 1, 3, "UNKNOWN_SERIAL_PA_MODULE_B.eep"},   // the list ends first
      {"P", "S", serials, 2, 1, "P_EXT_IF_S_B200.eep"},
      {"", "", "", 2, 0, "QXCT_207_.eep"},                          // no list: empty serial
      {"", "", dir.File("missing.txt"), 1, 0, "_QXCT_207.eep"},     // unreadable list: empty
      {"", "", "", 0, 20, "INVALID_DEVICE_21.eep"},
  };
  for (const auto& c : cases) {
    DeviceChainReader reader(env);
    reader.SetPrefix(c.prefix);
    reader.SetSuffix(c.suffix);
    reader.SetSerialFile(c.serial_file);
    reader.SetSerialPosition(c.position);
    EXPECT_EQ(reader.BuildFileName(c.index), c.name) << c.name;
    if (c.index == 0) {
      EXPECT_EQ(reader.Preview(), c.name);
    }
  }
}

TEST_F(DeviceChainNames, OutputFolderWithOrWithoutTrailingSeparatorGivesTheSamePaths) {
  DeviceChainReader reader(env);
  const struct {
    const char* given;
    const char* prefix;
  } cases[] = {{"/data/out", "/data/out/"}, {"/data/out/", "/data/out/"}, {"", ""}, {"/", "/"}};
  for (const auto& c : cases) {
    reader.SetOutputDirectory(c.given);
    EXPECT_EQ(reader.DirectoryPrefix(), c.prefix) << c.given;
  }
}

TEST_F(DeviceChainNames, OpenTakesTheStoredFieldsAndCloseStoresThemBack) {
  app.last_eep_file_prefix = "TX9";
  app.last_eep_file_suffix = "old";
  app.last_eep_file_output_dir = "/tmp/eep";
  app.last_serial_number_file = "";
  app.serial_number_position = 2;
  DeviceChainReader reader(env);
  reader.Open();
  EXPECT_EQ(reader.Equipment(), 1);
  EXPECT_EQ(reader.Prefix(), "TX9");
  EXPECT_EQ(reader.OutputDirectory(), "/tmp/eep");
  EXPECT_EQ(reader.Preview(), "TX9_QXCT_207_old_.eep");

  reader.SetSuffix("");
  reader.SetSerialPosition(0);
  reader.SetEquipment(2);
  EXPECT_EQ(reader.Preview(), "TX9_QXCT_207.eep");
  ui.folders.push_back(std::string("/srv/eeproms"));
  reader.BrowseOutputFolder();
  ASSERT_EQ(ui.folders.size(), 0u);
  reader.Close();
  EXPECT_EQ(app.last_eep_file_suffix, "");
  EXPECT_EQ(app.serial_number_position, 0);
  EXPECT_EQ(app.last_eep_file_output_dir, "/srv/eeproms");
  EXPECT_EQ(app.last_eep_file_prefix, "TX9");
}

TEST_F(DeviceChainNames, SerialFileDialogStartsFromTheListOrTheOutputFolder) {
  const std::string serials = dir.File("serials.txt");
  WriteText(serials, "X1\n");
  DeviceChainReader reader(env);
  reader.SetOutputDirectory("/srv/eeproms");
  reader.SetSerialPosition(1);
  ui.files.push_back(serials);
  reader.BrowseSerialFile();
  ASSERT_EQ(ui.file_requests.size(), 1u);
  const FileDialogRequest& first = ui.file_requests[0];
  EXPECT_TRUE(first.open);
  EXPECT_TRUE(first.must_exist);
  EXPECT_EQ(first.filter, "Serial Number Files (*.txt)|*.txt|All Files (*.*)|*.*||");
  EXPECT_EQ(first.default_extension, "txt");
  EXPECT_EQ(first.initial_name, "/srv/eeproms");
  EXPECT_EQ(reader.SerialFile(), serials);
  EXPECT_EQ(reader.Preview(), "X1_QXCT_207.eep");

  ui.files.push_back(std::nullopt);  // cancelled: the list stays
  reader.BrowseSerialFile();
  EXPECT_EQ(ui.file_requests[1].initial_name, serials);
  EXPECT_EQ(reader.SerialFile(), serials);
}

// Runs against the board at 115200 baud: the link does not depend on the
// speed, and a whole chain is 1888 exchanges.
class DeviceChainRunTest : public SimTest {
 protected:
  void SetUp() override {
    StartDevice(std::make_unique<MasterBoardModel>());
    port.SetBaudRate(SerialPort::kHighBaud);
    ASSERT_TRUE(OpenPort());
    reader = std::make_unique<DeviceChainReader>(Env());
    reader->Open();
    reader->SetOutputDirectory(out.Path());
  }
  template <typename F>
  auto Board(F&& f) {
    return WithModel<MasterBoardModel>(std::forward<F>(f));
  }
  // Leaves the 256-byte modules only, so a run takes a moment.
  void ModulesOnly() {
    Board([](MasterBoardModel& m) {
      for (uint8_t a : {1, 13, 14}) m.eeproms.erase(a);
    });
  }
  Bytes Eeprom(uint8_t address) {
    return Board([&](MasterBoardModel& m) { return m.eeproms.at(address); });
  }

  TempDir out;
  TempDir out_dir;
  std::unique_ptr<DeviceChainReader> reader;
};

TEST_F(DeviceChainRunTest, WholeSolvaneChainGivesFourteenFilesEqualToTheEeproms) {
  const auto summary = reader->GetEepromFiles();
  EXPECT_EQ(summary.outcome, ChainRunSummary::Outcome::Completed);
  EXPECT_EQ(ui.Texts(), std::vector<std::string>({"Completed reading EEPROM files for all devices present"}));
  EXPECT_EQ(ui.shown.back().message.icon, MessageIcon::Information);
  ASSERT_EQ(FilesIn(out.Path()).size(), 14u);
  for (int i = 0; i < 14; ++i) {
    const auto device = DescribeChainDevice(i);
    const std::string path = out.File(device.name + ".eep");
    EXPECT_EQ(LoadEep(path, device.eeprom_size), Eeprom(device.address)) << device.name;
  }
  // One progress window per device, its text the file's path.
  ASSERT_EQ(ui.progress.size(), 14u);
  EXPECT_EQ(ui.progress[0].status_text, out.File("QXCT_207.eep"));
  EXPECT_EQ(ui.progress[0].caption_id, kCaptionReadingEepromFromDevice);
  EXPECT_TRUE(ui.progress[0].destroyed);
}

TEST_F(DeviceChainRunTest, OtherEquipmentReadsNothingAndClosesAtOnce) {
  for (int equipment : {0, 2, 6}) {
    ui.shown.clear();
    reader->SetEquipment(equipment);
    const auto summary = reader->GetEepromFiles();
    EXPECT_EQ(summary.outcome, ChainRunSummary::Outcome::Completed);
    EXPECT_EQ(ui.Texts(), std::vector<std::string>({"Completed reading EEPROM files for all devices present"}));
  }
  EXPECT_TRUE(ui.progress.empty());
  EXPECT_TRUE(Board([](MasterBoardModel& m) { return m.received.empty(); }));
  EXPECT_TRUE(FilesIn(out.Path()).empty());
}

TEST_F(DeviceChainRunTest, SectionsOfEightBytesWithTheirTraceLines) {
  const struct {
    uint8_t address;
    uint32_t size;
    int sections;
    const char* last_line;
  } cases[] = {
      {1, 4096, 512, "Reading EEPROM section 512 of 512 ... Address: 0x00000FF8 Size: 8 bytes"},
      {2, 256, 32, "Reading EEPROM section 32 of 32 ... Address: 0x000000F8 Size: 8 bytes"},
      {3, 20, 3, "Reading EEPROM section 3 of 3 ... Address: 0x00000010 Size: 4 bytes"},
  };
  for (const auto& c : cases) {
    trace.Clear();
    ui.progress.clear();
    Board([](MasterBoardModel& m) { m.eeprom_requests = 0; });
    std::vector<uint8_t> buffer(4096, 0);
    ASSERT_EQ(reader->ReadSubDeviceEEPROM(c.address, c.size, buffer.data(), "x.eep"), kChainReadOk) << c.sections;
    EXPECT_EQ(Board([](MasterBoardModel& m) { return m.eeprom_requests; }), c.sections);
    EXPECT_TRUE(trace.Contains(c.last_line)) << c.sections;
    EXPECT_EQ(trace.Lines().front(), "ReadSubDeviceEEPROM: DestAddress is " + std::to_string(c.address));
    const Bytes eeprom = Eeprom(c.address);
    EXPECT_EQ(Bytes(buffer.begin(), buffer.begin() + c.size), Bytes(eeprom.begin(), eeprom.begin() + c.size));
    ASSERT_EQ(ui.progress.size(), 1u);
    // The bar starts at 0, then one position per section.
    EXPECT_EQ(ui.progress[0].positions.size(), static_cast<std::size_t>(c.sections) + 1);
    EXPECT_EQ(ui.progress[0].positions.back(), 100 * (c.sections - 1) / c.sections);
  }
}

TEST_F(DeviceChainRunTest, AbsentDevicesAreSkippedWithoutAFileAndSerialsStayInTheFolder) {
  ModulesOnly();
  Board([](MasterBoardModel& m) { m.eeproms.erase(5); });  // PA_MODULE_C
  const std::string serials = out.File("serials.txt");
  WriteText(serials, "S1\n../../escaped\n/etc/cron.d/x\n..\n");
  reader->SetSerialFile(serials);
  reader->SetSerialPosition(kSerialAtStart);
  reader->SetPrefix("TX1");
  const auto summary = reader->GetEepromFiles();
  EXPECT_EQ(summary.outcome, ChainRunSummary::Outcome::Completed);
  EXPECT_EQ(summary.devices_absent,
            std::vector<std::string>({"QXCT_207", "PA_MODULE_C", "EXCITER_A_QXCT_207", "EXCITER_B_QXCT_207"}));
  EXPECT_EQ(ui.Texts(), std::vector<std::string>({"Completed reading EEPROM files for all devices present"}));

  const auto files = FilesIn(out.Path());
  EXPECT_EQ(files.size(), 11u);  // 10 modules and the list
  EXPECT_TRUE(files.count("____escaped_TX1_EXT_IF.eep"));
  EXPECT_TRUE(files.count("_etc_cron.d_x_TX1_PA_MODULE_A.eep"));
  EXPECT_TRUE(files.count("UNKNOWN_SERIAL_TX1_PA_MODULE_D.eep"));
  EXPECT_TRUE(files.count("__TX1_PA_MODULE_B.eep"));
  for (const auto& path : summary.files_written) EXPECT_EQ(fs::path(path).parent_path(), fs::path(out.Path()));
  EXPECT_EQ(LoadEep(out.File("____escaped_TX1_EXT_IF.eep"), 256), Eeprom(2));
  EXPECT_TRUE(trace.Contains("Device indicated as not present (code 7)"));
}

TEST_F(DeviceChainRunTest, SlowSilentDeviceAsksAbortRetryIgnore) {
  ModulesOnly();
  const std::string question = "Device described as EXT_IF failed to respond.";
  const std::string closing = "Completed reading EEPROM files for all devices present";
  const struct {
    const char* name;
    int silent_frames;
    std::vector<Answer> answers;
    std::vector<std::string> texts;
    bool ext_if_file;
    std::size_t files;
    ChainRunSummary::Outcome outcome;
  } cases[] = {
      {"ignore", -1, {Answer::Ignore}, {question, closing}, false, 10, ChainRunSummary::Outcome::Completed},
      {"retry", 3, {Answer::Retry}, {question, closing}, true, 11, ChainRunSummary::Outcome::Completed},
      {"abort", -1, {Answer::Abort}, {question}, false, 0, ChainRunSummary::Outcome::Aborted},
  };
  for (const auto& c : cases) {
    TempDir folder;
    reader->SetOutputDirectory(folder.Path());
    ui.shown.clear();
    trace.Clear();
    ui.answers.assign(c.answers.begin(), c.answers.end());
    Board([&](MasterBoardModel& m) { m.silent_devices[2] = c.silent_frames; });
    const auto summary = reader->GetEepromFiles();
    EXPECT_EQ(summary.outcome, c.outcome) << c.name;
    EXPECT_EQ(ui.Texts(), c.texts) << c.name;
    EXPECT_EQ(ui.shown[0].message.buttons, MessageButtons::AbortRetryIgnore) << c.name;
    EXPECT_EQ(FilesIn(folder.Path()).size(), c.files) << c.name;
    EXPECT_EQ(FilesIn(folder.Path()).count("EXT_IF.eep") == 1, c.ext_if_file) << c.name;
    EXPECT_EQ(ui.unexpected_questions, 0) << c.name;
    // Three tries of the first section, each traced, then the give-up.
    int failures = 0;
    for (const auto& line : trace.Lines()) {
      failures += line == "FAILURE! Reading EEPROM section 1 of 32 ... Address: 0x00000000 Size: 8 bytes";
    }
    EXPECT_EQ(failures, 3) << c.name;
    EXPECT_TRUE(trace.Contains("FAILURE! Could not read EEPROM section 1 of 32 ... Address: 0x00000000 Size: 8 bytes"))
        << c.name;
    int asked_ext_if = 0;
    for (const auto& line : trace.Lines()) asked_ext_if += line == "Current device address: 2";
    EXPECT_EQ(asked_ext_if, c.answers[0] == Answer::Retry ? 2 : 1) << c.name;
    if (c.ext_if_file) {
      EXPECT_EQ(LoadEep(folder.File("EXT_IF.eep"), 256), Eeprom(2));
    }
    Board([](MasterBoardModel& m) { m.silent_devices.clear(); });
  }
}

// The console answers the question from --retries and --yes, as a script run
// of the command does.
TEST_F(DeviceChainRunTest, SlowConsoleAnswersFromRetriesThenYes) {
  ModulesOnly();
  Board([](MasterBoardModel& m) {
    for (uint8_t a = 4; a <= 12; ++a) m.eeproms.erase(a);  // EXT_IF and PA_MODULE_A remain
    m.silent_devices[2] = -1;
  });
  const struct {
    int retries;
    bool yes;
    std::vector<std::string> answers;
    ChainRunSummary::Outcome outcome;
  } cases[] = {
      {-1, false, {"Abort"}, ChainRunSummary::Outcome::Aborted},
      {0, true, {"Ignore"}, ChainRunSummary::Outcome::Completed},
      {1, true, {"Retry", "Ignore"}, ChainRunSummary::Outcome::Completed},
  };
  for (const auto& c : cases) {
    std::istringstream in;
    std::ostringstream out;
    ConsoleUserInterface console(in, out, out, ConsoleAnswerPolicy{c.yes, c.retries, false, false});
    ToolEnv console_env{console, port, app, store, "/"};
    DeviceChainReader console_reader(console_env);
    console_reader.Open();
    console_reader.SetOutputDirectory(out_dir.Path());
    EXPECT_EQ(console_reader.GetEepromFiles().outcome, c.outcome) << c.retries;
    std::string expected;
    for (const auto& answer : c.answers) {
      expected += "Device described as EXT_IF failed to respond.\nAnswer: " + answer + "\n";
    }
    if (c.outcome == ChainRunSummary::Outcome::Completed) {
      expected += "Completed reading EEPROM files for all devices present\n";
    }
    EXPECT_EQ(out.str(), expected) << c.retries;
  }
}

TEST_F(DeviceChainRunTest, CancelEndsTheRunKeepingFilesAlreadyWritten) {
  ModulesOnly();
  // Each section pumps twice (position, then the Cancel check): one section
  // of the absent controller, 32 of EXT_IF, then Cancel in PA_MODULE_A's
  // eighth section.
  ui.cancel_at_poll = 2 * 1 + 2 * 32 + 2 * 8;
  const auto summary = reader->GetEepromFiles();
  EXPECT_EQ(summary.outcome, ChainRunSummary::Outcome::Cancelled);
  EXPECT_TRUE(ui.shown.empty());
  EXPECT_EQ(FilesIn(out.Path()), std::set<std::string>({"EXT_IF.eep"}));
  ASSERT_EQ(ui.progress.size(), 3u);
  EXPECT_EQ(ui.progress[2].status_text, out.File("PA_MODULE_A.eep"));
  EXPECT_EQ(ui.progress[2].positions.size(), 9u);
  EXPECT_TRUE(ui.progress[2].destroyed);
}

TEST_F(DeviceChainRunTest, FileThatCannotBeWrittenIsReportedNotPassedOff) {
  ModulesOnly();
  Board([](MasterBoardModel& m) {
    for (uint8_t a = 4; a <= 12; ++a) m.eeproms.erase(a);
  });
  // The folder is usable, but the two files' names are taken by folders,
  // which a save never replaces.
  fs::create_directories(out.File("folder/EXT_IF.eep"));
  fs::create_directories(out.File("folder/PA_MODULE_A.eep"));
  reader->SetOutputDirectory(out.File("folder"));
  const auto summary = reader->GetEepromFiles();
  EXPECT_TRUE(summary.files_written.empty());
  EXPECT_EQ(summary.files_not_written.size(), 2u);
  ASSERT_EQ(ui.Texts().size(), 3u);
  EXPECT_EQ(ui.Texts()[0], "Could not write the file " + out.File("folder/EXT_IF.eep"));
  EXPECT_EQ(ui.shown[0].message.icon, MessageIcon::Error);
  EXPECT_EQ(ui.Texts()[2], "Completed reading EEPROM files for all devices present");
}

TEST(ChainRunSummaryTest, OnlyAWholeRunWithEveryFileWrittenIsDone) {
  using Outcome = ChainRunSummary::Outcome;
  struct Case {
    const char* name;
    Outcome outcome;
    std::vector<std::string> ignored;
    std::vector<std::string> not_written;
    std::vector<std::string> absent;
    ToolOutcome expected;
  };
  const Case cases[] = {
      {"completed", Outcome::Completed, {}, {}, {}, ToolOutcome::Done},
      {"absent devices are no failure", Outcome::Completed, {}, {}, {"EXT_IF"}, ToolOutcome::Done},
      {"a device ignored", Outcome::Completed, {"PA_MODULE_A"}, {}, {}, ToolOutcome::Failed},
      {"a file not written", Outcome::Completed, {}, {"x.eep"}, {}, ToolOutcome::Failed},
      {"aborted", Outcome::Aborted, {}, {}, {}, ToolOutcome::Failed},
      {"cancelled", Outcome::Cancelled, {}, {}, {}, ToolOutcome::Cancelled},
  };
  for (const auto& c : cases) {
    ChainRunSummary summary;
    summary.outcome = c.outcome;
    summary.devices_ignored = c.ignored;
    summary.files_not_written = c.not_written;
    summary.devices_absent = c.absent;
    EXPECT_EQ(summary.Result(), c.expected) << c.name;
    EXPECT_EQ(ExitStatus(summary.Result()), c.expected == ToolOutcome::Done ? 0 : 1) << c.name;
  }
}

}  // namespace
}  // namespace corvel::test
