// Settings, launcher decisions, progress window and debug log.
#include <fstream>
#include <sstream>

#include "core/base/AppSettings.h"
#include "core/base/SettingsKeys.h"
#include "core/tool/app/ToolLauncher.h"
#include "cli/ConsoleUserInterface.h"
#include "sim/ScriptedPeer.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

TEST(AppSettingsStore, FirstStartGivesTheDefaults) {
  MemorySettings store;
  AppSettings app;
  app.com_port = "junk";
  app.keep_eeprom = 7;
  app.Load(store);
  SerialPort port;
  EXPECT_EQ(app.com_port, "COM1");
  EXPECT_EQ(port.BaudRate(), 19200u);
  EXPECT_EQ(app.timeout_setting, 0);
  EXPECT_EQ(app.use_turbo_baud_rate, 0);
  EXPECT_EQ(app.use_debugging_window, 0);
  EXPECT_EQ(app.erase_atmel_before_programming, 1);
  EXPECT_EQ(app.verify_atmel_after_programming, 1);
  EXPECT_EQ(app.keep_eeprom, 1);
  EXPECT_EQ(keys::kFile1SizeStringEepromDlg.Get(store), "512 B");
  EXPECT_EQ(keys::kEraseFlashFirstFirmwareUploader.Get(store), 1);
}

TEST(AppSettingsStore, IniFileRoundTripKeepsTableOrderAndSurvivesGarbage) {
  TempDir dir;
  const std::string path = dir.File("corvel.ini");
  {
    IniFileSettings store(path);
    AppSettings app;
    app.Load(store);
    app.com_port = "COM12";
    app.timeout_setting = 30000;
    app.last_fw_file = "C:\\fw\\new\nline.hex";
    ASSERT_TRUE(app.Save(store));
  }
  {
    IniFileSettings store(path);
    AppSettings app;
    app.Load(store);
    EXPECT_EQ(app.com_port, "COM12");
    EXPECT_EQ(app.timeout_setting, 30000);
    EXPECT_EQ(app.last_fw_file, "C:\\fw\\new\nline.hex");
  }
  std::ifstream in(path);
  std::string first, second, third;
  std::getline(in, first);
  std::getline(in, second);
  std::getline(in, third);
  EXPECT_EQ(first, "[Serial Settings]");
  EXPECT_EQ(second, "Com Port=COM12");
  EXPECT_EQ(third, "Use Turbo Baud Rate=0");

  // Garbage and a non-number give the defaults; nothing crashes.
  WriteBytes(path, {0x00, 0xFF, '[', 'S', '\n', '=', '=', '\n'});
  WriteText(dir.File("bad.ini"), "[Serial Settings]\nTimeout Setting=12abc\nKeep EEPROM=\n");
  IniFileSettings garbage(path);
  IniFileSettings bad(dir.File("bad.ini"));
  AppSettings a, b;
  a.Load(garbage);
  b.Load(bad);
  EXPECT_EQ(a.com_port, "COM1");
  EXPECT_EQ(b.timeout_setting, 0);
  EXPECT_EQ(b.keep_eeprom, 1);
}

TEST(AppSettingsStore, UnwritableFolderReportsFailureAndKeepsNoTemporaryFile) {
  IniFileSettings store("/proc/corvel-no-such-dir/x.ini");
  AppSettings app;
  EXPECT_FALSE(app.Save(store));
}

class LauncherTest : public SimTest {
 protected:
  void SetUp() override { StartDevice(std::make_unique<sim::ScriptedPeer>()); }
};

TEST_F(LauncherTest, MissingPortShowsFailedToOpenAndDoesNotRunTheTool) {
  app.com_port = "COM9";
  bool ran = false;
  EXPECT_FALSE(RunToolWithPort(Env(), ToolId::ReadDeviceChain, [&] { ran = true; }));
  EXPECT_FALSE(ran);
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].message.text, "Failed to open COM9!");
  EXPECT_EQ(ui.shown[0].message.icon, MessageIcon::Error);
}

