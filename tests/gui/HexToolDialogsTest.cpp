// The Checksum Generator and Merge Hex Files windows, offscreen, with a
// scripted person: what they show and what their buttons do.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include "core/base/SettingsKeys.h"
#include "core/format/hex/FlashLayout.h"
#include "core/format/hex/IntelHex.h"
#include "gui/LauncherDialog.h"
#include "gui/ToolWindows.h"
#include "gui/hex/HexToolDialogs.h"
#include "support/TestSupport.h"

namespace corvel::gui {
namespace {

class HexToolWindow : public ::testing::Test {
 protected:
  ToolEnv& Env() {
    if (!env) env = std::make_unique<ToolEnv>(ToolEnv{ui, port, app, store, "./"});
    return *env;
  }
  std::string WriteImage(const std::string& name, const std::vector<uint8_t>& image) {
    test::WriteText(dir.File(name), FormatIntelHex(image.data(), static_cast<uint32_t>(image.size())));
    return dir.File(name);
  }
  static bool HasLabel(const QWidget& w, const char* text) {
    for (const QLabel* label : w.findChildren<QLabel*>()) {
      if (label->text() == text) return true;
    }
    return false;
  }

  test::ScriptedUserInterface ui;
  SerialPort port;
  MemorySettings store;
  AppSettings app;
  test::TraceCapture trace;
  test::TempDir dir;
  std::unique_ptr<ToolEnv> env;
};

TEST_F(HexToolWindow, ChecksumGeneratorControlsAndState) {
  keys::kLastChksumFile.Put(store, "/old/fw.hex");
  keys::kMergeBlChecked.Put(store, 0);
  {
    ChecksumGeneratorDialog dialog(Env());
    EXPECT_EQ(dialog.windowTitle(), "Checksum Generator");
    EXPECT_TRUE(HasLabel(dialog, "Please select a flash file to use:"));
    EXPECT_TRUE(HasLabel(dialog, "Generated Checksum:"));
    EXPECT_EQ(dialog.MergeCheck()->text(), "Merge in the bootloader section from the following file:");
    EXPECT_EQ(dialog.GenerateButton()->text(), "Generate!");
    EXPECT_EQ(dialog.ApplyButton()->text(), "Apply to File");
    EXPECT_EQ(dialog.CloseButton()->text(), "Close");
    EXPECT_EQ(dialog.FlashBrowse()->text(), "Browse");
    EXPECT_TRUE(dialog.ChecksumEdit()->isReadOnly());
    EXPECT_EQ(dialog.FlashEdit()->text(), "/old/fw.hex");
    EXPECT_TRUE(trace.Contains("Checksum Generator"));

    // The check box enables the boot loader path and its Browse button.
    EXPECT_FALSE(dialog.BootLoaderEdit()->isEnabled());
    EXPECT_FALSE(dialog.BootLoaderBrowse()->isEnabled());
    dialog.MergeCheck()->setChecked(true);
    EXPECT_TRUE(dialog.BootLoaderEdit()->isEnabled());
    EXPECT_TRUE(dialog.BootLoaderBrowse()->isEnabled());

    // Browse puts the chosen file into the edit.
    ui.files.push_back(dir.File("bl.hex"));
    QTest::mouseClick(dialog.BootLoaderBrowse(), Qt::LeftButton);
    EXPECT_EQ(dialog.BootLoaderEdit()->text().toStdString(), dir.File("bl.hex"));

    // Generate! shows the checksum of what the edit names.
    std::vector<uint8_t> image(kFlashImageSize, 0xFF);
    image[0] = 0x00;
    dialog.FlashEdit()->setText(QString::fromStdString(WriteImage("fw.hex", image)));
    QTest::mouseClick(dialog.GenerateButton(), Qt::LeftButton);
    EXPECT_EQ(dialog.ChecksumEdit()->text(), "0x01DD2001");
    EXPECT_TRUE(ui.shown.empty());

    // Apply refuses an upper-case extension with the controller's message.
    dialog.FlashEdit()->setText("FW.HEX");
    QTest::mouseClick(dialog.ApplyButton(), Qt::LeftButton);
    EXPECT_EQ(ui.LastText(), "This file type is not recognized");
  }
  // Closing stores what the window showed.
  EXPECT_EQ(keys::kLastChksumFile.Get(store), "FW.HEX");
  EXPECT_EQ(keys::kMergeBlChecked.Get(store), 1);
  EXPECT_EQ(keys::kLastBlFile.Get(store), dir.File("bl.hex"));
}

TEST_F(HexToolWindow, MergeWindowMergesWhatTheEditsName) {
  app.last_merge_file1 = "/m/one.hex";
  MergeHexFilesDialog dialog(Env());
  EXPECT_EQ(dialog.windowTitle(), "Select Hex Files to Merge");
  EXPECT_TRUE(HasLabel(dialog, "Please select the first hex file:"));
  EXPECT_TRUE(HasLabel(dialog, "Please select the second hex file:"));
  EXPECT_EQ(dialog.MergeButton()->text(), "Merge");
  EXPECT_EQ(dialog.FirstEdit()->text(), "/m/one.hex");
  EXPECT_TRUE(trace.Contains("Merge Hex Files"));

  std::vector<uint8_t> first(kFlashImageSize, 0xFF), second(kFlashImageSize, 0xFF);
  first[0x100] = 0x42;
  second[0x100] = 0x42;
  second[0x200] = 0x43;
  dialog.FirstEdit()->setText(QString::fromStdString(WriteImage("a.hex", first)));
  ui.files.push_back(WriteImage("b.hex", second));
  QTest::mouseClick(dialog.SecondBrowse(), Qt::LeftButton);
  EXPECT_EQ(dialog.SecondEdit()->text().toStdString(), dir.File("b.hex"));
  ui.files.push_back(dir.File("merged.hex"));
  QTest::mouseClick(dialog.MergeButton(), Qt::LeftButton);
  EXPECT_TRUE(ui.shown.empty());
  std::vector<uint8_t> merged(kFlashImageSize);
  ASSERT_TRUE(LoadIntelHex(dir.File("merged.hex"), merged.data(), kFlashImageSize));
  EXPECT_EQ(merged[0x100], 0x42);
  EXPECT_EQ(merged[0x200], 0x43);
  EXPECT_EQ(app.last_merge_file1, dir.File("a.hex"));
  EXPECT_EQ(app.last_merge_file2, dir.File("b.hex"));
}

TEST_F(HexToolWindow, LauncherButtonsAreEnabled) {
  LauncherDialog launcher(Env());
  for (ToolId id : {ToolId::GenerateChecksum, ToolId::MergeHexFiles}) {
    ASSERT_NE(FindToolWindow(id), nullptr);
    EXPECT_TRUE(launcher.Button(id)->isEnabled()) << FindTool(id).button;
  }
}

}  // namespace
}  // namespace corvel::gui
