#pragma once
// CDSPLoader: the conversation with a DSP board's flash boot loader over the
// one serial port. It wakes the loader, reads its memory map, moves the line
// between 19200 and 115200 baud, sends compressed pages into the loader's
// block buffer, commits blocks, reads pages back and starts the application.
// Every operation returns a LinkStatus and traces with DebugPrintf; nothing
// here talks to the person.
#include <chrono>
#include <cstdint>
#include <span>

#include "core/base/Outcome.h"
#include "core/protocol/dsp/DspProtocol.h"
#include "core/transport/SerialPort.h"
#include "core/base/TransferMonitor.h"

namespace corvel {

using dsp::DspLoaderPacket;
using dsp::DspMemoryMap;
using dsp::DspMemorySection;

class CDSPLoader {
 public:
  explicit CDSPLoader(SerialPort& port) : m_port(port) {}

  // Link.
  LinkStatus SendPacket(const DspLoaderPacket& packet);
  LinkStatus ReceivePacket(DspLoaderPacket& packet);
  // Wake-up, then the memory map; succeeds when either answered. No map
  // request starts after the deadline, so a caller can bound a whole
  // connect attempt on a dead line.
  using Deadline = std::chrono::steady_clock::time_point;
  LinkStatus Connect(Deadline deadline = Deadline::max());
  LinkStatus RetrieveMemoryMap(Deadline deadline = Deadline::max());
  // Moves both ends to 115200 (high) or 19200 baud.
  LinkStatus ChangeCommSpeed(bool high);

  // Flash. `high` is the caller's high-speed flag: true while the line runs
  // at 115200; a retry that drops to 19200 clears it.
  LinkStatus SendFlashPage(const uint8_t* page, uint32_t address);
  LinkStatus TryToSendFlashPage(const uint8_t* page, uint32_t address, bool& high);
  LinkStatus ExecuteProgrammingonBlock(const uint8_t* block, uint32_t target);
  LinkStatus TryToProgramBlock(const uint8_t* block, uint32_t target, bool& high);
  // image holds at least size bytes.
  LinkStatus ProgramFlashSection(bool& high, std::span<const uint8_t> image, uint32_t size, uint32_t start,
                                 bool duplicate, TransferMonitor* progress);
  LinkStatus ReadFlashPage(uint8_t* destination, uint32_t address);
  LinkStatus TryToReadFlashPage(uint8_t* destination, uint32_t address, bool& high);
  // destination holds at least size bytes.
  LinkStatus ReadFlashSection(bool& high, std::span<uint8_t> destination, uint32_t size, uint32_t start,
                              TransferMonitor* progress);
  LinkStatus ComposeChecksum();
  LinkStatus StartApp();

  // State.
  bool Connected() const { return m_connected; }
  const DspMemoryMap& Map() const { return m_map; }
  const DspMemorySection& Section(std::size_t k) const { return m_map.sections.at(k); }
  uint32_t BlockSize() const { return m_map.block_size; }
  uint32_t PageSize() const { return m_map.page_size; }
  uint32_t NumSections() const { return m_map.num_sections; }
  const std::string& BoardName() const { return m_map.board_name; }
  SerialPort& Port() { return m_port; }

 private:
  // Reopens the port at baud; false when it would not open.
  bool Reopen(uint32_t baud);
  LinkStatus Request(uint8_t type, uint32_t address, DspLoaderPacket& reply);
  // After a failure at high speed: clear the flag and drop to 19200, trying twice.
  LinkStatus DropToLowSpeed(bool& high);
  // The sections' walk needs whole pages in whole blocks.
  bool SectionGeometryHolds(uint32_t size, uint32_t start) const;
  void TraceMap() const;

  SerialPort& m_port;
  bool m_connected = false;
  DspMemoryMap m_map;
};

// Holds a high-speed run: whoever reaches 115200 sets high(); when the run
// ends by any way (a failure, Cancel, an exception) the line goes back to
// 19200, both ends if the loader still answers and this end in any case.
class DspSpeedSession {
 public:
  DspSpeedSession(CDSPLoader& loader, int drop_attempts) : m_loader(loader), m_drop_attempts(drop_attempts) {}
  ~DspSpeedSession() { End(); }
  DspSpeedSession(const DspSpeedSession&) = delete;
  DspSpeedSession& operator=(const DspSpeedSession&) = delete;

  bool& high() { return m_high; }
  // Drops to 19200 now if high speed was reached.
  void End();

 private:
  CDSPLoader& m_loader;
  int m_drop_attempts;
  bool m_high = false;
};

}  // namespace corvel