TEST_F(LauncherTest, PortIsOpenOnlyWhileTheToolRuns) {
  bool was_open = false;
  EXPECT_TRUE(RunToolWithPort(Env(), ToolId::UploadAtmelFirmware, [&] { was_open = port.IsOpen(); }));
  EXPECT_TRUE(was_open);
  EXPECT_FALSE(port.IsOpen());
  // File tools never touch the port, even a broken one.
  app.com_port = "COM9";
  bool ran = false;
  EXPECT_TRUE(RunToolWithPort(Env(), ToolId::MergeHexFiles, [&] { ran = !port.IsOpen(); }));
  EXPECT_TRUE(ran);
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(LauncherTest, KernelToolRunsAt115200AndLeavesTheLineAt19200) {
  for (uint32_t before : {9600u, 19200u, 57600u}) {
    port.SetBaudRate(before);
    uint32_t during = 0;
    uint32_t line = 0;
    EXPECT_TRUE(RunToolWithPort(Env(), ToolId::UploadPyrelKernel, [&] {
      during = port.BaudRate();
      line = host->LineBaud();
    }));
    EXPECT_EQ(during, 115200u);
    EXPECT_EQ(line, 115200u);
    EXPECT_EQ(port.BaudRate(), 19200u) << before;
  }
  app.com_port = "COM9";
  port.SetBaudRate(57600);
  EXPECT_FALSE(RunToolWithPort(Env(), ToolId::UploadPyrelKernel, [] {}));
  EXPECT_EQ(port.BaudRate(), 19200u);
}

TEST_F(LauncherTest, SettingsPageValidatesTheTimeoutAndReopensAnOpenPort) {
  const struct {
    const char* text;
    bool accepted;
  } cases[] = {{"0", true}, {"30000", true}, {"30001", false}, {"", false}, {"-1", false}, {"12a", false}};
  for (const auto& c : cases) {
    SerialSettingsPage page = LoadSerialSettingsPage(Env());
    page.timeout_text = c.text;
    app.timeout_setting = 77;
    EXPECT_EQ(ApplySerialSettingsPage(Env(), page), c.accepted) << c.text;
    if (!c.accepted) {
      EXPECT_EQ(app.timeout_setting, 77) << "a refused page changes nothing";
    }
  }
  SerialSettingsPage page = LoadSerialSettingsPage(Env());
  page.port_name = "COM12";
  page.timeout_text = "30000";
  page.baud_index = -1;
  ASSERT_TRUE(ApplySerialSettingsPage(Env(), page));
  EXPECT_EQ(app.com_port, "COM12");
  EXPECT_EQ(app.timeout_setting, 30000);
  EXPECT_EQ(port.BaudRate(), 19200u);

  // A stored time-out above the range shows as 0; the open port is reopened
  // with the new values in force.
  app.timeout_setting = 40000;
  EXPECT_EQ(LoadSerialSettingsPage(Env()).timeout_text, "0");
  app.com_port = host->PortPath();
  port.SetPortName(host->PortPath());
  ASSERT_TRUE(OpenPort());
  page = LoadSerialSettingsPage(Env());
  page.timeout_text = "500";
  page.baud_index = 7;
  ASSERT_TRUE(ApplySerialSettingsPage(Env(), page));
  EXPECT_TRUE(port.IsOpen());
  EXPECT_EQ(host->LineBaud(), 115200u);
  EXPECT_EQ(port.Timeouts().read_constant_ms, 700u);
}

TEST(LauncherLayout, ThirteenButtonsInTheirGroups) {
  const auto& tools = LauncherTools();
  ASSERT_EQ(tools.size(), 13u);
  int atmel = 0, dsp = 0, ppc = 0, none = 0;
  for (const auto& t : tools) {
    const std::string group = t.group;
    (group == kGroupAtmel ? atmel : group == kGroupDsp ? dsp : group == kGroupPowerPc ? ppc : none)++;
  }
  EXPECT_EQ(atmel, 8);
  EXPECT_EQ(dsp, 1);
  EXPECT_EQ(ppc, 1);
  EXPECT_EQ(none, 3);
  EXPECT_NE(LauncherTitle().find("Version 1.8.0"), std::string::npos);
  const auto choices = SerialPortChoices();
  ASSERT_GE(choices.size(), 8u);
  EXPECT_EQ(choices[0], "COM1");
  EXPECT_EQ(choices[7], "COM8");
}

TEST(ProgressWindowLogic, PercentLine) {
  const struct {
    int position;
    const char* status;
    const char* text;
  } cases[] = {{100, "", "100%"}, {0, "", "0%"},     {150, "", "50%"}, {42, "", "42%"},
               {40, "S", "S: 40% complete"}, {200, "", "0%"}, {-5, "", "-5%"}};
  for (const auto& c : cases) EXPECT_EQ(ProgressWindow::PercentText(c.position, 0, 100, c.status), c.text);
}

TEST(ProgressWindowLogic, CancelIsReportedOnceAndTheOwnerIsEnabledOnEveryPath) {
  ScriptedUserInterface ui;
  {
    auto window = ui.MakeProgressWindow(kCaptionErasingFlash, "");
    ASSERT_TRUE(window->Create());
    EXPECT_TRUE(window->OwnerDisabled());
    window->RequestCancel();
    window->RequestCancel();
    EXPECT_TRUE(window->CheckCancelButton());
    EXPECT_FALSE(window->CheckCancelButton());
    window->SetPos(40);
    window->SetPos(40);  // same text: not set again
    window->DestroyWindow();
    EXPECT_FALSE(window->OwnerDisabled());
  }
  ASSERT_EQ(ui.progress.size(), 1u);
  EXPECT_EQ(ui.progress[0].texts, std::vector<std::string>{"40%"});
  EXPECT_TRUE(ui.progress[0].destroyed);

  // A window that cannot be created gives the owner back at once.
  struct Failing : ProgressDisplay {
    bool enabled = true;
    bool OwnerEnabled() const override { return enabled; }
    void SetOwnerEnabled(bool e) override { enabled = e; }
    bool CreateWindow(const std::string&, bool, ProgressWindow&) override { return false; }
    void SetBar(int) override {}
    void SetText(const std::string&) override {}
    void PumpMessages() override {}
    void DestroyWindow() override {}
  };
  for (const bool enabled_before : {true, false}) {
    auto display = std::make_unique<Failing>();
    Failing* raw = display.get();
    raw->enabled = enabled_before;
    ProgressWindow failing(kCaptionConnecting, "", std::move(display));
    EXPECT_FALSE(failing.Create());
    // An owner that something else had disabled (an outer operation) stays so.
    EXPECT_EQ(raw->enabled, enabled_before);
    EXPECT_FALSE(failing.OwnerDisabled());
  }
  EXPECT_STREQ(ProgressCaptionText(kCaptionConnecting), "Connecting...");
}

TEST(DebugLogRing, KeepsTwoHundredLinesOfTwoHundredCharacters) {
  DebugLog log;
  EXPECT_EQ(log.Text(), "");
  SetActiveDebugLog(nullptr);
  EXPECT_EQ(DebugPrintf("nothing %d", 1), 0);
  SetActiveDebugLog(&log);
  EXPECT_EQ(DebugPrintf("line %d", 1), 6);
  // Until 200 lines exist the text starts with one empty line per unused slot.
  std::string expected;
  for (int i = 0; i < 199; ++i) expected += "\r\n";
  EXPECT_EQ(log.Text(), expected + "line 1");
  for (int i = 2; i <= 201; ++i) DebugPrintf("line %d", i);
  auto lines = log.Lines();
  ASSERT_EQ(lines.size(), 200u);
  EXPECT_EQ(lines.front(), "line 2");
  EXPECT_EQ(lines.back(), "line 201");
  const std::string long_line(250, 'x');
  EXPECT_EQ(DebugPrintf("%s", long_line.c_str()), 250);
  EXPECT_EQ(log.Lines().back(), std::string(200, 'x'));
  log.AppendStringEntry();
  log.AppendStringEntry();
  EXPECT_EQ(log.Lines().back(), "String Entry 1");
  const std::string text = log.Text();
  EXPECT_EQ(text.substr(text.size() - 14), "String Entry 1");
  EXPECT_EQ(text.substr(0, 8), "line 5\r\n");
  SetActiveDebugLog(nullptr);
}

TEST(ConsoleAnswers, FlagsTerminalAndSafeAnswers) {
  const struct {
    MessageButtons buttons;
    bool retry;
    bool yes;
    int retries;
    Answer first;
    Answer after;
  } cases[] = {
      {MessageButtons::YesNo, false, false, -1, Answer::No, Answer::No},
      {MessageButtons::YesNo, false, true, -1, Answer::Yes, Answer::Yes},
      {MessageButtons::OkCancel, false, true, -1, Answer::Ok, Answer::Ok},
      {MessageButtons::YesNoCancel, false, false, -1, Answer::Cancel, Answer::Cancel},
      {MessageButtons::RetryCancel, false, true, 1, Answer::Retry, Answer::Cancel},
      {MessageButtons::YesNo, true, true, 1, Answer::Yes, Answer::No},
      {MessageButtons::AbortRetryIgnore, false, false, 1, Answer::Retry, Answer::Abort},
      {MessageButtons::AbortRetryIgnore, false, true, 1, Answer::Retry, Answer::Ignore},
      {MessageButtons::AbortRetryIgnore, false, true, 0, Answer::Ignore, Answer::Ignore},
  };
  for (const auto& c : cases) {
    std::istringstream in;
    std::ostringstream out, err;
    ConsoleUserInterface ui(in, out, err, {c.yes, c.retries, false, false});
    const Message m{"Question?", MessageIcon::Question, c.buttons, c.retry};
    EXPECT_EQ(ui.ShowMessage(m), c.first);
    EXPECT_EQ(ui.ShowMessage(m), c.after);
    EXPECT_EQ(out.str().substr(0, 10), "Question?\n");
    EXPECT_NE(out.str().find(std::string("Answer: ") + AnswerName(c.first)), std::string::npos);
  }
  // Retries are counted per question: a second silent device gets its own.
  {
    std::istringstream in;
    std::ostringstream out, err;
    ConsoleUserInterface ui(in, out, err, {true, 1, false, false});
    const Message first{"Device described as A failed to respond.", MessageIcon::None, MessageButtons::AbortRetryIgnore};
    const Message second{"Device described as B failed to respond.", MessageIcon::None, MessageButtons::AbortRetryIgnore};
    EXPECT_EQ(ui.ShowMessage(first), Answer::Retry);
    EXPECT_EQ(ui.ShowMessage(first), Answer::Ignore);
    EXPECT_EQ(ui.ShowMessage(second), Answer::Retry);
    EXPECT_EQ(ui.ShowMessage(second), Answer::Ignore);
  }
  // On a terminal without flags the person is asked.
  std::istringstream in("maybe\ny\n");
  std::ostringstream out, err;
  ConsoleUserInterface ui(in, out, err, {false, -1, true, false});
  EXPECT_EQ(ui.ShowMessage({"Go on?", MessageIcon::Question, MessageButtons::YesNo}), Answer::Yes);
  EXPECT_EQ(ui.ShowMessage({"Done.", MessageIcon::Information, MessageButtons::Ok}), Answer::Ok);
  EXPECT_EQ(out.str(), "Go on?\n[Yes/No]? [Yes/No]? Done.\n");
}

TEST(FileFilters, MfcStyleFilterStringsSplitIntoPairs) {
  const auto filters = ParseFileFilter("Hex Files (*.hex)|*.hex|EEPROM (*.eep)|*.eep;*.EEP|All Files (*.*)|*.*||");
  ASSERT_EQ(filters.size(), 3u);
  EXPECT_EQ(filters[1].description, "EEPROM (*.eep)");
  EXPECT_EQ(filters[1].patterns, "*.eep;*.EEP");
  EXPECT_EQ(filters[2].patterns, "*.*");
}

}  // namespace
}  // namespace corvel::test
