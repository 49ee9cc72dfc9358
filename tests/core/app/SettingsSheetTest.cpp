// The Settings sheet's behaviour between opening and closing, and the
// launcher's button and debug-window decisions.
#include <gtest/gtest.h>

#include "core/tool/app/ToolLauncher.h"
#include "support/TestSupport.h"

namespace corvel {
namespace {

using test::ScriptedUserInterface;

struct SheetFixture {
  ScriptedUserInterface ui;
  MemorySettings store;
  AppSettings app;
  SerialPort port;
  ToolEnv env{ui, port, app, store, "./"};
};

TEST(SettingsSheet, OnlyThePortBoxAndTheListsEnableApply) {
  const struct {
    const char* edit;
    bool enables_apply;
  } cases[] = {{"port", true}, {"baud", true}, {"timeout", false}, {"high", false}, {"debug", false}};
  for (const auto& c : cases) {
    SheetFixture f;
    SerialSettingsSheet sheet(f.env);
    EXPECT_FALSE(sheet.ApplyEnabled()) << "a freshly opened sheet has nothing to apply";
    const std::string edit = c.edit;
    if (edit == "port") sheet.SetPortName("COM3");
    if (edit == "baud") sheet.SetBaudIndex(0);
    if (edit == "timeout") sheet.SetTimeoutText("10");
    if (edit == "high") sheet.SetHighSpeed(true);
    if (edit == "debug") sheet.SetDebugWindow(true);
    EXPECT_EQ(sheet.ApplyEnabled(), c.enables_apply) << edit;
    ASSERT_TRUE(sheet.Apply()) << edit;
    EXPECT_FALSE(sheet.ApplyEnabled()) << edit << ": applying clears the mark";
  }
}

TEST(SettingsSheet, RefusedTimeOutTellsThePersonAndChangesNothing) {
  const struct {
    const char* text;
    bool accepted;
    const char* message;
  } cases[] = {
      {"30000", true, ""},
      {"0", true, ""},
      {"30001", false, "Please enter an integer between 0 and 30000."},
      {"99999", false, "Please enter an integer between 0 and 30000."},
      {"", false, "Please enter an integer."},
      {"99999999999", false, "Please enter an integer."},
  };
  for (const auto& c : cases) {
    SheetFixture f;
    f.app.timeout_setting = 77;
    SerialSettingsSheet sheet(f.env);
    sheet.SetPortName("COM12");
    sheet.SetHighSpeed(true);
    sheet.SetTimeoutText(c.text);
    EXPECT_EQ(sheet.Apply(), c.accepted) << c.text;
    if (c.accepted) {
      EXPECT_TRUE(f.ui.shown.empty());
      EXPECT_EQ(f.app.timeout_setting, std::stoi(c.text));
      EXPECT_EQ(f.app.com_port, "COM12") << "the typed name is stored as it is";
      EXPECT_EQ(f.app.use_turbo_baud_rate, 1);
    } else {
      ASSERT_EQ(f.ui.shown.size(), 1u) << c.text;
      EXPECT_EQ(f.ui.shown[0].message.text, c.message);
      EXPECT_EQ(f.ui.shown[0].message.icon, MessageIcon::Exclamation);
      EXPECT_EQ(f.app.timeout_setting, 77) << c.text;
      EXPECT_EQ(f.app.com_port, "COM1") << c.text;
      EXPECT_TRUE(sheet.ApplyEnabled()) << "the edits stay for the next try";
    }
  }
}

TEST(LauncherDecisions, ButtonsAndDebugWindow) {
  for (const auto& tool : LauncherTools()) {
    const bool always = tool.id == ToolId::Settings || tool.id == ToolId::About || tool.id == ToolId::Exit;
    EXPECT_TRUE(LauncherButtonEnabled(tool.id, true)) << tool.button;
    EXPECT_EQ(LauncherButtonEnabled(tool.id, false), always) << tool.button;
  }
  const struct {
    int setting;
    bool wanted;
  } cases[] = {{0, false}, {1, true}, {2, false}, {-1, false}};
  for (const auto& c : cases) {
    AppSettings app;
    app.use_debugging_window = c.setting;
    EXPECT_EQ(WantsDebugWindow(app), c.wanted) << c.setting;
  }
}

}  // namespace
}  // namespace corvel
