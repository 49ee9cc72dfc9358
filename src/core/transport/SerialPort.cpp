#include "core/transport/SerialPort.h"

#include <algorithm>

#include "core/base/DebugLog.h"

namespace corvel {

SerialPort::SerialPort() = default;
SerialPort::~SerialPort() = default;

uint32_t SerialPort::AdditionalTimeout() const {
  const int value = m_additional_timeout ? m_additional_timeout() : 0;
  return value < 0 ? 0u : static_cast<uint32_t>(value);
}

const char* PortOpenErrorText(PortOpenError error) {
  switch (error) {
    case PortOpenError::None: return "";
    case PortOpenError::Missing: return "no such port";
    case PortOpenError::InUse: return "in use by another program";
    case PortOpenError::NoPermission: return "no permission to open it";
    case PortOpenError::NotASerialPort: return "not a serial port";
    case PortOpenError::Other: return "the system refused to open it";
  }
  return "";
}

bool SerialPort::Open() {
  m_open_error = PortOpenError::None;
  if (m_open && !Close()) {
    m_open_error = PortOpenError::Other;
    return false;
  }
  PortOpenError why = PortOpenError::None;
  std::unique_ptr<SerialDevice> device = OpenSerialDevice(m_port_name, &why);
  if (!device) {
    m_open_error = why == PortOpenError::None ? PortOpenError::Other : why;
    return false;
  }
  if (!OpenDevice(std::move(device))) {
    m_open_error = PortOpenError::NotASerialPort;
    return false;
  }
  return true;
}

bool SerialPort::OpenDevice(std::unique_ptr<SerialDevice> device) {
  if (m_open && !Close()) return false;
  if (!device) return false;
  if (!device->Configure(m_baud_rate)) {
    DebugPrintf("Cannot set the line settings of %s", m_port_name.c_str());
    device->Close();
    return false;
  }
  m_device = std::move(device);
  m_open = true;
  ApplyDefaultTimeouts();
  return true;
}

bool SerialPort::Close() {
  if (!m_open || !m_device) return false;
  if (!m_device->Close()) return false;
  m_device.reset();
  m_open = false;
  return true;
}

bool SerialPort::ApplyDefaultTimeouts() {
  if (!m_open) return false;
  m_timeouts.read_interval_ms = kReadIntervalMs;
  m_timeouts.read_per_byte_ms = std::max<uint32_t>(1, 1000 / m_baud_rate);
  m_timeouts.read_constant_ms = AdditionalTimeout() + kReadConstantMs;
  m_device->SetTimeouts(m_timeouts);
  return true;
}

bool SerialPort::SetExtraReadTimeout(uint32_t extra_ms) {
  if (!m_open) return false;
  m_timeouts.read_constant_ms = AdditionalTimeout() + extra_ms + kReadConstantMs;
  m_timeouts.read_interval_ms = extra_ms != 0 ? 0 : kReadIntervalMs;
  m_device->SetTimeouts(m_timeouts);
  return true;
}

bool SerialPort::Read(uint8_t* buffer, uint32_t count, uint32_t* received) {
  uint32_t local = 0;
  uint32_t& got = received ? *received : local;
  got = 0;
  if (!m_open) return false;
  const bool ok = m_device->Read(buffer, count, got);
  // Late bytes of a broken reply must never mix with the next exchange.
  if (got != count) Purge();
  return ok;
}

bool SerialPort::Write(const uint8_t* buffer, uint32_t count, uint32_t* written) {
  uint32_t local = 0;
  uint32_t& done = written ? *written : local;
  done = 0;
  if (!m_open) return false;
  return m_device->Write(buffer, count, done);
}

bool SerialPort::Purge() {
  if (!m_open) return false;
  return m_device->Purge();
}

void AppendChecksum16(uint8_t* block, std::size_t n) {
  uint32_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += block[i];
  const uint16_t checksum = static_cast<uint16_t>(0x10000u - (sum & 0xFFFFu));
  block[n] = static_cast<uint8_t>(checksum >> 8);
  block[n + 1] = static_cast<uint8_t>(checksum & 0xFF);
}

bool CheckChecksum16(const uint8_t* block, std::size_t n) {
  uint32_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += block[i];
  sum += 256u * block[n] + block[n + 1];
  return (sum & 0xFFFFu) == 0;
}

}  // namespace corvel
