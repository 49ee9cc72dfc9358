// The port list's details, read from a made-up sysfs and /dev tree laid out
// as Linux lays out an FTDI adapter (ttyUSB), a CDC modem (ttyACM) and an
// adapter the system knows nothing about.
#include <filesystem>

#include "core/transport/PortList.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

namespace fs = std::filesystem;

void Attributes(const fs::path& folder, const std::string& vendor, const std::string& product_id,
                const std::string& manufacturer, const std::string& product, const std::string& serial) {
  fs::create_directories(folder);
  WriteText((folder / "idVendor").string(), vendor + "\n");
  WriteText((folder / "idProduct").string(), product_id + "\n");
  WriteText((folder / "manufacturer").string(), manufacturer + "\n");
  WriteText((folder / "product").string(), product + "\n");
  if (!serial.empty()) WriteText((folder / "serial").string(), serial + "\n");
}

TEST(PortList, ByIdNamesAndUsbDetailsComeFromTheTree) {
  TempDir dir;
  const fs::path root = dir.Path();
  const fs::path usb = root / "sys/devices/pci0000:00/0000:00:14.0/usb1";
  // ttyUSB0: interface folder 1-1:1.0 holds ttyUSB0; the device 1-1 the attributes.
  Attributes(usb / "1-1", "0403", "6001", "FTDI", "FT232R USB UART", "A10K3XYZ");
  fs::create_directories(usb / "1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0");
  // ttyACM0: the tty's device link names the interface itself.
  Attributes(usb / "1-2", "2341", "0043", "Arduino", "Uno", "");
  fs::create_directories(usb / "1-2/1-2:1.0/tty/ttyACM0");
  fs::create_directories(root / "sys/class/tty/ttyUSB0");
  fs::create_directories(root / "sys/class/tty/ttyACM0");
  fs::create_directories(root / "sys/class/tty/ttyUSB1");  // no device link at all
  fs::create_directories(root / "sys/class/tty/ttyS0");    // not a USB port
  fs::create_directory_symlink(usb / "1-1/1-1:1.0/ttyUSB0", root / "sys/class/tty/ttyUSB0/device");
  fs::create_directory_symlink(usb / "1-2/1-2:1.0", root / "sys/class/tty/ttyACM0/device");
  fs::create_directories(root / "dev/serial/by-id");
  fs::create_symlink("../../ttyUSB0", root / "dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0");
  fs::create_symlink("../../ttyACM0", root / "dev/serial/by-id/usb-Arduino_Uno-if00");

  const auto ports = ListPortDetails(dir.Path());
  ASSERT_EQ(ports.size(), 3u);
  const struct {
    const char* device;
    const char* text;
  } expected[] = {
      {"/dev/ttyACM0", "/dev/serial/by-id/usb-Arduino_Uno-if00  USB 2341:0043 Arduino Uno"},
      {"/dev/ttyUSB0",
       "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A10K3XYZ-if00-port0  USB 0403:6001 FTDI FT232R USB UART, serial "
       "A10K3XYZ"},
      {"/dev/ttyUSB1", ""},
  };
  for (std::size_t i = 0; i < ports.size(); ++i) {
    EXPECT_EQ(ports[i].device, expected[i].device);
    EXPECT_EQ(PortDetailsText(ports[i]), expected[i].text) << ports[i].device;
  }
  EXPECT_EQ(ports[1].serial, "A10K3XYZ");
  EXPECT_EQ(ports[0].serial, "");
}

TEST(PortList, AMissingTreeListsNothing) {
  TempDir dir;
  EXPECT_TRUE(ListPortDetails(dir.File("nothing-here")).empty());
}

}  // namespace
}  // namespace corvel::test
