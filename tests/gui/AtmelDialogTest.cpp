// "Upload New Firmware" offscreen against the virtual AVR: the dialog shows
// the controller's state and forwards clicks.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/tool/atmel/AtmelMessages.h"
#include "core/format/hex/IntelHex.h"
#include "gui/ToolWindows.h"
#include "gui/atmel/UploadFirmwareDialog.h"
#include "sim/VirtualAvr.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

class AtmelDialogTest : public SimTest {
 protected:
  void SetUp() override {
    StartDevice(std::make_unique<sim::VirtualAvr>(sim::VirtualAvr::Mode::Application));
    ASSERT_TRUE(OpenPort());
    app.use_turbo_baud_rate = 1;
    app.keep_eeprom = 1;
  }
  TempDir dir;
};

TEST_F(AtmelDialogTest, TheLauncherOffersTheTool) {
  EXPECT_NE(gui::FindToolWindow(ToolId::UploadAtmelFirmware), nullptr);
}

TEST_F(AtmelDialogTest, EveryControlOfTheDialogIsThere) {
  gui::UploadFirmwareDialog dialog(nullptr, Env());
  EXPECT_EQ(dialog.windowTitle(), "Upload New Firmware");
  for (const char* caption : {"Connect to Atmel", "Browse", "View File", "Read Flash", "Read EEPROM",
                              "Program New Firmware", "Start Application", "Get Versions", "Done"}) {
    EXPECT_NE(dialog.Button(caption), nullptr) << caption;
  }
  EXPECT_NE(dialog.Button("Browse", 1), nullptr);
  EXPECT_NE(dialog.Button("View File", 1), nullptr);
  for (const char* caption : {"Connect using power off sequence", "Insert proper flash checksum",
                              "Erase all flash before programming", "Keep my current EEPROM file",
                              "Perform full verification after programming"}) {
    EXPECT_NE(dialog.CheckBox(caption), nullptr) << caption;
  }
  EXPECT_TRUE(dialog.ApplicationVersion()->isReadOnly());
  EXPECT_TRUE(dialog.CheckBox("Insert proper flash checksum")->isChecked());
  EXPECT_FALSE(dialog.CheckBox("Connect using power off sequence")->isChecked());
}

TEST_F(AtmelDialogTest, OpeningConnectsAndAProgramClickUsesTheTypedControls) {
  std::vector<uint8_t> flash(kFlashImageSize, 0xFF);
  const std::string description = "Trelmark AVR";
  std::copy(description.begin(), description.end(), flash.begin() + kFlashDescriptionOffset);
  flash[kFlashDescriptionOffset + description.size()] = 0;
  flash[0x10] = 0x42;
  const std::string path = dir.File("typed.hex");
  ASSERT_TRUE(SaveIntelHex(path, flash.data(), kFlashImageSize));

  gui::UploadFirmwareDialog dialog(nullptr, Env());
  dialog.show();
  dialog.OpenTool();
  EXPECT_EQ(dialog.BootLoaderVersion()->text(), "1 2 3 4");
  EXPECT_EQ(dialog.ApplicationVersion()->text(), "2 0 1 7");
  EXPECT_EQ(dialog.Description()->text(), "Trelmark AVR");
  EXPECT_FALSE(dialog.EepromPath()->isEnabled());
  EXPECT_FALSE(dialog.Button("View File")->isEnabled());

  dialog.FlashPath()->setText(QString::fromStdString(path));
  dialog.CheckBox("Perform full verification after programming")->setChecked(false);
  ui.shown.clear();
  QTest::mouseClick(dialog.Button("Program New Firmware"), Qt::LeftButton);
  EXPECT_EQ(ui.Texts(),
            (std::vector<std::string>{atmel::text::kVerifiedFlashFile, atmel::text::kProgrammingSuccessful}));
  EXPECT_TRUE(dialog.Button("View File")->isEnabled());
  EXPECT_EQ(host->WithModel<sim::VirtualAvr>([](sim::VirtualAvr& m) { return m.flash[0x10]; }), 0x42);
  EXPECT_FALSE(dialog.Controller().m_verify_after_programming);

  dialog.CheckBox("Keep my current EEPROM file")->click();
  EXPECT_TRUE(dialog.EepromPath()->isEnabled());

  QTest::mouseClick(dialog.Button("Done"), Qt::LeftButton);
  EXPECT_EQ(app.last_fw_file, path);
  EXPECT_EQ(app.keep_eeprom, 0);
  EXPECT_EQ(store.GetInt("m_verify_after_programming_FirmwareUploader", 1), 0);
  EXPECT_FALSE(port.IsOpen());
}

}  // namespace
}  // namespace corvel::test
