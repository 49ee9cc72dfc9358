// "Upload DSP Firmware" offscreen against the virtual DSP loader.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "gui/ToolWindows.h"
#include "gui/dsp/UploadDspDialog.h"
#include "sim/VirtualDsp.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

class DspDialogTest : public SimTest {
 protected:
  void SetUp() override {
    auto model = std::make_unique<sim::VirtualDsp>();
    model->map.sections.resize(3);
    StartDevice(std::move(model));
    ASSERT_TRUE(OpenPort());
  }
};

TEST_F(DspDialogTest, TheLauncherOffersTheTool) {
  EXPECT_NE(gui::FindToolWindow(ToolId::UploadDspFirmware), nullptr);
}

TEST_F(DspDialogTest, RowsFollowTheMapAndClicksReachTheController) {
  gui::UploadDspDialog dialog(nullptr, Env());
  // Before a map: the laid-out captions.
  EXPECT_EQ(dialog.windowTitle(), "Upload DSP Firmware (Unknown)");
  EXPECT_EQ(dialog.Row(0).read->text(), "Read Flash");
  EXPECT_EQ(dialog.Row(3).program->text(), "Program FPGA Configuration");
  EXPECT_EQ(dialog.ConnectButton()->text(), "Connect");
  EXPECT_EQ(dialog.CloseButton()->text(), "Close");
  EXPECT_FALSE(dialog.ProgramButton()->isEnabled());

  dialog.OpenTool();
  EXPECT_EQ(dialog.windowTitle(), "Upload DSP Firmware (QXBD51)");
  EXPECT_EQ(dialog.Row(1).label->text(), "Please select a LUT File:");
  EXPECT_EQ(dialog.Row(1).read->text(), "Read LUT");
  EXPECT_EQ(dialog.Row(2).program->text(), "Program Calibration");
  EXPECT_FALSE(dialog.Row(3).path->isVisibleTo(&dialog));
  EXPECT_FALSE(dialog.Row(4).read->isVisibleTo(&dialog));
  EXPECT_TRUE(dialog.Row(0).path->isVisibleTo(&dialog));
  EXPECT_FALSE(dialog.Row(0).view->isEnabled());  // nothing loaded
  // Row 0's box is checked by default, so programming can be pressed.
  EXPECT_TRUE(dialog.Row(0).program->isChecked());
  EXPECT_TRUE(dialog.ProgramButton()->isEnabled());
  QTest::mouseClick(dialog.Row(0).program, Qt::LeftButton);
  EXPECT_FALSE(dialog.Controller().GetRow(0).program);
  EXPECT_FALSE(dialog.ProgramButton()->isEnabled());

  // A typed path reaches the controller with the click.
  dialog.Row(1).path->setText("/typed/lut.lut");
  QTest::mouseClick(dialog.Row(1).program, Qt::LeftButton);
  EXPECT_EQ(dialog.Controller().GetRow(1).path, "/typed/lut.lut");
  EXPECT_TRUE(dialog.ProgramButton()->isEnabled());

  QTest::mouseClick(dialog.StartButton(), Qt::LeftButton);
  EXPECT_EQ(ui.LastText(), "The DSP should now be running.");
  QTest::mouseClick(dialog.CloseButton(), Qt::LeftButton);
  EXPECT_EQ(store.GetText("QXBD51DSPLoaderDlg_lastFile1", ""), "/typed/lut.lut");
}

}  // namespace
}  // namespace corvel::test
