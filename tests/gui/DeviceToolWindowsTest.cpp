// The device tools' windows, offscreen, over their controllers and the
// virtual master board.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include "core/base/SettingsKeys.h"
#include "gui/ToolWindows.h"
#include "gui/devicetools/DeviceToolWindows.h"
#include "sim/MasterBoardModel.h"
#include "support/TestSupport.h"

namespace corvel::gui {
namespace {

class DeviceToolWindowsTest : public test::SimTest {
 protected:
  void SetUp() override {
    auto board = std::make_unique<sim::MasterBoardModel>();
    board->serves_device_tools = true;
    StartDevice(std::move(board));
    ASSERT_TRUE(OpenPort());
  }
};

TEST_F(DeviceToolWindowsTest, AllThreeAreRegisteredForTheLauncher) {
  for (ToolId id : {ToolId::TestSerialPackets, ToolId::MeridelModemInit, ToolId::SendReceiveCalibration}) {
    EXPECT_NE(FindToolWindow(id), nullptr) << FindTool(id).button;
  }
}

TEST_F(DeviceToolWindowsTest, PacketWindowRewritesItsEditsAndShowsTheResponse) {
  PacketTestWindow window(Env());
  EXPECT_EQ(window.windowTitle(), kPacketWindowTitle);
  EXPECT_EQ(window.ReceiverEdit()->maxLength(), 4);
  EXPECT_TRUE(window.ResponseBox()->isReadOnly());
  window.ReceiverEdit()->setText("0");
  window.SenderEdit()->setText("1");
  window.TypeEdit()->setText("124");
  window.DataEdit()->setPlainText("0x10 0X20 ff");
  window.SendButton()->click();
  EXPECT_EQ(window.TypeEdit()->text(), "0x7C");
  EXPECT_EQ(window.DataEdit()->toPlainText(), "0x10 0x20 ");
  EXPECT_EQ(window.ResponseBox()->toPlainText(),
            "Packet Contents:\nReceiver Address: 0x01\nSender Address: 0x00\nPacket Type: 0x7C\nPacket Data: \n"
            "0x10 0x20 ");
  EXPECT_TRUE(ui.shown.empty());
}

TEST_F(DeviceToolWindowsTest, ModemWindowRetrievesOnOpeningAndStoresOnClosing) {
  store.PutText(keys::kMeridelLeasedLineInitString.name, "AT&L1");
  WithModel<sim::MasterBoardModel>([](sim::MasterBoardModel& m) {
    const std::string init = "ATZ";
    std::copy(init.begin(), init.end(), m.modem_settings.begin());
  });
  {
    ModemInitWindow window(Env());
    EXPECT_EQ(window.DialInitEdit()->text(), "ATZ");
    EXPECT_EQ(window.LeasedInitEdit()->text(), "AT&L1");
    EXPECT_EQ(window.DialCommandEdit()->maxLength(), 13);
    EXPECT_TRUE(window.ReportBox()->toPlainText().startsWith("Dial-up init:\nATZ\n"));
    window.DialCommandEdit()->setText("ATDT9");
    emit window.DialCommandEdit()->textEdited("ATDT9");
    window.SendButton()->click();
    EXPECT_TRUE(ui.Showed(kModemSentOk));
    window.reject();
  }
  EXPECT_EQ(store.GetText(keys::kMeridelDialUpCommandString.name, ""), "ATDT9");
  EXPECT_EQ(store.GetText(keys::kMeridelDialUpInitString.name, ""), "ATZ");
}

TEST_F(DeviceToolWindowsTest, CalibrationWindowFollowsTheEquipmentListAndRetrieves) {
  CalibrationWindow window(Env());
  EXPECT_EQ(window.windowTitle(), kCalWindowTitle);
  EXPECT_EQ(window.EquipmentBox()->count(), 8);
  EXPECT_EQ(window.PositionBox()->count(), 8);
  EXPECT_EQ(window.ScaleFactorBox()->toPlainText(), kCalNoData);
  for (const char* caption : {kCalLoadButton, kCalRetrieveButton, kCalSaveButton, kCalSaveTextButton, kCalSendButton,
                              kCalCloseButton}) {
    EXPECT_NE(window.Button(caption), nullptr) << caption;
  }
  window.PositionBox()->setCurrentIndex(3);
  window.EquipmentBox()->setCurrentIndex(kCalEquipmentK35);
  EXPECT_TRUE(window.RelayCheck()->isChecked());
  EXPECT_EQ(window.PositionBox()->currentIndex(), 0);
  window.PositionBox()->setCurrentIndex(1);
  EXPECT_EQ(window.Controller().SubAddress(), 0x0E);
  window.Button(kCalRetrieveButton)->click();
  // The sub-device 0x0E holds its own values: 14.25, 14.5, 14.75.
  EXPECT_TRUE(window.ScaleFactorBox()->toPlainText().startsWith("  PA Current    0: 14.250000\n")) <<
      window.ScaleFactorBox()->toPlainText().toStdString();
  window.EquipmentBox()->setCurrentIndex(4);
  EXPECT_FALSE(window.RelayCheck()->isChecked());
  EXPECT_TRUE(window.ThresholdBox()->toPlainText().startsWith("   0:     1400\n"));

  test::TempDir dir;
  ui.files = {dir.File("w.cal")};
  window.Button(kCalSaveButton)->click();
  EXPECT_EQ(test::ReadBytes(dir.File("w.cal")).size(), 4u + 2 * 2 + 3 * 4);
}

}  // namespace
}  // namespace corvel::gui
