// The "Read Device Chain EEPROM Files" window, offscreen, over its controller.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "gui/ToolWindows.h"
#include "gui/chain/ReadDeviceChainWindow.h"
#include "sim/MasterBoardModel.h"
#include "support/TestSupport.h"

namespace corvel::gui {
namespace {

class ReadDeviceChainWindowTest : public test::SimTest {
 protected:
  void SetUp() override {
    StartDevice(std::make_unique<sim::MasterBoardModel>());
    app.last_eep_file_prefix = "TX1";
    app.last_eep_file_output_dir = "/srv/eep";
  }
};

TEST_F(ReadDeviceChainWindowTest, RegisteredAndOpensFromTheStoredFields) {
  EXPECT_NE(FindToolWindow(ToolId::ReadDeviceChain), nullptr);
  ReadDeviceChainWindow window(Env());
  EXPECT_EQ(window.windowTitle(), "Read Device Chain EEPROM Files");
  EXPECT_EQ(window.EquipmentBox()->count(), 7);
  EXPECT_EQ(window.EquipmentBox()->currentText(), "Solvane Series FM Transmitter");
  EXPECT_EQ(window.PrefixEdit()->text(), "TX1");
  EXPECT_EQ(window.OutputDirEdit()->text(), "/srv/eep");
  EXPECT_EQ(window.PreviewEdit()->text(), "TX1_QXCT_207.eep");
  EXPECT_TRUE(window.PreviewEdit()->isReadOnly());
  EXPECT_TRUE(window.PositionButton(0)->isChecked());
}

// Opened from the launcher, the window blocks only the launcher: the
// "Debugging Information" window must stay usable during a chain read.
TEST_F(ReadDeviceChainWindowTest, LauncherOpensTheWindowModalToItsParentOnly) {
  QWidget launcher;
  launcher.show();
  Qt::WindowModality modality = Qt::NonModal;
  QWidget* parent_seen = nullptr;
  QTimer::singleShot(0, [&] {
    auto* shown = launcher.findChild<ReadDeviceChainWindow*>();
    if (shown == nullptr) return;
    modality = shown->windowModality();
    parent_seen = shown->parentWidget();
    shown->reject();
  });
  const ToolWindowFactory* open = FindToolWindow(ToolId::ReadDeviceChain);
  ASSERT_NE(open, nullptr);
  (*open)(&launcher, Env());
  EXPECT_EQ(modality, Qt::WindowModal);
  EXPECT_EQ(parent_seen, &launcher);
}

TEST_F(ReadDeviceChainWindowTest, EditsAndPositionUpdateThePreviewAndCloseStoresThem) {
  test::TempDir dir;
  test::WriteText(dir.File("serials.txt"), "SN-7\n");
  ReadDeviceChainWindow window(Env());
  window.show();
  QTest::keyClicks(window.SuffixEdit(), "v2");
  EXPECT_EQ(window.PreviewEdit()->text(), "TX1_QXCT_207_v2.eep");
  ui.files.push_back(dir.File("serials.txt"));
  QTest::mouseClick(window.SerialBrowseButton(), Qt::LeftButton);
  EXPECT_EQ(window.SerialFileEdit()->text(), QString::fromStdString(dir.File("serials.txt")));
  QTest::mouseClick(window.PositionButton(2), Qt::LeftButton);
  EXPECT_EQ(window.PreviewEdit()->text(), "TX1_QXCT_207_v2_SN-7.eep");
  ui.folders.push_back(dir.Path());
  QTest::mouseClick(window.OutputBrowseButton(), Qt::LeftButton);
  EXPECT_EQ(window.OutputDirEdit()->text(), QString::fromStdString(dir.Path()));

  window.reject();
  EXPECT_EQ(app.last_eep_file_suffix, "v2");
  EXPECT_EQ(app.serial_number_position, 2);
  EXPECT_EQ(app.last_serial_number_file, dir.File("serials.txt"));
  EXPECT_EQ(app.last_eep_file_output_dir, dir.Path());
}

TEST_F(ReadDeviceChainWindowTest, GetFilesRunsTheControllerForTheChosenEquipment) {
  ASSERT_TRUE(OpenPort());
  ReadDeviceChainWindow window(Env());
  window.show();
  window.EquipmentBox()->setCurrentIndex(2);  // K35 FM Exciter: no chain
  EXPECT_EQ(window.Controller().Equipment(), 2);
  QTest::mouseClick(window.GetFilesButton(), Qt::LeftButton);
  EXPECT_EQ(ui.Texts(), std::vector<std::string>({"Completed reading EEPROM files for all devices present"}));
  EXPECT_TRUE(ui.progress.empty());
}

}  // namespace
}  // namespace corvel::gui
