#pragma once
// What the system knows about each serial adapter, so an engineer with six
// of them picks the right one: the stable /dev/serial/by-id name and the USB
// vendor, product and serial number. Read from sysfs and /dev under a root
// folder ("/" on a real system; a made-up tree in tests).
#include <string>
#include <vector>

namespace corvel {

struct PortDetails {
  std::string device;        // "/dev/ttyUSB0"
  std::string by_id;         // "/dev/serial/by-id/usb-FTDI_..."; "" when there is none
  std::string vendor_id;     // "0403"; "" when not a USB adapter
  std::string product_id;    // "6001"
  std::string manufacturer;  // "FTDI"
  std::string product;       // "FT232R USB UART"
  std::string serial;        // "A10K3XYZ"
};

// Every USB serial port (ttyUSB*, ttyACM*) the tree under root shows, by name.
std::vector<PortDetails> ListPortDetails(const std::string& root = "/");

// "/dev/serial/by-id/usb-FTDI_...  USB 0403:6001 FTDI FT232R USB UART, serial A10K3XYZ"
// without the device name; "" when nothing is known.
std::string PortDetailsText(const PortDetails& details);

}  // namespace corvel
