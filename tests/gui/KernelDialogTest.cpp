// "Pyrel Kernel Uploader" offscreen against the virtual PowerPC loader: the
// window shows the controller's state and forwards clicks.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFocusEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/tool/kernel/KernelMessages.h"
#include "gui/ToolWindows.h"
#include "gui/kernel/KernelUploaderDialog.h"
#include "sim/VirtualPpc.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

namespace text = kernel::text;

class KernelDialogTest : public SimTest {
 protected:
  void SetUp() override {
    StartDevice(std::make_unique<sim::VirtualPpc>());
    port.SetBaudRate(SerialPort::kHighBaud);
    ASSERT_TRUE(OpenPort());
  }
  TempDir dir;
};

TEST_F(KernelDialogTest, EveryControlIsThereAndProgramFollowsTheTypedBoxes) {
  EXPECT_NE(gui::FindToolWindow(ToolId::UploadPyrelKernel), nullptr);
  const std::string path = dir.File("kernel.ldr");
  WriteBytes(path, {0x01, 0xFE, 0x02, 0xFF});
  app.last_ppc_kernel_address = 0x2000;

  gui::KernelUploaderDialog dialog(nullptr, Env());
  EXPECT_EQ(dialog.windowTitle(), text::kWindowTitle);
  for (const char* caption : {text::kConnectButton, text::kBrowseButton, text::kViewFileButton, text::kProgramButton,
                              text::kStartButton, text::kDoneButton}) {
    EXPECT_NE(dialog.Button(caption), nullptr) << caption;
  }
  dialog.show();
  dialog.OpenTool();
  EXPECT_TRUE(ui.shown.empty()) << ui.LastText();
  EXPECT_EQ(dialog.AddressBox()->text(), "0x00002000");
  EXPECT_FALSE(dialog.Button(text::kProgramButton)->isEnabled());
  EXPECT_FALSE(dialog.Button(text::kViewFileButton)->isEnabled());

  // A bad address typed and left: the box shows the address still in force.
  dialog.AddressBox()->setText("1000h");
  QFocusEvent tab_away(QEvent::FocusOut, Qt::TabFocusReason);
  QApplication::sendEvent(dialog.AddressBox(), &tab_away);
  EXPECT_EQ(ui.Texts(), std::vector<std::string>{text::kInvalidAddress});
  EXPECT_EQ(dialog.AddressBox()->text(), "0x00002000");

  ui.files = {path};
  QTest::mouseClick(dialog.Button(text::kBrowseButton), Qt::LeftButton);
  EXPECT_EQ(ui.LastText(), text::kVerifiedFile);
  EXPECT_TRUE(dialog.Button(text::kProgramButton)->isEnabled());
  EXPECT_TRUE(dialog.Button(text::kViewFileButton)->isEnabled());

  dialog.AddressBox()->setText("x3000");
  ui.shown.clear();
  QTest::mouseClick(dialog.Button(text::kProgramButton), Qt::LeftButton);
  EXPECT_TRUE(ui.shown.empty()) << ui.LastText();
  EXPECT_EQ(dialog.AddressBox()->text(), "0x00003000");
  EXPECT_EQ(host->WithModel<sim::VirtualPpc>([](sim::VirtualPpc& m) { return m.Memory(0x3000, 4); }),
            (std::vector<uint8_t>{0x01, 0xFE, 0x02, 0xFF}));
  EXPECT_EQ(app.last_ppc_kernel_file, path);
  EXPECT_EQ(app.last_ppc_kernel_address, 0x3000);

  QTest::mouseClick(dialog.Button(text::kDoneButton), Qt::LeftButton);
  EXPECT_TRUE(trace.Contains("Closing Power PC Kernel Uploader"));
}

}  // namespace
}  // namespace corvel::test
