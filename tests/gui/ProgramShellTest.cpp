// Start-up and shut-down of the program, offscreen: settings in, launcher,
// settings out, the virtual port never stored.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>

#include "gui/DebugWindow.h"
#include "gui/LauncherDialog.h"
#include "gui/ProgramShell.h"

namespace corvel::gui {
namespace {

// Presses Exit on the launcher as soon as it is up.
void PressExitWhenTheLauncherShows() {
  QTimer::singleShot(0, [] {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      auto* launcher = qobject_cast<LauncherDialog*>(w);
      if (launcher && launcher->isVisible()) launcher->Button(ToolId::Exit)->click();
    }
  });
}

TEST(ProgramStartAndEnd, SimulatedRunKeepsTheStoredPortAndTheDebugWindowLastsToTheEnd) {
  const struct {
    const char* typed_in_settings;  // "" when the port was left alone
    const char* saved_port;
  } cases[] = {{"", "COM4"}, {"COM12", "COM12"}};
  for (const auto& c : cases) {
    MemorySettings store;
    store.PutText("Com Port", "COM4");
    store.PutInt("Timeout Setting", 500);
    store.PutInt("Use Debugging Window", 1);
    DebugLog* before = ActiveDebugLog();
    {
      ProgramShell shell(store, "/opt/corvel/");
      ToolEnv& env = shell.Env();
      EXPECT_EQ(env.port.BaudRate(), 19200u);
      EXPECT_EQ(env.port.PortName(), "COM4");
      EXPECT_EQ(env.program_folder, "/opt/corvel/");
      EXPECT_EQ(CurrentEnv(), &env);

      std::string error;
      ASSERT_TRUE(shell.Simulate("echo", &error)) << error;
      EXPECT_EQ(env.app.com_port, shell.SimulatedPort());
      // "Timeout Setting" reaches every read time-out, also after a change.
      ASSERT_TRUE(env.port.Open());
      EXPECT_EQ(env.port.Timeouts().read_constant_ms, 700u);
      env.app.timeout_setting = 1000;
      env.port.ApplyDefaultTimeouts();
      EXPECT_EQ(env.port.Timeouts().read_constant_ms, 1200u);
      env.port.Close();

      PressExitWhenTheLauncherShows();
      shell.RunLauncher();
      ASSERT_NE(shell.Debug(), nullptr) << "the debug window outlives the launcher";
      EXPECT_EQ(ActiveDebugLog(), &shell.Debug()->Log());

      if (*c.typed_in_settings) env.app.com_port = c.typed_in_settings;
      ASSERT_TRUE(shell.ShutDown());
      EXPECT_EQ(shell.Debug(), nullptr);
      EXPECT_EQ(ActiveDebugLog(), before);
      EXPECT_FALSE(env.port.IsOpen());
    }
    EXPECT_EQ(CurrentEnv(), nullptr);
    EXPECT_EQ(store.GetText("Com Port", ""), c.saved_port);
    EXPECT_EQ(store.GetInt("Timeout Setting", -1), 1000);
    EXPECT_EQ(store.GetInt("Keep EEPROM", -1), 1) << "every value of the table is written back";
  }
}

TEST(ProgramStartAndEnd, UnknownVirtualDeviceIsRefusedByName) {
  MemorySettings store;
  ProgramShell shell(store, "./");
  std::string error;
  EXPECT_FALSE(shell.Simulate("no-such-device", &error));
  EXPECT_NE(error.find("no-such-device"), std::string::npos);
  EXPECT_EQ(shell.Env().port.PortName(), "COM1");
  EXPECT_TRUE(shell.SimulatedPort().empty());
}

}  // namespace
}  // namespace corvel::gui
