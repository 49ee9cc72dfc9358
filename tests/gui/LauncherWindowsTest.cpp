// The launcher and the Settings sheet, offscreen, with a scripted person.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <optional>

#include "gui/DebugWindow.h"
#include "gui/LauncherDialog.h"
#include "gui/SettingsSheet.h"
#include "gui/ToolWindows.h"
#include "sim/ScriptedPeer.h"
#include "support/TestSupport.h"

namespace corvel::gui {
namespace {

// Takes a tool's registered window out for one test and puts it back.
class RegistrationScope {
 public:
  explicit RegistrationScope(ToolId id) : m_id(id) {
    if (const ToolWindowFactory* f = FindToolWindow(id)) m_saved = *f;
    UnregisterToolWindow(id);
  }
  ~RegistrationScope() {
    UnregisterToolWindow(m_id);
    if (m_saved) RegisterToolWindow(m_id, *m_saved);
  }

 private:
  ToolId m_id;
  std::optional<ToolWindowFactory> m_saved;
};

class LauncherWindow : public test::SimTest {
 protected:
  void SetUp() override { StartDevice(std::make_unique<sim::ScriptedPeer>()); }
};

TEST_F(LauncherWindow, ThirteenButtonsInTheirGroups) {
  LauncherDialog launcher(Env());
  EXPECT_TRUE(launcher.windowTitle().contains("Version 1.8.0"));
  EXPECT_TRUE(launcher.windowTitle().contains("Trelmark Limited"));
  EXPECT_EQ(launcher.findChildren<QPushButton*>().size(), 13);

  const struct {
    const char* group;
    std::vector<const char*> buttons;
  } groups[] = {
      {"Atmel Utilities",
       {"Upload Atmel Firmware", "Merge Hex Files", "Generate Checksum", "Send/Receive Calibration Data",
        "Read Device Chain EEPROM", "Test Serial Packets", "EEPROM File Utilities", "Meridel Modem Initialization"}},
      {"DSP Utilities", {"Upload DSP Firmware"}},
      {"PowerPC Utilities", {"Upload Pyrel Kernel"}},
  };
  const auto boxes = launcher.findChildren<QGroupBox*>();
  ASSERT_EQ(boxes.size(), 3);
  for (const auto& g : groups) {
    QGroupBox* box = nullptr;
    for (QGroupBox* b : boxes) {
      if (b->title() == g.group) box = b;
    }
    ASSERT_NE(box, nullptr) << g.group;
    QStringList found;
    for (QPushButton* button : box->findChildren<QPushButton*>()) found << button->text();
    QStringList expected;
    for (const char* text : g.buttons) expected << text;
    EXPECT_EQ(found, expected) << g.group;
  }
  for (const char* text : {"Settings", "About", "Exit"}) {
    bool outside = false;
    for (QPushButton* button : launcher.findChildren<QPushButton*>()) {
      if (button->text() == text) outside = qobject_cast<QGroupBox*>(button->parentWidget()) == nullptr;
    }
    EXPECT_TRUE(outside) << text;
  }
}

TEST_F(LauncherWindow, ButtonWorksOnlyWithARegisteredWindowAndOpensThePortFirst) {
  const struct {
    ToolId id;
    bool port_exists;
    bool runs;
    bool port_open_while_running;
  } cases[] = {
      {ToolId::MergeHexFiles, false, true, false},
      {ToolId::ReadDeviceChain, true, true, true},
      {ToolId::ReadDeviceChain, false, false, false},
      {ToolId::UploadPyrelKernel, true, true, true},
  };
  for (const auto& c : cases) {
    RegistrationScope scope(c.id);
    ui.shown.clear();
    app.com_port = c.port_exists ? host->PortPath() : "COM9";
    {
      LauncherDialog without(Env());
      EXPECT_FALSE(without.Button(c.id)->isEnabled()) << FindTool(c.id).button;
    }
    int runs = 0;
    bool open_while_running = false;
    QWidget* parent_seen = nullptr;
    RegisterToolWindow(c.id, [&](QWidget* parent, ToolEnv& env) {
      ++runs;
      parent_seen = parent;
      open_while_running = env.port.IsOpen();
    });
    LauncherDialog launcher(Env());
    QPushButton* button = launcher.Button(c.id);
    ASSERT_TRUE(button->isEnabled()) << FindTool(c.id).button;
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(runs, c.runs ? 1 : 0) << FindTool(c.id).button;
    EXPECT_EQ(open_while_running, c.port_open_while_running) << FindTool(c.id).button;
    if (c.runs) {
      EXPECT_EQ(parent_seen, &launcher);
    }
    EXPECT_FALSE(port.IsOpen()) << "the port is closed again when the tool ends";
    EXPECT_EQ(port.BaudRate(), 19200u);
    if (c.runs) {
      EXPECT_TRUE(ui.shown.empty());
    } else {
      ASSERT_EQ(ui.shown.size(), 1u);
      EXPECT_EQ(ui.shown[0].message.text, "Failed to open COM9!");
      EXPECT_EQ(ui.shown[0].message.icon, MessageIcon::Error);
    }
  }
}

TEST_F(LauncherWindow, DebugWindowOnlyWhenTheSettingIsOne) {
  for (int setting : {0, 1}) {
    app.use_debugging_window = setting;
    DebugLog* before = ActiveDebugLog();
    std::unique_ptr<DebugWindow> kept;
    {
      LauncherDialog launcher(Env());
      EXPECT_EQ(launcher.Debug() != nullptr, setting == 1);
      if (launcher.Debug()) {
        EXPECT_EQ(ActiveDebugLog(), &launcher.Debug()->Log());
        EXPECT_EQ(launcher.Debug()->windowTitle(), "Debugging Information");
      }
      kept = launcher.TakeDebugWindow();
    }
    // The window outlives the launcher until shut-down destroys it.
    if (kept) {
      EXPECT_EQ(ActiveDebugLog(), &kept->Log());
      kept.reset();
    }
    EXPECT_EQ(ActiveDebugLog(), before);
  }
}

TEST_F(LauncherWindow, SettingsSheetRefusesAnOutOfRangeTimeOutAndStaysOpen) {
  app.timeout_setting = 40000;  // shown as 0
  const std::string port_before = app.com_port;
  SettingsSheetDialog sheet(Env());
  sheet.show();
  EXPECT_EQ(sheet.windowTitle(), "Settings");
  ASSERT_EQ(sheet.Tabs()->count(), 1);
  EXPECT_EQ(sheet.Tabs()->tabText(0), "Serial Settings");
  EXPECT_TRUE(sheet.PortBox()->isEditable());
  ASSERT_GE(sheet.PortBox()->count(), 8);
  EXPECT_EQ(sheet.PortBox()->itemText(0), "COM1");
  EXPECT_EQ(sheet.PortBox()->itemText(7), "COM8");
  EXPECT_FALSE(sheet.BaudList()->isVisible());
  EXPECT_FALSE(sheet.BaudList()->isEnabled());
  EXPECT_EQ(sheet.BaudList()->currentText(), "19200");
  EXPECT_EQ(sheet.TimeoutEdit()->text(), "0");
  EXPECT_EQ(sheet.HighSpeedBox()->text(), "Attempt high speed programming");
  EXPECT_EQ(sheet.DebugWindowBox()->text(), "Use debugging dialog");
  EXPECT_FALSE(sheet.ApplyButton()->isEnabled());

  sheet.PortBox()->lineEdit()->clear();
  QTest::keyClicks(sheet.PortBox()->lineEdit(), "COM12");
  EXPECT_TRUE(sheet.ApplyButton()->isEnabled());

  // Only digits reach the field.
  sheet.TimeoutEdit()->clear();
  QTest::keyClicks(sheet.TimeoutEdit(), "3x0001");
  EXPECT_EQ(sheet.TimeoutEdit()->text(), "30001");
  QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
  EXPECT_TRUE(sheet.isVisible());
  ASSERT_EQ(ui.shown.size(), 1u);
  EXPECT_EQ(ui.shown[0].message.text, "Please enter an integer between 0 and 30000.");
  EXPECT_EQ(app.timeout_setting, 40000);
  EXPECT_EQ(app.com_port, port_before);

  sheet.TimeoutEdit()->setText("30000");
  QTest::mouseClick(sheet.HighSpeedBox(), Qt::LeftButton);
  QTest::mouseClick(sheet.OkButton(), Qt::LeftButton);
  EXPECT_FALSE(sheet.isVisible());
  EXPECT_EQ(sheet.result(), QDialog::Accepted);
  EXPECT_EQ(app.timeout_setting, 30000);
  EXPECT_EQ(app.com_port, "COM12");
  EXPECT_EQ(app.use_turbo_baud_rate, 1);
  EXPECT_EQ(ui.shown.size(), 1u);
}

TEST_F(LauncherWindow, SettingsApplyStoresAndDisablesItselfCancelStoresNothing) {
  {
    SettingsSheetDialog sheet(Env());
    sheet.show();
    sheet.PortBox()->setCurrentIndex(2);
    ASSERT_TRUE(sheet.ApplyButton()->isEnabled());
    QTest::mouseClick(sheet.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(app.com_port, "COM3");
    EXPECT_FALSE(sheet.ApplyButton()->isEnabled());
    EXPECT_TRUE(sheet.isVisible());
  }
  {
    SettingsSheetDialog sheet(Env());
    sheet.show();
    sheet.PortBox()->setEditText("COM7");
    QTest::mouseClick(sheet.DebugWindowBox(), Qt::LeftButton);
    QTest::mouseClick(sheet.CancelButton(), Qt::LeftButton);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_EQ(app.com_port, "COM3");
    EXPECT_EQ(app.use_debugging_window, 0);
  }
}

}  // namespace
}  // namespace corvel::gui
