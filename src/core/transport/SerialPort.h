#pragma once
// The one serial port to the equipment. 8 data bits, no parity, one stop bit,
// raw binary, no flow control, DTR and RTS asserted while open. Every exchange
// is synchronous on the caller's thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvel {

// Read time-outs in the form every protocol layer relies on.
struct SerialTimeouts {
  uint32_t read_interval_ms = 100;     // longest gap between bytes; 0 = no gap limit
  uint32_t read_per_byte_ms = 1;       // times the requested count
  uint32_t read_constant_ms = 200;
};

// The platform's device: POSIX termios here, Win32 beside it.
class SerialDevice {
 public:
  virtual ~SerialDevice() = default;
  virtual bool Configure(uint32_t baud) = 0;
  virtual void SetTimeouts(const SerialTimeouts& timeouts) = 0;
  virtual bool Read(uint8_t* buffer, uint32_t count, uint32_t& received) = 0;
  virtual bool Write(const uint8_t* buffer, uint32_t count, uint32_t& written) = 0;
  virtual bool Purge() = 0;
  virtual bool Close() = 0;
};

// Why a port would not open, as the system reported it.
enum class PortOpenError {
  None,
  Missing,         // no such device
  InUse,           // another program holds it
  NoPermission,    // this user may not open it
  NotASerialPort,  // it opened, but is no serial line
  Other,
};
// The reason in words for a person ("in use by another program"); "" for None.
const char* PortOpenErrorText(PortOpenError error);

// Opens the named device exclusively; nullptr (and a trace line) on failure,
// with the reason in *why when given.
std::unique_ptr<SerialDevice> OpenSerialDevice(const std::string& port_name, PortOpenError* why = nullptr);
// The device path a port name stands for ("COM3" -> "/dev/ttyS2").
std::string SerialDevicePath(const std::string& port_name);
// The serial ports this machine has, as names Open takes.
std::vector<std::string> SystemSerialPorts();

class SerialPort {
 public:
  static constexpr uint32_t kDefaultBaud = 19200;
  static constexpr uint32_t kHighBaud = 115200;
  static constexpr uint32_t kReadIntervalMs = 100;
  static constexpr uint32_t kReadConstantMs = 200;

  SerialPort();
  ~SerialPort();

  // True once the port is open and configured. Reopens an open port, which
  // is how the speed changes.
  [[nodiscard]] bool Open();
  // Open on a device the caller made (another transport, or a test's fake);
  // the same result and configuration as Open.
  [[nodiscard]] bool OpenDevice(std::unique_ptr<SerialDevice> device);
  bool Close();
  bool Read(uint8_t* buffer, uint32_t count, uint32_t* received = nullptr);
  bool Write(const uint8_t* buffer, uint32_t count, uint32_t* written = nullptr);
  bool Purge();
  bool ApplyDefaultTimeouts();
  bool SetExtraReadTimeout(uint32_t extra_ms);

  bool IsOpen() const { return m_open; }
  // Why the last Open failed; None after a successful one.
  PortOpenError LastOpenError() const { return m_open_error; }
  const std::string& PortName() const { return m_port_name; }
  void SetPortName(std::string name) { m_port_name = std::move(name); }
  uint32_t BaudRate() const { return m_baud_rate; }
  void SetBaudRate(uint32_t baud) { m_baud_rate = baud == 0 ? kDefaultBaud : baud; }
  // "Timeout Setting", read afresh every time the time-outs are set.
  void SetAdditionalTimeoutSource(std::function<int()> source) { m_additional_timeout = std::move(source); }
  const SerialTimeouts& Timeouts() const { return m_timeouts; }

 private:
  uint32_t AdditionalTimeout() const;

  std::string m_port_name = "COM1";
  uint32_t m_baud_rate = kDefaultBaud;
  bool m_open = false;
  PortOpenError m_open_error = PortOpenError::None;
  std::unique_ptr<SerialDevice> m_device;
  SerialTimeouts m_timeouts;
  std::function<int()> m_additional_timeout;
};

// The 16-bit checksum every serial protocol appends: two's complement of the
// byte sum, high byte first.
void AppendChecksum16(uint8_t* block, std::size_t n);
bool CheckChecksum16(const uint8_t* block, std::size_t n);

}  // namespace corvel
