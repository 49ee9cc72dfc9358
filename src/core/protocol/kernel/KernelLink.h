#pragma once
// The PowerPC kernel loader link: packets over the one serial port at
// 115200 baud, each section checked against the loader's status before and
// after its payload. Operations return typed results and trace with
// DebugPrintf; they never show anything.
#include <cstdint>
#include <span>

#include "core/base/Outcome.h"
#include "core/base/TransferMonitor.h"
#include "core/protocol/kernel/KernelPacket.h"
#include "core/transport/SerialPort.h"

namespace corvel {

class KernelLink {
 public:
  explicit KernelLink(SerialPort& port) : m_port(port) {}

  // Writes the packet; a data packet's payload goes only after the loader
  // has confirmed the address and count it expects. Unknown types fail.
  LinkStatus SendPacket(const kernel::KernelPacket& packet);
  // Sends a status query and reads the 12-byte report.
  LinkResult<kernel::KernelStatus> QueryStatus();
  // Purges the line, then asks for the status: is a loader there?
  LinkStatus ProbeKernel();
  // Purges the line and tells the loader to run the kernel at address. The
  // loader does not answer; only a failed write fails.
  LinkStatus StartKernel(uint32_t address);
  // One checked section transfer of bytes to address.
  LinkStatus SendSection(std::span<const uint8_t> bytes, uint32_t address);
  // The whole image in sections of 4096 bytes from address, each tried up
  // to three times, with progress and Cancel between sections.
  LinkStatus UploadKernel(std::span<const uint8_t> image, uint32_t address, TransferMonitor& monitor);

 private:
  LinkStatus WriteAll(const std::vector<uint8_t>& bytes);

  SerialPort& m_port;
};

}  // namespace corvel
