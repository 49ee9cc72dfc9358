#pragma once
// The AVR boot loader's command layer: one synchronous request and one reply
// per command over the one serial port. Commands return true on success and
// trace with DebugPrintf; they never show anything.
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/protocol/atmel/AtmelProtocol.h"
#include "core/transport/SerialPort.h"

namespace corvel {

class AtmelBootLoader {
 public:
  explicit AtmelBootLoader(SerialPort& port) : m_port(port) {}

  bool SendWakeUp();
  // Asks a running application to hand the line to its boot loader.
  bool RequestBootLoader();
  // The application version, 0 on failure; on success `description` becomes
  // the device's description, otherwise it keeps what the caller put there.
  uint32_t QueryApplication(std::string& description);
  uint32_t QueryBootLoaderVersion();
  bool ReadFlash(uint32_t address, std::span<uint8_t, atmel::kReadLength> buffer);
  bool ReadEeprom(uint32_t address, std::span<uint8_t, atmel::kReadLength> buffer);
  bool WriteFlash(uint32_t address, std::span<const uint8_t, atmel::kFlashPageSize> data);
  bool WriteEeprom(uint32_t address, const uint8_t* data, uint16_t count);
  bool EraseFlashPage(uint32_t address);
  bool EraseEepromBlock(uint32_t address);
  bool StartApplication();
  // Moves both ends to 115200 (high) or 19200 baud.
  bool SetLinkSpeed(bool high);
  // SetLinkSpeed to normal speed until it succeeds, at most 6 attempts.
  bool FallBackToNormalSpeed();

  // Set by every greeting or query the boot loader answered; cleared by the
  // connect sequences before they start.
  bool connected = false;

  SerialPort& Port() { return m_port; }

 private:
  // Purge, write the whole request, one read of the reply's full length;
  // the reply decodes only when every byte came and the checksum holds.
  template <typename Reply>
  std::optional<Reply> Transact(const std::vector<uint8_t>& request, const char* what);
  bool StatusCommand(const std::vector<uint8_t>& request, const char* what, uint32_t address);
  bool ReadCommand(uint8_t code, uint32_t address, std::span<uint8_t, atmel::kReadLength> buffer, const char* what);
  // Reads the 3-byte echo of a speed command; true when exactly 3 bytes came
  // and reply holds them.
  bool ReadEcho(std::array<uint8_t, atmel::kShortReplyLength>& reply);

  SerialPort& m_port;
};

// Whether the link runs at high speed, and whether switching to it failed in
// this run: the callers' side of the speed rules.
struct LinkSpeedState {
  bool in_force = false;
  bool failed = false;
};

// The retry rule for page and block operations: try; on failure at high
// speed fall back to normal speed (high speed is out of force whatever the
// fall-back returned); then try twice more. Returns the last result and
// reports whether a fall-back was made.
bool WithRetries(AtmelBootLoader& loader, LinkSpeedState& speed, const std::function<bool()>& operation,
                 bool* fell_back = nullptr);

// Brings the link to normal speed if high speed is in force.
void EndHighSpeed(AtmelBootLoader& loader, LinkSpeedState& speed);

}  // namespace corvel
