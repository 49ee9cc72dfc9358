#pragma once
// The AVR boot loader's command layer: one synchronous request and one reply
// per command over the one serial port. Commands return a LinkStatus (or a
// LinkResult with the reply's value) that says why a command failed; they
// trace with DebugPrintf and never show anything.
#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>

#include "core/base/Outcome.h"
#include "core/protocol/atmel/AtmelProtocol.h"
#include "core/transport/SerialPort.h"

namespace corvel {

class AtmelBootLoader {
 public:
  explicit AtmelBootLoader(SerialPort& port) : m_port(port) {}

  LinkStatus SendWakeUp();
  // Asks a running application to hand the line to its boot loader.
  LinkStatus RequestBootLoader();
  // The application's version and description.
  LinkResult<atmel::ApplicationReply> QueryApplication();
  LinkResult<uint32_t> QueryBootLoaderVersion();
  LinkStatus ReadFlash(uint32_t address, std::span<uint8_t, atmel::kReadLength> buffer);
  LinkStatus ReadEeprom(uint32_t address, std::span<uint8_t, atmel::kReadLength> buffer);
  LinkStatus WriteFlash(uint32_t address, std::span<const uint8_t, atmel::kFlashPageSize> data);
  LinkStatus WriteEeprom(uint32_t address, const uint8_t* data, uint16_t count);
  LinkStatus EraseFlashPage(uint32_t address);
  LinkStatus EraseEepromBlock(uint32_t address);
  LinkStatus StartApplication();
  // Moves both ends to 115200 (high) or 19200 baud.
  LinkStatus SetLinkSpeed(bool high);
  // SetLinkSpeed to normal speed until it succeeds, at most 6 attempts.
  LinkStatus FallBackToNormalSpeed();

  // Set by every greeting or query the boot loader answered; cleared by the
  // connect sequences before they start.
  bool connected = false;

  SerialPort& Port() { return m_port; }

 private:
  // Purge, write the whole request, one read of the reply's full length;
  // the reply decodes only when every byte came and the checksum holds.
  template <typename Reply>
  LinkResult<Reply> Transact(const std::vector<uint8_t>& request, const char* what);
  LinkStatus StatusCommand(const std::vector<uint8_t>& request, const char* what, uint32_t address);
  LinkStatus ReadCommand(uint8_t code, uint32_t address, std::span<uint8_t, atmel::kReadLength> buffer,
                         const char* what);
  // Reads the 3-byte echo of a speed command; fails unless exactly 3 bytes
  // came (reply holds what did).
  LinkStatus ReadEcho(std::array<uint8_t, atmel::kShortReplyLength>& reply);

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
LinkStatus WithRetries(AtmelBootLoader& loader, LinkSpeedState& speed, const std::function<LinkStatus()>& operation,
                       bool* fell_back = nullptr);

// Brings the link to normal speed if high speed is in force.
void EndHighSpeed(AtmelBootLoader& loader, LinkSpeedState& speed);

// A run at 115200 baud. Whatever way the run ends (done, failed, cancelled,
// an exception), the destructor brings both ends back to 19200, so the next
// tool finds the boot loader at the speed it expects.
class HighSpeedSession {
 public:
  // How a failed switch to high speed is undone: one request for normal
  // speed, or the full fall-back with its repeats.
  enum class Undo { OneRequest, FallBack };

  explicit HighSpeedSession(AtmelBootLoader& loader) : m_loader(loader) {}
  ~HighSpeedSession() { End(); }
  HighSpeedSession(const HighSpeedSession&) = delete;
  HighSpeedSession& operator=(const HighSpeedSession&) = delete;

  // Switches to high speed unless it is in force or failed earlier in this
  // session; a failed switch is undone as told and remembered.
  void Begin(Undo undo);
  // Back to normal speed now if high speed is in force.
  void End() { EndHighSpeed(m_loader, m_state); }

  bool InForce() const { return m_state.in_force; }
  LinkSpeedState& State() { return m_state; }

 private:
  AtmelBootLoader& m_loader;
  LinkSpeedState m_state;
};

}  // namespace corvel
